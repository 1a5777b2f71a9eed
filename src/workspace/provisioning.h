#pragma once

#include "app/installfolder.h"

#include <QString>
#include <QStringList>

// The dedicated AmiBroker database the feed imports into, laid from the installed templates.
namespace Workspace {

// Relative to the install folder.
inline const QString &DatabaseFolder = InstallFolder::DatabaseFolder;
inline const QString &TemplateFolder = InstallFolder::TemplateFolder;
inline const QString &LayoutFile = InstallFolder::LayoutFile;
[[nodiscard]] QStringList templateFiles();

// Creates <root>/Amibroker/QVF1000 if needed and copies in each template file the folder lacks;
// a file there is the trader's data and is never overwritten, a missing template is skipped.
// Returns what could not be laid out, with the system's reason (each also logged).
QStringList provision(const QString &root);
// The same for the configured install folder.
QStringList provision();

}
