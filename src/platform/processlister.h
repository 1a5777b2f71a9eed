#pragma once

#include <QByteArray>

class QObject;

namespace Platform {

// What the system's process lister prints: one line per running process with its image name.
// Windows runs "tasklist" (waited for at most 30 s); elsewhere the names of the running processes
// started with the same install folder (QUORVIX_ROOT, unset included) as this one.
[[nodiscard]] QByteArray runningProcessList(QObject *processParent);

}
