#pragma once

#include <QString>

#include <functional>

struct DatabaseParameters;
class QSqlDatabase;
class QSqlQuery;

// The one connection to the vendor database and its shared query.
namespace VendorDatabase {

inline const QString ConnectionName = QStringLiteral("MYSQLConn");
inline constexpr int OpenAttempts = 3;
// A server that does not answer fails an attempt after 5 s instead of the system's TCP wait (over
// two minutes here, about 21 s on Windows), and a statement after 30 s instead of never.
inline const QString MySqlOptions =
    QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=5;MYSQL_OPT_READ_TIMEOUT=30;MYSQL_OPT_WRITE_TIMEOUT=30");

// Adds the connection under ConnectionName with these parameters; does not open it.
[[nodiscard]] QSqlDatabase declare(const DatabaseParameters &parameters);

// Up to OpenAttempts immediate tries, stopping at the first success.
[[nodiscard]] bool openWithRetries(const std::function<bool()> &attempt);
[[nodiscard]] bool open(QSqlDatabase &database);

// The text of the box shown when every attempt failed.
[[nodiscard]] QString unableToConnectText();

// Prepares sql (one placeholder: the account pattern), binds the user ID's pattern and runs it.
// An empty user ID would match every account, so it is refused without touching the database.
[[nodiscard]] bool execAccountQuery(QSqlQuery &query, const QString &sql, const QString &userId);

}
