#include "feed/livedataupdator.h"

#include "app/config.h"
#include "feed/amibroker.h"

#include <QDir>

void liveDataUpdator::doBackFill()
{
    const Config &config = Config::instance();
    amibroker->import(config.nativePath(QStringLiteral("autobackfill.txt")),
                      config.nativePath(QStringLiteral("dataFormat.dll")));
    emit backfillDone();
    // Hands control back to the run driver for the next request.
    emit doAutoBackfill();
}

void liveDataUpdator::doEodBackfill()
{
    // Never an empty path: removing it below would empty the working directory instead.
    const QString folder = backfillFolderPath.isEmpty() ? Config::instance().path(QStringLiteral("Backfill"))
                                                        : backfillFolderPath;
    const QStringList entries = QDir(folder).entryList(QDir::NoFilter, QDir::NoSort);
    for (const QString &entry : entries) {
        if (entry == QLatin1String(".") || entry == QLatin1String(".."))
            continue;
        if (watchListOnly) {
            QString symbol = entry;
            symbol.remove(QStringLiteral(".txt"));
            if (!symbols.contains(symbol))
                continue;
        }
        amibroker->import(QDir::toNativeSeparators(folder + QLatin1Char('/') + entry), eodFormatFilePath);
    }

    // The next archive starts from an empty folder.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);

    emit backfillDone();
    emit eodBackfillDone();
}

void liveDataUpdator::run(int type)
{
    runMode = type;
}

// Only posts the end-of-day import: the worker object lives on the GUI thread, so the
// connection delivers it there, queued.
void liveDataUpdator::run()
{
    if (runMode == 1)
        emit doeodbackfill();
}
