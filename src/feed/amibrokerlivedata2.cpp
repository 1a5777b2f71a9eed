#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/eventlog.h"
#include "app/installfolder.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "app/singleinstance.h"
#include "app/version.h"
#include "feed/amibroker.h"
#include "feed/feedhealth.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "platform/processender.h"
#include "platform/windowraiser.h"
#include "symbols/selection.h"
#include "vendor/vendorconnection.h"
#include "vendor/vendordatabase.h"
#include "vendor/vendorservice.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {

const QString AmiBrokerWindowTitle = QStringLiteral("AmiBroker");
constexpr int LivePollInterval = 700;
constexpr int LiveWatchdogInterval = 5000;
constexpr int AmiBrokerSettleMs = 2000;

// Once the window goes, no reply may reach AmiBroker any more: its database is being saved.
void silence(MyDownloader *downloader)
{
    if (!downloader)
        return;
    downloader->pollTimer->stop();
    downloader->watchdogTimer->stop();
    downloader->blockSignals(true);
}

}

amibrokerlivedata2::amibrokerlivedata2(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::amibrokerlivedata2)
    , m_databaseFolderPath(Config::instance().nativePath(InstallFolder::DatabaseFolder))
{
    ui->setupUi(this);

    setWindowTitle(QStringLiteral("Tickvane " TICKVANE_VERSION " M"));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    m_account.supportLink = Vendor::SupportLink;

    SingleInstance::check(this);

    m_selection = new Selection(this);
    connect(m_selection, &Selection::changed, this, &amibrokerlivedata2::updateUrlDataState);
    connect(m_selection, &Selection::rowRemoved, this, &amibrokerlivedata2::removeDisplayRow);
    setUpDisplayTable();

    m_settingsDialog = new settings(this);

    m_worker = std::make_unique<liveDataUpdator>(*m_selection, Platform::createAutomationObject);
    m_connection = std::make_unique<VendorConnection>(Config::instance().database());
    connect(m_worker.get(), &liveDataUpdator::updateDisplayTable, this, &amibrokerlivedata2::updateDisplayTable);
    connect(&m_worker->amibroker(), &AmiBroker::reachableChanged, this, &amibrokerlivedata2::showAmiBrokerLink);

    // Beside the connection status, in the strip under it.
    m_health = new FeedHealth({}, this);
    m_healthLabel = new QLabel(this);
    m_healthLabel->setObjectName(QStringLiteral("feedHealthLabel"));
    m_healthLabel->setGeometry(630, 550, 101, 24);
    m_healthLabel->setAlignment(Qt::AlignCenter);
    m_healthLabel->hide();
    m_healthTimer = new QTimer(this);
    m_healthTimer->setInterval(1000);
    connect(m_healthTimer, &QTimer::timeout, this, &amibrokerlivedata2::showFeedHealth);
    connect(m_health, &FeedHealth::recoveredAfterOutage, this, &amibrokerlivedata2::backfillAfterOutage);
    connect(m_health, &FeedHealth::conditionChanged, this, &amibrokerlivedata2::logLiveCondition);
    connect(m_health, &FeedHealth::importFileStateChanged, this, &amibrokerlivedata2::logImportFileState);
    m_summaryTimer = new QTimer(this);
    m_summaryTimer->setInterval(60000);
    connect(m_summaryTimer, &QTimer::timeout, this,
            [this] { EventLog::info(QStringLiteral("feed"), FeedHealth::summaryText(m_health->takeMinute())); });
    connect(m_worker.get(), &liveDataUpdator::imported, m_health, &FeedHealth::imported);
    connect(m_worker.get(), &liveDataUpdator::replyRead, m_health, &FeedHealth::replyRead);
    connect(m_worker.get(), &liveDataUpdator::importFileWritten, m_health, &FeedHealth::importFileWritten);

    m_backfillDownloader = new MyDownloader(InstallFolder::IntradayBackfillFile, QStringLiteral("symbolUrl"),
                                            Config::instance().path(InstallFolder::BackfillFolder)
                                                + QLatin1Char('/'),
                                            0);
    m_backfillDownloader->setParent(this);
    AmiBroker &amibroker = m_worker->amibroker();
    m_backfillRun = new BackfillRun(
        *m_backfillDownloader,
        [&amibroker](const QString &dataFile, const QString &formatFile) {
            return amibroker.import(dataFile, formatFile);
        },
        *m_selection, this);
    connect(m_backfillDownloader, &MyDownloader::downloadfinished, m_backfillRun, &BackfillRun::downloaded);
    connect(m_backfillDownloader, &MyDownloader::responseError, m_backfillRun, &BackfillRun::downloadFailed);
    connect(m_backfillDownloader, &MyDownloader::updateProgress2, m_backfillRun, &BackfillRun::showProgress);
    connect(m_backfillRun, &BackfillRun::stateChanged, this, &amibrokerlivedata2::showBackfillState);
    connect(m_backfillRun, &BackfillRun::progressChanged, this, &amibrokerlivedata2::showBackfillProgress);
    connect(m_backfillRun, &BackfillRun::finished, this, &amibrokerlivedata2::showBackfillFinished);
    connect(m_backfillRun, &BackfillRun::finished, this, &amibrokerlivedata2::startDeferredGapBackfill);

    if (!m_connection->open()) {
        const QString error = m_connection->lastErrorText();
        Seams::information(this, QStringLiteral("Unable to connect"), VendorDatabase::unableToConnectText());
        Seams::information(this, QStringLiteral("Error Details"), error);
        qDebug().noquote() << error;
        Seams::exitProcess(0);
        return;
    }
    m_databaseOpen = true;

    ui->progressBar->setTextVisible(true);
    ui->progressBar->setAlignment(Qt::AlignCenter);
    ui->progressBarRT->setTextVisible(true);
    ui->progressBarRT->setAlignment(Qt::AlignCenter);

    catalogueLookup(m_currentExchange);
    showAmiBrokerLink(m_worker->amibroker().isReachable());
    carryOverOutage();
}

