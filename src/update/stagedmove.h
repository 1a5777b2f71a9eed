#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Moves every file of a staged tree into a target folder as one step. What a file replaces is
// renamed into an aside folder, kept until the whole move has succeeded, and put back when a
// later move fails, so that the target ends as it was. Renames only: the three folders must lie
// on one volume, which also lets a running program's own files be moved aside on Windows.
class StagedMove final
{
public:
    StagedMove(const QString &stagedFolder, const QString &targetFolder, const QString &asideFolder);
    Q_DISABLE_COPY_MOVE(StagedMove)

    // Empty when every file moved; else the reason, with the target folder put back as it was.
    [[nodiscard]] QString commit();
    // Undoes a commit() that succeeded, for a step after it that failed; empty when all went back.
    [[nodiscard]] QString rollBack();
    // The staged files, relative to the staged folder, in the order they are moved.
    [[nodiscard]] QStringList stagedFiles() const;

private:
    struct Move
    {
        QString relative;
        bool replaced = false;
        bool movedIn = false;
    };

    [[nodiscard]] QString moveIn(const QString &relative);

    const QString m_staged;
    const QString m_target;
    const QString m_aside;
    QList<Move> m_done;
    // Folders made in the target, outermost first.
    QStringList m_madeFolders;
};
