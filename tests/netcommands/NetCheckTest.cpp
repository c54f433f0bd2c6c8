// The checks a settings change passes before anything is sent (ICameraFamily::CheckNetwork),
// per family: what the window and the ipcam tool both refuse.

#include "FakeSearchSink.h"
#include "TestFamilies.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TDevInfo Camera(int family)
{
    TDevInfo r;
    r.Family = family;
    r.Mac = "001A2B3C4D5E";
    r.MacHex = "001A2B3C4D5E";
    r.SN = "0102030405060A";
    r.Name = "Cam";
    r.IP = "10.0.0.5";
    r.Mask = "255.255.255.0";
    r.Gateway = "10.0.0.1";
    r.Dns1 = "8.8.8.8";
    r.Dns2 = "208.67.222.222";
    r.HttpPort = 80;
    r.DataPort = 554;
    r.AddrMode = kAddrStatic;
    return r;
}

const char* Name(TNetProblem p)
{
    switch (p) {
    case TNetProblem::kNone: return "none";
    case TNetProblem::kBadAddress: return "bad address";
    case TNetProblem::kBadPort: return "bad port";
    case TNetProblem::kTooLong: return "too long";
    case TNetProblem::kBadText: return "bad text";
    case TNetProblem::kBadMode: return "bad mode";
    }
    return "?";
}

}  // namespace

