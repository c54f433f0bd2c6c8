// The firmware capability of the families without sockets: which families have one, the
// check of the chosen file per family and kind, the chooser's filter, the upgrade addresses,
// the order UpgradeCamera keeps (trim, check, then send) and family 5's progress reports.

#include "Bin8Firmware.h"
#include "CtpFirmware.h"
#include "MoiFirmware.h"
#include "TestFamilies.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TStage = TFirmwareProgress::TStage;

class Files {
public:
    Files() { EXPECT_TRUE(dir_.isValid()); }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return path;
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString Dir() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

const char* CheckName(TFirmwareCheck c)
{
    switch (c) {
    case TFirmwareCheck::kOk: return "ok";
    case TFirmwareCheck::kIgnored: return "ignored";
    case TFirmwareCheck::kBadFile: return "bad file";
    }
    return "?";
}

TEST(FirmwareFamilies, ExactlyTheFamiliesWithTheUpgradeButtonHaveOne)
{
    std::vector<qint32> with;
    for (const auto& family : testsupport::Families().All()) {
        const bool has = family->Firmware() != nullptr;
        EXPECT_EQ(has, family->Traits().firmwareUpgrade) << family->Code();
        if (has)
            with.push_back(family->Code());
    }
    std::sort(with.begin(), with.end());
    EXPECT_EQ(with, (std::vector<qint32>{2, 5, 8, 9}));
    // A code no family has gets none.
    EXPECT_EQ(testsupport::Families().Get(12345).Firmware(), nullptr);
}

// What each family makes of a chosen file, by kind. Family 2 judges the first four bytes,
// families 8 and 9 only need four bytes to read, family 5 only needs the file to exist (the
// package itself is judged by the upload) and says nothing otherwise.
TEST(FirmwareFamilies, FileChecksByFamilyKindAndFirstBytes)
{
    Files files;
    const QString system = files.Write("system.bin", QByteArray("BNEG\x01\x02", 6));
    const QString web = files.Write("web.bin", QByteArray("\xBD\x9A\x0C\x44rest", 8));
    const QString webOnly4 = files.Write("web4.bin", QByteArray("\xBD\x9A\x0C\x44", 4));
    const QString lower = files.Write("lower.bin", "bneg....");
    const QString zip = files.Write("any.zip", "PK\x03\x04");
    const QString three = files.Write("three.bin", "BNE");
    const QString empty = files.Write("empty.pk2", "");
    const QString missing = files.Path("missing.bin");
    const QString folder = files.Dir();

    constexpr auto S = TFirmwareKind::System;
    constexpr auto W = TFirmwareKind::WebPages;
    constexpr auto ok = TFirmwareCheck::kOk;
    constexpr auto bad = TFirmwareCheck::kBadFile;
    constexpr auto ignored = TFirmwareCheck::kIgnored;
    const struct {
        int family;
        QString file;
        TFirmwareKind kind;
        TFirmwareCheck want;
        const char* why;
    } cases[] = {
        {2, system, S, ok, "BNEG is system firmware"},
        {2, system, W, bad, "BNEG is no web-page file"},
        {2, web, W, ok, "BD 9A 0C 44 is the web pages"},
        {2, webOnly4, W, ok, "four bytes are enough"},
        {2, web, S, bad, "the web pages are no system firmware"},
        {2, lower, S, bad, "the letters are compared exactly"},
        {2, zip, S, bad, "other bytes"},
        {2, three, S, bad, "fewer than four bytes"},
        {2, missing, W, bad, "no such file"},
        {2, folder, S, bad, "a folder"},
        {2, QString(), S, bad, "no name"},
        {8, zip, S, ok, "any four bytes"},
        {8, web, S, ok, "kind and bytes are not compared"},
        {8, three, W, bad, "fewer than four bytes"},
        {8, empty, W, bad, "empty"},
        {8, missing, S, bad, "no such file"},
        {8, folder, S, bad, "a folder"},
        {9, zip, W, ok, "any four bytes"},
        {9, three, S, bad, "fewer than four bytes"},
        {9, missing, S, bad, "no such file"},
        {5, empty, S, ok, "a file that exists; the upload judges it"},
        {5, zip, W, ok, "a file that exists"},
        {5, missing, S, ignored, "no such file: nothing happens"},
        {5, QString(), W, ignored, "no name: nothing happens"},
        {5, folder, S, ignored, "a folder is no file"},
    };
    for (const auto& c : cases) {
        ICameraFirmware* fw = testsupport::Families().Get(c.family).Firmware();
        ASSERT_NE(fw, nullptr) << c.family;
        EXPECT_STREQ(CheckName(fw->CheckFile(c.file, c.kind)), CheckName(c.want))
            << "family " << c.family << ": " << c.why;
    }
}

TEST(FirmwareFamilies, ChooserFilterOffersPackagesForFamilyFiveOnly)
{
    const struct {
        int family;
        const char* filter;
        const char* want;
    } cases[] = {
        {5, "Upgrade package(*.bin)|*.bin", "Upgrade package(*.pk2)|*.pk2"},
        {5, "\xE5\x8D\x87\xE7\xBA\xA7\xE5\x8C\x85(*.bin)|*.bin", "\xE5\x8D\x87\xE7\xBA\xA7\xE5\x8C\x85(*.pk2)|*.pk2"},
        {5, "Binaries (*.bin;*.BIN)|*.bin;*.BIN", "Binaries (*.pk2;*.BIN)|*.pk2;*.BIN"},  // case counts
        {2, "Upgrade package(*.bin)|*.bin", "Upgrade package(*.bin)|*.bin"},
        {8, "Upgrade package(*.bin)|*.bin", "Upgrade package(*.bin)|*.bin"},
        {9, "Upgrade package(*.bin)|*.bin", "Upgrade package(*.bin)|*.bin"},
    };
    for (const auto& c : cases) {
        ICameraFirmware* fw = testsupport::Families().Get(c.family).Firmware();
        ASSERT_NE(fw, nullptr);
        const QString once = fw->ChooserFilter(QString::fromUtf8(c.filter));
        EXPECT_EQ(once, QString::fromUtf8(c.want)) << c.family;
        // A second browse finds nothing more to replace.
        EXPECT_EQ(fw->ChooserFilter(once), once) << c.family;
    }
}

TEST(FirmwareFamilies, UpgradeAddressesWithAndWithoutThePort)
{
    EXPECT_EQ(ICameraFirmware::BaseUrl("192.168.7.21", 80), "http://192.168.7.21");
    EXPECT_EQ(ICameraFirmware::BaseUrl("192.168.7.21", 81), "http://192.168.7.21:81");
    EXPECT_EQ(ICameraFirmware::BaseUrl("10.0.0.5", 8080), "http://10.0.0.5:8080");

    const struct {
        QString got;
        const char* want;
    } cases[] = {
        {TMoiFirmware::UpgradeUrl("http://10.0.0.5", TFirmwareKind::System, " admin ", " pw "),
         "http://10.0.0.5/upgrade_firmware.cgi?user=admin&pwd=pw&next_url=reboot.htm"},
        {TMoiFirmware::UpgradeUrl("http://10.0.0.5:81", TFirmwareKind::WebPages, "admin", ""),
         "http://10.0.0.5:81/upgrade_htmls.cgi?user=admin&pwd=&next_url=reboot.htm"},
        // A login that would change the query's structure is encoded.
        {TMoiFirmware::UpgradeUrl("http://10.0.0.5", TFirmwareKind::System, "a&b", "p w#1"),
         "http://10.0.0.5/upgrade_firmware.cgi?user=a%26b&pwd=p%20w%231&next_url=reboot.htm"},
        {TBin8Firmware::UpgradeUrl("http://10.0.0.8", TFirmwareKind::System),
         "http://10.0.0.8/cgi-bin/upgrade_firmware.cgi?next_url=reboot.htm"},
        {TBin8Firmware::UpgradeUrl("http://10.0.0.8:81", TFirmwareKind::WebPages),
         "http://10.0.0.8:81/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got.toStdString(), c.want);
}

// A family whose firmware records what it was asked.
class RecordingFirmware final : public ICameraFirmware {
public:
    TFirmwareCheck check = TFirmwareCheck::kOk;
    TFirmwareOutcome outcome{TFirmwareResult::kDone, true, QString()};
    std::atomic<bool>* setAbortWhileSending = nullptr;
    QStringList calls;

    TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const override
    {
        const_cast<RecordingFirmware*>(this)->calls << "check " + fileName +
                                                           (kind == TFirmwareKind::System ? " system" : " web");
        return check;
    }
    TFirmwareOutcome Send(const TFirmwareJob& job) override
    {
        calls << "send " + job.fileName + " " + job.ip + ":" + QString::number(job.port);
        if (job.progress)
            job.progress({TStage::Sending, 10, 20, -1});
        if (setAbortWhileSending)
            *setAbortWhileSending = true;
        return outcome;
    }
};

class RecordingFamily final : public ICameraFamily {
public:
    explicit RecordingFamily(bool withFirmware) : withFirmware_(withFirmware) {}
    qint32 Code() const override { return 77; }
    const TFamilyTraits& Traits() const override { return traits_; }
    ICameraFirmware* Firmware() override { return withFirmware_ ? &firmware : nullptr; }
    RecordingFirmware firmware;

private:
    bool withFirmware_;
    TFamilyTraits traits_;
};

class UpgradeCameraOrder : public ::testing::Test {
protected:
    RecordingFamily family{true};
    TFirmwareJob job;
    std::vector<TStage> stages;
    void SetUp() override
    {
        job.fileName = "  /tmp/fw.bin \t";
        job.kind = TFirmwareKind::System;
        job.ip = "10.0.0.9";
        job.port = 81;
        job.progress = [this](const TFirmwareProgress& p) { stages.push_back(p.stage); };
    }
};

TEST_F(UpgradeCameraOrder, TrimsChecksThenSendsWithConnectingFirst)
{
    const TFirmwareOutcome out = UpgradeCamera(family, job);
    EXPECT_EQ(out.result, TFirmwareResult::kDone);
    EXPECT_TRUE(out.cameraBack);
    EXPECT_EQ(family.firmware.calls, QStringList({"check /tmp/fw.bin system", "send /tmp/fw.bin 10.0.0.9:81"}));
    EXPECT_EQ(stages, (std::vector<TStage>{TStage::Connecting, TStage::Sending}));
}

TEST_F(UpgradeCameraOrder, ACheckThatFailsSendsNothing)
{
    const struct {
        TFirmwareCheck check;
        TFirmwareResult want;
    } cases[] = {{TFirmwareCheck::kBadFile, TFirmwareResult::kBadFile},
                 {TFirmwareCheck::kIgnored, TFirmwareResult::kIgnored}};
    for (const auto& c : cases) {
        family.firmware.calls.clear();
        stages.clear();
        family.firmware.check = c.check;
        EXPECT_EQ(UpgradeCamera(family, job).result, c.want);
        EXPECT_EQ(family.firmware.calls, QStringList{"check /tmp/fw.bin system"});
        EXPECT_TRUE(stages.empty());
    }
}

TEST_F(UpgradeCameraOrder, AbortDecidesEverythingButATakenFile)
{
    std::atomic<bool> abort{true};
    job.abort = &abort;
    // Set before the start: nothing is looked at.
    EXPECT_EQ(UpgradeCamera(family, job).result, TFirmwareResult::kAborted);
    EXPECT_TRUE(family.firmware.calls.isEmpty());

    // Set while sending: a failure is the abort's, with the family's detail dropped ...
    abort = false;
    family.firmware.setAbortWhileSending = &abort;
    family.firmware.outcome = {TFirmwareResult::kFailed, false, "IDS_CANTCONNECT"};
    TFirmwareOutcome out = UpgradeCamera(family, job);
    EXPECT_EQ(out.result, TFirmwareResult::kAborted);
    EXPECT_EQ(out.detailKey, "");
    // ... but a camera that took the file has it.
    abort = false;
    family.firmware.outcome = {TFirmwareResult::kDone, true, QString()};
    out = UpgradeCamera(family, job);
    EXPECT_EQ(out.result, TFirmwareResult::kDone);
    EXPECT_TRUE(out.cameraBack);
}

TEST_F(UpgradeCameraOrder, AFamilyWithoutFirmwareIsUnsupported)
{
    RecordingFamily none(false);
    EXPECT_EQ(UpgradeCamera(none, job).result, TFirmwareResult::kUnsupported);
    EXPECT_TRUE(stages.empty());
}

// Family 5's reports: its fixed waits in the package phase are waits for the camera too, and
// the package phase connects before it sends.
TEST(CtpFirmwareProgress, PhasesAsTheWindowShowsThem)
{
    const struct {
        TUploadProgress in;
        TStage stage;
        qint64 sent, total;
        int seconds;
    } cases[] = {
        {{TUploadPhase::LeaveCommandMode, 0, 0, -1}, TStage::Connecting, 0, 0, -1},
        {{TUploadPhase::LeaveCommandMode, 0, 8000, -1}, TStage::Connecting, 0, 8000, -1},
        {{TUploadPhase::SendPackage, 0, 8000, -1}, TStage::Connecting, 0, 8000, -1},
        {{TUploadPhase::SendPackage, 0, 8000, 5}, TStage::WaitingForCamera, 0, 8000, 5},
        {{TUploadPhase::SendPackage, 2800, 8000, -1}, TStage::Sending, 2800, 8000, -1},
        {{TUploadPhase::SendPackage, 8000, 8000, 3}, TStage::WaitingForCamera, 8000, 8000, 3},
        {{TUploadPhase::WaitForCamera, 8000, 8000, 40}, TStage::WaitingForCamera, 8000, 8000, 40},
        {{TUploadPhase::WaitForCamera, 8000, 8000, -1}, TStage::WaitingForCamera, 8000, 8000, -1},
    };
    for (const auto& c : cases) {
        const TFirmwareProgress p = TCtpFirmware::Progress(c.in);
        EXPECT_EQ(p.stage, c.stage);
        EXPECT_EQ(p.bytesSent, c.sent);
        EXPECT_EQ(p.bytesTotal, c.total);
        EXPECT_EQ(p.secondsLeft, c.seconds);
    }
}

}  // namespace
