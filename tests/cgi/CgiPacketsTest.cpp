// The family-9 UDP packets: probe, search reply, address change and its answer.

#include "CgiPackets.h"
#include "CgiWire.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray d;
    for (int v : b)
        d.append(char(v));
    return d;
}

TEST(CgiProbe, IsMagicAndSearchTypeLittleEndian)
{
    EXPECT_EQ(Cgi::SearchProbe(), Bytes({0x44, 0x48, 0x01, 0x01}));
    EXPECT_EQ(Cgi::SearchProbe().left(2), QByteArray("DH"));
}

TEST(CgiSearchReply, FillsEveryFieldFromItsOffset)
{
    TDevInfo rec;
    rec.TimeToLive = 7;  // a parsed reply starts from a fresh record
    ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(wire::SearchReply{}), rec));
    EXPECT_EQ(rec.Family, 9);
    EXPECT_EQ(rec.IP, "192.168.1.30");
    EXPECT_EQ(rec.Mask, "255.255.255.0");
    EXPECT_EQ(rec.Gateway, "192.168.1.1");
    EXPECT_EQ(rec.Dns1, "8.8.8.8");
    EXPECT_EQ(rec.Dns2, "8.8.4.4");
    EXPECT_EQ(rec.Mac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(rec.MacHex, "001A2B3C4D5E");
    EXPECT_EQ(rec.HttpPort, 81);
    EXPECT_EQ(rec.SN, "T0012345");
    EXPECT_EQ(rec.Name, "Garden");
    EXPECT_EQ(rec.Version, "48.2.0.99");
    EXPECT_EQ(rec.LoginUser, "admin");
    EXPECT_EQ(rec.LoginPwd, "");
    EXPECT_EQ(rec.AddrMode, kAddrDhcp);
    EXPECT_EQ(rec.DdnsServer, "ddns.example.net:808");
    EXPECT_EQ(rec.DdnsHost, "t0012345.example.net");
    EXPECT_EQ(rec.DdnsUser, "T0012345");
    EXPECT_EQ(rec.DdnsPwd, "ddnspw");
    EXPECT_FALSE(rec.DnsManual);
    EXPECT_TRUE(rec.DdnsOn);
    EXPECT_EQ(rec.DdnsPort, 808);
    EXPECT_EQ(rec.TimeToLive, 0);
    EXPECT_EQ(rec.DataPort, 0);
    EXPECT_TRUE(rec.ExtraAddr.isEmpty());
}

TEST(CgiSearchReply, MacBytesAreUpperCaseHexJoinedByColons)
{
    struct {
        std::array<std::uint8_t, 6> mac;
        const char* text;
    } cases[] = {
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "00:1A:2B:3C:4D:5E"},
        {{0xFF, 0xFE, 0x0A, 0xA0, 0x00, 0x01}, "FF:FE:0A:A0:00:01"},
        {{0, 0, 0, 0, 0, 0}, "00:00:00:00:00:00"},
    };
    for (const auto& c : cases) {
        wire::SearchReply r;
        r.mac = c.mac;
        TDevInfo rec;
        ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(r), rec));
        EXPECT_EQ(rec.Mac, c.text);
        EXPECT_EQ(rec.MacHex, QString::fromLatin1(c.text).remove(':'));
    }
}

TEST(CgiSearchReply, ByteOneIsDhcpAnythingElseStatic)
{
    const std::pair<int, int> cases[] = {{0, 2}, {1, 1}, {2, 2}, {0xFF, 2}};
    for (const auto& [byte, mode] : cases) {
        wire::SearchReply r;
        r.dhcp = std::uint8_t(byte);
        TDevInfo rec;
        ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(r), rec));
        EXPECT_EQ(rec.AddrMode, mode) << "byte " << byte;
    }
}

