// The local vendor over real loopback HTTP, with the real 7za, SQLite and MariaDB.
#include "platform/externaltools.h"
#include "support/coreenvironment.h"
#include "vendor/vendorservice.h"
#include "marketdata.h"
#include "vendorsim.h"

#include <QtTest>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <memory>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <signal.h>
#endif

namespace {

const QString DemoUser = VendorSim::SeedOptions().userId;
const QString DemoKey = VendorSim::SeedOptions().secureKey;
const QStringList Exchanges = QStringLiteral("CASH FUTURE OPTION MCX CURRENCY SPOTINDEX NCDEX").split(QLatin1Char(' '));

struct Fetched
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
};

Fetched fetch(QNetworkAccessManager *nam, const QString &url, const QByteArray *form = nullptr,
              int abortAfterMs = 60000)
{
    QNetworkRequest request{QUrl(url)};
    QNetworkReply *reply = nullptr;
    if (form) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        reply = nam->post(request, *form);
    } else {
        reply = nam->get(request);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(abortAfterMs, reply, &QNetworkReply::abort);
    if (!reply->isFinished())
        loop.exec();
    Fetched f;
    f.error = reply->error();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        f.body = reply->readAll();
    delete reply;
    return f;
}

// Windows has no SIGTERM: there the simulator leads a process group of its own and gets Ctrl+Break.
void startInOwnProcessGroup(QProcess &process)
{
#if defined(Q_OS_WIN)
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags |= CREATE_NEW_PROCESS_GROUP;
    });
#else
    Q_UNUSED(process)
#endif
}

void requestStop(const QProcess &process)
{
#if defined(Q_OS_WIN)
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(process.processId()));
#else
    ::kill(pid_t(process.processId()), SIGTERM);
#endif
}

QString exchangeOf(const QString &symbol)
{
    for (const QString &exchange : Exchanges) {
        if (VendorSim::catalogue(exchange).contains(symbol))
            return exchange;
    }
    return {};
}

QList<QByteArray> lines(const QByteArray &body)
{
    QList<QByteArray> result = body.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

// 7za on zip, written into folder first: "x" unpacks it there, "t" tests every CRC.
bool sevenZip(const char *command, const QByteArray &zip, const QString &folder, QString *log = nullptr)
{
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/archive.zip");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(zip) != zip.size())
        return false;
    file.close();
    QStringList arguments{QString::fromLatin1(command), path};
    if (qstrcmp(command, "x") == 0)
        arguments << QStringLiteral("-o") + folder << QStringLiteral("-y");
    QProcess tool;
    tool.start(QStringLiteral("7za"), arguments);
    const bool ok = tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (log)
        *log = QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
    QFile::remove(path);
    return ok;
}

// A MariaDB connection to the server of a mysql:// address, to its database when withDatabase.
QSqlDatabase openMariaDb(const QString &address, const QString &connection, bool withDatabase)
{
    const QUrl server(address);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), connection);
    db.setHostName(server.host());
    db.setPort(server.port(3306));
    db.setUserName(server.userName());
    db.setPassword(server.password());
    if (withDatabase)
        db.setDatabaseName(server.path().mid(1));
    db.open();
    return db;
}

// Each row of a query's result, its columns joined by '='.
QStringList rowsOf(QSqlQuery &q)
{
    QStringList rows;
    while (q.next()) {
        QStringList columns;
        for (int i = 0; i < q.record().count(); ++i)
            columns << q.value(i).toString();
        rows << columns.join(QLatin1Char('='));
    }
    return rows;
}

}

class TestVendorSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void catalogueHoldsTheFirstRunSelection();
    void liveAnswers_data();
    void liveAnswers();
    void largeFormPosts_data();
    void largeFormPosts();
    void anySymbolBackfill();
    void backfillBars_data();
    void backfillBars();
    void refusals_data();
    void refusals();
    void endOfDayArchiveUnpacks_data();
    void endOfDayArchiveUnpacks();
    void updateArchiveRunsUnderSh();
    void makeZipKeepsNamesVerbatim();
    void misbehaviour_data();
    void misbehaviour();
    void misbehaviourCountsDown_data();
    void misbehaviourCountsDown();
    void hangIsAbortedByClientAndStopIsQuick();
    void requestsAreRecorded();
    void formatFilesDescribeTheServedLines_data();
    void formatFilesDescribeTheServedLines();
    void seeding_data();
    void seeding();
    void program();

private:
    QString url(const QString &pathAndQuery) const
    {
        return QStringLiteral("http://") + m_server->hostPort() + pathAndQuery;
    }
    QString liveUrl(const QString &send, const QString &uid = DemoUser, const QString &hash = DemoKey) const
    {
        return url(VendorSim::LivePathGet + QStringLiteral("?uid=") + uid + QStringLiteral("&send=") + send
                   + QStringLiteral("&hash=") + hash);
    }

    std::unique_ptr<VendorSim::Server> m_server;
    std::unique_ptr<QNetworkAccessManager> m_nam;
};

void TestVendorSim::init()
{
    m_server = std::make_unique<VendorSim::Server>();
    QVERIFY(m_server->start() && m_server->port() > 0);
    QCOMPARE(m_server->hostPort(), QStringLiteral("127.0.0.1:%1").arg(m_server->port()));
    m_nam = std::make_unique<QNetworkAccessManager>();
}

void TestVendorSim::cleanup()
{
    m_nam.reset();
    m_server.reset();
}

