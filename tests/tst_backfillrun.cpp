// Intraday backfill from the feed session's commands to AmiBroker's Import, against the local
// vendor: the requests that really leave and their order, repeats on the wire, stops, the start-up
// backfill, gap backfills after an outage, and imports the automation stand-in refuses.
// The run's own rules (repeats, refusals, stops, queue, texts) are tested in tst_backfillrununit.
#include "backfillharness.h"
#include "support/storedsettings.h"

#include "app/eventlog.h"
#include "app/settingsstore.h"
#include "feed/amibroker.h"
#include "feed/feedhealth.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "vendor/authdialog.h"
#include "vendor/vendorconnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

using namespace BackfillTest;

namespace {

QByteArray logContent(const QString &folder)
{
    EventLog::flush();
    QFile file(folder + QLatin1Char('/') + QDir(folder).entryList({QStringLiteral("tickvane-*.log")}, QDir::Files).value(0));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// AmiBroker that refuses the intraday backfill file (DISP_E_EXCEPTION) and takes everything else.
struct RefusesBackfillFile final : Platform::AutomationObject
{
    std::unique_ptr<Platform::AutomationObject> inner = Platform::createAutomationObject(AmiBroker::ProgId);
    int *refusals;

    explicit RefusesBackfillFile(int *count) : refusals(count) {}
    bool isNull() const override { return inner->isNull(); }
    Platform::CallResult call(const QString &text) override
    {
        if (!text.contains(QLatin1String("autobackfill.txt")))
            return inner->call(text);
        ++*refusals;
        return {Platform::CallResult::Outcome::Refused, Platform::DispExceptionError, 0};
    }
    Platform::CallResult call(const QString &text, const QString &argument) override { return inner->call(text, argument); }
};

}

class TestBackfillRun : public QObject
{
    Q_OBJECT

private slots:
    void init() { h = std::make_unique<Harness>(); }
    void cleanup() { h.reset(); }

    void requests_data();
    void requests();
    void progressLabel_data();
    void progressLabel();
    void startupBackfill_data();
    void startupBackfill();
    void failuresAreBoundedAndReported_data();
    void failuresAreBoundedAndReported();
    void stops_data();
    void stops();
    void gapBackfill_data();
    void gapBackfill();
    void refusedImportsWaitForAmiBroker_data();
    void refusedImportsWaitForAmiBroker();
    void refusedFileEndsItsRunOnly();
    void deferredGapOutlivesItsRun_data();
    void deferredGapOutlivesItsRun();

private:
    std::unique_ptr<Harness> h;
};

void TestBackfillRun::requests_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QString>("unselected");   // dropped from the selection
    QTest::addColumn<QString>("action");       // "all", "five" or the symbol of one row
    QTest::addColumn<QString>("days");
    QTest::addColumn<QStringList>("expected"); // "<d>|<send>" in request order
    QTest::addColumn<bool>("runs");

    const Rows mixed{{"RELIANCE", "CASH"}, {"NIFTY-I", "FUTURE"}, {"M&M", "CASH"}};
    const Rows cash{{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}};
    QTest::newRow("all rows, days as given, table order")
        << mixed << "CASH,FUTURE" << "" << "all" << "180" << QStringList{"180|RELIANCE", "180|NIFTY-I", "180|M%26M"} << true;
    QTest::newRow("all rows skip a disabled exchange")
        << Rows{{"RELIANCE", "CASH"}, {"GOLD", "MCX"}, {"TCS", "CASH"}} << "CASH" << "" << "all" << "10"
        << QStringList{"10|RELIANCE", "10|TCS"} << true;
    QTest::newRow("all rows skip a symbol no longer selected")
        << cash << "CASH" << "SBIN" << "all" << "3" << QStringList{"3|ACC", "3|TCS"} << true;
    QTest::newRow("all rows, exchange names are exact")
        << Rows{{"ACC", "cash"}, {"TCS", "CASH "}} << "CASH" << "" << "all" << "1" << QStringList{} << true;
    QTest::newRow("empty selection ends at once") << Rows{} << "CASH" << "" << "all" << "1" << QStringList{} << true;
    QTest::newRow("five days take only the exchange")
        << Rows{{"ACC", "CASH"}, {"GOLD", "MCX"}, {"SBIN", "CASH"}} << "CASH" << "" << "five" << "180"
        << QStringList{"5|ACC", "5|SBIN"} << true;
    QTest::newRow("one row") << mixed << "CASH,FUTURE" << "" << "NIFTY-I" << "30" << QStringList{"30|NIFTY-I"} << true;
    QTest::newRow("one row with an ampersand") << mixed << "CASH,FUTURE" << "" << "M&M" << "60" << QStringList{"60|M%26M"} << true;
    QTest::newRow("one row of a disabled exchange") << mixed << "CASH" << "" << "NIFTY-I" << "30" << QStringList{} << false;
}

