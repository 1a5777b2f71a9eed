#include "feed/mydownloader.h"

#include "app/config.h"
#include "app/qtcompat.h"
#include "platform/externaltools.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace {

constexpr char PostContentType[] = "application/x-www-form-urlencoded";
constexpr char ArchiveSuffix[] = "zip";
constexpr int UnpackTimeLimitMs = 30000;

}

MyDownloader::MyDownloader(QString fileName, QString url, QString destinationExtr, int method)
    : destinationExtr(std::move(destinationExtr))
    , method(method)
{
    m_unpackProcess = new QProcess(this);
    // The tool names the members it gave up on, on either channel.
    m_unpackProcess->setProcessChannelMode(QProcess::MergedChannels);
    m_unpackTimeLimit = new QTimer(this);
    m_unpackTimeLimit->setSingleShot(true);
    m_unpackTimeLimit->setInterval(UnpackTimeLimitMs);
    // A hung tool would hold every later archive: it is ended, and the unpack counts as failed.
    connect(m_unpackTimeLimit, &QTimer::timeout, this, [this] {
        m_unpackTimedOut = true;
        m_unpackProcess->kill();
    });
    connect(m_unpackProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &MyDownloader::unpackFinished);
    connect(m_unpackProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_unpackNotStarted = true;
            unpackFinished();
        }
    });
    m_outputFile = std::make_unique<QFile>(Config::instance().nativePath(fileName));
    pollTimer = new QTimer(this);
    watchdogTimer = new QTimer(this);
    manager = new QNetworkAccessManager(this);
    QtCompat::keepQt5RedirectPolicy(manager);
    this->url.setUrl(url, QUrl::TolerantMode);
    prepareRequest();
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

MyDownloader::~MyDownloader()
{
    // An unpack in progress is abandoned without an announcement.
    m_unpackProcess->disconnect(this);
    if (m_unpackProcess->state() != QProcess::NotRunning) {
        m_unpackProcess->kill();
        m_unpackProcess->waitForFinished();
    }
}

QString MyDownloader::progressText(qint64 bytesReceived, qint64 bytesTotal)
{
    const float scaled = float(bytesReceived * 100);
    return QString::number(scaled / bytesTotal, 'g', 6);
}

QString MyDownloader::speedText(qint64 bytesReceived, qint64 elapsedMs)
{
    // A progress report within the first millisecond would otherwise divide by zero.
    const qint64 elapsed = std::max<qint64>(elapsedMs, 1);
    double speed = bytesReceived * 1000.0 / elapsed;
    QString unit;
    if (speed < 1024) {
        unit = QStringLiteral("bytes/sec");
    } else if (speed < 1024 * 1024) {
        speed /= 1024;
        unit = QStringLiteral("kB/s");
    } else {
        speed /= 1024 * 1024;
        unit = QStringLiteral("MB/s");
    }
    return QStringLiteral("%1 %2").arg(QStringLiteral("%1").arg(speed, 3, 'f', 1), unit);
}

QString MyDownloader::outputFilePath() const
{
    // QFile hands its name back with '/' even on Windows.
    return QDir::toNativeSeparators(m_outputFile->fileName());
}

void MyDownloader::initialize(QString fileName, QString url, QString destinationExtr, int method)
{
    m_outputFile->setFileName(Config::instance().nativePath(fileName));
    this->url.setUrl(url, QUrl::TolerantMode);
    this->destinationExtr = std::move(destinationExtr);
    this->method = method;
    prepareRequest();
}

void MyDownloader::aim(const QString &url, int method)
{
    this->url.setUrl(url, QUrl::TolerantMode);
    this->method = method;
    prepareRequest();
}

void MyDownloader::prepareRequest()
{
    if (method == 1) {
        const QString text = url.toString();
        m_request = std::make_unique<QNetworkRequest>(QUrl(text.left(text.indexOf(QLatin1Char('?')))));
        m_request->setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(PostContentType));
        m_postBody = text.mid(text.lastIndexOf(QLatin1Char('?')) + 1).toUtf8();
    } else {
        m_request = std::make_unique<QNetworkRequest>(url);
        m_postBody.clear();
    }
}

