// Easy mode end to end, offscreen, in the simulated LAN of scripts/simlan with lan-sim's cameras
// of easy-lan.ini and the stand-in check service: for one camera of each family, from the
// welcome page to step 8. The camera is moved into the PC's subnet, its wireless LAN set and
// restarted, its DDNS checked, a port mapping set through the test plug-in (which the check
// service then finds forwarded), and its addresses shown. The wizard's clock runs ten times as
// fast as the real one, so the waits of a minute take seconds; the search runs in real time.

#include "AdvMain.h"
#include "AuthInput.h"
#include "ChkDDNS.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DevList.h"
#include "DeviceList.h"
#include "EsyPortForward.h"
#include "LangForms.h"
#include "LangRes.h"
#include "LinkSource.h"
#include "MainForm.h"
#include "Platform.h"
#include "PlugInFixture.h"
#include "PortForward.h"
#include "PortMapping.h"
#include "Screenshots.h"
#include "SelAccess.h"
#include "SelMode.h"
#include "SetIP.h"
#include "SetWIFI.h"
#include "TestDirs.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr double kClockSpeed = 10;

struct TCamera {
    const char* id;  // lan-sim's
    int family;
    const char* ip;  // before step 4
    const char* newIp;
    int newPort;
    const char* account;  // DDNS
    int mappings;         // port mappings set on the router
};

const TCamera kCameras[] = {
    {"moi-e2e", 2, "192.168.4.60", "192.168.7.77", 80, "moi01", 1},
    {"ctp-e2e", 5, "192.168.1.126", "192.168.7.160", 1115, "ctp01", 1},
    {"bin8-e2e", 8, "192.168.5.70", "192.168.7.121", 8088, "bin801", 2},
    {"t9-e2e", 9, "192.168.3.50", "192.168.7.118", 1149, "t901", 1},
};

std::optional<QString> RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

