#include "vendor/authdialog.h"

#include "app/config.h"
#include "feed/amibrokerlivedata2.h"
#include "vendor/vendorservice.h"

#include <QSqlQuery>
#include <QVariant>

void authDialog::backfillAtStartup(int days)
{
    // Without the server settings there is no backfill location: no base and no backfill.
    if (!query || !query->exec(Vendor::serverSettingsSql()))
        return;

    QString serverDate;
    QString oneDayPath;
    if (query->next()) {
        serverDate = query->value(0).toString();
        oneDayPath = query->value(1).toString();
    }

    oneDayBackfillBase = Vendor::oneDayBackfillBase(Config::instance().backfillServer(), serverDate,
                                                    oneDayPath);
    if (!mainWindow)
        return;
    mainWindow->oneDayBackfillBase = oneDayBackfillBase;
    if (days == 5)
        mainWindow->do5DayBackfill();
}
