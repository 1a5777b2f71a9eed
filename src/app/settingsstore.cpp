#include "app/settingsstore.h"

#include <QSettings>

namespace Store {

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
    QSettings store(Organisation, Application);
    store.setValue(SelectedSymbols, firstRunSymbols());
    store.setValue(SelectedExchanges, firstRunExchanges());
    store.setValue(DisableAutoBackfill5, false);
    store.setValue(DataMode, 2);
    store.setValue(FastBackfill, true);
    store.setValue(SaveLayout, false);
    store.setValue(ControlAmibroker, false);
}

}
