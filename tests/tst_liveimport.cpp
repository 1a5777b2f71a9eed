// The live import: a live reply filtered down to the selection, written as the import file,
// and handed to AmiBroker with an import and a refresh.
#include "feed/livedataupdator.h"
#include "feed/liveimport.h"
#include "feed/mydownloader.h"
#include "symbols/replypass.h"
#include "symbols/selection.h"

#include "support/filesizelimit.h"
#include "support/coreenvironment.h"
#include "vendorsim.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

class TestLiveImport : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void keptLinesFitTheirRoom_data();
    void keptLinesFitTheirRoom();
    void importFileFollowsEachReply();
    void liveLoopFilesHoldOnlyTheLastReply();
    void unwritableImportFileIsNotImportedAgain();
    void rewriteNeverLeavesHalfAFile_data();
    void rewriteNeverLeavesHalfAFile();
};

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The import file as written: text mode gives it the platform's line ends, "\r\n" on Windows,
// and the byte comparison shows it was cut to exactly that size.
QByteArray importFileBytes(QByteArray lines)
{
#ifdef Q_OS_WIN
    lines.replace("\n", "\r\n");
#endif
    return lines;
}

// The live Import call: the program names its files with the platform's separators.
QString importCall(const QString &root)
{
    return QStringLiteral("Import(0,%1,%2)")
        .arg(QDir::toNativeSeparators(root + QStringLiteral("/rtimport.txt")),
             QDir::toNativeSeparators(root + QStringLiteral("/dataFormatRT.dll")));
}

QStringList importJournal(const QString &root, int lines)
{
    return {QStringLiteral("create Broker.Application"),
            importCall(root) + QStringLiteral("\t%1").arg(lines),
            QStringLiteral("RefreshAll()")};
}

// A live updator over its own install folder and selection, counting the repaints it asks for.
struct Updator
{
    // Each symbol is its own exchange unless told.
    explicit Updator(const QStringList &symbols, const QStringList &exchanges = {})
    {
        selection.assign(symbols, exchanges.isEmpty() ? symbols : exchanges);
        QObject::connect(&worker, &liveDataUpdator::quotesRead, [this] { ++repaints; });
    }
    QString path(const char *name) const { return env.root() + QLatin1Char('/') + QLatin1String(name); }
    QByteArray importFile() const { return readFile(path("rtimport.txt")); }

    CoreEnvironment env;
    Selection selection;
    liveDataUpdator worker{selection, Platform::createAutomationObject};
    int repaints = 0;
};

}

