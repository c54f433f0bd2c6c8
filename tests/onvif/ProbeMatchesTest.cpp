// The WS-Discovery side of the ONVIF search: the Probe we send, the ProbeMatches cameras
// answer with (shaped after what cameras of several makers send), the recent-probe log, the
// camera record and the neighbour-table lookup.

#include "OnvifDiscovery.h"
#include "Printers.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

using Onvif::TOnvifMatch;
using Onvif::TOnvifProbeLog;

constexpr char kOurId[] = "urn:uuid:6f1c2a4e-9b1d-4c3e-8a2f-0d5e7b9c1a3f";

// --- The probe -------------------------------------------------------------------------------

TEST(Probe, IsTheSoapOverUdpProbeForVideoTransmitters) {
    const Onvif::TOnvifProbe p = Onvif::BuildProbe();
    static const QRegularExpression uuid(QStringLiteral(
        "^urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"));
    ASSERT_TRUE(uuid.match(p.messageId).hasMatch()) << p.messageId.toStdString();
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
        " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
        " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
        "<s:Header>"
        "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
        "<a:MessageID>" + p.messageId.toLatin1() + "</a:MessageID>"
        "<a:ReplyTo><a:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
        "</a:Address></a:ReplyTo>"
        "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
        "</s:Header>"
        "<s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body>"
        "</s:Envelope>\n";
    EXPECT_EQ(p.datagram, expected);
}

TEST(Probe, EveryCallHasAFreshMessageId) {
    std::set<QString> ids;
    for (int i = 0; i < 50; ++i)
        ids.insert(Onvif::BuildProbe().messageId);
    EXPECT_EQ(ids.size(), 50u);
}

// --- ProbeMatches --------------------------------------------------------------------------

