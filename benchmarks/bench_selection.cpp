// "Add Selected": the check marks of a catalogue list applied to the selection, and the symbol
// sets the live filter rebuilds after it; then the whole click in the shown window (the live
// request re-aimed, the display table rebuilt). Each measured block starts from the same selection.
// Run: QT_QPA_PLATFORM=offscreen build/benchmarks/bench_selection -median 5
#include "symbols/selection.h"
#include "support/mainform.h"
#include "symbolswindow.h"

#include <QtTest>

#include <QListWidget>

#include <memory>

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

QStringList futures(int count)
{
    QStringList exchanges;
    exchanges.reserve(count);
    for (int i = 0; i < count; ++i)
        exchanges << QStringLiteral("FUTURE");
    return exchanges;
}

}

class BenchSelection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void applyChecks_data();
    void applyChecks();
    void click_data();
    void click();

private:
    // One for the executable: the settings store's folder is fixed at its first use.
    std::unique_ptr<SymbolsWorld> m_world;
};

void BenchSelection::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

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
    const QStringList storedExchanges = futures(selected);
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

void BenchSelection::click_data()
{
    applyChecks_data();
}

void BenchSelection::click()
{
    QFETCH(int, selected);
    QFETCH(int, listFirst);
    QFETCH(int, listSize);
    QFETCH(bool, checked);

    SymbolsWorld &world = *m_world;
    world.openWindow();
    world.window->show();
    const QStringList stored = symbolsFrom(0, selected);
    const QStringList storedExchanges = futures(selected);
    QListWidget *list = world.ui->symbolsListWidget;
    for (const QString &symbol : symbolsFrom(listFirst, listSize)) {
        auto *item = new QListWidgetItem(symbol, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    world.setSelection(stored, storedExchanges);
    MainForm(*world.window).addSelected->click();
    QCoreApplication::processEvents();

    QBENCHMARK {
        world.setSelection(stored, storedExchanges);
        MainForm(*world.window).addSelected->click();
    }
    QTEST(sessionOf(*world.window).selection().size(), "after");
    world.closeWindow();
}

QTEST_MAIN(BenchSelection)
#include "bench_selection.moc"
