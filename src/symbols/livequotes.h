#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The price and quantity of each symbol in one live reply, as the display table shows them.
namespace LiveQuotes {

struct Quote
{
    QString price;     // field 4 as received
    QString quantity;  // field 5 as received
};

// Reads the reply up to its first NUL. Only line-feed-terminated lines count; lines with "Failed"
// (service errors) or fewer than six fields are skipped; the first line of a symbol wins.
// A carriage return before the line feed is not part of the quantity.
[[nodiscard]] QHash<QString, Quote> firstQuotes(const QByteArray &reply);

// Single-precision value of a cell text; text that is not a number counts as 0.
[[nodiscard]] float value(const QString &text);

}
