// The main window's side of the symbols: feed boxes, catalogue list, selection, watch-list files.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/seams.h"
#include "app/settingsstore.h"
#include "feed/feedsession.h"
#include "symbols/selection.h"
#include "symbols/watchlist.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QListWidgetItem>
#include <QRadioButton>

namespace {

const QString WatchListFilter = QStringLiteral("Quorvix List(*.qvxList)");

void setAllCheckStates(QListWidget *list, Qt::CheckState state)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(state);
}

QRadioButton *feedBox(const QWidget *window, int index)
{
    return window->findChild<QRadioButton *>(QLatin1String(Feeds::All.at(std::size_t(index)).boxName));
}

}

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
    m_session->setFeedFlag(index, checked);
    m_session->setCurrentExchange(QLatin1String(Feeds::All.at(std::size_t(index)).exchange));
    catalogueLookup(m_session->currentExchange());
}

void amibrokerlivedata2::catalogueLookup(const QString &exchange)
{
    QStringList symbols;
    if (!m_session->catalogue(exchange, &symbols))
        Seams::information(this, QString(), QString());

    const Selection &selection = m_session->selection();
    QListWidget *list = ui->symbolsListWidget;
    list->clear();
    list->addItems(symbols);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(selection.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList amibrokerlivedata2::enabledExchanges() const
{
    QStringList exchanges;
    for (int i = 0; i < Feeds::Count; ++i) {
        const QRadioButton *box = feedBox(this, i);
        if (box && box->isEnabled())
            exchanges << QLatin1String(Feeds::All.at(std::size_t(i)).exchange);
    }
    return exchanges;
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
    QVector<QPair<QString, bool>> marks;
    const QListWidget *list = ui->symbolsListWidget;
    marks.reserve(list->count());
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        switch (item->checkState()) {
        case Qt::Checked:
            marks.append({item->text(), true});
            item->setBackground(QBrush(QColor(QStringLiteral("#00ff00"))));
            break;
        case Qt::Unchecked:
            marks.append({item->text(), false});
            item->setBackground(QBrush(QColor(QStringLiteral("#ffffff"))));
            break;
        case Qt::PartiallyChecked:
            break;
        }
    }
    // By text only: a symbol already picked under another exchange keeps that one.
    m_session->selection().applyChecks(marks, m_session->currentExchange());
}

void amibrokerlivedata2::on_DeleteAll_clicked()
{
    m_session->selection().clear();
}

void amibrokerlivedata2::enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox,
                                         QString message)
{
    ui->daysBox->clear();
    ui->daysBox->addItems(daysbox);
    m_broadcastMessage = message;
    showMessageLine();
    m_session->setUserId(MachineID);
    ui->machineIDLabel->setText(QStringLiteral("%1").arg(MachineID));

    for (int i = 0; i < Feeds::Count; ++i) {
        if (QRadioButton *box = feedBox(this, i))
            box->setEnabled(enabledFeeds.contains(QLatin1String(Feeds::All.at(std::size_t(i)).feedWord),
                                                  Qt::CaseSensitive));
    }

    m_session->setEnabledExchanges(enabledExchanges());
    // The live feed runs before the selection is restored; the restore re-aims it. Until the
    // stored choices are all back, a close must not store the half-restored ones over them.
    m_restoring = true;
    ui->connectButton->hide();
    startLiveFeed();
    // Closed while the feed started (a call into AmiBroker may run the event loop).
    if (m_closed)
        return;

    m_session->selection().restoreStored();
    m_session->selection().keepExchanges(enabledExchanges());

    Feeds::Flags restoreBoxes{};
    for (int i = 0; i < Feeds::Count; ++i)
        restoreBoxes[std::size_t(i)] = Store::read(Store::feedBox(i));
    // Clicking runs the toggled handlers, so the last restored box ends up current and listed;
    // a disabled box ignores the click.
    for (int i = 0; i < Feeds::Count; ++i) {
        if (!restoreBoxes[std::size_t(i)])
            continue;
        if (QRadioButton *box = feedBox(this, i))
            box->click();
    }

    on_addSelected_clicked();
    m_restoring = false;

    if (m_session->selection().isEmpty()) {
        Seams::information(this, QStringLiteral("Select Symbols"),
                           QStringLiteral("No Symbol Selected.\nPlease Add Symbols for Live Data!"));
    }
}

void amibrokerlivedata2::on_save_list_clicked()
{
    const QString fileName = Seams::saveFileName(this, QStringLiteral("Save Wishlist To"), WatchListFilter);
    if (fileName.isEmpty())
        return;

    const QByteArray content = WatchList::format(m_session->selection().symbols(), m_session->selection().exchanges());
    QFile file(fileName);
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (saved) {
        saved = file.write(content) == content.size();
        saved = file.flush() && saved;
        file.close();
        saved = saved && file.error() == QFileDevice::NoError;
    }
    if (!saved) {
        Seams::information(this, QStringLiteral("Save Failed"),
                           QStringLiteral("The watch list could not be saved to:\n%1\n\n%2")
                               .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    }
}

void amibrokerlivedata2::on_load_list_2_clicked()
{
    const QString fileName = Seams::openFileName(this, QStringLiteral("Import Wishlist"), WatchListFilter);
    if (fileName.isEmpty())
        return;

    QFile file(fileName);
    QByteArray content;
    bool read = file.open(QIODevice::ReadOnly);
    if (read) {
        content = file.readAll();
        read = file.error() == QFileDevice::NoError;
        file.close();
    }
    // An unreadable file must not wipe the selection the trader has.
    if (!read) {
        Seams::information(this, QStringLiteral("Load Failed"),
                           QStringLiteral("The watch list file could not be read:\n%1\n\n%2")
                               .arg(QDir::toNativeSeparators(fileName), file.errorString()));
        return;
    }

    QStringList left;
    WatchList::Selection loaded = WatchList::load(content, left);
    m_session->selection().assign(loaded.symbols, loaded.exchanges);

    if (!left.isEmpty()) {
        Seams::information(this, QStringLiteral("Watch List Incomplete"),
                           QStringLiteral("These symbols have no exchange in the file and were left out:\n%1")
                               .arg(left.join(QStringLiteral(", "))));
    }
}
