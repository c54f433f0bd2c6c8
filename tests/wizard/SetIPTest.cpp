// Step 4 on the manual clock: the address decision sent, the wait for the camera at its new
// address, the reachability test and the login confirmation. The PC's adapter is made
// 127.0.0.2 so that the cameras' web pages can be servers of the test on 127.0.0.1.

#include "AuthInput.h"
#include "Controls.h"
#include "Screenshots.h"
#include "SetIP.h"
#include "TestHttpServer.h"
#include "TestTiming.h"
#include "WizardFixture.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

namespace {

const QString kConfiguring = "Setup wizard is configuring the IP camera parameters ...";
const QString kChecking = "Checking...";
const QString kCantConnect = "Unable to connect cameras!";
const QString kConfigError = "Equipment configuration parameter error, please return the equipment list to choose!";
const QString kCannotVisit =
    "Camera can not be accessed, please check the camera's IP and other settings, or return to the \"Select Camera\" to reset.";
const QString kDefaultNote = "Note: Default username is \"admin\", password is blank.";
const QString kFamily5Note = "Default username is \"admin\", password is \"qelvo\".";

class SetIPPage : public WizardTest {
protected:
    // The camera's web server on 127.0.0.1:80: its pages answer with variables, so logins pass.
    std::unique_ptr<CameraServer> web;
    bool refuseLogin = false;
    QUdpSocket bin8;  // where family-8 settings commands arrive (port 6801)

    void SetUp() override
    {
        WizardTest::SetUp();
        web = std::make_unique<CameraServer>(
            [this](const HttpRequest& r) {
                if (refuseLogin && r.Param("pwd") != "right")
                    return HttpAnswer(401, "Unauthorized");
                return HttpAnswer(200, "var id=\"x\";");
            },
            80);
        ASSERT_TRUE(web->Listening());
        adv->edCurIP->setText("127.0.0.2");
        adv->edCurGate->setText("127.0.0.3");
        ASSERT_TRUE(bin8.bind(QHostAddress::AnyIPv4, 6801, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    }
    void TearDown() override
    {
        web.reset();
        WizardTest::TearDown();
    }
    // A family-8 camera whose seed (0x82 = 130) takes it from 192.168.1.126 to 127.0.0.1.
    static TDevInfo Factory8()
    {
        TDevInfo d = Camera(8, "001A2B000882", "192.168.1.126", 80);
        d.SN = "01020304050607";
        d.Gateway = "192.168.1.1";
        d.Dns1 = "192.168.1.1";
        d.DataPort = 8000;
        d.AddrMode = kAddrStatic;
        return d;
    }
    TfrmEsy_SetIP* Start(const TDevInfo& cam)
    {
        Add(cam);
        Cur().Choose(cam, 1, QString());
        auto* p = Show<TfrmEsy_SetIP>("TfrmEsy_SetIP");
        p->SetClockMillis([] { return 0; });
        return p;
    }
    // The settings commands for family 8 (264 bytes) that arrived; search probes are not counted.
    QList<QByteArray> Commands()
    {
        QList<QByteArray> out;
        while (bin8.hasPendingDatagrams()) {
            QByteArray d(int(bin8.pendingDatagramSize()), '\0');
            bin8.readDatagram(d.data(), d.size());
            if (d.size() == 264)
                out << d;
        }
        commands += out;
        return commands;
    }
    QList<QByteArray> commands;
    static QString Text16(const QByteArray& d, int at) { return QString::fromLatin1(d.mid(at, 16).constData()); }
    bool Succeeded(TfrmEsy_SetIP* p) { return QTest::qWaitFor([p] { return !p->btnNext->isHidden(); }, testsupport::Slack(15000)); }
};

TEST_F(SetIPPage, ACameraThatIsGoneCannotBeSetUp)
{
    Cur().CurDevMac = "gone";
    Cur().CurDevIP = "10.77.0.99";
    auto* p = Show<TfrmEsy_SetIP>("TfrmEsy_SetIP");
    EXPECT_EQ(main->lblCaption->text(), "Step 4: Setting IP Address");
    clock->Advance(100);
    EXPECT_EQ(p->lblChecking->text(), kCantConnect);
    EXPECT_TRUE(p->Image1->isHidden());
    EXPECT_TRUE(p->btnNext->isHidden());
    EXPECT_FALSE(p->Next());
    EXPECT_FALSE(p->Busy());
}

// A camera with a fixed address in the PC's subnet gets nothing; its web page answers.
TEST_F(SetIPPage, AFixedAddressInTheSubnetIsOnlyChecked)
{
    TDevInfo cam = Camera(2, "001A2B000201", "127.0.0.1", 80);
    cam.AddrMode = kAddrStatic;
    auto* p = Start(cam);
    EXPECT_TRUE(p->btnNext->isHidden());
    EXPECT_TRUE(p->edLanUrl->isHidden());
    clock->Advance(99);
    EXPECT_EQ(web->Requests().size(), 0u) << "the work starts 100 ms after the page is shown";
    clock->Advance(1);
    EXPECT_FALSE(p->Applying());
    EXPECT_EQ(p->lblChecking->text(), kChecking);
    ASSERT_TRUE(Succeeded(p));
    EXPECT_TRUE(p->lblChecking->isHidden());
    EXPECT_TRUE(p->lblOK->text().startsWith("This IP camera is configured correctly. You can click \"Open\" button"));
    EXPECT_TRUE(p->lblOK->text().contains("now.\nIf you want"));
    EXPECT_EQ(p->edLanUrl->text(), "http://127.0.0.1");
    EXPECT_FALSE(p->spbOpenLanUrl->isHidden());
    EXPECT_FALSE(p->imgArrow->isHidden());
    EXPECT_EQ(p->lblDevAuthInfo->text(), kDefaultNote);
    ASSERT_EQ(web->Requests().size(), 1u);
    EXPECT_EQ(web->Requests()[0].target, "/");
    p->spbOpenLanUrlClick();
    EXPECT_EQ(opened, QStringList{"http://127.0.0.1"});
    Snap(main.get(), "TfrmEsy_SetIP");
}

TEST_F(SetIPPage, AFactoryCameraIsMovedFoundAgainAndChecked)
{
    const TDevInfo cam = Factory8();
    auto* p = Start(cam);
    clock->Advance(100);
    EXPECT_TRUE(p->Applying());
    EXPECT_TRUE(p->Busy());
    EXPECT_EQ(p->lblChecking->text(), kConfiguring);
    EXPECT_FALSE(p->btnPre->isEnabled()) << "the page is not left while the camera moves";
    // The main window does not close meanwhile.
    QCloseEvent close;
    QCoreApplication::sendEvent(main.get(), &close);
    EXPECT_FALSE(close.isAccepted());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !Commands().isEmpty(); }, testsupport::Slack(3000)));
    const QByteArray d = Commands().first();
    // Old block at 8, new block at 136: the new address, gateway and name servers.
    EXPECT_EQ(Text16(d, 8), "192.168.1.126");
    EXPECT_EQ(Text16(d, 136), "127.0.0.1");
    EXPECT_EQ(Text16(d, 136 + 32), "127.0.0.3");
    EXPECT_EQ(Text16(d, 136 + 48), "8.8.8.8");
    EXPECT_EQ(Text16(d, 136 + 64), "208.67.222.222");
    EXPECT_EQ(quint8(d[136 + 103]), 0) << "static";

