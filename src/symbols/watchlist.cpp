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

void dropEmptySymbols(QStringList &symbols, QStringList &exchanges)
{
    for (int i = symbols.size() - 1; i >= 0; --i) {
        if (symbols.at(i).isEmpty()) {
            symbols.removeAt(i);
            exchanges.removeAt(i);
        }
    }
}

Selection load(const QByteArray &content, QStringList &left)
{
    Selection loaded = parse(content);
    left = pairUp(loaded.symbols, loaded.exchanges);
    left.removeAll(QString());
    dropEmptySymbols(loaded.symbols, loaded.exchanges);
    return loaded;
}

}
