// Step 5: the wireless LAN, with CGI cameras (families 2, 8, 9) and a CTP/1.0 camera (family 5)
// of the test's own on 127.0.0.1, and the restart wait on the manual clock.

#include "Controls.h"
#include "Countdown.h"
#include "CtpEasy.h"
#include "FakeCamera.h"
#include "Screenshots.h"
#include "SetWIFI.h"
#include "TestHttpServer.h"
#include "WizardFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <mutex>

namespace {

const QString kSetWiFiOk =
    "Setting WiFi successfully! Please click \"Next\" button to set up the network access!";
const QString kRemoveLan = "The camera is restarting, please disconnect the network cable.";
const QString kPlugLan = "Please re-plug the network cable";

// The CGI pages of a family-2, -8 or -9 camera, as far as step 5 asks them.
class TCgiCam {
public:
    explicit TCgiCam(int family) : family_(family) {}
    bool takesSettings = true;  // set_wifi answers with a page that says "reboot"
    std::string params =
        "var wifi_enable=1;\r\nvar wifi_ssid='Home';\r\nvar wifi_mode=0;\r\nvar wifi_encrypt=1;\r\n"
        "var wifi_authtype=1;\r\nvar wifi_defkey=2;\r\nvar wifi_keyformat=1;\r\nvar wifi_key1='k1';\r\n"
        "var wifi_key2='k2';\r\nvar wifi_key3='k3';\r\nvar wifi_key4='k4';\r\nvar wifi_key1_bits=0;\r\n"
        "var wifi_key2_bits=1;\r\nvar wifi_key3_bits=1;\r\nvar wifi_key4_bits=0;\r\nvar wifi_wpa_psk='psk';\r\n";
    std::vector<HttpRequest> Requests() const { return server.Requests(); }
    std::vector<std::string> Targets() const {
        std::vector<std::string> t;
        for (const HttpRequest& r : server.Requests())
            t.push_back(r.target);
        return t;
    }
    quint16 Port() const { return server.Port(); }

private:
    std::string ScanResult() const {
        const char* eq = family_ == 8 ? " =" : "=";
        std::string s = "var ap_number=4;\r\n";
        const char* names[] = {"Home", "Cafe Guest", "Old Router", "Strange"};
        const int security[] = {4, 0, 1, 6};
        for (int i = 0; i < 4; ++i) {
            const std::string n = std::to_string(i);
            s += "var ap_ssid[" + n + "]" + eq + "\"" + names[i] + "\";\r\nvar ap_mac[" + n + "]=\"00:11:22:33:44:5" +
                 n + "\";\r\nvar ap_security[" + n + "]=" + std::to_string(security[i]) + ";\r\nvar ap_dbm0[" + n +
                 "]='" + std::to_string(80 - i * 10) + "';\r\nvar ap_dbm1[" + n + "]='0';\r\nvar ap_mode[" + n +
                 "]=" + (i == 1 ? "1" : "0") + ";\r\n";
        }
        return s;
    }
    std::string Answer(const HttpRequest& r) const {
        const std::string& p = r.path;
        if (p.find("wifi_scan.cgi") != std::string::npos)
            return HttpAnswer(200, "var result=\"ok\";");
        if (p == "/get_wifi_scan_result.cgi")
            return HttpAnswer(200, ScanResult());
        if (p == "/get_params.cgi")
            return HttpAnswer(200, params);
        if (p.find("set_wifi.cgi") != std::string::npos)
            return HttpAnswer(200, takesSettings ? "<html>reboot</html>" : "<html>error</html>");
        if (p.find("reboot.cgi") != std::string::npos)
            return HttpAnswer(200, "<html>ok</html>");
        return HttpAnswer(404, "no");
    }
    int family_;
    CameraServer server{[this](const HttpRequest& r) { return Answer(r); }};
};

class SetWiFiPage : public WizardTest {
protected:
    QStringList hints;  // hints of the countdowns shown
    QList<int> waitEnds;  // how each countdown ends: its result, in turn (found when none is left)

