#include "feed/feedhealth.h"

#include "app/eventlog.h"
#include "platform/steadyclock.h"
#include "vendor/vendorservice.h"

#include <algorithm>

namespace {

const QString Red = QStringLiteral("#ff0000");
const QString Orange = QStringLiteral("#c07000");
const QString DarkRed = QStringLiteral("#b00000");
const QString Purple = QStringLiteral("#7b1fa2");
const QString Grey = QStringLiteral("#606060");

// In UTC: the local time is worked out only where a time is shown, not at every reply.
QDateTime systemWallNow()
{
    return QDateTime::currentDateTimeUtc();
}

// "12 s" under a minute, "2 min" from then on.
QString ageAmount(qint64 ageMs)
{
    if (ageMs >= FeedHealth::DownAfterMs)
        return QStringLiteral("%1 min").arg(ageMs / 60000);
    return QStringLiteral("%1 s").arg(ageMs / 1000);
}

struct Part
{
    int urgency;
    FeedHealth::State state;
    QString text;
    QString colour;
};

}

FeedHealth::FeedHealth(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock(Platform::steadyMs))
    , m_wallClock(systemWallNow)
{
    m_startedMs = m_clock();
}

void FeedHealth::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(Platform::steadyMs);
}

void FeedHealth::setWallClock(WallClock clock)
{
    m_wallClock = clock ? std::move(clock) : WallClock(systemWallNow);
}

void FeedHealth::start()
{
    m_startedMs = m_clock();
    m_started = true;
    m_lastImportMs = 0;
    m_importsMissed = !m_amibrokerReachable;
}

void FeedHealth::carryOverLastGood(const QDateTime &lastGood)
{
    m_carriedLastGood = lastGood;
}

void FeedHealth::replyArrived()
{
    m_lastArrivalMs = m_clock();
    ++m_minute.replies;
    m_awaitingImport = true;
    m_failuresInRow = 0;
}

void FeedHealth::replyRead(const LiveImport::Tally &tally, const QByteArray &reply, bool selectionEmpty)
{
    switch (LiveImport::kindOf(tally, selectionEmpty)) {
    case LiveImport::ReplyKind::Quotes: {
        const qint64 now = m_clock();
        qint64 gapMs = now - (m_lastGoodMs ? m_lastGoodMs : m_startedMs);
        // Across a restart only the time of day spans both cycles.
        if (!m_lastGoodMs && m_carriedLastGood.isValid())
            gapMs = qMax(gapMs, m_carriedLastGood.msecsTo(m_wallClock()));
        m_lastGoodMs = now;
        m_lastGoodWall = m_wallClock();
        m_carriedLastGood = QDateTime();
        m_failedSymbols = tally.failed;
        setCondition(Condition::Good, QString());
        if (gapMs >= DownAfterMs) {
            // The outage's backfill fills whatever AmiBroker missed meanwhile too.
            m_lastImportMs = now;
            m_importsMissed = false;
            emit recoveredAfterOutage(gapMs);
        }
        return;
    }
    case LiveImport::ReplyKind::Refused: {
        const QByteArray line = LiveImport::firstLine(reply, tally);
        m_refusalLine = QString::fromUtf8(line);
        m_refusalReason = Vendor::refusalReason(line);
        setCondition(Condition::Refused, QStringLiteral("%1 (%2)").arg(m_refusalReason, m_refusalLine));
        return;
    }
    case LiveImport::ReplyKind::NoQuotes:
        setCondition(Condition::NoQuotes, QString());
        return;
    }
}

void FeedHealth::replyFailed(const QString &error, const QString &cause)
{
    m_lastError = error;
    ++m_minute.failures;
    ++m_failuresInRow;
    // Another transfer error is no news; a cause the trader can act on coming or going is.
    const bool causeChanged = cause != m_failureCause;
    m_failureCause = cause;
    if (m_condition != Condition::Failing) {
        setCondition(Condition::Failing, error);
    } else if (causeChanged) {
        m_conditionDetail = error;
        emit conditionChanged(Condition::Failing, error);
    }
}

void FeedHealth::setCondition(Condition condition, const QString &detail)
{
    // A refusal for another reason is news; another transfer error is not.
    if (condition == m_condition && (condition != Condition::Refused || detail == m_conditionDetail))
        return;
    m_condition = condition;
    m_conditionDetail = detail;
    emit conditionChanged(condition, detail);
}

