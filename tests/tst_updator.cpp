// The self-update against the local vendor, the real 7za and a real batch file, in a temporary
// working directory. Process ends and boxes are recorded by the test environment.
#include "app/seams.h"
#include "platform/externaltools.h"
#include "support/testenvironment.h"
#include "update/updator.h"
#include "ui_updator.h"
#include "vendorsim.h"

#include <QtTest>

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString ArchivePath = QStringLiteral("/update/Tickvane-4.10.zip");
const QByteArray Batch = "echo ran >> marker.txt\n";
const QByteArray LeftOverBatch = "echo stale >> marker.txt\n";
const QByteArray NewProgram = "the new build";
// What the batch file's echo leaves: cmd keeps the blank before ">>" and ends the line with CRLF.
#ifdef Q_OS_WIN
const QByteArray Ran = "ran \r\n";
#else
const QByteArray Ran = "ran\n";
#endif

QByteArray updateArchive()
{
    return VendorSim::makeZip({{QStringLiteral("ZentorUpdator.bat"), Batch}, {QStringLiteral("Tickvane.new"), NewProgram}});
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}

class TestUpdator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void progress_data();
    void progress();
    void update_data();
    void update();
    // Runs the application's event loop: must stay the last test.
    void cancelHidesButUpdateGoesOn();

private:
    QString url(const QString &path) const;
    // Starts an update and waits for the process end it requests.
    bool runUpdate(updator &dialog, const QString &address);
    int updateRequests() const;

    std::unique_ptr<TestEnvironment> m_env;
    VendorSim::Server m_server;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_previousDir;
    QByteArray m_previousPath;
};

void TestUpdator::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    QVERIFY(m_server.start());
    m_previousDir = QDir::currentPath();
    m_previousPath = qgetenv("PATH");
}

void TestUpdator::init()
{
    m_env->boxes.clear();
    m_env->exits.clear();
    m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Normal);
    m_server.setFile(ArchivePath, updateArchive());
    m_server.clearRequests();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir::setCurrent(m_work->path()));
}

void TestUpdator::cleanup()
{
    qputenv("PATH", m_previousPath);
    QDir::setCurrent(m_previousDir);
    m_work.reset();
}

QString TestUpdator::url(const QString &path) const
{
    return QStringLiteral("http://") + m_server.hostPort() + path;
}

bool TestUpdator::runUpdate(updator &dialog, const QString &address)
{
    dialog.startDownload(address);
    return QTest::qWaitFor([this] { return !m_env->exits.isEmpty(); }, 30000);
}

int TestUpdator::updateRequests() const
{
    int count = 0;
    for (const VendorSim::Request &request : m_server.requests())
        count += request.path == ArchivePath;
    return count;
}

void TestUpdator::form()
{
    updator dialog;
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.objectName(), QStringLiteral("updator"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.size(), QSize(464, 112));

    auto *layout = dialog.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    auto *bar = dialog.findChild<QProgressBar *>(QStringLiteral("downloadProgress"));
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(layout && bar && buttons);
    QCOMPARE(layout->indexOf(bar), 0);
    QCOMPARE(layout->indexOf(buttons), 1);
    QCOMPARE(bar->value(), 24);
    QCOMPARE(buttons->orientation(), Qt::Horizontal);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(accepted.size(), 1);
    QVERIFY(!dialog.isVisible());
    QVERIFY(m_env->exits.isEmpty());
}

void TestUpdator::progress_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("value");

    QTest::newRow("half") << qint64(512) << qint64(1024) << 50;
    QTest::newRow("done") << qint64(3000000) << qint64(3000000) << 100;
    QTest::newRow("a fraction reads as 0") << qint64(1) << qint64(3) << 0;
    QTest::newRow("nothing of nothing") << qint64(0) << qint64(0) << 0;
    QTest::newRow("unknown total leaves the bar") << qint64(500) << qint64(-1) << 24;
}

void TestUpdator::progress()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, value);

    updator dialog;
    dialog.downloadProgress(received, total);
    QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("downloadProgress"))->value(), value);
}

void TestUpdator::update_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("box"); // how the one box starts; empty: the batch ran, with no box

    QTest::newRow("clean unpack") << ArchivePath << "" << 1 << "";
    // As a file in use on Windows: the tool cannot replace it and ends with code 2.
    QTest::newRow("a file the tool cannot replace") << ArchivePath << "in use" << 1 << "";
    QTest::newRow("an earlier update's batch file lies there") << ArchivePath << "left over" << 1 << "";

    const QString connection = QStringLiteral("Check Connection|Cannot Download Update.Check Connection!");
    const QString unpack = QStringLiteral("Update Failed|Cannot unpack the update archive Tickvane-4.10.zip: ");
    QTest::newRow("download error") << ArchivePath << "http error" << 1 << connection;
    QTest::newRow("stalled download") << ArchivePath << "hang" << 1 << connection;
    QTest::newRow("missing archive") << "/update/missing" << "" << 0 << connection;
    QTest::newRow("address ends in a slash") << "/update/" << "" << 0
                                             << "Update Failed|The update address names no archive file";
    QTest::newRow("not an archive") << ArchivePath << "garbage" << 1 << unpack + "the archive tool ended with code";
    QTest::newRow("archive tool missing")
        << ArchivePath << "no tool" << 1
        << unpack + QStringLiteral("the archive tool %1 could not be started").arg(Platform::archiveTool());
    QTest::newRow("archive cannot be written") << ArchivePath << "blocked" << 1
                                               << "Update Failed|Cannot save the update archive Tickvane-4.10.zip";
    QTest::newRow("archive without batch file") << ArchivePath << "no batch" << 1
                                                << "Update Failed|The update archive Tickvane-4.10.zip holds no "
                                                   "ZentorUpdator.bat";
    QTest::newRow("partly failed unpack without batch file")
        << ArchivePath << "no batch, in use" << 1 << unpack + "the archive tool ended with code 2";
}

