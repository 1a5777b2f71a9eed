#include "app/config.h"
#include "feed/mydownloader.h"
#include "support/coreenvironment.h"

#include <httplib.h>

#include <QtTest>

#include <QTcpServer>
#include <QTcpSocket>

#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int LongWait = 20000;

// An HTTP server on 127.0.0.1 with answers chosen per path and every request recorded.
class LocalServer
{
public:
    struct Seen { QString method, target, body, contentType; };
    struct Answer { int status = 200; QByteArray body; bool hold = false; };  // hold: until release()

    LocalServer()
    {
        const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
            handle(request, response);
        };
        m_server.Get(".*", handler);
        m_server.Post(".*", handler);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~LocalServer()
    {
        release();
        m_server.stop();
        m_thread.join();
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString url(const QString &target) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(target);
    }

    void answer(const QString &path, const Answer &answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[path] = answer;
    }

    void release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_releasedChanged.notify_all();
    }

    [[nodiscard]] QList<Seen> seen() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

    [[nodiscard]] int count() const { return seen().size(); }

private:
    void handle(const httplib::Request &request, httplib::Response &response)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.append({QString::fromStdString(request.method), QString::fromStdString(request.target),
                       QString::fromStdString(request.body),
                       QString::fromStdString(request.get_header_value("Content-Type"))});
        const Answer answer = m_answers.value(QString::fromStdString(request.path),
                                              Answer{404, "no such path", false});
        if (answer.hold)
            m_releasedChanged.wait_for(lock, std::chrono::seconds(60), [this] { return m_released; });
        response.status = answer.status;
        response.set_content(answer.body.toStdString(), "text/plain");
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_releasedChanged;
    bool m_released = false;
    QMap<QString, Answer> m_answers;
    QList<Seen> m_seen;
};

// Answers every request with the same raw bytes and closes; or, endless, keeps sending them.
class RawServer final : public QTcpServer
{
public:
    RawServer(QByteArray answer, bool endless)
    {
        connect(this, &QTcpServer::newConnection, this, [this, answer, endless] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, answer, endless] {
                socket->readAll();
                socket->write(answer);
                if (!endless) {
                    socket->disconnectFromHost();
                    return;
                }
                auto *more = new QTimer(socket);
                connect(more, &QTimer::timeout, socket, [socket] {
                    if (socket->bytesToWrite() < (1 << 20))
                        socket->write(QByteArray(1 << 20, 'a'));
                });
                more->start(0);
            });
        });
        listen(QHostAddress::LocalHost);
    }
};

// Stops the poll timer and lets a request still in flight finish.
void stopPolling(MyDownloader &downloader)
{
    downloader.pollTimer->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!downloader.requestInFlight(), LongWait);
}

// Waits for the first reply to be stored, then stops polling so that the test can change the scene.
bool firstReplyStored(MyDownloader &downloader, QSignalSpy &finished)
{
    if (!finished.wait(LongWait))
        return false;
    stopPolling(downloader);
    finished.clear();
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}

class tst_MyDownloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void progressAndSpeedText_data();
    void progressAndSpeedText();

    void getWritesFileAndAnnounces();
    void requestSplit_data();
    void requestSplit();
    void tickDuringRequestSendsNothing();
    void watchdogAbortsAndSameUrlIsRepeated();
    void failureKeepsTheStoredReply_data();
    void failureKeepsTheStoredReply();
    void emptyBodyTruncates();
    void archives_data();
    void archives();
    void unpackFailures_data();
    void unpackFailures();
    void progressSignals();
    void oddHeads_data();
    void oddHeads();

private:
    // Built and armed the way the main window does it: thread started, both timers running.
    std::unique_ptr<MyDownloader> armed(const QString &fileName, const QString &url,
                                        const QString &destination = QString(), int method = 0);

    std::unique_ptr<CoreEnvironment> m_env;
    QTemporaryDir m_work;
    QByteArray m_zip;
};

