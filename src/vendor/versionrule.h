#pragma once

#include <QString>

namespace Vendor {

// The vendor publishes its newest version as text and it is compared as text, character by
// character: "4.10" is newer than "4.02" but "10.00" is not. An empty version never is.
[[nodiscard]] bool updateOffered(const QString &runningVersion, const QString &latestVersion);

}
