// The real program against the real local vendor: start-up, live imports into the AmiBroker
// stand-in, the start-up backfill, and an orderly end on SIGTERM.
#include "support/storedsettings.h"

#include <QtTest>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

const QString UserId = QStringLiteral("E2E-USER");
const QStringList Symbols = {QStringLiteral("NIFTY-I"), QStringLiteral("ICICIBANK"), QStringLiteral("GOLDM-I")};
const QStringList Exchanges = {QStringLiteral("FUTURE"), QStringLiteral("CASH"), QStringLiteral("MCX")};

QString binary(const QString &name)
{
    return qEnvironmentVariable("TICKVANE_BIN") + QLatin1Char('/') + name;
}

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(source, target);
    }
}

QStringList lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Method texts of the automation journal, without time and detail.
QStringList calls(const QString &root)
{
    QStringList methods;
    for (const QString &line : lines(root + QStringLiteral("/automation.log")))
        methods << line.section(QLatin1Char('\t'), 1, 1);
    return methods;
}

// Whether the process has its own handler for SIGTERM in place (Linux: the caught-signals mask).
bool catchesSigterm(qint64 pid)
{
    const QStringList status = lines(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QString &line : status) {
        if (line.startsWith(QLatin1String("SigCgt:")))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

int indexOfPrefix(const QStringList &list, const QString &prefix, int from = 0)
{
    for (int i = from; i < list.size(); ++i) {
        if (list.at(i).startsWith(prefix))
            return i;
    }
    return -1;
}

int lastIndexOfPrefix(const QStringList &list, const QString &prefix)
{
    for (int i = list.size() - 1; i >= 0; --i) {
        if (list.at(i).startsWith(prefix))
            return i;
    }
    return -1;
}

}

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void runsAndEndsOnSigterm();
    void sigtermDuringStartupEnds();

private:
    void startFeed();

    QTemporaryDir m_dir;
    QString m_root;
    QString m_configHome;
    QProcess m_vendor;
    QProcess m_feed;
    QString m_vendorAddress;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo::exists(binary(QStringLiteral("tickvane"))), "build the tickvane target first");
    QVERIFY2(QFileInfo::exists(binary(QStringLiteral("vendor-sim"))), "build the vendor-sim target first");

    m_root = m_dir.path() + QStringLiteral("/Quorvix");
    copyTree(qEnvironmentVariable("TICKVANE_SOURCE") + QStringLiteral("/install"), m_root);
    QDir().mkpath(m_root);

    m_configHome = m_dir.path() + QStringLiteral("/config");
    QVERIFY(StoredSettings(m_configHome).seed({{QStringLiteral("selectedSymbolsList"), Symbols},
                                               {QStringLiteral("corrExchList"), Exchanges}}));

    m_vendor.setProgram(binary(QStringLiteral("vendor-sim")));
    m_vendor.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                           QStringLiteral("sqlite:") + m_dir.path() + QStringLiteral("/vendor.db"),
                           QStringLiteral("--user"), UserId, QStringLiteral("--record"),
                           m_dir.path() + QStringLiteral("/requests.log")});
    m_vendor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_vendor.start();
    QVERIFY(m_vendor.waitForStarted());
    const QRegularExpression listening(QStringLiteral("listening on (127\\.0\\.0\\.1:\\d+)"));
    QDeadlineTimer deadline(20000);
    while (m_vendorAddress.isEmpty() && !deadline.hasExpired() && m_vendor.state() == QProcess::Running) {
        m_vendor.waitForReadyRead(200);
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(m_vendor.peek(4096)));
        if (match.hasMatch())
            m_vendorAddress = match.captured(1);
    }
    QVERIFY2(!m_vendorAddress.isEmpty(), "vendor-sim did not report its address");
}

void TestEndToEnd::cleanupTestCase()
{
    for (QProcess *process : {&m_feed, &m_vendor}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(5000);
        }
    }
}

