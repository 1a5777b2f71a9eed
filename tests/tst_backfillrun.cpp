// Intraday backfill from the trader's buttons to AmiBroker's Import: which rows are asked for,
// in which order, and how a run advances, retries and stops, against the local vendor.
#include "backfillharness.h"
#include "support/mainform.h"
#include "support/storedsettings.h"

#include "app/config.h"
#include "app/eventlog.h"
#include "app/settingsstore.h"
#include "feed/amibroker.h"
#include "feed/feedhealth.h"
#include "feed/feedsession.h"
#include "platform/automationobject.h"
#include "vendor/authdialog.h"
#include "vendor/vendorconnection.h"

#include <QDir>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

using namespace BackfillTest;

namespace {

// The start-up controller over the harness's window; the window stays the harness's.
struct Controller
{
    explicit Controller(AssembledWindow *window)
        : dialog(Platform::createAutomationObject, nullptr)
    {
        dialog.attach(window->feedEngine(), window);
    }
    authDialog dialog;
};

}

class TestBackfillRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void eachImportBeforeNextRequest();
    void failingRequestIsRetried();
    void stopDuringRequest();
    void laterRunDoesNotTakeStoppedReply();
    void pressWhileActive_data();
    void pressWhileActive();
    void progressLabel_data();
    void progressLabel();
    void progressLabelDuringDownload();
    void startupBackfill_data();
    void startupBackfill();
    void startupWithoutServerSettings();
    void failuresAreBoundedAndReported_data();
    void failuresAreBoundedAndReported();
    void stopDuringRetryWait();
    void gapBackfillAfterOutage_data();
    void gapBackfillAfterOutage();
    void refusedImportsWaitForAmiBroker_data();
    void refusedImportsWaitForAmiBroker();
    void restartEndsTheRunAndCarriesTheOutage();
    void refusedFileEndsItsRunOnly();
    void deferredGapOutlivesItsRun_data();
    void deferredGapOutlivesItsRun();
    void gapBackfillAfterAmiBrokerAway_data();
    void gapBackfillAfterAmiBrokerAway();

private:
    std::unique_ptr<Harness> h;
};

void TestBackfillRun::init()
{
    h = std::make_unique<Harness>();
}

void TestBackfillRun::cleanup()
{
    h.reset();
}

void TestBackfillRun::requests_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QStringList>("unselected"); // dropped from the selection (and so from the table)
    QTest::addColumn<QString>("action");         // "all", "five" or "row<N>"
    QTest::addColumn<QString>("days");
    QTest::addColumn<QStringList>("expected");   // "<d>|<send>" in request order
    QTest::addColumn<bool>("runs");              // the driver is called and ends with "Backfill Done"

    const Rows mixed{{"RELIANCE", "CASH"}, {"NIFTY-I", "FUTURE"}, {"M&M", "CASH"}};
    QTest::newRow("all rows, days as shown, table order")
        << mixed << QStringList{"CASH", "FUTURE"} << QStringList{} << "all" << "180"
        << QStringList{"180|RELIANCE", "180|NIFTY-I", "180|M%26M"} << true;
    QTest::newRow("all rows skip a disabled exchange")
        << Rows{{"RELIANCE", "CASH"}, {"GOLD", "MCX"}, {"TCS", "CASH"}} << QStringList{"CASH"}
        << QStringList{} << "all" << "10" << QStringList{"10|RELIANCE", "10|TCS"} << true;
    QTest::newRow("all rows skip a symbol no longer selected")
        << Rows{{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}} << QStringList{"CASH"}
        << QStringList{"SBIN"} << "all" << "3" << QStringList{"3|ACC", "3|TCS"} << true;
    QTest::newRow("all rows, exchange names are exact")
        << Rows{{"ACC", "cash"}, {"TCS", "CASH "}} << QStringList{"CASH"} << QStringList{} << "all"
        << "1" << QStringList{} << true;
    QTest::newRow("empty table ends at once") << Rows{} << QStringList{"CASH"} << QStringList{} << "all"
                                              << "1" << QStringList{} << true;
    QTest::newRow("five days test only the exchange")
        << Rows{{"ACC", "CASH"}, {"GOLD", "MCX"}, {"SBIN", "CASH"}} << QStringList{"CASH"}
        << QStringList{} << "five" << "180" << QStringList{"5|ACC", "5|SBIN"} << true;
    QTest::newRow("one row") << mixed << QStringList{"CASH", "FUTURE"} << QStringList{} << "row1" << "30"
                             << QStringList{"30|NIFTY-I"} << true;
    QTest::newRow("one row with an ampersand") << mixed << QStringList{"CASH", "FUTURE"} << QStringList{}
                                               << "row2" << "60" << QStringList{"60|M%26M"} << true;
    QTest::newRow("one row of a disabled exchange") << mixed << QStringList{"CASH"} << QStringList{} << "row1"
                                                    << "30" << QStringList{} << false;
}

