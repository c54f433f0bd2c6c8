#pragma once
// SOAP 1.2 requests of the ONVIF device service and the reading of their replies.
// Requests are written with QXmlStreamWriter; replies are read by namespace and local name
// (OnvifXml.h). Every reply reader turns a SOAP fault into its reason text and tells a
// refused login (HTTP 401, or the subcode ter:NotAuthorized) apart from other faults.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace Onvif {

// ---- WS-Security UsernameToken ------------------------------------------------------------

// Base64(SHA-1(nonce + created + password)), created and password as UTF-8.
QString PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password);

struct TUsernameToken {
    QString user;
    QString digest;
    QByteArray nonce;  // raw bytes; Base64 in the message
    QString created;   // xsd:dateTime in UTC, "2024-03-01T12:00:00Z"
};

// The token for a request made at cameraTime (the PC's UTC time plus the camera's clock
// offset), with the given nonce (16 random bytes from RandomNonce in real use).
TUsernameToken MakeUsernameToken(const QString& user, const QString& password,
                                 const QDateTime& cameraTime, const QByteArray& nonce);
QByteArray RandomNonce();

// ---- Requests -------------------------------------------------------------------------------

enum class TOp {
    GetSystemDateAndTime,
    GetDeviceInformation,
    GetNetworkInterfaces,
    GetNetworkDefaultGateway,
    GetDNS,
    SetNetworkInterfaces,
    SetNetworkDefaultGateway,
    SetDNS,
    SystemReboot,
};

// "GetDNS" and so on: the element name of the request.
QString OpName(TOp op);
// The SOAP action, "http://www.onvif.org/ver10/device/wsdl/" + OpName.
QString OpAction(TOp op);
// The Content-Type of the HTTP POST: SOAP 1.2 with the action.
QByteArray ContentType(TOp op);

// A request without parameters (the Get operations and SystemReboot); token null: no
// Security header (GetSystemDateAndTime, which every camera answers before a login).
QByteArray BuildRequest(TOp op, const TUsernameToken* token);

struct TIpv4Setting {
    bool dhcp = false;
    QString address;    // dotted, when not dhcp
    int prefixLength = 24;
};
QByteArray BuildSetNetworkInterfaces(const TUsernameToken* token, const QString& interfaceToken,
                                     const TIpv4Setting& setting);
QByteArray BuildSetNetworkDefaultGateway(const TUsernameToken* token, const QStringList& gateways);
QByteArray BuildSetDns(const TUsernameToken* token, bool fromDhcp, const QStringList& servers);

// ---- Replies -------------------------------------------------------------------------------

enum class TStatus {
    Ok,
    NoAnswer,       // no HTTP answer at all (refused, timed out, too large)
    NotAuthorized,  // HTTP 401, or a fault with the subcode ter:NotAuthorized
    Fault,          // any other SOAP fault; reason holds its text
    BadReply,       // an answer that is not the expected response
};

struct TResult {
    TStatus status = TStatus::Ok;
    QString reason;  // the fault's reason text, or what was wrong with the answer
    bool Ok() const { return status == TStatus::Ok; }
};

struct TDeviceInformation {
    QString manufacturer, model, firmwareVersion, serialNumber, hardwareId;
};

struct TNetworkInterface {
    QString token;
    bool enabled = false;
    QString hwAddress;
    bool ipv4Enabled = false;
    bool dhcp = false;
    // The address in use: the manual one, or the one from DHCP when DHCP is on.
    QString address;
    int prefixLength = 0;
};

struct TDns {
    bool fromDhcp = false;
    QStringList servers;  // IPv4, the manual ones or those from DHCP as the camera lists them
};

// Each reader takes the HTTP status and body of one answer.
TResult ReadSystemDateAndTime(long httpStatus, const QByteArray& body, QDateTime& utc);
TResult ReadDeviceInformation(long httpStatus, const QByteArray& body, TDeviceInformation& out);
TResult ReadNetworkInterfaces(long httpStatus, const QByteArray& body, QList<TNetworkInterface>& out);
TResult ReadNetworkDefaultGateway(long httpStatus, const QByteArray& body, QStringList& out);
TResult ReadDns(long httpStatus, const QByteArray& body, TDns& out);
TResult ReadSetNetworkInterfaces(long httpStatus, const QByteArray& body, bool& rebootNeeded);
// The replies that carry nothing we use: SetNetworkDefaultGateway, SetDNS, SystemReboot.
TResult ReadEmptyResponse(TOp op, long httpStatus, const QByteArray& body);

// Prefix length of a dotted mask with contiguous ones (0..32); -1 for anything else.
int PrefixOfMask(const QString& mask);
// Dotted mask of a prefix length 0..32; empty otherwise.
QString MaskOfPrefix(int prefixLength);

}  // namespace Onvif
