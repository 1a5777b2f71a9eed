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
    void updateDataAmi_data();
    void updateDataAmi();
    void missingQuoteFileEmptiesImportFile();
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

}

// Rows hold raw reply bytes; the expected import file is what Linux writes (plain "\n" endings).
void TestLiveImport::filter_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray reliance("NSE,RELIANCE,20261207,09:15:03,2456.35,25,1234567,0");
    const QByteArray tcs("NSE,TCS,20261207,09:15:03,3801.10,10,99812,0");
    const QByteArray infy("NSE,INFY,20261207,09:15:04,1520.00,5,4311,0");

    QTest::newRow("only the selected symbol")
        << reliance + '\n' + tcs + '\n' << QStringList{"TCS"} << tcs + '\n';
    QTest::newRow("order kept, repeats kept")
        << tcs + '\n' + reliance + '\n' + infy + '\n' + tcs + '\n' << QStringList{"INFY", "TCS"}
        << tcs + '\n' + infy + '\n' + tcs + '\n';
    QTest::newRow("blank before the symbol")
        << QByteArray("NSE, TCS,20261207,09:15:03,3801.10,10,99812,0\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("blank after the symbol")
        << QByteArray("NSE,TCS ,20261207,09:15:03,3801.10,10,99812,0\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("letter case counts")
        << QByteArray("NSE,tcs,20261207,09:15:03,3801.10,10,99812,0\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("symbol in another field only")
        << QByteArray("TCS,NSE,20261207,09:15:03,3801.10,10,99812,0\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("unterminated last line")
        << tcs + '\n' + infy << QStringList{"TCS", "INFY"} << tcs + '\n';
    QTest::newRow("only an unterminated line")
        << tcs << QStringList{"TCS"} << QByteArray();
    QTest::newRow("Failed on a selected symbol")
        << QByteArray("NSE,TCS,Failed to fetch\n") + infy + '\n' << QStringList{"TCS", "INFY"} << infy + '\n';
    QTest::newRow("Failed as the first field")
        << QByteArray("Failed,TCS\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("Failed after a NUL byte")
        << QByteArray("NSE,TCS,1\0 Failed\n", 18) << QStringList{"TCS"} << QByteArray();
    QTest::newRow("failed in lower case is data")
        << QByteArray("NSE,TCS,failed\n") << QStringList{"TCS"} << QByteArray("NSE,TCS,failed\n");
    QTest::newRow("CRLF lines")
        << reliance + "\r\n" + tcs + "\r\n" + infy + "\r\n" << QStringList{"TCS", "INFY"}
        << tcs + '\n' + infy + '\n';
    QTest::newRow("CRLF, symbol is the last field")
        << QByteArray("NSE,TCS\r\n") << QStringList{"TCS"} << QByteArray("NSE,TCS\n");
    QTest::newRow("CRLF, unterminated last line")
        << tcs + "\r\n" + infy + '\r' << QStringList{"TCS", "INFY"} << tcs + '\n';
    // Only the carriage return right before the line feed goes; the reply is read as bytes.
    QTest::newRow("lone carriage return inside a line kept")
        << QByteArray("NSE,TCS,1\r2,3\n") << QStringList{"TCS"} << QByteArray("NSE,TCS,1\r2,3\n");
    QTest::newRow("carriage return ending the symbol field")
        << QByteArray("NSE,TCS\r,1\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("two carriage returns, one dropped")
        << QByteArray("NSE,TCS,1\r\r\n") << QStringList{"TCS"} << QByteArray("NSE,TCS,1\r\n");
    // Byte for byte: no decoding may make two different fields equal.
    QTest::newRow("byte-order mark before the symbol")
        << QByteArray("NSE,\xEF\xBB\xBFTCS,1\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("byte-order mark selected with the symbol")
        << QByteArray("NSE,\xEF\xBB\xBFTCS,1\nNSE,TCS,2\n") << QStringList{QStringLiteral("\uFEFFTCS")}
        << QByteArray("NSE,\xEF\xBB\xBFTCS,1\n");
    QTest::newRow("invalid UTF-8 is no replacement character")
        << QByteArray("MCX,GOLD\xFF,1\n") << QStringList{QStringLiteral("GOLD\uFFFD")} << QByteArray();
    QTest::newRow("empty selection")
        << reliance + '\n' + tcs + '\n' << QStringList{} << QByteArray();
    QTest::newRow("empty reply") << QByteArray() << QStringList{"TCS"} << QByteArray();
    QTest::newRow("empty lines") << QByteArray("\n\n\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("line without comma skipped")
        << QByteArray("TCS\n") + tcs + '\n' << QStringList{"TCS"} << tcs + '\n';
    QTest::newRow("one comma, symbol to the end")
        << QByteArray("NSE,TCS\n") << QStringList{"TCS"} << QByteArray("NSE,TCS\n");
    QTest::newRow("empty symbol field never matches a symbol")
        << QByteArray("NSE,,1\n") << QStringList{"TCS"} << QByteArray();
    QTest::newRow("NUL ends the symbol, bytes kept")
        << QByteArray("NSE,TCS\0junk,1\n", 15) << QStringList{"TCS"} << QByteArray("NSE,TCS\0junk,1\n", 15);
    QTest::newRow("NUL before the symbol")
        << QByteArray("NSE,\0TCS,1\n", 11) << QStringList{"TCS"} << QByteArray();
    QTest::newRow("ampersand and UTF-8 symbols")
        << QByteArray("NSE,M&M,1\nMCX,GOLD\xE2\x82\xAC,2\nMCX,GOLD,3\n") << QStringList{"M&M", QStringLiteral("GOLD\u20AC")}
        << QByteArray("NSE,M&M,1\nMCX,GOLD\xE2\x82\xAC,2\n");
}

void TestLiveImport::filter()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, symbols);
    QFETCH(QByteArray, expected);

    QCOMPARE(LiveImport::selectedLines(reply, LiveImport::symbolSet(symbols)), expected);
}

// The shortest lines a selection can keep, each widened by "\r\n", read from a block of the reply's
// exact size by both readers: under the sanitizers a byte past either buffer ends the test.
void TestLiveImport::keptLinesFitTheirRoom_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QByteArray>("expected"); // with "\n" line ends

    QTest::newRow("four empty symbols") << QByteArray(",\n").repeated(4) << QStringList{""}
                                        << QByteArray(",\n").repeated(4);
    QTest::newRow("1,500 empty symbols") << QByteArray(",\n").repeated(1500) << QStringList{""}
                                         << QByteArray(",\n").repeated(1500);
    QTest::newRow("empty symbols between others")
        << QByteArray(",\nX,A\n,\n,A\r\n").repeated(500) << QStringList{"", "A"}
        << QByteArray(",\nX,A\n,\n,A\n").repeated(500);
    QTest::newRow("carriage returns shrink") << QByteArray(",\r\n").repeated(700) << QStringList{""}
                                             << QByteArray(",\n").repeated(700);
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

void TestLiveImport::updateDataAmi_data()
{
    filter_data();
}

void TestLiveImport::updateDataAmi()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, symbols);
    QFETCH(QByteArray, expected);

    CoreEnvironment env;
    writeFile(env.root() + QStringLiteral("/rt.txt"), reply);
    writeFile(env.root() + QStringLiteral("/rtimport.txt"), "stale line from the last tick\n");

    Selection selection;
    selection.assign(symbols, symbols);
    liveDataUpdator worker(selection, Platform::createAutomationObject);
    int repaints = 0;
    QObject::connect(&worker, &liveDataUpdator::quotesRead, [&repaints] { ++repaints; });
    worker.updateDataAmi();

    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), importFileBytes(expected));
    QCOMPARE(env.journal(), importJournal(env.root(), expected.count('\n')));
    QCOMPARE(repaints, 1);
}

void TestLiveImport::missingQuoteFileEmptiesImportFile()
{
    CoreEnvironment env;
    writeFile(env.root() + QStringLiteral("/rtimport.txt"), "NSE,TCS,1\n");

    Selection selection;
    selection.assign(QStringList{"TCS"}, QStringList{"TCS"});
    liveDataUpdator worker(selection, Platform::createAutomationObject);
    int repaints = 0;
    QObject::connect(&worker, &liveDataUpdator::quotesRead, [&repaints] { ++repaints; });
    worker.updateDataAmi();

    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), QByteArray());
    QCOMPARE(env.journal(), importJournal(env.root(), 0));
    QCOMPARE(repaints, 1);
}

