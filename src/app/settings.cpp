#include "app/settings.h"
#include "ui_settings.h"

#include "app/eventlog.h"
#include "app/seams.h"
#include "app/settingsstore.h"

#include <QDir>
#include <QUrl>

settings::settings(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::settings)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    load();
}

settings::~settings()
{
    delete ui;
}

void settings::load()
{
    ui->autoBackfill5->setChecked(Store::read(Store::DisableAutoBackfill5));
    ui->fastBackfill->setChecked(Store::read(Store::FastBackfill));
    ui->saveLayout->setChecked(Store::read(Store::SaveLayout));
    ui->controlAmibroker->setChecked(Store::read(Store::ControlAmibroker));
    dataMode = Store::read(Store::DataMode);
    controlAmibroker = Store::read(Store::ControlAmibroker);
    ui->backfillAfterOutage->setChecked(Store::read(Store::BackfillAfterOutage));
    ui->notifyFeedTrouble->setChecked(Store::read(Store::NotifyFeedTrouble));

    // Only an explicit 2 selects the second mode; absent or unknown values fall back to the first.
    if (dataMode == 2)
        ui->mode2->setChecked(true);
    else
        ui->mode1->setChecked(true);
}

void settings::on_buttonBox_accepted()
{
    {
        Store::Batch store;
        store.write(Store::DisableAutoBackfill5, ui->autoBackfill5->isChecked());
        store.write(Store::FastBackfill, ui->fastBackfill->isChecked());
        store.write(Store::SaveLayout, ui->saveLayout->isChecked());
        store.write(Store::ControlAmibroker, ui->controlAmibroker->isChecked());
        store.write(Store::DataMode, ui->mode1->isChecked() ? 1 : 2);
        store.write(Store::BackfillAfterOutage, ui->backfillAfterOutage->isChecked());
        store.write(Store::NotifyFeedTrouble, ui->notifyFeedTrouble->isChecked());
    }
    load();
    close();
}

void settings::on_buttonBox_rejected()
{
    close();
}

void settings::on_openLogFolder_clicked()
{
    const QString folder = EventLog::folder();
    // Before the first line is written the folder may not exist, and the file manager would complain.
    QDir().mkpath(folder);
    Seams::openUrl(QUrl::fromLocalFile(folder));
}
