#include "feed/mydownloader.h"

#include "app/config.h"
#include "app/downloadprogress.h"
#include "app/qtcompat.h"
#include "platform/externaltools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr char PostContentType[] = "application/x-www-form-urlencoded";
constexpr char ArchiveSuffix[] = "zip";
constexpr int UnpackTimeLimitMs = 30000;
constexpr int ProgressIntervalMs = 100;

// A trader behind a company proxy reaches the vendor as his browser does: every network access
// of the program, the updater's too, goes by the system's proxy settings (on Linux http_proxy,
// https_proxy and no_proxy; loopback addresses never go through a proxy).
void useSystemProxies()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}
Q_COREAPP_STARTUP_FUNCTION(useSystemProxies)

// The proxy a request to url goes through; a NoProxy one when it goes direct.
QNetworkProxy proxyFor(const QUrl &url)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

// Through a plain-HTTP proxy the feed's socket goes to the proxy alone, so a connection that
// fails is one to the proxy.
bool cannotReachProxy(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

// All a finished reply holds, read into buffer so that its room serves tick after tick.
void readReply(QNetworkReply *reply, QByteArray &buffer)
{
    const qint64 available = reply->bytesAvailable();
    if (available <= 0 || available >= std::numeric_limits<int>::max() - 64) {
        buffer = reply->readAll();
        return;
    }
    buffer.resize(int(available));
    const qint64 got = reply->read(buffer.data(), available);
    buffer.resize(int(std::max<qint64>(got, 0)));
    // Nothing should be left; whatever is, is taken as readAll() would.
    if (!reply->atEnd())
        buffer += reply->readAll();
}

}

MyDownloader::MyDownloader(QString fileName, QString url, QString destinationExtr, int method)
    : destinationExtr(std::move(destinationExtr))
    , method(method)
{
    m_unpack = new ArchiveUnpack(UnpackTimeLimitMs, this);
    connect(m_unpack, &ArchiveUnpack::finished, this, &MyDownloader::unpackFinished);
    m_outputFile = std::make_unique<QFile>(Config::instance().nativePath(fileName));
    pollTimer = new QTimer(this);
    watchdogTimer = new QTimer(this);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setSingleShot(true);
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &MyDownloader::reportProgress);
    this->url.setUrl(url, QUrl::TolerantMode);
    prepareRequest();
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

MyDownloader::~MyDownloader()
{
    // An unpack in progress is abandoned without an announcement.
    m_unpack->cancel();
}

QString MyDownloader::progressText(qint64 bytesReceived, qint64 bytesTotal)
{
    return DownloadProgress::percentText(bytesReceived, bytesTotal);
}

QString MyDownloader::speedText(qint64 bytesReceived, qint64 elapsedMs)
{
    return DownloadProgress::speedText(bytesReceived, elapsedMs);
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

    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        QtCompat::keepQt5RedirectPolicy(m_manager);
    }
    reply = method == 1 ? m_manager->post(*m_request, m_postBody) : m_manager->get(*m_request);
    connect(reply, &QNetworkReply::downloadProgress, this, &MyDownloader::downloadProgress,
            Qt::UniqueConnection);
    connect(reply, &QNetworkReply::finished, this, &MyDownloader::downloadCompleted,
            Qt::UniqueConnection);
    requestClock.restart();

    watchdogTimer->start();
    connect(watchdogTimer, &QTimer::timeout, this, &MyDownloader::abort, Qt::UniqueConnection);
}

void MyDownloader::settle()
{
    disconnect(watchdogTimer, &QTimer::timeout, this, &MyDownloader::abort);
    watchdogTimer->stop();
    reportProgress();
}

void MyDownloader::downloadCompleted()
{
    settle();

    // The reply that finished, even if a caller has sent another one meanwhile.
    QNetworkReply *finished = qobject_cast<QNetworkReply *>(sender());
    if (!finished)
        finished = reply;

    if (finished) {
        QString cause;
        const QString failure = failureOf(finished, &cause);
        if (!failure.isEmpty()) {
            fail(failure, cause);
        } else {
            readReply(finished, m_incoming);
            if (!storeIncoming()) {
                finished->deleteLater();
                return;
            }
        }
        finished->deleteLater();
    }

    rearm();
}

