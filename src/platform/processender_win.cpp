#include "platform/processender.h"

#include <QProcess>
#include <QString>
#include <QtDebug>

namespace Platform {

void endProcessTree(const QString &imageName)
{
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill"),
                   {QStringLiteral("/F"), QStringLiteral("/IM"), imageName, QStringLiteral("/T")});
    taskkill.waitForFinished(30000);
    // Exit code 0: the process was there and has been ended.
    qInfo("taskkill %s: exit code %d", qUtf8Printable(imageName), taskkill.exitCode());
}

}
