#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkCookieJar;
class QTcpSocket;

// One plain-HTTP request at a time over a kept-alive connection, in the caller's thread. It sends
// the very bytes Qt 5's QNetworkAccessManager sends, reads its replies the same way (gzip and
// deflate unpacked, redirects not followed, cookies kept) and fails with Qt's error texts, which
// the trader reads. It spares the live poll Qt's HTTP thread: the hop there and back, the header
// read byte by byte and a POST body fed over in 16 KB round trips cost more than the reply itself.
class PlainHttp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlainHttp)

public:
    explicit PlainHttp(QObject *parent = nullptr);
    ~PlainHttp() override;

    // Whether a request to url can go this way: plain http, no credentials in the URL, no proxy,
    // and a Qt whose request bytes these are. Anything else goes through QNetworkAccessManager.
    [[nodiscard]] static bool serves(const QUrl &url);
    // The request head Qt would send; public so that it can be held against Qt's own.
    [[nodiscard]] static QByteArray requestHead(const QByteArray &verb, const QUrl &url,
                                                const QByteArray &cookies, const QByteArray &contentType,
                                                qint64 contentLength);

    void get(const QUrl &url);
    void post(const QUrl &url, const QByteArray &contentType, const QByteArray &body);
    // Ends the request in flight as "Operation canceled"; finished() is emitted before it returns.
    void abort();

    [[nodiscard]] bool isRunning() const { return m_state != State::Idle; }
    [[nodiscard]] bool failed() const { return !m_error.isEmpty(); }
    [[nodiscard]] QString errorString() const { return m_error; }
    // The last reply's body, unpacked; a caller may swap it out, its room is kept for the next.
    [[nodiscard]] QByteArray &body() { return m_body; }

signals:
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void finished();

private:
    enum class State { Idle, Connecting, Waiting, Head, Body };
    enum class Framing { None, Length, Chunked, UntilClose };

    void start(const QByteArray &verb, const QUrl &url, const QByteArray &contentType, const QByteArray &body);
    void send();
    void readSocket();
    // Each returns false when it needs more bytes.
    bool readHead();
    bool readBody();
    bool takeBody(const char *data, qint64 size);
    // The packed body held so far; once it has been coming for a while, unpacked as it comes.
    bool packedTaken();
    bool unpackAsItComes(const char *data, qint64 size);
    // Unpacks the packed body held back; false when it is neither gzip nor zlib data.
    bool unpackHeld();
    void connectAndSend();
    void closed();
    void socketFailed();
    void resendOrFail();
    void complete();
    void finish(const QString &error);
    void dropConnection();

    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<QNetworkCookieJar> m_cookies;
    QString m_host;
    quint16 m_port = 0;
    quint64 m_requestNumber = 0;

    State m_state = State::Idle;
    QUrl m_url;
    QByteArray m_requestBody;
    QByteArray m_head;
    QByteArray m_headVerb;
    QUrl m_headUrl;
    QByteArray m_headCookies;
    QByteArray m_headType;
    qint64 m_headLength = -1;
    int m_attemptsLeft = 0;
    bool m_sawReplyBytes = false;

    QByteArray m_in;
    int m_inPos = 0;
    int m_status = 0;
    QString m_reason;
    bool m_keepAlive = true;
    Framing m_framing = Framing::None;
    qint64 m_remaining = 0;  // of the body (Length) or of the current chunk (Chunked)
    bool m_chunkTrailer = false;
    qint64 m_contentLength = -1;
    // A packed body is held and unpacked whole at its end, unless it is still coming after a
    // moment: then it is unpacked as it comes, so that its progress counts unpacked bytes as Qt's.
    bool m_packedBody = false;
    QByteArray m_packed;
    QElapsedTimer m_packedClock;
    struct Inflater;
    std::unique_ptr<Inflater> m_inflater;
    struct WholeUnpacker;
    std::unique_ptr<WholeUnpacker> m_wholeUnpacker;

    QByteArray m_body;
    qint64 m_received = 0;
    QString m_error;
};