    // The camera answers at its new address; it is looked for only after 30 seconds.
    TDevInfo moved = cam;
    moved.IP = "127.0.0.1";
    Add(moved);
    clock->Advance(29999);
    EXPECT_TRUE(p->Applying());
    EXPECT_EQ(Cur().CurDevIP, "192.168.1.126");
    clock->Advance(1);
    EXPECT_FALSE(p->Applying());
    EXPECT_TRUE(p->btnPre->isEnabled());
    EXPECT_EQ(Cur().CurDevIP, "127.0.0.1");
    EXPECT_EQ(p->lblChecking->text(), kChecking);
    QCloseEvent closeAfter;
    QCoreApplication::sendEvent(main.get(), &closeAfter);
    EXPECT_TRUE(closeAfter.isAccepted());
    main->show();
    ASSERT_TRUE(Succeeded(p));
    EXPECT_EQ(p->edLanUrl->text(), "http://127.0.0.1");
    ASSERT_FALSE(web->Requests().empty());
    EXPECT_EQ(web->Requests().back().target, "/get_status.cgi");
}

TEST_F(SetIPPage, ACameraThatDoesNotComeBackSendsTheUserBack)
{
    auto* p = Start(Factory8());
    clock->Advance(100);
    ASSERT_TRUE(p->Applying());
    clock->Advance(30000 + 499 * 100);
    EXPECT_TRUE(p->Applying()) << "500 looks, 100 ms apart";
    clock->Advance(100);
    EXPECT_FALSE(p->Applying());
    EXPECT_EQ(p->lblChecking->text(), kConfigError);
    EXPECT_TRUE(p->Image1->isHidden());
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_SetIP");
    clock->Advance(200);
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList");
}

// The advanced link hides the page while the camera moves: the wait goes on and ends quietly;
// coming back meanwhile finds it still running, coming back later starts afresh.
TEST_F(SetIPPage, LeavingThePageDoesNotAbandonTheCamera)
{
    const TDevInfo cam = Factory8();
    auto* p = Start(cam);
    clock->Advance(100);
    ASSERT_TRUE(p->Applying());
    main->lblAdvClick();
    EXPECT_TRUE(p->isHidden());
    clock->Advance(10000);
    main->lblAdvClick();
    main->ShowPage("TfrmEsy_SetIP");
    EXPECT_TRUE(p->Applying()) << "the same wait, not a second one";
    EXPECT_EQ(p->lblChecking->text(), kConfiguring);
    main->ShowPage("TfrmEsy_DevList");
    TDevInfo moved = cam;
    moved.IP = "127.0.0.1";
    Add(moved);
    clock->Advance(20000);
    EXPECT_FALSE(p->Applying());
    EXPECT_FALSE(p->Busy());
    EXPECT_EQ(Cur().CurDevIP, "127.0.0.1");
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList") << "nothing pulls the user back";
    main->ShowPage("TfrmEsy_SetIP");
    clock->Advance(100);
    EXPECT_FALSE(p->Applying()) << "at its new fixed address the camera needs nothing more";
    EXPECT_TRUE(Succeeded(p));
}

