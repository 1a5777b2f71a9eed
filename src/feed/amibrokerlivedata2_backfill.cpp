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

#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

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
void amibrokerlivedata2::backfillAfterOutage(qint64 outageMs)
{
    if (!Store::backfillAfterOutage())
        return;
    if (m_backfillRun->isActive()) {
        // One pending gap at most: the longer outage covers the shorter.
        m_pendingGapMs = qMax(m_pendingGapMs, outageMs);
        EventLog::info(QStringLiteral("backfill"), QStringLiteral("gap backfill after an outage of %1 s deferred "
                                                                  "until the running backfill ends")
                                                       .arg(outageMs / 1000));
        return;
    }
    startGapBackfill({});
}

void amibrokerlivedata2::startDeferredGapBackfill()
{
    if (m_pendingGapMs == 0)
        return;
    m_pendingGapMs = 0;
    // Once the finished run has let go of the downloader.
    const QStringList retried = m_backfillRun->failedUrls();
    QTimer::singleShot(0, this, [this, retried] {
        if (!m_backfillRun->isActive())
            startGapBackfill(retried);
    });
}

// One day of every row, and the rows the run before gave up on as they were asked for then.
void amibrokerlivedata2::startGapBackfill(const QStringList &retried)
{
    m_pendingGapMs = 0;
    QStringList urls = retried;
    const QStringList oneDay = BackfillRun::intradayUrls(m_selection->entries(), enabledExchanges(),
                                                         intradayEndpoint(), QStringLiteral("1"));
    for (const QString &url : oneDay) {
        const QString symbol = QUrlQuery(QUrl(url, QUrl::TolerantMode)).queryItemValue(QStringLiteral("send"));
        const bool asked = std::any_of(retried.cbegin(), retried.cend(), [&symbol](const QString &earlier) {
            return QUrlQuery(QUrl(earlier, QUrl::TolerantMode)).queryItemValue(QStringLiteral("send")) == symbol;
        });
        if (!asked)
            urls << url;
    }
    if (urls.isEmpty())
        return;
    EventLog::info(QStringLiteral("backfill"), QStringLiteral("gap backfill after the outage: one day of %1 rows%2")
                                                   .arg(urls.size() - retried.size())
                                                   .arg(retried.isEmpty() ? QString()
                                                                          : QStringLiteral(", %1 rows the run before "
                                                                                           "gave up on")
                                                                                .arg(retried.size())));
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
    // Transfer errors carry the whole address, request key included.
    ui->progressBarRT->setToolTip(EventLog::redacted(details));
}

eoddata *amibrokerlivedata2::currentEodDialog() const
{
    return m_currentEodDialog;
}
