// Probes byte for byte, and the reply parsers of families 2, 5 and 8 against built replies.

#include "DeviceList.h"
#include "Bin8Family.h"
#include "CtpFamily.h"
#include "CtpMessage.h"
#include "FakeSearchSink.h"
#include "LegacyFamilies.h"
#include "MoiFamily.h"
#include "TestPackets.h"

#include <gtest/gtest.h>

using namespace testpk;

namespace {

TDevInfo Fresh()
{
    TDevInfo r;
    r.Family = -1;
    return r;
}

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

}  // namespace

TEST(Probes, FixedProbesAreByteExact)
{
    EXPECT_EQ(MoI::SearchProbe(), Hex("4d4f5f49" "0000" "000000000000000000" "04000000" "00000000" "00000001"));
    EXPECT_EQ(MoI::SearchProbe().size(), 27);
    EXPECT_EQ(Bin8::SearchProbe(), Hex("1010010f00000000"));
    EXPECT_EQ(Ctp::SearchRequest(), QByteArray("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"));
    EXPECT_EQ(Ctp::SearchRequest().size(), 34);
    EXPECT_EQ(Legacy::ImagiaProbe(), QByteArray("IMAGIAQUERY,0"));
    EXPECT_EQ(Legacy::ImagiaProbe().size(), 13);
    EXPECT_EQ(Legacy::UicamProbe(), QByteArray("uicam query"));
    EXPECT_EQ(Legacy::UicamProbe().size(), 11);
}

TEST(Probes, Sq610ListsItsItemsThenZeros)
{
    const QByteArray p = Legacy::Sq610Probe();
    ASSERT_EQ(p.size(), 256);
    EXPECT_TRUE(p.startsWith("SQ610"));
    const std::pair<int, int> items[] = {{0x10, 6},  {0x20, 16}, {0x21, 16}, {0x11, 4}, {0x12, 4},
                                         {0x13, 4},  {0x14, 4},  {0x1F, 4},  {0x22, 16}, {0x23, 16},
                                         {0x24, 4},  {0x28, 4},  {0x25, 30}, {0x26, 1}};
    int at = 5;
    for (const auto& [tag, len] : items) {
        EXPECT_EQ(quint8(p[at]), tag) << "at " << at;
        EXPECT_EQ(quint8(p[at + 1]), len) << "at " << at;
        EXPECT_EQ(p.mid(at + 2, len), QByteArray(len, '\0'));
        at += 2 + len;
    }
    EXPECT_EQ(at, 162);
    EXPECT_EQ(p.mid(162), QByteArray(256 - 162, '\0'));
}

TEST(Probes, ImagiaGoesOutEveryThirdTick)
{
    for (int tick = 0; tick < 10; ++tick)
        EXPECT_EQ(Legacy::ImagiaProbeDue(tick), tick == 0 || tick == 3 || tick == 6 || tick == 9) << tick;
}

TEST(Probes, OwnProbesAndRequestsAreDropped)
{
    TDeviceList list;
    const QByteArray readNet = Bin8::Request(Bin8::SearchProbe(), Bin8::kCmdReadNet, QByteArray(128, 'x'));
    const QByteArray readDdns = Bin8::Request(Bin8::SearchProbe(), Bin8::kCmdReadDdns, QByteArray(128, 'x'));
    for (const QByteArray& own : {Legacy::ImagiaProbe(), Legacy::Sq610Probe(), MoI::SearchProbe(), Legacy::UicamProbe(),
                                  Ctp::SearchRequest(), Bin8::SearchProbe(), readNet, readDdns}) {
        TDevInfo rec = Fresh();
        QByteArray follow;
        EXPECT_FALSE(ParseReply(own, rec, &list, &follow)) << own.left(12).toHex().constData();
        EXPECT_TRUE(follow.isEmpty());
        EXPECT_EQ(rec.Family, -1);
    }
}

