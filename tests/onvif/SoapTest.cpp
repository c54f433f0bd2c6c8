// The device-service messages: the password digest, the requests byte for byte, and the
// reading of replies, faults and refused logins.

#include "OnvifSoap.h"
#include "OnvifXml.h"
#include "Printers.h"

#include <gtest/gtest.h>

namespace {

using Onvif::TStatus;

// --- Password digest -------------------------------------------------------------------------

struct DigestCase {
    const char* name;
    QByteArray nonce;
    const char* created;
    const char* password;
    const char* digest;
};

class Digest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Digest, IsBase64OfSha1OfNonceCreatedPassword) {
    const DigestCase& c = GetParam();
    EXPECT_EQ(Onvif::PasswordDigest(c.nonce, QString::fromUtf8(c.created), QString::fromUtf8(c.password)),
              QString::fromLatin1(c.digest));
}

// Worked by hand: printf '%s%s%s' NONCE CREATED PASSWORD | openssl sha1 -binary | base64
// (the first is the example of the ONVIF Application Programmer's Guide).
INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Digest,
    ::testing::Values(
        DigestCase{"ProgrammersGuide", QByteArray::fromBase64("LKqI6G/AikKCQrN0zqZFlg=="),
                   "2010-09-16T07:50:45Z", "userpassword", "tuOSpGlFlIXsozq4HFNeeGeFLEI="},
        DigestCase{"AsciiNonce", "0123456789abcdef", "2024-03-01T12:00:00Z", "pw",
                   "2MRwRUTcKMcRchCqPmjKyAS4xUw="},
        DigestCase{"Utf8Password", "0123456789abcdef", "2024-03-01T12:00:00.000Z", "p\xC3\xA4ss",
                   "CLVVXfB5lE50kMlUvqs1qOdMf9E="}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsernameToken, CreatedIsTheCameraTimeInUtcToTheSecond) {
    // 14:00:00.750 at UTC+2 is 12:00:00 UTC; the milliseconds are dropped.
    const QDateTime cameraTime(QDate(2024, 3, 1), QTime(14, 0, 0, 750), Qt::OffsetFromUTC, 7200);
    const Onvif::TUsernameToken t =
        Onvif::MakeUsernameToken(QStringLiteral("admin"), QStringLiteral("pw"), cameraTime, "0123456789abcdef");
    EXPECT_EQ(t.created, QStringLiteral("2024-03-01T12:00:00Z"));
    EXPECT_EQ(t.digest, QStringLiteral("2MRwRUTcKMcRchCqPmjKyAS4xUw="));
    EXPECT_EQ(t.user, QStringLiteral("admin"));
}

TEST(UsernameToken, NoncesAreSixteenFreshBytes) {
    const QByteArray a = Onvif::RandomNonce();
    const QByteArray b = Onvif::RandomNonce();
    EXPECT_EQ(a.size(), 16);
    EXPECT_NE(a, b);
}

// --- Requests --------------------------------------------------------------------------------

const QByteArray kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\"";

const QByteArray kSecurity =
    " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
    " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
    "<s:Header><wsse:Security s:mustUnderstand=\"1\"><wsse:UsernameToken>"
    "<wsse:Username>admin</wsse:Username>"
    "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">"
    "2MRwRUTcKMcRchCqPmjKyAS4xUw=</wsse:Password>"
    "<wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary\">"
    "MDEyMzQ1Njc4OWFiY2RlZg==</wsse:Nonce>"
    "<wsu:Created>2024-03-01T12:00:00Z</wsu:Created>"
    "</wsse:UsernameToken></wsse:Security></s:Header>";

Onvif::TUsernameToken FixedToken() {
    return Onvif::MakeUsernameToken(QStringLiteral("admin"), QStringLiteral("pw"),
                                    QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC),
                                    "0123456789abcdef");
}

QByteArray WithToken(const QByteArray& body) {
    return kHead + kSecurity + "<s:Body>" + body + "</s:Body></s:Envelope>\n";
}

