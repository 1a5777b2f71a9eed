#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class QSettings;

// The program's settings store as a test seeds and reads it, under the names Store uses. Like the
// program, every call opens the store and closes it again, so a seeded value is on disk when the
// call returns and a value read is what the program left there. Keys are Store's keys (or their text).
class StoredSettings final
{
public:
    // The store of this process (Store::read and Store::write).
    StoredSettings() = default;
    // The store a program started with this XDG_CONFIG_HOME keeps.
    explicit StoredSettings(const QString &configHome);

    // False when the store could not be written.
    bool seed(const QString &key, const QVariant &value) const;
    bool seed(const QVariantMap &values) const;
    void remove(const QString &key) const;
    void clear() const;

    [[nodiscard]] QVariant value(const QString &key) const;
    [[nodiscard]] bool contains(const QString &key) const;
    // Every key with its value, as stored.
    [[nodiscard]] QVariantMap values() const;
    // The file behind the store (a registry path on Windows).
    [[nodiscard]] QString fileName() const;

private:
    [[nodiscard]] std::unique_ptr<QSettings> open() const;

    QString m_file;
};
