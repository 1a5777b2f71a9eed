// The display table in the window: building rows, the buttons drawn in them and their clicks,
// the colours of a live reply.
#include "backfill/eoddata.h"
#include "support/mainform.h"
#include "support/displaytable.h"
#include "symbols/displaytabledelegate.h"
#include "symbols/displaytablemodel.h"
#include "symbolswindow.h"
#include "ui_eoddata.h"
#include "vendor/vendorservice.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>

namespace {

const QColor Rising(173, 216, 230);
const QColor Falling(255, 192, 203);

// Collects the regions the viewport is asked to paint.
class PaintedRegions final : public QObject
{
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

class BlankDelegate final : public QStyledItemDelegate
{
public:
    void paint(QPainter *, const QStyleOptionViewItem &, const QModelIndex &) const override {}
};

QByteArray quoteLine(const QString &symbol, const QString &price, const QString &quantity)
{
    return (QStringLiteral("NSE,%1,20261207,09:15:00,%2,%3,0\n").arg(symbol, price, quantity)).toUtf8();
}

}

class TestDisplayTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rebuild();
    void deleteButtonRemovesItsRow_data();
    void deleteButtonRemovesItsRow();
    void unpairedListsAreCutToPairs();
    void mouseAndKeysOnButtons_data();
    void mouseAndKeysOnButtons();
    void buttonsLookLikePushButtons_data();
    void buttonsLookLikePushButtons();
    void repaintsOnlyChangedCellsInSight();
    void cellsLook_data();
    void cellsLook();
    void colours_data();
    void colours();
    void risingThenFalling();
    void thirtiethSteadyUpdateWhitens();
    void firstLineOfSymbolWins();
    void unterminatedLastLineIsIgnored();
    void absentSymbolKeepsItsCells();
    void backfillFromTheWindow_data();
    void backfillFromTheWindow();

private:
    void select(const QStringList &symbols, const QStringList &exchanges);
    void reply(const QByteArray &body);
    [[nodiscard]] QTableView *table() const { return m_world->ui->displayTableWidget; }
    [[nodiscard]] QString text(int row, int column) const { return DisplayTable::text(table(), row, column); }
    [[nodiscard]] QBrush background(int row, int column) const
    {
        return DisplayTable::background(table(), row, column);
    }
    [[nodiscard]] int rows() const { return table()->model()->rowCount(); }
    void showWindow();

    std::unique_ptr<SymbolsWorld> m_world;
};

void TestDisplayTable::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

void TestDisplayTable::init()
{
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

void TestDisplayTable::showWindow()
{
    m_world->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_world->window.get()));
}

