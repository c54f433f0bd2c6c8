// The advanced window against lan-sim's cameras and the stand-in check service in the
// simulated LAN of scripts/simlan (cameras and accounts of advanced.ini): Apply for every
// family with the camera found again at its new values, a refused login, the outer-address
// check with each of the service's answers, the family-4 library's records merged on the
// user-interface thread, and pictures of the window with each family selected. The window is
// the program's own (TfrmMain), offscreen; only message boxes and the login dialog are answered
// by the test, as a user would answer them.

#include "AdvMain.h"
#include "AuthInput.h"
#include "Controls.h"
#include "DeviceList.h"
#include "DiscoveryEngine.h"
#include "IpEdit.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "PortForward.h"
#include "Screenshots.h"
#include "TestDirs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// One command to a control socket; its output, or nothing when it did not end in "ok".
std::optional<QString> Control(const QString& program, const QString& socket, const QStringList& command) {
    QProcess p;
    p.start(program, QStringList{"--ctl", socket} + command);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (!out.contains(QStringLiteral("ok")))
        return std::nullopt;
    return out;
}
std::optional<QString> Cameras(const QStringList& command) {
    return Control(qEnvironmentVariable("SIMLAN_LANSIM"), qEnvironmentVariable("SIMLAN_CONTROL"), command);
}
std::optional<QString> Service(const QStringList& command) {
    return Control(qEnvironmentVariable("SIMLAN_DDNSCHECK"), qEnvironmentVariable("SIMLAN_DDNS_CONTROL"), command);
}

struct TShown {
    QString text;
    int flags;
};

class AdvancedWindow : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmMain> main;
    TfrmAdv_Main* adv = nullptr;
    QList<TShown> shown;
    QString password;  // what the user types into the login dialog
    int logins = 0;

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL") || qEnvironmentVariableIsEmpty("SIMLAN_DDNS_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan with advanced.ini only";
        ASSERT_TRUE(Cameras({"reset", "all"}));
        ASSERT_TRUE(Service({"reset"}));
        // Every address of the simulated subnet answers (the camera namespace holds them all), so
        // the address-in-use warning comes for each new one: the user goes on.
        SetMessageBoxHook([this](const QString& t, const QString&, int f) {
            shown.append({t, f});
            return MB::IDYES;
        });
        StartProgram();
    }
    void StartProgram() {
        main = std::make_unique<TfrmMain>(dirs.Path("program/Config.ini"));
        adv = qobject_cast<TfrmAdv_Main*>(main->Page("TfrmAdv_Main"));
        ASSERT_NE(adv, nullptr);
        adv->SetLoginPrompt([this](TfrmAuthInput& dlg) {
            ++logins;
            dlg.edPwd->setText(password);
            return true;  // OK
        });
        main->lblAdvClick();
        main->show();
    }
    void TearDown() override {
        main.reset();
        SetMessageBoxHook(nullptr);
        SetCurLang("en");
    }

    const TDevInfo* Row(const QString& macHex) const {
        const TDeviceList& list = adv->Devices();
        for (int i = 0; i < list.Count(); ++i)
            if (list.RecordAt(i)->MacHex == macHex)
                return list.RecordAt(i);
        return nullptr;
    }
    // Waits until the camera is listed and test holds for its record; the record, or null.
    const TDevInfo* WaitFor(const QString& macHex, int ms,
                            const std::function<bool(const TDevInfo&)>& test = [](const TDevInfo&) { return true; }) {
        const bool ok = QTest::qWaitFor([&] {
            const TDevInfo* r = Row(macHex);
            return r && test(*r);
        }, ms);
        return ok ? Row(macHex) : nullptr;
    }
    void Select(const QString& macHex) {
        const TDevInfo* r = Row(macHex);
        ASSERT_NE(r, nullptr) << macHex.toStdString();
        adv->ListView->setCurrentIndex(adv->Devices().index(adv->Devices().FindItemByMac(r->Mac), 0));
        ASSERT_EQ(adv->ShownMac(), r->Mac);
    }
    QStringList Errors() const {
        QStringList out;
        const QString inUse = GetResString("IDS_IPINUSE").section(u'%', 0, 0);
        for (const TShown& s : shown)
            if (!s.text.startsWith(inUse))
                out << s.text;
        return out;
    }
};

