// The display table: reading a live reply, building rows, the row delete button and the colours.
#include "symbols/livequotes.h"
#include "symbolswindow.h"
#include "ui_amibrokerlivedata2.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

namespace {

const QColor Rising(173, 216, 230);
const QColor Falling(255, 192, 203);

QByteArray quoteLine(const QString &symbol, const QString &price, const QString &quantity)
{
    return (QStringLiteral("NSE,%1,20261207,09:15:00,%2,%3,0\n").arg(symbol, price, quantity)).toUtf8();
}

}

class TestDisplayTable : public QObject
{
    Q_OBJECT

private slots:
    void firstQuotes_data();
    void firstQuotes();
    void value_data();
    void value();

    void initTestCase();
    void init();
    void cleanup();

    void rebuildLaysOutRows();
    void rebuildDropsSurplusRows();
    void deleteButtonRemovesItsRow_data();
    void deleteButtonRemovesItsRow();
    void unpairedListsAreCutToPairs();
    void colours_data();
    void colours();
    void risingThenFalling();
    void thirtiethSteadyUpdateWhitens();
    void firstLineOfSymbolWins();
    void unterminatedLastLineIsIgnored();
    void absentSymbolKeepsItsCells();
    void noLiveDownloaderYet();

private:
    void select(const QStringList &symbols, const QStringList &exchanges);
    void reply(const QByteArray &body);
    [[nodiscard]] QTableWidgetItem *cell(int row, int column) const;

    std::unique_ptr<SymbolsWorld> m_world;
};

void TestDisplayTable::firstQuotes_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("quotes"); // "SYMBOL price quantity", sorted

    QTest::newRow("two lines") << quoteLine("ACC", "100.5", "10") + quoteLine("TCS", "3500", "2")
                               << QStringList({"ACC 100.5 10", "TCS 3500 2"});
    QTest::newRow("first line wins") << quoteLine("ACC", "1", "1") + quoteLine("ACC", "2", "2")
                                     << QStringList({"ACC 1 1"});
    QTest::newRow("no final line feed") << quoteLine("ACC", "1", "1") + QByteArray("NSE,TCS,d,t,5,5,0")
                                        << QStringList({"ACC 1 1"});
    QTest::newRow("Failed lines skipped") << QByteArray("Failed,ACC,x,x,9,9\n") + quoteLine("ACC", "2", "2")
                                          << QStringList({"ACC 2 2"});
    QTest::newRow("failed in lower case counts") << QByteArray("failed,ACC,x,x,9,9\n") << QStringList({"ACC 9 9"});
    QTest::newRow("short lines skipped") << QByteArray("NSE,ACC,x,x,9\nACC\n\n") + quoteLine("ACC", "3", "4")
                                         << QStringList({"ACC 3 4"});
    QTest::newRow("empty fields kept") << QByteArray(",ACC,,,,\n") << QStringList({"ACC  "});
    QTest::newRow("up to NUL") << quoteLine("ACC", "1", "1") + QByteArray("\0", 1) + quoteLine("TCS", "1", "1")
                               << QStringList({"ACC 1 1"});
    QTest::newRow("carriage return") << QByteArray("NSE,ACC,d,t,100.5,10\r\nNSE,TCS,d,t,7,8,0\r\n")
                                     << QStringList({"ACC 100.5 10", "TCS 7 8"});
    QTest::newRow("utf-8") << QByteArray("NSE,NIFTY\xc3\xa4,d,t,1,2\n") << QStringList({QString::fromUtf8("NIFTY\u00e4 1 2")});
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void TestDisplayTable::firstQuotes()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, quotes);
    const QHash<QString, LiveQuotes::Quote> found = LiveQuotes::firstQuotes(reply);
    QStringList texts;
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        texts << it.key() + QLatin1Char(' ') + it->price + QLatin1Char(' ') + it->quantity;
    std::sort(texts.begin(), texts.end());
    QCOMPARE(texts, quotes);
}

void TestDisplayTable::value_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("number");
    QTest::newRow("decimal") << QStringLiteral("100.5") << 100.5f;
    QTest::newRow("integer") << QStringLiteral("25") << 25.0f;
    QTest::newRow("not a number") << QStringLiteral("n/a") << 0.0f;
    QTest::newRow("empty") << QString() << 0.0f;
    QTest::newRow("negative") << QStringLiteral("-12.25") << -12.25f;
    QTest::newRow("leading zeros") << QStringLiteral("007.50") << 7.5f;
    QTest::newRow("single precision") << QStringLiteral("16777217") << 16777216.0f;
    QTest::newRow("two dots") << QStringLiteral("1.2.3") << 0.0f;
    QTest::newRow("lone sign") << QStringLiteral("-") << 0.0f;
    QTest::newRow("trailing dot") << QStringLiteral("5.") << QStringLiteral("5.").toFloat();
    QTest::newRow("leading dot") << QStringLiteral(".5") << QStringLiteral(".5").toFloat();
    QTest::newRow("exponent") << QStringLiteral("1e3") << 1000.0f;
    QTest::newRow("blanks") << QStringLiteral(" 42 ") << QStringLiteral(" 42 ").toFloat();
    QTest::newRow("long") << QStringLiteral("123456789012345678901234567890123") << 1.2345679e32f;
}

