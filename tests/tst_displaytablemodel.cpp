// The display table's model without a view: how a live reply is read, how rows follow the
// selection, and what it tells a view.
#include "feed/liveimport.h"
#include "symbols/displaycolumns.h"
#include "symbols/displaytablemodel.h"
#include "symbols/livequotes.h"
#include "symbols/selection.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <cstring>
#include <memory>

using Shade = DisplayTableModel::Shade;
using namespace DisplayColumns;

namespace {

// One reply read by the feed's pass over the selection, and shown.
void showReply(DisplayTableModel &model, const Selection &selection, const QByteArray &reply)
{
    LiveReplyPass pass(selection);
    pass.read(reply, nullptr, QByteArrayLiteral("\n"));
    model.apply(pass);
}

QByteArray quoteLine(const QByteArray &symbol, const QByteArray &price, const QByteArray &quantity)
{
    return "NSE," + symbol + ",20261207,09:15:00," + price + ',' + quantity + ",0\n";
}

// A model over its own selection. Qt's model tester checks every announcement against the
// model's state: resets, inserted and removed rows, changed cells and the muted look.
struct Table
{
    // Every symbol on CASH unless told; without build the rows wait for rebuild().
    explicit Table(const QStringList &symbols, QStringList exchanges = {}, bool build = true)
    {
        while (exchanges.size() < symbols.size())
            exchanges << QStringLiteral("CASH");
        if (!symbols.isEmpty())
            selection.assign(symbols, exchanges);
        if (build)
            model.rebuild();
    }
    void show(const QByteArray &reply) { showReply(model, selection, reply); }
    QString text(int row, int column, int role = Qt::DisplayRole) const
    {
        return model.index(row, column).data(role).toString();
    }
    Shade shade(int row, int column) const
    {
        return Shade(model.index(row, column).data(DisplayTableModel::ShadeRole).toInt());
    }
    // "price quantity" of every row.
    QStringList cells() const
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts << text(row, PriceColumn) + QLatin1Char(' ') + text(row, QuantityColumn);
        return texts;
    }
    QStringList symbols() const
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts << text(row, SymbolColumn);
        return texts;
    }
    // The symbols of the rows that look muted, run together.
    QString muted() const
    {
        QString names;
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.index(row, SymbolColumn).data(DisplayTableModel::MutedRole).toBool())
                names += text(row, SymbolColumn);
        }
        return names;
    }

    Selection selection;
    DisplayTableModel model{selection};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

}

class TestDisplayTableModel : public QObject
{
    Q_OBJECT

private slots:
    void value_data();
    void value();
    void readsReply_data();
    void readsReply();
    void oneChangeSignalPerTick_data();
    void oneChangeSignalPerTick();
    void rowsFollowRebuilds();
    void droppedRowTakesItsQuotesAlong();
    void selectionChangedWithoutRebuild();
    void sameSymbolTwice();
    void troubledSymbolsAreMuted_data();
    void troubledSymbolsAreMuted();
    void nothingShownBeforeFirstBuild();
    void everyChangeIsWellFormed();
    void onePassKeepsWhatTheFilterKeeps_data();
    void onePassKeepsWhatTheFilterKeeps();
    void snapshotHoldsItsReply_data();
    void snapshotHoldsItsReply();
};

void TestDisplayTableModel::value_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<float>("number");
    QTest::newRow("decimal") << QByteArray("100.5") << 100.5f;
    QTest::newRow("integer") << QByteArray("25") << 25.0f;
    QTest::newRow("not a number") << QByteArray("n/a") << 0.0f;
    QTest::newRow("empty") << QByteArray() << 0.0f;
    QTest::newRow("negative") << QByteArray("-12.25") << -12.25f;
    QTest::newRow("leading zeros") << QByteArray("007.50") << 7.5f;
    QTest::newRow("single precision") << QByteArray("16777217") << 16777216.0f;
    QTest::newRow("two dots") << QByteArray("1.2.3") << 0.0f;
    QTest::newRow("lone sign") << QByteArray("-") << 0.0f;
    QTest::newRow("trailing dot") << QByteArray("5.") << QStringLiteral("5.").toFloat();
    QTest::newRow("leading dot") << QByteArray(".5") << QStringLiteral(".5").toFloat();
    QTest::newRow("exponent") << QByteArray("1e3") << 1000.0f;
    QTest::newRow("blanks") << QByteArray(" 42 ") << QStringLiteral(" 42 ").toFloat();
    QTest::newRow("long") << QByteArray("123456789012345678901234567890123") << 1.2345679e32f;
    // Around the limits of the exact shortcut: 15 digits, a power of ten up to 1e22.
    QTest::newRow("15 digits") << QByteArray("12345678.9012345") << 12345678.9012345f;
    QTest::newRow("16 digits") << QByteArray("1234567890123.457") << 1234567890123.457f;
    QTest::newRow("22 decimals") << QByteArray("0.0000000000000000000001") << 1e-22f;
    QTest::newRow("23 decimals") << QByteArray("0.00000000000000000000001") << 1e-23f;
    QTest::newRow("halfway between two floats") << QByteArray("0.100000001490116119384765625") << 0.1f;
    QTest::newRow("negative zero") << QByteArray("-0.00") << -0.0f;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "5") << QString::fromUtf8("\xEF\xBB\xBF" "5").toFloat();
    QTest::newRow("invalid UTF-8") << QByteArray("5\xFF") << 0.0f;
}

