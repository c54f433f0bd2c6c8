#include "Controls.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "OptionFile.h"
#include "PageBase.h"
#include "Platform.h"
#include "SelMode.h"
#include "TestDirs.h"
#include "Tools.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Message {
    QString text, title;
    int flags;
};

// Each test starts the program afresh in folders of its own, with message boxes and the
// opening of addresses recorded instead of shown.
class MainWindow : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    QList<Message> messages;
    QStringList opened;
    QByteArray oldLcAll = qgetenv("LC_ALL");

    void SetUp() override {
        qputenv("LC_ALL", "en_US.UTF-8");
        SetMessageBoxHook([this](const QString& t, const QString& ti, int f) {
            messages.append({t, ti, f});
            return MB::IDOK;
        });
        SetAddressOpener([this](const QString& a) { opened.append(a); });
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        SetAddressOpener(nullptr);
        qputenv("LC_ALL", oldLcAll);
        SetCurLang("en");
    }
    QString ConfigPath() const { return dirs.Path("program/Config.ini"); }
    std::unique_ptr<TfrmMain> Start() { return std::make_unique<TfrmMain>(ConfigPath()); }
    static TfrmSel_Mode* Welcome(TfrmMain& m) { return qobject_cast<TfrmSel_Mode*>(m.Page("TfrmSel_Mode")); }
    QString UserOption(const QString& section, const QString& key) {
        return IniFile(TOptionFile::UserFolder() + "option.ini").ReadString(section, key, "<none>");
    }
    static void PickLanguage(TfrmSel_Mode* w, const QString& code) {
        const QStringList& files = qobject_cast<TfrmMain*>(w->window())->LangFiles();
        for (int i = 0; i < files.size(); ++i)
            if (LangCodeOfFile(files[i]) == code) {
                w->cmbLan->setCurrentIndex(i);
                w->cmbLanChange();
                return;
            }
        FAIL() << "no language file for " << code.toStdString();
    }
};

TEST_F(MainWindow, StartsOnTheWelcomePageInEnglish) {
    auto m = Start();
    ASSERT_TRUE(m->StartedOk());
    // The advanced window exists from the start, hidden behind the welcome page.
    ASSERT_NE(m->Page("TfrmAdv_Main"), nullptr);
    EXPECT_TRUE(m->Page("TfrmAdv_Main")->isHidden());
    TfrmSel_Mode* w = Welcome(*m);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(m->CurrentPage(), w);
    EXPECT_EQ(CurLang(), "en");
    EXPECT_EQ(m->lblCaption->text(), w->Caption());
    EXPECT_FALSE(w->Caption().isEmpty());
    EXPECT_EQ(w->Label5->text(), "Welcome");
    EXPECT_EQ(w->lblLan->text(), "Language:");
    EXPECT_EQ(w->btnEasy->text(), "&Start");
    EXPECT_EQ(m->lblInsInfo->text(), "Online CD");
    EXPECT_EQ(m->lblAbout->text(), "About...");
    EXPECT_EQ(m->lblAdv->text(), "Advance");
    EXPECT_EQ(m->lblClose->text(), "Exit");
    EXPECT_EQ(m->size(), QSize(652, 493));
    EXPECT_EQ(m->Panel2->height(), 43);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), m->windowTitle());
    // Five languages on offer, named in English, English selected.
    EXPECT_EQ(m->LangFiles().size(), 5);
    EXPECT_EQ(w->cmbLan->count(), 5);
    EXPECT_EQ(w->cmbLan->currentText(), "English");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindow, LanguageChoiceIsAppliedEverywhereAndRemembered) {
    {
        auto m = Start();
        TfrmSel_Mode* w = Welcome(*m);
        struct Case {
            const char* code;
            const char* name;     // the language's own name, as its file writes it
            const char* welcome;  // the welcome page's greeting
        } cases[] = {
            {"cn", "简体中文", "欢迎使用"}, {"b5", "繁體中文", "歡迎使用"}, {"pl", "Polski", "Witamy"},
            {"kr", "한국어", "환영합니다"}, {"en", "English", "Welcome"},
        };
        for (const Case& c : cases) {
            const char* code = c.code;
            PickLanguage(w, code);
            EXPECT_EQ(CurLang(), code);
            EXPECT_EQ(UserOption("Global", "lan"), code);
            EXPECT_EQ(w->cmbLan->count(), 5);
            EXPECT_EQ(w->cmbLan->currentText(), QString::fromUtf8(c.name)) << code;
            EXPECT_EQ(m->lblCaption->text(), w->Caption());
            EXPECT_EQ(w->Label5->text(), QString::fromUtf8(c.welcome)) << code;
            if (!qEnvironmentVariableIsEmpty("IPCAM_SCREENSHOTS")) {
                m->show();
                QTest::qWait(50);
                m->grab().save(qEnvironmentVariable("IPCAM_SCREENSHOTS") + "/welcome-" + code + ".png");
            }
        }
        PickLanguage(w, "pl");
    }
    auto again = Start();
    EXPECT_EQ(CurLang(), "pl");
    EXPECT_EQ(Welcome(*again)->cmbLan->currentText(), "Polski");
}

