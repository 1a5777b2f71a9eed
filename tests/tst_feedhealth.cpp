// The feed-health indicator's rule: what a sequence of replies, failures and imports shows, read
// on a clock the test moves.
#include "feed/feedhealth.h"

#include "support/coreenvironment.h"

#include <QMap>
#include <QtTest>

class TestFeedHealth : public QObject
{
    Q_OBJECT

private slots:
    void states_data();
    void states();
    void medianOfTheLastMinute();
    void importHoles_data();
    void importHoles();
    void lastGoodReplyInLocalTime();
};

namespace {

// Live replies as the vendor sends them, read against a selection of ACC and TCS.
const QMap<QString, QByteArray> Replies = {
    {"ok", "NSE,ACC,20260101,1000,2210.5,10\n"},
    {"refused", "Failed,ACC,Authentication Failed\nFailed,TCS,Authentication Failed\n"},
    {"expired", "Failed,ACC,Key Expired\n"},
    {"empty", ""},
    {"garbage", "<html>Service Unavailable</html>\n"},
    {"others", "NSE,SBIN,20260101,1000,810.5,10\n"},
    {"mixed", "NSE,ACC,20260101,1000,2210.5,10\nFailed,TCS,No Data\nFailed,XYZ,No Data\n"},
};

}

void TestFeedHealth::states_data()
{
    // Events: "+<ms>" moves both clocks, "wall<+|-><ms>" only the time of day; a reply's name from
    // Replies (read as the live path reads it); "fail" a failed transfer, "imp" an import,
    // "ami-" / "ami+" AmiBroker lost / back, "file-" / "file+" the import file not written / written,
    // "carry-<ms>" a last good reply that long before this cycle.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("recoveries");   // outages of a minute or more that ended
    QTest::addColumn<int>("changes");      // condition changes, each one log line
    QTest::addColumn<QString>("tooltip");  // contained in the tooltip

    // Seen before: "Live" before any reply had come.
    QTest::newRow("before the first reply") << QStringList{"+2999"} << "Waiting for the first reply" << 0 << 0 << 0
                                            << "none yet";
    QTest::newRow("first reply without quotes") << QStringList{"+500", "empty", "+1000"}
                                                << "Waiting for the first reply" << 0 << 0 << 1 << "";
    QTest::newRow("fresh reply") << QStringList{"+500", "ok", "+2999"} << "Live" << 0 << 0 << 0 << "";
    QTest::newRow("stale at three seconds") << QStringList{"ok", "+3000"} << "Stale 3 s" << 0 << 0 << 0 << "";
    QTest::newRow("stale with its age") << QStringList{"ok", "fail", "fail", "+12400"} << "Stale 12 s" << 2 << 0
                                        << 1 << "(Connection refused)";
    QTest::newRow("down at a minute") << QStringList{"ok", "fail", "+60000"} << "Down 1 min" << 1 << 0 << 1 << "";
    QTest::newRow("down in minutes") << QStringList{"ok", "+150000"} << "Down 2 min" << 0 << 0 << 0 << "";
    QTest::newRow("no reply since the start") << QStringList{"+4000"} << "Stale 4 s" << 0 << 0 << 0 << "none yet";
    QTest::newRow("recovery after a minute") << QStringList{"ok", "fail", "+60000", "ok"} << "Live" << 0 << 1 << 2 << "";
    QTest::newRow("short gap is no outage") << QStringList{"ok", "fail", "+59999", "ok"} << "Live" << 0 << 0 << 2 << "";
    QTest::newRow("AmiBroker lost outranks live") << QStringList{"ok", "ami-"} << "AmiBroker not reachable" << 0 << 0
                                                  << 0 << "tried again every 5 s";
    QTest::newRow("AmiBroker back") << QStringList{"ok", "ami-", "imp", "ami+"} << "Live" << 0 << 0 << 0 << "";
    QTest::newRow("down and AmiBroker lost: both, down first")
        << QStringList{"ok", "ami-", "+120000"} << "Down 2 min \u00b7 AmiBroker not reachable" << 0 << 0 << 0 << "";
    QTest::newRow("stale and AmiBroker lost: AmiBroker first")
        << QStringList{"ok", "ami-", "+5000"} << "AmiBroker not reachable \u00b7 Stale 5 s" << 0 << 0 << 0 << "";

    QTest::newRow("vendor refusal at once, logged once")
        << QStringList{"ok", "+700", "refused", "+700", "refused", "+700", "refused"} << "Vendor: Authentication Failed"
        << 0 << 0 << 1 << "The vendor's answer: Failed,ACC,Authentication Failed";
    QTest::newRow("another refusal reason is another change")
        << QStringList{"refused", "expired"} << "Vendor: Key Expired" << 0 << 0 << 2 << "Failed,ACC,Key Expired";
    QTest::newRow("a minute of refusals is an outage")
        << QStringList{"ok", "refused", "+61000", "refused", "ok"} << "Live" << 0 << 1 << 2 << "";
    QTest::newRow("empty replies hold no quotes") << QStringList{"ok", "+1000", "empty", "+3000", "empty"}
                                                  << "No quotes 4 s" << 0 << 0 << 1 << "no quote for the selection";
    QTest::newRow("garbage for a minute") << QStringList{"ok", "garbage", "+65000", "garbage"} << "No quotes 1 min"
                                          << 0 << 0 << 1 << "";
    QTest::newRow("only other symbols") << QStringList{"ok", "others", "+3500", "others"} << "No quotes 3 s" << 0 << 0
                                        << 1 << "";
    QTest::newRow("no quotes for under three seconds") << QStringList{"ok", "empty", "+2000"} << "Live" << 0 << 0 << 1
                                                       << "";
    QTest::newRow("mixed reply stays good") << QStringList{"mixed", "+1000"} << "Live" << 0 << 0 << 0
                                            << "failed in the last reply: 2";
    QTest::newRow("import file not written") << QStringList{"ok", "file-"} << "Import file not written" << 0 << 0
                                             << 0 << "No space left on device";
    QTest::newRow("import file written again") << QStringList{"ok", "file-", "file+"} << "Live" << 0 << 0 << 0 << "";

    QTest::newRow("clock back an hour during an outage")
        << QStringList{"ok", "fail", "wall-3600000", "+600000"} << "Down 10 min" << 1 << 0 << 1 << "";
    QTest::newRow("clock forward while healthy") << QStringList{"ok", "wall+3600000", "+700", "ok"} << "Live" << 0 << 0
                                                 << 0 << "";
    QTest::newRow("outage across a restart") << QStringList{"carry-120000", "+700", "ok"} << "Live" << 0 << 1 << 0 << "";
    QTest::newRow("short gap across a restart") << QStringList{"carry-30000", "+700", "ok"} << "Live" << 0 << 0 << 0
                                                << "";
}