// Apply for every family through the window, as an expert does it: the camera disappears
// from the list and is found again with the new address, port and name.
TEST_F(AdvancedWindow, ApplyMovesEveryFamilysCameraAndItIsFoundAgain) {
    struct Case {
        const char* id;
        const char* macHex;
        const char* ip;
        int port;
        int dataPort;       // 0: the family shows no data port
        const char* name;   // nullptr: the family carries no name
        const char* password;
    };
    const Case cases[] = {
        {"moi", "001A2B0A0201", "192.168.7.221", 8081, 0, nullptr, "moipw"},
        {"dvs", "001A2B0A0401", "192.168.7.241", 8041, 8011, "Gate 4", "dvspw"},
        {"ctp", "001A2B0A0501", "192.168.7.251", 82, 0, "Garden 5", "ctppw"},
        {"bin8", "001A2B0A0801", "192.168.7.231", 8088, 0, "Door 8", ""},
        {"t9", "001A2B0A0901", "192.168.7.211", 8181, 0, "Porch 9", "t9pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(Cameras({"reset", "all"}));
        shown.clear();
        logins = 0;
        adv->btnFindClick();
        const TDevInfo* found = WaitFor(c.macHex, 5000);
        ASSERT_NE(found, nullptr);
        const TDevInfo before = *found;
        Select(c.macHex);
        adv->edIP->setText(c.ip);
        adv->edPort->setValue(c.port);
        if (c.dataPort) {
            ASSERT_FALSE(adv->edDataPort->isHidden());
            adv->edDataPort->setValue(c.dataPort);
        }
        if (c.name)
            adv->edName->setText(c.name);
        EXPECT_TRUE(adv->btnApply->isEnabled());
        password = c.password;
        adv->btnApplyClick();
        EXPECT_EQ(logins, 1);
        EXPECT_EQ(Errors(), QStringList());
        // Found again, by the search alone, with what was set.
        const TDevInfo* moved = WaitFor(c.macHex, 8000, [&](const TDevInfo& r) {
            return r.IP == c.ip && r.HttpPort == c.port;
        });
        ASSERT_NE(moved, nullptr) << "not found at its new address";
        EXPECT_EQ(moved->Name, c.name ? QString(c.name) : before.Name);
        EXPECT_EQ(moved->Mask, "255.255.255.0");
        EXPECT_EQ(moved->Gateway, before.Gateway);
        if (c.dataPort) {
            EXPECT_EQ(moved->DataPort, c.dataPort);
        }
        const std::optional<QString> state = Cameras({"show", c.id});
        ASSERT_TRUE(state);
        EXPECT_TRUE(state->contains(QStringLiteral("ip = ") + c.ip)) << state->toStdString();
    }
}

// The editor's rules with the cameras as the search finds them: each family's fields, Apply
// enabled by an edit and disabled by another selection, one-key set's proposal for a camera
// straight from the factory, and Cancel at the login leaving the camera listed.
TEST_F(AdvancedWindow, EditorRulesWithFoundCameras) {
    adv->btnFindClick();
    const struct {
        const char* macHex;
        bool modeChoice, dataPort, ddnsPassword, nameEditable;
        QList<int> modes;
    } families[] = {
        {"001A2B0A0201", false, false, false, false, {0, 1, 2}},
        {"001A2B0A0401", true, true, true, true, {0, 1, 2}},
        {"001A2B0A0501", true, false, true, true, {0, 1, 2}},
        {"001A2B0A0801", true, false, true, true, {1, 2}},
        {"001A2B0A0901", true, false, true, true, {1, 2}},
    };
    for (const auto& f : families) {
        SCOPED_TRACE(f.macHex);
        ASSERT_NE(WaitFor(f.macHex, 6000), nullptr);
        Select(f.macHex);
        EXPECT_EQ(adv->cmbIPAss->isHidden(), !f.modeChoice);
        EXPECT_EQ(adv->edDataPort->isHidden(), !f.dataPort);
        EXPECT_EQ(adv->edDDnsPwd->isHidden(), !f.ddnsPassword);
        EXPECT_EQ(adv->edName->isReadOnly(), !f.nameEditable);
        QList<int> modes;
        for (int i = 0; i < adv->cmbIPAss->count(); ++i)
            modes << adv->cmbIPAss->itemData(i).toInt();
        EXPECT_EQ(modes, f.modes);
        EXPECT_FALSE(adv->btnApply->isEnabled());
        adv->edPort->setValue(adv->edPort->value() + 1);
        EXPECT_TRUE(adv->btnApply->isEnabled());
    }
    Select("001A2B0A0501");
    EXPECT_FALSE(adv->btnApply->isEnabled()) << "another camera selected: nothing edited yet";

    // Family 8 hides its data port, but port mapping forwards it too.
    QStringList mapped;
    adv->SetPortMapPrompt([&](TfrmPortForward& dlg) {
        for (const TPortMapRecord& r : dlg.Tables().dsNeed.All())
            mapped << r.IP + ':' + QString::number(r.PrPort);
        return int(QDialog::Rejected);
    });
    Select("001A2B0A0801");
    adv->BtnPortMapClick();
    EXPECT_EQ(mapped, QStringList({"192.168.7.81:80", "192.168.7.81:8000"}));

    // One-key set for the camera at 10.1.1.37, the PC at 192.168.7.10/24.
    ASSERT_NE(WaitFor("001A2B0A0502", 6000), nullptr);
    Select("001A2B0A0502");
    adv->SetLoginPrompt([this](TfrmAuthInput&) {
        ++logins;
        return false;  // Cancel
    });
    shown.clear();
    adv->btnFillClick();
    EXPECT_EQ(adv->edIP->text(), "192.168.7.37");
    EXPECT_EQ(adv->edPort->value(), 82);
    EXPECT_EQ(adv->edDataPort->value(), 555);
    EXPECT_EQ(adv->edSubMask->text(), "255.255.255.0");
    EXPECT_EQ(logins, 1) << "after the proposal, the login";
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown[0].text, GetResString("IDS_AUTOCONFIGIPCAM"));
    const TDevInfo* stays = Row("001A2B0A0502");
    ASSERT_NE(stays, nullptr) << "Cancel leaves the row";
    EXPECT_EQ(stays->IP, "10.1.1.37");
}

