// The family-9 driver's CGI operations against a camera web server on 127.0.0.1.

#include "CgiCamera.h"
#include "CgiWire.h"
#include "FakeCamera.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class CgiHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Listening());
        cam.Family = 9;
        cam.IP = QStringLiteral("127.0.0.1");
        cam.HttpPort = server.Port();
        cam.Mac = QStringLiteral("00:1A:2B:3C:4D:5E");
        cam.Version = QStringLiteral("48.2.0.1");
    }

    std::vector<HttpRequest> Requests() const { return server.Requests(); }
    QString Base() const { return Cgi::BaseUrl(cam); }

    Family9Pages pages;
    CameraServer server{pages.Handler()};
    TDevInfo cam;
    TT924Series driver;
};

TEST_F(CgiHttp, CheckLoginTable)
{
    struct {
        const char* why;
        std::string cameraPassword;
        QString user;
        QString password;
        bool ok;
    } cases[] = {
        {"factory account", "", "admin", "", true},
        {"right password", "Abc-1.x_~", "admin", "Abc-1.x_~", true},
        {"wrong password", "right", "admin", "wrong", false},
        {"wrong user", "", "root", "", false},
        {"blanks trimmed", "pw", " admin ", " pw ", true},
        {"structure characters reach the camera intact", "p&ss w=rd#1+%?", "admin",
         "p&ss w=rd#1+%?", true},
        {"non-ASCII as UTF-8", "p\xc3\xa4ss\xe4\xb8\xad", "admin", QStringLiteral("p\u00e4ss\u4e2d"),
         true},
        {"an injected parameter is only a password", "", "admin", "&pwd=", false},
    };
    for (const auto& c : cases) {
        pages.password = c.cameraPassword;
        EXPECT_EQ(driver.CheckLogin(server.BaseUrl(), c.user, c.password), c.ok) << c.why;
    }
}

TEST_F(CgiHttp, CheckLoginSendsOrdinaryCredentialsByteForByteWithoutBasic)
{
    pages.password = "Abc-1.x_~";
    ASSERT_TRUE(driver.CheckLogin(server.BaseUrl(), "admin", "Abc-1.x_~"));
    const auto r = Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].method, "GET");
    EXPECT_EQ(r[0].target, "/get_params.cgi?user=admin&pwd=Abc-1.x_~");
    EXPECT_FALSE(r[0].hasBasic);
}

TEST_F(CgiHttp, CheckLoginAcceptsAnyReachableCameraThatDoesNotRefuse)
{
    CameraServer empty([](const HttpRequest&) { return HttpAnswer(200, ""); });
    EXPECT_TRUE(driver.CheckLogin(empty.BaseUrl(), "admin", "whatever"));
    CameraServer error([](const HttpRequest&) { return HttpAnswer(404, "Not here"); });
    EXPECT_TRUE(driver.CheckLogin(error.BaseUrl(), "admin", "whatever"));
    EXPECT_FALSE(driver.CheckLogin(QStringLiteral("http://127.0.0.1:%1").arg(RefusedPort()),
                                   "admin", ""));
}

TEST_F(CgiHttp, ScanFillsTheListWithOneRecordPerNetwork)
{
    TWiFiList list;
    list.push_back({QStringLiteral("stale"), std::make_unique<TWiFiRecord>()});
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(driver.ScanWiFiList(cam, "admin", "", list), 2);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].text, "HomeNet(70)");
    EXPECT_EQ(list[1].text, "Cafe(35)");
    ASSERT_TRUE(list[0].record && list[1].record);
    EXPECT_EQ(*list[0].record, (TWiFiRecord{"HomeNet", 0, 4, "70", "-40", "00:11:22:33:44:55"}));
    EXPECT_EQ(list[1].record->mode, 1);
    const auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].target, "//wifi_scan.cgi?user=admin&pwd=");
    EXPECT_EQ(r[1].target, "//get_wifi_scan_result.cgi?user=admin&pwd=");
}