namespace {

// A feed health on clocks the events move. Events: see states_data(); "miss" a live import
// AmiBroker did not take.
struct Played
{
    Played()
    {
        health.setWallClock([this] { return wall; });
        health.start();
    }
    void play(const QStringList &events);

    qint64 now = 1'000'000;
    QDateTime wall{QDate(2026, 12, 7), QTime(11, 0)};
    FeedHealth health{[this] { return now; }};
};

void Played::play(const QStringList &events)
{
    const QSet<QByteArray> symbols = LiveImport::symbolSet({"ACC", "TCS"});
    for (const QString &event : qAsConst(events)) {
        if (event.startsWith(QLatin1Char('+'))) {
            now += event.mid(1).toLongLong();
            wall = wall.addMSecs(event.mid(1).toLongLong());
        } else if (event.startsWith(QLatin1String("wall"))) {
            wall = wall.addMSecs(event.mid(4).toLongLong());
        } else if (event.startsWith(QLatin1String("carry"))) {
            health.carryOverLastGood(wall.addMSecs(event.mid(5).toLongLong()));
        } else if (Replies.contains(event)) {
            const QByteArray reply = Replies.value(event);
            QByteArray selected;
            LiveImport::Tally tally;
            LiveImport::selectLines(reply, symbols, selected, &tally);
            health.replyArrived();
            health.replyRead(tally, reply, false);
        } else if (event == QLatin1String("fail")) {
            health.replyFailed(QStringLiteral("Connection refused"));
        } else if (event == QLatin1String("imp")) {
            health.imported();
        } else if (event.startsWith(QLatin1String("file"))) {
            health.importFileWritten(event.endsWith(QLatin1Char('+')), QStringLiteral("No space left on device"));
        } else if (event == QLatin1String("miss")) {
            health.importNotTaken();
        } else {
            health.setAmiBrokerReachable(event == QLatin1String("ami+"));
        }
    }
}

}

