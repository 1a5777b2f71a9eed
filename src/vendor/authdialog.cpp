#include "vendor/authdialog.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/eventlog.h"
#include "app/seams.h"
#include "app/settingsstore.h"
#include "app/startupanimation.h"
#include "app/windowstart.h"
#include "feed/feedsession.h"
#include "update/updator.h"
#include "vendor/connectionmonitor.h"
#include "vendor/feedengine.h"
#include "vendor/registrationdialog.h"
#include "vendor/vendorconnection.h"
#include "vendor/vendordatabase.h"
#include "vendor/vendorservice.h"
#include "vendor/versionrule.h"
#include "workspace/provisioning.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <memory>

namespace {


const QStringList DayChoices = {QStringLiteral("1"),  QStringLiteral("3"),   QStringLiteral("5"),
                                QStringLiteral("10"), QStringLiteral("20"),  QStringLiteral("30"),
                                QStringLiteral("60"), QStringLiteral("90"),  QStringLiteral("120"),
                                QStringLiteral("180")};

}

authDialog::authDialog(Platform::AutomationFactory automation, FeedConsoleFactory createConsole, QWidget *parent)
    : QDialog(parent)
    , m_automation(std::move(automation))
    , m_createConsole(std::move(createConsole))
    , m_userId(Config::instance().userId())
{
}

authDialog::~authDialog()
{
    // Each cycle of the process entry starts from fresh windows. The window's own end hides it,
    // and that must not reach a filter whose owner is half gone.
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    delete m_registration;
    delete m_updateDialog;
    m_ownedWindow.reset();
    m_ownedEngine.reset();
    delete m_splash;
}

registrationDialog *authDialog::registration() const
{
    return m_registration;
}

updator *authDialog::updateDialog() const
{
    return m_updateDialog;
}

VendorConnection *authDialog::connection() const
{
    return m_engine ? m_engine->connection.get() : nullptr;
}

FeedSession *authDialog::session() const
{
    return m_engine ? m_engine->session.get() : nullptr;
}

void authDialog::attach(FeedEngine &engine, FeedConsole *console)
{
    m_engine = &engine;
    m_mainWindow = console;
}

void authDialog::start()
{
    m_splash = new startupAnimation;
    m_splash->showAnimation();

    const QStringList workspaceProblems = Workspace::provision();

    m_ownedEngine = std::make_unique<FeedEngine>();
    m_engine = m_ownedEngine.get();
    // Past a failure the process is ending: nothing more is built.
    if (!m_engine->assemble(m_automation)) {
        m_splash->hideSplash();
        return;
    }
    m_ownedWindow = m_createConsole(*m_engine->session);
    m_mainWindow = m_ownedWindow.get();
    if (!workspaceProblems.isEmpty())
        m_mainWindow->showWorkspaceProblem(workspaceProblems.join(QLatin1Char(' ')));

    m_restartTimer = new QTimer(this);
    connect(m_restartTimer, &QTimer::timeout, this, &authDialog::restart);
    m_restartTimer->start(Config::instance().restartIntervalMs());

    checkIfAlreadyExists();

    m_splash->hideSplash();
}