void FeedHealth::imported(int lines)
{
    closeImportHole(m_clock());
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

void FeedHealth::importNotTaken()
{
    m_importsMissed = true;
}

void FeedHealth::setAmiBrokerReachable(bool reachable)
{
    m_amibrokerReachable = reachable;
    if (!reachable) {
        m_importsMissed = true;
        return;
    }
    // Back after a short absence: the next import taken decides, as it may still be refused.
    const qint64 now = m_clock();
    if (m_importsMissed && now - (m_lastImportMs ? m_lastImportMs : m_startedMs) >= DownAfterMs)
        closeImportHole(now);
}

// Called once AmiBroker takes imports again (or answers again after a long absence).
void FeedHealth::closeImportHole(qint64 nowMs)
{
    const qint64 holeMs = nowMs - (m_lastImportMs ? m_lastImportMs : m_startedMs);
    const bool missed = m_importsMissed;
    m_lastImportMs = nowMs;
    m_importsMissed = false;
    if (missed && m_started && holeMs >= DownAfterMs)
        emit importsResumedAfterHole(holeMs);
}

void FeedHealth::importFileWritten(bool written, const QString &reason)
{
    if (!written)
        m_importsMissed = true;
    const QString problem = written ? QString() : (reason.isEmpty() ? QStringLiteral("unknown reason") : reason);
    if (problem == m_importFileProblem)
        return;
    m_importFileProblem = problem;
    emit importFileStateChanged(written, problem);
}

QString FeedHealth::ageText(qint64 ageMs)
{
    if (ageMs >= DownAfterMs)
        return QStringLiteral("Down ") + ageAmount(ageMs);
    if (ageMs >= StaleAfterMs)
        return QStringLiteral("Stale ") + ageAmount(ageMs);
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
    const qint64 age = m_clock() - (m_lastGoodMs ? m_lastGoodMs : m_startedMs);

    // Every trouble that holds, the most urgent first.
    const QString cause = m_condition == Condition::Failing && !m_failureCause.isEmpty()
        ? QStringLiteral(": ") + m_failureCause
        : QString();
    QVector<Part> parts;
    if (m_condition == Condition::Refused)
        parts.append({1, State::VendorRefused, QStringLiteral("Vendor: ") + m_refusalReason, Purple});
    else if (m_condition == Condition::NoQuotes && age >= StaleAfterMs)
        parts.append({age >= DownAfterMs ? 0 : 4, State::NoQuotes, QStringLiteral("No quotes ") + ageAmount(age),
                      age >= DownAfterMs ? Red : Orange});
    else if (age >= DownAfterMs)
        parts.append({0, State::Down, ageText(age) + cause, Red});
    else if (age >= StaleAfterMs)
        parts.append({5, State::Stale, ageText(age) + cause, Orange});
    if (!m_amibrokerReachable)
        parts.append({2, State::AmiBrokerUnreachable, QStringLiteral("AmiBroker not reachable"), DarkRed});
    if (!m_importFileProblem.isEmpty())
        parts.append({3, State::ImportFileFailed, QStringLiteral("Import file not written"), DarkRed});
    std::stable_sort(parts.begin(), parts.end(), [](const Part &a, const Part &b) { return a.urgency < b.urgency; });

    Report report;
    if (parts.isEmpty() && !m_lastGoodMs) {
        // Nothing has gone wrong yet, but nothing has come either.
        report.state = State::Waiting;
        report.text = QStringLiteral("Waiting for the first reply");
        report.colour = Grey;
    } else if (parts.isEmpty()) {
        report.state = State::Live;
        report.text = QStringLiteral("Live");
        report.colour = QStringLiteral("#005605");
    } else {
        report.state = parts.first().state;
        report.colour = parts.first().colour;
        QStringList texts;
        for (const Part &part : qAsConst(parts)) {
            texts << part.text;
            report.troubles << part.state;
        }
        report.text = texts.join(QStringLiteral(" \u00b7 "));
    }

    if (m_condition == Condition::Refused)
        report.refusalReason = m_refusalReason;

    const QString lastGood = m_lastGoodWall.isValid() ? m_lastGoodWall.toLocalTime().toString(QStringLiteral("HH:mm:ss"))
                                                      : QStringLiteral("none yet");
    QStringList lines;
    lines << QStringLiteral("Last good reply: %1").arg(lastGood);
    lines << QStringLiteral("Failures in a row: %1%2")
                 .arg(m_failuresInRow)
                 .arg(m_failuresInRow > 0 && !m_lastError.isEmpty() ? QStringLiteral(" (%1)").arg(m_lastError)
                                                                    : QString());
    if (m_condition == Condition::Refused)
        lines << QStringLiteral("The vendor's answer: %1").arg(m_refusalLine);
    else if (m_condition == Condition::NoQuotes)
        lines << QStringLiteral("The last reply held no quote for the selection");
    else if (m_condition == Condition::Good && m_failedSymbols > 0)
        lines << QStringLiteral("Symbols the vendor failed in the last reply: %1").arg(m_failedSymbols);
    if (!m_amibrokerReachable)
        lines << QStringLiteral("AmiBroker not reachable: tried again every 5 s");
    if (!m_importFileProblem.isEmpty())
        lines << QStringLiteral("Import file not written: %1").arg(m_importFileProblem);
    const qint64 median = medianReplyToImportMs();
    lines << QStringLiteral("Imports this session: %1").arg(m_imports);
    lines << QStringLiteral("Reply to import (median, last minute): %1")
                 .arg(median < 0 ? QStringLiteral("none") : QStringLiteral("%1 ms").arg(median));
    // Transfer errors carry the whole address, request key included.
    report.tooltip = EventLog::redacted(lines.join(QLatin1Char('\n')));
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
