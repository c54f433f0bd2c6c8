#include "OnvifSoap.h"

#include "OnvifDiscovery.h"
#include "OnvifNs.h"
#include "OnvifXml.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QXmlStreamWriter>

namespace Onvif {

namespace {

constexpr int kNonceBytes = 16;
constexpr qsizetype kMaxText = 255;

// Writes one request: the envelope, the Security header when there is a token, the body
// element of the operation; the caller writes the parameters in between.
class TRequestWriter {
public:
    TRequestWriter(TOp op, const TUsernameToken* token) : w_(&out_) {
        w_.writeStartDocument();
        w_.writeNamespace(Ns::kSoap12, QStringLiteral("s"));
        w_.writeNamespace(Ns::kTds, QStringLiteral("tds"));
        w_.writeNamespace(Ns::kTt, QStringLiteral("tt"));
        if (token) {
            w_.writeNamespace(Ns::kWsse, QStringLiteral("wsse"));
            w_.writeNamespace(Ns::kWsu, QStringLiteral("wsu"));
        }
        w_.writeStartElement(Ns::kSoap12, QStringLiteral("Envelope"));
        if (token) {
            w_.writeStartElement(Ns::kSoap12, QStringLiteral("Header"));
            w_.writeStartElement(Ns::kWsse, QStringLiteral("Security"));
            w_.writeAttribute(Ns::kSoap12, QStringLiteral("mustUnderstand"), QStringLiteral("1"));
            w_.writeStartElement(Ns::kWsse, QStringLiteral("UsernameToken"));
            w_.writeTextElement(Ns::kWsse, QStringLiteral("Username"), token->user);
            w_.writeStartElement(Ns::kWsse, QStringLiteral("Password"));
            w_.writeAttribute(QStringLiteral("Type"), Ns::kPasswordDigest);
            w_.writeCharacters(token->digest);
            w_.writeEndElement();
            w_.writeStartElement(Ns::kWsse, QStringLiteral("Nonce"));
            w_.writeAttribute(QStringLiteral("EncodingType"), Ns::kBase64Binary);
            w_.writeCharacters(QString::fromLatin1(token->nonce.toBase64()));
            w_.writeEndElement();
            w_.writeTextElement(Ns::kWsu, QStringLiteral("Created"), token->created);
            w_.writeEndElement();  // UsernameToken
            w_.writeEndElement();  // Security
            w_.writeEndElement();  // Header
        }
        w_.writeStartElement(Ns::kSoap12, QStringLiteral("Body"));
        w_.writeStartElement(Ns::kTds, OpName(op));
    }

    QXmlStreamWriter& W() { return w_; }

