// The upgrade dialog end to end in the simulated LAN of scripts/simlan, against lan-sim's
// cameras of simlan-cameras.ini: a search finds the camera, the dialog sends its family's
// firmware the way the advanced window would open it, lan-sim records what the camera took,
// and a later search finds the camera back after its restart. Family 5 also shows what the
// window does meanwhile: progress, painting, and leaving during the wait for the camera.
// Runs in the PC namespace only.

#include "CtpFirmware.h"
#include "DiscoveryEngine.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Screenshots.h"
#include "TestDirs.h"
#include "TestFamilies.h"
#include "TestTiming.h"
#include "UpgradeSoft.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using TStage = TFirmwareProgress::TStage;

std::optional<QString> RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString Control(const QStringList& command)
{
    return RunTool(qEnvironmentVariable("SIMLAN_LANSIM"),
                   QStringList{"--ctl", qEnvironmentVariable("SIMLAN_CONTROL")} + command)
        .value_or("(no answer)");
}

QByteArray Pattern(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + seed) % 251);
    return b;
}

// A fresh search until the camera with that MAC answers.
std::optional<TDevInfo> Search(const QString& macHex, int withinMs)
{
    DiscoveryEngine engine(testsupport::Families());
    if (engine.Start() != DiscoveryEngine::kSocketCount)
        return std::nullopt;
    engine.Find();
    std::optional<TDevInfo> found;
    (void)QTest::qWaitFor(
        [&] {
            const TDeviceList& list = engine.Devices();
            for (int i = 0; i < list.Count(); ++i)
                if (list.RecordAt(i)->MacHex == macHex)
                    found = *list.RecordAt(i);
            return found.has_value();
        },
        withinMs);
    engine.Stop();
    return found;
}

struct Box {
    QString text;
    QString title;
    int flags;
    bool operator==(const Box&) const = default;
};
void PrintTo(const Box& b, std::ostream* os) { *os << b.text.toStdString(); }

class UpgradeLan : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res = std::make_unique<TfrmStrRes>();
    std::vector<Box> boxes;
    TCtpFirmware* ctp = nullptr;
    TUploadTiming programTiming;

    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_EQ(Control({"reset", "all"}), "ok 5\n");
        SetLanguage("en");
        SetMessageBoxHook([this](const QString& t, const QString& title, int flags) {
            boxes.push_back({t, title, flags});
            return MB::IDOK;
        });
        ctp = dynamic_cast<TCtpFirmware*>(testsupport::Families().Get(5).Firmware());
        ASSERT_NE(ctp, nullptr);
        programTiming = ctp->Timing();
        // As short as lan-sim allows, with a wait of a second to count down before the
        // camera is looked for; it is away for 2.5 s after it took the package.
        TUploadTiming t;
        t.modeSwitchMs = 200;
        t.afterCloseMs = 100;
        t.restartMs = 1000;
        t.retryMs = 300;
        ctp->SetTiming(t);
    }
    void TearDown() override
    {
        SetMessageBoxHook(nullptr);
        if (ctp)
            ctp->SetTiming(programTiming);
    }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dirs.Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    // fw.bin (5000 bytes) and web.tar (3000 bytes), built by pk2-pack.
    QString Package()
    {
        const QString out = dirs.Path("fw.pk2");
        EXPECT_TRUE(RunTool(PK2_PACK_PATH, {out, "--file", "fw.bin", Write("a.bin", Pattern(5000, 1)), "--file",
                                            "web.tar", Write("b.bin", Pattern(3000, 2))}));
        return out;
    }

    // The dialog as the advanced window opens it for a camera found by the search.
    std::unique_ptr<TfrmUpgradeSoft> Dialog(const TDevInfo& rec, const QString& password)
    {
        auto dlg = std::make_unique<TfrmUpgradeSoft>(testsupport::Families());
        dlg->DevFamily = rec.Family;
        dlg->DevIP = rec.IP;
        dlg->DevPort = rec.HttpPort;
        dlg->DevUser = "admin";
        dlg->DevPwd = password;
        dlg->DevRecord = rec;
        return dlg;
    }
};

