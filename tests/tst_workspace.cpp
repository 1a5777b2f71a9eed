// The dedicated AmiBroker database folder and what closing the main window does with AmiBroker
// and the trader's choices.
#include "app/settings.h"
#include "support/mainform.h"
#include "app/settingsstore.h"
#include "feed/amibrokerlivedata2.h"
#include "symbols/selection.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "support/filesizelimit.h"
#include "support/localvendor.h"
#include "support/storedsettings.h"
#include "support/testenvironment.h"
#include "app/seams.h"
#include "workspace/provisioning.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

// Only the POSIX stand-in journals the end of AmiBroker; on Windows taskkill really ends Broker.exe.
#ifdef Q_OS_WIN
const QStringList EndedLine;
#else
const QStringList EndedLine{QStringLiteral("taskkill Broker.exe")};
#endif

const QString UserId = QStringLiteral("WORKSPACE-USER");

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

int importLines(const QStringList &journal)
{
    int count = 0;
    for (const QString &line : journal)
        count += line.startsWith(QLatin1String("Import(")) ? 1 : 0;
    return count;
}

}

class TestWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void provisioning_data();
    void provisioning();
    void provisioningOnAFullDisk();
    void closeSequence_data();
    void closeSequence();
    void escapeRunsTheCloseSequence();
    void nothingImportsAfterClose();

private:
    std::unique_ptr<AssembledWindow> openWindow();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalVendor> m_vendor;
    QList<int> m_pauses;
};

void TestWorkspace::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>(UserId);
    m_env->layInstallFiles();
}

void TestWorkspace::init()
{
    StoredSettings().clear();
    m_env->clearJournal();
    m_pauses.clear();
    m_vendor = std::make_unique<LocalVendor>();
    VendorSim::SeedOptions options;
    options.userId = UserId;
    QVERIFY2(m_vendor->start(m_env->root(), options), qPrintable(m_vendor->error));
}

void TestWorkspace::cleanup()
{
    m_vendor.reset();
}

std::unique_ptr<AssembledWindow> TestWorkspace::openWindow()
{
    auto window = std::make_unique<AssembledWindow>();
    window->show();
    return window;
}

void TestWorkspace::provisioning_data()
{
    // Layout before provisioning: a list of "path=content" under the root (content "" = folder).
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("expectedDatabase");

    const QStringList templates = {"dbfiles/broker.master=M", "dbfiles/broker.watch=W",
                                   "dbfiles/broker.workspace=S"};
    const QStringList all = {"broker.master", "broker.watch", "broker.workspace"};
    QTest::newRow("first start") << templates << all;
    // A start on a full disk may have left the folder without its files.
    QTest::newRow("existing empty database is filled in")
        << (QStringList(templates) << "Amibroker/QVF1000/") << all;
    QTest::newRow("existing database keeps its files, the missing ones are added")
        << (QStringList(templates) << "Amibroker/QVF1000/broker.master=MINE") << all;
    QTest::newRow("template missing is skipped")
        << QStringList{"dbfiles/broker.master=M", "dbfiles/broker.workspace=S"}
        << QStringList{"broker.master", "broker.workspace"};
    QTest::newRow("AmiBroker folder without database")
        << (QStringList(templates) << "Amibroker/Other/") << all;
    QTest::newRow("no templates at all") << QStringList() << QStringList();
}

void TestWorkspace::provisioning()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, expectedDatabase);

    QTemporaryDir dir;
    // The install folder itself may be missing: it is created first.
    const QString root = dir.path() + QStringLiteral("/Quorvix");
    QMap<QString, QByteArray> contents;
    for (const QString &entry : before) {
        const QString path = root + QLatin1Char('/') + entry.section(QLatin1Char('='), 0, 0);
        if (path.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(path);
        } else {
            contents.insert(path, entry.section(QLatin1Char('='), 1).toUtf8());
            writeFile(path, contents.value(path));
        }
    }

    Workspace::provision(root);

    const QString database = root + QStringLiteral("/Amibroker/QVF1000");
    QVERIFY(QFileInfo(database).isDir());
    QCOMPARE(entries(database), expectedDatabase);
    for (const QString &name : expectedDatabase) {
        const QString target = database + QLatin1Char('/') + name;
        const QByteArray expected = contents.contains(target) ? contents.value(target)
                                                              : contents.value(root + QStringLiteral("/dbfiles/") + name);
        QCOMPARE(readFile(target), expected);
    }
    // Templates are copied, not moved.
    for (auto it = contents.cbegin(); it != contents.cend(); ++it)
        QCOMPARE(readFile(it.key()), it.value());
}

// A first start on a full disk: the copy that failed is named with the system's reason and left
// out whole; the next start fills it in.
void TestWorkspace::provisioningOnAFullDisk()
{
    if (!FileSizeLimit::supported())
        QSKIP("no per-process file size limit on this system");
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/dbfiles/broker.master"), QByteArray(4096, 'M'));
    writeFile(root + QStringLiteral("/dbfiles/broker.watch"), "W");
    writeFile(root + QStringLiteral("/dbfiles/broker.workspace"), "S");
    const QString database = root + QStringLiteral("/Amibroker/QVF1000");

    QStringList problems;
    {
        FileSizeLimit full(1024);
        problems = Workspace::provision(root);
    }
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(QLatin1String("broker.master"))
                 && problems.first().contains(QLatin1String("too large"), Qt::CaseInsensitive),
             qPrintable(problems.first()));
    QCOMPARE(entries(database), (QStringList{"broker.watch", "broker.workspace"}));

    QVERIFY(Workspace::provision(root).isEmpty());
    QCOMPARE(readFile(database + QStringLiteral("/broker.master")), QByteArray(4096, 'M'));
}

