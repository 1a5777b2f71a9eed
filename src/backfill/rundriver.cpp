#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"

#include <QTimer>

namespace {

constexpr int IntradayPollMs = 50;
constexpr int IntradayWatchdogMs = 90000;
const QString IntradayFile = QStringLiteral("autobackfill.txt");
const QString Stop = QStringLiteral("Stop");
const QString Backfill = QStringLiteral("Backfill");

// The attachments that carry an intraday run from one request to the next.
void detachRun(amibrokerlivedata2 *window, MyDownloader *downloader, liveDataUpdator *worker)
{
    QObject::disconnect(worker, &liveDataUpdator::doAutoBackfill, window, &amibrokerlivedata2::doAutoBackFill);
    QObject::disconnect(downloader, &MyDownloader::downloadfinished, worker, &liveDataUpdator::doBackFill);
    QObject::disconnect(downloader, &MyDownloader::responseError, window, &amibrokerlivedata2::responseError);
    QObject::disconnect(downloader, &MyDownloader::updateProgress2, window, &amibrokerlivedata2::updateProgress2);
}

}

// One request at a time: each completed download is imported, and the import calls back here
// for the next request, before the downloader re-arms its poll timer.
void amibrokerlivedata2::doAutoBackFill()
{
    MyDownloader *downloader = backfillDownloader;

    ui->backfillButton->setEnabled(false);

    if (ui->backfillButton->text() == Stop) {
        // A reply already in flight is still written, but no longer imported.
        detachRun(this, downloader, worker);
        ui->backfillButton->setText(Backfill);
        ui->backfillButton->setEnabled(true);
        worker->backfillQueue.clear();
        downloader->pollTimer->stop();
        return;
    }

    if (worker->backfillQueue.isEmpty()) {
        downloader->pollTimer->stop();
        ui->progressBarRT->setFormat(QStringLiteral("Backfill Done"));
        ui->backfillButton->setText(Backfill);
        ui->backfillButton->setEnabled(true);
        worker->backfillQueue.clear();
        detachRun(this, downloader, worker);
        return;
    }

    const QString url = worker->backfillQueue.takeFirst();
    // A stopped run's request may still be pending; its reply belongs to no request of this run.
    downloader->cancelRequestInFlight();
    downloader->initialize(IntradayFile, url, Config::instance().path(QStringLiteral("Backfill/")), 0);
    downloader->pollTimer->stop();
    // An earlier end-of-day run must not import or stop this run's downloads.
    disconnect(downloader, &MyDownloader::downloadfinished, this, &amibrokerlivedata2::doEodBackfill);
    disconnect(downloader, &MyDownloader::downloadfinished, downloader->pollTimer, &QTimer::stop);

    connect(worker, &liveDataUpdator::doAutoBackfill, this, &amibrokerlivedata2::doAutoBackFill,
            Qt::UniqueConnection);
    connect(downloader, &MyDownloader::downloadfinished, worker, &liveDataUpdator::doBackFill,
            Qt::UniqueConnection);
    connect(downloader, &MyDownloader::responseError, this, &amibrokerlivedata2::responseError,
            Qt::UniqueConnection);
    connect(downloader, &MyDownloader::updateProgress2, this, &amibrokerlivedata2::updateProgress2,
            Qt::UniqueConnection);

    ui->backfillButton->setEnabled(true);
    ui->backfillButton->setText(Stop);
    downloader->pollTimer->start(IntradayPollMs);
    downloader->watchdogTimer->setInterval(IntradayWatchdogMs);
    downloader->watchdogTimer->start();
}