// The firmware of each family reaches its camera, the dialog ends with OK, and the camera,
// away for its restart, is found again by a later search.
TEST_F(UpgradeLan, EachFamilysFirmwareReachesItsCameraWhichIsFoundBack)
{
    const QByteArray webPages = QByteArray("\xBD\x9A\x0C\x44", 4) + Pattern(20000, 3);
    const struct {
        const char* id;
        const char* macHex;
        const char* password;
        bool system;
        QString file;
        const char* upload;  // lan-sim's record of it
    } cases[] = {
        {"up-moi", "001A2B0F0201", "moipw", false, Write("web.bin", webPages),
         "up-moi /upgrade_htmls.cgi web.bin 20004 accepted application/octet-stream\n"},
        {"up-ctp", "001A2B0F0511", "fwpw", true, Package(),
         "up-ctp ctp fw.bin,web.tar 8000 accepted files=2 commands=0\n"},
        {"up-bin8", "001A2B0F0801", "b8pw", true, Write("fw8.bin", Pattern(30000, 4)),
         "up-bin8 /cgi-bin/upgrade_firmware.cgi fw8.bin 30000 accepted application/x-zip-compressed\n"},
        {"up-cgi", "001A2B0F0901", "t9pw", true, Write("fw9.bin", Pattern(25000, 5)),
         "up-cgi /upgrade_firmware.cgi fw9.bin 25000 accepted application/x-zip-compressed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        boxes.clear();
        const std::optional<TDevInfo> rec = Search(c.macHex, testsupport::Slack(5000));
        ASSERT_TRUE(rec) << "not found before the upgrade";

        auto dlg = Dialog(*rec, c.password);
        (c.system ? dlg->RadioButton1 : dlg->RadioButton2)->setChecked(true);
        dlg->Edit1->setText(c.file);
        dlg->show();
        for (const QString& lang : testsupport::ScreenshotLanguages()) {
            SetLanguage(lang);
            auto shot = Dialog(*rec, c.password);
            (c.system ? shot->RadioButton1 : shot->RadioButton2)->setChecked(true);
            shot->Edit1->setText(c.file);
            shot->show();
            testsupport::SaveScreenshot(shot.get(), QStringLiteral("TfrmUpgradeSoft-family%1").arg(rec->Family));
        }
        SetLanguage("en");

        QTimer::singleShot(0, dlg.get(), [&] { dlg->BitBtn2->click(); });
        EXPECT_EQ(dlg->exec(), QDialog::Accepted);
        EXPECT_EQ(boxes, (std::vector<Box>{{"Upgrade success!", "Information", MB::ICONINFORMATION}}));
        EXPECT_EQ(Control({"uploads", c.id}), QString(c.upload) + "ok 1\n");

        // The camera restarts with its new firmware (family 5's upload has waited for it)
        // and a new search finds it again.
        const std::optional<TDevInfo> back = Search(c.macHex, testsupport::Slack(8000));
        ASSERT_TRUE(back) << "not found back";
        EXPECT_EQ(back->IP, rec->IP);
        EXPECT_TRUE(Control({"show", c.id}).contains("\nrestarts = 1\n")) << Control({"show", c.id}).toStdString();
    }
}

// A family-5 upload as the window shows it, in English and Chinese: every step in order, the
// bytes and seconds, and a window that keeps painting and serving its timers meanwhile.
TEST_F(UpgradeLan, Family5ProgressWhileTheWindowStaysAlive)
{
    const QString package = Package();
    const std::optional<TDevInfo> rec = Search("001A2B0F0511", testsupport::Slack(5000));
    ASSERT_TRUE(rec);
    QStringList langs{"en", "cn"};
    for (const QString& lang : testsupport::ScreenshotLanguages())
        if (!langs.contains(lang))
            langs << lang;
    for (const QString& lang : langs) {
        SCOPED_TRACE(lang.toStdString());
        boxes.clear();
        ASSERT_EQ(Control({"reset", "up-ctp"}), "ok 1\n");
        SetLanguage(lang);
        auto dlg = Dialog(*rec, "fwpw");
        dlg->Edit1->setText(package);

        // What the window showed, one entry per sort of step in a row.
        QStringList steps;
        QStringList texts;
        bool sendingShot = false, waitingShot = false;
        QObject::connect(dlg.get(), &TfrmUpgradeSoft::progressShown, [&] {
            const TFirmwareProgress p = dlg->LastProgress();
            const QString step = p.stage == TStage::Connecting ? "connecting"
                                 : p.stage == TStage::Sending  ? "sending"
                                 : p.secondsLeft >= 0          ? "waiting"
                                                               : "looking";
            if (steps.isEmpty() || steps.back() != step)
                steps << step;
            texts << dlg->lblProgress->text();
            if (step == "sending" && p.bytesSent < p.bytesTotal && !sendingShot) {
                sendingShot = true;
                testsupport::SaveScreenshot(dlg.get(), "TfrmUpgradeSoft-sending");
            }
            if (step == "waiting" && p.bytesSent == p.bytesTotal && p.bytesTotal > 0 && !waitingShot) {
                waitingShot = true;
                testsupport::SaveScreenshot(dlg.get(), "TfrmUpgradeSoft-waiting");
            }
        });
        // A timer of the window's own and the window's paint events, counted while the
        // upload runs.
        int ticks = 0, paints = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (dlg->Busy()) {
                ++ticks;
                dlg->pbProgress->update();
            }
        });
        timer.start(25);
        struct PaintCounter : QObject {
            TfrmUpgradeSoft* dlg;
            int* paints;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Paint && dlg->Busy())
                    ++*paints;
                return QObject::eventFilter(o, e);
            }
        } counter;
        counter.dlg = dlg.get();
        counter.paints = &paints;
        dlg->pbProgress->installEventFilter(&counter);

        QElapsedTimer took;
        QTimer::singleShot(0, dlg.get(), [&] {
            took.start();
            dlg->BitBtn2->click();
        });
        EXPECT_EQ(dlg->exec(), QDialog::Accepted);
        const qint64 ms = took.elapsed();
        timer.stop();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(Control({"uploads", "up-ctp"}), "up-ctp ctp fw.bin,web.tar 8000 accepted files=2 commands=0\nok 1\n");

        // Log in, the camera switches modes, the package, the camera takes it and restarts,
        // the first tries find it away, and it is back.
        ASSERT_GE(steps.size(), 7) << steps.join(' ').toStdString();
        EXPECT_EQ(steps.mid(0, 5), QStringList({"connecting", "waiting", "sending", "waiting", "looking"}))
            << steps.join(' ').toStdString();
        EXPECT_EQ(steps.back(), "waiting") << steps.join(' ').toStdString();
        EXPECT_GE(steps.count("looking"), 2) << "the camera was away at the first try";
        const bool en = lang == "en";
        if (en || lang == "cn") {
            const QString connecting = en ? "Connecting to the camera..." : QString::fromUtf8("正在连接摄像机...");
            const QString sent = en ? "Sending the firmware: 8 of 8 KB" : QString::fromUtf8("正在发送固件：8 / 8 KB");
            const QString second = en ? "Waiting for the camera: 1 s" : QString::fromUtf8("正在等待摄像机：1 秒");
            const QString looking = en ? "Looking for the camera..." : QString::fromUtf8("正在查找摄像机...");
            EXPECT_EQ(texts.front(), connecting);
            EXPECT_TRUE(texts.contains(sent)) << texts.join('|').toStdString();
            EXPECT_TRUE(texts.contains(second)) << texts.join('|').toStdString();
            EXPECT_TRUE(texts.contains(looking)) << texts.join('|').toStdString();
        }
        // The window went on: its timer fired through the upload, and it painted progress.
        // (A timer that cannot keep up skips ticks; a frozen window would have none.)
        EXPECT_GE(ticks, 10) << ms << " ms";
        EXPECT_GE(paints, 5);
    }
}

