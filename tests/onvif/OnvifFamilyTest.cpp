// Family 10's rules without the network: the settings a change sends given what the camera
// holds, the checks before anything is sent, the list keys, and its place in the registry.

#include "OnvifFamily.h"
#include "TestFamilies.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

// A record as the search gives it: no mask, gateway or DNS servers.
TDevInfo Found()
{
    TDevInfo r;
    r.Family = 10;
    r.Mac = QStringLiteral("020F00000A01");
    r.IP = QStringLiteral("192.168.7.60");
    r.HttpPort = 80;
    r.AddrMode = kAddrStatic;
    return r;
}

// What the camera reads as: /23, its gateway, two DNS servers.
Onvif::TDevice Current()
{
    Onvif::TDevice d;
    d.iface.prefixLength = 23;
    d.iface.address = QStringLiteral("192.168.7.60");
    d.gateways = {QStringLiteral("192.168.6.1")};
    d.dns.servers = {QStringLiteral("192.168.6.53"), QStringLiteral("9.9.9.9")};
    return d;
}

struct SettingsCase {
    const char* name;
    std::function<void(TDevInfo&)> edit;  // applied to the found record
    bool dhcp;
    int prefix;
    const char* gateway;
    QStringList dns;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class SettingsTable : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsTable, UnsetValuesKeepTheCamerasOwn)
{
    const SettingsCase& c = GetParam();
    TDevInfo next = Found();
    c.edit(next);
    const std::optional<Onvif::TNetSettings> s = Onvif::SettingsFor(Found(), next, Current());
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->dhcp, c.dhcp);
    if (c.dhcp)
        return;
    EXPECT_EQ(s->address, next.IP);
    EXPECT_EQ(s->prefixLength, c.prefix);
    EXPECT_EQ(s->gateway, QString::fromLatin1(c.gateway));
    EXPECT_EQ(s->dns, c.dns);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SettingsTable,
    ::testing::Values(
        SettingsCase{"AddressOnly", [](TDevInfo& r) { r.IP = "192.168.7.70"; }, false, 23, "", {}},
        // The advanced window's editor hands back an address the record lacked as 0.0.0.0.
        SettingsCase{"EditorZeros",
                     [](TDevInfo& r) {
                         r.IP = "192.168.7.70";
                         r.Mask = "0.0.0.0";
                         r.Gateway = "0.0.0.0";
                     },
                     false, 23, "", {}},
        SettingsCase{"MaskAndGateway",
                     [](TDevInfo& r) {
                         r.Mask = "255.255.255.128";
                         r.Gateway = "192.168.7.1";
                     },
                     false, 25, "192.168.7.1", {}},
        // One server changed: the other is the camera's, both go in the one request.
        SettingsCase{"FirstDnsOnly", [](TDevInfo& r) { r.Dns1 = "1.1.1.1"; }, false, 23, "",
                     {"1.1.1.1", "9.9.9.9"}},
        SettingsCase{"BothDns",
                     [](TDevInfo& r) {
                         r.Dns1 = "8.8.8.8";
                         r.Dns2 = "208.67.222.222";
                     },
                     false, 23, "", {"8.8.8.8", "208.67.222.222"}},
        SettingsCase{"Dhcp", [](TDevInfo& r) { r.AddrMode = kAddrDhcp; }, true, 0, "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Settings, AMaskOfGapsIsNoSettings)
{
    TDevInfo next = Found();
    next.Mask = QStringLiteral("255.0.255.0");
    EXPECT_FALSE(Onvif::SettingsFor(Found(), next, Current()).has_value());
}

TEST(Settings, WithoutTheCamerasPrefixTheRecordsMaskThenA24)
{
    Onvif::TDevice none = Current();
    none.iface.prefixLength = 0;
    TDevInfo old = Found();
    old.Mask = QStringLiteral("255.255.0.0");
    EXPECT_EQ(Onvif::SettingsFor(old, old, none)->prefixLength, 16);
    EXPECT_EQ(Onvif::SettingsFor(Found(), Found(), none)->prefixLength, 24);
}

struct CheckCase {
    const char* name;
    std::function<void(TDevInfo&)> edit;
    TNetProblem problem;
    TNetField field;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTable, WhatTheCommandCanCarry)
{
    const CheckCase& c = GetParam();
    TOnvifFamily family;
    TDevInfo next = Found();
    c.edit(next);
    const TNetCheck check = family.CheckNetwork(Found(), next, {QStringLiteral("admin"), QStringLiteral("pw")});
    EXPECT_EQ(int(check.problem), int(c.problem));
    EXPECT_EQ(check.field, c.field);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CheckTable,
    ::testing::Values(
        // A search record as it is: no mask, gateway or DNS to check.
        CheckCase{"AsFound", [](TDevInfo&) {}, TNetProblem::kNone, kNetNone},
        CheckCase{"GoodMask", [](TDevInfo& r) { r.Mask = "255.255.254.0"; }, TNetProblem::kNone, kNetNone},
        CheckCase{"MaskWithGaps", [](TDevInfo& r) { r.Mask = "255.0.255.0"; }, TNetProblem::kBadAddress, kNetMask},
        CheckCase{"GatewayNotAnAddress", [](TDevInfo& r) { r.Gateway = "192.168.7"; }, TNetProblem::kBadAddress,
                  kNetGateway},
        CheckCase{"BroadcastHost", [](TDevInfo& r) { r.IP = "192.168.7.255"; }, TNetProblem::kBadAddress, kNetIP},
        CheckCase{"Pppoe", [](TDevInfo& r) { r.AddrMode = kAddrPppoe; }, TNetProblem::kBadMode, kNetAddrMode}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Keys, AnEndpointKeepsItsFirstKey)
{
    Onvif::TOnvifKeys keys;
    // Not in the neighbour table at first: the endpoint, also once the table has it.
    EXPECT_EQ(keys.KeyFor("urn:uuid:a", ""), "urn:uuid:a");
    EXPECT_EQ(keys.KeyFor("urn:uuid:a", "020F00000A01"), "urn:uuid:a");
    // In the table at once: the hardware address, also when the table loses it.
    EXPECT_EQ(keys.KeyFor("urn:uuid:b", "020F00000A02"), "020F00000A02");
    EXPECT_EQ(keys.KeyFor("urn:uuid:b", ""), "020F00000A02");
    // Another endpoint behind the same hardware address is a camera of its own.
    EXPECT_EQ(keys.KeyFor("urn:uuid:c", "020F00000A02"), "urn:uuid:c");
}

TEST(Registry, FamilyTenHasALetterOfItsOwnAndStaysOutOfTheWizard)
{
    const TFamilyRegistry& r = testsupport::Families();
    const ICameraFamily* onvif = r.Find(10);
    ASSERT_NE(onvif, nullptr);
    EXPECT_EQ(onvif->Traits().series, "O");
    EXPECT_FALSE(onvif->Traits().easyListed);
    EXPECT_TRUE(onvif->Traits().applyCommand);
    EXPECT_TRUE(onvif->CanRestart());
    EXPECT_EQ(r.All().back()->Code(), 10);
    std::multiset<QString> letters;
    for (const auto& f : r.All())
        letters.insert(f->Traits().series);
    EXPECT_EQ(letters.count("O"), 1u);
}

}  // namespace
