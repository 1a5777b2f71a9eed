#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "backfill/transfer.h"

#include <functional>

class QTimer;
class QUrl;
class Selection;
struct SelectedSymbol;

// One backfill run at a time on the backfill downloader: an intraday run works through its queue
// one request at a time, each download imported before the next request leaves; an end-of-day
// run fetches one archive and imports what it unpacked. The window only forwards the trader's
// clicks and shows what the run reports.
class BackfillRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackfillRun)

public:
    enum class State { Idle, Intraday, EndOfDay };
    Q_ENUM(State)

    // What every intraday request of this start carries besides the days and the symbol.
    struct IntradayEndpoint
    {
        QString scheme;
        QString backfillPath;
        QString userId;
        QString requestKey;
    };

    // Hands a data file and its format file to AmiBroker; false when AmiBroker could not take it.
    using Importer = std::function<bool(const QString &dataFile, const QString &formatFile)>;

    BackfillRun(Transfer &transfer, Importer importer, const Selection &selection,
                QObject *parent = nullptr);
    ~BackfillRun() override;

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool isActive() const { return m_state != State::Idle; }
    [[nodiscard]] QStringList queue() const { return m_queue; }

    // What the progress bar shows for a report of the downloader aimed at url: the percent cut to
    // a whole number (0 when not finite), and "(<item>) <speed>", the item being the last piece of
    // the URL after '/' and then '='.
    struct Progress
    {
        int percent = 0;
        QString text;
    };
    [[nodiscard]] static Progress progressOf(const QUrl &url, const QString &progress, const QString &speed);

    // The URLs of the rows whose exchange is enabled, top row first.
    [[nodiscard]] static QStringList intradayUrls(const QVector<SelectedSymbol> &rows,
                                                  const QStringList &enabledExchanges,
                                                  const IntradayEndpoint &endpoint, const QString &days);

    // The Backfill button and a row's button: the queue becomes these URLs; a run in progress
    // stops instead of starting.
    void toggleIntraday(const QStringList &urls);
    // The start-up backfill: appended to the queue, then the same as the button.
    void queueIntraday(const QStringList &urls);
    // A row that may not be backfilled still empties the queue: a run ends after its request.
    void clearQueue() { m_queue.clear(); }
    // The end-of-day dialog: a run in progress stops; otherwise the archive is fetched.
    void toggleEndOfDay(const QString &archiveUrl, bool watchListOnly);
    void stop();
    // A restart ends the run; the log says how far it got.
    void stopForRestart();

    // The rows the last intraday run gave up on, as their URLs.
    [[nodiscard]] QStringList failedUrls() const { return m_failedUrls; }
    // True while a refused import waits for AmiBroker to come back.
    [[nodiscard]] bool isWaitingForAmiBroker() const { return m_waitingForAmiBroker; }

    // How long a refused import waits for AmiBroker before the run ends, counted from the first
    // refusal of the file in hand; meanwhile it is tried again every few seconds and whenever the
    // link comes back, a bounded number of times.
    static constexpr int AmiBrokerWaitMs = 60000;
    static constexpr int AmiBrokerRetryMs = 5000;
    static constexpr int AmiBrokerRetries = 10;
    void setAmiBrokerWait(int ms);
    void setAmiBrokerRetryInterval(int ms);

    // A row or file the run could not deliver, and why.
    struct Failure
    {
        QString item; // the symbol of an intraday row, the name of an end-of-day file
        QString reason;
    };

    // How a run ended, as data; outcomeText() makes what the trader sees of it.
    struct Outcome
    {
        enum class Kind {
            None,            // no run has ended yet
            Done,            // every row or file went in, but those in failures
            Stopped,         // by the trader or a restart; nothing is shown
            ArchiveFailed,   // the end-of-day archive never arrived, for reason
            AmiBrokerGaveUp, // AmiBroker did not take a file within its wait
        };
        Kind kind = Kind::None;
        bool endOfDay = false;
        // Intraday rows skipped after their repeats; end-of-day files never handed to AmiBroker.
        QVector<Failure> failures;
        // What the archive left out, in the downloader's words.
        QString partialFailure;
        // ArchiveFailed: why the last request failed.
        QString reason;
        // AmiBrokerGaveUp: away rather than refusing, and the rows or files never imported.
        bool amibrokerReachable = true;
        QStringList notDone;
    };
    struct OutcomeText
    {
        QString text;    // the progress bar
        QString details; // its tooltip
    };
    [[nodiscard]] static OutcomeText outcomeText(const Outcome &outcome);
    [[nodiscard]] const Outcome &lastOutcome() const { return m_lastOutcome; }

    // Waits before the first, second and third repeat of a failing request.
    void setRetryDelays(const QVector<int> &delaysMs) { m_retryDelays = delaysMs; }
    [[nodiscard]] static QVector<int> defaultRetryDelays() { return {1000, 2000, 4000}; }

public slots:
    // The downloader's reports.
    void downloaded();
    void downloadFailed();
    void showProgress(const QString &progress, const QString &speed);
    // The AmiBroker link changed; when it is back, a refused import is tried again.
    void setAmiBrokerReachable(bool reachable);

signals:
    void stateChanged(BackfillRun::State state);
    // The progress bar of the run: percent and "(<item>) <speed>".
    void progressChanged(int percent, const QString &text);
    // The run's last word for the progress bar, with what went wrong (for its tooltip).
    void finished(const QString &text, const QString &details);

private:
    void drive();
    void requestNext();
    void setState(State state);
    void retry();
    void finishRun(Outcome outcome);
    void importEndOfDay();
    void importIntraday();
    void continueEndOfDay();
    void failCurrent(const QString &reason);
    void waitForAmiBroker();
    void retryImport();
    void endAmiBrokerWait();
    void giveUpOnAmiBroker();
    [[nodiscard]] QString currentItem() const;
    void emptyBackfillFolder() const;

    Transfer &m_transfer;
    Importer m_import;
    const Selection &m_selection;
    QString m_currentUrl;
    qint64 m_runStartedMs = 0;
    int m_runRows = 0;
    // While a new request is set up, the end of the one it replaces is no news.
    bool m_aiming = false;
    State m_state = State::Idle;
    QStringList m_queue;
    bool m_watchListOnly = true;
    QVector<int> m_retryDelays = defaultRetryDelays();
    QTimer *m_retryTimer = nullptr;
    int m_attempts = 0;
    QString m_currentSymbol;
    QVector<Failure> m_failedRows;
    QStringList m_failedUrls;
    // An end-of-day import in progress: the entries still to import and the counts so far.
    QStringList m_eodEntries;
    int m_eodImported = 0;
    int m_eodFound = 0;
    // End-of-day files that cannot be handed to AmiBroker.
    QVector<Failure> m_eodRefused;
    bool m_waitingForAmiBroker = false;
    bool m_amibrokerReachable = true;
    int m_amibrokerRetries = 0;
    QTimer *m_amibrokerDeadline = nullptr;
    QTimer *m_amibrokerRetryTimer = nullptr;
    QString m_backfillFolder;      // <root>/Backfill
    Outcome m_lastOutcome;
};
