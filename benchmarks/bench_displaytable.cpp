// The display table in the real window, shown offscreen: one update after a live import and the
// repaint of the visible rows that follows, at 100 to 20,000 rows; adding one symbol to a shown
// 5,000-row table; the memory a 5,000-row table adds.
// Run: QT_QPA_PLATFORM=offscreen build/benchmarks/bench_displaytable -median 5
#include "symbolswindow.h"
#include "support/mainform.h"
#include "ui_amibrokerlivedata2.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <ctime>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Every `movingEvery`-th row changes price and quantity between the two replies (so its cells
// are rewritten and recoloured on each update); the others repeat their quote. Every
// `failingEvery`-th symbol, if any, gets the vendor's failure instead, so its row stays muted.
QByteArray replyFor(const QStringList &symbols, int tick, int movingEvery, int failingEvery = 0)
{
    QByteArray body;
    body.reserve(symbols.size() * 48);
    for (int i = 0; i < symbols.size(); ++i) {
        if (failingEvery > 0 && i % failingEvery == 0) {
            body += "Failed," + symbols.at(i).toUtf8() + ",Symbol Not Found\n";
            continue;
        }
        const int step = i % movingEvery == 0 ? tick % 2 : 0;
        const double price = 100.0 + i % 97 + step * 0.05;
        body += "NSE," + symbols.at(i).toUtf8() + ",20261207,09:15:00," + QByteArray::number(price, 'f', 2)
            + ',' + QByteArray::number(10 + step) + ",0\n";
    }
    return body;
}

QStringList symbolsFor(int rows)
{
    QStringList symbols;
    symbols.reserve(rows);
    for (int i = 0; i < rows; ++i)
        symbols << QStringLiteral("SYM%1-I").arg(i, 5, 10, QLatin1Char('0'));
    return symbols;
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

// Resident set size of this process, from the kernel's own count.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Counts the paints of the table's viewport, so a figure is known to include one.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// What the event loop does after the slot returns: the posted repaint of the window.
void repaint()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
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
    void addOneSymbol();
    void memory();

private:
    [[nodiscard]] QAbstractItemView *table() const { return m_world->ui->displayTableWidget; }
    void show(const QStringList &symbols);

    std::unique_ptr<SymbolsWorld> m_world;
};

void BenchDisplayTable::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

// A fresh window for each case, as a trader with that many symbols would have it.
void BenchDisplayTable::init()
{
    m_world->openWindow();
    m_world->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_world->window.get()));
}

void BenchDisplayTable::cleanup()
{
    m_world->closeWindow();
}

void BenchDisplayTable::show(const QStringList &symbols)
{
    QStringList exchanges;
    for (int i = 0; i < symbols.size(); ++i)
        exchanges << QStringLiteral("FUTURE");
    sessionOf(*m_world->window).assignSelection(symbols, exchanges);
    repaint();
    QCOMPARE(table()->model()->rowCount(), symbols.size());
}

void BenchDisplayTable::update_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("movingEvery");
    QTest::addColumn<int>("failingEvery");
    // Worst case: every quote moves on every poll.
    QTest::newRow("100 rows") << 100 << 1 << 0;
    QTest::newRow("1000 rows") << 1000 << 1 << 0;
    QTest::newRow("5000 rows") << 5000 << 1 << 0;
    QTest::newRow("20000 rows") << 20000 << 1 << 0;
    // A calmer market: one row in five moves between two polls.
    QTest::newRow("5000 rows, a fifth moving") << 5000 << 5 << 0;
    // A few symbols the vendor keeps failing: their rows stay muted.
    QTest::newRow("5000 rows, a fifth moving, one in fifty failing") << 5000 << 5 << 50;
}

// The figure is one update plus the repaint that follows it; the two are also printed apart.
void BenchDisplayTable::update()
{
    QFETCH(int, rows);
    QFETCH(int, movingEvery);
    QFETCH(int, failingEvery);
    const QStringList symbols = symbolsFor(rows);
    show(symbols);

    MyDownloader *downloader = m_world->quietLiveDownloader();
    const QByteArray replies[2] = {replyFor(symbols, 0, movingEvery, failingEvery),
                                   replyFor(symbols, 1, movingEvery, failingEvery)};
    int tick = 0;
    PaintCounter counter;
    table()->viewport()->installEventFilter(&counter);

    // Wall time and this thread's CPU time: on a busy machine the second shows our own share.
    std::vector<qint64> updateWall, updateCpu, repaintWall, repaintCpu;
    for (int i = 0; i < 31; ++i) {
        downloader->replyBuffer = replies[tick++ % 2];
        QElapsedTimer clock;
        qint64 cpu = threadCpuNanoseconds();
        clock.start();
        m_world->window->updateDisplayTable();
        updateWall.push_back(clock.nsecsElapsed());
        updateCpu.push_back(threadCpuNanoseconds() - cpu);
        cpu = threadCpuNanoseconds();
        clock.restart();
        repaint();
        repaintWall.push_back(clock.nsecsElapsed());
        repaintCpu.push_back(threadCpuNanoseconds() - cpu);
    }
    QVERIFY2(counter.paints >= 31, "every update must be followed by a repaint");
    // QBENCHMARK runs the function again until its figure settles; report the medians once.
    static QSet<QString> reported;
    const QString tag = QLatin1String(QTest::currentDataTag());
    if (!reported.contains(tag)) {
        qInfo("%s: median update %.3f ms (thread CPU %.3f), repaint %.3f ms (thread CPU %.3f)",
              QTest::currentDataTag(), median(updateWall) / 1e6, median(updateCpu) / 1e6,
              median(repaintWall) / 1e6, median(repaintCpu) / 1e6);
        reported.insert(tag);
    }

    QBENCHMARK {
        downloader->replyBuffer = replies[tick++ % 2];
        m_world->window->updateDisplayTable();
        repaint();
    }
    table()->viewport()->removeEventFilter(&counter);
    QCOMPARE(table()->model()->rowCount(), rows);
}

// The trader ticks one more symbol and presses Add Symbol; the figure runs until the window has
// been repainted. Each pass adds another symbol, so the table grows by one row per pass.
void BenchDisplayTable::addOneSymbol()
{
    show(symbolsFor(5000));
    MyDownloader *downloader = m_world->quietLiveDownloader();
    downloader->replyBuffer = replyFor(symbolsFor(5000), 0, 1);
    m_world->window->updateDisplayTable();
    repaint();

    static int added = 0;
    const int before = table()->model()->rowCount();
    int passes = 0;
    QBENCHMARK {
        sessionOf(*m_world->window).addChecked({{QStringLiteral("NEW%1").arg(added++), true}});
        repaint();
        ++passes;
    }
    QCOMPARE(table()->model()->rowCount(), before + passes);
}

// RSS before and after a 5,000-row table is built, shown and updated once; freed memory is
// handed back first, so only what the table holds counts.
void BenchDisplayTable::memory()
{
    show({});
    MyDownloader *downloader = m_world->quietLiveDownloader();
    const QStringList symbols = symbolsFor(5000);
    const QByteArray reply = replyFor(symbols, 0, 1);
    releaseFreedMemory();
    const qint64 before = residentBytes();

    show(symbols);
    downloader->replyBuffer = reply;
    m_world->window->updateDisplayTable();
    repaint();
    releaseFreedMemory();
    const qint64 added = residentBytes() - before;

    qInfo("5000 rows add %.1f MB of RSS", added / 1048576.0);
    QTest::setBenchmarkResult(qreal(added), QTest::BytesAllocated);
}

QTEST_MAIN(BenchDisplayTable)
#include "bench_displaytable.moc"
