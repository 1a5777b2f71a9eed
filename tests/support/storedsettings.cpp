#include "support/storedsettings.h"

#include "app/settingsstore.h"

#include <QSettings>

StoredSettings::StoredSettings(const QString &configHome)
    : m_file(configHome + QLatin1Char('/') + Store::Organisation + QLatin1Char('/') + Store::Application
             + QStringLiteral(".conf"))
{
}

std::unique_ptr<QSettings> StoredSettings::open() const
{
    if (m_file.isEmpty())
        return std::make_unique<QSettings>(Store::Organisation, Store::Application);
    return std::make_unique<QSettings>(m_file, QSettings::IniFormat);
}

bool StoredSettings::seed(const QString &key, const QVariant &value) const
{
    return seed(QVariantMap{{key, value}});
}

bool StoredSettings::seed(const QVariantMap &values) const
{
    const auto store = open();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
    store->sync();
    return store->status() == QSettings::NoError;
}

void StoredSettings::remove(const QString &key) const
{
    open()->remove(key);
}

void StoredSettings::clear() const
{
    open()->clear();
}

QVariant StoredSettings::value(const QString &key) const
{
    return open()->value(key);
}

bool StoredSettings::contains(const QString &key) const
{
    return open()->contains(key);
}

QVariantMap StoredSettings::values() const
{
    const auto store = open();
    QVariantMap values;
    for (const QString &key : store->allKeys())
        values.insert(key, store->value(key));
    return values;
}

QString StoredSettings::fileName() const
{
    return open()->fileName();
}
