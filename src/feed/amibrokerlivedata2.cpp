#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/installfolder.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "app/singleinstance.h"
#include "app/version.h"
#include "feed/amibroker.h"
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
#include <QDebug>
#include <QDesktopServices>
#include <QGuiApplication>
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

    m_backfillRun = new BackfillRun(m_worker->amibroker(), *m_selection, this);
    connect(m_backfillRun, &BackfillRun::stateChanged, this, &amibrokerlivedata2::showBackfillState);
    connect(m_backfillRun, &BackfillRun::progressChanged, this, &amibrokerlivedata2::showBackfillProgress);
    connect(m_backfillRun, &BackfillRun::finished, this, &amibrokerlivedata2::showBackfillFinished);

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
}

amibrokerlivedata2::~amibrokerlivedata2()
{
    // The live downloader goes first: its completion drives the worker.
    delete m_liveDownloader;
    m_liveDownloader = nullptr;
    delete m_backfillRun;
    m_backfillRun = nullptr;
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
    // Same thread: the import runs inside the downloader's completion, before the next poll is armed.
    connect(m_liveDownloader, &MyDownloader::downloadfinished, m_worker.get(), &liveDataUpdator::updateDataAmi);

    Platform::raiseWindowTitled(AmiBrokerWindowTitle);
    m_worker->amibroker().loadDatabase(m_databaseFolderPath);

    ui->connectButton->setEnabled(false);
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
    silence(m_liveDownloader);
    if (m_backfillRun)
        silence(m_backfillRun->downloader());

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