void TestVendorSim::catalogueHoldsTheFirstRunSelection()
{
    const QList<QPair<QString, QString>> required = {
        {"BANKNIFTY-I", "FUTURE"}, {"CRUDEOIL-I", "MCX"},      {"GOLDM-I", "MCX"},        {"SILVERM-I", "MCX"},
        {"USDINR-I", "CURRENCY"},  {"INDIAVIX", "SPOTINDEX"},  {"ICICIBANK", "CASH"},     {"NIFTY-I", "FUTURE"},
        {"M&M", "CASH"},           {"M&MFIN", "CASH"},         {"M&M-I", "FUTURE"},       {"NIFTY", "SPOTINDEX"}};
    for (const auto &pair : required)
        QVERIFY2(VendorSim::catalogue(pair.second).contains(pair.first), qPrintable(pair.first));

    QSet<QString> seen;
    int total = 0;
    static const QRegularExpression plain(QStringLiteral("^[A-Z0-9&-]+$"));
    for (const QString &exchange : Exchanges) {
        const QList<QString> symbols = VendorSim::catalogue(exchange);
        QVERIFY2(!symbols.isEmpty(), qPrintable(exchange));
        QList<QString> sorted = symbols;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(symbols, sorted);
        for (const QString &symbol : symbols) {
            QVERIFY2(plain.match(symbol).hasMatch(), qPrintable(symbol));
            QVERIFY2(!seen.contains(symbol), qPrintable(symbol + " is listed twice"));
            seen.insert(symbol);
        }
        total += symbols.size();
    }
    QVERIFY(total >= 200);
    QVERIFY(VendorSim::catalogue(QStringLiteral("NOSUCH")).isEmpty());
}

void TestVendorSim::liveAnswers_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("hash");
    QTest::addColumn<QString>("send");
    QTest::addColumn<QStringList>("expected"); // per line: symbol, or "!symbol" for a Failed line

    const QString u = DemoUser, k = DemoKey; // the demo account, short to keep each row on a line
    QTest::newRow("GET, bars") << false << u << k << "NIFTY-I|ICICIBANK|GOLDM-I"
                               << QStringList{"NIFTY-I", "ICICIBANK", "GOLDM-I"};
    QTest::newRow("GET, %7C") << false << u << k << "BANKNIFTY-I%7CUSDINR-I%7CINDIAVIX"
                              << QStringList{"BANKNIFTY-I", "USDINR-I", "INDIAVIX"};
    QTest::newRow("GET, ampersands") << false << u << k << "M%26M|M%26MFIN|M%26M-I"
                                     << QStringList{"M&M", "M&MFIN", "M&M-I"};
    QTest::newRow("POST, bars") << true << u << k << "CRUDEOIL-I|SILVERM-I|M%26M"
                                << QStringList{"CRUDEOIL-I", "SILVERM-I", "M&M"};
    QTest::newRow("POST, %7C") << true << u << k << "M%26M-I%7CNIFTY-I%7CTCS" << QStringList{"M&M-I", "NIFTY-I", "TCS"};
    QTest::newRow("one symbol") << false << u << k << "INDIAVIX" << QStringList{"INDIAVIX"};

    QTest::newRow("wrong key") << false << u << "nope" << "NIFTY-I|TCS" << QStringList{"!NIFTY-I", "!TCS"};
    QTest::newRow("key of another account") << false << "OTHER_USER-42" << "other-key-91c2" << "NIFTY-I"
                                            << QStringList{"!NIFTY-I"};
    QTest::newRow("wrong user") << false << "DEMO" << k << "TCS" << QStringList{"!TCS"};
    QTest::newRow("wildcard user") << false << "%25" << k << "TCS" << QStringList{"!TCS"};
    QTest::newRow("empty key") << false << u << "" << "TCS" << QStringList{"!TCS"};
    QTest::newRow("unknown symbol between known ones") << false << u << k << "NIFTY-I|NOSUCH|TCS"
                                                       << QStringList{"NIFTY-I", "!NOSUCH", "TCS"};
    QTest::newRow("M&M sent raw is M") << false << u << k << "M&M" << QStringList{"!M"};
    QTest::newRow("case matters") << false << u << k << "nifty-i" << QStringList{"!nifty-i"};
}

void TestVendorSim::liveAnswers()
{
    QFETCH(bool, post);
    QFETCH(QString, uid);
    QFETCH(QString, hash);
    QFETCH(QString, send);
    QFETCH(QStringList, expected);

    const QByteArray form = QStringLiteral("uid=%1&send=%2&hash=%3").arg(uid, send, hash).toUtf8();
    const auto ask = [&] {
        return post ? fetch(m_nam.get(), url(VendorSim::LivePathPost), &form)
                    : fetch(m_nam.get(), liveUrl(send, uid, hash));
    };
    const Fetched first = ask();
    const Fetched second = ask();
    for (const Fetched *f : {&first, &second}) {
        QCOMPARE(f->error, QNetworkReply::NoError);
        QCOMPARE(f->status, 200);
        QVERIFY(f->body.endsWith('\n'));
        QVERIFY(!f->body.contains('\r'));
    }

    const QList<QByteArray> before = lines(first.body);
    const QList<QByteArray> after = lines(second.body);
    QCOMPARE(before.size(), expected.size());
    QCOMPARE(after.size(), expected.size());
    static const QRegularExpression priceText(QStringLiteral("^\\d+\\.\\d\\d$"));
    for (int i = 0; i < expected.size(); ++i) {
        const bool failed = expected.at(i).startsWith(QLatin1Char('!'));
        const QString symbol = failed ? expected.at(i).mid(1) : expected.at(i);
        const QList<QByteArray> a = before.at(i).split(',');
        const QList<QByteArray> b = after.at(i).split(',');
        QCOMPARE(before.at(i).contains("Failed"), failed);
        QCOMPARE(QString::fromUtf8(a.value(1)), symbol);
        if (failed) {
            QCOMPARE(a.value(0), QByteArray("Failed"));
            QCOMPARE(after.at(i), before.at(i));
            continue;
        }
        QCOMPARE(a.size(), 8);
        QCOMPARE(b.size(), 8);
        QCOMPARE(QString::fromUtf8(a.at(0)), exchangeOf(symbol));
        QVERIFY(QDate::fromString(QString::fromLatin1(a.at(2)), QStringLiteral("yyyyMMdd")).isValid());
        QVERIFY(QTime::fromString(QString::fromLatin1(a.at(3)), QStringLiteral("HH:mm:ss")).isValid());
        QVERIFY2(priceText.match(QString::fromLatin1(a.at(4))).hasMatch(), a.at(4).constData());
        QVERIFY(a.at(4).toDouble() > 0);
        QVERIFY(a.at(5).toLongLong() > 0);
        QVERIFY2(a.at(4) != b.at(4), "the price must move between requests");
        QVERIFY(b.at(6).toLongLong() > a.at(6).toLongLong()); // cumulative volume grows
    }
    QCOMPARE(m_server->requests(QStringLiteral("live")).size(), 2);
}

