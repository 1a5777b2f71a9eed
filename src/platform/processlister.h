#pragma once

#include <QByteArray>

class QObject;

namespace Platform {

// What the system's process lister prints: one line per running process with its image name.
// Windows runs "tasklist" (waited for at most 30 s); elsewhere the running processes that use the
// same install folder (same resolved QUORVIX_ROOT, the default $HOME/Quorvix included).
[[nodiscard]] QByteArray runningProcessList(QObject *processParent);

}