TEST_F(CgiHttp, ScanFailuresEmptyTheList)
{
    const auto stale = [] {
        TWiFiList list;
        list.push_back({QStringLiteral("stale"), std::make_unique<TWiFiRecord>()});
        return list;
    };
    TWiFiList list = stale();
    pages.password = "secret";
    EXPECT_EQ(driver.ScanWiFiList(cam, "admin", "wrong", list), -1);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(server.RequestCount(), 1u);  // no result request after a refused scan

    list = stale();
    pages.scanResult = "var ap_number=0;\r\n";
    EXPECT_EQ(driver.ScanWiFiList(cam, "admin", "secret", list), 0);
    EXPECT_TRUE(list.empty());

    list = stale();
    pages.scanResult = "nothing";
    EXPECT_EQ(driver.ScanWiFiList(cam, "admin", "secret", list), -1);
    EXPECT_TRUE(list.empty());

    list = stale();
    cam.HttpPort = RefusedPort();
    EXPECT_EQ(driver.ScanWiFiList(cam, "admin", "secret", list), -1);
    EXPECT_TRUE(list.empty());
}

TEST_F(CgiHttp, WiFiParamsAreReadOncePerCamera)
{
    const std::optional<TCgiWiFiParams> p = driver.GetWiFiParams(cam, " admin ", "");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->enable, 1);
    EXPECT_EQ(p->ssid, "HomeNet");
    EXPECT_EQ(p->encrypt, 4);
    EXPECT_EQ(p->wpa_psk, "secret key");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(Requests()[0].target, "/get_params.cgi?user=admin&pwd=");
    EXPECT_EQ(driver.GetWiFiParams(cam, "admin", ""), p);
    EXPECT_EQ(server.RequestCount(), 1u) << "the same camera is not asked again";

    // Another camera is asked for its own settings: this one cannot be reached.
    TDevInfo other = cam;
    other.Mac = QStringLiteral("00:1A:2B:3C:4D:5F");
    other.HttpPort = RefusedPort();
    EXPECT_EQ(driver.GetWiFiParams(other, "admin", ""), std::nullopt);
    EXPECT_EQ(driver.GetWiFiParams(cam, "admin", ""), p);
}

TEST_F(CgiHttp, FailedWiFiReadsAreNotKept)
{
    pages.password = "secret";
    EXPECT_EQ(driver.GetWiFiParams(cam, "admin", "wrong"), std::nullopt);  // no "var"
    const std::optional<TCgiWiFiParams> read = driver.GetWiFiParams(cam, "admin", "secret");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->ssid, "HomeNet");
    EXPECT_EQ(server.RequestCount(), 2u);

    TDevInfo unreachable = cam;
    unreachable.Mac = QStringLiteral("00:1A:2B:3C:4D:60");
    unreachable.HttpPort = RefusedPort();
    EXPECT_EQ(driver.GetWiFiParams(unreachable, "admin", "secret"), std::nullopt);
    unreachable.HttpPort = server.Port();  // back: read now
    EXPECT_TRUE(driver.GetWiFiParams(unreachable, "admin", "secret"));
    EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(CgiHttp, SetWiFiSendsTheEditedRecordAndRestartsWithBasic)
{
    pages.password = "pw";
    std::optional<TCgiWiFiParams> p = driver.GetWiFiParams(cam, "admin", "pw");
    ASSERT_TRUE(p);
    p->ssid = QStringLiteral("Caf\u00e9 & Bar");
    p->wpa_psk = QStringLiteral(" p+ss word#1 ");
    p->enable = 0;
    server.ClearRequests();
    EXPECT_EQ(driver.SetWiFiParams(cam, "admin", "pw", *p), kWiFiRestarting);
    const auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].path, "/set_wifi.cgi");
    EXPECT_EQ(r[0].Param("next_url"), "rebootme.htm");
    EXPECT_EQ(r[0].Param("channel"), "5");
    EXPECT_EQ(r[0].Param("enable"), "0");
    EXPECT_EQ(r[0].Param("ssid"), "Caf\xc3\xa9 & Bar");
    EXPECT_EQ(r[0].Param("wpa_psk"), "p+ss word#1");
    EXPECT_EQ(r[0].Param("encrypt"), "4");
    EXPECT_EQ(r[0].query.size(), 20u);
    EXPECT_FALSE(r[0].hasBasic);
    EXPECT_EQ(r[1].target, "/reboot.cgi?next_url=reboot.htm");
    EXPECT_TRUE(r[1].hasBasic);
    EXPECT_EQ(r[1].basicUser, "admin");
    EXPECT_EQ(r[1].basicPassword, "pw");
    // What the camera took is what the driver holds for it now.
    EXPECT_EQ(driver.GetWiFiParams(cam, "admin", "pw"), p);
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(CgiHttp, SetWiFiResults)
{
    const std::optional<TCgiWiFiParams> params = driver.GetWiFiParams(cam, "admin", "");
    ASSERT_TRUE(params);

    pages.setWiFiAnswer = "<html>error</html>";
    server.ClearRequests();
    EXPECT_EQ(driver.SetWiFiParams(cam, "admin", "", *params), kWiFiNotTaken);
    EXPECT_EQ(server.RequestCount(), 1u);  // no restart after a refusal

    // Settings taken, but the restart page refuses the Basic credentials.
    pages.setWiFiAnswer = "rebootme";
    CameraServer picky([&](const HttpRequest& r) {
        return r.path == "/reboot.cgi" ? HttpAnswer(401, "Unauthorized") : pages.Answer(r);
    });
    cam.HttpPort = picky.Port();
    EXPECT_EQ(driver.SetWiFiParams(cam, "admin", "", *params), kWiFiRestartFailed);

    cam.HttpPort = RefusedPort();
    EXPECT_EQ(driver.SetWiFiParams(cam, "admin", "", *params), kWiFiNotTaken);
}

