#include "Controls.h"
#include "IniFile.h"
#include "LangForms.h"
#include "LangRes.h"
#include "TestDirs.h"
#include "Tools.h"

#include <QAction>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStatusBar>
#include <gtest/gtest.h>

namespace {

TEST(LanguageTable, FirstMatchingRowWins) {
    QWidget host;
    struct Case {
        QObject* object;
        LangRow row;
        const char* what;
    };
    const Case cases[] = {
        {new TTePanel(&host), LangRow::TePanel, "themed panel before panel"},
        {new TPanel(&host), LangRow::Panel, "panel"},
        {new QLabel(&host), LangRow::Label, "label, although a QLabel is a QFrame"},
        {new TTeLabel(&host), LangRow::TeLabel, "themed label"},
        {new TClickLabel(&host), LangRow::Label, "link label"},
        {new QPushButton(&host), LangRow::Button, "button"},
        {new TTeButton(&host), LangRow::TeButton, "themed button"},
        {new QCheckBox(&host), LangRow::CheckBox, "check box"},
        {new TTeCheckBox(&host), LangRow::TeCheckBox, "themed check box"},
        {new QGroupBox(&host), LangRow::GroupBox, "group box"},
        {new TTeGroupBox(&host), LangRow::TeGroupBox, "themed group box"},
        {new QComboBox(&host), LangRow::ComboBox, "combo box"},
        {new TTeComboBox(&host), LangRow::TeComboBox, "themed combo box"},
        {new TListView(&host), LangRow::ListView, "list view"},
        {new TTeListView(&host), LangRow::TeListView, "themed list view"},
        {new TTreeView(&host), LangRow::TreeView, "tree"},
        {new TImage(&host), LangRow::Image, "picture, not a label"},
        {new TSpeedButton(&host), LangRow::SpeedButton, "flat button"},
        {new TToolButton(&host), LangRow::ToolButton, "tool button"},
        {new QStatusBar(&host), LangRow::StatusBar, "status bar"},
        {new QAction(&host), LangRow::MenuItem, "menu item"},
        {new TSaveDialog(&host), LangRow::SaveDialog, "save dialog"},
        {new TOpenDialog(&host), LangRow::OpenDialog, "open dialog"},
        {new QLineEdit(&host), LangRow::None, "edit fields carry no text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(int(ClassifyComponent(c.object)), int(c.row)) << c.what;
}

// A form with one component of each kind that matters, on a language file of the test's own.
class ApplyLanguageTest : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res;
    void SetUp() override {
        res = std::make_unique<TfrmStrRes>();
        // A language of our own: "zz" written in UTF-8 with a byte-order mark.
        WriteBytes(LangFilePathFor("zz"),
                   "\xEF\xBB\xBF[Form_frmTest]\r\n"
                   "Caption=Test form\r\n"
                   "lblSSID.caption = SSID\xEF\xBC\x9A\r\n"
                   "themed.Caption=must not show\r\n"
                   "themed.Hint=themed hint\r\n"
                   "plain.Caption=plain caption\r\n"
                   "btn.Caption=&Go$bnow\r\n"
                   "btn.Hint=line1$nline2\r\n"
                   "cmb.Items0.Caption=zero\r\ncmb.Items1.Caption=one\r\ncmb.Items2.Caption=two\r\n"
                   "cmb.Items3.Caption=three\r\ncmb.Items4.Caption=four\r\n"
                   "list.Columns0.Caption=Name\r\nlist.Columns1.Caption=IP Address\r\n"
                   "img.Hint=picture hint\r\nimg.Caption=never\r\n"
                   "dlg.Filter=Text (*.txt)|*.txt\r\n"
                   "inner.Caption=from the outer form\r\n"
                   "[Form_frmInner]\r\ninner.Caption=inner caption\r\n");
        SetLanguage("zz");
    }
    void TearDown() override {
        SetLanguage("en");
        res.reset();
    }
};

TEST_F(ApplyLanguageTest, TextsFollowTheClassTable) {
    QWidget form;
    SetFormName(&form, "frmTest");
    auto* ssid = new QLabel("old", &form);
    ssid->setObjectName("lblSSID");
    auto* themed = new TTePanel(&form, "themed");
    themed->SetCaption("kept");
    auto* plain = new TPanel(&form, "plain");
    auto* btn = new QPushButton(&form);
    btn->setObjectName("btn");
    auto* cmb = new QComboBox(&form);
    cmb->setObjectName("cmb");
    cmb->addItems({"a", "b", "c"});
    auto* list = new TListView(&form);
    list->setObjectName("list");
    auto* model = new QStandardItemModel(0, 3, list);
    list->setModel(model);
    auto* img = new TImage(&form, "img");
    auto* dlg = new TSaveDialog(&form);
    dlg->setObjectName("dlg");
    auto* untouched = new QLabel("design text", &form);
    untouched->setObjectName("noKeyInFile");
    // A form docked into this one keeps to its own section.
    auto* innerForm = new QWidget(&form);
    SetFormName(innerForm, "frmInner");
    auto* inner = new QLabel("design", innerForm);
    inner->setObjectName("inner");

    ApplyLanguage(&form);
    EXPECT_EQ(form.windowTitle(), "Test form");
    EXPECT_EQ(ssid->text(), QString::fromUtf8("SSID："));
    EXPECT_EQ(themed->Caption(), "kept");
    EXPECT_EQ(themed->toolTip(), "themed hint");
    EXPECT_EQ(plain->Caption(), "plain caption");
    EXPECT_EQ(btn->text(), "&Go now");
    EXPECT_EQ(btn->toolTip(), "line1\nline2");
    EXPECT_EQ(cmb->count(), 3);
    EXPECT_EQ((QStringList{cmb->itemText(0), cmb->itemText(1), cmb->itemText(2)}), QStringList({"zero", "one", "two"}));
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "IP Address");
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(img->toolTip(), "picture hint");
    EXPECT_EQ(dlg->Filter(), "Text (*.txt)|*.txt");
    EXPECT_EQ(dlg->QtFilter(), "Text (*.txt) (*.txt)");
    EXPECT_EQ(untouched->text(), "design text");
    EXPECT_EQ(inner->text(), "design");
    ApplyLanguage(innerForm);
    EXPECT_EQ(inner->text(), "inner caption");
}

TEST_F(ApplyLanguageTest, MissingFileLeavesTextsAsTheyAre) {
    QWidget form;
    SetFormName(&form, "frmTest");
    auto* ssid = new QLabel("old", &form);
    ssid->setObjectName("lblSSID");
    ApplyLanguage(&form);
    ASSERT_EQ(ssid->text(), QString::fromUtf8("SSID："));
    SetCurLang("missing");  // as start-up does with a lan value naming no file
    ApplyLanguage(&form);
    EXPECT_EQ(ssid->text(), QString::fromUtf8("SSID：")) << "the text of the language shown before stays";
}

TEST_F(ApplyLanguageTest, FontSizeRulePerLanguage) {
    QWidget form;
    SetFormName(&form, "frmTest");
    auto* eight = new QLabel(&form);
    eight->setObjectName("eight");
    QFont f = eight->font();
    f.setPointSize(8);
    eight->setFont(f);
    auto* ten = new QLabel(&form);
    ten->setObjectName("ten");
    f.setPointSize(10);
    ten->setFont(f);

    SetLanguage("cn");
    ApplyLanguage(&form);
    EXPECT_EQ(eight->font().pointSize(), 9);
    EXPECT_EQ(ten->font().pointSize(), 10);
    EXPECT_EQ(eight->font().family(), LangFontFamily("cn"));
    SetLanguage("en");
    ApplyLanguage(&form);
    EXPECT_EQ(eight->font().pointSize(), 8);
    EXPECT_EQ(ten->font().pointSize(), 10);
    SetLanguage("b5");
    ApplyLanguage(&form);
    EXPECT_EQ(eight->font().pointSize(), 9);
}

TEST(LanguageFonts, CjkFacesHoldTheirGlyphs) {
    // The chosen faces must render the carried texts, not empty boxes.
    struct Case {
        const char* code;
        const char* sample;
    };
    for (const Case& c : {Case{"cn", "简体中文"}, Case{"b5", "繁體中文"}}) {
        QFont f;
        SetLangFont(c.code, f);
        const QFontMetrics m(f);
        for (QChar ch : QString::fromUtf8(c.sample))
            EXPECT_TRUE(m.inFontUcs4(ch.unicode())) << c.code << " " << f.family().toStdString();
    }
}

TEST(MessageBoxes, FlagsAndResults) {
    ScopedTestDirs dirs;
    TfrmStrRes res;
    SetLanguage("en");
    QString text, title;
    int flags = -1;
    SetMessageBoxHook([&](const QString& t, const QString& ti, int f) {
        text = t;
        title = ti;
        flags = f;
        return MB::IDYES;
    });
    EXPECT_EQ(ResMessageBox("IDS_CANCELWAIT", "IDS_CONFIRM", MB::YESNO | MB::ICONQUESTION | MB::DEFBUTTON2), MB::IDYES);
    EXPECT_EQ(title, "Confirmation");
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(flags, 292);
    SetMessageBoxHook(nullptr);
}

}  // namespace
