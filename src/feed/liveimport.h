#pragma once

#include <QByteArray>
#include <QSet>
#include <QStringList>

// The rule that turns a live reply into the lines AmiBroker imports.
namespace LiveImport {

// The selection as the filter looks it up: each symbol's UTF-8 bytes.
[[nodiscard]] QSet<QByteArray> symbolSet(const QStringList &symbols);

// Replaces `selected` with the complete lines of the reply whose second comma field is a selected
// symbol, in their order, each ended by "\n"; its buffer is reused from tick to tick. Skipped: the
// piece after the last line feed, lines containing "Failed", lines without a comma. Only a "\r"
// right before the line feed is not part of the line. The symbol field is compared byte for byte,
// whole, up to its first NUL byte.
void selectLines(const QByteArray &reply, const QSet<QByteArray> &symbols, QByteArray &selected);

[[nodiscard]] inline QByteArray selectedLines(const QByteArray &reply, const QSet<QByteArray> &symbols)
{
    QByteArray selected;
    selectLines(reply, symbols, selected);
    return selected;
}

}