void TestBackfillRun::requests()
{
    QFETCH(Rows, rows);
    QFETCH(QString, unselected);
    QFETCH(QString, action);
    QFETCH(QString, days);
    QFETCH(QStringList, expected);
    QFETCH(bool, runs);

    QFETCH(QString, feeds);
    h->session().enableFeeds(feeds);
    h->select(rows);
    if (!unselected.isEmpty())
        h->session().removeSymbol(unselected);
    QSignalSpy states(&h->session(), &FeedSession::backfillStateChanged);
    if (action == QLatin1String("all")) {
        h->session().backfillSelection(days);
    } else if (action == QLatin1String("five")) {
        h->session().fiveDayBackfill();
    } else {
        const auto row = std::find_if(rows.cbegin(), rows.cend(), [&](const auto &r) { return r.first == action; });
        h->session().backfillRow(row->first, row->second, days);
    }

    if (runs) {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    } else {
        QTest::qWait(300);
        QVERIFY(states.isEmpty());
    }
    QCOMPARE(h->backfillQueries(), Harness::queries(expected));
    QVERIFY(h->run().queue().isEmpty());

    // Each reply goes to AmiBroker before the next request leaves, and the bar names its row.
    const QList<VendorSim::Request> sent = h->server.requests(QStringLiteral("backfill"));
    const QList<JournalLine> imports = h->journal(QStringLiteral("Import("));
    QCOMPARE(imports.size(), expected.size());
    QStringList shown;
    for (const QVariantList &report : qAsConst(*h->progress))
        shown << report.at(1).toString();
    for (int i = 0; i < imports.size(); ++i) {
        QCOMPARE(imports.at(i).text, Harness::intradayImport());
        QVERIFY2(imports.at(i).msecsSinceEpoch >= sent.at(i).msecsSinceEpoch, "imported before its request");
        if (i + 1 < sent.size())
            QVERIFY2(imports.at(i).msecsSinceEpoch <= sent.at(i + 1).msecsSinceEpoch,
                     "the next request left before the import");
        const QString label = QLatin1Char('(') + expected.at(i).section(QLatin1Char('|'), 1) + QStringLiteral(") ");
        QVERIFY2(std::any_of(shown.cbegin(), shown.cend(),
                             [&label](const QString &text) { return text.startsWith(label) && text.size() > label.size(); }),
                 qPrintable(shown.join(QLatin1String(" / "))));
    }
    if (!expected.isEmpty())
        QVERIFY(QFileInfo(Config::instance().path("autobackfill.txt")).size() > 0);
}

