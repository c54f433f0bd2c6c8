#include "AdvMain.h"
#include "AuthInput.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DiscoveryEngine.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "SelMode.h"
#include "TestDirs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

TDevInfo Camera(int family, const QString& mac, const QString& name, const QString& ip) {
    TDevInfo d;
    d.Family = family;
    d.Mac = mac;
    d.Name = name;
    d.IP = ip;
    d.HttpPort = 80;
    return d;
}

class AdvWindow : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    QStringList messages;
    std::unique_ptr<TfrmMain> main;
    TfrmAdv_Main* adv = nullptr;

    void SetUp() override {
        SetMessageBoxHook([this](const QString& t, const QString&, int) {
            messages << t;
            return MB::IDOK;
        });
        main = std::make_unique<TfrmMain>(dirs.Path("Config.ini"));
        adv = qobject_cast<TfrmAdv_Main*>(main->Page("TfrmAdv_Main"));
        ASSERT_NE(adv, nullptr);
    }
    void TearDown() override {
        main.reset();
        SetMessageBoxHook(nullptr);
        SetCurLang("en");
    }
    QString Header(int i) const { return adv->ListView->model()->headerData(i, Qt::Horizontal).toString(); }
};

TEST_F(AdvWindow, EmptyListShowsTheNoticeAndCount) {
    EXPECT_EQ(adv->lblDevNum->text(), "Count: 0");
    EXPECT_FALSE(adv->plInfo->isHidden());
    EXPECT_EQ(adv->plInfo->Caption(), "There is no camera found in the LAN.");
    EXPECT_FALSE(adv->spbExport->isEnabled());
    EXPECT_EQ((QStringList{Header(0), Header(1), Header(2)}), QStringList({"Series", "Name", "IP Address"}));
}

TEST_F(AdvWindow, CamerasFillTheListAndTheLanguageReachesTheColumns) {
    main->lblAdvClick();
    ASSERT_EQ(main->CurrentPage(), adv);
    adv->Engine().DeliverRecord(Camera(5, "00-1A-2B-3C-4D-5E", "Garden", "192.168.7.51"));
    adv->Engine().DeliverRecord(Camera(2, "00-1A-2B-3C-4D-5F", "Hall", "192.168.7.21"));
    adv->Devices().UpdateDeviceCount();
    EXPECT_EQ(adv->lblDevNum->text(), "Count: 2");
    EXPECT_TRUE(adv->plInfo->isHidden());
    EXPECT_TRUE(adv->ListView->selectionModel()->hasSelection()) << "the first row is selected";
    adv->show();
    main->show();
    EXPECT_TRUE(adv->spbExport->isEnabled());
    EXPECT_EQ(adv->ListView->model()->index(0, 2).data().toString(), "192.168.7.21") << "sorted by address";

    SetLanguage("pl");
    main->ReapplyLanguage();
    EXPECT_EQ(Header(1), "Nazwa");
    EXPECT_EQ(adv->ListView->model()->columnCount(), 3);

    main->lblAdvClick();  // back to the welcome page: export is off while hidden
    EXPECT_FALSE(adv->spbExport->isEnabled());
    if (!qEnvironmentVariableIsEmpty("IPCAM_SCREENSHOTS")) {
        main->lblAdvClick();
        main->grab().save(qEnvironmentVariable("IPCAM_SCREENSHOTS") + "/advanced-pl.png");
    }
}

TEST_F(AdvWindow, ExportWritesTheListAndReportsAnUnwritableFile) {
    adv->Engine().DeliverRecord(Camera(5, "00-1a-2b 3c", "Garden", "192.168.7.51"));
    const QString path = dirs.Path("ipcam.txt");
    ASSERT_TRUE(adv->ExportTo(path));
    const QByteArray text = ReadBytes(path);
    EXPECT_TRUE(text.startsWith("1\t")) << text.constData();
    EXPECT_TRUE(text.contains("001A2B03C")) << text.constData();
    EXPECT_TRUE(text.endsWith("\r\n"));
    EXPECT_TRUE(messages.isEmpty());

    EXPECT_FALSE(adv->ExportTo(dirs.Path("no/such/folder/ipcam.txt")));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("no/such/folder/ipcam.txt"));
}

// Which families ask for a login, and what a cancelled login leaves behind.
TEST_F(AdvWindow, ApplyNetSettingsLoginRules) {
    int prompts = 0;
    adv->SetLoginPrompt([&](TfrmAuthInput&) {
        ++prompts;
        return false;  // the user cancels
    });
    TCurrentCamera& cur = main->CurrentCamera();
    cur.CurDevUser = "admin";
    cur.CurDevPwd = "secret";
    TDevInfo oldRec = Camera(9, "00-1A-2B-3C-4D-60", "Cgi", "127.0.0.1");
    oldRec.HttpPort = 1;  // nothing listens: the stored credentials cannot be confirmed
    TDevInfo newRec = oldRec;
    newRec.IP = "127.0.0.2";
    EXPECT_FALSE(adv->ApplyNetSettings(oldRec, newRec, true));
    EXPECT_EQ(prompts, 1) << "family 9 checks the credentials and asks when they fail";
    EXPECT_EQ(cur.CurDevUser, "admin");
    EXPECT_EQ(cur.CurDevPwd, "secret");

    // Families 2, 5 and 8 never check, so the stored credentials go out without a dialog (the
    // test's namespace has a veth adapter for the broadcast).
    for (int family : {2, 5, 8}) {
        TDevInfo o = Camera(family, "001A2B3C4D61", "Cam", "10.0.0.5");
        o.SN = "0123456789ABCD";
        o.Mask = "255.255.255.0";
        o.Gateway = "10.0.0.1";
        o.Dns1 = "10.0.0.1";
        EXPECT_TRUE(adv->ApplyNetSettings(o, o, true)) << family;
    }
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(adv->ApplyNetSettings(Camera(4, "001A2B3C4D62", "Lib", "10.0.0.6"), newRec, true));
    EXPECT_FALSE(adv->ApplyNetSettings(Camera(3, "001A2B3C4D63", "Old", "10.0.0.7"), newRec, true));
    EXPECT_EQ(prompts, 1);
}

TEST_F(AdvWindow, AdapterChoiceFillsTheFields) {
    // The test's namespace has one adapter besides loopback: v0, 10.77.0.1/24.
    ASSERT_EQ(adv->cmbCards->count(), 1);
    EXPECT_EQ(adv->cmbCards->itemText(0), "v0");
    EXPECT_EQ(adv->cmbCards->currentIndex(), 0);
    EXPECT_EQ(adv->edCurIP->text(), "10.77.0.1");
    EXPECT_EQ(adv->edCurSubmask->text(), "255.255.255.0");
    EXPECT_EQ(adv->edCurGate->text(), "") << "its default route names no gateway";
    adv->cmbCards->setCurrentIndex(-1);
    adv->cmbCardsChange();
    EXPECT_TRUE(adv->edCurIP->text().isEmpty());
    EXPECT_TRUE(adv->edCurSubmask->text().isEmpty());
    EXPECT_TRUE(adv->edCurGate->text().isEmpty());
    EXPECT_TRUE(adv->edCurIP->isReadOnly());
}

}  // namespace