// --- family 2 --------------------------------------------------------------------------

TEST(MoIReplyParser, StaticCameraWithBody64)
{
    MoIReply r;
    r.port = 8080;
    TDevInfo rec = Fresh();
    ASSERT_TRUE(ParseReply(Build(r), rec, nullptr, nullptr));
    EXPECT_EQ(rec.Family, 2);
    EXPECT_EQ(rec.AddrMode, 2);
    EXPECT_EQ(rec.Mac, "001A2B3C4D5E");
    EXPECT_EQ(rec.MacHex, "001A2B3C4D5E");
    EXPECT_EQ(rec.Name, "Cam");
    EXPECT_EQ(rec.IP, "192.168.1.20");
    EXPECT_EQ(rec.Mask, "255.255.255.0");
    EXPECT_EQ(rec.Gateway, "192.168.1.1");
    EXPECT_EQ(rec.Dns1, "8.8.8.8");
    EXPECT_EQ(rec.Version, "1.2.3.4:5.6.7.8");
    EXPECT_EQ(rec.HttpPort, 8080);  // big-endian on the wire
    EXPECT_TRUE(rec.DdnsServer.isEmpty());
    EXPECT_TRUE(rec.DdnsUser.isEmpty());
}

TEST(MoIReplyParser, Body195CarriesAddressModeAndDdns)
{
    struct Case {
        quint8 modeByte;
        int addrMode;
    } cases[] = {{1, 1}, {0, 2}, {2, 2}, {0xFF, 2}};
    for (const Case& c : cases) {
        MoIReply r;
        r.bodyLength = 195;
        r.dhcp = c.modeByte;
        r.ddnsServer = "ddns.example.net:808";
        r.ddnsUser = "cam42";
        TDevInfo rec = Fresh();
        ASSERT_TRUE(MoI::ParseSearchReply(Build(r), rec));
        EXPECT_EQ(rec.AddrMode, c.addrMode) << int(c.modeByte);
        EXPECT_EQ(rec.DdnsServer, "ddns.example.net:808");
        EXPECT_EQ(rec.DdnsUser, "cam42");
    }
}

TEST(MoIReplyParser, RejectsOtherOperationsAndBodiesShorterThan64)
{
    struct Case {
        quint16 op;
        quint32 length;
    } cases[] = {{0, 64}, {2, 64}, {0, 195}, {1, 63}, {1, 0}, {1, 1}};
    for (const Case& c : cases) {
        MoIReply r;
        r.op = c.op;
        r.bodyLength = c.length;
        TDevInfo rec = Fresh();
        EXPECT_FALSE(ParseReply(Build(r), rec, nullptr, nullptr)) << c.op << " " << c.length;
        EXPECT_EQ(rec.Family, -1);
    }
}

