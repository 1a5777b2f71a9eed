#pragma once

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QUrl>

class ArchiveUnpack;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace Ui {
class updator;
}

// Downloads the published update archive with a progress dialog, checks and unpacks it in a
// staging folder beside the program folder (the working directory), moves its files into the
// program folder and hands over to the update batch file. Every outcome ends the process.
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
    struct Failure
    {
        QString reason;
        // A short, broken or unreadable archive: the trader retries the download, as after a
        // network error.
        bool archiveAtFault = false;
    };

    // Checks, unpacks and installs the downloaded archive, then starts the batch file.
    [[nodiscard]] Failure install();
    [[nodiscard]] Failure checkDownload(const QByteArray &archive) const;
    [[nodiscard]] QString prepareStaging() const;
    [[nodiscard]] QString writeArchive(const QByteArray &archive) const;
    [[nodiscard]] Failure testArchive();
    [[nodiscard]] QString unpackArchive();
    [[nodiscard]] QString startBatchFile();
    void releaseRunningFiles() const;
    // False when something in it could not be removed (a file this process still holds).
    bool removeStaging() const;

    // "<parent>/<program folder name>.update": on the program folder's volume, so that moving the
    // update's files in, and what they replace aside, are renames.
    [[nodiscard]] static QString stagingFolder(const QString &programFolder);

    [[nodiscard]] QString archivePath() const;
    [[nodiscard]] QString unpackedFolder() const;

    QNetworkAccessManager *m_manager = nullptr;
    QUrl m_url;
    QNetworkReply *m_reply = nullptr;
    QElapsedTimer m_requestClock;
    ArchiveUnpack *m_unpack = nullptr;
    QString m_archiveName;
    QString m_programFolder;
    QString m_staging;
    QTimer *m_stallTimer = nullptr;

    Ui::updator *ui;
};
