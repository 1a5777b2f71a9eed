// The connection probe behind the status label, and the two ways of rebuilding the application.
#include "app/config.h"
#include "support/mainform.h"
#include "app/settingsstore.h"
#include "feed/amibrokerlivedata2.h"
#include "feed/livedataupdator.h"
#include "support/localvendor.h"
#include "support/storedsettings.h"
#include "support/testenvironment.h"
#include "vendor/authdialog.h"
#include "support/controller.h"
#include "symbols/selection.h"
#include "vendor/connectionmonitor.h"
#include "vendor/connectionprobe.h"

#include <QtTest>

#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#if defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const QString UserId = QStringLiteral("MONITOR-USER");

QStringList storedSymbols()
{
    return Store::read(Store::SelectedSymbols);
}

int importCount(const QStringList &journal)
{
    int count = 0;
    for (const QString &line : journal)
        count += line.startsWith(QLatin1String("Import(")) ? 1 : 0;
    return count;
}

// A loopback port whose accept queue is full: it listens with a backlog of none, one connection
// that is never accepted fills the queue, and every later connect goes unanswered, as to a host
// that drops them.
#if defined(Q_OS_UNIX)
class SilentPort
{
public:
    SilentPort()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_fd, 0) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_filler.connectToHost(QHostAddress::LocalHost, m_port);
    }
    ~SilentPort()
    {
        m_filler.abort();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(SilentPort)

    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] bool isFull() const { return m_filler.state() == QAbstractSocket::ConnectedState; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    QTcpSocket m_filler;
};
#else
// A backlog of none fills the accept queue only on Unix-like systems.
class SilentPort
{
public:
    [[nodiscard]] quint16 port() const { return 0; }
    [[nodiscard]] bool isFull() const { return false; }
};

#endif

// Runs the application's event loop, as the process entry does, until something ends it;
// 99 when nothing does within the time limit.
int runLoopAfter(const std::function<void()> &action)
{
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    limit.start(15000);
    QTimer::singleShot(0, qApp, action);
    return QCoreApplication::exec();
}

}

class TestConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statusTexts_data();
    void statusTexts();
    void probe_data();
    void probe();
    void dailyRestartStoresOnlyTheChoices();
    void restartButtonSavesTheSelection();

private:
    void startController();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalVendor> m_vendor;
    std::unique_ptr<authDialog> m_controller;
};

void TestConnectionMonitor::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationVersion(QStringLiteral("4.02"));
    m_env = std::make_unique<TestEnvironment>(UserId);
    m_env->layInstallFiles();
}

void TestConnectionMonitor::init()
{
    const StoredSettings store;
    store.clear();
    store.seed(Store::SelectedSymbols, QStringList{"NIFTY-I", "ICICIBANK"});
    store.seed(Store::SelectedExchanges, QStringList{"FUTURE", "CASH"});
    store.seed(Store::DisableAutoBackfill5, true);
    m_env->clearJournal();
    m_vendor = std::make_unique<LocalVendor>();
    VendorSim::SeedOptions options;
    options.userId = UserId;
    QVERIFY2(m_vendor->start(m_env->root(), options), qPrintable(m_vendor->error));
}

void TestConnectionMonitor::cleanup()
{
    m_controller.reset();
    m_vendor.reset();
    qputenv("QUORVIX_PROBE", "127.0.0.1:1");
    Config::reload();
}

void TestConnectionMonitor::startController()
{
    m_controller = newController();
    m_controller->start();
    QVERIFY(mainWindowOf(*m_controller)->isVisible());
}

void TestConnectionMonitor::statusTexts_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::newRow("connected") << true << "<span style=\"color:#005605;\"><b>Connected</b></span>" << 52;
    QTest::newRow("disconnected") << false << "<span style=\"color:#ff0000;\"><b>Disconnected</b></span>" << 55;
}

void TestConnectionMonitor::statusTexts()
{
    QFETCH(bool, connected);
    QFETCH(QString, text);
    QFETCH(int, length);
    QCOMPARE(ConnectionProbe::statusText(connected), text);
    QCOMPARE(text.size(), length);
}

void TestConnectionMonitor::probe_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("connected");
    QTest::newRow("target answers") << QStringLiteral("listening") << true;
    QTest::newRow("target refuses") << QStringLiteral("closed") << false;
    QTest::newRow("target never answers") << QStringLiteral("silent") << false;
}

