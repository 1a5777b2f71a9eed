#include "feed/plainhttp.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QLocale>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QTcpSocket>

#if __has_include(<QtZlib/zlib.h>)
#include <QtZlib/zlib.h>
#else
#include <zlib.h>
#endif

#include <libdeflate.h>

#include <algorithm>
#include <limits>

namespace {

// Qt sends a request again once when its connection closes before an answer begins.
constexpr int ResendAttempts = 1;
constexpr int MinimumRoom = 64 * 1024;
// A packed body still arriving this long after its first bytes is unpacked as it comes.
constexpr int HoldPackedMs = 20;
// What one reply may hold in memory: more would overflow the buffers' sizes.
constexpr qint64 MaxHeldBytes = qint64(1) << 30;

QString qtText(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

// Qt 5 frees an emptied buffer unless its room was reserved: this one keeps it for the next reply.
void emptyKeepingRoom(QByteArray &buffer)
{
    buffer.reserve(int(buffer.capacity()));
    buffer.resize(0);
}

QString tooLargeText()
{
    return QStringLiteral("The reply is too large to be held in memory (over %1 MB).").arg(MaxHeldBytes >> 20);
}

// The language Qt announces: the system locale, with English as the fallback.
QByteArray acceptLanguage()
{
    const QString locale = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (locale == QLatin1String("C"))
        return QByteArrayLiteral("en,*");
    if (locale.startsWith(QLatin1String("en-")))
        return locale.toLatin1() + ",*";
    return locale.toLatin1() + ",en,*";
}

bool fieldIs(const QByteArray &line, int colon, const char *name)
{
    return line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0;
}

}

struct PlainHttp::Inflater
{
    z_stream stream{};
    bool ended = false;
    bool tooLarge = false;

    Inflater() { inflateInit2(&stream, MAX_WBITS + 32); }
    ~Inflater() { inflateEnd(&stream); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Unpacks into the end of out; false when the data is not gzip or zlib.
    bool feed(const char *data, qint64 size, QByteArray &out)
    {
        if (ended)
            return true;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        stream.avail_in = uInt(size);
        for (;;) {
            const qint64 capacity = out.capacity();
            if (capacity * 2 > MaxHeldBytes) {
                tooLarge = true;
                return false;
            }
            if (capacity - out.size() < 4096)
                out.reserve(int(std::max<qint64>({MinimumRoom, capacity * 2, out.size() + size * 4})));
            const int used = int(out.size());
            const int room = int(out.capacity()) - used;
            out.resize(used + room);
            stream.next_out = reinterpret_cast<Bytef *>(out.data() + used);
            stream.avail_out = uInt(room);
            const int result = inflate(&stream, Z_NO_FLUSH);
            out.resize(used + room - int(stream.avail_out));
            if (result == Z_STREAM_END) {
                ended = true;
                return true;
            }
            if (result != Z_OK && result != Z_BUF_ERROR)
                return false;
            if (stream.avail_in == 0 && stream.avail_out > 0)
                return true;
        }
    }
};

struct PlainHttp::WholeUnpacker
{
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    WholeUnpacker() = default;
    ~WholeUnpacker() { libdeflate_free_decompressor(decompressor); }
    WholeUnpacker(const WholeUnpacker &) = delete;
    WholeUnpacker &operator=(const WholeUnpacker &) = delete;

