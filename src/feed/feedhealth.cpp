#include "feed/feedhealth.h"

#include <QDateTime>

#include <algorithm>

namespace {

qint64 systemNow()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}

FeedHealth::FeedHealth(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock(systemNow))
{
    m_startedMs = m_clock();
}

void FeedHealth::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(systemNow);
}

void FeedHealth::start()
{
    m_startedMs = m_clock();
}

void FeedHealth::replyArrived()
{
    const qint64 now = m_clock();
    const qint64 previous = m_lastGoodMs ? m_lastGoodMs : m_startedMs;
    m_lastGoodMs = now;
    m_lastArrivalMs = now;
    ++m_minute.replies;
    m_awaitingImport = true;
    if (m_failuresInRow > 0) {
        m_failuresInRow = 0;
        emit liveStateChanged(false, QString());
    }
    if (now - previous >= DownAfterMs)
        emit recoveredAfterOutage(now - previous);
}

void FeedHealth::replyFailed(const QString &error)
{
    m_lastError = error;
    ++m_minute.failures;
    if (++m_failuresInRow == 1)
        emit liveStateChanged(true, error);
}

void FeedHealth::imported(int lines)
{
    ++m_imports;
    ++m_minute.imports;
    m_minute.lines += lines;
    if (!m_awaitingImport)
        return;
    m_awaitingImport = false;
    const qint64 now = m_clock();
    m_samples.append({now, now - m_lastArrivalMs});
    m_minuteTimes.append(now - m_lastArrivalMs);
    // Old samples leave in bulk, so the live path pays for it rarely.
    if (m_samples.size() > 256 && now - m_samples.first().atMs > MedianWindowMs) {
        const auto recent = std::find_if(m_samples.begin(), m_samples.end(),
                                         [now](const Sample &s) { return now - s.atMs <= MedianWindowMs; });
        m_samples.erase(m_samples.begin(), recent);
    }
}

void FeedHealth::setAmiBrokerReachable(bool reachable)
{
    m_amibrokerReachable = reachable;
}

QString FeedHealth::ageText(qint64 ageMs)
{
    if (ageMs >= DownAfterMs)
        return QStringLiteral("Down %1 min").arg(ageMs / 60000);
    if (ageMs >= StaleAfterMs)
        return QStringLiteral("Stale %1 s").arg(ageMs / 1000);
    return QStringLiteral("Live");
}

qint64 FeedHealth::medianReplyToImportMs() const
{
    const qint64 now = m_clock();
    QVector<qint64> recent;
    for (const Sample &sample : m_samples) {
        if (now - sample.atMs <= MedianWindowMs)
            recent.append(sample.replyToImportMs);
    }
    if (recent.isEmpty())
        return -1;
    const auto middle = recent.begin() + recent.size() / 2;
    std::nth_element(recent.begin(), middle, recent.end());
    return *middle;
}

FeedHealth::Report FeedHealth::report() const
{
    const qint64 now = m_clock();
    const qint64 age = now - (m_lastGoodMs ? m_lastGoodMs : m_startedMs);

    Report report;
    if (!m_amibrokerReachable) {
        report.state = State::AmiBrokerUnreachable;
        report.text = QStringLiteral("AmiBroker not reachable");
        report.colour = QStringLiteral("#b00000");
    } else if (age >= DownAfterMs) {
        report.state = State::Down;
        report.text = ageText(age);
        report.colour = QStringLiteral("#ff0000");
    } else if (age >= StaleAfterMs) {
        report.state = State::Stale;
        report.text = ageText(age);
        report.colour = QStringLiteral("#c07000");
    } else {
        report.state = State::Live;
        report.text = ageText(age);
        report.colour = QStringLiteral("#005605");
    }

    const QString lastGood = m_lastGoodMs
        ? QDateTime::fromMSecsSinceEpoch(m_lastGoodMs).toString(QStringLiteral("HH:mm:ss"))
        : QStringLiteral("none yet");
    const qint64 median = medianReplyToImportMs();
    report.tooltip = QStringLiteral("Last good reply: %1\nFailures in a row: %2%3\nImports this session: %4\n"
                                    "Reply to import (median, last minute): %5")
                         .arg(lastGood)
                         .arg(m_failuresInRow)
                         .arg(m_failuresInRow > 0 && !m_lastError.isEmpty()
                                  ? QStringLiteral(" (%1)").arg(m_lastError)
                                  : QString())
                         .arg(m_imports)
                         .arg(median < 0 ? QStringLiteral("none") : QStringLiteral("%1 ms").arg(median));
    return report;
}

FeedHealth::Minute FeedHealth::takeMinute()
{
    Minute minute = m_minute;
    if (!m_minuteTimes.isEmpty()) {
        const auto middle = m_minuteTimes.begin() + m_minuteTimes.size() / 2;
        std::nth_element(m_minuteTimes.begin(), middle, m_minuteTimes.end());
        minute.medianMs = *middle;
        minute.worstMs = *std::max_element(m_minuteTimes.begin(), m_minuteTimes.end());
    }
    m_minute = Minute();
    m_minuteTimes.clear();
    return minute;
}

QString FeedHealth::summaryText(const Minute &minute)
{
    const auto ms = [](qint64 value) {
        return value < 0 ? QStringLiteral("-") : QStringLiteral("%1 ms").arg(value);
    };
    return QStringLiteral("last minute: %1 replies, %2 failures, %3 imports, %4 lines imported, "
                          "reply to import median %5, worst %6")
        .arg(minute.replies)
        .arg(minute.failures)
        .arg(minute.imports)
        .arg(minute.lines)
        .arg(ms(minute.medianMs), ms(minute.worstMs));
}