void TestBackfillRun::requests()
{
    QFETCH(Rows, rows);
    QFETCH(QStringList, enabled);
    QFETCH(QStringList, unselected);
    QFETCH(QString, action);
    QFETCH(QString, days);
    QFETCH(QStringList, expected);
    QFETCH(bool, runs);

    h->enableExchanges(enabled);
    h->select(rows);
    for (const QString &symbol : unselected)
        sessionOf(*h->window).removeSymbol(symbol);
    h->ui()->daysBox->clear();
    h->ui()->daysBox->addItems({"1", "3", "5", "10", "20", "30", "60", "90", "120", "180"});
    h->ui()->daysBox->setCurrentText(days);
    QCOMPARE(h->ui()->daysBox->currentText(), days);

    if (action == QLatin1String("all"))
        h->backfillButton()->click();
    else if (action == QLatin1String("five"))
        sessionOf(*h->window).fiveDayBackfill();
    else
        h->rowButton(action.mid(3).toInt())->click();

    QStringList queries;
    for (const QString &item : qAsConst(expected))
        queries << h->query(item.section('|', 0, 0), item.section('|', 1));

    if (runs) {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    } else {
        QTest::qWait(300);
        QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
        QVERIFY(h->ui()->progressBarRT->format().isEmpty());
    }
    QCOMPARE(h->backfillQueries(), queries);
    QCOMPARE(h->importTexts().count(Harness::intradayImport()), expected.size());
    QVERIFY(inside(sessionOf(*h->window)).backfillRun().queue().isEmpty());
}

void TestBackfillRun::eachImportBeforeNextRequest()
{
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}});
    h->ui()->daysBox->setCurrentText("5");
    h->backfillButton()->click();
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);

    const QList<VendorSim::Request> sent = h->requests("backfill");
    const QList<JournalLine> imports = h->journal("Import(");
    QCOMPARE(sent.size(), 3);
    QCOMPARE(imports.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(imports.at(i).text, Harness::intradayImport());
        QVERIFY2(imports.at(i).msecsSinceEpoch >= sent.at(i).msecsSinceEpoch, "imported before its request");
        if (i + 1 < 3)
            QVERIFY2(imports.at(i).msecsSinceEpoch <= sent.at(i + 1).msecsSinceEpoch,
                     "the next request left before the import");
    }
    // The last reply is what AmiBroker was handed last.
    QFile file(Config::instance().path("autobackfill.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.size() > 0);
}

void TestBackfillRun::failingRequestIsRetried()
{
    h->server.misbehave("backfill", VendorSim::Mode::HttpError, 2);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}});
    QSignalSpy errors((&inside(sessionOf(*h->window)).backfillDownloader()), &MyDownloader::responseError);
    h->backfillButton()->click();

    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    const QString query = h->query("1", "ACC");
    QCOMPARE(h->backfillQueries(), (QStringList{query, query, query}));
    QCOMPARE(errors.count(), 2);
    QCOMPARE(h->importTexts(), QStringList{Harness::intradayImport()});
}

void TestBackfillRun::stopDuringRequest()
{
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->enableExchanges({"CASH", "FUTURE"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}});
    h->backfillButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);

    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Stop"));
    h->backfillButton()->click();
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
    QVERIFY(h->backfillButton()->isEnabled());
    QVERIFY(inside(sessionOf(*h->window)).backfillRun().queue().isEmpty());

    // A reply that completes after the stop is written but must not be imported.
    emit inside(sessionOf(*h->window)).backfillDownloader().downloadfinished();
    QTest::qWait(500);
    // What the watchdog would do to the hanging request after its interval.
    inside(sessionOf(*h->window)).backfillDownloader().abort();
    QTest::qWait(200);
    QCOMPARE(h->requests("backfill").size(), 1);
    QVERIFY(h->importTexts().isEmpty());
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));

    // A later run asks for its own rows only.
    h->select({{"NIFTY-I", "FUTURE"}, {"INFY", "CASH"}});
    h->backfillButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    const QStringList queries = h->backfillQueries();
    QCOMPARE(queries.mid(1), (QStringList{h->query("1", "NIFTY-I"), h->query("1", "INFY")}));
    QCOMPARE(h->importTexts().size(), 2);
}