    // The first gzip member or zlib stream of packed, into out; false on anything amiss.
    bool unpack(const QByteArray &packed, QByteArray &out)
    {
        const bool gzip = packed.size() >= 2 && uchar(packed.at(0)) == 0x1f && uchar(packed.at(1)) == 0x8b;
        qint64 room = std::max<qint64>({MinimumRoom, out.capacity(), qint64(packed.size()) * 4});
        for (;;) {
            out.resize(int(room));
            size_t used = 0;
            size_t made = 0;
            const libdeflate_result result = gzip
                ? libdeflate_gzip_decompress_ex(decompressor, packed.constData(), size_t(packed.size()),
                                                out.data(), size_t(room), &used, &made)
                : libdeflate_zlib_decompress_ex(decompressor, packed.constData(), size_t(packed.size()),
                                                out.data(), size_t(room), &used, &made);
            if (result == LIBDEFLATE_SUCCESS) {
                out.resize(int(made));
                return true;
            }
            if (result != LIBDEFLATE_INSUFFICIENT_SPACE || room * 2 > MaxHeldBytes) {
                out.resize(0);
                return false;
            }
            room *= 2;
        }
    }
};

PlainHttp::PlainHttp(QObject *parent)
    : QObject(parent)
{
}

PlainHttp::~PlainHttp()
{
    dropConnection();
}

bool PlainHttp::serves(const QUrl &url)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 announces other encodings and talks other protocols; it keeps its own client.
    Q_UNUSED(url)
    return false;
#else
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy
        || (proxies.first().type() == QNetworkProxy::DefaultProxy && proxies.first().hostName().isEmpty());
#endif
}

QByteArray PlainHttp::requestHead(const QByteArray &verb, const QUrl &url, const QByteArray &cookies,
                                  const QByteArray &contentType, qint64 contentLength)
{
    QUrl::FormattingOptions format(QUrl::RemoveFragment | QUrl::RemoveUserInfo | QUrl::FullyEncoded
                                   | QUrl::RemoveScheme | QUrl::RemoveAuthority);
    QUrl target = url;
    if (target.path().isEmpty())
        target.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;

    QByteArray host;
    QHostAddress address;
    if (address.setAddress(url.host()))
        host = address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + url.host().toLatin1() + ']'
                                                                    : url.host().toLatin1();
    else
        host = QUrl::toAce(url.host());
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());

    QByteArray head = verb + ' ' + target.toEncoded(format) + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    if (!cookies.isEmpty())
        head += "Cookie: " + cookies + "\r\n";
    if (contentLength >= 0)
        head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    head += "Connection: Keep-Alive\r\nAccept-Encoding: gzip, deflate\r\nAccept-Language: " + acceptLanguage()
        + "\r\nUser-Agent: Mozilla/5.0\r\n\r\n";
    return head;
}

void PlainHttp::get(const QUrl &url)
{
    start(QByteArrayLiteral("GET"), url, QByteArray(), QByteArray());
}

void PlainHttp::post(const QUrl &url, const QByteArray &contentType, const QByteArray &body)
{
    start(QByteArrayLiteral("POST"), url, contentType, body);
}

void PlainHttp::start(const QByteArray &verb, const QUrl &url, const QByteArray &contentType, const QByteArray &body)
{
    if (isRunning())
        abort();
    m_url = url;
    QByteArray cookies;
    if (m_cookies) {
        for (const QNetworkCookie &cookie : m_cookies->cookiesForUrl(url))
            cookies += (cookies.isEmpty() ? "" : "; ") + cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    const bool posting = verb == "POST";
    const qint64 length = posting ? body.size() : -1;
    // The same poll goes out tick after tick: its head is built when something in it changes.
    if (verb != m_headVerb || url != m_headUrl || cookies != m_headCookies || contentType != m_headType
        || length != m_headLength) {
        m_head = requestHead(verb, url, cookies, contentType, length);
        m_headVerb = verb;
        m_headUrl = url;
        m_headCookies = cookies;
        m_headType = contentType;
        m_headLength = length;
    }
    // Shared, not copied: the caller keeps the same body from tick to tick.
    m_requestBody = posting ? body : QByteArray();
    m_attemptsLeft = ResendAttempts;
    ++m_requestNumber;
    m_error.clear();
    m_received = 0;
    emptyKeepingRoom(m_body);

    const QString host = url.host();
    const quint16 port = quint16(url.port(80));
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState && host == m_host && port == m_port) {
        send();
        return;
    }
    dropConnection();
    m_host = host;
    m_port = port;
    connectAndSend();
}

void PlainHttp::connectAndSend()
{
    dropConnection();
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket.get(), &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_state == State::Connecting)
            send();
    });
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &PlainHttp::readSocket);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &PlainHttp::closed);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            closed();
        else
            socketFailed();
    });
    m_state = State::Connecting;
    m_socket->connectToHost(m_host, m_port);
}