void TestDisplayTableModel::value()
{
    QFETCH(QByteArray, text);
    QFETCH(float, number);
    const std::string_view bytes(text.constData(), std::size_t(text.size()));
    QCOMPARE(LiveQuotes::value(bytes), number);
    // Whatever the path, the figure is that of the decoded text's toFloat().
    QCOMPARE(LiveQuotes::value(bytes), QString::fromUtf8(text).toFloat());
}

// Rows ACC, TCS, NIFTYä: each one's "price quantity" after one reply, split at '|'; the rows
// left off the end show "0 0".
void TestDisplayTableModel::readsReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");

    const QByteArray acc1 = quoteLine("ACC", "1", "1");
    QTest::newRow("two lines") << quoteLine("ACC", "100.5", "10") + quoteLine("TCS", "3500", "2") << "100.5 10|3500 2";
    QTest::newRow("first line wins") << acc1 + quoteLine("ACC", "2", "2") << "1 1";
    QTest::newRow("no final line feed") << acc1 + QByteArray("NSE,TCS,d,t,5,5,0") << "1 1";
    QTest::newRow("Failed lines skipped") << QByteArray("Failed,ACC,x,x,9,9\n") + quoteLine("ACC", "2", "2") << "2 2";
    QTest::newRow("failed in lower case counts") << QByteArray("failed,ACC,x,x,9,9\n") << "9 9";
    QTest::newRow("short lines skipped") << QByteArray("NSE,ACC,x,x,9\nACC\n\n") + quoteLine("ACC", "3", "4") << "3 4";
    QTest::newRow("six fields are enough") << QByteArray("NSE,TCS,d,t,5,6\n") << "0 0|5 6";
    QTest::newRow("empty fields kept") << QByteArray(",ACC,,,,\n") << " ";
    QTest::newRow("up to NUL") << acc1 + QByteArray("\0", 1) + quoteLine("TCS", "1", "1") << "1 1";
    QTest::newRow("carriage return before the line feed")
        << QByteArray("NSE,ACC,d,t,100.5,10\r\nNSE,TCS,d,t,7,8,0\r\n") << "100.5 10|7 8";
    QTest::newRow("UTF-8 symbol") << QByteArray("NSE,NIFTY\xc3\xa4,d,t,1,2\n") << "0 0|0 0|1 2";
    QTest::newRow("empty") << QByteArray() << "";
    // Bytes as received: only the carriage return before the line feed goes, and a symbol is found
    // only by its exact bytes.
    QTest::newRow("lone carriage return kept in the quantity") << QByteArray("NSE,ACC,d,t,1,2\r3\n") << "1 2\r3";
    QTest::newRow("carriage return after the symbol") << QByteArray("NSE,TCS\r,d,t,1,2\n") << "";
    QTest::newRow("byte-order mark before the symbol") << QByteArray("NSE,\xEF\xBB\xBFTCS,d,t,1,2\n") << "";
    QTest::newRow("invalid UTF-8 in the symbol") << QByteArray("NSE,NIFTY\xe4,d,t,1,2\n") << "";
}

void TestDisplayTableModel::readsReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    QStringList rows = shown.isEmpty() ? QStringList() : shown.split(QLatin1Char('|'));
    while (rows.size() < 3)
        rows << QStringLiteral("0 0");
    Table t({"ACC", "TCS", QStringLiteral("NIFTY\u00e4")}, {"CASH", "CASH", "FUTURE"});
    t.show(reply);
    QCOMPARE(t.cells(), rows);
    QCOMPARE(t.symbols(), t.selection.symbols());
}