QString MyDownloader::failureOf(QNetworkReply *finished, QString *cause) const
{
    // Not followed, as Qt 5 never did; the vendor's answer is elsewhere, so this one is not it.
    const QUrl target = finished->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (finished->error() == QNetworkReply::NoError && !target.isEmpty()) {
        *cause = QStringLiteral("the vendor redirects");
        return QStringLiteral("The vendor answered with a redirect (%1 %2) to %3, which the feed does not follow.")
            .arg(finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt())
            .arg(finished->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                 finished->url().resolved(target).toString(QUrl::RemovePassword));
    }
    if (finished->error() == QNetworkReply::NoError)
        return QString();

    const QString text = finished->errorString();
    // Only asked once a request has failed: a lookup may read the system's settings.
    const QNetworkProxy proxy = finished->error() == QNetworkReply::OperationCanceledError
        ? QNetworkProxy(QNetworkProxy::NoProxy)
        : proxyFor(finished->url());
    if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        return text;
    // A proxy marks what it passes on with Via: an HTTP error without one is the proxy's own.
    const int status = finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool proxysOwn = status >= 400 && !finished->hasRawHeader("Via");
    if (finished->error() == QNetworkReply::ProxyAuthenticationRequiredError
        || (proxysOwn && (status == 401 || status == 407)))
        *cause = QStringLiteral("the proxy asks for a password");
    else if (proxysOwn)
        *cause = QStringLiteral("the proxy refuses");
    else if (cannotReachProxy(finished->error()))
        *cause = QStringLiteral("no connection to the proxy");
    return QStringLiteral("%1 (through the proxy %2:%3)").arg(text, proxy.hostName()).arg(proxy.port());
}

bool MyDownloader::storeIncoming()
{
    // A reply that cannot be stored must not be announced: the importer would take the previous
    // file for new data.
    if (!storeReply(m_incoming)) {
        fail(QStringLiteral("The reply could not be written to %1: %2")
                 .arg(QDir::toNativeSeparators(m_outputFile->fileName()), m_storeError));
        return true;
    }
    // Swapped, never copied over: views into the last reply stay good until the next is read.
    std::swap(replyBuffer, m_incoming);
    if (startUnpack())
        return false;
    m_lastError.clear();
    m_failureCause.clear();
    emit downloadfinished();
    return true;
}

void MyDownloader::fail(const QString &reason, const QString &cause)
{
    m_lastError = reason;
    m_failureCause = cause;
    emit responseError();
}

void MyDownloader::rearm()
{
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

void MyDownloader::abort()
{
    // Aborting finishes the reply at once, so its completion runs inside this call.
    if (reply)
        reply->abort();
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

void MyDownloader::cancelRequestInFlight()
{
    if (requestInFlight())
        abort();
    if (m_unpacking) {
        // The archive of a request given up on is not announced.
        m_unpacking = false;
        m_unpack->cancel();
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
    m_progressHeld = true;
    m_heldReceived = bytesReceived;
    m_heldTotal = bytesTotal;
    m_heldElapsedMs = requestClock.elapsed();
    if (!m_progressTimer->isActive())
        m_progressTimer->start();
}

void MyDownloader::reportProgress()
{
    m_progressTimer->stop();
    if (!m_progressHeld)
        return;
    m_progressHeld = false;
    const QString progress = progressText(m_heldReceived, m_heldTotal);
    const QString speed = speedText(m_heldReceived, m_heldElapsedMs);
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

bool MyDownloader::requestInFlight() const
{
    return reply && reply->isRunning();
}

bool MyDownloader::startUnpack()
{
    const QString archive = m_outputFile->fileName();
    if (archive.split(QLatin1Char('.')).last().toLower() != QLatin1String(ArchiveSuffix))
        return false;

    m_unpacking = true;
    m_partialFailure.clear();
    m_unpack->start(archive, destinationExtr);
    return true;
}

// A tool that gives up on some members (exit 1 or 2) may have unpacked the others: those are kept
// and the broken ones named. Empty when something usable came out.
QString MyDownloader::judgePartialUnpack(const ArchiveUnpack::Result &result)
{
    if (!result.extracted)
        return QStringLiteral("The archive could not be unpacked (archive tool exit code %1).").arg(result.exitCode);
    QStringList named;
    for (const ArchiveUnpack::FailedMember &member : result.failedMembers)
        named << QStringLiteral("%1 (%2)").arg(member.name, member.reason);
    m_partialFailure = QStringLiteral("Not unpacked: %1")
                           .arg(named.isEmpty() ? QStringLiteral("some members (archive tool exit code %1)")
                                                      .arg(result.exitCode)
                                                : named.join(QStringLiteral(", ")));
    return QString();
}

void MyDownloader::unpackFinished(const ArchiveUnpack::Result &result)
{
    if (!m_unpacking)
        return;
    m_unpacking = false;

    QString failure;
    switch (result.outcome) {
    case ArchiveUnpack::Outcome::TimedOut:
        failure = QStringLiteral("The archive tool did not finish within %1 s and was stopped.")
                      .arg(UnpackTimeLimitMs / 1000);
        break;
    case ArchiveUnpack::Outcome::NotStarted:
        failure = QStringLiteral("The archive tool %1 could not be started.").arg(Platform::archiveTool());
        break;
    case ArchiveUnpack::Outcome::Crashed:
        failure = QStringLiteral("The archive tool stopped before it had unpacked the archive.");
        break;
    case ArchiveUnpack::Outcome::Ended:
        if (result.exitCode != 0)
            failure = judgePartialUnpack(result);
        break;
    }
    QFile::remove(m_outputFile->fileName());

    if (failure.isEmpty()) {
        m_lastError.clear();
        m_failureCause.clear();
        emit downloadfinished();
    } else {
        fail(failure);
    }
    rearm();
}
