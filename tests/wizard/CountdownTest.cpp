// The restart countdown on the manual clock, and the information box.

#include "Countdown.h"
#include "QInfo.h"
#include "Screenshots.h"
#include "WizardFixture.h"

#include <QLabel>
#include <QPushButton>

namespace {

const QString kCancelWait = QStringLiteral(
    "make sure you want to cancel the wait? if you cancel the wait, it will return to the \"Select Camera\" interface.");

class Countdown : public WizardTest {
protected:
    std::unique_ptr<TfrmCountdown> Start(int seconds, const QString& mac, const QString& ip, const QString& hint = {})
    {
        auto dlg = std::make_unique<TfrmCountdown>(List(), *clock, main.get());
        dlg->Setup(seconds, mac, ip, hint);
        dlg->StartTimers();
        return dlg;
    }
    QColor HintColour(const TfrmCountdown& d) const { return d.lblHint->palette().color(QPalette::WindowText); }
};

TEST_F(Countdown, CountsDownAndRunsOutWithAHintThatBlinks) {
    auto d = Start(60, "00:1A:2B:00:00:01", "10.77.0.50", "Please re-plug the network cable");
    EXPECT_EQ(d->windowTitle(), "Countdown of restarting");
    EXPECT_EQ(d->size(), QSize(252, 172));
    EXPECT_EQ(d->btnCancel->text(), "&Cancel");
    EXPECT_EQ(d->lblTime->text(), "60");
    EXPECT_EQ(d->lblHint->text(), "Please re-plug the network cable");
    EXPECT_TRUE(d->Blink);
    const QColor normal = d->palette().color(QPalette::WindowText);
    QStringList shown;
    for (int s = 1; s <= 60; ++s) {
        clock->Advance(1000);
        shown << d->lblTime->text();
        // Odd seconds left: the normal colour; even ones: red.
        EXPECT_EQ(HintColour(*d), (60 - s) % 2 ? normal : QColor(Qt::red)) << s;
        if (s < 60)
            ASSERT_FALSE(d->Finished()) << s;
    }
    EXPECT_EQ(shown.first(), "59");
    EXPECT_EQ(shown[58], "1");
    EXPECT_EQ(shown.last(), "0");
    EXPECT_TRUE(d->Finished());
    EXPECT_EQ(d->WaitResult, TfrmCountdown::kTimeOut);
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_EQ(clock->Running(), 0) << "both timers stop with the wait";
    EXPECT_TRUE(boxes.isEmpty()) << "running out asks nothing";
}

TEST_F(Countdown, WithoutAHintTheLanguageTextStaysAndDoesNotBlink) {
    auto d = Start(40, "00:1A:2B:00:00:01", "10.77.0.50");
    const QColor before = HintColour(*d);
    EXPECT_EQ(d->lblHint->text(), "The camera is restarting...");
    EXPECT_FALSE(d->Blink);
    for (int s = 0; s < 5; ++s) {
        clock->Advance(1000);
        EXPECT_EQ(HintColour(*d), before);
    }
}

// A camera that is listed before the wait starts (its row from before the restart) still makes
// the wait last 31 seconds; it is found by MAC, or else by address.
TEST_F(Countdown, TheCameraIsLookedForFromThe31stSecondOn) {
    struct Case {
        const char* what;
        QString listedMac, listedIp;  // the row in the list
        QString keyMac, keyIp;        // what the wait looks for
        int result;
    } cases[] = {
        {"by MAC", "00:1A:2B:00:00:01", "10.77.0.50", "00:1A:2B:00:00:01", "10.77.0.99", TfrmCountdown::kFound},
        {"by address", "00:1A:2B:00:00:02", "10.77.0.51", "00:1A:2B:00:00:09", "10.77.0.51", TfrmCountdown::kFound},
        {"MAC compared exactly", "00:1a:2b:00:00:03", "10.77.0.52", "00:1A:2B:00:00:03", "10.77.0.98", TfrmCountdown::kTimeOut},
    };
    for (const Case& c : cases) {
        List().ClearDevices();
        Add(Camera(5, c.listedMac, c.listedIp));
        auto d = Start(40, c.keyMac, c.keyIp);
        clock->Advance(30999);
        ASSERT_FALSE(d->Finished()) << c.what;
        clock->Advance(1);
        if (c.result == TfrmCountdown::kFound) {
            EXPECT_TRUE(d->Finished()) << c.what << ": found at 31 s";
            EXPECT_EQ(d->result(), QDialog::Accepted) << c.what;
        } else {
            clock->Advance(9000);
            EXPECT_TRUE(d->Finished()) << c.what << ": ends when the time runs out, after 40 s";
        }
        EXPECT_EQ(d->WaitResult, c.result) << c.what;
    }
}

TEST_F(Countdown, CancelAsksAndNoGoesOnUntilTheCameraIsBack) {
    auto d = Start(60, "00:1A:2B:00:00:01", "10.77.0.50");
    clock->Advance(5000);
    d->btnCancelClick();  // answered No
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, kCancelWait);
    EXPECT_EQ(boxes[0].title, "Confirmation");
    EXPECT_EQ(boxes[0].flags, MB::ICONQUESTION | MB::YESNO | MB::DEFBUTTON2);
    EXPECT_FALSE(d->Finished());
    EXPECT_EQ(d->lblTime->text(), "55") << "the countdown goes on where it was";
    clock->Advance(25000);
    Add(Camera(5, "00:1A:2B:00:00:01", "10.77.0.50"));
    clock->Advance(1000);
    EXPECT_TRUE(d->Finished());
    EXPECT_EQ(d->WaitResult, TfrmCountdown::kFound);
}

