#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>

class ConnectionMonitor;
class QSqlDatabase;
class QSqlQuery;
class QTimer;
class amibrokerlivedata2;
class registrationDialog;
class startupAnimation;
class updator;

// Turns a started process into a running feed: splash, workspace, main window, account check,
// hand-over; then owns the connection probe and the daily restart. Invisible itself.
class authDialog : public QDialog
{
    Q_OBJECT

public:
    explicit authDialog(QWidget *parent = nullptr);
    ~authDialog() override;

    // The start routine, called by the process entry before the event loop runs.
    void start();

    QString userId;
    QSqlDatabase *database = nullptr;
    QSqlQuery *query = nullptr;
    amibrokerlivedata2 *mainWindow = nullptr;
    startupAnimation *splash = nullptr;
    QTimer *restartTimer = nullptr;
    ConnectionMonitor *connectionMonitor = nullptr;
    QStringList dayList;
    QStringList firstRunSymbols;
    QStringList firstRunExchanges;
    QString feeds;
    QString broadcastMessage;
    QString oneDayBackfillBase;
    // Shown while the vendor has no account for userId.
    QPointer<registrationDialog> registration;
    QPointer<updator> updateDialog;

public slots:
    void checkIfAlreadyExists();
    void backfillAtStartup(int days);
    void restart();

private:
    void askForRegistration();
    void quitWithoutAccount();
};