void TestBackfillRun::laterRunDoesNotTakeStoppedReply()
{
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->enableExchanges({"CASH", "FUTURE"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    h->backfillButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);
    h->backfillButton()->click();
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));

    // The stopped request still hangs: the new run must ask for its own first row, not wait for
    // that reply and import it as if it were NIFTY-I's.
    h->select({{"NIFTY-I", "FUTURE"}, {"INFY", "CASH"}});
    h->backfillButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->backfillQueries().mid(1), (QStringList{h->query("1", "NIFTY-I"), h->query("1", "INFY")}));
    QCOMPARE(h->importTexts().size(), 2);
}

void TestBackfillRun::pressWhileActive_data()
{
    QTest::addColumn<int>("failures");   // failing answers before ACC succeeds; -1 = never
    QTest::addColumn<QString>("press");  // "main" or "row<N>"
    QTest::addColumn<int>("imports");
    QTest::addColumn<bool>("finishes");

    QTest::newRow("main button stops the run") << -1 << "main" << 0 << false;
    QTest::newRow("eligible row stops the run, its own request is not made") << -1 << "row1" << 0 << false;
    QTest::newRow("ineligible row empties the queue, the request in flight ends the run") << 3 << "row3" << 1 << true;
}

void TestBackfillRun::pressWhileActive()
{
    QFETCH(int, failures);
    QFETCH(QString, press);
    QFETCH(int, imports);
    QFETCH(bool, finishes);

    h->server.misbehave("backfill", VendorSim::Mode::HttpError, failures);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}, {"TCS", "CASH"}, {"GOLD", "MCX"}});
    h->backfillButton()->click();
    // The first row's request keeps failing and is repeated; the run stays active.
    QTRY_VERIFY_WITH_TIMEOUT(h->requests("backfill").size() >= 2, LongWait);
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Stop"));

    if (press == QLatin1String("main"))
        h->backfillButton()->click();
    else
        h->rowButton(press.mid(3).toInt())->click();
    QVERIFY(inside(sessionOf(*h->window)).backfillRun().queue().isEmpty());

    if (finishes) {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    } else {
        QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
        QVERIFY(h->backfillButton()->isEnabled());
        QTest::qWait(300);
        const int settled = h->requests("backfill").size();
        QTest::qWait(300);
        QCOMPARE(h->requests("backfill").size(), settled);
    }
    const QStringList queries = h->backfillQueries();
    QCOMPARE(queries.count(h->query("1", "ACC")), queries.size());
    QCOMPARE(h->importTexts().size(), imports);
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
    QFETCH(int, value);
    QFETCH(QString, format);

    const BackfillRun::Progress shown = BackfillRun::progressOf(QUrl(url, QUrl::TolerantMode), progress, speed);
    QCOMPARE(shown.percent, value);
    QCOMPARE(shown.text, format);
}

void TestBackfillRun::progressLabelDuringDownload()
{
    h->enableExchanges({"CASH"});
    h->select({{"M&M", "CASH"}});
    QString shown;
    // Connected after the run's own attachment, so it sees the label each report leaves.
    connect((&inside(sessionOf(*h->window)).backfillDownloader()), &MyDownloader::updateProgress2, this,
            [this, &shown] { shown = h->ui()->progressBarRT->format(); });
    h->backfillButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QVERIFY2(shown.startsWith(QLatin1String("(M%26M) ")), qPrintable(shown));
    QVERIFY(shown.size() > 8);
}

void TestBackfillRun::startupBackfill_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("five days, eligible rows in table order") << 5 << QStringList{"ACC", "NIFTY-I", "M%26M"};
    QTest::newRow("switched off") << 1 << QStringList{};
}

void TestBackfillRun::startupBackfill()
{
    QFETCH(int, days);
    QFETCH(QStringList, expected);

    h->enableExchanges({"CASH", "FUTURE"});
    h->select({{"ACC", "CASH"}, {"GOLD", "MCX"}, {"NIFTY-I", "FUTURE"}, {"M&M", "CASH"}});
    
    sessionOf(*h->window).setOneDayBackfillBase(QString());
    Controller guard(h->window.get());
    authDialog &controller = guard.dialog;
    QVERIFY(h->window->vendorConnection()->isOpen());
    controller.backfillAtStartup(days);

    const QString base = QStringLiteral("http://%1/backfillS21/1/%2/%3/")
                             .arg(h->server.hostPort(), ServerDate, OneDayPath);
    QCOMPARE(controller.oneDayBackfillBase(), base);
    QCOMPARE(sessionOf(*h->window).oneDayBackfillBase(), base);

    QStringList queries;
    for (const QString &symbol : qAsConst(expected))
        queries << h->query("5", symbol);
    if (expected.isEmpty()) {
        QTest::qWait(300);
        QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    }
    QCOMPARE(h->backfillQueries(), queries);
    QCOMPARE(h->importTexts().size(), expected.size());
}