TEST(CgiSearchReply, OnlyMagicAndReplyTypeAreRecognised)
{
    struct {
        const char* why;
        QByteArray dgram;
    } cases[] = {
        {"empty", QByteArray()},
        {"three bytes", Bytes({0x44, 0x48, 0x01})},
        {"probe", Cgi::SearchProbe()},
        {"magic swapped", Bytes({0x48, 0x44, 0x01, 0x08})},
        {"address change", Bytes({0x44, 0x48, 0x02, 0x01})},
        {"answer", Bytes({0x44, 0x48, 0x02, 0x08})},
        {"type big-endian", Bytes({0x44, 0x48, 0x08, 0x01})},
    };
    for (const auto& c : cases) {
        TDevInfo rec;
        rec.Family = -1;
        EXPECT_FALSE(Cgi::ParseSearchReply(c.dgram, rec)) << c.why;
        EXPECT_EQ(rec.Family, -1) << c.why;
    }
}

// A datagram shorter than the layout reads as if received into a zero-filled buffer.
TEST(CgiSearchReply, ShortDatagramLeavesTheMissingFieldsEmpty)
{
    const struct {
        int size;
        const char* ip;
        const char* mac;
        int port;
        const char* name;
        int mode;
        const char* ddnsPwd;
    } cases[] = {
        {4, "", "00:00:00:00:00:00", 0, "", 2, ""},
        {10, "192.16", "00:00:00:00:00:00", 0, "", 2, ""},
        {87, "192.168.1.30", "00:1A:2B:00:00:00", 0, "", 2, ""},
        {91, "192.168.1.30", "00:1A:2B:3C:4D:5E", 0x90, "", 2, ""},
        {130, "192.168.1.30", "00:1A:2B:3C:4D:5E", 8080, "Garden", 2, ""},
        {302, "192.168.1.30", "00:1A:2B:3C:4D:5E", 8080, "Garden", 1, ""},
        {487, "192.168.1.30", "00:1A:2B:3C:4D:5E", 8080, "Garden", 1, "ddn"},
    };
    for (const auto& c : cases) {
        wire::SearchReply r;
        r.port = 8080;
        r.size = c.size;
        TDevInfo rec;
        ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(r), rec)) << c.size;
        EXPECT_EQ(rec.IP, c.ip) << c.size;
        EXPECT_EQ(rec.Mac, c.mac) << c.size;
        EXPECT_EQ(rec.HttpPort, c.port) << c.size;
        EXPECT_EQ(rec.Name, c.name) << c.size;
        EXPECT_EQ(rec.AddrMode, c.mode) << c.size;
        EXPECT_EQ(rec.DdnsPwd, c.ddnsPwd) << c.size;
    }
}

// A text that fills its field leaves no terminating zero; it must stop at the field's end.
TEST(CgiSearchReply, FullFieldsStopAtTheirEnd)
{
    wire::SearchReply r;
    r.ip = QByteArray(16, '1');
    r.mask = QByteArray(16, '2');
    r.name = QByteArray(80, 'N');
    r.version = QByteArray(16, 'V');
    r.user = QByteArray(32, 'u');
    r.pwd = QByteArray(32, 'p');
    r.ddnsPwd = QByteArray(32, 'z');
    QByteArray d = wire::Build(r);
    d.append(QByteArray(600, 'X'));  // trailing bytes beyond the layout
    TDevInfo rec;
    ASSERT_TRUE(Cgi::ParseSearchReply(d, rec));
    EXPECT_EQ(rec.IP, QString(16, '1'));
    EXPECT_EQ(rec.Mask, QString(16, '2'));
    EXPECT_EQ(rec.Name, QString(80, 'N'));
    EXPECT_EQ(rec.Version, QString(16, 'V'));
    EXPECT_EQ(rec.LoginUser, QString(32, 'u'));
    EXPECT_EQ(rec.LoginPwd, QString(32, 'p'));
    EXPECT_EQ(rec.DdnsPwd, QString(32, 'z'));
}

TEST(CgiSearchReply, TextsAreUtf8WhenValidElseOneCharacterPerByte)
{
    wire::SearchReply r;
    r.name = "Caf\xc3\xa9";
    TDevInfo rec;
    ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(r), rec));
    EXPECT_EQ(rec.Name, QStringLiteral("Caf\u00e9"));
    r.name = "Caf\xe9";
    ASSERT_TRUE(Cgi::ParseSearchReply(wire::Build(r), rec));
    EXPECT_EQ(rec.Name, QStringLiteral("Caf\u00e9"));
}