void TestDisplayTable::rebuild()
{
    QCOMPARE(table()->model()->columnCount(), 0);
    select({"NIFTY-I", "GOLDM-I"}, {"FUTURE", "MCX"});

    QCOMPARE(table()->model()->columnCount(), 5);
    QCOMPARE(rows(), 2);
    const QList<int> widths = {165, 80, 70, 100, 30};
    const QStringList headers = {"SYMBOL", "LTP", "LTQ", "Backfill", "Del"};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(table()->columnWidth(c), widths.at(c));
        QCOMPARE(table()->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
    }
    const QAbstractItemModel *model = table()->model();
    for (int row = 0; row < 2; ++row) {
        const QString symbol = m_world->symbols().at(row);
        const QString exchange = m_world->exchanges().at(row);
        QCOMPARE(model->headerData(row, Qt::Vertical).toInt(), row + 1);
        QCOMPARE(text(row, 0), symbol);
        QCOMPARE(text(row, 1), QStringLiteral("0"));
        QCOMPARE(text(row, 2), QStringLiteral("0"));
        QCOMPARE(background(row, 1).style(), Qt::NoBrush);

        // The facts each row's buttons were named with.
        QCOMPARE(text(row, 3), QStringLiteral("Backfill"));
        QCOMPARE(model->index(row, 3).data(DisplayTableModel::ButtonNameRole).toString(), symbol);
        QCOMPARE(model->index(row, 3).data(DisplayTableModel::ExchangeRole).userType(), int(QMetaType::QString));
        QCOMPARE(model->index(row, 3).data(DisplayTableModel::ExchangeRole).toString(), exchange);
        QCOMPARE(text(row, 4), QStringLiteral("X"));
        QCOMPARE(model->index(row, 4).data(DisplayTableModel::ButtonNameRole).toString(),
                 symbol + QStringLiteral("1,") + exchange);
        // Buttons take clicks, not the selection.
        QVERIFY(!(model->flags(model->index(row, 3)) & Qt::ItemIsSelectable));
        QVERIFY(model->flags(model->index(row, 0)) & Qt::ItemIsSelectable);
        QVERIFY(!(model->flags(model->index(row, 1)) & Qt::ItemIsEditable));
    }
    auto *delegate = qobject_cast<DisplayTableDelegate *>(table()->itemDelegate());
    QVERIFY(delegate);
    QCOMPARE(delegate->buttonRect(model->index(0, 4)).width(), 30);
    QVERIFY(delegate->buttonRect(model->index(0, 0)).isEmpty());
    // No widget per row.
    QVERIFY(table()->viewport()->findChildren<QPushButton *>().size() <= 1);

    // An empty selection keeps all five headers; the delete column is back at 60.
    select({}, {});
    QCOMPARE(rows(), 0);
    QCOMPARE(table()->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Del"));
    QCOMPARE(table()->columnWidth(4), 60);

    // Before the feed is connected an update leaves the rows as built.
    select({"ACC"}, {"CASH"});
    QVERIFY(!inside(sessionOf(*m_world->window)).liveDownloader());
    m_world->window->updateDisplayTable();
    QCOMPARE(text(0, 0), QStringLiteral("ACC"));
    QCOMPARE(text(0, 1), QStringLiteral("0"));
    QCOMPARE(rows(), 1);

    // Rows a smaller selection no longer has are dropped, with their quotes and colours.
    select({"A", "B", "C"}, {"CASH", "CASH", "CASH"});
    reply(quoteLine("A", "5", "5"));
    QCOMPARE(background(0, 1).color(), Rising);
    select({"B"}, {"CASH"});
    QCOMPARE(rows(), 1);
    QCOMPARE(text(0, 0), QStringLiteral("B"));
    QCOMPARE(text(0, 1), QStringLiteral("0"));
    QCOMPARE(background(0, 1).style(), Qt::NoBrush);
    // The lookup follows: A is no longer shown, B is.
    reply(quoteLine("A", "7", "7") + quoteLine("B", "9", "9"));
    QCOMPARE(text(0, 1), QStringLiteral("9"));
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
    reply(quoteLine(symbols.at(0), "1", "1") + quoteLine(symbols.at(1), "2", "2") + quoteLine(symbols.at(2), "3", "3"));
    const QString urlBefore = inside(sessionOf(*m_world->window)).liveDownloader()->url.toString();

    DisplayTable::clickButton(table(), row, 4);

    QStringList expectedSymbols = symbols;
    QStringList expectedExchanges = exchanges;
    QStringList expectedPrices = {"1", "2", "3"};
    expectedSymbols.removeAt(row);
    expectedExchanges.removeAt(row);
    expectedPrices.removeAt(row);
    QCOMPARE(m_world->symbols(), expectedSymbols);
    QCOMPARE(m_world->exchanges(), expectedExchanges);
    QCOMPARE(rows(), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(text(r, 0), expectedSymbols.at(r));
        QCOMPARE(text(r, 1), expectedPrices.at(r));
        QCOMPARE(table()->model()->index(r, 3).data(DisplayTableModel::ExchangeRole).toString(),
                 expectedExchanges.at(r));
    }
    // The live request keeps asking until the next change of the selection.
    QCOMPARE(inside(sessionOf(*m_world->window)).liveDownloader()->url.toString(), urlBefore);
    // The other rows keep receiving quotes.
    reply(quoteLine(expectedSymbols.at(1), "8", "8"));
    QCOMPARE(text(1, 1), QStringLiteral("8"));
}

// The selection holds pairs only: lists of unequal length come in cut to the shorter one.
void TestDisplayTable::unpairedListsAreCutToPairs()
{
    select({"A", "B", "C"}, {"CASH"});
    QCOMPARE(rows(), 1);
    QCOMPARE(table()->model()->index(0, 4).data(DisplayTableModel::ButtonNameRole).toString(), QStringLiteral("A1,CASH"));

    select({"A"}, {"CASH", "MCX", "FUTURE"});
    QCOMPARE(rows(), 1);
    DisplayTable::clickButton(table(), 0, 4);
    QVERIFY(m_world->symbols().isEmpty());
    QVERIFY(m_world->exchanges().isEmpty());
    QCOMPARE(rows(), 0);
}

// What the mouse and the keyboard do to the drawn buttons, as they would to button widgets.
void TestDisplayTable::mouseAndKeysOnButtons_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("backfillClicks");
    QTest::addColumn<QStringList>("left"); // the selection afterwards

    const QStringList all = {"A", "B", "C"};
    QTest::newRow("click X") << "click" << 4 << 0 << QStringList({"A", "C"});
    QTest::newRow("click Backfill") << "click" << 3 << 1 << all;
    QTest::newRow("double click Backfill clicks twice") << "double" << 3 << 2 << all;
    QTest::newRow("press X, release outside the button") << "press-out" << 4 << 0 << all;
    QTest::newRow("press X, release off the table") << "press-off" << 4 << 0 << all;
    QTest::newRow("press Backfill, drag onto the symbol") << "drag" << 3 << 0 << all;
    QTest::newRow("right click X") << "right" << 4 << 0 << all;
    QTest::newRow("click beside the X button") << "beside" << 4 << 0 << all;
    QTest::newRow("Space on the current X cell") << "space" << 4 << 0 << QStringList({"A", "C"});
    QTest::newRow("Space on the current Backfill cell") << "space" << 3 << 1 << all;
    QTest::newRow("Space on a symbol cell") << "space" << 0 << 0 << all;
}

