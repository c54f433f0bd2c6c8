#pragma once
// Fixed-offset fields of binary datagrams. Readers take only what exists: a field past the end
// of the datagram reads as zero, as if it had been received into a zero-filled buffer.

#include <QByteArray>

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

// The caller sizes d first.
inline void PutLe16(QByteArray& d, qsizetype at, quint16 v)
{
    d[at] = char(v & 0xFF);
    d[at + 1] = char(v >> 8);
}

}  // namespace ByteFields