void tst_MyDownloader::initTestCase()
{
#if defined(SIGPIPE)
    // A client that aborts leaves the server writing to a closed socket.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    QVERIFY(m_work.isValid());
    QDir(m_work.path()).mkpath(QStringLiteral("zipsource"));
    QFile member(m_work.filePath(QStringLiteral("zipsource/NIFTY.txt")));
    QVERIFY(member.open(QIODevice::WriteOnly));
    member.write("NIFTY,20261207,24000,24100,23900,24050,1000\n");
    member.close();

    QProcess sevenZip;
    sevenZip.setWorkingDirectory(m_work.filePath(QStringLiteral("zipsource")));
    sevenZip.start(QStringLiteral("7za"), {QStringLiteral("a"), QStringLiteral("-tzip"),
                                           m_work.filePath(QStringLiteral("data.zip")),
                                           QStringLiteral("NIFTY.txt")});
    QVERIFY2(sevenZip.waitForFinished(30000), "7za did not run");
    QCOMPARE(sevenZip.exitCode(), 0);
    m_zip = readFile(m_work.filePath(QStringLiteral("data.zip")));
    QVERIFY(m_zip.startsWith("PK"));
}

void tst_MyDownloader::init()
{
    m_env = std::make_unique<CoreEnvironment>();
}

void tst_MyDownloader::cleanup()
{
    m_env.reset();
}

std::unique_ptr<MyDownloader> tst_MyDownloader::armed(const QString &fileName, const QString &url,
                                                      const QString &destination, int method)
{
    auto downloader = std::make_unique<MyDownloader>(fileName, url, destination, method);
    downloader->pollTimer->start(20);
    downloader->watchdogTimer->setInterval(30000);
    downloader->watchdogTimer->start();
    return downloader;
}

void tst_MyDownloader::progressAndSpeedText_data()
{
    QTest::addColumn<bool>("speed"); // speedText(received, figure in ms), else progressText(received, total figure)
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("figure");
    QTest::addColumn<QString>("text");

    QTest::newRow("complete") << false << qint64(4096) << qint64(4096) << "100";
    QTest::newRow("partial") << false << qint64(375) << qint64(1000) << "37.5";
    QTest::newRow("nothing yet") << false << qint64(0) << qint64(1000) << "0";
    QTest::newRow("six digits") << false << qint64(1) << qint64(3) << "33.3333";
    QTest::newRow("total unknown") << false << qint64(10) << qint64(-1) << "-1000";
    QTest::newRow("large archive") << false << qint64(3000000000) << qint64(6000000000) << "50";

    QTest::newRow("bytes") << true << qint64(512) << qint64(1000) << "512.0 bytes/sec";
    QTest::newRow("small") << true << qint64(5) << qint64(1000) << "5.0 bytes/sec";
    QTest::newRow("just below kB") << true << qint64(1023) << qint64(1000) << "1023.0 bytes/sec";
    QTest::newRow("kB threshold") << true << qint64(1024) << qint64(1000) << "1.0 kB/s";
    QTest::newRow("kB") << true << qint64(1536) << qint64(1000) << "1.5 kB/s";
    QTest::newRow("MB threshold") << true << qint64(1048576) << qint64(1000) << "1.0 MB/s";
    QTest::newRow("MB") << true << qint64(5242880) << qint64(2000) << "2.5 MB/s";
    QTest::newRow("nothing received") << true << qint64(0) << qint64(0) << "0.0 bytes/sec";
    // A clock reading 0 ms counts as 1 ms: finite, not "inf MB/s".
    QTest::newRow("zero ms") << true << qint64(1000) << qint64(0) << "976.6 kB/s";
    QTest::newRow("zero ms large") << true << qint64(4194304) << qint64(0) << "4000.0 MB/s";
}

void tst_MyDownloader::progressAndSpeedText()
{
    QFETCH(bool, speed);
    QFETCH(qint64, received);
    QFETCH(qint64, figure);
    QFETCH(QString, text);
    QCOMPARE(speed ? MyDownloader::speedText(received, figure) : MyDownloader::progressText(received, figure), text);
}