void TestVendorSim::largeFormPosts_data()
{
    QTest::addColumn<int>("symbols");
    QTest::addColumn<int>("padding"); // empty items of send, skipped by the vendor
    QTest::addColumn<bool>("anySymbol");

    QTest::newRow("over 8 KB, catalogue only") << 1500 << 0 << false;
    QTest::newRow("20,000 made-up symbols") << 20000 << 0 << true;
    QTest::newRow("1 MB body") << 50 << (1 << 20) << true;
}

// Made-up symbols are answered in the mode for them and refused without it; either way each
// requested symbol gets its line, in order.
void TestVendorSim::largeFormPosts()
{
    QFETCH(int, symbols);
    QFETCH(int, padding);
    QFETCH(bool, anySymbol);
    m_server->setAnySymbol(anySymbol);

    const QList<QString> known = VendorSim::catalogue(QStringLiteral("CASH"));
    QStringList send;
    for (int i = 0; i < symbols; ++i)
        send << (anySymbol ? QStringLiteral("MADEUP%1").arg(i, 5, 10, QLatin1Char('0')) : known.at(i % known.size()));
    const QByteArray form = "uid=" + DemoUser.toUtf8() + "&send=" + QByteArray(padding, '|')
        + QUrl::toPercentEncoding(send.join(QLatin1Char('|')), "|") + "&hash=" + DemoKey.toUtf8();
    QVERIFY(form.size() > 8192);

    const Fetched answer = fetch(m_nam.get(), url(VendorSim::LivePathPost), &form);
    QCOMPARE(answer.status, 200);
    const QList<QByteArray> answered = lines(answer.body);
    QCOMPARE(answered.size(), symbols);
    for (int i = 0; i < symbols; ++i) {
        const QList<QByteArray> fields = answered.at(i).split(',');
        QCOMPARE(QString::fromUtf8(fields.value(1)), send.at(i));
        QCOMPARE(fields.size(), 8);
    }
    m_server->setAnySymbol(false);
    const Fetched refused = fetch(m_nam.get(), liveUrl(QStringLiteral("MADEUP00001|TCS")));
    QCOMPARE(lines(refused.body).value(0), QByteArray("Failed,MADEUP00001,Symbol Not Found"));
    QVERIFY(lines(refused.body).value(1).startsWith("CASH,TCS,"));
}

void TestVendorSim::anySymbolBackfill()
{
    const QString ask = url(VendorSim::BackfillPath + QStringLiteral("?uid=%1&hash=%2&d=1&send=MADEUP7").arg(DemoUser, DemoKey));
    QCOMPARE(lines(fetch(m_nam.get(), ask).body), QList<QByteArray>{"Failed,MADEUP7,Symbol Not Found"});
    m_server->setAnySymbol(true);
    const QList<QByteArray> bars = lines(fetch(m_nam.get(), ask).body);
    QCOMPARE(bars.size(), VendorSim::Market::IntradayBarsPerDay);
    QVERIFY(bars.first().startsWith("MADEUP7,"));
}

void TestVendorSim::backfillBars_data()
{
    QTest::addColumn<QString>("send");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("days");

    QTest::newRow("five days") << "NIFTY-I" << "NIFTY-I" << 5;
    QTest::newRow("one day, ampersand") << "M%26M" << "M&M" << 1;
    QTest::newRow("180 days") << "ICICIBANK" << "ICICIBANK" << 180;
    QTest::newRow("currency") << "USDINR-I" << "USDINR-I" << 3;
}

void TestVendorSim::backfillBars()
{
    QFETCH(QString, send);
    QFETCH(QString, symbol);
    QFETCH(int, days);

    const QString request = url(VendorSim::BackfillPath) + QStringLiteral("?uid=%1&hash=%2&d=%3&send=%4")
                                                               .arg(DemoUser, DemoKey).arg(days).arg(send);
    const Fetched f = fetch(m_nam.get(), request);
    QCOMPARE(f.error, QNetworkReply::NoError);
    QVERIFY(f.body.size() < 2 * 1024 * 1024);
    QCOMPARE(fetch(m_nam.get(), request).body, f.body); // history does not change between requests

    const QList<QByteArray> bars = lines(f.body);
    QCOMPARE(bars.size(), days * 75);
    QStringList dates;
    for (const QByteArray &bar : bars) {
        const QList<QByteArray> fields = bar.split(',');
        QCOMPARE(fields.size(), 8);
        QCOMPARE(QString::fromUtf8(fields.at(0)), symbol);
        const double open = fields.at(3).toDouble(), high = fields.at(4).toDouble();
        const double low = fields.at(5).toDouble(), close = fields.at(6).toDouble();
        QVERIFY2(low > 0 && low <= qMin(open, close) && high >= qMax(open, close), bar.constData());
        const QString date = QString::fromLatin1(fields.at(1));
        if (dates.isEmpty() || dates.last() != date)
            dates << date;
    }
    QCOMPARE(dates.size(), days);
    for (int i = 0; i < dates.size(); ++i) {
        const QDate day = QDate::fromString(dates.at(i), QStringLiteral("yyyyMMdd"));
        QVERIFY(day.isValid() && day.dayOfWeek() <= 5 && day <= QDate::currentDate());
        if (i > 0)
            QVERIFY(dates.at(i - 1) < dates.at(i));
    }
    QVERIFY(bars.first().split(',').at(2) == "09:15");
    QVERIFY(bars.last().split(',').at(2) == "15:25");
}

