// A vendor server that answers with a redirect sees the same requests from the Qt 5 and the Qt 6
// build: the downloader takes the redirect as the answer and never follows it (Qt 6 would).
#include "feed/mydownloader.h"

#include "support/coreenvironment.h"

#include <QtTest>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Plain HTTP on 127.0.0.1: "/moved" answers 302 towards "/target", which answers 200.
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

        const QByteArray body = line.contains(" /moved") ? QByteArray("moved") : QByteArray("NIFTY-I,100\n");
        const QByteArray status = line.contains(" /moved") ? QByteArray("302 Found") : QByteArray("200 OK");
        const QByteArray location = "http://" + serverAddress().toString().toLatin1() + ':'
                                    + QByteArray::number(serverPort()) + "/target";
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\nLocation: " + location
                      + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QHash<QTcpSocket *, QByteArray> m_pending;
};

}

class tst_Redirects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void redirectIsTheAnswer_data();
    void redirectIsTheAnswer();

private:
    std::unique_ptr<CoreEnvironment> m_env;
};

void tst_Redirects::initTestCase()
{
    m_env = std::make_unique<CoreEnvironment>();
}

void tst_Redirects::redirectIsTheAnswer_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("requestLine");

    QTest::newRow("GET") << 0 << "GET /moved?uid=U&send=NIFTY-I&hash=K HTTP/1.1";
    QTest::newRow("POST") << 1 << "POST /moved HTTP/1.1";
}

void tst_Redirects::redirectIsTheAnswer()
{
    QFETCH(int, method);
    QFETCH(QString, requestLine);

    RedirectingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString url = QStringLiteral("http://127.0.0.1:%1/moved?uid=U&send=NIFTY-I&hash=K").arg(server.serverPort());
    MyDownloader downloader(QStringLiteral("rt.txt"), url, QString(), method);
    QSignalSpy finished(&downloader, &MyDownloader::downloadfinished);
    QSignalSpy failed(&downloader, &MyDownloader::responseError);
    downloader.watchdogTimer->setInterval(30000);

    downloader.requestData();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size() + failed.size(), 1, 30000);

    // The redirect's own body is the reply; nothing went to the place it pointed at.
    QVERIFY2(failed.isEmpty(), qPrintable(downloader.lastError()));
    QCOMPARE(server.requestLines, QStringList{requestLine});
    QCOMPARE(finished.size(), 1);
    QCOMPARE(downloader.replyBuffer, QByteArray("moved"));
    QFile written(downloader.outputFilePath());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("moved"));
}

QTEST_GUILESS_MAIN(tst_Redirects)

#include "tst_redirects.moc"
