// Camera texts that are not UTF-8 (a camera named in GBK): shown decoded, and sent back to the
// camera byte for byte by every settings command while the user leaves them unchanged; an
// edited text goes out as UTF-8. Wireless network names the same way.

#include "Bin8Family.h"
#include "CameraText.h"
#include "CgiPackets.h"
#include "CtpFamily.h"
#include "CtpMessage.h"
#include "MoiFamily.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// "前门" (front door) in GBK, and the same name as UTF-8.
const QByteArray kGbkName = QByteArray::fromHex("c7b0c3c5");
const QString kName = QString::fromUtf8("\xe5\x89\x8d\xe9\x97\xa8");
const QByteArray kUtf8Name = QByteArray::fromHex("e5898de997a8");
// "家里网络" (home network) in GBK.
const QByteArray kGbkSsid = QByteArray::fromHex("bcd2c0efcdf8c2e7");
const QString kSsid = QString::fromUtf8("\xe5\xae\xb6\xe9\x87\x8c\xe7\xbd\x91\xe7\xbb\x9c");

// The bytes of a zero-terminated field.
QByteArray FieldAt(const QByteArray& d, int at, int size)
{
    QByteArray f = d.mid(at, size);
    const qsizetype zero = f.indexOf('\0');
    return zero < 0 ? f : f.left(zero);
}

TEST(CameraText, DecodingAndTheBytesToSend)
{
    struct Case {
        const char* what;
        QByteArray raw;
        QString shown;
    };
    const Case decoded[] = {
        {"UTF-8", kUtf8Name, kName},
        {"GBK, no UTF-8", kGbkName, kName},
        {"ASCII", "Garden", "Garden"},
        {"neither: one character per byte", QByteArray::fromHex("43 61 66 e9"), QString::fromUtf8("Caf\xc3\xa9")},
        {"empty", QByteArray(), QString()},
    };
    for (const Case& c : decoded)
        EXPECT_EQ(CameraTextFromBytes(c.raw), c.shown) << c.what;

    struct Send {
        const char* what;
        QString text;
        QByteArray raw;
        QByteArray sent;
    };
    const Send sends[] = {
        {"unchanged GBK name: as received", kName, kGbkName, kGbkName},
        {"unchanged, the field trimmed", kName, kGbkName + "  ", kGbkName},
        {"unchanged with its blanks", kName + "  ", kGbkName + "  ", kGbkName + "  "},
        {"edited: UTF-8", kName + "2", kGbkName, kUtf8Name + "2"},
        {"emptied", QString(), kGbkName, QByteArray()},
        {"no received bytes", kName, QByteArray(), kUtf8Name},
    };
    for (const Send& s : sends)
        EXPECT_EQ(CameraTextBytes(s.text, s.raw).toHex(' '), s.sent.toHex(' ')) << s.what;
}

// Family 2 reads the name; its settings command carries none.
TEST(CameraText, Family2KeepsTheReceivedName)
{
    QByteArray d(23 + 64, '\0');
    d.replace(0, 4, "MO_I");
    d[4] = 1;   // search reply
    d[15] = 64;  // body length
    d.replace(23, 12, "001A2B3C4D5E");
    d.replace(23 + 13, kGbkName.size(), kGbkName);
    TDevInfo rec;
    ASSERT_TRUE(MoI::ParseSearchReply(d, rec));
    EXPECT_EQ(rec.Name, kName);
    EXPECT_EQ(rec.NameRaw.toHex(), kGbkName.toHex());
}

// Family 5: the search reply is read as bytes and the address change sends the name back.
TEST(CameraText, Family5SetIpSendsTheReceivedNameBytes)
{
    const QByteArray reply = "REPLY * CTP/1.0\r\n\r\n-sn X1\r\n-name " + kGbkName +
                             "\r\n-ip 10.0.0.5\r\n-netmask 255.255.255.0\r\n-gw 10.0.0.1\r\n"
                             "-mdns 8.8.8.8\r\n-sdns \r\n-mac 00:1A:2B:3C:4D:5E\r\n-portctp 80\r\n";
    TDevInfo rec;
    rec.Family = -1;
    ASSERT_TRUE(CtpFamily::ParseSearchReply(reply, rec));
    EXPECT_EQ(rec.Name, kName);
    EXPECT_EQ(rec.NameRaw.toHex(), kGbkName.toHex());

    TDevInfo next = rec;
    next.IP = "10.0.0.9";
    const std::optional<QByteArray> unchanged = CtpFamily::BuildSetNetwork(rec, next, "pw");
    ASSERT_TRUE(unchanged);
    EXPECT_TRUE(unchanged->contains("\r\n-name " + kGbkName + "\r\n")) << unchanged->toHex(' ').constData();

    next.Name = kName + "2";
    const std::optional<QByteArray> edited = CtpFamily::BuildSetNetwork(rec, next, "pw");
    ASSERT_TRUE(edited);
    EXPECT_TRUE(edited->contains("\r\n-name " + kUtf8Name + "2\r\n")) << edited->toHex(' ').constData();
}

