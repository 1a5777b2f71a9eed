#pragma once

#include <QByteArray>
#include <QString>

class QObject;

namespace Platform {

// What the system's process lister prints: one line per running process with its image name.
// Windows runs "tasklist" (waited for at most 30 s); elsewhere the running processes that use the
// same install folder (same resolved QUORVIX_ROOT, the default $HOME/Quorvix included) as
// installFolder, this process's own.
[[nodiscard]] QByteArray runningProcessList(QObject *processParent, const QString &installFolder);

// This program's image name as the process list prints it.
[[nodiscard]] QString programImageName();

}
