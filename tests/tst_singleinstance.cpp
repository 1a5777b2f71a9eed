#include "app/singleinstance.h"
#include "platform/processlister.h"
#include "support/testenvironment.h"

#include "app/config.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void countInstances_data();
    void countInstances();
    void secondCopyQuits_data();
    void secondCopyQuits();
    void realListingOfThisProcess();
    void countsCopiesOfThisInstallFolder_data();
    void countsCopiesOfThisInstallFolder();
};

void tst_SingleInstance::countInstances_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("imageName");
    QTest::addColumn<int>("count");

    const QString windows = QStringLiteral("Tickvane.exe");
    const QString posix = QStringLiteral("tickvane");
    const QByteArray header("\r\nImage Name                     PID Session Name        Session#    Mem Usage\r\n"
                            "========================= ======== ================ =========== ============\r\n"
                            "System Idle Process              0 Services                   0          8 K\r\n");
    const QByteArray copy("Tickvane.exe                  5512 Console                    1     61,220 K\r\n");
    // An interactive upgrade starts the feed while its setup and the setup's .tmp still run.
    const QByteArray upgrade("Tickvane-4.10-setup.exe       6100 Console                    1      3,100 K\r\n"
                             "Tickvane-4.10-setup.tmp       6104 Console                    1      9,900 K\r\n"
                             "MyTickvaneTool.exe            6200 Console                    1      2,000 K\r\n"
                             "Tickvane Helper.exe           6300 Console                    1      2,000 K\r\n");

    QTest::newRow("empty") << QByteArray() << windows << 0;
    QTest::newRow("only others") << header + "Broker.exe                    300 Console 1 9 K\r\n" << windows << 0;
    QTest::newRow("itself") << header + copy << windows << 1;
    QTest::newRow("itself during an upgrade") << header + upgrade + copy << windows << 1;
    QTest::newRow("two copies during an upgrade") << header + copy + upgrade + copy << windows << 2;
    QTest::newRow("capitals mixed") << QByteArray("TICKVANE.EXE 1240 Console\r\ntickvane.exe 1241 Console\r\n")
                                    << windows << 2;
    QTest::newRow("no .exe is another program") << QByteArray("Tickvane 1240 Console\r\n") << windows << 0;
    QTest::newRow("text after a NUL is ignored") << copy + QByteArray(1, '\0') + copy << windows << 1;
    QTest::newRow("NUL first") << QByteArray(1, '\0') + copy + copy << windows << 0;
    QTest::newRow("stand-in listing") << QByteArray("bash 200\ntickvane 4242\nTickvane 4243\n") << posix << 2;
    QTest::newRow("stand-in, names containing it")
        << QByteArray("tickvane-setup 1\nold-tickvane 2\ntickvaneX 3\n") << posix << 0;
}

void tst_SingleInstance::countInstances()
{
    QFETCH(QByteArray, listing);
    QFETCH(QString, imageName);
    QFETCH(int, count);
    QCOMPARE(SingleInstance::countInstances(listing, imageName), count);
}

void tst_SingleInstance::secondCopyQuits_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<bool>("quits");

    // In the listing shape of this platform's process lister.
    const QByteArray copy = Platform::programImageName().toUtf8() + "  4242 Console 1 61,220 K\r\n";
    QTest::newRow("alone") << QByteArray("init 1\n") + copy << false;
    QTest::newRow("nothing listed") << QByteArray() << false;
    QTest::newRow("first copy running") << copy + copy << true;
    QTest::newRow("three copies") << copy + copy.toUpper() + copy.toLower() << true;
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
    // Copies of the feed for other install folders on this machine (a demo, other tests) never count.
    TestEnvironment env;
    QWidget mainWindow;
    SingleInstance::check(&mainWindow);
    QVERIFY(env.boxes.isEmpty());
    QVERIFY(env.exits.isEmpty());
}

