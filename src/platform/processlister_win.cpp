#include "platform/processlister.h"

#include <QProcess>

namespace Platform {

QString programImageName()
{
    return QStringLiteral("Tickvane.exe");
}

QByteArray runningProcessList(QObject *processParent, const QString &)
{
    auto *process = new QProcess(processParent);
    process->start(QStringLiteral("tasklist"), {}, QIODevice::ReadWrite);
    process->waitForFinished(30000);
    const QByteArray output = process->readAllStandardOutput();
    process->deleteLater();
    return output;
}

}
