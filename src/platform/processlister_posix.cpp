#include "platform/processlister.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Platform {

namespace {

// One text per folder: relative paths, "..", repeated or trailing separators and links resolved.
QString resolvedFolder(const QString &folder, const QString &workingDirectory)
{
    const QString absolute = QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(QDir::fromNativeSeparators(folder)));
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    return canonical.isEmpty() ? absolute : canonical;
}

// The install folder another process uses, by the rule of its own environment: QUORVIX_ROOT, or
// $HOME/Quorvix when that is unset or empty. Empty when the environment cannot be read (another
// user's process) or is empty (kernel threads, processes that have ended).
QString installFolderOf(const QString &pid)
{
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray environment = file.readAll();
    if (environment.isEmpty())
        return {};
    QByteArray root;
    QByteArray home;
    for (const QByteArray &entry : environment.split('\0')) {
        if (entry.startsWith("QUORVIX_ROOT="))
            root = entry.mid(int(sizeof("QUORVIX_ROOT=")) - 1);
        else if (entry.startsWith("HOME="))
            home = entry.mid(int(sizeof("HOME=")) - 1);
    }
    // As Qt's home path: no HOME is the root folder.
    const QString folder = !root.isEmpty() ? QFile::decodeName(root)
                                           : QFile::decodeName(home.isEmpty() ? QByteArray("/") : home)
                                                 + QStringLiteral("/Quorvix");
    const QString workingDirectory = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
    return resolvedFolder(folder, workingDirectory.isEmpty() ? QStringLiteral("/") : workingDirectory);
}

}

QString programImageName()
{
    return QStringLiteral("tickvane");
}

QByteArray runningProcessList(QObject *, const QString &installFolder)
{
    // Only the processes that use this install folder: tests, demos and a trader's own copy on
    // one machine never see each other. /proc/<pid>/comm holds the image name (at most 15 bytes).
    const QString ownFolder = resolvedFolder(installFolder, QDir::currentPath());
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    QByteArray listing;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool isPid = false;
        pid.toLongLong(&isPid);
        if (!isPid)
            continue;
        // /proc holds this process's environment as it started; its configuration is what counts.
        if (pid != ownPid && installFolderOf(pid) != ownFolder)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            listing += comm.readAll().trimmed() + ' ' + pid.toLatin1() + '\n';
    }
    return listing;
}

}