// Rows hold raw reply bytes; the expected import file is what Linux writes (plain "\n" endings).
// A row selects TCS alone unless it names its selection.
void TestLiveImport::filter_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, const QByteArray &reply, const QByteArray &expected,
                        const QStringList &symbols = {QStringLiteral("TCS")}) {
        QTest::newRow(name) << reply << symbols << expected;
    };

    const QByteArray reliance("NSE,RELIANCE,20261207,09:15:03,2456.35,25,1234567,0");
    const QByteArray tcs("NSE,TCS,20261207,09:15:03,3801.10,10,99812,0");
    const QByteArray infy("NSE,INFY,20261207,09:15:04,1520.00,5,4311,0");
    const QByteArray tcsTail(",20261207,09:15:03,3801.10,10,99812,0\n"); // the TCS line past its symbol
    const QByteArray none;

    row("only the selected symbol", reliance + '\n' + tcs + '\n', tcs + '\n');
    row("order kept, repeats kept", tcs + '\n' + reliance + '\n' + infy + '\n' + tcs + '\n',
        tcs + '\n' + infy + '\n' + tcs + '\n', {"INFY", "TCS"});
    row("blank before the symbol", "NSE, TCS" + tcsTail, none);
    row("blank after the symbol", "NSE,TCS " + tcsTail, none);
    row("letter case counts", "NSE,tcs" + tcsTail, none);
    row("symbol in another field only", "TCS,NSE" + tcsTail, none);
    row("unterminated last line", tcs + '\n' + infy, tcs + '\n', {"TCS", "INFY"});
    row("only an unterminated line", tcs, none);
    row("Failed on a selected symbol", "NSE,TCS,Failed to fetch\n" + infy + '\n', infy + '\n', {"TCS", "INFY"});
    row("Failed as the first field", "Failed,TCS\n", none);
    row("Failed after a NUL byte", QByteArray("NSE,TCS,1\0 Failed\n", 18), none);
    row("failed in lower case is data", "NSE,TCS,failed\n", "NSE,TCS,failed\n");
    row("CRLF lines", reliance + "\r\n" + tcs + "\r\n" + infy + "\r\n", tcs + '\n' + infy + '\n', {"TCS", "INFY"});
    row("CRLF, symbol is the last field", "NSE,TCS\r\n", "NSE,TCS\n");
    row("CRLF, unterminated last line", tcs + "\r\n" + infy + '\r', tcs + '\n', {"TCS", "INFY"});
    // Only the carriage return right before the line feed goes; the reply is read as bytes.
    row("lone carriage return inside a line kept", "NSE,TCS,1\r2,3\n", "NSE,TCS,1\r2,3\n");
    row("carriage return ending the symbol field", "NSE,TCS\r,1\n", none);
    row("two carriage returns, one dropped", "NSE,TCS,1\r\r\n", "NSE,TCS,1\r\n");
    // Byte for byte: no decoding may make two different fields equal.
    row("byte-order mark before the symbol", "NSE,\xEF\xBB\xBFTCS,1\n", none);
    row("byte-order mark selected with the symbol", "NSE,\xEF\xBB\xBFTCS,1\nNSE,TCS,2\n", "NSE,\xEF\xBB\xBFTCS,1\n",
        {QStringLiteral("\uFEFFTCS")});
    row("invalid UTF-8 is no replacement character", "MCX,GOLD\xFF,1\n", none, {QStringLiteral("GOLD\uFFFD")});
    row("empty selection", reliance + '\n' + tcs + '\n', none, {});
    row("empty reply", none, none);
    row("empty lines", "\n\n\n", none);
    row("line without comma skipped", "TCS\n" + tcs + '\n', tcs + '\n');
    row("one comma, symbol to the end", "NSE,TCS\n", "NSE,TCS\n");
    row("empty symbol field never matches a symbol", "NSE,,1\n", none);
    const QByteArray nulInSymbol("NSE,TCS\0junk,1\n", 15);
    row("NUL ends the symbol, bytes kept", nulInSymbol, nulInSymbol);
    row("NUL before the symbol", QByteArray("NSE,\0TCS,1\n", 11), none);
    row("ampersand and UTF-8 symbols", "NSE,M&M,1\nMCX,GOLD\xE2\x82\xAC,2\nMCX,GOLD,3\n",
        "NSE,M&M,1\nMCX,GOLD\xE2\x82\xAC,2\n", {"M&M", QStringLiteral("GOLD\u20AC")});
}

// The rule alone, then a live tick that finds the reply in the quote file over a stale import
// file: the import file holds exactly the kept lines, and AmiBroker imports them once.
void TestLiveImport::filter()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, symbols);
    QFETCH(QByteArray, expected);

    QCOMPARE(LiveImport::selectedLines(reply, LiveImport::symbolSet(symbols)), expected);

    Updator t(symbols);
    writeFile(t.path("rt.txt"), reply);
    writeFile(t.path("rtimport.txt"), "stale line from the last tick\n");
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), importFileBytes(expected));
    QCOMPARE(t.env.journal(), importJournal(t.env.root(), expected.count('\n')));
    QCOMPARE(t.repaints, 1);
}