TEST_F(CgiHttp, FactoryParamsCacheAndRereading)
{
    const TCgiFactoryParams p = driver.GetFactoryParams(Base(), "admin", "", false);
    EXPECT_EQ(p, (TCgiFactoryParams{"10", "ddns.example.net", "808", "T0012345", "pw", 0}));
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(Requests()[0].target, "/get_factory_param.cgi?user=admin&pwd=");

    EXPECT_EQ(driver.GetFactoryParams(Base(), "admin", "", true), p);
    EXPECT_EQ(server.RequestCount(), 1u);

    pages.factory = "var factory_index=10;\r\nvar factory_server=\"ddns.example.net\";\r\n"
                    "var factory_port=0;\r\nvar factory_user=\"T0012345\";\r\n";
    const TCgiFactoryParams again = driver.GetFactoryParams(Base(), "admin", "", false);
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(again.status, Cgi::kFactoryNoServer);
    EXPECT_EQ(again.port, "0");
}

TEST_F(CgiHttp, FactoryParamsFailureStatuses)
{
    pages.password = "secret";
    EXPECT_EQ(driver.GetFactoryParams(Base(), "admin", "wrong", false).status, Cgi::kFactoryNoVar);
    // The page takes the credentials untrimmed: blanks make them wrong.
    EXPECT_EQ(driver.GetFactoryParams(Base(), "admin ", "secret", false).status, Cgi::kFactoryNoVar);
    EXPECT_EQ(driver.GetFactoryParams(Base(), "admin", "secret", false).status, Cgi::kFactoryComplete);
    const TCgiFactoryParams refused = driver.GetFactoryParams(Base(), "admin", "wrong", false);
    EXPECT_EQ(refused.status, Cgi::kFactoryNoVar);
    EXPECT_EQ(refused.user, "T0012345");  // not read, kept
    cam.HttpPort = RefusedPort();
    EXPECT_EQ(driver.GetFactoryParams(Base(), "admin", "secret", false).status,
              Cgi::kFactoryUnreachable);
}

TEST_F(CgiHttp, FactoryParamsFromAWorkerThread)
{
    TCgiFactoryParams got;
    std::thread worker([&] { got = driver.GetFactoryParams(server.BaseUrl(), "admin", "", false); });
    worker.join();
    EXPECT_EQ(got.status, Cgi::kFactoryComplete);
    EXPECT_EQ(got.server, "ddns.example.net");
}

TEST_F(CgiHttp, SetDdnsSendsTheGivenParameters)
{
    pages.password = "p w";
    TCgiFactoryParams p = driver.GetFactoryParams(Base(), "admin", "p w", false);
    ASSERT_EQ(p.status, Cgi::kFactoryComplete);
    p.server = QStringLiteral(" other.example.net ");
    p.passwd = QStringLiteral("d&d");
    server.ClearRequests();
    EXPECT_EQ(driver.SetDDNSParams(Base(), p, "admin", "p w"), kDdnsAccepted);
    const auto r = Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].target,
              "/set_ddns.cgi?service=11&user=T0012345&pwd=d%26d&host=&proxy_svr=other.example.net"
              "&proxy_port=808&restart_dyndns=&loginuse=admin&loginpas=p%20w");

    pages.setDdnsAnswer = "failed";
    EXPECT_EQ(driver.SetDDNSParams(Base(), p, "admin", "p w"), kDdnsRefused);
    EXPECT_EQ(driver.SetDDNSParams(Base(), p, "admin", "wrong"), kDdnsRefused);  // "Auth Failed"
    cam.HttpPort = RefusedPort();
    EXPECT_EQ(driver.SetDDNSParams(Base(), p, "admin", "p w"), kDdnsRequestFailed);
}

