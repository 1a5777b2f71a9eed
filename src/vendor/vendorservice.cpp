#include "vendor/vendorservice.h"

namespace Vendor {

namespace {
const QString LikeEscape = QStringLiteral("!");
}

QString accountLookupSql()
{
    return QStringLiteral("SELECT * FROM admin_acct,versionautoupdator_qvx_tickvf "
                          "WHERE MachineID LIKE ? ESCAPE '!'");
}

QString accountDetailsSql()
{
    return QStringLiteral("SELECT (SELECT message FROM broadcastmsg_blank LIMIT 1) AS message, Feeds "
                          "FROM admin_acct WHERE MachineID LIKE ? ESCAPE '!'");
}

QString catalogueSql()
{
    return QStringLiteral("select Symbol from Contract Where Exch=? order by symbol asc");
}

QString serverSettingsSql()
{
    return QStringLiteral("SELECT TodaysDateAtServer,oneDayBackfillPath,fiveDayBackfillPath "
                          "FROM ParvelRT_settings ORDER BY ID DESC LIMIT 1");
}

QString accountPattern(const QString &userId)
{
    QString escaped;
    escaped.reserve(userId.size() + 8);
    for (const QChar c : userId) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == LikeEscape.at(0))
            escaped += LikeEscape;
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QString sendList(const QStringList &symbols)
{
    return symbols.join(QLatin1Char('|')).replace(QLatin1String("&"), QLatin1String("%26"));
}

QString firstLiveUrl(const QString &scheme, const QString &getPath, const QString &userId,
                     const QString &requestKey)
{
    return scheme + QLatin1String("://") + getPath + QLatin1String("?uid=") + userId
        + QLatin1String("&send=ACC-I%7CADANIENT-I%7CADANIPORTS-I%7CADANIPOWER-I%7CAMARAJABAT-I")
        + QLatin1String("&hash=") + requestKey;
}

LiveRequest liveRequest(const QString &scheme, const QString &getPath, const QString &postPath,
                        const QString &userId, const QStringList &symbols, const QString &requestKey)
{
    const QString send = sendList(symbols);
    const QString probe = scheme + QLatin1String("://") + postPath + QLatin1String("?send=") + send
        + QLatin1String("&hash=") + requestKey;
    const bool post = probe.size() >= PostThreshold;
    const QString &path = post ? postPath : getPath;
    return {scheme + QLatin1String("://") + path + QLatin1String("?uid=") + userId
                + QLatin1String("&send=") + send + QLatin1String("&hash=") + requestKey,
            post ? 1 : 0};
}

QString intradayBackfillUrl(const QString &scheme, const QString &backfillPath, const QString &userId,
                            const QString &requestKey, const QString &days, const QString &symbol)
{
    QString sent = symbol;
    sent.replace(QLatin1String("&"), QLatin1String("%26"));
    return scheme + QLatin1String("://") + backfillPath + QLatin1String("?uid=") + userId
        + QLatin1String("&hash=") + requestKey + QLatin1String("&d=") + days
        + QLatin1String("&send=") + sent;
}

QString oneDayBackfillBase(const QString &server, const QString &serverDate, const QString &oneDayPath)
{
    return QLatin1String("http://") + server + QLatin1String("/backfillS21/1/") + serverDate
        + QLatin1Char('/') + oneDayPath + QLatin1Char('/');
}

QString endOfDayBase(const QString &oneDayBase)
{
    return QString(oneDayBase).replace(QLatin1String("/1/"), QLatin1String("/e/"));
}

QString endOfDayArchiveName(const QString &feed, int periodIndex)
{
    return feed + QLatin1Char('-') + QString::number(periodIndex + 1) + QLatin1String(".zip");
}

QString refusalReason(const QByteArray &errorLine)
{
    const int first = errorLine.indexOf(',');
    const int second = first < 0 ? -1 : errorLine.indexOf(',', first + 1);
    return QString::fromUtf8(second < 0 ? errorLine : errorLine.mid(second + 1)).trimmed();
}

QByteArray refusalLine(const QByteArray &body)
{
    QByteArray first;
    for (const QByteArray &line : body.split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.isEmpty())
            continue;
        if (!text.contains("Failed"))
            return QByteArray();
        if (first.isEmpty())
            first = text;
    }
    return first;
}

}
