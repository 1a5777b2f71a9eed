#pragma once

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QUrl>

#include <memory>

class ArchiveUnpack;
class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QProcess;
class QTimer;

namespace Ui {
class updator;
}

// Downloads the published update archive with a progress dialog, unpacks it into the working
// directory and hands over to the update batch file. Every outcome ends the process.
class updator final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(updator)

public:
    // Shows itself at once, non-modal.
    explicit updator(QWidget *parent = nullptr);
    ~updator() override;

    [[nodiscard]] QString archiveName() const { return m_archiveName; }
    // How long the download may receive nothing before it counts as failed.
    void setStallTimeout(int milliseconds);

public slots:
    void startDownload(QString url);
    void requestData();
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void downloadCompleted();

private:
    // Writes, unpacks and runs the batch file; returns the trader's reason when a step failed.
    [[nodiscard]] QString install();
    [[nodiscard]] QString writeArchive();
    [[nodiscard]] QString removeLeftOverBatchFile();
    // Succeeds when the archive tool ended by itself and the batch file is there.
    [[nodiscard]] QString unpackArchive();

    QNetworkAccessManager *m_manager = nullptr;
    QByteArray m_replyBuffer;
    QUrl m_url;
    QNetworkReply *m_reply = nullptr;
    QElapsedTimer m_requestClock;
    std::unique_ptr<QFile> m_archiveFile;
    ArchiveUnpack *m_unpack = nullptr;
    QProcess *m_batchProcess = nullptr;
    QString m_archiveName;
    QTimer *m_stallTimer = nullptr;

    Ui::updator *ui;
};