void TestDisplayTable::value()
{
    QFETCH(QString, text);
    QFETCH(float, number);
    QCOMPARE(LiveQuotes::value(text), number);
    // Whatever the path, the figure is toFloat()'s.
    QCOMPARE(LiveQuotes::value(text), text.toFloat());
}

void TestDisplayTable::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

void TestDisplayTable::init()
{
    // The text rules need no window.
    static const QStringList rules = {"firstQuotes", "value"};
    if (rules.contains(QLatin1String(QTest::currentTestFunction())))
        return;
    m_world->openWindow();
}

void TestDisplayTable::cleanup()
{
    m_world->closeWindow();
}

void TestDisplayTable::select(const QStringList &symbols, const QStringList &exchanges)
{
    m_world->setSelection(symbols, exchanges);
    m_world->window->addDisplayTable();
}

void TestDisplayTable::reply(const QByteArray &body)
{
    m_world->quietLiveDownloader()->replyBuffer = body;
    m_world->window->updateDisplayTable();
}

QTableWidgetItem *TestDisplayTable::cell(int row, int column) const
{
    return m_world->ui->displayTableWidget->item(row, column);
}

void TestDisplayTable::rebuildLaysOutRows()
{
    QTableWidget *table = m_world->ui->displayTableWidget;
    select({"NIFTY-I", "GOLDM-I"}, {"FUTURE", "MCX"});

    QCOMPARE(table->columnCount(), 5);
    QCOMPARE(table->rowCount(), 2);
    const QList<int> widths = {165, 80, 70, 100, 30};
    const QStringList headers = {"SYMBOL", "LTP", "LTQ", "Backfill", "Del"};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(table->columnWidth(c), widths.at(c));
        QCOMPARE(table->horizontalHeaderItem(c)->text(), headers.at(c));
    }
    for (int row = 0; row < 2; ++row) {
        const QString symbol = m_world->symbols().at(row);
        const QString exchange = m_world->exchanges().at(row);
        QCOMPARE(cell(row, 0)->text(), symbol);
        QCOMPARE(cell(row, 1)->text(), QStringLiteral("0"));
        QCOMPARE(cell(row, 2)->text(), QStringLiteral("0"));

        auto *backfill = qobject_cast<QPushButton *>(table->cellWidget(row, 3));
        auto *remove = qobject_cast<QPushButton *>(table->cellWidget(row, 4));
        QVERIFY(backfill && remove);
        QCOMPARE(backfill->text(), QStringLiteral("Backfill"));
        QCOMPARE(backfill->objectName(), symbol);
        QCOMPARE(backfill->property("exchName").userType(), int(QMetaType::QString));
        QCOMPARE(backfill->property("exchName").toString(), exchange);
        QCOMPARE(remove->text(), QStringLiteral("X"));
        QCOMPARE(remove->objectName(), symbol + QStringLiteral("1,") + exchange);
        QCOMPARE(remove->minimumWidth(), 30);
        QCOMPARE(remove->maximumWidth(), 30);
        // Exactly one connection each: disconnecting succeeds once.
        QVERIFY(QObject::disconnect(backfill, &QPushButton::clicked, m_world->window.get(),
                                    &amibrokerlivedata2::backfillButtonClicked));
        QVERIFY(QObject::disconnect(remove, &QPushButton::clicked, m_world->window.get(),
                                    &amibrokerlivedata2::closeButtonClicked));
        QVERIFY(!QObject::disconnect(remove, &QPushButton::clicked, m_world->window.get(),
                                     &amibrokerlivedata2::closeButtonClicked));
    }
}

void TestDisplayTable::rebuildDropsSurplusRows()
{
    select({"A", "B", "C"}, {"CASH", "CASH", "CASH"});
    QPointer<QWidget> dropped = m_world->ui->displayTableWidget->cellWidget(2, 4);
    reply(quoteLine("A", "5", "5"));
    select({"B"}, {"CASH"});
    QCOMPARE(m_world->ui->displayTableWidget->rowCount(), 1);
    QCOMPARE(cell(0, 0)->text(), QStringLiteral("B"));
    QCOMPARE(cell(0, 1)->text(), QStringLiteral("0"));
    QCOMPARE(cell(0, 1)->background().style(), Qt::NoBrush);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dropped.isNull());
}