TEST_F(MainWindow, LanguageFromTheLocaleWhenNoneIsStored) {
    struct Case {
        const char* locale;
        const char* lang;
    };
    for (const Case& c : {Case{"zh_CN.UTF-8", "cn"}, Case{"zh_TW.UTF-8", "b5"}, Case{"ja_JP.UTF-8", "en"},
                          Case{"ko_KR.UTF-8", "en"}, Case{"de_DE.UTF-8", "en"}}) {
        qputenv("LC_ALL", c.locale);
        auto m = Start();
        EXPECT_EQ(CurLang(), c.lang) << c.locale;
    }
    EXPECT_EQ(LangCodeForOemCodePage(936), "cn");
    EXPECT_EQ(LangCodeForOemCodePage(932), "jp");
    EXPECT_EQ(LangCodeForOemCodePage(1145), "spa");
    EXPECT_EQ(LangCodeForOemCodePage(850), "en");
}

TEST_F(MainWindow, StoredLanguageWithoutFileIsTakenAsItIs) {
    QDir().mkpath(TOptionFile::UserFolder());
    WriteBytes(TOptionFile::UserFolder() + "option.ini", "[Global]\r\nlan=jp\r\n");
    auto m = Start();
    ASSERT_TRUE(m->StartedOk());
    EXPECT_EQ(CurLang(), "jp");
    EXPECT_EQ(Welcome(*m)->cmbLan->currentIndex(), -1);
    EXPECT_TRUE(m->LangFiles().isEmpty()) << "no file names the language jp";
}

TEST_F(MainWindow, FileLackingTheCurrentLanguageNameIsNotOffered) {
    // A stray file in the language folder that matches the mask but names no languages.
    WriteBytes(dirs.Tmp() + "/" + TTools::ExeName() + "/" + TTools::ExeName() + ".lzz", "[Global]\r\nName_cn=x\r\n");
    auto m = Start();
    EXPECT_EQ(m->LangFiles().size(), 5);
    for (const QString& f : m->LangFiles()) EXPECT_FALSE(f.endsWith(".lzz"));
}

TEST_F(MainWindow, BottomLinks) {
    WriteBytes(ConfigPath(), "[LINK]\r\nOnlineCD=http://cd.example/doc/b_cn.htm\r\nAbout=http://about.example/\r\n");
    auto m = Start();
    m->lblInsInfoClick();
    m->lblAboutClick();
    SetLanguage("cn");
    m->lblInsInfoClick();
    EXPECT_EQ(opened, QStringList({"http://cd.example/doc/b_en.htm", "http://about.example/", "http://cd.example/doc/b_cn.htm"}));
    EXPECT_EQ(OnlineCdAddress("http://x/b_cn.htm", "pl"), "http://x/b_pl.htm");
    EXPECT_EQ(OnlineCdAddress("http://x/a_cn.b_cn.htm", " kr "), "http://x/a_kr.b_kr.htm");
    EXPECT_EQ(OnlineCdAddress("http://x/b_cn.htm", "cn"), "http://x/b_cn.htm");
}

