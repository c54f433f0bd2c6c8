#pragma once
// Fixed-offset fields of binary datagrams. Readers take only what exists: a field past the end
// of the datagram reads as zero, as if it had been received into a zero-filled buffer.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstring>

namespace ByteFields {

inline quint8 Byte(const QByteArray& d, qsizetype at)
{
    return at >= 0 && at < d.size() ? quint8(d[at]) : 0;
}

inline quint16 Le16(const QByteArray& d, qsizetype at)
{
    return quint16(Byte(d, at) | (Byte(d, at + 1) << 8));
}

inline quint16 Be16(const QByteArray& d, qsizetype at)
{
    return quint16((Byte(d, at) << 8) | Byte(d, at + 1));
}

inline quint32 Le32(const QByteArray& d, qsizetype at)
{
    return quint32(Byte(d, at)) | (quint32(Byte(d, at + 1)) << 8) |
           (quint32(Byte(d, at + 2)) << 16) | (quint32(Byte(d, at + 3)) << 24);
}

// The bytes of a NUL-terminated text in a field of at most maxLen bytes; a field that runs
// past the end of the datagram ends there.
inline QByteArray CBytes(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    if (at < 0 || at >= d.size() || maxLen <= 0)
        return QByteArray();
    const qsizetype end = std::min(d.size(), at + maxLen);
    qsizetype n = 0;
    while (at + n < end && d[at + n] != '\0')
        ++n;
    return d.mid(at, n);
}

inline QString CText(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    return QString::fromLatin1(CBytes(d, at, maxLen));
}

inline QString CTextUtf8(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    return QString::fromUtf8(CBytes(d, at, maxLen));
}

// Four bytes written as decimal numbers joined by ".", in byte order. Written digit by digit:
// a large LAN reads thousands of these per search tick.
inline QString Dotted(const QByteArray& d, qsizetype at)
{
    char text[16];
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text[n++] = '.';
        const int v = Byte(d, at + i);
        if (v >= 100)
            text[n++] = char('0' + v / 100);
        if (v >= 10)
            text[n++] = char('0' + v / 10 % 10);
        text[n++] = char('0' + v % 10);
    }
    return QString::fromLatin1(text, n);
}

// Writers: the caller sizes d first.
inline void PutLe16(QByteArray& d, qsizetype at, quint16 v)
{
    d[at] = char(v & 0xFF);
    d[at + 1] = char(v >> 8);
}

inline void PutBytes(QByteArray& d, qsizetype at, const QByteArray& bytes)
{
    std::memcpy(d.data() + at, bytes.constData(), size_t(bytes.size()));
}

template <class Quad>
inline void PutQuad(QByteArray& d, qsizetype at, const Quad& q)
{
    for (size_t i = 0; i < 4; ++i)
        d[at + qsizetype(i)] = char(q[i]);
}

}  // namespace ByteFields
