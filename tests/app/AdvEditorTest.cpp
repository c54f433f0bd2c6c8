// The editor of the advanced window, offscreen: what it shows per family, when Apply is
// enabled, the checks before a command goes out (port, address, address in use, login), one-key
// set, the outer address, opening addresses, port mapping and the firmware upgrade procedure.
// Cameras are merged into the list by hand; the commands themselves are tested end to end
// against simulated cameras (tests/e2e/AdvancedWindowTest.cpp). The test's namespace has one
// adapter, v0 10.77.0.1/24, without a gateway.

#include "AdvMain.h"
#include "AuthInput.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "DiscoveryEngine.h"
#include "IpEdit.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "OpenAddress.h"
#include "PortForward.h"
#include "Screenshots.h"
#include "TestDirs.h"
#include "UpgradeSoft.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

struct Shown {
    QString text;
    QString title;
    int flags;
};

// A camera of family f in the test's subnet, with DDNS values.
TDevInfo Camera(int f, int host = 0, quint8 mode = kAddrStatic) {
    TDevInfo d;
    d.Family = f;
    d.Mac = QStringLiteral("001A2B00%1%2").arg(f, 2, 10, QLatin1Char('0')).arg(host, 2, 10, QLatin1Char('0'));
    d.MacHex = d.Mac;
    d.SN = QStringLiteral("0102030405060%1").arg(f);
    d.Name = QStringLiteral("Cam %1").arg(f);
    d.Version = QStringLiteral("V1.%1").arg(f);
    d.IP = QStringLiteral("10.77.0.%1").arg(100 + 10 * f + host);
    d.Mask = QStringLiteral("255.255.255.0");
    d.Gateway = QStringLiteral("10.77.0.254");
    d.Dns1 = QStringLiteral("10.77.0.254");
    d.HttpPort = 8080;
    d.DataPort = 8000 + quint16(f);
    d.AddrMode = mode;
    d.DdnsServer = QStringLiteral("ddns.example.net:808");
    d.DdnsUser = QStringLiteral("cam%1").arg(f);
    d.DdnsPwd = QStringLiteral("pw%1").arg(f);
    return d;
}

QList<int> ModeValues(const QComboBox* c) {
    QList<int> v;
    for (int i = 0; i < c->count(); ++i)
        v << c->itemData(i).toInt();
    return v;
}

class AdvEditor : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    QList<Shown> shown;
    // The answer to each message box; Yes unless a test says otherwise.
    std::function<int(const QString& text)> answer = [](const QString&) { return MB::IDYES; };
    QStringList opened;
    std::unique_ptr<TfrmMain> main;
    TfrmAdv_Main* adv = nullptr;
    // What the login dialog was opened with, and what it answers.
    struct Login {
        int family;
        QString user, password, tip;
    };
    QList<Login> logins;
    std::function<bool(TfrmAuthInput&)> onLogin = [](TfrmAuthInput&) { return false; };
    QStringList probed;
    bool probeAnswer = false;

    void SetUp() override {
        SetMessageBoxHook([this](const QString& t, const QString& ti, int f) {
            shown.append({t, ti, f});
            return answer(t);
        });
        SetAddressOpener([this](const QString& a) { opened.append(a); });
        WriteBytes(dirs.Path("program/Config.ini"), "[Setup]\r\nDdnsDomain=dyn.example.org\r\n");
        main = std::make_unique<TfrmMain>(dirs.Path("program/Config.ini"));
        adv = qobject_cast<TfrmAdv_Main*>(main->Page("TfrmAdv_Main"));
        ASSERT_NE(adv, nullptr);
        adv->SetLoginPrompt([this](TfrmAuthInput& dlg) {
            logins.append({dlg.Family(), dlg.edUser->text(), dlg.edPwd->text(), dlg.lblTip->text()});
            return onLogin(dlg);
        });
        adv->SetAddressProber([this](const QString& a) {
            probed.append(a);
            return probeAnswer;
        });
        main->lblAdvClick();
        main->show();
        ASSERT_EQ(main->CurrentPage(), adv);
    }
    void TearDown() override {
        main.reset();
        SetMessageBoxHook(nullptr);
        SetAddressOpener(nullptr);
        SetCurLang("en");
    }
    void Add(const TDevInfo& d) { adv->Engine().DeliverRecord(d); }
    void Select(const QString& mac) {
        const int row = adv->Devices().FindItemByMac(mac);
        ASSERT_GE(row, 0) << mac.toStdString();
        adv->ListView->setCurrentIndex(adv->Devices().index(row, 0));
        ASSERT_EQ(adv->ShownMac(), mac);
    }
    QStringList Texts() const {
        QStringList t;
        for (const Shown& s : shown)
            t << s.text;
        return t;
    }
};