void TestVendorSim::refusals_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer"); // not compared when null

    const QString backfill = VendorSim::BackfillPath + QStringLiteral("?uid=DEMO-USER&hash=");
    QTest::newRow("backfill, wrong key") << backfill + "bad&d=5&send=TCS" << 200
                                         << QByteArray("Failed,TCS,Authentication Failed\n");
    QTest::newRow("backfill, unknown symbol") << backfill + "demo-key-7f3a&d=5&send=NOSUCH" << 200
                                              << QByteArray("Failed,NOSUCH,Symbol Not Found\n");
    QTest::newRow("backfill, zero days") << backfill + "demo-key-7f3a&d=0&send=TCS" << 200
                                         << QByteArray("Failed,TCS,Invalid Days\n");
    QTest::newRow("backfill, days not a number") << backfill + "demo-key-7f3a&d=five&send=TCS" << 200
                                                 << QByteArray("Failed,TCS,Invalid Days\n");
    // What the vendor does not serve is missing (404), not refused in a line.
    QTest::newRow("one-day path") << "/backfillS21/1/07122026/day/CASH-1.zip" << 404 << QByteArray();
    QTest::newRow("no such feed") << "/backfillS21/e/07122026/day/OPTION-1.zip" << 404 << QByteArray();
    QTest::newRow("no such period") << "/backfillS21/e/07122026/day/CASH-4.zip" << 404 << QByteArray();
    QTest::newRow("lower case feed") << "/backfillS21/e/07122026/day/cash-1.zip" << 404 << QByteArray();
    QTest::newRow("no date and path") << "/backfillS21/e/CASH-1.zip" << 404 << QByteArray();
    QTest::newRow("somewhere else") << "/index.html" << 404 << QByteArray();
}

void TestVendorSim::refusals()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, answer);

    const Fetched f = fetch(m_nam.get(), url(path));
    QCOMPARE(f.status, status);
    QCOMPARE(f.error == QNetworkReply::NoError, status == 200);
    if (!answer.isNull())
        QCOMPARE(f.body, answer);
}

void TestVendorSim::endOfDayArchiveUnpacks_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("exchange");
    QTest::addColumn<QStringList>("mustHold");
    QTest::addColumn<int>("minRows");
    QTest::addColumn<int>("maxRows");

    QTest::newRow("CASH recent") << "CASH-1.zip" << "CASH" << QStringList{"ICICIBANK", "M&M"} << 10 << 10;
    QTest::newRow("FUTURE current year") << "FUTURE-2.zip" << "FUTURE" << QStringList{"NIFTY-I", "BANKNIFTY-I", "M&M-I"}
                                         << 1 << 300;
    QTest::newRow("COMM past years") << "COMM-3.zip" << "MCX" << QStringList{"CRUDEOIL-I", "GOLDM-I", "SILVERM-I"}
                                     << 300 << 300;
    QTest::newRow("CURRENCY recent") << "CURRENCY-1.zip" << "CURRENCY" << QStringList{"USDINR-I"} << 10 << 10;
    QTest::newRow("SPOT past years") << "SPOT-3.zip" << "SPOTINDEX" << QStringList{"INDIAVIX", "NIFTY"} << 300 << 300;
}

void TestVendorSim::endOfDayArchiveUnpacks()
{
    QFETCH(QString, archive);
    QFETCH(QString, exchange);
    QFETCH(QStringList, mustHold);
    QFETCH(int, minRows);
    QFETCH(int, maxRows);

    const Fetched f = fetch(m_nam.get(), url(QStringLiteral("/backfillS21/e/07122026/day/") + archive));
    QCOMPARE(f.error, QNetworkReply::NoError);
    QVERIFY(f.body.startsWith("PK\x03\x04"));
    QVERIFY(f.body.size() < 2 * 1024 * 1024);

    QTemporaryDir dir;
    QString log;
    QVERIFY2(sevenZip("x", f.body, dir.path() + QStringLiteral("/out"), &log), qPrintable(log));
    const QFileInfoList files = QDir(dir.path() + QStringLiteral("/out")).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    QVERIFY(!files.isEmpty());
    QVERIFY(files.size() <= 40);
    const QList<QString> known = VendorSim::catalogue(exchange);
    QStringList held;
    for (const QFileInfo &info : files) {
        QCOMPARE(info.suffix(), QStringLiteral("txt"));
        const QString symbol = info.completeBaseName();
        QVERIFY2(known.contains(symbol), qPrintable(symbol));
        held << symbol;
        QFile file(info.absoluteFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = lines(file.readAll());
        QVERIFY2(rows.size() >= minRows && rows.size() <= maxRows, qPrintable(QString::number(rows.size())));
        QString previous;
        for (const QByteArray &row : rows) {
            const QList<QByteArray> fields = row.split(',');
            QCOMPARE(fields.size(), 7);
            QCOMPARE(QString::fromUtf8(fields.at(0)), symbol);
            const QString date = QString::fromLatin1(fields.at(1));
            QVERIFY(QDate::fromString(date, QStringLiteral("yyyyMMdd")).isValid());
            QVERIFY(previous < date);
            previous = date;
            QVERIFY(fields.at(3).toDouble() >= fields.at(4).toDouble()); // high >= low
        }
    }
    for (const QString &symbol : mustHold)
        QVERIFY2(held.contains(symbol), qPrintable(symbol));
    QCOMPARE(m_server->requests(QStringLiteral("eod")).size(), 1);
}

void TestVendorSim::updateArchiveRunsUnderSh()
{
    const Fetched f = fetch(m_nam.get(), url(QStringLiteral("/update/Tickvane-4.10.zip")));
    QCOMPARE(f.error, QNetworkReply::NoError);
    QTemporaryDir dir;
    QString log;
    QVERIFY2(sevenZip("x", f.body, dir.path(), &log), qPrintable(log));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("ZentorUpdator.bat"))));

    for (int run = 0; run < 2; ++run) {
        // /bin/sh here, the command interpreter on Windows.
        const Platform::Command command = Platform::batchFileCommand(QStringLiteral("ZentorUpdator.bat"));
        QProcess sh;
        sh.setWorkingDirectory(dir.path());
        sh.start(command.program, command.arguments);
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(sh.exitCode(), 0);
    }
    QFile marker(dir.filePath(QStringLiteral("update-marker.txt")));
    QVERIFY(marker.open(QIODevice::ReadOnly | QIODevice::Text));
    QCOMPARE(marker.readAll(), QByteArray("updated\nupdated\n"));
}