void TestBackfillRun::startupWithoutServerSettings()
{
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}});
    
    sessionOf(*h->window).setOneDayBackfillBase(QString());
    Controller guard(h->window.get());
    authDialog &controller = guard.dialog;
    QVERIFY(h->window->vendorConnection()->query().exec(QStringLiteral("DROP TABLE ParvelRT_settings")));

    controller.backfillAtStartup(5);
    QTest::qWait(300);
    QVERIFY(controller.oneDayBackfillBase().isEmpty());
    QVERIFY(sessionOf(*h->window).oneDayBackfillBase().isEmpty());
    QVERIFY(h->backfillQueries().isEmpty());
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
}

void TestBackfillRun::failuresAreBoundedAndReported_data()
{
    QTest::addColumn<QString>("kind");            // "intraday" (ACC, SBIN) or "eod" (CASH-1.zip)
    QTest::addColumn<QString>("mode");            // misbehaviour of the endpoint, or "unwritable"
    QTest::addColumn<int>("times");               // how many requests misbehave; -1: all
    QTest::addColumn<QString>("text");            // the bar's final text
    QTest::addColumn<QString>("tooltip");         // contained in the bar's tooltip
    QTest::addColumn<QList<int>>("requests");     // per symbol (intraday) or of the archive
    QTest::addColumn<int>("imports");

    QTest::newRow("row failing four times is skipped, the next one imported")
        << "intraday" << "error" << 4 << "Backfill Done (1 failed)" << "ACC: " << QList<int>{4, 1} << 1;
    QTest::newRow("row recovering on its last repeat")
        << "intraday" << "error" << 3 << "Backfill Done" << "" << QList<int>{4, 1} << 2;
    QTest::newRow("backfill file that cannot be written: every row fails")
        << "intraday" << "unwritable" << 0 << "Backfill Done (2 failed)" << "SBIN: " << QList<int>{4, 4} << 0;
    QTest::newRow("rows the vendor refuses are failed rows, never imported")
        << "intraday" << "wrong key" << 0 << "Backfill Done (2 failed)" << "ACC: Authentication Failed (Failed,ACC,"
        << QList<int>{4, 4} << 0;
    QTest::newRow("archive that keeps failing")
        << "eod" << "error" << -1 << "Backfill Failed" << "" << QList<int>{4} << 0;
    QTest::newRow("archive that is not a zip")
        << "eod" << "garbage" << -1 << "Backfill Failed" << "could not be unpacked" << QList<int>{4} << 0;
}

// A failing request is repeated three times, each after a longer pause, then given up: an intraday
// row is skipped and named, an archive ends the run. The final text is always visible.
void TestBackfillRun::failuresAreBoundedAndReported()
{
    QFETCH(QString, kind);
    QFETCH(QString, mode);
    QFETCH(int, times);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    QFETCH(QList<int>, requests);
    QFETCH(int, imports);

    const bool intraday = kind == QLatin1String("intraday");
    const QString endpoint = intraday ? QStringLiteral("backfill") : QStringLiteral("eod");
    if (mode == QLatin1String("unwritable")) {
        QVERIFY(QDir().mkpath(Config::instance().path("autobackfill.txt/in the way")));
    } else if (mode == QLatin1String("wrong key")) {
        Account account = sessionOf(*h->window).account();
        account.secureKey = QStringLiteral("expired-key");
        sessionOf(*h->window).takeAccount(account);
    } else
        h->server.misbehave(endpoint, mode == QLatin1String("error") ? VendorSim::Mode::HttpError
                                                                      : VendorSim::Mode::Garbage, times);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    QSignalSpy finished(&inside(sessionOf(*h->window)).backfillRun(), &BackfillRun::finished);
    if (intraday)
        h->backfillButton()->click();
    else
        h->window->eodBackfillButton_clicked(QStringLiteral("CASH-1.zip"));

    QVERIFY(finished.wait(LongWait));
    QProgressBar *bar = h->ui()->progressBarRT;
    QCOMPARE(bar->text(), text);
    QVERIFY2(bar->toolTip().contains(tooltip), qPrintable(bar->toolTip()));
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));

    const QList<VendorSim::Request> sent = h->requests(endpoint);
    QList<int> perItem;
    QList<VendorSim::Request> first;
    for (const VendorSim::Request &request : sent) {
        const QString item = intraday ? request.query.section(QStringLiteral("send="), 1) : request.path;
        if (perItem.isEmpty() || item != (intraday ? first.last().query.section(QStringLiteral("send="), 1)
                                                   : first.last().path)) {
            perItem << 0;
        }
        ++perItem.last();
        first << request;
    }
    QCOMPARE(perItem, requests);
    // Each repeat waits at least its pause after the answer before: never at the poll rate.
    for (int i = 1; i < qMin(sent.size(), RetryDelays.size() + 1); ++i)
        QVERIFY2(sent.at(i).msecsSinceEpoch - sent.at(i - 1).msecsSinceEpoch >= RetryDelays.at(i - 1),
                 qPrintable(QString::number(sent.at(i).msecsSinceEpoch - sent.at(i - 1).msecsSinceEpoch)));
    QCOMPARE(h->importTexts().size(), imports);
}

