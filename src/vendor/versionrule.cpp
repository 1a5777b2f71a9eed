#include "vendor/versionrule.h"

namespace Vendor {

bool updateOffered(const QString &runningVersion, const QString &latestVersion)
{
    return !latestVersion.isEmpty() && runningVersion < latestVersion;
}

}
