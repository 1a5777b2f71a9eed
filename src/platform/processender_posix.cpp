#include "platform/processender.h"

#include "platform/journal.h"

#include <QString>

namespace Platform {

void endProcessTree(const QString &imageName)
{
    // The automation stand-in lives in this process: nothing to end, only the record of the call.
    Journal::append(QStringLiteral("taskkill %1").arg(imageName));
}

}