void PlainHttp::send()
{
    emptyKeepingRoom(m_in);
    m_inPos = 0;
    m_status = 0;
    m_reason.clear();
    m_keepAlive = true;
    m_framing = Framing::None;
    m_remaining = 0;
    m_chunkTrailer = false;
    m_contentLength = -1;
    m_packedBody = false;
    emptyKeepingRoom(m_packed);
    m_packedClock.invalidate();
    m_inflater.reset();
    m_sawReplyBytes = false;
    m_state = State::Waiting;
    m_socket->write(m_head);
    if (!m_requestBody.isEmpty())
        m_socket->write(m_requestBody);
}

void PlainHttp::readSocket()
{
    if (!m_socket)
        return;
    if (m_state == State::Idle || m_state == State::Connecting) {
        // Nothing is owed: bytes now belong to no request, so the connection is not trusted again.
        if (m_state == State::Idle && m_socket->bytesAvailable() > 0)
            dropConnection();
        return;
    }
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return;
    m_sawReplyBytes = true;
    const qint64 before = m_received;
    if (m_in.size() + m_body.size() + m_packed.size() + available > MaxHeldBytes) {
        finish(tooLargeText());
        return;
    }

    if (m_state == State::Body && m_framing == Framing::Length && !m_inflater && m_inPos == m_in.size()) {
        // The common case: the body, or the packed body held whole, straight from the socket
        // into its place.
        QByteArray &into = m_packedBody ? m_packed : m_body;
        const int take = int(std::min(available, m_remaining));
        const int used = int(into.size());
        into.resize(used + take);
        const qint64 got = std::max<qint64>(m_socket->read(into.data() + used, take), 0);
        into.resize(used + int(got));
        m_remaining -= got;
        if (m_packedBody) {
            if (!packedTaken())
                return;
        } else {
            m_received += got;
        }
        if (m_remaining == 0) {
            complete();
            return;
        }
        if (m_received != before)
            emit downloadProgress(m_received, m_packedBody ? -1 : m_contentLength);
        return;
    }

    if (m_inPos > 0) {
        m_in.remove(0, m_inPos);
        m_inPos = 0;
    }
    const int used = m_in.size();
    m_in.resize(used + int(available));
    const qint64 got = m_socket->read(m_in.data() + used, m_in.size() - used);
    m_in.resize(used + int(std::max<qint64>(got, 0)));

    const quint64 request = m_requestNumber;
    while (m_state == State::Waiting || m_state == State::Head || m_state == State::Body) {
        const bool moved = m_state == State::Body ? readBody() : readHead();
        // Finished (a handler may have begun the next request), or being sent again.
        if (request != m_requestNumber || m_state == State::Idle || m_state == State::Connecting)
            return;
        if (!moved)
            break;
    }
    if (m_received != before)
        emit downloadProgress(m_received, m_packedBody ? -1 : m_contentLength);
}

bool PlainHttp::readHead()
{
    for (;;) {
        const int end = m_in.indexOf('\n', m_inPos);
        if (end < 0)
            return false;
        QByteArray line = m_in.mid(m_inPos, end - m_inPos);
        m_inPos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);

        if (m_state == State::Waiting) {
            if (line.trimmed().isEmpty())
                continue;
            // As Qt reads a status line: 'HTTP/n.n xxx Message'.
            if (line.size() < 11 || !line.startsWith("HTTP/") || line.at(6) != '.' || line.at(8) != ' ') {
                resendOrFail();
                return false;
            }
            const int major = line.at(5) - '0';
            const int minor = line.at(7) - '0';
            const int space = line.indexOf(' ', 9);
            bool ok = false;
            m_status = line.mid(9, space - 9).toInt(&ok);
            m_reason = QString::fromLatin1(line.constData() + space + 1);
            if (!ok || uint(major) > 9 || uint(minor) > 9) {
                resendOrFail();
                return false;
            }
            m_keepAlive = !(major == 1 && minor == 0);
            m_state = State::Head;
            continue;
        }

        if (!line.isEmpty()) {
            const int colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (fieldIs(line, colon, "content-length")) {
                bool ok = false;
                const qint64 length = value.toLongLong(&ok);
                m_contentLength = ok ? length : -1;
            } else if (fieldIs(line, colon, "transfer-encoding")) {
                if (value.toLower().contains("chunked"))
                    m_framing = Framing::Chunked;
            } else if (fieldIs(line, colon, "content-encoding")) {
                const QByteArray encoding = value.toLower();
                m_packedBody = encoding == "gzip" || encoding == "deflate";
            } else if (fieldIs(line, colon, "connection")) {
                const QByteArray connection = value.toLower();
                m_keepAlive = !connection.contains("close") && (m_keepAlive || connection.contains("keep-alive"));
            } else if (fieldIs(line, colon, "set-cookie")) {
                if (!m_cookies)
                    m_cookies = std::make_unique<QNetworkCookieJar>();
                m_cookies->setCookiesFromUrl(QNetworkCookie::parseCookies(value), m_url);
            }
            continue;
        }

        // The end of the head.
        if (m_status == 100) {
            m_state = State::Waiting;
            m_framing = Framing::None;
            m_contentLength = -1;
            m_packedBody = false;
            return true;
        }
        const bool noBody = (m_status >= 100 && m_status < 200) || m_status == 204 || m_status == 304;
        if (m_framing == Framing::Chunked) {
            m_contentLength = -1;
            m_remaining = -1;
        } else if (noBody || m_contentLength == 0) {
            m_framing = Framing::None;
        } else if (m_contentLength > 0) {
            m_framing = Framing::Length;
            m_remaining = m_contentLength;
        } else {
            m_framing = Framing::UntilClose;
        }
        if (noBody || m_framing == Framing::None) {
            complete();
            return true;
        }
        m_state = State::Body;
        return true;
    }
}

