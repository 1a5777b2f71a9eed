#include "update/updator.h"
#include "ui_updator.h"

#include "app/archivetool.h"
#include "app/downloadprogress.h"
#include "app/eventlog.h"
#include "app/qtcompat.h"
#include "app/seams.h"
#include "platform/externaltools.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>

namespace {

const QString BatchFile = QStringLiteral("ZentorUpdator.bat");
constexpr int ProcessWaitMs = 30000;
constexpr int StallTimeoutMs = 120000;

const QString ConnectionTitle = QStringLiteral("Check Connection");
const QString ConnectionText = QStringLiteral("Cannot Download Update.Check Connection!");
const QString FailedTitle = QStringLiteral("Update Failed");
const QString FailedAdvice = QStringLiteral("\nThe update was not installed. Please start the program again to retry.");

}

updator::updator(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::updator)
{
    ui->setupUi(this);
    m_unpack = new ArchiveUnpack(ProcessWaitMs, this);
    m_batchProcess = new QProcess(this);
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

void updator::startDownload(QString url)
{
    m_archiveName = url.split(QLatin1Char('/')).last();
    // An address ending in "/" names no archive: nothing could be unpacked, and a batch file left
    // over in the working directory must not run in its place.
    if (m_archiveName.isEmpty()) {
        Seams::information(this, FailedTitle,
                           QStringLiteral("The update address names no archive file:\n%1").arg(EventLog::redacted(url))
                               + FailedAdvice);
        Seams::exitProcess(0);
        return;
    }
    m_archiveFile = std::make_unique<QFile>(m_archiveName);
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
    if (m_reply->error() != QNetworkReply::NoError) {
        EventLog::error(QStringLiteral("update"), QStringLiteral("update download failed: %1").arg(m_reply->errorString()));
        Seams::information(this, ConnectionTitle, ConnectionText);
    } else {
        EventLog::info(QStringLiteral("update"), QStringLiteral("update downloaded"));
        const QString failure = install();
        if (failure.isEmpty())
            EventLog::info(QStringLiteral("update"), QStringLiteral("update handed to its batch file"));
        else
            EventLog::error(QStringLiteral("update"), QStringLiteral("update failed: %1").arg(failure));
        if (!failure.isEmpty())
            Seams::information(this, FailedTitle, EventLog::redacted(failure) + FailedAdvice);
    }
    m_reply->deleteLater();
    m_reply = nullptr;
    Seams::exitProcess(0);
}

QString updator::install()
{
    QString failure = writeArchive();
    if (failure.isEmpty())
        failure = removeLeftOverBatchFile();
    if (failure.isEmpty())
        failure = unpackArchive();
    if (!failure.isEmpty())
        return failure;

    const Platform::Command command = Platform::batchFileCommand(BatchFile);
    m_batchProcess->start(command.program, command.arguments);
    // The batch file takes over once this process has ended; only a start failure is ours to report.
    if (!m_batchProcess->waitForFinished(ProcessWaitMs) && m_batchProcess->error() == QProcess::FailedToStart)
        return QStringLiteral("Cannot start %1: %2.").arg(BatchFile, m_batchProcess->errorString());
    return QString();
}

QString updator::removeLeftOverBatchFile()
{
    // Only a batch file this archive brings may run: an earlier update's would install that one again.
    QFile leftOver(BatchFile);
    if (leftOver.exists() && !leftOver.remove())
        return QStringLiteral("Cannot remove the %1 of an earlier update: %2.").arg(BatchFile, leftOver.errorString());
    return QString();
}

QString updator::writeArchive()
{
    if (!m_archiveFile->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("Cannot save the update archive %1: %2.").arg(m_archiveName, m_archiveFile->errorString());
    m_replyBuffer.clear();
    m_replyBuffer = m_reply->readAll();
    const qint64 written = m_archiveFile->write(m_replyBuffer);
    m_archiveFile->close();
    if (written != m_replyBuffer.size() || m_archiveFile->error() != QFileDevice::NoError)
        return QStringLiteral("Cannot save the update archive %1: %2.").arg(m_archiveName, m_archiveFile->errorString());
    return QString();
}

QString updator::unpackArchive()
{
    const ArchiveUnpack::Result result = m_unpack->run(m_archiveFile->fileName(), QString());
    const QString reason = QStringLiteral("Cannot unpack the update archive %1: ").arg(m_archiveName);
    switch (result.outcome) {
    case ArchiveUnpack::Outcome::NotStarted:
        return reason + QStringLiteral("the archive tool %1 could not be started.").arg(Platform::archiveTool());
    case ArchiveUnpack::Outcome::TimedOut:
        return reason + QStringLiteral("the archive tool did not finish within %1 seconds.").arg(ProcessWaitMs / 1000);
    case ArchiveUnpack::Outcome::Crashed:
        return reason + QStringLiteral("the archive tool crashed.");
    case ArchiveUnpack::Outcome::Ended:
        break;
    }
    // The tool ends with 1 or 2 when it cannot overwrite a file in use, such as the running
    // program's own; the batch file it did unpack replaces those once this process has ended.
    if (QFile::exists(BatchFile))
        return QString();
    if (result.exitCode != 0)
        return reason + QStringLiteral("the archive tool ended with code %1.").arg(result.exitCode);
    return QStringLiteral("The update archive %1 holds no %2.").arg(m_archiveName, BatchFile);
}