TEST(CgiSearchReply, RandomBytesBehindAValidHeaderNeverCrash)
{
    QRandomGenerator rng(4711);
    for (int i = 0; i < 2000; ++i) {
        QByteArray d(int(rng.bounded(1100)), '\0');
        for (auto& c : d)
            c = char(rng.bounded(256));
        if (d.size() >= 4) {
            d[0] = 0x44;
            d[1] = 0x48;
            d[2] = 0x01;
            d[3] = 0x08;
        }
        TDevInfo rec;
        const bool ok = Cgi::ParseSearchReply(d, rec);
        EXPECT_EQ(ok, d.size() >= 4);
        if (ok) {
            EXPECT_EQ(rec.Mac.size(), 17);
            EXPECT_LE(rec.Name.size(), 80);
            EXPECT_LE(rec.DdnsServer.size(), 64);
        }
    }
}

TDevInfo NewSettings()
{
    TDevInfo n;
    n.Family = 9;
    n.IP = QStringLiteral("10.0.0.40");
    n.Mask = QStringLiteral("255.0.0.0");
    n.Gateway = QStringLiteral("10.0.0.1");
    n.Dns1 = QStringLiteral("10.0.0.2");
    n.Dns2 = QStringLiteral("10.0.0.3");
    n.Mac = QStringLiteral("00:1A:2B:3C:4D:5E");
    n.MacHex = QStringLiteral("001A2B3C4D5E");
    n.HttpPort = 8080;
    n.SN = QStringLiteral("T0012345");
    n.Name = QStringLiteral("Porch");
    n.Version = QStringLiteral("48.2.0.99");
    n.LoginUser = QStringLiteral("recorduser");
    n.LoginPwd = QStringLiteral("recordpwd");
    n.AddrMode = kAddrStatic;
    return n;
}

