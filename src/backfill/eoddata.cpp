#include "backfill/eoddata.h"
#include "ui_eoddata.h"

#include "vendor/vendorservice.h"

eoddata::eoddata(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::eoddata)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
}

eoddata::~eoddata()
{
    delete ui;
}

void eoddata::on_backfillButton_clicked()
{
    const QString archive = Vendor::endOfDayArchiveName(ui->eodFeedBox->currentText(),
                                                        ui->eodDataSelectorBox->currentIndex());
    watchListOnly = ui->selectedSymbolsBackfill->isChecked();
    // The main window handles the request before emit returns, while this dialog still exists.
    emit doBackfill(archive);
    deleteLater();
}
