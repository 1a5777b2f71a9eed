#include "app/settings.h"
#include "ui_settings.h"

settings::settings(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::settings)
{
    ui->setupUi(this);
}

settings::~settings()
{
    delete ui;
}

void settings::load() {}
void settings::on_buttonBox_accepted() {}
void settings::on_buttonBox_rejected() {}
