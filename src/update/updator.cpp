#include "update/updator.h"
#include "ui_updator.h"

#include "app/archivetool.h"
#include "app/downloadprogress.h"
#include "app/eventlog.h"
#include "app/qtcompat.h"
#include "app/seams.h"
#include "platform/externaltools.h"
#include "platform/runningfiles.h"
#include "update/stagedmove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>

namespace {

const QString BatchFile = QStringLiteral("ZentorUpdator.bat");
constexpr int ProcessWaitMs = 30000;
constexpr int StallTimeoutMs = 120000;

// Inside the staging folder.
const QString UnpackedFolder = QStringLiteral("unpacked");
const QString ReplacedFolder = QStringLiteral("replaced");
const QString RunningFolder = QStringLiteral("running");

const QString ConnectionTitle = QStringLiteral("Check Connection");
const QString ConnectionText = QStringLiteral("Cannot Download Update.Check Connection!");
const QString FailedTitle = QStringLiteral("Update Failed");
const QString FailedAdvice = QStringLiteral("\nThe update was not installed. Please start the program again to retry.");

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Why the archive tool did not end by itself; empty when it did.
QString toolFailure(const ArchiveUnpack::Result &result)
{
    switch (result.outcome) {
    case ArchiveUnpack::Outcome::NotStarted:
        return QStringLiteral("the archive tool %1 could not be started.").arg(Platform::archiveTool());
    case ArchiveUnpack::Outcome::TimedOut:
        return QStringLiteral("the archive tool did not finish within %1 seconds.").arg(ProcessWaitMs / 1000);
    case ArchiveUnpack::Outcome::Crashed:
        return QStringLiteral("the archive tool crashed.");
    case ArchiveUnpack::Outcome::Ended:
        break;
    }
    return QString();
}

}

updator::updator(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::updator)
{
    ui->setupUi(this);
    m_unpack = new ArchiveUnpack(ProcessWaitMs, this);
    m_manager = new QNetworkAccessManager(this);
    QtCompat::keepQt5RedirectPolicy(m_manager);
    // Without its dialog the process stays alive for the download: it ends itself when done.
    setAttribute(Qt::WA_QuitOnClose, false);
    // The trader may have dismissed the dialog: a download that stalls must not leave an
    // invisible process behind, which would also refuse every later start as "Already Running".
    m_stallTimer = new QTimer(this);
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(StallTimeoutMs);
    connect(m_stallTimer, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort();
    });
    show();
}

updator::~updator()
{
    delete ui;
}

QString updator::stagingFolder(const QString &programFolder)
{
    const QFileInfo program(QDir::cleanPath(QDir(programFolder).absolutePath()));
    // A drive or file system root has no name to build one beside it from.
    if (program.fileName().isEmpty())
        return QString();
    return program.dir().filePath(program.fileName() + QStringLiteral(".update"));
}

void updator::startDownload(QString url)
{
    m_archiveName = url.split(QLatin1Char('/')).last();
    // An address ending in "/" names no archive: nothing could be unpacked.
    if (m_archiveName.isEmpty()) {
        Seams::information(this, FailedTitle,
                           QStringLiteral("The update address names no archive file:\n%1").arg(EventLog::redacted(url))
                               + FailedAdvice);
        Seams::exitProcess(0);
        return;
    }
    m_programFolder = QDir::currentPath();
    m_staging = stagingFolder(m_programFolder);
    m_url = QUrl(url, QUrl::TolerantMode);
    EventLog::info(QStringLiteral("update"), QStringLiteral("update offered, downloading %1").arg(url));
    requestData();
}

void updator::setStallTimeout(int milliseconds)
{
    m_stallTimer->setInterval(milliseconds);
}

void updator::requestData()
{
    m_requestClock.restart();
    m_stallTimer->start();
    m_reply = m_manager->get(QNetworkRequest(m_url));
    connect(m_reply, &QNetworkReply::downloadProgress, this, &updator::downloadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &updator::downloadCompleted);
}

void updator::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    m_stallTimer->start();
    ui->downloadProgress->setValue(DownloadProgress::percentText(bytesReceived, bytesTotal).toInt());
}

void updator::downloadCompleted()
{
    m_stallTimer->stop();
    Failure failure;
    if (m_reply->error() != QNetworkReply::NoError) {
        failure = {QStringLiteral("the download failed: %1").arg(m_reply->errorString()), true};
    } else {
        EventLog::info(QStringLiteral("update"), QStringLiteral("update downloaded"));
        failure = install();
    }
    m_reply->deleteLater();
    m_reply = nullptr;

    if (failure.reason.isEmpty()) {
        EventLog::info(QStringLiteral("update"), QStringLiteral("update handed to its batch file"));
    } else {
        // The program folder is as it was; nothing of this update is left beside it either.
        if (!removeStaging())
            EventLog::warning(QStringLiteral("update"),
                              QStringLiteral("%1 could not be removed entirely").arg(native(m_staging)));
        EventLog::error(QStringLiteral("update"), QStringLiteral("update failed: %1").arg(failure.reason));
        if (failure.archiveAtFault)
            Seams::information(this, ConnectionTitle, ConnectionText);
        else
            Seams::information(this, FailedTitle, EventLog::redacted(failure.reason) + FailedAdvice);
    }
    Seams::exitProcess(0);
}