TEST_F(SetIPPage, AWebPageThatDoesNotAnswerLeavesOnlyBack)
{
    TDevInfo cam = Camera(2, "001A2B000201", "127.0.0.1", RefusedPort());
    cam.AddrMode = kAddrStatic;
    auto* p = Start(cam);
    clock->Advance(100);
    ASSERT_TRUE(QTest::qWaitFor([p] { return p->lblChecking->text() == kCannotVisit; }, testsupport::Slack(10000)));
    EXPECT_TRUE(p->Image1->isHidden());
    EXPECT_TRUE(p->edLanUrl->isHidden());
    EXPECT_TRUE(p->lblDevAuthInfo->isHidden());
    EXPECT_TRUE(p->btnNext->isHidden());
    EXPECT_TRUE(p->btnPre->isEnabled());
    EXPECT_FALSE(p->Busy());
}

// The note on the default account follows the family of the camera being checked.
TEST_F(SetIPPage, TheDefaultAccountNote)
{
    for (int family : {5, 2, 5}) {
        TDevInfo cam = Camera(family, QStringLiteral("001A2B00%1%1").arg(family, 2, 10, QChar('0')), "127.0.0.1",
                              RefusedPort());
        cam.AddrMode = kAddrStatic;
        List().ClearDevices();
        auto* p = Start(cam);
        main->ShowPage("TfrmEsy_DevList");
        main->ShowPage("TfrmEsy_SetIP");
        clock->Advance(100);
        EXPECT_EQ(p->lblDevAuthInfo->text(), family == 5 ? kFamily5Note : kDefaultNote) << family;
    }
}

TEST_F(SetIPPage, NextConfirmsTheLoginAndAsksOnlyWhenItIsRefused)
{
    TDevInfo cam = Camera(2, "001A2B000201", "127.0.0.1", 80);
    cam.AddrMode = kAddrStatic;
    auto* p = Start(cam);
    clock->Advance(100);
    ASSERT_TRUE(Succeeded(p));
    int prompts = 0;
    p->SetModalRunner([&](QDialog& d) {
        ++prompts;
        auto* login = qobject_cast<TfrmAuthInput*>(&d);
        EXPECT_NE(login, nullptr);
        if (!login)
            return int(QDialog::Rejected);
        EXPECT_EQ(login->edUser->text(), "admin");
        EXPECT_EQ(login->DevUrl, "http://127.0.0.1:80") << "the port is always written";
        if (prompts == 1)
            return int(QDialog::Rejected);  // the user cancels
        login->edUser->setText(" admin ");
        login->edPwd->setText(" right ");
        login->btnOKClick();
        return login->result();
    });
    refuseLogin = true;
    EXPECT_FALSE(p->Next());
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(Cur().CurDevAuthOK);
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_SetIP");
    EXPECT_TRUE(p->Next());
    EXPECT_EQ(prompts, 2);
    EXPECT_TRUE(Cur().CurDevAuthOK);
    EXPECT_EQ(Cur().CurDevUser, "admin");
    EXPECT_EQ(Cur().CurDevPwd, "right");
    EXPECT_TRUE(p->lblOK->isHidden());
    EXPECT_TRUE(p->edLanUrl->isHidden());
    // Confirmed once, not asked again: the only requests are those of step 5 (whose reading of
    // the settings is one get_params).
    refuseLogin = false;
    main->ShowPage("TfrmEsy_SetIP");
    web->ClearRequests();
    EXPECT_TRUE(p->Next());
    EXPECT_EQ(prompts, 2);
    int params = 0;
    for (const HttpRequest& r : web->Requests())
        params += r.path == "/get_params.cgi";
    EXPECT_EQ(params, 1);
    EXPECT_EQ(web->Requests().front().path, "/wifi_scan.cgi") << "step 5 is the first to ask";
}

TEST_F(SetIPPage, AStoredLoginThatWorksIsConfirmedWithoutAsking)
{
    TDevInfo cam = Camera(2, "001A2B000201", "127.0.0.1", 80);
    cam.AddrMode = kAddrStatic;
    auto* p = Start(cam);
    clock->Advance(100);
    ASSERT_TRUE(Succeeded(p));
    p->SetModalRunner([](QDialog&) {
        ADD_FAILURE() << "no dialog expected";
        return int(QDialog::Rejected);
    });
    web->ClearRequests();
    EXPECT_TRUE(p->Next());
    EXPECT_TRUE(Cur().CurDevAuthOK);
    ASSERT_GE(web->Requests().size(), 2u);
    EXPECT_EQ(web->Requests()[0].target, "/get_params.cgi?user=admin&pwd=") << "the login test";
    EXPECT_EQ(web->Requests()[1].path, "/wifi_scan.cgi") << "then step 5";
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_SetWIFI");
}

}  // namespace