void TestWorkspace::closeSequence_data()
{
    QTest::addColumn<bool>("saveLayout");
    QTest::addColumn<bool>("controlAmibroker");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("feedStarted");   // else the window never showed a selection: nothing is stored

    const QString layout = QStringLiteral("SaveLayout(")
        + QDir::toNativeSeparators(m_env->root() + QStringLiteral("/Amibroker/QVF1000/Layouts/Default.awl"))
        + QLatin1Char(')');
    QTest::newRow("database only") << false << false << QStringList{"SaveDatabase()"} << true;
    QTest::newRow("layout before database") << true << false << QStringList{layout, "SaveDatabase()"} << true;
    QTest::newRow("AmiBroker ended after saving")
        << false << true << QStringList{"SaveDatabase()"} + EndedLine << true;
    QTest::newRow("everything") << true << true << QStringList{layout, "SaveDatabase()"} + EndedLine << true;
    QTest::newRow("window never started keeps the stored choices")
        << false << false << QStringList{"SaveDatabase()"} << false;
}

void TestWorkspace::closeSequence()
{
    QFETCH(bool, saveLayout);
    QFETCH(bool, controlAmibroker);
    QFETCH(QStringList, expected);
    QFETCH(bool, feedStarted);

    StoredSettings().seed({{Store::SaveLayout, saveLayout},
                           {Store::ControlAmibroker, controlAmibroker},
                           // Stale values the close must replace.
                           {Store::SelectedSymbols, QStringList{"OLD"}},
                           {Store::feedBoxKey(1), true}});
    auto window = openWindow();
    if (feedStarted)
        MainForm(*window).connectButton->click();
    window->findChild<settings *>()->load();
    const Feeds::Flags flags{true, false, true, false, false, true, true};
    inside(sessionOf(*window)).setFeedFlags(flags);
    sessionOf(*window).assignSelection(QStringList{"NIFTY-I", "GOLDM-I"}, QStringList{"FUTURE", "MCX"});

    bool visibleDuringPause = true;
    int journalAtPause = -1;
    Seams::setPauseHandler([&](int ms) {
        m_pauses << ms;
        visibleDuringPause = window->isVisible();
        journalAtPause = m_env->journal().size();
    });
    m_env->clearJournal();
    QVERIFY(window->close());
    Seams::setPauseHandler([](int) {});

    QVERIFY(!window->isVisible());
    QCOMPARE(m_env->journal(), expected);
    if (controlAmibroker) {
        QCOMPARE(m_pauses, QList<int>{2000});
        QVERIFY(!visibleDuringPause);
        // Both saves were issued before the pause, the end of AmiBroker after it.
        QCOMPARE(journalAtPause, expected.size() - EndedLine.size());
    } else {
        QVERIFY(m_pauses.isEmpty());
    }

    const StoredSettings store;
    if (!feedStarted) {
        QCOMPARE(store.value(Store::SelectedSymbols).toStringList(), QStringList{"OLD"});
        QVERIFY(store.value(Store::feedBoxKey(1)).toBool());
        return;
    }
    for (int i = 0; i < 7; ++i)
        QCOMPARE(store.value(Store::feedBoxKey(i)).toBool(), sessionOf(*window).feedFlags()[size_t(i)]);
    QCOMPARE(store.value(Store::SelectedSymbols).toStringList(), (QStringList{"NIFTY-I", "GOLDM-I"}));
    QCOMPARE(store.value(Store::SelectedExchanges).toStringList(), (QStringList{"FUTURE", "MCX"}));
}

void TestWorkspace::escapeRunsTheCloseSequence()
{
    auto window = openWindow();
    MainForm(*window).connectButton->click();
    sessionOf(*window).assignSelection(QStringList{"ICICIBANK"}, QStringList{"CASH"});
    m_env->clearJournal();

    QTest::keyClick(window.get(), Qt::Key_Escape);

    QVERIFY(!window->isVisible());
    QCOMPARE(m_env->journal(), QStringList{"SaveDatabase()"});
    QCOMPARE(StoredSettings().value(Store::SelectedSymbols).toStringList(),
             QStringList{"ICICIBANK"});
}

void TestWorkspace::nothingImportsAfterClose()
{
    auto window = openWindow();
    sessionOf(*window).setUserId(UserId);
    Account account;
    account.secureKey = VendorSim::SeedOptions().secureKey;
    account.dataPathGet = m_vendor->server.hostPort() + VendorSim::LivePathGet;
    account.dataPathPost = m_vendor->server.hostPort() + VendorSim::LivePathPost;
    sessionOf(*window).takeAccount(account);
    sessionOf(*window).assignSelection(QStringList{"NIFTY-I"}, QStringList{"FUTURE"});
    MainForm(*window).connectButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(importLines(m_env->journal()) >= 2, 15000);

    window->close();
    const int importsAtClose = importLines(m_env->journal());
    // The request in flight at the close has been answered and handled, and no poll follows.
    MyDownloader *live = inside(sessionOf(*window)).liveDownloader();
    QTRY_VERIFY_WITH_TIMEOUT(live->reply.isNull(), 15000);
    QVERIFY(!live->pollTimer->isActive());
    QCOMPARE(importLines(m_env->journal()), importsAtClose);
}

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
