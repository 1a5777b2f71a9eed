#include "backfill/backfillrun.h"

#include "app/config.h"
#include "app/eventlog.h"
#include "app/installfolder.h"
#include "symbols/selection.h"
#include "vendor/vendorservice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int IntradayPollMs = 50;
constexpr int IntradayWatchdogMs = 90000;
constexpr int EndOfDayPollMs = 10;
constexpr int EndOfDayWatchdogMs = 5000000;
const QString Done = QStringLiteral("Backfill Done");
const QString Failed = QStringLiteral("Backfill Failed");

// The symbol an intraday URL asks for, as the trader knows it.
QString symbolOf(const QString &url)
{
    return QUrlQuery(QUrl(url, QUrl::TolerantMode)).queryItemValue(QStringLiteral("send"), QUrl::FullyDecoded);
}

int truncatedPercent(const QString &progress)
{
    const double value = progress.toDouble();
    // An unknown total or a zero-time transfer gives an infinite or undefined ratio.
    if (!std::isfinite(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()) || value <= double(std::numeric_limits<int>::min()))
        return 0;
    return static_cast<int>(value);
}

// What the progress bar names a request by: the last piece of its URL after '/' and then '='.
QString itemOf(const QUrl &url)
{
    QString item = url.toString();
    item = item.mid(item.lastIndexOf(QLatin1Char('/')) + 1);
    return item.mid(item.lastIndexOf(QLatin1Char('=')) + 1);
}

// Skipped rows, one "<symbol>: <reason>" a line.
QString rowLines(const QVector<BackfillRun::Failure> &rows)
{
    QStringList lines;
    for (const BackfillRun::Failure &row : rows)
        lines << QStringLiteral("%1: %2").arg(row.item, row.reason);
    return lines.join(QLatin1Char('\n'));
}

// Refused files as "<name> (<why>)".
QStringList fileNotes(const QVector<BackfillRun::Failure> &files)
{
    QStringList notes;
    for (const BackfillRun::Failure &file : files)
        notes << QStringLiteral("%1 (%2)").arg(file.item, file.reason);
    return notes;
}

bool endedClean(const BackfillRun::Outcome &outcome)
{
    return outcome.kind == BackfillRun::Outcome::Kind::Done && outcome.failures.isEmpty()
        && outcome.partialFailure.isEmpty();
}

}

