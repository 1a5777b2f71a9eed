#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/seams.h"
#include "feed/livedataupdator.h"
#include "feed/liveimport.h"
#include "symbols/feedboxes.h"
#include "vendor/vendorservice.h"

#include <QListWidgetItem>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

const std::array<amibrokerlivedata2::FeedBox, 7> amibrokerlivedata2::FeedBoxes = {{
    {"cashBox", "CASH", "CASH"},
    {"futureBox", "FUTURE", "FUTURE"},
    {"optionBox", "OPTION", "OPTION"},
    {"commBox", "COMM", "MCX"},
    {"currBox", "CURR", "CURRENCY"},
    {"spotBox", "SPOT", "SPOTINDEX"},
    {"agricommBox", "AgriComm", "NCDEX"},
}};

void amibrokerlivedata2::on_cashBox_toggled(bool checked) { feedBoxToggled(0, checked); }
void amibrokerlivedata2::on_futureBox_toggled(bool checked) { feedBoxToggled(1, checked); }
void amibrokerlivedata2::on_optionBox_toggled(bool checked) { feedBoxToggled(2, checked); }
void amibrokerlivedata2::on_commBox_toggled(bool checked) { feedBoxToggled(3, checked); }
void amibrokerlivedata2::on_currBox_toggled(bool checked) { feedBoxToggled(4, checked); }
void amibrokerlivedata2::on_spotBox_toggled(bool checked) { feedBoxToggled(5, checked); }
void amibrokerlivedata2::on_agricommBox_toggled(bool checked) { feedBoxToggled(6, checked); }

void amibrokerlivedata2::feedBoxToggled(int index, bool checked)
{
    const QRadioButton *box = feedBox(this, index);
    if (!box || !box->isEnabled())
        return;
    feedFlags[std::size_t(index)] = checked;
    currentExchange = QLatin1String(FeedBoxes.at(std::size_t(index)).exchange);
    catalogueLookup(currentExchange);
}

QStringList amibrokerlivedata2::catalogueQuery(const QString &exchange)
{
    QSqlQuery *shared = query ? query : (worker ? worker->query : nullptr);
    QStringList symbols;
    if (!shared || !shared->prepare(Vendor::catalogueSql())) {
        Seams::information(this, QString(), QString());
        return {};
    }
    shared->addBindValue(exchange);
    if (!shared->exec()) {
        Seams::information(this, QString(), QString());
        return {};
    }
    while (shared->next())
        symbols << shared->value(0).toString();
    shared->finish();
    return symbols;
}

void amibrokerlivedata2::catalogueLookup(const QString &exchange)
{
    QStringList symbols = catalogue.value(exchange);
    if (symbols.isEmpty()) {
        QSqlDatabase *connection = database ? database : (worker ? &worker->database : nullptr);
        if (connection && !connection->isOpen())
            connection->open();
        symbols = catalogueQuery(exchange);
    }
    // An empty entry stays "not loaded", so the next lookup asks the database again.
    catalogue.insert(exchange, symbols);

    QListWidget *list = ui->symbolsListWidget;
    list->clear();
    list->addItems(symbols);
    const QSet<QString> selected = worker ? LiveImport::symbolSet(worker->symbols) : QSet<QString>();
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(selected.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList amibrokerlivedata2::enabledExchanges() const
{
    QStringList exchanges;
    for (int i = 0; i < int(FeedBoxes.size()); ++i) {
        const QRadioButton *box = feedBox(this, i);
        if (box && box->isEnabled())
            exchanges << QLatin1String(FeedBoxes.at(std::size_t(i)).exchange);
    }
    return exchanges;
}
