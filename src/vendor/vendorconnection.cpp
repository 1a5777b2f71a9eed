#include "vendor/vendorconnection.h"

#include "vendor/account.h"
#include "vendor/vendordatabase.h"
#include "vendor/vendorservice.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

VendorConnection::VendorConnection(const DatabaseParameters &parameters)
    : m_database(VendorDatabase::declare(parameters))
    , m_query(std::make_unique<QSqlQuery>(m_database))
{
    m_query->setForwardOnly(true);
}

VendorConnection::~VendorConnection()
{
    // The query goes before its connection; then nothing is left under the connection name.
    m_query.reset();
    const QString name = m_database.connectionName();
    m_database.close();
    m_database = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

bool VendorConnection::open()
{
    return VendorDatabase::open(m_database);
}

bool VendorConnection::isOpen() const
{
    return m_database.isOpen();
}

QString VendorConnection::lastErrorText() const
{
    return m_database.lastError().text();
}

bool VendorConnection::catalogue(const QString &exchange, QStringList *symbols)
{
    if (!m_database.isOpen())
        m_database.open();
    if (!m_query->prepare(Vendor::catalogueSql()))
        return false;
    m_query->addBindValue(exchange);
    if (!m_query->exec())
        return false;
    while (m_query->next())
        symbols->append(m_query->value(0).toString());
    m_query->finish();
    return true;
}

bool VendorConnection::lookupAccount(const QString &userId, Account *account)
{
    if (!VendorDatabase::execAccountQuery(*m_query, Vendor::accountLookupSql(), userId))
        return false;
    m_query->next();
    *account = Account::fromLookupRow(m_query->record());
    return true;
}

bool VendorConnection::readAccountDetails(const QString &userId, Account *account)
{
    if (!VendorDatabase::execAccountQuery(*m_query, Vendor::accountDetailsSql(), userId))
        return false;
    m_query->next();
    const QSqlRecord details = m_query->record();
    account->message = details.value(Vendor::Column::Message).toString();
    account->feeds = details.value(Vendor::Column::Feeds).toString();
    return true;
}

bool VendorConnection::serverSettings(QString *serverDate, QString *oneDayPath)
{
    if (!m_query->exec(Vendor::serverSettingsSql()))
        return false;
    if (m_query->next()) {
        *serverDate = m_query->value(0).toString();
        *oneDayPath = m_query->value(1).toString();
    }
    return true;
}
