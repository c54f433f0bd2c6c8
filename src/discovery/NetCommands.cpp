#include "NetCommands.h"

#include "ByteFields.h"

#include "DiscoveryEngine.h"
#include "Probes.h"

#include <cstring>

namespace {
using ByteFields::PutLe16;


void PutBytes(QByteArray& d, qsizetype at, const QByteArray& bytes)
{
    std::memcpy(d.data() + at, bytes.constData(), size_t(bytes.size()));
}

void PutIp(QByteArray& d, qsizetype at, const TIp4& ip)
{
    for (size_t i = 0; i < ip.size(); ++i)
        d[at + qsizetype(i)] = char(ip[i]);
}

// At most maxBytes of UTF-8, cut before a character that would not fit whole.
QByteArray Utf8Cut(const QString& text, qsizetype maxBytes)
{
    QByteArray b = text.toUtf8();
    if (b.size() <= maxBytes)
        return b;
    qsizetype n = maxBytes;
    while (n > 0 && (quint8(b[n]) & 0xC0) == 0x80)  // b[n] starts the part that is cut off
        --n;
    return b.left(n);
}

bool HasLineBreak(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n');
}

// Every address of a command must be a dotted quad; an optional one may also be empty.
bool ValidIp(const QString& s)
{
    return IpToBytes(s).has_value();
}

bool ValidOptionalIp(const QString& s)
{
    return s.isEmpty() || ValidIp(s);
}

int HexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

bool AllHex(const QString& s)
{
    for (QChar c : s) {
        if (HexValue(c) < 0)
            return false;
    }
    return true;
}

// One 128-byte family-8 network block; empty when the MAC or serial number does not convert
// to its exact width.
std::optional<QByteArray> Bin8Block(const TDevInfo& rec, quint8 dhcpByte)
{
    const std::optional<QByteArray> mac = HexToBytes(rec.Mac);
    const std::optional<QByteArray> sn = HexToBytes(rec.SN);
    if (!mac || mac->size() != 6 || !sn || sn->size() != 7)
        return std::nullopt;

    QByteArray b(Bin8::kBlockSize, '\0');
    // Text fields of 16 bytes, NUL-terminated when shorter; the block starts zeroed.
    const QString* texts[] = {&rec.IP, &rec.Mask, &rec.Gateway, &rec.Dns1, &rec.Dns2};
    for (int i = 0; i < 5; ++i)
        PutBytes(b, 16 * i, texts[i]->toLatin1().left(16));
    PutLe16(b, 80, rec.HttpPort);
    PutLe16(b, 82, rec.HttpPort);
    PutLe16(b, 84, rec.HttpPort);
    PutLe16(b, 86, rec.DataPort);
    PutBytes(b, 88, *mac);
    PutLe16(b, 94, rec.Word8);
    PutBytes(b, 96, *sn);
    b[103] = char(dhcpByte);
    PutBytes(b, 104, Utf8Cut(rec.Name, 23));  // and the NUL of the zeroed block
    return b;
}

TNetSendResult Send(DiscoveryEngine& engine, int socketNumber, quint16 port,
                    const std::optional<QByteArray>& datagram)
{
    if (!datagram)
        return TNetSendResult::kMalformed;
    return engine.SendBroadcast(socketNumber, *datagram, port) ? TNetSendResult::kSent
                                                               : TNetSendResult::kSendFailed;
}

}  // namespace

std::optional<TIp4> IpToBytes(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    TIp4 out{};
    for (int i = 0; i < 4; ++i) {
        const QString& p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            return std::nullopt;
        int v = 0;
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            v = v * 10 + (c.unicode() - u'0');
        }
        if (v > 255)
            return std::nullopt;
        out[size_t(i)] = quint8(v);
    }
    return out;
}

QString BytesToIp(const TIp4& bytes)
{
    return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

std::optional<QByteArray> HexToBytes(const QString& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray out(text.size() / 2, '\0');
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int hi = HexValue(text[2 * i]);
        const int lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out[i] = char(hi * 16 + lo);
    }
    return out;
}

QString MacWithColons(const QString& mac)
{
    QStringList pairs;
    for (qsizetype end = mac.size(); end >= 2; end -= 2)
        pairs.prepend(mac.mid(end - 2, 2));
    return pairs.join(u':');
}

std::optional<QByteArray> BuildSetNetMoI(const TDevInfo& newRec, const QString& user,
                                         const QString& password)
{
    using NetCmd::kMoITextField;
    // The MAC text is how the camera knows the message is meant for it: cutting it would
    // address another camera, and a non-Latin-1 character cannot be the one it reported.
    const QByteArray mac = newRec.Mac.toLatin1();
    if (mac.isEmpty() || mac.size() > kMoITextField || QString::fromLatin1(mac) != newRec.Mac)
        return std::nullopt;
    const auto ip = IpToBytes(newRec.IP);
    const auto mask = IpToBytes(newRec.Mask);
    const auto gw = IpToBytes(newRec.Gateway);
    const auto dns = IpToBytes(newRec.Dns1);
    if (!ip || !mask || !gw || !dns)
        return std::nullopt;

    QByteArray d(NetCmd::kMoISize, '\0');
    std::memcpy(d.data(), "MO_I", 4);
    PutLe16(d, 4, MoI::kOpSetNetwork);
    d[15] = char(NetCmd::kMoISize - MoI::kHeaderSize);  // body length 61, little-endian 32-bit
    constexpr qsizetype b = MoI::kHeaderSize;
    // Texts of 13 bytes, NUL-terminated only when shorter (the message starts zeroed).
    PutBytes(d, b + 4, mac);
    PutBytes(d, b + 17, Utf8Cut(user, kMoITextField));
    PutBytes(d, b + 30, Utf8Cut(password, kMoITextField));
    PutIp(d, b + 43, *ip);
    PutIp(d, b + 47, *mask);
    PutIp(d, b + 51, *gw);
    PutIp(d, b + 55, *dns);
    d[b + 59] = char(newRec.HttpPort >> 8);  // big-endian
    d[b + 60] = char(newRec.HttpPort & 0xFF);
    return d;
}

