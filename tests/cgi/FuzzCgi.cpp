// libFuzzer target: any bytes as what a family-9 camera sends. As a UDP datagram, through the
// search-reply reader (cut to the receive thread's buffer, then merged into a list) and the
// address-change answer reader; as the body of a CGI page, turned into text the way
// HttpGetText does, through every reader of the pages' script answers. What the readers give
// back must go out again without changing the structure of our own packets and requests.
// Run by scripts/fuzz (fuzz_cgi).

#include "CgiPackets.h"
#include "DeviceList.h"
#include "TestFamilies.h"
#include "Tools.h"

#include <QCoreApplication>
#include <cstdint>
#include <memory>

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

const QString kBase = QStringLiteral("http://10.0.0.5:81");

// A text field of our own address-change packet, read by the wire layout: up to the first
// zero, UTF-8.
QString PacketField(const QByteArray& d, int at, int size)
{
    const QByteArray f = d.mid(at, size);
    const qsizetype zero = f.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? f : f.left(zero));
}

// Values must never add, end or hide a query parameter: the request keeps the shape it has
// with empty values.
void CheckQueryShape(const QString& url, const QString& emptyUrl)
{
    Check(url.count(QLatin1Char('&')) == emptyUrl.count(QLatin1Char('&')));
    Check(url.count(QLatin1Char('=')) == emptyUrl.count(QLatin1Char('=')));
    Check(url.count(QLatin1Char('?')) == 1 && !url.contains(QLatin1Char('#')));
    for (const QChar c : url)
        Check(c.unicode() > 0x20 && c.unicode() < 0x7F);
}

void Datagram(const QByteArray& dgram, TDeviceList& list)
{
    TDevInfo rec;
    if (Cgi::ParseSearchReply(dgram.left(Cgi::kReplyBufferSize), rec)) {
        Check(rec.Family == Cgi::kFamily && rec.MacHex.size() == 12);
        Check(rec.IP.size() <= Cgi::kAddrSize && rec.Dns2.size() <= Cgi::kAddrSize);
        Check(rec.SN.size() <= Cgi::kIdSize && rec.Name.size() <= Cgi::kNameSize);
        Check(rec.Version.size() <= Cgi::kVersionSize && rec.LoginPwd.size() <= Cgi::kLoginSize);
        Check(rec.DdnsHost.size() <= Cgi::kDdnsLongSize && rec.DdnsPwd.size() <= Cgi::kDdnsShortSize);
        list.AddOrUpdateDevice(rec);
        list.UpdateDeviceCount();

        // The record, sent back as an address change: every text that fits its field comes
        // back unchanged from our own packet.
        const QByteArray change = Cgi::AddressChange(rec, rec.LoginUser, rec.LoginPwd);
        Check(change.size() == Cgi::kSetNetworkSize);
        Check(Cgi::ParseAddressChangeAnswer(change) == Cgi::TAnswer::NotAnswer);
        const auto same = [&](const QString& value, int at, int size) {
            if (value.toUtf8().size() < size)
                Check(PacketField(change, at, size) == value);
            else
                Check(PacketField(change, at, size).toUtf8().size() < size);
        };
        same(rec.IP, Cgi::kIpAt, Cgi::kAddrSize);
        same(rec.Mask, Cgi::kMaskAt, Cgi::kAddrSize);
        same(rec.Gateway, Cgi::kGatewayAt, Cgi::kAddrSize);
        same(rec.Dns1, Cgi::kDns1At, Cgi::kAddrSize);
        same(rec.Dns2, Cgi::kDns2At, Cgi::kAddrSize);
        // The name goes back as the camera sent it, in whatever code page: its bytes.
        const QByteArray nameField = change.mid(Cgi::kNameAt, Cgi::kNameSize);
        const QByteArray nameSent = nameField.left(nameField.indexOf('\0') < 0 ? nameField.size() : nameField.indexOf('\0'));
        Check(rec.NameRaw.startsWith(nameSent));
        if (rec.NameRaw.size() < Cgi::kNameSize)
            Check(nameSent == rec.NameRaw);
        same(rec.Version, Cgi::kVersionAt, Cgi::kVersionSize);
        same(rec.LoginUser, Cgi::kUserAt, Cgi::kLoginSize);
        same(rec.LoginPwd, Cgi::kPasswordAt, Cgi::kLoginSize);
        Check(change.mid(Cgi::kMacAt, 6) == dgram.mid(Cgi::kMacAt, 6).leftJustified(6, '\0'));
    }
    if (list.Count() > 500)
        list.ClearDevices();
    else if (dgram.size() % 5 == 0)
        list.ExpireTick();
    Cgi::ParseAddressChangeAnswer(dgram.left(Cgi::kAnswerSize));
}

void Page(const QString& text)
{
    const std::vector<TWiFiRecord> networks = Cgi::ParseScanResult(text);
    Check(networks.size() <= size_t(Cgi::kMaxNetworks));
    for (const TWiFiRecord& r : networks) {
        Check(r.ssid.size() <= text.size() && r.mac.size() <= text.size());
        Check(Cgi::ScanItemText(r).size() == r.ssid.size() + r.dbm0.size() + 2);
    }

    TCgiWiFiParams wifi;
    Cgi::ParseWiFiParams(text, wifi);
    CheckQueryShape(Cgi::SetWiFiUrl(kBase, wifi.ssid, wifi.key1, wifi),
                    Cgi::SetWiFiUrl(kBase, QString(), QString(), TCgiWiFiParams{}));

    TCgiFactoryParams factory;
    Cgi::ReadFactoryAnswer(true, text, factory);
    Check(factory.status >= Cgi::kFactoryComplete && factory.status <= Cgi::kFactoryNoVar);
    if (factory.status == Cgi::kFactoryComplete)
        Check(factory.index == QLatin1String("10") && !factory.server.isEmpty() &&
              !factory.user.isEmpty() && factory.port != QLatin1String("0"));
    CheckQueryShape(Cgi::SetDdnsUrl(kBase, factory, factory.user, factory.passwd),
                    Cgi::SetDdnsUrl(kBase, TCgiFactoryParams{}, QString(), QString()));

    const QString version = Cgi::StatusVersion(text);
    Check(version.size() <= text.size() && !version.contains(QLatin1Char('"')));
    const QString upload = Cgi::UploadUrl(version, kBase, Cgi::HostOfBaseUrl(kBase),
                                          Cgi::kSystemFirmwarePath, factory.user, factory.passwd);
    Check(upload.startsWith(QLatin1String("http://10.0.0.5:")));
    CheckQueryShape(upload, Cgi::UploadUrl(version, kBase, QStringLiteral("10.0.0.5"),
                                           Cgi::kSystemFirmwarePath, QString(), QString()));

    // A name of the answer's own choosing as well.
    const QString name = text.left(text.indexOf(QLatin1Char('=')));
    for (const QString& n : {name, QStringLiteral("var result"), QStringLiteral("sys_ver")}) {
        const QString value = Cgi::CgiValue(text, n);
        Check(value.size() <= text.size() && !value.contains(QLatin1Char(';')) &&
              !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\'')));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_cgi";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TDeviceList list(&testsupport::Families());

    // Exactly size bytes, so that a read past the end is seen by AddressSanitizer.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    const QByteArray bytes = QByteArray::fromRawData(copy.get(), qsizetype(size));

    Datagram(bytes, list);
    // An odd size stands for a body cut at the size limit.
    Page(HttpBodyText(bytes, size % 2 == 1));
    return 0;
}