void TestVendorSim::makeZipKeepsNamesVerbatim()
{
    const QList<QPair<QString, QByteArray>> entries = {
        {QStringLiteral("../escape.txt"), QByteArray("up")},
        {QStringLiteral("/abs.txt"), QByteArray("abs")},
        {QStringLiteral("M&M.txt"), QByteArray("M&M,20261207,1,2,0.5,1.5,100\n")},
        {QStringLiteral("empty.txt"), QByteArray()},
    };
    const QByteArray zip = VendorSim::makeZip(entries);
    QCOMPARE(VendorSim::makeZip(entries), zip); // byte for byte repeatable
    for (const auto &entry : entries)
        QCOMPARE(zip.count(entry.first.toUtf8()), 2); // local header and central directory

    QTemporaryDir dir;
    QString log;
    QVERIFY2(sevenZip("t", zip, dir.path(), &log), qPrintable(log));

    QVERIFY(sevenZip("x", VendorSim::makeZip({entries.at(2), entries.at(3)}), dir.filePath(QStringLiteral("out"))));
    QFile unpacked(dir.filePath(QStringLiteral("out/M&M.txt")));
    QVERIFY(unpacked.open(QIODevice::ReadOnly));
    QCOMPARE(unpacked.readAll(), entries.at(2).second);
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("out/empty.txt"))).size(), 0);
}

void TestVendorSim::misbehaviour_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("mode");

    const QString live = VendorSim::LivePathGet + QStringLiteral("?uid=DEMO-USER&send=NIFTY-I|TCS&hash=demo-key-7f3a");
    const QString backfill = VendorSim::BackfillPath + QStringLiteral("?uid=DEMO-USER&hash=demo-key-7f3a&d=5&send=TCS");
    const QString eod = QStringLiteral("/backfillS21/e/07122026/day/CASH-1.zip");
    const QString update = QStringLiteral("/update/Tickvane-4.10.zip");
    using M = VendorSim::Mode;
    QTest::newRow("live error") << "live" << live << int(M::HttpError);
    QTest::newRow("eod error") << "eod" << eod << int(M::HttpError);
    QTest::newRow("update error") << "update" << update << int(M::HttpError);
    QTest::newRow("live truncated") << "live" << live << int(M::Truncated);
    QTest::newRow("backfill truncated") << "backfill" << backfill << int(M::Truncated);
    QTest::newRow("eod truncated") << "eod" << eod << int(M::Truncated);
    QTest::newRow("live garbage") << "live" << live << int(M::Garbage);
    QTest::newRow("eod garbage") << "eod" << eod << int(M::Garbage);
    QTest::newRow("live huge") << "live" << live << int(M::Huge);
    QTest::newRow("backfill huge") << "backfill" << backfill << int(M::Huge);
    QTest::newRow("update huge") << "update" << update << int(M::Huge);
}

void TestVendorSim::misbehaviour()
{
    QFETCH(QString, endpoint);
    QFETCH(QString, path);
    QFETCH(int, mode);

    const Fetched normal = fetch(m_nam.get(), url(path));
    QCOMPARE(normal.error, QNetworkReply::NoError);
    // A keep-alive connection the server drops may be asked again once by the client: a truncated
    // answer must meet that repeat too.
    const bool truncated = VendorSim::Mode(mode) == VendorSim::Mode::Truncated;
    m_server->misbehave(endpoint, VendorSim::Mode(mode), truncated ? 2 : 1);
    const Fetched bad = fetch(m_nam.get(), url(path));
    if (truncated)
        m_server->misbehave(endpoint, VendorSim::Mode::Normal, 0);

    switch (VendorSim::Mode(mode)) {
    case VendorSim::Mode::HttpError:
        QCOMPARE(bad.status, 500);
        QVERIFY(bad.error != QNetworkReply::NoError);
        break;
    case VendorSim::Mode::Truncated:
        QVERIFY2(bad.error != QNetworkReply::NoError, qPrintable(QStringLiteral("status %1, %2 of %3 bytes").arg(bad.status).arg(bad.body.size()).arg(normal.body.size())));
        break;
    case VendorSim::Mode::Garbage:
        QCOMPARE(bad.error, QNetworkReply::NoError);
        QVERIFY(bad.body.contains('\0'));
        QVERIFY(!bad.body.startsWith("PK"));
        break;
    case VendorSim::Mode::Huge: {
        QCOMPARE(bad.error, QNetworkReply::NoError);
        QVERIFY(bad.body.size() >= 20 * 1024 * 1024);
        if (endpoint == QLatin1String("update")) {
            QTemporaryDir dir;
            QVERIFY(sevenZip("x", bad.body, dir.path()));
            QVERIFY(QFile::exists(dir.filePath(QStringLiteral("ZentorUpdator.bat"))));
        } else {
            // Whole lines of the normal kind, for the requested symbols only.
            QVERIFY(bad.body.endsWith('\n'));
            const QByteArray firstLine = normal.body.left(normal.body.indexOf('\n'));
            QCOMPARE(bad.body.left(bad.body.indexOf('\n')).split(',').mid(0, 2), firstLine.split(',').mid(0, 2));
            const QList<QByteArray> tail = lines(bad.body.right(4096));
            for (int i = 1; i < tail.size(); ++i)
                QVERIFY(tail.at(i).split(',').size() == 8);
        }
        break;
    }
    default:
        QFAIL("unexpected mode");
    }

    // Counted down: the next request is answered normally again.
    const Fetched again = fetch(m_nam.get(), url(path));
    QVERIFY(again.error == QNetworkReply::NoError && !again.body.isEmpty());
    QCOMPARE(m_server->requests(endpoint).size(), 3);
}

