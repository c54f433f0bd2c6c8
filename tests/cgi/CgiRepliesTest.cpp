// Family-9 CGI addresses and the parsing of the camera's script answers.

#include "CgiPackets.h"
#include "CgiWire.h"

#include <gtest/gtest.h>

namespace {

TEST(CgiValue, Table)
{
    struct {
        const char* reply;
        const char* name;
        const char* value;
    } cases[] = {
        {"var a=1;", "var a", "1"},
        {"var a=\"x y\";", "var a", "x y"},
        {"var a='x\"y\"z';", "var a", "xyz"},           // every quote goes
        {"var a=1", "var a", ""},                       // no ";"
        {"var b=1;", "var a", ""},                      // no name
        {"var a;", "var a", ""},                        // ";" right after the name
        {"var a=;", "var a", ""},
        {"var a=x;var a=y;", "var a", "x"},             // the first occurrence
        {"var a_bits=1;\nvar a=2;", "var a", "bits=1"}, // a longer name first: its tail
        {"xvar a=3;", "var a", "3"},                    // found inside another word
        {"var a==5;", "var a", "=5"},                   // exactly one character skipped
        {"var a:5;", "var a", "5"},                     // whatever that character is
        {"var a=1", "", ""},
        {"", "var a", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cgi::CgiValue(QString::fromLatin1(c.reply), QString::fromLatin1(c.name)), c.value)
            << c.reply << " / " << c.name;
}

TDevInfo Camera(const char* ip, quint16 port)
{
    TDevInfo r;
    r.Family = 9;
    r.IP = QString::fromLatin1(ip);
    r.HttpPort = port;
    return r;
}

TEST(CgiUrls, BaseUrlOmitsPort80)
{
    EXPECT_EQ(Cgi::BaseUrl(Camera("10.0.0.5", 80)), "http://10.0.0.5");
    EXPECT_EQ(Cgi::BaseUrl(Camera("10.0.0.5", 81)), "http://10.0.0.5:81");
}

TEST(CgiUrls, ScanPagesAlwaysCarryThePortAndFollowADoubleSlash)
{
    const QString base = Cgi::ScanBase(Camera("10.0.0.5", 80));
    EXPECT_EQ(base, "Http://10.0.0.5:80/");
    EXPECT_EQ(Cgi::ScanUrl(base, " admin ", " pw "),
              "Http://10.0.0.5:80//wifi_scan.cgi?user=admin&pwd=pw");
    EXPECT_EQ(Cgi::ScanResultUrl(base, "admin", ""),
              "Http://10.0.0.5:80//get_wifi_scan_result.cgi?user=admin&pwd=");
}

TEST(CgiUrls, RequestAddressesTable)
{
    const QString b = QStringLiteral("http://10.0.0.5:81");
    TCgiFactoryParams f;
    f.user = QStringLiteral(" T0012345 ");
    f.passwd = QStringLiteral("dd pw");
    f.server = QStringLiteral("ddns.example.net");
    f.port = QStringLiteral("808");
    struct {
        const char* why;
        QString got;
        const char* want;
    } cases[] = {
        {"login, trimmed", Cgi::CheckLoginUrl(b, " admin ", " pw "),
         "http://10.0.0.5:81/get_params.cgi?user=admin&pwd=pw"},
        {"login, empty password", Cgi::CheckLoginUrl(b, "admin", ""),
         "http://10.0.0.5:81/get_params.cgi?user=admin&pwd="},
        {"login, password with structure", Cgi::CheckLoginUrl(b, "admin", "a&b=c#d"),
         "http://10.0.0.5:81/get_params.cgi?user=admin&pwd=a%26b%3Dc%23d"},
        {"params", Cgi::GetParamsUrl(b, "admin", "x y"),
         "http://10.0.0.5:81/get_params.cgi?user=admin&pwd=x%20y"},
        {"reboot", Cgi::RebootUrl(b), "http://10.0.0.5:81/reboot.cgi?next_url=reboot.htm"},
        {"factory, not trimmed", Cgi::FactoryUrl(b, " admin", "pw "),
         "http://10.0.0.5:81/get_factory_param.cgi?user=%20admin&pwd=pw%20"},
        {"ddns, all trimmed", Cgi::SetDdnsUrl(b, f, " admin ", " p+w "),
         "http://10.0.0.5:81/set_ddns.cgi?service=11&user=T0012345&pwd=dd%20pw&host=&proxy_svr="
         "ddns.example.net&proxy_port=808&restart_dyndns=&loginuse=admin&loginpas=p%2Bw"},
        {"status", Cgi::StatusUrl(b, "admin", "100%"),
         "http://10.0.0.5:81/get_status.cgi?user=admin&pwd=100%25"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got.toStdString(), c.want) << c.why;
}

TEST(CgiUrls, SetWiFiCarriesEveryValueInOrderWithChannel5)
{
    TCgiWiFiParams p;
    p.enable = 1;
    p.ssid = QStringLiteral(" My Net ");
    p.mode = 0;
    p.encrypt = 4;
    p.authtype = 2;
    p.keyformat = 1;
    p.defkey = 3;
    p.key1 = QStringLiteral("k1");
    p.key2 = QStringLiteral("k&2");
    p.key3 = QString();
    p.key4 = QStringLiteral("k4");
    p.key1_bits = 0;
    p.key2_bits = 1;
    p.key3_bits = 0;
    p.key4_bits = 1;
    p.wpa_psk = QStringLiteral(" pass phrase ");
    EXPECT_EQ(Cgi::SetWiFiUrl("http://10.0.0.5", " admin ", "", p).toStdString(),
              "http://10.0.0.5/set_wifi.cgi?next_url=rebootme.htm&user=admin&pwd=&channel=5"
              "&enable=1&ssid=%20My%20Net%20&mode=0&encrypt=4&authtype=2&keyformat=1&defkey=3"
              "&key1=k1&key2=k%262&key3=&key4=k4&key1_bits=0&key2_bits=1&key3_bits=0"
              "&key4_bits=1&wpa_psk=pass%20phrase");
}

TEST(CgiScanResult, TypicalAnswer)
{
    const QString reply = QStringLiteral(
        "var ap_number=2;\r\nvar ap_ssid=new Array();\r\n"
        "ap_ssid[0]=\"HomeNet\";\r\nap_mac[0]=\"00:11:22:33:44:55\";\r\nap_security[0]=4;\r\n"
        "ap_dbm0[0]='70';\r\nap_dbm1[0]='-40';\r\nap_mode[0]=0;\r\n"
        "ap_ssid[1]=\" Cafe \";\r\nap_mac[1]=\" 66:77 \";\r\nap_security[1]=0;\r\n"
        "ap_dbm0[1]=' 35 ';\r\nap_dbm1[1]=' -80';\r\nap_mode[1]=1;\r\n");
    const auto r = Cgi::ParseScanResult(reply);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], (TWiFiRecord{"HomeNet", 0, 4, "70", "-40", "00:11:22:33:44:55"}));
    // ssid and dbm0 are trimmed, mac and dbm1 are not.
    EXPECT_EQ(r[1], (TWiFiRecord{"Cafe", 1, 0, "35", " -80", " 66:77 "}));
    EXPECT_EQ(Cgi::ScanItemText(r[0]), "HomeNet(70)");
    EXPECT_EQ(Cgi::ScanItemText(r[1]), "Cafe(35)");
}

TEST(CgiScanResult, CountAndLineEdgeCases)
{
    struct {
        const char* why;
        const char* reply;
        size_t count;
        const char* ssid0;
        const char* ssid1;
    } cases[] = {
        {"zero networks", "var ap_number=0;\nap_ssid[0]=\"A\";", 0, nullptr, nullptr},
        {"count not a number", "var ap_number=two;\nap_ssid[0]=\"A\";", 0, nullptr, nullptr},
        {"negative count", "var ap_number=-3;\nap_ssid[0]=\"A\";", 0, nullptr, nullptr},
        {"no equals at all", "var ap_number", 0, nullptr, nullptr},
        {"count without ';'", "var ap_number=1", 1, "", nullptr},
        {"missing lines leave empty records", "var ap_number=2;\nap_ssid[1]=\"B\";", 2, "", "B"},
        {"index not below count", "var ap_number=1;\nap_ssid[0]=\"A\";\nap_ssid[1]=\"B\";", 1,
         "A", nullptr},
        {"index not a number", "var ap_number=1;\nap_ssid[0]=\"A\";\nap_ssid[x]=\"B\";", 1, "A",
         nullptr},
        {"brackets reversed", "var ap_number=1;\nap_ssid]0[=\"B\";", 1, "", nullptr},
        {"one quote only", "var ap_number=1;\nap_ssid[0]=\"A;", 1, "", nullptr},
        {"CR line ends", "var ap_number=2;\rap_ssid[0]=\"A\";\rap_ssid[1]=\"B\";", 2, "A", "B"},
        {"no ap_ssid[0]: lines kept", "var ap_number=2;\nap_ssid[1]=\"B\";", 2, "", "B"},
        {"text before ap_ssid[0] dropped", "var ap_number=1; x=\"junk\" ap_ssid[0]=\"A\"", 1,
         "A", nullptr},
        {"brackets inside the name", "var ap_number=1;\nap_ssid[0]=\"a[1]b\";", 1, "a[1]b",
         nullptr},
    };
    for (const auto& c : cases) {
        const auto r = Cgi::ParseScanResult(QString::fromLatin1(c.reply));
        ASSERT_EQ(r.size(), c.count) << c.why;
        if (c.ssid0) {
            EXPECT_EQ(r[0].ssid, c.ssid0) << c.why;
        }
        if (c.ssid1) {
            EXPECT_EQ(r[1].ssid, c.ssid1) << c.why;
        }
    }
}

TEST(CgiScanResult, IntegersAreZeroWhenNotNumbers)
{
    const auto r = Cgi::ParseScanResult(QStringLiteral(
        "var ap_number=1;\nap_ssid[0]=\"A\";\nap_security[0]=WPA;\nap_mode[0]\n"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].security, 0);
    EXPECT_EQ(r[0].mode, 0);
}

TEST(CgiScanResult, AHugeClaimedCountIsCapped)
{
    const auto r = Cgi::ParseScanResult(QStringLiteral("var ap_number=2147483647;\n"
                                                       "ap_ssid[999]=\"Last\";\n"
                                                       "ap_ssid[1000]=\"Beyond\";\n"));
    ASSERT_EQ(r.size(), size_t(Cgi::kMaxNetworks));
    EXPECT_EQ(r[999].ssid, "Last");
}

TEST(CgiWiFiParams, ReadsAllSixteenValues)
{
    // Plain names come first in a camera's answer, so "var wifi_key1" finds its own line.
    const QString reply = QStringLiteral(
        "var wifi_enable=1;\nvar wifi_ssid=\"Home Net\";\nvar wifi_mode=1;\nvar wifi_encrypt=4;\n"
        "var wifi_authtype=2;\nvar wifi_defkey=3;\nvar wifi_keyformat=1;\nvar wifi_key1='a';\n"
        "var wifi_key2=\"b\";\nvar wifi_key3=c;\nvar wifi_key4=\"\";\nvar wifi_key1_bits=1;\n"
        "var wifi_key2_bits=0;\nvar wifi_key3_bits=1;\nvar wifi_key4_bits=x;\n"
        "var wifi_wpa_psk=\"s3cret\";\n");
    TCgiWiFiParams p;
    p.key4_bits = 9;
    Cgi::ParseWiFiParams(reply, p);
    EXPECT_EQ(p, (TCgiWiFiParams{1, "Home Net", 1, 4, 2, 3, 1, "a", "b", "c", "", 1, 0, 1, 0,
                                 "s3cret"}));
}

TEST(CgiWiFiParams, BitsListedFirstGiveTheirTailToTheKey)
{
    TCgiWiFiParams p;
    Cgi::ParseWiFiParams(QStringLiteral("var wifi_key1_bits=1;\nvar wifi_key1=\"abc\";\n"), p);
    EXPECT_EQ(p.key1, "bits=1");
    EXPECT_EQ(p.key1_bits, 1);
}

TEST(CgiFactoryAnswer, StatusTable)
{
    const auto reply = [](const char* index, const char* server, const char* port,
                          const char* user) {
        return QStringLiteral("var factory_index=%1;\nvar factory_server=\"%2\";\n"
                              "var factory_port=%3;\nvar factory_user=\"%4\";\n"
                              "var factory_passwd=\"pw\";\n")
            .arg(QLatin1String(index), QLatin1String(server), QLatin1String(port),
                 QLatin1String(user));
    };
    struct {
        const char* why;
        bool ok;
        QString reply;
        int status;
    } cases[] = {
        {"complete", true, reply("10", "ddns.example.net", "808", "T1"), 0},
        {"request failed", false, QString(), 6},
        {"no var", true, QStringLiteral("Auth Failed"), 5},
        {"empty answer", true, QString(), 5},
        {"index empty", true, reply("", "s", "808", "T1"), 1},
        {"index missing", true, QStringLiteral("var x=1;"), 1},
        {"index not 10", true, reply("7", "s", "808", "T1"), 2},
        {"index quoted 10", true, reply("'10'", "s", "808", "T1"), 0},
        {"wrong index wins over missing server", true, reply("9", "", "", ""), 2},
        {"server empty", true, reply("10", "", "808", "T1"), 3},
        {"port empty", true, reply("10", "s", "", "T1"), 3},
        {"port zero", true, reply("10", "s", "0", "T1"), 3},
        {"port 00 is not zero", true, reply("10", "s", "00", "T1"), 0},
        {"missing server wins over missing user", true, reply("10", "", "808", ""), 3},
        {"user empty", true, reply("10", "s", "808", ""), 4},
    };
    for (const auto& c : cases) {
        TCgiFactoryParams p;
        Cgi::ReadFactoryAnswer(c.ok, c.reply, p);
        EXPECT_EQ(p.status, c.status) << c.why;
    }
    TCgiFactoryParams p;
    Cgi::ReadFactoryAnswer(true, reply("10", "ddns.example.net", "808", "T1"), p);
    EXPECT_EQ(p, (TCgiFactoryParams{"10", "ddns.example.net", "808", "T1", "pw", 0}));
}

TEST(CgiFactoryAnswer, FieldsNotReadKeepTheirValues)
{
    const TCgiFactoryParams before{"10", "old.server", "808", "OLD", "oldpw", 0};
    TCgiFactoryParams p = before;
    Cgi::ReadFactoryAnswer(false, QString(), p);
    EXPECT_EQ(p, (TCgiFactoryParams{"10", "old.server", "808", "OLD", "oldpw", 6}));
    p = before;
    Cgi::ReadFactoryAnswer(true, QStringLiteral("nothing here"), p);
    EXPECT_EQ(p, (TCgiFactoryParams{"10", "old.server", "808", "OLD", "oldpw", 5}));
    p = before;
    Cgi::ReadFactoryAnswer(true, QStringLiteral("var factory_server=\"new\";"), p);
    EXPECT_EQ(p, (TCgiFactoryParams{"", "old.server", "808", "OLD", "oldpw", 1}));
}

TEST(CgiUpgrade, VersionAndHostFromTheStatusPage)
{
    EXPECT_EQ(Cgi::StatusVersion("var id=\"T1\";\nvar sys_ver=\"48.2.0.121\";\n"), "48.2.0.121");
    EXPECT_EQ(Cgi::StatusVersion("var sys_ver=\"48.2.0.121"), "");
    EXPECT_EQ(Cgi::StatusVersion("var sys_ver"), "");
    EXPECT_EQ(Cgi::StatusVersion("var sys_ver="), "");
    EXPECT_EQ(Cgi::StatusVersion("no version"), "");
    EXPECT_EQ(Cgi::HostOfBaseUrl("http://10.0.0.5:81"), "10.0.0.5");
    EXPECT_EQ(Cgi::HostOfBaseUrl("http://10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(Cgi::HostOfBaseUrl("10.0.0.5:81"), "10.0.0.5");
}

// Versions are compared as plain text, so 48.2.0.99 counts as newer than 48.2.0.121.
TEST(CgiUpgrade, UploadAddressByVersionText)
{
    const QString base = QStringLiteral("http://10.0.0.5:81");
    struct {
        const char* version;
        const char* want;
    } cases[] = {
        {"48.2.0.99", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
        {"48.2.0.121", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
        {"48.2.0.1", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
        {"48.2.0.120", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
        {"", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
        {"5", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cgi::UploadUrl(QString::fromLatin1(c.version), base, "10.0.0.5",
                                 Cgi::kSystemFirmwarePath, "admin", "p&w")
                      .toStdString(),
                  c.want)
            << c.version;
    EXPECT_EQ(Cgi::UploadUrl("", "http://h", "h", Cgi::kWebPagesPath, " a ", " b ").toStdString(),
              "http://h/upgrade_htmls.cgi?loginuse=%20a%20&loginpas=%20b%20");
}

}  // namespace
