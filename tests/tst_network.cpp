// The feed on a network of the test's own: a network namespace made with ip(8), documentation
// addresses only. The vendor's name has a dead IPv6 address (packets to it vanish) beside a live
// IPv4 one, and a real tinyproxy on 127.0.0.1 stands between the feed and the vendor, passing,
// refusing or asking for a password. Run as root outside a namespace, the executable makes one,
// runs itself inside it and removes it; without root it only says why it skipped.
#include "app/config.h"
#include "app/eventlog.h"
#include "feed/feedsession.h"
#include "feed/mydownloader.h"
#include "platform/automationobject.h"
#include "support/sessionprobe.h"
#include "support/testenvironment.h"
#include "update/updator.h"
#include "vendor/account.h"
#include "vendor/vendorconnection.h"
#include "vendorsim.h"

#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#if defined(Q_OS_LINUX)
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>
#endif

namespace {

// Set inside the namespace: its name. Outside, the reason the cases are skipped, if they are.
constexpr char InsideVariable[] = "TICKVANE_TEST_NETNS";
constexpr char SkipVariable[] = "TICKVANE_TEST_NETNS_SKIP";

// The vendor's name, as its hosts file has it: the dead IPv6 address first, as getaddrinfo
// orders them, then the live IPv4 one. A proxy connects to the first address that answers, one
// after the other, so it is pointed at a name with the live address alone.
const QString DualStackName = QStringLiteral("vendor.test");
const QString Ipv4Name = QStringLiteral("ipv4.vendor.test");
const QString LiveAddress = QStringLiteral("192.0.2.1");
const QString DeadAddress = QStringLiteral("2001:db8::1");
constexpr quint16 VendorPort = 8719;

const QString UserId = QStringLiteral("NET-USER");
const QString RequestKey = QStringLiteral("key-9c2d");

#if defined(Q_OS_LINUX)

bool run(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Namespaces and hosts files of earlier runs that ended before they could remove them.
void removeLeftovers()
{
    const QString prefix = QStringLiteral("tickvane-test-");
    for (const QString &name : QDir(QStringLiteral("/etc/netns")).entryList({prefix + QLatin1Char('*')}, QDir::Dirs)) {
        if (QFileInfo::exists(QStringLiteral("/proc/") + name.mid(prefix.size())))
            continue;
        run("ip netns delete " + name.toStdString());
        QDir(QStringLiteral("/etc/netns/") + name).removeRecursively();
    }
}

// Lays out the namespace; empty when done, else what failed.
std::string makeNetwork(const std::string &name)
{
    const std::string in = "ip -n " + name + ' ';
    const std::vector<std::string> commands = {
        "ip netns add " + name,
        in + "link set lo up",
        in + "addr add " + LiveAddress.toStdString() + "/32 dev lo",
        // A link whose far end takes no frame for the dead address: its packets vanish.
        in + "link add tvdead0 type veth peer name tvdead1",
        in + "link set tvdead0 up",
        in + "link set tvdead1 up",
        in + "-6 addr add 2001:db8::2/64 dev tvdead0 nodad",
        in + "-6 neigh add " + DeadAddress.toStdString() + " lladdr 02:00:00:00:00:01 dev tvdead0 nud permanent",
    };
    for (const std::string &command : commands) {
        if (!run(command))
            return command;
    }
    const QString folder = QStringLiteral("/etc/netns/") + QString::fromStdString(name);
    QDir().mkpath(folder);
    QFile hosts(folder + QStringLiteral("/hosts"));
    if (!hosts.open(QIODevice::WriteOnly))
        return "writing " + hosts.fileName().toStdString();
    hosts.write(QStringLiteral("127.0.0.1 localhost\n::1 localhost\n%1 %2\n%3 %2\n%3 %4\n")
                    .arg(DeadAddress, DualStackName, LiveAddress, Ipv4Name)
                    .toUtf8());
    return {};
}

void removeNetwork(const std::string &name)
{
    run("ip netns delete " + name);
    QDir(QStringLiteral("/etc/netns/") + QString::fromStdString(name)).removeRecursively();
}

// Runs this executable inside a namespace of its own and returns its status; -1 when it could not.
int runInOwnNetwork(int argc, char **argv, std::string *whyNot)
{
    if (geteuid() != 0) {
        *whyNot = "making a network namespace needs root";
        return -1;
    }
    if (!run("ip netns list")) {
        *whyNot = "ip(8) with network namespaces is not available";
        return -1;
    }
    if (!run("tinyproxy -h")) {
        *whyNot = "tinyproxy is not installed (apt-get install tinyproxy)";
        return -1;
    }
    removeLeftovers();
    const std::string name = "tickvane-test-" + std::to_string(getpid());
    const std::string failed = makeNetwork(name);
    if (!failed.empty()) {
        removeNetwork(name);
        *whyNot = "could not lay out the network namespace: " + failed;
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        setenv(InsideVariable, name.c_str(), 1);
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        self[length > 0 ? length : 0] = '\0';
        std::vector<char *> arguments = {const_cast<char *>("ip"), const_cast<char *>("netns"),
                                         const_cast<char *>("exec"), const_cast<char *>(name.c_str()), self};
        for (int i = 1; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        execvp("ip", arguments.data());
        _exit(127);
    }
    int status = 0;
    // ctest ends a test that runs too long with SIGTERM: the run inside and the namespace go too
    // (after SIGKILL the next run removes them).
    static std::string running;
    static pid_t inside;
    running = name;
    inside = child;
    std::signal(SIGTERM, [](int) {
        kill(inside, SIGKILL);
        removeNetwork(running);
        _exit(1);
    });
    while (waitpid(child, &status, 0) < 0) {
    }
    removeNetwork(name);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

#endif

// A real tinyproxy on 127.0.0.1 with a configuration of the test's own.
class Tinyproxy
{
public:
    ~Tinyproxy() { stop(); }

    bool start(const QString &folder, quint16 port, const QStringList &extraLines)
    {
        m_log = QStringLiteral("%1/tinyproxy-%2.log").arg(folder).arg(port);
        const QString config = QStringLiteral("%1/tinyproxy-%2.conf").arg(folder).arg(port);
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogFile \"%2\"\nLogLevel Connect\n"
                                  "MaxClients 20\n%3\n")
                       .arg(port)
                       .arg(m_log, extraLines.join(QLatin1Char('\n')))
                       .toUtf8());
        file.close();
        m_process.setProgram(QStringLiteral("tinyproxy"));
        m_process.setArguments({QStringLiteral("-d"), QStringLiteral("-c"), config});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted())
            return false;
        return QTest::qWaitFor([port] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(100);
        }, 5000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    // The requests it passed on or refused, as "GET http://host:port/path?query".
    [[nodiscard]] QStringList requests() const
    {
        QFile file(m_log);
        QStringList found;
        if (!file.open(QIODevice::ReadOnly))
            return found;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int at = line.indexOf("): ");
            if (line.contains("Request (file descriptor") && at > 0)
                found << QString::fromUtf8(line.mid(at + 3)).section(QLatin1Char(' '), 0, 1);
        }
        return found;
    }

private:
    QString m_log;
    QProcess m_process;
};

QString logText()
{
    EventLog::flush();
    QFile file(EventLog::folder() + QLatin1Char('/') + EventLog::fileName(QDate::currentDate()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int imports(const QStringList &journal)
{
    return int(std::count_if(journal.cbegin(), journal.cend(),
                             [](const QString &call) { return call.startsWith(QLatin1String("Import(")); }));
}

QStringList madeUpSymbols(int count)
{
    QStringList symbols;
    for (int i = 0; i < count; ++i)
        symbols << QStringLiteral("NET%1CE").arg(10000 + i);
    return symbols;
}

}

class tst_Network : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void deadIpv6BesideLiveIpv4_data();
    void deadIpv6BesideLiveIpv4();
    void throughAProxy_data();
    void throughAProxy();
    void updateThroughAProxy();
    void loopbackGoesDirect();

private:
    // A live feed of its own against the vendor at host, polling as the window's does.
    FeedSession &startFeed(const QString &host, const QStringList &symbols);

    std::unique_ptr<TestEnvironment> m_env;
    VendorSim::Server m_vendor;
    QTemporaryDir m_work;
    std::unique_ptr<VendorConnection> m_connection;
    std::unique_ptr<FeedSession> m_session;
    std::unique_ptr<EventLog> m_log;
    qint64 m_now = 0;
};

void tst_Network::initTestCase()
{
    if (!qEnvironmentVariableIsSet(InsideVariable))
        QSKIP(qPrintable(QStringLiteral("needs a network namespace of its own: %1")
                             .arg(qEnvironmentVariable(SkipVariable, QStringLiteral("not on Linux")))));
    m_env = std::make_unique<TestEnvironment>(UserId);
    QVERIFY(m_work.isValid());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    // The test only means something when the dead address is the one tried first.
    const QList<QHostAddress> addresses = QHostInfo::fromName(DualStackName).addresses();
    QCOMPARE(addresses, (QList<QHostAddress>{QHostAddress(DeadAddress), QHostAddress(LiveAddress)}));
    // ... and when it is dead, not refused: packets to it vanish, so a connection hangs.
    QTcpSocket dead;
    dead.connectToHost(QHostAddress(DeadAddress), VendorPort);
    QVERIFY(!dead.waitForConnected(1000));
    QCOMPARE(dead.error(), QAbstractSocket::SocketTimeoutError);
    QVERIFY(m_vendor.start(VendorPort, LiveAddress));
    m_vendor.setAccount(UserId, RequestKey);
    m_vendor.setAnySymbol(true);
}

void tst_Network::init()
{
    qunsetenv("http_proxy");
    m_vendor.clearRequests();
    m_log = std::make_unique<EventLog>(m_work.path() + QStringLiteral("/logs-") + QTest::currentDataTag());
}

void tst_Network::cleanup()
{
    if (m_session)
        m_session->silence();
    m_session.reset();
    m_connection.reset();
    m_log.reset();
    m_env->clearJournal();
    qunsetenv("http_proxy");
}

FeedSession &tst_Network::startFeed(const QString &host, const QStringList &symbols)
{
    m_connection = std::make_unique<VendorConnection>(Config::instance().database());
    m_session = std::make_unique<FeedSession>(Platform::createAutomationObject, *m_connection);
    m_now = 1000000;
    inside(*m_session).health().setClock([this] { return m_now; });
    Account account;
    const QString vendor = QStringLiteral("%1:%2").arg(host).arg(VendorPort);
    account.dataPathGet = vendor + VendorSim::LivePathGet;
    account.dataPathPost = vendor + VendorSim::LivePathPost;
    account.backfillPath = vendor + VendorSim::BackfillPath;
    account.secureKey = RequestKey;
    m_session->takeAccount(account);
    m_session->setUserId(UserId);
    m_session->enableFeeds(QStringLiteral("CASH"));
    m_session->startLive();
    QStringList exchanges;
    for (int i = 0; i < symbols.size(); ++i)
        exchanges << QStringLiteral("CASH");
    m_session->assignSelection(symbols, exchanges);
    return *m_session;
}

void tst_Network::deadIpv6BesideLiveIpv4_data()
{
    QTest::addColumn<int>("symbols");
    QTest::addColumn<QString>("method");

    QTest::newRow("GET") << 3 << "GET";
    QTest::newRow("POST") << 400 << "POST";
}

// Within a second or two of the start the feed imports, every poll answered: none of them waits
// on the dead address until the watchdog ends it.
void tst_Network::deadIpv6BesideLiveIpv4()
{
    QFETCH(int, symbols);
    QFETCH(QString, method);

    QElapsedTimer sinceStart;
    sinceStart.start();
    FeedSession &session = startFeed(DualStackName, madeUpSymbols(symbols));
    QTRY_VERIFY_WITH_TIMEOUT(imports(m_env->journal()) >= 1, 2500);
    qInfo("first live import %lld ms after the start", sinceStart.elapsed());
    QTRY_VERIFY_WITH_TIMEOUT(imports(m_env->journal()) >= 4, 5000);

    QCOMPARE(inside(session).health().failuresInRow(), 0);
    QVERIFY(!logText().contains(QLatin1String("live replies failing")));
    const QList<VendorSim::Request> live = m_vendor.requests(QStringLiteral("live"));
    QVERIFY(!live.isEmpty());
    QCOMPARE(live.last().method, method);
}

void tst_Network::throughAProxy_data()
{
    QTest::addColumn<QStringList>("proxyLines");  // tinyproxy's configuration; empty: none runs
    QTest::addColumn<QString>("proxyUser");       // user:password@ in http_proxy
    QTest::addColumn<QString>("cause");           // empty: the feed gets through
    QTest::addColumn<QString>("error");           // %1: the proxy's host:port

    const QStringList open = {QStringLiteral("Allow 127.0.0.1")};
    const QStringList password = {QStringLiteral("Allow 127.0.0.1"), QStringLiteral("BasicAuth trader s3cret")};
    QTest::newRow("passes") << open << "" << "" << "";
    QTest::newRow("password in http_proxy") << password << "trader:s3cret@" << "" << "";
    QTest::newRow("asks for a password") << password << "" << "the proxy asks for a password"
                                         << "Proxy requires authentication (through the proxy %1)";
    // tinyproxy answers a wrong password with 401, which Qt reports as the host's.
    QTest::newRow("wrong password") << password << "trader:guess@" << "the proxy asks for a password"
                                    << "Host requires authentication (through the proxy %1)";
    QTest::newRow("refuses this computer") << QStringList{QStringLiteral("Allow 192.0.2.99")} << ""
                                           << "the proxy refuses"
                                           << "server replied: Access denied (through the proxy %1)";
    QTest::newRow("not listening") << QStringList() << "" << "no connection to the proxy"
                                   << "Connection refused (through the proxy %1)";
}

// The system's proxy (http_proxy here) carries the live poll and a backfill; a proxy that cannot
// be reached, refuses or wants a password is named in the indicator and the log.
void tst_Network::throughAProxy()
{
    QFETCH(QStringList, proxyLines);
    QFETCH(QString, proxyUser);
    QFETCH(QString, cause);
    QFETCH(QString, error);

    static quint16 port = 8800;
    ++port;
    const QString proxy = QStringLiteral("127.0.0.1:%1").arg(port);
    Tinyproxy tinyproxy;
    if (!proxyLines.isEmpty())
        QVERIFY(tinyproxy.start(m_work.path(), port, proxyLines));
    qputenv("http_proxy", QStringLiteral("http://%1%2").arg(proxyUser, proxy).toUtf8());

    FeedSession &session = startFeed(Ipv4Name, madeUpSymbols(400));
    const QString vendor = QStringLiteral("http://%1:%2").arg(Ipv4Name).arg(VendorPort);
    if (cause.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(imports(m_env->journal()) >= 2, 10000);
        session.backfillRow(QStringLiteral("NET10000CE"), QStringLiteral("CASH"), QStringLiteral("1"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_vendor.requests(QStringLiteral("backfill")).isEmpty(), 10000);
        const QStringList passed = tinyproxy.requests();
        QVERIFY2(passed.contains(QStringLiteral("POST ") + vendor + VendorSim::LivePathPost),
                 qPrintable(passed.join(QLatin1Char('\n'))));
        QVERIFY2(!passed.filter(QStringLiteral("GET ") + vendor + VendorSim::BackfillPath + QLatin1Char('?')).isEmpty(),
                 qPrintable(passed.join(QLatin1Char('\n'))));
        QCOMPARE(inside(session).health().failuresInRow(), 0);
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(inside(session).health().failuresInRow() >= 2, 10000);
    m_now += 4000;
    const FeedHealth::Report report = session.healthReport();
    QCOMPARE(report.text, QStringLiteral("Stale 4 s: ") + cause);
    const QString named = error.arg(proxy);
    QVERIFY2(report.tooltip.contains(named), qPrintable(report.tooltip));
    QVERIFY2(!report.tooltip.contains(QLatin1String("s3cret")) && !report.tooltip.contains(QLatin1String("guess")),
             qPrintable(report.tooltip));
    const QString log = logText();
    QVERIFY2(log.contains(QStringLiteral("WARN feed live replies failing: ")) && log.contains(named), qPrintable(log));
    QVERIFY(m_vendor.requests(QStringLiteral("live")).isEmpty());
    QCOMPARE(imports(m_env->journal()), 0);
}

// The updater's download goes through the same proxy.
void tst_Network::updateThroughAProxy()
{
    Tinyproxy tinyproxy;
    QVERIFY(tinyproxy.start(m_work.path(), 8890, {QStringLiteral("Allow 127.0.0.1")}));
    qputenv("http_proxy", "http://127.0.0.1:8890");
    QTemporaryDir programFolder;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(programFolder.path()));

    const QString archive = QStringLiteral("http://%1:%2/update/Tickvane-4.10.zip").arg(Ipv4Name).arg(VendorPort);
    {
        updator dialog;
        dialog.startDownload(archive);
        const bool ended = QTest::qWaitFor([this] { return !m_env->exits.isEmpty(); }, 30000);
        QDir::setCurrent(previous);
        QVERIFY(ended);
    }
    QCOMPARE(m_env->boxes, QStringList());
    QCOMPARE(m_env->exits, QList<int>{0});
    QCOMPARE(tinyproxy.requests(), QStringList{QStringLiteral("GET ") + archive});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(programFolder.filePath(QStringLiteral("update-marker.txt"))), 10000);
    m_env->exits.clear();
}

// An address on the machine itself never goes through the proxy, whatever http_proxy says.
void tst_Network::loopbackGoesDirect()
{
    Tinyproxy tinyproxy;
    QVERIFY(tinyproxy.start(m_work.path(), 8891, {QStringLiteral("Allow 127.0.0.1")}));
    qputenv("http_proxy", "http://127.0.0.1:8891");
    VendorSim::Server local;
    QVERIFY(local.start(VendorPort));
    local.setAccount(UserId, RequestKey);

    FeedSession &session = startFeed(QStringLiteral("127.0.0.1"), madeUpSymbols(3));
    QTRY_VERIFY_WITH_TIMEOUT(imports(m_env->journal()) >= 1, 10000);
    QCOMPARE(inside(session).health().failuresInRow(), 0);
    QVERIFY(!local.requests(QStringLiteral("live")).isEmpty());
    QCOMPARE(tinyproxy.requests(), QStringList());
}

int main(int argc, char *argv[])
{
#if defined(Q_OS_LINUX)
    if (!qEnvironmentVariableIsSet(InsideVariable)) {
        std::string whyNot;
        const int status = runInOwnNetwork(argc, argv, &whyNot);
        if (status >= 0)
            return status;
        qputenv(SkipVariable, QByteArray::fromStdString(whyNot));
    }
#endif
    QApplication app(argc, argv);
    tst_Network test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_network.moc"
