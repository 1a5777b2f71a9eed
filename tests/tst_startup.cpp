// The start-up controller end to end against the local vendor: account check, hand-over to the
// main window, first run, update offer and the failures that end the process.
#include "app/settingsstore.h"
#include "support/mainform.h"
#include "app/startupanimation.h"
#include "app/windowstart.h"
#include "feed/amibrokerlivedata2.h"
#include "support/localvendor.h"
#include "support/storedsettings.h"
#include "support/testenvironment.h"
#include "update/updator.h"
#include "vendor/authdialog.h"
#include "vendor/vendordatabase.h"
#include "support/controller.h"
#include "vendor/connectionmonitor.h"
#include "vendor/registrationdialog.h"
#include "vendor/versionrule.h"

#include <QtTest>

#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSystemTrayIcon>
#include <QMenu>

#include <algorithm>
#include <memory>

namespace {

const QString UserId = QStringLiteral("START-USER-7");
const QString SecureKey = QStringLiteral("start-key-31");

VendorSim::SeedOptions account(bool withAccount = true)
{
    VendorSim::SeedOptions options;
    options.userId = UserId;
    options.secureKey = SecureKey;
    options.feeds = QStringLiteral("CASH,FUTURE,COMM");
    options.message = QStringLiteral("Holiday on Friday.");
    options.withAccount = withAccount;
    return options;
}

QVariant stored(const QString &key)
{
    return StoredSettings().value(key);
}

void storeSelection(const QStringList &symbols, const QStringList &exchanges)
{
    Store::Batch store;
    store.write(Store::SelectedSymbols, symbols);
    store.write(Store::SelectedExchanges, exchanges);
}

// Runs an SQL statement on a connection of its own, before the controller opens the database.
bool execOnVendor(const QString &file, const QString &sql)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(file);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    return ok;
}

int backfillRequests(const VendorSim::Server &server, const QString &days)
{
    int count = 0;
    for (const VendorSim::Request &request : server.requests()) {
        if (request.endpoint == QLatin1String("backfill") && request.query.contains(QStringLiteral("d=") + days))
            ++count;
    }
    return count;
}

// What the window showed of the account when it appeared.
class ShowWatcher : public QObject
{
public:
    bool shown = false;
    QString idAtShow;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<amibrokerlivedata2 *>(watched);
        if (window && event->type() == QEvent::Show && !shown) {
            shown = true;
            idAtShow = MainForm(*window).machineIDLabel->text();
        }
        return false;
    }
};

// The real window, closed by the trader while the feed starts: on Windows a COM call's message
// loop inside the start dispatches the close.
class ClosedDuringStartUp final : public FeedConsole
{
public:
    explicit ClosedDuringStartUp(FeedSession &session)
        : window(session)
    {
        QObject::connect(&session, &FeedSession::liveStarted, &window, &QWidget::close);
    }
    amibrokerlivedata2 window;
    int restoredShown = 0;

    QWidget *widget() override { return &window; }
    void showAccount(const QString &userId, const QStringList &days, const QString &message) override
    {
        window.showAccount(userId, days, message);
    }
    void showRestoredChoices() override { ++restoredShown; }
    void showStatusMessage(const QString &message) override { window.showStatusMessage(message); }
    void showWorkspaceProblem(const QString &problem) override { window.showWorkspaceProblem(problem); }
};

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

}

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void updateOffered_data();
    void updateOffered();
    void accountHandsOverInOrder_data();
    void accountHandsOverInOrder();
    void noAccountAsksForRegistration_data();
    void noAccountAsksForRegistration();
    void registrationRetryFindsNewAccount();
    void registrationQuitEndsTheLoop();
    void stopsBeforeTheWindow_data();
    void stopsBeforeTheWindow();
    void copyIdAndContactSupport();
    void closeDuringStartUpEndsTheProcess();
    void windowLookAcrossRestart_data();
    void windowLookAcrossRestart();

private:
    std::unique_ptr<authDialog> startController();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalVendor> m_vendor;
    std::unique_ptr<authDialog> m_controller;
};

void TestStartup::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationVersion(QStringLiteral("4.02"));
    // Qt reads XDG_CONFIG_HOME once per process, so one private store serves every test.
    m_env = std::make_unique<TestEnvironment>(UserId);
    m_env->layInstallFiles();
}

