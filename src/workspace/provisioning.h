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

// Creates <root>/Amibroker/QVF1000 and copies the templates into it, unless the folder exists.
// Failures pass silently: AmiBroker complains itself when it cannot load the database.
void provision(const QString &root);
// The same for the configured install folder.
void provision();

}
