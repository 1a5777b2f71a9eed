// The main window's side of the backfill runs: it turns clicks into requests of the run and
// shows what the run reports.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/eventlog.h"
#include "app/settingsstore.h"
#include "backfill/eoddata.h"
#include "symbols/displaytablemodel.h"
#include "symbols/selection.h"
#include "vendor/vendorconnection.h"
#include "vendor/vendorservice.h"

namespace {

const QString FiveDays = QStringLiteral("5");

}

BackfillRun::IntradayEndpoint amibrokerlivedata2::intradayEndpoint() const
{
    return {m_scheme, m_account.backfillPath, ui->machineIDLabel->text(), m_account.secureKey};
}

void amibrokerlivedata2::on_backfillButton_clicked()
{
    m_backfillRun->toggleIntraday(BackfillRun::intradayUrls(m_selection->entries(), enabledExchanges(),
                                                            intradayEndpoint(), ui->daysBox->currentText()));
}

void amibrokerlivedata2::backfillButtonClicked(const QModelIndex &index)
{
    m_backfillRun->clearQueue();
    const SelectedSymbol row{index.data(DisplayTableModel::ButtonNameRole).toString(),
                             index.data(DisplayTableModel::ExchangeRole).toString()};
    if (!m_selection->contains(row.symbol))
        return;
    const QStringList urls = BackfillRun::intradayUrls({row}, enabledExchanges(), intradayEndpoint(),
                                                       ui->daysBox->currentText());
    if (!urls.isEmpty())
        m_backfillRun->toggleIntraday(urls);
}

void amibrokerlivedata2::do5DayBackfill()
{
    m_backfillRun->queueIntraday(BackfillRun::intradayUrls(m_selection->entries(), enabledExchanges(),
                                                           intradayEndpoint(), FiveDays));
}

// The minutes an outage lost, fetched as the Backfill button would with one day.
void amibrokerlivedata2::backfillAfterOutage()
{
    if (!Store::backfillAfterOutage() || m_backfillRun->isActive())
        return;
    const QStringList urls = BackfillRun::intradayUrls(m_selection->entries(), enabledExchanges(),
                                                       intradayEndpoint(), QStringLiteral("1"));
    if (urls.isEmpty())
        return;
    EventLog::info(QStringLiteral("backfill"), QStringLiteral("gap backfill after the outage: one day of %1 rows")
                                                   .arg(urls.size()));
    m_backfillRun->toggleIntraday(urls);
}

void amibrokerlivedata2::startupBackfill(const QString &oneDayBackfillBase, int days)
{
    m_oneDayBackfillBase = oneDayBackfillBase;
    if (days == 5)
        do5DayBackfill();
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
    m_backfillRun->toggleEndOfDay(Vendor::endOfDayBase(m_oneDayBackfillBase) + symbol, watchListOnly);
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
    ui->progressBarRT->setToolTip(details);
}

eoddata *amibrokerlivedata2::currentEodDialog() const
{
    return m_currentEodDialog;
}
