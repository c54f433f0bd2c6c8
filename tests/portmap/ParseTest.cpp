// ParseRouterXml on what plug-ins may hand back: broken XML, missing parts, numbers that are
// none, other encodings.

#include "PortMapping.h"
#include "RouterXml.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* what;
    QByteArray xml;
    bool ok;
    int shown;  // records of dsRouter afterwards
};

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";
const QByteArray kEntry =
    "<PortForward><Name>a</Name><IP>192.168.1.5</IP><PubPort>80</PubPort><PriPort>80</PriPort>"
    "<Protocol>TCP</Protocol><Status>x</Status><isUpdate>0</isUpdate></PortForward>";

QByteArray WithField(const char* field, const char* value) {
    QByteArray e = kEntry;
    const QByteArray open = QByteArray("<") + field + ">";
    const QByteArray close = QByteArray("</") + field + ">";
    const qsizetype a = e.indexOf(open), b = e.indexOf(close);
    return e.left(a + open.size()) + value + e.mid(b);
}

QByteArray Root(const QByteArray& attrs, const QByteArray& body) {
    return kHead + "<PortForwards " + attrs + ">" + body + "</PortForwards>";
}

TEST(ParseRouterXml, RefusesWhatIsNoTableAndKeepsWhatCameBeforeTheFault) {
    const QList<ParseCase> cases = {
        {"empty text", "", false, 0},
        {"not XML", "Router says hello", false, 0},
        {"cut off", Root("Count=\"1\" MaxCount=\"8\"", kEntry).left(120), false, 0},
        {"no Count", Root("MaxCount=\"8\"", kEntry), false, 0},
        {"no MaxCount", Root("Count=\"1\"", kEntry), false, 0},
        {"Count no number", Root("Count=\"one\" MaxCount=\"8\"", kEntry), false, 0},
        {"MaxCount no number", Root("Count=\"1\" MaxCount=\"8x\"", kEntry), false, 0},
        {"negative Count", Root("Count=\"-1\" MaxCount=\"8\"", kEntry), false, 0},
        {"Count beyond the entries", Root("Count=\"3\" MaxCount=\"8\"", kEntry + kEntry), false, 2},
        {"Count below the entries", Root("Count=\"1\" MaxCount=\"8\"", kEntry + kEntry), true, 1},
        {"second PubPort no number", Root("Count=\"2\" MaxCount=\"8\"", kEntry + WithField("PubPort", "8o")), false, 1},
        {"PriPort empty", Root("Count=\"1\" MaxCount=\"8\"", WithField("PriPort", "")), false, 0},
        {"port beyond 65535", Root("Count=\"1\" MaxCount=\"8\"", WithField("PubPort", "65536")), false, 0},
        {"isUpdate missing", Root("Count=\"1\" MaxCount=\"8\"", QByteArray(kEntry).replace("<isUpdate>0</isUpdate>", "")), false, 0},
        {"element inside a field", Root("Count=\"1\" MaxCount=\"8\"", WithField("Name", "<b>x</b>")), false, 0},
        {"two roots", Root("Count=\"0\" MaxCount=\"8\"", "") + "<PortForwards/>", false, 0},
        {"document type with entities",
         "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
         "<PortForwards Count=\"0\" MaxCount=\"8\"/>", false, 0},
        {"undefined entity", Root("Count=\"1\" MaxCount=\"8\"", WithField("Name", "&nope;")), false, 0},
        {"empty table", Root("Count=\"0\" MaxCount=\"8\"", ""), true, 0},
        {"blanks around numbers", Root("Count=\" 1 \" MaxCount=\"8\"", WithField("PubPort", " 80 ")), true, 1},
    };
    for (const ParseCase& c : cases) {
        TPortMapping pm;
        EXPECT_EQ(pm.ParseRouterXml(c.xml), c.ok) << c.what;
        EXPECT_EQ(pm.dsRouter.ShownCount(), c.shown) << c.what;
    }
}