// A login the camera refuses: the camera stays where it was, and the user is told.
TEST_F(AdvancedWindow, ARefusedLoginLeavesTheCameraAndSaysSo) {
    adv->btnFindClick();
    ASSERT_NE(WaitFor("001A2B0A0901", 5000), nullptr);
    Select("001A2B0A0901");
    adv->edIP->setText("192.168.7.212");
    password = "wrong";
    adv->btnApplyClick();
    EXPECT_EQ(Errors(), QStringList{GetResString("IDS_ERRACCESS")});
    EXPECT_NE(Row("001A2B0A0901"), nullptr) << "the row stays";
    QTest::qWait(1500);  // two search passes
    const TDevInfo* still = Row("001A2B0A0901");
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still->IP, "192.168.7.91");
}

// The outer-address check asks the stand-in service at "user" + the outer address's domain:
// each account gives its answer, and so do the answers the service is told to give.
TEST_F(AdvancedWindow, OuterCheckReportsEachAnswerOfTheService) {
    adv->btnFindClick();
    struct Case {
        const char* macHex;
        const char* outer;
        QString message;
    };
    const Case cases[] = {
        {"001A2B0A0201", "http://hall01.example.net", GetResString("IDS_CHECKNORM")},
        {"001A2B0A0501", "http://garden51.example.net", GetResString("IDS_NOREG")},
        {"001A2B0A0801", "http://door81.example.net", GetResString("IDS_ERRPWD")},
        {"001A2B0A0901", "http://porch91.example.net", GetResString("IDS_NOID")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.macHex);
        // Family 8 gives its DDNS values in a later answer.
        ASSERT_NE(WaitFor(c.macHex, 5000, [](const TDevInfo& r) { return !r.DdnsUser.isEmpty(); }), nullptr);
        Select(c.macHex);
        EXPECT_EQ(adv->edOuterUrl->text(), c.outer);
        ASSERT_TRUE(adv->spbCheckOuterUrl->isEnabled());
        shown.clear();
        adv->spbCheckOuterUrlClick();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, c.message);
        EXPECT_EQ(shown[0].flags, MB::ICONINFORMATION);
    }
    const std::optional<QString> log = Service({"log"});
    ASSERT_TRUE(log);
    EXPECT_TRUE(log->contains("user.example.net")) << log->toStdString();
    EXPECT_TRUE(log->contains("/func/getremote.asp?id=hall01")) << log->toStdString();
    EXPECT_TRUE(log->contains("/api/checkauth.asp?id=garden51&pwd=secret51")) << log->toStdString();

    // Answers the service does not know, and none at all.
    ASSERT_TRUE(WaitFor("001A2B0A0201", 3000));
    Select("001A2B0A0201");
    const struct {
        QStringList answer;
        QString message;
    } answers[] = {
        {{"text:<b>busy</b>"}, GetResString("IDS_UNKNOWERR") + "<b>busy</b>"},
        {{"text:0IDS_SERVER_MAINTENANCE"}, GetResString("IDS_UNKNOWERR") + "IDS_SERVER_MAINTENANCE"},
        {{"empty"}, GetResString("IDS_UNKNOWERR")},
        {{"close"}, GetResString("IDS_CANNOTCONNECTSERVER")},
    };
    for (const auto& a : answers) {
        ASSERT_TRUE(Service(QStringList{"set", "hall01", "getremote"} + a.answer));
        shown.clear();
        adv->spbCheckOuterUrlClick();
        ASSERT_EQ(shown.size(), 1) << a.answer.join(' ').toStdString();
        EXPECT_EQ(shown[0].text, a.message) << a.answer.join(' ').toStdString();
    }
}

