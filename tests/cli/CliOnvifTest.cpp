// ipcam against lan-sim's ONVIF cameras (onvif.ini of this folder): listed by the scan,
// readdressed through the device service and found again at the new address, restarted, and
// what the family cannot carry or a wrong login never changes a camera.

#include "IpcamRun.h"

#include <QJsonDocument>
#include <QJsonObject>
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

// "key = value" of lan-sim's show for one camera.
QString Shown(const char* id, const char* key)
{
    const QString prefix = QLatin1String(key) + QStringLiteral(" = ");
    for (const QString& line : Control({"show", id}).split(u'\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QStringLiteral("<no %1>").arg(QLatin1String(key));
}

// The export line of the camera at ip, split at its TABs; empty when none.
QStringList RowAt(const QByteArray& out, const QString& ip)
{
    for (const QByteArray& line : out.split('\n')) {
        const QStringList f = QString::fromUtf8(line).trimmed().split(u'\t');
        if (f.size() == 5 && f[3] == ip)
            return f;
    }
    return {};
}

class IpcamOnvif : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL"))
            GTEST_SKIP() << "runs inside scripts/simlan only";
        ASSERT_EQ(Control({"reset", "all"}), "ok 2\n");
    }
};

TEST_F(IpcamOnvif, ScanListsEachCameraUnderItsOwnKey)
{
    const TRun r = RunIpcam({"scan", "--seconds", "3"});
    ASSERT_EQ(r.exit, 0) << r;
    const QStringList gate = RowAt(r.out, "192.168.7.80");
    const QStringList dock = RowAt(r.out, "192.168.7.81");
    ASSERT_FALSE(gate.isEmpty()) << r;
    ASSERT_FALSE(dock.isEmpty()) << r;
    EXPECT_EQ(gate[1], "O");
    EXPECT_EQ(gate[2], "Gate");
    EXPECT_EQ(dock[1], "O");
    EXPECT_EQ(dock[2], "Dock");
    // Both cameras sit behind one link of the simulated LAN, so the neighbour table has one
    // hardware address for both: each still is a row of its own.
    EXPECT_FALSE(gate[4].isEmpty());
    EXPECT_NE(gate[4], dock[4]) << r;
}

// The address alone changes; the mask and gateway the camera has stay, and the camera is
// searched for until it answers at the new address.
TEST_F(IpcamOnvif, SetMovesTheCameraAndFindsItThere)
{
    const TRun r = RunIpcam({"set", "192.168.7.80", "--ip", "192.168.7.90", "--password", "gate-pw",
                             "--wait", "20"});
    ASSERT_EQ(r.exit, 0) << r;
    const QStringList row = RowAt(r.out, "192.168.7.90");
    ASSERT_FALSE(row.isEmpty()) << r;
    EXPECT_EQ(row[2], "Gate");
    EXPECT_EQ(Shown("onvif-gate", "ip"), "192.168.7.90");
    EXPECT_EQ(Shown("onvif-gate", "mask"), "255.255.255.0");
    EXPECT_EQ(Shown("onvif-gate", "gateway"), "192.168.7.1");
    EXPECT_EQ(Shown("onvif-gate", "dns1"), "192.168.7.1");
    EXPECT_EQ(Shown("onvif-gate", "restarts"), "0");
    EXPECT_FALSE(r.out.contains("gate-pw") || r.err.contains("gate-pw")) << r;
}

// A camera that takes the change only at its restart: the values reach it, it restarts and
// is found at the new address with its own web port.
TEST_F(IpcamOnvif, SetThatNeedsARestartRestartsTheCamera)
{
    const TRun r = RunIpcam({"set", "192.168.7.81", "--ip", "192.168.7.91", "--mask", "255.255.254.0",
                             "--gateway", "192.168.6.1", "--dns", "192.168.7.53", "--dns2", "",
                             "--password", "dock-pw", "--wait", "20", "--json"});
    ASSERT_EQ(r.exit, 0) << r;
    const QJsonObject rec = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(rec.value("IP").toString(), "192.168.7.91") << r;
    EXPECT_EQ(rec.value("HttpPort").toInt(), 8080) << r;
    EXPECT_EQ(rec.value("Family").toInt(), 10) << r;
    EXPECT_EQ(Shown("onvif-dock", "ip"), "192.168.7.91");
    EXPECT_EQ(Shown("onvif-dock", "mask"), "255.255.254.0");
    EXPECT_EQ(Shown("onvif-dock", "gateway"), "192.168.6.1");
    EXPECT_EQ(Shown("onvif-dock", "dns1"), "192.168.7.53");
    EXPECT_EQ(Shown("onvif-dock", "dns2"), "0.0.0.0");
    EXPECT_EQ(Shown("onvif-dock", "restarts"), "1");
}

TEST_F(IpcamOnvif, WrongPasswordChangesNothing)
{
    const TRun set = RunIpcam({"set", "192.168.7.80", "--ip", "192.168.7.92", "--password", "wrong"});
    EXPECT_EQ(set.exit, 1) << set;
    EXPECT_TRUE(set.err.contains("the camera refused the settings")) << set;
    const TRun restart = RunIpcam({"restart", "192.168.7.80", "--password", "wrong"});
    EXPECT_EQ(restart.exit, 1) << restart;
    EXPECT_EQ(Shown("onvif-gate", "ip"), "192.168.7.80");
    EXPECT_EQ(Shown("onvif-gate", "changes"), "0");
    EXPECT_EQ(Shown("onvif-gate", "restarts"), "0");
}

// What the family's command does not carry, and a mask that is none, are refused before
// anything goes to the camera.
TEST_F(IpcamOnvif, WhatCannotBeSentIsRefusedFirst)
{
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {{"--name", "Porch"}, "cannot set the name (--name)"},
        {{"--port", "81"}, "cannot set the HTTP port (--port)"},
        {{"--mask", "255.0.255.0"}, "the subnet mask must be four numbers 0 to 255"},
        {{"--ip", "192.168.7.255"}, "not ending in 0 or 255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const TRun r = RunIpcam(QStringList{"set", "192.168.7.80", "--password", "gate-pw"} + c.args);
        EXPECT_EQ(r.exit, 2) << r;
        EXPECT_TRUE(r.err.contains(c.error)) << r;
    }
    EXPECT_EQ(Shown("onvif-gate", "changes"), "0");
}

TEST_F(IpcamOnvif, RestartRebootsTheCamera)
{
    const TRun r = RunIpcam({"restart", "192.168.7.80", "--password", "gate-pw"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_EQ(Shown("onvif-gate", "restarts"), "1");
    // Back at its address after the restart.
    const TRun scan = RunIpcam({"scan", "--seconds", "4"});
    EXPECT_FALSE(RowAt(scan.out, "192.168.7.80").isEmpty()) << scan;
}

}  // namespace