void TestBackfillRun::stopDuringRetryWait()
{
    inside(sessionOf(*h->window)).backfillRun().setRetryDelays({1000, 1000, 1000});
    h->server.misbehave("backfill", VendorSim::Mode::HttpError);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}});
    h->backfillButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(h->ui()->progressBarRT->format().contains(QLatin1String("retry 1 of 3")), LongWait);

    h->backfillButton()->click();
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
    QVERIFY(!inside(sessionOf(*h->window)).backfillRun().isActive());
    // The pause would have ended here; nothing more is asked.
    QTest::qWait(1300);
    QCOMPARE(h->requests("backfill").size(), 1);
}

void TestBackfillRun::gapBackfillAfterOutage_data()
{
    QTest::addColumn<qint64>("outageMs");
    QTest::addColumn<bool>("runActive");   // a run (hanging on its first request) is under way
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QStringList>("expected"); // backfill requests, "<d>|<send>"

    const QStringList oneDay{"1|ACC", "1|NIFTY-I"};
    QTest::newRow("outage of a minute") << qint64(61000) << false << QVariant() << oneDay;
    QTest::newRow("shorter outage") << qint64(30000) << false << QVariant() << QStringList{};
    QTest::newRow("switched off") << qint64(61000) << false << QVariant(false) << QStringList{};
    // The run's ACC fails four times and is given up; the gap backfill follows the run, asking again
    // for what the run gave up on, as it was asked for.
    QTest::newRow("a run is active: deferred until it ends")
        << qint64(61000) << true << QVariant()
        << QStringList{"180|ACC", "180|ACC", "180|ACC", "180|ACC", "180|NIFTY-I", "180|ACC", "1|NIFTY-I"};
}

