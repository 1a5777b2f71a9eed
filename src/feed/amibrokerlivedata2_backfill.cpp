// The main window's side of the backfill runs: it turns clicks into requests of the run and
// shows what the run reports.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/eventlog.h"
#include "backfill/eoddata.h"
#include "feed/feedsession.h"
#include "symbols/displaytablemodel.h"

void amibrokerlivedata2::on_backfillButton_clicked()
{
    m_session.backfillSelection(ui->daysBox->currentText());
}

void amibrokerlivedata2::backfillButtonClicked(const QModelIndex &index)
{
    m_session.backfillRow(index.data(DisplayTableModel::ButtonNameRole).toString(),
                           index.data(DisplayTableModel::ExchangeRole).toString(), ui->daysBox->currentText());
}

void amibrokerlivedata2::on_pushButton_clicked()
{
    auto *dialog = new eoddata(this);
    m_currentEodDialog = dialog;
    dialog->setModal(true);
    connect(dialog, &eoddata::doBackfill, this, &amibrokerlivedata2::eodBackfillButton_clicked);
    dialog->show();
}

void amibrokerlivedata2::eodBackfillButton_clicked(QString symbol)
{
    const bool watchListOnly = m_currentEodDialog ? m_currentEodDialog->watchListOnly : true;
    m_session.endOfDay(symbol, watchListOnly);
}

void amibrokerlivedata2::showBackfillState(BackfillRun::State state)
{
    ui->backfillButton->setText(state == BackfillRun::State::Idle ? QStringLiteral("Backfill")
                                                                   : QStringLiteral("Stop"));
    ui->backfillButton->setEnabled(true);
    if (state != BackfillRun::State::Idle)
        ui->progressBarRT->setToolTip(QString());
}

void amibrokerlivedata2::showBackfillProgress(int percent, const QString &text)
{
    ui->progressBarRT->setValue(percent);
    ui->progressBarRT->setFormat(text);
}

void amibrokerlivedata2::showBackfillFinished(const QString &text, const QString &details)
{
    // A bar without a value shows no text at all.
    if (ui->progressBarRT->value() < ui->progressBarRT->minimum())
        ui->progressBarRT->setValue(ui->progressBarRT->minimum());
    ui->progressBarRT->setFormat(text);
    // Transfer errors carry the whole address, request key included.
    ui->progressBarRT->setToolTip(EventLog::redacted(details));
}
