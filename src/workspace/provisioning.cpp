#include "workspace/provisioning.h"

#include "app/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Workspace {

QStringList templateFiles()
{
    return {QStringLiteral("broker.master"), QStringLiteral("broker.watch"),
            QStringLiteral("broker.workspace")};
}

void provision(const QString &root)
{
    const QString database = root + QLatin1Char('/') + DatabaseFolder;
    // An existing database is the trader's: never touched.
    if (QFileInfo::exists(database))
        return;

    QDir dir;
    dir.mkdir(root);
    dir.mkdir(root + QStringLiteral("/Amibroker"));
    dir.mkdir(database);

    const QString templates = root + QLatin1Char('/') + TemplateFolder + QLatin1Char('/');
    for (const QString &name : templateFiles())
        QFile::copy(templates + name, database + QLatin1Char('/') + name);
}

void provision()
{
    provision(Config::instance().root());
}

}
