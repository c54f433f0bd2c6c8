// The record's helpers: series letters, MAC texts, address builders, address comparison and
// the current-camera choice.

#include "BuiltInFamilies.h"
#include "ByteFields.h"
#include "CurrentCamera.h"
#include "DevInfo.h"
#include "TestPackets.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

TEST(DevInfo, SeriesLetters)
{
    const std::pair<int, const char*> table[] = {
        {0, "E"}, {1, "M"}, {2, "F"}, {3, "F1"}, {4, "H"},    {5, "E"}, {6, "V"},
        {7, "F2"}, {8, "H"}, {9, "T"}, {10, "O"}, {999, "NAS"}, {11, ""}, {-1, ""}, {1000, ""}};
    const auto families = MakeBuiltInFamilies(QStringLiteral("/nonexistent"));
    for (const auto& [family, letter] : table)
        EXPECT_EQ(families->SeriesLetter(family), QString::fromLatin1(letter)) << family;
}

TEST(DevInfo, MacHex)
{
    const std::pair<const char*, const char*> table[] = {
        {"00-1a-2b 3c", "001A2B03C"},
        {"00:1A:2B:3C:4D:5E", "001A2B3C4D5E"},
        {"001a2b3c4d5e", "001A2B3C4D5E"},
        {" ", "0"},
        {"", ""}};
    for (const auto& [mac, hex] : table)
        EXPECT_EQ(MacHexOf(mac), QString::fromLatin1(hex)) << mac;
}

TEST(DevInfo, AddressBuilders)
{
    struct Case {
        const char* ip;
        quint16 port;
        const char* server;
        const char* user;
        const char* inner;
        const char* domain;
        const char* outer;
    } cases[] = {
        {"192.168.1.5", 80, "cam.ddns.example.net:808", "bob", "http://192.168.1.5",
         ".ddns.example.net", "http://bob.ddns.example.net"},
        {"10.0.0.7", 8080, "ddns.example.net", "al", "http://10.0.0.7:8080", ".example.net",
         "http://al.example.net"},
        {"10.0.0.7", 81, "localhost:808", "al", "http://10.0.0.7:81", "", ""},
        {"10.0.0.7", 0, "", "al", "http://10.0.0.7:0", "", ""},
        // The colon is looked for after the dot only.
        {"1.2.3.4", 80, "host:99.example.net", "u", "http://1.2.3.4", ".example.net",
         "http://u.example.net"},
    };
    for (const Case& c : cases) {
        TDevInfo r;
        r.IP = c.ip;
        r.HttpPort = c.port;
        r.DdnsServer = c.server;
        r.DdnsUser = c.user;
        EXPECT_EQ(InnerUrl(r), c.inner);
        EXPECT_EQ(DdnsDomainOf(r), c.domain) << c.server;
        EXPECT_EQ(OuterUrl(r), c.outer) << c.server;
    }
}

TEST(DevInfo, CompareIp)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"192.168.1.9", "192.168.1.10", -1},
        {"192.168.1.10", "192.168.1.9", 1},
        {"10.0.0.1", "9.0.0.1", 1},           // numbers, not text
        {"192.168.1.1", "192.168.1.1", 0},
        {"192.168.1.x", "192.168.1.0", 0},    // not a number counts as 0
        {"192.168.1.x", "192.168.1.1", -1},
        {"1.2.3", "1.2.3.4", -1},             // different part counts: text
        {"9.1", "10.0.0.1", 1},
        {"ABC", "abd", 0},                    // one part each, both 0
        {"", "0", 0},
        {"1.2.3.4", "1.2.3.4.0", -1},
        {"Host", "host", 0},
        {"4294967296.1", "0.1", 0},           // out of range counts as 0
        {"a.B", "A.b.c", -1},                 // text comparison ignores case
    };
    for (const Case& c : cases) {
        const int got = CompareIp(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(DevInfo, ChoosingACameraSetsTheCurrentCamera)
{
    const auto families = MakeBuiltInFamilies(QStringLiteral("/nonexistent"));
    TDevInfo r;
    r.Mac = "00-11";
    r.IP = "10.1.1.2";
    for (int family : {5, 2, 8, 9, 4}) {
        r.Family = family;
        TCurrentCamera cur;
        cur.CurDevAuthOK = true;
        cur.Choose(r, 3, families->Traits(family).factoryPassword);
        EXPECT_EQ(cur.CurDevMac, "00-11");
        EXPECT_EQ(cur.CurDevIP, "10.1.1.2");
        EXPECT_EQ(cur.CurDevUser, "admin");
        EXPECT_EQ(cur.CurDevPwd, family == 5 ? "qelvo" : "") << family;
        EXPECT_EQ(cur.CurCamNo, 3);
        EXPECT_FALSE(cur.CurDevAuthOK);
    }
}

TEST(DevInfo, JsonHasEveryFieldButTheCredentials)
{
    TDevInfo r;
    r.Family = 8;
    r.Word8 = 7;
    r.Name = "n";
    r.LoginUser = "root-user";
    r.LoginPwd = "login-secret";
    r.DdnsUser = "cam42";
    r.DdnsPwd = "ddns-secret";
    r.NameRaw = "n\xC9";
    const QJsonObject o = DevInfoToJson(r);
    const QStringList keys = {"Family",   "Mac",        "MacHex",    "SN",        "Name",      "NameRaw",
                              "Version",  "IP",         "Mask",      "Gateway",   "ExtraAddr",
                              "DnsManual", "Dns1",      "Dns2",      "HttpPort",  "DataPort",
                              "ExtraPort", "AddrMode",  "DdnsOn",    "DdnsUser",  "DdnsServer",
                              "DdnsHost", "DdnsPort",   "ExtraValue", "TimeToLive", "Word8",
                              "Adapter"};
    EXPECT_EQ(o.keys().size(), keys.size());
    for (const QString& k : keys)
        EXPECT_TRUE(o.contains(k)) << k.toStdString();
    EXPECT_EQ(o.value("NameRaw").toString(), "6EC9");
    EXPECT_EQ(o.value("Family").toInt(), 8);
    EXPECT_EQ(o.value("Word8").toInt(), 7);
    EXPECT_EQ(o.value("Name").toString(), "n");
    EXPECT_EQ(o.value("DdnsUser").toString(), "cam42");
    EXPECT_EQ(o.value("Adapter").toString(), "");  // not known
    const QByteArray text = QJsonDocument(o).toJson();
    for (const char* secret : {"root-user", "login-secret", "ddns-secret"})
        EXPECT_FALSE(text.contains(secret)) << secret;
}

TEST(DevInfo, AddressAndHexTextsOfBytes)
{
    const QByteArray d = QByteArray::fromHex("00090a63 64ff0102");
    EXPECT_EQ(ByteFields::Dotted(d, 0), "0.9.10.99");
    EXPECT_EQ(ByteFields::Dotted(d, 4), "100.255.1.2");
    EXPECT_EQ(ByteFields::Dotted(d, 6), "1.2.0.0");  // past the end reads zeros
    EXPECT_EQ(HexDigits(QByteArray::fromHex("000a1aff9c")), "000A1AFF9C");
    EXPECT_EQ(HexDigits(QByteArray()), "");
}