// Real firmware announces body lengths other than 64, 65 and 195 (88-byte datagrams that
// announce 98): the core layout is read, and body byte 64 is the DHCP flag when the datagram
// holds it. Only the 195-byte layout carries the DDNS texts.
TEST(MoIReplyParser, BodyLengthTable)
{
    struct Case {
        quint32 announced;
        int bodyBytes;  // body bytes the datagram holds
        quint8 flag;    // body byte 64
        int addrMode;
        bool ddns;
    } cases[] = {
        {64, 64, 0, 2, false},        // no byte 64
        {64, 195, 1, 2, false},       // the core layout ignores what follows
        {65, 65, 1, 2, false},        // 65 reads as 64
        {195, 195, 1, 1, true},
        {195, 195, 0, 2, true},
        {98, 65, 1, 1, false},        // the 88-byte datagram of real cameras
        {98, 65, 0, 2, false},
        {98, 65, 2, 2, false},        // only 1 means DHCP
        {98, 64, 1, 2, false},        // 87 bytes: byte 64 is not there, reads as zero
        {66, 195, 1, 1, false},       // DDNS texts only in the 195-byte layout
        {196, 195, 1, 1, false},
        {1000, 65, 1, 1, false},
        {0x10000 + 64, 65, 1, 1, false},
        {0xFFFFFFFF, 65, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.announced << " announced, " << c.bodyBytes << " held");
        MoIReply r;
        r.bodyLength = 195;  // all fields in place; the header and the length are set below
        r.dhcp = c.flag;
        r.port = 8080;
        r.ddnsServer = "ddns.example.net:808";
        r.ddnsUser = "cam42";
        QByteArray d = Build(r).left(23 + c.bodyBytes);
        for (int i = 0; i < 4; ++i)
            d[15 + i] = char((c.announced >> (8 * i)) & 0xFF);
        ASSERT_EQ(d.size(), 23 + c.bodyBytes);

        TDevInfo rec = Fresh();
        ASSERT_TRUE(ParseReply(d, rec, nullptr, nullptr));
        EXPECT_EQ(rec.Family, 2);
        EXPECT_EQ(rec.Mac, "001A2B3C4D5E");
        EXPECT_EQ(rec.Name, "Cam");
        EXPECT_EQ(rec.IP, "192.168.1.20");
        EXPECT_EQ(rec.Mask, "255.255.255.0");
        EXPECT_EQ(rec.Gateway, "192.168.1.1");
        EXPECT_EQ(rec.Dns1, "8.8.8.8");
        EXPECT_EQ(rec.Version, "1.2.3.4:5.6.7.8");
        EXPECT_EQ(rec.HttpPort, 8080);
        EXPECT_EQ(rec.AddrMode, c.addrMode);
        EXPECT_EQ(rec.DdnsServer, c.ddns ? "ddns.example.net:808" : "");
        EXPECT_EQ(rec.DdnsUser, c.ddns ? "cam42" : "");
    }
}

TEST(MoIReplyParser, FieldsAreCutToTheirWidthAndShortRepliesReadZeros)
{
    MoIReply r;
    r.mac = "ABCDEFGHIJKLMNOP";                    // 13 bytes taken, no NUL in the field
    r.name = "\xC3\xA4" "bcdefghijklmnopqrstuvwxyz";  // UTF-8, cut at 21 bytes
    TDevInfo rec = Fresh();
    ASSERT_TRUE(MoI::ParseSearchReply(Build(r), rec));
    EXPECT_EQ(rec.Mac, "ABCDEFGHIJKLM");
    EXPECT_EQ(rec.Name, QString::fromUtf8("\xC3\xA4" "bcdefghijklmnopqrst"));

    // Body length says 64, but the datagram ends inside the address fields.
    const QByteArray cut = Build(MoIReply{}).left(23 + 36);
    rec = Fresh();
    ASSERT_TRUE(MoI::ParseSearchReply(cut, rec));
    EXPECT_EQ(rec.Mac, "001A2B3C4D5E");
    EXPECT_EQ(rec.IP, "192.168.0.0");
    EXPECT_EQ(rec.Gateway, "0.0.0.0");
    EXPECT_EQ(rec.HttpPort, 0);
}

// --- family 5 --------------------------------------------------------------------------