void TestStartup::init()
{
    StoredSettings().clear();
    m_env->boxes.clear();
    m_env->exits.clear();
    m_env->clearJournal();
    m_vendor = std::make_unique<LocalVendor>();
    QVERIFY2(m_vendor->start(m_env->root(), account()), qPrintable(m_vendor->error));
}

void TestStartup::cleanup()
{
    m_controller.reset();
    m_vendor.reset();
}

std::unique_ptr<authDialog> TestStartup::startController()
{
    auto controller = newController();
    controller->start();
    return controller;
}

void TestStartup::updateOffered_data()
{
    QTest::addColumn<QString>("latest");
    QTest::addColumn<bool>("offered");
    QTest::newRow("4.10 sorts after 4.02") << QStringLiteral("4.10") << true;
    QTest::newRow("4.1 sorts after 4.02") << QStringLiteral("4.1") << true;
    QTest::newRow("10.00 sorts before 4.02 as text") << QStringLiteral("10.00") << false;
    QTest::newRow("same version") << QStringLiteral("4.02") << false;
    QTest::newRow("older version") << QStringLiteral("4.01") << false;
    QTest::newRow("nothing published") << QString() << false;
}

void TestStartup::updateOffered()
{
    QFETCH(QString, latest);
    QFETCH(bool, offered);
    QCOMPARE(Vendor::updateOffered(QStringLiteral("4.02"), latest), offered);
}

void TestStartup::accountHandsOverInOrder_data()
{
    QTest::addColumn<QVariant>("disableAutoBackfill");
    QTest::addColumn<bool>("fiveDayBackfill");
    QTest::newRow("switch absent") << QVariant() << true;
    QTest::newRow("switch off") << QVariant(false) << true;
    QTest::newRow("switch on") << QVariant(true) << false;
}

void TestStartup::accountHandsOverInOrder()
{
    QFETCH(QVariant, disableAutoBackfill);
    QFETCH(bool, fiveDayBackfill);

    storeSelection({"NIFTY-I", "ICICIBANK"}, {"FUTURE", "CASH"});
    if (disableAutoBackfill.isValid())
        StoredSettings().seed(Store::DisableAutoBackfill5, disableAutoBackfill);

    m_controller = newController();
    QCOMPARE(m_controller->userId(), UserId);

    // The window is built inside start(): watch every widget for its first appearance.
    ShowWatcher watcher;
    qApp->installEventFilter(&watcher);
    m_controller->start();
    qApp->removeEventFilter(&watcher);

    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(watcher.shown);
    QVERIFY2(watcher.idAtShow.isEmpty(), "the window was shown after the account");
    QCOMPARE(MainForm(*window).machineIDLabel->text(), UserId);
    QVERIFY(!m_controller->isVisible());
    QVERIFY(m_controller->splash()->splashLabel->isHidden());
    QVERIFY(m_env->exits.isEmpty());
    QVERIFY(m_env->boxes.isEmpty());

    const QString endpoint = m_vendor->server.hostPort();
    QCOMPARE(sessionOf(*window).account().secureKey, SecureKey);
    QCOMPARE(sessionOf(*window).account().dataPathGet, endpoint + VendorSim::LivePathGet);
    QCOMPARE(sessionOf(*window).account().dataPathPost, endpoint + VendorSim::LivePathPost);
    QCOMPARE(sessionOf(*window).account().backfillPath, endpoint + VendorSim::BackfillPath);
    QCOMPARE(sessionOf(*window).account().supportLink, QStringLiteral("http://127.0.0.1/support"));
    QCOMPARE(m_controller->account().feeds, QStringLiteral("CASH,FUTURE,COMM"));
    QCOMPARE(m_controller->account().message, QStringLiteral("Holiday on Friday."));
    QStringList days;
    for (int i = 0; i < MainForm(*window).daysBox->count(); ++i)
        days << MainForm(*window).daysBox->itemText(i);
    QCOMPARE(days, QStringList({"1", "3", "5", "10", "20", "30", "60", "90", "120", "180"}));

    // The first probe is due one period after the hand-over.
    QVERIFY(m_controller->connectionMonitor());
    QVERIFY(m_controller->connectionMonitor()->isActive());
    QVERIFY(!m_controller->connectionMonitor()->isProbing());
    QVERIFY(m_controller->connectionMonitor()->remainingTime() <= 5000);
    QVERIFY(m_controller->restartTimer()->isActive());
    QCOMPARE(m_controller->restartTimer()->interval(), 86400000);

    // The start-up backfill ran after the selection had been restored: it found the rows.
    QVERIFY(!sessionOf(*window).oneDayBackfillBase().isEmpty());
    if (fiveDayBackfill) {
        QTRY_VERIFY_WITH_TIMEOUT(backfillRequests(m_vendor->server, QStringLiteral("5")) >= 2, 15000);
    } else {
        // A five-day backfill would have left long before the first live import, 700 ms in.
        QTRY_VERIFY_WITH_TIMEOUT(m_env->journal().contains(QStringLiteral("RefreshAll()")), 15000);
        QCOMPARE(backfillRequests(m_vendor->server, QStringLiteral("5")), 0);
    }
    // The live feed was started by the hand-over.
    QTRY_VERIFY_WITH_TIMEOUT(m_env->journal().contains(QStringLiteral("RefreshAll()")), 15000);
}