void TestBackfillRun::progressLabel_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("format");

    QTest::newRow("intraday symbol as sent") << "http://127.0.0.1:9/rt/backfill?uid=U&hash=K&d=5&send=M%26M"
                                             << "100" << "512.0 bytes/sec" << 100 << "(M%26M) 512.0 bytes/sec";
    QTest::newRow("fraction is truncated") << "http://127.0.0.1:9/rt/backfill?uid=U&hash=K&d=5&send=ACC"
                                           << "37.5" << "1.5 kB/s" << 37 << "(ACC) 1.5 kB/s";
    QTest::newRow("archive name") << "http://127.0.0.1:9/backfillS21/e/07122026/day/CASH-1.zip"
                                  << "99.9" << "2.0 MB/s" << 99 << "(CASH-1.zip) 2.0 MB/s";
    QTest::newRow("unknown total keeps the bar in range") << "http://127.0.0.1:9/x/COMM-3.zip"
                                                          << "inf" << "1.0 kB/s" << 0 << "(COMM-3.zip) 1.0 kB/s";
    QTest::newRow("speed text is not re-read") << "http://127.0.0.1:9/x?send=ACC" << "50" << "%1 kB/s" << 50
                                               << "(ACC) %1 kB/s";
}

void TestBackfillRun::progressLabel()
{
    QFETCH(QString, url);
    QFETCH(QString, progress);
    QFETCH(QString, speed);

    const BackfillRun::Progress shown = BackfillRun::progressOf(QUrl(url, QUrl::TolerantMode), progress, speed);
    QTEST(shown.percent, "value");
    QTEST(shown.text, "format");
}

void TestBackfillRun::startupBackfill_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("serverSettings"); // the vendor database holds the backfill location
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("five days, eligible rows in table order") << 5 << true << QStringList{"5|ACC", "5|NIFTY-I", "5|M%26M"};
    QTest::newRow("switched off") << 1 << true << QStringList{};
    QTest::newRow("without the server settings: no base, no backfill") << 5 << false << QStringList{};
}

void TestBackfillRun::startupBackfill()
{
    QFETCH(int, days);
    QFETCH(bool, serverSettings);
    QFETCH(QStringList, expected);

    h->session().enableFeeds(QStringLiteral("CASH,FUTURE"));
    h->select({{"ACC", "CASH"}, {"GOLD", "MCX"}, {"NIFTY-I", "FUTURE"}, {"M&M", "CASH"}});
    h->session().setOneDayBackfillBase(QString());
    QVERIFY(h->engine->connection->isOpen());
    if (!serverSettings)
        QVERIFY(h->engine->connection->query().exec(QStringLiteral("DROP TABLE ParvelRT_settings")));
    authDialog controller(Platform::createAutomationObject, nullptr);
    controller.attach(*h->engine, nullptr);
    controller.backfillAtStartup(days);

    const QString base = serverSettings ? QStringLiteral("http://%1/backfillS21/1/%2/%3/")
                                              .arg(h->server.hostPort(), ServerDate, OneDayPath)
                                        : QString();
    QCOMPARE(controller.oneDayBackfillBase(), base);
    QCOMPARE(h->session().oneDayBackfillBase(), base);
    if (expected.isEmpty()) {
        QTest::qWait(300);
        QVERIFY(!h->run().isActive());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    }
    QCOMPARE(h->backfillQueries(), Harness::queries(expected));
    QCOMPARE(h->importTexts().size(), expected.size());
}

void TestBackfillRun::failuresAreBoundedAndReported_data()
{
    QTest::addColumn<bool>("intraday");       // ACC and SBIN, or the archive CASH-1.zip
    QTest::addColumn<QString>("mode");        // misbehaviour of the endpoint, or "unwritable"
    QTest::addColumn<int>("times");           // how many requests misbehave; -1: all
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");     // contained in the run's details
    QTest::addColumn<QList<int>>("requests"); // per symbol, or of the archive
    QTest::addColumn<int>("imports");

    QTest::newRow("row failing four times is skipped, the next one imported")
        << true << "error" << 4 << "Backfill Done (1 failed)" << "ACC: " << QList<int>{4, 1} << 1;
    QTest::newRow("backfill file that cannot be written: every row fails")
        << true << "unwritable" << 0 << "Backfill Done (2 failed)" << "SBIN: " << QList<int>{4, 4} << 0;
    QTest::newRow("archive that is not a zip")
        << false << "garbage" << -1 << "Backfill Failed" << "could not be unpacked" << QList<int>{4} << 0;
}