// The family-4 library reports from a thread of its own; the record is merged on the
// user-interface thread, and the first camera found is selected and shown.
TEST_F(AdvancedWindow, LibraryCamerasAreMergedSelectedAndShown) {
    // The program starts anew with only the family-4 camera answering: no reply of another
    // camera can still be on its way.
    main.reset();
    ASSERT_TRUE(Cameras({"stop", "all"}));
    ASSERT_TRUE(Cameras({"start", "dvs"}));
    StartProgram();
    adv->btnFindClick();
    const TDevInfo* dvs = WaitFor("001A2B0A0401", 6000);
    ASSERT_NE(dvs, nullptr);
    EXPECT_EQ(adv->Devices().Count(), 1);
    EXPECT_TRUE(adv->ListView->selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_EQ(adv->ShownMac(), dvs->Mac);
    EXPECT_EQ(adv->edName->text(), "Adv DVS");
    EXPECT_FALSE(adv->edDataPort->isHidden());
    EXPECT_EQ(adv->edDataPort->value(), 8001);
    EXPECT_EQ(adv->lblDevNum->text(), GetResString("IDS_DEVCOUNT") + "1");
    EXPECT_TRUE(adv->plInfo->isHidden());
}

// Pictures of the window with each family's camera selected, as found on the LAN.
TEST_F(AdvancedWindow, PicturesWithEachFamilySelected) {
    if (!testsupport::TakingScreenshots())
        GTEST_SKIP() << "IPCAM_SCREENSHOTS names no folder";
    adv->btnFindClick();
    const std::pair<int, const char*> cameras[] = {
        {2, "001A2B0A0201"}, {4, "001A2B0A0401"}, {5, "001A2B0A0501"}, {8, "001A2B0A0801"}, {9, "001A2B0A0901"}};
    for (const auto& [family, macHex] : cameras)
        ASSERT_NE(WaitFor(macHex, 6000), nullptr) << macHex;
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        for (const auto& [family, macHex] : cameras) {
            Select(macHex);
            QCoreApplication::processEvents();
            testsupport::SaveScreenshot(main.get(), QStringLiteral("TfrmAdv_Main-simlan-family%1").arg(family));
        }
    }
}

}  // namespace