void tst_MyDownloader::getWritesFileAndAnnounces()
{
    LocalServer server;
    const QByteArray quotes = "NIFTY,20261207,09:15:00,24010.5,75\nSBIN,20261207,09:15:00,812.4,300\n";
    server.answer(QStringLiteral("/rt/live"), {200, quotes, false});

    MyDownloader downloader(QStringLiteral("rt.txt"), server.url(QStringLiteral("/rt/live?uid=U&send=NIFTY")),
                            QString(), 0);
    QCOMPARE(downloader.outputFilePath(), Config::instance().nativePath(QStringLiteral("rt.txt")));

    QByteArray fileAtSignal;
    connect(&downloader, &MyDownloader::downloadfinished, this,
            [&] { fileAtSignal = readFile(downloader.outputFilePath()); });
    QSignalSpy finished(&downloader, &MyDownloader::downloadfinished);
    QSignalSpy errors(&downloader, &MyDownloader::responseError);
    downloader.watchdogTimer->setInterval(30000);
    // Never sent, thread never started: abort() only re-arms the poll timer.
    downloader.abort();
    downloader.pollTimer->start(20);
    QVERIFY(finished.wait(LongWait));

    QCOMPARE(fileAtSignal, quotes);
    QCOMPARE(readFile(Config::instance().path(QStringLiteral("rt.txt"))), quotes);
    QCOMPARE(downloader.replyBuffer, quotes);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(server.seen().first().method, QStringLiteral("GET"));

    // Polling goes on after a success.
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 3, LongWait);
    downloader.pollTimer->stop();

    // The finished reply is released; a late abort() must not reach it.
    QTRY_VERIFY_WITH_TIMEOUT(!downloader.requestInFlight(), LongWait);
    downloader.abort();
    QTest::qWait(50);
    QCOMPARE(errors.count(), 0);
}

void tst_MyDownloader::requestSplit_data()
{
    QTest::addColumn<QString>("urlText");  // %1 is the server port
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("httpMethod");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("body");     // %1 is the server port
    QTest::addColumn<QString>("contentType");

    const QString form = QStringLiteral("application/x-www-form-urlencoded");
    QTest::newRow("get keeps the query")
        << "http://127.0.0.1:%1/rt/live?uid=U1&send=NIFTY,SBIN&hash=K9" << 0 << "GET"
        << "/rt/live?uid=U1&send=NIFTY,SBIN&hash=K9" << "" << "";
    QTest::newRow("post one question mark")
        << "http://127.0.0.1:%1/rt/livepost?uid=U1&send=NIFTY,SBIN&hash=K9" << 1 << "POST"
        << "/rt/livepost" << "uid=U1&send=NIFTY,SBIN&hash=K9" << form;
    QTest::newRow("post without question mark")
        << "http://127.0.0.1:%1/rt/livepost" << 1 << "POST"
        << "/rt/livepost" << "http://127.0.0.1:%1/rt/livepost" << form;
    QTest::newRow("post two question marks")
        << "http://127.0.0.1:%1/rt/livepost?first?uid=U1&hash=K9" << 1 << "POST"
        << "/rt/livepost" << "uid=U1&hash=K9" << form;
    QTest::newRow("post empty query")
        << "http://127.0.0.1:%1/rt/livepost?" << 1 << "POST" << "/rt/livepost" << "" << form;
}

void tst_MyDownloader::requestSplit()
{
    QFETCH(QString, urlText);
    QFETCH(int, method);
    QFETCH(QString, httpMethod);
    QFETCH(QString, target);
    QFETCH(QString, body);
    QFETCH(QString, contentType);

    LocalServer server;
    server.answer(QStringLiteral("/rt/live"), {200, "GET-REPLY", false});
    server.answer(QStringLiteral("/rt/livepost"), {200, "POST-REPLY", false});

    auto downloader = armed(QStringLiteral("rt.txt"), urlText.arg(server.port()), QString(), method);
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    QVERIFY(finished.wait(LongWait));
    downloader->pollTimer->stop();

    const LocalServer::Seen first = server.seen().first();
    QCOMPARE(first.method, httpMethod);
    QCOMPARE(first.target, target);
    QCOMPARE(first.body, body.contains(QLatin1String("%1")) ? body.arg(server.port()) : body);
    QCOMPARE(first.contentType, contentType);
    QCOMPARE(downloader->replyBuffer, method == 1 ? QByteArray("POST-REPLY") : QByteArray("GET-REPLY"));
}

