#pragma once

#include "symbols/livequotes.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// The rule that turns a live reply into the lines AmiBroker imports.
namespace LiveImport {

// The selection as the filter looks it up: each symbol's UTF-8 bytes.
[[nodiscard]] QSet<QByteArray> symbolSet(const QStringList &symbols);

using Tally = LiveQuotes::Tally;

// What a reply means for the feed: quotes for the selection, the vendor's refusal (nothing but
// error lines), or no quotes at all (empty, garbage, or only other symbols).
enum class ReplyKind { Quotes, Refused, NoQuotes };
[[nodiscard]] ReplyKind kindOf(const Tally &tally, bool selectionEmpty);
// The first line of the reply, as far as the tally saw it.
[[nodiscard]] QByteArray firstLine(const QByteArray &reply, const Tally &tally);

// The line end of the import file on this system ("\r\n" on Windows, where AmiBroker reads it).
extern const QByteArray NativeLineEnd;

// Replaces `selected` with the reply's lines of these symbols, each ended by lineEnd, by the rule
// LiveReplyPass::read runs for the live feed (the same pass, over a fixed set of symbols).
void selectLines(const QByteArray &reply, const QSet<QByteArray> &symbols, QByteArray &selected,
                 Tally *tally = nullptr, const QByteArray &lineEnd = QByteArrayLiteral("\n"));

[[nodiscard]] inline QByteArray selectedLines(const QByteArray &reply, const QSet<QByteArray> &symbols)
{
    QByteArray selected;
    selectLines(reply, symbols, selected);
    return selected;
}

// Rewrites the file in place with content, never leaving it half-written: a longer content first
// claims its extra length at the end, so a full disk fails before any old byte is overwritten and
// the old content stays whole. False, with the system's reason, when the file keeps its old content.
[[nodiscard]] bool rewriteInPlace(const QString &path, const QByteArray &content, QString *error);

}