void TestStartup::noAccountAsksForRegistration_data()
{
    QTest::addColumn<QString>("userId");
    QTest::newRow("no account for the ID") << UserId;
    // Other traders' accounts are there; an empty ID must not borrow one of them.
    QTest::newRow("empty ID") << QString();
}

void TestStartup::noAccountAsksForRegistration()
{
    QFETCH(QString, userId);
    QVERIFY(m_vendor->reseed(account(false)));
    m_controller = newController();
    if (userId.isEmpty())
        m_controller->setUserId(userId);
    m_controller->start();

    QVERIFY(!mainWindowOf(*m_controller)->isVisible());
    QVERIFY(sessionOf(*mainWindowOf(*m_controller)).account().secureKey.isEmpty());
    QVERIFY(!m_controller->connectionMonitor());
    QVERIFY(m_env->exits.isEmpty());
    QCOMPARE(stored(Store::SelectedSymbols).toStringList(), Store::firstRunSymbols());
    QCOMPARE(stored(Store::SelectedExchanges).toStringList(), Store::firstRunExchanges());
    QCOMPARE(stored(Store::DisableAutoBackfill5), QVariant(false));
    QCOMPARE(stored(Store::DataMode).toInt(), 2);
    QCOMPARE(stored(Store::FastBackfill), QVariant(true));
    QCOMPARE(stored(Store::SaveLayout), QVariant(false));
    QCOMPARE(stored(Store::ControlAmibroker), QVariant(false));

    registrationDialog *dialog = m_controller->registration();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    auto *idEdit = dialog->findChild<QLineEdit *>(QStringLiteral("userIdEdit"));
    QCOMPARE(idEdit->text(), userId);
    QVERIFY(idEdit->isReadOnly());
    dialog->findChild<QPushButton *>(QStringLiteral("copyButton"))->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), userId);

    // A retry that still finds nothing says so and writes nothing again.
    StoredSettings().remove(Store::SelectedSymbols);
    dialog->findChild<QPushButton *>(QStringLiteral("retryButton"))->click();
    QVERIFY(!stored(Store::SelectedSymbols).isValid());
    QVERIFY(m_controller->registration() == dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("statusLabel"))->text().isEmpty());
    QVERIFY(!mainWindowOf(*m_controller)->isVisible());
}

void TestStartup::registrationRetryFindsNewAccount()
{
    QVERIFY(m_vendor->reseed(account(false)));
    m_controller = startController();
    QPointer<registrationDialog> dialog = m_controller->registration();
    QVERIFY(dialog);

    // Support activates the account meanwhile.
    QSqlQuery activate(QSqlDatabase::database(VendorDatabase::ConnectionName));
    QVERIFY(activate.exec(QStringLiteral(
        "INSERT INTO admin_acct (AcctID, MachineID, SecureKey, NetworkDataPathGet, Feeds) "
        "VALUES (9, '%1', 'fresh-key', '%2/rt/live', 'CASH')")
                              .arg(UserId, m_vendor->server.hostPort())));

    dialog->findChild<QPushButton *>(QStringLiteral("retryButton"))->click();
    QVERIFY(mainWindowOf(*m_controller)->isVisible());
    QCOMPARE(sessionOf(*mainWindowOf(*m_controller)).account().secureKey, QStringLiteral("fresh-key"));
    QCOMPARE(m_controller->account().feeds, QStringLiteral("CASH"));
    QVERIFY(m_controller->connectionMonitor());
    QVERIFY(m_controller->connectionMonitor()->isActive());
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(m_env->exits.isEmpty());
}

