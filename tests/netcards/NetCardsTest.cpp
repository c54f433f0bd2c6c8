// Local adapters from fixture copies of what Linux systems keep in /proc, /etc and /run.

#include "NetCards.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

using namespace NetCards;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The files of one fixture machine, found under its folder instead of "/".
TFileSystem FixtureSystem(const QString& machine)
{
    const QString root = QStringLiteral(NETCARDS_FIXTURES "/") + machine;
    TFileSystem fs;
    fs.read = [root](const QString& path) -> std::optional<QString> {
        QFile f(root + path);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        return QString::fromUtf8(f.readAll());
    };
    fs.list = [root](const QString& folder) {
        return QDir(root + folder).entryList(QDir::Files, QDir::Name);
    };
    return fs;
}

TIfaceFacts Iface(const QString& name, int index, const QString& ip, const QString& mask,
                  const QByteArray& hw = QByteArray::fromHex("001a2b3c4d5e"))
{
    TIfaceFacts f;
    f.name = name;
    f.index = index;
    f.ip = ip;
    f.mask = mask;
    f.hardware = hw;
    return f;
}

struct Cards {
    TNetCardList list;
    ~Cards() { FreeNetCards(&list); }
    const TNET_CARD* Named(const QString& name) const
    {
        for (const TNET_CARD* c : list)
            if (c->Description == name)
                return c;
        return nullptr;
    }
};

Cards Build(const QString& machine, const QList<TIfaceFacts>& ifaces)
{
    const TFileSystem fs = FixtureSystem(machine);
    Cards c;
    c.list = BuildNetCards(ifaces, fs.read("/proc/net/route").value_or(QString()),
                           NameServers(fs), fs);
    return c;
}

}  // namespace

