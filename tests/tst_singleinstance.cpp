#include "app/singleinstance.h"
#include "platform/processlister.h"
#include "support/testenvironment.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void countInstances_data();
    void countInstances();
    void secondCopyQuits_data();
    void secondCopyQuits();
    void realListingOfThisProcess();
    void otherInstallFoldersDoNotCount_data();
    void otherInstallFoldersDoNotCount();
};

void tst_SingleInstance::countInstances_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<int>("count");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("only others") << QByteArray("systemd 1\nbash 200\nBroker.exe 300\n") << 0;
    QTest::newRow("itself") << QByteArray("bash 200\ntickvane 4242\n") << 1;
    QTest::newRow("two copies") << QByteArray("tickvane 4242\ntickvane 4243\n") << 2;
    QTest::newRow("capitals mixed")
        << QByteArray("Tickvane.exe  1234 Console 1 50,000 K\r\nTICKVANE.EXE 1240 Console\r\n") << 2;
    QTest::newRow("other names containing it")
        << QByteArray("tickvane 1\nTickvaneHelper.exe 2\nold-tickvane-backup 3\n") << 3;
    QTest::newRow("tasklist layout")
        << QByteArray("\r\nImage Name                     PID Session Name        Session#    Mem Usage\r\n"
                      "========================= ======== ================ =========== ============\r\n"
                      "System Idle Process              0 Services                   0          8 K\r\n"
                      "Tickvane.exe                  5512 Console                    1     61,220 K\r\n")
        << 1;
    QTest::newRow("text after a NUL is ignored")
        << QByteArray("tickvane 1\n", 11) + QByteArray(1, '\0') + QByteArray("tickvane 2\n") << 1;
    QTest::newRow("NUL first") << QByteArray(1, '\0') + QByteArray("tickvane 1\ntickvane 2\n") << 0;
    QTest::newRow("split by white space") << QByteArray("tick\tvane 1\ntick vane 2\n") << 0;
    QTest::newRow("adjacent") << QByteArray("tickvanetickvane") << 2;
}

void tst_SingleInstance::countInstances()
{
    QFETCH(QByteArray, listing);
    QFETCH(int, count);
    QCOMPARE(SingleInstance::countInstances(listing), count);
}

void tst_SingleInstance::secondCopyQuits_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<bool>("quits");

    QTest::newRow("alone") << QByteArray("init 1\ntickvane 4242\n") << false;
    QTest::newRow("nothing listed") << QByteArray() << false;
    QTest::newRow("first copy running") << QByteArray("tickvane 4000\ntickvane 4242\n") << true;
    QTest::newRow("three copies") << QByteArray("Tickvane 1\ntickvane 2\nTICKVANE 3\n") << true;
}

void tst_SingleInstance::secondCopyQuits()
{
    QFETCH(QByteArray, listing);
    QFETCH(bool, quits);

    TestEnvironment env;
    QWidget mainWindow;
    SingleInstance::check(&mainWindow, listing);
    if (quits) {
        QCOMPARE(env.boxes, QStringList{QStringLiteral(
                     "Already Running|An Instance of Application is already Running...\n"
                     " Close it to use here. Quiting!")});
        QCOMPARE(env.exits, QList<int>{0});
    } else {
        QVERIFY(env.boxes.isEmpty());
        QVERIFY(env.exits.isEmpty());
    }
}

void tst_SingleInstance::realListingOfThisProcess()
{
    TestEnvironment env;
    QWidget mainWindow;
    // A feed running beside the tests on this machine would rightly count.
    if (SingleInstance::countInstances(Platform::runningProcessList(&mainWindow)) > 1)
        QSKIP("copies of the feed run on this machine");

    SingleInstance::check(&mainWindow);
    QVERIFY(env.boxes.isEmpty());
    QVERIFY(env.exits.isEmpty());
}

void tst_SingleInstance::otherInstallFoldersDoNotCount_data()
{
    QTest::addColumn<QString>("ownRoot");
    QTest::addColumn<QString>("otherRoot");
    QTest::addColumn<bool>("counted");

    QTest::newRow("same folder") << QStringLiteral("/srv/a") << QStringLiteral("/srv/a") << true;
    QTest::newRow("another folder") << QStringLiteral("/srv/a") << QStringLiteral("/srv/b") << false;
    QTest::newRow("both on the default") << QString() << QString() << true;
    QTest::newRow("default against a folder") << QString() << QStringLiteral("/srv/a") << false;
    QTest::newRow("folder against the default") << QStringLiteral("/srv/a") << QString() << false;
}

// Another copy of the program, here a stand-in carrying its image name, started on a given folder.
void tst_SingleInstance::otherInstallFoldersDoNotCount()
{
    QFETCH(QString, ownRoot);
    QFETCH(QString, otherRoot);
    QFETCH(bool, counted);

    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("tickvane"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), image));
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUORVIX_ROOT"));
    if (!otherRoot.isEmpty())
        environment.insert(QStringLiteral("QUORVIX_ROOT"), otherRoot);
    other.setProcessEnvironment(environment);
    other.start(image, {QStringLiteral("30")});
    QVERIFY(other.waitForStarted());

    const QByteArray savedRoot = qgetenv("QUORVIX_ROOT");
    if (ownRoot.isEmpty())
        qunsetenv("QUORVIX_ROOT");
    else
        qputenv("QUORVIX_ROOT", ownRoot.toUtf8());
    const QByteArray listing = Platform::runningProcessList(nullptr);
    qputenv("QUORVIX_ROOT", savedRoot);
    const QByteArray line = "tickvane " + QByteArray::number(other.processId()) + '\n';
    other.kill();
    other.waitForFinished();

    QCOMPARE(listing.contains(line), counted);
}

QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