void TestUpdator::update()
{
    QFETCH(QString, path);
    QFETCH(QString, prepare);
    QFETCH(int, requests);
    QFETCH(QString, box);
    const bool fails = !box.isEmpty();

    // A batch file from an earlier update lies in the working directory; a failed update must
    // leave it unrun.
    if (fails || prepare == QLatin1String("left over"))
        writeFile(QStringLiteral("ZentorUpdator.bat"), LeftOverBatch);
    if (prepare.endsWith(QLatin1String("in use")))
        QVERIFY(QDir().mkpath(QStringLiteral("Tickvane.new/busy")));
    if (prepare == QLatin1String("http error")) {
        m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::HttpError);
    } else if (prepare == QLatin1String("hang")) {
        m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Hang);
    } else if (prepare == QLatin1String("garbage")) {
        m_server.setFile(ArchivePath, QByteArray("<html>not an archive</html>"));
    } else if (prepare == QLatin1String("no tool")) {
        qputenv("PATH", m_work->path().toUtf8());
    } else if (prepare == QLatin1String("blocked")) {
        QVERIFY(QDir().mkdir(QStringLiteral("Tickvane-4.10.zip")));
    } else if (prepare.startsWith(QLatin1String("no batch"))) {
        m_server.setFile(ArchivePath, VendorSim::makeZip({{QStringLiteral("Tickvane.new"), NewProgram}}));
    }

    updator dialog;
    if (prepare == QLatin1String("hang"))
        dialog.setStallTimeout(300);
    QVERIFY(runUpdate(dialog, url(path)));
    m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Normal);
    // The finished reply is released: nothing is left that could answer a second time.
    QTRY_VERIFY(!dialog.findChild<QNetworkReply *>());
    QCOMPARE(m_env->exits, QList<int>{0});
    QCOMPARE(updateRequests(), requests);

    if (!fails) {
        QCOMPARE(m_env->boxes, QStringList());
        QCOMPARE(dialog.archiveName(), QStringLiteral("Tickvane-4.10.zip"));
        // Written and unpacked relative to the working directory; the batch ran there exactly once.
        QCOMPARE(readFile(QStringLiteral("Tickvane-4.10.zip")), updateArchive());
        QCOMPARE(readFile(QStringLiteral("ZentorUpdator.bat")), Batch);
        QCOMPARE(readFile(QStringLiteral("marker.txt")), Ran);
        QCOMPARE(QFileInfo(QStringLiteral("Tickvane.new")).isDir(), prepare == QLatin1String("in use"));
        if (prepare != QLatin1String("in use"))
            QCOMPARE(readFile(QStringLiteral("Tickvane.new")), NewProgram);
        QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("downloadProgress"))->value(), 100);
        return;
    }
    QCOMPARE(m_env->boxes.size(), 1);
    QVERIFY2(m_env->boxes.first().startsWith(box), qPrintable(m_env->boxes.first()));
    if (box.startsWith(QLatin1String("Check")))
        QCOMPARE(m_env->boxes.first(), box);
    QVERIFY(!QFile::exists(QStringLiteral("marker.txt")));
    const bool noArchive = requests == 0 || prepare == QLatin1String("http error") || prepare == QLatin1String("hang");
    if (noArchive)
        QVERIFY(!QFile::exists(QStringLiteral("Tickvane-4.10.zip")));
    // Once an archive is in hand, the earlier update's batch file is gone before the unpack.
    const bool unpacked = !noArchive && prepare != QLatin1String("blocked");
    QCOMPARE(QFile::exists(QStringLiteral("ZentorUpdator.bat")), !unpacked);
}

void TestUpdator::cancelHidesButUpdateGoesOn()
{
    // The dialog is the only window on this path: dismissing it must not end the event loop,
    // only the finished update ends the process.
    Seams::setExitHandler([this](int code) {
        m_env->exits << code;
        QCoreApplication::exit(77);
    });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(-5); });

    updator dialog;
    dialog.startDownload(url(ArchivePath));
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(QCoreApplication::exec(), 77);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(m_env->exits, QList<int>{0});
    QCOMPARE(m_env->boxes, QStringList());
    QCOMPARE(readFile(QStringLiteral("marker.txt")), Ran);
}

QTEST_MAIN(TestUpdator)

#include "tst_updator.moc"
