#include "symbols/displaytabledelegate.h"

#include "symbols/displaycolumns.h"
#include "symbols/displaytablemodel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableView>

using namespace DisplayColumns;

namespace {

constexpr int DeleteButtonWidth = 30;

// A push button's own notion of its look (default-button frame, raised or sunken), for drawing.
class PrototypeButton final : public QPushButton
{
public:
    using QPushButton::QPushButton;
    using QPushButton::initStyleOption;
};

const QBrush &shadeBrush(DisplayTableModel::Shade shade)
{
    static const QBrush rising(QColor(173, 216, 230));
    static const QBrush falling(QColor(255, 192, 203));
    static const QBrush steady(Qt::white);
    static const QBrush none;
    switch (shade) {
    case DisplayTableModel::Shade::Rising:
        return rising;
    case DisplayTableModel::Shade::Falling:
        return falling;
    case DisplayTableModel::Shade::Steady:
        return steady;
    case DisplayTableModel::Shade::None:
        break;
    }
    return none;
}

}

DisplayTableDelegate::DisplayTableDelegate(QTableView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
    , m_viewport(view->viewport())
    , m_prototype(new PrototypeButton(view->viewport()))
{
    // Where the button widgets used to live, so the style sheet reaches it the same way.
    m_prototype->hide();
    m_view->setShowGrid(false);
    m_viewport->installEventFilter(this);
    m_view->installEventFilter(this);
    m_prototype->installEventFilter(this);
}

bool DisplayTableDelegate::isButton(const QModelIndex &index)
{
    return index.isValid() && (index.column() == BackfillColumn || index.column() == DeleteColumn);
}

void DisplayTableDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const auto shade = DisplayTableModel::Shade(index.data(DisplayTableModel::ShadeRole).toInt());
    if (shade != DisplayTableModel::Shade::None)
        option->backgroundBrush = shadeBrush(shade);
    // A symbol in trouble: its prices are the last ones the vendor sent, not live ones.
    if (index.data(DisplayTableModel::MutedRole).toBool()) {
        option->font.setItalic(true);
        option->fontMetrics = QFontMetrics(option->font);
        option->palette.setColor(QPalette::Text, Qt::gray);
    }
}

// The rectangle a widget placed in the cell would get, as the view lays out cell widgets; the X
// button keeps its fixed width. Laying the text out to find it is dear, so it is kept per cell size.
QRect DisplayTableDelegate::buttonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isButton(index))
        return {};
    const QString key = QString::number(index.column()) + QLatin1Char('/') + QString::number(option.rect.width())
        + QLatin1Char('x') + QString::number(option.rect.height());
    auto known = m_buttonRects.constFind(key);
    if (known == m_buttonRects.cend()) {
        QStyleOptionViewItem cell = option;
        cell.rect = QRect(QPoint(0, 0), option.rect.size()).adjusted(0, 0, -1, -1); // the grid's edge
        initStyleOption(&cell, index);
        cell.showDecorationSelected = true;
        QRect rect = m_view->style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, m_view);
        if (index.column() == DeleteColumn)
            rect.setWidth(DeleteButtonWidth);
        known = m_buttonRects.insert(key, rect);
    }
    return known->translated(option.rect.topLeft());
}

QRect DisplayTableDelegate::buttonRect(const QModelIndex &index) const
{
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.rect = m_view->visualRect(index);
    return buttonRect(option, index);
}

void DisplayTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The grid first: the X button, wider than its cell, lies on top of it as its widget did.
    const QColor grid = QColor::fromRgba(QRgb(m_view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_view)));
    painter->fillRect(QRect(option.rect.left(), option.rect.bottom(), option.rect.width(), 1), grid);
    painter->fillRect(QRect(option.rect.right(), option.rect.top(), 1, option.rect.height() - 1), grid);

    if (isButton(index)) {
        paintButton(painter, option, index, grid);
        return;
    }
    // The cell as it was with the view's grid on: one pixel narrower and lower.
    QStyleOptionViewItem cell = option;
    cell.rect.adjust(0, 0, -1, -1);
    QStyledItemDelegate::paint(painter, cell, index);
}

