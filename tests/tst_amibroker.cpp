// The calls made on AmiBroker: their method texts, and the journal that stands in for
// AmiBroker where it cannot run.
#include "feed/amibroker.h"

#include "app/eventlog.h"
#include "support/coreenvironment.h"

#include <QtTest>

#include <QDir>
#include <QFile>

class TestAmiBroker : public QObject
{
    Q_OBJECT

private slots:
    void methodText_data();
    void methodText();
    void journalOfEveryCall();
    void importedLineCount_data();
    void importedLineCount();
    void lostLinkIsRebuilt_data();
    void lostLinkIsRebuilt();
    void refusalKeepsTheLink_data();
    void refusalKeepsTheLink();
};

// Each method text as made from its paths, and as AmiBroker must get it.
void TestAmiBroker::methodText_data()
{
    QTest::addColumn<QString>("made");
    QTest::addColumn<QString>("expected");

    QTest::newRow("live, Windows")
        << AmiBroker::importText("C:\\Quorvix\\rtimport.txt", "C:\\Quorvix\\dataFormatRT.dll")
        << "Import(0,C:\\Quorvix\\rtimport.txt,C:\\Quorvix\\dataFormatRT.dll)";
    QTest::newRow("intraday backfill, Windows")
        << AmiBroker::importText("C:\\Quorvix\\autobackfill.txt", "C:\\Quorvix\\dataFormat.dll")
        << "Import(0,C:\\Quorvix\\autobackfill.txt,C:\\Quorvix\\dataFormat.dll)";
    QTest::newRow("live, Linux")
        << AmiBroker::importText("/home/u/Quorvix/rtimport.txt", "/home/u/Quorvix/dataFormatRT.dll")
        << "Import(0,/home/u/Quorvix/rtimport.txt,/home/u/Quorvix/dataFormatRT.dll)";
    // No quotes are added: AmiBroker takes the text as it stands.
    QTest::newRow("blank in the folder")
        << AmiBroker::importText("C:\\Program Files\\Quorvix\\rtimport.txt",
                                 "C:\\Program Files\\Quorvix\\dataFormatRT.dll")
        << "Import(0,C:\\Program Files\\Quorvix\\rtimport.txt,C:\\Program Files\\Quorvix\\dataFormatRT.dll)";
    // A "%1" inside a path must not be taken for a placeholder.
    QTest::newRow("percent sign in a path") << AmiBroker::importText("/tmp/%1/rtimport.txt", "/tmp/%2/dataFormatRT.dll")
                                            << "Import(0,/tmp/%1/rtimport.txt,/tmp/%2/dataFormatRT.dll)";
    QTest::newRow("layout, Windows")
        << AmiBroker::saveLayoutText("C:\\Quorvix\\Amibroker\\QVF1000\\Layouts\\Default.awl")
        << "SaveLayout(C:\\Quorvix\\Amibroker\\QVF1000\\Layouts\\Default.awl)";
    QTest::newRow("layout, Linux") << AmiBroker::saveLayoutText("/home/u/Quorvix/Amibroker/QVF1000/Layouts/Default.awl")
                                   << "SaveLayout(/home/u/Quorvix/Amibroker/QVF1000/Layouts/Default.awl)";
}

void TestAmiBroker::methodText()
{
    QFETCH(QString, made);
    QFETCH(QString, expected);
    QCOMPARE(made, expected);
}

void TestAmiBroker::journalOfEveryCall()
{
    CoreEnvironment env;
    const QString root = env.root();
    {
        QFile data(root + QStringLiteral("/rtimport.txt"));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write("NSE,TCS,1\nNSE,INFY,2\nNSE,SBIN,3");
    }

    AmiBroker amibroker(Platform::createAutomationObject);
    amibroker.loadDatabase(root + QStringLiteral("/Amibroker/QVF1000"));
    amibroker.import(root + QStringLiteral("/rtimport.txt"), root + QStringLiteral("/dataFormatRT.dll"));
    amibroker.import(root + QStringLiteral("/missing.txt"), root + QStringLiteral("/dataFormat.dll"));
    amibroker.refreshAll();
    amibroker.saveLayout(root + QStringLiteral("/Amibroker/QVF1000/Layouts/Default.awl"));
    amibroker.saveDatabase();

    QCOMPARE(env.journal(), (QStringList{
        QStringLiteral("create Broker.Application"),
        QStringLiteral("LoadDatabase(QString&)\t%1/Amibroker/QVF1000").arg(root),
        QStringLiteral("Import(0,%1/rtimport.txt,%1/dataFormatRT.dll)\t3").arg(root),
        QStringLiteral("Import(0,%1/missing.txt,%1/dataFormat.dll)\t-1").arg(root),
        QStringLiteral("RefreshAll()"),
        QStringLiteral("SaveLayout(%1/Amibroker/QVF1000/Layouts/Default.awl)").arg(root),
        QStringLiteral("SaveDatabase()"),
    }));
}

