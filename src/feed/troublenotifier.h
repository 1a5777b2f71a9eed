#pragma once

#include "feed/feedhealth.h"

#include <QDateTime>
#include <QSet>
#include <QString>

// Decides when the trader, who is not looking at the window, is told about the feed: once when the
// feed goes down, the vendor refuses it or AmiBroker cannot be reached, and once when it is live again
// after one of them. Quiet in the first minute after the start and while the window is in front.
class TroubleNotifier final
{
public:
    static constexpr qint64 QuietStartMs = 60000;

    struct Notification
    {
        QString title;
        QString text;
        [[nodiscard]] bool isEmpty() const { return text.isEmpty(); }
    };

    explicit TroubleNotifier(qint64 startedMs = 0);

    // One look at the indicator (the window takes one each second); steady milliseconds for the
    // quiet start, the time of day for the texts.
    [[nodiscard]] Notification look(const FeedHealth::Report &report, qint64 nowMs, const QDateTime &wallNow,
                                    const QDateTime &lastGoodReply, bool windowInFront);

private:
    qint64 m_startedMs;
    QSet<int> m_told;        // notable troubles told (or seen in front) since the feed was last fine
    QDateTime m_firstTold;   // when the first trouble the trader was told of began; invalid: none
};
