// Step 7: the check from outside, Redetect, and the port mapping set through the router dialog
// with the test plug-in (tools/router-plugin-test) behind the helper process.

#include "Controls.h"
#include "DdnsStandIn.h"
#include "EsyPortForward.h"
#include "PlugInFixture.h"
#include "PortForward.h"
#include "PortMapping.h"
#include "Screenshots.h"
#include "TestTiming.h"
#include "WizardFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

const QString kSetMapping =
    "Click the \"Set port mapping\" button,which can set up port mapping on the router automatically.";
const QString kMappingOk = "Port Forward setting successfully, click \"Next\" button to continue.";

class PortForwardPage : public WizardTest {
protected:
    TDdnsStandIn service;
    TestPlugIn plugin;
    TPortMapSetup setup;

    void SetUp() override
    {
        WizardTest::SetUp();
        setup.RouterDir = dirs.Path("app/Router/");
        setup.ConfigPath = dirs.Path("app/Config.ini");
        setup.PlugInHost = QStringLiteral(IPCAM_PLUGIN_HOST);
        WriteBytes(setup.RouterDir + "Router.ini",
                   "[Router]\r\nCount=1\r\nRenName1=Test router\r\nrpath1=test.so\r\nVersion1=1.0.0.10\r\n");
        ASSERT_TRUE(QFile::copy(TestPlugIn::Library(), setup.RouterDir + "test.so"));
        adv->edCurGate->setText("192.168.1.1");
    }
    static TDevInfo Cam(int family, const QString& account)
    {
        TDevInfo d = Camera(family, QStringLiteral("001A2B0000%1").arg(family, 2, 10, QChar('0')), "192.168.1.20", 81);
        d.DataPort = 8000;
        d.DdnsUser = account;
        d.DdnsServer = "127.0.0.1";
        return d;
    }
    TfrmEsy_PortForward* Start(const TDevInfo& cam)
    {
        Add(cam);
        Cur().Choose(cam, 1, QString());
        main->ShowPage("TfrmEsy_PortForward");
        auto* p = qobject_cast<TfrmEsy_PortForward*>(main->Page("TfrmEsy_PortForward"));
        p->SetPortMapSetup(setup);
        return p;
    }
    bool Done(TfrmEsy_PortForward* p)
    {
        const bool done = QTest::qWaitFor([p] { return p->RunningChecks() == 0; }, testsupport::Slack(10000));
        QCoreApplication::processEvents();
        return done;
    }
    // The router's table after the plug-in set it: "address:port" of each entry.
    QStringList RouterEntries() const
    {
        TPortMapping router;
        QStringList out;
        if (!router.ParseRouterXml(plugin.Read("table.xml")))
            return out;
        for (const auto* r : router.dsRouter.Shown())
            out << r->IP + ':' + QString::number(r->PPort);
        return out;
    }
};

TEST_F(PortForwardPage, ShowsTheCameraAndChecksIt)
{
    ASSERT_TRUE(service.Running());
    auto* p = Start(Cam(2, "online1"));
    EXPECT_EQ(main->lblCaption->text(), "Step 7:Port Forwarding");
    EXPECT_EQ(p->btnJNext, nullptr) << "no small next button on this page";
    EXPECT_EQ(p->edIP->text(), "192.168.1.20");
    EXPECT_EQ(p->edPort->text(), "81");
    EXPECT_TRUE(p->edDataPort->isHidden());
    EXPECT_TRUE(p->Label5->isHidden());
    EXPECT_EQ(p->edRouterIP->text(), "192.168.1.1");
    EXPECT_EQ(p->lblOK->text(), kSetMapping);
    EXPECT_TRUE(p->spbOpenOuter->isHidden());
    ASSERT_TRUE(Done(p));
    EXPECT_EQ(p->memResult->toPlainText(), "Checking...\t\tSuccefully");
    EXPECT_EQ(p->lblOK->text(), kMappingOk);
    EXPECT_FALSE(p->spbOpenOuter->isHidden());
    EXPECT_FALSE(p->imgArrow->isHidden());
    p->spbOpenOuterClick();
    p->spbOpenRouterClick();
    EXPECT_EQ(opened, QStringList({"http://online1.0.0.1", "http://192.168.1.1"}));
    Snap(main.get(), "TfrmEsy_PortForward");
    // Next counts the camera.
    Cur().CurCamNo = 2;
    EXPECT_TRUE(p->Next());
    EXPECT_EQ(Cur().CurCamNo, 3);
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_SelAccess");
}

