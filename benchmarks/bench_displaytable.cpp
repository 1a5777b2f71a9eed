// Cost of one display-table update after a live import, for 100, 1,000 and 5,000 rows.
// Run: QT_QPA_PLATFORM=offscreen build/benchmarks/bench_displaytable
#include "symbolswindow.h"
#include "ui_amibrokerlivedata2.h"

#include <QElapsedTimer>
#include <QTableWidget>

#include <algorithm>
#include <vector>

namespace {

// Every row's price moves between the two replies, so each update writes and colours cells.
QByteArray replyFor(const QStringList &symbols, int tick)
{
    QByteArray body;
    body.reserve(symbols.size() * 48);
    for (int i = 0; i < symbols.size(); ++i) {
        const double price = 100.0 + i % 97 + (tick % 2 ? 0.05 : 0.0);
        body += "NSE," + symbols.at(i).toUtf8() + ",20261207,09:15:00," + QByteArray::number(price, 'f', 2)
            + ',' + QByteArray::number(10 + (i + tick) % 3) + ",0\n";
    }
    return body;
}

}

class BenchDisplayTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void update_data();
    void update();

private:
    std::unique_ptr<SymbolsWorld> m_world;
};

void BenchDisplayTable::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
    m_world->openWindow();
    m_world->window->show();
}

void BenchDisplayTable::cleanupTestCase()
{
    m_world->closeWindow();
}

void BenchDisplayTable::update_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("100 rows") << 100;
    QTest::newRow("1000 rows") << 1000;
    QTest::newRow("5000 rows") << 5000;
}

void BenchDisplayTable::update()
{
    QFETCH(int, rows);
    QStringList symbols;
    QStringList exchanges;
    for (int i = 0; i < rows; ++i) {
        symbols << QStringLiteral("SYM%1-I").arg(i, 5, 10, QLatin1Char('0'));
        exchanges << QStringLiteral("FUTURE");
    }
    amibrokerlivedata2 &window = *m_world->window;
    window.worker->symbols = symbols;
    window.worker->exchanges = exchanges;
    window.addDisplayTable();
    QCoreApplication::processEvents();

    MyDownloader *downloader = m_world->quietLiveDownloader();
    const QByteArray replies[2] = {replyFor(symbols, 0), replyFor(symbols, 1)};
    int tick = 0;

    std::vector<qint64> samples;
    for (int i = 0; i < 31; ++i) {
        downloader->replyBuffer = replies[tick++ % 2];
        QElapsedTimer clock;
        clock.start();
        window.updateDisplayTable();
        samples.push_back(clock.nsecsElapsed());
        QCoreApplication::processEvents(); // the repaint, as the event loop would do it
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    // QBENCHMARK runs the function again until its figure settles; report the median once.
    static QSet<int> reported;
    if (!reported.contains(rows))
        qInfo("%5d rows: median %.3f ms per update", rows, samples[samples.size() / 2] / 1e6);
    reported.insert(rows);

    QBENCHMARK {
        downloader->replyBuffer = replies[tick++ % 2];
        window.updateDisplayTable();
    }
    QCOMPARE(m_world->ui->displayTableWidget->rowCount(), rows);
}

QTEST_MAIN(BenchDisplayTable)
#include "bench_displaytable.moc"