void TestDisplayTable::deleteButtonRemovesItsRow_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<int>("row");
    QTest::newRow("first") << QStringList({"NIFTY-I", "GOLDM-I", "ACC"}) << 0;
    QTest::newRow("middle") << QStringList({"NIFTY-I", "GOLDM-I", "ACC"}) << 1;
    QTest::newRow("last") << QStringList({"NIFTY-I", "GOLDM-I", "ACC"}) << 2;
    QTest::newRow("1 in the symbol") << QStringList({"NIFTY-I", "NIFTY1-I", "NIFTY1"}) << 1;
    QTest::newRow("symbol ends in 1") << QStringList({"NIFTY", "NIFTY1", "NIFTY11"}) << 1;
    QTest::newRow("symbol is 1") << QStringList({"11", "1", "111"}) << 1;
}

void TestDisplayTable::deleteButtonRemovesItsRow()
{
    QFETCH(QStringList, symbols);
    QFETCH(int, row);
    const QStringList exchanges = {"FUTURE", "MCX", "CASH"};
    m_world->quietLiveDownloader();
    select(symbols, exchanges);
    const QString urlBefore = m_world->window->liveDownloader()->url.toString();

    qobject_cast<QPushButton *>(m_world->ui->displayTableWidget->cellWidget(row, 4))->click();

    QStringList expectedSymbols = symbols;
    QStringList expectedExchanges = exchanges;
    expectedSymbols.removeAt(row);
    expectedExchanges.removeAt(row);
    QCOMPARE(m_world->symbols(), expectedSymbols);
    QCOMPARE(m_world->exchanges(), expectedExchanges);
    QTableWidget *table = m_world->ui->displayTableWidget;
    QCOMPARE(table->rowCount(), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(cell(r, 0)->text(), expectedSymbols.at(r));
        QCOMPARE(table->cellWidget(r, 3)->property("exchName").toString(), expectedExchanges.at(r));
    }
    // The live request keeps asking until the next change of the selection.
    QCOMPARE(m_world->window->liveDownloader()->url.toString(), urlBefore);
}

// The selection holds pairs only: lists of unequal length come in cut to the shorter one.
void TestDisplayTable::unpairedListsAreCutToPairs()
{
    QTableWidget *table = m_world->ui->displayTableWidget;
    select({"A", "B", "C"}, {"CASH"});
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->cellWidget(0, 4)->objectName(), QStringLiteral("A1,CASH"));

    select({"A"}, {"CASH", "MCX", "FUTURE"});
    QCOMPARE(table->rowCount(), 1);
    qobject_cast<QPushButton *>(table->cellWidget(0, 4))->click();
    QVERIFY(m_world->symbols().isEmpty());
    QVERIFY(m_world->exchanges().isEmpty());
    QCOMPARE(table->rowCount(), 0);
}

void TestDisplayTable::colours_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QColor>("colour"); // invalid: no background set
    QTest::addColumn<int>("steady");
    QTest::newRow("rise") << QStringLiteral("100.5") << QStringLiteral("101") << Rising << 0;
    QTest::newRow("fall") << QStringLiteral("101") << QStringLiteral("100.5") << Falling << 0;
    QTest::newRow("same") << QStringLiteral("7") << QStringLiteral("7") << QColor() << 1;
    QTest::newRow("same number, other text") << QStringLiteral("100.50") << QStringLiteral("100.5") << QColor() << 1;
    QTest::newRow("old text not a number") << QStringLiteral("--") << QStringLiteral("5") << Rising << 0;
    QTest::newRow("new text not a number") << QStringLiteral("5") << QStringLiteral("n/a") << Falling << 0;
    QTest::newRow("single precision") << QStringLiteral("16777216") << QStringLiteral("16777217") << QColor() << 1;
}

void TestDisplayTable::colours()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QColor, colour);
    QFETCH(int, steady);
    select({"ACC"}, {"CASH"});
    cell(0, 1)->setText(before);
    cell(0, 2)->setText(QStringLiteral("10"));
    reply(quoteLine("ACC", after, "10"));

    QCOMPARE(cell(0, 1)->text(), after);
    if (colour.isValid()) {
        QCOMPARE(cell(0, 1)->background().style(), Qt::SolidPattern);
        QCOMPARE(cell(0, 1)->background().color(), colour);
    } else {
        QCOMPARE(cell(0, 1)->background().style(), Qt::NoBrush);
    }
    QCOMPARE(m_world->window->steadyCounterLtp(), steady);
    QCOMPARE(m_world->window->steadyCounterLtq(), 1);
}