void MyDownloader::requestData()
{
    // Detached until this request has been handled: a tick meanwhile sends nothing.
    disconnect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData);

    reply = method == 1 ? manager->post(*m_request, m_postBody) : manager->get(*m_request);
    requestClock.restart();

    connect(reply, &QNetworkReply::downloadProgress, this, &MyDownloader::downloadProgress,
            Qt::UniqueConnection);
    connect(reply, &QNetworkReply::finished, this, &MyDownloader::downloadCompleted,
            Qt::UniqueConnection);

    watchdogTimer->start();
    connect(watchdogTimer, &QTimer::timeout, this, &MyDownloader::abort, Qt::UniqueConnection);
}

void MyDownloader::downloadCompleted()
{
    disconnect(watchdogTimer, &QTimer::timeout, this, &MyDownloader::abort);
    watchdogTimer->stop();

    // The reply that finished, even if a caller has sent another one meanwhile.
    QNetworkReply *finished = qobject_cast<QNetworkReply *>(sender());
    if (!finished)
        finished = reply;

    if (finished) {
        if (finished->error() != QNetworkReply::NoError) {
            fail(finished->errorString());
        } else {
            const QByteArray body = finished->readAll();
            // A reply that cannot be stored must not be announced: the importer would take the
            // previous file for new data.
            if (storeReply(body)) {
                replyBuffer = body;
                if (startUnpack()) {
                    // Announced, and the poll re-armed, once the tool is done.
                    finished->deleteLater();
                    return;
                }
                m_lastError.clear();
                emit downloadfinished();
            } else {
                fail(QStringLiteral("The reply could not be written to %1: %2")
                         .arg(QDir::toNativeSeparators(m_outputFile->fileName()), m_storeError));
            }
        }
        finished->deleteLater();
    }

    rearm();
}

void MyDownloader::fail(const QString &reason)
{
    m_lastError = reason;
    emit responseError();
}