void TestStartup::registrationQuitEndsTheLoop()
{
    QVERIFY(m_vendor->reseed(account(false)));
    m_controller = startController();
    registrationDialog *dialog = m_controller->registration();
    QVERIFY(dialog);

    QTimer limit;
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    limit.start(10000);
    QTimer::singleShot(0, dialog->findChild<QPushButton *>(QStringLiteral("quitButton")), &QPushButton::click);
    QCOMPARE(QCoreApplication::exec(), 0);

    // Closing the dialog by its title bar quits the same way.
    limit.start(10000);
    QTimer::singleShot(0, dialog, &QWidget::close);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!mainWindowOf(*m_controller)->isVisible());
}

void TestStartup::stopsBeforeTheWindow_data()
{
    QTest::addColumn<QString>("dropped"); // a vendor table the controller reads
    QTest::addColumn<QString>("latest");  // the version the vendor publishes
    QTest::addColumn<QString>("box");     // the one box shown
    QTest::addColumn<QList<int>>("exits");
    QTest::addColumn<bool>("keyless");    // the feed never got the account's key (else not checked)

    QTest::newRow("update offered") << QString() << "4.10"
        << "New Update|A Latest Update is Available\n Application Will Restart after Update." << QList<int>() << true;
    QTest::newRow("version lookup fails") << "versionautoupdator_qvx_tickvf" << QString()
        << "Cannot Verify User|Please Check Network Connection" << QList<int>{0} << true;
    QTest::newRow("account details fail") << "broadcastmsg_blank" << QString()
        << "Check Connection|The account details could not be read.\nPlease Check Network Connection" << QList<int>{0}
        << false;
}

// Neither the window, the connection monitor nor the first-run choices come before the process
// ends or updates itself.
void TestStartup::stopsBeforeTheWindow()
{
    QFETCH(QString, dropped);
    QFETCH(QString, latest);
    QFETCH(QString, box);

    if (!dropped.isEmpty())
        QVERIFY(execOnVendor(m_env->root() + QStringLiteral("/vendor.db"), QStringLiteral("DROP TABLE ") + dropped));
    if (!latest.isEmpty()) {
        VendorSim::SeedOptions options = account();
        options.latestVersion = latest;
        // A closed port: the updater fails at once instead of installing anything.
        options.latestPath = QStringLiteral("http://127.0.0.1:1/update/Tickvane-4.10.zip");
        QVERIFY(m_vendor->reseed(options));
    }
    m_controller = startController();

    QCOMPARE(m_env->boxes, QStringList{box});
    QTEST(m_env->exits, "exits");
    QCOMPARE(m_controller->updateDialog() != nullptr, !latest.isEmpty());
    QVERIFY(!mainWindowOf(*m_controller)->isVisible());
    QVERIFY(!m_controller->registration());
    QVERIFY(!m_controller->connectionMonitor());
    QFETCH(bool, keyless);
    if (keyless)
        QVERIFY(sessionOf(*mainWindowOf(*m_controller)).account().secureKey.isEmpty());
    QVERIFY(!stored(Store::SelectedSymbols).isValid());
}

void TestStartup::copyIdAndContactSupport()
{
    m_controller = startController();
    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    QVERIFY(window->isVisible());

    // An empty store has the window ask for symbols first.
    m_env->boxes.clear();
    MainForm(*window).copyIDButton->click();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Software : Tickvane \nUser ID  : START-USER-7\nVersion  : 4.02"));
    QCOMPARE(m_env->boxes, QStringList{QStringLiteral(
                               "Software Details|\nYour details copied to clipboard. Right click and Paste to Share\n")});

    // Qt's own hook for the desktop's URL handler: nothing is opened on this machine.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    Account account = sessionOf(*window).account();
    account.supportLink = QStringLiteral("127.0.0.1/support?topic=feed");
    sessionOf(*window).takeAccount(account);
    MainForm(*window).contactSupportButton->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1/support?topic=feed"))});
}

