// Step 7's check against the stand-in check service (tools/ddns-check) on 127.0.0.1: every
// outcome, with the report as it reads after each hand-over.

#include "CheckFortwordThread.h"
#include "DdnsStandIn.h"
#include "LangRes.h"
#include "StepReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

const QString kSucc = "Checking...\t\tSuccefully";
const QString kNotConnect = "Checking...\t\tFailure, Can not connect the server %1.";
const QString kNotDev = "Checking...\t\tFailed, this camera can not be connected in external network.";
const QString kDo = "    Approach:\n        1.Check the current computer can access the network properly;\n"
                    "        2.The LAN has not blocked TCP 808 port;\n        3.Please contact product vendor technical support;";
const QString kDo2 = "    Approach:\n        1.Click the button \"Set port mapping\" to set port mapping in the router;\n"
                     "        2.The port mapping is not set up in the router, or port mapping is invalid;\n"
                     "        3.There are multi-level network routing.\n        4.Please contact product vendor technical support.";

struct TRun {
    QStringList history;  // the whole report after each hand-over
    bool success = false;
    qint64 ms = 0;
};

class PortCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() { res_ = new TfrmStrRes(); SetLanguage("en"); }
    static void TearDownTestSuite() { delete res_; }
    static TfrmStrRes* res_;
    TDdnsStandIn service;

    TRun Run(const QString& server, const QString& account, std::function<void(const QString&)> onReport = {})
    {
        TRun r;
        QStringList lines;
        TCheckFortwordThread t(server, account, "pw", "admin", "http://x.example.net");
        t.Link().SetOnStep([&](int kind, const QString& text) {
            ApplyStep(lines, kind, text);
            r.history << lines.join('\n');
            r.success |= kind == kStepSuccess;
            if (onReport)
                onReport(text);
        });
        QElapsedTimer timer;
        timer.start();
        t.Start();
        while (!t.Finished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        r.ms = timer.elapsed();
        return r;
    }
};
TfrmStrRes* PortCheck::res_ = nullptr;

TEST_F(PortCheck, ReachableFromOutside)
{
    ASSERT_TRUE(service.Running());
    const TRun r = Run("127.0.0.1", "online1");
    EXPECT_EQ(r.history, QStringList({"Checking...1", kSucc}));
    EXPECT_TRUE(r.success);
    EXPECT_EQ(service.Targets(), QStringList({"/func/getremote.asp?id=online1",
                                              "/api/checkurl.asp?url=http://127.0.0.1:8081/oem.txt"}));
}

TEST_F(PortCheck, ReachedAtTheSecondAttempt)
{
    const TRun r = Run("127.0.0.1", "hidden1", [this](const QString& text) {
        // The router's mapping is set while the check pauses.
        if (text == "Checking...2")
            service.Ctl({"account", "hidden1", "reachable=yes"});
    });
    EXPECT_EQ(r.history, QStringList({"Checking...1", "Checking...2", kSucc})) << "always one line";
    EXPECT_TRUE(r.success);
}

TEST_F(PortCheck, NeverReachedEndsWithTheApproach)
{
    const TRun r = Run("127.0.0.1", "hidden1");
    EXPECT_EQ(r.history, QStringList({"Checking...1", "Checking...2", "Checking...3", "Checking...4", kNotDev,
                                      kNotDev + "\n" + kDo2}));
    EXPECT_FALSE(r.success);
    EXPECT_GE(r.ms, 3 * 500) << "three pauses of 500 ms";
    EXPECT_EQ(service.Targets().count("/api/checkurl.asp?url=http://127.0.0.1:8082/oem.txt"), 3);
}

TEST_F(PortCheck, OtherOutcomes)
{
    struct Case {
        const char* what;
        QString server;
        QString account;
        QStringList set;
        QString report;
    } cases[] = {
        {"service not there", "127.0.0.9", "online1", {}, kNotConnect.arg("127.0.0.9")},
        {"service not there, a port with it", "127.0.0.9:8080", "online1", {}, kNotConnect.arg("127.0.0.9:8080")},
        {"unknown account", "127.0.0.1", "ghost", {},
         "    Error: no DDNS account.\n\nPlease check the DDNS setting in the camera.\n     Approach:\n"
         "        1.Check whether SN setting is correct;\n        2.Please contact product vendor technical support."},
        {"offline", "127.0.0.1", "off1", {},
         "    IP camera is not currently online, please check whether the success of port mapping!"},
        {"garbage", "127.0.0.1", "online1", {"set", "*", "getremote", "garbage"},
         "    Error: unknown error \n\n please contact the IP camera supplier."},
        {"check service silent after the address", "127.0.0.1", "online1", {"set", "*", "checkurl", "reset"},
         kNotConnect.arg("127.0.0.1") + "\n" + kDo},
        {"an address that is none", "127.0.0.1", "online1", {"set", "*", "getremote", "text:1<script>"},
         kNotDev + "\n" + kDo2},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(service.Ctl({"reset"}));
        if (!c.set.isEmpty())
            ASSERT_TRUE(service.Ctl(c.set)) << c.what;
        const TRun r = Run(c.server, c.account);
        ASSERT_FALSE(r.history.isEmpty()) << c.what;
        EXPECT_EQ(r.history.last(), c.report) << c.what;
        EXPECT_FALSE(r.success) << c.what;
    }
    EXPECT_FALSE(service.Targets().join(' ').contains("script")) << "the service is not asked for such an address";
}

}  // namespace
