#include "Probes.h"

#include "ByteFields.h"

#include "DeviceList.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

namespace {
using ByteFields::Byte;
using ByteFields::Le16;
using ByteFields::Be16;
using ByteFields::Le32;
using ByteFields::PutLe16;






// The bytes of a NUL-terminated text in a field of at most maxLen bytes; a field that runs
// past the end of the datagram ends there.
QByteArray CBytes(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    if (at < 0 || at >= d.size() || maxLen <= 0)
        return QByteArray();
    const qsizetype end = std::min(d.size(), at + maxLen);
    qsizetype n = 0;
    while (at + n < end && d[at + n] != '\0')
        ++n;
    return d.mid(at, n);
}

QString CText(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    return QString::fromLatin1(CBytes(d, at, maxLen));
}

QString CTextUtf8(const QByteArray& d, qsizetype at, qsizetype maxLen)
{
    return QString::fromUtf8(CBytes(d, at, maxLen));
}

QString Dotted(const QByteArray& d, qsizetype at)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(Byte(d, at))
        .arg(Byte(d, at + 1))
        .arg(Byte(d, at + 2))
        .arg(Byte(d, at + 3));
}

// Shortest 0x8F01 / 0x8F12 reply: header and network block. 0x8F01 copies offsets 12..139;
// bytes missing at its end are sent as zeros.
constexpr qsizetype kBin8MinNetReply = Bin8::kHeaderSize + Bin8::kBlockSize;
// Shortest 0x8F0F reply: up to the first byte of the password text.
constexpr qsizetype kBin8MinDdnsReply = Bin8::kDdnsPwdAt + 1;
constexpr qsizetype kBin8MacAt = Bin8::kHeaderSize + 88;

}  // namespace

QByteArray ImagiaProbe()
{
    return QByteArrayLiteral("IMAGIAQUERY,0");
}

QByteArray Sq610Probe()
{
    static constexpr quint8 kItems[][2] = {
        {0x10, 6},  {0x20, 16}, {0x21, 16}, {0x11, 4},  {0x12, 4},  {0x13, 4},  {0x14, 4},
        {0x1F, 4},  {0x22, 16}, {0x23, 16}, {0x24, 4},  {0x28, 4},  {0x25, 30}, {0x26, 1},
    };
    QByteArray p = QByteArrayLiteral("SQ610");
    for (const auto& item : kItems) {
        p.append(char(item[0]));
        p.append(char(item[1]));
        p.append(QByteArray(item[1], '\0'));
    }
    p.append(QByteArray(256 - p.size(), '\0'));
    return p;
}

QByteArray MoIProbe()
{
    QByteArray p(MoI::kHeaderSize + 4, '\0');
    std::memcpy(p.data(), "MO_I", 4);
    PutLe16(p, 4, MoI::kOpSearch);
    p[15] = 4;  // body length, little-endian 32-bit
    p[MoI::kHeaderSize + 3] = 1;
    return p;
}

QByteArray UicamProbe()
{
    return QByteArrayLiteral("uicam query");
}

QByteArray CtpProbe()
{
    return QByteArrayLiteral("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");
}

QByteArray Bin8Probe()
{
    QByteArray p(Bin8::kHeaderSize, '\0');
    p[0] = char(Bin8::kMagic);
    p[1] = char(Bin8::kMagic);
    PutLe16(p, 2, Bin8::kCmdSearch);
    return p;
}

bool ImagiaProbeDue(int tick)
{
    return tick % 3 == 0;
}

QByteArray Bin8Request(const QByteArray& replyHeader, quint16 command, const QByteArray& body)
{
    QByteArray p = replyHeader.left(Bin8::kHeaderSize);
    p.append(QByteArray(Bin8::kHeaderSize - p.size(), '\0'));
    PutLe16(p, 2, command);
    PutLe16(p, 6, quint16(body.size()));
    return p + body;
}

bool ParseMoIReply(const QByteArray& dgram, TDevInfo& rec)
{
    QByteArray buf(MoI::kReplyBufferSize, '\0');
    std::memcpy(buf.data(), dgram.constData(),
                size_t(std::min<qsizetype>(dgram.size(), MoI::kReplyBufferSize)));
    const quint32 bodyLength = Le32(buf, 15);
    if (Le16(buf, 4) != MoI::kOpSearchReply ||
        (bodyLength != 64 && bodyLength != 65 && bodyLength != 195))
        return false;

    constexpr qsizetype b = MoI::kHeaderSize;
    rec.Family = kFamilyMoI;
    rec.AddrMode = kAddrStatic;
    rec.Mac = CText(buf, b, 13);
    rec.MacHex = MacHexOf(rec.Mac);
    rec.Name = CTextUtf8(buf, b + 13, 21);
    rec.IP = Dotted(buf, b + 34);
    rec.Mask = Dotted(buf, b + 38);
    rec.Gateway = Dotted(buf, b + 42);
    rec.Dns1 = Dotted(buf, b + 46);
    rec.Version = Dotted(buf, b + 54) + u':' + Dotted(buf, b + 58);
    rec.HttpPort = Be16(buf, b + 62);
    if (bodyLength == 195) {
        rec.AddrMode = Byte(buf, b + 64) == 1 ? kAddrDhcp : kAddrStatic;
        rec.DdnsServer = CText(buf, b + 65, 65);
        rec.DdnsUser = CText(buf, b + 130, 65);
    }
    return true;
}