// The live feed against the local vendor fails for a while on a clock the test moves; when it
// recovers after a minute or more, a one-day backfill of the selection runs by itself.
void TestBackfillRun::gapBackfillAfterOutage()
{
    QFETCH(qint64, outageMs);
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
    inside(sessionOf(*h->window)).health().setClock([&now] { return now; });
    Account account = sessionOf(*h->window).account();
    account.dataPathGet = h->server.hostPort() + VendorSim::LivePathGet;
    sessionOf(*h->window).takeAccount(account);
    h->enableExchanges({"CASH", "FUTURE"});
    MainForm(*h->window).connectButton->click();
    // The live request follows the selection from here on: its replies hold the selection's quotes.
    h->select({{"ACC", "CASH"}, {"NIFTY-I", "FUTURE"}});
    QTRY_VERIFY_WITH_TIMEOUT(inside(sessionOf(*h->window)).health().importsThisSession() >= 1, LongWait);

    if (runActive) {
        // Long enough pauses that the outage ends while the run is still under way.
        inside(sessionOf(*h->window)).backfillRun().setRetryDelays({1500, 1500, 1500});
        h->server.misbehave("backfill", VendorSim::Mode::HttpError, 4);
        h->ui()->daysBox->addItem(QStringLiteral("180"));
        h->ui()->daysBox->setCurrentText(QStringLiteral("180"));
        h->backfillButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);
    }

    h->server.misbehave("live", VendorSim::Mode::HttpError, 2);
    QTRY_VERIFY_WITH_TIMEOUT(inside(sessionOf(*h->window)).health().failuresInRow() >= 1, LongWait);
    now += outageMs;
    QTRY_COMPARE_WITH_TIMEOUT(inside(sessionOf(*h->window)).health().failuresInRow(), 0, LongWait);

    QStringList queries;
    for (const QString &item : qAsConst(expected))
        queries << h->query(item.section('|', 0, 0), item.section('|', 1));
    if (runActive)
        QTRY_COMPARE_WITH_TIMEOUT(h->backfillQueries().size(), expected.size(), LongWait);
    if (!expected.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    else
        QTest::qWait(500);
    QCOMPARE(h->backfillQueries(), queries);
    inside(sessionOf(*h->window)).liveDownloader()->pollTimer->stop();

    // What the log tells support about it: the outage, the recovery, the gap backfill and its end;
    // never the request key.
    QVERIFY(EventLog::flush());
    QStringList events;
    const QStringList files = QDir(logFolder).entryList({QStringLiteral("tickvane-*.log")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile file(logFolder + QLatin1Char('/') + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString content = QString::fromUtf8(file.readAll());
    QVERIFY(!content.contains(RequestKey));
    // The request the feed actually sends, once the selection is applied.
    QVERIFY2(content.contains(QStringLiteral("live feed started: http://%1%2?uid=%3&send=ACC%7CNIFTY-I&hash=*** (GET, 2 symbols)")
                                  .arg(h->server.hostPort(), VendorSim::LivePathGet, UserId)),
             qPrintable(content));
    for (const QString &line : content.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString event = line.section(QLatin1Char(' '), 2); // level, subsystem, text
        if (event.contains(QLatin1String("failing")) || event.contains(QLatin1String("recovered"))
            || event.contains(QLatin1String("gap backfill")) || event.contains(QLatin1String("run ended")))
            events << event.section(QLatin1Char(':'), 0, 0);
    }
    QStringList expectedEvents{"WARN feed live replies failing", "INFO feed live replies recovered"};
    if (runActive)
        expectedEvents << "INFO backfill gap backfill after an outage of 61 s deferred until the running backfill ends"
                       << "WARN backfill intraday run ended";
    if (!expected.isEmpty())
        expectedEvents << "INFO backfill gap backfill after the outage" << "INFO backfill intraday run ended";
    QVERIFY2(events == expectedEvents, qPrintable(events.join(QLatin1String(" / "))));
}

namespace {

// Imports AmiBroker took: journal lines of Import calls that did not fail.
int takenImports(const TestEnvironment &env)
{
    int taken = 0;
    const QStringList journal = env.journal();
    for (const QString &line : journal) {
        if (line.startsWith(QLatin1String("Import(")) && !line.endsWith(QLatin1String("\tfailed")))
            ++taken;
    }
    return taken;
}

}

void TestBackfillRun::refusedImportsWaitForAmiBroker_data()
{
    QTest::addColumn<QString>("kind");         // "intraday", "eod" or "gap" (after an outage), ACC and SBIN
    QTest::addColumn<bool>("comesBack");       // AmiBroker answers again after the first refusal
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");      // contained in the bar's tooltip
    QTest::addColumn<int>("taken");            // imports AmiBroker took
    QTest::addColumn<int>("keptFiles");        // end-of-day files left in the Backfill folder

    const QString away = QStringLiteral("AmiBroker not reachable\nNot backfilled: ACC, SBIN");
    QTest::newRow("intraday, AmiBroker back") << "intraday" << true << "Backfill Done" << "" << 2 << 0;
    QTest::newRow("intraday, AmiBroker away") << "intraday" << false << "Backfill Failed" << away << 0 << 0;
    QTest::newRow("end of day, AmiBroker back") << "eod" << true << "Backfill Done" << "" << 2 << 0;
    QTest::newRow("end of day, AmiBroker away: the files stay")
        << "eod" << false << "Backfill Failed" << "AmiBroker not reachable\nNot imported: " << 0 << 2;
    QTest::newRow("gap after an outage, AmiBroker back") << "gap" << true << "Backfill Done" << "" << 2 << 0;
    QTest::newRow("gap after an outage, AmiBroker away") << "gap" << false << "Backfill Failed" << away << 0 << 0;
}

// An import AmiBroker refused holds the run with its file; the run goes on when AmiBroker answers
// again and ends "Backfill Failed" when it does not within the wait.
void TestBackfillRun::refusedImportsWaitForAmiBroker()
{
    QFETCH(QString, kind);
    QFETCH(bool, comesBack);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    QFETCH(int, taken);
    QFETCH(int, keptFiles);

    const QByteArray quotes = "07-12-2026,10:00,100,101,99,100.5,1000\n";
    h->server.setFile(Harness::archivePath("CASH-1.zip"),
                      VendorSim::makeZip({{"ACC.txt", quotes}, {"SBIN.txt", quotes}}));
    inside(sessionOf(*h->window)).worker().amibroker().setRelinkInterval(100);
    inside(sessionOf(*h->window)).backfillRun().setAmiBrokerWait(comesBack ? LongWait : 800);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    const QString down = h->env->root() + QStringLiteral("/automation.down");
    QVERIFY(QFile(down).open(QIODevice::WriteOnly));
    h->env->clearJournal();

    QSignalSpy finished(&inside(sessionOf(*h->window)).backfillRun(), &BackfillRun::finished);
    if (kind == QLatin1String("intraday"))
        h->backfillButton()->click();
    else if (kind == QLatin1String("eod"))
        h->window->eodBackfillButton_clicked(QStringLiteral("CASH-1.zip"));
    else
        emit inside(sessionOf(*h->window)).health().recoveredAfterOutage(61000);

    QTRY_VERIFY_WITH_TIMEOUT(inside(sessionOf(*h->window)).backfillRun().isWaitingForAmiBroker(), LongWait);
    QVERIFY(h->ui()->progressBarRT->format().contains(QLatin1String("waiting for AmiBroker")));
    // Nothing more is fetched while the file in hand waits.
    const int requestsWhileWaiting = h->requests("backfill").size() + h->requests("eod").size();
    QCOMPARE(requestsWhileWaiting, 1);
    if (comesBack)
        QVERIFY(QFile::remove(down));

    QVERIFY(finished.wait(LongWait));
    QCOMPARE(h->ui()->progressBarRT->format(), text);
    QVERIFY2(h->ui()->progressBarRT->toolTip().contains(tooltip), qPrintable(h->ui()->progressBarRT->toolTip()));
    QCOMPARE(takenImports(*h->env), taken);
    QCOMPARE(QDir(Config::instance().path("Backfill")).entryList(QDir::Files).size(), keptFiles);
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
    QFile::remove(down);
}

// A restart ends a run under way and says so; the time of the last good reply carries over to the
// next cycle, whose first good reply closes the gap.
void TestBackfillRun::restartEndsTheRunAndCarriesTheOutage()
{
    const QString logFolder = h->env->root() + QStringLiteral("/logs");
    EventLog log(logFolder);
    Account account = sessionOf(*h->window).account();
    account.dataPathGet = h->server.hostPort() + VendorSim::LivePathGet;
    sessionOf(*h->window).takeAccount(account);
    h->enableExchanges({"CASH"});
    MainForm(*h->window).connectButton->click();
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    QTRY_VERIFY_WITH_TIMEOUT(inside(sessionOf(*h->window)).health().lastGoodReply().isValid(), LongWait);
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->backfillButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);

    sessionOf(*h->window).prepareRestart();
    QVERIFY(!inside(sessionOf(*h->window)).backfillRun().isActive());
    QVERIFY(EventLog::flush());
    const QStringList files = QDir(logFolder).entryList({QStringLiteral("tickvane-*.log")}, QDir::Files);
    QFile file(logFolder + QLatin1Char('/') + files.value(0));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("backfill run stopped by restart: 0 of 2 rows done"));
    const QDateTime lastGood = inside(sessionOf(*h->window)).health().lastGoodReply();
    {
        const StoredSettings store;
        QCOMPARE(QDateTime::fromString(store.value(Store::LastGoodReplyBeforeRestart).toString(), Qt::ISODateWithMs),
                 lastGood);
    }

    // The next cycle's window takes it over, once.
    h->window.reset();
    AssembledWindow next;
    QCOMPARE(inside(sessionOf(next)).health().lastGoodReply(), lastGood);
    QVERIFY(!StoredSettings().contains(Store::LastGoodReplyBeforeRestart));
}

namespace {

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

// Seen before: each re-creation of the object reported "reachable", which retried the refused file
// and restarted the wait; the run never ended, and a live tick made the link flip eight times.
void TestBackfillRun::refusedFileEndsItsRunOnly()
{
    int refusals = 0;
    VendorConnection connection(Config::instance().database());
    FeedSession session([&refusals](const QString &) { return std::make_unique<RefusesBackfillFile>(&refusals); },
                        connection);
    Account account;
    account.secureKey = RequestKey;
    account.backfillPath = h->server.hostPort() + VendorSim::BackfillPath;
    session.takeAccount(account);
    session.setUserId(UserId);
    session.enableFeeds(QStringLiteral("CASH"));
    session.assignSelection({"ACC", "SBIN"}, {"CASH", "CASH"});
    constexpr int Wait = 800;
    inside(session).backfillRun().setAmiBrokerWait(Wait);
    inside(session).backfillRun().setAmiBrokerRetryInterval(20);
    QSignalSpy finished(&inside(session).backfillRun(), &BackfillRun::finished);
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
    QTest::addColumn<QString>("stop");
    QTest::newRow("run stopped by a second click") << "click";
    QTest::newRow("run stopped by a restart: the next cycle fetches the gap") << "restart";
}

// Seen before: the gap waited for the run's "finished", which a stopped run never reports.
void TestBackfillRun::deferredGapOutlivesItsRun()
{
    QFETCH(QString, stop);
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->enableExchanges({"CASH"});
    h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
    h->ui()->daysBox->addItem(QStringLiteral("180"));
    h->ui()->daysBox->setCurrentText(QStringLiteral("180"));
    h->backfillButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);
    emit inside(sessionOf(*h->window)).health().recoveredAfterOutage(61000);
    QVERIFY(inside(sessionOf(*h->window)).backfillRun().isActive());

    if (stop == QLatin1String("click")) {
        h->backfillButton()->click();
    } else {
        // The next cycle's window on the same install folder and store.
        sessionOf(*h->window).prepareRestart();
        h->window.reset();
        h->window = std::make_unique<AssembledWindow>();
        Account account;
        account.secureKey = RequestKey;
        account.backfillPath = h->server.hostPort() + VendorSim::BackfillPath;
        account.dataPathGet = h->server.hostPort() + VendorSim::LivePathGet;
        sessionOf(*h->window).takeAccount(account);
        sessionOf(*h->window).setUserId(UserId);
        h->enableExchanges({"CASH"});
        h->select({{"ACC", "CASH"}, {"SBIN", "CASH"}});
        MainForm(*h->window).connectButton->click();
        QVERIFY(!StoredSettings().contains(Store::PendingGapBeforeRestart));
    }
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->backfillQueries().mid(1), (QStringList{h->query("1", "ACC"), h->query("1", "SBIN")}));
}

