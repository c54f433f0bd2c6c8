#pragma once
// Namespace URIs of the ONVIF, SOAP and WS-* messages, and the prefixes our requests use.

#include <QString>

namespace Onvif::Ns {

inline const QString kSoap12 = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
inline const QString kSoap11 = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
// WS-Addressing as WS-Discovery 2005/04 uses it, and the W3C one of WS-Discovery 1.1.
inline const QString kWsa2004 = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
inline const QString kWsa2005 = QStringLiteral("http://www.w3.org/2005/08/addressing");
inline const QString kWsd2005 = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
inline const QString kWsd2009 = QStringLiteral("http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01");
inline const QString kDn = QStringLiteral("http://www.onvif.org/ver10/network/wsdl");
inline const QString kTds = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
inline const QString kTt = QStringLiteral("http://www.onvif.org/ver10/schema");
inline const QString kTer = QStringLiteral("http://www.onvif.org/ver10/error");
inline const QString kWsse = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
inline const QString kWsu = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
inline const QString kPasswordDigest = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest");
inline const QString kBase64Binary = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary");

}  // namespace Onvif::Ns