// What the editor shows and offers for a camera of each family.
TEST_F(AdvEditor, FollowsTheFamilyOfTheSelectedCamera) {
    adv->SetUpgradeDialog([](const TUpgradeRequest&) { return false; });
    struct Case {
        int family;
        quint8 mode;
        bool nameReadOnly;
        bool modeChoice;
        QList<int> modes;
        bool dataPort;
        bool ddnsPassword;
        bool upgrade;
    };
    const Case cases[] = {
        {2, kAddrStatic, true, false, {0, 1, 2}, false, false, true},
        {4, kAddrDhcp, false, true, {0, 1, 2}, true, true, false},
        {5, kAddrStatic, false, true, {0, 1, 2}, false, true, true},
        {8, kAddrDhcp, false, true, {1, 2}, false, true, true},
        {9, kAddrStatic, false, true, {1, 2}, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        TDevInfo d = Camera(c.family, 0, c.mode);
        d.Mac = QStringLiteral("001A2B 0%1").arg(c.family);  // a blank reads as "0" in the MAC field
        Add(d);
        Select(d.Mac);
        EXPECT_EQ(adv->edName->text(), d.Name);
        EXPECT_EQ(adv->edName->isReadOnly(), c.nameReadOnly);
        EXPECT_EQ(adv->edName->palette().color(QPalette::Base),
                  QApplication::palette().color(c.nameReadOnly ? QPalette::Button : QPalette::Base));
        EXPECT_EQ(adv->cmbIPAss->isHidden(), !c.modeChoice);
        EXPECT_EQ(adv->Label4->isHidden(), !c.modeChoice);
        EXPECT_EQ(ModeValues(adv->cmbIPAss), c.modes);
        EXPECT_EQ(adv->cmbIPAss->currentData().toInt(), c.mode) << "the record's own mode is selected";
        EXPECT_EQ(adv->edDataPort->isHidden(), !c.dataPort);
        EXPECT_EQ(adv->lblDataPort->isHidden(), !c.dataPort);
        EXPECT_EQ(adv->edDataPort->value(), d.DataPort);
        EXPECT_EQ(adv->edDDnsPwd->isHidden(), !c.ddnsPassword);
        EXPECT_EQ(adv->Label2->isHidden(), !c.ddnsPassword);
        EXPECT_EQ(adv->btnUpgrade->isHidden(), !c.upgrade);
        // DHCP shows the address read-only; only static lets it be edited.
        EXPECT_FALSE(adv->edIP->isHidden());
        EXPECT_EQ(adv->edIP->isReadOnly(), c.mode != kAddrStatic);
        EXPECT_EQ(adv->edGateway->isReadOnly(), c.mode != kAddrStatic);
        EXPECT_EQ(adv->edIP->text(), d.IP);
        EXPECT_EQ(adv->edSubMask->text(), "255.255.255.0");
        EXPECT_EQ(adv->edGateway->text(), "10.77.0.254");
        EXPECT_EQ(adv->edPort->value(), 8080);
        EXPECT_EQ(adv->edUrl->text(), "http://" + d.IP + ":8080");
        EXPECT_EQ(adv->edOuterUrl->text(), QStringLiteral("http://cam%1.example.net").arg(c.family));
        EXPECT_EQ(adv->lblMac->text(), QStringLiteral("001A2B00%1").arg(c.family));
        EXPECT_EQ(adv->edVersion->text(), d.Version);
        EXPECT_EQ(adv->edDDnsPwd->text(), d.DdnsPwd);
        EXPECT_FALSE(adv->btnApply->isEnabled());
        EXPECT_TRUE(adv->btnFill->isEnabled());
        EXPECT_TRUE(adv->BtnPortMap->isEnabled());
        for (const QString& lang : testsupport::ScreenshotLanguages()) {
            SetLanguage(lang);
            main->ReapplyLanguage();
            QCoreApplication::processEvents();
            adv->PageControl->setCurrentWidget(adv->tabBase);
            testsupport::SaveScreenshot(main.get(), QStringLiteral("TfrmAdv_Main-family%1").arg(c.family));
            adv->PageControl->setCurrentWidget(adv->tabOther);
            testsupport::SaveScreenshot(main.get(), QStringLiteral("TfrmAdv_Main-family%1-other").arg(c.family));
            adv->PageControl->setCurrentWidget(adv->tabBase);
        }
        SetLanguage("en");
        main->ReapplyLanguage();
    }
    // Without an upgrade dialog to open, there is no upgrade button.
    adv->SetUpgradeDialog(nullptr);
    EXPECT_TRUE(adv->btnUpgrade->isHidden());
    // PPPoE hides the address fields.
    TDevInfo dial = Camera(5, 1, kAddrPppoe);
    Add(dial);
    Select(dial.Mac);
    EXPECT_TRUE(adv->edIP->isHidden());
    EXPECT_TRUE(adv->lblSubmask->isHidden());
    EXPECT_TRUE(adv->edGateway->isHidden());
}

TEST_F(AdvEditor, WithoutASelectionTheEditorIsEmptyAndDisabled) {
    EXPECT_TRUE(adv->ShownMac().isEmpty());
    EXPECT_FALSE(adv->edName->isEnabled());
    EXPECT_FALSE(adv->btnApply->isEnabled());
    EXPECT_FALSE(adv->btnFill->isEnabled());
    EXPECT_FALSE(adv->BtnPortMap->isEnabled());
    EXPECT_EQ(adv->edIP->text(), "0.0.0.0");
    Add(Camera(5));
    EXPECT_EQ(adv->ShownMac(), Camera(5).Mac) << "the first camera is selected and shown";
    EXPECT_TRUE(adv->edName->isEnabled());
    adv->btnFindClick();  // the list empties: so does the editor
    EXPECT_TRUE(adv->ShownMac().isEmpty());
    EXPECT_TRUE(adv->edName->text().isEmpty());
    EXPECT_TRUE(adv->edOuterUrl->text().isEmpty());
    EXPECT_EQ(adv->edGateway->text(), "0.0.0.0");
    EXPECT_FALSE(adv->edName->isEnabled());
}

TEST_F(AdvEditor, ApplyIsEnabledByEditsAndNotBySelecting) {
    const TDevInfo a = Camera(5, 1), b = Camera(9, 2);
    Add(a);
    Add(b);
    Select(a.Mac);
    EXPECT_FALSE(adv->btnApply->isEnabled());
    adv->edPort->setValue(8081);
    EXPECT_TRUE(adv->btnApply->isEnabled());
    Select(b.Mac);
    EXPECT_FALSE(adv->btnApply->isEnabled()) << "another camera disables it again";
    EXPECT_EQ(adv->edPort->value(), 8080);
    QTest::keyClick(adv->edPort, Qt::Key_Home);
    EXPECT_EQ(adv->edPort->value(), 8080);
    EXPECT_TRUE(adv->btnApply->isEnabled()) << "any key in the port field";
    Select(a.Mac);
    adv->edIP->SetOctet(3, 77);
    EXPECT_TRUE(adv->btnApply->isEnabled());
    Select(b.Mac);
    adv->cmbIPAss->setCurrentIndex(adv->cmbIPAss->findData(int(kAddrDhcp)));
    EXPECT_TRUE(adv->btnApply->isEnabled()) << "a change of the address mode";

    // A reply that changes another camera leaves what is being typed; one that changes the
    // camera shown fills the editor anew.
    Select(a.Mac);
    adv->edIP->SetOctet(3, 88);
    TDevInfo moved = b;
    moved.IP = "10.77.0.201";
    Add(moved);
    EXPECT_EQ(adv->edIP->Octet(3), 88);
    EXPECT_TRUE(adv->btnApply->isEnabled());
    TDevInfo renamed = a;
    renamed.Name = "Renamed";
    Add(renamed);
    EXPECT_EQ(adv->edName->text(), "Renamed");
    EXPECT_EQ(adv->edIP->text(), a.IP);
    EXPECT_FALSE(adv->btnApply->isEnabled());
}

// The checks before the login dialog: nothing at all for a host number 0 or 255, the port
// message for a missing port.
TEST_F(AdvEditor, ApplyChecksTheHostNumberAndThePortFirst) {
    const TDevInfo cam = Camera(5);
    Add(cam);
    Select(cam.Mac);
    for (int host : {0, 255}) {
        adv->edIP->SetOctet(3, host);
        adv->btnApplyClick();
    }
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_TRUE(logins.isEmpty());
    adv->edIP->SetOctet(3, 254);
    adv->edPort->findChild<QLineEdit*>()->clear();
    adv->btnApplyClick();
    ASSERT_EQ(Texts(), QStringList{"Please input HTTP port."});
    EXPECT_EQ(shown[0].title, "Warning");
    EXPECT_EQ(shown[0].flags, MB::ICONWARNING);
    adv->edPort->setValue(0);
    adv->btnApplyClick();
    EXPECT_EQ(shown.size(), 2) << "port 0 is no port either";
    EXPECT_TRUE(logins.isEmpty());
    EXPECT_EQ(adv->Devices().FindItemByMac(cam.Mac), 0);
}

// The login dialog before each family's command: user "admin", the family's password preset,
// family 5's default-account hint. Cancel leaves the camera in the list.
TEST_F(AdvEditor, ApplyAsksTheLoginWithTheFamilysPresetsAndCancelLeavesTheRow) {
    const struct {
        int family;
        const char* password;
        const char* tip;
    } cases[] = {
        {2, "", "Default username is \"admin\", password is blank."},
        {4, "qelvo", "Default username is \"admin\", password is blank."},
        {5, "qelvo", "Default username is \"admin\", password is \"qelvo\"."},
        {8, "", "Default username is \"admin\", password is blank."},
        {9, "", "Default username is \"admin\", password is blank."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        logins.clear();
        const TDevInfo cam = Camera(c.family);
        Add(cam);
        Select(cam.Mac);
        adv->btnApplyClick();
        ASSERT_EQ(logins.size(), 1);
        EXPECT_EQ(logins[0].family, c.family);
        EXPECT_EQ(logins[0].user, "admin");
        EXPECT_EQ(logins[0].password, c.password);
        EXPECT_EQ(logins[0].tip, c.tip);
        EXPECT_GE(adv->Devices().FindItemByMac(cam.Mac), 0) << "cancelled: the row stays";
    }
    // A family without a command asks nothing and sends nothing.
    logins.clear();
    TDevInfo old = Camera(3);
    Add(old);
    Select(old.Mac);
    adv->btnApplyClick();
    EXPECT_TRUE(logins.isEmpty());
    EXPECT_TRUE(shown.isEmpty());
}

// A refused command is reported, and the row stays (the family-4 library is not installed here,
// so its configure call is refused).
TEST_F(AdvEditor, ARefusedCommandIsReported) {
    onLogin = [](TfrmAuthInput&) { return true; };
    const TDevInfo cam = Camera(4);
    Add(cam);
    Select(cam.Mac);
    adv->btnApplyClick();
    EXPECT_EQ(Texts(), QStringList{GetResString("IDS_ERRACCESS")});
    EXPECT_EQ(shown.value(0).flags, MB::ICONERROR);
    EXPECT_GE(adv->Devices().FindItemByMac(cam.Mac), 0);
}

TEST_F(AdvEditor, OneKeySetProposesTheAddressInThePcsNetwork) {
    TDevInfo cam = Camera(5);
    cam.IP = "10.1.1.37";
    cam.Mask = "255.0.0.0";
    cam.Gateway = "10.1.1.1";
    Add(cam);
    Select(cam.Mac);
    adv->btnFillClick();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Sure to configurate the camera according to current computer configuration?");
    EXPECT_EQ(shown[0].title, "Confirmation");
    EXPECT_EQ(shown[0].flags, MB::YESNO | MB::ICONQUESTION);
    EXPECT_EQ(adv->edIP->text(), "10.77.0.37") << "the PC's network, the camera's host number";
    EXPECT_EQ(adv->edPort->value(), 82);
    EXPECT_EQ(adv->edDataPort->value(), 555);
    EXPECT_EQ(adv->edSubMask->text(), "255.255.255.0");
    EXPECT_EQ(adv->edGateway->text(), "0.0.0.0") << "the adapter names no gateway";
    EXPECT_EQ(probed, QStringList{"10.77.0.37"}) << "an address in the PC's network is probed";
    ASSERT_EQ(logins.size(), 1) << "and then the login is asked";
    EXPECT_EQ(adv->Devices().FindItemByMac(cam.Mac), 0) << "cancelled: the row stays";

    // No at the question changes nothing.
    adv->RefreshDetails();
    answer = [](const QString&) { return MB::IDNO; };
    adv->btnFillClick();
    EXPECT_EQ(adv->edIP->text(), "10.1.1.37");
    EXPECT_EQ(logins.size(), 1);
}

TEST_F(AdvEditor, OneKeySetWantsAStaticAddress) {
    const TDevInfo cam = Camera(5, 0, kAddrDhcp);
    Add(cam);
    Select(cam.Mac);
    adv->btnFillClick();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Please choose \"Static IP Address\" for the network first.");
    EXPECT_EQ(shown[0].title, "Information");
    EXPECT_EQ(shown[0].flags, MB::ICONWARNING);
    EXPECT_EQ(adv->edIP->text(), cam.IP);
    EXPECT_TRUE(logins.isEmpty());
}

// Before a camera takes a fixed address: another listed camera there, or a device that answers
// there, is warned about; the user goes on or goes back.
TEST_F(AdvEditor, AnAddressInUseIsWarnedAbout) {
    const TDevInfo a = Camera(5, 1), b = Camera(9, 2);
    Add(a);
    Add(b);
    Select(a.Mac);
    const QString warning =
        "The address " + b.IP + " is already in use on the LAN, by another camera or another device.\r\n\r\n"
        "Two devices with the same address cannot both be reached. Use this address anyway?";

    adv->edIP->setText(b.IP);
    answer = [](const QString&) { return MB::IDNO; };
    adv->btnApplyClick();
    ASSERT_EQ(Texts(), QStringList{warning});
    EXPECT_EQ(shown[0].title, "Warning");
    EXPECT_EQ(shown[0].flags, MB::YESNO | MB::ICONWARNING | MB::DEFBUTTON2);
    EXPECT_TRUE(logins.isEmpty()) << "No goes back to the editor";
    EXPECT_TRUE(probed.isEmpty()) << "a listed camera needs no probe";
    EXPECT_EQ(adv->edIP->text(), b.IP);

    answer = [](const QString&) { return MB::IDYES; };
    adv->btnApplyClick();
    EXPECT_EQ(logins.size(), 1) << "Yes goes on";

    // Unlisted: the probe decides; outside the PC's networks nothing is asked.
    shown.clear();
    logins.clear();
    probeAnswer = true;
    adv->edIP->setText("10.77.0.99");
    answer = [](const QString&) { return MB::IDNO; };
    adv->btnApplyClick();
    EXPECT_EQ(probed, QStringList{"10.77.0.99"});
    EXPECT_EQ(shown.size(), 1);
    EXPECT_TRUE(logins.isEmpty());
    probed.clear();
    shown.clear();
    adv->edIP->setText("192.168.50.5");
    adv->btnApplyClick();
    EXPECT_TRUE(probed.isEmpty());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(logins.size(), 1);

    // The camera's own address, and DHCP, are no change that could clash.
    logins.clear();
    adv->edIP->setText(a.IP);
    adv->btnApplyClick();
    adv->cmbIPAss->setCurrentIndex(adv->cmbIPAss->findData(int(kAddrDhcp)));
    adv->btnApplyClick();
    EXPECT_TRUE(probed.isEmpty());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(logins.size(), 2);
}

// The real probe: the PC's own address answers, an empty address of its network does not.
TEST_F(AdvEditor, TheAddressProbeFindsThePcItself) {
    adv->SetAddressProber(nullptr);  // the window's own probe
    const TDevInfo cam = Camera(5);
    Add(cam);
    Select(cam.Mac);
    answer = [](const QString&) { return MB::IDNO; };
    adv->edIP->setText("10.77.0.1");
    adv->btnApplyClick();
    EXPECT_EQ(shown.size(), 1);
    EXPECT_TRUE(logins.isEmpty());
    adv->edIP->setText("10.77.0.213");
    adv->btnApplyClick();
    EXPECT_EQ(shown.size(), 1) << "nothing answers there";
    EXPECT_EQ(logins.size(), 1);
}

TEST_F(AdvEditor, OuterAddressFromTheDdnsValues) {
    struct Case {
        const char* server;
        const char* user;
        const char* url;
    };
    const Case cases[] = {
        {"ddns.example.net:808", "garden", "http://garden.example.net"},
        {"ddns.example.net", "garden", "http://garden.example.net"},
        {"ddnsserver", "garden", "http://garden.dyn.example.org"},  // Config.ini's domain
        {"", "garden", ""},
        {"ddns.example.net", "", ""},
    };
    int host = 0;
    for (const Case& c : cases) {
        TDevInfo d = Camera(5, ++host);
        d.DdnsServer = c.server;
        d.DdnsUser = c.user;
        Add(d);
        Select(d.Mac);
        EXPECT_EQ(adv->edOuterUrl->text(), c.url) << c.server;
        const bool has = !QString(c.url).isEmpty();
        EXPECT_EQ(adv->spbOpenOuterUrl->isEnabled(), has) << c.server;
        EXPECT_EQ(adv->spbCheckOuterUrl->isEnabled(), has) << c.server;
        EXPECT_EQ(adv->Label6->isEnabled(), has) << c.server;
    }

    // DDNS values that come later (family 8's third answer) rebuild the address alone.
    TDevInfo late = Camera(8, 9);
    late.DdnsServer.clear();
    late.DdnsUser.clear();
    late.DdnsPwd.clear();
    Add(late);
    Select(late.Mac);
    adv->edPort->setValue(8099);
    EXPECT_TRUE(adv->edOuterUrl->text().isEmpty());
    TDevInfo ddns = late;
    ddns.DdnsServer = "ddns.example.net:808";
    ddns.DdnsUser = "door81";
    ddns.DdnsPwd = "pw81";
    Add(ddns);
    EXPECT_EQ(adv->edOuterUrl->text(), "http://door81.example.net");
    EXPECT_TRUE(adv->spbCheckOuterUrl->isEnabled());
    EXPECT_EQ(adv->edDDnsPwd->text(), "pw81");
    EXPECT_EQ(adv->edPort->value(), 8099) << "what was typed stays";
    EXPECT_TRUE(adv->btnApply->isEnabled());
}

TEST_F(AdvEditor, OpeningTheAddresses) {
    TDevInfo d = Camera(9);
    d.HttpPort = 80;
    Add(d);
    Select(d.Mac);
    adv->spbOpenClick();
    adv->spbOpenOuterUrlClick();
    EXPECT_EQ(opened, QStringList({"http://" + d.IP, "http://cam9.example.net"}));
    // A double click refreshes the editor from the row and opens the inner address.
    adv->edPort->setValue(1234);
    opened.clear();
    adv->ListViewDblClick();
    EXPECT_EQ(opened, QStringList{"http://" + d.IP});
    EXPECT_EQ(adv->edPort->value(), 80);
    // Empty addresses open nothing.
    adv->btnFindClick();
    opened.clear();
    adv->spbOpenClick();
    adv->spbOpenOuterUrlClick();
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(AdvEditor, PortMappingAsksForTheCameraPorts) {
    struct Seen {
        QString router;
        QStringList mappings;
    };
    QList<Seen> seen;
    adv->SetPortMapPrompt([&](TfrmPortForward& dlg) {
        Seen s{dlg.RouterIP, {}};
        for (const TPortMapRecord& r : dlg.Tables().dsNeed.All())
            s.mappings << r.IP + ':' + QString::number(r.PrPort) + '/' + r.Protocol;
        seen.append(s);
        return int(QDialog::Rejected);
    });
    for (int family : {5, 8, 4}) {
        const TDevInfo d = Camera(family);
        Add(d);
        Select(d.Mac);
        adv->edGateway->setText("10.77.0.1");
        adv->edPort->setValue(81);
        adv->BtnPortMapClick();
    }
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0].router, "10.77.0.1");
    EXPECT_EQ(seen[0].mappings, QStringList{"10.77.0.150:81/TCP"});
    EXPECT_EQ(seen[1].mappings, QStringList({"10.77.0.180:81/TCP", "10.77.0.180:8008/TCP"}))
        << "family 8 maps its data port too, hidden as it is";
    EXPECT_EQ(seen[2].mappings, QStringList{"10.77.0.140:81/TCP"});
}