TEST(NetCards, MacToText)
{
    const unsigned char six[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(MacToText(six, 6), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(MacToText(six, 1), "00");
    EXPECT_EQ(MacToText(six, 0), "");
    EXPECT_EQ(MacToText(nullptr, 6), "");
    EXPECT_EQ(MacToText(QByteArray::fromHex("fffefd")), "FF-FE-FD");
}

TEST(NetCards, NameServerTextRule)
{
    struct Case {
        const char* text;
        const char* dns1;
        const char* dns2;
    } cases[] = {
        {"8.8.8.8", "8.8.8.8", ""},
        {"8.8.8.8 1.1.1.1", "8.8.8.8", "1.1.1.1"},        // exactly 7 characters: kept
        {"8.8.8.8,1.1.1.1", "8.8.8.8", "1.1.1.1"},
        {"8.8.8.8, 1.1.1.1", "8.8.8.8", ""},              // the item between "," and " "
        {"8.8.8.8 1.1.1", "8.8.8.8", ""},                 // too short
        {"8.8.8.8 9.9.9.9 1.1.1.1", "8.8.8.8", "9.9.9.9"},
        {"", "", ""},
        {" 8.8.8.8", "", "8.8.8.8"},
    };
    for (const Case& c : cases) {
        QString d1 = "x", d2 = "x";
        SplitNameServers(c.text, d1, d2);
        EXPECT_EQ(d1, c.dns1) << c.text;
        EXPECT_EQ(d2, c.dns2) << c.text;
    }
}

TEST(NetCards, DefaultRoutes)
{
    const auto routes = ParseDefaultRoutes(FixtureSystem("nm").read("/proc/net/route").value());
    EXPECT_EQ(routes.value("wlan0"), "192.168.1.1");  // the lower-metric route is down
    EXPECT_EQ(routes.value("eth0"), "10.0.0.254");    // lowest metric
    EXPECT_FALSE(routes.contains("tun0"));             // no gateway
    EXPECT_EQ(routes.size(), 2);
    EXPECT_TRUE(ParseDefaultRoutes("").isEmpty());
    EXPECT_TRUE(ParseDefaultRoutes("garbage\nmore garbage with words in it\n").isEmpty());
}

TEST(NetCards, ResolverNameServers)
{
    EXPECT_EQ(NameServers(FixtureSystem("nm")),
              (QStringList{"192.168.1.1", "1.1.1.1", "9.9.9.9"}));
    // Only the local stub of systemd-resolved: the servers it asks.
    EXPECT_EQ(NameServers(FixtureSystem("resolved")), (QStringList{"9.9.9.9", "149.112.112.112"}));
    EXPECT_EQ(ParseResolvConf("#nameserver 1.2.3.4\n  nameserver   5.6.7.8  \nnameserver\n"),
              QStringList{"5.6.7.8"});
    EXPECT_TRUE(NameServers(FixtureSystem("no-such-machine")).isEmpty());
}

TEST(NetCards, NetworkManagerMachine)
{
    TIfaceFacts lo = Iface("lo", 1, "127.0.0.1", "255.0.0.0", QByteArray());
    lo.loopback = true;
    const Cards c = Build("nm", {lo, Iface("eth0", 2, "10.0.0.20", "255.0.0.0"),
                                 Iface("wlan0", 3, "192.168.1.33", "255.255.255.0",
                                       QByteArray::fromHex("a0b1c2d3e4f5")),
                                 Iface("eth1", 5, "0.0.0.0", "0.0.0.0"),
                                 Iface("docker0", 6, "", "")});
    ASSERT_EQ(c.list.size(), 2);
    EXPECT_EQ(c.list[0]->Description, "eth0");  // in the system's order
    const TNET_CARD* wlan = c.Named("wlan0");
    ASSERT_NE(wlan, nullptr);
    EXPECT_EQ(wlan->Mac, "A0-B1-C2-D3-E4-F5");
    EXPECT_EQ(wlan->IP, "192.168.1.33");
    EXPECT_EQ(wlan->Mask, "255.255.255.0");
    EXPECT_EQ(wlan->Gateway, "192.168.1.1");
    EXPECT_EQ(wlan->Dns1, "192.168.1.1");
    EXPECT_EQ(wlan->Dns2, "1.1.1.1");
    EXPECT_TRUE(wlan->Dhcp);
    EXPECT_EQ(wlan->ConnName, "Home WiFi");
    const TNET_CARD* eth = c.Named("eth0");
    EXPECT_EQ(eth->Gateway, "10.0.0.254");
    EXPECT_FALSE(eth->Dhcp);
    EXPECT_EQ(eth->ConnName, "Wired connection 1");
}

TEST(NetCards, NetworkdMachine)
{
    const Cards c = Build("resolved", {Iface("enp3s0", 2, "192.168.1.77", "255.255.255.0"),
                                       Iface("enp4s0", 4, "172.16.0.2", "255.255.0.0")});
    ASSERT_EQ(c.list.size(), 2);
    const TNET_CARD* dhcp = c.Named("enp3s0");
    EXPECT_TRUE(dhcp->Dhcp);
    EXPECT_EQ(dhcp->Gateway, "192.168.1.1");
    EXPECT_EQ(dhcp->Dns1, "192.168.1.53");  // the link's own servers
    EXPECT_EQ(dhcp->Dns2, "192.168.1.54");
    EXPECT_EQ(dhcp->ConnName, "");
    const TNET_CARD* fixed = c.Named("enp4s0");
    EXPECT_FALSE(fixed->Dhcp);
    EXPECT_EQ(fixed->Gateway, "");
    EXPECT_EQ(fixed->Dns1, "9.9.9.9");
    EXPECT_EQ(fixed->Dns2, "149.112.112.112");
}

TEST(NetCards, IfupdownMachine)
{
    const Cards c = Build("ifupdown", {Iface("eth0", 2, "192.168.2.10", "255.255.255.0"),
                                       Iface("eth1", 3, "192.168.5.2", "255.255.255.0"),
                                       Iface("eth2", 4, "192.168.6.2", "255.255.255.0")});
    ASSERT_EQ(c.list.size(), 3);
    EXPECT_TRUE(c.Named("eth0")->Dhcp);   // from a file that "source" names
    EXPECT_FALSE(c.Named("eth1")->Dhcp);
    EXPECT_FALSE(c.Named("eth2")->Dhcp);  // only in a comment
    EXPECT_EQ(c.Named("eth0")->Gateway, "192.168.2.1");
    EXPECT_EQ(c.Named("eth0")->Dns1, "192.168.2.1");
    EXPECT_EQ(c.Named("eth0")->Dns2, "");
}

TEST(NetCards, DhclientLeases)
{
    const Cards held = Build("dhclient", {Iface("eth0", 2, "192.168.1.41", "255.255.255.0")});
    ASSERT_EQ(held.list.size(), 1);
    EXPECT_TRUE(held.list[0]->Dhcp);
    const Cards other = Build("dhclient", {Iface("eth0", 2, "192.168.1.99", "255.255.255.0")});
    EXPECT_FALSE(other.list[0]->Dhcp);
    EXPECT_FALSE(DhclientHasLease("lease { interface \"eth1\"; fixed-address 192.168.1.41; }",
                                  "eth0", "192.168.1.41"));
}

TEST(NetCards, LongTextsAreCut)
{
    const Cards c = Build("nm", {Iface(QString(300, u'n'), 9, "10.9.9.9", QString(200, u'2'))});
    ASSERT_EQ(c.list.size(), 1);
    EXPECT_EQ(c.list[0]->Description.size(), kMaxDescription);
    EXPECT_EQ(c.list[0]->Mask.size(), kMaxText);
}

TEST(NetCards, SystemListIsAppendedAndFreed)
{
    TNetCardList list;
    auto* mine = new TNET_CARD;
    mine->Description = "kept";
    list << mine;
    GetNetCards(list);
    ASSERT_GE(list.size(), 1);
    EXPECT_EQ(list[0], mine);
    for (qsizetype i = 1; i < list.size(); ++i) {
        EXPECT_FALSE(list[i]->IP.isEmpty());
        EXPECT_NE(list[i]->IP, "0.0.0.0");
        EXPECT_NE(list[i]->IP, "127.0.0.1");
    }
    FreeNetCards(&list);
    EXPECT_TRUE(list.isEmpty());
    FreeNetCards(nullptr);
    // Files of /proc report no size; they must still be read whole.
    const auto route = RealFileSystem().read("/proc/net/route");
    ASSERT_TRUE(route.has_value());
    EXPECT_TRUE(route->startsWith("Iface"));
    EXPECT_GE(route->count(u'\n'), 1);
}
