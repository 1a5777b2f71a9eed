#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <type_traits>

class QSettings;
class QVariant;

// The per-user store of the trader's choices. There is no shared settings object: each operation
// opens the store by these names and closes it again, so a value written is on disk when the call
// returns.
namespace Store {

inline const QString Organisation = QStringLiteral("Quorvix Company");
inline const QString Application = QStringLiteral("Quorvix");

// A key, the type its value is stored as, and what a read gives while it is absent.
template <typename T>
struct Key
{
    using Type = T;

    QString name;
    T absent;

    // Code that opens the store itself names the key by its text, as QSettings takes it (a QString
    // on Qt 5, a string view on Qt 6). Never a QVariant: a key is not a value.
    template <typename Text, typename = std::enable_if_t<std::is_constructible_v<Text, const QString &>
                                                         && !std::is_same_v<Text, QVariant>>>
    operator Text() const
    {
        return Text(name);
    }
};

inline const Key<QStringList> SelectedSymbols{QStringLiteral("selectedSymbolsList"), {}};
inline const Key<QStringList> SelectedExchanges{QStringLiteral("corrExchList"), {}};
inline const Key<bool> DisableAutoBackfill5{QStringLiteral("disableAutoBackfill5"), false};
inline const Key<int> DataMode{QStringLiteral("Data Mode"), 0};
inline const Key<bool> FastBackfill{QStringLiteral("fastBackfill"), false};
inline const Key<bool> SaveLayout{QStringLiteral("saveLayout"), false};
inline const Key<bool> ControlAmibroker{QStringLiteral("controlAmibroker"), false};
// Unlike the keys above, absent reads as true: the gap after an outage is filled unless switched off.
inline const Key<bool> BackfillAfterOutage{QStringLiteral("backfillAfterOutage"), true};

// Written by a restart while the feed had been without a good reply, read and removed by the next
// cycle: the gap it closes may span the restart. UTC, ISO 8601 with milliseconds.
inline const Key<QString> LastGoodReplyBeforeRestart{QStringLiteral("lastGoodReplyBeforeRestart"), {}};

// Written by a restart while a gap backfill waited behind the run it ended, read and removed by the
// next cycle: "<ms>" after an outage, "<ms> amibroker" after AmiBroker took no live import.
inline const Key<QString> PendingGapBeforeRestart{QStringLiteral("pendingGapBeforeRestart"), {}};

// Absent reads as true as well: the trader is told of feed trouble unless switched off.
inline const Key<bool> NotifyFeedTrouble{QStringLiteral("notifyFeedTrouble"), true};

// "checkbox0" .. "checkbox6": the feed flag of each feed box.
[[nodiscard]] QString feedBoxKey(int index);
[[nodiscard]] Key<bool> feedBox(int index);

// For bool, int, QString and QStringList keys.
template <typename T>
[[nodiscard]] T read(const Key<T> &key);
template <typename T>
void write(const Key<T> &key, const typename Key<T>::Type &value);
template <typename T>
void remove(const Key<T> &key);

[[nodiscard]] bool notifyFeedTrouble();
[[nodiscard]] bool backfillAfterOutage();

// Several writes through one opening of the store, on disk together at sync() or when it ends.
class Batch final
{
public:
    Batch();
    ~Batch();
    Q_DISABLE_COPY_MOVE(Batch)

    template <typename T>
    void write(const Key<T> &key, const typename Key<T>::Type &value);
    void sync();

private:
    std::unique_ptr<QSettings> m_store;
};

[[nodiscard]] QStringList firstRunSymbols();
[[nodiscard]] QStringList firstRunExchanges();

// Writes the first-run values in their fixed order, each only where its key is absent.
void writeFirstRunValues();

}
