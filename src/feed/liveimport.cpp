#include "feed/liveimport.h"

#include "symbols/replypass.h"

#include <QFile>

#include <cstring>

namespace LiveImport {

#if defined(Q_OS_WIN)
const QByteArray NativeLineEnd = QByteArrayLiteral("\r\n");
#else
const QByteArray NativeLineEnd = QByteArrayLiteral("\n");
#endif

QSet<QByteArray> symbolSet(const QStringList &symbols)
{
    QSet<QByteArray> set;
    set.reserve(symbols.size());
    for (const QString &symbol : symbols)
        set.insert(symbol.toUtf8());
    return set;
}

ReplyKind kindOf(const Tally &tally, bool selectionEmpty)
{
    if (tally.lines > 0 && tally.failed == tally.lines)
        return ReplyKind::Refused;
    // Nothing was asked for, so nothing is missing.
    if (tally.selected > 0 || selectionEmpty)
        return ReplyKind::Quotes;
    return ReplyKind::NoQuotes;
}

QByteArray firstLine(const QByteArray &reply, const Tally &tally)
{
    return tally.firstLineEnd < 0 ? QByteArray() : reply.left(tally.firstLineEnd);
}

void selectLines(const QByteArray &reply, const QSet<QByteArray> &symbols, QByteArray &selected, Tally *tally,
                 const QByteArray &lineEnd)
{
    // The same pass the live feed runs, over a fixed set of symbols.
    LiveReplyPass pass(symbols);
    pass.read(reply, &selected, lineEnd);
    if (tally)
        *tally = pass.tally();
}

namespace {

// A short write is asked again, so that the system's reason for stopping is heard.
bool writeAll(QFile &file, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 done = file.write(data, size);
        if (done <= 0)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

}

bool rewriteInPlace(const QString &path, const QByteArray &content, QString *error)
{
    QFile file(path);
    // Overwritten in place and cut to size: a file emptied first is pushed to disk on close by
    // some file systems (ext4), milliseconds of every tick.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 oldSize = file.size();
    const qint64 newSize = content.size();
    const auto failed = [&file, error](qint64 restoreSize) {
        if (error)
            *error = file.errorString();
        if (restoreSize >= 0)
            file.resize(restoreSize);
        return false;
    };

    if (newSize > oldSize) {
        // The extra length first: the bytes AmiBroker may read are untouched until it is claimed.
        if (!file.seek(oldSize) || !writeAll(file, content.constData() + oldSize, newSize - oldSize))
            return failed(oldSize);
    }
    const qint64 overlap = qMin(oldSize, newSize);
    if (!file.seek(0) || !writeAll(file, content.constData(), overlap))
        return failed(-1);
    if (newSize < oldSize && !file.resize(newSize))
        return failed(-1);
    return true;
}

}
