#pragma once

#include <QHash>
#include <QImage>
#include <QPersistentModelIndex>
#include <QRect>
#include <QStyledItemDelegate>

class QMouseEvent;
class QPushButton;
class QTableView;

// Paints the display table: the price and quantity cells in the colour of their last change, and
// the Backfill and X cells as push buttons that click as the buttons themselves would (press and
// release on the button, Space on the current cell). No widget per row: one hidden button lends
// the drawn ones its look, the view's style sheet included, and each look is drawn once and kept.
// The view's own grid is off: its lines are drawn a pixel at a time, so each cell fills its own
// right and bottom edge in the grid's colour instead, where the view would have drawn them.
// Text cells are the style's own, with the model's shade as their background and a muted
// symbol in grey italics.
class DisplayTableDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayTableDelegate)

public:
    explicit DisplayTableDelegate(QTableView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Public, so that what a cell is painted with can be checked.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
    // Where the button of a button cell lies within the viewport; empty for other cells.
    [[nodiscard]] QRect buttonRect(const QModelIndex &index) const;

signals:
    void backfillClicked(const QModelIndex &index);
    void deleteClicked(const QModelIndex &index);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    [[nodiscard]] static bool isButton(const QModelIndex &index);
    [[nodiscard]] QRect buttonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    bool pressedMouse(const QMouseEvent *mouse);
    void setPressed(const QModelIndex &index);
    void click(const QModelIndex &index);
    void paintButton(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                     const QColor &grid) const;

    QTableView *m_view;
    QWidget *m_viewport;
    QPushButton *m_prototype;
    // Button looks by caption, size and state.
    mutable QHash<QString, QImage> m_buttons;
    // Button places by column and cell size, relative to the cell.
    mutable QHash<QString, QRect> m_buttonRects;
    QPersistentModelIndex m_pressed;
    bool m_pressedInside = false;
};
