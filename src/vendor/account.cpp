#include "vendor/account.h"

#include "vendor/vendorservice.h"

#include <QSqlRecord>
#include <QVariant>

Account Account::fromLookupRow(const QSqlRecord &row)
{
    const auto text = [&row](const QString &column) { return row.value(column).toString(); };
    Account account;
    account.found = !row.value(Vendor::Column::MachineId).isNull();
    account.secureKey = text(Vendor::Column::SecureKey);
    account.dataPathGet = text(Vendor::Column::DataPathGet);
    account.dataPathPost = text(Vendor::Column::DataPathPost);
    account.backfillPath = text(Vendor::Column::BackfillPath);
    account.supportLink = text(Vendor::Column::SupportLink);
    account.latestVersion = text(Vendor::Column::LatestVersion);
    account.latestVersionPath = text(Vendor::Column::LatestVersionPath);
    return account;
}
