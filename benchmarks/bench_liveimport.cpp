// One live tick's import step: read the quote file, keep the selected lines, write the import
// file, then the two AmiBroker calls (here to an AmiBroker that answers at once, as the calls'
// cost is AmiBroker's). The reply holds one line for every selected symbol and as many for
// symbols not selected.
//
// In the same run, a minimal C++ filter written here (read the file, look each symbol field up in
// a hash set built once, write the kept lines over the last tick's) does the same work on the same
// files; the ratio of the two medians is printed.
// Run: QT_QPA_PLATFORM=offscreen build/benchmarks/bench_liveimport -median 9
//
// The files of each size are also left in <temp>/tickvane-bench-liveimport/<size>/ (symbols.txt,
// rt.txt) for comparing with:  awk -F, 'NR==FNR{s[$0];next} ($2 in s)' symbols.txt rt.txt
#include "feed/livedataupdator.h"
#include "feed/liveimport.h"
#include "symbols/displaytablemodel.h"
#include "symbols/replypass.h"
#include "symbols/selection.h"

#include "support/coreenvironment.h"

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class BenchLiveImport : public QObject
{
    Q_OBJECT

private slots:
    void importStep_data();
    void importStep();
    // The filter alone, without the file system: shows how the rule itself grows.
    void selectedLines_data();
    void selectedLines();
    // The feed's one pass alone over a reply in hand, its selection followed and indexed once.
    void onePass_data();
    void onePass();
    // A whole tick from the reply in hand: the quote file stored, the import file written, the
    // AmiBroker calls and the display table, in one pass over the reply; beside the same tick
    // done as two readings (the quote file read back and filtered, then the table's own pass)
    // and beside just writing the two files with write(2). The time from the reply to the
    // Import call is shown apart.
    void tick_data();
    void tick();
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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An AmiBroker that takes every call at once, and notes when the last Import came.
QElapsedTimer importClock;
qint64 importCalledNs = 0;

class SilentAutomation final : public Platform::AutomationObject
{
public:
    bool isNull() const override { return false; }
    Platform::CallResult call(const QString &methodText) override
    {
        if (methodText.startsWith(QLatin1String("Import(")))
            importCalledNs = importClock.nsecsElapsed();
        return {};
    }
    Platform::CallResult call(const QString &, const QString &) override { return {}; }
};

// The least a filter must do: read, look up, write. Its set is built once, like ours.
class ReferenceFilter
{
public:
    ReferenceFilter(const QStringList &symbols, std::string quotePath, std::string importPath)
        : m_quotePath(std::move(quotePath))
        , m_importPath(std::move(importPath))
    {
        m_storage.reserve(std::size_t(symbols.size()));
        for (const QString &symbol : symbols)
            m_storage.push_back(symbol.toStdString());
        for (const std::string &symbol : m_storage)
            m_set.insert(symbol);
    }

    void run()
    {
        std::FILE *in = std::fopen(m_quotePath.c_str(), "rb");
        if (!in)
            return;
        std::fseek(in, 0, SEEK_END);
        const long size = std::ftell(in);
        std::fseek(in, 0, SEEK_SET);
        m_input.resize(std::size_t(size));
        const std::size_t got = std::fread(m_input.data(), 1, m_input.size(), in);
        std::fclose(in);

        m_output.clear();
        const char *line = m_input.data();
        const char *const end = line + got;
        while (const auto *feed = static_cast<const char *>(std::memchr(line, '\n', std::size_t(end - line)))) {
            const auto *comma = static_cast<const char *>(std::memchr(line, ',', std::size_t(feed - line)));
            if (comma) {
                const char *field = comma + 1;
                const auto *next = static_cast<const char *>(std::memchr(field, ',', std::size_t(feed - field)));
                if (m_set.count(std::string_view(field, std::size_t((next ? next : feed) - field))))
                    m_output.append(line, std::size_t(feed - line + 1));
            }
            line = feed + 1;
        }

        // Overwritten in place and cut to size, as ours is: emptying the file first costs
        // milliseconds on ext4, which would flatter ours.
        std::FILE *out = std::fopen(m_importPath.c_str(), "r+b");
        if (!out)
            out = std::fopen(m_importPath.c_str(), "wb");
        if (!out)
            return;
        std::fwrite(m_output.data(), 1, m_output.size(), out);
        std::fclose(out);
        std::error_code ignored;
        std::filesystem::resize_file(m_importPath, m_output.size(), ignored);
    }

private:
    std::string m_quotePath;
    std::string m_importPath;
    std::vector<std::string> m_storage;
    std::unordered_set<std::string_view> m_set;
    std::vector<char> m_input;
    std::string m_output;
};

qint64 median(std::vector<qint64> samples)
{
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

}

void BenchLiveImport::importStep_data()
{
    QTest::addColumn<int>("selected");
    QTest::newRow("100 symbols") << 100;
    QTest::newRow("1000 symbols") << 1000;
    QTest::newRow("5000 symbols") << 5000;
    QTest::newRow("20000 symbols") << 20000;
}

void BenchLiveImport::importStep()
{
    QFETCH(int, selected);

    CoreEnvironment env;
    const Tick tick = makeTick(selected);
    const QString quotePath = env.root() + QStringLiteral("/rt.txt");
    const QString importPath = env.root() + QStringLiteral("/rtimport.txt");
    const QString referencePath = env.root() + QStringLiteral("/reference.txt");
    writeFile(quotePath, tick.reply);

    const QString compareDir = QDir::tempPath() + QStringLiteral("/tickvane-bench-liveimport/%1").arg(selected);
    QDir().mkpath(compareDir);
    writeFile(compareDir + QStringLiteral("/rt.txt"), tick.reply);
    writeFile(compareDir + QStringLiteral("/symbols.txt"), tick.symbols.join(QLatin1Char('\n')).toUtf8() + '\n');

    Selection selection;
    selection.assign(tick.symbols, tick.symbols);
    liveDataUpdator worker(selection, [](const QString &) { return std::make_unique<SilentAutomation>(); });
    ReferenceFilter reference(tick.symbols, QFile::encodeName(quotePath).toStdString(),
                              QFile::encodeName(referencePath).toStdString());

    // Interleaved, so both see the same machine.
    std::vector<qint64> ours, theirs;
    for (int i = 0; i < 41; ++i) {
        QElapsedTimer clock;
        clock.start();
        worker.updateDataAmi();
        ours.push_back(clock.nsecsElapsed());
        clock.restart();
        reference.run();
        theirs.push_back(clock.nsecsElapsed());
    }
    QCOMPARE(readFile(importPath), readFile(referencePath));
    static QSet<QString> reported;
    const QString tag = QLatin1String(QTest::currentDataTag());
    if (!reported.contains(tag)) {
        qInfo("%s: median import step %.3f ms, reference filter %.3f ms, ratio %.2f", QTest::currentDataTag(),
              median(ours) / 1e6, median(theirs) / 1e6, double(median(ours)) / double(median(theirs)));
        reported.insert(tag);
    }

    QBENCHMARK {
        worker.updateDataAmi();
    }
    QCOMPARE(readFile(importPath).count('\n'), selected);
}

void BenchLiveImport::selectedLines_data()
{
    importStep_data();
}

void BenchLiveImport::selectedLines()
{
    QFETCH(int, selected);
    const Tick tick = makeTick(selected);
    const auto symbols = LiveImport::symbolSet(tick.symbols);

    QByteArray lines;
    QBENCHMARK {
        lines = LiveImport::selectedLines(tick.reply, symbols);
    }
    QCOMPARE(lines.count('\n'), selected);
}

void BenchLiveImport::onePass_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("othersToo");
    for (const int selected : {5000, 20000}) {
        // As the vendor answers: the selected symbols alone, in their order.
        QTest::addRow("%d symbols", selected) << selected << false;
        QTest::addRow("%d symbols and as many others", selected) << selected << true;
    }
}