// Each tick rewrites the import file from the new reply and the current selection.
void TestLiveImport::importFileFollowsEachReply()
{
    CoreEnvironment env;
    Selection selection;
    selection.assign(QStringList{"TCS", "INFY"}, QStringList{"TCS", "INFY"});
    liveDataUpdator worker(selection, Platform::createAutomationObject);

    writeFile(env.root() + QStringLiteral("/rt.txt"), "NSE,TCS,1\nNSE,INFY,2\nNSE,SBIN,3\n");
    worker.updateDataAmi();
    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), importFileBytes("NSE,TCS,1\nNSE,INFY,2\n"));

    selection.assign(QStringList{"SBIN"}, QStringList{"SBIN"});
    writeFile(env.root() + QStringLiteral("/rt.txt"), "NSE,TCS,4\nNSE,SBIN,5\n");
    worker.updateDataAmi();
    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), importFileBytes("NSE,SBIN,5\n"));

    // Nothing of an earlier tick's reply may survive into a later one.
    QVERIFY(QFile::remove(env.root() + QStringLiteral("/rt.txt")));
    worker.updateDataAmi();
    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), QByteArray());
    writeFile(env.root() + QStringLiteral("/rt.txt"), "NSE,SBIN,6");
    worker.updateDataAmi();
    QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), QByteArray());

    const QString call = importCall(env.root());
    QCOMPARE(env.journal(), (QStringList{QStringLiteral("create Broker.Application"),
                                         call + QStringLiteral("\t2"), QStringLiteral("RefreshAll()"),
                                         call + QStringLiteral("\t1"), QStringLiteral("RefreshAll()"),
                                         call + QStringLiteral("\t0"), QStringLiteral("RefreshAll()"),
                                         call + QStringLiteral("\t0"), QStringLiteral("RefreshAll()")}));
}

