#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

class AmiBroker;
class QFile;
class QSqlQuery;

// The bridge into AmiBroker: holds the selection, the backfill queue, the automation object and
// the vendor database handles, and turns each live reply into an import. Lives on the GUI thread;
// its thread body only posts the end-of-day import back to it.
class liveDataUpdator : public QThread
{
    Q_OBJECT

public:
    liveDataUpdator();
    ~liveDataUpdator() override;

    QStringList symbols;
    QStringList exchanges;
    std::unique_ptr<QFile> importFileWriter;
    std::unique_ptr<QFile> quoteFileReader;
    QString importFilePath;      // <root>\rtimport.txt
    QString liveFormatFilePath;  // <root>\dataFormatRT.dll
    QString eodFormatFilePath;   // <root>\dataFormatEod.dll
    QString backfillFolderPath;  // <root>/Backfill
    std::unique_ptr<AmiBroker> amibroker;
    QStringList backfillQueue;
    QSqlDatabase database;       // connection "MYSQLConn", declared here, opened by the main window
    QSqlQuery *query = nullptr;  // the shared forward-only query
    int runMode = 0;
    bool watchListOnly = true;

signals:
    void updateDisplayTable();
    void backfillDone();
    void doAutoBackfill();
    void doeodbackfill();
    void eodBackfillDone();

public slots:
    void doEodBackfill();
    void updateDataAmi();
    void doBackFill();
    void run(int type);

protected:
    void run() override;
};
