// Cost of one display-table update after a live import, for 100, 1,000 and 5,000 rows.
// Run: QT_QPA_PLATFORM=offscreen build/benchmarks/bench_displaytable
#include "symbolswindow.h"
#include "ui_amibrokerlivedata2.h"

#include <QElapsedTimer>
#include <QTableWidget>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

// Every `movingEvery`-th row changes price and quantity between the two replies (so its cells
// are rewritten and recoloured on each update); the others repeat their quote.
QByteArray replyFor(const QStringList &symbols, int tick, int movingEvery)
{
    QByteArray body;
    body.reserve(symbols.size() * 48);
    for (int i = 0; i < symbols.size(); ++i) {
        const int step = i % movingEvery == 0 ? tick % 2 : 0;
        const double price = 100.0 + i % 97 + step * 0.05;
        body += "NSE," + symbols.at(i).toUtf8() + ",20261207,09:15:00," + QByteArray::number(price, 'f', 2)
            + ',' + QByteArray::number(10 + step) + ",0\n";
    }
    return body;
}

qint64 median(std::vector<qint64> samples)
{
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}

class BenchDisplayTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void update_data();
    void update();

private:
    std::unique_ptr<SymbolsWorld> m_world;
};

void BenchDisplayTable::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

// A fresh window for each size, as a trader with that many symbols would have it.
void BenchDisplayTable::init()
{
    m_world->openWindow();
    m_world->window->show();
}

void BenchDisplayTable::cleanup()
{
    m_world->closeWindow();
}

void BenchDisplayTable::update_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("movingEvery");
    // Worst case: every quote moves on every poll.
    QTest::newRow("100 rows") << 100 << 1;
    QTest::newRow("1000 rows") << 1000 << 1;
    QTest::newRow("5000 rows") << 5000 << 1;
    // A calmer market: one row in five moves between two polls.
    QTest::newRow("5000 rows, a fifth moving") << 5000 << 5;
}

void BenchDisplayTable::update()
{
    QFETCH(int, rows);
    QFETCH(int, movingEvery);
    QStringList symbols;
    QStringList exchanges;
    for (int i = 0; i < rows; ++i) {
        symbols << QStringLiteral("SYM%1-I").arg(i, 5, 10, QLatin1Char('0'));
        exchanges << QStringLiteral("FUTURE");
    }
    amibrokerlivedata2 &window = *m_world->window;
    window.selection().assign(symbols, exchanges);
    QCoreApplication::processEvents();

    MyDownloader *downloader = m_world->quietLiveDownloader();
    const QByteArray replies[2] = {replyFor(symbols, 0, movingEvery), replyFor(symbols, 1, movingEvery)};
    int tick = 0;

    // Wall time and this thread's CPU time: on a busy machine the second shows our own share.
    std::vector<qint64> wall;
    std::vector<qint64> cpu;
    for (int i = 0; i < 31; ++i) {
        downloader->replyBuffer = replies[tick++ % 2];
        QElapsedTimer clock;
        const qint64 cpuBefore = threadCpuNanoseconds();
        clock.start();
        window.updateDisplayTable();
        wall.push_back(clock.nsecsElapsed());
        cpu.push_back(threadCpuNanoseconds() - cpuBefore);
        QCoreApplication::processEvents(); // the repaint, as the event loop would do it
    }
    // QBENCHMARK runs the function again until its figure settles; report the medians once.
    static QSet<QString> reported;
    const QString tag = QLatin1String(QTest::currentDataTag());
    if (!reported.contains(tag)) {
        qInfo("%s: median %.3f ms per update (thread CPU %.3f ms)", QTest::currentDataTag(), median(wall) / 1e6,
              median(cpu) / 1e6);
        reported.insert(tag);
    }

    QBENCHMARK {
        downloader->replyBuffer = replies[tick++ % 2];
        window.updateDisplayTable();
    }
    QCOMPARE(m_world->ui->displayTableWidget->rowCount(), rows);
}

QTEST_MAIN(BenchDisplayTable)
#include "bench_displaytable.moc"