// Without a dialog of the test's own, the upgrade button opens the upgrade dialog, modally,
// with the camera's address, device port, login and row.
TEST_F(AdvEditor, TheUpgradeButtonOpensTheUpgradeDialogWithTheCamera) {
    onLogin = [](TfrmAuthInput& dlg) {
        dlg.edUser->setText("admin");
        dlg.edPwd->setText("secret");
        return true;
    };
    TDevInfo cam = Camera(9);
    Add(cam);
    Select(cam.Mac);
    ASSERT_FALSE(adv->btnUpgrade->isHidden());
    struct Seen {
        bool modal = false;
        qint32 family = 0, port = 0;
        QString ip, user, password, rowMac;
    };
    std::optional<Seen> seen;
    QTimer::singleShot(0, adv, [&] {
        auto* dlg = qobject_cast<TfrmUpgradeSoft*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        seen = Seen{dlg->isModal(), dlg->DevFamily, dlg->DevPort, dlg->DevIP, dlg->DevUser,
                    dlg->DevPwd, dlg->DevRecord ? dlg->DevRecord->Mac : QString()};
        dlg->BitBtn3->click();  // exit
    });
    adv->btnUpgradeClick();
    ASSERT_TRUE(seen) << "no upgrade dialog was open";
    EXPECT_TRUE(seen->modal);
    EXPECT_EQ(seen->family, 9);
    EXPECT_EQ(seen->ip, cam.IP);
    EXPECT_EQ(seen->port, cam.HttpPort);
    EXPECT_EQ(seen->user, "admin");
    EXPECT_EQ(seen->password, "secret");
    EXPECT_EQ(seen->rowMac, cam.Mac);
    EXPECT_EQ(adv->Devices().Count(), 1) << "left without an upgrade: the row stays";
    EXPECT_TRUE(adv->Engine().Running());
}

