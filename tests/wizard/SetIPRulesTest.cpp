// Step 4's address decision.

#include "SetIPRules.h"

#include <gtest/gtest.h>

namespace {

using SetIP::Decide;
using SetIP::TDecision;

TDevInfo Cam(const QString& ip, quint16 port, const QString& mac, quint8 mode = kAddrStatic, quint16 dataPort = 0) {
    TDevInfo d;
    d.Family = 2;
    d.IP = ip;
    d.HttpPort = port;
    d.Mac = mac;
    d.AddrMode = mode;
    d.DataPort = dataPort;
    d.Mask = "255.255.255.0";
    d.Gateway = "192.168.1.1";
    d.Dns1 = "192.168.1.1";
    d.Name = "Cam";
    return d;
}

TEST(SetIPSeed, FromTheLastPairOfTheMacThatIsNotZero) {
    struct Case {
        const char* mac;
        int clockMs;
        int seed;
    } cases[] = {
        {"00:1a:2b:3c", 500, 60},
        {"00-1A-2B-3C", 500, 60},
        {"1a:00:00", 500, 26},
        {"001A2B000282", 500, 130},   // twelve digits: the last two
        {"00:00:00:00:00:00", 900, 900},  // nothing but zeros: the clock
        {"00:00", 7, 7},
        {"", 123, 123},
        {"zz", 42, 42},  // not hexadecimal: the clock
        {"ff", 0, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetIP::Seed(c.mac, c.clockMs), c.seed) << c.mac;
}

// The examples: the PC at 10.0.0.7.
TEST(SetIPDecide, FactoryCameraMovesIntoThePcsSubnet) {
    const auto n = Decide(Cam("192.168.1.126", 81, "00:1a:2b:3c", kAddrDhcp, 554), "10.0.0.7", "10.0.0.1", 0, {});
    ASSERT_EQ(n.decision, TDecision::kSend);
    EXPECT_EQ(n.settings.IP, "10.0.0.186");
    EXPECT_EQ(n.settings.HttpPort, 1141);
    EXPECT_EQ(n.settings.DataPort, 2614);
    EXPECT_EQ(n.settings.Gateway, "10.0.0.1");
    EXPECT_EQ(n.settings.Dns1, "8.8.8.8");
    EXPECT_EQ(n.settings.Dns2, "208.67.222.222");
    EXPECT_EQ(n.settings.AddrMode, kAddrStatic);
    EXPECT_EQ(n.settings.Mask, "255.255.255.0") << "the mask and the rest stay";
    EXPECT_EQ(n.settings.Name, "Cam");
    EXPECT_EQ(n.settings.Mac, "00:1a:2b:3c");
}

TEST(SetIPDecide, OnlyThePortOf81Changes) {
    const auto n = Decide(Cam("10.0.0.50", 81, "1a:00:00"), "10.0.0.7", "10.0.0.1", 0, {});
    ASSERT_EQ(n.decision, TDecision::kSend);
    EXPECT_EQ(n.settings.IP, "10.0.0.50");
    EXPECT_EQ(n.settings.HttpPort, 1107);
    EXPECT_EQ(n.settings.DataPort, 2026);
    EXPECT_EQ(n.settings.Gateway, "10.0.0.1");
}

TEST(SetIPDecide, ACameraInTheSubnetOnlyLosesDhcp) {
    const auto dhcp = Decide(Cam("192.168.1.130", 80, "00:11:22", kAddrDhcp), "192.168.1.20", "192.168.1.1", 0, {});
    ASSERT_EQ(dhcp.decision, TDecision::kSend);
    TDevInfo expected = Cam("192.168.1.130", 80, "00:11:22", kAddrStatic);
    EXPECT_EQ(dhcp.settings, expected) << "nothing else changes";
    const auto fixed = Decide(Cam("192.168.1.130", 80, "00:11:22", kAddrStatic), "192.168.1.20", "192.168.1.1", 0, {});
    EXPECT_EQ(fixed.decision, TDecision::kKeep);
}

TEST(SetIPDecide, TheFactoryAddressMovesEvenInThePcsSubnet) {
    const auto n = Decide(Cam("192.168.1.126", 80, "00:11:05"), "192.168.1.20", "192.168.1.1", 0, {});
    ASSERT_EQ(n.decision, TDecision::kSend);
    EXPECT_EQ(n.settings.IP, "192.168.1.131");
    EXPECT_EQ(n.settings.HttpPort, 80);
}

// The fourth octet: the sum, and its rest after division by 255 above 255.
TEST(SetIPDecide, FourthOctet) {
    struct Case {
        const char* ip;
        const char* mac;
        int clockMs;
        const char* expected;
    } cases[] = {
        {"172.16.0.200", "00:00:64", 0, "10.0.0.45"},    // 200 + 100 = 300 -> 45
        {"172.16.0.126", "00:00:00", 900, "10.0.0.6"},   // 126 + clock 900 = 1026 -> 6
        {"172.16.0.126", "00:00:00", 1900, "10.0.0.6"},  // only the millisecond part counts
        {"172.16.0.3", "00:00:01", 0, "10.0.0.4"},
        // Addresses nobody can use are not given out: the next one up is taken.
        {"172.16.0.200", "00:00:37", 0, "10.0.0.2"},   // 255 (the broadcast address) -> 1 is the gateway -> 2
        {"172.16.0.255", "00:00:ff", 0, "10.0.0.2"},   // 510 -> 0 (the network) -> 1, the gateway -> 2
        {"172.16.0.6", "00:00:01", 0, "10.0.0.8"},     // 7 is the PC
    };
    for (const Case& c : cases) {
        const auto n = Decide(Cam(c.ip, 80, c.mac), "10.0.0.7", "10.0.0.1", c.clockMs, {});
        ASSERT_EQ(n.decision, TDecision::kSend) << c.ip << " " << c.mac;
        EXPECT_EQ(n.settings.IP, c.expected) << c.ip << " " << c.mac;
    }
}

TEST(SetIPDecide, AnAddressOfAnotherListedCameraIsSkipped) {
    const auto n = Decide(Cam("172.16.0.3", 80, "00:00:01"), "10.0.0.7", "10.0.0.1", 0, {"10.0.0.4", "10.0.0.5"});
    EXPECT_EQ(n.settings.IP, "10.0.0.6");
    QStringList all;
    for (int i = 1; i <= 254; ++i)
        all << QStringLiteral("10.0.0.%1").arg(i);
    EXPECT_EQ(Decide(Cam("172.16.0.3", 80, "00:00:01"), "10.0.0.7", "10.0.0.1", 0, all).decision, TDecision::kImpossible);
}

TEST(SetIPDecide, DataPortWrapsIn16Bits) {
    const auto n = Decide(Cam("172.16.0.3", 80, "00:00:3c", kAddrStatic, 65000), "10.0.0.7", "10.0.0.1", 0, {});
    EXPECT_EQ(n.settings.DataPort, quint16(65000 + 2060));
}

TEST(SetIPDecide, WithoutAnAddressOfThePcNothingCanBeDecided) {
    EXPECT_EQ(Decide(Cam("172.16.0.3", 80, "00:00:01"), "", "", 0, {}).decision, TDecision::kImpossible);
    // A camera address that is no address counts as another subnet.
    const auto n = Decide(Cam("garbage", 80, "00:00:05"), "10.0.0.7", "10.0.0.1", 0, {});
    ASSERT_EQ(n.decision, TDecision::kSend);
    EXPECT_EQ(n.settings.IP, "10.0.0.5");
}

}  // namespace
