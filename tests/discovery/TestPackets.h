#pragma once
// Camera replies built straight from the wire layouts, for tests and the benchmark. Written
// apart from the program's own builders so that the two check each other.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <array>
#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace testpk {

using Ip4 = std::array<quint8, 4>;

inline void Put(QByteArray& d, int at, const QByteArray& bytes)
{
    if (d.size() < at + bytes.size())
        d.append(QByteArray(at + bytes.size() - d.size(), '\0'));
    for (int i = 0; i < bytes.size(); ++i)
        d[at + i] = bytes[i];
}
inline void PutLe16(QByteArray& d, int at, quint16 v)
{
    Put(d, at, QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)));
}
inline QByteArray Ip(const Ip4& a)
{
    return QByteArray(reinterpret_cast<const char*>(a.data()), 4);
}

// "MO_I" search reply (operation 1).
struct MoIReply {
    QByteArray mac = "001A2B3C4D5E";
    QByteArray name = "Cam";
    Ip4 ip{192, 168, 1, 20}, mask{255, 255, 255, 0}, gw{192, 168, 1, 1}, dns{8, 8, 8, 8};
    Ip4 ver1{1, 2, 3, 4}, ver2{5, 6, 7, 8};
    quint16 port = 80;
    quint16 op = 1;
    quint32 bodyLength = 64;
    quint8 dhcp = 0;
    QByteArray ddnsServer, ddnsUser;
};
inline QByteArray Build(const MoIReply& r)
{
    QByteArray d(23, '\0');
    Put(d, 0, "MO_I");
    PutLe16(d, 4, r.op);
    for (int i = 0; i < 4; ++i)
        d[15 + i] = char((r.bodyLength >> (8 * i)) & 0xFF);
    const int body = r.bodyLength == 195 ? 195 : (r.bodyLength == 65 ? 65 : 64);
    d.append(QByteArray(body, '\0'));
    const int b = 23;
    Put(d, b, r.mac.left(13));
    Put(d, b + 13, r.name.left(21));
    Put(d, b + 34, Ip(r.ip));
    Put(d, b + 38, Ip(r.mask));
    Put(d, b + 42, Ip(r.gw));
    Put(d, b + 46, Ip(r.dns));
    Put(d, b + 50, QByteArray("\x11\x22\x33\x44", 4));  // unused bytes
    Put(d, b + 54, Ip(r.ver1));
    Put(d, b + 58, Ip(r.ver2));
    Put(d, b + 62, QByteArray(1, char(r.port >> 8)) + QByteArray(1, char(r.port & 0xFF)));
    if (body == 195) {
        d[b + 64] = char(r.dhcp);
        Put(d, b + 65, r.ddnsServer.left(65));
        Put(d, b + 130, r.ddnsUser.left(65));
    }
    return d;
}

// "REPLY" text: the lines as given, CR LF separated.
inline QByteArray CtpReply(const QList<QByteArray>& lines)
{
    QByteArray d = "REPLY * CTP/1.0";
    for (const QByteArray& l : lines)
        d += "\r\n" + l;
    return d + "\r\n\r\n";
}

// The 128-byte family-8 network block.
struct Bin8Block {
    QByteArray ip = "192.168.1.30", mask = "255.255.255.0", gw = "192.168.1.1";
    QByteArray dns1 = "8.8.8.8", dns2 = "208.67.222.222";
    quint16 http = 80, data = 9000;
    QByteArray mac = QByteArray::fromHex("0012abcdef01");
    quint16 word8 = 0x1234;
    QByteArray sn = QByteArray::fromHex("0a0b0c0d0e0f10");
    quint8 dhcp = 0;
    QByteArray name = "Bin8 cam";
};
inline QByteArray Build(const Bin8Block& b)
{
    QByteArray d(128, '\0');
    Put(d, 0, b.ip.left(15));
    Put(d, 16, b.mask.left(15));
    Put(d, 32, b.gw.left(15));
    Put(d, 48, b.dns1.left(15));
    Put(d, 64, b.dns2.left(15));
    PutLe16(d, 80, b.http);
    PutLe16(d, 82, b.http);
    PutLe16(d, 84, b.http);
    PutLe16(d, 86, b.data);
    Put(d, 88, b.mac.left(6));
    PutLe16(d, 94, b.word8);
    Put(d, 96, b.sn.left(7));
    d[103] = char(b.dhcp);
    Put(d, 104, b.name.left(24));
    return d;
}

inline QByteArray Bin8Header(quint16 command, quint16 word4, quint16 length)
{
    QByteArray h(8, '\0');
    h[0] = 0x10;
    h[1] = 0x10;
    PutLe16(h, 2, command);
    PutLe16(h, 4, word4);
    PutLe16(h, 6, length);
    return h;
}
// 0x8F01: header, four bytes, the block (140 bytes).
inline QByteArray Bin8SearchReply(const Bin8Block& b, quint16 word4 = 0x5A5A)
{
    return Bin8Header(0x8F01, word4, 132) + QByteArray("\x01\x02\x03\x04", 4) + Build(b);
}
// 0x8F12: header, the block, the version text.
inline QByteArray Bin8NetReply(const Bin8Block& b, const QByteArray& version = "V2.1.7",
                               quint16 word4 = 0x5A5A)
{
    QByteArray tail = version + QByteArray(1, '\0');
    return Bin8Header(0x8F12, word4, quint16(128 + tail.size())) + Build(b) + tail;
}
// 0x8F0F: header, the block, texts at 142, 272 and 336; size bytes in all.
inline QByteArray Bin8DdnsReply(const Bin8Block& b, const QByteArray& server,
                                const QByteArray& user, const QByteArray& pwd, int size = 400)
{
    QByteArray d = Bin8Header(0x8F0F, 0x5A5A, quint16(size - 8)) + Build(b);
    d.append(QByteArray(size - d.size(), '\0'));
    QByteArray s(size, '\0');
    Put(s, 0, d);
    auto putText = [&](int at, const QByteArray& t) {
        for (int i = 0; i < t.size() && at + i < size; ++i)
            s[at + i] = t[i];
    };
    putText(142, server);
    putText(272, user);
    putText(336, pwd);
    return s.left(size);
}

}  // namespace testpk
