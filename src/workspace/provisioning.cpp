#include "workspace/provisioning.h"

#include "app/config.h"
#include "app/eventlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Workspace {

namespace {

// A copy that keeps the system's reason for a failure (a full disk, a denied folder).
QString copyFile(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return target.errorString();
    const QByteArray content = source.readAll();
    // A short write is asked again, so that the system's reason for stopping is heard.
    for (qint64 written = 0; written < content.size();) {
        const qint64 done = target.write(content.constData() + written, content.size() - written);
        if (done <= 0) {
            const QString reason = target.errorString();
            // Half a database file is worse than none: the next start tries again.
            target.remove();
            return reason;
        }
        written += done;
    }
    return QString();
}

}

QStringList templateFiles()
{
    return {QStringLiteral("broker.master"), QStringLiteral("broker.watch"),
            QStringLiteral("broker.workspace")};
}

QStringList provision(const QString &root)
{
    const QString database = root + QLatin1Char('/') + DatabaseFolder;
    QStringList problems;
    if (!QDir().mkpath(database)) {
        problems << QStringLiteral("The AmiBroker database folder %1 could not be created.")
                        .arg(QDir::toNativeSeparators(database));
    } else {
        const QString templates = root + QLatin1Char('/') + TemplateFolder + QLatin1Char('/');
        for (const QString &name : templateFiles()) {
            const QString target = database + QLatin1Char('/') + name;
            if (QFileInfo::exists(target) || !QFileInfo::exists(templates + name))
                continue;
            const QString reason = copyFile(templates + name, target);
            if (!reason.isEmpty())
                problems << QStringLiteral("%1 could not be copied into the AmiBroker database: %2")
                                .arg(name, reason);
        }
    }
    for (const QString &problem : qAsConst(problems))
        EventLog::error(QStringLiteral("workspace"), problem);
    return problems;
}

QStringList provision()
{
    return provision(Config::instance().root());
}

}
