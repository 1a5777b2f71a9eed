#include "feed/livedataupdator.h"

#include "app/config.h"
#include "feed/amibroker.h"
#include "feed/liveimport.h"
#include "vendor/vendordatabase.h"

#include <QFile>
#include <QSqlQuery>

liveDataUpdator::liveDataUpdator()
{
    const Config &config = Config::instance();
    importFilePath = config.nativePath(QStringLiteral("rtimport.txt"));
    liveFormatFilePath = config.nativePath(QStringLiteral("dataFormatRT.dll"));
    eodFormatFilePath = config.nativePath(QStringLiteral("dataFormatEod.dll"));
    backfillFolderPath = config.path(QStringLiteral("Backfill"));

    amibroker = std::make_unique<AmiBroker>();

    database = VendorDatabase::declare(config.database());
    query = VendorDatabase::createSharedQuery(database);

    importFileWriter = std::make_unique<QFile>();
    quoteFileReader = std::make_unique<QFile>();

    connect(this, &liveDataUpdator::doeodbackfill, this, &liveDataUpdator::doEodBackfill,
            Qt::AutoConnection);
}

liveDataUpdator::~liveDataUpdator()
{
    wait();
    // Leaves nothing behind under the connection name, so the next cycle can declare it afresh.
    VendorDatabase::release(database, query);
}

void liveDataUpdator::updateDataAmi()
{
    quoteFileReader->setFileName(Config::instance().path(QStringLiteral("rt.txt")));
    importFileWriter->setFileName(importFilePath);
    quoteFileReader->open(QIODevice::ReadOnly | QIODevice::Text);
    importFileWriter->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);

    // Text mode drops every "\r" on reading, so CRLF replies filter like LF ones.
    const QByteArray reply = quoteFileReader->isOpen() ? quoteFileReader->readAll() : QByteArray();
    bool written = false;
    if (importFileWriter->isOpen()) {
        const QByteArray lines = LiveImport::selectedLines(reply, LiveImport::symbolSet(symbols));
        written = importFileWriter->write(lines) == lines.size();
    }

    quoteFileReader->close();
    importFileWriter->close();

    // An import file that could not be rewritten still holds the previous ticks: importing it
    // again would store them twice. The next reply tries again.
    if (written && importFileWriter->error() == QFileDevice::NoError) {
        amibroker->import(importFilePath, liveFormatFilePath);
        amibroker->refreshAll();
    }
    emit updateDisplayTable();
}
