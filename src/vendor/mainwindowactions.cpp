#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::on_contactSupportButton_clicked() {}
void amibrokerlivedata2::on_copyIDButton_clicked() {}
void amibrokerlivedata2::showStatusMessage(QString) {}
