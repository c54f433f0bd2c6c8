#include "MoiFamily.h"

#include "ByteFields.h"
#include "CameraText.h"
#include "NetAddress.h"
#include "VendorCgi.h"

#include <cstring>

using namespace ByteFields;

namespace MoI {

QByteArray SearchProbe()
{
    QByteArray p(kHeaderSize + 4, '\0');
    std::memcpy(p.data(), "MO_I", 4);
    PutLe16(p, 4, kOpSearch);
    p[15] = 4;  // body length, little-endian 32-bit
    p[kHeaderSize + 3] = 1;
    return p;
}

bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec)
{
    QByteArray buf(kReplyBufferSize, '\0');
    std::memcpy(buf.data(), dgram.constData(),
                size_t(std::min<qsizetype>(dgram.size(), kReplyBufferSize)));
    const quint32 bodyLength = Le32(buf, 15);
    // Real firmware announces other lengths too (88-byte datagrams announcing 98): anything
    // from 64 up is read by the core layout.
    if (Le16(buf, 4) != kOpSearchReply || bodyLength < kCoreBody)
        return false;

    constexpr qsizetype b = kHeaderSize;
    rec.Family = kFamily;
    rec.AddrMode = kAddrStatic;
    rec.Mac = CText(buf, b, 13);
    rec.MacHex = MacHexOf(rec.Mac);
    rec.NameRaw = CBytes(buf, b + 13, 21);
    rec.Name = CameraTextFromBytes(rec.NameRaw);
    rec.IP = Dotted(buf, b + 34);
    rec.Mask = Dotted(buf, b + 38);
    rec.Gateway = Dotted(buf, b + 42);
    rec.Dns1 = Dotted(buf, b + 46);
    rec.Version = Dotted(buf, b + 54) + u':' + Dotted(buf, b + 58);
    rec.HttpPort = Be16(buf, b + 62);
    if (bodyLength == kDdnsBody) {
        rec.AddrMode = Byte(buf, b + 64) == 1 ? kAddrDhcp : kAddrStatic;
        rec.DdnsServer = CText(buf, b + 65, 65);
        rec.DdnsUser = CText(buf, b + 130, 65);
    } else if (bodyLength != kCoreBody && bodyLength != kCoreBody + 1) {
        // The lengths of other firmware: the DHCP flag where the 195-byte layout has it, when
        // the datagram reaches that far (a byte it does not hold reads as zero: static).
        rec.AddrMode = Byte(buf, b + 64) == 1 ? kAddrDhcp : kAddrStatic;
    }
    return true;
}

std::optional<QByteArray> BuildSetNetwork(const TDevInfo& newRec, const QString& user,
                                          const QString& password)
{
    // The MAC text is how the camera knows the message is meant for it: cutting it would
    // address another camera, and a non-Latin-1 character cannot be the one it reported.
    const QByteArray mac = newRec.Mac.toLatin1();
    if (mac.isEmpty() || mac.size() > kTextField || QString::fromLatin1(mac) != newRec.Mac)
        return std::nullopt;
    const auto ip = IpToBytes(newRec.IP);
    const auto mask = IpToBytes(newRec.Mask);
    const auto gw = IpToBytes(newRec.Gateway);
    const auto dns = IpToBytes(newRec.Dns1);
    if (!ip || !mask || !gw || !dns)
        return std::nullopt;

    QByteArray d(kSetNetworkSize, '\0');
    std::memcpy(d.data(), "MO_I", 4);
    PutLe16(d, 4, kOpSetNetwork);
    d[15] = char(kSetNetworkSize - kHeaderSize);  // body length 61, little-endian 32-bit
    constexpr qsizetype b = kHeaderSize;
    // Texts of 13 bytes, NUL-terminated only when shorter (the message starts zeroed).
    PutBytes(d, b + 4, mac);
    PutBytes(d, b + 17, Utf8Cut(user, kTextField));
    PutBytes(d, b + 30, Utf8Cut(password, kTextField));
    PutQuad(d, b + 43, *ip);
    PutQuad(d, b + 47, *mask);
    PutQuad(d, b + 51, *gw);
    PutQuad(d, b + 55, *dns);
    d[b + 59] = char(newRec.HttpPort >> 8);  // big-endian
    d[b + 60] = char(newRec.HttpPort & 0xFF);
    return d;
}

}  // namespace MoI

TMoiFamily::TMoiFamily()
{
    traits_.series = QStringLiteral("F");
    traits_.applyCommand = true;
    traits_.nameEditable = false;
    traits_.addressModeChoice = false;
    traits_.ddnsPassword = false;
    traits_.firmwareUpgrade = true;
    // Neither the name, the second DNS server nor the address mode travels; the reply tells
    // the mode only in its 195-byte form.
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetHttpPort | kNetUser |
                         kNetPassword;
    traits_.netReported = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetHttpPort;
    traits_.userBytes = MoI::kTextField;
    traits_.passwordBytes = MoI::kTextField;
    traits_.easyListed = true;
}

void TMoiFamily::SendProbes(ISearchSink& sink, int /*tick*/, bool /*withLibrary*/)
{
    sink.SendBroadcast(MoI::kSocket, MoI::SearchProbe(), MoI::kPort);
}

TReplyMatch TMoiFamily::ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink&)
{
    if (!datagram.startsWith("MO_I"))
        return TReplyMatch::NotMine;
    return MoI::ParseSearchReply(datagram, rec) ? TReplyMatch::Record : TReplyMatch::Handled;
}

TApplyResult TMoiFamily::ApplyNetwork(ISearchSink& sink, TApplyOrigin, const TDevInfo& oldRec,
                                      const TDevInfo& newRec, const TLogin& login)
{
    const std::optional<QByteArray> d = MoI::BuildSetNetwork(newRec, login.user, login.password);
    if (!d)
        return TApplyResult::kMalformed;
    return sink.SendBroadcastOn(oldRec.Adapter, MoI::kSocket, *d, MoI::kPort)
               ? TApplyResult::kSent
               : TApplyResult::kSendFailed;
}

TLoginResult TMoiFamily::TestCredentials(const QString& devUrl, const TLogin& login)
{
    return VendorCgi::TestParamsLogin(devUrl, login);
}

bool TMoiFamily::Restart(const TDevInfo& cam, const TLogin& login)
{
    return VendorCgi::RequestRestart(cam, QStringLiteral("/reboot.cgi?next_url=reboot.htm"), login);
}