void DisplayTableDelegate::paintButton(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                                       const QColor &grid) const
{
    m_prototype->ensurePolished();
    QStyleOptionButton button;
    static_cast<PrototypeButton *>(m_prototype)->initStyleOption(&button);
    const QRect rect = buttonRect(option, index);
    button.rect = QRect(QPoint(0, 0), rect.size());
    button.text = index.data().toString();
    if (m_pressedInside && m_pressed == index) {
        button.state |= QStyle::State_Sunken;
        button.state &= ~QStyle::State_Raised;
    }
    // The part of the grid line the button lies on, in the button's own coordinates.
    const int gridColumn = option.rect.right() - rect.left();
    const bool onGrid = gridColumn < rect.width();
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = button.text + QLatin1Char('/') + QString::number(rect.width()) + QLatin1Char('x')
        + QString::number(rect.height()) + QLatin1Char('/') + QString::number(int(button.state)) + QLatin1Char('/')
        + QString::number(ratio) + QLatin1Char('/') + (onGrid ? QString::number(gridColumn) : QString());
    auto cached = m_buttons.constFind(key);
    if (cached == m_buttons.cend()) {
        // Drawn on what lay under the button widget: the table's background and maybe the grid, in
        // the format of the window's backing store, so edges and text blend the same way.
        QImage look(rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        look.setDevicePixelRatio(ratio);
        const QWidget *viewport = m_viewport;
        // Point sizes turn into the pixels they take on the table's screen.
        look.setDotsPerMeterX(qRound(viewport->logicalDpiX() / 0.0254));
        look.setDotsPerMeterY(qRound(viewport->logicalDpiY() / 0.0254));
        look.fill(viewport->palette().color(viewport->backgroundRole()));
        QPainter lookPainter(&look);
        if (onGrid)
            lookPainter.fillRect(QRect(gridColumn, 0, 1, rect.height()), grid);
        lookPainter.setFont(m_prototype->font());
        m_prototype->style()->drawControl(QStyle::CE_PushButton, &button, &lookPainter, m_prototype);
        lookPainter.end();
        cached = m_buttons.insert(key, look);
    }
    painter->drawImage(rect.topLeft(), *cached);
}

bool DisplayTableDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                       const QModelIndex &index)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // The second press of a double click comes with it: pressing again changes nothing.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!isButton(index) || mouse->button() != Qt::LeftButton)
            break;
        if (!buttonRect(option, index).contains(mouse->pos()))
            break;
        setPressed(index);
        m_pressedInside = true;
        return true;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isButton(index) && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select)
            && key->modifiers() == Qt::NoModifier) {
            click(index);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

// A pressed button holds the mouse, as a widget would: moves only sink or raise it, and the
// release, wherever it happens, ends the press and clicks if it is on the button. The view would
// not pass the release of a double click on. Only the watched widgets' addresses are compared: they
// also report while the view is being destroyed.
bool DisplayTableDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_viewport && watched != m_view && watched != m_prototype)
        return QStyledItemDelegate::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
        // The kept looks and places are of the old style.
        m_buttons.clear();
        m_buttonRects.clear();
        return false;
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        if (watched == m_viewport && m_pressed.isValid())
            return pressedMouse(static_cast<QMouseEvent *>(event));
        return false;
    default:
        return false;
    }
}

bool DisplayTableDelegate::pressedMouse(const QMouseEvent *mouse)
{
    if (mouse->type() == QEvent::MouseMove) {
        const bool inside = buttonRect(m_pressed).contains(mouse->pos());
        if (inside != m_pressedInside) {
            m_pressedInside = inside;
            m_viewport->update(m_view->visualRect(m_pressed));
        }
        return true;
    }
    if (mouse->button() != Qt::LeftButton)
        return true;
    const QModelIndex pressed = m_pressed;
    const bool clicked = buttonRect(pressed).contains(mouse->pos());
    setPressed({});
    if (clicked)
        click(pressed);
    return true;
}

void DisplayTableDelegate::setPressed(const QModelIndex &index)
{
    if (m_pressed.isValid())
        m_viewport->update(m_view->visualRect(m_pressed));
    m_pressed = index;
    m_pressedInside = index.isValid();
    if (m_pressed.isValid())
        m_viewport->update(m_view->visualRect(m_pressed));
}

void DisplayTableDelegate::click(const QModelIndex &index)
{
    // The row may go with the click (X): the signal comes last.
    if (index.column() == BackfillColumn)
        emit backfillClicked(index);
    else if (index.column() == DeleteColumn)
        emit deleteClicked(index);
}
