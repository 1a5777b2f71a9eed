#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// The rule that turns a live reply into the lines AmiBroker imports.
namespace LiveImport {

// The selection as the filter looks it up.
[[nodiscard]] QSet<QString> symbolSet(const QStringList &symbols);

// The complete lines of the reply whose second comma field is a selected symbol, in their
// order, each ended by "\n". Skipped: the piece after the last line feed, lines containing
// "Failed", lines without a comma. A "\r" before the line feed is not part of the line.
// The symbol field is compared whole and exactly, up to its first NUL byte.
[[nodiscard]] QByteArray selectedLines(const QByteArray &reply, const QSet<QString> &symbols);

}