void TestEndToEnd::startFeed()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUORVIX_ROOT"), m_root);
    environment.insert(QStringLiteral("QUORVIX_DB"), QStringLiteral("sqlite:") + m_dir.path() + QStringLiteral("/vendor.db"));
    environment.insert(QStringLiteral("QUORVIX_USER_ID"), UserId);
    environment.insert(QStringLiteral("QUORVIX_BACKFILL_SERVER"), m_vendorAddress);
    environment.insert(QStringLiteral("QUORVIX_PROBE"), m_vendorAddress);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    m_feed.setProcessEnvironment(environment);
    m_feed.setProgram(binary(QStringLiteral("tickvane")));
    m_feed.setProcessChannelMode(QProcess::MergedChannels);
    m_feed.start();
    QVERIFY(m_feed.waitForStarted());
}

void TestEndToEnd::runsAndEndsOnSigterm()
{
    startFeed();
    const auto journal = [this] { return calls(m_root); };
    QTRY_VERIFY_WITH_TIMEOUT(journal().contains(QStringLiteral("RefreshAll()")), 30000);
    QCOMPARE(m_feed.state(), QProcess::Running);

    const QStringList started = journal();
    QCOMPARE(started.value(0), QStringLiteral("create Broker.Application"));
    const int load = indexOfPrefix(started, QStringLiteral("LoadDatabase"));
    const QString liveImport = QStringLiteral("Import(0,") + m_root + QStringLiteral("/rtimport.txt,") + m_root
        + QStringLiteral("/dataFormatRT.dll)");
    const int import = started.indexOf(liveImport);
    QVERIFY2(load > 0, qPrintable(started.join(QLatin1Char('\n'))));
    QVERIFY2(import > load, qPrintable(started.join(QLatin1Char('\n'))));
    QVERIFY(started.indexOf(QStringLiteral("RefreshAll()"), import) > import);

    QVERIFY(!lines(m_root + QStringLiteral("/rt.txt")).isEmpty());
    const QStringList imported = lines(m_root + QStringLiteral("/rtimport.txt"));
    QVERIFY(!imported.isEmpty());
    for (const QString &line : imported)
        QVERIFY2(Symbols.contains(line.section(QLatin1Char(','), 1, 1)), qPrintable(line));

    // The start-up backfill asked the vendor for five days.
    QTRY_VERIFY_WITH_TIMEOUT(lines(m_dir.path() + QStringLiteral("/requests.log")).join(QLatin1Char('\n'))
                                 .contains(QRegularExpression(QStringLiteral("\tbackfill\t.*d=5"))),
                             30000);

    m_feed.terminate();
    QVERIFY(m_feed.waitForFinished(20000));
    QVERIFY2(m_feed.exitStatus() == QProcess::NormalExit, m_feed.readAll().constData());
    QCOMPARE(m_feed.exitCode(), 0);

    // The close sequence ran, and nothing reached AmiBroker after its database was saved.
    const QStringList ended = journal();
    const int save = ended.lastIndexOf(QStringLiteral("SaveDatabase()"));
    QVERIFY2(save > import, qPrintable(ended.join(QLatin1Char('\n'))));
    QVERIFY(lastIndexOfPrefix(ended, QStringLiteral("Import(")) < save);
    QVERIFY(lastIndexOfPrefix(ended, QStringLiteral("RefreshAll()")) < save);
    QCOMPARE(ended.count(QStringLiteral("SaveDatabase()")), 1);

    const StoredSettings store(m_configHome);
    QCOMPARE(store.value(QStringLiteral("selectedSymbolsList")).toStringList(), Symbols);
    QCOMPARE(store.value(QStringLiteral("corrExchList")).toStringList(), Exchanges);
    for (int i = 0; i < 7; ++i)
        QVERIFY(store.contains(QStringLiteral("checkbox%1").arg(i)));
}

void TestEndToEnd::sigtermDuringStartupEnds()
{
    QFile::remove(m_root + QStringLiteral("/automation.log"));
    startFeed();
    // As soon as the handlers are in place: inside the 1.3 s splash that follows.
    QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(m_feed.processId()), 20000);
    QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("/automation.log")));
    m_feed.terminate();
    QVERIFY(m_feed.waitForFinished(20000));
    QVERIFY2(m_feed.exitStatus() == QProcess::NormalExit, m_feed.readAll().constData());
    QCOMPARE(m_feed.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