void tst_MyDownloader::tickDuringRequestSendsNothing()
{
    LocalServer server;
    server.answer(QStringLiteral("/rt/live"), {200, "SLOW", true});
    auto downloader = armed(QStringLiteral("rt.txt"), server.url(QStringLiteral("/rt/live")));
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);

    QTRY_COMPARE_WITH_TIMEOUT(server.count(), 1, LongWait);
    // Many ticks of the 20 ms timer fall while the reply is held back.
    QTest::qWait(500);
    QCOMPARE(server.count(), 1);
    QCOMPARE(finished.count(), 0);

    server.release();
    QVERIFY(finished.wait(LongWait));
    QTRY_VERIFY_WITH_TIMEOUT(server.count() >= 2, LongWait);
    downloader->pollTimer->stop();
}

void tst_MyDownloader::watchdogAbortsAndSameUrlIsRepeated()
{
    LocalServer server;
    server.answer(QStringLiteral("/rt/live"), {200, "NEVER SEEN", true});
    auto downloader = armed(QStringLiteral("rt.txt"), server.url(QStringLiteral("/rt/live?uid=U1&hash=K")));
    downloader->watchdogTimer->start(300);
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    QSignalSpy errors(downloader.get(), &MyDownloader::responseError);

    QVERIFY(errors.wait(LongWait));
    QTRY_VERIFY_WITH_TIMEOUT(server.count() >= 2, LongWait);
    downloader->pollTimer->stop();

    const QList<LocalServer::Seen> seen = server.seen();
    QCOMPARE(seen.at(1).target, seen.at(0).target);
    QCOMPARE(seen.at(0).target, QStringLiteral("/rt/live?uid=U1&hash=K"));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QFile::exists(Config::instance().path(QStringLiteral("rt.txt"))));
    QVERIFY(downloader->replyBuffer.isEmpty());
}

void tst_MyDownloader::failureKeepsTheStoredReply_data()
{
    QTest::addColumn<QString>("failingUrl"); // %1 is the server port; empty: the address stays
    QTest::addColumn<QString>("obstacle");   // in place of the output file, if any

    QTest::newRow("server error") << "http://127.0.0.1:%1/rt/broken" << "";
    QTest::newRow("not found") << "http://127.0.0.1:%1/rt/missing" << "";
    QTest::newRow("nothing listening") << "http://127.0.0.1:1/rt/live" << "";
    QTest::newRow("folder in the way") << "" << "folder";
    QTest::newRow("disk full") << "" << "full";
}

// A reply that failed or could not be stored is not announced as new data, and the last stored
// one stays; once the fault is gone, polling picks up again by itself.
void tst_MyDownloader::failureKeepsTheStoredReply()
{
    QFETCH(QString, failingUrl);
    QFETCH(QString, obstacle);
    if (obstacle == QLatin1String("full") && !QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");

    LocalServer server;
    server.answer(QStringLiteral("/rt/live"), {200, "FIRST,1\n", false});
    server.answer(QStringLiteral("/rt/broken"), {500, "BAD,2\n", false});
    const QString file = Config::instance().path(QStringLiteral("rt.txt"));

    auto downloader = armed(QStringLiteral("rt.txt"), server.url(QStringLiteral("/rt/live")));
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    QSignalSpy errors(downloader.get(), &MyDownloader::responseError);
    QVERIFY(firstReplyStored(*downloader, finished));

    server.answer(QStringLiteral("/rt/live"), {200, "SECOND,2\n", false});
    if (!failingUrl.isEmpty()) {
        downloader->aim(failingUrl.contains(QLatin1String("%1")) ? failingUrl.arg(server.port()) : failingUrl, 0);
    } else {
        QVERIFY(QFile::remove(file));
        QVERIFY(obstacle == QLatin1String("folder") ? QDir().mkpath(file)
                                                    : QFile::link(QStringLiteral("/dev/full"), file));
    }
    downloader->pollTimer->start(20);
    // Each tick after an error tries again.
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 2, LongWait);
    stopPolling(*downloader);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(downloader->replyBuffer, QByteArray("FIRST,1\n"));

    if (obstacle.isEmpty()) {
        QCOMPARE(readFile(file), QByteArray("FIRST,1\n"));
        downloader->aim(server.url(QStringLiteral("/rt/live")), 0);
    } else {
        QVERIFY(obstacle == QLatin1String("folder") ? QDir().rmdir(file) : QFile::remove(file));
    }
    downloader->pollTimer->start(20);
    QVERIFY(finished.wait(LongWait));
    downloader->pollTimer->stop();
    QCOMPARE(readFile(file), QByteArray("SECOND,2\n"));
    QCOMPARE(downloader->replyBuffer, QByteArray("SECOND,2\n"));
}