void TestDisplayTable::risingThenFalling()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    reply(quoteLine("ACC", "100.5", "10") + quoteLine("TCS", "3500", "3"));
    QCOMPARE(cell(0, 1)->background().color(), Rising);
    QCOMPARE(cell(0, 2)->background().color(), Rising);
    reply(quoteLine("ACC", "101", "10") + quoteLine("TCS", "3500", "3"));
    QCOMPARE(cell(0, 1)->text(), QStringLiteral("101"));
    QCOMPARE(cell(0, 1)->background().color(), Rising);
    reply(quoteLine("ACC", "100.5", "12") + quoteLine("TCS", "3400", "3"));
    QCOMPARE(cell(0, 1)->background().color(), Falling);
    QCOMPARE(cell(0, 2)->background().color(), Rising);
    QCOMPARE(cell(1, 1)->background().color(), Falling);
    // Steady LTQ cells keep their colour until the counter is full.
    QCOMPARE(cell(1, 2)->background().color(), Rising);
}

void TestDisplayTable::thirtiethSteadyUpdateWhitens()
{
    const QStringList symbols = {"A", "B", "C", "D"};
    select(symbols, {"CASH", "CASH", "CASH", "CASH"});
    QByteArray body;
    for (const QString &symbol : symbols)
        body += quoteLine(symbol, "10", "1");
    reply(body);
    QCOMPARE(m_world->window->steadyCounterLtp(), 0);

    // Four rows count four steady updates per reply: the 30th is row 1 of the eighth reply.
    for (int update = 1; update <= 7; ++update)
        reply(body);
    QCOMPARE(m_world->window->steadyCounterLtp(), 28);
    for (int row = 0; row < 4; ++row)
        QCOMPARE(cell(row, 1)->background().color(), Rising);

    reply(body);
    QCOMPARE(cell(0, 1)->background().color(), Rising);
    QCOMPARE(cell(1, 1)->background().color(), QColor(Qt::white));
    QCOMPARE(cell(1, 1)->background().style(), Qt::SolidPattern);
    QCOMPARE(cell(2, 1)->background().color(), Rising);
    QCOMPARE(cell(3, 1)->background().color(), Rising);
    QCOMPARE(m_world->window->steadyCounterLtp(), 2);
    QCOMPARE(m_world->window->steadyCounterLtq(), 2);
    QCOMPARE(cell(1, 2)->background().color(), QColor(Qt::white));
}

void TestDisplayTable::firstLineOfSymbolWins()
{
    select({"ACC"}, {"CASH"});
    reply(quoteLine("ACC", "100", "5") + quoteLine("ACC", "200", "9"));
    QCOMPARE(cell(0, 1)->text(), QStringLiteral("100"));
    QCOMPARE(cell(0, 2)->text(), QStringLiteral("5"));
}

void TestDisplayTable::unterminatedLastLineIsIgnored()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    QByteArray body = quoteLine("ACC", "100", "5") + quoteLine("TCS", "3500", "2");
    body.chop(1);
    reply(body);
    QCOMPARE(cell(0, 1)->text(), QStringLiteral("100"));
    QCOMPARE(cell(1, 1)->text(), QStringLiteral("0"));
    QCOMPARE(cell(1, 1)->background().style(), Qt::NoBrush);
}

void TestDisplayTable::absentSymbolKeepsItsCells()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    reply(quoteLine("ACC", "100", "5") + quoteLine("TCS", "3500", "2"));
    reply(quoteLine("ACC", "99", "5") + QByteArray("Failed,TCS,x,x,1,1\n"));
    QCOMPARE(cell(0, 1)->background().color(), Falling);
    QCOMPARE(cell(1, 1)->text(), QStringLiteral("3500"));
    QCOMPARE(cell(1, 1)->background().color(), Rising);
    QCOMPARE(m_world->window->steadyCounterLtp(), 0);
    QCOMPARE(m_world->window->steadyCounterLtq(), 1);
}

void TestDisplayTable::noLiveDownloaderYet()
{
    select({"ACC"}, {"CASH"});
    QVERIFY(!m_world->window->liveDownloader());
    cell(0, 0)->setText(QStringLiteral("stale"));
    m_world->window->updateDisplayTable();
    QCOMPARE(cell(0, 0)->text(), QStringLiteral("ACC"));
    QCOMPARE(cell(0, 1)->text(), QStringLiteral("0"));
    QCOMPARE(m_world->ui->displayTableWidget->rowCount(), 1);
}

QTEST_MAIN(TestDisplayTable)
#include "tst_displaytable.moc"