// The probe leaves the event loop free: the live feed polls and imports on the same thread meanwhile.
void TestConnectionMonitor::probe()
{
    QFETCH(QString, target);
    QFETCH(bool, connected);

    QTcpServer listener;
    std::unique_ptr<SilentPort> silent;
    quint16 port = 0;
    if (target == QLatin1String("silent")) {
#if !defined(Q_OS_UNIX)
        QSKIP("a full accept queue is made with POSIX sockets");
#endif
        silent = std::make_unique<SilentPort>();
        port = silent->port();
        QVERIFY(port != 0);
        QTRY_VERIFY(silent->isFull());
    } else {
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        port = listener.serverPort();
        if (target == QLatin1String("closed"))
            listener.close();
    }
    qputenv("QUORVIX_PROBE", QByteArray("127.0.0.1:") + QByteArray::number(port));
    Config::reload();

    startController();
    QLabel *status = MainForm(*mainWindowOf(*m_controller)).statusLabel;
    QCOMPARE(status->text(), QStringLiteral("Connected / Disconnected"));
    ConnectionMonitor *monitor = m_controller->connectionMonitor();
    QVERIFY(monitor);
    QVERIFY(monitor->isActive());
    QVERIFY(!monitor->isProbing());

    // The feed is under way before a probe that will take its time starts.
    if (target == QLatin1String("silent"))
        QTRY_VERIFY_WITH_TIMEOUT(importCount(m_env->journal()) >= 1, 15000);
    const int importsBefore = importCount(m_env->journal());

    QList<int> remainingAtResult;
    connect(monitor, &ConnectionMonitor::statusChanged, this,
            [&remainingAtResult, monitor] { remainingAtResult << monitor->remainingTime(); });
    QElapsedTimer clock;
    clock.start();
    monitor->probe();
    if (target == QLatin1String("silent")) {
        QVERIFY(monitor->isProbing());
        QCOMPARE(monitor->remainingTime(), -1);
        // One probe at a time.
        monitor->probe();
        QCOMPARE(monitor->findChildren<QTcpSocket *>().size(), 1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), ConnectionProbe::statusText(connected), 20000);
    const qint64 took = clock.elapsed();
    const int imports = importCount(m_env->journal()) - importsBefore;

    QCOMPARE(remainingAtResult.size(), 1);
    // The next probe is a full period away from the end of this one.
    QVERIFY2(remainingAtResult.first() > ConnectionProbe::IntervalMs / 2,
             qPrintable(QString::number(remainingAtResult.first())));
    QVERIFY(!monitor->isProbing());
    QVERIFY(monitor->isActive());
    if (target == QLatin1String("silent")) {
        // Given up after the probe's wait, with imports at the feed's pace all along: a blocked
        // event loop would have allowed one.
        QVERIFY2(took >= ConnectionProbe::WaitMs * 9 / 10, qPrintable(QString::number(took)));
        QVERIFY2(imports >= 3, qPrintable(QString::number(imports)));
    } else {
        // Settled by the target, not by the time limit.
        QVERIFY2(took < ConnectionProbe::WaitMs, qPrintable(QString::number(took)));
    }
    if (target == QLatin1String("listening")) {
        QTRY_VERIFY(listener.hasPendingConnections());
        int probes = 0;
        while (listener.hasPendingConnections()) {
            delete listener.nextPendingConnection();
            ++probes;
        }
        QCOMPARE(probes, 1);
    }
}

// The close sequence's AmiBroker steps are skipped; today's selection and feed boxes are not lost.
void TestConnectionMonitor::dailyRestartStoresOnlyTheChoices()
{
    startController();
    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    sessionOf(*window).assignSelection(QStringList{"GOLDM-I"}, QStringList{"MCX"});

    // The restart timer itself fires, as it would after a day.
    QCOMPARE(runLoopAfter([this] { m_controller->restartTimer()->start(0); }), 4444);

    QVERIFY(window->isVisible());
    QCOMPARE(storedSymbols(), QStringList{"GOLDM-I"});
    QCOMPARE(StoredSettings().value(Store::SelectedExchanges).toStringList(),
             QStringList{"MCX"});
    QVERIFY(!m_env->journal().contains(QStringLiteral("SaveDatabase()")));
}

void TestConnectionMonitor::restartButtonSavesTheSelection()
{
    startController();
    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    sessionOf(*window).assignSelection(QStringList{"GOLDM-I"}, QStringList{"MCX"});

    QCOMPARE(runLoopAfter([window] { MainForm(*window).restartButton->click(); }), 4444);

    QVERIFY(!window->isVisible());
    QCOMPARE(storedSymbols(), QStringList{"GOLDM-I"});
    QVERIFY(m_env->journal().contains(QStringLiteral("SaveDatabase()")));
}

QTEST_MAIN(TestConnectionMonitor)
#include "tst_connectionmonitor.moc"
