#pragma once

#include <QSqlDatabase>
#include <QString>

#include <memory>

struct Account;
struct DatabaseParameters;
class QSqlQuery;

// The one owner of the vendor database connection ("MYSQLConn") and its shared forward-only
// query. Declared at construction, opened on request, removed at destruction so that the next
// cycle of the process entry can declare it again.
class VendorConnection final
{
public:
    explicit VendorConnection(const DatabaseParameters &parameters);
    ~VendorConnection();
    Q_DISABLE_COPY_MOVE(VendorConnection)

    // Up to three immediate attempts.
    [[nodiscard]] bool open();
    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] QString lastErrorText() const;

    [[nodiscard]] QSqlDatabase &database() { return m_database; }
    // The query every statement of the program runs on, one at a time.
    [[nodiscard]] QSqlQuery &query() { return *m_query; }

    // The account lookup for the user ID; false when the statement failed (an empty user ID has
    // no account of its own and is refused without a query).
    [[nodiscard]] bool lookupAccount(const QString &userId, Account *account);
    // The broadcast message and feeds of the account; false when the statement failed.
    [[nodiscard]] bool readAccountDetails(const QString &userId, Account *account);
    // The newest server settings row: the server's date and the one-day backfill path; false when
    // the statement failed.
    [[nodiscard]] bool serverSettings(QString *serverDate, QString *oneDayPath);

    // Symbols of one exchange in the catalogue's order; false when the statement failed.
    [[nodiscard]] bool catalogue(const QString &exchange, QStringList *symbols);

private:
    QSqlDatabase m_database;
    std::unique_ptr<QSqlQuery> m_query;
};