void TestVendorSim::misbehaviourCountsDown_data()
{
    QTest::addColumn<int>("times");
    QTest::addColumn<QList<int>>("statuses"); // of five requests; Normal set after the fourth

    QTest::newRow("twice") << 2 << QList<int>{500, 500, 200, 200, 200};
    QTest::newRow("until reset") << -1 << QList<int>{500, 500, 500, 500, 200};
    QTest::newRow("zero times") << 0 << QList<int>{200, 200, 200, 200, 200};
}

void TestVendorSim::misbehaviourCountsDown()
{
    QFETCH(int, times);
    QFETCH(QList<int>, statuses);

    m_server->misbehave(QStringLiteral("live"), VendorSim::Mode::HttpError, times);
    m_server->misbehave(QStringLiteral("eod"), VendorSim::Mode::HttpError, -1); // other endpoints untouched
    QList<int> got;
    for (int i = 0; i < statuses.size(); ++i) {
        if (i == 4)
            m_server->misbehave(QStringLiteral("live"), VendorSim::Mode::Normal);
        got << fetch(m_nam.get(), liveUrl(QStringLiteral("TCS"))).status;
    }
    QCOMPARE(got, statuses);
    QCOMPARE(fetch(m_nam.get(), url(QStringLiteral("/backfillS21/e/1/d/CASH-1.zip"))).status, 500);
}

void TestVendorSim::hangIsAbortedByClientAndStopIsQuick()
{
    m_server->misbehave(QStringLiteral("live"), VendorSim::Mode::Hang);
    QElapsedTimer clock;
    clock.start();
    const Fetched hung = fetch(m_nam.get(), liveUrl(QStringLiteral("TCS")), nullptr, 500);
    QCOMPARE(hung.error, QNetworkReply::OperationCanceledError);
    QVERIFY(hung.body.isEmpty());

    // The other endpoints still answer while a live request hangs.
    QNetworkAccessManager other;
    const Fetched backfill = fetch(&other, url(VendorSim::BackfillPath + QStringLiteral("?uid=DEMO-USER&hash=demo-key-7f3a&d=1&send=TCS")));
    QCOMPARE(backfill.error, QNetworkReply::NoError);
    QCOMPARE(lines(backfill.body).size(), 75);
    QCOMPARE(m_server->requests(QStringLiteral("live")).size(), 1);

    // A handler still sleeping must not hold stop() for two minutes.
    const Fetched second = fetch(&other, liveUrl(QStringLiteral("TCS")), nullptr, 200);
    QCOMPARE(second.error, QNetworkReply::OperationCanceledError);
    clock.restart();
    m_server->stop();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_server->port(), quint16(0));

    // And the server can listen again afterwards.
    QVERIFY(m_server->start());
    m_server->misbehave(QStringLiteral("live"), VendorSim::Mode::Normal);
    QCOMPARE(fetch(&other, liveUrl(QStringLiteral("TCS"))).error, QNetworkReply::NoError);
}

// Every request is recorded, those answered by a file set in place of the usual answer too.
void TestVendorSim::requestsAreRecorded()
{
    m_server->setFile(QStringLiteral("/update/Tickvane-4.10.zip"), QByteArray("not a zip"));
    m_server->setFile(QStringLiteral("/files/data.bin"), QByteArray("a\0b", 3));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    fetch(m_nam.get(), liveUrl(QStringLiteral("NIFTY-I%7CM%26M")));
    const QByteArray form("uid=DEMO-USER&send=TCS|INFY&hash=demo-key-7f3a");
    fetch(m_nam.get(), url(VendorSim::LivePathPost), &form);
    fetch(m_nam.get(), url(QStringLiteral("/backfillS21/e/07122026/day/SPOT-1.zip")));
    fetch(m_nam.get(), url(QStringLiteral("/nothing?x=1")));
    QCOMPARE(fetch(m_nam.get(), url(QStringLiteral("/update/Tickvane-4.10.zip"))).body, QByteArray("not a zip"));
    const Fetched file = fetch(m_nam.get(), url(QStringLiteral("/files/data.bin")));
    QCOMPARE(file.error, QNetworkReply::NoError);
    QCOMPARE(file.body, QByteArray("a\0b", 3));
    QVERIFY(fetch(m_nam.get(), url(QStringLiteral("/update/Other.zip"))).body.startsWith("PK"));
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    QStringList recorded;
    for (const VendorSim::Request &request : m_server->requests()) {
        recorded << QStringList{request.endpoint, request.method, request.path, request.query}.join(QLatin1Char(' '));
        QVERIFY(request.msecsSinceEpoch >= before && request.msecsSinceEpoch <= after);
    }
    QCOMPARE(recorded, (QStringList{"live GET /rt/live uid=DEMO-USER&send=NIFTY-I%7CM%26M&hash=demo-key-7f3a",
                                    "live POST /rt/livepost " + QString::fromLatin1(form),
                                    "eod GET /backfillS21/e/07122026/day/SPOT-1.zip ", "other GET /nothing x=1",
                                    "update GET /update/Tickvane-4.10.zip ", "file GET /files/data.bin ",
                                    "update GET /update/Other.zip "}));
    QCOMPARE(m_server->requests(QStringLiteral("live")).size(), 2);

    m_server->clearRequests();
    QVERIFY(m_server->requests().isEmpty());
}

void TestVendorSim::formatFilesDescribeTheServedLines_data()
{
    QTest::addColumn<QString>("formatFile");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("entry"); // the archive entry to read, empty for a text answer

    QTest::newRow("live") << "dataFormatRT.dll" << VendorSim::LivePathGet + "?uid=DEMO-USER&send=M%26M&hash=demo-key-7f3a"
                          << "";
    QTest::newRow("intraday") << "dataFormat.dll"
                              << VendorSim::BackfillPath + "?uid=DEMO-USER&hash=demo-key-7f3a&d=1&send=M%26M" << "";
    QTest::newRow("end of day") << "dataFormatEod.dll" << "/backfillS21/e/07122026/day/CASH-1.zip" << "M&M.txt";
}

