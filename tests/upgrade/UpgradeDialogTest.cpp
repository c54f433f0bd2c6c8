// The firmware upgrade dialog offscreen, against camera web servers of the test's own on
// 127.0.0.1: its texts, the chooser's filter, every message of every family path, the modal
// run, the progress it shows, and Exit or close while an upload runs.

#include "LangForms.h"
#include "LangRes.h"
#include "TestDirs.h"
#include "TestFamilies.h"
#include "TestHttpServer.h"
#include "TestTiming.h"
#include "UpgradeSoft.h"

#include "Controls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Box {
    QString text;
    QString title;
    int flags;
    bool operator==(const Box&) const = default;
};
void PrintTo(const Box& b, std::ostream* os)
{
    *os << '{' << b.text.toStdString() << " | " << b.title.toStdString() << " | " << b.flags << '}';
}

const Box kErrFile{"The selected file is incorrect.", "Error", MB::ICONERROR};
const Box kSuccess{"Upgrade success!", "Information", MB::ICONINFORMATION};
const Box kFailed{"Upgrade failed!", "Error", MB::ICONERROR};

class UpgradeDialog : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res = std::make_unique<TfrmStrRes>();
    std::vector<Box> boxes;
    // Runs while a message box would be up: whether the window was still busy then.
    std::vector<bool> busyAtBox;
    TfrmUpgradeSoft* shown = nullptr;

    void SetUp() override
    {
        SetLanguage("en");
        SetMessageBoxHook([this](const QString& t, const QString& title, int flags) {
            boxes.push_back({t, title, flags});
            busyAtBox.push_back(shown && shown->Busy());
            return MB::IDOK;
        });
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dirs.Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    std::unique_ptr<TfrmUpgradeSoft> Dialog(int family, int port)
    {
        auto dlg = std::make_unique<TfrmUpgradeSoft>(testsupport::Families());
        dlg->DevFamily = family;
        dlg->DevIP = "127.0.0.1";
        dlg->DevPort = port;
        dlg->DevUser = "admin";
        dlg->DevPwd = "pw";
        shown = dlg.get();
        return dlg;
    }
};

TEST_F(UpgradeDialog, CaptionsFromTheLanguageFile)
{
    for (const char* lang : {"en", "cn"}) {
        SetLanguage(lang);
        auto dlg = Dialog(2, 80);
        const bool en = QLatin1String(lang) == QLatin1String("en");
        EXPECT_EQ(dlg->windowTitle(), en ? "Select Firmware" : QString::fromUtf8("选择固件"));
        EXPECT_EQ(dlg->RadioButton2->text(), en ? "Embeded Web UI Firmware" : QString::fromUtf8("内嵌网页固件"));
        EXPECT_EQ(dlg->RadioButton1->text(), en ? "System Firmware" : QString::fromUtf8("系统固件"));
        EXPECT_EQ(dlg->Label1->text(), en ? "Source File:" : QString::fromUtf8("源文件："));
        EXPECT_EQ(dlg->BitBtn1->toolTip(), en ? "Browse" : QString::fromUtf8("浏览"));
        EXPECT_EQ(dlg->BitBtn1->text(), "");
        EXPECT_FALSE(dlg->BitBtn1->icon().isNull());
        EXPECT_EQ(dlg->BitBtn2->text(), en ? "&Upgrade" : QString::fromUtf8("升级(&U)"));
        EXPECT_EQ(dlg->BitBtn3->text(), en ? "&Exit" : QString::fromUtf8("退出(&E)"));
        EXPECT_EQ(dlg->OpenDialog1->Filter(),
                  en ? "Upgrade package(*.bin)|*.bin" : QString::fromUtf8("升级包(*.bin)|*.bin"));
        // The web pages are chosen at start; nothing of a progress shows.
        EXPECT_TRUE(dlg->RadioButton2->isChecked());
        EXPECT_FALSE(dlg->RadioButton1->isChecked());
        dlg->show();
        EXPECT_FALSE(dlg->lblProgress->isVisible());
        EXPECT_FALSE(dlg->pbProgress->isVisible());
        // Fixed size, and every caption whole.
        EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
        for (QAbstractButton* b : {static_cast<QAbstractButton*>(dlg->RadioButton1),
                                   static_cast<QAbstractButton*>(dlg->RadioButton2),
                                   static_cast<QAbstractButton*>(dlg->BitBtn2),
                                   static_cast<QAbstractButton*>(dlg->BitBtn3)})
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString() << " " << lang;
    }
}