TEST_F(MainWindow, LinksDoNothingWithoutConfig) {
    auto m = Start();
    m->lblInsInfoClick();
    m->lblAboutClick();
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(MainWindow, AdvanceLinkToggles) {
    auto m = Start();
    TfrmPageBase* welcome = m->CurrentPage();
    m->lblAdvClick();
    EXPECT_EQ(m->CurrentPage(), m->Page("TfrmAdv_Main"));
    EXPECT_TRUE(welcome->isHidden());
    EXPECT_EQ(m->lblCaption->text(), "Advance Mode");
    EXPECT_EQ(m->lblAdv->text(), "Wizard Mode");
    EXPECT_EQ(m->AdvLinkTag(), 2);
    m->lblAdvClick();
    EXPECT_EQ(m->lblAdv->text(), "Advance Mode");
    EXPECT_EQ(m->AdvLinkTag(), 1);
    EXPECT_EQ(m->CurrentPage(), welcome);
}

TEST_F(MainWindow, ShowPageRules) {
    auto m = Start();
    TfrmPageBase* welcome = m->CurrentPage();
    m->ShowPage("TFRMSEL_MODE");
    EXPECT_EQ(m->CurrentPage(), welcome);
    EXPECT_FALSE(welcome->isHidden());
    m->ShowPage("TfrmNoSuchPage");
    EXPECT_EQ(m->CurrentPage(), welcome);
    EXPECT_EQ(m->Page("TfrmNoSuchPage"), nullptr);
    EXPECT_EQ(welcome->geometry(), m->plContent->contentsRect());
}

TEST_F(MainWindow, AdvancedModeFlagIsStored) {
    auto m = Start();
    TfrmSel_Mode* w = Welcome(*m);
    EXPECT_FALSE(w->chkAdvMode->isChecked());
    EXPECT_FALSE(w->chkAdvMode->isVisible());
    w->chkAdvMode->setChecked(true);
    w->chkAdvModeClick();
    EXPECT_EQ(UserOption("DevFind", "advmode"), "1");
    m.reset();
    auto again = Start();
    EXPECT_TRUE(Welcome(*again)->chkAdvMode->isChecked());
    EXPECT_EQ(again->CurrentPage(), again->Page("TfrmAdv_Main")) << "advanced mode straight away";
    EXPECT_EQ(again->AdvLinkTag(), 1) << "the link still leads to advanced mode first";
}

TEST_F(MainWindow, SecondInstanceIsRefusedAndLeavesTheFilesOfTheFirst) {
    auto first = Start();
    ASSERT_TRUE(first->StartedOk());
    EXPECT_FALSE(first->isVisible());
    {
        TfrmMain second(ConfigPath());
        EXPECT_FALSE(second.StartedOk());
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].text, first->windowTitle() + " has been already running.");
        EXPECT_EQ(messages[0].title, "Warning");
        EXPECT_EQ(messages[0].flags, MB::ICONWARNING);
    }
    // The first instance comes to the front and can still read its language files.
    QTRY_VERIFY_WITH_TIMEOUT(first->isVisible(), 3000);
    EXPECT_EQ(GetResString("IDS_WARNING"), "Warning");
    EXPECT_TRUE(QFileInfo::exists(LangFilePathFor("en")));
    const QString dir = LangDir();
    first.reset();
    EXPECT_FALSE(QFileInfo::exists(dir)) << "the language folder goes with the last instance";
    // Now a new start is welcome again.
    auto third = Start();
    EXPECT_TRUE(third->StartedOk());
}

TEST_F(MainWindow, UnwritableSettingsAreReportedAndTheSwitchStays) {
    QDir().mkpath(TOptionFile::UserFolder() + "option.ini");  // a folder where the file should be
    auto m = Start();
    PickLanguage(Welcome(*m), "pl");
    EXPECT_EQ(CurLang(), "pl");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(TOptionFile::UserFolder() + "option.ini"));
    EXPECT_EQ(messages[0].flags, MB::ICONERROR);
}

TEST_F(MainWindow, SkinFileIsAppliedAsStyleSheet) {
    const QString skin = QApplication::applicationFilePath() + ".mskn";
    WriteBytes(skin, "QLabel#lblCaption { color: rgb(1, 2, 3); }");
    auto m = Start();
    QFile::remove(skin);
    EXPECT_TRUE(qApp->styleSheet().contains("rgb(1, 2, 3)"));
    qApp->setStyleSheet(QString());
}

TEST_F(MainWindow, ReapplyLanguageReachesHiddenPages) {
    auto m = Start();
    TfrmSel_Mode* w = Welcome(*m);
    w->hide();
    SetLanguage("cn");
    m->ReapplyLanguage();
    EXPECT_EQ(w->Label5->text(), QString::fromUtf8("欢迎使用"));
    EXPECT_EQ(m->windowTitle(), QString::fromUtf8("网络摄像机设置向导"));
}

}  // namespace
