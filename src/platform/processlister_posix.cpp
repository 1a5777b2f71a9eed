#include "platform/processlister.h"

#include <QDir>
#include <QFile>

namespace Platform {

QByteArray runningProcessList(QObject *)
{
    // /proc/<pid>/comm holds the image name as the kernel keeps it (at most 15 bytes).
    QByteArray listing;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool isPid = false;
        pid.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            listing += comm.readAll().trimmed() + ' ' + pid.toLatin1() + '\n';
    }
    return listing;
}

}
