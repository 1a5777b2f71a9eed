// The feed-health indicator's rule: what a sequence of replies, failures and imports shows, read
// on a clock the test moves.
#include "feed/feedhealth.h"

#include <QtTest>

class TestFeedHealth : public QObject
{
    Q_OBJECT

private slots:
    void states_data();
    void states();
    void medianOfTheLastMinute();
};

void TestFeedHealth::states_data()
{
    // Events: "+<ms>" moves the clock, "ok" a good reply, "fail" a failed one, "imp" an import,
    // "ami-" / "ami+" AmiBroker lost / back.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("recoveries");   // outages of a minute or more that ended

    QTest::newRow("fresh reply") << QStringList{"+500", "ok", "+2999"} << "Live" << 0 << 0;
    QTest::newRow("stale at three seconds") << QStringList{"ok", "+3000"} << "Stale 3 s" << 0 << 0;
    QTest::newRow("stale with its age") << QStringList{"ok", "fail", "fail", "+12400"} << "Stale 12 s" << 2 << 0;
    QTest::newRow("down at a minute") << QStringList{"ok", "fail", "+60000"} << "Down 1 min" << 1 << 0;
    QTest::newRow("down in minutes") << QStringList{"ok", "+150000"} << "Down 2 min" << 0 << 0;
    QTest::newRow("no reply since the start") << QStringList{"+4000"} << "Stale 4 s" << 0 << 0;
    QTest::newRow("recovery after a minute") << QStringList{"ok", "fail", "+60000", "ok"} << "Live" << 0 << 1;
    QTest::newRow("short gap is no outage") << QStringList{"ok", "fail", "+59999", "ok"} << "Live" << 0 << 0;
    QTest::newRow("AmiBroker lost outranks live") << QStringList{"ok", "ami-"} << "AmiBroker not reachable" << 0 << 0;
    QTest::newRow("AmiBroker back") << QStringList{"ok", "ami-", "imp", "ami+"} << "Live" << 0 << 0;
}

void TestFeedHealth::states()
{
    QFETCH(QStringList, events);
    qint64 now = 1'000'000;
    FeedHealth health([&now] { return now; });
    health.start();
    QSignalSpy recovered(&health, &FeedHealth::recoveredAfterOutage);

    for (const QString &event : qAsConst(events)) {
        if (event.startsWith(QLatin1Char('+')))
            now += event.mid(1).toLongLong();
        else if (event == QLatin1String("ok"))
            health.replyArrived();
        else if (event == QLatin1String("fail"))
            health.replyFailed(QStringLiteral("Connection refused"));
        else if (event == QLatin1String("imp"))
            health.imported();
        else
            health.setAmiBrokerReachable(event == QLatin1String("ami+"));
    }

    const FeedHealth::Report report = health.report();
    QTEST(report.text, "text");
    QTEST(health.failuresInRow(), "failures");
    QTEST(int(recovered.count()), "recoveries");
    QFETCH(int, failures);
    QCOMPARE(report.tooltip.contains(QLatin1String("(Connection refused)")), failures > 0);
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

QTEST_GUILESS_MAIN(TestFeedHealth)
#include "tst_feedhealth.moc"
