// Wanted mappings against the router's table: conflicts, replacement, merge, the XML sent to
// the plug-in, and the check of the plug-in's answer.

#include "PortMapping.h"
#include "RouterXml.h"

#include <gtest/gtest.h>

namespace {

const QString kValid = QStringLiteral("\u6709\u6548");

struct Wanted {
    const char* ip;
    const char* port;
};

// Runs the dialog's steps after GetPortForward: parse, conflicts (answered Yes or No), merge.
struct Flow {
    TPortMapping pm;
    bool conflict = false;
    QByteArray sent;
    Flow(std::initializer_list<Wanted> wanted) {
        for (const Wanted& w : wanted)
            EXPECT_TRUE(pm.AddMapping(w.ip, w.port, "TCP"));
    }
    bool Run(const QByteArray& routerXml, bool replace) {
        if (!pm.ParseRouterXml(routerXml))
            return false;
        conflict = pm.FindConflicts();
        if (conflict) {
            if (!replace)
                return true;
            pm.ReplaceConflicts();
        }
        pm.MergeNeeded();
        sent = pm.BuildRouterXml();
        return true;
    }
    // "IP:PubPort>PriPort/Protocol" of each entry sent, with the Name when asked.
    QStringList SentEntries(bool withName = false) const {
        TPortMapping check;
        EXPECT_TRUE(check.ParseRouterXml(sent)) << sent.constData();
        QStringList out;
        for (const TPortMapRecord* r : check.dsRouter.Shown())
            out << (withName ? r->name + QLatin1Char('=') : QString()) + r->IP + QLatin1Char(':') +
                       QString::number(r->PPort) + QLatin1Char('>') + QString::number(r->PrPort) +
                       QLatin1Char('/') + r->Protocol + QLatin1Char('/') + QString::number(r->isUpdate);
        return out;
    }
};

TEST(AddMapping, FillsTheWantedRecord) {
    TPortMapping pm;
    ASSERT_TRUE(pm.AddMapping("  192.168.1.20 ", "81", "TCP"));
    ASSERT_EQ(pm.dsNeed.ShownCount(), 1);
    const TPortMapRecord& r = pm.dsNeed.All()[0];
    EXPECT_EQ(r.name, "192.168.1.20");
    EXPECT_EQ(r.IP, "192.168.1.20");
    EXPECT_EQ(r.PPort, 81);
    EXPECT_EQ(r.PrPort, 81);
    EXPECT_EQ(r.PPort2, 81);
    EXPECT_EQ(r.PrPort2, 81);
    EXPECT_EQ(r.Protocol, "TCP");
    EXPECT_EQ(r.Status, kValid);
    EXPECT_EQ(r.isUpdate, 1);
    EXPECT_FALSE(r.isUse);
}

TEST(AddMapping, RefusesPortsThatAreNoPortAndRepeats) {
    TPortMapping pm;
    for (const char* bad : {"", "abc", "0", "-1", "65536", "8 1", "81x"})
        EXPECT_FALSE(pm.AddMapping("192.168.1.20", bad, "TCP")) << bad;
    EXPECT_EQ(pm.dsNeed.ShownCount(), 0);
    EXPECT_TRUE(pm.AddMapping("192.168.1.20", " 65535 ", "TCP"));
    // A family-8 camera whose second port equals its first would otherwise be sent twice.
    EXPECT_FALSE(pm.AddMapping("192.168.1.20", "65535", "TCP"));
    EXPECT_TRUE(pm.AddMapping("192.168.1.21", "65535", "TCP"));
    EXPECT_EQ(pm.dsNeed.ShownCount(), 2);
}

struct ConflictCase {
    const char* what;
    QList<XmlRow> router;
    bool conflict;
    int isUpdate;  // of the wanted record afterwards
    bool isUse;
};

TEST(FindConflicts, MatchesByPublicPortAndProtocol) {
    const QList<ConflictCase> cases = {
        {"empty router", {}, false, 1, false},
        {"same port, protocol and address", {{"a", "192.168.1.20", "81", "81", "TCP"}}, false, 0, false},
        {"same port to another address", {{"a", "192.168.1.30", "81", "80", "TCP"}}, true, 1, true},
        {"TCP+UDP to the same address", {{"a", "192.168.1.20", "81", "81", "TCP+UDP"}}, false, 0, false},
        {"TCP+UDP to another address", {{"a", "192.168.1.30", "81", "81", "TCP+UDP"}}, true, 1, true},
        {"UDP only", {{"a", "192.168.1.30", "81", "81", "UDP"}}, false, 1, false},
        {"another port", {{"a", "192.168.1.30", "82", "81", "TCP"}}, false, 1, false},
        {"exact protocol wins over TCP+UDP",
         {{"a", "192.168.1.30", "81", "81", "TCP+UDP"}, {"b", "192.168.1.20", "81", "81", "TCP"}}, false, 0, false},
        {"a dropped entry is no match", {{"a", "192.168.1.30", "81", "81", "TCP", kValidGb, "3"}}, false, 1, false},
    };
    for (const ConflictCase& c : cases) {
        TPortMapping pm;
        ASSERT_TRUE(pm.AddMapping("192.168.1.20", "81", "TCP"));
        ASSERT_TRUE(pm.ParseRouterXml(RouterXml(c.router))) << c.what;
        EXPECT_EQ(pm.FindConflicts(), c.conflict) << c.what;
        EXPECT_EQ(pm.dsNeed.All()[0].isUpdate, c.isUpdate) << c.what;
        EXPECT_EQ(pm.dsNeed.All()[0].isUse, c.isUse) << c.what;
    }
}

TEST(MergeFlow, RouterHasTheMappingAlreadyAndGetsItsTableBackUnchanged) {
    Flow f({{"192.168.1.20", "81"}});
    const QList<XmlRow> router = {{"web", "192.168.1.5", "80", "80", "TCP", kValidGb, "0", "o1"},
                                  {"cam", "192.168.1.20", "81", "81", "TCP", kValidGb, "0", "o2"}};
    ASSERT_TRUE(f.Run(RouterXml(router), false));
    EXPECT_FALSE(f.conflict);
    EXPECT_EQ(f.SentEntries(), QStringList({"192.168.1.5:80>80/TCP/0", "192.168.1.20:81>81/TCP/0"}));
    EXPECT_TRUE(TPortMapping::VerifyResult(f.sent, RouterXml(router)));
}

TEST(MergeFlow, ConflictAnsweredNoSendsNothingAndYesReplacesTheOldEntry) {
    const QList<XmlRow> router = {{"old", "192.168.1.30", "81", "80", "TCP"}, {"ftp", "192.168.1.5", "21", "21", "TCP"}};
    Flow no({{"192.168.1.20", "81"}});
    ASSERT_TRUE(no.Run(RouterXml(router), false));
    EXPECT_TRUE(no.conflict);
    EXPECT_TRUE(no.sent.isEmpty());

    Flow yes({{"192.168.1.20", "81"}});
    ASSERT_TRUE(yes.Run(RouterXml(router), true));
    EXPECT_TRUE(yes.conflict);
    EXPECT_EQ(yes.SentEntries(true), QStringList({"ftp=192.168.1.5:21>21/TCP/0", "192.168.1.20:81=192.168.1.20:81>81/TCP/1"}));
    EXPECT_EQ(yes.pm.dsNeed.All()[0].isUse, false);
}

TEST(MergeFlow, FamilyEightGetsBothPortsAndLongNamesAreCutToTwenty) {
    Flow f({{"192.168.100.200", "65535"}, {"192.168.100.200", "554"}});
    ASSERT_TRUE(f.Run(RouterXml({}), false));
    EXPECT_EQ(f.SentEntries(true), QStringList({"192.168.100.200:6553=192.168.100.200:65535>65535/TCP/1",
                                                "192.168.100.200:554=192.168.100.200:554>554/TCP/1"}));
    EXPECT_TRUE(f.sent.contains("<Name>192.168.100.200:6553</Name>"));
    EXPECT_FALSE(f.sent.contains("192.168.100.200:65535<"));
}

TEST(MergeFlow, TheXmlSentIsGb2312WithEveryElementInOrder) {
    Flow f({{"192.168.1.20", "81"}});
    ASSERT_TRUE(f.Run(RouterXml({{"ftp", "192.168.1.5", "21", "2121", "TCP+UDP", kValidGb, "0", "id7"}}, 16), false));
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
        "<PortForwards Count=\"2\" MaxCount=\"16\">\r\n"
        "  <PortForward>\r\n"
        "    <Name>ftp</Name>\r\n"
        "    <IP>192.168.1.5</IP>\r\n"
        "    <PubPort>21</PubPort>\r\n"
        "    <PriPort>2121</PriPort>\r\n"
        "    <Protocol>TCP+UDP</Protocol>\r\n"
        "    <Status>\xD3\xD0\xD0\xA7</Status>\r\n"
        "    <OrderId>id7</OrderId>\r\n"
        "    <isUpdate>0</isUpdate>\r\n"
        "  </PortForward>\r\n"
        "  <PortForward>\r\n"
        "    <Name>192.168.1.20:81</Name>\r\n"
        "    <IP>192.168.1.20</IP>\r\n"
        "    <PubPort>81</PubPort>\r\n"
        "    <PriPort>81</PriPort>\r\n"
        "    <Protocol>TCP</Protocol>\r\n"
        "    <Status>\xD3\xD0\xD0\xA7</Status>\r\n"
        "    <OrderId></OrderId>\r\n"
        "    <isUpdate>1</isUpdate>\r\n"
        "  </PortForward>\r\n"
        "</PortForwards>\r\n";
    EXPECT_EQ(f.sent, expected);
}

TEST(MergeFlow, SecondPortPairOnlyWhenTheRouterUsesIt) {
    Flow dual({{"192.168.1.20", "81"}});
    XmlRow r{"nas", "192.168.1.7", "5000", "5000", "TCP"};
    r.pub2 = "5001";
    r.pri2 = "5001";
    ASSERT_TRUE(dual.Run(RouterXml({r}), false));
    EXPECT_TRUE(dual.pm.DualPort);
    EXPECT_EQ(dual.sent.count("<PubPort2>"), 2);
    EXPECT_TRUE(dual.sent.contains("<PubPort2>5001</PubPort2>\r\n    <PriPort2>5001</PriPort2>"));
    EXPECT_TRUE(dual.sent.contains("<PubPort2>81</PubPort2>\r\n    <PriPort2>81</PriPort2>"));

    Flow single({{"192.168.1.20", "81"}});
    ASSERT_TRUE(single.Run(RouterXml({{"nas", "192.168.1.7", "5000", "5000", "TCP"}}), false));
    EXPECT_FALSE(single.pm.DualPort);
    EXPECT_FALSE(single.sent.contains("PubPort2"));
}

TEST(MergeFlow, EveryPressJudgesAgainstTheRoutersTableOfThatMoment) {
    Flow f({{"192.168.1.20", "81"}});
    ASSERT_TRUE(f.Run(RouterXml({{"cam", "192.168.1.20", "81", "81", "TCP"}}), false));
    EXPECT_EQ(f.SentEntries(), QStringList({"192.168.1.20:81>81/TCP/0"}));
    // Someone removed the mapping on the router before the next press: it must be added again.
    ASSERT_TRUE(f.Run(RouterXml({}), false));
    EXPECT_EQ(f.SentEntries(), QStringList({"192.168.1.20:81>81/TCP/1"}));
}

TEST(Tables, HiddenRecordsTakeNoPartAndOutliveARefill) {
    TPortMapping pm;
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({{"a", "192.168.1.2", "1", "1", "TCP", kValidGb, "4"},
                                             {"b", "192.168.1.3", "2", "2", "TCP", kValidGb, "2"},
                                             {"c", "192.168.1.4", "3", "3", "TCP", kValidGb, "3"}})));
    EXPECT_EQ(pm.dsRouter.ShownCount(), 1);
    EXPECT_EQ(pm.dsRouter.All().size(), 3);
    const QByteArray xml = pm.BuildRouterXml();
    EXPECT_TRUE(xml.contains("Count=\"1\""));
    EXPECT_TRUE(xml.contains("<Name>b</Name>"));
    EXPECT_FALSE(xml.contains("<Name>a</Name>"));
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({{"d", "192.168.1.5", "4", "4", "TCP"}})));
    EXPECT_EQ(pm.dsRouter.ShownCount(), 1);
    EXPECT_EQ(pm.dsRouter.All().size(), 3);  // a and c stay hidden, b was replaced by d
    EXPECT_EQ(pm.dsRouter.Shown()[0]->name, "d");
    // IDs keep counting: every appended record gets a new one.
    EXPECT_EQ(pm.dsRouter.Shown()[0]->ID, 4);
}

