#include "app/singleinstance.h"

#include "app/config.h"
#include "app/seams.h"
#include "platform/processlister.h"

#include <QWidget>

namespace SingleInstance {

namespace {

const QString InstanceMarker = QStringLiteral("Tickvane");

}

int countInstances(const QByteArray &listing)
{
    const int nul = listing.indexOf('\0');
    const QString text = QString::fromUtf8(nul >= 0 ? listing.left(nul) : listing).simplified();
    return text.count(InstanceMarker, Qt::CaseInsensitive);
}

void check(QWidget *mainWindow)
{
    check(mainWindow, Platform::runningProcessList(mainWindow, Config::instance().root()));
}

void check(QWidget *mainWindow, const QByteArray &listing)
{
    // The running process itself accounts for one occurrence.
    if (countInstances(listing) <= 1)
        return;
    Seams::information(mainWindow, QStringLiteral("Already Running"),
                       QStringLiteral("An Instance of Application is already Running...\n Close it to use here. Quiting!"));
    Seams::exitProcess(0);
}

}
