#include "app/settings.h"
#include "ui_settings.h"

#include "app/eventlog.h"
#include "app/seams.h"
#include "app/settingsstore.h"

#include <QDir>
#include <QSettings>
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
    QSettings store(Store::Organisation, Store::Application);
    ui->autoBackfill5->setChecked(store.value(Store::DisableAutoBackfill5).toBool());
    ui->fastBackfill->setChecked(store.value(Store::FastBackfill).toBool());
    ui->saveLayout->setChecked(store.value(Store::SaveLayout).toBool());
    ui->controlAmibroker->setChecked(store.value(Store::ControlAmibroker).toBool());
    dataMode = store.value(Store::DataMode).toInt();
    controlAmibroker = store.value(Store::ControlAmibroker).toBool();
    ui->backfillAfterOutage->setChecked(Store::backfillAfterOutage());
    ui->notifyFeedTrouble->setChecked(Store::notifyFeedTrouble());

    // Only an explicit 2 selects the second mode; absent or unknown values fall back to the first.
    if (dataMode == 2)
        ui->mode2->setChecked(true);
    else
        ui->mode1->setChecked(true);
}

void settings::on_buttonBox_accepted()
{
    {
        QSettings store(Store::Organisation, Store::Application);
        store.setValue(Store::DisableAutoBackfill5, ui->autoBackfill5->isChecked());
        store.setValue(Store::FastBackfill, ui->fastBackfill->isChecked());
        store.setValue(Store::SaveLayout, ui->saveLayout->isChecked());
        store.setValue(Store::ControlAmibroker, ui->controlAmibroker->isChecked());
        store.setValue(Store::DataMode, ui->mode1->isChecked() ? 1 : 2);
        store.setValue(Store::BackfillAfterOutage, ui->backfillAfterOutage->isChecked());
        store.setValue(Store::NotifyFeedTrouble, ui->notifyFeedTrouble->isChecked());
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