TEST(Requests, ClockRequestGoesWithoutHeader) {
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::GetSystemDateAndTime, nullptr),
              kHead + "><s:Body><tds:GetSystemDateAndTime/></s:Body></s:Envelope>\n");
}

TEST(Requests, ParameterlessOperationsCarryTheToken) {
    const Onvif::TUsernameToken t = FixedToken();
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::GetDeviceInformation, &t),
              WithToken("<tds:GetDeviceInformation/>"));
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::GetNetworkInterfaces, &t),
              WithToken("<tds:GetNetworkInterfaces/>"));
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::GetNetworkDefaultGateway, &t),
              WithToken("<tds:GetNetworkDefaultGateway/>"));
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::GetDNS, &t), WithToken("<tds:GetDNS/>"));
    EXPECT_EQ(Onvif::BuildRequest(Onvif::TOp::SystemReboot, &t), WithToken("<tds:SystemReboot/>"));
}

TEST(Requests, SetNetworkInterfacesStaticAndDhcp) {
    const Onvif::TUsernameToken t = FixedToken();
    Onvif::TIpv4Setting fixed;
    fixed.address = QStringLiteral("192.168.7.70");
    fixed.prefixLength = 24;
    EXPECT_EQ(Onvif::BuildSetNetworkInterfaces(&t, QStringLiteral("eth0"), fixed),
              WithToken("<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
                        "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
                        "<tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>192.168.7.70</tt:Address>"
                        "<tt:PrefixLength>24</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP>"
                        "</tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>"));
    Onvif::TIpv4Setting dhcp;
    dhcp.dhcp = true;
    dhcp.address = QStringLiteral("ignored");
    EXPECT_EQ(Onvif::BuildSetNetworkInterfaces(&t, QStringLiteral("if<1>"), dhcp),
              WithToken("<tds:SetNetworkInterfaces><tds:InterfaceToken>if&lt;1&gt;</tds:InterfaceToken>"
                        "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
                        "<tt:Enabled>true</tt:Enabled><tt:DHCP>true</tt:DHCP>"
                        "</tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>"));
}

TEST(Requests, GatewayAndDns) {
    const Onvif::TUsernameToken t = FixedToken();
    EXPECT_EQ(Onvif::BuildSetNetworkDefaultGateway(&t, {QStringLiteral("192.168.7.1")}),
              WithToken("<tds:SetNetworkDefaultGateway><tds:IPv4Address>192.168.7.1</tds:IPv4Address>"
                        "</tds:SetNetworkDefaultGateway>"));
    EXPECT_EQ(Onvif::BuildSetDns(&t, false, {QStringLiteral("8.8.8.8"), QStringLiteral("1.1.1.1")}),
              WithToken("<tds:SetDNS><tds:FromDHCP>false</tds:FromDHCP>"
                        "<tds:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>8.8.8.8</tt:IPv4Address></tds:DNSManual>"
                        "<tds:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>1.1.1.1</tt:IPv4Address></tds:DNSManual>"
                        "</tds:SetDNS>"));
    EXPECT_EQ(Onvif::BuildSetDns(&t, true, {QStringLiteral("8.8.8.8")}),
              WithToken("<tds:SetDNS><tds:FromDHCP>true</tds:FromDHCP></tds:SetDNS>"));
}

TEST(Requests, HostileUserNameIsEscapedNotInjected) {
    const Onvif::TUsernameToken t = Onvif::MakeUsernameToken(
        QStringLiteral("a</wsse:Username><x>&"), QStringLiteral("pw"),
        QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC), "0123456789abcdef");
    const QByteArray r = Onvif::BuildRequest(Onvif::TOp::GetDNS, &t);
    EXPECT_TRUE(r.contains("<wsse:Username>a&lt;/wsse:Username&gt;&lt;x&gt;&amp;</wsse:Username>"));
    Onvif::TXmlElement doc;
    EXPECT_TRUE(Onvif::ReadXml(r, doc));
}