void TestVendorSim::formatFilesDescribeTheServedLines()
{
    QFETCH(QString, formatFile);
    QFETCH(QString, path);
    QFETCH(QString, entry);

    const QString source = qEnvironmentVariable("TICKVANE_SOURCE");
    if (source.isEmpty())
        QSKIP("TICKVANE_SOURCE is not set");
    QFile file(source + QStringLiteral("/install/") + formatFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QHash<QString, QString> commands;
    for (const QByteArray &line : lines(file.readAll())) {
        const QString text = QString::fromLatin1(line);
        QVERIFY2(text.startsWith(QLatin1Char('$')), qPrintable(text));
        commands.insert(text.section(QLatin1Char(' '), 0, 0), text.section(QLatin1Char(' '), 1));
    }
    QCOMPARE((QStringList{commands.value("$SEPARATOR"), commands.value("$SKIPLINES"), commands.value("$AUTOADD")}),
             (QStringList{",", "0", "1"}));
    for (const char *command : {"$CONT", "$GROUP", "$DEBUG"})
        QVERIFY2(commands.contains(QLatin1String(command)), command);
    const QStringList format = commands.value(QStringLiteral("$FORMAT")).split(QLatin1Char(','));

    const Fetched f = fetch(m_nam.get(), url(path));
    QCOMPARE(f.error, QNetworkReply::NoError);
    QByteArray body = f.body;
    if (!entry.isEmpty()) {
        QTemporaryDir dir;
        QVERIFY(sevenZip("x", f.body, dir.path()));
        QFile unpacked(dir.filePath(entry));
        QVERIFY(unpacked.open(QIODevice::ReadOnly));
        body = unpacked.readAll();
    }
    const QList<QByteArray> fields = lines(body).first().split(',');
    QCOMPARE(fields.size(), format.size());
    for (int i = 0; i < format.size(); ++i) {
        const QString value = QString::fromUtf8(fields.at(i));
        const QString &kind = format.at(i);
        if (kind == QLatin1String("Ticker"))
            QCOMPARE(value, QStringLiteral("M&M"));
        else if (kind == QLatin1String("Date_YMD"))
            QVERIFY(QDate::fromString(value, QStringLiteral("yyyyMMdd")).isValid());
        else if (kind == QLatin1String("Time"))
            QVERIFY(QTime::fromString(value, value.size() == 5 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss")).isValid());
        else if (kind != QLatin1String("Skip"))
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d+(\\.\\d\\d)?$")).match(value).hasMatch(),
                     qPrintable(kind + QLatin1Char('=') + value));
    }
    for (const char *kind : {"Ticker", "Date_YMD", "Close"})
        QVERIFY2(format.contains(QLatin1String(kind)), kind);
}

void TestVendorSim::seeding_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("freshDatabase");
    QTest::newRow("sqlite") << "sqlite" << false;
    QTest::newRow("mariadb") << "mariadb" << false;
    QTest::newRow("mariadb, database created") << "mariadb" << true;
}

void TestVendorSim::seeding()
{
    QFETCH(QString, driver);
    QFETCH(bool, freshDatabase);

    QTemporaryDir dir;
    QString database;
    if (driver == QLatin1String("sqlite")) {
        database = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("vendor.db"));
    } else {
        if (TestMariaDb::serverSpec().isEmpty())
            QSKIP("TICKVANE_TEST_MYSQL is not set");
        database = TestMariaDb::createDatabase(QStringLiteral("vendorsim_seed"));
        QVERIFY(!database.isEmpty());
        if (freshDatabase) {
            {
                QSqlDatabase admin = openMariaDb(database, QStringLiteral("vendorsim-admin"), false);
                QVERIFY(admin.isOpen());
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS vendorsim_seed"));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("vendorsim-admin"));
        }
    }

    VendorSim::SeedOptions options;
    options.port = 8719;
    options.serverDate = QStringLiteral("08122026");
    QString error;
    QVERIFY2(VendorSim::seedDatabase(database, options, &error), qPrintable(error));
    // Seeding again drops and recreates: nothing doubles.
    QVERIFY2(VendorSim::seedDatabase(database, options, &error), qPrintable(error));
    QVERIFY(error.isEmpty());

    const QString connection = QUuid::createUuid().toString();
    {
        QSqlDatabase db;
        if (driver == QLatin1String("sqlite")) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(database.mid(7));
            db.open();
        } else {
            db = openMariaDb(database, connection, true);
        }
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);

        QVERIFY(q.prepare(Vendor::accountLookupSql()));
        q.addBindValue(Vendor::accountPattern(DemoUser));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        QVERIFY(q.next());
        const QSqlRecord account = q.record();
        QStringList values;
        for (const QString &column : {Vendor::Column::SecureKey, Vendor::Column::DataPathGet, Vendor::Column::DataPathPost,
                                      Vendor::Column::BackfillPath, Vendor::Column::SupportLink, Vendor::Column::Feeds,
                                      Vendor::Column::LatestVersion, Vendor::Column::LatestVersionPath})
            values << account.value(column).toString();
        QCOMPARE(values, (QStringList{DemoKey, "127.0.0.1:8719/rt/live", "127.0.0.1:8719/rt/livepost",
                                      "127.0.0.1:8719/rt/backfill", options.supportLink, options.feeds, "4.02",
                                      "http://127.0.0.1:8719/update/Tickvane-4.10.zip"}));
        QVERIFY(!q.next());

        QVERIFY(q.prepare(Vendor::accountDetailsSql()));
        q.addBindValue(Vendor::accountPattern(DemoUser));
        QVERIFY(q.exec() && q.next());
        QCOMPARE(q.value(0).toString(), options.message);

        // The other traders are there, with keys of their own.
        QVERIFY(q.exec(QStringLiteral("SELECT MachineID, SecureKey FROM admin_acct ORDER BY AcctID")));
        QCOMPARE(rowsOf(q), (QStringList{"OTHER_USER-42=other-key-91c2", "ab%cd=percent-key-5d07",
                                         "DEMO-USER=demo-key-7f3a"}));
        QVERIFY(q.exec(Vendor::serverSettingsSql()));
        QCOMPARE(rowsOf(q), QStringList{"08122026=day=five"});
        for (const char *table : {"versionautoupdator_qvx_tickvf", "broadcastmsg_blank"}) {
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)));
            QCOMPARE(rowsOf(q), QStringList{"1"});
        }

        // The database sorts each exchange exactly as catalogue() says.
        for (const QString &exchange : Exchanges) {
            QVERIFY(q.prepare(Vendor::catalogueSql()));
            q.addBindValue(exchange);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            QCOMPARE(rowsOf(q), QStringList(VendorSim::catalogue(exchange)));
        }

        // Without the demo account only the other traders remain.
        options.withAccount = false;
        QVERIFY2(VendorSim::seedDatabase(database, options, &error), qPrintable(error));
        QVERIFY(q.prepare(Vendor::accountLookupSql()));
        q.addBindValue(Vendor::accountPattern(DemoUser));
        QVERIFY(q.exec());
        QVERIFY(!q.next());
    }
    QSqlDatabase::removeDatabase(connection);

    QVERIFY(!VendorSim::seedDatabase(QStringLiteral("postgres://x/y"), options, &error));
    QVERIFY(!error.isEmpty());
}

