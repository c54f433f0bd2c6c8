// Step 8: the ways of access to the camera just set up.

#include "Screenshots.h"
#include "SelAccess.h"
#include "WizardFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

class SelAccess : public WizardTest {};

TEST_F(SelAccess, ShowsTheCamerasAddressesAndOpensThem) {
    TDevInfo cam = Camera(2, "001A2B000201", "10.77.0.21", 8080);
    cam.DdnsServer = "ddns.example.net:8080";
    cam.DdnsUser = "hall01";
    Add(cam);
    Cur().CurDevMac = cam.Mac;
    auto* p = Show<TfrmEsy_SelAccess>("TfrmEsy_SelAccess");
    EXPECT_EQ(main->lblCaption->text(), "Step 8:Completion");
    EXPECT_EQ(p->lblTitle->text(), "Congratulations! Your IP camera is configured successfully.");
    EXPECT_EQ(p->btnNext->text(), "Set Other Camera");
    EXPECT_EQ(p->edLanUrl->text(), "http://10.77.0.21:8080");
    EXPECT_EQ(p->edOuterUrl->text(), "http://hall01.example.net");
    EXPECT_TRUE(p->edLanUrl->isReadOnly());
    p->spbOpenLanUrlClick();
    p->spbOutUrlOpenClick();
    EXPECT_EQ(opened, QStringList({"http://10.77.0.21:8080", "http://hall01.example.net"}));
    Snap(main.get(), "TfrmEsy_SelAccess");
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        Snap(main.get(), "TfrmEsy_SelAccess");
    }
}

TEST_F(SelAccess, ACameraWithoutDomainOrNotListedHasNothingToOpen) {
    TDevInfo cam = Camera(5, "001a2b000501", "10.77.0.51", 81);
    cam.DdnsServer = "localhost:808";  // no "."
    cam.DdnsUser = "garden51";
    Add(cam);
    Cur().CurDevMac = "001a2b000501";
    auto* p = Show<TfrmEsy_SelAccess>("TfrmEsy_SelAccess");
    EXPECT_EQ(p->edLanUrl->text(), "http://10.77.0.51:81");
    EXPECT_EQ(p->edOuterUrl->text(), "");
    p->spbOutUrlOpenClick();
    EXPECT_TRUE(opened.isEmpty());

    // Shown again for a camera that is gone: both fields are emptied.
    main->ShowPage("TfrmSel_Mode");
    Cur().CurDevMac = "gone";
    Cur().CurDevIP = "10.77.0.99";
    main->ShowPage("TfrmEsy_SelAccess");
    EXPECT_EQ(p->edLanUrl->text(), "");
    p->spbOpenLanUrlClick();
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(SelAccess, TheOnlineCdLinkFollowsTheLanguage) {
    WriteBytes(ConfigPath(), "[LINK]\r\nOnlineCD=http://cd.example/doc/b_cn.htm\r\n");
    main.reset();
    StartMain();
    auto* p = Show<TfrmEsy_SelAccess>("TfrmEsy_SelAccess");
    EXPECT_EQ(p->lblHowMob->text(), "Browse Online CD, get more method used!");
    EXPECT_EQ(p->lblHowMob->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(p->lblHowMob->font().underline());
    p->lblHowMobClick();
    SetLanguage("cn");
    p->lblHowMobClick();
    EXPECT_EQ(opened, QStringList({"http://cd.example/doc/b_en.htm", "http://cd.example/doc/b_cn.htm"}));
}

TEST_F(SelAccess, NextCountsTheCameraAndBackGoesToStep7) {
    auto* p = Show<TfrmEsy_SelAccess>("TfrmEsy_SelAccess");
    Cur().CurCamNo = 3;
    EXPECT_TRUE(p->Next());
    EXPECT_EQ(Cur().CurCamNo, 4);
    EXPECT_TRUE(p->Back());
}

}  // namespace
