// ipcam upgrade against lan-sim's cameras of the upgrade dialog's simulated LAN
// (tests/upgrade/simlan-cameras.ini): the file reaches the camera by its family's path, the
// tool waits until the camera answers again, and what it refuses is never sent.

#include "IpcamRun.h"
#include "TestDirs.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString Control(const QStringList& command)
{
    QProcess p;
    p.start(qEnvironmentVariable("SIMLAN_LANSIM"),
            QStringList{"--ctl", qEnvironmentVariable("SIMLAN_CONTROL")} + command);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("(no answer)");
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray Pattern(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + seed) % 251);
    return b;
}

class IpcamUpgrade : public ::testing::Test {
protected:
    ScopedTestDirs dirs;

    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_EQ(Control({"reset", "all"}), "ok 5\n");
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dirs.Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return path;
    }
};

// Each HTTP family's file reaches its camera, which restarts and is found again before the
// tool ends with 0. Not a terminal: progress comes as plain lines.
TEST_F(IpcamUpgrade, EachFamilysFileReachesItsCameraWhichIsBack)
{
    const QByteArray webPages = QByteArray("\xBD\x9A\x0C\x44", 4) + Pattern(20000, 3);
    const struct {
        const char* id;
        const char* camera;  // as the tool is told
        const char* password;
        bool webPages;
        QString file;
        const char* upload;  // lan-sim's record of it
    } cases[] = {
        {"up-moi", "00:1A:2B:0F:02:01", "moipw", true, Write("web.bin", webPages),
         "up-moi /upgrade_htmls.cgi web.bin 20004 accepted application/octet-stream\n"},
        {"up-bin8", "192.168.7.173", "b8pw", false, Write("fw8.bin", Pattern(30000, 4)),
         "up-bin8 /cgi-bin/upgrade_firmware.cgi fw8.bin 30000 accepted application/x-zip-compressed\n"},
        {"up-cgi", "001a2b0f0901", "t9pw", false, Write("fw9.bin", Pattern(25000, 5)),
         "up-cgi /upgrade_firmware.cgi fw9.bin 25000 accepted application/x-zip-compressed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        QStringList args{"upgrade", c.camera, c.file, "--password", c.password, "--wait", "20"};
        if (c.webPages)
            args << "--web-pages";
        const TRun r = RunIpcam(args);
        EXPECT_EQ(r.exit, 0) << r;
        EXPECT_EQ(Control({"uploads", c.id}), QString(c.upload) + "ok 1\n");
        EXPECT_TRUE(Control({"show", c.id}).contains("\nrestarts = 1\n"));
        EXPECT_TRUE(r.out.isEmpty()) << r;
        EXPECT_TRUE(r.err.contains("ipcam: connecting to the camera\n")) << r;
        EXPECT_TRUE(r.err.contains("ipcam: the camera is back\n")) << r;
        EXPECT_FALSE(r.err.contains('\r')) << r;
        EXPECT_FALSE(r.err.contains(c.password)) << r;
    }
}

// What is refused: nothing goes to the camera, and the exit code says why.
TEST_F(IpcamUpgrade, RefusalsSendNothing)
{
    const QString notWebPages = Write("plain.bin", Pattern(20000, 7));
    const QString fw = Write("fw9.bin", Pattern(25000, 5));
    const struct {
        const char* what;
        QStringList args;
        int exit;
        const char* message;
        const char* camera;  // which must have taken nothing
    } cases[] = {
        {"web pages without their mark", {"upgrade", "001A2B0F0201", notWebPages, "--web-pages", "--password", "moipw"},
         2, "is not web pages for the camera's family 2", "up-moi"},
        {"wrong password", {"upgrade", "001A2B0F0901", fw, "--password", "wrong"},
         1, "ipcam: the upgrade failed", "up-cgi"},
        {"no such file", {"upgrade", "001A2B0F0901", dirs.Path("none.bin")},
         2, "no such file", "up-cgi"},
        {"no such camera", {"upgrade", "001A2B0F09FF", fw, "--seconds", "1"},
         3, "no camera with MAC 001A2B0F09FF answered within 1 s", "up-cgi"},
        {"camera and file missing", {"upgrade", "001A2B0F0901"}, 2, "name the camera and the firmware file", "up-cgi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRun r = RunIpcam(c.args);
        EXPECT_EQ(r.exit, c.exit) << r;
        EXPECT_TRUE(r.err.contains(c.message)) << r;
        const QString uploads = Control({"uploads", c.camera});
        EXPECT_TRUE(uploads.endsWith("ok 1\n")) << uploads.toStdString();
        EXPECT_FALSE(uploads.contains(" accepted ")) << uploads.toStdString();
    }
}

}  // namespace