void MyDownloader::rearm()
{
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

void MyDownloader::abort()
{
    // Aborting finishes the reply at once, so downloadCompleted() runs inside this call.
    if (reply)
        reply->abort();
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

void MyDownloader::cancelRequestInFlight()
{
    if (reply && reply->isRunning())
        abort();
    if (m_unpacking) {
        // The archive of a request given up on is not announced.
        m_unpacking = false;
        m_unpackTimeLimit->stop();
        m_unpackProcess->kill();
        m_unpackProcess->waitForFinished();
        QFile::remove(m_outputFile->fileName());
        rearm();
    }
}

void MyDownloader::fetch(const QString &fileName, const QString &url, int pollMs, int watchdogMs)
{
    cancelRequestInFlight();
    initialize(fileName, url, destinationExtr, 0);
    pollTimer->stop();
    pollTimer->start(pollMs);
    watchdogTimer->setInterval(watchdogMs);
    watchdogTimer->start();
}

void MyDownloader::stopPolling()
{
    pollTimer->stop();
}

void MyDownloader::resumePolling(int pollMs)
{
    pollTimer->start(pollMs);
}

void MyDownloader::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    const QString progress = progressText(bytesReceived, bytesTotal);
    const QString speed = speedText(bytesReceived, requestClock.elapsed());
    emit updateProgress(progress, speed);
    emit updateProgress2(progress, speed);
}

bool MyDownloader::storeReply(const QByteArray &body)
{
    // Overwritten in place and then cut to size: a file emptied first is pushed to disk on
    // close by some file systems (ext4), milliseconds of every live tick.
    if (!m_outputFile->open(QIODevice::ReadWrite)) {
        m_storeError = m_outputFile->errorString();
        return false;
    }
    // flush() makes a full disk show up here rather than be lost in close().
    const bool stored = m_outputFile->write(body) == body.size() && m_outputFile->flush()
        && m_outputFile->resize(body.size());
    // close() forgets why a write failed.
    m_storeError = stored ? QString() : m_outputFile->errorString();
    m_outputFile->close();
    return stored;
}

bool MyDownloader::isUnpacking() const
{
    return m_unpacking;
}

bool MyDownloader::startUnpack()
{
    const QString archive = m_outputFile->fileName();
    if (archive.split(QLatin1Char('.')).last().toLower() != QLatin1String(ArchiveSuffix))
        return false;

    m_unpacking = true;
    m_unpackTimedOut = false;
    m_unpackNotStarted = false;
    m_unpackStartedMs = QDateTime::currentMSecsSinceEpoch();
    m_partialFailure.clear();
    // The tool restores the archive's own file times: what it extracted shows in the listing.
    m_beforeUnpack = listFolder(destinationExtr);
    m_unpackTimeLimit->start();
    m_unpackProcess->start(Platform::archiveTool(),
                           {QStringLiteral("x"), archive, QStringLiteral("-o") + destinationExtr,
                            QStringLiteral("-y")});
    return true;
}

namespace {

// "ERROR: Data Error : TCS.txt": the members the tool gave up on, with its words for why.
QList<QPair<QString, QString>> failedMembers(const QByteArray &output)
{
    QList<QPair<QString, QString>> members;
    for (const QByteArray &raw : output.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        const int error = line.indexOf(QLatin1String("ERROR: "));
        if (error < 0)
            continue;
        const QString rest = line.mid(error + 7);
        const int colon = rest.lastIndexOf(QLatin1String(" : "));
        if (colon > 0)
            members.append({rest.mid(colon + 3).trimmed(), rest.left(colon).trimmed()});
    }
    return members;
}

}

MyDownloader::FolderListing MyDownloader::listFolder(const QString &folder)
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
// the broken ones removed and named. Empty when something usable came out.
QString MyDownloader::judgePartialUnpack()
{
    const QList<QPair<QString, QString>> failed = failedMembers(m_unpackProcess->readAll());
    const QDir folder(destinationExtr);
    const QString inside = QDir::cleanPath(folder.absolutePath()) + QLatin1Char('/');
    QStringList named;
    for (const auto &member : failed) {
        QString name = member.first;
        const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
        // What the tool wrote of a member it gave up on is not data; nothing outside the folder is touched.
        if (path.startsWith(inside)) {
            QFile::remove(path);
            name = path.mid(inside.size());
        }
        named << QStringLiteral("%1 (%2)").arg(name, member.second);
    }
    const FolderListing after = listFolder(destinationExtr);
    bool extracted = false;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (m_beforeUnpack.value(it.key(), qMakePair(qint64(-1), qint64(-1))) != it.value()) {
            extracted = true;
            break;
        }
    }
    if (!extracted)
        return QStringLiteral("The archive could not be unpacked (archive tool exit code %1).")
            .arg(m_unpackProcess->exitCode());
    m_partialFailure = QStringLiteral("Not unpacked: %1")
                           .arg(named.isEmpty() ? QStringLiteral("some members (archive tool exit code %1)")
                                                      .arg(m_unpackProcess->exitCode())
                                                : named.join(QStringLiteral(", ")));
    return QString();
}

void MyDownloader::unpackFinished()
{
    // Reached once per unpack, whether the tool ended or never started.
    if (!m_unpacking)
        return;
    m_unpacking = false;
    m_unpackTimeLimit->stop();

    QString failure;
    if (m_unpackTimedOut) {
        failure = QStringLiteral("The archive tool did not finish within %1 s and was stopped.")
                      .arg(UnpackTimeLimitMs / 1000);
    } else if (m_unpackNotStarted) {
        failure = QStringLiteral("The archive tool %1 could not be started.").arg(Platform::archiveTool());
    } else if (m_unpackProcess->exitStatus() == QProcess::CrashExit) {
        failure = QStringLiteral("The archive tool stopped before it had unpacked the archive.");
    } else if (m_unpackProcess->exitCode() != 0) {
        failure = judgePartialUnpack();
    }
    QFile::remove(m_outputFile->fileName());

    if (failure.isEmpty()) {
        m_lastError.clear();
        emit downloadfinished();
    } else {
        fail(failure);
    }
    rearm();
}
