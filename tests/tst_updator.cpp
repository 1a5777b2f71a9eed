// The self-update against the local vendor (or a bare HTTP server of the test's own), the real 7za
// and a real batch file, in a temporary working directory as the program folder. Process ends and
// boxes are recorded by the test environment.
#include "app/seams.h"
#include "platform/externaltools.h"
#include "support/testenvironment.h"
#include "update/updator.h"
#include "ui_updator.h"
#include "vendorsim.h"

#include <QtTest>

#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString ArchivePath = QStringLiteral("/update/Tickvane-4.10.zip");
const QString BatchFile = QStringLiteral("ZentorUpdator.bat");
const QByteArray Batch = "echo ran >> marker.txt\n";
const QByteArray LeftOverBatch = "echo stale >> marker.txt\n";
const QByteArray EarlierProgram = "an earlier build";
// What the batch file's echo leaves: cmd keeps the blank before ">>" and ends the line with CRLF.
#ifdef Q_OS_WIN
const QByteArray Ran = "ran \r\n";
// Wine and Windows both have ping; a five-second pause without a console to wait on.
const QByteArray SlowBatch = "ping -n 6 127.0.0.1 >nul\r\necho late>late.txt\r\n";
#else
const QByteArray Ran = "ran\n";
const QByteArray SlowBatch = "sleep 5\necho late > late.txt\n";
#endif

QByteArray newProgram()
{
    QByteArray bytes(200000, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) >> 3);
    return bytes;
}

QList<QPair<QString, QByteArray>> updateMembers()
{
    return {{BatchFile, Batch}, {QStringLiteral("Tickvane.new"), newProgram()}};
}

QByteArray updateArchive()
{
    return VendorSim::makeZip(updateMembers());
}

// Cut inside the program's member, after the whole batch file: what a dropped connection leaves.
QByteArray cutArchive()
{
    return updateArchive().left(100015);
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

// Every file and folder under folder with its bytes, folders as "<folder>".
using Listing = QMap<QString, QByteArray>;
Listing listFolder(const QString &folder)
{
    Listing listing;
    const QDir base(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        listing.insert(base.relativeFilePath(path), it.fileInfo().isDir() ? QByteArray("<folder>") : readFile(path));
    }
    return listing;
}

// An HTTP server that answers every request with one body and closes, announcing the body's
// length or not at all, or a length of its own.
class BareServer final : public QObject
{
public:
    static constexpr qint64 NoLength = -1;

    explicit BareServer(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &BareServer::accept);
    }

    bool listen() { return m_server->listen(QHostAddress::LocalHost); }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_server->serverPort()); }
    void serve(const QByteArray &body, qint64 announced)
    {
        m_body = body;
        m_announced = announced;
        requests = 0;
    }

    int requests = 0;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_requestText[socket] += socket->readAll();
                if (!m_requestText[socket].contains("\r\n\r\n"))
                    return;
                m_requestText.remove(socket);
                ++requests;
                QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nConnection: close\r\n";
                if (m_announced != NoLength)
                    head += "Content-Length: " + QByteArray::number(m_announced) + "\r\n";
                socket->write(head + "\r\n" + m_body);
                socket->disconnectFromHost();
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, QByteArray> m_requestText;
    QByteArray m_body;
    qint64 m_announced = NoLength;
};

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
    void batchOutlivesTheProcess();
    // Runs the application's event loop: must stay the last test.
    void cancelHidesButUpdateGoesOn();

private:
    QString url(const QString &path) const;
    // Starts an update and waits for the process end it requests.
    bool runUpdate(updator &dialog, const QString &address);
    int updateRequests() const;
    [[nodiscard]] QString staging() const;

    std::unique_ptr<TestEnvironment> m_env;
    VendorSim::Server m_server;
    BareServer m_bare;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_previousDir;
    QByteArray m_previousPath;
};

