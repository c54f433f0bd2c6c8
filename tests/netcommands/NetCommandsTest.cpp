// The settings commands of families 2, 5 and 8 byte for byte, and the conversions they use.

#include "Bin8Family.h"
#include "CtpFamily.h"
#include "MoiFamily.h"
#include "NetAddress.h"

#include <gtest/gtest.h>

#include <functional>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex));  // blanks between the digits are skipped
}

// Places byte strings at absolute offsets of an all-zero message.
QByteArray Message(int size, std::initializer_list<std::pair<int, QByteArray>> parts)
{
    QByteArray d(size, '\0');
    for (const auto& [at, bytes] : parts)
        d.replace(at, bytes.size(), bytes);
    d.resize(size);
    return d;
}

TDevInfo Family5Camera()
{
    TDevInfo r;
    r.Family = CtpFamily::kFamily;
    r.SN = "X1";
    r.Name = "Garden";
    r.IP = "10.0.0.5";
    r.Mask = "255.255.255.0";
    r.Gateway = "10.0.0.1";
    r.Dns1 = "8.8.8.8";
    r.Dns2 = "208.67.222.222";
    r.Mac = "001A2B3C4D5E";
    r.HttpPort = 80;
    r.AddrMode = kAddrStatic;
    return r;
}

TDevInfo Family8Camera()
{
    TDevInfo r;
    r.Family = Bin8::kFamily;
    r.Mac = "001A2B3C4D5E";
    r.SN = "0102030405060A";
    r.Name = "Door";
    r.IP = "192.168.1.50";
    r.Mask = "255.255.255.0";
    r.Gateway = "192.168.1.1";
    r.Dns1 = "192.168.1.1";
    r.Dns2 = "";
    r.HttpPort = 80;
    r.DataPort = 554;
    r.Word8 = 0x1234;
    r.AddrMode = kAddrDhcp;
    return r;
}

TEST(IpToBytes, TakesOnlyFourDecimalNumbersUpTo255)
{
    struct Case {
        const char* text;
        std::optional<TIp4> bytes;
    };
    const Case cases[] = {
        {"192.168.0.37", TIp4{192, 168, 0, 37}},
        {"0.0.0.0", TIp4{0, 0, 0, 0}},
        {"255.255.255.255", TIp4{255, 255, 255, 255}},
        {"010.001.1.1", TIp4{10, 1, 1, 1}},  // leading zeros are decimal, not octal
        {"256.1.1.1", std::nullopt},         // not wrapped to 0
        {"1.1.1.999", std::nullopt},
        {"1.1.1.1000", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..3.4", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"+1.2.3.4", std::nullopt},
        {"-1.2.3.4", std::nullopt},
        {"1.2.3.0x1", std::nullopt},
        {"a.b.c.d", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IpToBytes(QString::fromUtf8(c.text)), c.bytes);
    }
    // Digits of other scripts are not decimal digits here.
    EXPECT_EQ(IpToBytes(QString::fromUtf8("\xd9\xa1.2.3.4")), std::nullopt);
}

TEST(IpToBytes, BytesToIpWritesByteOrder)
{
    EXPECT_EQ(BytesToIp(TIp4{10, 0, 200, 255}), "10.0.200.255");
    EXPECT_EQ(BytesToIp(TIp4{0, 0, 0, 0}), "0.0.0.0");
}

TEST(HexToBytes, PairsHighDigitFirstAndRefusesAnythingElse)
{
    EXPECT_EQ(HexToBytes("001A2BFF"), Hex("00 1A 2B FF"));
    EXPECT_EQ(HexToBytes("001a2bff"), Hex("00 1A 2B FF"));
    EXPECT_EQ(HexToBytes(""), QByteArray());
    EXPECT_EQ(HexToBytes("001A2"), std::nullopt);
    EXPECT_EQ(HexToBytes("0G"), std::nullopt);
    EXPECT_EQ(HexToBytes("00:1A"), std::nullopt);
}

TEST(MacWithColons, PairsCountedFromTheEnd)
{
    const std::pair<const char*, const char*> cases[] = {
        {"001A2B3C4D5E", "00:1A:2B:3C:4D:5E"},
        {"001a2b3c4d5e", "00:1a:2b:3c:4d:5e"},  // the case as received
        {"A1A2B", "1A:2B"},                      // a leading odd character is dropped
        {"A", ""},
        {"", ""},
    };
    for (const auto& [mac, colons] : cases)
        EXPECT_EQ(MacWithColons(mac), colons) << mac;
}

TEST(SetNetCtp, StaticCameraWithEmptyPasswordIsTheExactText)
{
    TDevInfo oldRec = Family5Camera();
    TDevInfo n = oldRec;
    n.IP = "10.0.0.9";
    const std::optional<QByteArray> d = CtpFamily::BuildSetNetwork(oldRec, n, QString());
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, QByteArray("CMD setip CTP/1.0\r\nContent-Length: 192\r\n"
                             "\r\n"
                             "-sn X1\r\n"
                             "-interface 10.0.0.5\r\n"
                             "-pswd \r\n"
                             "-dhcpen 0\r\n"
                             "-ip 10.0.0.9\r\n"
                             "-netmask 255.255.255.0\r\n"
                             "-defgw 10.0.0.1\r\n"
                             "-name Garden\r\n"
                             "-mdns 8.8.8.8\r\n"
                             "-sdns 208.67.222.222\r\n"
                             "-mac 00:1A:2B:3C:4D:5E\r\n"
                             "-port 80\r\n"
                             "\r\n"));
}

