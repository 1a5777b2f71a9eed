// The main window's side of the symbols: feed boxes, catalogue list, selection, watch-list files.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/seams.h"
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
    // The box going off is the session's to report: it answers the one coming on.
    if (checked)
        m_session.chooseFeed(index);
}

void amibrokerlivedata2::showFeedsEnabled()
{
    for (int i = 0; i < Feeds::Count; ++i) {
        if (QRadioButton *box = feedBox(this, i))
            box->setEnabled(m_session.isFeedEnabled(i));
    }
}

void amibrokerlivedata2::catalogueLookup(const QString &exchange)
{
    // The box of the feed chosen shows checked, however it was chosen.
    for (int i = 0; i < Feeds::Count; ++i) {
        QRadioButton *box = feedBox(this, i);
        if (box && m_session.feedFlags()[std::size_t(i)] && !box->isChecked())
            box->setChecked(true);
    }

    QStringList symbols;
    if (!m_session.catalogue(exchange, &symbols))
        Seams::information(this, QString(), QString());

    const Selection &selection = m_session.selection();
    QListWidget *list = ui->symbolsListWidget;
    list->clear();
    list->addItems(symbols);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(selection.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
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
    m_session.addChecked(marks);
}

void amibrokerlivedata2::on_DeleteAll_clicked()
{
    m_session.clearSelection();
}

void amibrokerlivedata2::showAccount(const QString &userId, const QStringList &dayChoices, const QString &message)
{
    ui->daysBox->clear();
    ui->daysBox->addItems(dayChoices);
    m_broadcastMessage = message;
    showMessageLine();
    ui->machineIDLabel->setText(userId);
    ui->connectButton->hide();
}

void amibrokerlivedata2::showRestoredChoices()
{
    on_addSelected_clicked();
    if (m_session.selection().isEmpty()) {
        Seams::information(this, QStringLiteral("Select Symbols"),
                           QStringLiteral("No Symbol Selected.\nPlease Add Symbols for Live Data!"));
    }
}

void amibrokerlivedata2::on_save_list_clicked()
{
    const QString fileName = Seams::saveFileName(this, QStringLiteral("Save Wishlist To"), WatchListFilter);
    if (fileName.isEmpty())
        return;

    const QByteArray content = WatchList::format(m_session.selection().symbols(), m_session.selection().exchanges());
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
    m_session.assignSelection(loaded.symbols, loaded.exchanges);

    if (!left.isEmpty()) {
        Seams::information(this, QStringLiteral("Watch List Incomplete"),
                           QStringLiteral("These symbols have no exchange in the file and were left out:\n%1")
                               .arg(left.join(QStringLiteral(", "))));
    }
}