bool PlainHttp::readBody()
{
    const char *data = m_in.constData();
    const int size = m_in.size();
    switch (m_framing) {
    case Framing::Length: {
        const int count = int(std::min<qint64>(size - m_inPos, m_remaining));
        if (!takeBody(data + m_inPos, count))
            return false;
        m_inPos += count;
        m_remaining -= count;
        if (m_remaining == 0) {
            complete();
            return true;
        }
        return false;
    }
    case Framing::UntilClose: {
        const int from = m_inPos;
        m_inPos = size;
        takeBody(data + from, size - from);
        return false;
    }
    case Framing::Chunked:
        for (;;) {
            if (m_remaining > 0) {
                const int count = int(std::min<qint64>(size - m_inPos, m_remaining));
                if (count == 0)
                    return false;
                if (!takeBody(data + m_inPos, count))
                    return false;
                m_inPos += count;
                m_remaining -= count;
                if (m_remaining > 0)
                    return false;
                m_remaining = -2;  // the line end after the chunk's data
            }
            const int end = m_in.indexOf('\n', m_inPos);
            if (end < 0)
                return false;
            QByteArray line = m_in.mid(m_inPos, end - m_inPos).trimmed();
            m_inPos = end + 1;
            if (m_chunkTrailer) {
                if (line.isEmpty()) {
                    complete();
                    return true;
                }
                continue;
            }
            if (m_remaining == -2) {
                m_remaining = -1;
                if (line.isEmpty())
                    continue;
            }
            const int extension = line.indexOf(';');
            bool ok = false;
            const qint64 chunk = line.left(extension < 0 ? line.size() : extension).trimmed().toLongLong(&ok, 16);
            if (!ok || chunk < 0) {
                finish(qtText("QHttp", "Data corrupted"));
                return false;
            }
            if (chunk == 0)
                m_chunkTrailer = true;
            else
                m_remaining = chunk;
        }
    case Framing::None:
        break;
    }
    return false;
}

bool PlainHttp::takeBody(const char *data, qint64 size)
{
    if (size <= 0)
        return true;
    if (m_packedBody && !m_inflater) {
        m_packed.append(data, int(size));
        return packedTaken();
    }
    if (m_inflater)
        return unpackAsItComes(data, size);
    m_body.append(data, int(size));
    m_received += size;
    return true;
}

bool PlainHttp::packedTaken()
{
    if (!m_packedClock.isValid())
        m_packedClock.start();
    if (m_packedClock.elapsed() < HoldPackedMs)
        return true;
    m_inflater = std::make_unique<Inflater>();
    // Taken out while it is unpacked, and handed back empty with its room.
    QByteArray held;
    held.swap(m_packed);
    const bool unpacked = unpackAsItComes(held.constData(), held.size());
    held.resize(0);
    m_packed.swap(held);
    return unpacked;
}