// The shortest lines a selection can keep, each widened by "\r\n", read from a block of the reply's
// exact size by both readers: under the sanitizers a byte past either buffer ends the test.
void TestLiveImport::keptLinesFitTheirRoom_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QByteArray>("expected"); // with "\n" line ends

    const QByteArray empty(",\n"); // the shortest line an empty symbol keeps
    QTest::newRow("four empty symbols") << empty.repeated(4) << QStringList{""} << empty.repeated(4);
    QTest::newRow("1,500 empty symbols") << empty.repeated(1500) << QStringList{""} << empty.repeated(1500);
    QTest::newRow("empty symbols between others") << QByteArray(",\nX,A\n,\n,A\r\n").repeated(500)
                                                  << QStringList{"", "A"} << QByteArray(",\nX,A\n,\n,A\n").repeated(500);
    QTest::newRow("carriage returns shrink") << QByteArray(",\r\n").repeated(700) << QStringList{""}
                                             << empty.repeated(700);
    QTest::newRow("unterminated last line") << QByteArray(",\n,\n,") << QStringList{""} << QByteArray(",\n,\n");
}

void TestLiveImport::keptLinesFitTheirRoom()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, symbols);
    QFETCH(QByteArray, expected);
    const std::unique_ptr<char[]> block(new char[std::size_t(reply.size())]);
    std::memcpy(block.get(), reply.constData(), std::size_t(reply.size()));
    const QByteArray exact = QByteArray::fromRawData(block.get(), reply.size());
    Selection selection;
    selection.assign(symbols, symbols);
    LiveReplyPass pass(selection);

    for (const QByteArray &lineEnd : {QByteArrayLiteral("\n"), QByteArrayLiteral("\r\n")}) {
        QByteArray wanted = expected;
        wanted.replace("\n", lineEnd);
        QByteArray filtered;
        LiveImport::selectLines(exact, selection.symbolBytes(), filtered, nullptr, lineEnd);
        QCOMPARE(filtered, wanted);
        QByteArray kept;
        pass.read(exact, &kept, lineEnd);
        QCOMPARE(kept, wanted);
    }
}

// Each tick rewrites the import file from the new reply and the current selection; without a
// quote file, from the very first tick on, it empties it.
void TestLiveImport::importFileFollowsEachReply()
{
    Updator t({"TCS"});
    writeFile(t.path("rtimport.txt"), "NSE,TCS,1\n");
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), QByteArray());
    QCOMPARE(t.repaints, 1);

    t.selection.assign(QStringList{"TCS", "INFY"}, QStringList{"TCS", "INFY"});
    writeFile(t.path("rt.txt"), "NSE,TCS,1\nNSE,INFY,2\nNSE,SBIN,3\n");
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), importFileBytes("NSE,TCS,1\nNSE,INFY,2\n"));

    t.selection.assign(QStringList{"SBIN"}, QStringList{"SBIN"});
    writeFile(t.path("rt.txt"), "NSE,TCS,4\nNSE,SBIN,5\n");
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), importFileBytes("NSE,SBIN,5\n"));

    // Nothing of an earlier tick's reply may survive into a later one.
    QVERIFY(QFile::remove(t.path("rt.txt")));
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), QByteArray());
    writeFile(t.path("rt.txt"), "NSE,SBIN,6");
    t.worker.updateDataAmi();
    QCOMPARE(t.importFile(), QByteArray());

    const QString call = importCall(t.env.root());
    const QStringList later{call + QStringLiteral("\t2"), QStringLiteral("RefreshAll()"),
                            call + QStringLiteral("\t1"), QStringLiteral("RefreshAll()"),
                            call + QStringLiteral("\t0"), QStringLiteral("RefreshAll()"),
                            call + QStringLiteral("\t0"), QStringLiteral("RefreshAll()")};
    QCOMPARE(t.env.journal(), importJournal(t.env.root(), 0) + later);
}