// One dataChanged() per tick, over the rows whose price or quantity cells changed, and none when
// nothing did; then one over the symbols whose look turned. Each as "row,column-row,column", its
// roles and the rows muted when it came.
void TestDisplayTableModel::oneChangeSignalPerTick_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("announced");

    const QByteArray a = quoteLine("A", "1", "1");
    const QByteArray b = quoteLine("B", "1", "1");
    const QByteArray c = quoteLine("C", "1", "1");
    const QByteArray d = quoteLine("D", "1", "1");
    QTest::newRow("nothing moved") << a + b + c + d << QStringList();
    QTest::newRow("rows 1 and 3 moved") << a + quoteLine("B", "2", "1") + c + quoteLine("D", "1", "3")
                                        << QStringList{"1,1-3,2 []"};
    QTest::newRow("reply order is not row order") << quoteLine("C", "0.5", "1") + quoteLine("A", "3", "1")
                                                  << QStringList{"0,1-2,2 []"};
    QTest::newRow("same value, other text") << quoteLine("B", "1.0", "1") << QStringList{"1,1-1,2 []"};
    QTest::newRow("no row's symbol") << quoteLine("Z", "9", "9") << QStringList();
    QTest::newRow("a failure turns its symbol after the prices")
        << a + "Failed,B,Symbol Not Found\n" + quoteLine("C", "2", "1")
        << QStringList{"2,1-2,2 []", "1,0-1,0 [260,3] B"};
    QTest::newRow("failures turn one range of symbols") << QByteArray("Failed,D,x\nFailed,A,x\n")
                                                        << QStringList{"0,0-3,0 [260,3] AD"};
}

void TestDisplayTableModel::oneChangeSignalPerTick()
{
    QFETCH(QByteArray, second);
    QFETCH(QStringList, announced);
    Table t({"A", "B", "C", "D"});
    t.show(quoteLine("A", "1", "1") + quoteLine("B", "1", "1") + quoteLine("C", "1", "1") + quoteLine("D", "1", "1"));

    QStringList changes;
    connect(&t.model, &DisplayTableModel::dataChanged, this,
            [&](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles) {
                QStringList roleNumbers;
                for (const int role : roles)
                    roleNumbers << QString::number(role);
                changes << QStringLiteral("%1,%2-%3,%4 [%5] %6")
                               .arg(topLeft.row()).arg(topLeft.column())
                               .arg(bottomRight.row()).arg(bottomRight.column())
                               .arg(roleNumbers.join(QLatin1Char(',')), t.muted())
                               .trimmed();
            });
    t.show(second);
    QCOMPARE(changes, announced);
}

// Each rebuild starts the price cells again at "0"; rows are overwritten, added or dropped as a
// table widget's row count would, and the view is told so.
void TestDisplayTableModel::rowsFollowRebuilds()
{
    Table t({}, {}, false);
    QCOMPARE(t.model.columnCount(), 0);
    QSignalSpy reset(&t.model, &DisplayTableModel::modelReset);
    QSignalSpy inserted(&t.model, &DisplayTableModel::rowsInserted);
    QSignalSpy removed(&t.model, &DisplayTableModel::rowsRemoved);

    t.selection.assign({"A", "B"}, {"CASH", "MCX"});
    t.model.rebuild();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(t.model.columnCount(), 5);
    t.show(quoteLine("A", "5", "6") + quoteLine("B", "7", "8"));

    t.selection.assign({"C", "B", "D"}, {"CASH", "MCX", "NCDEX"});
    t.model.rebuild();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 2);
    QCOMPARE(t.symbols(), QStringList({"C", "B", "D"}));
    QCOMPARE(t.cells(), QStringList({"0 0", "0 0", "0 0"}));
    QCOMPARE(t.shade(1, PriceColumn), Shade::None);
    QCOMPARE(t.text(2, DeleteColumn, DisplayTableModel::ButtonNameRole), QStringLiteral("D1,NCDEX"));

    t.selection.assign({"D"}, {"NCDEX"});
    t.model.rebuild();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(1).toInt(), 1);
    QCOMPARE(removed.first().at(2).toInt(), 2);
    t.show(quoteLine("C", "1", "1") + quoteLine("D", "2", "3"));
    QCOMPARE(t.cells(), QStringList({"2 3"}));
    QCOMPARE(reset.count(), 1);
}

