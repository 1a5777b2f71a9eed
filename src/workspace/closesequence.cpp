#include "feed/amibrokerlivedata2.h"

#include <QCloseEvent>

void amibrokerlivedata2::reject() { QDialog::reject(); }
void amibrokerlivedata2::closeEvent(QCloseEvent *event) { QDialog::closeEvent(event); }