void BenchLiveImport::onePass()
{
    QFETCH(int, selected);
    QFETCH(bool, othersToo);
    const Tick tick = makeTick(selected);
    const QByteArray reply = othersToo ? tick.reply : LiveImport::selectedLines(tick.reply, LiveImport::symbolSet(tick.symbols));
    Selection selection;
    selection.assign(tick.symbols, tick.symbols);
    LiveReplyPass pass(selection);
    QByteArray lines;
    QBENCHMARK {
        pass.read(reply, &lines, LiveImport::NativeLineEnd);
    }
    QCOMPARE(lines.count('\n'), selected);
}

namespace {

// As the downloader stores a reply: overwritten in place and cut to size.
void storeReply(const QString &path, const QByteArray &body)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite)) {
        file.write(body);
        file.flush();
        file.resize(body.size());
    }
}

void writePlain(const std::string &path, const QByteArray &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0)
        return;
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    if (::ftruncate(fd, bytes.size()) != 0)
        qWarning("ftruncate failed");
    ::close(fd);
}

}

void BenchLiveImport::tick_data()
{
    QTest::addColumn<int>("selected");
    QTest::newRow("5000 symbols") << 5000;
    QTest::newRow("20000 symbols") << 20000;
}

void BenchLiveImport::tick()
{
    QFETCH(int, selected);

    CoreEnvironment env;
    const Tick tick = makeTick(selected);
    const QString quotePath = env.root() + QStringLiteral("/rt.txt");
    const QString importPath = env.root() + QStringLiteral("/rtimport.txt");
    const std::string plainQuote = QFile::encodeName(env.root() + QStringLiteral("/plain-rt.txt")).toStdString();
    const std::string plainImport = QFile::encodeName(env.root() + QStringLiteral("/plain-rtimport.txt")).toStdString();
    const auto automation = [](const QString &) { return std::make_unique<SilentAutomation>(); };

    Selection selection;
    selection.assign(tick.symbols, tick.symbols);
    DisplayTableModel onePassTable(selection);
    onePassTable.rebuild();
    liveDataUpdator onePass(selection, automation);
    QObject::connect(&onePass, &liveDataUpdator::quotesRead, &onePassTable, &DisplayTableModel::apply);
    DisplayTableModel ownPassTable(selection);
    ownPassTable.rebuild();
    liveDataUpdator twoReadings(selection, automation);
    LiveReplyPass tableReading(selection);
    const QByteArray importLines = LiveImport::selectedLines(tick.reply, LiveImport::symbolSet(tick.symbols));

    // Interleaved, so all three see the same machine.
    std::vector<qint64> one, toImport, two, plain;
    for (int i = 0; i < 41; ++i) {
        QElapsedTimer &clock = importClock;
        clock.start();
        storeReply(quotePath, tick.reply);
        onePass.importReply(tick.reply);
        one.push_back(clock.nsecsElapsed());
        toImport.push_back(importCalledNs);
        clock.restart();
        storeReply(quotePath, tick.reply);
        twoReadings.updateDataAmi();
        tableReading.read(tick.reply, nullptr, LiveImport::NativeLineEnd);
        ownPassTable.apply(tableReading);
        two.push_back(clock.nsecsElapsed());
        clock.restart();
        writePlain(plainQuote, tick.reply);
        writePlain(plainImport, importLines);
        plain.push_back(clock.nsecsElapsed());
    }
    QCOMPARE(readFile(importPath).count('\n'), selected);
    QCOMPARE(onePassTable.index(selected - 1, 1).data().toString(), ownPassTable.index(selected - 1, 1).data().toString());
    static QSet<QString> reported;
    const QString tag = QLatin1String(QTest::currentDataTag());
    if (!reported.contains(tag)) {
        qInfo("%s: median tick in one pass %.3f ms (reply to Import %.3f ms), in two readings %.3f ms, "
              "write(2) of both files %.3f ms; ratios to write(2): one pass %.1f (reply to Import %.1f), "
              "two readings %.1f",
              QTest::currentDataTag(), median(one) / 1e6, median(toImport) / 1e6, median(two) / 1e6,
              median(plain) / 1e6, double(median(one)) / double(median(plain)),
              double(median(toImport)) / double(median(plain)), double(median(two)) / double(median(plain)));
        reported.insert(tag);
    }

    QBENCHMARK {
        storeReply(quotePath, tick.reply);
        onePass.importReply(tick.reply);
    }
}

QTEST_GUILESS_MAIN(BenchLiveImport)
#include "bench_liveimport.moc"