TEST(NetCheck, EachFamilyRefusesWhatItsCommandCannotCarry)
{
    using Edit = std::function<void(TDevInfo&, TLogin&)>;
    const TNetProblem ok = TNetProblem::kNone;
    const TNetProblem addr = TNetProblem::kBadAddress;
    const TNetProblem port = TNetProblem::kBadPort;
    const TNetProblem longText = TNetProblem::kTooLong;
    const TNetProblem text = TNetProblem::kBadText;
    const TNetProblem mode = TNetProblem::kBadMode;
    struct Case {
        const char* what;
        Edit edit;
        // The expected problem for families 2, 4, 5, 8, 9, and its field (when not none).
        TNetProblem expect[5];
        TNetField field;
        int limit[5];
    } cases[] = {
        {"nothing changed", [](TDevInfo&, TLogin&) {}, {ok, ok, ok, ok, ok}, kNetNone, {}},
        {"host number 0", [](TDevInfo& n, TLogin&) { n.IP = "10.0.0.0"; },
         {addr, addr, addr, addr, addr}, kNetIP, {}},
        {"host number 255", [](TDevInfo& n, TLogin&) { n.IP = "10.0.0.255"; },
         {addr, addr, addr, addr, addr}, kNetIP, {}},
        {"a part above 255", [](TDevInfo& n, TLogin&) { n.IP = "10.0.0.256"; },
         {addr, addr, addr, addr, addr}, kNetIP, {}},
        {"three parts", [](TDevInfo& n, TLogin&) { n.Mask = "255.255.255"; },
         {addr, addr, addr, addr, addr}, kNetMask, {}},
        {"empty gateway", [](TDevInfo& n, TLogin&) { n.Gateway = ""; },
         {addr, addr, addr, addr, addr}, kNetGateway, {}},
        {"blank in the DNS server", [](TDevInfo& n, TLogin&) { n.Dns1 = "8.8.8.8 "; },
         {addr, addr, addr, addr, addr}, kNetDns1, {}},
        // Families 2 and 4 do not carry a second DNS server at all.
        {"bad second DNS server", [](TDevInfo& n, TLogin&) { n.Dns2 = "8.8.4"; },
         {ok, ok, addr, addr, addr}, kNetDns2, {}},
        {"no second DNS server", [](TDevInfo& n, TLogin&) { n.Dns2 = ""; },
         {ok, ok, ok, ok, ok}, kNetNone, {}},
        {"web port 0", [](TDevInfo& n, TLogin&) { n.HttpPort = 0; },
         {port, port, port, port, port}, kNetHttpPort, {}},
        {"data port set to 0", [](TDevInfo& n, TLogin&) { n.DataPort = 0; },
         {ok, port, ok, port, ok}, kNetDataPort, {}},
        {"23-byte name", [](TDevInfo& n, TLogin&) { n.Name = QString(23, u'n'); },
         {ok, ok, ok, ok, ok}, kNetNone, {}},
        {"24-byte name", [](TDevInfo& n, TLogin&) { n.Name = QString(24, u'n'); },
         {ok, ok, ok, longText, ok}, kNetName, {0, 0, 0, 23, 0}},
        {"twelve two-byte letters", [](TDevInfo& n, TLogin&) { n.Name = QString(12, QChar(0xE4)); },
         {ok, ok, ok, longText, ok}, kNetName, {0, 0, 0, 23, 0}},
        {"79-byte name", [](TDevInfo& n, TLogin&) { n.Name = QString(79, u'n'); },
         {ok, ok, ok, longText, ok}, kNetName, {0, 0, 0, 23, 0}},
        {"80-byte name", [](TDevInfo& n, TLogin&) { n.Name = QString(80, u'n'); },
         {ok, ok, ok, longText, longText}, kNetName, {0, 0, 0, 23, 79}},
        {"line break in the name", [](TDevInfo& n, TLogin&) { n.Name = "Cam\r\n-ip 1.2.3.4"; },
         {ok, ok, text, ok, ok}, kNetName, {}},
        {"13-byte user and password", [](TDevInfo&, TLogin& l) { l = {QString(13, u'u'), QString(13, u'p')}; },
         {ok, ok, ok, ok, ok}, kNetNone, {}},
        {"14-byte user", [](TDevInfo&, TLogin& l) { l.user = QString(14, u'u'); },
         {longText, ok, ok, ok, ok}, kNetUser, {13, 0, 0, 0, 0}},
        {"blanks around a 13-byte user", [](TDevInfo&, TLogin& l) { l.user = "  " + QString(13, u'u') + " "; },
         {ok, ok, ok, ok, ok}, kNetNone, {}},
        {"14-byte password", [](TDevInfo&, TLogin& l) { l.password = QString(14, u'p'); },
         {longText, ok, ok, ok, ok}, kNetPassword, {13, 0, 0, 0, 0}},
        {"32-byte user", [](TDevInfo&, TLogin& l) { l.user = QString(32, u'u'); },
         {longText, ok, ok, ok, longText}, kNetUser, {13, 0, 0, 0, 31}},
        {"32-byte password", [](TDevInfo&, TLogin& l) { l.password = QString(32, u'p'); },
         {longText, ok, ok, ok, longText}, kNetPassword, {13, 0, 0, 0, 31}},
        {"line break in the password", [](TDevInfo&, TLogin& l) { l.password = "pw\n-ip 1.2.3.4"; },
         {longText, ok, text, ok, ok}, kNetPassword, {13, 0, 0, 0, 0}},
        {"to DHCP", [](TDevInfo& n, TLogin&) { n.AddrMode = kAddrDhcp; },
         {ok, ok, ok, ok, ok}, kNetNone, {}},
        // Families 8 and 9 offer no dial-up; family 2 does not carry the mode.
        {"to PPPoE", [](TDevInfo& n, TLogin&) { n.AddrMode = kAddrPppoe; },
         {ok, ok, ok, mode, mode}, kNetAddrMode, {}},
        {"to an unknown mode", [](TDevInfo& n, TLogin&) { n.AddrMode = 7; },
         {ok, mode, mode, mode, mode}, kNetAddrMode, {}},
    };
    const int families[] = {2, 4, 5, 8, 9};
    for (const Case& c : cases) {
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message() << c.what << ", family " << families[i]);
            const TDevInfo o = Camera(families[i]);
            TDevInfo n = o;
            TLogin login{"admin", "pw"};
            c.edit(n, login);
            const TNetCheck got = testsupport::Families().Get(families[i]).CheckNetwork(o, n, login);
            EXPECT_STREQ(Name(got.problem), Name(c.expect[i]));
            if (c.expect[i] != TNetProblem::kNone) {
                EXPECT_EQ(got.field, c.field);
            }
            if (c.expect[i] == TNetProblem::kTooLong) {
                EXPECT_EQ(got.limit, c.limit[i]);
            }
        }
    }
}

// What passes the check goes out: the check never refuses less than the command's builder.
TEST(NetCheck, WhatPassesIsSent)
{
    for (int family : {2, 5, 8}) {
        SCOPED_TRACE(family);
        const TDevInfo o = Camera(family);
        TDevInfo n = o;
        n.IP = "10.0.0.254";
        n.Name = QString(23, u'n');
        n.HttpPort = 65535;
        const TLogin login{QString(13, u'u'), QString(13, u'p')};
        ICameraFamily& f = testsupport::Families().Get(family);
        ASSERT_TRUE(f.CheckNetwork(o, n, login).Ok());
        TFakeSearchSink sink;
        EXPECT_EQ(f.ApplyNetwork(sink, TApplyOrigin::Advanced, o, n, login), TApplyResult::kSent);
    }
}
