#include "vendorsim.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace VendorSim {

namespace {

const std::array<quint32, 256> &crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

quint32 crc32(const QByteArray &data)
{
    const auto &table = crcTable();
    quint32 c = 0xffffffffU;
    for (const char byte : data)
        c = table[(c ^ quint8(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffU;
}

void put16(QByteArray *out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out->append(bytes, 2);
}

void put32(QByteArray *out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out->append(bytes, 4);
}

// 2026-01-01 00:00 in DOS form; a fixed stamp keeps archives byte-identical between runs.
constexpr quint16 DosTime = 0;
constexpr quint16 DosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;

}

QByteArray makeZip(const QList<QPair<QString, QByteArray>> &entries)
{
    QByteArray out;
    QByteArray directory;
    for (const auto &entry : entries) {
        const QByteArray name = entry.first.toUtf8();
        const QByteArray &data = entry.second;
        const quint32 crc = crc32(data);
        const quint32 offset = quint32(out.size());
        // Bit 11: the name is UTF-8 (only needed when it is not plain ASCII).
        const bool ascii = std::all_of(name.cbegin(), name.cend(), [](char c) { return quint8(c) < 0x80; });
        const quint16 flags = ascii ? 0 : 0x0800;

        put32(&out, 0x04034b50);
        put16(&out, 10); // version needed: stored
        put16(&out, flags);
        put16(&out, 0); // method: stored
        put16(&out, DosTime);
        put16(&out, DosDate);
        put32(&out, crc);
        put32(&out, quint32(data.size()));
        put32(&out, quint32(data.size()));
        put16(&out, quint16(name.size()));
        put16(&out, 0);
        out += name;
        out += data;

        put32(&directory, 0x02014b50);
        put16(&directory, 0x031e); // made by: Unix, 3.0
        put16(&directory, 10);
        put16(&directory, flags);
        put16(&directory, 0);
        put16(&directory, DosTime);
        put16(&directory, DosDate);
        put32(&directory, crc);
        put32(&directory, quint32(data.size()));
        put32(&directory, quint32(data.size()));
        put16(&directory, quint16(name.size()));
        put16(&directory, 0); // extra
        put16(&directory, 0); // comment
        put16(&directory, 0); // disk
        put16(&directory, 0); // internal attributes
        put32(&directory, quint32(0100644) << 16); // rw-r--r-- regular file
        put32(&directory, offset);
        directory += name;
    }
    const quint32 directoryOffset = quint32(out.size());
    out += directory;
    put32(&out, 0x06054b50);
    put16(&out, 0);
    put16(&out, 0);
    put16(&out, quint16(entries.size()));
    put16(&out, quint16(entries.size()));
    put32(&out, quint32(directory.size()));
    put32(&out, directoryOffset);
    put16(&out, 0);
    return out;
}

}