    QByteArray Finish() {
        w_.writeEndElement();  // the operation
        w_.writeEndElement();  // Body
        w_.writeEndElement();  // Envelope
        w_.writeEndDocument();
        return out_;
    }

private:
    QByteArray out_;
    QXmlStreamWriter w_;
};

QString Bool(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

QString Cut(const QString& text) { return text.left(kMaxText); }

bool IsFaultCode(const TXmlElement* value, const QString& ns, const QString& name) {
    return value && value->valueNs == ns && value->valueName == name;
}

bool IsLoginFault(const TXmlElement* value) {
    return IsFaultCode(value, Ns::kTer, QStringLiteral("NotAuthorized")) ||
           IsFaultCode(value, Ns::kWsse, QStringLiteral("FailedAuthentication"));
}

// The reason text of a SOAP 1.2 fault, English when the camera offers several languages.
QString ReasonText(const TXmlElement& fault, const QString& env) {
    const TXmlElement* reason = fault.Child(env, QStringLiteral("Reason"));
    if (!reason)
        return QString();
    QString first;
    for (const TXmlElement* text : reason->Children(env, QStringLiteral("Text"))) {
        const QString lang = text->Attribute(QStringLiteral("http://www.w3.org/XML/1998/namespace"),
                                             QStringLiteral("lang"));
        if (lang.startsWith(QLatin1String("en"), Qt::CaseInsensitive) && !text->text.isEmpty())
            return text->text;
        if (first.isEmpty())
            first = text->text;
    }
    return first;
}

// The result of a fault element: its reason, and whether any of its codes says the login was
// refused. The codes nest (Code/Subcode/Subcode...); each level's Value is a QName.
TResult FaultResult(const TXmlElement& fault, const QString& env) {
    TResult r;
    r.status = TStatus::Fault;
    bool login = false;
    QString lastCode;
    if (env == Ns::kSoap12) {
        const TXmlElement* level = fault.Child(env, QStringLiteral("Code"));
        for (int depth = 0; level && depth < 16; ++depth) {
            const TXmlElement* value = level->Child(env, QStringLiteral("Value"));
            login = login || IsLoginFault(value);
            if (value && !value->valueName.isEmpty())
                lastCode = value->valueName;
            level = level->Child(env, QStringLiteral("Subcode"));
        }
        r.reason = ReasonText(fault, env);
    } else {
        // SOAP 1.1: faultcode and faultstring are unqualified.
        const TXmlElement* code = fault.Child(QString(), QStringLiteral("faultcode"));
        login = IsLoginFault(code);
        if (code)
            lastCode = code->valueName;
        r.reason = fault.ChildText(QString(), QStringLiteral("faultstring"));
    }
    if (r.reason.isEmpty())
        r.reason = lastCode;
    r.reason = Cut(r.reason);
    if (login)
        r.status = TStatus::NotAuthorized;
    return r;
}

TResult Bad(const QString& why) { return {TStatus::BadReply, why}; }

// Reads the envelope of one answer into doc and points response at the body's
// "<op>Response" element; every other outcome is the result returned.
TResult ReadResponse(TOp op, long httpStatus, const QByteArray& body, TXmlElement& doc,
                     const TXmlElement*& response) {
    response = nullptr;
    const QString httpText = QStringLiteral("HTTP %1").arg(httpStatus);
    if (!ReadXml(body, doc)) {
        if (httpStatus == 401)
            return {TStatus::NotAuthorized, httpText};
        return Bad(httpStatus == 200 ? QStringLiteral("not an XML answer") : httpText);
    }
    const QString env = doc.ns;
    const TXmlElement* soapBody = doc.name == QLatin1String("Envelope") &&
                                          (env == Ns::kSoap12 || env == Ns::kSoap11)
                                      ? doc.Child(env, QStringLiteral("Body"))
                                      : nullptr;
    if (!soapBody) {
        if (httpStatus == 401)
            return {TStatus::NotAuthorized, httpText};
        return Bad(httpStatus == 200 ? QStringLiteral("not a SOAP answer") : httpText);
    }
    if (const TXmlElement* fault = soapBody->Child(env, QStringLiteral("Fault"))) {
        TResult r = FaultResult(*fault, env);
        if (httpStatus == 401)
            r.status = TStatus::NotAuthorized;
        return r;
    }
    if (httpStatus == 401)
        return {TStatus::NotAuthorized, httpText};
    if (httpStatus != 200)
        return Bad(httpText);
    response = soapBody->Child(Ns::kTds, OpName(op) + QStringLiteral("Response"));
    if (!response)
        return Bad(QStringLiteral("no %1Response in the answer").arg(OpName(op)));
    return {};
}

QString Ipv4Or(const QString& text) { return IsDottedQuad(text) ? text : QString(); }

int PrefixOr(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 0 && n <= 32 ? n : 0;
}

// The address and prefix of a tt:PrefixedIPv4Address element.
void ReadPrefixed(const TXmlElement* e, QString& address, int& prefix) {
    if (!e)
        return;
    address = Ipv4Or(e->ChildText(Ns::kTt, QStringLiteral("Address")));
    prefix = PrefixOr(e->ChildText(Ns::kTt, QStringLiteral("PrefixLength")));
}

}  // namespace

QString PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password) {
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(created.toUtf8());
    sha1.addData(password.toUtf8());
    return QString::fromLatin1(sha1.result().toBase64());
}

TUsernameToken MakeUsernameToken(const QString& user, const QString& password,
                                 const QDateTime& cameraTime, const QByteArray& nonce) {
    TUsernameToken t;
    t.user = user;
    t.nonce = nonce;
    t.created = cameraTime.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    t.digest = PasswordDigest(nonce, t.created, password);
    return t;
}

QByteArray RandomNonce() {
    QByteArray nonce(kNonceBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(nonce.begin(), nonce.end());
    return nonce;
}

QString OpName(TOp op) {
    switch (op) {
    case TOp::GetSystemDateAndTime: return QStringLiteral("GetSystemDateAndTime");
    case TOp::GetDeviceInformation: return QStringLiteral("GetDeviceInformation");
    case TOp::GetNetworkInterfaces: return QStringLiteral("GetNetworkInterfaces");
    case TOp::GetNetworkDefaultGateway: return QStringLiteral("GetNetworkDefaultGateway");
    case TOp::GetDNS: return QStringLiteral("GetDNS");
    case TOp::SetNetworkInterfaces: return QStringLiteral("SetNetworkInterfaces");
    case TOp::SetNetworkDefaultGateway: return QStringLiteral("SetNetworkDefaultGateway");
    case TOp::SetDNS: return QStringLiteral("SetDNS");
    case TOp::SystemReboot: return QStringLiteral("SystemReboot");
    }
    return QString();
}

QString OpAction(TOp op) { return Ns::kTds + QLatin1Char('/') + OpName(op); }

QByteArray ContentType(TOp op) {
    return "application/soap+xml; charset=utf-8; action=\"" + OpAction(op).toLatin1() + '"';
}

QByteArray BuildRequest(TOp op, const TUsernameToken* token) {
    TRequestWriter r(op, token);
    return r.Finish();
}

QByteArray BuildSetNetworkInterfaces(const TUsernameToken* token, const QString& interfaceToken,
                                     const TIpv4Setting& setting) {
    TRequestWriter r(TOp::SetNetworkInterfaces, token);
    QXmlStreamWriter& w = r.W();
    w.writeTextElement(Ns::kTds, QStringLiteral("InterfaceToken"), interfaceToken);
    w.writeStartElement(Ns::kTds, QStringLiteral("NetworkInterface"));
    w.writeTextElement(Ns::kTt, QStringLiteral("Enabled"), Bool(true));
    w.writeStartElement(Ns::kTt, QStringLiteral("IPv4"));
    w.writeTextElement(Ns::kTt, QStringLiteral("Enabled"), Bool(true));
    if (!setting.dhcp) {
        w.writeStartElement(Ns::kTt, QStringLiteral("Manual"));
        w.writeTextElement(Ns::kTt, QStringLiteral("Address"), setting.address);
        w.writeTextElement(Ns::kTt, QStringLiteral("PrefixLength"),
                           QString::number(setting.prefixLength));
        w.writeEndElement();
    }
    w.writeTextElement(Ns::kTt, QStringLiteral("DHCP"), Bool(setting.dhcp));
    w.writeEndElement();  // IPv4
    w.writeEndElement();  // NetworkInterface
    return r.Finish();
}

QByteArray BuildSetNetworkDefaultGateway(const TUsernameToken* token, const QStringList& gateways) {
    TRequestWriter r(TOp::SetNetworkDefaultGateway, token);
    for (const QString& g : gateways)
        r.W().writeTextElement(Ns::kTds, QStringLiteral("IPv4Address"), g);
    return r.Finish();
}

QByteArray BuildSetDns(const TUsernameToken* token, bool fromDhcp, const QStringList& servers) {
    TRequestWriter r(TOp::SetDNS, token);
    QXmlStreamWriter& w = r.W();
    w.writeTextElement(Ns::kTds, QStringLiteral("FromDHCP"), Bool(fromDhcp));
    if (!fromDhcp) {
        for (const QString& s : servers) {
            w.writeStartElement(Ns::kTds, QStringLiteral("DNSManual"));
            w.writeTextElement(Ns::kTt, QStringLiteral("Type"), QStringLiteral("IPv4"));
            w.writeTextElement(Ns::kTt, QStringLiteral("IPv4Address"), s);
            w.writeEndElement();
        }
    }
    return r.Finish();
}

TResult ReadSystemDateAndTime(long httpStatus, const QByteArray& body, QDateTime& utc) {
    utc = QDateTime();
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::GetSystemDateAndTime, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    const TXmlElement* sdt = resp->Child(Ns::kTds, QStringLiteral("SystemDateAndTime"));
    const TXmlElement* u = sdt ? sdt->Child(Ns::kTt, QStringLiteral("UTCDateTime")) : nullptr;
    const TXmlElement* date = u ? u->Child(Ns::kTt, QStringLiteral("Date")) : nullptr;
    const TXmlElement* time = u ? u->Child(Ns::kTt, QStringLiteral("Time")) : nullptr;
    if (!date || !time)
        return Bad(QStringLiteral("no UTC date and time in the answer"));
    auto num = [](const TXmlElement* e, const char* name, bool& ok) {
        bool one = false;
        const int n = e->ChildText(Ns::kTt, QLatin1String(name)).toInt(&one);
        ok = ok && one;
        return n;
    };
    bool ok = true;
    const QDate d(num(date, "Year", ok), num(date, "Month", ok), num(date, "Day", ok));
    const QTime t(num(time, "Hour", ok), num(time, "Minute", ok), num(time, "Second", ok));
    if (!ok || !d.isValid() || !t.isValid())
        return Bad(QStringLiteral("the camera's UTC date and time cannot be read"));
    utc = QDateTime(d, t, Qt::UTC);
    return r;
}

TResult ReadDeviceInformation(long httpStatus, const QByteArray& body, TDeviceInformation& out) {
    out = TDeviceInformation();
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::GetDeviceInformation, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    out.manufacturer = Cut(resp->ChildText(Ns::kTds, QStringLiteral("Manufacturer")));
    out.model = Cut(resp->ChildText(Ns::kTds, QStringLiteral("Model")));
    out.firmwareVersion = Cut(resp->ChildText(Ns::kTds, QStringLiteral("FirmwareVersion")));
    out.serialNumber = Cut(resp->ChildText(Ns::kTds, QStringLiteral("SerialNumber")));
    out.hardwareId = Cut(resp->ChildText(Ns::kTds, QStringLiteral("HardwareId")));
    return r;
}

TResult ReadNetworkInterfaces(long httpStatus, const QByteArray& body,
                              QList<TNetworkInterface>& out) {
    out.clear();
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::GetNetworkInterfaces, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    for (const TXmlElement* e : resp->Children(Ns::kTds, QStringLiteral("NetworkInterfaces"))) {
        TNetworkInterface n;
        n.token = Cut(e->Attribute(QString(), QStringLiteral("token")));
        n.enabled = XsdBoolean(e->ChildText(Ns::kTt, QStringLiteral("Enabled")));
        if (const TXmlElement* info = e->Child(Ns::kTt, QStringLiteral("Info")))
            n.hwAddress = Cut(info->ChildText(Ns::kTt, QStringLiteral("HwAddress")));
        if (const TXmlElement* v4 = e->Child(Ns::kTt, QStringLiteral("IPv4"))) {
            n.ipv4Enabled = XsdBoolean(v4->ChildText(Ns::kTt, QStringLiteral("Enabled")));
            if (const TXmlElement* config = v4->Child(Ns::kTt, QStringLiteral("Config"))) {
                n.dhcp = XsdBoolean(config->ChildText(Ns::kTt, QStringLiteral("DHCP")));
                QString manual, fromDhcp;
                int manualPrefix = 0, dhcpPrefix = 0;
                ReadPrefixed(config->Child(Ns::kTt, QStringLiteral("Manual")), manual, manualPrefix);
                ReadPrefixed(config->Child(Ns::kTt, QStringLiteral("FromDHCP")), fromDhcp, dhcpPrefix);
                const bool useDhcp = n.dhcp ? !fromDhcp.isEmpty() : manual.isEmpty();
                n.address = useDhcp ? fromDhcp : manual;
                n.prefixLength = useDhcp ? dhcpPrefix : manualPrefix;
            }
        }
        if (n.token.isEmpty())
            continue;  // a set request needs the token; an interface without one is of no use
        out.append(n);
    }
    if (out.isEmpty())
        return Bad(QStringLiteral("the camera lists no network interface"));
    return r;
}

TResult ReadNetworkDefaultGateway(long httpStatus, const QByteArray& body, QStringList& out) {
    out.clear();
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::GetNetworkDefaultGateway, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    if (const TXmlElement* gw = resp->Child(Ns::kTds, QStringLiteral("NetworkGateway"))) {
        for (const TXmlElement* a : gw->Children(Ns::kTt, QStringLiteral("IPv4Address"))) {
            if (IsDottedQuad(a->text))
                out.append(a->text);
        }
    }
    return r;
}

TResult ReadDns(long httpStatus, const QByteArray& body, TDns& out) {
    out = TDns();
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::GetDNS, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    const TXmlElement* info = resp->Child(Ns::kTds, QStringLiteral("DNSInformation"));
    if (!info)
        return Bad(QStringLiteral("no DNSInformation in the answer"));
    out.fromDhcp = XsdBoolean(info->ChildText(Ns::kTt, QStringLiteral("FromDHCP")));
    const QString list = out.fromDhcp ? QStringLiteral("DNSFromDHCP") : QStringLiteral("DNSManual");
    for (const TXmlElement* s : info->Children(Ns::kTt, list)) {
        const QString a = s->ChildText(Ns::kTt, QStringLiteral("IPv4Address"));
        if (s->ChildText(Ns::kTt, QStringLiteral("Type")) == QLatin1String("IPv4") && IsDottedQuad(a))
            out.servers.append(a);
    }
    return r;
}

TResult ReadSetNetworkInterfaces(long httpStatus, const QByteArray& body, bool& rebootNeeded) {
    rebootNeeded = false;
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    TResult r = ReadResponse(TOp::SetNetworkInterfaces, httpStatus, body, doc, resp);
    if (!r.Ok())
        return r;
    // A missing flag counts as "applied at once": the calls that follow then go to the new
    // address, and fail there if the camera did not move after all.
    rebootNeeded = XsdBoolean(resp->ChildText(Ns::kTds, QStringLiteral("RebootNeeded")));
    return r;
}

TResult ReadEmptyResponse(TOp op, long httpStatus, const QByteArray& body) {
    TXmlElement doc;
    const TXmlElement* resp = nullptr;
    return ReadResponse(op, httpStatus, body, doc, resp);
}

int PrefixOfMask(const QString& mask) {
    if (!IsDottedQuad(mask))
        return -1;
    quint32 bits = 0;
    for (const QString& part : mask.split(QLatin1Char('.')))
        bits = (bits << 8) | part.toUInt();
    const int ones = qPopulationCount(bits);
    // Contiguous from the top: inverting gives a run of low ones, so adding one leaves no overlap.
    const quint32 low = ~bits;
    if ((low & (low + 1)) != 0)
        return -1;
    return ones;
}

QString MaskOfPrefix(int prefixLength) {
    if (prefixLength < 0 || prefixLength > 32)
        return QString();
    const quint32 bits = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(bits >> 24)
        .arg((bits >> 16) & 0xFF)
        .arg((bits >> 8) & 0xFF)
        .arg(bits & 0xFF);
}

}  // namespace Onvif