void TestDisplayTable::mouseAndKeysOnButtons()
{
    QFETCH(QString, gesture);
    QFETCH(int, column);
    QFETCH(int, backfillClicks);
    QFETCH(QStringList, left);

    select({"A", "B", "C"}, {"CASH", "CASH", "CASH"});
    showWindow();
    auto *delegate = qobject_cast<DisplayTableDelegate *>(table()->itemDelegate());
    QSignalSpy backfill(delegate, &DisplayTableDelegate::backfillClicked);
    const QModelIndex index = table()->model()->index(1, column);
    const QPoint centre = delegate->buttonRect(index).center();
    QWidget *viewport = table()->viewport();

    if (gesture == QLatin1String("click")) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, centre);
    } else if (gesture == QLatin1String("double")) {
        // As the window system delivers one: the second press comes with the double click.
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, centre);
    } else if (gesture == QLatin1String("press-out") || gesture == QLatin1String("drag")) {
        const QPoint away = table()->visualRect(table()->model()->index(1, 0)).center();
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseMove(viewport, away);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, away);
        // Nothing selected on the way either.
        QVERIFY(!table()->selectionModel()->hasSelection());
    } else if (gesture == QLatin1String("press-off")) {
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, centre);
        const QPoint below(centre.x(), viewport->height() - 2);
        QVERIFY(!table()->indexAt(below).isValid());
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, below);
        // The next click is a click of its own.
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, below);
    } else if (gesture == QLatin1String("right")) {
        QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, centre);
    } else if (gesture == QLatin1String("beside")) {
        // The X column is wider than its button when the trader widens it.
        table()->setColumnWidth(4, 90);
        const QRect cell = table()->visualRect(index);
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(cell.right() - 5, cell.center().y()));
    } else if (gesture == QLatin1String("space")) {
        table()->setFocus();
        table()->setCurrentIndex(index);
        QTest::keyClick(table(), Qt::Key_Space);
    }

    QCOMPARE(backfill.count(), backfillClicks);
    QCOMPARE(m_world->symbols(), left);
    QCOMPARE(rows(), left.size());
}

