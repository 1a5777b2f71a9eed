// One live tick's import step: read the quote file, keep the selected lines, write the import
// file, and make the two AmiBroker calls (journalled here). The reply holds one line for every
// selected symbol and as many for symbols not selected.
//
// The files of each size are also left in <temp>/tickvane-bench-liveimport/<size>/ (symbols.txt,
// rt.txt) for comparing with:  awk -F, 'NR==FNR{s[$0];next} ($2 in s)' symbols.txt rt.txt
#include "feed/livedataupdator.h"
#include "feed/liveimport.h"
#include "symbols/selection.h"

#include "support/testenvironment.h"

#include <QtTest>

#include <QDir>
#include <QFile>

class BenchLiveImport : public QObject
{
    Q_OBJECT

private slots:
    void updateDataAmi_data();
    void updateDataAmi();
    // The filter alone, without the file system: shows how the rule itself grows.
    void selectedLines_data();
    void selectedLines();
};

namespace {

QByteArray quoteLine(const QString &exchange, const QString &symbol, int i)
{
    return QStringLiteral("%1,%2,20261207,09:15:%3,%4,%5,%6,%7\n")
        .arg(exchange, symbol)
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg(100.0 + (i * 7919 % 250000) / 100.0, 0, 'f', 2)
        .arg(25 * (1 + i % 40))
        .arg(1000000 + i * 37)
        .arg(i % 3 ? 0 : 456000 + i)
        .toUtf8();
}

struct Tick
{
    QStringList symbols;
    QByteArray reply;
};

Tick makeTick(int selected)
{
    Tick tick;
    for (int i = 0; i < selected; ++i) {
        const QString chosen = QStringLiteral("NIFTY26DEC%1CE").arg(15000 + i * 5);
        const QString other = QStringLiteral("BANKNIFTY26DEC%1PE").arg(40000 + i * 10);
        tick.symbols << chosen;
        tick.reply += quoteLine(QStringLiteral("NFO"), chosen, i);
        tick.reply += quoteLine(QStringLiteral("NFO"), other, i);
    }
    return tick;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

}

void BenchLiveImport::updateDataAmi_data()
{
    QTest::addColumn<int>("selected");
    QTest::newRow("100 symbols") << 100;
    QTest::newRow("1000 symbols") << 1000;
    QTest::newRow("5000 symbols") << 5000;
}

void BenchLiveImport::updateDataAmi()
{
    QFETCH(int, selected);

    TestEnvironment env;
    const Tick tick = makeTick(selected);
    const QStringList &symbols = tick.symbols;
    const QByteArray &reply = tick.reply;
    writeFile(env.root() + QStringLiteral("/rt.txt"), reply);

    const QString compareDir = QDir::tempPath() + QStringLiteral("/tickvane-bench-liveimport/%1").arg(selected);
    QDir().mkpath(compareDir);
    writeFile(compareDir + QStringLiteral("/rt.txt"), reply);
    writeFile(compareDir + QStringLiteral("/symbols.txt"), symbols.join(QLatin1Char('\n')).toUtf8() + '\n');

    Selection selection;
    selection.assign(symbols, symbols);
    liveDataUpdator worker(selection, Platform::createAutomationObject);

    QBENCHMARK {
        worker.updateDataAmi();
    }

    QFile imported(env.root() + QStringLiteral("/rtimport.txt"));
    QVERIFY(imported.open(QIODevice::ReadOnly));
    QCOMPARE(imported.readAll().count('\n'), selected);
}

void BenchLiveImport::selectedLines_data()
{
    updateDataAmi_data();
}

void BenchLiveImport::selectedLines()
{
    QFETCH(int, selected);
    const Tick tick = makeTick(selected);

    QByteArray lines;
    QBENCHMARK {
        lines = LiveImport::selectedLines(tick.reply, LiveImport::symbolSet(tick.symbols));
    }
    QCOMPARE(lines.count('\n'), selected);
}

QTEST_GUILESS_MAIN(BenchLiveImport)
#include "bench_liveimport.moc"