// %ID% is replaced by the MessageID of the probe the test has sent.
const char kHikvision[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" xmlns:soapenc="http://www.w3.org/2003/05/soap-encoding" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:tt="http://www.onvif.org/ver10/schema" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:trt="http://www.onvif.org/ver10/media/wsdl" xmlns:wsadis="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsdd="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:dn="http://www.onvif.org/ver10/network/wsdl">
<env:Header><wsadis:MessageID>urn:uuid:c3f0a1b2-0000-1000-8000-bcad28aabbcc</wsadis:MessageID><wsadis:RelatesTo>%ID%</wsadis:RelatesTo><wsadis:To env:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsadis:To><wsadis:Action env:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsadis:Action><wsdd:AppSequence InstanceId="1632718233" MessageNumber="21"/></env:Header>
<env:Body><wsdd:ProbeMatches><wsdd:ProbeMatch><wsadis:EndpointReference><wsadis:Address>urn:uuid:c3f0a1b2-0000-1000-8000-bcad28aabbcc</wsadis:Address></wsadis:EndpointReference><wsdd:Types>dn:NetworkVideoTransmitter tds:Device</wsdd:Types><wsdd:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/MAC/bc:ad:28:aa:bb:cc onvif://www.onvif.org/hardware/DS-2CD2142FWD-I onvif://www.onvif.org/name/HIKVISION%20DS-2CD2142FWD-I onvif://www.onvif.org/location/city/hangzhou</wsdd:Scopes><wsdd:XAddrs>http://192.168.1.64/onvif/device_service http://[fe80::bead:28ff:feaa:bbcc]/onvif/device_service</wsdd:XAddrs><wsdd:MetadataVersion>10</wsdd:MetadataVersion></wsdd:ProbeMatch></wsdd:ProbeMatches></env:Body></env:Envelope>)";

// IPv6 first in XAddrs; a location scope without a value.
const char kAxis[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:dn="http://www.onvif.org/ver10/network/wsdl">
  <SOAP-ENV:Header>
    <wsa:MessageID>urn:uuid:a9e1b3c4-1111-2222-3333-00408caabbcc</wsa:MessageID>
    <wsa:RelatesTo>%ID%</wsa:RelatesTo>
    <wsa:To SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>
    <wsa:Action SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>
  </SOAP-ENV:Header>
  <SOAP-ENV:Body>
    <d:ProbeMatches>
      <d:ProbeMatch>
        <wsa:EndpointReference><wsa:Address>urn:uuid:a9e1b3c4-1111-2222-3333-00408caabbcc</wsa:Address></wsa:EndpointReference>
        <d:Types>dn:NetworkVideoTransmitter</d:Types>
        <d:Scopes>
          onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/type/audio_encoder
          onvif://www.onvif.org/hardware/M1065-LW onvif://www.onvif.org/name/AXIS%20M1065-LW
          onvif://www.onvif.org/location/
        </d:Scopes>
        <d:XAddrs>http://[fe80::240:8cff:feaa:bbcc]/onvif/device_service http://192.168.1.12/onvif/device_service</d:XAddrs>
        <d:MetadataVersion>1</d:MetadataVersion>
      </d:ProbeMatch>
    </d:ProbeMatches>
  </SOAP-ENV:Body>
</SOAP-ENV:Envelope>)";

// The envelope in the default namespace, RelatesTo echoed without "urn:", country and city.
const char kDahua[] = R"(<?xml version="1.0" encoding="utf-8" standalone="yes" ?>
<Envelope xmlns="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:dd="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Header><a:MessageID>uuid:1f2e3d4c-5b6a-7980-1a2b-3c4d5e6f7a8b</a:MessageID><a:RelatesTo>%BAREID%</a:RelatesTo><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</a:Action></Header><Body><dd:ProbeMatches><dd:ProbeMatch><a:EndpointReference><a:Address>uuid:1f2e3d4c-5b6a-7980-1a2b-3c4d5e6f7a8b</a:Address></a:EndpointReference><dd:Types xmlns:dn="http://www.onvif.org/ver10/network/wsdl">dn:NetworkVideoTransmitter</dd:Types><dd:Scopes>onvif://www.onvif.org/location/country/china onvif://www.onvif.org/location/city/hangzhou onvif://www.onvif.org/name/Dahua onvif://www.onvif.org/hardware/IPC-HDW4631C-A onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/type/Network_Video_Transmitter onvif://www.onvif.org/extension/unique_identifier/1</dd:Scopes><dd:XAddrs>http://192.168.1.108/onvif/device_service</dd:XAddrs><dd:MetadataVersion>1</dd:MetadataVersion></dd:ProbeMatch></dd:ProbeMatches></Body></Envelope>)";

// A low-cost camera: its own port, keywords in another case, the id in upper case.
const char kBudget[] = R"(<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:RelatesTo>%UPPERID%</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:00000000-0000-0000-0000-00121314abcd</a:Address></a:EndpointReference><d:Scopes>ONVIF://WWW.ONVIF.ORG/Name/IPC onvif://www.onvif.org/Hardware/HI3518E onvif://www.onvif.org/Location/Floor%202</d:Scopes><d:XAddrs>http://192.168.1.10:8899/onvif/device_service</d:XAddrs></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)";

// WS-Discovery 1.1 and W3C addressing; a UTF-8 name.
const char kWsd11[] = R"(<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://www.w3.org/2005/08/addressing" xmlns:d="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01"><s:Header><a:RelatesTo>%ID%</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:11111111-2222-3333-4444-555555555555</a:Address></a:EndpointReference><d:Scopes>onvif://www.onvif.org/name/Caf%C3%A9%20Hall onvif://www.onvif.org/hardware/X1</d:Scopes><d:XAddrs>https://192.168.1.20/onvif/device_service http://192.168.1.20:8080/onvif/device_service</d:XAddrs></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)";

// An encoder with two channels in one message, the second without a name scope.
const char kTwoInOne[] = R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:RelatesTo>%ID%</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:aaaaaaaa-0000-0000-0000-000000000001</a:Address></a:EndpointReference><d:Scopes>onvif://www.onvif.org/name/Ch1</d:Scopes><d:XAddrs>http://10.0.0.5:8001/onvif/device_service</d:XAddrs></d:ProbeMatch><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:aaaaaaaa-0000-0000-0000-000000000002</a:Address></a:EndpointReference><d:Scopes>onvif://www.onvif.org/hardware/ENC-2</d:Scopes><d:XAddrs>http://10.0.0.5:8002/onvif/device_service</d:XAddrs></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)";

// The shape of a good match with one part swapped: {{X}} is replaced per case.
const char kShape[] = R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:RelatesTo>%ID%</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:dddddddd-0000-0000-0000-000000000001</a:Address></a:EndpointReference><d:Scopes>onvif://www.onvif.org/name/Shape</d:Scopes>{{X}}</d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)";

QByteArray Shape(const char* x) { return QByteArray(kShape).replace("{{X}}", x); }

struct Expected {
    const char* endpoint;
    const char* host;
    quint16 port;
    const char* path;
    const char* name;
    const char* hardware;
    const char* location;
};

struct MatchCase {
    const char* name;
    QByteArray datagram;
    std::vector<Expected> expected;  // empty: dropped
};

QByteArray WithId(QByteArray d) {
    const QByteArray id(kOurId);
    return d.replace("%ID%", id)
        .replace("%BAREID%", id.mid(4))  // "uuid:..."
        .replace("%UPPERID%", id.toUpper());
}

std::vector<MatchCase> MatchCases() {
    return {
        {"Hikvision", kHikvision,
         {{"urn:uuid:c3f0a1b2-0000-1000-8000-bcad28aabbcc", "192.168.1.64", 80,
           "/onvif/device_service", "HIKVISION DS-2CD2142FWD-I", "DS-2CD2142FWD-I", "hangzhou"}}},
        {"AxisIpv6First", kAxis,
         {{"urn:uuid:a9e1b3c4-1111-2222-3333-00408caabbcc", "192.168.1.12", 80,
           "/onvif/device_service", "AXIS M1065-LW", "M1065-LW", ""}}},
        {"DahuaDefaultNamespaceBareId", kDahua,
         {{"uuid:1f2e3d4c-5b6a-7980-1a2b-3c4d5e6f7a8b", "192.168.1.108", 80,
           "/onvif/device_service", "Dahua", "IPC-HDW4631C-A", "china, hangzhou"}}},
        {"BudgetPortAndCase", kBudget,
         {{"urn:uuid:00000000-0000-0000-0000-00121314abcd", "192.168.1.10", 8899,
           "/onvif/device_service", "IPC", "HI3518E", "Floor 2"}}},
        {"Discovery11HttpsSkipped", kWsd11,
         {{"urn:uuid:11111111-2222-3333-4444-555555555555", "192.168.1.20", 8080,
           "/onvif/device_service", "Caf\xC3\xA9 Hall", "X1", ""}}},
        {"TwoMatchesInOneMessage", kTwoInOne,
         {{"urn:uuid:aaaaaaaa-0000-0000-0000-000000000001", "10.0.0.5", 8001,
           "/onvif/device_service", "Ch1", "", ""},
          {"urn:uuid:aaaaaaaa-0000-0000-0000-000000000002", "10.0.0.5", 8002,
           "/onvif/device_service", "", "ENC-2", ""}}},
        {"NoXAddrs", Shape(""), {}},
        {"EmptyXAddrs", Shape("<d:XAddrs> </d:XAddrs>"), {}},
        {"OnlyIpv6XAddrs",
         Shape("<d:XAddrs>http://[fe80::1]/onvif/device_service http://[2001:db8::5]:80/o</d:XAddrs>"),
         {}},
        {"OnlyHostNameXAddrs", Shape("<d:XAddrs>http://camera.local/onvif/device_service</d:XAddrs>"), {}},
        {"OnlyHttpsXAddrs", Shape("<d:XAddrs>https://192.168.1.5/onvif/device_service</d:XAddrs>"), {}},
        {"ShortIpv4FormRefused", Shape("<d:XAddrs>http://192.168.1/onvif/device_service</d:XAddrs>"), {}},
        {"PortZeroRefused", Shape("<d:XAddrs>http://192.168.1.5:0/onvif/device_service</d:XAddrs>"), {}},
        {"XAddrsInAnotherNamespace",
         Shape("<x:XAddrs xmlns:x=\"urn:other\">http://192.168.1.5/onvif/device_service</x:XAddrs>"), {}},
        {"NoEndpoint",
         QByteArray(kShape)
             .replace("urn:uuid:dddddddd-0000-0000-0000-000000000001", "")
             .replace("{{X}}", "<d:XAddrs>http://192.168.1.5/onvif/device_service</d:XAddrs>"),
         {}},
        {"AnotherMessageId",
         QByteArray(kHikvision).replace("%ID%", "urn:uuid:00000000-dead-beef-0000-000000000000"), {}},
        {"NoRelatesTo", QByteArray(kHikvision).replace("<wsadis:RelatesTo>%ID%</wsadis:RelatesTo>", ""), {}},
        {"Truncated", QByteArray(kHikvision).left(900), {}},
        {"NotXml", "\x01\x02garbage<<", {}},
        {"Empty", "", {}},
        {"DocumentTypeDeclaration",
         "<?xml version=\"1.0\"?><!DOCTYPE s:Envelope [<!ENTITY e \"http://192.168.1.5/o\">]>" +
             QByteArray(kShape).replace("{{X}}", "<d:XAddrs>&e;</d:XAddrs>"),
         {}},
        {"UndeclaredPrefix", QByteArray(kAxis).replace("xmlns:d=", "xmlns:dd="), {}},
        {"AProbeOfAnotherPc",
         R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:MessageID>%ID%</a:MessageID></s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body></s:Envelope>)",
         {}},
        {"BodyInAnotherNamespace",
         QByteArray(kAxis).replace("<SOAP-ENV:Body>", "<b:Body xmlns:b=\"urn:x\">")
             .replace("</SOAP-ENV:Body>", "</b:Body>"),
         {}},
    };
}

class ProbeMatchTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(ProbeMatchTable, TakesWhatACameraWeCanReachSays) {
    const MatchCase& c = GetParam();
    TOnvifProbeLog log;
    log.Sent(QString::fromLatin1(kOurId));
    const QList<TOnvifMatch> got = Onvif::AcceptProbeMatches(WithId(c.datagram), log);
    ASSERT_EQ(size_t(got.size()), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
        const Expected& e = c.expected[i];
        const TOnvifMatch& m = got[qsizetype(i)];
        EXPECT_EQ(m.endpoint, QString::fromUtf8(e.endpoint));
        EXPECT_EQ(m.host, QString::fromUtf8(e.host));
        EXPECT_EQ(m.port, e.port);
        EXPECT_EQ(m.path, QString::fromUtf8(e.path));
        EXPECT_EQ(m.name, QString::fromUtf8(e.name));
        EXPECT_EQ(m.hardware, QString::fromUtf8(e.hardware));
        EXPECT_EQ(m.location, QString::fromUtf8(e.location));
    }
}

INSTANTIATE_TEST_SUITE_P(Messages, ProbeMatchTable, ::testing::ValuesIn(MatchCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeMatchDuplicates, SameAnswerThroughTwoAdaptersCountsOnce) {
    TOnvifProbeLog log;
    log.Sent(QString::fromLatin1(kOurId));
    const QByteArray d = WithId(kHikvision);
    EXPECT_EQ(Onvif::AcceptProbeMatches(d, log).size(), 1);
    EXPECT_EQ(Onvif::AcceptProbeMatches(d, log).size(), 0);
    // Another camera's answer to the same probe is still new.
    EXPECT_EQ(Onvif::AcceptProbeMatches(WithId(kAxis), log).size(), 1);
    // And the first camera answering the next probe is new again.
    const QString next = QStringLiteral("urn:uuid:6f1c2a4e-9b1d-4c3e-8a2f-0d5e7b9c1a40");
    log.Sent(next);
    EXPECT_EQ(Onvif::AcceptProbeMatches(QByteArray(kHikvision).replace("%ID%", next.toLatin1()), log).size(), 1);
}

TEST(ProbeLog, KeepsOnlyTheLatestProbes) {
    TOnvifProbeLog log;
    for (int i = 0; i <= TOnvifProbeLog::kKeep; ++i)
        log.Sent(QStringLiteral("urn:uuid:00000000-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0')));
    // Probe 0 has fallen out; probe 1 (the oldest kept) and the newest are still taken.
    EXPECT_EQ(log.Check(QStringLiteral("urn:uuid:00000000-0000-0000-0000-000000000000"), "e"),
              TOnvifProbeLog::TVerdict::UnknownId);
    EXPECT_EQ(log.Check(QStringLiteral("urn:uuid:00000000-0000-0000-0000-000000000001"), "e"),
              TOnvifProbeLog::TVerdict::Accepted);
    EXPECT_EQ(log.Check(QStringLiteral("uuid:00000000-0000-0000-0000-000000000008"), "e"),
              TOnvifProbeLog::TVerdict::Accepted);
    EXPECT_EQ(log.Check(QStringLiteral("urn:uuid:00000000-0000-0000-0000-000000000008"), "e"),
              TOnvifProbeLog::TVerdict::Duplicate);
}

TEST(ProbeLog, AFloodOfEndpointsForOneProbeIsCapped) {
    TOnvifProbeLog log;
    log.Sent(QString::fromLatin1(kOurId));
    for (int i = 0; i < TOnvifProbeLog::kMaxAnswersPerProbe; ++i)
        ASSERT_EQ(log.Check(QString::fromLatin1(kOurId), QString::number(i)),
                  TOnvifProbeLog::TVerdict::Accepted);
    EXPECT_EQ(log.Check(QString::fromLatin1(kOurId), QStringLiteral("one more")),
              TOnvifProbeLog::TVerdict::Duplicate);
}

TEST(ProbeMatchTexts, OverlongScopesAreCut) {
    const QByteArray longName(5000, 'N');
    QByteArray d = Shape("<d:XAddrs>http://192.168.1.5/onvif/device_service</d:XAddrs>")
                       .replace("name/Shape", "name/" + longName);
    TOnvifProbeLog log;
    log.Sent(QString::fromLatin1(kOurId));
    const QList<TOnvifMatch> got = Onvif::AcceptProbeMatches(WithId(d), log);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].name, QString(Onvif::kMaxMatchText, QLatin1Char('N')));
}

// --- The camera record -----------------------------------------------------------------------

TEST(DevInfoFromMatch, MacFromTheNeighbourTableIsTheKeyElseTheEndpoint) {
    TOnvifMatch m;
    m.endpoint = QStringLiteral("urn:uuid:c3f0a1b2-0000-1000-8000-bcad28aabbcc");
    m.host = QStringLiteral("192.168.1.64");
    m.port = 8080;
    m.name = QStringLiteral("Front door");
    m.hardware = QStringLiteral("DS-2CD2142FWD-I");

    const TDevInfo withMac = Onvif::DevInfoFromMatch(m, QStringLiteral("BCAD28AABBCC"));
    EXPECT_EQ(withMac.Family, 10);
    EXPECT_EQ(withMac.Mac, QStringLiteral("BCAD28AABBCC"));
    EXPECT_EQ(withMac.MacHex, QStringLiteral("BCAD28AABBCC"));
    EXPECT_EQ(withMac.SN, m.endpoint);
    EXPECT_EQ(withMac.Name, QStringLiteral("Front door"));
    EXPECT_EQ(withMac.Version, QStringLiteral("DS-2CD2142FWD-I"));
    EXPECT_EQ(withMac.IP, QStringLiteral("192.168.1.64"));
    EXPECT_EQ(withMac.HttpPort, 8080);
    EXPECT_EQ(withMac.AddrMode, 2);
    EXPECT_EQ(InnerUrl(withMac), QStringLiteral("http://192.168.1.64:8080"));

    const TDevInfo noMac = Onvif::DevInfoFromMatch(m, QString());
    EXPECT_EQ(noMac.Mac, m.endpoint);
    EXPECT_EQ(noMac.SN, m.endpoint);

    m.name.clear();
    EXPECT_EQ(Onvif::DevInfoFromMatch(m, QString()).Name, QStringLiteral("DS-2CD2142FWD-I"));
}

// --- Neighbour table -------------------------------------------------------------------------

const char kArp[] =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.7.60     0x1         0x2         aa:bb:cc:0d:0e:0f     *        veth-pc\n"
    "192.168.7.61     0x1         0x0         00:00:00:00:00:00     *        veth-pc\n"
    "192.168.7.62     0x1         0x6         02:42:AC:11:00:02     *        eth0\n"
    "192.168.7.63     0x1         0x2         00:00:00:00:00:00     *        eth0\n"
    "192.168.7.64     0x1         0x2         aa:bb:cc              *        eth0\n"
    "192.168.7.65     0x1         zz          aa:bb:cc:dd:ee:ff     *        eth0\n"
    "192.168.7.6      0x1         0x2         11:11:11:11:11:11     *        eth0\n"
    "192.168.7.66     0x1         0x0         00:00:00:00:00:00     *        wlan0\n"
    "192.168.7.66     0x1         0x2         66:66:66:66:66:66     *        eth0\n";

struct ArpCase {
    const char* ip;
    const char* mac;
};

class NeighbourTable : public ::testing::TestWithParam<ArpCase> {};

TEST_P(NeighbourTable, OnlyCompleteEntriesOfExactlyThatAddress) {
    EXPECT_EQ(Onvif::MacFromArpTable(kArp, QString::fromLatin1(GetParam().ip)),
              QString::fromLatin1(GetParam().mac));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, NeighbourTable,
    ::testing::Values(ArpCase{"192.168.7.60", "AABBCC0D0E0F"},  // complete
                      ArpCase{"192.168.7.61", ""},              // incomplete
                      ArpCase{"192.168.7.62", "0242AC110002"},  // complete and permanent
                      ArpCase{"192.168.7.63", ""},              // zero address
                      ArpCase{"192.168.7.64", ""},              // short address
                      ArpCase{"192.168.7.65", ""},              // unreadable flags
                      ArpCase{"192.168.7.66", "666666666666"},  // second line for the address
                      ArpCase{"192.168.7.67", ""},              // no such line
                      ArpCase{"192.168.7", ""},                 // a prefix of an address
                      ArpCase{"IP", ""}),                       // the header
    [](const auto& info) {
        return "ip" + QString::fromLatin1(info.param.ip).replace('.', '_').toStdString();
    });

TEST(NeighbourTableFile, ReadsTheGivenFileAndMissingFileGivesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("arp"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kArp);
    f.close();
    EXPECT_EQ(Onvif::NeighbourMac(QStringLiteral("192.168.7.60"), path), QStringLiteral("AABBCC0D0E0F"));
    EXPECT_EQ(Onvif::NeighbourMac(QStringLiteral("192.168.7.60"), dir.filePath(QStringLiteral("none"))),
              QString());
}

}  // namespace
