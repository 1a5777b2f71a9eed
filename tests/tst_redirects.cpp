// A vendor server that answers with a redirect sees the same requests from the Qt 5 and the Qt 6
// build: the downloader never follows it (Qt 6 would) and never takes it for the answer. The
// request fails naming where the vendor pointed, and the live feed's indicator and log say so.
#include "app/config.h"
#include "app/eventlog.h"
#include "feed/feedsession.h"
#include "feed/mydownloader.h"
#include "platform/automationobject.h"
#include "support/coreenvironment.h"
#include "support/sessionprobe.h"
#include "symbols/feeds.h"
#include "vendor/account.h"
#include "vendor/vendorconnection.h"

#include <QtTest>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Plain HTTP on 127.0.0.1: "/moved" answers with the status asked for, pointing at the location
// asked for; "/target" answers 200.
class RedirectingServer final : public QTcpServer
{
public:
    RedirectingServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        });
    }

    QByteArray status = "302 Found";
    QByteArray location = "/target";
    QStringList requestLines;

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_pending[socket];
        request += socket->readAll();
        const int headerEnd = request.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QByteArray header = request.left(headerEnd);
        const int lengthAt = header.toLower().indexOf("content-length:");
        const int bodyLength = lengthAt < 0 ? 0 : header.mid(lengthAt + 15).split('\r').first().trimmed().toInt();
        if (request.size() < headerEnd + 4 + bodyLength)
            return;
        const QByteArray line = header.left(header.indexOf("\r\n"));
        requestLines << QString::fromLatin1(line);
        m_pending.remove(socket);

        const bool moved = line.contains(" /moved");
        const QByteArray body = moved ? QByteArray("moved") : QByteArray("NSE,TCS,20261207,10:00:00,3500.5,10,1,0\n");
        socket->write("HTTP/1.1 " + (moved ? status : QByteArray("200 OK"))
                      + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
                      + (moved ? "\r\nLocation: " + location : QByteArray()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QHash<QTcpSocket *, QByteArray> m_pending;
};

// The text with %1 filled in, where it has one.
QString filled(const QString &text, const QString &hostPort)
{
    return text.contains(QLatin1String("%1")) ? text.arg(hostPort) : text;
}

QString logText()
{
    EventLog::flush();
    QFile file(EventLog::folder() + QLatin1Char('/') + EventLog::fileName(QDate::currentDate()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}

class tst_Redirects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void redirectIsNamedNotFollowed_data();
    void redirectIsNamedNotFollowed();
    void liveFeedTellsTheTrader();

private:
    std::unique_ptr<CoreEnvironment> m_env;
};

void tst_Redirects::initTestCase()
{
    m_env = std::make_unique<CoreEnvironment>();
}

void tst_Redirects::redirectIsNamedNotFollowed_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("location");  // %1: the server's host:port
    QTest::addColumn<QString>("requestLine");
    QTest::addColumn<QString>("named");        // %1: the server's host:port

    QTest::newRow("GET, 302 to a path") << 0 << QByteArray("302 Found") << QByteArray("/target")
                                        << "GET /moved?uid=U&send=NIFTY-I&hash=K HTTP/1.1"
                                        << "(302 Found) to http://%1/target,";
    QTest::newRow("POST, 302 to a path") << 1 << QByteArray("302 Found") << QByteArray("/target")
                                         << "POST /moved HTTP/1.1" << "(302 Found) to http://%1/target,";
    QTest::newRow("GET, 301 elsewhere") << 0 << QByteArray("301 Moved Permanently")
                                        << QByteArray("http://feed.example.net/rt/live")
                                        << "GET /moved?uid=U&send=NIFTY-I&hash=K HTTP/1.1"
                                        << "(301 Moved Permanently) to http://feed.example.net/rt/live,";
    QTest::newRow("POST, 307 keeping the method") << 1 << QByteArray("307 Temporary Redirect")
                                                  << QByteArray("http://%1/target") << "POST /moved HTTP/1.1"
                                                  << "(307 Temporary Redirect) to http://%1/target,";
    QTest::newRow("POST, 308") << 1 << QByteArray("308 Permanent Redirect") << QByteArray("target")
                               << "POST /moved HTTP/1.1" << "(308 Permanent Redirect) to http://%1/target,";
}

void tst_Redirects::redirectIsNamedNotFollowed()
{
    QFETCH(int, method);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, location);
    QFETCH(QString, requestLine);
    QFETCH(QString, named);

    RedirectingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    server.status = status;
    server.location = filled(QString::fromLatin1(location), hostPort).toLatin1();
    const QString url = QStringLiteral("http://%1/moved?uid=U&send=NIFTY-I&hash=K").arg(hostPort);
    MyDownloader downloader(QStringLiteral("rt.txt"), url, QString(), method);
    downloader.replyBuffer = "EARLIER,1\n";
    QSignalSpy finished(&downloader, &MyDownloader::downloadfinished);
    QSignalSpy failed(&downloader, &MyDownloader::responseError);
    downloader.watchdogTimer->setInterval(30000);

    downloader.requestData();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size() + failed.size(), 1, 30000);

    // Nothing went to the place it pointed at, and the redirect's body is nobody's answer.
    QCOMPARE(server.requestLines, QStringList{requestLine});
    QCOMPARE(finished.size(), 0);
    QCOMPARE(downloader.lastError(), QStringLiteral("The vendor answered with a redirect %1 which the feed does not follow.")
                                         .arg(filled(named, hostPort)));
    QCOMPARE(downloader.lastFailureCause(), QStringLiteral("the vendor redirects"));
    QCOMPARE(downloader.replyBuffer, QByteArray("EARLIER,1\n"));
    QVERIFY(!QFile::exists(downloader.outputFilePath()));
}