// Family 8 sends the camera's own block back: with the name as received, or the camera does
// not recognise it.
TEST(CameraText, Family8BlocksCarryTheReceivedName)
{
    QByteArray reply(8 + 128, '\0');
    reply[0] = 0x10;
    reply[1] = 0x10;
    reply[2] = 0x12;
    reply[3] = char(0x8F);
    reply.replace(8, 12, "192.168.1.50");
    reply.replace(8 + 16, 13, "255.255.255.0");
    reply.replace(8 + 32, 11, "192.168.1.1");
    reply.replace(8 + 48, 11, "192.168.1.1");
    reply.replace(8 + 88, 6, QByteArray::fromHex("001A2B3C4D5E"));
    reply.replace(8 + 96, 7, QByteArray::fromHex("01020304050607"));
    reply.replace(8 + 104, kGbkName.size(), kGbkName);
    reply.append("V1\0", 3);
    TDevInfo rec;
    ASSERT_TRUE(Bin8::ParseNetReply(reply, rec));
    EXPECT_EQ(rec.Name, kName);

    TDevInfo next = rec;
    next.IP = "192.168.1.60";
    const std::optional<QByteArray> d = Bin8::BuildSetNetwork(rec, next);
    ASSERT_TRUE(d);
    EXPECT_EQ(FieldAt(*d, 8 + 104, 24).toHex(), kGbkName.toHex()) << "old block";
    EXPECT_EQ(FieldAt(*d, 136 + 104, 24).toHex(), kGbkName.toHex()) << "new block, name unchanged";

    next.Name = QStringLiteral("Door");
    const std::optional<QByteArray> renamed = Bin8::BuildSetNetwork(rec, next);
    ASSERT_TRUE(renamed);
    EXPECT_EQ(FieldAt(*renamed, 8 + 104, 24).toHex(), kGbkName.toHex()) << "old block stays the camera's";
    EXPECT_EQ(FieldAt(*renamed, 136 + 104, 24), "Door");
}

// Family 9: the address change names the camera as it was named.
TEST(CameraText, Family9AddressChangeSendsTheReceivedName)
{
    QByteArray reply(516, '\0');
    reply[0] = 0x44;
    reply[1] = 0x48;
    reply[2] = 0x01;
    reply[3] = 0x08;
    reply.replace(4, 12, "192.168.7.91");
    reply.replace(84, 6, QByteArray::fromHex("001A2B000901"));
    reply.replace(124, kGbkName.size(), kGbkName);
    TDevInfo rec;
    ASSERT_TRUE(Cgi::ParseSearchReply(reply, rec));
    EXPECT_EQ(rec.Name, kName);
    EXPECT_EQ(rec.NameRaw.toHex(), kGbkName.toHex());

    TDevInfo next = rec;
    next.IP = "192.168.7.92";
    EXPECT_EQ(FieldAt(Cgi::AddressChange(next, "admin", "pw"), 124, 80).toHex(), kGbkName.toHex());
    next.Name = kName + "2";
    EXPECT_EQ(FieldAt(Cgi::AddressChange(next, "admin", "pw"), 124, 80).toHex(),
              (kUtf8Name + "2").toHex());
}

// cfgwnic: the network name read from the camera goes back as read.
TEST(CameraText, Family5WirelessNameRoundTrip)
{
    const std::optional<TDEVWiFi> wifi =
        Ctp::ParseWiFi("CTP/1.0 200 OK\r\n\r\n-enable 1\r\n-ssid " + kGbkSsid + " \r\n-authmode WPA2PSK\r\n");
    ASSERT_TRUE(wifi);
    EXPECT_EQ(wifi->ssid, kSsid);
    EXPECT_EQ(wifi->ssidRaw.toHex(), kGbkSsid.toHex());
    EXPECT_TRUE(Ctp::SetWiFiRequest(*wifi).contains("\r\n-ssid " + kGbkSsid + "\r\n"));

    TDEVWiFi edited = *wifi;
    edited.ssid = QStringLiteral("Office");
    EXPECT_TRUE(Ctp::SetWiFiRequest(edited).contains("\r\n-ssid Office\r\n"));

    // A network chosen from the scan carries its name's bytes.
    const std::optional<TWiFi2> seen = Ctp::ParseWiFiScanLine(kGbkSsid + ",00:11:22:33:44:55,1,0,2,2,80");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->ssid, kSsid);
    EXPECT_EQ(seen->ssidRaw.toHex(), kGbkSsid.toHex());
    EXPECT_EQ(seen->signal, "80");
}

// The family-9 wireless page: the name's bytes percent-encoded as received.
TEST(CameraText, Family9WirelessNameRoundTrip)
{
    TCgiWiFiParams p;
    Cgi::ParseWiFiParams("var wifi_enable=1;\r\nvar wifi_ssid='" + kGbkSsid + "';\r\nvar wifi_wpa_psk='k';\r\n", p);
    EXPECT_EQ(p.ssid, kSsid);
    EXPECT_EQ(p.ssidRaw.toHex(), kGbkSsid.toHex());
    EXPECT_TRUE(Cgi::SetWiFiUrl("http://cam", "admin", "", p).contains("&ssid=%BC%D2%C0%EF%CD%F8%C2%E7&"));
    p.ssid = kSsid + "5G";
    EXPECT_TRUE(Cgi::SetWiFiUrl("http://cam", "admin", "", p)
                    .contains("&ssid=%E5%AE%B6%E9%87%8C%E7%BD%91%E7%BB%9C5G&"));

    const std::vector<TWiFiRecord> seen = Cgi::ParseScanResult(
        "var ap_number=1;\r\nvar ap_ssid[0]=\"" + kGbkSsid + "\";\r\nvar ap_dbm0[0]='66';\r\n");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ssid, kSsid);
    EXPECT_EQ(seen[0].ssidRaw.toHex(), kGbkSsid.toHex());
    EXPECT_EQ(seen[0].dbm0, "66");
}

}  // namespace
