#include "vendor/vendordatabase.h"

#include "app/config.h"
#include "vendor/vendorservice.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace VendorDatabase {

QSqlDatabase declare(const DatabaseParameters &parameters)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(parameters.driver, ConnectionName);
    database.setHostName(parameters.hostName);
    database.setDatabaseName(parameters.databaseName);
    database.setUserName(parameters.userName);
    database.setPassword(parameters.password);
    if (parameters.port > 0)
        database.setPort(parameters.port);
    if (parameters.driver == QLatin1String("QMYSQL"))
        database.setConnectOptions(MySqlOptions);
    return database;
}

bool openWithRetries(const std::function<bool()> &attempt)
{
    for (int i = 0; i < OpenAttempts; ++i) {
        if (attempt())
            return true;
    }
    return false;
}

bool open(QSqlDatabase &database)
{
    return openWithRetries([&database] { return database.open(); });
}

QString unableToConnectText()
{
    return QStringLiteral("\nUnable to connect to Server\n\nContact ") + Vendor::WebAddress
        + QLatin1Char('\n');
}

bool execAccountQuery(QSqlQuery &query, const QString &sql, const QString &userId)
{
    if (userId.isEmpty())
        return false;
    if (!query.prepare(sql))
        return false;
    query.addBindValue(Vendor::accountPattern(userId));
    return query.exec();
}

}