void TestUpdator::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    QVERIFY(m_server.start());
    QVERIFY(m_bare.listen());
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
    m_bare.serve(QByteArray(), BareServer::NoLength);
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir::setCurrent(m_work->path()));
}

void TestUpdator::cleanup()
{
    qputenv("PATH", m_previousPath);
    QDir::setCurrent(m_previousDir);
    QDir(staging()).removeRecursively();
    QFile::remove(staging());
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
    int count = m_bare.requests;
    for (const VendorSim::Request &request : m_server.requests())
        count += request.path == ArchivePath;
    return count;
}

QString TestUpdator::staging() const
{
    return m_work->path() + QStringLiteral(".update");
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
    QTest::addColumn<QString>("box"); // how the one box starts, <work> the program folder; empty: the batch ran

    QTest::newRow("whole archive") << ArchivePath << "" << 1 << "";
    QTest::newRow("an earlier update's staging folder lies beside") << ArchivePath << "earlier staging" << 1 << "";

    const QString connection = QStringLiteral("Check Connection|Cannot Download Update.Check Connection!");
    QTest::newRow("cut after the batch file, on the server") << ArchivePath << "cut" << 1 << connection;
    QTest::newRow("cut after the batch file, whole length announced")
        << ArchivePath << "cut, length announced" << 1 << connection;
    QTest::newRow("cut after the batch file, connection closed without a length")
        << ArchivePath << "cut, no length" << 1 << connection;
    QTest::newRow("not an archive") << ArchivePath << "garbage" << 1 << connection;
    QTest::newRow("empty archive") << ArchivePath << "empty" << 1 << connection;
    QTest::newRow("download error") << ArchivePath << "http error" << 1 << connection;
    QTest::newRow("stalled download") << ArchivePath << "hang" << 1 << connection;
    QTest::newRow("missing archive") << "/update/missing" << "" << 0 << connection;

    QTest::newRow("address ends in a slash") << "/update/" << "" << 0
                                             << "Update Failed|The update address names no archive file";
    QTest::newRow("archive without batch file")
        << ArchivePath << "no batch" << 1
        << "Update Failed|The update archive Tickvane-4.10.zip holds no ZentorUpdator.bat";
    QTest::newRow("archive tool missing")
        << ArchivePath << "no tool" << 1
        << QStringLiteral("Update Failed|Cannot unpack the update archive Tickvane-4.10.zip: the archive tool %1 could "
                          "not be started")
               .arg(Platform::archiveTool());
    QTest::newRow("no room for the staging folder")
        << ArchivePath << "staging taken" << 1 << "Update Failed|Cannot make the folder <work>.update";
    // Sorted, the program and the batch file move before plugins/: both are put back.
    QTest::newRow("a file in the way of the update's folder")
        << ArchivePath << "folder taken" << 1 << "Update Failed|Cannot make the folder <work>/plugins.";
}

