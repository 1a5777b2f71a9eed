#include "update/stagedmove.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

}

StagedMove::StagedMove(const QString &stagedFolder, const QString &targetFolder, const QString &asideFolder)
    : m_staged(stagedFolder)
    , m_target(targetFolder)
    , m_aside(asideFolder)
{
}

QStringList StagedMove::stagedFiles() const
{
    QStringList files;
    const QDir base(m_staged);
    QDirIterator it(m_staged, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << base.relativeFilePath(it.next());
    // One order on every run: a failure always leaves the same files to put back.
    std::sort(files.begin(), files.end());
    return files;
}

QString StagedMove::commit()
{
    for (const QString &relative : stagedFiles()) {
        const QString failure = moveIn(relative);
        if (failure.isEmpty())
            continue;
        const QString stuck = rollBack();
        return stuck.isEmpty() ? failure : failure + QLatin1Char(' ') + stuck;
    }
    return QString();
}

QString StagedMove::moveIn(const QString &relative)
{
    const QDir target(m_target);
    const QString parent = QFileInfo(relative).path();
    if (parent != QLatin1String(".")) {
        QString folder;
        for (const QString &part : parent.split(QLatin1Char('/'))) {
            folder = folder.isEmpty() ? part : folder + QLatin1Char('/') + part;
            const QFileInfo info(target.filePath(folder));
            if (info.isDir())
                continue;
            if (info.exists() || info.isSymLink() || !target.mkdir(folder))
                return QStringLiteral("Cannot make the folder %1.").arg(native(info.filePath()));
            m_madeFolders << folder;
        }
    }

    const QString destination = target.filePath(relative);
    const QString aside = QDir(m_aside).filePath(relative);
    QDir dir;
    Move move{relative, false};
    const QFileInfo existing(destination);
    if (existing.exists() || existing.isSymLink()) {
        if (!dir.mkpath(QFileInfo(aside).path()) || !dir.rename(destination, aside))
            return QStringLiteral("Cannot move %1 aside to replace it.").arg(native(destination));
        move.replaced = true;
        // Recorded before the new file comes in, so that a failure below still puts this one back.
        m_done << move;
    }
    if (!dir.rename(QDir(m_staged).filePath(relative), destination))
        return QStringLiteral("Cannot move %1 into %2.").arg(relative, native(m_target));
    if (move.replaced)
        m_done.last().movedIn = true;
    else
        m_done << Move{relative, false, true};
    return QString();
}

QString StagedMove::rollBack()
{
    QStringList stuck;
    QDir dir;
    while (!m_done.isEmpty()) {
        const Move move = m_done.takeLast();
        const QString destination = QDir(m_target).filePath(move.relative);
        if (move.movedIn && !dir.rename(destination, QDir(m_staged).filePath(move.relative))
            && !QFile::remove(destination)) {
            stuck << native(destination);
            continue;
        }
        if (move.replaced && !dir.rename(QDir(m_aside).filePath(move.relative), destination))
            stuck << native(destination);
    }
    while (!m_madeFolders.isEmpty())
        QDir(m_target).rmdir(m_madeFolders.takeLast());
    if (stuck.isEmpty())
        return QString();
    return QStringLiteral("These files could not be put back as they were: %1 (what they replaced is in %2).")
        .arg(stuck.join(QLatin1String(", ")), native(m_aside));
}