void TestDisplayTableModel::droppedRowTakesItsQuotesAlong()
{
    Table t({"A", "B", "C"});
    connect(&t.selection, &Selection::rowRemoved, &t.model, &DisplayTableModel::dropRow);
    t.show(quoteLine("A", "1", "1") + quoteLine("B", "2", "2") + quoteLine("C", "3", "3"));

    t.selection.removeRow(QStringLiteral("B"));
    QCOMPARE(t.symbols(), QStringList({"A", "C"}));
    QCOMPARE(t.cells(), QStringList({"1 1", "3 3"}));
    QCOMPARE(t.shade(1, PriceColumn), Shade::Rising);
    t.show(quoteLine("B", "9", "9") + quoteLine("C", "2", "3"));
    QCOMPARE(t.cells(), QStringList({"1 1", "2 3"}));
    QCOMPARE(t.shade(1, PriceColumn), Shade::Falling);
    t.model.dropRow(5);
    QCOMPARE(t.model.rowCount(), 2);

    // Deleted between a pass's read and the table's apply (AmiBroker's import may dispatch the
    // click): the pass still holds the old entries, and no row may show its neighbour's quote.
    for (const char *deleted : {"A", "B"}) {
        Table u({"A", "B", "C"});
        connect(&u.selection, &Selection::rowRemoved, &u.model, &DisplayTableModel::dropRow);
        LiveReplyPass pass(u.selection);
        pass.read(quoteLine("A", "1", "1") + quoteLine("B", "2", "2") + quoteLine("C", "3", "3"), nullptr, "\n");
        u.model.apply(pass);
        pass.read(quoteLine("A", "4", "4") + quoteLine("B", "5", "5") + quoteLine("C", "6", "6"), nullptr, "\n");
        u.selection.removeRow(QLatin1String(deleted));
        u.model.apply(pass);
        QCOMPARE(u.cells(), *deleted == 'A' ? QStringList({"5 5", "6 6"}) : QStringList({"4 4", "6 6"}));
    }
}

// A selection restored or pruned without a rebuild: the next reply shows its symbols in place,
// kept rows keep their cells and rows it adds start empty, as a table widget's rows did.
void TestDisplayTableModel::selectionChangedWithoutRebuild()
{
    Table t({"A", "B"});
    t.show(quoteLine("A", "1", "1") + quoteLine("B", "2", "2"));
    {
        const QSignalBlocker quiet(&t.selection);
        t.selection.assign({"B", "C", "D"}, {"CASH", "MCX", "MCX"});
    }
    t.show(quoteLine("D", "4", "4"));
    QCOMPARE(t.symbols(), QStringList({"B", "C", "D"}));
    QCOMPARE(t.cells(), QStringList({"1 1", "2 2", "4 4"}));
    QCOMPARE(t.text(1, BackfillColumn, DisplayTableModel::ExchangeRole), QStringLiteral("MCX"));
    {
        const QSignalBlocker quiet(&t.selection);
        t.selection.assign({"C"}, {"MCX"});
    }
    t.show(QByteArray());
    QCOMPARE(t.symbols(), QStringList({"C"}));
    QCOMPARE(t.cells(), QStringList({"1 1"}));
}

// Both rows of a symbol picked twice show its quote, and both count as steady updates.
void TestDisplayTableModel::sameSymbolTwice()
{
    Table t({"A", "B", "A"}, {"CASH", "CASH", "MCX"});
    t.show(quoteLine("A", "5", "1"));
    QCOMPARE(t.cells(), QStringList({"5 1", "0 0", "5 1"}));
    t.show(quoteLine("A", "5", "2"));
    QCOMPARE(t.model.steadyCounterLtp(), 2);
    QCOMPARE(t.model.steadyCounterLtq(), 0);
    QCOMPARE(t.shade(2, QuantityColumn), Shade::Rising);
}