// A family-8 camera gets two mappings, its web port and its second port; the check then
// succeeds and the state line says so.
TEST_F(PortForwardPage, SettingTheMappingAndCheckingAgain)
{
    auto* p = Start(Cam(8, "hidden1"));
    EXPECT_FALSE(p->edDataPort->isHidden());
    EXPECT_EQ(p->edDataPort->text(), "8000");
    ASSERT_TRUE(Done(p));
    EXPECT_TRUE(p->memResult->toPlainText().startsWith("Checking...\t\tFailed, this camera can not be connected"));
    EXPECT_TRUE(p->spbOpenOuter->isHidden());
    int dialogs = 0;
    p->SetModalRunner([&](QDialog& d) {
        ++dialogs;
        auto* dlg = qobject_cast<TfrmPortForward*>(&d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg)
            return int(QDialog::Rejected);
        EXPECT_EQ(dlg->RouterIP, "192.168.1.1");
        dlg->EnsureRouterList();
        dlg->BitBtn1Click();
        // The router forwards now: the service reaches the camera.
        service.Ctl({"account", "hidden1", "reachable=yes"});
        return dlg->result();
    });
    p->BitBtn1Click();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(RouterEntries(), QStringList({"192.168.1.20:81", "192.168.1.20:8000"}));
    ASSERT_TRUE(Done(p));
    EXPECT_EQ(p->memResult->toPlainText(), "Checking...\t\tSuccefully") << "checked again after the mapping";
    EXPECT_EQ(p->lblOK->text(), kMappingOk);
    EXPECT_FALSE(p->spbOpenOuter->isHidden());
}

TEST_F(PortForwardPage, OneMappingForOtherFamiliesAndNoneWhenTheDialogIsCancelled)
{
    auto* p = Start(Cam(9, "hidden1"));
    Done(p);
    p->SetModalRunner([&](QDialog& d) {
        auto* dlg = qobject_cast<TfrmPortForward*>(&d);
        dlg->EnsureRouterList();
        dlg->BitBtn1Click();
        return dlg->result();
    });
    p->BitBtn1Click();
    EXPECT_EQ(RouterEntries(), QStringList{"192.168.1.20:81"});
    ASSERT_TRUE(Done(p));
    // Redetect does not reset the state line; showing the page again does.
    p->SetModalRunner([](QDialog&) { return int(QDialog::Rejected); });
    const QString before = p->memResult->toPlainText();
    p->btnCheckClick();
    EXPECT_TRUE(p->memResult->toPlainText().isEmpty());
    Done(p);
    EXPECT_EQ(p->memResult->toPlainText(), before);
    p->BitBtn1Click();
    EXPECT_EQ(p->RunningChecks(), 0) << "a cancelled dialog starts no check";
}

TEST_F(PortForwardPage, TheRouterAddressIsTakenOnceAndEditsStay)
{
    auto* p = Start(Cam(2, "online1"));
    p->edRouterIP->setText("10.0.0.1");
    adv->edCurGate->setText("172.16.0.1");
    main->ShowPage("TfrmEsy_ChkDDNS");
    main->ShowPage("TfrmEsy_PortForward");
    EXPECT_EQ(p->edRouterIP->text(), "10.0.0.1");
    p->edRouterIP->clear();
    p->spbOpenRouterClick();
    EXPECT_TRUE(opened.isEmpty());
    // A camera that is gone leaves the fields empty.
    List().ClearDevices();
    main->ShowPage("TfrmEsy_ChkDDNS");
    main->ShowPage("TfrmEsy_PortForward");
    EXPECT_EQ(p->edIP->text(), "");
    EXPECT_EQ(p->edOuterUrl->text(), "");
    Done(p);
}

}  // namespace
