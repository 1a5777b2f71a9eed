// When the trader is told about the feed without looking at the window: which changes of the
// indicator become a notification, which are held back, and what it says.
#include "feed/troublenotifier.h"

#include "support/coreenvironment.h"

#include <QtTest>

using State = FeedHealth::State;
using States = QVector<FeedHealth::State>;
Q_DECLARE_METATYPE(States)

class TestTroubleNotifier : public QObject
{
    Q_OBJECT

private slots:
    void notifications_data();
    void notifications();
};

void TestTroubleNotifier::notifications_data()
{
    // Looks, each "<seconds after the start>|<troubles>|<front>", troubles as letters: D down,
    // V vendor refusal, A AmiBroker, S stale, N no quotes; front "f" when the window is active.
    QTest::addColumn<QStringList>("looks");
    QTest::addColumn<QStringList>("expected");   // "<second>: <text>" of each notification

    QTest::newRow("down, then live again")
        << QStringList{"100|S|", "160|D|", "161|D|", "300|D|", "320||"}
        << QStringList{"160: Feed down since 10:02:40 \u2014 last good reply 10:01:30",
                       "320: Feed live again at 10:05:20 \u2014 after 2 min 40 s of trouble"};
    QTest::newRow("stale and no quotes tell nothing") << QStringList{"100|S|", "130|N|", "140||"} << QStringList{};
    QTest::newRow("vendor refusal with its reason")
        << QStringList{"90|V|", "95|V|"} << QStringList{"90: The vendor refuses the feed since 10:01:30: Authentication Failed"};
    QTest::newRow("AmiBroker added to an outage is news, the outage is not again")
        << QStringList{"100|D|", "110|DA|", "200|A|", "210||"}
        << QStringList{"100: Feed down since 10:01:40 \u2014 last good reply 10:01:30",
                       "110: AmiBroker not reachable since 10:01:50 \u2014 the charts do not move",
                       "210: Feed live again at 10:03:30 \u2014 after 1 min 50 s of trouble"};
    QTest::newRow("two troubles at once, one notification")
        << QStringList{"100|DA|"}
        << QStringList{"100: Feed down since 10:01:40 \u2014 last good reply 10:01:30\n"
                       "AmiBroker not reachable since 10:01:40 \u2014 the charts do not move"};
    QTest::newRow("nothing in the first minute, nor its recovery") << QStringList{"30|A|", "59|A|", "70||"} << QStringList{};
    QTest::newRow("trouble that outlasts the first minute is told after it")
        << QStringList{"30|A|", "90|A|", "95|A|", "100||"}
        << QStringList{"90: AmiBroker not reachable since 10:01:30 \u2014 the charts do not move",
                       "100: Feed live again at 10:01:40 \u2014 after 10 s of trouble"};
    QTest::newRow("nothing while the window is in front")
        << QStringList{"100|D|f", "200||f"} << QStringList{};
    QTest::newRow("in front while it began, away when it ends: nothing to take back")
        << QStringList{"100|D|f", "200||"} << QStringList{};
    // Seen before: the lesser trouble on the way back cleared what was told, so no "live again".
    QTest::newRow("down, then no quotes, then live: live again told")
        << QStringList{"100|D|", "130|N|", "200||"}
        << QStringList{"100: Feed down since 10:01:40 \u2014 last good reply 10:01:30",
                       "200: Feed live again at 10:03:20 \u2014 after 1 min 40 s of trouble"};
    QTest::newRow("refused, then stale, then live: live again told")
        << QStringList{"100|V|", "110|S|", "120||"}
        << QStringList{"100: The vendor refuses the feed since 10:01:40: Authentication Failed",
                       "120: Feed live again at 10:02:00 \u2014 after 20 s of trouble"};
    QTest::newRow("down again after a recovery is told again")
        << QStringList{"100|D|", "110||", "170|D|"}
        << QStringList{"100: Feed down since 10:01:40 \u2014 last good reply 10:01:30",
                       "110: Feed live again at 10:01:50 \u2014 after 10 s of trouble",
                       "170: Feed down since 10:02:50 \u2014 last good reply 10:01:30"};
}

void TestTroubleNotifier::notifications()
{
    QFETCH(QStringList, looks);
    QFETCH(QStringList, expected);

    // The window hands over the time in UTC; the trader reads it in a zone half an hour off UTC's.
    const IndianTimeZone zone;
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0));
    const QDateTime lastGood = start.addSecs(90);
    const QMap<QChar, State> letters{{'D', State::Down}, {'V', State::VendorRefused},
                                     {'A', State::AmiBrokerUnreachable}, {'S', State::Stale},
                                     {'N', State::NoQuotes}};
    TroubleNotifier notifier(1'000'000);
    QStringList told;
    for (const QString &look : qAsConst(looks)) {
        const int second = look.section('|', 0, 0).toInt();
        FeedHealth::Report report;
        for (const QChar letter : look.section('|', 1, 1))
            report.troubles << letters.value(letter);
        report.refusalReason = QStringLiteral("Authentication Failed");
        const TroubleNotifier::Notification note =
            notifier.look(report, 1'000'000 + second * 1000LL, start.addSecs(second).toUTC(), lastGood,
                          look.section('|', 2, 2) == QLatin1String("f"));
        if (!note.isEmpty())
            told << QStringLiteral("%1: %2").arg(second).arg(note.text);
    }
    QCOMPARE(told, expected);
}

QTEST_GUILESS_MAIN(TestTroubleNotifier)
#include "tst_troublenotifier.moc"
