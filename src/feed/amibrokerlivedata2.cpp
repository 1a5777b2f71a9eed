#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

amibrokerlivedata2::amibrokerlivedata2(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::amibrokerlivedata2)
{
    ui->setupUi(this);
}

amibrokerlivedata2::~amibrokerlivedata2()
{
    delete ui;
}

void amibrokerlivedata2::on_connectButton_clicked() {}
void amibrokerlivedata2::updateProgress(QString, QString) {}
void amibrokerlivedata2::on_restartButton_clicked() {}
void amibrokerlivedata2::on_amibrokerPathButton_clicked() {}
void amibrokerlivedata2::updateUrlDataState() {}
