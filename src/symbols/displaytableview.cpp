#include "symbols/displaytableview.h"

#include <QAccessible>
#include <QEvent>

#include <algorithm>

DisplayTableView::DisplayTableView(QWidget *parent)
    : QTableView(parent)
{
}

bool DisplayTableView::viewportEvent(QEvent *event)
{
    // A style sheet's background leaves the viewport see-through; shown, it has been polished.
    if (event->type() == QEvent::Show && !viewport()->autoFillBackground()) {
        const QBrush &fill = viewport()->palette().brush(viewport()->backgroundRole());
        if (fill.style() == Qt::SolidPattern && fill.isOpaque())
            viewport()->setAutoFillBackground(true);
    }
    return QTableView::viewportEvent(event);
}

void DisplayTableView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                   const QVector<int> &roles)
{
    // Screen readers hear of each changed cell from Qt's own handling; one cell it repaints alone.
    if (QAccessible::isActive() || topLeft == bottomRight || !topLeft.isValid() || !bottomRight.isValid()
        || topLeft.parent() != bottomRight.parent()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    if (!isVisible())
        return;
    const int firstInSight = rowAt(0);
    if (firstInSight < 0)
        return;
    const int lastInSight = rowAt(viewport()->height() - 1);
    const int first = std::max(topLeft.row(), firstInSight);
    const int last = lastInSight < 0 ? bottomRight.row() : std::min(bottomRight.row(), lastInSight);
    if (first > last)
        return;
    const QAbstractItemModel *cells = topLeft.model();
    const QRect changed = visualRect(cells->index(first, topLeft.column(), topLeft.parent()))
        | visualRect(cells->index(last, bottomRight.column(), topLeft.parent()));
    viewport()->update(changed);
}