// The drawn buttons look, to the pixel, as the button widgets in the cells did, raised and pressed.
void TestDisplayTable::buttonsLookLikePushButtons_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("pressed");
    QTest::newRow("Backfill") << 3 << false;
    QTest::newRow("X") << 4 << false;
    QTest::newRow("Backfill pressed") << 3 << true;
    QTest::newRow("X pressed") << 4 << true;
}

void TestDisplayTable::buttonsLookLikePushButtons()
{
    QFETCH(int, column);
    QFETCH(bool, pressed);
    select({"A", "B"}, {"CASH", "CASH"});
    showWindow();
    auto *delegate = qobject_cast<DisplayTableDelegate *>(table()->itemDelegate());
    const QModelIndex index = table()->model()->index(0, column);
    const QRect rect = delegate->buttonRect(index);
    if (pressed)
        QTest::mousePress(table()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    const QImage drawn = table()->viewport()->grab(rect).toImage();
    if (pressed)
        QTest::mouseRelease(table()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());

    // The table as it was: the view's own grid, nothing painted in the cell, a button widget in it
    // (the X one 30 pixels wide).
    BlankDelegate blank;
    table()->setItemDelegateForColumn(column, &blank);
    table()->setShowGrid(true);
    auto *button = new QPushButton(index.data().toString());
    if (column == 4)
        button->setFixedWidth(30);
    button->setDown(pressed);
    table()->setIndexWidget(index, button);
    QTRY_COMPARE(button->geometry(), rect);
    const QImage widget = table()->viewport()->grab(rect).toImage();

    QCOMPARE(drawn.convertToFormat(QImage::Format_RGB32), widget.convertToFormat(QImage::Format_RGB32));
    table()->setItemDelegateForColumn(column, nullptr);
}

// A tick repaints the changed price and quantity cells in sight, not the symbols, the buttons or
// the rows out of sight.
void TestDisplayTable::repaintsOnlyChangedCellsInSight()
{
    QStringList symbols;
    QStringList exchanges;
    for (int i = 0; i < 40; ++i) {
        symbols << QStringLiteral("S%1").arg(i);
        exchanges << QStringLiteral("CASH");
    }
    select(symbols, exchanges);
    showWindow();
    reply(quoteLine("S2", "1", "1") + quoteLine("S30", "1", "1"));
    QCoreApplication::processEvents();

    PaintedRegions regions;
    table()->viewport()->installEventFilter(&regions);
    reply(quoteLine("S2", "2", "1") + quoteLine("S30", "2", "1"));
    QTRY_VERIFY(regions.paints > 0);
    const QAbstractItemModel *model = table()->model();
    QVERIFY(regions.painted.contains(table()->visualRect(model->index(2, 1))));
    QVERIFY(regions.painted.contains(table()->visualRect(model->index(2, 2))));
    for (int column : {0, 3, 4})
        QVERIFY(!regions.painted.intersects(table()->visualRect(model->index(2, column))));
    QVERIFY(!regions.painted.intersects(table()->visualRect(model->index(1, 1))));
    QVERIFY(regions.painted.boundingRect().bottom() < table()->viewport()->height());

    // Nothing changed, nothing painted.
    regions.paints = 0;
    reply(quoteLine("S2", "2", "1") + quoteLine("S30", "2", "1"));
    QCoreApplication::processEvents();
    QCOMPARE(regions.paints, 0);
    table()->viewport()->removeEventFilter(&regions);

    // The viewport fills itself, in the very colour the style sheet gives the table beneath it.
    QVERIFY(table()->viewport()->autoFillBackground());
    const QImage filled = table()->grab().toImage();
    table()->viewport()->setAutoFillBackground(false);
    const QImage seeThrough = table()->grab().toImage();
    table()->viewport()->setAutoFillBackground(true);
    QCOMPARE(filled, seeThrough);
}

// Text cells are drawn by the style as the trader knows them: the shade of the last change as
// the background, a muted symbol grey and italic, a text too long for its cell elided, selected
// or not.
void TestDisplayTable::cellsLook_data()
{
    QTest::addColumn<int>("row"); // rising, falling, steady (white), muted, long
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QColor>("background"); // invalid: none of its own
    QTest::addColumn<bool>("muted");
    const QColor none;
    QTest::newRow("symbol") << 0 << 0 << false << none << false;
    QTest::newRow("rising price") << 0 << 1 << false << Rising << false;
    QTest::newRow("rising quantity") << 0 << 2 << false << Rising << false;
    QTest::newRow("falling price") << 1 << 1 << false << Falling << false;
    QTest::newRow("steady price, whitened") << 2 << 1 << false << QColor(Qt::white) << false;
    QTest::newRow("price without a colour") << 3 << 1 << false << none << false;
    QTest::newRow("muted symbol") << 3 << 0 << false << none << true;
    QTest::newRow("elided symbol") << 4 << 0 << false << none << false;
    QTest::newRow("elided price") << 4 << 1 << false << Rising << false;
    QTest::newRow("selected price") << 0 << 1 << true << Rising << false;
    QTest::newRow("selected muted symbol") << 3 << 0 << true << none << true;
}

void TestDisplayTable::cellsLook()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, selected);
    QFETCH(QColor, background);
    QFETCH(bool, muted);
    const QString longSymbol = QStringLiteral("LONGSYMBOLNAMEWIDERTHANITSCELL");
    select({"R", "F", "S", "M", longSymbol}, {"CASH", "CASH", "CASH", "CASH", "CASH"});
    reply(quoteLine(longSymbol, "1234567890.1234", "9"));
    // S's thirtieth steady update whitens it; the failure mutes M.
    for (int i = 0; i <= 30; ++i)
        reply(quoteLine("R", QString::number(10 + i), QString::number(1 + i)) + quoteLine("F", QString::number(90 - i), "1")
              + quoteLine("S", "5", "5") + (i == 30 ? QByteArray("Failed,M,no such symbol\n") : QByteArray()));
    showWindow();

    const QModelIndex index = table()->model()->index(row, column);
    QStyleOptionViewItem option;
    option.initFrom(table());
    option.widget = table();
    option.rect = table()->visualRect(index);
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    if (selected)
        option.state |= QStyle::State_Selected;
    option.showDecorationSelected = true;
    option.textElideMode = table()->textElideMode();
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    // The look asked for, drawn by the style itself within the grid's lines.
    QStyleOptionViewItem wanted = option;
    wanted.rect.adjust(0, 0, -1, -1);
    wanted.features = QStyleOptionViewItem::HasDisplay;
    wanted.text = index.data().toString();
    if (background.isValid())
        wanted.backgroundBrush = background;
    if (muted) {
        wanted.font.setItalic(true);
        wanted.fontMetrics = QFontMetrics(wanted.font);
        wanted.palette.setColor(QPalette::Text, Qt::gray);
    }
    QImage images[2];
    for (QImage &image : images) {
        image = QImage(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(-option.rect.topLeft());
        if (&image == images)
            table()->itemDelegate()->paint(&painter, option, index);
        else
            table()->style()->drawControl(QStyle::CE_ItemViewItem, &wanted, &painter, table());
    }
    const QRect inside(QPoint(0, 0), wanted.rect.size());
    QCOMPARE(images[0].copy(inside), images[1].copy(inside));
    if (row == 4)
        QVERIFY(QFontMetrics(wanted.font).horizontalAdvance(wanted.text) > inside.width());
}