TEST(SetNetCtp, DhcpUtf8NameAndOddMacCountBytes)
{
    TDevInfo oldRec = Family5Camera();
    TDevInfo n = oldRec;
    n.IP = "10.0.0.9";
    n.AddrMode = kAddrDhcp;
    n.Name = QString::fromUtf8("Caf\xc3\xa9");  // five characters, six bytes
    n.Dns2 = "";                                // no secondary DNS: allowed
    n.Mac = "A1A2B3C";
    n.HttpPort = 8080;
    const std::optional<QByteArray> d = CtpFamily::BuildSetNetwork(oldRec, n, "p w");
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, QByteArray("CMD setip CTP/1.0\r\nContent-Length: 173\r\n"
                             "\r\n"
                             "-sn X1\r\n"
                             "-interface 10.0.0.5\r\n"
                             "-pswd p w\r\n"
                             "-dhcpen 1\r\n"
                             "-ip 10.0.0.9\r\n"
                             "-netmask 255.255.255.0\r\n"
                             "-defgw 10.0.0.1\r\n"
                             "-name Caf\xc3\xa9\r\n"
                             "-mdns 8.8.8.8\r\n"
                             "-sdns \r\n"
                             "-mac 1A:2B:3C\r\n"
                             "-port 8080\r\n"
                             "\r\n"));
}

TEST(SetNetMoI, EightyFourBytesWithFullUserFieldAndBigEndianPort)
{
    TDevInfo n;
    n.Family = MoI::kFamily;
    n.Mac = "001A2B3C4D5E";
    n.Name = "not carried";
    n.IP = "192.168.0.37";
    n.Mask = "255.255.255.0";
    n.Gateway = "192.168.0.1";
    n.Dns1 = "8.8.8.8";
    n.Dns2 = "9.9.9.9";
    n.AddrMode = kAddrDhcp;
    n.HttpPort = 8080;
    const std::optional<QByteArray> d = MoI::BuildSetNetwork(n, "abcdefghijklm", "pw");
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, Hex("4D 4F 5F 49  0200  00 00 00 00 00 00 00 00 00  3D 00 00 00  00 00 00 00"
                      "00 00 00 00"
                      "30 30 31 41 32 42 33 43 34 44 35 45 00"   // MAC text and its NUL
                      "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D"   // 13 characters, no NUL
                      "70 77 00 00 00 00 00 00 00 00 00 00 00"
                      "C0 A8 00 25  FF FF FF 00  C0 A8 00 01  08 08 08 08"
                      "1F 90"));
    EXPECT_EQ(d->size(), 84);
}

