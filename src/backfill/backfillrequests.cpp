#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::on_backfillButton_clicked() {}
void amibrokerlivedata2::backfillButtonClicked(bool) {}
void amibrokerlivedata2::do5DayBackfill() {}
void amibrokerlivedata2::backfillDone() {}
void amibrokerlivedata2::responseError() {}
void amibrokerlivedata2::updateProgress2(QString, QString) {}
