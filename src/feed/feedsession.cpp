#include "feed/feedsession.h"

#include "app/config.h"
#include "app/eventlog.h"
#include "app/installfolder.h"
#include "app/settingsstore.h"
#include "feed/amibroker.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "platform/windowraiser.h"
#include "symbols/selection.h"
#include "vendor/vendorconnection.h"
#include "symbols/replypass.h"
#include "vendor/vendorservice.h"

#include <QDateTime>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

const QString AmiBrokerWindowTitle = QStringLiteral("AmiBroker");
constexpr int LivePollInterval = 700;
constexpr int LiveWatchdogInterval = 5000;
const QString FiveDays = QStringLiteral("5");

void silenceDownloader(MyDownloader *downloader)
{
    if (!downloader)
        return;
    downloader->pollTimer->stop();
    downloader->watchdogTimer->stop();
    downloader->blockSignals(true);
}

}

FeedSession::FeedSession(const Platform::AutomationFactory &automation, VendorConnection &connection,
                         QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{
    setObjectName(QStringLiteral("feedSession"));
    m_account.supportLink = Vendor::SupportLink;
    m_selection = new Selection(this);
    connect(m_selection, &Selection::changed, this, &FeedSession::reaimLiveRequest);

    m_worker = std::make_unique<liveDataUpdator>(*m_selection, automation);
    connect(m_worker.get(), &liveDataUpdator::quotesRead, this, &FeedSession::quotesRead);
    connect(&m_worker->amibroker(), &AmiBroker::reachableChanged, this, &FeedSession::amibrokerReachable);

    m_health = new FeedHealth({}, this);
    m_health->setAmiBrokerReachable(m_worker->amibroker().isReachable());
    m_healthTimer = new QTimer(this);
    m_healthTimer->setInterval(1000);
    connect(m_healthTimer, &QTimer::timeout, this, &FeedSession::reportHealth);
    connect(m_health, &FeedHealth::recoveredAfterOutage, this, &FeedSession::backfillAfterOutage);
    connect(m_health, &FeedHealth::importsResumedAfterHole, this, &FeedSession::backfillAfterAmiBrokerHole);
    connect(m_health, &FeedHealth::conditionChanged, this, &FeedSession::logLiveCondition);
    connect(m_health, &FeedHealth::importFileStateChanged, this, &FeedSession::logImportFileState);
    m_summaryTimer = new QTimer(this);
    m_summaryTimer->setInterval(60000);
    connect(m_summaryTimer, &QTimer::timeout, this,
            [this] { EventLog::info(QStringLiteral("feed"), FeedHealth::summaryText(m_health->takeMinute())); });
    connect(m_worker.get(), &liveDataUpdator::imported, m_health, &FeedHealth::imported);
    connect(m_worker.get(), &liveDataUpdator::replyRead, m_health, &FeedHealth::replyRead);
    connect(m_worker.get(), &liveDataUpdator::importFileWritten, m_health, &FeedHealth::importFileWritten);
    connect(m_worker.get(), &liveDataUpdator::importNotTaken, m_health, &FeedHealth::importNotTaken);

    m_backfillDownloader = std::make_unique<MyDownloader>(
        InstallFolder::IntradayBackfillFile, QStringLiteral("symbolUrl"),
        Config::instance().path(InstallFolder::BackfillFolder) + QLatin1Char('/'), 0);
    AmiBroker &amibroker = m_worker->amibroker();
    m_backfillRun = std::make_unique<BackfillRun>(
        *m_backfillDownloader,
        [&amibroker](const QString &dataFile, const QString &formatFile) {
            return amibroker.import(dataFile, formatFile);
        },
        *m_selection);
    MyDownloader *backfill = m_backfillDownloader.get();
    BackfillRun *run = m_backfillRun.get();
    connect(backfill, &MyDownloader::downloadfinished, run, &BackfillRun::downloaded);
    connect(backfill, &MyDownloader::responseError, run, &BackfillRun::downloadFailed);
    connect(backfill, &MyDownloader::updateProgress2, run, &BackfillRun::showProgress);
    run->setAmiBrokerReachable(amibroker.isReachable());
    // However the run ends (finished, stopped by a click or a restart), a deferred gap goes next.
    connect(run, &BackfillRun::stateChanged, this, &FeedSession::backfillRunChanged);
    connect(run, &BackfillRun::stateChanged, this, &FeedSession::backfillStateChanged);
    connect(run, &BackfillRun::progressChanged, this, &FeedSession::backfillProgress);
    connect(run, &BackfillRun::finished, this, &FeedSession::backfillFinished);
}

FeedSession::~FeedSession()
{
    // The live downloader goes first: its completion drives the worker.
    m_liveDownloader.reset();
    m_backfillRun.reset();
    m_backfillDownloader.reset();
}

bool FeedSession::isAmiBrokerReachable() const
{
    return m_worker->amibroker().isReachable();
}

FeedHealth::Report FeedSession::healthReport() const
{
    return m_health->report();
}

QDateTime FeedSession::lastGoodReply() const
{
    return m_health->lastGoodReply();
}

bool FeedSession::catalogue(const QString &exchange, QStringList *symbols)
{
    *symbols = m_catalogue.value(exchange);
    bool asked = true;
    if (symbols->isEmpty() && !m_connection.catalogue(exchange, symbols)) {
        symbols->clear();
        asked = false;
    }
    // An empty entry stays "not loaded", so the next lookup asks the database again.
    m_catalogue.insert(exchange, *symbols);
    return asked;
}

void FeedSession::carryOverOutage()
{
    // Left in the store until the live feed has taken them: a cycle that ends before would lose them.
    const QDateTime lastGood = QDateTime::fromString(Store::read(Store::LastGoodReplyBeforeRestart), Qt::ISODateWithMs);
    if (lastGood.isValid())
        m_health->carryOverLastGood(lastGood);
    // "<ms>" after an outage, "<ms> amibroker" after AmiBroker's hole; it starts once the feed is up.
    const QString gap = Store::read(Store::PendingGapBeforeRestart);
    const qint64 gapMs = gap.section(QLatin1Char(' '), 0, 0).toLongLong();
    if (gapMs > 0)
        m_pendingGap = {gapMs, gap.section(QLatin1Char(' '), 1) == QLatin1String("amibroker")};
}

void FeedSession::startLive()
{
    if (m_liveDownloader || m_silenced)
        return;
    m_liveDownloader = std::make_unique<MyDownloader>(InstallFolder::LiveQuoteFile, QString(),
                                                      Config::instance().root(), 0);
    MyDownloader *live = m_liveDownloader.get();
    live->fetch(InstallFolder::LiveQuoteFile, Vendor::firstLiveUrl(m_scheme, m_account.dataPathGet, m_userId,
                                                                   m_account.secureKey),
                LivePollInterval, LiveWatchdogInterval);

    connect(live, &MyDownloader::updateProgress, this, &FeedSession::liveProgress);
    // Noted before the import runs, so the import's delay can be measured.
    connect(live, &MyDownloader::downloadfinished, m_health, &FeedHealth::replyArrived);
    connect(live, &MyDownloader::responseError, this, [this] {
        m_health->replyFailed(m_liveDownloader->lastError(), m_liveDownloader->lastFailureCause());
    });
    // Same thread: the import runs inside the downloader's completion, before the next poll is armed.
    connect(live, &MyDownloader::downloadfinished, this, [this] { m_worker->importReply(m_liveDownloader->lastReply()); });

    Platform::raiseWindowTitled(AmiBrokerWindowTitle);
    m_worker->amibroker().loadDatabase(Config::instance().nativePath(InstallFolder::DatabaseFolder));
    // The call may have run the event loop, and the window may have gone meanwhile.
    if (m_silenced)
        return;

    m_health->start();
    // The carried-over reply and gap are the running feed's now; a restart stores them again.
    Store::remove(Store::LastGoodReplyBeforeRestart);
    Store::remove(Store::PendingGapBeforeRestart);
    m_healthTimer->start();
    m_summaryTimer->start();
    // Once the selection is applied: the request the first tick sends.
    QTimer::singleShot(0, this, &FeedSession::logLiveRequest);
    // A gap carried over from the cycle before, behind the start-up backfill if there is one.
    QTimer::singleShot(0, this, &FeedSession::startPendingGap);
    emit liveStarted();
}

void FeedSession::enableFeeds(const QString &accountFeeds)
{
    m_enabledExchanges.clear();
    for (int i = 0; i < Feeds::Count; ++i) {
        const Feeds::Feed &feed = Feeds::All.at(std::size_t(i));
        m_feedEnabled[std::size_t(i)] = accountFeeds.contains(QLatin1String(feed.feedWord), Qt::CaseSensitive);
        if (m_feedEnabled[std::size_t(i)])
            m_enabledExchanges << QLatin1String(feed.exchange);
    }
    emit feedsEnabled();
}

void FeedSession::restoreChoices(const QString &accountFeeds)
{
    enableFeeds(accountFeeds);
    // The live feed runs before the selection is restored; the restore re-aims it.
    m_restoring = true;
    startLive();
    // Closed while the feed started (a call into AmiBroker may run the event loop).
    if (m_silenced)
        return;

    m_selection->restoreStored();
    m_selection->keepExchanges(m_enabledExchanges);
    // As the boxes were clicked in order: each one chosen takes over from the one before.
    Feeds::Flags stored{};
    for (int i = 0; i < Feeds::Count; ++i)
        stored[std::size_t(i)] = Store::read(Store::feedBox(i));
    for (int i = 0; i < Feeds::Count; ++i) {
        if (stored[std::size_t(i)])
            chooseFeed(i);
    }
    m_restoring = false;
}

void FeedSession::chooseFeed(int index)
{
    if (index < 0 || index >= Feeds::Count || !m_feedEnabled[std::size_t(index)] || m_feedFlags[std::size_t(index)])
        return;
    // The box it replaces is listed on its way out, as its radio button reports it first.
    for (int i = 0; i < Feeds::Count; ++i) {
        if (m_feedFlags[std::size_t(i)]) {
            m_feedFlags[std::size_t(i)] = false;
            setCurrentExchange(i);
        }
    }
    m_feedFlags[std::size_t(index)] = true;
    setCurrentExchange(index);
}

void FeedSession::setCurrentExchange(int index)
{
    m_currentExchange = QLatin1String(Feeds::All.at(std::size_t(index)).exchange);
    emit currentExchangeChanged(m_currentExchange);
}

void FeedSession::addChecked(const QVector<QPair<QString, bool>> &marks)
{
    // By text only: a symbol already picked under another exchange keeps that one.
    m_selection->applyChecks(marks, m_currentExchange);
}

void FeedSession::removeSymbol(const QString &symbol)
{
    m_selection->removeRow(symbol);
}

void FeedSession::clearSelection()
{
    m_selection->clear();
}

void FeedSession::assignSelection(const QStringList &symbols, const QStringList &exchanges)
{
    m_selection->assign(symbols, exchanges);
}

void FeedSession::showLastReply()
{
    m_worker->showReply(m_liveDownloader ? m_liveDownloader->lastReply() : QByteArray());
}

void FeedSession::silence()
{
    m_silenced = true;
    silenceDownloader(m_liveDownloader.get());
    silenceDownloader(m_backfillDownloader.get());
    m_healthTimer->stop();
    m_summaryTimer->stop();
}

void FeedSession::reaimLiveRequest()
{
    if (!m_liveDownloader)
        return;
    const Vendor::LiveRequest request = Vendor::liveRequest(m_scheme, m_account.dataPathGet, m_account.dataPathPost,
                                                            m_userId, m_selection->symbols(), m_account.secureKey);
    m_liveDownloader->aim(request.url, request.method);
}

void FeedSession::logLiveRequest()
{
    if (!m_liveDownloader)
        return;
    EventLog::info(QStringLiteral("feed"), QStringLiteral("live feed started: %1 (%2, %3 symbols)")
                                               .arg(EventLog::redacted(m_liveDownloader->url),
                                                    m_liveDownloader->method == 1 ? QStringLiteral("POST")
                                                                                  : QStringLiteral("GET"))
                                               .arg(m_selection->size()));
}

void FeedSession::logLiveCondition(FeedHealth::Condition condition, const QString &detail)
{
    switch (condition) {
    case FeedHealth::Condition::Good:
        EventLog::info(QStringLiteral("feed"), QStringLiteral("live replies recovered"));
        break;
    case FeedHealth::Condition::Failing:
        EventLog::warning(QStringLiteral("feed"), QStringLiteral("live replies failing: %1").arg(detail));
        break;
    case FeedHealth::Condition::Refused:
        EventLog::warning(QStringLiteral("feed"), QStringLiteral("the vendor refused the live request: %1").arg(detail));
        break;
    case FeedHealth::Condition::NoQuotes:
        EventLog::warning(QStringLiteral("feed"), QStringLiteral("live replies hold no quote for the selection"));
        break;
    }
}

void FeedSession::logImportFileState(bool written, const QString &reason)
{
    if (written)
        EventLog::info(QStringLiteral("feed"), QStringLiteral("the import file is written again"));
    else
        EventLog::error(QStringLiteral("feed"), QStringLiteral("the import file %1 could not be written: %2")
                                                    .arg(Config::instance().nativePath(InstallFolder::ImportFile),
                                                         reason));
}

void FeedSession::reportHealth()
{
    emit healthReported(m_health->report());
}

void FeedSession::amibrokerReachable(bool reachable)
{
    m_health->setAmiBrokerReachable(reachable);
    emit amibrokerLinkChanged(reachable);
    m_backfillRun->setAmiBrokerReachable(reachable);
}

BackfillRun::IntradayEndpoint FeedSession::intradayEndpoint() const
{
    return {m_scheme, m_account.backfillPath, m_userId, m_account.secureKey};
}

void FeedSession::backfillSelection(const QString &days)
{
    m_backfillRun->toggleIntraday(BackfillRun::intradayUrls(m_selection->entries(), m_enabledExchanges,
                                                            intradayEndpoint(), days));
}

void FeedSession::backfillRow(const QString &symbol, const QString &exchange, const QString &days)
{
    m_backfillRun->clearQueue();
    if (!m_selection->contains(symbol))
        return;
    const QStringList urls = BackfillRun::intradayUrls({SelectedSymbol{symbol, exchange}}, m_enabledExchanges,
                                                       intradayEndpoint(), days);
    if (!urls.isEmpty())
        m_backfillRun->toggleIntraday(urls);
}

void FeedSession::fiveDayBackfill()
{
    m_backfillRun->queueIntraday(BackfillRun::intradayUrls(m_selection->entries(), m_enabledExchanges,
                                                           intradayEndpoint(), FiveDays));
}

void FeedSession::endOfDay(const QString &symbol, bool watchListOnly)
{
    m_backfillRun->toggleEndOfDay(Vendor::endOfDayBase(m_oneDayBackfillBase) + symbol, watchListOnly);
}

// The minutes an outage lost, fetched as the Backfill button would with one day.
void FeedSession::backfillAfterOutage(qint64 outageMs)
{
    fillGap({outageMs, false});
}

// Replies that reached no chart while AmiBroker was away or refused them: the same gap to fill.
void FeedSession::backfillAfterAmiBrokerHole(qint64 holeMs)
{
    fillGap({holeMs, true});
}

QString FeedSession::gapText(const Gap &gap)
{
    return gap.amibroker ? QStringLiteral("gap backfill after %1 s without a live import").arg(gap.ms / 1000)
                         : QStringLiteral("gap backfill after an outage of %1 s").arg(gap.ms / 1000);
}

void FeedSession::fillGap(const Gap &gap)
{
    if (!Store::read(Store::BackfillAfterOutage))
        return;
    if (m_backfillRun->isActive()) {
        // One pending gap at most: the longer hole covers the shorter.
        if (gap.ms > m_pendingGap.ms)
            m_pendingGap = gap;
        EventLog::info(QStringLiteral("backfill"),
                       QStringLiteral("%1 deferred until the running backfill ends").arg(gapText(gap)));
        return;
    }
    m_pendingGap = gap;
    startGapBackfill({});
}

void FeedSession::backfillRunChanged(BackfillRun::State state)
{
    if (state != BackfillRun::State::Idle || m_pendingGap.ms == 0)
        return;
    // Once the ended run has let go of the downloader.
    QTimer::singleShot(0, this, &FeedSession::startPendingGap);
}

void FeedSession::startPendingGap()
{
    // A run started meanwhile takes the gap along when it ends.
    if (m_pendingGap.ms == 0 || m_silenced || m_backfillRun->isActive())
        return;
    startGapBackfill(m_backfillRun->failedUrls());
}

// One day of every row, and the rows the run before gave up on as they were asked for then.
void FeedSession::startGapBackfill(const QStringList &retried)
{
    const Gap gap = m_pendingGap;
    m_pendingGap = {};
    QStringList urls = retried;
    const QStringList oneDay = BackfillRun::intradayUrls(m_selection->entries(), m_enabledExchanges,
                                                         intradayEndpoint(), QStringLiteral("1"));
    for (const QString &url : oneDay) {
        const QString symbol = QUrlQuery(QUrl(url, QUrl::TolerantMode)).queryItemValue(QStringLiteral("send"));
        const bool asked = std::any_of(retried.cbegin(), retried.cend(), [&symbol](const QString &earlier) {
            return QUrlQuery(QUrl(earlier, QUrl::TolerantMode)).queryItemValue(QStringLiteral("send")) == symbol;
        });
        if (!asked)
            urls << url;
    }
    if (urls.isEmpty())
        return;
    const QString rows = QStringLiteral("one day of %1 rows%2")
                             .arg(urls.size() - retried.size())
                             .arg(retried.isEmpty() ? QString()
                                                    : QStringLiteral(", %1 rows the run before gave up on")
                                                          .arg(retried.size()));
    EventLog::info(QStringLiteral("backfill"), gap.amibroker ? QStringLiteral("%1: %2").arg(gapText(gap), rows)
                                                             : QStringLiteral("gap backfill after the outage: ") + rows);
    m_backfillRun->toggleIntraday(urls);
}

void FeedSession::storeChoices()
{
    // A feed that never started holds none of the trader's choices, a half-restored one not all.
    if (!m_liveDownloader || m_restoring)
        return;
    Store::Batch store;
    for (int i = 0; i < Feeds::Count; ++i)
        store.write(Store::feedBox(i), m_feedFlags[std::size_t(i)]);
    m_selection->store();
    // On disk before AmiBroker may be ended.
    store.sync();
}

void FeedSession::prepareRestart()
{
    // Kept for the next cycle rather than started by the run's end here.
    const Gap pending = m_pendingGap;
    m_pendingGap = {};
    if (pending.ms > 0)
        Store::write(Store::PendingGapBeforeRestart, QStringLiteral("%1%2").arg(pending.ms).arg(
                                                         pending.amibroker ? QStringLiteral(" amibroker") : QString()));
    m_backfillRun->stopForRestart();
    const QDateTime lastGood = m_health->lastGoodReply();
    if (m_liveDownloader && lastGood.isValid())
        Store::write(Store::LastGoodReplyBeforeRestart, lastGood.toUTC().toString(Qt::ISODateWithMs));
}

void FeedSession::saveAmiBroker()
{
    AmiBroker &amibroker = m_worker->amibroker();
    if (Store::read(Store::SaveLayout))
        amibroker.saveLayout(Config::instance().nativePath(InstallFolder::LayoutFile));
    amibroker.saveDatabase();
}
