#include "marketdata.h"

#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace VendorSim::Market {

namespace {

quint64 splitmix(quint64 *state)
{
    quint64 z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Uniform in [-1, 1), fixed for (symbol hash, day, salt).
double noise(quint64 symbolHash, qint64 day, quint64 salt)
{
    quint64 state = symbolHash ^ (quint64(day) * 0x2545f4914f6cdd1dULL) ^ (salt << 48);
    return double(splitmix(&state) >> 11) / double(1ULL << 52) - 1.0;
}

double uniform(quint64 *state)
{
    return double(splitmix(state) >> 11) / double(1ULL << 53);
}

double round2(double value)
{
    return std::round(value * 100.0) / 100.0;
}

double level(const QString &symbol, quint64 h, qint64 day)
{
    const double phase1 = double(h % 1000) / 1000.0 * 6.2831853;
    const double phase2 = double((h >> 16) % 1000) / 1000.0 * 6.2831853;
    return basePrice(symbol)
        * (1.0 + 0.10 * std::sin(double(day) / 41.0 + phase1) + 0.03 * std::sin(double(day) / 9.7 + phase2)
           + 0.008 * noise(h, day, 1));
}

bool carriesOpenInterest(const QString &exchange)
{
    return exchange != QLatin1String("CASH") && exchange != QLatin1String("SPOTINDEX");
}

void appendPrice(QByteArray *out, double value)
{
    out->append(QByteArray::number(value, 'f', 2));
}

}

quint64 stableHash(const QString &text)
{
    quint64 h = 0xcbf29ce484222325ULL;
    for (const char c : text.toUtf8()) {
        h ^= quint8(c);
        h *= 0x100000001b3ULL;
    }
    return splitmix(&h);
}

QString price(double value)
{
    return QString::number(value, 'f', 2);
}

DailyBar dailyBar(const QString &symbol, const QDate &date)
{
    const quint64 h = stableHash(symbol);
    const qint64 day = date.toJulianDay();
    DailyBar bar;
    bar.date = date;
    bar.close = round2(level(symbol, h, day));
    bar.open = round2(level(symbol, h, day - 1) * (1.0 + 0.004 * noise(h, day, 2)));
    bar.high = round2(std::max(bar.open, bar.close) * (1.0 + 0.006 * std::abs(noise(h, day, 3))));
    bar.low = round2(std::min(bar.open, bar.close) * (1.0 - 0.006 * std::abs(noise(h, day, 4))));
    const double typical = 20000.0 + double(h % 4000000);
    bar.volume = qint64(typical * (1.0 + 0.5 * noise(h, day, 5)));
    return bar;
}

QDate lastCompletedSession(const QDateTime &now)
{
    QDate day = now.date();
    if (now.time() < QTime(15, 30))
        day = day.addDays(-1);
    while (day.dayOfWeek() > 5)
        day = day.addDays(-1);
    return day;
}

QList<QDate> tradingDaysBack(const QDate &last, int count)
{
    QList<QDate> days;
    for (QDate d = last; days.size() < count; d = d.addDays(-1)) {
        if (d.dayOfWeek() <= 5)
            days.prepend(d);
    }
    return days;
}

QList<QDate> tradingDaysBetween(const QDate &first, const QDate &last)
{
    QList<QDate> days;
    for (QDate d = first; d <= last; d = d.addDays(1)) {
        if (d.dayOfWeek() <= 5)
            days << d;
    }
    return days;
}

QByteArray intradayBars(const QString &symbol, const QList<QDate> &days)
{
    const QByteArray name = symbol.toUtf8();
    const quint64 h = stableHash(symbol);
    QByteArray out;
    out.reserve(days.size() * IntradayBarsPerDay * (name.size() + 56));
    const QTime sessionStart(9, 15);
    for (const QDate &date : days) {
        const DailyBar day = dailyBar(symbol, date);
        const QByteArray dateText = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        // A random walk pinned to the day's open and close (a Brownian bridge).
        quint64 rng = h ^ quint64(date.toJulianDay());
        const double sigma = std::max(0.01, (day.high - day.low) / (2.0 * std::sqrt(double(IntradayBarsPerDay))));
        double walk[IntradayBarsPerDay + 1];
        walk[0] = 0;
        for (int i = 1; i <= IntradayBarsPerDay; ++i)
            walk[i] = walk[i - 1] + (uniform(&rng) * 2.0 - 1.0) * sigma;
        double path[IntradayBarsPerDay + 1];
        for (int i = 0; i <= IntradayBarsPerDay; ++i) {
            const double t = double(i) / IntradayBarsPerDay;
            path[i] = std::max(0.01, day.open + (day.close - day.open) * t + walk[i] - walk[IntradayBarsPerDay] * t);
        }
        for (int k = 1; k <= IntradayBarsPerDay; ++k) {
            const double open = round2(path[k - 1]);
            const double close = round2(path[k]);
            const double high = round2(std::max(open, close) + uniform(&rng) * sigma * 0.5);
            const double low = std::max(0.01, round2(std::min(open, close) - uniform(&rng) * sigma * 0.5));
            const qint64 volume = qint64(double(day.volume) / IntradayBarsPerDay * (0.5 + uniform(&rng)));
            out += name;
            out += ',';
            out += dateText;
            out += ',';
            out += sessionStart.addSecs((k - 1) * IntradayBarMinutes * 60).toString(QStringLiteral("HH:mm")).toLatin1();
            out += ',';
            appendPrice(&out, open);
            out += ',';
            appendPrice(&out, high);
            out += ',';
            appendPrice(&out, low);
            out += ',';
            appendPrice(&out, close);
            out += ',';
            out += QByteArray::number(volume);
            out += '\n';
        }
    }
    return out;
}

QByteArray endOfDayRows(const QString &symbol, const QList<QDate> &days)
{
    const QByteArray name = symbol.toUtf8();
    QByteArray out;
    out.reserve(days.size() * (name.size() + 52));
    for (const QDate &date : days) {
        const DailyBar bar = dailyBar(symbol, date);
        out += name;
        out += ',';
        out += date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        out += ',';
        appendPrice(&out, bar.open);
        out += ',';
        appendPrice(&out, bar.high);
        out += ',';
        appendPrice(&out, bar.low);
        out += ',';
        appendPrice(&out, bar.close);
        out += ',';
        out += QByteArray::number(bar.volume);
        out += '\n';
    }
    return out;
}

QList<QDate> periodDays(int period, const QDate &today)
{
    constexpr int MaxRows = 300;
    switch (period) {
    case 1:
        return tradingDaysBack(today, 10);
    case 2: {
        QList<QDate> days = tradingDaysBetween(QDate(today.year(), 1, 1), today);
        if (days.size() > MaxRows)
            days = days.mid(days.size() - MaxRows);
        return days;
    }
    case 3:
        return tradingDaysBack(QDate(today.year() - 1, 12, 31), MaxRows);
    default:
        return {};
    }
}

QByteArray LiveBook::quote(const QString &symbol, const QString &exchange)
{
    auto it = m_states.find(symbol);
    if (it == m_states.end()) {
        State state;
        state.rng = stableHash(symbol);
        state.price = dailyBar(symbol, QDate::currentDate()).close;
        state.base = state.price;
        state.volume = qint64(state.rng % 200000);
        state.openInterest = carriesOpenInterest(exchange) ? qint64(100000 + state.rng % 5000000) : 0;
        it = m_states.insert(symbol, state);
    }
    State &s = *it;
    // Step one to three ticks, turning back before the price strays more than 15 % from its start.
    const double tick = std::max(0.01, round2(s.price * 0.0002));
    const int ticks = 1 + int(splitmix(&s.rng) % 3);
    double step = ticks * tick * ((splitmix(&s.rng) & 1) ? 1.0 : -1.0);
    if (s.price + step > s.base * 1.15 || s.price + step < std::max(s.base * 0.85, tick))
        step = -step;
    s.price = round2(s.price + step);
    const qint64 quantity = 1 + qint64(splitmix(&s.rng) % 500);
    s.volume += quantity;
    if (s.openInterest > 0)
        s.openInterest = std::max<qint64>(1, s.openInterest + qint64(splitmix(&s.rng) % 201) - 100);

    const QDateTime now = QDateTime::currentDateTime();
    QByteArray line = exchange.toUtf8();
    line += ',';
    line += symbol.toUtf8();
    line += ',';
    line += now.toString(QStringLiteral("yyyyMMdd,HH:mm:ss")).toLatin1();
    line += ',';
    appendPrice(&line, s.price);
    line += ',';
    line += QByteArray::number(quantity);
    line += ',';
    line += QByteArray::number(s.volume);
    line += ',';
    line += QByteArray::number(s.openInterest);
    line += '\n';
    return line;
}

}