TEST_F(UpgradeDialog, BrowseOffersPackagesToFamilyFiveAndTakesThePath)
{
    QStringList offered;
    QString answer = "/tmp/chosen fw.pk2";
    for (int family : {5, 2}) {
        auto dlg = Dialog(family, 80);
        dlg->SetFileChooser([&](const QString& filter) {
            offered << filter;
            return answer;
        });
        dlg->BitBtn1Click();
        dlg->BitBtn1Click();
        EXPECT_EQ(dlg->Edit1->text(), "/tmp/chosen fw.pk2");
        // Cancel in the chooser keeps what was there.
        answer.clear();
        dlg->BitBtn1Click();
        EXPECT_EQ(dlg->Edit1->text(), "/tmp/chosen fw.pk2");
        answer = "/tmp/chosen fw.pk2";
        EXPECT_EQ(dlg->OpenDialog1->Filter(),
                  family == 5 ? "Upgrade package(*.pk2)|*.pk2" : "Upgrade package(*.bin)|*.bin");
    }
    EXPECT_EQ(offered, QStringList({"Upgrade package(*.pk2) (*.pk2)", "Upgrade package(*.pk2) (*.pk2)",
                                    "Upgrade package(*.pk2) (*.pk2)", "Upgrade package(*.bin) (*.bin)",
                                    "Upgrade package(*.bin) (*.bin)", "Upgrade package(*.bin) (*.bin)"}));
}

