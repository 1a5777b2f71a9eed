// "Add Selected": the check marks of a catalogue list applied to the selection, and the symbol
// sets the live filter rebuilds after it. Each measured block starts from the stored selection.
// Run: build/benchmarks/bench_selection -median 5
#include "symbols/selection.h"

#include <QtTest>

using Marks = QVector<QPair<QString, bool>>;

namespace {

QStringList symbolsFrom(int first, int count)
{
    QStringList symbols;
    symbols.reserve(count);
    for (int i = first; i < first + count; ++i)
        symbols << QStringLiteral("SYM%1-I").arg(i, 5, 10, QLatin1Char('0'));
    return symbols;
}

}

class BenchSelection : public QObject
{
    Q_OBJECT

private slots:
    void applyChecks_data();
    void applyChecks();
};

void BenchSelection::applyChecks_data()
{
    QTest::addColumn<int>("selected");   // SYM00000.. already selected
    QTest::addColumn<int>("listFirst");  // the catalogue list: SYM<listFirst>.., all marked
    QTest::addColumn<int>("listSize");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("after");

    QTest::newRow("whole 20,000 list ticked, none selected") << 0 << 0 << 20000 << true << 20000;
    QTest::newRow("2,000 list ticked, 20,000 selected") << 20000 << 20000 << 2000 << true << 22000;
    QTest::newRow("2,000 list unticked, 20,000 selected") << 20000 << 0 << 2000 << false << 18000;
}

void BenchSelection::applyChecks()
{
    QFETCH(int, selected);
    QFETCH(int, listFirst);
    QFETCH(int, listSize);
    QFETCH(bool, checked);

    const QStringList stored = symbolsFrom(0, selected);
    QStringList storedExchanges;
    for (int i = 0; i < selected; ++i)
        storedExchanges << QStringLiteral("FUTURE");
    Marks marks;
    marks.reserve(listSize);
    for (const QString &symbol : symbolsFrom(listFirst, listSize))
        marks.append({symbol, checked});
    const QString exchange = QStringLiteral("CASH");

    Selection selection;
    QBENCHMARK {
        selection.assign(stored, storedExchanges);
        selection.applyChecks(marks, exchange);
        // The next tick's filter reads both sets.
        QVERIFY(!selection.symbolSet().isEmpty());
        QVERIFY(!selection.symbolBytes().isEmpty());
    }
    QTEST(selection.size(), "after");
}

QTEST_GUILESS_MAIN(BenchSelection)
#include "bench_selection.moc"
