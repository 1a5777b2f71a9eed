#include "feed/displaytabledelegate.h"

#include "symbols/displaycolumns.h"
#include "symbols/displaytablemodel.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>

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

DisplayTableDelegate::DisplayTableDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
    , m_prototype(new PrototypeButton(view->viewport()))
{
    // Where the button widgets used to live, so the style sheet reaches it the same way.
    m_prototype->hide();
    m_view->viewport()->installEventFilter(this);
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
}

// The rectangle a widget placed in the cell would get, as the view lays out cell widgets; the X
// button keeps its fixed width.
QRect DisplayTableDelegate::buttonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isButton(index))
        return {};
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.showDecorationSelected = true;
    QRect rect = m_view->style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, m_view);
    if (index.column() == DeleteColumn)
        rect.setWidth(DeleteButtonWidth);
    return rect;
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
    if (!isButton(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    m_prototype->ensurePolished();
    QStyleOptionButton button;
    static_cast<PrototypeButton *>(m_prototype)->initStyleOption(&button);
    button.rect = buttonRect(option, index);
    button.text = index.data().toString();
    if (m_pressedInside && m_pressed == index) {
        button.state |= QStyle::State_Sunken;
        button.state &= ~QStyle::State_Raised;
    }
    painter->save();
    painter->setFont(m_prototype->font());
    m_prototype->style()->drawControl(QStyle::CE_PushButton, &button, painter, m_prototype);
    painter->restore();
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
// not pass the release of a double click on.
bool DisplayTableDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_view->viewport() || !m_pressed.isValid())
        return QStyledItemDelegate::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool inside = buttonRect(m_pressed).contains(mouse->pos());
        if (inside != m_pressedInside) {
            m_pressedInside = inside;
            m_view->viewport()->update(m_view->visualRect(m_pressed));
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return true;
        const QModelIndex pressed = m_pressed;
        const bool clicked = buttonRect(pressed).contains(mouse->pos());
        setPressed({});
        if (clicked)
            click(pressed);
        return true;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

void DisplayTableDelegate::setPressed(const QModelIndex &index)
{
    if (m_pressed.isValid())
        m_view->viewport()->update(m_view->visualRect(m_pressed));
    m_pressed = index;
    m_pressedInside = index.isValid();
    if (m_pressed.isValid())
        m_view->viewport()->update(m_view->visualRect(m_pressed));
}

void DisplayTableDelegate::click(const QModelIndex &index)
{
    // The row may go with the click (X): the signal comes last.
    if (index.column() == BackfillColumn)
        emit backfillClicked(index);
    else if (index.column() == DeleteColumn)
        emit deleteClicked(index);
}