void TestDisplayTableModel::troubledSymbolsAreMuted_data()
{
    // Events: "acc" a reply with ACC only, "both" with ACC and TCS, "tcsFailed" ACC and the vendor's
    // failure for TCS; "+<ms>" moves the clock; "live" / "down" the once-a-second look.
    QTest::addColumn<QString>("events");
    // Of the TCS row; empty where no row may look muted, else TCS alone does.
    QTest::addColumn<QString>("tooltip");

    QTest::newRow("all quoted") << "both +61000 both live" << "";
    QTest::newRow("the vendor's failure at once, with its reason")
        << "tcsFailed" << "TCS: the vendor says \"Symbol Not Found\"";
    QTest::newRow("a good line clears the failure") << "tcsFailed +700 both" << "";
    QTest::newRow("no quote for a minute while the feed is live")
        << "both +20000 acc +40000 acc live" << "TCS: no quote for 1 min 0 s";
    QTest::newRow("the tooltip counts on") << "both +60000 acc live +20000 acc" << "TCS: no quote for 1 min 20 s";
    QTest::newRow("under a minute is no trouble") << "both +59999 acc live" << "";
    QTest::newRow("while the feed is down no symbol is singled out") << "both +61000 down" << "";
    QTest::newRow("a quote clears the quiet look") << "both +61000 acc live +700 both" << "";
    QTest::newRow("a row counts from when it came") << "+61000 acc live" << "TCS: no quote for 1 min 1 s";
}

// A symbol the vendor failed or stopped answering is muted, with why in its tooltip; the next good
// line clears it.
void TestDisplayTableModel::troubledSymbolsAreMuted()
{
    QFETCH(QString, events);
    QFETCH(QString, tooltip);

    qint64 now = 5'000'000;
    Table t({"ACC", "TCS"}, {}, false);
    t.model.setClock([&now] { return now; });
    t.model.rebuild();
    QSignalSpy changes(&t.model, &DisplayTableModel::dataChanged);
    const QStringList steps = events.split(QLatin1Char(' '));
    for (const QString &event : steps) {
        if (event.startsWith(QLatin1Char('+')))
            now += event.mid(1).toLongLong();
        else if (event == QLatin1String("acc"))
            t.show(quoteLine("ACC", "10", "1"));
        else if (event == QLatin1String("both"))
            t.show(quoteLine("ACC", "10", "1") + quoteLine("TCS", "20", "1"));
        else if (event == QLatin1String("tcsFailed"))
            t.show(quoteLine("ACC", "10", "1") + "Failed,TCS,Symbol Not Found\n");
        else
            t.model.markQuietSymbols(event == QLatin1String("live"));
    }
    QCOMPARE(t.muted(), tooltip.isEmpty() ? QString() : QStringLiteral("TCS"));
    // Only the symbol cell looks different.
    for (int row = 0; row < 2; ++row)
        QVERIFY(!t.model.index(row, PriceColumn).data(DisplayTableModel::MutedRole).toBool());
    QCOMPARE(t.text(1, PriceColumn, Qt::ToolTipRole), tooltip);
    // A look that changes nothing announces nothing.
    changes.clear();
    t.model.markQuietSymbols(steps.last() != QLatin1String("down"));
    QCOMPARE(changes.count(), 0);
}

// Before its first build the table has no columns: replies neither fill cells nor count.
void TestDisplayTableModel::nothingShownBeforeFirstBuild()
{
    Table t({"A", "B"}, {}, false);
    t.show(quoteLine("A", "5", "1") + quoteLine("A", "5", "1"));
    QCOMPARE(t.model.rowCount(), 2);
    QCOMPARE(t.model.columnCount(), 0);
    QCOMPARE(t.model.steadyCounterLtp(), 0);
    QVERIFY(!t.model.index(0, PriceColumn).isValid());
    t.model.rebuild();
    QCOMPARE(t.cells(), QStringList({"0 0", "0 0"}));
}

// Inserted and removed rows, a failure, the quiet look and a selection changed without a rebuild,
// one after another under the model tester.
void TestDisplayTableModel::everyChangeIsWellFormed()
{
    Table t({}, {}, false);
    qint64 now = 0;
    t.model.setClock([&now] { return now; });
    t.selection.assign({"A", "B", "C"}, {"NSE", "NSE", "NSE"});
    t.model.rebuild();
    t.show(quoteLine("A", "5", "1") + quoteLine("C", "7", "2"));
    t.selection.assign({"A", "B", "C", "D", "E"}, {"NSE", "NSE", "NSE", "NSE", "NSE"});
    t.model.rebuild();
    t.selection.removeRow(QStringLiteral("B"));
    t.show("Failed,D,Authentication Failed\n" + quoteLine("A", "6", "1"));
    now += DisplayTableModel::QuietSymbolMs;
    t.model.markQuietSymbols(true);
    t.selection.assign({"E"}, {"NSE"});
    t.show(quoteLine("E", "9", "3"));
    t.model.rebuild();
    QCOMPARE(t.symbols(), QStringList{"E"});
}