// lan-sim's present values of a camera: "key = value" lines.
QString Show(const char* id)
{
    return RunTool(qEnvironmentVariable("SIMLAN_LANSIM"), {"--ctl", qEnvironmentVariable("SIMLAN_CONTROL"), "show", id})
        .value_or(QString());
}
QString Value(const QString& show, const QString& key)
{
    for (const QString& line : show.split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}
bool Ddns(const QStringList& command)
{
    const std::optional<QString> out = RunTool(qEnvironmentVariable("SIMLAN_DDNSCHECK"),
                                           QStringList{"--ctl", qEnvironmentVariable("SIMLAN_DDNS_CONTROL")} + command);
    return out && out->contains(QLatin1String("ok"));
}

class EasyModeLan : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The PC's adapter has a gateway, as a PC in a LAN with a router has: step 4 gives it to
        // the cameras, step 7 opens the router's page there.
        ASSERT_TRUE(RunTool("ip", {"route", "replace", "default", "via", "192.168.7.1", "dev",
                               qEnvironmentVariable("SIMLAN_PC_IF")}).has_value());
    }

    ScopedTestDirs dirs;
    TestPlugIn plugin;
    TPortMapSetup setup;
    std::unique_ptr<TfrmMain> main;
    TfrmAdv_Main* adv = nullptr;
    QStringList boxes;

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("SIMLAN_CONTROL")) << "runs in scripts/simlan only";
        SetMessageBoxHook([this](const QString& t, const QString&, int) {
            boxes << t;
            return MB::IDOK;
        });
        SetAddressOpener([](const QString&) {});
        setup.RouterDir = dirs.Path("app/Router/");
        setup.ConfigPath = dirs.Path("app/Config.ini");
        setup.PlugInHost = QStringLiteral(IPCAM_PLUGIN_HOST);
        WriteBytes(setup.RouterDir + "Router.ini",
                   "[Router]\r\nCount=1\r\nRenName1=Test router\r\nRcnName1=\xE6\xB5\x8B\xE8\xAF\x95\xE8\xB7\xAF\xE7\x94\xB1\r\n"
                   "rpath1=test.so\r\nVersion1=1.0.0.10\r\n");
        ASSERT_TRUE(QFile::copy(TestPlugIn::Library(), setup.RouterDir + "test.so"));
        plugin.Control("router=192.168.7.1\n");
        main = std::make_unique<TfrmMain>(dirs.Path("program/Config.ini"));
        ASSERT_TRUE(main->StartedOk());
        main->SetClock(std::make_unique<TTimerClock>(kClockSpeed));
        main->show();
        adv = qobject_cast<TfrmAdv_Main*>(main->Page("TfrmAdv_Main"));
        ASSERT_NE(adv, nullptr);
        // No login dialog is expected: the cameras keep their factory logins.
        adv->SetLoginPrompt([](TfrmAuthInput&) {
            ADD_FAILURE() << "login asked for";
            return false;
        });
        EXPECT_EQ(adv->edCurIP->text(), "192.168.7.10");
        EXPECT_EQ(adv->edCurGate->text(), "192.168.7.1");
    }
    void TearDown() override
    {
        main.reset();
        SetMessageBoxHook(nullptr);
        SetAddressOpener(nullptr);
        SetCurLang("en");
    }
    template <class Page>
    Page* Current() const { return qobject_cast<Page*>(main->CurrentPage()); }
    void Shot(const TCamera& c, const char* page) const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        testsupport::SaveScreenshot(main.get(), QStringLiteral("E2E-family%1-%2").arg(c.family).arg(page));
    }
    QStringList RouterEntries() const
    {
        TPortMapping router;
        QStringList out;
        if (router.ParseRouterXml(plugin.Read("table.xml")))
            for (const auto* r : router.dsRouter.Shown())
                out << r->IP + ':' + QString::number(r->PPort);
        return out;
    }

    void Walk(const TCamera& c)
    {
        const bool english = CurLang() == QLatin1String("en");
        SCOPED_TRACE(c.id);
        // Welcome page, steps 1 and 2.
        main->ShowPage("TfrmSel_Mode");
        qobject_cast<TfrmSel_Mode*>(main->Page("TfrmSel_Mode"))->btnEasy->click();
        auto* s1 = Current<TfrmLinkSource>();
        ASSERT_NE(s1, nullptr);
        Shot(c, "1");
        s1->btnNext->click();
        auto* s2 = Current<TfrmEsy_Line>();
        ASSERT_NE(s2, nullptr);
        Shot(c, "2");
        s2->btnNext->click();

        // Step 3: the camera appears; it is chosen.
        auto* s3 = Current<TfrmEsy_DevList>();
        ASSERT_NE(s3, nullptr);
        int row = -1;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (int r = 0; r < s3->Rows->rowCount(); ++r)
                    if (s3->CellText(r, TfrmEsy_DevList::ColIP) == c.ip)
                        row = r;
                return row >= 0;
            },
            20000));
        s3->ListView1->setCurrentIndex(s3->Rows->index(row, 0));
        Shot(c, "3");
        s3->btnNext->click();

        // Step 4: moved into the PC's subnet, found there, its web page answers.
        auto* s4 = Current<TfrmEsy_SetIP>();
        ASSERT_NE(s4, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return s4->Applying(); }, 5000));
        Shot(c, "4-applying");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !s4->btnNext->isHidden(); }, 30000)) << s4->lblChecking->text().toStdString();
        EXPECT_EQ(main->CurrentCamera().CurDevIP, c.newIp);
        const QString lanUrl = c.newPort == 80 ? QStringLiteral("http://%1").arg(c.newIp)
                                               : QStringLiteral("http://%1:%2").arg(c.newIp).arg(c.newPort);
        EXPECT_EQ(s4->edLanUrl->text(), lanUrl);
        EXPECT_EQ(Value(Show(c.id), "ip"), c.newIp);
        Shot(c, "4");
        s4->btnNext->click();
        EXPECT_TRUE(main->CurrentCamera().CurDevAuthOK);

        // Step 5: the camera sees its networks; "Home" is taken with a new key, the camera
        // restarts and is found again.
        auto* s5 = Current<TfrmEsy_SetWIFI>();
        ASSERT_NE(s5, nullptr);
        int home = -1;
        for (int i = 0; i < s5->lstWiFi->count(); ++i)
            if (s5->lstWiFi->item(i)->text().startsWith("Home"))
                home = i;
        ASSERT_GE(home, 0) << "networks: " << s5->lstWiFi->count();
        EXPECT_EQ(s5->edtSSID->isReadOnly(), c.family == 5);
        s5->lstWiFiClick(home);
        EXPECT_EQ(s5->edtSSID->text(), "Home");
        s5->chkUseWiFi->setChecked(true);
        s5->edtShareKey->setText("e2e key");
        // WPA2-PSK (AES); family 5 knows only "secured".
        EXPECT_EQ(s5->cmbSecurity->currentIndex(), c.family == 5 ? 1 : 4);
        EXPECT_FALSE(s5->edtShareKey->isHidden());
        Shot(c, "5");
        const int restartsBefore = Value(Show(c.id), "restarts").toInt();
        s5->BitBtn2Click();
        if (english)
            EXPECT_EQ(s5->lblOK->text(),
                      "Setting WiFi successfully! Please click \"Next\" button to set up the network access!");
        const QString shown = Show(c.id);
        EXPECT_EQ(Value(shown, "restarts").toInt(), restartsBefore + 1) << shown.toStdString();
        EXPECT_TRUE(shown.contains("Home")) << shown.toStdString();
        EXPECT_TRUE(shown.contains("e2e key")) << shown.toStdString();
        Shot(c, "5-done");
        s5->btnNext->click();

        // Step 6: set up for DDNS and registered.
        auto* s6 = Current<TfrmEsy_ChkDDNS>();
        ASSERT_NE(s6, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return s6->RunningChecks() == 0; }, 30000));
        QTest::qWait(50);
        const QString success = english ? "\t\tSuccess!" : QString::fromUtf8("\t\t\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81");  // 成功！
        EXPECT_TRUE(s6->memResult->toPlainText().endsWith(success)) << s6->memResult->toPlainText().toStdString();
        if (english)
            EXPECT_EQ(s6->lblOK->text(), "The current step has been successful! Click \"Next\" button to continue!");
        EXPECT_EQ(s6->spbChangeDDNS->isHidden(), c.family != 2);
        Shot(c, "6");
        s6->btnNext->click();

        // Step 7: not reachable from outside until the router forwards the camera's port.
        auto* s7 = Current<TfrmEsy_PortForward>();
        ASSERT_NE(s7, nullptr);
        s7->SetPortMapSetup(setup);
        EXPECT_EQ(s7->edIP->text(), c.newIp);
        EXPECT_EQ(s7->edRouterIP->text(), "192.168.7.1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return s7->RunningChecks() == 0; }, 30000));
        QTest::qWait(50);
        EXPECT_TRUE(s7->spbOpenOuter->isHidden());
        Shot(c, "7");
        const int entriesBefore = int(RouterEntries().size());
        s7->SetModalRunner([&](QDialog& d) {
            auto* dlg = qobject_cast<TfrmPortForward*>(&d);
            EXPECT_NE(dlg, nullptr);
            if (!dlg)
                return int(QDialog::Rejected);
            dlg->EnsureRouterList();
            dlg->BitBtn1Click();
            if (dlg->result() == QDialog::Accepted)
                EXPECT_TRUE(Ddns({"account", c.account, "reachable=yes"}));
            return dlg->result();
        });
        s7->BitBtn1Click();
        const QStringList entries = RouterEntries();
        EXPECT_EQ(int(entries.size()), entriesBefore + c.mappings) << entries.join(' ').toStdString();
        EXPECT_TRUE(entries.contains(QStringLiteral("%1:%2").arg(c.newIp).arg(c.newPort))) << entries.join(' ').toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s7->RunningChecks() == 0; }, 30000));
        QTest::qWait(50);
        EXPECT_FALSE(s7->spbOpenOuter->isHidden()) << s7->memResult->toPlainText().toStdString();
        if (english)
            EXPECT_EQ(s7->memResult->toPlainText(), "Checking...\t\tSuccefully");
        Shot(c, "7-done");
        const int camNo = main->CurrentCamera().CurCamNo;
        s7->btnNext->click();

        // Step 8: the ways to the camera.
        auto* s8 = Current<TfrmEsy_SelAccess>();
        ASSERT_NE(s8, nullptr);
        EXPECT_EQ(s8->edLanUrl->text(), lanUrl);
        EXPECT_EQ(s8->edOuterUrl->text(), QStringLiteral("http://%1.example.net").arg(c.account));
        Shot(c, "8");
        s8->btnNext->click();
        EXPECT_EQ(main->CurrentCamera().CurCamNo, camNo + 2);
        EXPECT_NE(Current<TfrmEsy_DevList>(), nullptr);
    }
};

TEST_F(EasyModeLan, EveryFamilyFromTheWelcomePageToStep8)
{
    const QStringList langs = testsupport::ScreenshotLanguages();
    int k = 0;
    for (const TCamera& c : kCameras) {
        // With screenshots wanted, the cameras are set up in the languages in turn.
        if (!langs.isEmpty()) {
            SetLanguage(langs[k++ % langs.size()]);
            main->ReapplyLanguage();
        }
        Walk(c);
        if (HasFatalFailure())
            return;
    }
    // The router dialog says that each mapping was set; nothing else was to be said.
    boxes.removeAll(QString::fromUtf8("The port mapping is set up successfully\xEF\xBC\x81"));
    boxes.removeAll(QString::fromUtf8("\xE7\xAB\xAF\xE5\x8F\xA3\xE6\x98\xA0\xE5\xB0\x84\xE8\xAE\xBE\xE7\xBD\xAE"
                                      "\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81"));  // the same in Chinese
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
}

}  // namespace