void amibrokerlivedata2::showAmiBrokerLink(bool reachable)
{
    m_health->setAmiBrokerReachable(reachable);
    showMessageLine();
    if (reachable)
        m_backfillRun->amibrokerBack();
}

void amibrokerlivedata2::showMessageLine()
{
    // The message line says so until a call gets through again; then the broadcast returns.
    if (!m_worker->amibroker().isReachable())
        ui->messageBox->setText(QStringLiteral("AmiBroker not reachable"));
    else
        ui->messageBox->setText(m_workspaceProblem.isEmpty() ? m_broadcastMessage : m_workspaceProblem);
}

void amibrokerlivedata2::showWorkspaceProblem(const QString &problem)
{
    m_workspaceProblem = problem;
    showMessageLine();
}

// A restart while the feed was without good replies: the gap it closes began in that cycle.
void amibrokerlivedata2::carryOverOutage()
{
    QSettings store(Store::Organisation, Store::Application);
    const QDateTime lastGood = QDateTime::fromString(store.value(Store::LastGoodReplyBeforeRestart).toString(),
                                                     Qt::ISODateWithMs);
    store.remove(Store::LastGoodReplyBeforeRestart);
    if (lastGood.isValid())
        m_health->carryOverLastGood(lastGood);
}

void amibrokerlivedata2::prepareRestart()
{
    m_backfillRun->stopForRestart();
    const QDateTime lastGood = m_health->lastGoodReply();
    if (m_liveDownloader && lastGood.isValid()) {
        QSettings store(Store::Organisation, Store::Application);
        store.setValue(Store::LastGoodReplyBeforeRestart, lastGood.toUTC().toString(Qt::ISODateWithMs));
    }
}

amibrokerlivedata2::~amibrokerlivedata2()
{
    // The live downloader goes first: its completion drives the worker.
    delete m_liveDownloader;
    m_liveDownloader = nullptr;
    delete m_backfillRun;
    m_backfillRun = nullptr;
    delete m_backfillDownloader;
    m_backfillDownloader = nullptr;
    m_worker.reset();
    m_connection.reset();
    delete ui;
}

void amibrokerlivedata2::takeAccount(const Account &account)
{
    m_account = account;
}

void amibrokerlivedata2::on_connectButton_clicked()
{
    startLiveFeed();
}

void amibrokerlivedata2::startLiveFeed()
{
    // One live downloader per window; a second click would leave the first one polling.
    if (m_liveDownloader)
        return;

    const QString url = Vendor::firstLiveUrl(m_scheme, m_account.dataPathGet, ui->machineIDLabel->text(),
                                             m_account.secureKey);
    m_liveDownloader = new MyDownloader(InstallFolder::LiveQuoteFile, url, Config::instance().root(), 0);

    m_liveDownloader->pollTimer->start(LivePollInterval);
    m_liveDownloader->watchdogTimer->setInterval(LiveWatchdogInterval);
    m_liveDownloader->watchdogTimer->start();

    connect(m_liveDownloader, &MyDownloader::updateProgress, this, &amibrokerlivedata2::updateProgress);
    // Noted before the import runs, so the import's delay can be measured.
    connect(m_liveDownloader, &MyDownloader::downloadfinished, m_health, &FeedHealth::replyArrived);
    connect(m_liveDownloader, &MyDownloader::responseError, this,
            [this] { m_health->replyFailed(m_liveDownloader->lastError()); });
    // Same thread: the import runs inside the downloader's completion, before the next poll is armed.
    connect(m_liveDownloader, &MyDownloader::downloadfinished, m_worker.get(), &liveDataUpdator::updateDataAmi);

    Platform::raiseWindowTitled(AmiBrokerWindowTitle);
    m_worker->amibroker().loadDatabase(m_databaseFolderPath);

    ui->connectButton->setEnabled(false);

    m_health->start();
    showFeedHealth();
    m_healthLabel->show();
    m_healthTimer->start();
    m_summaryTimer->start();
    // Once the selection is applied: the request the first tick sends.
    QTimer::singleShot(0, this, &amibrokerlivedata2::logLiveRequest);
}

