#include "feed/mydownloader.h"

#include "app/config.h"
#include "platform/externaltools.h"

#include <QFile>
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
    m_outputFile = std::make_unique<QFile>(Config::instance().nativePath(fileName));
    pollTimer = new QTimer(this);
    watchdogTimer = new QTimer(this);
    manager = new QNetworkAccessManager(this);
    this->url.setUrl(url, QUrl::TolerantMode);
    connect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData, Qt::UniqueConnection);
}

MyDownloader::~MyDownloader() = default;

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
    return m_outputFile->fileName();
}

void MyDownloader::initialize(QString fileName, QString url, QString destinationExtr, int method)
{
    m_outputFile->setFileName(Config::instance().nativePath(fileName));
    this->url.setUrl(url, QUrl::TolerantMode);
    this->destinationExtr = std::move(destinationExtr);
    this->method = method;
}

void MyDownloader::requestData()
{
    // Detached until this request has been handled: a tick meanwhile sends nothing.
    disconnect(pollTimer, &QTimer::timeout, this, &MyDownloader::requestData);

    const QString text = url.toString();
    const QStringList pieces = text.split(QLatin1Char('?'));
    if (method == 1) {
        QNetworkRequest request{QUrl(pieces.first())};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(PostContentType));
        reply = manager->post(request, pieces.last().toUtf8());
    } else {
        reply = manager->get(QNetworkRequest(url));
    }
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
            emit responseError();
        } else {
            const QByteArray body = finished->readAll();
            // A reply that cannot be stored must not be announced: the importer would take the
            // previous file for new data.
            if (storeReply(body)) {
                replyBuffer = body;
                unpackArchive();
                emit downloadfinished();
            } else {
                emit responseError();
            }
        }
        finished->deleteLater();
    }

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
    if (!m_outputFile->open(QIODevice::ReadWrite))
        return false;
    // flush() makes a full disk show up here rather than be lost in close().
    const bool stored = m_outputFile->write(body) == body.size() && m_outputFile->flush()
        && m_outputFile->resize(body.size());
    m_outputFile->close();
    return stored;
}

void MyDownloader::unpackArchive()
{
    const QString archive = m_outputFile->fileName();
    if (archive.split(QLatin1Char('.')).last().toLower()
        != QLatin1String(ArchiveSuffix))
        return;

    m_unpackProcess->start(Platform::archiveTool(),
                           {QStringLiteral("x"), archive, QStringLiteral("-o") + destinationExtr,
                            QStringLiteral("-y")});
    if (!m_unpackProcess->waitForFinished(UnpackTimeLimitMs)
        && m_unpackProcess->state() != QProcess::NotRunning) {
        // A hung tool would keep the process object busy and refuse every later archive.
        m_unpackProcess->kill();
        m_unpackProcess->waitForFinished();
    }
    QFile::remove(archive);
}
