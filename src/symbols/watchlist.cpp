#include "symbols/watchlist.h"

namespace WatchList {

namespace {
const QChar ListSeparator = QLatin1Char(',');
const QChar PartSeparator = QLatin1Char('#');
}

QByteArray format(const QStringList &symbols, const QStringList &exchanges)
{
    return (symbols.join(ListSeparator) + PartSeparator + exchanges.join(ListSeparator)).toUtf8();
}

Selection parse(const QByteArray &content)
{
    const int nul = content.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? content : content.left(nul));
    const QStringList parts = text.split(PartSeparator);
    return {parts.first().split(ListSeparator),
            parts.last().split(ListSeparator)};
}

QStringList pairUp(QStringList &symbols, QStringList &exchanges)
{
    QStringList cut;
    while (symbols.size() > exchanges.size())
        cut.prepend(symbols.takeLast());
    while (exchanges.size() > symbols.size())
        exchanges.removeLast();
    return cut;
}

}