TEST(CgiAddressChange, ExactBytes)
{
    QByteArray want(324, '\0');
    wire::PutLe16(want, 0, 0x4844);
    wire::PutLe16(want, 2, 0x0102);
    wire::Put(want, 4, "10.0.0.40");
    wire::Put(want, 20, "255.0.0.0");
    wire::Put(want, 36, "10.0.0.1");
    wire::Put(want, 52, "10.0.0.2");
    wire::Put(want, 68, "10.0.0.3");
    wire::Put(want, 84, Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    wire::Put(want, 90, Bytes({0x90, 0x1F}));  // 8080
    wire::Put(want, 124, "Porch");
    wire::Put(want, 204, "48.2.0.99");
    wire::Put(want, 236, "admin");  // the caller's credentials, not the record's
    wire::Put(want, 268, "pw");
    want[301] = 0;  // static
    EXPECT_EQ(Cgi::AddressChange(NewSettings(), QStringLiteral("admin"), QStringLiteral("pw")), want);
}

TEST(CgiAddressChange, DhcpByteIsZeroForStaticOneOtherwise)
{
    const std::pair<quint8, char> cases[] = {{kAddrStatic, 0}, {kAddrDhcp, 1}, {kAddrPppoe, 1}};
    for (const auto& [mode, byte] : cases) {
        TDevInfo n = NewSettings();
        n.AddrMode = mode;
        const QByteArray d = Cgi::AddressChange(n, QString(), QString());
        ASSERT_EQ(d.size(), 324);
        EXPECT_EQ(d[301], byte) << int(mode);
    }
}

TEST(CgiAddressChange, IdentifierFieldStaysZero)
{
    const QByteArray d = Cgi::AddressChange(NewSettings(), QString(), QString());
    EXPECT_EQ(d.mid(92, 32), QByteArray(32, '\0'));
}

TEST(CgiAddressChange, LongTextsAreCutToLeaveTheirZero)
{
    TDevInfo n = NewSettings();
    n.Name = QString(100, 'N');
    n.IP = QStringLiteral("1234567890123456789");
    n.Version = QString(16, 'V');
    const QByteArray d = Cgi::AddressChange(n, QString(40, 'u'), QString(32, 'p'));
    ASSERT_EQ(d.size(), 324);
    EXPECT_EQ(wire::Field(d, 4, 16), "123456789012345");
    EXPECT_EQ(d[19], 0);
    EXPECT_EQ(wire::Field(d, 20, 16), "255.0.0.0");  // the cut did not spill over
    EXPECT_EQ(wire::Field(d, 124, 80), QByteArray(79, 'N'));
    EXPECT_EQ(wire::Field(d, 204, 16), QByteArray(15, 'V'));
    EXPECT_EQ(wire::Field(d, 236, 32), QByteArray(31, 'u'));
    EXPECT_EQ(wire::Field(d, 268, 32), QByteArray(31, 'p'));
    EXPECT_EQ(d[299], 0);
}

TEST(CgiAddressChange, CutNeverSplitsAUtf8Character)
{
    TDevInfo n = NewSettings();
    n.Name = QString(78, 'a') + QStringLiteral("\u00e9\u00e9");  // 78 + 2 + 2 bytes
    const QByteArray d = Cgi::AddressChange(n, QString(), QString());
    EXPECT_EQ(wire::Field(d, 124, 80), QByteArray(78, 'a'));
    n.Name = QStringLiteral("Caf\u00e9");
    EXPECT_EQ(wire::Field(Cgi::AddressChange(n, QString(), QString()), 124, 80), "Caf\xc3\xa9");
}

TEST(CgiAddressChange, RefusesAMacThatAddressesNoCamera)
{
    const char* bad[] = {"", "001A2B3C4D5", "001A2B3C4D5E0", "00:1A:2B:3C:4D", "001A2B3C4DZZ",
                         "001A2B3C4D 5"};
    for (const char* macHex : bad) {
        TDevInfo n = NewSettings();
        n.MacHex = QString::fromLatin1(macHex);
        EXPECT_TRUE(Cgi::AddressChange(n, QString(), QString()).isEmpty()) << macHex;
    }
    TDevInfo lower = NewSettings();
    lower.MacHex = QStringLiteral("001a2b3c4d5e");
    EXPECT_EQ(Cgi::AddressChange(lower, QString(), QString()).mid(84, 6),
              Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
}

TEST(CgiAddressChangeAnswer, ResultDecides)
{
    const QByteArray request = Cgi::AddressChange(NewSettings(), QString(), QString());
    struct {
        const char* why;
        QByteArray dgram;
        Cgi::TAnswer want;
    } cases[] = {
        {"accepted", wire::Answer(request, 0x8000), Cgi::TAnswer::Accepted},
        {"0x8001", wire::Answer(request, 0x8001), Cgi::TAnswer::Refused},
        {"zero", wire::Answer(request, 0), Cgi::TAnswer::Refused},
        {"big-endian 0x8000", wire::Answer(request, 0x00800000), Cgi::TAnswer::Refused},
        {"result missing", wire::Answer(request, 0x8000).left(324), Cgi::TAnswer::Refused},
        {"result cut after two bytes", wire::Answer(request, 0x8000).left(326),
         Cgi::TAnswer::Accepted},
        {"header only", Bytes({0x44, 0x48, 0x02, 0x08}), Cgi::TAnswer::Refused},
        {"our own broadcast", request, Cgi::TAnswer::NotAnswer},
        {"search reply", wire::Build(wire::SearchReply{}), Cgi::TAnswer::NotAnswer},
        {"wrong type", wire::Answer(request, 0x8000, 0x0801), Cgi::TAnswer::NotAnswer},
        {"too short", Bytes({0x44, 0x48, 0x02}), Cgi::TAnswer::NotAnswer},
        {"empty", QByteArray(), Cgi::TAnswer::NotAnswer},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cgi::ParseAddressChangeAnswer(c.dgram), c.want) << c.why;
}

}  // namespace