    TfrmEsy_SetWIFI* Start(const TDevInfo& cam, const QString& password = QString())
    {
        Add(cam);
        Cur().Choose(cam, 1, password);
        Cur().CurDevAuthOK = true;
        main->ShowPage("TfrmEsy_SetWIFI");
        auto* p = qobject_cast<TfrmEsy_SetWIFI*>(main->Page("TfrmEsy_SetWIFI"));
        p->SetModalRunner([this](QDialog& d) { return Countdown(d); });
        return p;
    }
    // Ends a countdown the way the test wants it.
    int Countdown(QDialog& d)
    {
        auto* c = qobject_cast<TfrmCountdown*>(&d);
        EXPECT_NE(c, nullptr);
        if (!c)
            return 0;
        hints << c->lblHint->text();
        EXPECT_EQ(c->TotalSecs, 60);
        const int end = waitEnds.isEmpty() ? TfrmCountdown::kFound : waitEnds.takeFirst();
        if (end == TfrmCountdown::kCancelled) {
            answers.prepend(MB::IDYES);
            c->btnCancelClick();
        } else {
            if (end == TfrmCountdown::kTimeOut)
                List().ClearDevices();
            clock->Advance(60000);
        }
        return c->result();
    }
    static QStringList Items(TfrmEsy_SetWIFI* p)
    {
        QStringList t;
        for (int i = 0; i < p->lstWiFi->count(); ++i)
            t << p->lstWiFi->item(i)->text();
        return t;
    }
    // Which of the optional fields are shown: shared key, key format, default key,
    // authentication, key rows 1..4.
    static QString Shown(TfrmEsy_SetWIFI* p)
    {
        QString s;
        for (QWidget* w : {static_cast<QWidget*>(p->edtShareKey), static_cast<QWidget*>(p->chkHex),
                           static_cast<QWidget*>(p->cmbSelKey), static_cast<QWidget*>(p->cmbAuthMode),
                           static_cast<QWidget*>(p->edtKey[0]), static_cast<QWidget*>(p->edtKey[1]),
                           static_cast<QWidget*>(p->edtKey[2]), static_cast<QWidget*>(p->edtKey[3])})
            s += w->isHidden() ? '-' : 'x';
        return s;
    }
};

TEST_F(SetWiFiPage, WhatTheSecurityShows)
{
    TCgiCam web(2);
    auto* p = Start(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    struct Case {
        int security;
        int defaultKey;
        const char* shown;
    } cases[] = {
        {0, 0, "--------"}, {1, 0, "-xxxx---"}, {1, 2, "-xxx--x-"}, {2, 0, "x-------"},
        {3, 3, "x-------"}, {4, 0, "x-------"}, {5, 0, "x-------"}, {-1, 0, "x-------"},
    };
    for (const Case& c : cases) {
        p->cmbSelKey->setCurrentIndex(c.defaultKey);
        p->cmbSecurity->setCurrentIndex(c.security);
        p->cmbSecurityChange();
        p->cmbSelKeyChange();
        EXPECT_EQ(Shown(p), c.shown) << c.security << " key " << c.defaultKey;
        // The labels go with their fields.
        EXPECT_EQ(p->lblShareKey->isHidden(), p->edtShareKey->isHidden());
        EXPECT_EQ(p->lblKey[2]->isHidden(), p->edtKey[2]->isHidden());
        EXPECT_EQ(p->cmbHex[2]->isHidden(), p->edtKey[2]->isHidden());
    }
    EXPECT_TRUE(p->cmbSecurity->isHidden()) << "the security list itself is never shown";
    EXPECT_TRUE(p->cmbMode->isHidden());
}

TEST_F(SetWiFiPage, Family2ScansTwiceAndReadsEverything)
{
    TCgiCam web(2);
    auto* p = Start(Camera(2, "001A2B000201", "127.0.0.1", web.Port()), "pw");
    EXPECT_EQ(main->lblCaption->text(), "Step 5:Set Wireless Lan");
    EXPECT_EQ(Items(p), QStringList({"Home", "Cafe Guest", "Old Router", "Strange"}));
    const std::vector<std::string> t = web.Targets();
    ASSERT_GE(t.size(), 4u);
    EXPECT_EQ(t[0], "/wifi_scan.cgi?user=admin&pwd=pw&next_url=wireless.htm");
    EXPECT_EQ(t[1], t[0]) << "the scan is asked for twice";
    EXPECT_EQ(t[2], "/get_wifi_scan_result.cgi?user=admin&pwd=pw");
    EXPECT_EQ(t[3], "/get_params.cgi?user=admin&pwd=pw");
    EXPECT_EQ(web.Requests()[0].basicUser, "admin") << "with Basic credentials too";
    EXPECT_EQ(web.Requests()[0].basicPassword, "pw");
    // The settings as read: WEP with its keys.
    EXPECT_TRUE(p->chkUseWiFi->isChecked());
    EXPECT_FALSE(p->chkUseWiFi->isHidden());
    EXPECT_FALSE(p->edtSSID->isReadOnly());
    EXPECT_EQ(p->edtSSID->text(), "Home");
    EXPECT_EQ(p->cmbSecurity->currentIndex(), 1);
    EXPECT_EQ(p->cmbAuthMode->currentIndex(), 1);
    EXPECT_EQ(p->chkHex->currentIndex(), 1);
    EXPECT_EQ(p->cmbSelKey->currentIndex(), 2);
    EXPECT_EQ(p->edtKey[0]->text(), "k1");
    EXPECT_EQ(p->edtKey[3]->text(), "k4");
    EXPECT_EQ(p->cmbHex[1]->currentIndex(), 1);
    EXPECT_EQ(p->edtShareKey->text(), "psk");
    EXPECT_EQ(Shown(p), "-xxx--x-");
    Snap(main.get(), "TfrmEsy_SetWIFI-wep");
}

TEST_F(SetWiFiPage, TakingANetwork)
{
    TCgiCam web(8);
    auto* p = Start(Camera(8, "001A2B000801", "127.0.0.1", web.Port()));
    EXPECT_EQ(web.Targets()[0], "/cgi-bin/wifi_scan.cgi?loginuse=admin&loginpas=&next_url=wireless.htm");
    ASSERT_EQ(Items(p), QStringList({"Home", "Cafe Guest", "Old Router", "Strange"})) << "names after \"] =\"";
    p->edtShareKey->setText("typed");
    p->lstWiFiClick(0);  // WPA2
    EXPECT_EQ(p->edtSSID->text(), "Home");
    EXPECT_EQ(p->cmbSecurity->currentIndex(), 4);
    EXPECT_EQ(p->edtShareKey->text(), "typed") << "the key typed stays";
    EXPECT_EQ(Shown(p), "x-------");
    p->lstWiFiClick(2);  // WEP
    EXPECT_EQ(p->cmbSelKey->currentIndex(), 0);
    EXPECT_EQ(Shown(p), "-xxxx---");
    p->lstWiFiClick(1);  // open, ad hoc
    EXPECT_EQ(p->cmbMode->currentIndex(), 1);
    EXPECT_EQ(Shown(p), "--------");
    // Security 6 cannot be taken: only the remembered index changes.
    p->lstWiFiClick(3);
    EXPECT_EQ(p->SsidTag(), 3);
    EXPECT_EQ(p->edtSSID->text(), "Cafe Guest");
    EXPECT_EQ(p->cmbSecurity->currentIndex(), 0);
}

TEST_F(SetWiFiPage, SettingsThatTheCameraDoesNotTakeRestartNothing)
{
    TCgiCam web(8);
    web.takesSettings = false;
    auto* p = Start(Camera(8, "001A2B000801", "127.0.0.1", web.Port()));
    const size_t before = web.Requests().size();
    p->BitBtn2Click();
    ASSERT_EQ(web.Requests().size(), before + 1);
    EXPECT_EQ(web.Requests().back().path, "/cgi-bin/set_wifi.cgi");
    EXPECT_TRUE(hints.isEmpty());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(SetWiFiPage, Family8AppliesRestartsAndWaits)
{
    TCgiCam web(8);
    auto* p = Start(Camera(8, "001A2B000801", "127.0.0.1", web.Port()), "p&w");
    p->lstWiFiClick(0);
    p->edtSSID->setText("  Home ");
    p->edtShareKey->setText(" my key ");
    p->BitBtn2Click();
    const std::vector<std::string> t = web.Targets();
    ASSERT_GE(t.size(), 2u);
    // Every field in its order, trimmed; values that would break the query are encoded.
    EXPECT_EQ(t[t.size() - 2],
              "/cgi-bin/set_wifi.cgi?next_url=rebootme.htm&loginuse=admin&loginpas=p%26w&channel=5&enable=1&ssid=Home"
              "&mode=0&encrypt=4&authtype=0&keyformat=0&defkey=0&key1=k1&key2=k2&key3=k3&key4=k4&key1_bits=0"
              "&key2_bits=0&key3_bits=0&key4_bits=0&wpa_psk=my%20key");
    EXPECT_EQ(t.back(), "/cgi-bin/reboot.cgi?next_url=reboot.htm");
    EXPECT_EQ(web.Requests().back().basicPassword, "p&w");
    EXPECT_EQ(hints, QStringList{kRemoveLan});
    EXPECT_EQ(p->lblOK->text(), kSetWiFiOk);
    // The success text stays when the page is shown again.
    main->ShowPage("TfrmEsy_DevList");
    main->ShowPage("TfrmEsy_SetWIFI");
    EXPECT_EQ(p->lblOK->text(), kSetWiFiOk);
    Snap(main.get(), "TfrmEsy_SetWIFI");
}

TEST_F(SetWiFiPage, ACameraThatDoesNotComeBack)
{
    TCgiCam web(2);
    auto* p = Start(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    const QString before = p->lblOK->text();
    // Not found; the user re-plugs the cable; not found again.
    waitEnds = {TfrmCountdown::kTimeOut, TfrmCountdown::kTimeOut};
    answers = {MB::IDYES};
    p->BitBtn2Click();
    EXPECT_EQ(hints, QStringList({kRemoveLan, kPlugLan}));
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].text.startsWith("The Camera can not be found, probably WiFi parameter setting is not correct"));
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].flags, MB::ICONERROR | MB::YESNO);
    EXPECT_EQ(boxes[1].text, "IP Camera is not found, whether to return to the \"Selecting\" interface");
    EXPECT_EQ(boxes[1].title, "Warning");
    EXPECT_EQ(boxes[1].flags, MB::ICONWARNING);
    EXPECT_EQ(p->lblOK->text(), before);
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_SetWIFI");

