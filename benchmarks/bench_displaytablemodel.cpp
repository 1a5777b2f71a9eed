// The display table's model alone: one tick's apply() of a live reply already read, over 5,000
// rows. The reply is read outside the figure; the figure is the median of 201 ticks.
// Run: build/benchmarks/bench_displaytablemodel
#include "symbols/displaytablemodel.h"
#include "symbols/replypass.h"
#include "symbols/selection.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

// Every `movingEvery`-th row changes price and quantity between the two replies; the others
// repeat their quote. Every `failingEvery`-th symbol, if any, gets the vendor's failure instead.
QByteArray replyFor(int rows, int tick, int movingEvery, int failingEvery)
{
    QByteArray body;
    body.reserve(rows * 48);
    for (int i = 0; i < rows; ++i) {
        const QByteArray symbol = "SYM" + QByteArray::number(i) + "-I";
        if (failingEvery > 0 && i % failingEvery == 0) {
            body += "Failed," + symbol + ",Symbol Not Found\n";
            continue;
        }
        const int step = i % movingEvery == 0 ? tick % 2 : 0;
        const double price = 100.0 + i % 97 + step * 0.05;
        body += "NSE," + symbol + ",20261207,09:15:00," + QByteArray::number(price, 'f', 2) + ','
            + QByteArray::number(10 + step) + ",0\n";
    }
    return body;
}

}

class BenchDisplayTableModel : public QObject
{
    Q_OBJECT

private slots:
    void apply_data();
    void apply();
};

void BenchDisplayTableModel::apply_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("movingEvery");
    QTest::addColumn<int>("failingEvery");
    QTest::newRow("5000 rows, all moving") << 5000 << 1 << 0;
    QTest::newRow("5000 rows, a fifth moving") << 5000 << 5 << 0;
    QTest::newRow("5000 rows, one moving") << 5000 << 5001 << 0;
    QTest::newRow("5000 rows, a fifth moving, one in fifty failing") << 5000 << 5 << 50;
}

void BenchDisplayTableModel::apply()
{
    QFETCH(int, rows);
    QFETCH(int, movingEvery);
    QFETCH(int, failingEvery);
    QStringList symbols;
    QStringList exchanges;
    for (int i = 0; i < rows; ++i) {
        symbols << QStringLiteral("SYM%1-I").arg(i);
        exchanges << QStringLiteral("FUTURE");
    }
    Selection selection;
    selection.assign(symbols, exchanges);
    DisplayTableModel model(selection);
    model.rebuild();
    LiveReplyPass pass(selection);
    const QByteArray replies[2] = {replyFor(rows, 0, movingEvery, failingEvery),
                                   replyFor(rows, 1, movingEvery, failingEvery)};

    std::vector<qint64> samples;
    for (int tick = 0; tick < 201; ++tick) {
        pass.read(replies[tick % 2], nullptr, QByteArrayLiteral("\n"));
        QElapsedTimer clock;
        clock.start();
        model.apply(pass);
        samples.push_back(clock.nsecsElapsed());
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    QTest::setBenchmarkResult(qreal(samples[samples.size() / 2]), QTest::WalltimeNanoseconds);
    QCOMPARE(model.rowCount(), rows);
}

QTEST_GUILESS_MAIN(BenchDisplayTableModel)
#include "bench_displaytablemodel.moc"
