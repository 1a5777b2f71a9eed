#include "marketdata.h"
#include "vendorsim.h"

#include <httplib.h>

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace VendorSim {

bool parseMode(const QString &name, Mode *mode)
{
    static const QHash<QString, Mode> modes = {
        {QStringLiteral("normal"), Mode::Normal},     {QStringLiteral("httperror"), Mode::HttpError},
        {QStringLiteral("http-error"), Mode::HttpError}, {QStringLiteral("error"), Mode::HttpError},
        {QStringLiteral("500"), Mode::HttpError},     {QStringLiteral("hang"), Mode::Hang},
        {QStringLiteral("truncated"), Mode::Truncated}, {QStringLiteral("garbage"), Mode::Garbage},
        {QStringLiteral("huge"), Mode::Huge},
    };
    const auto it = modes.constFind(name.trimmed().toLower());
    if (it == modes.constEnd())
        return false;
    *mode = *it;
    return true;
}

namespace {

constexpr int HangMilliseconds = 120000;
constexpr int HangSliceMilliseconds = 20;
constexpr int HugeBytes = 20 * 1024 * 1024;
constexpr int MaxBackfillDays = 400;
constexpr int WorkerThreads = 32;

const char *const TextType = "text/plain; charset=utf-8";
const char *const ZipType = "application/zip";
const char *const BinaryType = "application/octet-stream";
// Symbols outside the catalogue, when any symbol is answered.
const QString MadeUpExchange = QStringLiteral("CASH");

// The update batch file: plain commands that cmd.exe and /bin/sh both run.
const QByteArray UpdateScript = QByteArrayLiteral("echo updated>>update-marker.txt\n");

using Entries = QList<QPair<QString, QByteArray>>;

// A connection's request is read, answered and logged on one worker thread.
thread_local qint64 headArrivedMs = 0;
thread_local qint64 requestReadMs = 0;

struct Answer
{
    int status = 200;
    QByteArray body;             // text or file bytes
    Entries entries;             // an archive, zipped when sent
    bool archive = false;
    const char *contentType = TextType;

    [[nodiscard]] QByteArray bytes() const { return archive ? makeZip(entries) : body; }
};

Answer notFound()
{
    Answer a;
    a.status = 404;
    a.body = QByteArrayLiteral("Not Found\n");
    return a;
}

// Values of a form-encoded text, split at '&' first so that "%26" stays inside its value.
// A literal '+' is kept: symbols never hold spaces, and the feed does not encode '+'.
QHash<QString, QString> formFields(const QByteArray &raw)
{
    QHash<QString, QString> fields;
    for (const QByteArray &pair : raw.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        fields.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(key)),
                      QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return fields;
}

QString endpointOf(const QString &path)
{
    if (path == LivePathGet || path == LivePathPost)
        return QStringLiteral("live");
    if (path == BackfillPath)
        return QStringLiteral("backfill");
    if (path.startsWith(QLatin1String("/backfillS21/")))
        return QStringLiteral("eod");
    if (path.startsWith(QLatin1String("/update/")))
        return QStringLiteral("update");
    return QStringLiteral("other");
}

QByteArray garbage()
{
    std::mt19937 rng(std::random_device{}());
    QByteArray bytes(65536, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(rng() & 0xff);
    for (int i = 0; i < bytes.size(); i += 97)
        bytes[i] = '\0';
    return bytes;
}

QByteArray repeatedTo(const QByteArray &unit, int size)
{
    if (unit.isEmpty())
        return unit;
    QByteArray out;
    out.reserve(size + unit.size());
    while (out.size() < size)
        out += unit;
    return out;
}

// Still a valid answer of its kind, only about 20 MB of it.
QByteArray hugeBody(const QString &endpoint, const Answer &normal)
{
    if (!normal.archive)
        return repeatedTo(normal.body.isEmpty() ? QByteArrayLiteral("\n") : normal.body, HugeBytes);
    Entries entries = normal.entries;
    if (endpoint == QLatin1String("update")) {
        QByteArray payload(HugeBytes, Qt::Uninitialized);
        std::mt19937 rng(4242);
        for (char &c : payload)
            c = char(rng() & 0xff);
        entries.append({QStringLiteral("Tickvane.bin"), payload});
        return makeZip(entries);
    }
    qsizetype total = 0;
    for (const auto &e : entries)
        total += e.second.size();
    const int factor = total > 0 ? int(HugeBytes / total) + 1 : 1;
    for (auto &e : entries)
        e.second = e.second.repeated(factor);
    return makeZip(entries);
}

}

struct Server::Private
{
    struct Misbehaviour
    {
        Mode mode = Mode::Normal;
        int times = -1;
    };

    std::unique_ptr<httplib::Server> http;
    std::thread thread;
    std::atomic<bool> stopping{false};
    quint16 port = 0;
    QString address = QStringLiteral("127.0.0.1");

    mutable std::mutex mutex;
    QString userId = SeedOptions().userId;
    QString secureKey = SeedOptions().secureKey;
    QHash<QString, Misbehaviour> misbehaviour;
    QHash<QString, QByteArray> files;
    QByteArray updateArchive;
    QList<Request> requests;
    std::function<void(const Request &)> observer;
    std::function<void(const Answered &)> answeredObserver;
    std::atomic<bool> anySymbol{false};
    bool keepRequests = true;
    Market::LiveBook book;

    void handle(const httplib::Request &req, const QByteArray &body, httplib::Response &res);
    [[nodiscard]] bool knows(const QString &symbol) const;
    [[nodiscard]] QString exchangeOf(const QString &symbol) const;
    Mode takeMode(const QString &endpoint);
    bool authorised(const QHash<QString, QString> &fields) const;
    Answer answer(const QString &endpoint, const QString &path, const QHash<QString, QString> &fields);
    Answer live(const QHash<QString, QString> &fields);
    Answer backfill(const QHash<QString, QString> &fields);
    static Answer endOfDay(const QString &path);
    Answer update(const QString &path);
    bool hang();
};

Mode Server::Private::takeMode(const QString &endpoint)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = misbehaviour.find(endpoint);
    if (it == misbehaviour.end() || it->mode == Mode::Normal)
        return Mode::Normal;
    const Mode mode = it->mode;
    if (it->times > 0 && --it->times == 0)
        misbehaviour.erase(it);
    return mode;
}

bool Server::Private::authorised(const QHash<QString, QString> &fields) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !userId.isEmpty() && fields.value(QStringLiteral("uid")) == userId
        && fields.value(QStringLiteral("hash")) == secureKey;
}