// Repeats really wait their pause on the wire, whatever the poll rate; a reply that cannot be
// written or unpacked fails as a failed request does.
void TestBackfillRun::failuresAreBoundedAndReported()
{
    QFETCH(bool, intraday);
    QFETCH(QString, mode);
    QFETCH(int, times);
    QFETCH(QString, details);
    QFETCH(QList<int>, requests);
    QFETCH(int, imports);

    const QString endpoint = intraday ? QStringLiteral("backfill") : QStringLiteral("eod");
    VendorSim::Mode misbehaviour = VendorSim::Mode::Normal;
    if (mode == QLatin1String("unwritable"))
        QVERIFY(QDir().mkpath(Config::instance().path("autobackfill.txt/in the way")));
    else
        QVERIFY(VendorSim::parseMode(mode, &misbehaviour));
    h->server.misbehave(endpoint, misbehaviour, times);
    h->session().enableFeeds(QStringLiteral("CASH"));
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    if (intraday)
        h->session().backfillSelection(QStringLiteral("1"));
    else
        h->session().endOfDay(QStringLiteral("CASH-1.zip"), true);

    QVERIFY(h->finished->wait(LongWait));
    QTEST(h->finishedText(0), "text");
    QVERIFY2(h->finishedText(1).contains(details), qPrintable(h->finishedText(1)));
    QVERIFY(!h->run().isActive());

    const QList<VendorSim::Request> sent = h->server.requests(endpoint);
    QList<int> perItem;
    QString last;
    for (const VendorSim::Request &request : sent) {
        const QString item = intraday ? request.query.section(QStringLiteral("send="), 1) : request.path;
        if (perItem.isEmpty() || item != last)
            perItem << 0;
        ++perItem.last();
        last = item;
    }
    QCOMPARE(perItem, requests);
    // Each repeat waits at least its pause after the answer before: never at the poll rate.
    for (int i = 1; i < qMin(sent.size(), RetryDelays.size() + 1); ++i)
        QVERIFY2(sent.at(i).msecsSinceEpoch - sent.at(i - 1).msecsSinceEpoch >= RetryDelays.at(i - 1),
                 qPrintable(QString::number(sent.at(i).msecsSinceEpoch - sent.at(i - 1).msecsSinceEpoch)));
    QCOMPARE(h->importTexts().size(), imports);
}

void TestBackfillRun::stops_data()
{
    QTest::addColumn<int>("failures"); // ACC's failing answers before one works; -1: all; 0: it hangs
    QTest::addColumn<QString>("press"); // "all", or the row "<symbol> <exchange>"
    QTest::addColumn<int>("imports");
    QTest::addColumn<bool>("finishes");

    QTest::newRow("second Backfill stops the run") << -1 << "all" << 0 << false;
    QTest::newRow("second Backfill while the request hangs") << 0 << "all" << 0 << false;
    QTest::newRow("eligible row stops the run, its own request is not made") << -1 << "SBIN CASH" << 0 << false;
    QTest::newRow("ineligible row empties the queue, the request in flight ends the run")
        << 3 << "GOLD MCX" << 1 << true;
}

