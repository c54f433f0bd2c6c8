// Step 6's check line by line, for every family, against cameras of the test's own and the
// stand-in check service (tools/ddns-check) on 127.0.0.1.

#include "CheckDdnsThread.h"
#include "DdnsStandIn.h"
#include "FakeCamera.h"
#include "LangRes.h"
#include "StepReport.h"
#include "TestFamilies.h"
#include "TestHttpServer.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kGetConfig = "Obtaining DDNS options from the camera...";
const QString kSucc = "\t\tSuccess!";
const QString kRegistration = "Obtaining DDNS registration status ...";
const QString kIndent = "    ";
const QString kNoId = "    Error: no DDNS account.\n\nPlease check the DDNS setting in the camera.";
const QString kErrDo =
    "     Approach:\n        1.Check whether SN setting is correct;\n        2.Please contact product vendor technical support.";
const QString kNoReg = "    Error: DDNS account and password are correct, but have not logined DNS server.";
const QString kErrDo2 = "    Approach:\n        1.Whether the network can connect to external network;\n"
                        "        2.Check the camera's gateway setting;\n        3.Check the camera's DNS server setting;\n"
                        "        4.Whether TCP port 808 is not blocked in this networks or not.";
const QString kErrPwd = "    Error: DDNS password is incorrect\n\nPlease check the DDNS setting in the camera.";
const QString kUnknown = "    Error: unknown error \n\n please contact the IP camera supplier.";
const QString kNoServer = "    Error: could not connect the DDNS server \n\n please check if the internet connection of your pc is ok";

struct TReport {
    QString text;  // the lines joined by line breaks
    bool success = false;
};

class DdnsCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() { res_ = new TfrmStrRes(); SetLanguage("en"); }
    static void TearDownTestSuite() { delete res_; }
    static TfrmStrRes* res_;

    TDdnsStandIn service;

    static TDevInfo Cam(int family, quint16 port, const QString& account, const QString& server = "127.0.0.1")
    {
        TDevInfo d;
        d.Family = family;
        d.Mac = "001A2B3C4D5E";
        d.IP = "127.0.0.1";
        d.HttpPort = port;
        d.DdnsUser = account;
        d.DdnsPwd = "pw";
        d.DdnsServer = server;
        return d;
    }
    TReport Run(const TDevInfo& cam)
    {
        QStringList lines;
        TReport r;
        TCheckDDNSThread t(testsupport::Families().Get(cam.Family), cam, "campw", "admin", InnerUrl(cam));
        t.Link().SetOnStep([&](int kind, const QString& text) {
            ApplyStep(lines, kind, text);
            r.success |= kind == kStepSuccess;
        });
        t.Start();
        while (!t.Finished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        r.text = lines.join('\n');
        return r;
    }
    static std::string Params(const std::string& service, const std::string& server, const std::string& port,
                              const std::string& user)
    {
        return "var id='x';\r\nvar ddns_service=" + service + ";\r\nvar ddns_proxy_svr='" + server +
               "';\r\nvar ddns_proxy_port=" + port + ";\r\nvar ddns_user='" + user + "';\r\nvar ddns_pwd='pw';\r\n";
    }
};
TfrmStrRes* DdnsCheck::res_ = nullptr;

// Family 2 reads its DDNS settings from get_params first; the registration is asked with what
// it read.
TEST_F(DdnsCheck, Family2SettingsThenRegistration)
{
    ASSERT_TRUE(service.Running());
    struct Case {
        const char* what;
        std::string answer;  // get_params; empty: the camera does not answer
        QString report;
        bool success;
    } cases[] = {
        {"unreachable", "", kGetConfig + "\n\tFailure: Camera can not be accessed, please check the camera's IP and "
                                         "other settings, or return to the \"Select Camera\" to reset.", false},
        {"wrong password", "Auth Failed", kGetConfig + "\n\tFailure: Password is incorrect. Please click \"Redetect\" button.", false},
        {"no service", "var ddns_service=;\r\n", kGetConfig + "\n\tFailure: can not obtain DDNS information.", false},
        {"other service", Params("3", "127.0.0.1", "808", "online1"),
         kGetConfig + "\n\tFailure: DDNS has not chosen then IPCam type, please click the \"Settings\" button to change the settings.", false},
        {"port 0", Params("7", "127.0.0.1", "0", "online1"),
         kGetConfig + "\n\tFailure: DDNS server and port were not set, click the Settings button to change the settings.", false},
        {"no account", Params("7", "127.0.0.1", "808", ""),
         kGetConfig + "\n\tFailure: DDNS account is not set, click the Settings button to change the settings.", false},
        {"registered", Params("7", "127.0.0.1", "808", "online1"), kGetConfig + kSucc + "\n" + kRegistration + kSucc, true},
        {"wrong DDNS password", Params("7", "127.0.0.1", "808", "noauth1"),
         kGetConfig + kSucc + "\n" + kRegistration + "\n" + kErrPwd, false},
        {"not logged in", Params("7", "127.0.0.1", "808", "off1"),
         kGetConfig + kSucc + "\n" + kRegistration + "\n" + kNoReg + "\n" + kErrDo2, false},
        {"unknown account", Params("7", "127.0.0.1", "808", "ghost"),
         kGetConfig + kSucc + "\n" + kRegistration + "\n" + kNoId + "\n" + kErrDo, false},
        {"service not there", Params("7", "127.0.0.9", "808", "online1"),
         kGetConfig + kSucc + "\n" + kRegistration + "\n" + kNoServer, false},
    };
    for (const Case& c : cases) {
        CameraServer camera([&c](const HttpRequest&) { return HttpAnswer(200, c.answer); });
        const quint16 port = c.answer.empty() ? RefusedPort() : camera.Port();
        // The record's own DDNS values are not what is asked: the camera's are.
        const TReport r = Run(Cam(2, port, "record-account", "127.0.0.7"));
        EXPECT_EQ(r.text, c.report) << c.what;
        EXPECT_EQ(r.success, c.success) << c.what;
        if (!c.answer.empty()) {
            ASSERT_FALSE(camera.Requests().empty());
            EXPECT_EQ(camera.Requests()[0].target, "/get_params.cgi?user=admin&pwd=campw") << c.what;
            EXPECT_FALSE(camera.Requests()[0].hasBasic) << "no Basic credentials";
        }
    }
    EXPECT_TRUE(service.Targets().contains("/api/checkauth.asp?id=noauth1&pwd=pw"));
}

