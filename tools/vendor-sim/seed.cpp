#include "marketdata.h"
#include "vendorsim.h"

#include "app/config.h"
#include "vendor/vendorservice.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace VendorSim {

namespace {

namespace Table = Vendor::Table;
namespace Col = Vendor::Column;

struct ColumnDef
{
    QString name;
    const char *type;
};

QString createTableSql(const QString &table, const QList<ColumnDef> &columns, bool mysql)
{
    QStringList parts;
    for (const ColumnDef &c : columns)
        parts << c.name + QLatin1Char(' ') + QLatin1String(c.type);
    QString sql = QStringLiteral("CREATE TABLE %1 (%2)").arg(table, parts.join(QStringLiteral(", ")));
    if (mysql)
        sql += QStringLiteral(" ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");
    return sql;
}

QString insertSql(const QString &table, const QStringList &columns)
{
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

class Seeder
{
public:
    Seeder(QSqlDatabase db, bool mysql, const SeedOptions &options)
        : m_db(std::move(db)), m_mysql(mysql), m_options(options)
    {
    }

    bool run()
    {
        // Tests reseed before every function: a throw-away database needs no syncs or disk journal.
        if (!m_mysql
            && (!exec(QStringLiteral("PRAGMA synchronous = OFF"))
                || !exec(QStringLiteral("PRAGMA journal_mode = MEMORY"))))
            return false;
        // MySQL commits at each CREATE, so there the rows get a transaction of their own.
        if (!m_mysql && !begin())
            return false;
        if (createTables() && (!m_mysql || begin()) && seedAccounts() && seedUpdateRecord() && seedBroadcast()
            && seedServerSettings() && seedContracts())
            return commit();
        m_db.rollback();
        return false;
    }

    QString error;

private:
    bool exec(const QString &sql)
    {
        QSqlQuery q(m_db);
        if (q.exec(sql))
            return true;
        error = sql.left(60) + QStringLiteral(": ") + q.lastError().text();
        return false;
    }

    bool begin()
    {
        if (m_db.transaction())
            return true;
        error = QStringLiteral("transaction: ") + m_db.lastError().text();
        return false;
    }

    bool commit()
    {
        if (m_db.commit())
            return true;
        error = QStringLiteral("commit: ") + m_db.lastError().text();
        return false;
    }

    bool insert(const QString &table, const QStringList &columns, const QVariantList &values)
    {
        QSqlQuery q(m_db);
        if (!q.prepare(insertSql(table, columns))) {
            error = table + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec())
            return true;
        error = table + QStringLiteral(": ") + q.lastError().text();
        return false;
    }

    bool createTables()
    {
        const QList<QPair<QString, QList<ColumnDef>>> tables = {
            {Table::Account,
             {{QStringLiteral("AcctID"), "INTEGER PRIMARY KEY"},
              {Col::MachineId, "VARCHAR(128) NOT NULL"},
              {Col::SecureKey, "VARCHAR(64) NOT NULL"},
              {QStringLiteral("ClientName"), "VARCHAR(64)"},
              {QStringLiteral("Email"), "VARCHAR(128)"},
              {QStringLiteral("Mobile"), "VARCHAR(20)"},
              {QStringLiteral("ValidTill"), "VARCHAR(10)"},
              {QStringLiteral("Active"), "INTEGER NOT NULL DEFAULT 1"},
              {Col::BackfillPath, "VARCHAR(255)"},
              {Col::DataPathGet, "VARCHAR(255)"},
              {Col::DataPathPost, "VARCHAR(255)"},
              {Col::SupportLink, "VARCHAR(255)"},
              {Col::Feeds, "VARCHAR(255)"}}},
            {Table::UpdateRecord,
             {{Col::LatestVersion, "VARCHAR(16)"},
              {Col::LatestVersionPath, "VARCHAR(255)"},
              {QStringLiteral("ReleaseNotes"), "VARCHAR(255)"},
              {QStringLiteral("PublishedOn"), "VARCHAR(10)"}}},
            {Table::Broadcast,
             {{Col::Message, "VARCHAR(512)"}, {QStringLiteral("PostedOn"), "VARCHAR(19)"}}},
            {Table::Contract,
             {{QStringLiteral("ContractID"), "INTEGER PRIMARY KEY"},
              {Col::Symbol, "VARCHAR(64) NOT NULL"},
              {Col::Exchange, "VARCHAR(16) NOT NULL"},
              {QStringLiteral("LotSize"), "INTEGER"}}},
            {Table::ServerSettings,
             {{QStringLiteral("ID"), "INTEGER PRIMARY KEY"},
              {Col::ServerDate, "VARCHAR(16)"},
              {Col::OneDayPath, "VARCHAR(64)"},
              {Col::FiveDayPath, "VARCHAR(64)"}}},
        };
        for (const auto &table : tables) {
            if (!exec(QStringLiteral("DROP TABLE IF EXISTS ") + table.first)
                || !exec(createTableSql(table.first, table.second, m_mysql)))
                return false;
        }
        return exec(QStringLiteral("CREATE INDEX Contract_Exch ON %1 (%2, %3)")
                        .arg(Table::Contract, Col::Exchange, Col::Symbol));
    }

    bool seedAccounts()
    {
        const QString endpoint = m_options.host + QLatin1Char(':') + QString::number(m_options.port);
        const QStringList columns = {QStringLiteral("AcctID"), Col::MachineId, Col::SecureKey,
                                     QStringLiteral("ClientName"), QStringLiteral("Email"),
                                     QStringLiteral("Mobile"), QStringLiteral("ValidTill"),
                                     QStringLiteral("Active"), Col::BackfillPath,
                                     Col::DataPathGet, Col::DataPathPost, Col::SupportLink,
                                     Col::Feeds};
        // Two other traders whose ids a careless LIKE would match, each with a key of its own.
        const QList<QVariantList> rows = {
            {1, QStringLiteral("OTHER_USER-42"), QStringLiteral("other-key-91c2"), QStringLiteral("R. Menon"),
             QStringLiteral("menon@example.invalid"), QStringLiteral("9800000042"), QStringLiteral("2027-03-31"), 1,
             endpoint + BackfillPath, endpoint + LivePathGet, endpoint + LivePathPost,
             m_options.supportLink, QStringLiteral("CASH,FUTURE")},
            {2, QStringLiteral("ab%cd"), QStringLiteral("percent-key-5d07"), QStringLiteral("S. Iyer"),
             QStringLiteral("iyer@example.invalid"), QStringLiteral("9800000077"), QStringLiteral("2026-12-31"), 1,
             endpoint + BackfillPath, endpoint + LivePathGet, endpoint + LivePathPost,
             m_options.supportLink, QStringLiteral("COMM,CURR")},
        };
        for (const QVariantList &row : rows) {
            if (!insert(Table::Account, columns, row))
                return false;
        }
        if (!m_options.withAccount)
            return true;
        return insert(Table::Account, columns,
                      {3, m_options.userId, m_options.secureKey, QStringLiteral("Demo Trader"),
                       QStringLiteral("demo@example.invalid"), QStringLiteral("9800000001"),
                       QStringLiteral("2027-12-31"), 1, endpoint + BackfillPath, endpoint + LivePathGet,
                       endpoint + LivePathPost, m_options.supportLink, m_options.feeds});
    }

    bool seedUpdateRecord()
    {
        const QString path = !m_options.latestPath.isEmpty()
            ? m_options.latestPath
            : QStringLiteral("http://%1:%2/update/Tickvane-4.10.zip").arg(m_options.host).arg(m_options.port);
        return insert(Table::UpdateRecord,
                      {Col::LatestVersion, Col::LatestVersionPath, QStringLiteral("ReleaseNotes"),
                       QStringLiteral("PublishedOn")},
                      {m_options.latestVersion, path, QStringLiteral("Faster backfill, new MCX contracts."),
                       QStringLiteral("2026-11-30")});
    }

    bool seedBroadcast()
    {
        return insert(Table::Broadcast, {Col::Message, QStringLiteral("PostedOn")},
                      {m_options.message, QStringLiteral("2026-12-07 08:30:00")});
    }

    bool seedServerSettings()
    {
        const QStringList columns = {QStringLiteral("ID"), Col::ServerDate, Col::OneDayPath,
                                     Col::FiveDayPath};
        // Stale rows on both sides of the live one in insertion order; only the highest ID counts.
        return insert(Table::ServerSettings, columns,
                      {3, QStringLiteral("05122026"), QStringLiteral("stale-day"), QStringLiteral("stale-five")})
            && insert(Table::ServerSettings, columns,
                      {7, m_options.serverDate, m_options.oneDayPath, m_options.fiveDayPath})
            && insert(Table::ServerSettings, columns,
                      {5, QStringLiteral("06122026"), QStringLiteral("old-day"), QStringLiteral("old-five")});
    }

    bool seedContracts()
    {
        QSqlQuery q(m_db);
        if (!q.prepare(insertSql(Table::Contract, {QStringLiteral("ContractID"), Col::Symbol,
                                                   Col::Exchange, QStringLiteral("LotSize")}))) {
            error = QStringLiteral("Contract: ") + q.lastError().text();
            return false;
        }
        int id = 1;
        for (const Market::Contract &c : Market::contracts()) {
            const bool derivative = c.exchange != QLatin1String("CASH") && c.exchange != QLatin1String("SPOTINDEX");
            q.addBindValue(id++);
            q.addBindValue(c.symbol);
            q.addBindValue(c.exchange);
            q.addBindValue(derivative ? 25 + int(Market::stableHash(c.symbol) % 20) * 25 : 1);
            if (!q.exec()) {
                error = QStringLiteral("Contract: ") + q.lastError().text();
                return false;
            }
        }
        return true;
    }

    QSqlDatabase m_db;
    bool m_mysql;
    SeedOptions m_options;
};

bool openDatabase(QSqlDatabase *db, const DatabaseParameters &p, QString *error)
{
    db->setDatabaseName(p.databaseName);
    if (p.driver == QLatin1String("QMYSQL")) {
        db->setHostName(p.hostName);
        db->setPort(p.port);
        db->setUserName(p.userName);
        db->setPassword(p.password);
    }
    if (db->open())
        return true;
    if (p.driver != QLatin1String("QMYSQL")) {
        *error = db->lastError().text();
        return false;
    }
    // The server is there but the database may not be yet: create it.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_$-]{1,64}$"));
    if (!plainName.match(p.databaseName).hasMatch()) {
        *error = db->lastError().text();
        return false;
    }
    db->setDatabaseName(QString());
    if (!db->open()) {
        *error = db->lastError().text();
        return false;
    }
    {
        QSqlQuery q(*db);
        if (!q.exec(QStringLiteral("CREATE DATABASE IF NOT EXISTS `%1` CHARACTER SET utf8mb4").arg(p.databaseName))) {
            *error = q.lastError().text();
            return false;
        }
    }
    db->close();
    db->setDatabaseName(p.databaseName);
    if (db->open())
        return true;
    *error = db->lastError().text();
    return false;
}

}

bool seedDatabase(const QString &dbSpec, const SeedOptions &options, QString *error)
{
    QString failure;
    DatabaseParameters parameters;
    bool ok = false;
    if (!Config::parseDatabase(dbSpec, &parameters)) {
        failure = QStringLiteral("not a database: %1").arg(dbSpec);
    } else if (!QSqlDatabase::isDriverAvailable(parameters.driver)) {
        failure = QStringLiteral("Qt SQL driver %1 is not available").arg(parameters.driver);
    } else {
        const QString connection = QStringLiteral("vendorsim-seed-") + QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(parameters.driver, connection);
            if (openDatabase(&db, parameters, &failure)) {
                Seeder seeder(db, parameters.driver == QLatin1String("QMYSQL"), options);
                ok = seeder.run();
                failure = seeder.error;
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(connection);
    }
    if (error)
        *error = ok ? QString() : failure;
    return ok;
}

}
