// The main window's display table of live prices: a view of the table model, whose rows follow
// the selection and whose cells follow the live replies.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "feed/feedsession.h"
#include "symbols/displaycolumns.h"
#include "symbols/displaytabledelegate.h"
#include "symbols/displaytablemodel.h"
#include "symbols/selection.h"

#include <QHeaderView>
#include <QTableView>

namespace {

using namespace DisplayColumns;

constexpr int DeleteButtonWidth = 30;

}

void amibrokerlivedata2::setUpDisplayTable()
{
    QTableView *table = ui->displayTableWidget;
    table->setModel(m_tableModel);
    auto *delegate = new DisplayTableDelegate(table);
    table->setItemDelegate(delegate);
    connect(delegate, &DisplayTableDelegate::deleteClicked, this, &amibrokerlivedata2::closeButtonClicked);
    connect(delegate, &DisplayTableDelegate::backfillClicked, this, &amibrokerlivedata2::backfillButtonClicked);
}

void amibrokerlivedata2::addDisplayTable()
{
    QTableView *table = ui->displayTableWidget;
    DisplayTableModel &model = *m_tableModel;
    model.rebuild();

    // Styles may hold a larger minimum, which would widen the 30-pixel delete column.
    if (table->horizontalHeader()->minimumSectionSize() > DeleteButtonWidth)
        table->horizontalHeader()->setMinimumSectionSize(DeleteButtonWidth);
    table->setColumnWidth(SymbolColumn, 165);
    table->setColumnWidth(PriceColumn, 80);
    table->setColumnWidth(QuantityColumn, 70);
    table->setColumnWidth(BackfillColumn, 100);
    // 60 wide until a row's delete button narrows it.
    table->setColumnWidth(DeleteColumn, model.rowCount() > 0 ? DeleteButtonWidth : 60);
}

void amibrokerlivedata2::closeButtonClicked(const QModelIndex &index)
{
    // "<symbol>1,<exchange>": the piece before the first comma, less the marker's "1".
    QString symbol = index.data(DisplayTableModel::ButtonNameRole).toString().section(QLatin1Char(','), 0, 0);
    symbol.chop(1);

    m_session.removeSymbol(symbol);
}

void amibrokerlivedata2::updateDisplayTable()
{
    m_session.showLastReply();
}