TEST(Requests, ContentTypeIsSoap12WithTheAction) {
    EXPECT_EQ(Onvif::ContentType(Onvif::TOp::SetNetworkInterfaces),
              QByteArray("application/soap+xml; charset=utf-8; "
                         "action=\"http://www.onvif.org/ver10/device/wsdl/SetNetworkInterfaces\""));
}

// --- Replies ---------------------------------------------------------------------------------

QByteArray Envelope(const QByteArray& body, const QByteArray& extraNs = {}) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\"" +
           extraNs + "><env:Header/><env:Body>" + body + "</env:Body></env:Envelope>";
}

QByteArray Fault(const QByteArray& code, const QByteArray& subcode, const QByteArray& reasons,
                 const QByteArray& extraNs = " xmlns:ter=\"http://www.onvif.org/ver10/error\"") {
    QByteArray sub = subcode.isEmpty() ? QByteArray()
                                       : "<env:Subcode><env:Value>" + subcode + "</env:Value></env:Subcode>";
    return Envelope("<env:Fault><env:Code><env:Value>" + code + "</env:Value>" + sub +
                        "</env:Code><env:Reason>" + reasons + "</env:Reason></env:Fault>",
                    extraNs);
}

struct FaultCase {
    const char* name;
    long http;
    QByteArray body;
    TStatus status;
    const char* reason;
};

std::vector<FaultCase> FaultCases() {
    const QByteArray en = "<env:Text xml:lang=\"en\">Sender not Authorized</env:Text>";
    return {
        {"NotAuthorized400", 400, Fault("env:Sender", "ter:NotAuthorized", en), TStatus::NotAuthorized,
         "Sender not Authorized"},
        {"NotAuthorizedOtherPrefix", 400,
         Fault("e:Sender", "err:NotAuthorized", en,
               " xmlns:err=\"http://www.onvif.org/ver10/error\" xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\""),
         TStatus::NotAuthorized, "Sender not Authorized"},
        {"NotAuthorizedDefaultNamespaceOnValue", 400,
         Envelope("<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode>"
                  "<env:Value xmlns=\"http://www.onvif.org/ver10/error\">NotAuthorized</env:Value>"
                  "</env:Subcode></env:Code><env:Reason>" + en + "</env:Reason></env:Fault>"),
         TStatus::NotAuthorized, "Sender not Authorized"},
        {"TerPrefixOfAnotherNamespaceIsNoLoginFault", 400,
         Fault("env:Sender", "ter:NotAuthorized", en, " xmlns:ter=\"urn:vendor:errors\""),
         TStatus::Fault, "Sender not Authorized"},
        {"NestedSubcode", 400,
         Envelope("<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode>"
                  "<env:Value>ter:OperationProhibited</env:Value><env:Subcode>"
                  "<env:Value>ter:NotAuthorized</env:Value></env:Subcode></env:Subcode></env:Code>"
                  "<env:Reason><env:Text xml:lang=\"en\">denied</env:Text></env:Reason></env:Fault>",
                  " xmlns:ter=\"http://www.onvif.org/ver10/error\""),
         TStatus::NotAuthorized, "denied"},
        {"WsseFailedAuthentication", 500,
         Fault("env:Sender", "wsse:FailedAuthentication",
               "<env:Text xml:lang=\"en\">The security token could not be authenticated</env:Text>",
               " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""),
         TStatus::NotAuthorized, "The security token could not be authenticated"},
        {"Http401WithoutBody", 401, "", TStatus::NotAuthorized, "HTTP 401"},
        {"Http401WithPage", 401, "<html><body>401 Unauthorized</body></html>", TStatus::NotAuthorized,
         "HTTP 401"},
        {"Http401WithOtherFault", 401, Fault("env:Sender", "ter:InvalidArgVal", en), TStatus::NotAuthorized,
         "Sender not Authorized"},
        {"InvalidArgEnglishPicked", 400,
         Fault("env:Sender", "ter:InvalidArgVal",
               "<env:Text xml:lang=\"zh-CN\">\xE6\x97\xA0\xE6\x95\x88</env:Text>"
               "<env:Text xml:lang=\"en-US\">The suggested IPv4 address is invalid</env:Text>"),
         TStatus::Fault, "The suggested IPv4 address is invalid"},
        {"OnlyLanguageTaken", 400,
         Fault("env:Receiver", "ter:ActionNotSupported",
               "<env:Text xml:lang=\"de\">Nicht unterst\xC3\xBCtzt</env:Text>"),
         TStatus::Fault, "Nicht unterst\xC3\xBCtzt"},
        {"EmptyReasonGivesTheCode", 500, Fault("env:Receiver", "ter:ActionNotSupported", ""), TStatus::Fault,
         "ActionNotSupported"},
        {"FaultWithStatus200", 200, Fault("env:Receiver", "", "<env:Text xml:lang=\"en\">busy</env:Text>"),
         TStatus::Fault, "busy"},
        {"Soap11Fault", 500,
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
         "<faultcode>s:Client</faultcode><faultstring>Invalid request</faultstring></s:Fault></s:Body></s:Envelope>",
         TStatus::Fault, "Invalid request"},
        {"Http500Page", 500, "<html><body>Internal error</body></html>", TStatus::BadReply, "HTTP 500"},
        {"Http404Text", 404, "not found", TStatus::BadReply, "HTTP 404"},
        {"Http200Garbage", 200, "OK", TStatus::BadReply, "not an XML answer"},
        {"Http200Html", 200, "<html/>", TStatus::BadReply, "not a SOAP answer"},
        {"Http200OtherResponse", 200, Envelope("<tds:GetDNSResponse/>"), TStatus::BadReply,
         "no SystemRebootResponse in the answer"},
        {"Http200ResponseOfAnotherNamespace", 200,
         Envelope("<x:SystemRebootResponse xmlns:x=\"urn:x\"/>"), TStatus::BadReply,
         "no SystemRebootResponse in the answer"},
        {"Ok", 200, Envelope("<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message></tds:SystemRebootResponse>"),
         TStatus::Ok, ""},
    };
}

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, StatusAndReasonOfEveryKindOfAnswer) {
    const FaultCase& c = GetParam();
    const Onvif::TResult r = Onvif::ReadEmptyResponse(Onvif::TOp::SystemReboot, c.http, c.body);
    EXPECT_EQ(int(r.status), int(c.status));
    EXPECT_EQ(r.reason, QString::fromUtf8(c.reason));
}

