#pragma once

#include <QString>

struct DatabaseParameters
{
    QString driver;        // "QMYSQL" or "QSQLITE"
    QString hostName;
    int port = 0;
    QString databaseName;  // for QSQLITE the file path
    QString userName;
    QString password;
};

// Everything that a trader's machine takes compiled in and a test or demo may override
// from the environment, read once per process.
class Config final
{
public:
    [[nodiscard]] static const Config &instance();
    // Reads the environment again; for tests that change it.
    static void reload();

    // The install folder with '/' separators ("C:/Quorvix"), as Qt and the downloader take it.
    [[nodiscard]] QString root() const { return m_root; }
    // A path under the install folder with '/' separators.
    [[nodiscard]] QString path(const QString &relative) const;
    // The same path with native separators, as handed to AmiBroker ("C:\Quorvix\rt.txt").
    [[nodiscard]] QString nativePath(const QString &relative) const;

    [[nodiscard]] DatabaseParameters database() const { return m_database; }
    [[nodiscard]] QString userId() const { return m_userId; }
    [[nodiscard]] QString backfillServer() const { return m_backfillServer; }
    [[nodiscard]] QString probeHost() const { return m_probeHost; }
    [[nodiscard]] quint16 probePort() const { return m_probePort; }
    // The daily restart; shorter only where a test must see one.
    [[nodiscard]] int restartIntervalMs() const { return m_restartIntervalMs; }

    // Parses QUORVIX_DB's forms; false when the text is neither.
    [[nodiscard]] static bool parseDatabase(const QString &text, DatabaseParameters *parameters);

private:
    Config();

    QString m_root;
    DatabaseParameters m_database;
    QString m_userId;
    QString m_backfillServer;
    QString m_probeHost;
    quint16 m_probePort = 80;
    int m_restartIntervalMs = 86'400'000;
};