namespace {

// The same window with an ONVIF camera (advanced-onvif.ini): its editor rules, and Apply
// through the login dialog readdresses it over its device service.
class AdvancedWindowOnvif : public AdvancedWindow {
protected:
    const TDevInfo* OnvifRow(const std::function<bool(const TDevInfo&)>& test, int ms) const {
        const TDevInfo* found = nullptr;
        (void)QTest::qWaitFor([&] {
            const TDevInfo* r = nullptr;
            for (int i = 0; i < adv->Devices().Count() && !r; ++i) {
                if (adv->Devices().RecordAt(i)->Family == 10)
                    r = adv->Devices().RecordAt(i);
            }
            found = r && test(*r) ? r : nullptr;
            return found != nullptr;
        }, ms);
        return found;
    }
};

TEST_F(AdvancedWindowOnvif, ApplyReaddressesTheCameraThroughItsDeviceService) {
    adv->btnFindClick();
    const TDevInfo* found = OnvifRow([](const TDevInfo& r) { return r.IP == "192.168.7.85"; }, 8000);
    ASSERT_NE(found, nullptr);
    const QString macHex = found->MacHex;
    Select(macHex);
    // What the device service does not set is not offered.
    EXPECT_TRUE(adv->edName->isReadOnly());
    EXPECT_TRUE(adv->edDataPort->isHidden());
    EXPECT_TRUE(adv->edDDnsPwd->isHidden());
    EXPECT_EQ(adv->cmbIPAss->count(), 2) << "DHCP and static, no PPPoE";
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        Select(macHex);
        QCoreApplication::processEvents();
        testsupport::SaveScreenshot(main.get(), QStringLiteral("TfrmAdv_Main-simlan-family10"));
    }
    SetLanguage("en");
    main->ReapplyLanguage();

    // A refused login: nothing changes, the user is told.
    adv->edIP->setText("192.168.7.96");
    password = "wrong";
    adv->btnApplyClick();
    EXPECT_EQ(Errors(), QStringList{GetResString("IDS_ERRACCESS")});
    EXPECT_TRUE(Cameras({"show", "onvif-porch"})->contains("\nip = 192.168.7.85\n"));
    EXPECT_TRUE(Cameras({"show", "onvif-porch"})->contains("\nchanges = 0\n"));

    shown.clear();
    logins = 0;
    Select(macHex);
    adv->edIP->setText("192.168.7.95");
    password = "porch-pw";
    adv->btnApplyClick();
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(Errors(), QStringList());
    // Found again under the same key at its new address.
    EXPECT_NE(WaitFor(macHex, 8000, [](const TDevInfo& r) { return r.IP == "192.168.7.95"; }), nullptr);
    const std::optional<QString> state = Cameras({"show", "onvif-porch"});
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->contains("\nip = 192.168.7.95\n")) << state->toStdString();
    // The mask and gateway the search record lacked stay the camera's; the window's DNS
    // servers go as for every family.
    EXPECT_TRUE(state->contains("\nmask = 255.255.255.0\n")) << state->toStdString();
    EXPECT_TRUE(state->contains("\ngateway = 192.168.7.1\n")) << state->toStdString();
    EXPECT_TRUE(state->contains("\ndns1 = 8.8.8.8\n")) << state->toStdString();
    EXPECT_TRUE(state->contains("\ndns2 = 208.67.222.222\n")) << state->toStdString();
}

}  // namespace
