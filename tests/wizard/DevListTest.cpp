// Steps 1 to 3: the picture pages with their help links, and the camera list of step 3.

#include "Controls.h"
#include "DevList.h"
#include "LinkSource.h"
#include "QInfo.h"
#include "Screenshots.h"
#include "WizardFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>

namespace {

class Steps123 : public WizardTest {
protected:
    QStringList helpTexts;  // texts of the information boxes shown

    template <class Page>
    Page* ShowWithHelp(const char* className)
    {
        auto* p = Show<Page>(className);
        p->SetModalRunner([this](QDialog& d) {
            if (auto* box = qobject_cast<TFrmQInfo*>(&d))
                helpTexts << box->Label1->text();
            return int(QDialog::Accepted);
        });
        return p;
    }
    TfrmEsy_DevList* Step3() { return ShowWithHelp<TfrmEsy_DevList>("TfrmEsy_DevList"); }
    // The rows as "number SN series address port MAC".
    static QStringList RowTexts(TfrmEsy_DevList* p)
    {
        QStringList rows;
        for (int r = 0; r < p->Rows->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < TfrmEsy_DevList::ColumnCount; ++c)
                cells << p->CellText(r, c);
            rows << cells.join(' ');
        }
        return rows;
    }
    void Tick() { clock->Advance(TfrmEsy_DevList::kRefreshMs); }
    void Remove(const QString& mac) { List().DeleteItem(List().FindItemByMac(mac)); }
};

TEST_F(Steps123, PicturePagesLeadOnAndTheirHelpLinksExplain) {
    main->ShowPage("TfrmSel_Mode");
    auto* s1 = ShowWithHelp<TfrmLinkSource>("TfrmLinkSource");
    EXPECT_EQ(main->lblCaption->text(), "Step 1: To connect power supply");
    EXPECT_EQ(s1->Label2->text(), "According to the connection IP Camera:");
    EXPECT_EQ(s1->lblRouter1->text(), "Power adapter");
    EXPECT_EQ(s1->Label3->text(), "Power interface");
    EXPECT_FALSE(s1->lblPC1->isVisible());
    EXPECT_EQ(s1->Label4->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(s1->BtnJPre->text(), QString::fromUtf8("《"));
    s1->Label4Click();
    ASSERT_EQ(helpTexts.size(), 1);
    EXPECT_TRUE(helpTexts[0].startsWith("After the IP camera is connected to power. "));
    EXPECT_TRUE(helpTexts[0].contains("please check:\n1. Is the power adapter normal;\n2. "));
    s1->btnJNext->click();
    ASSERT_EQ(CurrentPageName(), "TfrmEsy_Line");
    auto* s2 = ShowWithHelp<TfrmEsy_Line>("TfrmEsy_Line");
    EXPECT_EQ(main->lblCaption->text(), "Step 2: Connect the cable");
    EXPECT_EQ(s2->lblPC1->text(), "Network interface");
    s2->Label3Click();
    ASSERT_EQ(helpTexts.size(), 2);
    EXPECT_TRUE(helpTexts[1].contains("\n4. Is the switcher/router normal;"));
    s2->btnPre->click();
    EXPECT_EQ(CurrentPageName(), "TfrmLinkSource");
    s1->btnPre->click();
    EXPECT_EQ(CurrentPageName(), "TfrmSel_Mode");
    s1->btnNext->click();
    s2->btnNext->click();
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList");
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        for (const char* page : {"TfrmLinkSource", "TfrmEsy_Line"}) {
            main->ShowPage(page);
            Snap(main.get(), page);
        }
    }
}

TEST_F(Steps123, ListsOnlyTheFamiliesEasyModeSetsUp) {
    Add(Camera(4, "001A2B000401", "10.77.0.41"));
    TDevInfo ctp = Camera(5, "001a2b000501", "10.77.0.51", 81);
    ctp.DdnsUser = "garden51";
    Add(ctp);
    Add(Camera(3, "001A2B000301", "10.77.0.31"));
    auto* p = Step3();
    EXPECT_EQ(main->lblCaption->text(), "Step 3: Select Camera");
    EXPECT_EQ(p->Rows->headerData(1, Qt::Horizontal).toString(), "SN");
    EXPECT_EQ(p->Rows->headerData(5, Qt::Horizontal).toString(), "MAC");
    EXPECT_EQ(RowTexts(p), QStringList({"1 garden51 E 10.77.0.51 81 001a2b000501"}));
    EXPECT_TRUE(p->plInfo->isHidden());
    EXPECT_TRUE(p->Label2->isHidden());
}

TEST_F(Steps123, RowsKeepTheirNumbersAndTheirPlace) {
    Add(Camera(2, "001A2B000201", "10.77.0.21"));
    Add(Camera(8, "00:1A:2B:00:08:01", "10.77.0.22"));
    Add(Camera(9, "00:1A:2B:00:09:01", "10.77.0.23", 81));
    auto* p = Step3();
    ASSERT_EQ(p->Rows->rowCount(), 3);
    // The camera of row 2 is gone and another one is found: 1, 3, 3.
    Remove("00:1A:2B:00:08:01");
    Add(Camera(5, "001a2b000501", "10.77.0.24", 81));
    Tick();
    EXPECT_EQ(RowTexts(p), QStringList({"1  F 10.77.0.21 80 001A2B000201", "3  T 10.77.0.23 81 00:1A:2B:00:09:01",
                                        "3  E 10.77.0.24 81 001a2b000501"}));
    // A camera that changes its address keeps its row (and its number).
    Add(Camera(2, "001A2B000201", "10.77.0.99"));
    Tick();
    EXPECT_EQ(p->CellText(0, TfrmEsy_DevList::ColIP), "10.77.0.99");
    EXPECT_EQ(p->CellText(0, TfrmEsy_DevList::ColNo), "1");
    EXPECT_EQ(p->Rows->rowCount(), 3);
}

