#pragma once

#include "platform/automationobject.h"
#include "vendor/account.h"
#include "vendor/feedconsole.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include <memory>

class ConnectionMonitor;
class FeedSession;
class QTimer;
class VendorConnection;
struct FeedEngine;
class registrationDialog;
class startupAnimation;
class updator;

// Turns a started process into a running feed: splash, workspace, the feed engine, the main window
// over it, account check, hand-over; then owns the connection probe and the daily restart.
// Invisible itself.
class authDialog : public QDialog
{
    Q_OBJECT

public:
    // The window is built by createConsole over the engine at its step of the start routine.
    authDialog(Platform::AutomationFactory automation, FeedConsoleFactory createConsole, QWidget *parent = nullptr);
    ~authDialog() override;

    // The start routine, called by the process entry before the event loop runs.
    void start();

    [[nodiscard]] QString userId() const { return m_userId; }
    // A machine may give no ID at all; such an ID has no account of its own.
    void setUserId(const QString &userId) { m_userId = userId; }
    [[nodiscard]] startupAnimation *splash() const { return m_splash; }
    [[nodiscard]] FeedConsole *mainWindow() const { return m_mainWindow; }
    [[nodiscard]] FeedSession *session() const;
    // An engine and window built and owned elsewhere, instead of the ones start() builds.
    void attach(FeedEngine &engine, FeedConsole *console);
    [[nodiscard]] const Account &account() const { return m_account; }
    [[nodiscard]] QString oneDayBackfillBase() const { return m_oneDayBackfillBase; }
    [[nodiscard]] QTimer *restartTimer() const { return m_restartTimer; }
    [[nodiscard]] ConnectionMonitor *connectionMonitor() const { return m_connectionMonitor; }
    [[nodiscard]] registrationDialog *registration() const;
    [[nodiscard]] updator *updateDialog() const;

public slots:
    void checkIfAlreadyExists();
    void backfillAtStartup(int days);
    void restart();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askForRegistration();
    void endAfterEarlyClose();
    void quitWithoutAccount();
    [[nodiscard]] VendorConnection *connection() const;

    Platform::AutomationFactory m_automation;
    FeedConsoleFactory m_createConsole;
    QString m_userId;
    // The window goes before the engine it shows.
    std::unique_ptr<FeedEngine> m_ownedEngine;
    std::unique_ptr<FeedConsole> m_ownedWindow;
    FeedEngine *m_engine = nullptr;
    FeedConsole *m_mainWindow = nullptr;
    // The shown window the close filter sits on.
    QPointer<QWidget> m_watchedWindow;
    startupAnimation *m_splash = nullptr;
    QTimer *m_restartTimer = nullptr;
    ConnectionMonitor *m_connectionMonitor = nullptr;
    Account m_account;
    QString m_oneDayBackfillBase;
    // The trader closed the window; nothing may start after that.
    bool m_windowClosed = false;
    // Shown while the vendor has no account for the user ID.
    QPointer<registrationDialog> m_registration;
    QPointer<updator> m_updateDialog;
};
