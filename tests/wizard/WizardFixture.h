#pragma once
// The program's main window offscreen for the easy-mode pages, with its timers on a manual
// clock, message boxes answered from a list, addresses recorded instead of opened, and dialogs
// of the pages run by the test.

#include "AdvMain.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "DiscoveryEngine.h"
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "ManualClock.h"
#include "Platform.h"
#include "Screenshots.h"
#include "TestDirs.h"
#include "WizardPage.h"

#include <QCoreApplication>
#include <QDialog>
#include <gtest/gtest.h>

// A screenshot once pending layout changes (a language switch, shown or hidden fields) are done.
inline void Snap(QWidget* w, const QString& name)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    testsupport::SaveScreenshot(w, name);
}

struct TBox {
    QString text, title;
    int flags;
};

inline TDevInfo Camera(int family, const QString& mac, const QString& ip, quint16 port = 80)
{
    TDevInfo d;
    d.Family = family;
    d.Mac = mac;
    d.MacHex = MacHexOf(mac);
    d.IP = ip;
    d.HttpPort = port;
    d.Mask = QStringLiteral("255.255.255.0");
    return d;
}

class WizardTest : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    QList<TBox> boxes;
    QList<int> answers;  // answers to Yes/No boxes in turn; No when none is left
    std::function<void(const TBox&)> onBox;  // runs while a box is "open"
    QStringList opened;
    std::unique_ptr<TfrmMain> main;
    TManualClock* clock = nullptr;
    TfrmAdv_Main* adv = nullptr;

    void SetUp() override
    {
        SetMessageBoxHook([this](const QString& t, const QString& ti, int f) {
            boxes.append({t, ti, f});
            if (onBox)
                onBox(boxes.back());
            if ((f & 0x0F) != MB::YESNO)
                return MB::IDOK;
            return answers.isEmpty() ? MB::IDNO : answers.takeFirst();
        });
        SetAddressOpener([this](const QString& a) { opened.append(a); });
        StartMain();
    }
    // The window is shown: pages start their work when they are shown.
    void StartMain()
    {
        main = std::make_unique<TfrmMain>(ConfigPath());
        ASSERT_TRUE(main->StartedOk());
        main->show();
        auto c = std::make_unique<TManualClock>();
        clock = c.get();
        main->SetClock(std::move(c));
        adv = qobject_cast<TfrmAdv_Main*>(main->Page("TfrmAdv_Main"));
        ASSERT_NE(adv, nullptr);
    }
    void TearDown() override
    {
        main.reset();
        SetMessageBoxHook(nullptr);
        SetAddressOpener(nullptr);
        SetCurLang("en");
    }
    QString ConfigPath() const { return dirs.Path("program/Config.ini"); }
    TDeviceList& List() { return adv->Devices(); }
    void Add(const TDevInfo& rec) { adv->Engine().DeliverRecord(rec); }
    TCurrentCamera& Cur() { return main->CurrentCamera(); }
    template <class Page>
    Page* Show(const char* className)
    {
        main->ShowPage(QString::fromLatin1(className));
        auto* p = qobject_cast<Page*>(main->Page(QString::fromLatin1(className)));
        EXPECT_NE(p, nullptr) << className;
        return p;
    }
    QString CurrentPageName() const
    {
        TfrmPageBase* p = main->CurrentPage();
        return p ? QString::fromLatin1(p->metaObject()->className()) : QString();
    }
    QStringList BoxTexts() const
    {
        QStringList t;
        for (const TBox& b : boxes)
            t << b.text;
        return t;
    }
};