bool Server::Private::knows(const QString &symbol) const
{
    return anySymbol || !Market::exchangeOf(symbol).isEmpty();
}

QString Server::Private::exchangeOf(const QString &symbol) const
{
    const QString exchange = Market::exchangeOf(symbol);
    return exchange.isEmpty() && anySymbol ? MadeUpExchange : exchange;
}

Answer Server::Private::live(const QHash<QString, QString> &fields)
{
    QStringList symbols = fields.value(QStringLiteral("send")).split(QLatin1Char('|'));
    symbols.removeAll(QString());
    Answer a;
    if (!authorised(fields)) {
        for (const QString &symbol : symbols)
            a.body += "Failed," + symbol.toUtf8() + ",Authentication Failed\n";
        if (symbols.isEmpty())
            a.body = QByteArrayLiteral("Failed,,Authentication Failed\n");
        return a;
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (const QString &symbol : symbols) {
        const QString exchange = exchangeOf(symbol);
        if (exchange.isEmpty())
            a.body += "Failed," + symbol.toUtf8() + ",Symbol Not Found\n";
        else
            a.body += book.quote(symbol, exchange);
    }
    return a;
}

Answer Server::Private::backfill(const QHash<QString, QString> &fields)
{
    const QString symbol = fields.value(QStringLiteral("send"));
    Answer a;
    if (!authorised(fields)) {
        a.body = "Failed," + symbol.toUtf8() + ",Authentication Failed\n";
        return a;
    }
    if (!knows(symbol)) {
        a.body = "Failed," + symbol.toUtf8() + ",Symbol Not Found\n";
        return a;
    }
    bool ok = false;
    const int days = fields.value(QStringLiteral("d")).toInt(&ok);
    if (!ok || days <= 0) {
        a.body = "Failed," + symbol.toUtf8() + ",Invalid Days\n";
        return a;
    }
    a.body = Market::intradayBars(symbol, Market::tradingDaysBack(Market::lastCompletedSession(QDateTime::currentDateTime()),
                                                                      qMin(days, MaxBackfillDays)));
    return a;
}

// /backfillS21/e/<date>/<path>/<FEED>-<N>.zip
Answer Server::Private::endOfDay(const QString &path)
{
    static const QRegularExpression archiveName(QStringLiteral("^([A-Z]+)-([123])\\.zip$"));
    const QStringList parts = path.mid(int(qstrlen("/backfillS21/"))).split(QLatin1Char('/'));
    if (parts.size() < 4 || parts.first() != QLatin1String("e"))
        return notFound();
    const QRegularExpressionMatch match = archiveName.match(parts.last());
    const QString exchange = match.hasMatch() ? Market::exchangeOfFeed(match.captured(1)) : QString();
    if (exchange.isEmpty())
        return notFound();
    const QList<QDate> days = Market::periodDays(match.captured(2).toInt(),
                                                     Market::lastCompletedSession(QDateTime::currentDateTime()));
    Answer a;
    a.archive = true;
    a.contentType = ZipType;
    for (const QString &symbol : Market::archiveSymbols(exchange))
        a.entries.append({symbol + QStringLiteral(".txt"), Market::endOfDayRows(symbol, days)});
    return a;
}

Answer Server::Private::update(const QString &path)
{
    if (!path.endsWith(QLatin1String(".zip")))
        return notFound();
    Answer a;
    a.contentType = ZipType;
    {
        std::lock_guard<std::mutex> lock(mutex);
        a.body = updateArchive;
    }
    if (!a.body.isEmpty())
        return a;
    a.archive = true;
    a.entries.append({QStringLiteral("ZentorUpdator.bat"), UpdateScript});
    return a;
}

Answer Server::Private::answer(const QString &endpoint, const QString &path, const QHash<QString, QString> &fields)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto file = files.constFind(path);
        if (file != files.constEnd()) {
            Answer a;
            a.body = *file;
            a.contentType = path.endsWith(QLatin1String(".zip")) ? ZipType : BinaryType;
            return a;
        }
    }
    if (endpoint == QLatin1String("live"))
        return live(fields);
    if (endpoint == QLatin1String("backfill"))
        return backfill(fields);
    if (endpoint == QLatin1String("eod"))
        return endOfDay(path);
    if (endpoint == QLatin1String("update"))
        return update(path);
    return notFound();
}

