#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Made-up but steady market data: the same symbol and day always give the same bars, so tests
// can compare, while live quotes walk on every request.
namespace VendorSim::Market {

struct Contract
{
    QString symbol;
    QString exchange;
};

// Every seeded contract; symbols are unique across exchanges.
[[nodiscard]] const QList<Contract> &contracts();
// The exchange name of a symbol, empty when the catalogue has no such symbol.
[[nodiscard]] QString exchangeOf(const QString &symbol);

[[nodiscard]] quint64 stableHash(const QString &text);
[[nodiscard]] double basePrice(const QString &symbol);
[[nodiscard]] QString price(double value);

struct DailyBar
{
    QDate date;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    qint64 volume = 0;
};
[[nodiscard]] DailyBar dailyBar(const QString &symbol, const QDate &date);

// The newest trading day whose session (09:15 to 15:30) is over at `now`.
[[nodiscard]] QDate lastCompletedSession(const QDateTime &now);
// The last `count` weekdays up to and including `last`, oldest first.
[[nodiscard]] QList<QDate> tradingDaysBack(const QDate &last, int count);
// Weekdays from `first` to `last`, oldest first.
[[nodiscard]] QList<QDate> tradingDaysBetween(const QDate &first, const QDate &last);

// Intraday bars: SYMBOL,YYYYMMDD,HH:MM,Open,High,Low,Close,Volume, 09:15 to 15:30 in 5-minute bars.
inline constexpr int IntradayBarMinutes = 5;
inline constexpr int IntradayBarsPerDay = 75;
[[nodiscard]] QByteArray intradayBars(const QString &symbol, const QList<QDate> &days);

// End-of-day rows: SYMBOL,YYYYMMDD,Open,High,Low,Close,Volume.
[[nodiscard]] QByteArray endOfDayRows(const QString &symbol, const QList<QDate> &days);
// The catalogue exchange an end-of-day feed name stands for ("COMM" -> "MCX"); empty if none.
[[nodiscard]] QString exchangeOfFeed(const QString &feed);
// The symbols one end-of-day archive holds (at most ArchiveSymbolCap), ascending.
inline constexpr int ArchiveSymbolCap = 40;
[[nodiscard]] QStringList archiveSymbols(const QString &exchange);
// The days of an end-of-day period (1 recent, 2 current year, 3 past years); empty if unknown.
[[nodiscard]] QList<QDate> periodDays(int period, const QDate &today);

// The moving state of live quotes. Not thread-safe: the server serialises access.
class LiveBook
{
public:
    // One quote line (with its line feed) for a known symbol; the price moves on every call.
    [[nodiscard]] QByteArray quote(const QString &symbol, const QString &exchange);

private:
    struct State
    {
        double price = 0;
        double base = 0;
        qint64 volume = 0;
        qint64 openInterest = 0;
        quint64 rng = 0;
    };
    QHash<QString, State> m_states;
};

}
