#include "platform/processender.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtDebug>

namespace Platform {

void endProcessTree(const QString &imageName)
{
    QStringList arguments{QStringLiteral("/F"), QStringLiteral("/IM"), imageName, QStringLiteral("/T")};
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill"), arguments);
    taskkill.waitForFinished(30000);
    // Exit code 1 is a refused command line: Wine's taskkill knows no /T. The process itself still goes.
    if (taskkill.exitStatus() == QProcess::NormalExit && taskkill.exitCode() == 1) {
        arguments.removeLast();
        taskkill.start(QStringLiteral("taskkill"), arguments);
        taskkill.waitForFinished(30000);
    }
    // Exit code 0: the process was there and has been ended.
    qInfo("taskkill %s: exit code %d", qUtf8Printable(arguments.join(QLatin1Char(' '))), taskkill.exitCode());
}

}
