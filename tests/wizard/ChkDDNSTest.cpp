// Step 6 as the user sees it: the report, the state line, Redetect, and Modify with its dialog
// and the wait for the camera; against a family-2 camera of the test's own and the stand-in
// check service on 127.0.0.1.

#include "ChkDDNS.h"
#include "Controls.h"
#include "Countdown.h"
#include "DdnsStandIn.h"
#include "Screenshots.h"
#include "SetDDNS.h"
#include "TestHttpServer.h"
#include "TestTiming.h"
#include "WizardFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <atomic>

namespace {

const QString kChecking = "Checking...";
const QString kContinue = "The current step has been successful! Click \"Next\" button to continue!";

class ChkDDNSPage : public WizardTest {
protected:
    TDdnsStandIn service;
    std::atomic<int> setDdns{0};
    std::string setAnswer = "ok";
    std::string account = "online1";
    CameraServer web{[this](const HttpRequest& r) {
        if (r.path == "/set_ddns.cgi") {
            ++setDdns;
            return HttpAnswer(200, setAnswer);
        }
        return HttpAnswer(200, "var ddns_service=7;\r\nvar ddns_proxy_svr='127.0.0.1';\r\nvar ddns_proxy_port=808;\r\n"
                               "var ddns_user='" + account + "';\r\nvar ddns_pwd='pw';\r\n");
    }};

    TDevInfo Cam2() const
    {
        TDevInfo d = Camera(2, "001A2B000201", "127.0.0.1", web.Port());
        d.DdnsUser = "online1";
        d.DdnsPwd = "pw";
        d.DdnsServer = "127.0.0.1";
        return d;
    }
    TfrmEsy_ChkDDNS* Start(const TDevInfo& cam)
    {
        Add(cam);
        Cur().Choose(cam, 1, QString());
        return Show<TfrmEsy_ChkDDNS>("TfrmEsy_ChkDDNS");
    }
    bool Done(TfrmEsy_ChkDDNS* p)
    {
        return QTest::qWaitFor([p] { return p->RunningChecks() == 0; }, testsupport::Slack(10000));
    }
};

TEST_F(ChkDDNSPage, ARegisteredCameraPassesTheStep)
{
    ASSERT_TRUE(service.Running());
    auto* p = Start(Cam2());
    EXPECT_EQ(main->lblCaption->text(), "Step 6: Check DDNS");
    EXPECT_EQ(p->lblOK->text(), kChecking);
    EXPECT_EQ(p->edDDNSID->text(), "online1");
    EXPECT_EQ(p->edDDNSServer->text(), "127.0.0.1");
    ASSERT_TRUE(Done(p));
    QCoreApplication::processEvents();
    EXPECT_EQ(p->memResult->toPlainText(),
              "Obtaining DDNS options from the camera...\t\tSuccess!\nObtaining DDNS registration status ...\t\tSuccess!");
    EXPECT_EQ(p->lblOK->text(), kContinue);
    EXPECT_TRUE(p->memResult->isReadOnly());
    Snap(main.get(), "TfrmEsy_ChkDDNS");
    EXPECT_TRUE(p->Next());
}

TEST_F(ChkDDNSPage, ModifyIsOfferedWhereTheSettingsCanBeChanged)
{
    struct Case {
        int family;
        bool shown;
    } cases[] = {{2, true}, {5, false}, {8, false}, {9, false}, {2, true}};
    for (const Case& c : cases) {
        TDevInfo cam = Camera(c.family, QStringLiteral("001A2B0000%1").arg(c.family, 2, 10, QChar('0')), "127.0.0.1",
                              RefusedPort());
        main->ShowPage("TfrmEsy_DevList");
        auto* p = Start(cam);
        EXPECT_EQ(!p->spbChangeDDNS->isHidden(), c.shown) << c.family;
        Done(p);
    }
}

// Redetect while a slow check runs: the old check's late results do not appear.
TEST_F(ChkDDNSPage, RedetectDetachesTheOldCheck)
{
    ASSERT_TRUE(service.Ctl({"set", "online1", "getremote", "online", "delay=1500"}));
    auto* p = Start(Cam2());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.Targets().size() == 1; }, testsupport::Slack(5000)));
    ASSERT_TRUE(service.Ctl({"set", "online1", "getremote", "noid"}));
    p->spbCheckClick();
    EXPECT_EQ(p->lblOK->text(), kChecking);
    ASSERT_TRUE(Done(p));
    QCoreApplication::processEvents();
    EXPECT_EQ(service.Targets().size(), 2);
    EXPECT_TRUE(p->memResult->toPlainText().contains("Error: no DDNS account."));
    EXPECT_FALSE(p->memResult->toPlainText().contains("status ...\t\tSuccess!")) << p->memResult->toPlainText().toStdString();
    EXPECT_EQ(p->lblOK->text(), kChecking);
}