// Sleeps in short slices so that stop() never waits for a hung answer. False when stopping.
bool Server::Private::hang()
{
    for (int waited = 0; waited < HangMilliseconds; waited += HangSliceMilliseconds) {
        if (stopping)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(HangSliceMilliseconds));
    }
    return !stopping;
}

void Server::Private::handle(const httplib::Request &req, const QByteArray &body, httplib::Response &res)
{
    const QString method = QString::fromStdString(req.method);
    const QString path = QString::fromStdString(req.path);
    const QByteArray target = QByteArray::fromStdString(req.target);
    const int mark = target.indexOf('?');
    const QByteArray rawQuery = mark < 0 ? QByteArray() : target.mid(mark + 1);
    const QByteArray form = method == QLatin1String("POST") ? body : rawQuery;

    QString endpoint = endpointOf(path);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (endpoint == QLatin1String("other") && files.contains(path))
            endpoint = QStringLiteral("file");
        Request record;
        record.method = method;
        record.path = QString::fromUtf8(mark < 0 ? target : target.left(mark));
        record.query = QString::fromUtf8(form);
        record.endpoint = endpoint;
        record.msecsSinceEpoch = QDateTime::currentMSecsSinceEpoch();
        requestReadMs = record.msecsSinceEpoch;
        if (keepRequests)
            requests.append(record);
        if (observer)
            observer(record);
    }

    const Mode mode = takeMode(endpoint);
    if (mode == Mode::Hang && !hang()) {
        res.status = 503;
        return;
    }
    if (mode == Mode::HttpError) {
        res.status = 500;
        res.set_content("Internal Server Error\n", TextType);
        return;
    }
    if (mode == Mode::Garbage) {
        const std::string bytes = garbage().toStdString();
        res.set_content(bytes, BinaryType);
        return;
    }

    // A POST may carry part of its fields in the URL; the body wins.
    QHash<QString, QString> fields = formFields(rawQuery);
    if (method == QLatin1String("POST"))
        fields.insert(formFields(form));
    const Answer normal = answer(endpoint, path, fields);
    res.status = normal.status;
    if (mode == Mode::Huge && normal.status == 200) {
        auto body = std::make_shared<QByteArray>(hugeBody(endpoint, normal));
        res.set_content_provider(size_t(body->size()), BinaryType,
                                 [body](size_t offset, size_t length, httplib::DataSink &sink) {
                                     return sink.write(body->constData() + offset, qMin<size_t>(length, 1 << 20));
                                 });
        return;
    }
    const QByteArray bytes = normal.bytes();
    if (mode == Mode::Truncated) {
        // Announce more than is sent, then drop the connection half-way.
        auto part = std::make_shared<QByteArray>(bytes.left(bytes.size() / 2));
        res.set_content_provider(size_t(bytes.size()) + 4096, normal.contentType,
                                 [part](size_t offset, size_t, httplib::DataSink &sink) {
                                     if (offset == 0 && !part->isEmpty())
                                         sink.write(part->constData(), size_t(part->size()));
                                     return false;
                                 });
        return;
    }
    res.set_content(bytes.constData(), size_t(bytes.size()), normal.contentType);
}