void TestUpdator::update()
{
    QFETCH(QString, path);
    QFETCH(QString, prepare);
    QFETCH(int, requests);
    QFETCH(QString, box);
    const bool fails = !box.isEmpty();

    // The program folder as an earlier update left it; a failed update must leave it exactly so.
    writeFile(BatchFile, LeftOverBatch);
    writeFile(QStringLiteral("Tickvane.new"), EarlierProgram);
    QList<QPair<QString, QByteArray>> members = updateMembers();
    QString address = url(path);
    if (prepare == QLatin1String("earlier staging")) {
        QVERIFY(QDir().mkpath(staging() + QStringLiteral("/unpacked")));
        writeFile(staging() + QStringLiteral("/unpacked/") + BatchFile, LeftOverBatch);
    } else if (prepare == QLatin1String("cut")) {
        m_server.setFile(ArchivePath, cutArchive());
    } else if (prepare.startsWith(QLatin1String("cut, "))) {
        m_bare.serve(cutArchive(), prepare.endsWith(QLatin1String("no length")) ? BareServer::NoLength
                                                                                : updateArchive().size());
        address = QStringLiteral("http://") + m_bare.hostPort() + path;
    } else if (prepare == QLatin1String("garbage")) {
        m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Garbage);
    } else if (prepare == QLatin1String("empty")) {
        m_server.setFile(ArchivePath, QByteArray());
    } else if (prepare == QLatin1String("http error")) {
        m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::HttpError);
    } else if (prepare == QLatin1String("hang")) {
        m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Hang);
    } else if (prepare == QLatin1String("no batch")) {
        members.removeFirst();
    } else if (prepare == QLatin1String("no tool")) {
        qputenv("PATH", m_work->path().toUtf8());
    } else if (prepare == QLatin1String("staging taken")) {
        writeFile(staging(), "not a folder");
    } else if (prepare == QLatin1String("folder taken")) {
        writeFile(QStringLiteral("plugins"), "not a folder");
        members.append({QStringLiteral("plugins/new.dll"), QByteArray("a plugin")});
    }
    if (members != updateMembers())
        m_server.setFile(ArchivePath, VendorSim::makeZip(members));
    const Listing before = listFolder(m_work->path());

    updator dialog;
    if (prepare == QLatin1String("hang"))
        dialog.setStallTimeout(300);
    QVERIFY(runUpdate(dialog, address));
    m_server.misbehave(QStringLiteral("update"), VendorSim::Mode::Normal);
    // The finished reply is released: nothing is left that could answer a second time.
    QTRY_VERIFY(!dialog.findChild<QNetworkReply *>());
    QCOMPARE(m_env->exits, QList<int>{0});
    QCOMPARE(updateRequests(), requests);
    // Nothing of the update stays beside the program folder, whatever the outcome.
    QVERIFY(!QFileInfo(staging()).isDir());

    if (!fails) {
        QCOMPARE(m_env->boxes, QStringList());
        QCOMPARE(dialog.archiveName(), QStringLiteral("Tickvane-4.10.zip"));
        QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("downloadProgress"))->value(), 100);
        // The batch ran once, in the program folder, over the archive's files and nothing else.
        QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("marker.txt")), Ran, 10000);
        Listing expected = before;
        for (const auto &member : members)
            expected.insert(member.first, member.second);
        expected.insert(QStringLiteral("marker.txt"), Ran);
        QCOMPARE(listFolder(m_work->path()), expected);
        return;
    }
    QCOMPARE(m_env->boxes.size(), 1);
    const QString expectedBox = box.contains(QLatin1String("<work>"))
        ? QDir::toNativeSeparators(QString(box).replace(QLatin1String("<work>"), m_work->path()))
        : box;
    QVERIFY2(m_env->boxes.first().startsWith(expectedBox), qPrintable(m_env->boxes.first()));
    if (box.startsWith(QLatin1String("Check")))
        QCOMPARE(m_env->boxes.first(), box);
    // No batch ran (one started by mistake would have written its marker by now), and the program
    // folder is byte for byte as before: the next start offers the update again.
    QTest::qWait(500);
    QCOMPARE(listFolder(m_work->path()), before);
}

void TestUpdator::batchOutlivesTheProcess()
{
    // The batch replaces the program's files once this process has ended: it must not be waited for.
    m_server.setFile(ArchivePath, VendorSim::makeZip({{BatchFile, SlowBatch}}));
    updator dialog;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runUpdate(dialog, url(ArchivePath)));
    const qint64 ended = clock.elapsed();
    QCOMPARE(m_env->exits, QList<int>{0});
    QVERIFY(!QFile::exists(QStringLiteral("late.txt")));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("late.txt")), 30000);
    const qint64 written = clock.elapsed();
    QVERIFY2(written - ended >= 3000,
             qPrintable(QStringLiteral("ended after %1 ms, the batch wrote after %2 ms").arg(ended).arg(written)));
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
    QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("marker.txt")), Ran, 10000);
}

QTEST_MAIN(TestUpdator)

#include "tst_updator.moc"