void TestStartup::closeDuringStartUpEndsTheProcess()
{
    storeSelection({"NIFTY-I", "ICICIBANK"}, {"FUTURE", "CASH"});
    ClosedDuringStartUp *console = nullptr;
    m_controller = std::make_unique<authDialog>(Platform::createAutomationObject, [&console](FeedSession &session) {
        auto made = std::make_unique<ClosedDuringStartUp>(session);
        console = made.get();
        return made;
    });
    m_controller->start();
    QVERIFY(console);
    QVERIFY(!console->window.isVisible());
    QVERIFY(m_env->journal().contains(QStringLiteral("SaveDatabase()")));

    // Nothing starts after the close, and the loop about to run ends by itself.
    QCOMPARE(console->restoredShown, 0);
    QVERIFY(!inside(*m_controller->session()).backfillRun().isActive());
    QVERIFY(!m_controller->restartTimer()->isActive());
    QTimer limit;
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    limit.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(backfillRequests(m_vendor->server, QStringLiteral("5")), 0);
    QVERIFY(m_env->exits.isEmpty());
}

void TestStartup::windowLookAcrossRestart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<QString>("traderDoes");   // before the daily restart: "show" (the tray's Show) or "minimize"
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("afterRestart");

    const QStringList plain{"Tickvane.exe"};
    const QStringList signIn{"Tickvane.exe", "--minimized"};
    QTest::newRow("plain start") << plain << true << "" << "shown" << "shown";
    QTest::newRow("other arguments ignored") << QStringList{"Tickvane.exe", "-minimized", "--Minimized", "x"} << true
                                             << "" << "shown" << "shown";
    QTest::newRow("at sign-in: in the tray, and still after a restart") << signIn << true << "" << "tray" << "tray";
    QTest::newRow("shown from the tray stays shown") << signIn << true << "show" << "tray" << "shown";
    QTest::newRow("minimised stays minimised") << plain << true << "minimize" << "shown" << "minimized";
    QTest::newRow("no tray to wait in: minimised") << signIn << false << "" << "minimized" << "minimized";
}

// The start at sign-in runs the whole start-up without showing the window; the daily restart keeps
// the window as the trader left it.
void TestStartup::windowLookAcrossRestart()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, tray);
    QFETCH(QString, traderDoes);
    QFETCH(QString, first);
    QFETCH(QString, afterRestart);

    WindowStart::setTrayAvailable([tray] { return tray; });
    storeSelection({"NIFTY-I"}, {"FUTURE"});
    StoredSettings().seed(Store::DisableAutoBackfill5, true);
    const auto look = [this] {
        const amibrokerlivedata2 *window = mainWindowOf(*m_controller);
        const bool waitsInTray = !window->isVisible();
        // Only a window that waits in the tray keeps a closed box from ending the loop.
        if (QGuiApplication::quitOnLastWindowClosed() == waitsInTray)
            return QStringLiteral("quit on last window: %1").arg(QGuiApplication::quitOnLastWindowClosed());
        return waitsInTray ? QStringLiteral("tray")
                           : window->isMinimized() ? QStringLiteral("minimized") : QStringLiteral("shown");
    };

    // The process's arguments reach the first cycle.
    WindowStart::carryOver(WindowStart::fromArguments(arguments));
    m_controller = startController();
    QCOMPARE(look(), first);
    QTRY_VERIFY_WITH_TIMEOUT(m_env->journal().contains(QStringLiteral("RefreshAll()")), 15000);
    QVERIFY(m_env->boxes.isEmpty());

    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    if (traderDoes == QLatin1String("show")) {
        auto *icon = window->findChild<QSystemTrayIcon *>();
        QVERIFY(icon && icon->contextMenu());
        const QList<QAction *> actions = icon->contextMenu()->actions();
        const auto show = std::find_if(actions.cbegin(), actions.cend(),
                                       [](const QAction *action) { return action->text() == QLatin1String("Show"); });
        QVERIFY(show != actions.cend());
        (*show)->trigger();
    } else if (traderDoes == QLatin1String("minimize")) {
        window->showMinimized();
    }

    m_controller->restart();
    m_controller.reset();
    // As the entry loop starts every cycle.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    m_env->clearJournal();
    m_controller = startController();
    QCOMPARE(look(), afterRestart);
    QTRY_VERIFY_WITH_TIMEOUT(m_env->journal().contains(QStringLiteral("RefreshAll()")), 15000);

    m_controller.reset();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    WindowStart::setTrayAvailable({});
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