TEST_F(CgiHttp, SetDdnsWithoutAnAddressSendsNothing)
{
    EXPECT_EQ(driver.SetDDNSParams(QString(), TCgiFactoryParams(), "admin", ""), kDdnsRequestFailed);
    EXPECT_EQ(server.RequestCount(), 0u);
}

class CgiUpgrade : public CgiHttp {
protected:
    void SetUp() override
    {
        CgiHttp::SetUp();
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath(QStringLiteral("fw 1.bin"));
        content = QByteArray("PK\x03\x04", 4);
        for (int i = 0; i < 150000; ++i)
            content.append(char(i * 7));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        pages.password = "pw";
    }

    // The one file part of a multipart body.
    static void ExpectFilePart(const HttpRequest& r, const QByteArray& content)
    {
        const std::string type = r.Header("Content-Type");
        ASSERT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u) << type;
        const std::string boundary = "--" + type.substr(type.find('=') + 1);
        const std::string& b = r.body;
        ASSERT_EQ(b.rfind(boundary + "\r\n", 0), 0u);
        const size_t headEnd = b.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos);
        const std::string head = b.substr(0, headEnd);
        EXPECT_NE(head.find("Content-Disposition: form-data; name=\"file\"; filename=\"fw 1.bin\""),
                  std::string::npos)
            << head;
        EXPECT_NE(head.find("Content-Type: application/x-zip-compressed"), std::string::npos);
        const std::string tail = "\r\n" + boundary + "--\r\n";
        ASSERT_GE(b.size(), headEnd + 4 + tail.size());
        EXPECT_EQ(b.substr(b.size() - tail.size()), tail);
        const std::string data = b.substr(headEnd + 4, b.size() - headEnd - 4 - tail.size());
        EXPECT_TRUE(data == content.toStdString()) << "file bytes differ, " << data.size();
    }

    QTemporaryDir dir;
    QString file;
    QByteArray content;
};

TEST_F(CgiUpgrade, OldFirmwareTakesTheUploadOnItsWebPort)
{
    pages.version = "48.2.0.1";
    ASSERT_TRUE(driver.UpgradeSystem(server.BaseUrl(), "admin", file, "pw"));
    const auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].target, "/get_status.cgi?user=admin&pwd=pw");
    EXPECT_EQ(r[1].method, "POST");
    EXPECT_EQ(r[1].target, "/upgrade_firmware.cgi?loginuse=admin&loginpas=pw");
    EXPECT_NE(r[1].head.find(" HTTP/1.1\r\n"), std::string::npos);
    EXPECT_EQ(r[1].Header("Accept"),
              "image/gif, image/jpeg, image/pjpeg, image/pjpeg, application/x-shockwave-flash, */*");
    EXPECT_EQ(r[1].Header("Accept-Encoding"), "gzip,deflate");
    EXPECT_TRUE(r[1].hasBasic);
    EXPECT_EQ(r[1].basicUser, "admin");
    EXPECT_EQ(r[1].basicPassword, "pw");
    ExpectFilePart(r[1], content);
}

TEST_F(CgiUpgrade, WebPagesGoToTheirOwnPage)
{
    pages.version = "";
    ASSERT_TRUE(driver.UpgradeWeb(server.BaseUrl(), "admin", file, "pw"));
    const auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].target, "/upgrade_htmls.cgi?loginuse=admin&loginpas=pw");
    ExpectFilePart(r[1], content);
}

// 48.2.0.99 is not below 48.2.0.121 as text: such firmware takes uploads on port 8600.
TEST_F(CgiUpgrade, NewerFirmwareTakesTheUploadOnPort8600)
{
    Family9Pages uploader;
    uploader.password = "pw";
    CameraServer port8600(uploader.Handler(), 8600);
    ASSERT_TRUE(port8600.Listening());

    pages.version = "48.2.0.99";
    ASSERT_TRUE(driver.UpgradeSystem(server.BaseUrl(), "admin", file, "pw"));
    ASSERT_EQ(server.RequestCount(), 1u);  // only the status page
    ASSERT_EQ(port8600.RequestCount(), 1u);
    ExpectFilePart(port8600.Requests()[0], content);

    // With the camera's record given, its version decides and the status page is not asked.
    cam.Version = QStringLiteral("48.2.0.121");
    server.ClearRequests();
    ASSERT_TRUE(driver.UpgradeWeb(server.BaseUrl(), "admin", file, "pw", &cam));
    EXPECT_EQ(server.RequestCount(), 0u);
    ASSERT_EQ(port8600.RequestCount(), 2u);
    EXPECT_EQ(port8600.Requests()[1].target, "/upgrade_htmls.cgi?loginuse=admin&loginpas=pw");
}