TEST(CtpReplyParser, TakesEveryKey)
{
    const QByteArray d = CtpReply({"-sn=SN0001", "-name=Front door", "-ip=192.168.1.40",
                                   "-netmask=255.255.255.0", "-portctp=8081", "-mdns=8.8.8.8",
                                   "-sdns=8.8.4.4", "-mac=00:1A:2b:3C:4D:5E", "-gw=192.168.1.1",
                                   "-ddns=ddns.example.net:808", "-ddnsuser=door",
                                   "-ddnspswd=secret", "-version=3.1.4"});
    TDevInfo rec = Fresh();
    ASSERT_TRUE(ParseReply(d, rec, nullptr, nullptr));
    EXPECT_EQ(rec.Family, 5);
    EXPECT_EQ(rec.AddrMode, 2);
    EXPECT_EQ(rec.SN, "SN0001");
    EXPECT_EQ(rec.Name, "Front door");
    EXPECT_EQ(rec.IP, "192.168.1.40");
    EXPECT_EQ(rec.Mask, "255.255.255.0");
    EXPECT_EQ(rec.HttpPort, 8081);
    EXPECT_EQ(rec.Dns1, "8.8.8.8");
    EXPECT_EQ(rec.Dns2, "8.8.4.4");
    EXPECT_EQ(rec.Mac, "001A2b3C4D5E");  // colons gone, case as received
    EXPECT_EQ(rec.MacHex, "001A2B3C4D5E");
    EXPECT_EQ(rec.Gateway, "192.168.1.1");
    EXPECT_EQ(rec.DdnsServer, "ddns.example.net:808");
    EXPECT_EQ(rec.DdnsUser, "door");
    EXPECT_EQ(rec.DdnsPwd, "secret");
    EXPECT_EQ(rec.Version, "3.1.4");
}

TEST(CtpReplyParser, PortValues)
{
    struct Case {
        QByteArray line;
        int port;
    } cases[] = {{"-portctp=8000", 8000}, {"-portctp=abc", 80}, {"-portctp=", 80},
                 {"-portctp 81", 81},     {"-portctp=12x", 80}};
    for (const Case& c : cases) {
        TDevInfo rec = Fresh();
        ASSERT_TRUE(CtpFamily::ParseSearchReply(CtpReply({c.line}), rec));
        EXPECT_EQ(rec.HttpPort, c.port) << c.line.constData();
    }
    TDevInfo rec = Fresh();
    ASSERT_TRUE(CtpFamily::ParseSearchReply(CtpReply({"-ip=1.2.3.4"}), rec));
    EXPECT_EQ(rec.HttpPort, 0) << "no port line leaves the port alone";
}

TEST(CtpReplyParser, FirstLineWithTheKeyWins)
{
    // A key matches only when a separator follows it: "-ddns" is not the start of an earlier
    // "-ddnsuser" or "-ddnspswd" line. The separator itself may be any other character.
    TDevInfo rec = Fresh();
    ASSERT_TRUE(CtpFamily::ParseSearchReply(CtpReply({"-ddnsuser=bob", "-ddnspswd pw", "-ddns=srv.example.net",
                                        "-name=first", "-name=second"}),
                              rec));
    EXPECT_EQ(rec.DdnsServer, "srv.example.net");
    EXPECT_EQ(rec.DdnsUser, "bob");
    EXPECT_EQ(rec.DdnsPwd, "pw");
    EXPECT_EQ(rec.Name, "first");
    // A line that is the key alone gives an empty value; a longer key ("-ipv6") is another key.
    rec = Fresh();
    ASSERT_TRUE(CtpFamily::ParseSearchReply(CtpReply({"-ipv6 fe80::1", "-ip 10.0.0.9", "-gw", "-ddnsserver x"}), rec));
    EXPECT_EQ(rec.IP, "10.0.0.9");
    EXPECT_EQ(rec.Gateway, "");
    EXPECT_EQ(rec.DdnsServer, "");
    // Keys are case-sensitive and lines are split only at CR LF.
    rec = Fresh();
    ASSERT_TRUE(CtpFamily::ParseSearchReply("REPLY\r\n-IP=1.1.1.1\r\n-name=a\n-ip=2.2.2.2", rec));
    EXPECT_TRUE(rec.IP.isEmpty());
    EXPECT_EQ(rec.Name, "a\n-ip=2.2.2.2");
}

// --- family 8 --------------------------------------------------------------------------