// Every path of every family: the message (or none), whether the dialog closed with OK, and
// what reached the camera's web server.
TEST_F(UpgradeDialog, EveryFamilyPathAndItsMessage)
{
    const QString system = Write("system.bin", QByteArray("BNEG0123456789", 14));
    const QString web = Write("web.bin", QByteArray("\xBD\x9A\x0C\x44" "0123456789", 14));
    const QString four = Write("four.bin", "abcd");
    const QString three = Write("three.bin", "abc");
    const QString notAPackage = Write("fw.pk2", "PK2x and more than twenty-eight bytes of it");
    const QString missing = dirs.Path("missing.bin");
    TDevInfo olderFirmware;  // family 9: below 48.2.0.121, the upload goes to the web port
    olderFirmware.Family = 9;
    olderFirmware.IP = "127.0.0.1";
    olderFirmware.Version = "48.2.0.1";

    const struct {
        const char* why;
        int family;
        bool system;
        QString file;
        int status;  // the web server's answer
        std::optional<TDevInfo> record;
        std::vector<Box> want;
        bool accepted;
        size_t requests;
    } cases[] = {
        {"2: system firmware, the name trimmed", 2, true, "  " + system + " ", 200, {}, {kSuccess}, true, 1},
        {"2: web pages", 2, false, web, 200, {}, {kSuccess}, true, 1},
        {"2: web pages are no system firmware", 2, true, web, 200, {}, {kErrFile}, false, 0},
        {"2: system firmware is no web pages", 2, false, system, 200, {}, {kErrFile}, false, 0},
        {"2: other bytes", 2, true, four, 200, {}, {kErrFile}, false, 0},
        {"2: no name", 2, true, "", 200, {}, {kErrFile}, false, 0},
        {"2: the camera refuses", 2, true, system, 500, {}, {kFailed}, false, 1},
        {"8: any four bytes", 8, true, four, 200, {}, {kSuccess}, true, 1},
        {"8: web pages", 8, false, web, 200, {}, {kSuccess}, true, 1},
        {"8: three bytes", 8, true, three, 200, {}, {kErrFile}, false, 0},
        {"8: no such file", 8, false, missing, 200, {}, {kErrFile}, false, 0},
        {"8: wrong login", 8, true, four, 401, {}, {kFailed}, false, 1},
        {"9: the camera is asked for its version", 9, true, four, 200, {}, {kSuccess}, true, 2},
        {"9: the record's version decides", 9, false, four, 200, olderFirmware, {kSuccess}, true, 1},
        {"9: three bytes", 9, true, three, 200, {}, {kErrFile}, false, 0},
        {"9: the camera refuses", 9, true, four, 500, olderFirmware, {kFailed}, false, 1},
        {"5: no name does nothing", 5, true, "", 200, {}, {}, false, 0},
        {"5: no such file does nothing", 5, false, missing, 200, {}, {}, false, 0},
        {"5: not a package fails before connecting", 5, true, notAPackage, 200, {}, {kFailed}, false, 0},
        {"4: no firmware upgrade", 4, true, four, 200, {}, {kFailed}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        boxes.clear();
        busyAtBox.clear();
        CameraServer server([&c](const HttpRequest&) { return HttpAnswer(c.status, "<html>reboot</html>"); });
        auto dlg = Dialog(c.family, server.Port());
        dlg->DevRecord = c.record;
        dlg->show();
        dlg->Edit1->setText(c.file);
        (c.system ? dlg->RadioButton1 : dlg->RadioButton2)->setChecked(true);
        dlg->BitBtn2Click();
        EXPECT_EQ(boxes, c.want);
        for (bool busy : busyAtBox)
            EXPECT_FALSE(busy) << "a message box while the upgrade still ran";
        EXPECT_EQ(dlg->result() == QDialog::Accepted, c.accepted);
        // A failure leaves the dialog open for another try.
        EXPECT_EQ(dlg->isVisible(), !c.accepted);
        EXPECT_EQ(server.RequestCount(), c.requests);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(dlg->BitBtn2->isEnabled());
        EXPECT_TRUE(dlg->Edit1->isEnabled());
    }
}

TEST_F(UpgradeDialog, AnotherTryAfterAFailure)
{
    const QString file = Write("fw.bin", "BNEG....");
    int status = 500;
    CameraServer server([&status](const HttpRequest&) { return HttpAnswer(status, "x"); });
    auto dlg = Dialog(2, server.Port());
    dlg->show();
    dlg->RadioButton1->setChecked(true);
    dlg->Edit1->setText(file);
    dlg->BitBtn2Click();
    status = 200;
    dlg->BitBtn2Click();
    EXPECT_EQ(boxes, (std::vector<Box>{kFailed, kSuccess}));
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

// Shown modally, the dialog ends with OK after an upgrade and cancelled on Exit.
TEST_F(UpgradeDialog, ModalRunEndsWithOkOrCancelled)
{
    const QString file = Write("fw.bin", "abcd");
    CameraServer server([](const HttpRequest&) { return HttpAnswer(200, "ok"); });
    {
        auto dlg = Dialog(8, server.Port());
        dlg->Edit1->setText(file);
        QTimer::singleShot(0, dlg.get(), [&] {
            EXPECT_TRUE(dlg->isModal());
            dlg->BitBtn2->click();
        });
        EXPECT_EQ(dlg->exec(), QDialog::Accepted);
    }
    {
        auto dlg = Dialog(8, server.Port());
        dlg->Edit1->setText(file);
        QTimer::singleShot(0, dlg.get(), [&] { dlg->BitBtn3->click(); });
        EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    }
    EXPECT_EQ(boxes, std::vector<Box>{kSuccess});
    EXPECT_EQ(server.RequestCount(), 1u);
}

// While the body goes out the window shows it: the connection first, then the kilobytes
// sent of the request's size, the last report the whole of it.
TEST_F(UpgradeDialog, ProgressOfAnHttpUpload)
{
    const QString file = Write("fw.bin", QByteArray(700 * 1024, 'F'));
    CameraServer server([](const HttpRequest&) { return HttpAnswer(200, "ok"); });
    auto dlg = Dialog(8, server.Port());
    QStringList texts;
    QObject::connect(dlg.get(), &TfrmUpgradeSoft::progressShown, [&] {
        EXPECT_TRUE(dlg->lblProgress->isVisible());
        EXPECT_TRUE(dlg->pbProgress->isVisible());
        texts << dlg->lblProgress->text();
    });
    dlg->show();
    dlg->Edit1->setText(file);
    dlg->BitBtn2Click();
    ASSERT_EQ(boxes, std::vector<Box>{kSuccess});
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.front(), "Connecting to the camera...");
    const qint64 body = qint64(server.Requests().at(0).body.size());
    const QString whole = QString::number((body + 1023) / 1024);
    EXPECT_EQ(texts.back(), "Sending the firmware: " + whole + " of " + whole + " KB");
    EXPECT_EQ(dlg->LastProgress().bytesSent, body);
    EXPECT_EQ(dlg->pbProgress->value(), dlg->pbProgress->maximum());
}

// Exit, the window's close button and Escape while the camera takes its time: the upload
// ends, no message comes, the dialog closes cancelled.
TEST_F(UpgradeDialog, ExitOrCloseDuringAnUploadEndsIt)
{
    const QString file = Write("fw.bin", QByteArray(64 * 1024, 'F'));
    TestServer silent([](Connection& c, const HttpRequest&) { c.HoldUntilStop(); });
    const std::function<void(TfrmUpgradeSoft&)> ways[] = {
        [](TfrmUpgradeSoft& d) { d.BitBtn3->click(); },
        [](TfrmUpgradeSoft& d) { d.close(); },
        [](TfrmUpgradeSoft& d) { QTest::keyClick(&d, Qt::Key_Escape); },
    };
    for (const auto& leave : ways) {
        silent.ClearRequests();
        auto dlg = Dialog(9, silent.Port());
        TDevInfo cam;
        cam.Family = 9;
        cam.IP = "127.0.0.1";
        cam.Version = "1";
        dlg->DevRecord = cam;
        dlg->Edit1->setText(file);
        QElapsedTimer sinceLeave;
        bool busyBefore = false, exitEnabled = false, upgradeDisabled = false, busyCursor = false;
        QObject::connect(dlg.get(), &TfrmUpgradeSoft::upgradeStarted, dlg.get(), [&] {
            // Once the camera has the whole body and says nothing.
            QTimer* poll = new QTimer(dlg.get());
            QObject::connect(poll, &QTimer::timeout, dlg.get(), [&, poll] {
                if (silent.RequestCount() == 0)
                    return;
                poll->stop();
                busyBefore = dlg->Busy();
                exitEnabled = dlg->BitBtn3->isEnabled();
                upgradeDisabled = !dlg->BitBtn2->isEnabled() && !dlg->Edit1->isEnabled() &&
                                  !dlg->BitBtn1->isEnabled() && !dlg->RadioButton1->isEnabled();
                busyCursor = QApplication::overrideCursor() &&
                             QApplication::overrideCursor()->shape() == Qt::BusyCursor;
                sinceLeave.start();
                leave(*dlg);
            });
            poll->start(10);
        });
        QTimer::singleShot(0, dlg.get(), [&] { dlg->BitBtn2->click(); });
        EXPECT_EQ(dlg->exec(), QDialog::Rejected);
        EXPECT_TRUE(busyBefore);
        EXPECT_TRUE(exitEnabled);
        EXPECT_TRUE(upgradeDisabled);
        EXPECT_TRUE(busyCursor);
        ASSERT_TRUE(sinceLeave.isValid());
        EXPECT_LT(sinceLeave.elapsed(), testsupport::Slack(2500));
        EXPECT_FALSE(dlg->Busy());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(boxes.empty());
    silent.Stop();
}

}  // namespace
