// Every form the program has, offscreen, in every language: its texts fit their controls, and
// with IPCAM_SCREENSHOTS set (scripts/screenshots) each is saved as a picture named after the
// form. The advanced window is shown inside the simulated LAN (scripts/simlan with lan-sim's
// basic.ini), with a camera of each family selected in turn.

#include "AdvMain.h"
#include "AuthInput.h"
#include "Controls.h"
#include "DeviceList.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "Platform.h"
#include "PortForward.h"
#include "Screenshots.h"
#include "SelMode.h"
#include "TestDirs.h"
#include "TestFamilies.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QStringList kLanguages = {"en", "cn", "b5", "pl", "kr"};

bool Wanted(const QString& lang)
{
    return testsupport::ScreenshotLanguages().contains(lang);
}

// Texts that do not fit are cut off on the screen: every visible label (one line) is at least
// as wide as its text needs, every button wider than its text, and each lies inside the form.
void ExpectTextsFit(QWidget* form, const QString& lang)
{
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form))
            continue;
        const auto* label = qobject_cast<QLabel*>(w);
        const auto* button = qobject_cast<QAbstractButton*>(w);
        int needs = 0;
        if (label && !label->text().isEmpty() && !label->wordWrap())
            needs = label->sizeHint().width();
        else if (button && !button->text().isEmpty())
            needs = button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + 4;
        else
            continue;
        EXPECT_GE(w->width(), needs)
            << lang.toStdString() << ": " << w->objectName().toStdString() << " cuts its text";
        const QRect inForm(w->mapTo(form, QPoint(0, 0)), w->size());
        EXPECT_TRUE(form->rect().contains(inForm))
            << lang.toStdString() << ": " << w->objectName().toStdString() << " lies outside";
    }
}

class Forms : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    QStringList messages;
    void SetUp() override
    {
        SetMessageBoxHook([this](const QString& t, const QString&, int) {
            messages << t;
            return MB::IDOK;
        });
        SetAddressOpener([](const QString&) {});
    }
    void TearDown() override
    {
        SetMessageBoxHook(nullptr);
        SetAddressOpener(nullptr);
        SetCurLang("en");
    }
    std::unique_ptr<TfrmMain> Start()
    {
        auto m = std::make_unique<TfrmMain>(dirs.Path("program/Config.ini"));
        EXPECT_TRUE(m->StartedOk());
        m->show();
        return m;
    }
    static void Settle() { QTest::qWait(50); }
};

}  // namespace

TEST_F(Forms, WelcomePageInEveryLanguage)
{
    auto m = Start();
    auto* welcome = qobject_cast<TfrmSel_Mode*>(m->Page("TfrmSel_Mode"));
    ASSERT_NE(welcome, nullptr);
    ASSERT_EQ(m->CurrentPage(), welcome);
    for (const QString& lang : kLanguages) {
        const int i = int(std::find_if(m->LangFiles().begin(), m->LangFiles().end(),
                                       [&](const QString& f) { return LangCodeOfFile(f) == lang; }) -
                          m->LangFiles().begin());
        ASSERT_LT(i, m->LangFiles().size()) << lang.toStdString();
        welcome->cmbLan->setCurrentIndex(i);
        welcome->cmbLanChange();
        Settle();
        ASSERT_EQ(CurLang(), lang);
        ExpectTextsFit(welcome, lang);
        if (Wanted(lang))
            testsupport::SaveScreenshot(m.get(), QStringLiteral("TfrmSel_Mode"));
    }
}

// In the simulated LAN: the window lists lan-sim's cameras, and each family's camera can be
// selected.
TEST_F(Forms, AdvancedWindowWithACameraOfEachFamily)
{
    if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
        GTEST_SKIP() << "runs inside scripts/simlan only (lan-sim's basic.ini)";
    auto m = Start();
    m->lblAdvClick();
    auto* adv = qobject_cast<TfrmAdv_Main*>(m->CurrentPage());
    ASSERT_NE(adv, nullptr);
    adv->btnFindClick();  // with the family-4 library beside the test
    const int families[] = {2, 4, 5, 8, 9};
    auto rowOf = [&](int family) {
        const TDeviceList& list = adv->Devices();
        for (int i = 0; i < list.Count(); ++i) {
            // basic.ini puts one camera of each family into the PC's subnet.
            if (list.RecordAt(i)->Family == family && list.RecordAt(i)->IP.startsWith("192.168.7."))
                return i;
        }
        return -1;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(std::begin(families), std::end(families), [&](int f) { return rowOf(f) >= 0; });
    }, 8000)) << adv->Devices().Count() << " cameras listed";
    EXPECT_EQ(adv->lblDevNum->text(), QStringLiteral("Count: %1").arg(adv->Devices().Count()));
    EXPECT_TRUE(adv->plInfo->isHidden());

    for (const QString& lang : kLanguages) {
        SetLanguage(lang);
        m->ReapplyLanguage();
        for (int family : families) {
            const int row = rowOf(family);
            ASSERT_GE(row, 0) << family;
            adv->ListView->setCurrentIndex(adv->ListView->model()->index(row, 0));
            Settle();
            const QModelIndex current = adv->ListView->currentIndex();
            ASSERT_TRUE(current.isValid());
            EXPECT_EQ(adv->Devices().RecordAt(current.row())->Family, family);
            if (Wanted(lang))
                testsupport::SaveScreenshot(m.get(), QStringLiteral("TfrmAdv_Main-family%1").arg(family));
        }
    }
}

TEST_F(Forms, LoginDialogInEveryLanguage)
{
    TfrmStrRes res;  // the language files, as the program writes them at start
    for (const QString& lang : kLanguages) {
        SetLanguage(lang);
        for (int family : {5, 9}) {
            TfrmAuthInput dlg(testsupport::Families());
            dlg.SetFamily(family);
            dlg.edUser->setText(QStringLiteral("admin"));
            dlg.show();
            Settle();
            ExpectTextsFit(&dlg, lang);
            if (Wanted(lang))
                testsupport::SaveScreenshot(&dlg, QStringLiteral("TfrmAuthInput-family%1").arg(family));
        }
    }
}

TEST_F(Forms, PortMappingDialogInEveryLanguage)
{
    TfrmStrRes res;
    TPortMapSetup setup;
    setup.RouterDir = dirs.Path("program/Router/");
    setup.ConfigPath = dirs.Path("program/Config.ini");
    setup.PlugInHost = dirs.Path("program/ipcam-plugin-host");
    QDir().mkpath(setup.RouterDir);
    ASSERT_TRUE(QFile::copy(QStringLiteral(IPCAM_ROUTER_INI), setup.RouterDir + "Router.ini"));
    for (const QString& lang : kLanguages) {
        SetLanguage(lang);
        TfrmPortForward dlg(nullptr, setup);
        dlg.RouterIP = QStringLiteral("192.168.7.1");
        ASSERT_TRUE(dlg.AddMapping(QStringLiteral("192.168.7.51"), QStringLiteral("81"), QStringLiteral("TCP")));
        dlg.EnsureRouterList();
        dlg.show();
        Settle();
        ExpectTextsFit(&dlg, lang);
        if (Wanted(lang))
            testsupport::SaveScreenshot(&dlg, QStringLiteral("TfrmPortForward"));
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}