TEST(Bin8Exchange, SearchAnswerAsksForTheNetworkBlock)
{
    const QByteArray reply = Bin8SearchReply(Bin8Block{}, 0xBEEF);
    ASSERT_EQ(reply.size(), 140);
    TDeviceList list;
    TDevInfo rec = Fresh();
    QByteArray follow;
    EXPECT_FALSE(ParseReply(reply, rec, &list, &follow));
    EXPECT_EQ(rec.Family, -1);
    ASSERT_EQ(follow.size(), 136);
    EXPECT_EQ(follow.left(8), Hex("1010120fefbe8000"));  // command 0x0F12, word copied, 128
    EXPECT_EQ(follow.mid(8), reply.mid(12, 128));
    EXPECT_EQ(list.Count(), 0);

    // Four bytes short of the copied range: sent as zeros. Shorter still: dropped.
    follow.clear();
    EXPECT_FALSE(ParseReply(reply.left(136), rec, &list, &follow));
    ASSERT_EQ(follow.size(), 136);
    EXPECT_EQ(follow.mid(8, 124), reply.mid(12, 124));
    EXPECT_EQ(follow.right(4), QByteArray(4, '\0'));
    follow.clear();
    EXPECT_FALSE(ParseReply(reply.left(135), rec, &list, &follow));
    EXPECT_TRUE(follow.isEmpty());
}

TEST(Bin8Exchange, NetworkBlockGivesTheRecordAndAsksForDdns)
{
    Bin8Block b;
    b.http = 8088;
    b.dhcp = 1;
    const QByteArray reply = Bin8NetReply(b, "V2.1.7", 0x0102);
    TDevInfo rec = Fresh();
    QByteArray follow;
    ASSERT_TRUE(ParseReply(reply, rec, nullptr, &follow));
    EXPECT_EQ(rec.Family, 8);
    EXPECT_EQ(rec.Mac, "0012ABCDEF01");
    EXPECT_EQ(rec.MacHex, "0012ABCDEF01");
    EXPECT_EQ(rec.SN, "0A0B0C0D0E0F10");
    EXPECT_EQ(rec.Name, "Bin8 cam");
    EXPECT_EQ(rec.IP, "192.168.1.30");
    EXPECT_EQ(rec.Mask, "255.255.255.0");
    EXPECT_EQ(rec.Gateway, "192.168.1.1");
    EXPECT_EQ(rec.Dns1, "8.8.8.8");
    EXPECT_EQ(rec.Dns2, "208.67.222.222");
    EXPECT_EQ(rec.HttpPort, 8088);
    EXPECT_EQ(rec.DataPort, 9000);
    EXPECT_EQ(rec.Word8, 0x1234);
    EXPECT_EQ(rec.AddrMode, 1);
    EXPECT_EQ(rec.Version, "V2.1.7");
    ASSERT_EQ(follow.size(), 136);
    EXPECT_EQ(follow.left(8), Hex("10100f0f02018000"));
    EXPECT_EQ(follow.mid(8), reply.mid(8, 128));

    // Static camera; a reply that ends right after the block has no version.
    b.dhcp = 0;
    rec = Fresh();
    ASSERT_TRUE(ParseReply(Bin8NetReply(b).left(136), rec, nullptr, nullptr));
    EXPECT_EQ(rec.AddrMode, 2);
    EXPECT_TRUE(rec.Version.isEmpty());
    rec = Fresh();
    EXPECT_FALSE(ParseReply(Bin8NetReply(b).left(135), rec, nullptr, nullptr));
    EXPECT_EQ(rec.Family, -1);
}

TEST(Bin8Exchange, FullFieldsWithoutTerminatorStayInsideTheirWidth)
{
    Bin8Block b;
    b.ip = "123.123.123.123X";  // 16 bytes, no NUL before the mask
    b.name = QByteArray(24, 'N');
    QByteArray reply = Bin8NetReply(b);
    testpk::Put(reply, 8, "123.123.123.1234");
    TDevInfo rec = Fresh();
    ASSERT_TRUE(Bin8::ParseNetReply(reply, rec));
    EXPECT_EQ(rec.IP, "123.123.123.1234");
    EXPECT_EQ(rec.Mask, "255.255.255.0");
    EXPECT_EQ(rec.Name, QString(24, u'N'));
}

