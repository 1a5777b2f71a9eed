#include "feed/liveimport.h"

#include <QByteArrayMatcher>

#include <cstring>

namespace LiveImport {

QSet<QByteArray> symbolSet(const QStringList &symbols)
{
    QSet<QByteArray> set;
    set.reserve(symbols.size());
    for (const QString &symbol : symbols)
        set.insert(symbol.toUtf8());
    return set;
}

void selectLines(const QByteArray &reply, const QSet<QByteArray> &symbols, QByteArray &selected)
{
    static const QByteArrayMatcher failed(QByteArrayLiteral("Failed"));

    // No more than the reply can be kept; sized once, then filled in place.
    selected.resize(symbols.isEmpty() ? 0 : reply.size());
    char *out = selected.data();
    const char *const data = reply.constData();
    const char *const stop = data + reply.size();
    const char *line = data;
    // One key pointed at each symbol field in turn: a key per line would cost an allocation each.
    QByteArray key = QByteArray::fromRawData(data, 0);
    while (!symbols.isEmpty() && line < stop) {
        const auto *lineFeed = static_cast<const char *>(std::memchr(line, '\n', std::size_t(stop - line)));
        if (!lineFeed)
            break; // an unterminated last piece is not a line
        const char *const begin = line;
        const char *end = lineFeed;
        line = lineFeed + 1;

        if (end > begin && end[-1] == '\r')
            --end;
        const int length = int(end - begin);
        if (failed.indexIn(begin, length) >= 0)
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
            *out++ = '\n';
        }
    }
    selected.truncate(int(out - selected.constData()));
}

}
