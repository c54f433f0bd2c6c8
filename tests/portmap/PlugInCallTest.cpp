// Plug-in calls through ipcam-plugin-host with the test plug-in: codes, replies, and every
// kind of misbehaving plug-in.

#include "PlugInFixture.h"
#include "RouterXml.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const QByteArray kTable = RouterXml({{"cam", "192.168.1.20", "81", "81", "TCP"}});

unsigned char Get(QByteArray& text, const TPlugInCallOptions& options = HostOptions()) {
    return CallPlugIn(TestPlugIn::Library(), "GetPortForward", "192.168.1.1", "admin", "secret", text, options);
}

TEST(CallPlugIn, HandsBackTheRoutersTable) {
    TestPlugIn p;
    p.Write("table.xml", kTable);
    for (const char* mode : {"ok", "own", "chatter"}) {
        p.Control(QByteArray("get=") + mode + "\n");
        QByteArray text = "ignored by GetPortForward";
        EXPECT_EQ(Get(text), 0) << mode;
        EXPECT_EQ(text, kTable) << mode;
    }
    EXPECT_EQ(p.Read("calls.log"), QByteArray("GetPortForward router=192.168.1.1 user=admin password=secret\n").repeated(3));
}

TEST(CallPlugIn, SetPortForwardGetsTheInputAndAnswersTheNewTable) {
    TestPlugIn p;
    const QByteArray sent = RouterXml({{"cam", "192.168.1.20", "81", "81", "TCP", kValidGb, "1"}});
    QByteArray text = sent;
    ASSERT_EQ(CallPlugIn(TestPlugIn::Library(), "SetPortForward", "10.0.0.1", "root", "", text, HostOptions()), 0);
    EXPECT_EQ(p.Read("last_set.xml"), sent);
    EXPECT_EQ(text, QByteArray(sent).replace("<isUpdate>1<", "<isUpdate>0<"));
    EXPECT_EQ(p.Read("table.xml"), text);
    EXPECT_EQ(p.Read("calls.log"), "SetPortForward router=10.0.0.1 user=root password=\n");
}

TEST(CallPlugIn, ThePlugInsCodeComesThrough) {
    TestPlugIn p;
    for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 255}) {
        p.Control("get=code:" + QByteArray::number(code) + "\n");
        QByteArray text;
        EXPECT_EQ(Get(text), code);
    }
    p.Control("user=admin\npassword=right\n");
    QByteArray text;
    EXPECT_EQ(Get(text), 1);  // wrong password
    p.Control("router=192.168.9.1\n");
    EXPECT_EQ(Get(text), 2);
}

TEST(CallPlugIn, EveryFaultGivesSix) {
    TestPlugIn p;
    p.Write("table.xml", kTable);
    for (const char* mode : {"crash", "overflow", "noterm", "null"}) {
        p.Control(QByteArray("get=") + mode + "\n");
        QByteArray text = "before";
        EXPECT_EQ(Get(text), 6) << mode;
        EXPECT_EQ(text, "before") << mode;
    }
    p.Control("");
    QByteArray text;
    EXPECT_EQ(CallPlugIn(TestPlugIn::Library(), "DeletePortForward", "r", "u", "p", text, HostOptions()), 6);
    EXPECT_EQ(CallPlugIn(QStringLiteral(EMPTY_PLUGIN), "GetPortForward", "r", "u", "p", text, HostOptions()), 6);
    EXPECT_EQ(CallPlugIn(p.File("table.xml"), "GetPortForward", "r", "u", "p", text, HostOptions()), 6);  // no library
    EXPECT_EQ(CallPlugIn(p.File("missing.so"), "GetPortForward", "r", "u", "p", text, HostOptions()), 6);
    TPlugInCallOptions noHost = HostOptions();
    noHost.hostPath = p.File("no-such-host");
    EXPECT_EQ(Get(text, noHost), 6);
    EXPECT_EQ(Get(text), 0);
}

TEST(CallPlugIn, AnInputThatDoesNotFitTheBufferIsNotSent) {
    TestPlugIn p;
    QByteArray text(kPlugInBufferSize, 'x');
    EXPECT_EQ(CallPlugIn(TestPlugIn::Library(), "SetPortForward", "r", "u", "p", text, HostOptions()), 6);
    EXPECT_EQ(p.Calls(), 0);
    text = QByteArray(kPlugInBufferSize - 1, 'x');
    EXPECT_EQ(CallPlugIn(TestPlugIn::Library(), "SetPortForward", "r", "u", "p", text, HostOptions()), 0);
    EXPECT_EQ(p.Read("last_set.xml").size(), kPlugInBufferSize - 1);
}

TEST(CallPlugIn, AHangingPlugInEndsAtTheTimeLimit) {
    TestPlugIn p;
    p.Control("get=hang\n");
    QByteArray text = "before";
    TPlugInCallOptions o = HostOptions();
    o.timeoutMs = 1000;
    EXPECT_EQ(Get(text, o), 6);
    EXPECT_EQ(text, "before");
    EXPECT_EQ(p.Calls(), 1);
}

TEST(CallPlugIn, AHangingPlugInEndsWhenCancelled) {
    TestPlugIn p;
    p.Control("get=hang\n");
    std::atomic<bool> cancel{false};
    TPlugInCallOptions o = HostOptions();
    o.timeoutMs = 24 * 3600 * 1000;
    o.cancel = &cancel;
    std::thread canceller([&] {
        p.WaitForCalls(1);
        cancel = true;
    });
    QByteArray text;
    EXPECT_EQ(Get(text, o), 6);
    canceller.join();
}

TEST(PlugInVersion, TheExportedVersionTextOrNone) {
    TestPlugIn p;
    EXPECT_EQ(PlugInVersion(TestPlugIn::Library(), HostOptions()), "1.0.0.10");
    EXPECT_EQ(PlugInVersion(TestPlugIn::Library("router-plugin-test-9"), HostOptions()), "1.0.0.9");
    EXPECT_EQ(PlugInVersion(TestPlugIn::Library("router-plugin-test-nover"), HostOptions()), "");
    EXPECT_EQ(PlugInVersion(p.File("missing.so"), HostOptions()), "");
    p.Write("text.so", "not a library");
    EXPECT_EQ(PlugInVersion(p.File("text.so"), HostOptions()), "");
}

}  // namespace