void TestBackfillRun::gapBackfillAfterAmiBrokerAway_data()
{
    QTest::addColumn<qint64>("awayMs");
    QTest::addColumn<QString>("switchFile");
    QTest::addColumn<bool>("filled");   // a one-day backfill of every row follows
    QTest::newRow("AmiBroker closed for 65 s") << qint64(65000) << "automation.down" << true;
    QTest::newRow("AmiBroker closed for 20 s") << qint64(20000) << "automation.down" << false;
    QTest::newRow("AmiBroker refusing imports for 65 s") << qint64(65000) << "automation.importfails" << true;
}

// Replies kept coming on a clock the test moves, but AmiBroker took none of them; once it takes
// imports again after a minute or more, the hole is filled as after a vendor outage.
void TestBackfillRun::gapBackfillAfterAmiBrokerAway()
{
    QFETCH(qint64, awayMs);
    QFETCH(QString, switchFile);
    QFETCH(bool, filled);

    const QString logFolder = h->env->root() + QStringLiteral("/logs");
    EventLog log(logFolder);
    qint64 now = 1'000'000;
    FeedSession &session = sessionOf(*h->window);
    inside(session).health().setClock([&now] { return now; });
    Account account = session.account();
    account.dataPathGet = h->server.hostPort() + VendorSim::LivePathGet;
    sessionOf(*h->window).takeAccount(account);
    h->enableExchanges({"CASH", "FUTURE"});
    MainForm(*h->window).connectButton->click();
    h->select({{"ACC", "CASH"}, {"NIFTY-I", "FUTURE"}});
    QTRY_VERIFY_WITH_TIMEOUT(inside(session).health().importsThisSession() >= 1, LongWait);

    const QString away = h->env->root() + QLatin1Char('/') + switchFile;
    QSignalSpy notTaken(&inside(session).worker(), &liveDataUpdator::importNotTaken);
    QVERIFY(QFile(away).open(QIODevice::WriteOnly));
    QVERIFY(notTaken.wait(LongWait));
    // Good replies go on meanwhile: the clock moves less than a minute between two of them.
    QSignalSpy replies(inside(session).liveDownloader(), &MyDownloader::downloadfinished);
    for (qint64 moved = 0; moved < awayMs; moved += 15000) {
        now += qMin<qint64>(15000, awayMs - moved);
        const int seen = replies.count();
        QTRY_VERIFY_WITH_TIMEOUT(replies.count() > seen, LongWait);
    }
    const qint64 imports = inside(session).health().importsThisSession();
    QVERIFY(QFile::remove(away));
    QTRY_VERIFY_WITH_TIMEOUT(inside(session).health().importsThisSession() > imports, LongWait);

    if (filled)
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    else
        QTest::qWait(500);
    QCOMPARE(h->backfillQueries(), (filled ? QStringList{h->query("1", "ACC"), h->query("1", "NIFTY-I")} : QStringList{}));
    inside(session).liveDownloader()->pollTimer->stop();

    QVERIFY(EventLog::flush());
    QFile file(logFolder + QLatin1Char('/') + QDir(logFolder).entryList(QDir::Files).value(0));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(!content.contains("gap backfill after the outage"));
    QCOMPARE(content.contains(QStringLiteral("gap backfill after %1 s without a live import: one day of 2 rows")
                                  .arg(awayMs / 1000).toUtf8()),
             filled);
}

QTEST_MAIN(TestBackfillRun)
#include "tst_backfillrun.moc"
