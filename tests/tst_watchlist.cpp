// Watch-list files: the text rules, and a file as the trader loads it.
#include "symbols/watchlist.h"

#include <QtTest>

class TestWatchList : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void parse_data();
    void parse();
    void roundTrip_data();
    void roundTrip();
    void pairUp_data();
    void pairUp();

    void load_data();
    void load();
};

void TestWatchList::format_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("two") << QStringList({"NIFTY-I", "GOLDM-I"}) << QStringList({"FUTURE", "MCX"})
                         << QByteArray("NIFTY-I,GOLDM-I#FUTURE,MCX");
    QTest::newRow("empty") << QStringList() << QStringList() << QByteArray("#");
    QTest::newRow("ampersand") << QStringList({"M&M"}) << QStringList({"CASH"}) << QByteArray("M&M#CASH");
    QTest::newRow("utf-8") << QStringList({QString::fromUtf8("NIFTY\u00e4")}) << QStringList({"CASH"})
                           << QByteArray("NIFTY\xc3\xa4#CASH");
}

void TestWatchList::format()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    QFETCH(QByteArray, content);
    QCOMPARE(WatchList::format(symbols, exchanges), content);
}

void TestWatchList::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::newRow("two") << QByteArray("NIFTY-I,GOLDM-I#FUTURE,MCX") << QStringList({"NIFTY-I", "GOLDM-I"})
                         << QStringList({"FUTURE", "MCX"});
    QTest::newRow("hash alone") << QByteArray("#") << QStringList({""}) << QStringList({""});
    QTest::newRow("empty file") << QByteArray() << QStringList({""}) << QStringList({""});
    QTest::newRow("no hash") << QByteArray("ACC,TCS") << QStringList({"ACC", "TCS"}) << QStringList({"ACC", "TCS"});
    QTest::newRow("several hashes") << QByteArray("ACC,TCS#X#CASH,FUTURE") << QStringList({"ACC", "TCS"})
                                    << QStringList({"CASH", "FUTURE"});
    QTest::newRow("duplicates") << QByteArray("ACC,ACC#CASH,FUTURE") << QStringList({"ACC", "ACC"})
                                << QStringList({"CASH", "FUTURE"});
    QTest::newRow("empty parts") << QByteArray(",ACC,#CASH,,") << QStringList({"", "ACC", ""})
                                 << QStringList({"CASH", "", ""});
    QTest::newRow("up to NUL") << QByteArray("ACC#CASH\0TCS#MCX", 16) << QStringList({"ACC"}) << QStringList({"CASH"});
    QTest::newRow("line end kept") << QByteArray("ACC#CASH\n") << QStringList({"ACC"}) << QStringList({"CASH\n"});
    QTest::newRow("utf-8") << QByteArray("NIFTY\xc3\xa4#CASH") << QStringList({QString::fromUtf8("NIFTY\u00e4")})
                           << QStringList({"CASH"});
}

void TestWatchList::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    const WatchList::Selection selection = WatchList::parse(content);
    QCOMPARE(selection.symbols, symbols);
    QCOMPARE(selection.exchanges, exchanges);
}

void TestWatchList::roundTrip_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::newRow("two") << QStringList({"NIFTY-I", "GOLDM-I"}) << QStringList({"FUTURE", "MCX"});
    QTest::newRow("duplicates") << QStringList({"ACC", "ACC", "M&M"}) << QStringList({"CASH", "FUTURE", "CASH"});
    QTest::newRow("one") << QStringList({"INDIAVIX"}) << QStringList({"SPOTINDEX"});
}

void TestWatchList::roundTrip()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    const WatchList::Selection selection = WatchList::parse(WatchList::format(symbols, exchanges));
    QCOMPARE(selection.symbols, symbols);
    QCOMPARE(selection.exchanges, exchanges);
}

void TestWatchList::pairUp_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::addColumn<int>("length");
    QTest::addColumn<QStringList>("cut");
    QTest::newRow("equal") << QStringList({"A", "B"}) << QStringList({"X", "Y"}) << 2 << QStringList();
    QTest::newRow("more symbols") << QStringList({"A", "B", "C"}) << QStringList({"X"}) << 1 << QStringList({"B", "C"});
    QTest::newRow("more exchanges") << QStringList({"A"}) << QStringList({"X", "Y"}) << 1 << QStringList();
    QTest::newRow("no exchanges") << QStringList({"A"}) << QStringList() << 0 << QStringList({"A"});
    QTest::newRow("empty") << QStringList() << QStringList() << 0 << QStringList();
}

void TestWatchList::pairUp()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    QFETCH(int, length);
    QFETCH(QStringList, cut);
    const QStringList originalSymbols = symbols;
    const QStringList originalExchanges = exchanges;
    QCOMPARE(WatchList::pairUp(symbols, exchanges), cut);
    QCOMPARE(symbols, originalSymbols.mid(0, length));
    QCOMPARE(exchanges, originalExchanges.mid(0, length));
}

void TestWatchList::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    QTest::addColumn<QStringList>("left");
    // An empty symbol would import every line with an empty symbol field: it is not loaded.
    QTest::newRow("hash alone") << QByteArray("#") << QStringList() << QStringList() << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList() << QStringList() << QStringList();
    QTest::newRow("empty symbols in pairs") << QByteArray(",ACC,,TCS,#CASH,CASH,MCX,FUTURE,") << QStringList({"ACC", "TCS"})
                                            << QStringList({"CASH", "FUTURE"}) << QStringList();
    QTest::newRow("trailing comma without an exchange") << QByteArray("ACC,#CASH") << QStringList({"ACC"})
                                                        << QStringList({"CASH"}) << QStringList();
    QTest::newRow("no hash") << QByteArray("ACC,TCS") << QStringList({"ACC", "TCS"}) << QStringList({"ACC", "TCS"})
                             << QStringList();
    QTest::newRow("several hashes") << QByteArray("ACC#junk#CASH") << QStringList({"ACC"}) << QStringList({"CASH"})
                                    << QStringList();
    QTest::newRow("duplicates") << QByteArray("ACC,ACC#CASH,CASH") << QStringList({"ACC", "ACC"})
                                << QStringList({"CASH", "CASH"}) << QStringList();
    QTest::newRow("NUL inside") << QByteArray("TCS#CASH\0\0garbage", 17) << QStringList({"TCS"})
                                << QStringList({"CASH"}) << QStringList();
    QTest::newRow("symbols without an exchange named") << QByteArray("ACC,TCS,INFY#CASH") << QStringList({"ACC"})
                                                       << QStringList({"CASH"}) << QStringList({"TCS", "INFY"});
    // Surplus exchanges lose nothing a trader picked: cut without a word.
    QTest::newRow("surplus exchanges cut") << QByteArray("ACC#CASH,MCX") << QStringList({"ACC"})
                                           << QStringList({"CASH"}) << QStringList();
}

void TestWatchList::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    QFETCH(QStringList, left);
    QStringList cut{"stale"};
    const WatchList::Selection loaded = WatchList::load(content, cut);
    QCOMPARE(loaded.symbols, symbols);
    QCOMPARE(loaded.exchanges, exchanges);
    QCOMPARE(cut, left);
}

QTEST_GUILESS_MAIN(TestWatchList)
#include "tst_watchlist.moc"