// Nothing more leaves after a stop; a later run asks for its own rows, and a reply of the stopped
// request still under way is not taken for one of them.
void TestBackfillRun::stops()
{
    QFETCH(int, failures);
    QFETCH(QString, press);
    QFETCH(int, imports);
    QFETCH(bool, finishes);

    const QString endpoint = QStringLiteral("backfill");
    h->server.misbehave(endpoint, failures == 0 ? VendorSim::Mode::Hang : VendorSim::Mode::HttpError,
                        failures == 0 ? 1 : failures);
    h->session().enableFeeds(QStringLiteral("CASH"));
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}, {"GOLD", "MCX"}});
    h->session().backfillSelection(QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(h->server.requests(endpoint).size() >= (failures == 0 ? 1 : 2), LongWait);
    QVERIFY(h->run().isActive());

    if (press == QLatin1String("all"))
        h->session().backfillSelection(QStringLiteral("1"));
    else
        h->session().backfillRow(press.section(QLatin1Char(' '), 0, 0), press.section(QLatin1Char(' '), 1), "1");
    QVERIFY(h->run().queue().isEmpty());
    if (finishes) {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    } else {
        QVERIFY(!h->run().isActive());
        QTest::qWait(300);
        const int settled = h->server.requests(endpoint).size();
        QTest::qWait(300);
        QCOMPARE(h->server.requests(endpoint).size(), settled);
    }
    const QStringList queries = h->backfillQueries();
    QCOMPARE(queries.count(Harness::queries({"1|ACC"}).first()), queries.size());
    QCOMPARE(h->importTexts().size(), imports);

    h->server.misbehave(endpoint, VendorSim::Mode::Normal);
    h->env->clearJournal();
    h->session().enableFeeds(QStringLiteral("CASH,FUTURE"));
    h->select({{"NIFTY-I", "FUTURE"}, {"INFY", "CASH"}});
    h->session().backfillSelection(QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->backfillQueries().mid(queries.size()), Harness::queries({"1|NIFTY-I", "1|INFY"}));
    QCOMPARE(h->importTexts().size(), 2);
}

void TestBackfillRun::gapBackfill_data()
{
    QTest::addColumn<QString>("cause"); // "outage" of the live replies, or the stand-in's switch file
    QTest::addColumn<qint64>("holeMs");
    QTest::addColumn<bool>("runActive"); // a run (failing on its first row) is under way
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QStringList>("expected"); // backfill requests, "<d>|<send>"
    QTest::addColumn<QStringList>("events");   // what the log says of it

    const QStringList oneDay{"1|ACC", "1|NIFTY-I"};
    const QStringList outage{"WARN feed live replies failing", "INFO feed live replies recovered"};
    const QStringList filled{"INFO backfill gap backfill after the outage: one day of 2 rows",
                             "INFO backfill intraday run ended"};
    QTest::newRow("outage of a minute") << "outage" << qint64(61000) << false << QVariant() << oneDay << outage + filled;
    QTest::newRow("shorter outage") << "outage" << qint64(30000) << false << QVariant() << QStringList{} << outage;
    QTest::newRow("switched off") << "outage" << qint64(61000) << false << QVariant(false) << QStringList{} << outage;
    // The run's ACC fails four times and is given up; the gap backfill follows the run, asking again
    // for what the run gave up on, as it was asked for.
    QTest::newRow("a run is active: deferred until it ends")
        << "outage" << qint64(61000) << true << QVariant()
        << QStringList{"180|ACC", "180|ACC", "180|ACC", "180|ACC", "180|NIFTY-I", "180|ACC", "1|NIFTY-I"}
        << outage + QStringList{"INFO backfill gap backfill after an outage of 61 s deferred until the running backfill ends",
                                "WARN backfill intraday run ended",
                                "INFO backfill gap backfill after the outage: one day of 1 rows, 1 rows the run before gave up on",
                                "INFO backfill intraday run ended"};
    const QStringList away{"INFO backfill gap backfill after 65 s without a live import: one day of 2 rows",
                           "INFO backfill intraday run ended"};
    QTest::newRow("AmiBroker closed for 65 s") << "automation.down" << qint64(65000) << false << QVariant() << oneDay << away;
    QTest::newRow("AmiBroker closed for 20 s") << "automation.down" << qint64(20000) << false << QVariant()
                                               << QStringList{} << QStringList{};
    QTest::newRow("AmiBroker refusing imports for 65 s")
        << "automation.importfails" << qint64(65000) << false << QVariant() << oneDay << away;
}

