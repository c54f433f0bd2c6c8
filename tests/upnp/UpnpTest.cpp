// The UPnP IGD plug-in against real miniupnpd routers in a simulated LAN (run-upnp-lan.sh):
// through the helper process as the program calls it, and through the port-mapping dialog.
// The routers' state is read independently, from their nftables rules.

#include "LangForms.h"
#include "LangRes.h"
#include "PlugInCall.h"
#include "PortForward.h"
#include "PortMapping.h"
#include "TestDirs.h"

#include "NetnsGuard.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kRouter1 = qEnvironmentVariable("UPNP_ROUTER1");
const QString kRouter2 = qEnvironmentVariable("UPNP_ROUTER2");
const QString kSetOk = QString::fromUtf8("The port mapping is set up successfully！");
const QString kPortUsing = "The port you specified is already occupied, Are you sure you want to delete?";

// The port-forwarding rules of a router as nftables holds them.
QString Rules(const char* nsVariable) {
    QProcess p;
    p.start("ip", {"netns", "exec", qEnvironmentVariable(nsVariable), "nft", "list", "chain", "inet", "miniupnpd",
                   "prerouting_miniupnpd"});
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray Table(const QList<QByteArray>& entries) {
    QByteArray x = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<PortForwards Count=\"" +
                   QByteArray::number(entries.size()) + "\" MaxCount=\"256\">\r\n";
    for (const QByteArray& e : entries) x += e;
    return x + "</PortForwards>\r\n";
}

// ip, public port, private port, protocol
QByteArray Entry(const char* ip, int pub, int pri, const char* protocol, const char* name = "test") {
    return QByteArray("<PortForward><Name>") + name + "</Name><IP>" + ip + "</IP><PubPort>" + QByteArray::number(pub) +
           "</PubPort><PriPort>" + QByteArray::number(pri) + "</PriPort><Protocol>" + protocol +
           "</Protocol><Status>\xD3\xD0\xD0\xA7</Status><isUpdate>1</isUpdate></PortForward>\r\n";
}

unsigned char Call(const char* entry, const QString& router, QByteArray& text) {
    TPlugInCallOptions options;
    options.hostPath = QStringLiteral(IPCAM_PLUGIN_HOST);
    return CallPlugIn(QStringLiteral(UPNP_PLUGIN), entry, router, "admin", "", text, options);
}

class UpnpRouter : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res = std::make_unique<TfrmStrRes>();
    TPortMapSetup setup;
    QStringList boxes;
    QList<int> answers;

    void SetUp() override {
        ASSERT_FALSE(kRouter1.isEmpty()) << "run through run-upnp-lan.sh";
        setup.PlugInHost = QStringLiteral(IPCAM_PLUGIN_HOST);
        SetLanguage("en");
        SetMessageBoxHook([this](const QString& text, const QString&, int flags) {
            boxes << text;
            return (flags & 0x0F) == MB::YESNO ? (answers.isEmpty() ? MB::IDNO : answers.takeFirst()) : MB::IDOK;
        });
        // Both routers start empty.
        for (const QString& r : {kRouter1, kRouter2}) {
            QByteArray empty = Table({});
            ASSERT_EQ(Call("SetPortForward", r, empty), 0);
        }
        ASSERT_FALSE(Rules("UPNP_NS1").contains("dnat"));
        ASSERT_FALSE(Rules("UPNP_NS2").contains("dnat"));
        setup.RouterDir = dirs.Path("Router/");
        setup.ConfigPath = dirs.Path("Config.ini");
        WriteBytes(setup.RouterDir + "Router.ini", "[ROUTER]\r\nCount=1\r\nRenName1=UPnP\r\nrpath1=upnp-igd.so\r\n");
        QFile::copy(UPNP_PLUGIN, setup.RouterDir + "upnp-igd.so");
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    void MapWithDialog(const QString& router, const char* camera, const char* port) {
        TfrmPortForward dlg(nullptr, setup);
        dlg.RouterIP = router;
        ASSERT_TRUE(dlg.AddMapping(camera, port, "TCP"));
        ASSERT_EQ(dlg.cmbRouter->count(), 1);
        dlg.BitBtn1Click();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, boxes.endsWith(kSetOk));
    }
};

TEST_F(UpnpRouter, ListsTheRoutersTableAsPortMappingXml) {
    QByteArray text = Table({Entry("192.168.50.5", 2121, 21, "TCP", "ftp"), Entry("192.168.50.6", 5353, 53, "UDP", "dns")});
    ASSERT_EQ(Call("SetPortForward", kRouter1, text), 0);
    text.clear();
    ASSERT_EQ(Call("GetPortForward", kRouter1, text), 0);
    TPortMapping pm;
    ASSERT_TRUE(pm.ParseRouterXml(text)) << text.constData();
    EXPECT_EQ(pm.MaxCount, 256);
    QStringList got;
    for (const TPortMapRecord* r : pm.dsRouter.Shown())
        got << QStringLiteral("%1 %2:%3>%4/%5 %6 %7").arg(r->name, r->IP).arg(r->PPort).arg(r->PrPort)
                   .arg(r->Protocol, r->Status).arg(r->isUpdate);
    got.sort();
    EXPECT_EQ(got, QStringList({QString::fromUtf8("dns 192.168.50.6:5353>53/UDP 有效 0"),
                                QString::fromUtf8("ftp 192.168.50.5:2121>21/TCP 有效 0")}));
}

