#include "Bin8Family.h"

#include "ByteFields.h"
#include "CameraText.h"
#include "DeviceList.h"
#include "NetAddress.h"
#include "Tools.h"
#include "VendorCgi.h"

using namespace ByteFields;

namespace Bin8 {
namespace {

// Shortest 0x8F01 / 0x8F12 reply: header and network block. 0x8F01 copies offsets 12..139;
// bytes missing at its end are sent as zeros.
constexpr qsizetype kMinNetReply = kHeaderSize + kBlockSize;
// Shortest 0x8F0F reply: up to the first byte of the password text.
constexpr qsizetype kMinDdnsReply = kDdnsPwdAt + 1;
constexpr qsizetype kMacAt = kHeaderSize + 88;

// The name field's bytes: at most 23, a UTF-8 character never cut in half.
QByteArray NameField(const TDevInfo& rec)
{
    const QByteArray bytes = CameraTextBytes(rec.Name, rec.NameRaw);
    if (bytes.size() <= 23)
        return bytes;
    if (bytes == rec.Name.toUtf8())
        return Utf8Cut(rec.Name, 23);
    return bytes.left(23);  // the camera's own bytes, in whatever code page they are
}

// One 128-byte network block; empty when the MAC or serial number does not convert to its
// exact width.
std::optional<QByteArray> Block(const TDevInfo& rec, quint8 dhcpByte)
{
    const std::optional<QByteArray> mac = HexToBytes(rec.Mac);
    const std::optional<QByteArray> sn = HexToBytes(rec.SN);
    if (!mac || mac->size() != 6 || !sn || sn->size() != 7)
        return std::nullopt;

    QByteArray b(kBlockSize, '\0');
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
    // The name as the camera sent it while it is unchanged: the old block must be the
    // camera's own, byte for byte, and an unchanged name must not be re-encoded.
    PutBytes(b, 104, NameField(rec));  // and the NUL of the zeroed block
    return b;
}

}  // namespace

QByteArray SearchProbe()
{
    QByteArray p(kHeaderSize, '\0');
    p[0] = char(kMagic);
    p[1] = char(kMagic);
    PutLe16(p, 2, kCmdSearch);
    return p;
}

QByteArray Request(const QByteArray& replyHeader, quint16 command, const QByteArray& body)
{
    QByteArray p = replyHeader.left(kHeaderSize);
    p.append(QByteArray(kHeaderSize - p.size(), '\0'));
    PutLe16(p, 2, command);
    PutLe16(p, 6, quint16(body.size()));
    return p + body;
}

bool ParseNetReply(const QByteArray& dgram, TDevInfo& rec)
{
    if (dgram.size() < kMinNetReply)
        return false;
    constexpr qsizetype b = kHeaderSize;
    rec.Family = kFamily;
    rec.Mac = HexDigits(dgram.mid(b + 88, 6));
    rec.MacHex = MacHexOf(rec.Mac);
    rec.NameRaw = CBytes(dgram, b + 104, 24);
    rec.Name = CameraTextFromBytes(rec.NameRaw);
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
    rec.Version = CText(dgram, kMinNetReply, dgram.size() - kMinNetReply);
    return true;
}

bool ParseDdnsReply(const QByteArray& dgram, TDdnsReply& out)
{
    if (dgram.size() < kMinDdnsReply)
        return false;
    out.Mac = HexDigits(dgram.mid(kMacAt, 6));
    out.Server = CText(dgram, kDdnsServerAt, dgram.size());
    out.User = CText(dgram, kDdnsUserAt, dgram.size());
    out.Pwd = CText(dgram, kDdnsPwdAt, dgram.size());
    return true;
}

std::optional<QByteArray> BuildSetNetwork(const TDevInfo& oldRec, const TDevInfo& newRec)
{
    // The old block is the camera's own block sent back for it to recognise, so its texts go
    // as reported; only the new values are checked.
    if (!ValidIp(newRec.IP) || !ValidIp(newRec.Mask) || !ValidIp(newRec.Gateway) ||
        !ValidIp(newRec.Dns1) || !ValidOptionalIp(newRec.Dns2))
        return std::nullopt;
    const std::optional<QByteArray> oldBlock = Block(oldRec, oldRec.AddrMode);
    const std::optional<QByteArray> newBlock =
        Block(newRec, newRec.AddrMode == kAddrStatic ? 0 : 1);
    if (!oldBlock || !newBlock)
        return std::nullopt;

    QByteArray d(kHeaderSize, '\0');
    d[0] = char(kMagic);
    d[1] = char(kMagic);
    PutLe16(d, 2, kCmdWriteNet);
    PutLe16(d, 6, quint16(2 * kBlockSize));
    return d + *oldBlock + *newBlock;
}

bool IsExchange(const QByteArray& dgram)
{
    return dgram.size() >= 3 && quint8(dgram[0]) == kMagic && quint8(dgram[1]) == kMagic;
}

bool ParseExchange(const QByteArray& dgram, TDevInfo& rec, const TDeviceList* list,
                   QByteArray* followUp)
{
    if (!IsExchange(dgram) || dgram.size() < 4)
        return false;  // no room for the command

    switch (Le16(dgram, 2)) {
    case kCmdSearch | kReplyBit: {
        if (dgram.size() < kMinNetReply)
            return false;
        QByteArray block = dgram.mid(12, kBlockSize);
        block.append(QByteArray(kBlockSize - block.size(), '\0'));
        if (followUp)
            *followUp = Request(dgram, kCmdReadNet, block);
        return false;
    }
    case kCmdReadNet | kReplyBit:
        if (!ParseNetReply(dgram, rec))
            return false;
        if (followUp)
            *followUp = Request(dgram, kCmdReadDdns, dgram.mid(kHeaderSize, kBlockSize));
        return true;
    case kCmdReadDdns | kReplyBit: {
        TDdnsReply ddns;
        if (!ParseDdnsReply(dgram, ddns))
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

}  // namespace Bin8

TBin8Family::TBin8Family()
{
    traits_.series = QStringLiteral("H");
    traits_.applyCommand = true;
    // Its exchange takes several round trips before the first record.
    traits_.firstTimeToLive = 30;
    traits_.offersPppoe = false;
    traits_.firmwareUpgrade = true;
    traits_.mapsDataPort = true;
    traits_.applyKeepsLogin = true;
    traits_.applyShowsBusy = true;
    traits_.ddnsEditable = false;
    // The whole network block travels, without a login; the name in 23 bytes and a NUL.
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetHttpPort |
                         kNetDataPort | kNetName | kNetAddrMode;
    traits_.netReported = traits_.netCarried;
    traits_.nameBytes = 23;
    traits_.easyListed = true;
}

void TBin8Family::SendProbes(ISearchSink& sink, int /*tick*/, bool /*withLibrary*/)
{
    sink.SendBroadcast(Bin8::kSearchSocket, Bin8::SearchProbe(), Bin8::kPort);
}

TReplyMatch TBin8Family::ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink)
{
    if (!Bin8::IsExchange(datagram))
        return TReplyMatch::NotMine;
    // The next step of the exchange goes back out of the adapter the answer came in on.
    const quint32 arrivedOn = rec.Adapter;
    // Only the DDNS answer completes a known row; the other steps do not look at the list
    // (so that the engine may replay them, TFamilyTraits::repeatableReplies).
    const bool completesRow = Le16(datagram, 2) == (Bin8::kCmdReadDdns | Bin8::kReplyBit);
    QByteArray followUp;
    const bool merge =
        Bin8::ParseExchange(datagram, rec, completesRow ? &sink.Devices() : nullptr, &followUp);
    if (!followUp.isEmpty())
        sink.SendBroadcastOn(arrivedOn, Bin8::kSearchSocket, followUp, Bin8::kPort);
    return merge ? TReplyMatch::Record : TReplyMatch::Handled;
}

TApplyResult TBin8Family::ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                                       const TDevInfo& newRec, const TLogin&)
{
    const std::optional<QByteArray> d = Bin8::BuildSetNetwork(oldRec, newRec);
    if (!d)
        return TApplyResult::kMalformed;
    const int socket = origin == TApplyOrigin::Advanced ? Bin8::kAdvancedSocket : Bin8::kEasySocket;
    return sink.SendBroadcastOn(oldRec.Adapter, socket, *d, Bin8::kPort)
               ? TApplyResult::kSent
               : TApplyResult::kSendFailed;
}

TLoginResult TBin8Family::TestCredentials(const QString& devUrl, const TLogin& login)
{
    return VendorCgi::TestParamsLogin(devUrl, login);
}

bool TBin8Family::Restart(const TDevInfo& cam, const TLogin& login)
{
    return VendorCgi::RequestRestart(cam, QStringLiteral("/cgi-bin/reboot.cgi?next_url=reboot.htm"),
                                     login);
}

bool TBin8Family::CheckReachable(const TDevInfo& cam, const TCancelToken& cancel)
{
    if (!cancel.Pause(VendorCgi::kSettleAfterAddressMs))
        return false;
    QString reply;
    return TTools::HttpGetText(InnerUrl(cam) + QStringLiteral("/get_status.cgi"), QString(), QString(),
                               VendorCgi::kReachTimeoutMs, reply, cancel.Check());
}