// The live feed runs against the local vendor on a clock the test moves. When its replies come
// back after failing for a minute or more, or AmiBroker takes them again after taking none for as
// long, a one-day backfill of the selection runs by itself.
void TestBackfillRun::gapBackfill()
{
    QFETCH(QString, cause);
    QFETCH(qint64, holeMs);
    QFETCH(bool, runActive);
    QFETCH(QVariant, setting);
    QFETCH(QStringList, expected);

    const StoredSettings store;
    if (setting.isValid())
        store.seed(Store::BackfillAfterOutage, setting);
    else
        store.remove(Store::BackfillAfterOutage);

    const QString logFolder = h->env->root() + QStringLiteral("/logs");
    EventLog log(logFolder);
    qint64 now = 1'000'000;
    const FeedSessionProbe probe = inside(h->session());
    probe.health().setClock([&now] { return now; });
    h->session().enableFeeds(QStringLiteral("CASH,FUTURE"));
    h->session().startLive();
    // The live request follows the selection from here on: its replies hold the selection's quotes.
    h->select({{"ACC", "CASH"}, {"NIFTY-I", "FUTURE"}});
    QTRY_VERIFY_WITH_TIMEOUT(probe.health().importsThisSession() >= 1, LongWait);

    if (runActive) {
        // Long enough pauses that the outage ends while the run is still under way.
        h->run().setRetryDelays({1500, 1500, 1500});
        h->server.misbehave("backfill", VendorSim::Mode::HttpError, 4);
        h->session().backfillSelection(QStringLiteral("180"));
        QTRY_COMPARE_WITH_TIMEOUT(h->server.requests("backfill").size(), 1, LongWait);
    }

    if (cause == QLatin1String("outage")) {
        h->server.misbehave("live", VendorSim::Mode::HttpError, 2);
        QTRY_VERIFY_WITH_TIMEOUT(probe.health().failuresInRow() >= 1, LongWait);
        now += holeMs;
        QTRY_COMPARE_WITH_TIMEOUT(probe.health().failuresInRow(), 0, LongWait);
    } else {
        const QString away = h->env->root() + QLatin1Char('/') + cause;
        QSignalSpy notTaken(&probe.worker(), &liveDataUpdator::importNotTaken);
        QVERIFY(QFile(away).open(QIODevice::WriteOnly));
        QVERIFY(notTaken.wait(LongWait));
        // Good replies go on meanwhile: the clock moves less than a minute between two of them.
        QSignalSpy replies(probe.liveDownloader(), &MyDownloader::downloadfinished);
        for (qint64 moved = 0; moved < holeMs; moved += 15000) {
            now += qMin<qint64>(15000, holeMs - moved);
            const int seen = replies.count();
            QTRY_VERIFY_WITH_TIMEOUT(replies.count() > seen, LongWait);
        }
        const qint64 imports = probe.health().importsThisSession();
        QVERIFY(QFile::remove(away));
        QTRY_VERIFY_WITH_TIMEOUT(probe.health().importsThisSession() > imports, LongWait);
    }

    if (runActive)
        QTRY_COMPARE_WITH_TIMEOUT(h->backfillQueries().size(), expected.size(), LongWait);
    if (!expected.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    else
        QTest::qWait(500);
    QCOMPARE(h->backfillQueries(), Harness::queries(expected));
    probe.liveDownloader()->pollTimer->stop();

    // What the log tells support: the outage, the recovery, the gap backfill and its end; never
    // the request key.
    const QString content = QString::fromUtf8(logContent(logFolder));
    QVERIFY(!content.contains(RequestKey));
    // The request the feed actually sends, once the selection is applied.
    QVERIFY2(content.contains(QStringLiteral("live feed started: http://%1%2?uid=%3&send=ACC%7CNIFTY-I&hash=*** (GET, 2 symbols)")
                                  .arg(h->server.hostPort(), VendorSim::LivePathGet, UserId)),
             qPrintable(content));
    QStringList events;
    for (const QString &line : content.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString event = line.trimmed().section(QLatin1Char(' '), 2); // level, subsystem, text
        if (event.contains(QLatin1String("failing")) || event.contains(QLatin1String("recovered"))
            || event.contains(QLatin1String("gap backfill")) || event.contains(QLatin1String("run ended")))
            events << (event.contains(QLatin1String("gap backfill")) ? event : event.section(QLatin1Char(':'), 0, 0));
    }
    QTEST(events, "events");
}

void TestBackfillRun::refusedImportsWaitForAmiBroker_data()
{
    QTest::addColumn<bool>("endOfDay");  // ACC and SBIN, by rows or from the archive CASH-1.zip
    QTest::addColumn<bool>("comesBack"); // AmiBroker answers again after the first refusal
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<int>("taken");      // imports AmiBroker took
    QTest::addColumn<int>("keptFiles");  // end-of-day files left in the Backfill folder

    QTest::newRow("intraday, AmiBroker back") << false << true << "Backfill Done" << "" << 2 << 0;
    QTest::newRow("intraday, AmiBroker away") << false << false << "Backfill Failed"
                                              << "AmiBroker not reachable\nNot backfilled: ACC, SBIN" << 0 << 0;
    QTest::newRow("end of day, AmiBroker back") << true << true << "Backfill Done" << "" << 2 << 0;
    QTest::newRow("end of day, AmiBroker away: the files stay")
        << true << false << "Backfill Failed" << "AmiBroker not reachable\nNot imported: " << 0 << 2;
}

// The automation stand-in refuses while its switch file exists: the run holds the file in hand,
// fetches nothing more, and goes on when AmiBroker answers again or ends when it does not.
void TestBackfillRun::refusedImportsWaitForAmiBroker()
{
    QFETCH(bool, endOfDay);
    QFETCH(bool, comesBack);
    QFETCH(QString, details);
    QFETCH(int, taken);
    QFETCH(int, keptFiles);

    const QByteArray quotes = "07-12-2026,10:00,100,101,99,100.5,1000\n";
    h->server.setFile(Harness::archivePath("CASH-1.zip"),
                      VendorSim::makeZip({{"ACC.txt", quotes}, {"SBIN.txt", quotes}}));
    inside(h->session()).amibroker().setRelinkInterval(100);
    h->run().setAmiBrokerWait(comesBack ? LongWait : 800);
    h->session().enableFeeds(QStringLiteral("CASH"));
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    const QString down = h->env->root() + QStringLiteral("/automation.down");
    QVERIFY(QFile(down).open(QIODevice::WriteOnly));
    h->env->clearJournal();

    if (endOfDay)
        h->session().endOfDay(QStringLiteral("CASH-1.zip"), true);
    else
        h->session().backfillSelection(QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(h->run().isWaitingForAmiBroker(), LongWait);
    QVERIFY(h->progress->last().at(1).toString().contains(QLatin1String("waiting for AmiBroker")));
    QCOMPARE(h->server.requests("backfill").size() + h->server.requests("eod").size(), 1);
    if (comesBack)
        QVERIFY(QFile::remove(down));

    QVERIFY(h->finished->wait(LongWait));
    QTEST(h->finishedText(0), "text");
    QVERIFY2(h->finishedText(1).contains(details), qPrintable(h->finishedText(1)));
    // Imports AmiBroker took: Import calls the journal does not mark failed.
    const QStringList imports = h->env->journal().filter(QRegularExpression(QStringLiteral("^Import\\(")));
    QCOMPARE(imports.size() - imports.filter(QRegularExpression(QStringLiteral("\tfailed$"))).size(), taken);
    QCOMPARE(QDir(Config::instance().path("Backfill")).entryList(QDir::Files).size(), keptFiles);
    QVERIFY(!h->run().isActive());
    QFile::remove(down);
}

// Seen before: each re-creation of the object reported "reachable", which retried the refused file
// and restarted the wait; the run never ended, and a live tick made the link flip eight times.
void TestBackfillRun::refusedFileEndsItsRunOnly()
{
    int refusals = 0;
    VendorConnection connection(Config::instance().database());
    FeedSession session([&refusals](const QString &) { return std::make_unique<RefusesBackfillFile>(&refusals); },
                        connection);
    session.takeAccount(h->session().account());
    session.setUserId(UserId);
    session.enableFeeds(QStringLiteral("CASH"));
    session.assignSelection({"ACC", "SBIN"}, {"CASH", "CASH"});
    constexpr int Wait = 800;
    inside(session).backfillRun().setAmiBrokerWait(Wait);
    inside(session).backfillRun().setAmiBrokerRetryInterval(20);
    QSignalSpy finished(&session, &FeedSession::backfillFinished);
    h->env->clearJournal();

    session.backfillSelection(QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(inside(session).backfillRun().isWaitingForAmiBroker(), LongWait);
    QElapsedTimer waited;
    waited.start();
    inside(session).worker().importReply("NSE,ACC,20261207,1000,2210.5,10\n");
    QVERIFY(finished.wait(10 * Wait));
    QVERIFY2(waited.elapsed() < 2 * Wait, qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(finished.first().at(1).toString(), QStringLiteral("AmiBroker refused the import\nNot backfilled: ACC, SBIN"));
    QCOMPARE(refusals, 1 + BackfillRun::AmiBrokerRetries);
    // The link never flipped: nothing made again, no database loaded again; the live tick went in.
    QVERIFY(inside(session).amibroker().isReachable());
    QCOMPARE(h->env->journal(), (QStringList{QStringLiteral("Import(0,%1,%2)\t1")
                                                 .arg(Config::instance().nativePath(QStringLiteral("rtimport.txt")),
                                                      Config::instance().nativePath(QStringLiteral("dataFormatRT.dll"))),
                                             QStringLiteral("RefreshAll()")}));
}

void TestBackfillRun::deferredGapOutlivesItsRun_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("run stopped by a second Backfill") << false;
    QTest::newRow("run stopped by a restart: the next cycle fetches the gap") << true;
}

// Seen before: the gap waited for the run's "finished", which a stopped run never reports. A restart
// carries the gap and the time of the last good reply over to the next cycle, once; seen before
// too: a cycle that ended before its feed started lost them.
void TestBackfillRun::deferredGapOutlivesItsRun()
{
    QFETCH(bool, restart);
    const Rows rows{{"ACC", "CASH"}, {"SBIN", "CASH"}};
    h->session().enableFeeds(QStringLiteral("CASH"));
    h->session().startLive();
    h->select(rows);
    QTRY_VERIFY_WITH_TIMEOUT(h->session().lastGoodReply().isValid(), LongWait);
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->session().backfillSelection(QStringLiteral("180"));
    QTRY_COMPARE_WITH_TIMEOUT(h->server.requests("backfill").size(), 1, LongWait);
    emit inside(h->session()).health().recoveredAfterOutage(61000);
    QVERIFY(h->run().isActive());

    if (!restart) {
        h->session().backfillSelection(QStringLiteral("180"));
    } else {
        h->session().prepareRestart();
        QVERIFY(!h->run().isActive());
        const QDateTime lastGood = h->session().lastGoodReply();
        {
            const StoredSettings store;
            QCOMPARE(QDateTime::fromString(store.value(Store::LastGoodReplyBeforeRestart).toString(), Qt::ISODateWithMs),
                     lastGood);
            QVERIFY(store.contains(Store::PendingGapBeforeRestart));
        }
        // A cycle that ends before its live feed starts (an update offered, the lookup failed)
        // leaves both for the next one.
        for (int cycle = 0; cycle < 2; ++cycle) {
            h->startCycle();
            QCOMPARE(h->session().lastGoodReply(), lastGood);
            QVERIFY(StoredSettings().contains(Store::PendingGapBeforeRestart));
        }
        h->session().enableFeeds(QStringLiteral("CASH"));
        h->select(rows);
        h->session().startLive();
        const StoredSettings store;
        QVERIFY(!store.contains(Store::LastGoodReplyBeforeRestart));
        QVERIFY(!store.contains(Store::PendingGapBeforeRestart));
    }
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->backfillQueries().mid(1), Harness::queries({"1|ACC", "1|SBIN"}));
}

QTEST_MAIN(TestBackfillRun)
#include "tst_backfillrun.moc"