void tst_MyDownloader::emptyBodyTruncates()
{
    LocalServer server;
    server.answer(QStringLiteral("/rt/live"), {200, QByteArray(), false});
    const QString file = Config::instance().path(QStringLiteral("rt.txt"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("OLD,1\nOLD,2\n") > 0);
    }

    auto downloader = armed(QStringLiteral("rt.txt"), server.url(QStringLiteral("/rt/live")));
    downloader->replyBuffer = "PREVIOUS";
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    QVERIFY(finished.wait(LongWait));
    downloader->pollTimer->stop();

    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(file).size(), qint64(0));
    QVERIFY(downloader->replyBuffer.isEmpty());
}

void tst_MyDownloader::archives_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("unpacked");

    QTest::newRow("zip") << "backfilldata.zip" << true;
    QTest::newRow("zip in capitals") << "BACKFILLDATA.ZIP" << true;
    QTest::newRow("text file") << "autobackfill.txt" << false;
}

void tst_MyDownloader::archives()
{
    QFETCH(QString, fileName);
    QFETCH(bool, unpacked);

    LocalServer server;
    server.answer(QStringLiteral("/backfillS21/e/07122026/day/CASH-1.zip"), {200, m_zip, false});
    const QString destination = Config::instance().path(QStringLiteral("Backfill/"));
    const QString member = destination + QStringLiteral("NIFTY.txt");
    const QString archive = Config::instance().path(fileName);

    // Built as the backfill downloader is, then re-aimed as a run does.
    auto downloader = std::make_unique<MyDownloader>(QStringLiteral("autobackfill.txt"),
                                                     QStringLiteral("symbolUrl"), destination, 0);
    downloader->initialize(fileName, server.url(QStringLiteral("/backfillS21/e/07122026/day/CASH-1.zip")),
                           destination, 0);
    QCOMPARE(downloader->outputFilePath(), Config::instance().nativePath(fileName));

    bool memberAtSignal = false;
    bool archiveAtSignal = false;
    connect(downloader.get(), &MyDownloader::downloadfinished, this, [&] {
        memberAtSignal = QFile::exists(member);
        archiveAtSignal = QFile::exists(archive);
        downloader->pollTimer->stop();
    });
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    downloader->watchdogTimer->setInterval(5000000);
    downloader->pollTimer->start(10);
    QVERIFY(finished.wait(LongWait));

    QCOMPARE(downloader->replyBuffer, m_zip);
    QCOMPARE(memberAtSignal, unpacked);
    QCOMPARE(archiveAtSignal, !unpacked);
    if (unpacked) {
        QCOMPARE(readFile(member), QByteArray("NIFTY,20261207,24000,24100,23900,24050,1000\n"));
        QVERIFY(!QFile::exists(archive));
    } else {
        QVERIFY(!QFile::exists(member));
        QCOMPARE(readFile(archive), m_zip);
    }
}

void tst_MyDownloader::unpackFailures_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("toolOnPath");
    QTest::addColumn<QString>("reason");

    QTest::newRow("not a zip") << QByteArray("<html>Service unavailable</html>") << true
                               << "could not be unpacked (archive tool exit code 2)";
    QTest::newRow("archive tool missing") << QByteArray() << false << "could not be started";
}