void amibrokerlivedata2::logLiveRequest()
{
    if (!m_liveDownloader)
        return;
    EventLog::info(QStringLiteral("feed"), QStringLiteral("live feed started: %1 (%2, %3 symbols)")
                                               .arg(EventLog::redacted(m_liveDownloader->url),
                                                    m_liveDownloader->method == 1 ? QStringLiteral("POST")
                                                                                  : QStringLiteral("GET"))
                                               .arg(m_selection->size()));
}

void amibrokerlivedata2::logLiveCondition(FeedHealth::Condition condition, const QString &detail)
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

void amibrokerlivedata2::logImportFileState(bool written, const QString &reason)
{
    if (written)
        EventLog::info(QStringLiteral("feed"), QStringLiteral("the import file is written again"));
    else
        EventLog::error(QStringLiteral("feed"), QStringLiteral("the import file %1 could not be written: %2")
                                                    .arg(Config::instance().nativePath(InstallFolder::ImportFile),
                                                         reason));
}

void amibrokerlivedata2::showFeedHealth()
{
    const FeedHealth::Report report = m_health->report();
    // Several troubles at once need the strip's free width to the left.
    const bool wide = report.text.size() > 12;
    m_healthLabel->setGeometry(wide ? QRect(330, 550, 401, 24) : QRect(630, 550, 101, 24));
    m_healthLabel->setAlignment(wide ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignCenter);
    m_healthLabel->setText(QStringLiteral("<span style=\"color:%1;\"><b>%2</b></span>")
                               .arg(report.colour, report.text.toHtmlEscaped()));
    m_healthLabel->setToolTip(report.tooltip);
}

void amibrokerlivedata2::updateUrlDataState()
{
    const Vendor::LiveRequest request = Vendor::liveRequest(m_scheme, m_account.dataPathGet, m_account.dataPathPost,
                                                            ui->machineIDLabel->text(), m_selection->symbols(),
                                                            m_account.secureKey);
    if (m_liveDownloader) {
        m_liveDownloader->method = request.method;
        m_liveDownloader->url.setUrl(request.url, QUrl::TolerantMode);
    }
    addDisplayTable();
}

void amibrokerlivedata2::updateProgress(QString progress, QString speed)
{
    ui->progressBar->setValue(progress.toInt());
    ui->progressBar->setFormat(QStringLiteral("Tick Data : %1").arg(speed));
}

void amibrokerlivedata2::on_restartButton_clicked()
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("restart asked for by the trader"));
    prepareRestart();
    // Closing the last window would post a quit whose exit code 0 overrides the restart code.
    setAttribute(Qt::WA_QuitOnClose, false);
    close();
    QCoreApplication::exit(RestartExitCode);
}

void amibrokerlivedata2::on_amibrokerPathButton_clicked()
{
    m_settingsDialog->load();
    m_settingsDialog->exec();
}

void amibrokerlivedata2::on_contactSupportButton_clicked()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(m_account.supportLink));
}

void amibrokerlivedata2::on_copyIDButton_clicked()
{
    const QString details = QStringLiteral("Software : Tickvane \nUser ID  : ") + ui->machineIDLabel->text()
        + QStringLiteral("\nVersion  : ") + QCoreApplication::applicationVersion();
    QGuiApplication::clipboard()->setText(details);
    Seams::information(this, QStringLiteral("Software Details"),
                       QStringLiteral("\nYour details copied to clipboard. Right click and Paste to Share\n"));
}

void amibrokerlivedata2::showStatusMessage(QString message)
{
    ui->statusLabel->setText(message);
}

void amibrokerlivedata2::storeChoices()
{
    // A window that never showed a selection holds none of the trader's choices.
    if (!m_liveDownloader)
        return;
    QSettings store(Store::Organisation, Store::Application);
    for (int i = 0; i < Feeds::Count; ++i)
        store.setValue(Store::feedBoxKey(i), m_feedFlags[std::size_t(i)]);
    m_selection->store();
    // On disk before AmiBroker may be ended.
    store.sync();
}

void amibrokerlivedata2::reject()
{
    // Escape would only hide the window; the trader's choices and AmiBroker's database must be saved.
    close();
}

void amibrokerlivedata2::closeEvent(QCloseEvent *event)
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("close sequence: choices stored, AmiBroker's database saved%1")
                                              .arg(m_settingsDialog && m_settingsDialog->controlAmibroker
                                                       ? QStringLiteral(", AmiBroker ended")
                                                       : QString()));
    silence(m_liveDownloader);
    silence(m_backfillDownloader);

    storeChoices();

    if (m_worker) {
        AmiBroker &amibroker = m_worker->amibroker();
        if (QSettings(Store::Organisation, Store::Application).value(Store::SaveLayout).toBool())
            amibroker.saveLayout(Config::instance().nativePath(InstallFolder::LayoutFile));
        amibroker.saveDatabase();
    }

    if (m_settingsDialog && m_settingsDialog->controlAmibroker) {
        hide();
        Seams::pause(AmiBrokerSettleMs);
        Platform::endProcessTree(QStringLiteral("Broker.exe"));
    }

    // Not QDialog::closeEvent: it calls reject(), which closes again, and then refuses the event.
    event->accept();
}
