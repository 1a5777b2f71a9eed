#include "feed/liveimport.h"

#include <QByteArrayMatcher>
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
    static const QByteArrayMatcher failed(QByteArrayLiteral("Failed"));

    Tally counts;
    // No more than the reply can be kept, each line end widened at most by the extra bytes of
    // lineEnd; a kept line holds a comma, so there are at most a third as many lines as bytes.
    const int widening = lineEnd.size() > 1 ? (lineEnd.size() - 1) * (reply.size() / 3 + 1) : 0;
    selected.resize(symbols.isEmpty() ? 0 : reply.size() + widening);
    char *out = selected.data();
    const char *const data = reply.constData();
    const char *const stop = data + reply.size();
    const char *line = data;
    const bool counting = tally != nullptr;
    // One key pointed at each symbol field in turn: a key per line would cost an allocation each.
    QByteArray key = QByteArray::fromRawData(data, 0);
    while ((counting || !symbols.isEmpty()) && line < stop) {
        const auto *lineFeed = static_cast<const char *>(std::memchr(line, '\n', std::size_t(stop - line)));
        if (!lineFeed)
            break; // an unterminated last piece is not a line
        const char *const begin = line;
        const char *end = lineFeed;
        line = lineFeed + 1;

        if (end > begin && end[-1] == '\r')
            --end;
        const int length = int(end - begin);
        if (counts.lines++ == 0)
            counts.firstLineEnd = length;
        if (failed.indexIn(begin, length) >= 0) {
            ++counts.failed;
            continue;
        }
        if (symbols.isEmpty())
            continue;

        const auto *firstComma = static_cast<const char *>(std::memchr(begin, ',', std::size_t(length)));
        if (!firstComma)
            continue;
        const char *const field = firstComma + 1;
        const auto *fieldEnd = static_cast<const char *>(std::memchr(field, ',', std::size_t(end - field)));
        if (!fieldEnd)
            fieldEnd = end;
        // The field ends at its first NUL, like a C string.
        if (const auto *nul = static_cast<const char *>(std::memchr(field, '\0', std::size_t(fieldEnd - field))))
            fieldEnd = nul;

        key.setRawData(field, uint(fieldEnd - field));
        if (symbols.contains(key)) {
            std::memcpy(out, begin, std::size_t(length));
            out += length;
            std::memcpy(out, lineEnd.constData(), std::size_t(lineEnd.size()));
            out += lineEnd.size();
            ++counts.selected;
        }
    }
    selected.truncate(int(out - selected.constData()));
    if (tally)
        *tally = counts;
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