BackfillRun::BackfillRun(Transfer &transfer, Importer importer, const Selection &selection,
                         QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
    , m_import(std::move(importer))
    , m_selection(selection)
    , m_backfillFolder(Config::instance().path(InstallFolder::BackfillFolder))
{
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    // A coarse timer may fire 5 % early; the pause is a promise to the vendor.
    m_retryTimer->setTimerType(Qt::PreciseTimer);
    connect(m_retryTimer, &QTimer::timeout, this, &BackfillRun::retry);
    m_amibrokerDeadline = new QTimer(this);
    m_amibrokerDeadline->setSingleShot(true);
    m_amibrokerDeadline->setInterval(AmiBrokerWaitMs);
    connect(m_amibrokerDeadline, &QTimer::timeout, this, &BackfillRun::giveUpOnAmiBroker);
    m_amibrokerRetryTimer = new QTimer(this);
    m_amibrokerRetryTimer->setSingleShot(true);
    m_amibrokerRetryTimer->setInterval(AmiBrokerRetryMs);
    connect(m_amibrokerRetryTimer, &QTimer::timeout, this, &BackfillRun::retryImport);
}

void BackfillRun::setAmiBrokerWait(int ms)
{
    m_amibrokerDeadline->setInterval(ms);
}

void BackfillRun::setAmiBrokerRetryInterval(int ms)
{
    m_amibrokerRetryTimer->setInterval(ms);
}

BackfillRun::~BackfillRun() = default;

QStringList BackfillRun::intradayUrls(const QVector<SelectedSymbol> &rows, const QStringList &enabledExchanges,
                                      const IntradayEndpoint &endpoint, const QString &days)
{
    QStringList urls;
    for (const SelectedSymbol &row : rows) {
        if (enabledExchanges.contains(row.exchange))
            urls << Vendor::intradayBackfillUrl(endpoint.scheme, endpoint.backfillPath, endpoint.userId,
                                                endpoint.requestKey, days, row.symbol);
    }
    return urls;
}

void BackfillRun::toggleIntraday(const QStringList &urls)
{
    m_queue = urls;
    drive();
}

void BackfillRun::queueIntraday(const QStringList &urls)
{
    m_queue << urls;
    drive();
}

void BackfillRun::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void BackfillRun::stop()
{
    // A reply already in flight is still written, but no longer imported.
    m_queue.clear();
    m_retryTimer->stop();
    endAmiBrokerWait();
    m_eodEntries.clear();
    m_transfer.stopPolling();
    if (m_state != State::Idle) {
        m_lastOutcome = Outcome();
        m_lastOutcome.kind = Outcome::Kind::Stopped;
        m_lastOutcome.endOfDay = m_state == State::EndOfDay;
    }
    setState(State::Idle);
}

void BackfillRun::stopForRestart()
{
    if (m_state == State::Idle)
        return;
    // The request in hand is not done yet.
    const int done = m_state == State::EndOfDay ? 0 : m_runRows - int(m_queue.size()) - 1;
    EventLog::warning(QStringLiteral("backfill"), QStringLiteral("backfill run stopped by restart: %1 of %2 rows done")
                                                      .arg(qMax(done, 0))
                                                      .arg(m_runRows));
    stop();
}

void BackfillRun::drive()
{
    if (m_state != State::Idle) {
        stop();
        return;
    }
    m_failedRows.clear();
    m_failedUrls.clear();
    m_runStartedMs = QDateTime::currentMSecsSinceEpoch();
    m_runRows = m_queue.size();
    EventLog::info(QStringLiteral("backfill"), QStringLiteral("intraday run started: %1 rows").arg(m_runRows));
    requestNext();
}

// Arms the downloader for the next queued URL; the request leaves at its next poll tick, after
// the download in hand (if any) has been imported.
void BackfillRun::requestNext()
{
    if (m_queue.isEmpty()) {
        m_transfer.stopPolling();
        Outcome outcome;
        outcome.kind = Outcome::Kind::Done;
        outcome.failures = m_failedRows;
        finishRun(std::move(outcome));
        return;
    }

    const QString url = m_queue.takeFirst();
    m_currentSymbol = symbolOf(url);
    m_attempts = 0;
    m_currentUrl = url;
    // A stopped run's request may still be pending; its reply belongs to no request of this run.
    m_aiming = true;
    m_transfer.fetch(InstallFolder::IntradayBackfillFile, url, IntradayPollMs, IntradayWatchdogMs);
    m_aiming = false;
    setState(State::Intraday);
}

void BackfillRun::toggleEndOfDay(const QString &archiveUrl, bool watchListOnly)
{
    if (m_state != State::Idle) {
        // Stops whichever run is active; the chosen archive is not requested.
        stop();
        return;
    }

    m_watchListOnly = watchListOnly;
    m_attempts = 0;
    m_currentUrl = archiveUrl;
    m_runStartedMs = QDateTime::currentMSecsSinceEpoch();
    m_runRows = 1;
    EventLog::info(QStringLiteral("backfill"), QStringLiteral("end-of-day run started: %1").arg(archiveUrl));
    // Neither a stopped run's pending reply nor the files it left unpacked belong to this archive.
    m_aiming = true;
    m_transfer.stopPolling();
    m_transfer.fetch(InstallFolder::EndOfDayArchive, archiveUrl, EndOfDayPollMs, EndOfDayWatchdogMs);
    m_aiming = false;
    emptyBackfillFolder();
    setState(State::EndOfDay);
}

void BackfillRun::downloaded()
{
    if (m_aiming)
        return;
    switch (m_state) {
    case State::Idle:
        return;
    case State::Intraday: {
        // The vendor's error lines are no data: the row failed, for the reason they give.
        QFile reply(Config::instance().path(InstallFolder::IntradayBackfillFile));
        const QByteArray refusal = reply.open(QIODevice::ReadOnly) ? Vendor::refusalLine(reply.read(64 * 1024))
                                                                   : QByteArray();
        if (!refusal.isEmpty()) {
            failCurrent(QStringLiteral("%1 (%2)").arg(Vendor::refusalReason(refusal), QString::fromUtf8(refusal)));
            return;
        }
        importIntraday();
        return;
    }
    case State::EndOfDay:
        // One archive per run; its import runs once the downloader has returned.
        m_transfer.stopPolling();
        QMetaObject::invokeMethod(this, &BackfillRun::importEndOfDay, Qt::QueuedConnection);
        return;
    }
}

void BackfillRun::importIntraday()
{
    const Config &config = Config::instance();
    if (!m_import(config.nativePath(InstallFolder::IntradayBackfillFile),
                  config.nativePath(InstallFolder::IntradayFormatFile))) {
        waitForAmiBroker();
        return;
    }
    endAmiBrokerWait();
    requestNext();
}

void BackfillRun::importEndOfDay()
{
    if (m_state != State::EndOfDay)
        return;
    m_eodEntries.clear();
    m_eodRefused.clear();
    m_eodImported = 0;
    m_eodFound = 0;
    const QDir folder(m_backfillFolder);
    // Folders the archive brought are no data files for AmiBroker.
    const QStringList folders = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    if (!folders.isEmpty())
        EventLog::warning(QStringLiteral("backfill"), QStringLiteral("end-of-day archive %1: folders skipped: %2")
                                                          .arg(m_currentUrl, folders.join(QStringLiteral(", "))));
    const QStringList entries = folder.entryList(QDir::Files, QDir::NoSort);
    for (const QString &entry : entries) {
        ++m_eodFound;
        if (m_watchListOnly) {
            QString symbol = entry;
            symbol.remove(QStringLiteral(".txt"));
            if (!m_selection.contains(symbol))
                continue;
        }
        // The path travels inside Import's method text, where a comma would start a fourth argument.
        if (entry.contains(QLatin1Char(','))) {
            m_eodRefused << Failure{entry, QStringLiteral("a comma in the name")};
            EventLog::warning(QStringLiteral("backfill"),
                              QStringLiteral("end-of-day file %1 not imported: a comma in its name").arg(entry));
            continue;
        }
        m_eodEntries << entry;
    }
    continueEndOfDay();
}

// Imports the entries still to go; a refused one stops here and waits for AmiBroker.
void BackfillRun::continueEndOfDay()
{
    const QString formatFile = Config::instance().nativePath(InstallFolder::EndOfDayFormatFile);
    while (!m_eodEntries.isEmpty()) {
        if (!m_import(QDir::toNativeSeparators(m_backfillFolder + QLatin1Char('/') + m_eodEntries.first()),
                      formatFile)) {
            waitForAmiBroker();
            return;
        }
        endAmiBrokerWait();
        m_eodEntries.removeFirst();
        ++m_eodImported;
    }
    EventLog::info(QStringLiteral("backfill"), QStringLiteral("end-of-day archive %1: %2 of %3 files imported")
                                                   .arg(m_currentUrl)
                                                   .arg(m_eodImported)
                                                   .arg(m_eodFound));

    // The next archive starts from an empty folder.
    emptyBackfillFolder();
    Outcome outcome;
    outcome.kind = Outcome::Kind::Done;
    outcome.failures = m_eodRefused;
    outcome.partialFailure = m_transfer.partialFailure();
    finishRun(std::move(outcome));
}

// AmiBroker did not take the file: the run holds it and waits, a minute at most from the first
// refusal, whatever the link does meanwhile.
void BackfillRun::waitForAmiBroker()
{
    m_transfer.stopPolling();
    if (m_waitingForAmiBroker)
        return;
    m_waitingForAmiBroker = true;
    if (m_amibrokerRetries < AmiBrokerRetries)
        m_amibrokerRetryTimer->start();
    if (m_amibrokerDeadline->isActive())
        return;
    m_amibrokerDeadline->start();
    EventLog::warning(QStringLiteral("backfill"),
                      QStringLiteral("AmiBroker did not take %1; the run waits for it").arg(currentItem()));
    emit progressChanged(0, QStringLiteral("(%1) waiting for AmiBroker").arg(currentItem()));
}

void BackfillRun::setAmiBrokerReachable(bool reachable)
{
    m_amibrokerReachable = reachable;
    if (reachable)
        retryImport();
}

void BackfillRun::retryImport()
{
    if (!m_waitingForAmiBroker || m_amibrokerRetries >= AmiBrokerRetries)
        return;
    ++m_amibrokerRetries;
    m_waitingForAmiBroker = false;
    m_amibrokerRetryTimer->stop();
    if (m_state == State::Intraday)
        importIntraday();
    else if (m_state == State::EndOfDay)
        continueEndOfDay();
}

// The file in hand went in, or the run ends: the next refusal waits afresh.
void BackfillRun::endAmiBrokerWait()
{
    m_waitingForAmiBroker = false;
    m_amibrokerRetries = 0;
    m_amibrokerDeadline->stop();
    m_amibrokerRetryTimer->stop();
}

void BackfillRun::giveUpOnAmiBroker()
{
    if (!m_waitingForAmiBroker)
        return;
    endAmiBrokerWait();
    Outcome outcome;
    outcome.kind = Outcome::Kind::AmiBrokerGaveUp;
    outcome.amibrokerReachable = m_amibrokerReachable;
    if (m_state == State::EndOfDay) {
        // Kept for the trader until the next end-of-day run empties the folder.
        EventLog::warning(QStringLiteral("backfill"), QStringLiteral("end-of-day files not imported, left in %1: %2")
                                                          .arg(QDir::toNativeSeparators(m_backfillFolder),
                                                               m_eodEntries.join(QStringLiteral(", "))));
        outcome.notDone = m_eodEntries;
        outcome.failures = m_eodRefused;
        m_eodEntries.clear();
    } else {
        outcome.notDone << m_currentSymbol;
        for (const QString &url : qAsConst(m_queue))
            outcome.notDone << symbolOf(url);
        outcome.failures = m_failedRows;
        m_failedUrls << m_currentUrl << m_queue;
        m_queue.clear();
    }
    m_transfer.stopPolling();
    finishRun(std::move(outcome));
}

QString BackfillRun::currentItem() const
{
    if (m_state == State::EndOfDay)
        return m_eodEntries.isEmpty() ? m_currentUrl : m_eodEntries.first();
    return m_currentSymbol;
}

BackfillRun::OutcomeText BackfillRun::outcomeText(const Outcome &outcome)
{
    switch (outcome.kind) {
    case Outcome::Kind::None:
    case Outcome::Kind::Stopped:
        return {};
    case Outcome::Kind::ArchiveFailed:
        return {Failed, outcome.reason};
    case Outcome::Kind::AmiBrokerGaveUp: {
        QString details = outcome.amibrokerReachable ? QStringLiteral("AmiBroker refused the import")
                                                     : QStringLiteral("AmiBroker not reachable");
        if (outcome.endOfDay)
            return {Failed, details + QStringLiteral("\nNot imported: ")
                                + (outcome.notDone + fileNotes(outcome.failures)).join(QStringLiteral(", "))};
        details += QStringLiteral("\nNot backfilled: ") + outcome.notDone.join(QStringLiteral(", "));
        if (!outcome.failures.isEmpty())
            details += QLatin1Char('\n') + rowLines(outcome.failures);
        return {Failed, details};
    }
    case Outcome::Kind::Done:
        break;
    }
    if (endedClean(outcome))
        return {Done, QString()};
    if (!outcome.endOfDay)
        return {QStringLiteral("Backfill Done (%1 failed)").arg(outcome.failures.size()),
                QStringLiteral("Not backfilled:\n") + rowLines(outcome.failures)};
    // The archive's own shortfall counts as one failure.
    QStringList lines;
    if (!outcome.partialFailure.isEmpty())
        lines << outcome.partialFailure;
    if (!outcome.failures.isEmpty())
        lines << QStringLiteral("Not imported: ") + fileNotes(outcome.failures).join(QStringLiteral(", "));
    return {QStringLiteral("Backfill Done (%1 failed)")
                .arg(int(outcome.failures.size()) + (outcome.partialFailure.isEmpty() ? 0 : 1)),
            lines.join(QLatin1Char('\n'))};
}

void BackfillRun::finishRun(Outcome outcome)
{
    outcome.endOfDay = m_state == State::EndOfDay;
    m_lastOutcome = std::move(outcome);
    const OutcomeText shown = outcomeText(m_lastOutcome);
    const bool clean = endedClean(m_lastOutcome);
    // The log counts an archive as one row, failed unless it ended clean.
    const int failed = m_lastOutcome.endOfDay ? (clean ? 0 : 1) : int(m_lastOutcome.failures.size());
    const QString line = QStringLiteral("%1 run ended: %2; %3 rows, %4 failed, %5 s%6")
                             .arg(m_lastOutcome.endOfDay ? QStringLiteral("end-of-day") : QStringLiteral("intraday"),
                                  shown.text)
                             .arg(m_runRows)
                             .arg(failed)
                             .arg((QDateTime::currentMSecsSinceEpoch() - m_runStartedMs) / 1000.0, 0, 'f', 1)
                             .arg(shown.details.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(shown.details));
    if (clean)
        EventLog::info(QStringLiteral("backfill"), line);
    else
        EventLog::warning(QStringLiteral("backfill"), line);
    m_retryTimer->stop();
    endAmiBrokerWait();
    setState(State::Idle);
    emit finished(shown.text, shown.details);
}

// A failed request is repeated after a pause, a few times; then an intraday row is skipped and an
// archive ends the run. Nothing is asked again at the poll rate.
void BackfillRun::downloadFailed()
{
    if (m_state == State::Idle || m_aiming)
        return;
    failCurrent(m_transfer.lastError());
}

void BackfillRun::failCurrent(const QString &reason)
{
    m_transfer.stopPolling();

    if (m_attempts < m_retryDelays.size()) {
        const int delay = m_retryDelays.at(m_attempts++);
        // A ')' in the name closes the parenthesis: the name is shown up to it.
        const QString item = itemOf(QUrl(m_currentUrl, QUrl::TolerantMode)).section(QLatin1Char(')'), 0, 0);
        emit progressChanged(0, QStringLiteral("(%1) failed, retry %2 of %3 in %4 s")
                                    .arg(item)
                                    .arg(m_attempts)
                                    .arg(m_retryDelays.size())
                                    .arg(delay / 1000.0));
        m_retryTimer->start(delay);
        return;
    }

    if (m_state == State::EndOfDay) {
        Outcome outcome;
        outcome.kind = Outcome::Kind::ArchiveFailed;
        outcome.reason = reason;
        finishRun(std::move(outcome));
        return;
    }
    m_failedRows << Failure{m_currentSymbol, reason};
    m_failedUrls << m_currentUrl;
    requestNext();
}

void BackfillRun::retry()
{
    if (m_state == State::Intraday)
        m_transfer.resumePolling(IntradayPollMs);
    else if (m_state == State::EndOfDay)
        m_transfer.resumePolling(EndOfDayPollMs);
}

void BackfillRun::emptyBackfillFolder() const
{
    QDir(m_backfillFolder).removeRecursively();
    QDir().mkpath(m_backfillFolder);
}

BackfillRun::Progress BackfillRun::progressOf(const QUrl &url, const QString &progress, const QString &speed)
{
    return {truncatedPercent(progress), QStringLiteral("(%2) %1").arg(speed, itemOf(url))};
}

void BackfillRun::showProgress(const QString &progress, const QString &speed)
{
    // A stopped run's late reply shows nothing.
    if (m_state == State::Idle || m_aiming)
        return;
    const Progress shown = progressOf(QUrl(m_currentUrl, QUrl::TolerantMode), progress, speed);
    emit progressChanged(shown.percent, shown.text);
}
