// CTP/1.0 request texts and reply parsing, byte for byte. No sockets.
#include "CtpMessage.h"

#include <gtest/gtest.h>

using namespace Ctp;

namespace {
struct TRequestCase {
    const char* name;
    QByteArray actual;
    QByteArray expected;
};

TDEVWiFi WiFi(qint32 enable, const char* ssid, const char* authmode, const char* encryptype, const char* key,
              qint32 dhcpen = 0)
{
    return TDEVWiFi{enable, QString::fromUtf8(ssid), QString::fromUtf8(authmode), QString::fromUtf8(encryptype),
                    QString::fromUtf8(key), dhcpen};
}
}  // namespace

TEST(CtpRequest, ExactTexts)
{
    const TRequestCase cases[] = {
        {"search", SearchRequest(), "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"},
        {"leave command mode", ExitRequest(), "CMD exit CTP/1.0\r\n"},
        {"keepalive: no arguments, length 2", KeepAliveRequest(),
         "CMD keepalive CTP/1.0\r\nContent-Length:2\r\n\r\n\r\n"},
        {"iwlist", ScanWiFiRequest(), "CMD iwlist CTP/1.0\r\nContent-Length:2\r\n\r\n\r\n"},
        {"restart", RestartRequest(), "CMD restart CTP/1.0\r\nContent-Length:2\r\n\r\n\r\n"},
        {"getoraystate -list", OrayStateRequest(),
         "CMD getoraystate CTP/1.0\r\nContent-Length:9\r\n\r\n-list\r\n\r\n"},
        {"cfgwnic -list", GetWiFiRequest(), "CMD cfgwnic CTP/1.0\r\nContent-Length:9\r\n\r\n-list\r\n\r\n"},
        {"login with an empty password: body of 17", LoginRequest("admin", ""),
         "CMD cfgusr CTP/1.0\r\nContent-Length:17\r\n\r\n-login admin:\r\n\r\n"},
        {"login trims both texts", LoginRequest("  admin\t", " pass word  "),
         "CMD cfgusr CTP/1.0\r\nContent-Length:26\r\n\r\n-login admin:pass word\r\n\r\n"},
        {"login: the length counts UTF-8 bytes", LoginRequest("admin", QString::fromUtf8("p\xC3\xA4")),
         "CMD cfgusr CTP/1.0\r\nContent-Length:20\r\n\r\n-login admin:p\xC3\xA4\r\n\r\n"},
        {"cfgwnic settings: trimmed, in order, dhcpen never sent",
         SetWiFiRequest(WiFi(0, " home net ", "WPA2PSK ", " AES", " k1 ", 1)),
         "CMD cfgwnic CTP/1.0\r\nContent-Length:74\r\n\r\n"
         "-enable 0\r\n-ssid home net\r\n-authmode WPA2PSK\r\n-encryptype AES\r\n-key k1\r\n\r\n"},
        {"cfgwnic settings of an open network keep the blank after empty values",
         SetWiFiRequest(WiFi(1, "cafe", "NONE", "", "")),
         "CMD cfgwnic CTP/1.0\r\nContent-Length:62\r\n\r\n"
         "-enable 1\r\n-ssid cafe\r\n-authmode NONE\r\n-encryptype \r\n-key \r\n\r\n"},
        {"setip: the length counts the empty line", SetIpRequest("-sn X1\r\n-interface 10.0.0.5\r\n"),
         "CMD setip CTP/1.0\r\nContent-Length: 33\r\n\r\n-sn X1\r\n-interface 10.0.0.5\r\n\r\n"},
        {"any verb, flag and argument lines", CommandRequest("x", {"-a", ArgLine("b", "c d")}),
         "CMD x CTP/1.0\r\nContent-Length:14\r\n\r\n-a\r\n-b c d\r\n\r\n"},
    };
    for (const TRequestCase& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(CtpReply, SuccessSubstrings)
{
    struct {
        QByteArray reply;
        bool alive;
        bool ok;
    } const cases[] = {
        {"CTP/1.0 200 OK\r\n\r\n", true, true},
        {"CTP/1.0 200\r\n\r\n", true, false},  // enough for keepalive only
        {"CTP/1.0 200OK\r\n\r\n", true, false},
        {"CTP/1.0 401 Unauthorized\r\n\r\n", false, false},
        {"CTP/1.0 2 00 OK\r\n", false, false},
        {"garbage 200 OK garbage", true, true},  // nothing but the substring is read
        {"CTP/1.0 200 O", true, false},          // cut short
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyAlive(c.reply), c.alive) << c.reply.constData();
        EXPECT_EQ(ReplyOk(c.reply), c.ok) << c.reply.constData();
    }
}

TEST(CtpReply, BodyIsTextAfterFirstEmptyLine)
{
    EXPECT_EQ(ReplyBody("H\r\n\r\nA\r\n\r\nB"), QByteArray("A\r\n\r\nB"));
    EXPECT_EQ(ReplyBody("H\r\n\r\n"), QByteArray(""));
    EXPECT_EQ(ReplyBody("H\r\nA\r\n"), std::nullopt);
    EXPECT_EQ(ReplyBody("H\n\nA"), std::nullopt);  // the separator is CR LF CR LF only
    EXPECT_EQ(ReplyBody(""), std::nullopt);
}

TEST(CtpReply, LinesSplitAtCrLfOrCrLf)
{
    struct {
        const char* text;
        QStringList lines;
    } const cases[] = {
        {"a\r\nb", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},  // LF then CR: two line ends
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\r\n", {"a"}},  // a final line end adds no line
        {"\r\n", {""}},
        {"", {}},
        {"a", {"a"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(QString::fromLatin1(c.text)), c.lines) << QByteArray(c.text).toHex().constData();
}

TEST(CtpReply, DecimalNumbers)
{
    struct {
        const char* text;
        bool ok;
        qint32 value;
    } const cases[] = {
        {"12", true, 12},           {" 12 ", true, 12},          {"+5", true, 5},
        {"-7", true, -7},           {"007", true, 7},            {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {"-2147483649", false, 0},
        {"99999999999999999999", false, 0}, {"", false, 0},     {"-", false, 0},
        {"1a", false, 0},           {"1 2", false, 0},           {"0x1F", false, 0},
    };
    for (const auto& c : cases) {
        qint32 value = 0;
        EXPECT_EQ(ParseDecimal(QString::fromLatin1(c.text), value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    qint32 value = 0;
    EXPECT_FALSE(ParseDecimal(QString::fromUtf8("\xD9\xA3"), value)) << "only ASCII digits";
}

TEST(CtpReply, OrayState)
{
    struct {
        const char* name;
        QByteArray reply;
        qint32 status;
    } const cases[] = {
        {"status 0", "CTP/1.0 200 OK\r\n\r\n-status 0\r\n", 0},
        {"status 3 among other lines", "CTP/1.0 200 OK\r\n\r\n-user x\r\n-status 3\r\n-host y\r\n", 3},
        {"no status line", "CTP/1.0 200 OK\r\n\r\n-user x\r\n", kOrayUnknown},
        {"empty body", "CTP/1.0 200 OK\r\n\r\n", kOrayUnknown},
        {"the last status line counts", "CTP/1.0 200 OK\r\n\r\n-status 1\n-status 4\n", 4},
        {"the last status line counts even when bad", "CTP/1.0 200 OK\r\n\r\n-status 1\r\n-status z\r\n",
         kOrayUnknown},
        {"not a number", "CTP/1.0 200 OK\r\n\r\n-status ok\r\n", kOrayUnknown},
        {"no value", "CTP/1.0 200 OK\r\n\r\n-status\r\n", kOrayUnknown},
        {"out of range", "CTP/1.0 200 OK\r\n\r\n-status 99999999999\r\n", kOrayUnknown},
        {"eight characters are dropped, not the name", "CTP/1.0 200 OK\r\n\r\n  -status 0\r\n", kOrayUnknown},
        {"lines end in CR alone", "CTP/1.0 200 OK\r\n\r\n-a 1\r-status 2\r", 2},
        {"without 200 OK", "CTP/1.0 200\r\n\r\n-status 0\r\n", kOrayUnknown},
        {"status in the header only", "CTP/1.0 200 OK\r\n-status 0\r\n\r\n", kOrayUnknown},
        {"no separator", "CTP/1.0 200 OK\r\n-status 0\r\n", kOrayUnknown},
        {"empty reply", "", kOrayUnknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOrayState(c.reply), c.status) << c.name;
}

TEST(CtpReply, WiFiSettings)
{
    struct {
        const char* name;
        QByteArray reply;
        std::optional<TDEVWiFi> wifi;
    } const cases[] = {
        {"every field",
         "CTP/1.0 200 OK\r\n\r\n-enable 1\r\n-ssid home net\r\n-authmode WPA2PSK\r\n-encryptype AES\r\n"
         "-key s3cret\r\n-dhcpen 1\r\n",
         WiFi(1, "home net", "WPA2PSK", "AES", "s3cret", 1)},
        {"a key line without a blank gives the key \"-key\"", "CTP/1.0 200 OK\r\n\r\n-key\r\n",
         WiFi(0, "", "", "", "-key")},
        {"blanks around the line and the value", "CTP/1.0 200 OK\r\n\r\n  -ssid   my net  \r\n",
         WiFi(0, "my net", "", "", "")},
        {"the value begins after the first blank only", "CTP/1.0 200 OK\r\n\r\n-key a b c\r\n",
         WiFi(0, "", "", "", "a b c")},
        {"numbers that are not numbers are 0", "CTP/1.0 200 OK\r\n\r\n-enable yes\r\n-dhcpen\r\n",
         WiFi(0, "", "", "", "")},
        {"a later line overwrites", "CTP/1.0 200 OK\r\n\r\n-ssid first\r\n-ssid second\r\n",
         WiFi(0, "second", "", "", "")},
        {"the first name the line contains decides", "CTP/1.0 200 OK\r\n\r\n-key pass-ssid\r\n",
         WiFi(0, "pass-ssid", "", "", "")},
        {"other lines are skipped", "CTP/1.0 200 OK\r\n\r\n-channel 6\r\nhello\r\n-enable 1\r\n",
         WiFi(1, "", "", "", "")},
        {"empty body gives an empty record", "CTP/1.0 200 OK\r\n\r\n", WiFi(0, "", "", "", "")},
        {"UTF-8 network name", "CTP/1.0 200 OK\r\n\r\n-ssid Caf\xC3\xA9\r\n", WiFi(0, "Caf\xC3\xA9", "", "", "")},
        {"without 200 OK", "CTP/1.0 200\r\n\r\n-enable 1\r\n", std::nullopt},
        {"a header that never ends", "CTP/1.0 200 OK\r\n-enable 1\r\n-ssid x\r\n", std::nullopt},
        {"empty reply", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseWiFi(c.reply), c.wifi) << c.name;
}

TEST(CtpReply, ScanLine)
{
    struct {
        const char* line;
        std::optional<TWiFi2> wifi;
    } const cases[] = {
        {"home,00:11:22:33:44:55,1,0,2,2, 80 ", TWiFi2{"home", 1, 0, 2, 2, "80"}},
        {",00:11:22:33:44:55,1,0,2,2,80", std::nullopt},
        {"no comma at all", std::nullopt},
        {" spaced name ,m,0,0,0,0,1", TWiFi2{" spaced name ", 0, 0, 0, 0, "1"}},
        {"x,m,one,2,three,4,5", TWiFi2{"x", 0, 2, 0, 4, "5"}},
        {"x,m,1,0,2,2,80,more,fields", TWiFi2{"x", 1, 0, 2, 2, "80,more,fields"}},
        {"short,m,1", TWiFi2{"short", 1, 0, 0, 0, ""}},
        {"name only,", TWiFi2{"name only", 0, 0, 0, 0, ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseWiFiScanLine(QString::fromLatin1(c.line)), c.wifi) << c.line;
}

TEST(CtpReply, ScanListAppendsItems)
{
    TWiFi2List list;
    list.append(TWiFi2Item{"kept", TWiFi2{}});
    const QByteArray reply = "CTP/1.0 200 OK\r\n\r\n"
                             "home,00:11:22:33:44:55,1,0,2,2, 80 \r\n"
                             "\r\n"
                             ",00:00:00:00:00:01,1,0,1,1,10\r\n"
                             "cafe,66:77:88:99:AA:BB,0,0,0,0,35\n";
    ASSERT_TRUE(ParseWiFiScanInto(reply, list));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].text, "kept");
    EXPECT_EQ(list[1].text, "home(80%)");
    EXPECT_EQ(list[1].wifi, (TWiFi2{"home", 1, 0, 2, 2, "80"}));
    EXPECT_EQ(list[2].text, "cafe(35%)");
}

TEST(CtpReply, ScanListFailures)
{
    const TWiFi2List before{TWiFi2Item{"kept", TWiFi2{}}};
    struct {
        const char* name;
        QByteArray reply;
        bool resultWithKept;
    } const cases[] = {
        {"without 200 OK", "CTP/1.0 500\r\n\r\nhome,m,1,0,2,2,80\r\n", false},
        {"no separator: no body", "CTP/1.0 200 OK\r\nhome,m,1,0,2,2,80\r\n", true},
        {"no network", "CTP/1.0 200 OK\r\n\r\n,m,1,0,2,2,80\r\nnocomma\r\n", true},
    };
    for (const auto& c : cases) {
        TWiFi2List empty;
        EXPECT_FALSE(ParseWiFiScanInto(c.reply, empty)) << c.name;
        EXPECT_TRUE(empty.isEmpty()) << c.name;
        // Items already in the list count as networks listed once the camera said "200 OK".
        TWiFi2List list = before;
        EXPECT_EQ(ParseWiFiScanInto(c.reply, list), c.resultWithKept) << c.name;
        EXPECT_EQ(list.size(), before.size()) << c.name;
    }
}
