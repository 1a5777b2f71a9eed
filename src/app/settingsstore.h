#pragma once

#include <QString>
#include <QStringList>

// The per-user store of the trader's choices. There is no shared settings object: each operation
// opens the store by these names (QSettings store(Store::Organisation, Store::Application)) and
// closes it again. Reads pass no default.
namespace Store {

inline const QString Organisation = QStringLiteral("Quorvix Company");
inline const QString Application = QStringLiteral("Quorvix");

inline const QString SelectedSymbols = QStringLiteral("selectedSymbolsList");
inline const QString SelectedExchanges = QStringLiteral("corrExchList");
inline const QString DisableAutoBackfill5 = QStringLiteral("disableAutoBackfill5");
inline const QString DataMode = QStringLiteral("Data Mode");
inline const QString FastBackfill = QStringLiteral("fastBackfill");
inline const QString SaveLayout = QStringLiteral("saveLayout");
inline const QString ControlAmibroker = QStringLiteral("controlAmibroker");
// Unlike the keys above, absent reads as true: the gap after an outage is filled unless switched off.
inline const QString BackfillAfterOutage = QStringLiteral("backfillAfterOutage");

// Written by a restart while the feed had been without a good reply, read and removed by the next
// cycle: the gap it closes may span the restart. UTC, ISO 8601 with milliseconds.
inline const QString LastGoodReplyBeforeRestart = QStringLiteral("lastGoodReplyBeforeRestart");

// The stored "backfillAfterOutage", true when absent.
[[nodiscard]] bool backfillAfterOutage();

// "checkbox0" .. "checkbox6": the feed flag of each feed box.
[[nodiscard]] QString feedBoxKey(int index);

[[nodiscard]] QStringList firstRunSymbols();
[[nodiscard]] QStringList firstRunExchanges();

// Writes the first-run values in their fixed order, each only where its key is absent.
void writeFirstRunValues();

}
