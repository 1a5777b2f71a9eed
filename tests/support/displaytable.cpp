#include "support/displaytable.h"

#include "symbols/displaytabledelegate.h"

#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>

namespace DisplayTable {

namespace {

DisplayTableDelegate *delegateOf(const QTableView *table)
{
    auto *delegate = qobject_cast<DisplayTableDelegate *>(table->itemDelegate());
    if (!delegate)
        qWarning("the display table has no display table delegate");
    return delegate;
}

}

QString text(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

QBrush background(const QTableView *table, int row, int column)
{
    const DisplayTableDelegate *delegate = delegateOf(table);
    if (!delegate)
        return {};
    QStyleOptionViewItem option;
    option.initFrom(table);
    delegate->initStyleOption(&option, table->model()->index(row, column));
    return option.backgroundBrush;
}

void clickButton(QTableView *table, int row, int column)
{
    const QModelIndex index = table->model()->index(row, column);
    const DisplayTableDelegate *delegate = delegateOf(table);
    if (!index.isValid() || !delegate) {
        qWarning("no button at row %d, column %d", row, column);
        return;
    }
    table->scrollTo(index);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, delegate->buttonRect(index).center());
}

}