TEST(Tables, TextFieldsAreCutToTheirWidths) {
    TPortMapTable t;
    TPortMapRecord r;
    r.name = QString(25, QLatin1Char('n'));
    r.IP = QString(40, QLatin1Char('1'));
    r.Protocol = QString(60, QLatin1Char('p'));
    r.Status = QString(12, QLatin1Char('s'));
    r.OrderId = QString(55, QLatin1Char('o'));
    const TPortMapRecord& s = t.Append(r);
    EXPECT_EQ(s.name.size(), 20);
    EXPECT_EQ(s.IP.size(), 32);
    EXPECT_EQ(s.Protocol.size(), 50);
    EXPECT_EQ(s.Status.size(), 10);
    EXPECT_EQ(s.OrderId.size(), 50);
    // A character outside the basic plane is never split in two.
    r.name = QString(19, QLatin1Char('n')) + QString::fromUtf8("\xF0\x9F\x93\xB7");
    EXPECT_EQ(t.Append(r).name, QString(19, QLatin1Char('n')));
}

TEST(BuildRouterXml, EmptyWhenNothingIsShown) {
    TPortMapping pm;
    EXPECT_TRUE(pm.BuildRouterXml().isEmpty());
    ASSERT_TRUE(pm.ParseRouterXml(RouterXml({{"a", "192.168.1.2", "1", "1", "TCP", kValidGb, "3"}})));
    EXPECT_TRUE(pm.BuildRouterXml().isEmpty());
}

