#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QProcess;
class QTimer;

// One run of the archive tool on an archive, ended when it outlasts its time limit. The caller
// words the result: the feed and the updater tell the trader in words of their own.
class ArchiveUnpack final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveUnpack)

public:
    enum class Outcome {
        Ended,       // by itself, with exitCode
        NotStarted,  // the tool could not be started
        TimedOut,    // ended by the time limit
        Crashed,
    };

    struct FailedMember
    {
        // Relative to the folder once removed from it, else as the tool named it.
        QString name;
        QString reason;
    };

    struct Result
    {
        Outcome outcome = Outcome::Ended;
        int exitCode = 0;
        // Judged only when a folder was named and the tool ended with a code other than 0:
        // the members it gave up on, and whether anything else came out.
        QList<FailedMember> failedMembers;
        bool extracted = false;
    };

    explicit ArchiveUnpack(int timeLimitMs, QObject *parent = nullptr);
    ~ArchiveUnpack() override;

    [[nodiscard]] int timeLimitMs() const { return m_timeLimitMs; }
    [[nodiscard]] bool isRunning() const { return m_running; }

    // Unpacks into folder, or into the working directory when folder is empty; finished() follows,
    // also when the tool cannot be started.
    void start(const QString &archive, const QString &folder);
    // The same, waiting for the tool in this thread; no finished().
    [[nodiscard]] Result run(const QString &archive, const QString &folder);
    // Reads every member and checks it, writing nothing; waits like run(). Exit code 0: the
    // archive is whole.
    [[nodiscard]] Result test(const QString &archive);
    // Ends a running tool without finished().
    void cancel();

    // "ERROR: Data Error : TCS.txt": the members the tool gave up on, with its words for why.
    [[nodiscard]] static QList<FailedMember> failedMembers(const QByteArray &output);

signals:
    void finished(const ArchiveUnpack::Result &result);

private:
    // Relative path -> (size, modification time).
    using FolderListing = QHash<QString, QPair<qint64, qint64>>;
    [[nodiscard]] static FolderListing listFolder(const QString &folder);

    void begin(const QString &command, const QString &archive, const QString &folder);
    [[nodiscard]] Result wait();
    void toolEnded();
    [[nodiscard]] Result conclude();
    void judgePartialUnpack(Result &result);

    const int m_timeLimitMs;
    QProcess *m_process = nullptr;
    QTimer *m_timeLimit = nullptr;
    QString m_folder;
    FolderListing m_beforeUnpack;
    bool m_running = false;
    bool m_waiting = false;
    bool m_timedOut = false;
    bool m_notStarted = false;
};
