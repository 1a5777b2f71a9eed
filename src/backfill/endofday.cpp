#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "backfill/eoddata.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "vendor/vendorservice.h"

#include <QDir>
#include <QTimer>

namespace {

constexpr int EndOfDayPollMs = 10;
constexpr int EndOfDayWatchdogMs = 5000000;
const QString ArchiveFile = QStringLiteral("backfilldata.zip");
const QString Stop = QStringLiteral("Stop");

}

void amibrokerlivedata2::on_pushButton_clicked()
{
    auto *dialog = new eoddata(this);
    currentEodDialog = dialog;
    dialog->setModal(true);
    connect(dialog, &eoddata::doBackfill, this, &amibrokerlivedata2::eodBackfillButton_clicked);
    dialog->show();
}

void amibrokerlivedata2::eodBackfillButton_clicked(QString symbol)
{
    MyDownloader *downloader = backfillDownloader;

    if (currentEodDialog)
        worker->watchListOnly = currentEodDialog->watchListOnly;

    disconnect(downloader, &MyDownloader::downloadfinished, worker, &liveDataUpdator::doBackFill);
    disconnect(downloader, &MyDownloader::responseError, this, &amibrokerlivedata2::responseError);
    disconnect(downloader, &MyDownloader::updateProgress2, this, &amibrokerlivedata2::updateProgress2);
    ui->backfillButton->setEnabled(false);

    if (ui->backfillButton->text() == Stop) {
        // Stops whichever run is active; the chosen archive is not requested.
        disconnect(downloader, &MyDownloader::downloadfinished, this, &amibrokerlivedata2::doEodBackfill);
        downloader->pollTimer->stop();
        ui->backfillButton->setText(QStringLiteral("Backfill"));
        ui->backfillButton->setEnabled(true);
        return;
    }

    downloader->pollTimer->stop();
    // Neither a stopped run's pending reply nor the files it left unpacked belong to this archive.
    downloader->cancelRequestInFlight();
    const QString backfillFolder = Config::instance().path(QStringLiteral("Backfill"));
    QDir(backfillFolder).removeRecursively();
    QDir().mkpath(backfillFolder);
    const QString url = Vendor::endOfDayBase(oneDayBackfillBase) + symbol;
    downloader->initialize(ArchiveFile, url, Config::instance().path(QStringLiteral("Backfill/")), 0);

    connect(downloader, &MyDownloader::downloadfinished, this, &amibrokerlivedata2::doEodBackfill,
            Qt::UniqueConnection);
    // One archive per run: the first completed download ends the polling.
    connect(downloader, &MyDownloader::downloadfinished, downloader->pollTimer, &QTimer::stop,
            Qt::UniqueConnection);
    connect(downloader, &MyDownloader::responseError, this, &amibrokerlivedata2::responseError,
            Qt::UniqueConnection);
    connect(downloader, &MyDownloader::updateProgress2, this, &amibrokerlivedata2::updateProgress2,
            Qt::UniqueConnection);
    connect(worker, &liveDataUpdator::eodBackfillDone, this, &amibrokerlivedata2::eodBackfillDone,
            Qt::UniqueConnection);

    ui->backfillButton->setEnabled(true);
    downloader->pollTimer->start(EndOfDayPollMs);
    downloader->watchdogTimer->setInterval(EndOfDayWatchdogMs);
    downloader->watchdogTimer->start();
    ui->backfillButton->setText(Stop);
    ui->backfillButton->setEnabled(true);
}

// The import runs later, from the worker's queued signal, once the downloader has returned.
void amibrokerlivedata2::doEodBackfill()
{
    worker->run(1);
    worker->start();
}

void amibrokerlivedata2::eodBackfillDone()
{
    ui->progressBarRT->setFormat(QStringLiteral("Backfill Done"));
}
