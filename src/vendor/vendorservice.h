#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The one place that knows the vendor's tables, columns and HTTP services.
namespace Vendor {

namespace Table {
inline const QString Account = QStringLiteral("admin_acct");
inline const QString UpdateRecord = QStringLiteral("versionautoupdator_qvx_tickvf");
inline const QString Broadcast = QStringLiteral("broadcastmsg_blank");
inline const QString Contract = QStringLiteral("Contract");
inline const QString ServerSettings = QStringLiteral("ParvelRT_settings");
}

namespace Column {
inline const QString MachineId = QStringLiteral("MachineID");
inline const QString SecureKey = QStringLiteral("SecureKey");
inline const QString BackfillPath = QStringLiteral("txtBackfillPath");
inline const QString DataPathGet = QStringLiteral("NetworkDataPathGet");
inline const QString DataPathPost = QStringLiteral("NetworkDataPathPost");
inline const QString SupportLink = QStringLiteral("contactSupportLink");
inline const QString Feeds = QStringLiteral("Feeds");
inline const QString LatestVersion = QStringLiteral("LatestVersionRT");
inline const QString LatestVersionPath = QStringLiteral("LatestVersionPath");
inline const QString Message = QStringLiteral("message");
inline const QString Symbol = QStringLiteral("Symbol");
inline const QString Exchange = QStringLiteral("Exch");
inline const QString ServerDate = QStringLiteral("TodaysDateAtServer");
inline const QString OneDayPath = QStringLiteral("oneDayBackfillPath");
inline const QString FiveDayPath = QStringLiteral("fiveDayBackfillPath");
}

// The vendor's web site: named in the "Unable to connect" box and the default support link.
inline const QString WebAddress = QStringLiteral("www.quorvix.in");
inline const QString SupportLink = QStringLiteral("http://www.quorvix.in");

// Statements for the shared query; every value is bound, never pasted into the text.
// Account lookup: bind accountPattern(userId).
[[nodiscard]] QString accountLookupSql();
// Broadcast message and feeds of the account: bind accountPattern(userId).
[[nodiscard]] QString accountDetailsSql();
// Symbols of one exchange in ascending order: bind the exchange name.
[[nodiscard]] QString catalogueSql();
// The newest server settings row.
[[nodiscard]] QString serverSettingsSql();

// LIKE pattern "MachineID contains the user ID", with the user ID's own %, _ and escape
// character taken literally (the statements declare '!' as the escape character).
[[nodiscard]] QString accountPattern(const QString &userId);

// Live endpoint.
struct LiveRequest
{
    QString url;
    int method = 0; // 0 GET, 1 POST
};
// The symbol list that travels as send: joined with "|", every "&" as "%26".
[[nodiscard]] QString sendList(const QStringList &symbols);
// The URL of the connect flow, before any selection is known.
[[nodiscard]] QString firstLiveUrl(const QString &scheme, const QString &getPath,
                                   const QString &userId, const QString &requestKey);
// The request for a selection: POST on the POST path once the probe reaches 1700 characters.
[[nodiscard]] LiveRequest liveRequest(const QString &scheme, const QString &getPath,
                                      const QString &postPath, const QString &userId,
                                      const QStringList &symbols, const QString &requestKey);
inline constexpr int PostThreshold = 1700;

// Intraday backfill endpoint: keys in the order uid, hash, d, send.
[[nodiscard]] QString intradayBackfillUrl(const QString &scheme, const QString &backfillPath,
                                          const QString &userId, const QString &requestKey,
                                          const QString &days, const QString &symbol);

// Backfill file server.
[[nodiscard]] QString oneDayBackfillBase(const QString &server, const QString &serverDate,
                                         const QString &oneDayPath);
[[nodiscard]] QString endOfDayBase(const QString &oneDayBase);
// "CASH-1.zip": the feed, "-", the period index + 1, ".zip".
[[nodiscard]] QString endOfDayArchiveName(const QString &feed, int periodIndex);

// The vendor's error lines: "Failed,<symbol>,<reason>" (a wrong or expired key, an unknown symbol).
// "Authentication Failed" from such a line; the whole line when it has no reason field.
[[nodiscard]] QString refusalReason(const QByteArray &errorLine);
// A body of nothing but error lines is a refusal: its first line; empty for any other body.
[[nodiscard]] QByteArray refusalLine(const QByteArray &body);

}
