#pragma once

#include <QString>
#include <QStringList>

// The dedicated AmiBroker database the feed imports into, laid from the installed templates.
namespace Workspace {

// Relative to the install folder.
inline const QString DatabaseFolder = QStringLiteral("Amibroker/QVF1000");
inline const QString TemplateFolder = QStringLiteral("dbfiles");
inline const QString LayoutFile = QStringLiteral("Amibroker/QVF1000/Layouts/Default.awl");
[[nodiscard]] QStringList templateFiles();

// Creates <root>/Amibroker/QVF1000 and copies the templates into it, unless the folder exists.
// Failures pass silently: AmiBroker complains itself when it cannot load the database.
void provision(const QString &root);
// The same for the configured install folder.
void provision();

}