// The live feed against a vendor that redirects: no file reaches AmiBroker, the indicator names
// the redirect and the log says where it points.
void tst_Redirects::liveFeedTellsTheTrader()
{
    RedirectingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    const QTemporaryDir logs;
    EventLog log(logs.path());

    VendorConnection connection(Config::instance().database());
    FeedSession session(Platform::createAutomationObject, connection);
    qint64 now = 1000000;
    inside(session).health().setClock([&now] { return now; });
    Account account;
    account.dataPathGet = hostPort + QStringLiteral("/moved");
    account.dataPathPost = hostPort + QStringLiteral("/moved");
    account.secureKey = QStringLiteral("K");
    session.takeAccount(account);
    session.setUserId(QStringLiteral("U"));
    session.enableFeeds(QStringLiteral("CASH"));
    session.startLive();
    session.assignSelection({QStringLiteral("TCS")}, {QStringLiteral("CASH")});
    QTRY_VERIFY_WITH_TIMEOUT(server.requestLines.size() >= 2, 30000);
    now += 4000;

    const FeedHealth::Report report = session.healthReport();
    // Beside whatever AmiBroker's stand-in says where there is none (under Wine).
    QVERIFY2(report.text.split(QStringLiteral(" \u00b7 ")).contains(QStringLiteral("Stale 4 s: the vendor redirects")),
             qPrintable(report.text));
    const QString target = QStringLiteral("to http://%1/target, which the feed does not follow.").arg(hostPort);
    QVERIFY2(report.tooltip.contains(target), qPrintable(report.tooltip));
    QVERIFY2(logText().contains(QStringLiteral("WARN feed live replies failing: The vendor answered with a redirect "
                                               "(302 Found) ")
                                + target),
             qPrintable(logText()));
    for (const QString &line : server.requestLines)
        QVERIFY2(line.contains(QLatin1String(" /moved")), qPrintable(line));
    for (const QString &call : m_env->journal())
        QVERIFY2(!call.startsWith(QLatin1String("Import(")), qPrintable(call));
    session.silence();
}

QTEST_MAIN(tst_Redirects)

#include "tst_redirects.moc"
