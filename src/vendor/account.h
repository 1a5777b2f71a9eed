#pragma once

#include <QString>

class QSqlRecord;

// What the vendor keeps for one trader, read once per start: the account row joined with the
// update record, then the broadcast message and the enabled feeds.
struct Account
{
    bool found = false;          // the lookup returned an account row
    QString secureKey;           // the request key sent as hash
    QString dataPathGet;
    QString dataPathPost;
    QString backfillPath;
    QString supportLink;
    QString latestVersion;
    QString latestVersionPath;
    QString feeds;
    QString message;

    // The columns of the lookup row; an empty record gives an account that was not found.
    [[nodiscard]] static Account fromLookupRow(const QSqlRecord &row);
};