TEST_F(Steps123, SelectionRules) {
    auto* p = Step3();
    // Empty: the notice and the help link, nothing selected.
    EXPECT_FALSE(p->plInfo->isHidden());
    EXPECT_EQ(p->plInfo->Caption(), "There is no camera found in the LAN.");
    EXPECT_FALSE(p->Label2->isHidden());
    EXPECT_FALSE(p->Image1->isHidden());
    EXPECT_EQ(p->SelectedRow(), -1);
    EXPECT_TRUE(p->Next()) << "Next without a row does nothing";
    EXPECT_EQ(CurrentPageName(), "TfrmEsy_DevList");
    // The first camera found while the list was empty becomes selected.
    Add(Camera(2, "001A2B000201", "10.77.0.21"));
    Tick();
    EXPECT_EQ(p->SelectedRow(), 0);
    EXPECT_TRUE(p->plInfo->isHidden());
    // A later camera does not change the selection, wherever its row goes.
    Add(Camera(5, "001a2b000501", "10.77.0.22", 81));
    Tick();
    EXPECT_EQ(p->SelectedRow(), 0);
    p->ListView1->setCurrentIndex(p->Rows->index(1, 0));
    Add(Camera(8, "00:1A:2B:00:08:01", "10.77.0.23"));
    Tick();
    EXPECT_EQ(p->SelectedRow(), 1);
    // The selected camera goes: nothing is selected (the list was not empty before).
    Remove("001a2b000501");
    Tick();
    EXPECT_EQ(p->SelectedRow(), -1);
    // Showing the page again selects the first row.
    main->ShowPage("TfrmEsy_Line");
    main->ShowPage("TfrmEsy_DevList");
    EXPECT_EQ(p->SelectedRow(), 0);
}

TEST_F(Steps123, RefreshWaitsWhileHiddenAndTheButtonStartsANewSearch) {
    auto* p = Step3();
    EXPECT_TRUE(p->btnRefresh->isEnabled());
    main->ShowPage("TfrmEsy_Line");
    EXPECT_FALSE(p->btnRefresh->isEnabled());
    Add(Camera(2, "001A2B000201", "10.77.0.21"));
    Tick();
    EXPECT_EQ(p->Rows->rowCount(), 0) << "no refresh while hidden";
    main->ShowPage("TfrmEsy_DevList");
    EXPECT_EQ(p->Rows->rowCount(), 1);
    p->btnRefreshClick();
    EXPECT_EQ(p->Rows->rowCount(), 0);
    EXPECT_EQ(List().Count(), 0) << "the advanced window's Find empties its list and searches anew";
    p->Label2Click();
    ASSERT_EQ(helpTexts.size(), 1);
    EXPECT_TRUE(helpTexts[0].startsWith("If the camera does not appear in the list above, please check:\n1. "));
}

TEST_F(Steps123, NextMakesTheSelectedCameraCurrent) {
    struct Case {
        TDevInfo cam;
        const char* password;
    } cases[] = {
        {Camera(5, "001a2b000501", "10.77.0.51", 81), "qelvo"},
        {Camera(2, "001A2B000201", "10.77.0.21"), ""},
        {Camera(8, "00:1A:2B:00:08:01", "10.77.0.81"), ""},
        {Camera(9, "00:1A:2B:00:09:01", "10.77.0.91", 81), ""},
    };
    for (const Case& c : cases)
        Add(c.cam);
    auto* p = Step3();
    for (const Case& c : cases) {
        int row = -1;
        for (int r = 0; r < p->Rows->rowCount(); ++r)
            if (p->CellText(r, TfrmEsy_DevList::ColMac) == c.cam.Mac)
                row = r;
        ASSERT_GE(row, 0);
        Cur().CurDevAuthOK = true;
        Cur().CurDevPwd = "left over";
        main->ShowPage("TfrmEsy_DevList");
        p->ListView1->setCurrentIndex(p->Rows->index(row, 0));
        EXPECT_TRUE(p->Next());
        EXPECT_EQ(Cur().CurDevMac, c.cam.Mac);
        EXPECT_EQ(Cur().CurDevIP, c.cam.IP);
        EXPECT_EQ(Cur().CurDevUser, "admin");
        EXPECT_EQ(Cur().CurDevPwd, c.password) << c.cam.Family;
        EXPECT_FALSE(Cur().CurDevAuthOK);
        EXPECT_EQ(Cur().CurCamNo, row + 1);
    }
}

TEST_F(Steps123, Screenshots) {
    if (!testsupport::TakingScreenshots())
        GTEST_SKIP() << "IPCAM_SCREENSHOTS is not set";
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        main->ReapplyLanguage();
        auto* p = Step3();
        List().ClearDevices();
        Tick();
        Snap(main.get(), "TfrmEsy_DevList-empty");
        TDevInfo a = Camera(5, "001a2b000501", "10.77.0.51", 81);
        a.DdnsUser = "garden51";
        Add(a);
        Add(Camera(9, "00:1A:2B:00:09:01", "192.168.1.126", 81));
        Tick();
        Snap(main.get(), "TfrmEsy_DevList");
        TFrmQInfo box(main.get());
        box.SetInfo(ForDisplay(GetResString("IDS_FOUNDIPCAM")));
        box.show();
        Snap(&box, "TFrmQInfo");
        (void)p;
    }
}

}  // namespace