// Answers of the service that match no known form, exactly compared.
TEST_F(DdnsCheck, AnswersOfNoKnownForm)
{
    struct Case {
        const char* what;
        QStringList set;  // ddns-check control command
        QString report;
    } cases[] = {
        {"garbage", {"set", "*", "getremote", "garbage"}, kRegistration + "\n" + kUnknown},
        {"empty", {"set", "*", "getremote", "empty"}, kRegistration + "\n" + kUnknown},
        {"a line break after the code", {"set", "*", "getremote", "noid", "crlf"}, kRegistration + "\n" + kUnknown},
        {"offline, then garbage", {"set", "*", "checkauth", "garbage"}, kRegistration + "\n" + kUnknown},
        {"offline, then no answer", {"set", "*", "checkauth", "close"}, kRegistration + "\n" + kNoServer},
        {"no answer", {"set", "*", "getremote", "reset"}, kRegistration + "\n" + kNoServer},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(service.Ctl({"reset"}));
        ASSERT_TRUE(service.Ctl(c.set)) << c.what;
        // Family 8 has no first stage.
        const TReport r = Run(Cam(8, 80, "off1"));
        EXPECT_EQ(r.text, c.report) << c.what;
        EXPECT_FALSE(r.success);
    }
}

TEST_F(DdnsCheck, Family8AsksTheServiceStraightAway)
{
    const TReport r = Run(Cam(8, 80, "online1", "127.0.0.1:8080"));
    EXPECT_EQ(r.text, kRegistration + kSucc) << "the port of the DDNS server is not the service's";
    EXPECT_TRUE(r.success);
    EXPECT_EQ(service.Targets(), QStringList{"/func/getremote.asp?id=online1"});
}

// Family 9 reads its factory parameters (always anew), then asks with the record's values.
TEST_F(DdnsCheck, Family9FactoryParameters)
{
    struct Case {
        const char* what;
        std::string answer;
        QString report;
    } cases[] = {
        {"no index", "var factory_index=\"\";", kGetConfig + "\n\tFailure: can not obtain DDNS information."},
        {"another index", "var factory_index=\"9\";var factory_server=\"s\";var factory_port=\"808\";var factory_user=\"u\";",
         kGetConfig + "\n\tFailure: DDNS has not chosen then IPCam type, please click the \"Settings\" button to change the settings."},
        {"complete", "var factory_index=\"10\";var factory_server=\"elsewhere\";var factory_port=\"808\";var factory_user=\"u\";",
         kGetConfig + kSucc + "\n" + kRegistration + kSucc},
    };
    for (const Case& c : cases) {
        CameraServer camera([&c](const HttpRequest&) { return HttpAnswer(200, c.answer); });
        for (int round = 0; round < 2; ++round) {
            const TReport r = Run(Cam(9, camera.Port(), "online1"));
            EXPECT_EQ(r.text, c.report) << c.what;
        }
        EXPECT_EQ(camera.Requests().size(), 2u) << c.what << ": asked again each time";
        EXPECT_EQ(camera.Requests()[0].path, "/get_factory_param.cgi");
    }
}

// Family 5 asks the camera itself over CTP/1.0; its first line has no text of its own.
TEST_F(DdnsCheck, Family5AsksTheCamera)
{
    struct Case {
        const char* state;  // "-status" line of getoraystate
        QString report;
        bool success;
    } cases[] = {
        {"-status 0\r\n", kRegistration + kSucc, true},
        {"-status 3\r\n", "\n" + kNoReg, false},
        {"-status 1\r\n", "\n" + kNoServer, false},
        {"-status 4\r\n", "\n" + kNoServer, false},
        {"-status 2\r\n", "\n" + kUnknown, false},
        {"", "\n" + kUnknown, false},  // no status at all
        {"-status 9\r\n", "", false},  // a state with nothing to say
    };
    for (const Case& c : cases) {
        TFakeCamera camera;
        const QByteArray state = c.state;
        camera.SetHandler([state](const TFakeCamera::TRequest& r) {
            return TFakeCamera::TAnswer(TFakeCamera::Ok(r.verb == "getoraystate" ? state : QByteArray()));
        });
        const TReport r = Run(Cam(5, camera.Port(), "online1"));
        EXPECT_EQ(r.text, c.report) << c.state;
        EXPECT_EQ(r.success, c.success) << c.state;
    }
    EXPECT_EQ(Run(Cam(5, RefusedPort(), "online1")).text, "\n" + kUnknown) << "no connection";
    EXPECT_TRUE(service.Targets().isEmpty()) << "the check service is not asked";
}

}  // namespace