// The firmware upgrade: login with the family's preset, the search paused while the dialog is
// open, everything restored whatever happens, the row dropped and searched for after success.
TEST_F(AdvEditor, UpgradeRunsWithTheSearchPaused) {
    QList<TUpgradeRequest> requests;
    bool timerDuring = true, buttonDuring = true;
    std::function<bool()> outcome = [] { return false; };
    adv->SetUpgradeDialog([&](const TUpgradeRequest& r) {
        requests.append(r);
        timerDuring = adv->Engine().Running();
        buttonDuring = adv->btnUpgrade->isEnabled();
        return outcome();
    });
    onLogin = [](TfrmAuthInput& dlg) {
        dlg.edUser->setText(" admin ");
        dlg.edPwd->setText(" secret ");
        return true;
    };
    TDevInfo cam = Camera(5);
    Add(cam);
    Select(cam.Mac);
    adv->btnUpgradeClick();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(logins.value(0).password, "qelvo");
    EXPECT_EQ(logins.value(0).family, 5);
    EXPECT_EQ(requests[0].Family, 5);
    EXPECT_EQ(requests[0].IP, cam.IP);
    EXPECT_EQ(requests[0].Port, 8080);
    EXPECT_EQ(requests[0].User, "admin");
    EXPECT_EQ(requests[0].Password, "secret");
    EXPECT_FALSE(timerDuring);
    EXPECT_FALSE(buttonDuring);
    EXPECT_TRUE(adv->Engine().Running());
    EXPECT_TRUE(adv->btnUpgrade->isEnabled());
    EXPECT_EQ(adv->Devices().Count(), 1) << "no success: the row stays";

    // An error inside the dialog restores the same.
    outcome = []() -> bool { throw std::runtime_error("dialog failed"); };
    adv->btnUpgradeClick();
    EXPECT_TRUE(adv->Engine().Running());
    EXPECT_TRUE(adv->btnUpgrade->isEnabled());

    // Cancel at the login opens nothing.
    onLogin = [](TfrmAuthInput&) { return false; };
    adv->btnUpgradeClick();
    EXPECT_EQ(requests.size(), 2);

    // Family 9 starts with an empty password; success drops the row and searches anew.
    onLogin = [](TfrmAuthInput&) { return true; };
    outcome = [] { return true; };
    const TDevInfo t9 = Camera(9);
    Add(t9);
    Select(t9.Mac);
    adv->btnUpgradeClick();
    EXPECT_EQ(logins.last().password, "");
    EXPECT_EQ(requests.last().Family, 9);
    EXPECT_EQ(adv->Devices().FindItemByMac(t9.Mac), -1);
    EXPECT_EQ(adv->Devices().Count(), 0) << "Find empties the list before it searches";
}

