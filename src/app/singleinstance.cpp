#include "app/singleinstance.h"

#include "app/config.h"
#include "app/seams.h"
#include "platform/processlister.h"

#include <QWidget>

namespace SingleInstance {

int countInstances(const QByteArray &listing, const QString &imageName)
{
    const int nul = listing.indexOf('\0');
    const QString text = QString::fromUtf8(nul >= 0 ? listing.left(nul) : listing);
    // A line's image name comes first. Only whole names count: the setup of an upgrade
    // ("Tickvane-4.10-setup.exe" and its ".tmp") runs while it starts the new copy.
    int count = 0;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(imageName, Qt::CaseInsensitive)
            && (trimmed.size() == imageName.size() || trimmed.at(imageName.size()).isSpace()))
            ++count;
    }
    return count;
}

void check(QWidget *mainWindow)
{
    check(mainWindow, Platform::runningProcessList(mainWindow, Config::instance().root()));
}

void check(QWidget *mainWindow, const QByteArray &listing)
{
    // The running process itself accounts for one copy.
    if (countInstances(listing, Platform::programImageName()) <= 1)
        return;
    Seams::information(mainWindow, QStringLiteral("Already Running"),
                       QStringLiteral("An Instance of Application is already Running...\n Close it to use here. Quiting!"));
    Seams::exitProcess(0);
}

}