TEST_F(UpnpRouter, TheDialogAddsAMappingOnTheGateway) {
    MapWithDialog(kRouter1, "192.168.50.20", "81");
    EXPECT_EQ(boxes, QStringList{kSetOk});
    const QString rules = Rules("UPNP_NS1");
    EXPECT_TRUE(rules.contains("dport 81 dnat ip to 192.168.50.20:81")) << rules.toStdString();
    EXPECT_EQ(rules.count("dnat"), 1);
    EXPECT_FALSE(Rules("UPNP_NS2").contains("dnat"));

    // The same mapping again: the router has it, nothing is added twice.
    boxes.clear();
    MapWithDialog(kRouter1, "192.168.50.20", "81");
    EXPECT_EQ(boxes, QStringList{kSetOk});
    EXPECT_EQ(Rules("UPNP_NS1").count("dnat"), 1);
}

TEST_F(UpnpRouter, AConflictingMappingIsReplacedAndOthersStay) {
    QByteArray text = Table({Entry("192.168.50.5", 2121, 21, "TCP"), Entry("192.168.50.30", 8080, 80, "TCP")});
    ASSERT_EQ(Call("SetPortForward", kRouter1, text), 0);
    ASSERT_TRUE(Rules("UPNP_NS1").contains("dnat ip to 192.168.50.30:80"));

    MapWithDialog(kRouter1, "192.168.50.20", "8080");  // answered No
    EXPECT_EQ(boxes, QStringList{kPortUsing});
    EXPECT_TRUE(Rules("UPNP_NS1").contains("dnat ip to 192.168.50.30:80"));

    boxes.clear();
    answers = {MB::IDYES};
    MapWithDialog(kRouter1, "192.168.50.20", "8080");
    EXPECT_EQ(boxes, QStringList({kPortUsing, kSetOk}));
    const QString rules = Rules("UPNP_NS1");
    EXPECT_TRUE(rules.contains("dport 8080 dnat ip to 192.168.50.20:8080")) << rules.toStdString();
    EXPECT_TRUE(rules.contains("dport 2121 dnat ip to 192.168.50.5:21")) << rules.toStdString();
    EXPECT_FALSE(rules.contains("192.168.50.30")) << rules.toStdString();
}

TEST_F(UpnpRouter, OnlyTheIgdAtTheRoutersAddressIsUsed) {
    MapWithDialog(kRouter2, "192.168.50.21", "554");
    EXPECT_EQ(boxes, QStringList{kSetOk});
    EXPECT_TRUE(Rules("UPNP_NS2").contains("dnat ip to 192.168.50.21:554"));
    EXPECT_FALSE(Rules("UPNP_NS1").contains("dnat"));
}

TEST_F(UpnpRouter, NoIgdAtTheAddressGivesThreeQuickly) {
    QElapsedTimer t;
    t.start();
    QByteArray text;
    EXPECT_EQ(Call("GetPortForward", "192.168.50.77", text), 3);
    RecordProperty("no_igd_ms", int(t.elapsed()));
    std::printf("no IGD at the address: code 3 after %lld ms\n", t.elapsed());
    boxes.clear();
    MapWithDialog("192.168.50.77", "192.168.50.20", "81");
    EXPECT_EQ(boxes, QStringList{QString::fromUtf8(
        "Read port mapping information error!#13#13This software may not support your router's automated "
        "configuration, you can see whether there is a new version, otherwise you need to log into the router to be add manually.")});
}

TEST_F(UpnpRouter, WhatCannotBeReadGivesSeven) {
    struct Case {
        const char* entry;
        QString router;
        QByteArray text;
    };
    const QList<Case> cases = {
        {"GetPortForward", "router.local", QByteArray()},
        {"SetPortForward", "192.168.50.1; reboot", Table({})},
        {"SetPortForward", kRouter1, "garbage"},
        {"SetPortForward", kRouter1, Table({Entry("192.168.50.300", 80, 80, "TCP")})},
        {"SetPortForward", kRouter1, Table({Entry("192.168.50.20", 0, 80, "TCP")})},
        {"SetPortForward", kRouter1, Table({Entry("192.168.50.20", 80, 80, "ICMP")})},
    };
    for (const Case& c : cases) {
        QByteArray text = c.text;
        EXPECT_EQ(Call(c.entry, c.router, text), 7) << c.entry << " " << c.text.constData();
    }
    EXPECT_FALSE(Rules("UPNP_NS1").contains("dnat"));
}

}  // namespace

