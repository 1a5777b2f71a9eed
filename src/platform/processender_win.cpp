#include "platform/processender.h"

#include <QProcess>
#include <QString>

namespace Platform {

void endProcessTree(const QString &imageName)
{
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill /F /IM %1 /T").arg(imageName));
    taskkill.waitForFinished(30000);
}

}