static QByteArray commandLineOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_SingleInstance::countsCopiesOfThisInstallFolder_data()
{
    // Each other process: "<image name> <QUORVIX_ROOT> <HOME> <working directory>", folders relative
    // to a scratch folder, "-" for unset. This process uses <scratch>/home/Quorvix.
    QTest::addColumn<QStringList>("others");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("quits");

    QTest::newRow("none") << QStringList() << 0 << false;
    QTest::newRow("same root") << QStringList{"tickvane home/Quorvix - ."} << 1 << false;
    QTest::newRow("two with the same root") << QStringList{"tickvane home/Quorvix - .", "Tickvane home/Quorvix - ."}
                                            << 2 << true;
    QTest::newRow("other root") << QStringList{"tickvane demo/Quorvix - .", "tickvane home - ."} << 0 << false;
    QTest::newRow("same root written otherwise")
        << QStringList{"tickvane home/Quorvix/ - .", "tickvane link/Quorvix - .", "tickvane home/../home/Quorvix - ."}
        << 3 << true;
    QTest::newRow("relative root from its working directory") << QStringList{"tickvane Quorvix - home"} << 1 << false;
    QTest::newRow("default root of the same home") << QStringList{"tickvane - home ."} << 1 << false;
    QTest::newRow("empty root means the default") << QStringList{"tickvane '' home ."} << 1 << false;
    QTest::newRow("default root of another home") << QStringList{"tickvane - other ."} << 0 << false;
    QTest::newRow("root wins over home") << QStringList{"tickvane demo/Quorvix home ."} << 0 << false;
    QTest::newRow("other programs of the same root") << QStringList{"sleep home/Quorvix - ."} << 0 << false;
    QTest::newRow("mixed") << QStringList{"tickvane home/Quorvix - .", "tickvane - other .", "tickvane - home ."}
                           << 2 << true;
}

void tst_SingleInstance::countsCopiesOfThisInstallFolder()
{
    QFETCH(QStringList, others);
    QFETCH(int, count);
    QFETCH(bool, quits);

    TestEnvironment env;
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QDir base(scratch.path());
    for (const char *folder : {"home/Quorvix", "other/Quorvix", "demo/Quorvix", "bin"})
        QVERIFY(base.mkpath(QLatin1String(folder)));
    QVERIFY(QFile::link(base.filePath(QStringLiteral("home")), base.filePath(QStringLiteral("link"))));
    qputenv("QUORVIX_ROOT", base.filePath(QStringLiteral("home/Quorvix")).toUtf8());
    Config::reload();

    // Real processes whose image name is the link's name: a waiting "sleep".
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(!sleep.isEmpty());
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QString &other : others) {
        const QStringList fields = other.split(QLatin1Char(' '));
        const QString program = base.filePath(QStringLiteral("bin/") + fields.at(0));
        if (!QFileInfo::exists(program))
            QVERIFY(QFile::link(sleep, program));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QUORVIX_ROOT"));
        environment.remove(QStringLiteral("HOME"));
        if (fields.at(1) == QLatin1String("''"))
            environment.insert(QStringLiteral("QUORVIX_ROOT"), QString());
        else if (fields.at(1) != QLatin1String("-"))
            environment.insert(QStringLiteral("QUORVIX_ROOT"), fields.at(1).contains(QLatin1Char('/'))
                                                                   ? base.filePath(fields.at(1))
                                                                   : fields.at(1));
        if (fields.at(2) != QLatin1String("-"))
            environment.insert(QStringLiteral("HOME"), base.filePath(fields.at(2)));

        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(base.filePath(fields.at(3)));
        process->start(program, {QStringLiteral("300")});
        QVERIFY2(process->waitForStarted(), qPrintable(process->errorString()));
        // The start is reported when the exec begins; the new image's name, arguments and
        // environment appear in /proc a moment later, the arguments last.
        QTRY_VERIFY(commandLineOf(process->processId()).startsWith(QFile::encodeName(program) + '\0'));
        processes.push_back(std::move(process));
    }

    QWidget mainWindow;
    QCOMPARE(SingleInstance::countInstances(Platform::runningProcessList(&mainWindow, Config::instance().root()),
                                            Platform::programImageName()),
             count);
    SingleInstance::check(&mainWindow);
    QCOMPARE(env.exits, quits ? QList<int>{0} : QList<int>());
    for (const auto &process : processes) {
        process->kill();
        process->waitForFinished();
    }
}

QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
