#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::on_pushButton_clicked() {}
void amibrokerlivedata2::eodBackfillButton_clicked(QString) {}
void amibrokerlivedata2::doEodBackfill() {}
void amibrokerlivedata2::eodBackfillDone() {}
