#include "app/settingsstore.h"

#include <QSettings>
#include <QVariant>

namespace Store {

template <typename T>
T read(const Key<T> &key)
{
    const QSettings store(Organisation, Application);
    // As the stored value converts: a key written by hand or by an older build reads the same way.
    return store.value(key.name, QVariant::fromValue(key.absent)).template value<T>();
}

template <typename T>
void write(const Key<T> &key, const typename Key<T>::Type &value)
{
    QSettings store(Organisation, Application);
    store.setValue(key.name, QVariant::fromValue(value));
}

template <typename T>
void remove(const Key<T> &key)
{
    QSettings store(Organisation, Application);
    store.remove(key.name);
}

Batch::Batch()
    : m_store(std::make_unique<QSettings>(Organisation, Application))
{
}

Batch::~Batch() = default;

template <typename T>
void Batch::write(const Key<T> &key, const typename Key<T>::Type &value)
{
    m_store->setValue(key.name, QVariant::fromValue(value));
}

void Batch::sync()
{
    m_store->sync();
}

template bool read(const Key<bool> &);
template int read(const Key<int> &);
template QString read(const Key<QString> &);
template QStringList read(const Key<QStringList> &);
template void write(const Key<bool> &, const bool &);
template void write(const Key<int> &, const int &);
template void write(const Key<QString> &, const QString &);
template void write(const Key<QStringList> &, const QStringList &);
template void remove(const Key<bool> &);
template void remove(const Key<int> &);
template void remove(const Key<QString> &);
template void remove(const Key<QStringList> &);
template void Batch::write(const Key<bool> &, const bool &);
template void Batch::write(const Key<int> &, const int &);
template void Batch::write(const Key<QString> &, const QString &);
template void Batch::write(const Key<QStringList> &, const QStringList &);

bool backfillAfterOutage()
{
    return read(BackfillAfterOutage);
}

bool notifyFeedTrouble()
{
    return read(NotifyFeedTrouble);
}

QString feedBoxKey(int index)
{
    return QStringLiteral("checkbox") + QString::number(index);
}

Key<bool> feedBox(int index)
{
    return {feedBoxKey(index), false};
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
    const auto writeIfAbsent = [&store](const auto &key, const auto &value) {
        if (!store.contains(key.name))
            store.setValue(key.name, QVariant::fromValue(value));
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
