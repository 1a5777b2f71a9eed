// The selection: which changes re-aim the live request, and what the filter's symbol set sees.
#include "symbols/selection.h"

#include <QtTest>

using Marks = QVector<QPair<QString, bool>>;

class TestSelection : public QObject
{
    Q_OBJECT

private slots:
    void changes_data();
    void changes();
    void symbolSetFollowsEveryChange();
};

void TestSelection::changes_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::addColumn<QString>("action");     // "checks", "remove", "clear", "keep"
    QTest::addColumn<Marks>("marks");
    QTest::addColumn<QString>("argument");   // exchange of the checks, symbol removed, exchanges kept
    QTest::addColumn<QStringList>("after");  // "<symbol>@<exchange>"
    QTest::addColumn<int>("changed");
    QTest::addColumn<int>("removedRow");     // -1: no row announced

    const QStringList two{"NIFTY-I", "GOLDM-I"};
    const QStringList twoExchanges{"FUTURE", "MCX"};
    QTest::newRow("checked symbol appended under the current exchange")
        << two << twoExchanges << "checks" << Marks{{"ACC", true}} << "CASH"
        << QStringList{"NIFTY-I@FUTURE", "GOLDM-I@MCX", "ACC@CASH"} << 1 << -1;
    QTest::newRow("already selected keeps its exchange")
        << two << twoExchanges << "checks" << Marks{{"GOLDM-I", true}} << "CASH"
        << QStringList{"NIFTY-I@FUTURE", "GOLDM-I@MCX"} << 1 << -1;
    QTest::newRow("unchecked symbol removed, announced as a change")
        << two << twoExchanges << "checks" << Marks{{"NIFTY-I", false}} << "FUTURE"
        << QStringList{"GOLDM-I@MCX"} << 1 << -1;
    QTest::newRow("list order decides between two marks of one text")
        << two << twoExchanges << "checks" << Marks{{"ACC", false}, {"ACC", true}} << "CASH"
        << QStringList{"NIFTY-I@FUTURE", "GOLDM-I@MCX", "ACC@CASH"} << 1 << -1;
    // A stored selection may hold a symbol twice: marks take its entries front first, a symbol
    // still held under another exchange keeps it, and one removed earlier in the list comes back
    // at the end under the list's exchange.
    QStringList large;
    QStringList largeExchanges;
    QStringList largeAfter;
    Marks largeMarks{{"S0001", false}, {"S0001", true}, {"N1", true}, {"S0002", false},
                     {"S0001", false}, {"S2999", false}, {"S0001", true}, {"N1", true}};
    for (int i = 0; i < 3000; ++i) {
        const QString symbol = QStringLiteral("S%1").arg(i, 4, 10, QLatin1Char('0'));
        large << symbol;
        largeExchanges << "FUTURE";
        largeMarks.append({symbol, true});
        if (i != 1 && i != 2 && i != 2999)
            largeAfter << symbol + "@FUTURE";
    }
    large << "S0001" << "S0002";
    largeExchanges << "MCX" << "MCX";
    largeAfter << "S0002@MCX" << "N1@CASH" << "S0001@CASH" << "S2999@CASH";
    QTest::newRow("large list with symbols held twice")
        << large << largeExchanges << "checks" << largeMarks << "CASH" << largeAfter << 1 << -1;
    QTest::newRow("nothing moved still re-aims") << two << twoExchanges << "checks" << Marks{} << "CASH"
                                                 << QStringList{"NIFTY-I@FUTURE", "GOLDM-I@MCX"} << 1 << -1;
    QTest::newRow("one row removed without a change")
        << two << twoExchanges << "remove" << Marks{} << "GOLDM-I" << QStringList{"NIFTY-I@FUTURE"} << 0 << 1;
    QTest::newRow("unknown row removes nothing")
        << two << twoExchanges << "remove" << Marks{} << "ACC" << QStringList{"NIFTY-I@FUTURE", "GOLDM-I@MCX"} << 0
        << -1;
    QTest::newRow("clear") << two << twoExchanges << "clear" << Marks{} << QString() << QStringList{} << 1 << -1;
    QTest::newRow("pruning keeps enabled exchanges quietly")
        << QStringList{"A", "B", "C", "D"} << QStringList{"MCX", "MCX", "CASH", "NCDEX"} << "keep" << Marks{}
        << "CASH" << QStringList{"C@CASH"} << 0 << -1;
}

void TestSelection::changes()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    QFETCH(QString, action);
    QFETCH(Marks, marks);
    QFETCH(QString, argument);

    Selection selection;
    selection.assign(symbols, exchanges);
    QSignalSpy changed(&selection, &Selection::changed);
    QSignalSpy removed(&selection, &Selection::rowRemoved);

    if (action == QLatin1String("checks"))
        selection.applyChecks(marks, argument);
    else if (action == QLatin1String("remove"))
        selection.removeRow(argument);
    else if (action == QLatin1String("clear"))
        selection.clear();
    else
        selection.keepExchanges({argument});

    QStringList after;
    for (const SelectedSymbol &entry : selection.entries())
        after << entry.symbol + QLatin1Char('@') + entry.exchange;
    QTEST(after, "after");
    QTEST(int(changed.count()), "changed");
    QFETCH(int, removedRow);
    QCOMPARE(removed.count(), removedRow < 0 ? 0 : 1);
    if (removedRow >= 0)
        QCOMPARE(removed.first().first().toInt(), removedRow);
}

// The import filter and the display table read the sets every tick; they must never lag behind
// the list, and every change, signalled or not, moves the revision on.
void TestSelection::symbolSetFollowsEveryChange()
{
    Selection selection;
    quint64 revision = selection.revision();
    const auto moved = [&] {
        const bool changed = selection.revision() != revision;
        revision = selection.revision();
        return changed;
    };
    selection.assign({"TCS", "INFY", "SBIN"}, {"CASH", "CASH"});
    QVERIFY(moved());
    QCOMPARE(selection.symbolSet(), (QSet<QString>{"TCS", "INFY"}));
    QCOMPARE(selection.symbolBytes(), (QSet<QByteArray>{"TCS", "INFY"}));
    selection.applyChecks({{QStringLiteral("M&M\u00c4"), true}, {"TCS", false}}, QStringLiteral("CASH"));
    QVERIFY(moved());
    QCOMPARE(selection.symbolSet(), (QSet<QString>{"INFY", QStringLiteral("M&M\u00c4")}));
    QCOMPARE(selection.symbolBytes(), (QSet<QByteArray>{"INFY", "M&M\xc3\x84"}));
    selection.removeRow(QStringLiteral("INFY"));
    QVERIFY(moved());
    QVERIFY(!selection.contains(QStringLiteral("INFY")));
    QCOMPARE(selection.symbolBytes(), (QSet<QByteArray>{"M&M\xc3\x84"}));
    selection.keepExchanges({QStringLiteral("MCX")});
    QVERIFY(moved());
    QVERIFY(selection.symbolSet().isEmpty());
    QVERIFY(selection.symbolBytes().isEmpty());
}

QTEST_GUILESS_MAIN(TestSelection)
#include "tst_selection.moc"