bool PlainHttp::unpackAsItComes(const char *data, qint64 size)
{
    const qint64 before = m_body.size();
    if (!m_inflater->feed(data, size, m_body)) {
        finish(m_inflater->tooLarge ? tooLargeText() : qtText("QHttp", "Data corrupted"));
        return false;
    }
    m_received += m_body.size() - before;
    return true;
}

bool PlainHttp::unpackHeld()
{
    if (m_packed.isEmpty())
        return true;
    if (!m_wholeUnpacker)
        m_wholeUnpacker = std::make_unique<WholeUnpacker>();
    bool unpacked = m_wholeUnpacker->unpack(m_packed, m_body);
    if (!unpacked) {
        // Whatever the whole-body unpacker refuses, zlib decides, as it does for Qt: a stream
        // cut short yields what it holds, anything else is corrupt.
        m_inflater = std::make_unique<Inflater>();
        unpacked = m_inflater->feed(m_packed.constData(), m_packed.size(), m_body);
    }
    m_packed.resize(0);
    m_received = m_body.size();
    return unpacked;
}

void PlainHttp::closed()
{
    if (!m_socket)
        return;
    if (m_state != State::Idle && m_socket->bytesAvailable() > 0)
        readSocket();
    switch (m_state) {
    case State::Idle:
        dropConnection();
        return;
    case State::Body:
        if (m_framing == Framing::UntilClose) {
            m_keepAlive = false;
            complete();
        } else {
            finish(qtText("QHttp", "Connection closed"));
        }
        return;
    case State::Connecting:
    case State::Waiting:
    case State::Head:
        resendOrFail();
        return;
    }
}

void PlainHttp::socketFailed()
{
    if (!m_socket || m_state == State::Idle) {
        dropConnection();
        return;
    }
    switch (m_socket->error()) {
    case QAbstractSocket::HostNotFoundError:
        finish(qtText("QHttp", "Host %1 not found").arg(m_host));
        return;
    case QAbstractSocket::ConnectionRefusedError:
        finish(qtText("QHttp", "Connection refused"));
        return;
    case QAbstractSocket::SocketTimeoutError:
        if (m_state == State::Waiting && !m_sawReplyBytes && m_attemptsLeft-- > 0) {
            connectAndSend();
            return;
        }
        finish(qtText("QAbstractSocket", "Socket operation timed out"));
        return;
    default:
        finish(m_socket->errorString());
        return;
    }
}

void PlainHttp::resendOrFail()
{
    if (m_attemptsLeft-- <= 0) {
        finish(qtText("QHttp", "Connection closed"));
        return;
    }
    // Sent again on a new connection, as it was built.
    connectAndSend();
}

void PlainHttp::complete()
{
    // Bytes past the reply's end answer nothing that was asked: the connection is not used again.
    if (!m_keepAlive || m_inPos < m_in.size() || (m_socket && m_socket->bytesAvailable() > 0))
        dropConnection();
    if (!unpackHeld()) {
        finish(m_inflater && m_inflater->tooLarge ? tooLargeText() : qtText("QHttp", "Data corrupted"));
        return;
    }
    QString error;
    if (m_status >= 400) {
        // Qt asks for credentials on any 401, and has none to give.
        error = m_status == 401
            ? qtText("QHttp", "Host requires authentication")
            : qtText("QNetworkReply", "Error transferring %1 - server replied: %2").arg(m_url.toString(), m_reason);
    }
    finish(error);
}

void PlainHttp::finish(const QString &error)
{
    // A reply cut short leaves the connection in an unknown place; an HTTP error does not.
    if (!error.isEmpty() && m_status < 400) {
        dropConnection();
        // Its progress counts what had been unpacked, as Qt's does.
        unpackHeld();
    }
    m_error = error;
    m_state = State::Idle;
    const qint64 total = m_packedBody || m_contentLength < 0 ? m_received : m_contentLength;
    emit downloadProgress(m_received, total);
    emit finished();
}

void PlainHttp::abort()
{
    if (!isRunning())
        return;
    dropConnection();
    finish(qtText("QNetworkReply", "Operation canceled"));
}

void PlainHttp::dropConnection()
{
    if (!m_socket)
        return;
    // Taken out first: aborting may report the close through the very signals handled here.
    std::unique_ptr<QTcpSocket> socket = std::move(m_socket);
    socket->disconnect(this);
    socket->abort();
    socket.release()->deleteLater();
}