// Leaving during the wait for the camera (here a minute long) ends the upgrade at once and
// quietly; the camera has its package.
TEST_F(UpgradeLan, Family5CloseDuringTheWaitForTheCamera)
{
    TUploadTiming t = ctp->Timing();
    t.restartMs = 60000;
    ctp->SetTiming(t);
    const QString package = Package();
    const std::optional<TDevInfo> rec = Search("001A2B0F0512", testsupport::Slack(5000));
    ASSERT_TRUE(rec);
    auto dlg = Dialog(*rec, "fwpw");
    dlg->Edit1->setText(package);
    QElapsedTimer sinceClose;
    QString shownAtClose;
    QObject::connect(dlg.get(), &TfrmUpgradeSoft::progressShown, [&] {
        const TFirmwareProgress p = dlg->LastProgress();
        if (!sinceClose.isValid() && p.stage == TStage::WaitingForCamera && p.secondsLeft >= 55 &&
            p.bytesSent == p.bytesTotal && p.bytesTotal > 0) {
            shownAtClose = dlg->lblProgress->text();
            sinceClose.start();
            QTimer::singleShot(0, dlg.get(), [&] { dlg->close(); });
        }
    });
    QTimer::singleShot(0, dlg.get(), [&] { dlg->BitBtn2->click(); });
    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    ASSERT_TRUE(sinceClose.isValid()) << "no wait for the camera was shown";
    EXPECT_EQ(shownAtClose, "Waiting for the camera: 60 s");
    EXPECT_LT(sinceClose.elapsed(), testsupport::Slack(1500));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(dlg->Busy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Control({"uploads", "up-ctp-wait"}),
              "up-ctp-wait ctp fw.bin,web.tar 8000 accepted files=2 commands=0\nok 1\n");
}

}  // namespace
