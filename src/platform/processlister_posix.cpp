#include "platform/processlister.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <optional>

namespace Platform {

namespace {

const QByteArray RootVariable = QByteArrayLiteral("QUORVIX_ROOT=");

// QUORVIX_ROOT as the process was started with it (empty when unset); nothing when unreadable.
std::optional<QByteArray> startedRoot(const QString &pid)
{
    QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!environment.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> entries = environment.readAll().split('\0');
    for (const QByteArray &entry : entries) {
        if (entry.startsWith(RootVariable))
            return entry.mid(RootVariable.size());
    }
    return QByteArray();
}

}

QByteArray runningProcessList(QObject *)
{
    // Only copies on the same install folder count: tests and a demo on one machine must not
    // take each other for a second instance.
    const QByteArray ownRoot = qgetenv("QUORVIX_ROOT");
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    // /proc/<pid>/comm holds the image name as the kernel keeps it (at most 15 bytes).
    QByteArray listing;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool isPid = false;
        pid.toLongLong(&isPid);
        if (!isPid || (pid != ownPid && startedRoot(pid) != ownRoot))
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            listing += comm.readAll().trimmed() + ' ' + pid.toLatin1() + '\n';
    }
    return listing;
}

}