void TestDisplayTable::colours_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QColor>("colour"); // after the second reply; the first came from "0"
    QTest::addColumn<int>("steady");    // added to the LTP counter by the second reply
    QTest::newRow("rise") << QStringLiteral("100.5") << QStringLiteral("101") << Rising << 0;
    QTest::newRow("fall") << QStringLiteral("101") << QStringLiteral("100.5") << Falling << 0;
    QTest::newRow("same") << QStringLiteral("7") << QStringLiteral("7") << Rising << 1;
    QTest::newRow("same number, other text") << QStringLiteral("100.50") << QStringLiteral("100.5") << Rising << 1;
    QTest::newRow("old text not a number") << QStringLiteral("--") << QStringLiteral("5") << Rising << 0;
    QTest::newRow("new text not a number") << QStringLiteral("5") << QStringLiteral("n/a") << Falling << 0;
    QTest::newRow("single precision") << QStringLiteral("16777216") << QStringLiteral("16777217") << Rising << 1;
    QTest::newRow("negative") << QStringLiteral("-1") << QStringLiteral("-2") << Falling << 0;
}

void TestDisplayTable::colours()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QColor, colour);
    QFETCH(int, steady);
    select({"ACC"}, {"CASH"});
    reply(quoteLine("ACC", before, "10"));
    QCOMPARE(text(0, 1), before);
    const int ltp = m_world->window->tableModel().steadyCounterLtp();
    const int ltq = m_world->window->tableModel().steadyCounterLtq();
    reply(quoteLine("ACC", after, "10"));

    QCOMPARE(text(0, 1), after);
    QCOMPARE(background(0, 1).style(), Qt::SolidPattern);
    QCOMPARE(background(0, 1).color(), colour);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtp(), ltp + steady);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtq(), ltq + 1);
}