void TestVendorSim::program()
{
    const QString binary =
        QStandardPaths::findExecutable(QStringLiteral("vendor-sim"), {qEnvironmentVariable("TICKVANE_BIN")});
    if (binary.isEmpty())
        QSKIP("vendor-sim is not built (TICKVANE_BIN)");
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("vendor.db"));
    const QString record = dir.filePath(QStringLiteral("requests.log"));
    const QString answers = dir.filePath(QStringLiteral("answers.log"));

    const auto options = [](const char *words) { return QString::fromLatin1(words).split(QLatin1Char(' ')); };
    QProcess bad;
    bad.start(binary, options("--misbehave live=sideways"));
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);

    QProcess seedOnly;
    seedOnly.start(binary, options("--seed-only --port 9123") + QStringList{QStringLiteral("--db"), "sqlite:" + db});
    QVERIFY(seedOnly.waitForFinished(30000));
    QCOMPARE(seedOnly.exitCode(), 0);

    QProcess sim;
    startInOwnProcessGroup(sim);
    // The paths apart: a temporary folder's name may hold a space.
    sim.start(binary, options("--port 0 --user PROG-USER --latest-version 4.10 --misbehave eod=error:1 --any-symbol")
                          + QStringList{QStringLiteral("--db"), "sqlite:" + db, QStringLiteral("--record"), record,
                                        QStringLiteral("--answers"), answers});
    QVERIFY(sim.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains('\n'), 30000);
    // A Windows console ends the line with CRLF.
    static const QRegularExpression ready(QStringLiteral("^vendor-sim listening on 127\\.0\\.0\\.1:(\\d+)\r?\n$"));
    const QRegularExpressionMatch match = ready.match(QString::fromUtf8(out));
    QVERIFY2(match.hasMatch(), out.constData());
    const QString hostPort = QStringLiteral("127.0.0.1:") + match.captured(1);

    {
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            sqlite.setDatabaseName(db);
            QVERIFY(sqlite.open());
            QSqlQuery q(sqlite);
            QVERIFY(q.exec(QStringLiteral("SELECT NetworkDataPathGet, SecureKey, LatestVersionRT FROM admin_acct, "
                                          "versionautoupdator_qvx_tickvf WHERE MachineID = 'PROG-USER'")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), hostPort + QStringLiteral("/rt/live"));
            QCOMPARE(q.value(2).toString(), QStringLiteral("4.10"));
        }
        QSqlDatabase::removeDatabase(connection);
    }

    const QString base = QStringLiteral("http://") + hostPort;
    const Fetched quote = fetch(m_nam.get(), base + QStringLiteral("/rt/live?uid=PROG-USER&send=TCS&hash=") + DemoKey);
    QVERIFY2(quote.body.startsWith("CASH,TCS,"), quote.body.constData());
    const Fetched madeUp = fetch(m_nam.get(), base + QStringLiteral("/rt/live?uid=PROG-USER&send=ZZMADEUP&hash=") + DemoKey);
    QVERIFY2(madeUp.body.startsWith("CASH,ZZMADEUP,"), madeUp.body.constData());
    QCOMPARE(fetch(m_nam.get(), base + QStringLiteral("/backfillS21/e/1/d/CASH-1.zip")).status, 500);
    QCOMPARE(fetch(m_nam.get(), base + QStringLiteral("/backfillS21/e/1/d/CASH-1.zip")).status, 200);

    requestStop(sim);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);

    QFile log(record);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> logged = lines(log.readAll());
    QCOMPARE(logged.size(), 4);
    QCOMPARE(logged.at(0).split('\t').mid(1),
             (QList<QByteArray>{"live", "GET", "/rt/live", "uid=PROG-USER&send=TCS&hash=" + DemoKey.toUtf8()}));
    QCOMPARE(logged.at(3).split('\t').value(1), QByteArray("eod"));

    // One line per answer once it has left (so not always in the order of the requests): time,
    // endpoint, status, body bytes as sent (compressed when the client takes gzip, as Qt does),
    // and when the request's head and its whole had been read.
    QFile answerLog(answers);
    QVERIFY(answerLog.open(QIODevice::ReadOnly));
    QStringList answered;
    for (const QByteArray &line : lines(answerLog.readAll())) {
        const QList<QByteArray> fields = line.split('\t');
        QCOMPARE(fields.size(), 6);
        const auto time = [&fields](int field) {
            return QDateTime::fromString(QString::fromLatin1(fields.at(field)), Qt::ISODateWithMs);
        };
        QVERIFY(time(0).isValid() && time(4).isValid() && time(5).isValid());
        QVERIFY(time(4) <= time(5) && time(5) <= time(0));
        QVERIFY(fields.at(3).toLongLong() > 0);
        answered << QString::fromUtf8(fields.at(1) + ' ' + fields.at(2));
    }
    answered.sort();
    QCOMPARE(answered, QStringList({"eod 200", "eod 500", "live 200", "live 200"}));
}

QTEST_GUILESS_MAIN(TestVendorSim)
#include "tst_vendorsim.moc"
