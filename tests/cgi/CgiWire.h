#pragma once
// Family-9 datagrams built straight from the wire layout, written apart from the driver's own
// builders so that the two check each other.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace wire {

inline void Put(QByteArray& d, int at, const QByteArray& bytes)
{
    if (d.size() < at + bytes.size())
        d.append(QByteArray(at + bytes.size() - d.size(), '\0'));
    for (int i = 0; i < bytes.size(); ++i)
        d[at + i] = bytes[i];
}

inline void PutLe16(QByteArray& d, int at, std::uint16_t v)
{
    Put(d, at, QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)));
}

inline void PutLe32(QByteArray& d, int at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        Put(d, at + i, QByteArray(1, char((v >> (8 * i)) & 0xFF)));
}

// A search reply (type 0x0801) as a camera sends it.
struct SearchReply {
    std::uint16_t magic = 0x4844;
    std::uint16_t type = 0x0801;
    QByteArray ip = "192.168.1.30", mask = "255.255.255.0", gw = "192.168.1.1";
    QByteArray dns1 = "8.8.8.8", dns2 = "8.8.4.4";
    std::array<std::uint8_t, 6> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::uint16_t port = 81;
    QByteArray id = "T0012345";
    QByteArray name = "Garden";
    QByteArray version = "48.2.0.99";
    QByteArray user = "admin", pwd = "";
    std::uint8_t dhcp = 1;
    QByteArray ddnsServer = "ddns.example.net:808", ddnsHost = "t0012345.example.net";
    QByteArray ddnsUser = "T0012345", ddnsPwd = "ddnspw";
    int size = 516;
};

inline QByteArray Build(const SearchReply& r)
{
    QByteArray d(1024, '\0');
    PutLe16(d, 0, r.magic);
    PutLe16(d, 2, r.type);
    Put(d, 4, r.ip);
    Put(d, 20, r.mask);
    Put(d, 36, r.gw);
    Put(d, 52, r.dns1);
    Put(d, 68, r.dns2);
    Put(d, 84, QByteArray(reinterpret_cast<const char*>(r.mac.data()), 6));
    PutLe16(d, 90, r.port);
    Put(d, 92, r.id);
    Put(d, 124, r.name);
    Put(d, 204, r.version);
    Put(d, 236, r.user);
    Put(d, 268, r.pwd);
    d[301] = char(r.dhcp);
    Put(d, 324, r.ddnsServer);
    Put(d, 388, r.ddnsHost);
    Put(d, 452, r.ddnsUser);
    Put(d, 484, r.ddnsPwd);
    return d.left(r.size);
}

// The answer to an address change (type 0x0802): the request's first 324 bytes and a result.
inline QByteArray Answer(const QByteArray& request, std::uint32_t result,
                         std::uint16_t type = 0x0802)
{
    QByteArray d = request.left(324);
    if (d.size() < 324)
        d.append(QByteArray(324 - d.size(), '\0'));
    PutLe16(d, 0, 0x4844);
    PutLe16(d, 2, type);
    PutLe32(d, 324, result);
    return d;
}

inline QByteArray Field(const QByteArray& d, int at, int size)
{
    const QByteArray f = d.mid(at, size);
    const int zero = int(f.indexOf('\0'));
    return zero < 0 ? f : f.left(zero);
}

}  // namespace wire