TEST_F(CgiUpgrade, FailuresGiveFalse)
{
    // cam.Version 48.2.0.1: the upload goes to the camera's own base URL.
    EXPECT_FALSE(driver.UpgradeSystem(server.BaseUrl(), "admin", file, "wrong", &cam));  // 401
    pages.uploadStatus = 500;
    EXPECT_FALSE(driver.UpgradeSystem(server.BaseUrl(), "admin", file, "pw", &cam));
    pages.uploadStatus = 200;
    server.ClearRequests();
    EXPECT_FALSE(driver.UpgradeSystem(server.BaseUrl(), "admin", dir.filePath("missing.bin"), "pw", &cam));
    EXPECT_FALSE(driver.UpgradeSystem(server.BaseUrl(), "admin", dir.path(), "pw", &cam));
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_FALSE(driver.UpgradeSystem(QStringLiteral("http://127.0.0.1:%1").arg(RefusedPort()),
                                      "admin", file, "pw", &cam));
    EXPECT_TRUE(driver.UpgradeSystem(server.BaseUrl(), "admin", file, "pw", &cam));
}

// Answers no camera should give: every operation reports its failure result and nothing
// crashes.
TEST(CgiHostile, AnswersTable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("fw.bin"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'F'));
    }
    std::string huge;
    while (huge.size() < 2 * 1024 * 1024)
        huge += "var ap_number=99999999;ok;ap_ssid[5]=\"x\";\n";
    struct {
        const char* why;
        std::string raw;
        bool login;
        int factoryStatus;
        int scan;
        bool wifiNone;
        int ddns;
        bool upload;
    } cases[] = {
        {"no status line", "HELLO\r\n\r\nvar x=1;", false, 6, -1, true, 2, false},
        {"closed without answer", "", false, 6, -1, true, 2, false},
        {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nvar factory_index=10;",
         false, 6, -1, true, 2, false},
        {"error status", HttpAnswer(500, "oops"), true, 5, -1, true, 1, false},
        {"empty body", HttpAnswer(200, ""), true, 5, -1, true, 1, true},
        {"zero byte ends the text",
         HttpAnswer(200, std::string("var factory_index=10;") + '\0' + "var factory_server=\"s\";ok"),
         true, 3, -1, false, 1, true},
        {"missing separators",
         HttpAnswer(200, "var factory_index=10 var factory_server=s var factory_user=u"), true, 1,
         -1, false, 1, true},
        {"oversized", HttpAnswer(200, huge), true, 1, Cgi::kMaxNetworks, false, 0, true},
        {"auth failed", HttpAnswer(200, "Auth Failed ok var"), false, 1, 0, false, 0, true},
    };
    for (const auto& c : cases) {
        CameraServer server([&](const HttpRequest&) { return c.raw; });
        TDevInfo cam;
        cam.Family = 9;
        cam.IP = QStringLiteral("127.0.0.1");
        cam.HttpPort = server.Port();
        TT924Series driver;
        EXPECT_EQ(driver.CheckLogin(server.BaseUrl(), "admin", ""), c.login) << c.why;
        const TCgiFactoryParams factory = driver.GetFactoryParams(Cgi::BaseUrl(cam), "admin", "", false);
        EXPECT_EQ(factory.status, c.factoryStatus) << c.why;
        TWiFiList list;
        EXPECT_EQ(driver.ScanWiFiList(cam, "admin", "", list), c.scan) << c.why;
        EXPECT_EQ(int(list.size()), std::max(c.scan, 0)) << c.why;
        EXPECT_EQ(!driver.GetWiFiParams(cam, "admin", ""), c.wifiNone) << c.why;
        EXPECT_EQ(driver.SetDDNSParams(Cgi::BaseUrl(cam), factory, "admin", ""), c.ddns) << c.why;
        EXPECT_EQ(driver.UpgradeSystem(server.BaseUrl(), "admin", file, ""), c.upload) << c.why;
    }
}

}  // namespace
