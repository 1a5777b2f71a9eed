#pragma once

#include <QStringList>

class QString;

namespace Platform {

// Frees the files this running program holds inside folder (its executable and the libraries it
// has loaded), so that the update batch can overwrite them before this process has quite ended:
// each is renamed into asideFolder and copied back under its own name. Returns the files freed,
// relative to folder; failures gets one line per file left as it was.
[[nodiscard]] QStringList releaseRunningFiles(const QString &folder, const QString &asideFolder,
                                              QStringList *failures);

}