TEST(Bin8Exchange, DdnsAnswerUpdatesAKnownCamera)
{
    TDeviceList list;
    Bin8Block b;
    TDevInfo rec = Fresh();
    ASSERT_TRUE(ParseReply(Bin8NetReply(b), rec, &list, nullptr));
    ASSERT_TRUE(list.AddOrUpdateDevice(rec));

    rec = Fresh();
    ASSERT_TRUE(ParseReply(Bin8DdnsReply(b, "user.ddns.example.net:808", "cam8", "pw8"), rec,
                           &list, nullptr));
    EXPECT_EQ(rec.Family, 8);
    EXPECT_EQ(rec.IP, "192.168.1.30");
    EXPECT_EQ(rec.DdnsServer, "user.ddns.example.net:808");
    EXPECT_EQ(rec.DdnsUser, "cam8");
    EXPECT_EQ(rec.DdnsPwd, "pw8");
    EXPECT_FALSE(list.AddOrUpdateDevice(rec));
    const TDevInfo* row = list.FindRecordByMac("0012ABCDEF01");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->DdnsUser, "cam8");
    EXPECT_EQ(row->DdnsPwd, "pw8");
    EXPECT_EQ(OuterUrl(*row), "http://cam8.ddns.example.net");
}

TEST(Bin8Exchange, DdnsAnswerForAnUnknownCameraChangesNothing)
{
    TDeviceList list;
    Bin8Block known;
    TDevInfo rec = Fresh();
    ASSERT_TRUE(Bin8::ParseNetReply(Bin8NetReply(known), rec));
    list.AddOrUpdateDevice(rec);

    Bin8Block other;
    other.mac = QByteArray::fromHex("00aabbccddee");
    rec = Fresh();
    ASSERT_TRUE(ParseReply(Bin8DdnsReply(other, "s.example.net", "u", "p"), rec, &list, nullptr));
    EXPECT_EQ(rec.Family, -1);
    EXPECT_FALSE(list.AddOrUpdateDevice(rec));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.RecordAt(0)->DdnsUser.isEmpty());
}

TEST(Bin8Exchange, ShortDdnsAnswersAndOtherCommandsAreDropped)
{
    TDeviceList list;
    Bin8Block b;
    TDevInfo rec = Fresh();
    Bin8::ParseNetReply(Bin8NetReply(b), rec);
    list.AddOrUpdateDevice(rec);

    // The password text starts at 336: a datagram must reach it.
    rec = Fresh();
    EXPECT_FALSE(ParseReply(Bin8DdnsReply(b, "s.x", "u", "p", 336), rec, &list, nullptr));
    EXPECT_EQ(rec.Family, -1);
    rec = Fresh();
    EXPECT_TRUE(ParseReply(Bin8DdnsReply(b, "s.x", "u", "p", 337), rec, &list, nullptr));
    EXPECT_EQ(rec.DdnsPwd, "p");  // ends at the datagram's end

    for (quint16 cmd : {0x8F02, 0x0F01, 0x8F00, 0x0000, 0xFFFF}) {
        QByteArray d = Bin8DdnsReply(b, "s.x", "u", "p");
        testpk::PutLe16(d, 2, cmd);
        rec = Fresh();
        QByteArray follow;
        EXPECT_FALSE(ParseReply(d, rec, &list, &follow)) << std::hex << cmd;
        EXPECT_TRUE(follow.isEmpty());
    }
    for (const char* tiny : {"\x10\x10", "\x10\x10\x01", "\x10\x10\x01\x8f"}) {
        rec = Fresh();
        QByteArray follow;
        EXPECT_FALSE(ParseReply(QByteArray(tiny), rec, &list, &follow));
        EXPECT_TRUE(follow.isEmpty());
    }
}