// Through the live downloader: the quote file and the import file are rewritten in place, so a
// shorter reply after a longer one must leave nothing of the longer behind.
void TestLiveImport::liveLoopFilesHoldOnlyTheLastReply()
{
    CoreEnvironment env;
    VendorSim::Server vendor;
    QVERIFY(vendor.start());
    Selection selection;
    selection.assign(QStringList{"TCS", "INFY"}, QStringList{"CASH", "CASH"});
    liveDataUpdator worker(selection, Platform::createAutomationObject);
    MyDownloader downloader(QStringLiteral("rt.txt"), QStringLiteral("http://%1/quotes").arg(vendor.hostPort()),
                            env.root(), 0);
    downloader.watchdogTimer->setInterval(10000);
    connect(&downloader, &MyDownloader::downloadfinished, &worker, &liveDataUpdator::updateDataAmi);
    QSignalSpy imported(&worker, &liveDataUpdator::importFileWritten);

    const QByteArray replies[] = {
        "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\nNSE,SBIN,20261207,10:00:00,600,1,1,0\n"
        "NSE,INFY,20261207,10:00:00,1500,5,1,0\n",
        "NSE,INFY,1\n",
        "NSE,TCS,2\r\nNSE,INFY,3\r\n",
    };
    const QByteArray kept[] = {
        "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\nNSE,INFY,20261207,10:00:00,1500,5,1,0\n",
        "NSE,INFY,1\n",
        "NSE,TCS,2\nNSE,INFY,3\n",
    };
    for (int i = 0; i < 3; ++i) {
        vendor.setFile(QStringLiteral("/quotes"), replies[i]);
        downloader.requestData();
        QVERIFY(imported.wait(10000));
        QCOMPARE(readFile(env.root() + QStringLiteral("/rt.txt")), replies[i]);
        QCOMPARE(readFile(env.root() + QStringLiteral("/rtimport.txt")), importFileBytes(kept[i]));
    }
}

void TestLiveImport::unwritableImportFileIsNotImportedAgain()
{
    CoreEnvironment env;
    writeFile(env.root() + QStringLiteral("/rt.txt"), "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\n");
    // A folder in the import file's place: it cannot be opened for writing.
    QVERIFY(QDir(env.root()).mkdir(QStringLiteral("rtimport.txt")));

    Selection selection;
    selection.assign(QStringList{"TCS"}, QStringList{"TCS"});
    liveDataUpdator worker(selection, Platform::createAutomationObject);
    int repaints = 0;
    QObject::connect(&worker, &liveDataUpdator::quotesRead, [&repaints] { ++repaints; });
    QSignalSpy written(&worker, &liveDataUpdator::importFileWritten);
    worker.updateDataAmi();

    QCOMPARE(written.count(), 1);
    QCOMPARE(written.first().at(0).toBool(), false);
    QVERIFY(!written.first().at(1).toString().isEmpty());
    QCOMPARE(env.journal(), QStringList{QStringLiteral("create Broker.Application")});
    QCOMPARE(repaints, 1);
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

// The Windows automation object is an ActiveX widget: it needs the widgets application.
// On Windows AmiBroker is a QAxObject, which needs the application object of the widgets.
QTEST_MAIN(TestLiveImport)
#include "tst_liveimport.moc"