void TestDisplayTable::risingThenFalling()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    reply(quoteLine("ACC", "100.5", "10") + quoteLine("TCS", "3500", "3"));
    QCOMPARE(background(0, 1).color(), Rising);
    QCOMPARE(background(0, 2).color(), Rising);
    reply(quoteLine("ACC", "101", "10") + quoteLine("TCS", "3500", "3"));
    QCOMPARE(text(0, 1), QStringLiteral("101"));
    QCOMPARE(background(0, 1).color(), Rising);
    reply(quoteLine("ACC", "100.5", "12") + quoteLine("TCS", "3400", "3"));
    QCOMPARE(background(0, 1).color(), Falling);
    QCOMPARE(background(0, 2).color(), Rising);
    QCOMPARE(background(1, 1).color(), Falling);
    // Steady LTQ cells keep their colour until the counter is full.
    QCOMPARE(background(1, 2).color(), Rising);

    // The view paints what the delegate says.
    showWindow();
    const QRect cell = table()->visualRect(table()->model()->index(0, 1));
    const QImage painted = table()->viewport()->grab(cell).toImage();
    QCOMPARE(painted.pixelColor(painted.width() - 3, 2), Falling);
}

void TestDisplayTable::thirtiethSteadyUpdateWhitens()
{
    const QStringList symbols = {"A", "B", "C", "D"};
    select(symbols, {"CASH", "CASH", "CASH", "CASH"});
    QByteArray body;
    for (const QString &symbol : symbols)
        body += quoteLine(symbol, "10", "1");
    reply(body);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtp(), 0);

    // Four rows count four steady updates per reply: the 30th is row 1 of the eighth reply.
    for (int update = 1; update <= 7; ++update)
        reply(body);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtp(), 28);
    for (int row = 0; row < 4; ++row)
        QCOMPARE(background(row, 1).color(), Rising);

    reply(body);
    for (int row : {0, 2, 3})
        QCOMPARE(background(row, 1).color(), Rising);
    QCOMPARE(background(1, 1).color(), QColor(Qt::white));
    QCOMPARE(background(1, 1).style(), Qt::SolidPattern);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtp(), 2);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtq(), 2);
    QCOMPARE(background(1, 2).color(), QColor(Qt::white));
}