// Longer translations and CJK fonts fit: the layouts grow the controls instead of clipping.
TEST_F(AdvEditor, NoTextIsClippedInAnyLanguage) {
    Add(Camera(4));  // family 4 shows every field
    Select(Camera(4).Mac);
    for (const char* lang : {"en", "cn", "b5", "pl", "kr"}) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        QCoreApplication::processEvents();
        for (QTabWidget* tabs : {adv->PageControl}) {
            for (int t = 0; t < tabs->count(); ++t) {
                tabs->setCurrentIndex(t);
                QCoreApplication::processEvents();
                for (QWidget* w : tabs->widget(t)->findChildren<QWidget*>()) {
                    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) &&
                        !qobject_cast<QComboBox*>(w))
                        continue;
                    if (w->isHidden() || w->objectName().isEmpty())
                        continue;
                    EXPECT_GE(w->width(), w->sizeHint().width()) << lang << " " << w->objectName().toStdString();
                    EXPECT_TRUE(tabs->widget(t)->rect().contains(w->geometry()))
                        << lang << " " << w->objectName().toStdString();
                }
            }
        }
        for (QWidget* w : std::initializer_list<QWidget*>{adv->lblCard, adv->Label1, adv->Label7, adv->Label9,
                                                         adv->btnFind, adv->spbExport}) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << lang << " " << w->objectName().toStdString();
        }
        EXPECT_TRUE(adv->rect().contains(adv->TeGroupBox3->geometry())) << lang;
        EXPECT_LE(adv->minimumSizeHint().width(), adv->width()) << lang;
        EXPECT_LE(adv->minimumSizeHint().height(), adv->height()) << lang;
        // The address modes follow the language, and so does the count.
        EXPECT_EQ(adv->cmbIPAss->itemText(0), adv->cmbIPAssBak->itemText(0)) << lang;
        EXPECT_EQ(adv->lblDevNum->text(), GetResString("IDS_DEVCOUNT") + "1") << lang;
    }
    adv->PageControl->setCurrentIndex(0);
}

}  // namespace