TEST(ParseRouterXml, ReadsEveryField) {
    XmlRow r{"Web server", " 192.168.1. 5 ", "8080", "80", "TCP+UDP", kValidGb, "2", "ord-17"};
    TPortMapping pm;
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({r}, 64)));
    EXPECT_EQ(pm.MaxCount, 64);
    EXPECT_FALSE(pm.DualPort);
    ASSERT_EQ(pm.dsRouter.ShownCount(), 1);
    const TPortMapRecord& e = *pm.dsRouter.Shown()[0];
    EXPECT_EQ(e.name, "Web server");
    EXPECT_EQ(e.IP, "192.168.1.5");
    EXPECT_EQ(e.PPort, 8080);
    EXPECT_EQ(e.PrPort, 80);
    EXPECT_EQ(e.Protocol, "TCP+UDP");
    EXPECT_EQ(e.Status, QStringLiteral("\u6709\u6548"));
    EXPECT_EQ(e.isUpdate, 2);
    EXPECT_EQ(e.OrderId, "ord-17");
    EXPECT_EQ(e.PPort2, 0);
}

TEST(ParseRouterXml, TheLastEntryDecidesOnTheSecondPortPair) {
    XmlRow dual{"a", "192.168.1.5", "80", "80", "TCP"};
    dual.pub2 = "81";
    dual.pri2 = "82";
    const XmlRow single{"b", "192.168.1.6", "90", "90", "TCP"};
    TPortMapping pm;
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({single, dual})));
    EXPECT_TRUE(pm.DualPort);
    EXPECT_EQ(pm.dsRouter.Shown()[1]->PPort2, 81);
    EXPECT_EQ(pm.dsRouter.Shown()[1]->PrPort2, 82);
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({dual, single})));
    EXPECT_FALSE(pm.DualPort);
    // The pair is taken only while DualPort holds.
    EXPECT_EQ(pm.dsRouter.Shown()[0]->PPort2, 81);
    EXPECT_EQ(pm.dsRouter.Shown()[1]->PPort2, 0);
    dual.pub2 = "x";
    EXPECT_FALSE(pm.ParseRouterXml(RouterXml({dual})));
}

TEST(ParseRouterXml, TextIsDecodedByTheDeclaredEncoding) {
    const QString valid = QStringLiteral("\u6709\u6548");
    const QByteArray body = "<PortForwards Count=\"1\" MaxCount=\"4\"><PortForward><Name>\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA</Name>"
                            "<IP>192.168.1.5</IP><PubPort>80</PubPort><PriPort>80</PriPort><Protocol>TCP</Protocol>"
                            "<Status>\xE6\x9C\x89\xE6\x95\x88</Status><isUpdate>0</isUpdate></PortForward></PortForwards>";
    for (const QByteArray& head : {QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), QByteArray("\xEF\xBB\xBF"),
                                   QByteArray()}) {
        TPortMapping pm;
        ASSERT_TRUE(pm.ParseRouterXml(head + body)) << head.constData();
        EXPECT_EQ(pm.dsRouter.Shown()[0]->Status, valid);
        EXPECT_EQ(pm.dsRouter.Shown()[0]->name, QStringLiteral("\u6444\u50CF\u673A"));
    }
    // "摄像机" in GB2312, declared as such and as GBK.
    QByteArray gb = QByteArray(body).replace("\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA", "\xC9\xE3\xCF\xF1\xBB\xFA")
                        .replace("\xE6\x9C\x89\xE6\x95\x88", "\xD3\xD0\xD0\xA7");
    for (const char* enc : {"GB2312", "gbk"}) {
        TPortMapping pm;
        ASSERT_TRUE(pm.ParseRouterXml("<?xml version=\"1.0\" encoding=\"" + QByteArray(enc) + "\"?>" + gb)) << enc;
        EXPECT_EQ(pm.dsRouter.Shown()[0]->Status, valid);
        EXPECT_EQ(pm.dsRouter.Shown()[0]->name, QStringLiteral("\u6444\u50CF\u673A"));
    }
}

}  // namespace