void authDialog::checkIfAlreadyExists()
{
    Account account;
    // An empty user ID would match every account: it has none of its own.
    if (!m_userId.isEmpty()) {
        VendorConnection *vendor = connection();
        if (!vendor || !vendor->lookupAccount(m_userId, &account)) {
            EventLog::error(QStringLiteral("vendor"), QStringLiteral("the account lookup failed"));
            Seams::information(nullptr, QStringLiteral("Cannot Verify User"),
                               QStringLiteral("Please Check Network Connection"));
            Seams::exitProcess(0);
            return;
        }
    }

    EventLog::info(QStringLiteral("vendor"), account.found
                                                 ? QStringLiteral("account found for user ID %1").arg(m_userId)
                                                 : QStringLiteral("no account for user ID %1").arg(m_userId));
    if (Vendor::updateOffered(QCoreApplication::applicationVersion(), account.latestVersion)) {
        if (m_registration)
            m_registration->hide();
        Seams::information(nullptr, QStringLiteral("New Update"),
                           QStringLiteral("A Latest Update is Available\n Application Will Restart after Update."));
        m_updateDialog = new updator(nullptr);
        m_updateDialog->startDownload(account.latestVersionPath);
        return;
    }

    if (!account.found) {
        askForRegistration();
        return;
    }

    if (m_registration) {
        m_registration->hide();
        m_registration->deleteLater();
    }

    session()->takeAccount(account);

    if (!connection()->readAccountDetails(m_userId, &account)) {
        Seams::information(nullptr, QStringLiteral("Check Connection"),
                           QStringLiteral("The account details could not be read.\n"
                                          "Please Check Network Connection"));
        Seams::exitProcess(0);
        return;
    }
    m_account = account;

    hide();

    const bool disableAutoBackfill = Store::read(Store::DisableAutoBackfill5);

    if (!m_connectionMonitor) {
        m_connectionMonitor = new ConnectionMonitor(this);
        FeedConsole *console = m_mainWindow;
        connect(m_connectionMonitor, &ConnectionMonitor::statusChanged, this,
                [console](const QString &text) { console->showStatusMessage(text); });
    }
    m_connectionMonitor->start();
    m_watchedWindow = m_mainWindow->widget();
    m_watchedWindow->installEventFilter(this);
    WindowStart::show(m_watchedWindow, WindowStart::forThisCycle(QCoreApplication::arguments()));
    m_mainWindow->showAccount(m_userId, DayChoices, account.message);
    session()->setUserId(m_userId);
    session()->restoreChoices(account.feeds);
    // The feed's start may dispatch the trader's close (a COM call's message loop on Windows).
    if (m_windowClosed) {
        endAfterEarlyClose();
        return;
    }
    m_mainWindow->showRestoredChoices();
    if (m_windowClosed) {
        endAfterEarlyClose();
        return;
    }
    backfillAtStartup(disableAutoBackfill ? 1 : 5);
}

bool authDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The window accepts every close; its own close sequence runs after this. Compared by address
    // only: a window being destroyed still sends events, and its console part is gone by then.
    if (watched && watched == m_watchedWindow.data() && event->type() == QEvent::Close) {
        m_windowClosed = true;
        if (m_restartTimer)
            m_restartTimer->stop();
    }
    return QDialog::eventFilter(watched, event);
}

void authDialog::endAfterEarlyClose()
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("window closed during the start-up: no start-up backfill"));
    // Qt quits on the last window's close only inside exec(), and an exit() before it is lost:
    // posted, the exit ends the loop that is about to run.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

void authDialog::backfillAtStartup(int days)
{
    // Without the server settings there is no backfill location: no base and no backfill.
    QString serverDate;
    QString oneDayPath;
    VendorConnection *vendor = connection();
    if (!vendor || !vendor->serverSettings(&serverDate, &oneDayPath))
        return;

    m_oneDayBackfillBase = Vendor::oneDayBackfillBase(Config::instance().backfillServer(), serverDate, oneDayPath);
    session()->setOneDayBackfillBase(m_oneDayBackfillBase);
    if (days == 5)
        session()->fiveDayBackfill();
}

void authDialog::askForRegistration()
{
    if (m_registration) {
        m_registration->showStillMissing();
        return;
    }
    // The first-run values once; a retry only says that the account is still missing.
    Store::writeFirstRunValues();

    m_registration = new registrationDialog(m_userId);
    connect(m_registration, &registrationDialog::retryRequested, this, &authDialog::checkIfAlreadyExists);
    connect(m_registration, &registrationDialog::quitRequested, this, &authDialog::quitWithoutAccount);
    m_registration->show();
}

void authDialog::quitWithoutAccount()
{
    QCoreApplication::exit(0);
}

void authDialog::restart()
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("daily restart"));
    // The daily restart skips the close sequence, but not the trader's choices of the day.
    if (FeedSession *feed = session()) {
        feed->prepareRestart();
        feed->storeChoices();
    }
    if (m_watchedWindow)
        WindowStart::carryOver(WindowStart::of(m_watchedWindow));
    close();
    QCoreApplication::exit(RestartExitCode);
}
