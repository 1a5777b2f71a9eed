// The connection probe behind the status label: its texts, and one probe at a time without
// holding up the event loop.
#include "app/config.h"
#include "support/testenvironment.h"
#include "vendor/connectionmonitor.h"
#include "vendor/connectionprobe.h"

#include <QtTest>

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#if defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

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

}

class TestConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusTexts_data();
    void statusTexts();
    void probe_data();
    void probe();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestConnectionMonitor::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
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

    ConnectionMonitor monitor;
    QVERIFY(!monitor.isActive());
    monitor.start();
    QVERIFY(monitor.isActive());
    QVERIFY(!monitor.isProbing());
    QVERIFY(monitor.remainingTime() <= ConnectionProbe::IntervalMs);

    // Anything else on the thread, the live feed's polls and imports among it, goes on meanwhile.
    int ticks = 0;
    QTimer other;
    connect(&other, &QTimer::timeout, this, [&ticks] { ++ticks; });
    other.start(100);

    QString result;
    QList<int> remainingAtResult;
    connect(&monitor, &ConnectionMonitor::statusChanged, this, [&](const QString &text) {
        result = text;
        remainingAtResult << monitor.remainingTime();
    });
    QElapsedTimer clock;
    clock.start();
    monitor.probe();
    if (target == QLatin1String("silent")) {
        QVERIFY(monitor.isProbing());
        QCOMPARE(monitor.remainingTime(), -1);
        // One probe at a time.
        monitor.probe();
        QCOMPARE(monitor.findChildren<QTcpSocket *>().size(), 1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(result, ConnectionProbe::statusText(connected), 20000);
    const qint64 took = clock.elapsed();

    QCOMPARE(remainingAtResult.size(), 1);
    // The next probe is a full period away from the end of this one.
    QVERIFY2(remainingAtResult.first() > ConnectionProbe::IntervalMs / 2,
             qPrintable(QString::number(remainingAtResult.first())));
    QVERIFY(!monitor.isProbing());
    QVERIFY(monitor.isActive());
    if (target == QLatin1String("silent")) {
        // Given up after the probe's wait, with the timer at its pace all along: a blocked event
        // loop would have let it fire once.
        QVERIFY2(took >= ConnectionProbe::WaitMs * 9 / 10, qPrintable(QString::number(took)));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
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

QTEST_GUILESS_MAIN(TestConnectionMonitor)
#include "tst_connectionmonitor.moc"
