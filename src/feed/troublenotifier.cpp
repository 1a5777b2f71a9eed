#include "feed/troublenotifier.h"

#include <QStringList>

namespace {

QString clock(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("HH:mm:ss")) : QStringLiteral("none yet");
}

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

bool notable(FeedHealth::State state)
{
    return state == FeedHealth::State::Down || state == FeedHealth::State::VendorRefused
        || state == FeedHealth::State::AmiBrokerUnreachable;
}

}

TroubleNotifier::TroubleNotifier(qint64 startedMs)
    : m_startedMs(startedMs)
{
}

TroubleNotifier::Notification TroubleNotifier::look(const FeedHealth::Report &report, qint64 nowMs,
                                                    const QDateTime &wallNow, const QDateTime &lastGoodReply,
                                                    bool windowInFront)
{
    // Nothing has settled in the first minute; what still holds after it is told then.
    if (nowMs - m_startedMs < QuietStartMs)
        return {};

    QStringList texts;
    for (const FeedHealth::State state : report.troubles) {
        if (!notable(state) || m_told.contains(int(state)))
            continue;
        m_told.insert(int(state));
        switch (state) {
        case FeedHealth::State::Down:
            texts << QStringLiteral("Feed down since %1 \u2014 last good reply %2").arg(clock(wallNow), clock(lastGoodReply));
            break;
        case FeedHealth::State::VendorRefused:
            texts << QStringLiteral("The vendor refuses the feed since %1: %2").arg(clock(wallNow), report.refusalReason);
            break;
        default:
            texts << QStringLiteral("AmiBroker not reachable since %1 \u2014 the charts do not move")
                         .arg(clock(wallNow));
            break;
        }
    }

    // Only what the trader could not have seen.
    const bool quiet = windowInFront;
    if (!texts.isEmpty()) {
        if (quiet)
            return {};
        if (!m_firstTold.isValid())
            m_firstTold = wallNow;
        return {QStringLiteral("Tickvane: feed trouble"), texts.join(QLatin1Char('\n'))};
    }
    // What was told holds through lesser troubles (stale, no quotes): the trader hears the end of
    // it only once nothing is wrong any more.
    if (!report.troubles.isEmpty())
        return {};
    m_told.clear();
    if (!m_firstTold.isValid())
        return {};
    const QDateTime since = m_firstTold;
    m_firstTold = QDateTime();
    if (quiet)
        return {};
    return {QStringLiteral("Tickvane: feed live again"),
            QStringLiteral("Feed live again at %1 \u2014 after %2 of trouble")
                .arg(clock(wallNow), duration(since.secsTo(wallNow)))};
}