updator::Failure updator::install()
{
    const QByteArray archive = m_reply->readAll();
    Failure failure = checkDownload(archive);
    if (!failure.reason.isEmpty())
        return failure;
    if (m_staging.isEmpty())
        return {QStringLiteral("The program folder %1 has no folder beside it to unpack the update in.")
                    .arg(native(m_programFolder))};
    if (const QString reason = prepareStaging(); !reason.isEmpty())
        return {reason};
    if (const QString reason = writeArchive(archive); !reason.isEmpty())
        return {reason};
    failure = testArchive();
    if (!failure.reason.isEmpty())
        return failure;
    if (const QString reason = unpackArchive(); !reason.isEmpty())
        return {reason};

    StagedMove move(unpackedFolder(), m_programFolder, QDir(m_staging).filePath(ReplacedFolder));
    EventLog::info(QStringLiteral("update"),
                   QStringLiteral("moving %1 into %2")
                       .arg(move.stagedFiles().join(QLatin1String(", ")), native(m_programFolder)));
    if (const QString reason = move.commit(); !reason.isEmpty())
        return {reason};
    releaseRunningFiles();
    if (const QString reason = startBatchFile(); !reason.isEmpty()) {
        const QString stuck = move.rollBack();
        return {stuck.isEmpty() ? reason : reason + QLatin1Char(' ') + stuck};
    }
    // What the update replaced is no longer needed; files this process still holds stay until the
    // next update clears the folder.
    if (!removeStaging())
        EventLog::info(QStringLiteral("update"),
                       QStringLiteral("files held by this process stay in %1").arg(native(m_staging)));
    return {};
}

updator::Failure updator::checkDownload(const QByteArray &archive) const
{
    // Whatever the network layer makes of a body cut short, an announced length not met is a broken download.
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != archive.size())
        return {QStringLiteral("the update archive %1 arrived with %2 of %3 bytes.")
                    .arg(m_archiveName)
                    .arg(archive.size())
                    .arg(announced.toLongLong()),
                true};
    return {};
}

QString updator::prepareStaging() const
{
    QDir staging(m_staging);
    // What an earlier update left (a cut download, files that process still held) is not this one's.
    if (staging.exists() && !staging.removeRecursively())
        return QStringLiteral("Cannot clear the folder %1 left by an earlier update.").arg(native(m_staging));
    if (!QDir().mkpath(unpackedFolder()))
        return QStringLiteral("Cannot make the folder %1 to unpack the update in.").arg(native(m_staging));
    return QString();
}

QString updator::writeArchive(const QByteArray &archive) const
{
    QFile file(archivePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(archive) == archive.size()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return QString();
    }
    return QStringLiteral("Cannot save the update archive %1: %2.").arg(m_archiveName, file.errorString());
}

updator::Failure updator::testArchive()
{
    const ArchiveUnpack::Result result = m_unpack->test(native(archivePath()));
    if (const QString failure = toolFailure(result); !failure.isEmpty())
        return {QStringLiteral("Cannot unpack the update archive %1: ").arg(m_archiveName) + failure};
    if (result.exitCode != 0)
        return {QStringLiteral("the update archive %1 (%2 bytes) failed the archive tool's test with code %3.")
                    .arg(m_archiveName)
                    .arg(QFileInfo(archivePath()).size())
                    .arg(result.exitCode),
                true};
    return {};
}

QString updator::unpackArchive()
{
    const ArchiveUnpack::Result result = m_unpack->run(native(archivePath()), native(unpackedFolder()));
    const QString reason = QStringLiteral("Cannot unpack the update archive %1: ").arg(m_archiveName);
    if (const QString failure = toolFailure(result); !failure.isEmpty())
        return reason + failure;
    if (result.exitCode != 0)
        return reason + QStringLiteral("the archive tool ended with code %1.").arg(result.exitCode);
    if (!QFileInfo(QDir(unpackedFolder()).filePath(BatchFile)).isFile())
        return QStringLiteral("The update archive %1 holds no %2.").arg(m_archiveName, BatchFile);
    return QString();
}

void updator::releaseRunningFiles() const
{
    QStringList failures;
    const QStringList freed = Platform::releaseRunningFiles(m_programFolder, QDir(m_staging).filePath(RunningFolder),
                                                            &failures);
    if (!freed.isEmpty())
        EventLog::info(QStringLiteral("update"),
                       QStringLiteral("freed for the batch file: %1").arg(freed.join(QLatin1String(", "))));
    for (const QString &failure : failures)
        EventLog::warning(QStringLiteral("update"), QStringLiteral("still held by this process: %1").arg(failure));
}

QString updator::startBatchFile()
{
    // Detached: the batch replaces this program's files once it has ended, which is at once.
    const Platform::Command command = Platform::batchFileCommand(BatchFile);
    QProcess batch;
    batch.setProgram(command.program);
    batch.setArguments(command.arguments);
    batch.setWorkingDirectory(m_programFolder);
    qint64 pid = 0;
    if (!batch.startDetached(&pid))
        return QStringLiteral("Cannot start %1: %2.").arg(BatchFile, batch.errorString());
    EventLog::info(QStringLiteral("update"), QStringLiteral("%1 started (process %2)").arg(BatchFile).arg(pid));
    return QString();
}

bool updator::removeStaging() const
{
    return m_staging.isEmpty() || !QFileInfo(m_staging).isDir() || QDir(m_staging).removeRecursively();
}

QString updator::archivePath() const
{
    return QDir(m_staging).filePath(m_archiveName);
}

QString updator::unpackedFolder() const
{
    return QDir(m_staging).filePath(UnpackedFolder);
}