INSTANTIATE_TEST_SUITE_P(Answers, Faults, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Readers, FaultsReachEveryReader) {
    // Each reader turns a login fault into NotAuthorized and leaves its output empty.
    const QByteArray f = Fault("env:Sender", "ter:NotAuthorized", "<env:Text xml:lang=\"en\">no</env:Text>");
    QDateTime utc = QDateTime::currentDateTimeUtc();
    Onvif::TDeviceInformation info;
    info.model = QStringLiteral("stale");
    QList<Onvif::TNetworkInterface> ifaces{{}};
    QStringList gws{QStringLiteral("stale")};
    Onvif::TDns dns;
    dns.servers = QStringList{QStringLiteral("stale")};
    bool reboot = true;
    EXPECT_EQ(Onvif::ReadSystemDateAndTime(400, f, utc).status, TStatus::NotAuthorized);
    EXPECT_FALSE(utc.isValid());
    EXPECT_EQ(Onvif::ReadDeviceInformation(400, f, info).status, TStatus::NotAuthorized);
    EXPECT_TRUE(info.model.isEmpty());
    EXPECT_EQ(Onvif::ReadNetworkInterfaces(400, f, ifaces).status, TStatus::NotAuthorized);
    EXPECT_TRUE(ifaces.isEmpty());
    EXPECT_EQ(Onvif::ReadNetworkDefaultGateway(400, f, gws).status, TStatus::NotAuthorized);
    EXPECT_TRUE(gws.isEmpty());
    EXPECT_EQ(Onvif::ReadDns(400, f, dns).status, TStatus::NotAuthorized);
    EXPECT_TRUE(dns.servers.isEmpty());
    EXPECT_EQ(Onvif::ReadSetNetworkInterfaces(400, f, reboot).status, TStatus::NotAuthorized);
    EXPECT_FALSE(reboot);
}