void TestDisplayTableModel::onePassKeepsWhatTheFilterKeeps_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray a = quoteLine("A", "5", "1");
    const QByteArray b = quoteLine("B", "6", "2");
    const auto crlf = [](const QByteArray &line) { return line.chopped(1) + "\r\n"; };
    QTest::newRow("other symbols between") << a + quoteLine("X", "1", "1") + b << crlf(a) + crlf(b);
    QTest::newRow("carriage returns") << "NSE,A,1,2,3,4\r\n" + b << "NSE,A,1,2,3,4\r\n" + crlf(b);
    QTest::newRow("error lines") << "Failed,A,Authentication Failed\n" + a + "NSE,B,Failed,1,1,1\n" << crlf(a);
    QTest::newRow("unterminated last piece") << a + "NSE,B,1,2,3,4" << crlf(a);
    QTest::newRow("a NUL ends the table's reading")
        << a + QByteArray("NSE,B\0,1,2,3,4\n", 15) + b << crlf(a) + QByteArray("NSE,B\0,1,2,3,4\r\n", 16) + crlf(b);
    QTest::newRow("short lines are imported") << QByteArray("NSE,A\n,B\nB\n") << QByteArray("NSE,A\r\n,B\r\n");
    QTest::newRow("same symbol twice") << a + quoteLine("A", "9", "9") << crlf(a) + crlf(quoteLine("A", "9", "9"));
}

// The table reads the reply in the same pass that keeps the import file's lines: what it keeps
// is exactly what the import rule alone keeps.
void TestDisplayTableModel::onePassKeepsWhatTheFilterKeeps()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);
    Table t({"A", "B"}, {"NSE", "NSE"});
    QByteArray kept;
    LiveReplyPass pass(t.selection);
    pass.read(reply, &kept, QByteArrayLiteral("\r\n"));
    const LiveQuotes::Tally tally = pass.tally();
    QByteArray filtered;
    LiveImport::Tally filterTally;
    LiveImport::selectLines(reply, LiveImport::symbolSet(t.selection.symbols()), filtered, &filterTally,
                            QByteArrayLiteral("\r\n"));
    QCOMPARE(kept, expected);
    QCOMPARE(filtered, expected);
    QCOMPARE(tally.lines, filterTally.lines);
    QCOMPARE(tally.selected, filterTally.selected);
    QCOMPARE(tally.failed, filterTally.failed);
    QCOMPARE(tally.firstLineEnd, filterTally.firstLineEnd);
}

void TestDisplayTableModel::snapshotHoldsItsReply_data()
{
    QTest::addColumn<bool>("borrowed"); // the reply's bytes lent (fromRawData), not owned
    QTest::addColumn<bool>("freed");    // else written over, as a buffer reused for the next reply
    QTest::newRow("buffer written over") << false << false;
    QTest::newRow("buffer freed") << false << true;
    QTest::newRow("lent bytes written over") << true << false;
    QTest::newRow("lent bytes freed") << true << true;
}

// The table may apply a pass after the buffer its reply came in has moved on (a queued
// connection, a later look at the snapshot): it still shows that reply.
void TestDisplayTableModel::snapshotHoldsItsReply()
{
    QFETCH(bool, borrowed);
    QFETCH(bool, freed);
    Table t({"A", "B"});
    LiveReplyPass pass(t.selection);
    const QByteArray reply = quoteLine("A", "5", "1") + "Failed,B,Symbol Not Found\n";
    {
        auto block = std::make_unique<char[]>(std::size_t(reply.size()));
        std::memcpy(block.get(), reply.constData(), std::size_t(reply.size()));
        QByteArray buffer = borrowed ? QByteArray::fromRawData(block.get(), reply.size()) : reply;
        pass.read(buffer, nullptr, "\n");
        std::memset(borrowed ? block.get() : buffer.data(), 'x', std::size_t(reply.size()));
        if (!freed)
            t.model.apply(pass);
    }
    if (freed)
        t.model.apply(pass);
    QCOMPARE(t.cells(), QStringList({"5 1", "0 0"}));
    QCOMPARE(t.text(1, SymbolColumn, Qt::ToolTipRole), QStringLiteral("B: the vendor says \"Symbol Not Found\""));
}

QTEST_GUILESS_MAIN(TestDisplayTableModel)
#include "tst_displaytablemodel.moc"
