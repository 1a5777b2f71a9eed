#include "feed/liveimport.h"

#include <QByteArrayMatcher>

namespace LiveImport {

QSet<QString> symbolSet(const QStringList &symbols)
{
    QSet<QString> set;
    set.reserve(symbols.size());
    for (const QString &symbol : symbols)
        set.insert(symbol);
    return set;
}

QByteArray selectedLines(const QByteArray &reply, const QSet<QString> &symbols)
{
    static const QByteArrayMatcher failed(QByteArrayLiteral("Failed"));

    QByteArray selected;
    if (symbols.isEmpty())
        return selected;
    selected.reserve(reply.size());

    const char *const data = reply.constData();
    const int size = reply.size();
    int start = 0;
    while (start < size) {
        const char *const lineFeed = static_cast<const char *>(memchr(data + start, '\n', size_t(size - start)));
        if (!lineFeed)
            break; // an unterminated last piece is not a line
        const int end = int(lineFeed - data);
        const int lineStart = start;
        int lineEnd = end;
        start = end + 1;

        if (lineEnd > lineStart && data[lineEnd - 1] == '\r')
            --lineEnd;
        const int length = lineEnd - lineStart;
        if (failed.indexIn(data + lineStart, length) >= 0)
            continue;

        const char *const firstComma = static_cast<const char *>(memchr(data + lineStart, ',', size_t(length)));
        if (!firstComma)
            continue;
        const char *const field = firstComma + 1;
        const char *const lineLimit = data + lineEnd;
        const char *fieldEnd = static_cast<const char *>(memchr(field, ',', size_t(lineLimit - field)));
        if (!fieldEnd)
            fieldEnd = lineLimit;
        // The field is read as text up to its first NUL, like a C string.
        const char *const nul = static_cast<const char *>(memchr(field, '\0', size_t(fieldEnd - field)));
        if (nul)
            fieldEnd = nul;

        if (symbols.contains(QString::fromUtf8(field, int(fieldEnd - field)))) {
            selected.append(data + lineStart, length);
            selected.append('\n');
        }
    }
    return selected;
}

}