void TestDisplayTable::firstLineOfSymbolWins()
{
    select({"ACC"}, {"CASH"});
    reply(quoteLine("ACC", "100", "5") + quoteLine("ACC", "200", "9"));
    QCOMPARE(text(0, 1), QStringLiteral("100"));
    QCOMPARE(text(0, 2), QStringLiteral("5"));
}

void TestDisplayTable::unterminatedLastLineIsIgnored()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    QByteArray body = quoteLine("ACC", "100", "5") + quoteLine("TCS", "3500", "2");
    body.chop(1);
    reply(body);
    QCOMPARE(text(0, 1), QStringLiteral("100"));
    QCOMPARE(text(1, 1), QStringLiteral("0"));
    QCOMPARE(background(1, 1).style(), Qt::NoBrush);
}

void TestDisplayTable::absentSymbolKeepsItsCells()
{
    select({"ACC", "TCS"}, {"CASH", "CASH"});
    reply(quoteLine("ACC", "100", "5") + quoteLine("TCS", "3500", "2"));
    reply(quoteLine("ACC", "99", "5") + QByteArray("Failed,TCS,x,x,1,1\n"));
    QCOMPARE(background(0, 1).color(), Falling);
    QCOMPARE(text(1, 1), QStringLiteral("3500"));
    QCOMPARE(background(1, 1).color(), Rising);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtp(), 0);
    QCOMPARE(m_world->window->tableModel().steadyCounterLtq(), 1);
}

void TestDisplayTable::backfillFromTheWindow_data()
{
    QTest::addColumn<QString>("click");   // "button", "row" (B's), the end-of-day dialog's "Backfill" or "close"
    QTest::addColumn<QString>("feed");    // the dialog's choices
    QTest::addColumn<QString>("period");
    QTest::addColumn<bool>("watchListOnly");
    QTest::addColumn<QString>("request"); // how the first URL asked for ends; empty: no run
    QTest::addColumn<int>("queued");
    QTest::addColumn<QString>("end");     // "stop" by the Backfill button, or the bar's text once the run gave up

    QTest::newRow("Backfill button, stopped by a second click") << "button" << "" << "" << false << "d=30&send=A" << 1 << "stop";
    QTest::newRow("a row's Backfill button, run to its end")
        << "row" << "" << "" << false << "d=30&send=B" << 0 << "Backfill Done (1 failed)";
    QTest::newRow("dialog: cash recent") << "Backfill" << "CASH" << "recent" << true << "/CASH-1.zip" << 0 << "stop";
    QTest::newRow("dialog: future current year") << "Backfill" << "FUTURE" << "currentYear" << false << "/FUTURE-2.zip" << 0 << "stop";
    QTest::newRow("dialog: comm past years") << "Backfill" << "COMM" << "pastYears" << true << "/COMM-3.zip" << 0 << "stop";
    QTest::newRow("dialog: currency past years, run to its end")
        << "Backfill" << "CURRENCY" << "pastYears" << false << "/CURRENCY-3.zip" << 0 << "Backfill Failed";
    QTest::newRow("dialog: spot recent") << "Backfill" << "SPOT" << "recent" << false << "/SPOT-1.zip" << 0 << "stop";
    QTest::newRow("dialog closed: nothing asked") << "close" << "COMM" << "pastYears" << true << "" << 0 << "";
}

