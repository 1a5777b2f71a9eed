// What a vendor's server sends back, read by the downloader's own HTTP client: status lines,
// headers, chunked and packed bodies, cut anywhere. A local server answers each request with the
// input, in pieces, then closes; the client must end the request exactly once, in a known state.
//
// Input: a byte giving the piece size (1 to 256), then the answer.
#include "feed/plainhttp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Stage
{
    QCoreApplication *app = nullptr;
    QTcpServer *server = nullptr;
    QByteArray answer;
    int piece = 1;
};

Stage &stage()
{
    static Stage s = [] {
        Stage made;
        static int argc = 1;
        static char name[] = "fuzz_http";
        static char *argv[] = {name, nullptr};
        made.app = new QCoreApplication(argc, argv);
        made.server = new QTcpServer;
        if (!made.server->listen(QHostAddress::LocalHost))
            std::abort();
        return made;
    }();
    return s;
}

void answer(QTcpSocket *socket)
{
    Stage &s = stage();
    // Once the whole request is in, the answer goes in pieces, then the connection closes.
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &s] {
        if (!socket->readAll().contains("\r\n\r\n"))
            return;
        for (int at = 0; at < s.answer.size(); at += s.piece) {
            socket->write(s.answer.mid(at, s.piece));
            socket->flush();
        }
        socket->disconnectFromHost();
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    Stage &s = stage();
    s.piece = 1 + data[0];
    s.answer = QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const QMetaObject::Connection accepting = QObject::connect(s.server, &QTcpServer::newConnection, [&s] {
        while (QTcpSocket *socket = s.server->nextPendingConnection())
            answer(socket);
    });

    PlainHttp client;
    int finished = 0;
    QEventLoop loop;
    QObject::connect(&client, &PlainHttp::finished, &loop, [&] {
        ++finished;
        loop.quit();
    });
    client.get(QUrl(QStringLiteral("http://127.0.0.1:%1/rt/live?uid=U").arg(s.server->serverPort())));
    // A client that waits on a closed connection is a finding: the watchdog would hide it.
    QTimer::singleShot(5000, &loop, [&] {
        std::fprintf(stderr, "no end to the request\n");
        std::abort();
    });
    loop.exec();
    QObject::disconnect(accepting);

    if (finished != 1 || client.isRunning())
        std::abort();
    if (client.failed() && client.errorString().isEmpty())
        std::abort();
    // Late events of this request must not end it again.
    QCoreApplication::processEvents();
    if (finished != 1)
        std::abort();
    return 0;
}