TEST(Readers, SystemDateAndTime) {
    const QByteArray ok = Envelope(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>NTP</tt:DateTimeType>"
        "<tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>CST-8</tt:TZ></tt:TimeZone>"
        "<tt:UTCDateTime><tt:Time><tt:Hour>7</tt:Hour><tt:Minute>50</tt:Minute><tt:Second>45</tt:Second></tt:Time>"
        "<tt:Date><tt:Year>2010</tt:Year><tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date></tt:UTCDateTime>"
        "<tt:LocalDateTime><tt:Time><tt:Hour>15</tt:Hour><tt:Minute>50</tt:Minute><tt:Second>45</tt:Second></tt:Time>"
        "<tt:Date><tt:Year>2010</tt:Year><tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date></tt:LocalDateTime>"
        "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
    QDateTime utc;
    ASSERT_TRUE(Onvif::ReadSystemDateAndTime(200, ok, utc).Ok());
    EXPECT_EQ(utc, QDateTime(QDate(2010, 9, 16), QTime(7, 50, 45), Qt::UTC));

    const QByteArray month13 = QByteArray(ok).replace("<tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date></tt:UTCDateTime>",
                                                      "<tt:Month>13</tt:Month><tt:Day>16</tt:Day></tt:Date></tt:UTCDateTime>");
    EXPECT_EQ(Onvif::ReadSystemDateAndTime(200, month13, utc).status, TStatus::BadReply);
    const QByteArray localOnly = Envelope(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:LocalDateTime><tt:Time><tt:Hour>1</tt:Hour>"
        "<tt:Minute>2</tt:Minute><tt:Second>3</tt:Second></tt:Time><tt:Date><tt:Year>2020</tt:Year><tt:Month>1</tt:Month>"
        "<tt:Day>1</tt:Day></tt:Date></tt:LocalDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
    EXPECT_EQ(Onvif::ReadSystemDateAndTime(200, localOnly, utc).status, TStatus::BadReply);
    EXPECT_FALSE(utc.isValid());
}

TEST(Readers, DeviceInformation) {
    Onvif::TDeviceInformation info;
    ASSERT_TRUE(Onvif::ReadDeviceInformation(
                    200,
                    Envelope("<tds:GetDeviceInformationResponse><tds:Manufacturer>HIKVISION</tds:Manufacturer>"
                             "<tds:Model>DS-2CD2142FWD-I</tds:Model><tds:FirmwareVersion>V5.5.0 build 170725"
                             "</tds:FirmwareVersion><tds:SerialNumber>DS-2CD2142FWD-I20170101AAWR123456789"
                             "</tds:SerialNumber><tds:HardwareId>88</tds:HardwareId>"
                             "</tds:GetDeviceInformationResponse>"),
                    info)
                    .Ok());
    EXPECT_EQ(info.manufacturer, QStringLiteral("HIKVISION"));
    EXPECT_EQ(info.model, QStringLiteral("DS-2CD2142FWD-I"));
    EXPECT_EQ(info.firmwareVersion, QStringLiteral("V5.5.0 build 170725"));
    EXPECT_EQ(info.serialNumber, QStringLiteral("DS-2CD2142FWD-I20170101AAWR123456789"));
    EXPECT_EQ(info.hardwareId, QStringLiteral("88"));
}

QByteArray Interface(const char* token, bool dhcp, const char* manual, int manualPrefix, const char* fromDhcp,
                     int dhcpPrefix, bool enabled = true) {
    QByteArray v = QByteArray("<tds:NetworkInterfaces token=\"") + token + "\"><tt:Enabled>" +
                   (enabled ? "true" : "false") +
                   "</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>bc:ad:28:aa:bb:cc</tt:HwAddress>"
                   "<tt:MTU>1500</tt:MTU></tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>";
    if (manual)
        v += QByteArray("<tt:Manual><tt:Address>") + manual + "</tt:Address><tt:PrefixLength>" +
             QByteArray::number(manualPrefix) + "</tt:PrefixLength></tt:Manual>";
    if (fromDhcp)
        v += QByteArray("<tt:FromDHCP><tt:Address>") + fromDhcp + "</tt:Address><tt:PrefixLength>" +
             QByteArray::number(dhcpPrefix) + "</tt:PrefixLength></tt:FromDHCP>";
    v += QByteArray("<tt:DHCP>") + (dhcp ? "true" : "false") + "</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces>";
    return v;
}

TEST(Readers, NetworkInterfacesTakeTheAddressInUse) {
    QList<Onvif::TNetworkInterface> list;
    ASSERT_TRUE(Onvif::ReadNetworkInterfaces(
                    200,
                    Envelope("<tds:GetNetworkInterfacesResponse>" +
                             Interface("eth0", false, "192.168.1.64", 24, "0.0.0.0", 0) +
                             Interface("wlan0", true, "192.168.1.65", 24, "10.1.2.3", 16, false) +
                             Interface("", false, "1.2.3.4", 8, nullptr, 0) +
                             Interface("bad", false, "999.1.1.1", 77, nullptr, 0) +
                             "</tds:GetNetworkInterfacesResponse>"),
                    list)
                    .Ok());
    ASSERT_EQ(list.size(), 3);  // the one without a token is of no use for a set request
    EXPECT_EQ(list[0].token, QStringLiteral("eth0"));
    EXPECT_TRUE(list[0].enabled);
    EXPECT_TRUE(list[0].ipv4Enabled);
    EXPECT_FALSE(list[0].dhcp);
    EXPECT_EQ(list[0].address, QStringLiteral("192.168.1.64"));
    EXPECT_EQ(list[0].prefixLength, 24);
    EXPECT_EQ(list[0].hwAddress, QStringLiteral("bc:ad:28:aa:bb:cc"));
    EXPECT_EQ(list[1].token, QStringLiteral("wlan0"));
    EXPECT_FALSE(list[1].enabled);
    EXPECT_TRUE(list[1].dhcp);
    EXPECT_EQ(list[1].address, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(list[1].prefixLength, 16);
    EXPECT_EQ(list[2].address, QString());
    EXPECT_EQ(list[2].prefixLength, 0);

    EXPECT_EQ(Onvif::ReadNetworkInterfaces(200, Envelope("<tds:GetNetworkInterfacesResponse/>"), list).status,
              TStatus::BadReply);
}

TEST(Readers, GatewayKeepsOnlyDottedAddresses) {
    QStringList gws;
    ASSERT_TRUE(Onvif::ReadNetworkDefaultGateway(
                    200,
                    Envelope("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>"
                             "<tt:IPv4Address>192.168.1.1</tt:IPv4Address><tt:IPv4Address>gateway</tt:IPv4Address>"
                             "<tt:IPv6Address>fe80::1</tt:IPv6Address><tt:IPv4Address>10.0.0.1</tt:IPv4Address>"
                             "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>"),
                    gws)
                    .Ok());
    EXPECT_EQ(gws, (QStringList{QStringLiteral("192.168.1.1"), QStringLiteral("10.0.0.1")}));
}

TEST(Readers, DnsManualAndFromDhcp) {
    Onvif::TDns dns;
    const QByteArray lists =
        "<tt:DNSFromDHCP><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.0.0.53</tt:IPv4Address></tt:DNSFromDHCP>"
        "<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>8.8.8.8</tt:IPv4Address></tt:DNSManual>"
        "<tt:DNSManual><tt:Type>IPv6</tt:Type><tt:IPv6Address>2001:4860:4860::8888</tt:IPv6Address></tt:DNSManual>"
        "<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>1.1.1.1</tt:IPv4Address></tt:DNSManual>";
    ASSERT_TRUE(Onvif::ReadDns(200,
                               Envelope("<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP>" +
                                        lists + "</tds:DNSInformation></tds:GetDNSResponse>"),
                               dns)
                    .Ok());
    EXPECT_FALSE(dns.fromDhcp);
    EXPECT_EQ(dns.servers, (QStringList{QStringLiteral("8.8.8.8"), QStringLiteral("1.1.1.1")}));
    ASSERT_TRUE(Onvif::ReadDns(200,
                               Envelope("<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>true</tt:FromDHCP>" +
                                        lists + "</tds:DNSInformation></tds:GetDNSResponse>"),
                               dns)
                    .Ok());
    EXPECT_TRUE(dns.fromDhcp);
    EXPECT_EQ(dns.servers, QStringList{QStringLiteral("10.0.0.53")});
}

struct RebootCase {
    const char* name;
    QByteArray inner;
    bool rebootNeeded;
};

class RebootNeeded : public ::testing::TestWithParam<RebootCase> {};

TEST_P(RebootNeeded, FromTheSetNetworkInterfacesAnswer) {
    bool reboot = !GetParam().rebootNeeded;
    ASSERT_TRUE(Onvif::ReadSetNetworkInterfaces(
                    200, Envelope("<tds:SetNetworkInterfacesResponse>" + GetParam().inner +
                                  "</tds:SetNetworkInterfacesResponse>"),
                    reboot)
                    .Ok());
    EXPECT_EQ(reboot, GetParam().rebootNeeded);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, RebootNeeded,
    ::testing::Values(RebootCase{"True", "<tds:RebootNeeded>true</tds:RebootNeeded>", true},
                      RebootCase{"One", "<tds:RebootNeeded> 1 </tds:RebootNeeded>", true},
                      RebootCase{"False", "<tds:RebootNeeded>false</tds:RebootNeeded>", false},
                      RebootCase{"Missing", "", false},
                      RebootCase{"OtherNamespace", "<tt:RebootNeeded>true</tt:RebootNeeded>", false},
                      RebootCase{"NotABoolean", "<tds:RebootNeeded>yes</tds:RebootNeeded>", false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- XML reader limits -----------------------------------------------------------------------

TEST(XmlReader, RefusesDeepNestingAndFloods) {
    Onvif::TXmlElement doc;
    QByteArray deep;
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    for (int i = 0; i < 40; ++i)
        deep += "</a>";
    EXPECT_FALSE(Onvif::ReadXml(deep, doc));
    QByteArray wide = "<r>";
    for (int i = 0; i < 30000; ++i)
        wide += "<b/>";
    wide += "</r>";
    EXPECT_FALSE(Onvif::ReadXml(wide, doc));
    EXPECT_FALSE(Onvif::ReadXml("<r/><r/>", doc));
    EXPECT_FALSE(Onvif::ReadXml("<r>", doc));
    EXPECT_TRUE(Onvif::ReadXml("<r><b/></r>", doc));
}

TEST(XmlReader, BillionLaughsIsRefusedBeforeExpansion) {
    const QByteArray bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><r>&c;</r>";
    Onvif::TXmlElement doc;
    QString error;
    EXPECT_FALSE(Onvif::ReadXml(bomb, doc, &error));
    EXPECT_TRUE(doc.text.isEmpty());
}

// --- Masks -----------------------------------------------------------------------------------

TEST(Masks, PrefixAndMaskBothWays) {
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("255.255.255.0")), 24);
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("255.255.254.0")), 23);
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("255.255.255.255")), 32);
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("0.0.0.0")), 0);
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("255.0.255.0")), -1);
    EXPECT_EQ(Onvif::PrefixOfMask(QStringLiteral("255.255.255")), -1);
    EXPECT_EQ(Onvif::MaskOfPrefix(24), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(Onvif::MaskOfPrefix(23), QStringLiteral("255.255.254.0"));
    EXPECT_EQ(Onvif::MaskOfPrefix(0), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(Onvif::MaskOfPrefix(32), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(Onvif::MaskOfPrefix(33), QString());
}

}  // namespace