TEST_F(Countdown, CancelOrTheCloseBoxWithYesEndsTheWaitCancelled) {
    for (int how = 0; how < 3; ++how) {
        boxes.clear();
        answers = {MB::IDYES};
        auto d = Start(60, "00:1A:2B:00:00:01", "10.77.0.50");
        d->show();
        clock->Advance(2000);
        if (how == 0)
            d->btnCancelClick();
        else if (how == 1)
            d->close();  // the window's close box
        else
            d->reject();  // Escape
        EXPECT_EQ(boxes.size(), 1) << how;
        EXPECT_TRUE(d->Finished()) << how;
        EXPECT_EQ(d->WaitResult, TfrmCountdown::kCancelled) << how;
    }
}

// While the question is open the timers keep firing: the time may run out (or the camera come
// back) before the user answers; the answer then changes nothing.
TEST_F(Countdown, TheWaitCanEndWhileTheQuestionIsOpen) {
    auto d = Start(40, "00:1A:2B:00:00:01", "10.77.0.50");
    clock->Advance(35000);
    onBox = [this](const TBox&) { clock->Advance(5000); };
    answers = {MB::IDYES};
    d->btnCancelClick();
    EXPECT_TRUE(d->Finished());
    EXPECT_EQ(d->WaitResult, TfrmCountdown::kTimeOut);
}

TEST_F(Countdown, InformationBox) {
    for (const QString& lang : QStringList{"en", "pl"}) {
        SetLanguage(lang);
        TFrmQInfo box(main.get());
        box.SetInfo(ForDisplay(GetResString("IDS_LINKSOURCE")));
        EXPECT_EQ(box.size(), QSize(395, 191));
        EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(box.BitBtn1->text(), QString::fromUtf8("我知道了")) << "the same in every language";
        EXPECT_TRUE(box.Label1->text().contains('\n')) << "$n becomes a line break";
        if (lang == "en")
            EXPECT_TRUE(box.Label1->text().startsWith("After the IP camera is connected to power."));
        box.show();
        Snap(&box, "TFrmQInfo-linksource");
        box.BitBtn1->click();
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), QDialog::Accepted);
    }
}

TEST_F(Countdown, Screenshot) {
    if (!testsupport::TakingScreenshots())
        GTEST_SKIP() << "IPCAM_SCREENSHOTS is not set";
    for (const QString& lang : testsupport::ScreenshotLanguages()) {
        SetLanguage(lang);
        auto d = Start(60, "00:1A:2B:00:00:01", "10.77.0.50", GetResString("IDS_REMOVELAN"));
        clock->Advance(3000);
        d->show();
        Snap(d.get(), "TfrmCountdown");
    }
}

}  // namespace