// Through the live downloader: the quote file and the import file are rewritten in place, so a
// shorter reply after a longer one must leave nothing of the longer behind.
void TestLiveImport::liveLoopFilesHoldOnlyTheLastReply()
{
    Updator t({"TCS", "INFY"}, {"CASH", "CASH"});
    VendorSim::Server vendor;
    QVERIFY(vendor.start());
    MyDownloader downloader(QStringLiteral("rt.txt"), QStringLiteral("http://%1/quotes").arg(vendor.hostPort()),
                            t.env.root(), 0);
    downloader.watchdogTimer->setInterval(10000);
    connect(&downloader, &MyDownloader::downloadfinished, &t.worker, &liveDataUpdator::updateDataAmi);
    QSignalSpy imported(&t.worker, &liveDataUpdator::importFileWritten);

    // Each reply and the lines it leaves in the import file.
    const std::pair<QByteArray, QByteArray> ticks[] = {
        {"NSE,TCS,20261207,10:00:00,3500.5,10,1,0\nNSE,SBIN,20261207,10:00:00,600,1,1,0\n"
         "NSE,INFY,20261207,10:00:00,1500,5,1,0\n",
         "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\nNSE,INFY,20261207,10:00:00,1500,5,1,0\n"},
        {"NSE,INFY,1\n", "NSE,INFY,1\n"},
        {"NSE,TCS,2\r\nNSE,INFY,3\r\n", "NSE,TCS,2\nNSE,INFY,3\n"},
    };
    for (const auto &[reply, kept] : ticks) {
        vendor.setFile(QStringLiteral("/quotes"), reply);
        downloader.requestData();
        QVERIFY(imported.wait(10000));
        QCOMPARE(readFile(t.path("rt.txt")), reply);
        QCOMPARE(t.importFile(), importFileBytes(kept));
    }
}

void TestLiveImport::unwritableImportFileIsNotImportedAgain()
{
    Updator t({"TCS"});
    writeFile(t.path("rt.txt"), "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\n");
    // A folder in the import file's place: it cannot be opened for writing.
    QVERIFY(QDir(t.env.root()).mkdir(QStringLiteral("rtimport.txt")));
    QSignalSpy written(&t.worker, &liveDataUpdator::importFileWritten);
    t.worker.updateDataAmi();

    QCOMPARE(written.count(), 1);
    QCOMPARE(written.first().at(0).toBool(), false);
    QVERIFY(!written.first().at(1).toString().isEmpty());
    QCOMPARE(t.env.journal(), QStringList{QStringLiteral("create Broker.Application")});
    QCOMPARE(t.repaints, 1);
}

void TestLiveImport::rewriteNeverLeavesHalfAFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("limit");          // bytes a file may reach; 0: none
    QTest::addColumn<bool>("written");

    const QByteArray tick1 = QByteArray("NSE,TCS,20261207,10:00:00,3500.5,10,1,0\n").repeated(4);
    const QByteArray tick2 = QByteArray("NSE,ACC,20261207,10:00:01,2210.0,25,1,0\n").repeated(9);
    QTest::newRow("shorter reply cut to size") << tick2 << tick1 << 0 << true;
    QTest::newRow("longer reply") << tick1 << tick2 << 0 << true;
    QTest::newRow("longer reply on a full disk keeps the last whole file")
        << tick1 << tick2 << tick1.size() + 50 << false;
    QTest::newRow("shorter reply on a full disk") << tick2 << tick1 << tick2.size() << true;
    QTest::newRow("empty reply") << tick1 << QByteArray() << 0 << true;
}

void TestLiveImport::rewriteNeverLeavesHalfAFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, content);
    QFETCH(int, limit);
    QFETCH(bool, written);
    if (limit > 0 && !FileSizeLimit::supported())
        QSKIP("no per-process file size limit on this system");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rtimport.txt"));
    writeFile(path, before);
    QString reason;
    bool done = false;
    {
        std::unique_ptr<FileSizeLimit> full(limit > 0 ? new FileSizeLimit(limit) : nullptr);
        done = LiveImport::rewriteInPlace(path, content, &reason);
    }
    QCOMPARE(done, written);
    QCOMPARE(readFile(path), written ? content : before);
    // The system's own words, not "Unknown error".
    QVERIFY2(written || reason.contains(QLatin1String("too large"), Qt::CaseInsensitive), qPrintable(reason));
}

// On Windows AmiBroker is a QAxObject, which needs the application object of the widgets.
QTEST_MAIN(TestLiveImport)
#include "tst_liveimport.moc"
