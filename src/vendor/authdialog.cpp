#include "vendor/authdialog.h"

authDialog::authDialog(QWidget *parent)
    : QDialog(parent)
{
}

authDialog::~authDialog() = default;

void authDialog::start() {}
void authDialog::checkIfAlreadyExists() {}
void authDialog::checkConnection() {}
void authDialog::restart() {}
