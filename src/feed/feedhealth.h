#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

// How the live feed is doing, from counters the live path keeps (a few assignments per reply);
// read once a second for the window's indicator. Notices when replies come back after an outage.
class FeedHealth final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeedHealth)

public:
    enum class State { Live, Stale, Down, AmiBrokerUnreachable };
    Q_ENUM(State)

    // Milliseconds since the epoch; tests replace it.
    using Clock = std::function<qint64()>;

    static constexpr qint64 StaleAfterMs = 3000;
    static constexpr qint64 DownAfterMs = 60000;
    static constexpr qint64 MedianWindowMs = 60000;

    explicit FeedHealth(Clock clock = {}, QObject *parent = nullptr);

    void setClock(Clock clock);
    // The feed starts: ages count from here until the first good reply.
    void start();

    // The live path.
    void replyArrived();
    void replyFailed(const QString &error);
    void imported(int lines = 0);
    void setAmiBrokerReachable(bool reachable);

    struct Report
    {
        State state = State::Live;
        QString text;     // "Live", "Stale 12 s", "Down 2 min", "AmiBroker not reachable"
        QString colour;   // "#rrggbb"
        QString tooltip;
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
    [[nodiscard]] qint64 lastGoodReplyMs() const { return m_lastGoodMs; }

signals:
    // A good reply after at least DownAfterMs without one.
    void recoveredAfterOutage(qint64 outageMs);
    // Replies started failing, or came back (for the log).
    void liveStateChanged(bool failing, const QString &error);

private:
    struct Sample
    {
        qint64 atMs;
        qint64 replyToImportMs;
    };

    Clock m_clock;
    qint64 m_startedMs = 0;
    qint64 m_lastGoodMs = 0;        // 0: none yet
    qint64 m_lastArrivalMs = 0;
    bool m_awaitingImport = false;
    int m_failuresInRow = 0;
    QString m_lastError;
    qint64 m_imports = 0;
    bool m_amibrokerReachable = true;
    QVector<Sample> m_samples;      // trimmed to the last minute when they are added
    Minute m_minute;
    QVector<qint64> m_minuteTimes;
};