TEST_F(ChkDDNSPage, ModifySendsTheSettingsWaitsAndChecksAgain)
{
    auto* p = Start(Cam2());
    Done(p);
    QStringList dialogs;
    int countdowns = 0;
    p->SetModalRunner([&](QDialog& d) {
        if (auto* c = qobject_cast<TfrmCountdown*>(&d)) {
            ++countdowns;
            EXPECT_EQ(c->TotalSecs, 40);
            EXPECT_EQ(c->lblHint->text(), "The camera is restarting...");
            clock->Advance(31000);
            return c->result();
        }
        auto* s = qobject_cast<TfrmEsy_SetDDNS*>(&d);
        EXPECT_NE(s, nullptr);
        if (!s)
            return int(QDialog::Rejected);
        dialogs << s->edID->text() + "|" + s->edPwd->text() + "|" + s->edServer->text();
        EXPECT_EQ(s->LanUrl(), "http://127.0.0.1:" + QString::number(web.Port()));
        Snap(s, "TfrmEsy_SetDDNS");
        s->edID->setText(" off1 ");
        s->edServer->setText("127.0.0.1");
        s->btnOKClick();
        return s->result();
    });
    account = "off1";  // what the camera reports once it took the new account
    p->spbChangeDDNSClick();
    EXPECT_EQ(dialogs, QStringList{"online1|pw|127.0.0.1"});
    EXPECT_EQ(countdowns, 1);
    ASSERT_EQ(setDdns.load(), 1);
    bool found = false;
    for (const HttpRequest& r : web.Requests())
        if (r.path == "/set_ddns.cgi") {
            found = true;
            EXPECT_EQ(r.target, "/set_ddns.cgi?cam_user=admin&cam_pwd=&service=7&user=off1&pwd=pw&host=&proxy_svr=127.0.0.1"
                                "&proxy_port=808&restart_dyndns=1");
        }
    EXPECT_TRUE(found);
    // Checked again, with what the camera now has.
    ASSERT_TRUE(Done(p));
    QCoreApplication::processEvents();
    EXPECT_TRUE(p->memResult->toPlainText().contains("Error: DDNS account and password are correct, but have not logined"));
}

TEST_F(ChkDDNSPage, TheDialogStaysOpenWhenTheCameraRefusesOrIsGone)
{
    auto* p = Start(Cam2());
    Done(p);
    QList<int> dialogResults;
    p->SetModalRunner([&](QDialog& d) {
        auto* s = qobject_cast<TfrmEsy_SetDDNS*>(&d);
        if (!s)
            return int(QDialog::Rejected);
        s->btnOKClick();
        dialogResults << s->result();
        return s->result();
    });
    setAnswer = "Unauthorized";
    p->spbChangeDDNSClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, "Account and password of the camera are not correct!");
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(dialogResults, QList<int>{QDialog::Rejected}) << "not closed with OK";

    TDevInfo gone = Cam2();
    gone.HttpPort = RefusedPort();
    Add(gone);
    boxes.clear();
    p->spbChangeDDNSClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, "Unable to connect cameras!");
}

TEST_F(ChkDDNSPage, ACameraNotFoundAfterTheChange)
{
    auto* p = Start(Cam2());
    Done(p);
    p->SetModalRunner([&](QDialog& d) {
        if (auto* c = qobject_cast<TfrmCountdown*>(&d)) {
            List().ClearDevices();
            clock->Advance(40000);
            return c->result();
        }
        qobject_cast<TfrmEsy_SetDDNS*>(&d)->btnOKClick();
        return d.result();
    });
    p->spbChangeDDNSClick();  // answered No
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, "After the Parameters was modified, then the camera has not been found again. Whether to "
                             "return to the \"Select Camera\" interface?");
    EXPECT_EQ(boxes[0].flags, MB::ICONWARNING | MB::YESNO);
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_ChkDDNS");
    Add(Cam2());
    answers = {MB::IDYES};
    p->spbChangeDDNSClick();
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList");
}

}  // namespace