    // Answered No: nothing more.
    Add(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    boxes.clear();
    hints.clear();
    waitEnds = {TfrmCountdown::kTimeOut};
    p->BitBtn2Click();
    EXPECT_EQ(hints.size(), 1);
    EXPECT_EQ(boxes.size(), 1);

    // Cancelled: back to the camera list.
    Add(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    waitEnds = {TfrmCountdown::kCancelled};
    p->BitBtn2Click();
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList");
}

TEST_F(SetWiFiPage, AnUnreachableCameraIsReported)
{
    TDevInfo cam = Camera(2, "001A2B000201", "127.0.0.1", RefusedPort());
    auto* p = Start(cam);
    // The scan and the read both say so; the page stays usable.
    EXPECT_EQ(BoxTexts(), QStringList({"Unable to connect cameras!", "Unable to connect cameras!"}));
    EXPECT_EQ(boxes[0].flags, MB::ICONERROR);
    EXPECT_EQ(p->lstWiFi->count(), 0);
    EXPECT_EQ(p->edtSSID->text(), "");
    EXPECT_TRUE(p->BitBtn1->isEnabled());
}

// The CTP/1.0 camera: its switch is hidden, its SSID read-only; a CGI camera after it gets both
// back.
TEST_F(SetWiFiPage, Family5HasItsOwnRules)
{
    TFakeCamera ctp;
    TCgiCam web(2);
    TDevInfo cam5 = Camera(5, "001a2b000501", "127.0.0.1", ctp.Port());
    auto* p = Start(cam5, "qelvo");
    // The camera's line without a name is no network.
    ASSERT_EQ(Items(p).size(), 3);
    EXPECT_EQ(Items(p)[0], "home(80%)");
    EXPECT_EQ(Items(p)[2], "office(52%)");
    EXPECT_TRUE(p->chkUseWiFi->isHidden());
    EXPECT_TRUE(p->Label1->isHidden());
    EXPECT_TRUE(p->edtSSID->isReadOnly());
    EXPECT_EQ(p->edtSSID->text(), "home net");
    EXPECT_EQ(p->edtShareKey->text(), "s3cret");
    ASSERT_TRUE(p->CurWiFi().has_value());

    // Taking "office" (secured, WPA-PSK, TKIP) and applying sends the camera's words for it.
    p->lstWiFiClick(2);
    EXPECT_EQ(p->edtSSID->text(), "office");
    // Secured: its one key goes into the shared-key field; there are no WEP fields for it.
    EXPECT_EQ(p->cmbSecurity->currentIndex(), 1);
    EXPECT_EQ(Shown(p), "x-------");
    p->lstWiFiClick(1);
    EXPECT_EQ(Shown(p), "--------") << "an open network needs no key";
    p->lstWiFiClick(2);
    p->edtShareKey->setText("office key");
    p->BitBtn2Click();
    const TDEVWiFi sent = ctp.StoredWiFi();
    EXPECT_EQ(sent.ssid, "office");
    EXPECT_EQ(sent.key, "office key");
    EXPECT_EQ(sent.authmode, "WPAPSK");
    EXPECT_EQ(sent.encryptype, "TKIP");
    EXPECT_EQ(sent.enable, 1) << "the camera is to come back over the wireless LAN";
    EXPECT_EQ(hints, QStringList{kRemoveLan});
    ASSERT_TRUE(QTest::qWaitFor([&] { return ctp.Restarts() == 1; }, 5000)) << "restarted by the reboot thread";

    main->ShowPage("TfrmEsy_SetIP");
    List().ClearDevices();
    Start(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    EXPECT_EQ(Shown(p), "-xxx--x-") << "WEP fields again for a camera that has them";
    EXPECT_FALSE(p->chkUseWiFi->isHidden());
    EXPECT_FALSE(p->Label1->isHidden());
    EXPECT_FALSE(p->edtSSID->isReadOnly());
}

TEST_F(SetWiFiPage, Family5SecurityWords)
{
    struct Case {
        int security, auth, cipher;
        const char* authmode;
        const char* encryptype;
    } cases[] = {
        {1, 0, 0, "WEP", "WEPAUTO"}, {1, 1, 1, "WPAPSK", "TKIP"}, {1, 2, 2, "WPA2PSK", "AES"},
        {1, 2, 7, "WPA2PSK", "asread"}, {0, 2, 2, "NONE", ""},
    };
    TWiFiSettings asRead;
    asRead.authMode = "WPA2PSK";
    asRead.encryptType = "asread";
    for (const Case& c : cases) {
        TWiFiNetwork n;
        n.security = c.security;
        n.auth = c.auth;
        n.cipher = c.cipher;
        QString a, e;
        CtpFamily::SecurityWords(&n, asRead, a, e);
        EXPECT_EQ(a, c.authmode);
        EXPECT_EQ(e, c.encryptype);
    }
    QString a, e;
    CtpFamily::SecurityWords(nullptr, asRead, a, e);
    EXPECT_EQ(a, "WPA2PSK") << "without a network taken the camera's own security stays";
    EXPECT_EQ(e, "asread");
}

TEST_F(SetWiFiPage, HidingDisablesTheButtonsUntilTheUserChangesSomething)
{
    TCgiCam web(2);
    auto* p = Start(Camera(2, "001A2B000201", "127.0.0.1", web.Port()));
    main->ShowPage("TfrmEsy_DevList");
    EXPECT_FALSE(p->BitBtn1->isEnabled());
    EXPECT_FALSE(p->BitBtn2->isEnabled());
    p->edtShareKey->setText("x");
    EXPECT_TRUE(p->BitBtn2->isEnabled());
    p->BitBtn2->setEnabled(false);
    const bool before = p->chkUseWiFi->isChecked();
    p->Label1Click();
    EXPECT_NE(p->chkUseWiFi->isChecked(), before) << "the label toggles its box";
    EXPECT_EQ(p->cmbSecurity->isEnabled(), p->chkUseWiFi->isChecked());
    EXPECT_TRUE(p->BitBtn2->isEnabled());
}

}  // namespace
