#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "vendor/vendorservice.h"

#include <QPushButton>
#include <QTableWidget>

#include <cmath>
#include <limits>

namespace {

constexpr int BackfillColumn = 3;
const char ExchangeProperty[] = "exchName";
const QString FiveDays = QStringLiteral("5");

struct Row
{
    QString symbol;
    QString exchange;
};

// The symbol and exchange a row's Backfill button carries.
Row rowOf(const QPushButton *button)
{
    return {button->objectName(), button->property(ExchangeProperty).toString()};
}

// The row's Backfill button, whether the table holds it directly or inside a cell container.
const QPushButton *rowBackfillButton(const QTableWidget *table, int row)
{
    const QWidget *cell = table->cellWidget(row, BackfillColumn);
    if (!cell)
        return nullptr;
    if (const auto *button = qobject_cast<const QPushButton *>(cell))
        return button;
    return cell->findChild<QPushButton *>();
}

// Exact matches: the exchange must be enabled and, unless only the exchange counts, the symbol
// selected.
bool eligible(const Row &row, const QStringList &enabledExchanges, const QStringList &selected,
              bool exchangeOnly)
{
    if (!enabledExchanges.contains(row.exchange))
        return false;
    return exchangeOnly || selected.contains(row.symbol);
}

// Queues the URL of every eligible row, top row first.
void queueEligibleRows(amibrokerlivedata2 *window, const QString &days, bool exchangeOnly)
{
    const QTableWidget *table = window->form()->displayTableWidget;
    const QStringList enabled = window->enabledExchanges();
    const QString userId = window->form()->machineIDLabel->text();
    liveDataUpdator *worker = window->worker;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QPushButton *button = rowBackfillButton(table, row);
        if (!button)
            continue;
        const Row request = rowOf(button);
        if (eligible(request, enabled, worker->symbols, exchangeOnly))
            worker->backfillQueue.append(Vendor::intradayBackfillUrl(window->scheme, window->txtBackfillPath,
                                                                     userId, window->requestKey, days,
                                                                     request.symbol));
    }
}

int truncatedPercent(const QString &progress)
{
    const double value = progress.toDouble();
    // An unknown total or a zero-time transfer gives an infinite or undefined ratio.
    if (!std::isfinite(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()) || value <= double(std::numeric_limits<int>::min()))
        return 0;
    return static_cast<int>(value);
}

}

void amibrokerlivedata2::on_backfillButton_clicked()
{
    worker->backfillQueue.clear();
    // The worker thread only posts the end-of-day import; it ends on its own.
    if (worker->isRunning())
        worker->wait();

    queueEligibleRows(this, ui->daysBox->currentText(), false);
    doAutoBackFill();
}

void amibrokerlivedata2::backfillButtonClicked(bool)
{
    worker->backfillQueue.clear();
    const auto *button = qobject_cast<const QPushButton *>(sender());
    if (!button)
        return;
    const Row request = rowOf(button);
    if (!eligible(request, enabledExchanges(), worker->symbols, false))
        return;
    worker->backfillQueue.append(Vendor::intradayBackfillUrl(scheme, txtBackfillPath,
                                                             ui->machineIDLabel->text(), requestKey,
                                                             ui->daysBox->currentText(), request.symbol));
    doAutoBackFill();
}

void amibrokerlivedata2::do5DayBackfill()
{
    queueEligibleRows(this, FiveDays, true);
    doAutoBackFill();
}

void amibrokerlivedata2::backfillDone()
{
    ui->backfillButton->setEnabled(true);
    ui->backfillButton->setText(QStringLiteral("Backfill"));
}

void amibrokerlivedata2::responseError()
{
    // The downloader repeats the request at its next tick; the run stays active.
    ui->backfillButton->setEnabled(true);
}

void amibrokerlivedata2::updateProgress2(QString progress, QString speed)
{
    ui->progressBarRT->setValue(truncatedPercent(progress));

    const auto *downloader = qobject_cast<const MyDownloader *>(sender());
    if (!downloader)
        downloader = backfillDownloader;
    QString item = downloader ? downloader->url.toString() : QString();
    item = item.mid(item.lastIndexOf(QLatin1Char('/')) + 1);
    item = item.mid(item.lastIndexOf(QLatin1Char('=')) + 1);
    ui->progressBarRT->setFormat(QStringLiteral("(%2) %1").arg(speed, item));
}