TEST(SetNetMoI, LongCredentialsAreCutToTheirFieldOnACharacterBoundary)
{
    TDevInfo n;
    n.Mac = "001A2B3C4D5E";
    n.IP = n.Mask = n.Gateway = n.Dns1 = "1.2.3.4";
    // Twelve ASCII bytes and a two-byte character: the character does not fit and is dropped.
    const std::optional<QByteArray> d =
        MoI::BuildSetNetwork(n, QString::fromUtf8("abcdefghijkl\xc3\xa9"), "0123456789abcdef");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->mid(23 + 17, 13), QByteArray("abcdefghijkl\0", 13));
    EXPECT_EQ(d->mid(23 + 30, 13), QByteArray("0123456789abc"));
    EXPECT_EQ(d->mid(23 + 43, 4), Hex("01 02 03 04"));  // the next field is untouched
}

TEST(SetNetBin8, DhcpToStaticCarriesOldAndNewBlocks)
{
    const TDevInfo oldRec = Family8Camera();
    TDevInfo n = oldRec;
    n.IP = "10.0.0.37";
    n.Gateway = "10.0.0.1";
    n.Dns1 = "8.8.8.8";
    n.Dns2 = "208.67.222.222";
    n.HttpPort = 82;
    n.DataPort = 555;
    n.AddrMode = kAddrStatic;
    n.Name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::optional<QByteArray> d = Bin8::BuildSetNetwork(oldRec, n);
    ASSERT_TRUE(d);
    const int o = 8, b = 136;  // the two blocks
    const QByteArray expected = Message(
        264, {
                 {0, Hex("10 10 02 0F 00 00 00 01")},
                 {o + 0, "192.168.1.50"},
                 {o + 16, "255.255.255.0"},
                 {o + 32, "192.168.1.1"},
                 {o + 48, "192.168.1.1"},
                 {o + 80, Hex("50 00 50 00 50 00 2A 02")},
                 {o + 88, Hex("00 1A 2B 3C 4D 5E 34 12 01 02 03 04 05 06 0A")},
                 {o + 103, Hex("01")},  // the old DHCP mode as it was
                 {o + 104, "Door"},
                 {b + 0, "10.0.0.37"},
                 {b + 16, "255.255.255.0"},
                 {b + 32, "10.0.0.1"},
                 {b + 48, "8.8.8.8"},
                 {b + 64, "208.67.222.222"},
                 {b + 80, Hex("52 00 52 00 52 00 2B 02")},
                 {b + 88, Hex("00 1A 2B 3C 4D 5E 34 12 01 02 03 04 05 06 0A")},
                 {b + 103, Hex("00")},  // static
                 {b + 104, "ABCDEFGHIJKLMNOPQRSTUVW"},  // 23 characters and the NUL
             });
    EXPECT_EQ(d->toHex(' '), expected.toHex(' '));
}

TEST(SetNetBin8, DhcpByteOfTheNewBlock)
{
    const std::pair<quint8, char> cases[] = {{kAddrStatic, 0}, {kAddrDhcp, 1}, {kAddrPppoe, 1}};
    for (const auto& [mode, byte] : cases) {
        TDevInfo n = Family8Camera();
        n.AddrMode = mode;
        const std::optional<QByteArray> d = Bin8::BuildSetNetwork(Family8Camera(), n);
        ASSERT_TRUE(d);
        EXPECT_EQ((*d)[136 + 103], byte) << int(mode);
        EXPECT_EQ((*d)[8 + 103], 1);
    }
}

