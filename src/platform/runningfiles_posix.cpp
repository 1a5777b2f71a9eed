#include "platform/runningfiles.h"

#include <QString>

namespace Platform {

QStringList releaseRunningFiles(const QString &, const QString &, QStringList *)
{
    // Nothing to free: a file in use can be renamed over or removed here while the program runs.
    return QStringList();
}

}
