#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::on_selectAll_clicked() {}
void amibrokerlivedata2::on_selectNone_clicked() {}
void amibrokerlivedata2::on_addSelected_clicked() {}
void amibrokerlivedata2::on_DeleteAll_clicked() {}
void amibrokerlivedata2::enableInterface(QString, QString, QStringList, QString) {}