void TestFeedHealth::states()
{
    QFETCH(QStringList, events);
    Played played;
    FeedHealth &health = played.health;
    QSignalSpy recovered(&health, &FeedHealth::recoveredAfterOutage);
    QSignalSpy changes(&health, &FeedHealth::conditionChanged);
    played.play(events);

    const FeedHealth::Report report = health.report();
    QTEST(report.text, "text");
    QTEST(health.failuresInRow(), "failures");
    QTEST(int(recovered.count()), "recoveries");
    QTEST(int(changes.count()), "changes");
    QFETCH(QString, tooltip);
    QVERIFY2(report.tooltip.contains(tooltip), qPrintable(report.tooltip));
}

void TestFeedHealth::medianOfTheLastMinute()
{
    qint64 now = 0;
    FeedHealth health([&now] { return now; });
    QCOMPARE(health.medianReplyToImportMs(), qint64(-1));
    // An old slow tick, then three recent ones of 2, 9 and 4 ms.
    const QList<QPair<qint64, qint64>> ticks = {{0, 500}, {70000, 2}, {71000, 9}, {72000, 4}};
    for (const auto &[at, took] : ticks) {
        now = at;
        health.replyArrived();
        health.replyRead(LiveImport::Tally{1, 1, 0, 10}, QByteArray(), false);
        now += took;
        health.imported(3);
    }
    QCOMPARE(health.medianReplyToImportMs(), qint64(4));
    QCOMPARE(health.importsThisSession(), qint64(4));
    QVERIFY(health.report().tooltip.contains(QLatin1String("Imports this session: 4")));

    // The log's minute line counts since the last one, then starts again.
    health.replyFailed(QStringLiteral("timeout"));
    QCOMPARE(FeedHealth::summaryText(health.takeMinute()),
             QStringLiteral("last minute: 4 replies, 1 failures, 4 imports, 12 lines imported, "
                            "reply to import median 9 ms, worst 500 ms"));
    QCOMPARE(FeedHealth::summaryText(health.takeMinute()),
             QStringLiteral("last minute: 0 replies, 0 failures, 0 imports, 0 lines imported, "
                            "reply to import median -, worst -"));
}

void TestFeedHealth::importHoles_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QList<qint64>>("holes");   // importsResumedAfterHole, in ms

    QTest::newRow("back after 40 s, imports refused until 70 s")
        << QStringList{"ok", "imp", "ami-", "+40000", "ami+", "miss", "+30000", "imp"} << QList<qint64>{70000};
    QTest::newRow("imports refused for 61 s") << QStringList{"ok", "imp", "miss", "+61000", "imp"}
                                              << QList<qint64>{61000};
    QTest::newRow("import file not written for 61 s") << QStringList{"ok", "imp", "file-", "+61000", "file+", "imp"}
                                                      << QList<qint64>{61000};
    QTest::newRow("closed since the start") << QStringList{"ami-", "+62000", "ami+"} << QList<qint64>{62000};
    // The vendor's outage backfill fills it; no second one.
    QTest::newRow("vendor out as well") << QStringList{"ok", "imp", "ami-", "fail", "+65000", "ok", "ami+", "imp"}
                                        << QList<qint64>{};
    QTest::newRow("quiet vendor alone is no hole") << QStringList{"ok", "imp", "+65000", "empty", "imp"}
                                                   << QList<qint64>{};
}

// Seen before: nothing noticed a minute of replies that reached no chart.
void TestFeedHealth::importHoles()
{
    Played played;
    QSignalSpy holes(&played.health, &FeedHealth::importsResumedAfterHole);
    QFETCH(QStringList, events);
    played.play(events);
    QList<qint64> seen;
    for (const QList<QVariant> &hole : qAsConst(holes))
        seen << hole.first().toLongLong();
    QTEST(seen, "holes");
}

// The time of the last good reply is taken in UTC and shown in the trader's own time, here half an
// hour off any whole-hour zone.
void TestFeedHealth::lastGoodReplyInLocalTime()
{
    const IndianTimeZone zone;
    Played played;
    played.health.setWallClock({});
    const QString before = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    played.play({"ok"});
    const QString after = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    const QString shown = played.health.report().tooltip.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(shown == QStringLiteral("Last good reply: ") + before || shown == QStringLiteral("Last good reply: ") + after,
             qPrintable(shown));
    QCOMPARE(played.health.lastGoodReply().timeSpec(), Qt::LocalTime);
    QVERIFY(qAbs(played.health.lastGoodReply().secsTo(QDateTime::currentDateTime())) <= 1);
}

QTEST_GUILESS_MAIN(TestFeedHealth)
#include "tst_feedhealth.moc"