// Each spoiled value on its own makes the builder of that family return nothing.
TEST(SetNetCommands, MalformedValuesAreRefusedForEveryFamily)
{
    using Spoil = std::function<void(TDevInfo& oldRec, TDevInfo& n, QString& pwd)>;
    struct Case {
        int family;
        const char* what;
        Spoil spoil;
    };
    const Case cases[] = {
        {2, "IP part 256", [](TDevInfo&, TDevInfo& n, QString&) { n.IP = "192.168.1.256"; }},
        {2, "mask of three parts", [](TDevInfo&, TDevInfo& n, QString&) { n.Mask = "255.255.255"; }},
        {2, "empty gateway", [](TDevInfo&, TDevInfo& n, QString&) { n.Gateway = ""; }},
        {2, "DNS with a letter", [](TDevInfo&, TDevInfo& n, QString&) { n.Dns1 = "8.8.8.x"; }},
        {2, "MAC longer than its field", [](TDevInfo&, TDevInfo& n, QString&) { n.Mac = "001A2B3C4D5E00"; }},
        {2, "empty MAC", [](TDevInfo&, TDevInfo& n, QString&) { n.Mac = ""; }},
        // The text protocol carries anything but a line break (see Family5CarriesAnyValue...).
        {5, "line break in the name",
         [](TDevInfo&, TDevInfo& n, QString&) { n.Name = "Cam\r\n-ip 6.6.6.6"; }},
        {5, "line feed in the password", [](TDevInfo&, TDevInfo&, QString& p) { p = "a\nb"; }},
        {5, "carriage return in the serial", [](TDevInfo&, TDevInfo& n, QString&) { n.SN = "X\r1"; }},
        {5, "line feed in the old address", [](TDevInfo& o, TDevInfo&, QString&) { o.IP = "10.0.0.5\n-ip 1.1.1.1"; }},
        {5, "line feed in the gateway", [](TDevInfo&, TDevInfo& n, QString&) { n.Gateway = "\n"; }},
        {5, "carriage return in the second DNS", [](TDevInfo&, TDevInfo& n, QString&) { n.Dns2 = "1.1.1.1\r"; }},
        {5, "line feed in the MAC", [](TDevInfo&, TDevInfo& n, QString&) { n.Mac = "001A2B\n3C4D5E"; }},
        {5, "line feed in the received name bytes",
         [](TDevInfo&, TDevInfo& n, QString&) { n.NameRaw = "Cam\n"; n.Name = "Cam\n"; }},
        {8, "IP part 256", [](TDevInfo&, TDevInfo& n, QString&) { n.IP = "10.0.0.256"; }},
        {8, "empty mask", [](TDevInfo&, TDevInfo& n, QString&) { n.Mask = ""; }},
        {8, "gateway of three parts", [](TDevInfo&, TDevInfo& n, QString&) { n.Gateway = "10.0.0"; }},
        {8, "DNS with a letter", [](TDevInfo&, TDevInfo& n, QString&) { n.Dns1 = "8.8.8.x"; }},
        {8, "second DNS part 300", [](TDevInfo&, TDevInfo& n, QString&) { n.Dns2 = "1.1.1.300"; }},
        {8, "MAC of 11 digits", [](TDevInfo&, TDevInfo& n, QString&) { n.Mac = "001A2B3C4D5"; }},
        {8, "old MAC with a non-hex digit", [](TDevInfo& o, TDevInfo&, QString&) { o.Mac = "001A2B3C4D5G"; }},
        {8, "serial of 6 bytes", [](TDevInfo&, TDevInfo& n, QString&) { n.SN = "010203040506"; }},
    };
    auto build = [](int family, const TDevInfo& o, const TDevInfo& n, const QString& pwd) {
        switch (family) {
        case 2: return MoI::BuildSetNetwork(n, "admin", pwd);
        case 5: return CtpFamily::BuildSetNetwork(o, n, pwd);
        default: return Bin8::BuildSetNetwork(o, n);
        }
    };
    auto camera = [](int family) {
        TDevInfo r = family == 8 ? Family8Camera() : Family5Camera();
        r.Family = family;
        return r;
    };
    for (int family : {2, 5, 8}) {
        const TDevInfo r = camera(family);
        ASSERT_TRUE(build(family, r, r, "pw")) << "family " << family << " baseline";
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << c.family << ": " << c.what);
        TDevInfo o = camera(c.family);
        TDevInfo n = o;
        QString pwd = "pw";
        c.spoil(o, n, pwd);
        EXPECT_EQ(build(c.family, o, n, pwd), std::nullopt);
    }
}

}  // namespace
