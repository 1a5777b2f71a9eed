#include "app/archivetool.h"

#include "platform/externaltools.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTimer>

ArchiveUnpack::ArchiveUnpack(int timeLimitMs, QObject *parent)
    : QObject(parent)
    , m_timeLimitMs(timeLimitMs)
{
    m_process = new QProcess(this);
    // The tool names the members it gave up on, on either channel.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_timeLimit = new QTimer(this);
    m_timeLimit->setSingleShot(true);
    m_timeLimit->setInterval(timeLimitMs);
    // A hung tool would hold every later archive: it is ended, and the unpack counts as failed.
    connect(m_timeLimit, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_process->kill();
    });
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ArchiveUnpack::toolEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_notStarted = true;
            toolEnded();
        }
    });
}

ArchiveUnpack::~ArchiveUnpack()
{
    cancel();
}

void ArchiveUnpack::begin(const QString &command, const QString &archive, const QString &folder)
{
    m_running = true;
    m_timedOut = false;
    m_notStarted = false;
    m_folder = folder;
    // The tool restores the archive's own file times: what it extracted shows in the listing.
    m_beforeUnpack = folder.isEmpty() ? FolderListing() : listFolder(folder);
    QStringList arguments{command, archive};
    if (!folder.isEmpty())
        arguments << QStringLiteral("-o") + folder;
    // An encrypted archive must fail at once, not wait for a password nobody types: no password
    // is given, and nothing can be read from the tool's input.
    arguments << QStringLiteral("-y") << QStringLiteral("-p");
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->start(Platform::archiveTool(), arguments);
}

void ArchiveUnpack::start(const QString &archive, const QString &folder)
{
    m_waiting = false;
    m_timeLimit->start();
    begin(QStringLiteral("x"), archive, folder);
}

ArchiveUnpack::Result ArchiveUnpack::run(const QString &archive, const QString &folder)
{
    m_waiting = true;
    begin(QStringLiteral("x"), archive, folder);
    return wait();
}

ArchiveUnpack::Result ArchiveUnpack::test(const QString &archive)
{
    m_waiting = true;
    begin(QStringLiteral("t"), archive, QString());
    return wait();
}

ArchiveUnpack::Result ArchiveUnpack::wait()
{
    if (!m_process->waitForFinished(m_timeLimitMs) && m_process->error() != QProcess::FailedToStart) {
        m_timedOut = true;
        m_process->kill();
        m_process->waitForFinished(m_timeLimitMs);
    }
    m_waiting = false;
    return conclude();
}

void ArchiveUnpack::cancel()
{
    m_running = false;
    m_timeLimit->stop();
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

void ArchiveUnpack::toolEnded()
{
    // Reached once per start, whether the tool ended or never started; a waiting run concludes itself.
    if (!m_running || m_waiting)
        return;
    emit finished(conclude());
}

ArchiveUnpack::Result ArchiveUnpack::conclude()
{
    m_running = false;
    m_timeLimit->stop();
    Result result;
    if (m_timedOut) {
        result.outcome = Outcome::TimedOut;
    } else if (m_notStarted) {
        result.outcome = Outcome::NotStarted;
    } else if (m_process->exitStatus() == QProcess::CrashExit) {
        result.outcome = Outcome::Crashed;
    } else {
        result.exitCode = m_process->exitCode();
        if (result.exitCode != 0 && !m_folder.isEmpty())
            judgePartialUnpack(result);
    }
    return result;
}

QList<ArchiveUnpack::FailedMember> ArchiveUnpack::failedMembers(const QByteArray &output)
{
    QList<FailedMember> members;
    for (const QByteArray &raw : output.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        const int error = line.indexOf(QLatin1String("ERROR: "));
        if (error < 0)
            continue;
        const QString rest = line.mid(error + 7);
        // "Dangerous link path was ignored : LINK : TARGET" names the member in the middle.
        const QStringList pieces = rest.split(QLatin1String(" : "));
        if (pieces.size() >= 3 && pieces.first().startsWith(QLatin1String("Dangerous link path"))) {
            members.append({pieces.at(1).trimmed(), pieces.first().trimmed()});
            continue;
        }
        const int colon = rest.lastIndexOf(QLatin1String(" : "));
        if (colon > 0)
            members.append({rest.mid(colon + 3).trimmed(), rest.left(colon).trimmed()});
    }
    return members;
}

ArchiveUnpack::FolderListing ArchiveUnpack::listFolder(const QString &folder)
{
    FolderListing listing;
    const QDir base(folder);
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        listing.insert(base.relativeFilePath(info.filePath()),
                       qMakePair(info.size(), info.lastModified().toMSecsSinceEpoch()));
    }
    return listing;
}

// A tool that gives up on some members (exit 1 or 2) may have unpacked the others: those are kept,
// the broken ones removed.
void ArchiveUnpack::judgePartialUnpack(Result &result)
{
    result.failedMembers = failedMembers(m_process->readAll());
    const QDir folder(m_folder);
    const QString inside = QDir::cleanPath(folder.absolutePath()) + QLatin1Char('/');
    for (FailedMember &member : result.failedMembers) {
        const QString path = QDir::cleanPath(folder.absoluteFilePath(member.name));
        // What the tool wrote of a member it gave up on is not data; nothing outside the folder is touched.
        if (path.startsWith(inside)) {
            QFile::remove(path);
            member.name = path.mid(inside.size());
        }
    }
    const FolderListing after = listFolder(m_folder);
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (m_beforeUnpack.value(it.key(), qMakePair(qint64(-1), qint64(-1))) != it.value()) {
            result.extracted = true;
            break;
        }
    }
}
