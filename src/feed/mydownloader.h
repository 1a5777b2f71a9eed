#pragma once

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include "app/archivetool.h"
#include "backfill/transfer.h"

#include <QObject>
#include <QUrl>

#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QTimer;

// Fetches one URL over and over on its poll timer, one request in flight at most, writing each
// reply under the install folder. The poll timer is attached from construction; a request
// detaches it until the request has been handled. Requests go through Qt's network access, which
// runs the sockets in its own thread; everything here runs in the caller's.
class MyDownloader : public QObject, public Transfer
{
    Q_OBJECT

public:
    MyDownloader(QString fileName, QString url, QString destinationExtr, int method);
    ~MyDownloader() override;

    // Texts of the progress signals; public so that rules can be checked without a download.
    [[nodiscard]] static QString progressText(qint64 bytesReceived, qint64 bytesTotal);
    // An elapsed time under 1 ms counts as 1 ms, so the text stays finite.
    [[nodiscard]] static QString speedText(qint64 bytesReceived, qint64 elapsedMs);

    // The last reply stored. It is never written into: a new reply is read into a buffer of its
    // own and swapped in here, inside the completion that announces it. The live reply pass's
    // quote snapshot shares these bytes (a QByteArray copy) rather than viewing them, so it stays
    // valid however long it is kept; raw views into lastReply() hold only until the next reply.
    QByteArray replyBuffer;
    // Set through initialize() or aim(): each request is prepared once, not at every tick.
    QUrl url;
    // Guarded: the reply is released with deleteLater, so a late abort() finds null, not a dangling pointer.
    QPointer<QNetworkReply> reply;
    QTimer *pollTimer = nullptr;
    QTimer *watchdogTimer = nullptr;
    QString destinationExtr;
    QElapsedTimer requestClock;
    int method = 0;

    [[nodiscard]] QString outputFilePath() const;
    // Why the last request failed, as the trader may read it.
    [[nodiscard]] QString lastError() const override { return m_lastError; }
    // A few words for the feed's indicator when the last failure has a cause the trader can act
    // on (the vendor redirects, the proxy refuses or wants a password); empty otherwise.
    [[nodiscard]] QString lastFailureCause() const { return m_failureCause; }
    [[nodiscard]] QString partialFailure() const override { return m_partialFailure; }

    // Transfer
    void fetch(const QString &fileName, const QString &url, int pollMs, int watchdogMs) override;
    void aim(const QString &url, int method) override;
    // Unchanged until the next reply is stored (see replyBuffer).
    [[nodiscard]] const QByteArray &lastReply() const override { return replyBuffer; }
    void stopPolling() override;
    void resumePolling(int pollMs) override;
    // True while an archive of the last reply is being unpacked; no request leaves meanwhile.
    [[nodiscard]] bool isUnpacking() const;
    [[nodiscard]] bool requestInFlight() const;

    // Ends a request still in flight as failed, so that its late reply cannot be written
    // and announced as the answer to the next request.
    void cancelRequestInFlight();

signals:
    void updateProgress(QString progress, QString speed);
    void updateProgress2(QString progress, QString speed);
    void downloadfinished();
    void responseError();

public slots:
    void initialize(QString fileName, QString url, QString destinationExtr, int method = 0);
    void requestData();
    void downloadCompleted();
    void abort();
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    // The watchdog stopped and the transfer's last progress shown, before a reply is handled.
    void settle();
    // Stores and announces the reply read into m_incoming; false while its archive is unpacked
    // (announced, and the poll re-armed, once the tool is done).
    bool storeIncoming();
    // Writes the reply to the output file; false when it could not be stored in full.
    [[nodiscard]] bool storeReply(const QByteArray &body);
    // Starts the archive tool when the output file is a zip; false when there is nothing to unpack.
    bool startUnpack();
    void unpackFinished(const ArchiveUnpack::Result &result);
    [[nodiscard]] QString judgePartialUnpack(const ArchiveUnpack::Result &result);
    void fail(const QString &reason, const QString &cause = QString());
    // Why a finished reply is not the answer, and the indicator's words for it; empty when it is.
    [[nodiscard]] QString failureOf(QNetworkReply *finished, QString *cause) const;
    void rearm();
    void prepareRequest();
    // Shows the progress held back, if any.
    void reportProgress();

    // A reply's chunks come milliseconds apart and each report repaints the window: reports are
    // held for at most ProgressIntervalMs, and the latest one is shown.
    QTimer *m_progressTimer = nullptr;
    bool m_progressHeld = false;
    qint64 m_heldReceived = 0;
    qint64 m_heldTotal = 0;
    qint64 m_heldElapsedMs = 0;
    // The reply being read, kept apart from the last stored one; both keep their room between ticks.
    QByteArray m_incoming;
    std::unique_ptr<QFile> m_outputFile;
    std::unique_ptr<QNetworkRequest> m_request;
    QByteArray m_postBody;
    // Made with the first request.
    QNetworkAccessManager *m_manager = nullptr;
    ArchiveUnpack *m_unpack = nullptr;
    bool m_unpacking = false;
    QString m_lastError;
    QString m_failureCause;
    QString m_storeError;
    QString m_partialFailure;
};
