#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/seams.h"
#include "app/settingsstore.h"
#include "feed/livedataupdator.h"
#include "symbols/feedboxes.h"
#include "symbols/watchlist.h"

#include <QBrush>
#include <QColor>
#include <QListWidgetItem>
#include <QSettings>

namespace {

void setAllCheckStates(QListWidget *list, Qt::CheckState state)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(state);
}

}

void amibrokerlivedata2::on_selectAll_clicked()
{
    setAllCheckStates(ui->symbolsListWidget, Qt::Checked);
}

void amibrokerlivedata2::on_selectNone_clicked()
{
    setAllCheckStates(ui->symbolsListWidget, Qt::Unchecked);
}

void amibrokerlivedata2::on_addSelected_clicked()
{
    QStringList &symbols = worker->symbols;
    QStringList &exchanges = worker->exchanges;
    const QListWidget *list = ui->symbolsListWidget;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        const QString symbol = item->text();
        switch (item->checkState()) {
        case Qt::Checked:
            // By text only: a symbol already picked under another exchange keeps that one.
            if (!symbols.contains(symbol)) {
                symbols << symbol;
                exchanges << currentExchange;
            }
            item->setBackground(QBrush(QColor(QStringLiteral("#00ff00"))));
            break;
        case Qt::Unchecked: {
            item->setBackground(QBrush(QColor(QStringLiteral("#ffffff"))));
            const int index = symbols.indexOf(symbol);
            if (index >= 0) {
                symbols.removeAt(index);
                if (index < exchanges.size())
                    exchanges.removeAt(index);
            }
            break;
        }
        case Qt::PartiallyChecked:
            break;
        }
    }
    updateUrlDataState();
}

void amibrokerlivedata2::on_DeleteAll_clicked()
{
    ui->displayTableWidget->clear();
    worker->symbols.clear();
    worker->exchanges.clear();
    updateUrlDataState();
}

void amibrokerlivedata2::enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox,
                                         QString message)
{
    ui->daysBox->clear();
    ui->daysBox->addItems(daysbox);
    ui->messageBox->setText(message);
    ui->machineIDLabel->setText(QStringLiteral("%1").arg(MachineID));

    for (int i = 0; i < int(FeedBoxes.size()); ++i) {
        if (QRadioButton *box = feedBox(this, i))
            box->setEnabled(enabledFeeds.contains(QLatin1String(FeedBoxes.at(std::size_t(i)).feedWord),
                                                  Qt::CaseSensitive));
    }

    // The live feed runs before the selection is restored; the restore re-aims it.
    ui->connectButton->hide();
    ui->connectButton->click();

    QStringList &symbols = worker->symbols;
    QStringList &exchanges = worker->exchanges;
    {
        QSettings store(Store::Organisation, Store::Application);
        symbols = store.value(Store::SelectedSymbols).toStringList();
        exchanges = store.value(Store::SelectedExchanges).toStringList();
    }
    // Lists edited outside the program may differ in length; only pairs can be shown and fed.
    WatchList::pairUp(symbols, exchanges);

    const QStringList enabled = enabledExchanges();
    for (int i = 0; i < exchanges.size();) {
        if (enabled.contains(exchanges.at(i))) {
            ++i;
            continue;
        }
        // Index i now holds the next entry and is examined again.
        exchanges.removeAt(i);
        if (i < symbols.size())
            symbols.removeAt(i);
    }

    std::array<bool, 7> restoreBoxes{};
    {
        QSettings store(Store::Organisation, Store::Application);
        for (int i = 0; i < int(restoreBoxes.size()); ++i)
            restoreBoxes[std::size_t(i)] = store.value(Store::feedBoxKey(i)).toBool();
    }
    // Clicking runs the toggled handlers, so the last restored box ends up current and listed;
    // a disabled box ignores the click.
    for (int i = 0; i < int(restoreBoxes.size()); ++i) {
        if (!restoreBoxes[std::size_t(i)])
            continue;
        if (QRadioButton *box = feedBox(this, i))
            box->click();
    }

    on_addSelected_clicked();

    if (worker->symbols.isEmpty()) {
        Seams::information(this, QStringLiteral("Select Symbols"),
                           QStringLiteral("No Symbol Selected.\nPlease Add Symbols for Live Data!"));
    }
}
