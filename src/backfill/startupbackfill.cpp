#include "vendor/authdialog.h"

void authDialog::backfillAtStartup(int) {}
