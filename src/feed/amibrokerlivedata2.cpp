#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "app/version.h"
#include "feed/amibroker.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "platform/windowraiser.h"
#include "vendor/vendordatabase.h"
#include "vendor/vendorservice.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSqlError>
#include <QTimer>

namespace {

const QString TitleText = QStringLiteral("Tickvane " TICKVANE_VERSION " M");
const QString AmiBrokerWindowTitle = QStringLiteral("AmiBroker");
constexpr int LivePollInterval = 700;
constexpr int LiveWatchdogInterval = 5000;

// Ends a downloader or the worker: their thread bodies return at once, but must have returned.
template <typename Thread>
void finish(Thread *&thread)
{
    if (!thread)
        return;
    thread->quit();
    thread->wait();
    delete thread;
    thread = nullptr;
}

}

amibrokerlivedata2::amibrokerlivedata2(QWidget *parent)
    : QDialog(parent)
    , titleText(TitleText)
    , databaseFolderPath(Config::instance().nativePath(QStringLiteral("Amibroker/QVF1000")))
    , scheme(QStringLiteral("http"))
    , contactSupportLink(Vendor::SupportLink)
    , ui(new Ui::amibrokerlivedata2)
{
    ui->setupUi(this);

    setWindowTitle(titleText);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);

    SingleInstance::check(this);

    backfillDownloader = new MyDownloader(QStringLiteral("autobackfill.txt"), QStringLiteral("symbolUrl"),
                                          Config::instance().path(QStringLiteral("Backfill")) + QLatin1Char('/'), 0);
    backfillDownloader->start();

    settingsDialog = new settings(this);

    worker = new liveDataUpdator;
    connect(worker, &liveDataUpdator::backfillDone, this, &amibrokerlivedata2::backfillDone);
    connect(worker, &liveDataUpdator::updateDisplayTable, this, &amibrokerlivedata2::updateDisplayTable);

    if (!VendorDatabase::open(worker->database)) {
        const QString error = worker->database.lastError().text();
        Seams::information(this, QStringLiteral("Unable to connect"), VendorDatabase::unableToConnectText());
        Seams::information(this, QStringLiteral("Error Details"), error);
        qDebug().noquote() << error;
        Seams::exitProcess(0);
        return;
    }
    databaseOpen = true;
    database = &worker->database;
    query = worker->query;

    ui->progressBar->setTextVisible(true);
    ui->progressBar->setAlignment(Qt::AlignCenter);
    ui->progressBarRT->setTextVisible(true);
    ui->progressBarRT->setAlignment(Qt::AlignCenter);

    catalogueLookup(currentExchange);
}

amibrokerlivedata2::~amibrokerlivedata2()
{
    // The live downloader goes first: its completion drives the worker.
    finish(liveDownloader);
    finish(backfillDownloader);
    database = nullptr;
    query = nullptr;
    finish(worker);
    delete ui;
}

void amibrokerlivedata2::on_connectButton_clicked()
{
    // One live downloader per window; a second click would leave the first one polling.
    if (liveDownloader)
        return;

    const QString url = Vendor::firstLiveUrl(scheme, liveGetPath, ui->machineIDLabel->text(), requestKey);
    liveDownloader = new MyDownloader(QStringLiteral("rt.txt"), url, Config::instance().root(), 0);

    liveDownloader->pollTimer->start(LivePollInterval);
    liveDownloader->watchdogTimer->setInterval(LiveWatchdogInterval);
    liveDownloader->watchdogTimer->start();
    liveDownloader->start();

    connect(liveDownloader, &MyDownloader::updateProgress, this, &amibrokerlivedata2::updateProgress);
    // Same thread: the import runs inside the downloader's completion, before the next poll is armed.
    connect(liveDownloader, &MyDownloader::downloadfinished, worker, &liveDataUpdator::updateDataAmi);

    Platform::raiseWindowTitled(AmiBrokerWindowTitle);
    worker->amibroker->loadDatabase(databaseFolderPath);

    ui->connectButton->setEnabled(false);
}

void amibrokerlivedata2::updateUrlDataState()
{
    const Vendor::LiveRequest request = Vendor::liveRequest(scheme, liveGetPath, livePostPath,
                                                            ui->machineIDLabel->text(), worker->symbols,
                                                            requestKey);
    if (liveDownloader) {
        liveDownloader->method = request.method;
        liveDownloader->url.setUrl(request.url, QUrl::TolerantMode);
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
    settingsDialog->load();
    settingsDialog->exec();
}
