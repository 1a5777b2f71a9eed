#pragma once

#include <QByteArray>
#include <QStringList>

// The watch-list file: one UTF-8 line, "SYM1,SYM2#EXCH1,EXCH2", no line end, nothing escaped.
namespace WatchList {

struct Selection
{
    QStringList symbols;
    QStringList exchanges;
};

[[nodiscard]] QByteArray format(const QStringList &symbols, const QStringList &exchanges);

// Text up to the first NUL; symbols from before the first '#', exchanges from after the last,
// empty parts kept. The two lists may come out of different lengths.
[[nodiscard]] Selection parse(const QByteArray &content);

// A symbol without an exchange cannot be placed and an exchange without a symbol means nothing:
// cuts both lists to the shorter length and returns the symbols that were cut off.
QStringList pairUp(QStringList &symbols, QStringList &exchanges);

// An empty symbol names no quote, yet the import rule would keep every line with an empty symbol
// field for it: drops it with its exchange from paired lists, as an empty file, ",," or a trailing
// comma leaves them.
void dropEmptySymbols(QStringList &symbols, QStringList &exchanges);

// A file as the trader loads it: parsed, paired up, without empty symbols; `left` gets the
// symbols cut off for want of an exchange.
[[nodiscard]] Selection load(const QByteArray &content, QStringList &left);

}
