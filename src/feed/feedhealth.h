#pragma once

#include "feed/liveimport.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

// How the live feed is doing, from counters the live path keeps (a few assignments per reply);
// read once a second for the window's indicator. Notices when replies come back after an outage.
// Ages run on a steady clock; the time of day is only shown.
class FeedHealth final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeedHealth)

public:
    // Most urgent first where several hold; Waiting (no good reply yet, nothing wrong yet) is no trouble.
    enum class State { Live, Stale, Down, VendorRefused, NoQuotes, AmiBrokerUnreachable, ImportFileFailed, Waiting };
    Q_ENUM(State)
    // What the latest live replies said, for the log: one line per change.
    enum class Condition { Good, Failing, Refused, NoQuotes };
    Q_ENUM(Condition)

    // Steady milliseconds (not the time of day); tests replace it.
    using Clock = std::function<qint64()>;
    using WallClock = std::function<QDateTime()>;

    static constexpr qint64 StaleAfterMs = 3000;
    static constexpr qint64 DownAfterMs = 60000;
    static constexpr qint64 MedianWindowMs = 60000;

    explicit FeedHealth(Clock clock = {}, QObject *parent = nullptr);

    void setClock(Clock clock);
    void setWallClock(WallClock clock);
    // The feed starts: ages count from here until the first good reply.
    void start();
    // The last good reply of the previous cycle, before a restart: the first good reply of this
    // one closes that gap.
    void carryOverLastGood(const QDateTime &lastGood);

    // The live path: a reply came in, then what it held.
    void replyArrived();
    void replyRead(const LiveImport::Tally &tally, const QByteArray &reply, bool selectionEmpty);
    // cause: a few words for the indicator when the failure is one the trader can act on (the
    // vendor redirects, the proxy refuses); empty for any other.
    void replyFailed(const QString &error, const QString &cause = QString());
    void imported(int lines = 0);
    // AmiBroker did not take a live import file.
    void importNotTaken();
    void setAmiBrokerReachable(bool reachable);
    void importFileWritten(bool written, const QString &reason);

    struct Report
    {
        State state = State::Live;
        QString text;     // "Live", "Stale 12 s", "Down 2 min · AmiBroker not reachable", ...
        QString colour;   // "#rrggbb"
        QString tooltip;
        QVector<State> troubles;   // every trouble that holds, the most urgent first; empty when live
        QString refusalReason;     // the vendor's, while it refuses
    };
    [[nodiscard]] Report report() const;
    // "Stale 12 s" / "Down 2 min" for an age, "Live" under the threshold.
    [[nodiscard]] static QString ageText(qint64 ageMs);
    // Median of the reply-to-import times of the last minute; -1 without any.
    [[nodiscard]] qint64 medianReplyToImportMs() const;

    // What the last minute held, for the log's summary line; starts the next minute.
    struct Minute
    {
        int replies = 0;
        int failures = 0;
        int imports = 0;
        qint64 lines = 0;
        qint64 medianMs = -1;
        qint64 worstMs = -1;
    };
    Minute takeMinute();
    [[nodiscard]] static QString summaryText(const Minute &minute);

    [[nodiscard]] int failuresInRow() const { return m_failuresInRow; }
    [[nodiscard]] qint64 importsThisSession() const { return m_imports; }
    [[nodiscard]] bool hadGoodReply() const { return m_lastGoodMs != 0; }
    // The time of day of the last good reply, of an earlier cycle before the first of this one;
    // invalid when there was none.
    [[nodiscard]] QDateTime lastGoodReply() const
    {
        return (m_lastGoodWall.isValid() ? m_lastGoodWall : m_carriedLastGood).toLocalTime();
    }
    [[nodiscard]] Condition condition() const { return m_condition; }

signals:
    // A good reply after at least DownAfterMs without one.
    void recoveredAfterOutage(qint64 outageMs);
    // AmiBroker answers or takes a live import again after at least DownAfterMs without a live
    // import taken; holeMs counts from the last one (or the start). A vendor outage reported by
    // recoveredAfterOutage covers the hole up to its end.
    void importsResumedAfterHole(qint64 holeMs);
    // The replies' condition changed; detail: the error, or the vendor's reason and answer.
    void conditionChanged(FeedHealth::Condition condition, const QString &detail);
    // The import file could (again) or could not be written.
    void importFileStateChanged(bool written, const QString &reason);

private:
    struct Sample
    {
        qint64 atMs;
        qint64 replyToImportMs;
    };
    void setCondition(Condition condition, const QString &detail);
    void closeImportHole(qint64 nowMs);

    Clock m_clock;
    WallClock m_wallClock;
    qint64 m_startedMs = 0;
    bool m_started = false;
    qint64 m_lastGoodMs = 0;        // 0: none yet
    QDateTime m_lastGoodWall;
    QDateTime m_carriedLastGood;    // from before a restart, until the first good reply
    qint64 m_lastArrivalMs = 0;
    bool m_awaitingImport = false;
    int m_failuresInRow = 0;
    QString m_lastError;
    QString m_failureCause;
    Condition m_condition = Condition::Good;
    QString m_conditionDetail;
    QString m_refusalReason;
    QString m_refusalLine;
    int m_failedSymbols = 0;        // error lines among the quotes of the last good reply
    qint64 m_imports = 0;
    bool m_amibrokerReachable = true;
    qint64 m_lastImportMs = 0;      // the last live import taken or hole closed; 0: the start
    bool m_importsMissed = false;   // a live import was not taken, or the link was lost, since then
    QString m_importFileProblem;    // empty: written
    QVector<Sample> m_samples;      // trimmed to the last minute when they are added
    Minute m_minute;
    QVector<qint64> m_minuteTimes;
};
