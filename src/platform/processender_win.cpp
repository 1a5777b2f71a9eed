#include "platform/processender.h"

#include <QProcess>
#include <QString>

namespace Platform {

void endProcessTree(const QString &imageName)
{
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill"),
                   {QStringLiteral("/F"), QStringLiteral("/IM"), imageName, QStringLiteral("/T")});
    taskkill.waitForFinished(30000);
}

}