// The window's backfill controls turn into the session's runs, on a closed port; the Backfill button
// says whether one runs, and the bar shows how it ended.
void TestDisplayTable::backfillFromTheWindow()
{
    QFETCH(QString, click);
    QFETCH(bool, watchListOnly);
    QFETCH(QString, request);
    QFETCH(QString, end);

    FeedSession &session = sessionOf(*m_world->window);
    Account account = session.account();
    account.backfillPath = QStringLiteral("127.0.0.1:1/rt/backfill");
    session.takeAccount(account);
    session.setOneDayBackfillBase(Vendor::oneDayBackfillBase(QStringLiteral("127.0.0.1:1"), "07122026", "day"));
    session.enableFeeds(QStringLiteral("CASH"));
    const BackfillRun &run = inside(session).backfillRun();
    inside(session).backfillRun().setRetryDelays({10, 10, 10});
    select({"A", "B"}, {"CASH", "CASH"});
    m_world->ui->daysBox->addItems({"1", "30"});
    m_world->ui->daysBox->setCurrentText(QStringLiteral("30"));
    QPushButton *backfill = m_world->ui->backfillButton;
    QProgressBar *bar = m_world->ui->progressBarRT;
    const QString idle = bar->format();
    QCOMPARE(backfill->text(), QStringLiteral("Backfill"));

    if (click == QLatin1String("button")) {
        backfill->click();
    } else if (click == QLatin1String("row")) {
        DisplayTable::clickButton(table(), 1, 3);
    } else {
        m_world->ui->pushButton->click();
        QPointer<eoddata> dialog = m_world->window->findChild<eoddata *>();
        QVERIFY(dialog);
        QVERIFY(dialog->isModal());
        QVERIFY(dialog->isVisible());
        bool flagWhenAsked = !watchListOnly;
        connect(dialog.data(), &eoddata::doBackfill, this, [&] { flagWhenAsked = dialog->watchListOnly; });
        QFETCH(QString, feed);
        QFETCH(QString, period);
        dialog->form()->eodFeedBox->setCurrentText(feed);
        QCOMPARE(dialog->form()->eodFeedBox->currentText(), feed);
        dialog->form()->eodDataSelectorBox->setCurrentText(period);
        QCOMPARE(dialog->form()->eodDataSelectorBox->currentText(), period);
        dialog->form()->selectedSymbolsBackfill->setChecked(watchListOnly);
        if (click == QLatin1String("close"))
            dialog->close();
        else
            dialog->form()->backfillButton->click();
        QTRY_VERIFY(dialog.isNull());
        if (click != QLatin1String("close"))
            QCOMPARE(flagWhenAsked, watchListOnly);
    }

    if (request.isEmpty()) {
        QTest::qWait(200);
        QVERIFY(!run.isActive());
        QCOMPARE(backfill->text(), QStringLiteral("Backfill"));
        QCOMPARE(bar->format(), idle);
        return;
    }
    QVERIFY(run.isActive());
    QVERIFY2(inside(session).backfillDownloader().url.toString().endsWith(request),
             qPrintable(inside(session).backfillDownloader().url.toString()));
    QTEST(int(run.queue().size()), "queued");
    QCOMPARE(backfill->text(), QStringLiteral("Stop"));
    if (end == QLatin1String("stop")) {
        backfill->click();
        QVERIFY(!run.isActive());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!run.isActive(), 10000);
        QCOMPARE(bar->text(), end);
        QCOMPARE(bar->format(), end);
        QVERIFY2(bar->toolTip().startsWith(click == QLatin1String("row") ? "Not backfilled:\nB: " : "Connection refused"),
                 qPrintable(bar->toolTip()));
    }
    QCOMPARE(backfill->text(), QStringLiteral("Backfill"));
    QVERIFY(backfill->isEnabled());
}

QTEST_MAIN(TestDisplayTable)
#include "tst_displaytable.moc"