// An archive that is not unpacked is a failed download, never an announced one; no request leaves
// while the tool runs.
void tst_MyDownloader::unpackFailures()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, toolOnPath);
    QFETCH(QString, reason);

    LocalServer server;
    server.answer(QStringLiteral("/e/CASH-1.zip"), {200, body.isEmpty() ? m_zip : body, false});
    const QString destination = Config::instance().path(QStringLiteral("Backfill/"));
    const QByteArray path = qgetenv("PATH");
    if (!toolOnPath)
        qputenv("PATH", QByteArray("/nonexistent"));
    auto downloader = armed(QStringLiteral("backfilldata.zip"), server.url(QStringLiteral("/e/CASH-1.zip")),
                            destination, 0);
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    QSignalSpy errors(downloader.get(), &MyDownloader::responseError);
    connect(downloader.get(), &MyDownloader::responseError, downloader.get(),
            [&] { downloader->pollTimer->stop(); });
    const bool failed = errors.wait(LongWait);
    qputenv("PATH", path);

    QVERIFY(failed);
    QCOMPARE(finished.count(), 0);
    QVERIFY2(downloader->lastError().contains(reason), qPrintable(downloader->lastError()));
    QVERIFY(!QFile::exists(Config::instance().path(QStringLiteral("backfilldata.zip"))));
    QCOMPARE(server.count(), 1);
}

void tst_MyDownloader::progressSignals()
{
    LocalServer server;
    const QByteArray big(256 * 1024, 'x');
    server.answer(QStringLiteral("/big"), {200, big, false});

    auto downloader = armed(QStringLiteral("rt.txt"), server.url(QStringLiteral("/big")));
    QSignalSpy progress(downloader.get(), &MyDownloader::updateProgress);
    QSignalSpy progress2(downloader.get(), &MyDownloader::updateProgress2);
    QSignalSpy finished(downloader.get(), &MyDownloader::downloadfinished);
    // Reports are held back for a while, but the last one shows before the reply is announced.
    int progressBeforeFinished = -1;
    connect(downloader.get(), &MyDownloader::downloadfinished, this,
            [&progress, &progressBeforeFinished] { progressBeforeFinished = progress.count(); });
    QVERIFY(finished.wait(LongWait));
    downloader->pollTimer->stop();

    QVERIFY(progress.count() > 0);
    QCOMPARE(progressBeforeFinished, progress.count());
    QCOMPARE(QList<QList<QVariant>>(progress2), QList<QList<QVariant>>(progress));
    QVERIFY(!progress.first().at(0).toString().isEmpty());
    QCOMPARE(progress.last().at(0).toString(), QStringLiteral("100"));
    const QString speed = progress.last().at(1).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d (bytes/sec|kB/s|MB/s)$")).match(speed).hasMatch(), qPrintable(speed));
}

void tst_MyDownloader::oddHeads_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("endless");
    QTest::addColumn<QByteArray>("stored");  // empty: the request fails
    QTest::addColumn<QString>("error");

    QTest::newRow("length on a folded line") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length:\r\n 5\r\n\r\nhello world")
                                             << false << QByteArray("hello") << "";
    QTest::newRow("two lengths, the first holds")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 11\r\n\r\nhello world") << false
        << QByteArray("hello") << "";
    // Read in Qt's own thread with the memory it takes bounded; the watchdog ends the request.
    QTest::newRow("a head without end") << QByteArray("HTTP/1.1 200 OK\r\nX-Long: ") << true << QByteArray()
                                        << "Operation canceled";
}

// Heads no vendor should send, read as Qt's network access reads them.
void tst_MyDownloader::oddHeads()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, endless);
    QFETCH(QByteArray, stored);
    QFETCH(QString, error);

    RawServer server(answer, endless);
    QVERIFY(server.isListening());
    MyDownloader downloader(QStringLiteral("rt.txt"), QStringLiteral("http://127.0.0.1:%1/rt/live").arg(server.serverPort()),
                            QString(), 0);
    QSignalSpy finished(&downloader, &MyDownloader::downloadfinished);
    QSignalSpy errors(&downloader, &MyDownloader::responseError);
    downloader.watchdogTimer->setInterval(1000);
    downloader.requestData();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + errors.count(), 1, LongWait);

    QCOMPARE(finished.count(), stored.isEmpty() ? 0 : 1);
    QCOMPARE(downloader.lastError(), error);
    QCOMPARE(downloader.replyBuffer, stored);
    QCOMPARE(readFile(downloader.outputFilePath()), stored.isEmpty() ? QByteArray("<unreadable>") : stored);
}

QTEST_GUILESS_MAIN(tst_MyDownloader)
#include "tst_mydownloader.moc"