// The stand-in reads the import file in blocks: lines across their edges count once.
void TestAmiBroker::importedLineCount_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("lines");

    QTest::newRow("empty") << QByteArray() << "0";
    QTest::newRow("one line feed") << QByteArray("\n") << "1";
    QTest::newRow("last line unended") << QByteArray("a\nb") << "2";
    QTest::newRow("blocks, ended") << QByteArray("NSE,TCS,1\n").repeated(20000) << "20000";
    QTest::newRow("blocks, unended") << QByteArray("NSE,TCS,1\n").repeated(6554) + "NSE" << "6555";
}

void TestAmiBroker::importedLineCount()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, lines);

    CoreEnvironment env;
    const QString file = env.root() + QStringLiteral("/rtimport.txt");
    {
        QFile data(file);
        QVERIFY(data.open(QIODevice::WriteOnly));
        QCOMPARE(data.write(content), qint64(content.size()));
    }
    AmiBroker amibroker(Platform::createAutomationObject);
    env.clearJournal();
    QVERIFY(amibroker.import(file, env.root() + QStringLiteral("/dataFormatRT.dll")));
    QCOMPARE(env.journal().value(0).section(QLatin1Char('\t'), 1), lines);
}

void TestAmiBroker::lostLinkIsRebuilt_data()
{
    QTest::addColumn<bool>("downAtStart");
    QTest::newRow("AmiBroker closed during the session") << false;
    QTest::newRow("AmiBroker not running at start") << true;
}

// While AmiBroker is gone every call fails and says so; the first call after it is back creates
// the object again and reloads the database before it is made.
void TestAmiBroker::lostLinkIsRebuilt()
{
    QFETCH(bool, downAtStart);
    CoreEnvironment env;
    const QString root = env.root();
    const QString down = root + QStringLiteral("/automation.down");
    const QString database = root + QStringLiteral("/Amibroker/QVF1000");
    const auto setDown = [&down](bool isDown) {
        if (isDown)
            QFile(down).open(QIODevice::WriteOnly);
        else
            QFile::remove(down);
    };

    setDown(downAtStart);
    AmiBroker amibroker(Platform::createAutomationObject);
    QSignalSpy reachable(&amibroker, &AmiBroker::reachableChanged);
    QCOMPARE(amibroker.isReachable(), !downAtStart);
    amibroker.loadDatabase(database);

    setDown(true);
    QVERIFY(!amibroker.refreshAll());
    QVERIFY(!amibroker.isReachable());
    setDown(false);
    QVERIFY(amibroker.refreshAll());
    QVERIFY(amibroker.isReachable());

    const QString load = QStringLiteral("LoadDatabase(QString&)\t") + database;
    QStringList expected;
    if (downAtStart) {
        expected = QStringList{"create Broker.Application\tfailed", "create Broker.Application\tfailed",
                               "create Broker.Application\tfailed"};
    } else {
        expected = QStringList{"create Broker.Application", load, "RefreshAll()\tfailed"};
    }
    expected << "create Broker.Application" << load << "RefreshAll()";
    QCOMPARE(env.journal(), expected);
    QCOMPARE(reachable.count(), downAtStart ? 1 : 2);
    QCOMPARE(reachable.last().first().toBool(), true);
}

void TestAmiBroker::refusalKeepsTheLink_data()
{
    QTest::addColumn<QString>("switchFile");
    QTest::addColumn<QString>("answer");   // the Import's journal detail | the reason logged
    QTest::newRow("call refused (DISP_E_EXCEPTION)") << "automation.exception" << "failed|0x80020009";
    QTest::newRow("Import returns -1") << "automation.importfails" << "returned -1|Import returned -1";
}

// Seen before: a refused call marked the link lost, so the next call made the object again and
// reloaded the database. Now it is that call's refusal, logged with its code; the link stays.
void TestAmiBroker::refusalKeepsTheLink()
{
    QFETCH(QString, switchFile);
    QFETCH(QString, answer);
    CoreEnvironment env;
    const QString root = env.root();
    EventLog log(root + QStringLiteral("/logs"));
    AmiBroker amibroker(Platform::createAutomationObject);
    amibroker.loadDatabase(root + QStringLiteral("/db"));
    env.clearJournal();

    QVERIFY(QFile(root + QLatin1Char('/') + switchFile).open(QIODevice::WriteOnly));
    const QString import = AmiBroker::importText(root + QStringLiteral("/rtimport.txt"), root + QStringLiteral("/f.dll"));
    QVERIFY(!amibroker.import(root + QStringLiteral("/rtimport.txt"), root + QStringLiteral("/f.dll")));
    QVERIFY(QFile::remove(root + QLatin1Char('/') + switchFile));
    QVERIFY(amibroker.refreshAll());
    QVERIFY(amibroker.isReachable());
    QCOMPARE(env.journal(), (QStringList{import + QLatin1Char('\t') + answer.section('|', 0, 0), "RefreshAll()"}));
    QVERIFY(EventLog::flush());
    QFile file(root + QStringLiteral("/logs/") + QDir(root + QStringLiteral("/logs")).entryList(QDir::Files).value(0));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(file.readAll()).contains("AmiBroker refused " + import + ": " + answer.section('|', 1)));
}

// The Windows automation object is an ActiveX widget: it needs the widgets application.
// On Windows AmiBroker is a QAxObject, which needs the application object of the widgets.
QTEST_MAIN(TestAmiBroker)
#include "tst_amibroker.moc"
