#include "app/settingsstore.h"

#include <QSettings>

namespace Store {

bool backfillAfterOutage()
{
    QSettings store(Organisation, Application);
    return store.value(BackfillAfterOutage, true).toBool();
}

bool notifyFeedTrouble()
{
    QSettings store(Organisation, Application);
    return store.value(NotifyFeedTrouble, true).toBool();
}

QString feedBoxKey(int index)
{
    return QStringLiteral("checkbox") + QString::number(index);
}

QStringList firstRunSymbols()
{
    return {QStringLiteral("BANKNIFTY-I"), QStringLiteral("CRUDEOIL-I"), QStringLiteral("GOLDM-I"),
            QStringLiteral("SILVERM-I"),   QStringLiteral("USDINR-I"),   QStringLiteral("INDIAVIX"),
            QStringLiteral("ICICIBANK"),   QStringLiteral("NIFTY-I")};
}

QStringList firstRunExchanges()
{
    return {QStringLiteral("FUTURE"),   QStringLiteral("MCX"),       QStringLiteral("MCX"),
            QStringLiteral("MCX"),      QStringLiteral("CURRENCY"),  QStringLiteral("SPOTINDEX"),
            QStringLiteral("CASH"),     QStringLiteral("FUTURE")};
}

void writeFirstRunValues()
{
    // A lookup that finds no account is not always a first run (a lapsed account, an empty update
    // table): the trader's stored choices stay, only missing keys get their first-run value.
    QSettings store(Organisation, Application);
    const auto writeIfAbsent = [&store](const QString &key, const QVariant &value) {
        if (!store.contains(key))
            store.setValue(key, value);
    };
    writeIfAbsent(SelectedSymbols, firstRunSymbols());
    writeIfAbsent(SelectedExchanges, firstRunExchanges());
    writeIfAbsent(DisableAutoBackfill5, false);
    writeIfAbsent(DataMode, 2);
    writeIfAbsent(FastBackfill, true);
    writeIfAbsent(SaveLayout, false);
    writeIfAbsent(ControlAmibroker, false);
}

}