std::optional<QByteArray> BuildSetNetCtp(const TDevInfo& oldRec, const TDevInfo& newRec,
                                         const QString& password)
{
    if (!ValidIp(oldRec.IP) || !ValidIp(newRec.IP) || !ValidIp(newRec.Mask) ||
        !ValidIp(newRec.Gateway) || !ValidIp(newRec.Dns1) || !ValidOptionalIp(newRec.Dns2))
        return std::nullopt;
    if (!AllHex(newRec.Mac))
        return std::nullopt;
    if (HasLineBreak(newRec.SN) || HasLineBreak(newRec.Name) || HasLineBreak(password))
        return std::nullopt;

    const QString body = QStringLiteral("\r\n") +
                         QStringLiteral("-sn ") + newRec.SN + QStringLiteral("\r\n") +
                         QStringLiteral("-interface ") + oldRec.IP + QStringLiteral("\r\n") +
                         QStringLiteral("-pswd ") + password + QStringLiteral("\r\n") +
                         (newRec.AddrMode == kAddrDhcp ? QStringLiteral("-dhcpen 1\r\n")
                                                       : QStringLiteral("-dhcpen 0\r\n")) +
                         QStringLiteral("-ip ") + newRec.IP + QStringLiteral("\r\n") +
                         QStringLiteral("-netmask ") + newRec.Mask + QStringLiteral("\r\n") +
                         QStringLiteral("-defgw ") + newRec.Gateway + QStringLiteral("\r\n") +
                         QStringLiteral("-name ") + newRec.Name + QStringLiteral("\r\n") +
                         QStringLiteral("-mdns ") + newRec.Dns1 + QStringLiteral("\r\n") +
                         QStringLiteral("-sdns ") + newRec.Dns2 + QStringLiteral("\r\n") +
                         QStringLiteral("-mac ") + MacWithColons(newRec.Mac) +
                         QStringLiteral("\r\n") + QStringLiteral("-port ") +
                         QString::number(newRec.HttpPort) + QStringLiteral("\r\n") +
                         QStringLiteral("\r\n");
    const QByteArray bodyBytes = body.toUtf8();
    // The body's leading CR LF is the blank line after the header, and is counted.
    return QByteArrayLiteral("CMD setip CTP/1.0\r\nContent-Length: ") +
           QByteArray::number(bodyBytes.size()) + QByteArrayLiteral("\r\n") + bodyBytes;
}

std::optional<QByteArray> BuildSetNetBin8(const TDevInfo& oldRec, const TDevInfo& newRec)
{
    // The old block is the camera's own block sent back for it to recognise, so its texts go
    // as reported; only the new values are checked.
    if (!ValidIp(newRec.IP) || !ValidIp(newRec.Mask) || !ValidIp(newRec.Gateway) ||
        !ValidIp(newRec.Dns1) || !ValidOptionalIp(newRec.Dns2))
        return std::nullopt;
    const std::optional<QByteArray> oldBlock = Bin8Block(oldRec, oldRec.AddrMode);
    const std::optional<QByteArray> newBlock =
        Bin8Block(newRec, newRec.AddrMode == kAddrStatic ? 0 : 1);
    if (!oldBlock || !newBlock)
        return std::nullopt;

    QByteArray d(Bin8::kHeaderSize, '\0');
    d[0] = char(Bin8::kMagic);
    d[1] = char(Bin8::kMagic);
    PutLe16(d, 2, Bin8::kCmdWriteNet);
    PutLe16(d, 6, quint16(2 * Bin8::kBlockSize));
    return d + *oldBlock + *newBlock;
}

TNetSendResult SetNetMoI(DiscoveryEngine& engine, int socketNumber, quint16 port,
                         const TDevInfo& /*oldRec*/, const TDevInfo& newRec, const QString& user,
                         const QString& password)
{
    return Send(engine, socketNumber, port, BuildSetNetMoI(newRec, user, password));
}

TNetSendResult SetNetCtp(DiscoveryEngine& engine, int socketNumber, quint16 port,
                         const TDevInfo& oldRec, const TDevInfo& newRec, const QString& /*user*/,
                         const QString& password)
{
    return Send(engine, socketNumber, port, BuildSetNetCtp(oldRec, newRec, password));
}

TNetSendResult SetNetBin8(DiscoveryEngine& engine, int socketNumber, quint16 port,
                          const TDevInfo& oldRec, const TDevInfo& newRec, const QString& /*user*/,
                          const QString& /*password*/)
{
    return Send(engine, socketNumber, port, BuildSetNetBin8(oldRec, newRec));
}