bool ParseCtpReply(const QByteArray& dgram, TDevInfo& rec)
{
    rec.Family = kFamilyCtp;
    rec.AddrMode = kAddrStatic;
    const QStringList lines = QString::fromUtf8(dgram).split(QStringLiteral("\r\n"));
    auto value = [&lines](const QString& key, QString* out) {
        for (const QString& line : lines) {
            if (line.startsWith(key, Qt::CaseSensitive)) {
                *out = line.mid(key.size() + 1);  // the key and one separator
                return true;
            }
        }
        return false;
    };
    QString v;
    if (value(QStringLiteral("-sn"), &v))
        rec.SN = v;
    if (value(QStringLiteral("-name"), &v))
        rec.Name = v;
    if (value(QStringLiteral("-ip"), &v))
        rec.IP = v;
    if (value(QStringLiteral("-netmask"), &v))
        rec.Mask = v;
    if (value(QStringLiteral("-portctp"), &v)) {
        bool ok = false;
        const int port = v.toInt(&ok, 10);
        rec.HttpPort = ok ? quint16(port) : quint16(80);
    }
    if (value(QStringLiteral("-mdns"), &v))
        rec.Dns1 = v;
    if (value(QStringLiteral("-sdns"), &v))
        rec.Dns2 = v;
    if (value(QStringLiteral("-mac"), &v)) {
        rec.Mac = v.remove(u':');
        rec.MacHex = MacHexOf(rec.Mac);
    }
    if (value(QStringLiteral("-gw"), &v))
        rec.Gateway = v;
    if (value(QStringLiteral("-ddnsuser"), &v))
        rec.DdnsUser = v;
    if (value(QStringLiteral("-ddnspswd"), &v))
        rec.DdnsPwd = v;
    // By prefix: an earlier "-ddnsuser" or "-ddnspswd" line is taken for the server.
    if (value(QStringLiteral("-ddns"), &v))
        rec.DdnsServer = v;
    if (value(QStringLiteral("-version"), &v))
        rec.Version = v;
    return true;
}

bool ParseBin8NetReply(const QByteArray& dgram, TDevInfo& rec)
{
    if (dgram.size() < kBin8MinNetReply)
        return false;
    constexpr qsizetype b = Bin8::kHeaderSize;
    rec.Family = kFamilyBin8;
    rec.Mac = HexDigits(dgram.mid(b + 88, 6));
    rec.MacHex = MacHexOf(rec.Mac);
    rec.Name = CTextUtf8(dgram, b + 104, 24);
    rec.IP = CText(dgram, b, 16);
    rec.Mask = CText(dgram, b + 16, 16);
    rec.Gateway = CText(dgram, b + 32, 16);
    rec.Dns1 = CText(dgram, b + 48, 16);
    rec.Dns2 = CText(dgram, b + 64, 16);
    rec.SN = HexDigits(dgram.mid(b + 96, 7));
    rec.HttpPort = Le16(dgram, b + 80);
    rec.DataPort = Le16(dgram, b + 86);
    rec.AddrMode = Byte(dgram, b + 103) != 0 ? kAddrDhcp : kAddrStatic;
    rec.Word8 = Le16(dgram, b + 94);
    rec.Version = CText(dgram, kBin8MinNetReply, dgram.size() - kBin8MinNetReply);
    return true;
}

bool ParseBin8DdnsReply(const QByteArray& dgram, TBin8Ddns& out)
{
    if (dgram.size() < kBin8MinDdnsReply)
        return false;
    out.Mac = HexDigits(dgram.mid(kBin8MacAt, 6));
    out.Server = CText(dgram, Bin8::kDdnsServerAt, dgram.size());
    out.User = CText(dgram, Bin8::kDdnsUserAt, dgram.size());
    out.Pwd = CText(dgram, Bin8::kDdnsPwdAt, dgram.size());
    return true;
}

bool ParseReply(const QByteArray& dgram, TDevInfo& rec, const TDeviceList* list,
                QByteArray* followUp)
{
    if (dgram.startsWith("MO_I"))
        return ParseMoIReply(dgram, rec);
    if (dgram.startsWith("REPLY"))
        return ParseCtpReply(dgram, rec);
    if (dgram.size() < 3 || quint8(dgram[0]) != Bin8::kMagic || quint8(dgram[1]) != Bin8::kMagic)
        return false;
    if (dgram.size() < 4)
        return false;  // no room for the command

    switch (Le16(dgram, 2)) {
    case Bin8::kCmdSearch | Bin8::kReplyBit: {
        if (dgram.size() < kBin8MinNetReply)
            return false;
        QByteArray block = dgram.mid(12, Bin8::kBlockSize);
        block.append(QByteArray(Bin8::kBlockSize - block.size(), '\0'));
        if (followUp)
            *followUp = Bin8Request(dgram, Bin8::kCmdReadNet, block);
        return false;
    }
    case Bin8::kCmdReadNet | Bin8::kReplyBit:
        if (!ParseBin8NetReply(dgram, rec))
            return false;
        if (followUp)
            *followUp = Bin8Request(dgram, Bin8::kCmdReadDdns,
                                    dgram.mid(Bin8::kHeaderSize, Bin8::kBlockSize));
        return true;
    case Bin8::kCmdReadDdns | Bin8::kReplyBit: {
        TBin8Ddns ddns;
        if (!ParseBin8DdnsReply(dgram, ddns))
            return false;
        if (const TDevInfo* known = list ? list->FindRecordByMac(ddns.Mac) : nullptr) {
            rec = *known;
            rec.DdnsServer = ddns.Server;
            rec.DdnsUser = ddns.User;
            rec.DdnsPwd = ddns.Pwd;
        }
        return true;  // an unknown camera leaves rec at family -1, which the merge ignores
    }
    default:
        return false;
    }
}
