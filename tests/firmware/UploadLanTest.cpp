// The firmware upload end to end in the simulated LAN of scripts/simlan: a package built by
// pk2-pack goes to lan-sim's family-5 cameras of simlan-cameras.ini, which check every
// message and digest, record the package and restart. Runs in the PC namespace only.
#include "FirmwareTestSupport.h"
#include "FirmwareUpload.h"

#include <QProcess>
#include <mutex>
#include <optional>

namespace {
constexpr const char* kUser = "admin";
constexpr const char* kPassword = "fwpw";
constexpr int kPort = 81;

std::optional<QString> RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

// One command to lan-sim's control socket.
QString Control(const QStringList& command)
{
    return RunTool(qEnvironmentVariable("SIMLAN_LANSIM"), QStringList{"--ctl", qEnvironmentVariable("SIMLAN_CONTROL")} + command)
        .value_or("(no answer)");
}

class UploadLanTest : public ::testing::Test {
protected:
    TTempFiles files;
    TUploadOptions options;
    std::mutex lock;
    int cameraTries = 0;

    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_EQ(Control({"reset", "all"}), "ok 2\n");
        // As short as lan-sim allows: it takes the package on the connection right after
        // "exit" and restarts as soon as that connection is closed.
        options.timing.modeSwitchMs = 200;
        options.timing.afterCloseMs = 100;
        options.timing.restartMs = 200;
        options.timing.retryMs = 300;
        options.progress = [this](const TUploadProgress& p) {
            const std::lock_guard<std::mutex> guard(lock);
            cameraTries += p.phase == TUploadPhase::WaitForCamera && p.secondsLeft < 0 ? 1 : 0;
        };
    }

    // fw.bin (5000 bytes), web.tar (3000 bytes) and two commands, built by pk2-pack.
    QString Package()
    {
        const QString out = files.Path("fw.pk2");
        const std::optional<QString> built =
            RunTool(PK2_PACK_PATH, {out, "--file", "fw.bin", files.Write("a.bin", Pattern(5000)), "--cmd",
                                "flash_eraseall /dev/mtd3", "--file", "web.tar", files.Write("b.bin", Pattern(3000)),
                                "--cmd", "reboot"});
        EXPECT_TRUE(built);
        return out;
    }
};
}  // namespace

TEST_F(UploadLanTest, PackageIsTakenAndTheUploadEndsOnceTheCameraIsBack)
{
    QString message = "stale";
    ASSERT_TRUE(UploadFirmware(Package(), "192.168.7.161", kPort, kUser, kPassword, message, options));
    EXPECT_EQ(message, "");
    EXPECT_EQ(Control({"uploads", "fw-a"}), "fw-a ctp fw.bin,web.tar 8000 accepted files=2 commands=2\nok 1\n");
    // Back means back: the camera is running again, after the one restart of the new firmware,
    // and the first tries found it still away.
    EXPECT_EQ(Control({"list", "fw-a"}), "fw-a 5 00:1a:2b:0f:05:01 192.168.7.161 running\nok 1\n");
    EXPECT_TRUE(Control({"show", "fw-a"}).contains("\nrestarts = 1\n"));
    EXPECT_GE(cameraTries, 2);
}

TEST_F(UploadLanTest, CameraThatStaysAwayEndsTheUploadWithFalse)
{
    options.timing.retries = 3;
    QString message = "stale";
    EXPECT_FALSE(UploadFirmware(Package(), "192.168.7.162", kPort, kUser, kPassword, message, options));
    EXPECT_EQ(message, "");
    EXPECT_EQ(cameraTries, 4);
    EXPECT_EQ(Control({"uploads", "fw-away"}),
              "fw-away ctp fw.bin,web.tar 8000 accepted files=2 commands=2\nok 1\n");
    EXPECT_EQ(Control({"list", "fw-away"}), "fw-away 5 00:1a:2b:0f:05:02 192.168.7.162 restarting\nok 1\n");
}

TEST_F(UploadLanTest, WrongPasswordStopsBeforeThePackage)
{
    QString message;
    EXPECT_FALSE(UploadFirmware(Package(), "192.168.7.161", kPort, kUser, "wrong", message, options));
    EXPECT_EQ(message, "IDS_ERRACCESS");
    EXPECT_EQ(Control({"uploads", "fw-a"}), "ok 1\n");
    EXPECT_EQ(Control({"list", "fw-a"}), "fw-a 5 00:1a:2b:0f:05:01 192.168.7.161 running\nok 1\n");
}