TEST(BuildRouterXml, CharactersXmlCannotCarryAreDropped) {
    TPortMapping pm;
    ASSERT_TRUE(pm.AddMapping(QString::fromUtf8("192.168.1.20\x01<&>"), "81", "TCP"));
    pm.MergeNeeded();
    const QByteArray xml = pm.BuildRouterXml();
    EXPECT_TRUE(xml.contains("<IP>192.168.1.20&lt;&amp;&gt;</IP>")) << xml.constData();
    TPortMapping back;
    EXPECT_TRUE(back.ParseRouterXml(xml));
}

struct VerifyCase {
    const char* what;
    QList<XmlRow> sent, returned;
    bool ok;
};

TEST(VerifyResult, EveryActiveSentEntryMustComeBackInOrder) {
    const XmlRow a{"a", "192.168.1.5", "80", "80", "TCP"};
    const XmlRow b{"b", "192.168.1.20", "81", "81", "TCP", kValidGb, "1"};
    const XmlRow other{"o", "192.168.1.99", "9999", "9999", "TCP"};
    XmlRow bAsRouterSaysIt = b;  // other name, upper/lower case and blanks do not count
    bAsRouterSaysIt.name = "renamed";
    bAsRouterSaysIt.ip = " 192.168.1.20 ";
    bAsRouterSaysIt.protocol = "tcp";
    bAsRouterSaysIt.isUpdate = "0";
    XmlRow dropped = other;
    dropped.isUpdate = "3";
    XmlRow inactive = other;
    inactive.isUpdate = "4";
    XmlRow invalid = b;
    invalid.status = "\xCE\xDE\xD0\xA7";  // "无效"
    XmlRow otherPort = b;
    otherPort.pri = "82";
    const QList<VerifyCase> cases = {
        {"the same table", {a, b}, {a, b}, true},
        {"router's own spelling", {a, b}, {a, bAsRouterSaysIt}, true},
        {"a further entry at the end", {a, b}, {a, b, other}, true},
        {"a further entry before the sent ones", {a, b}, {other, a, b}, false},
        {"an entry missing", {a, b}, {a}, false},
        {"another order", {a, b}, {b, a}, true},
        {"empty reply table", {a, b}, {}, false},
        {"inactive entries of the reply are skipped", {a, b}, {inactive, a, b}, true},
        {"inactive entries of the sent table are not expected", {a, dropped, b}, {a, b}, true},
        {"other status", {a, b}, {a, invalid}, false},
        {"other private port", {a, b}, {a, otherPort}, false},
        {"a repeated entry must come back twice", {a, a}, {a}, false},
        {"nothing sent, nothing matched", {}, {a}, false},
    };
    for (const VerifyCase& c : cases)
        EXPECT_EQ(TPortMapping::VerifyResult(RouterXml(c.sent), RouterXml(c.returned)), c.ok) << c.what;
}

TEST(VerifyResult, ARepliedTextThatIsNotATableFails) {
    const QByteArray sent = RouterXml({{"a", "192.168.1.5", "80", "80", "TCP"}});
    for (const QByteArray& reply : {QByteArray(), QByteArray("garbage"), QByteArray("<PortForwards MaxCount=\"3\"/>"),
                                    QByteArray("<PortForwards Count=\"2\" MaxCount=\"3\"><PortForward/></PortForwards>")})
        EXPECT_FALSE(TPortMapping::VerifyResult(sent, reply)) << reply.constData();
    // A sent text that cannot be read leaves nothing pending, and nothing can match then.
    EXPECT_FALSE(TPortMapping::VerifyResult("garbage", sent));
}

}  // namespace