Server::Server()
    : d(std::make_unique<Private>())
{
}

Server::~Server()
{
    stop();
}

bool Server::start(quint16 port, const QString &address)
{
    stop();
    d->stopping = false;
    auto http = std::make_unique<httplib::Server>();
    http->new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    // One request per connection: an idle kept-alive connection would hold a worker (and stop())
    // for the keep-alive timeout, and could be closed just as a client reuses it.
    http->set_keep_alive_max_count(1);
    http->set_keep_alive_timeout(1);
    http->set_socket_options([](socket_t sock) {
#if defined(Q_OS_WIN)
        // Windows' SO_REUSEADDR would let a second simulator take over a port in use.
        BOOL yes = TRUE;
        setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&yes), sizeof(yes));
#else
        // Plain SO_REUSEADDR: SO_REUSEPORT would let two simulators share a port unnoticed.
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
#endif
    });
    Private *p = d.get();
    // Runs once the head has been read, before a body is.
    http->set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        headArrivedMs = QDateTime::currentMSecsSinceEpoch();
        requestReadMs = 0;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http->Get(".*", [p](const httplib::Request &req, httplib::Response &res) { p->handle(req, {}, res); });
    // Read by hand: the library's own reading refuses form bodies over 8 KB with 413, and a
    // live request for a few thousand symbols is far larger.
    http->Post(".*", [p](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader) {
        QByteArray body;
        reader([&body](const char *data, size_t length) {
            body.append(data, int(length));
            return true;
        });
        p->handle(req, body, res);
    });
    // Called once the answer has been written to the socket.
    http->set_logger([p](const httplib::Request &req, const httplib::Response &res) {
        std::function<void(const Answered &)> observer;
        {
            std::lock_guard<std::mutex> lock(p->mutex);
            observer = p->answeredObserver;
        }
        if (!observer)
            return;
        Answered answered;
        answered.endpoint = endpointOf(QString::fromStdString(req.path));
        answered.status = res.status;
        answered.bytes = qint64(res.body.size());
        answered.msecsSinceEpoch = QDateTime::currentMSecsSinceEpoch();
        answered.headMsecsSinceEpoch = headArrivedMs;
        answered.requestMsecsSinceEpoch = requestReadMs;
        observer(answered);
    });
    http->set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        res.status = 500;
    });

    const std::string host = address.toStdString();
    int bound = -1;
    if (port == 0)
        bound = http->bind_to_any_port(host);
    else if (http->bind_to_port(host, port))
        bound = port;
    if (bound <= 0)
        return false;
    d->port = quint16(bound);
    d->address = address;
    httplib::Server *server = http.get();
    d->http = std::move(http);
    d->thread = std::thread([server] { server->listen_after_bind(); });
    // stop() is only effective once the accept loop runs.
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void Server::stop()
{
    if (!d->http)
        return;
    d->stopping = true;
    d->http->stop();
    if (d->thread.joinable())
        d->thread.join();
    d->http.reset();
    d->port = 0;
}

quint16 Server::port() const
{
    return d->port;
}

QString Server::hostPort() const
{
    return d->address + QLatin1Char(':') + QString::number(d->port);
}

void Server::setAccount(const QString &userId, const QString &secureKey)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->userId = userId;
    d->secureKey = secureKey;
}

void Server::misbehave(const QString &endpoint, Mode mode, int times)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (mode == Mode::Normal || times == 0)
        d->misbehaviour.remove(endpoint);
    else
        d->misbehaviour.insert(endpoint, {mode, times});
}

void Server::setFile(const QString &path, const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->files.insert(path, body);
}

void Server::setUpdateArchive(const QByteArray &archive)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->updateArchive = archive;
}

QList<Request> Server::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requests;
}

QList<Request> Server::requests(const QString &endpoint) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QList<Request> matching;
    for (const Request &r : d->requests) {
        if (r.endpoint == endpoint)
            matching << r;
    }
    return matching;
}

void Server::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->requests.clear();
}

void Server::setRequestObserver(std::function<void(const Request &)> observer)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->observer = std::move(observer);
}

void Server::setAnsweredObserver(std::function<void(const Answered &)> observer)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->answeredObserver = std::move(observer);
}

void Server::setAnySymbol(bool any)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->anySymbol = any;
}

void Server::setKeepRequests(bool keep)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->keepRequests = keep;
    if (!keep)
        d->requests.clear();
}

}
