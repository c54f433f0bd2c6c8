#include "OnvifDiscovery.h"

#include "OnvifNs.h"
#include "OnvifXml.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamWriter>

namespace Onvif {

namespace {

const QString kProbeAction = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe");
const QString kAnonymous =
    QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
const QString kDiscoveryTo = QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery");
const QString kScopePrefix = QStringLiteral("onvif://www.onvif.org/");

// A UDP datagram cannot be larger; nothing bigger is a reply.
constexpr qsizetype kMaxDatagram = 65535;
// The neighbour table of a busy PC is a few hundred lines; more is not read.
constexpr qint64 kMaxArpTable = 1 << 20;

// "urn:uuid:X", "uuid:X" and "X" name the same message; cameras echo it either way.
QString NormalisedId(const QString& id) {
    QString t = id.trimmed().toLower();
    if (t.startsWith(QLatin1String("urn:")))
        t.remove(0, 4);
    if (t.startsWith(QLatin1String("uuid:")))
        t.remove(0, 5);
    return t;
}

QString Cut(const QString& text) { return text.left(kMaxMatchText); }

QString PercentDecoded(const QString& text) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

// The first XAddr of the list that is http to an IPv4 address; false when there is none.
bool FirstIpv4Http(const QString& xaddrs, TOnvifMatch& m) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& x : xaddrs.split(blanks, Qt::SkipEmptyParts)) {
        const QUrl url(x, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("http") || !IsDottedQuad(url.host()))
            continue;
        // QUrl reads short forms such as "192.168.1" as a full address; only an address
        // written out in four parts is taken as it stands.
        const qsizetype hostAt = x.indexOf(QLatin1String("//")) + 2;
        if (x.mid(hostAt, url.host().size()) != url.host())
            continue;
        const int port = url.port(80);
        if (port < 1 || port > 65535)
            continue;
        m.xaddr = Cut(x);
        m.host = url.host();
        m.port = quint16(port);
        m.path = Cut(url.path().isEmpty() ? QStringLiteral("/") : url.path());
        return true;
    }
    return false;
}

}  // namespace

bool IsDottedQuad(const QString& text) {
    static const QRegularExpression quad(
        QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
    const QRegularExpressionMatch m = quad.match(text);
    if (!m.hasMatch())
        return false;
    for (int i = 1; i <= 4; ++i) {
        if (m.captured(i).toInt() > 255)
            return false;
    }
    return true;
}

TOnvifProbe BuildProbe() {
    TOnvifProbe probe;
    probe.messageId = QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);

    QXmlStreamWriter w(&probe.datagram);
    w.writeStartDocument();
    w.writeNamespace(Ns::kSoap12, QStringLiteral("s"));
    w.writeNamespace(Ns::kWsa2004, QStringLiteral("a"));
    w.writeNamespace(Ns::kWsd2005, QStringLiteral("d"));
    w.writeNamespace(Ns::kDn, QStringLiteral("dn"));
    w.writeStartElement(Ns::kSoap12, QStringLiteral("Envelope"));
    w.writeStartElement(Ns::kSoap12, QStringLiteral("Header"));
    w.writeStartElement(Ns::kWsa2004, QStringLiteral("Action"));
    w.writeAttribute(Ns::kSoap12, QStringLiteral("mustUnderstand"), QStringLiteral("1"));
    w.writeCharacters(kProbeAction);
    w.writeEndElement();
    w.writeTextElement(Ns::kWsa2004, QStringLiteral("MessageID"), probe.messageId);
    w.writeStartElement(Ns::kWsa2004, QStringLiteral("ReplyTo"));
    w.writeTextElement(Ns::kWsa2004, QStringLiteral("Address"), kAnonymous);
    w.writeEndElement();
    w.writeStartElement(Ns::kWsa2004, QStringLiteral("To"));
    w.writeAttribute(Ns::kSoap12, QStringLiteral("mustUnderstand"), QStringLiteral("1"));
    w.writeCharacters(kDiscoveryTo);
    w.writeEndElement();
    w.writeEndElement();  // Header
    w.writeStartElement(Ns::kSoap12, QStringLiteral("Body"));
    w.writeStartElement(Ns::kWsd2005, QStringLiteral("Probe"));
    w.writeTextElement(Ns::kWsd2005, QStringLiteral("Types"), QStringLiteral("dn:NetworkVideoTransmitter"));
    w.writeEndElement();
    w.writeEndElement();  // Body
    w.writeEndElement();  // Envelope
    w.writeEndDocument();
    return probe;
}

void DecodeScopes(const QString& scopes, TOnvifMatch& m) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList locations;
    bool haveName = false, haveHardware = false;
    for (const QString& scope : scopes.split(blanks, Qt::SkipEmptyParts)) {
        // Scheme and authority are case-insensitive; cameras differ in the case of the keyword.
        if (!scope.startsWith(kScopePrefix, Qt::CaseInsensitive))
            continue;
        const QString rest = scope.mid(kScopePrefix.size());
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        if (slash < 0)
            continue;
        const QString keyword = rest.left(slash).toLower();
        const QString value = rest.mid(slash + 1);
        if (keyword == QLatin1String("name") && !haveName) {
            m.name = Cut(PercentDecoded(value).trimmed());
            haveName = !m.name.isEmpty();
        } else if (keyword == QLatin1String("hardware") && !haveHardware) {
            m.hardware = Cut(PercentDecoded(value).trimmed());
            haveHardware = !m.hardware.isEmpty();
        } else if (keyword == QLatin1String("location")) {
            // "location/country/china", "location/city/hangzhou", "location/Office%202":
            // the last segment is the place itself.
            const QStringList segments = value.split(QLatin1Char('/'), Qt::SkipEmptyParts);
            if (!segments.isEmpty()) {
                const QString place = PercentDecoded(segments.last()).trimmed();
                if (!place.isEmpty() && !locations.contains(place))
                    locations.append(place);
            }
        }
    }
    m.location = Cut(locations.join(QStringLiteral(", ")));
}

bool ParseProbeMatches(const QByteArray& datagram, QString& relatesTo, QList<TOnvifMatch>& matches) {
    relatesTo.clear();
    matches.clear();
    TXmlLimits limits;
    limits.maxBytes = kMaxDatagram;
    limits.maxElements = 2000;
    TXmlElement envelope;
    if (!ReadXml(datagram, envelope, nullptr, limits))
        return false;
    if (envelope.name != QLatin1String("Envelope") ||
        (envelope.ns != Ns::kSoap12 && envelope.ns != Ns::kSoap11))
        return false;
    const TXmlElement* header = envelope.Child(envelope.ns, QStringLiteral("Header"));
    const TXmlElement* body = envelope.Child(envelope.ns, QStringLiteral("Body"));
    if (!header || !body)
        return false;
    const QStringList wsa = {Ns::kWsa2004, Ns::kWsa2005};
    const QStringList wsd = {Ns::kWsd2005, Ns::kWsd2009};
    const TXmlElement* relates = header->ChildIn(wsa, QStringLiteral("RelatesTo"));
    const TXmlElement* list = body->ChildIn(wsd, QStringLiteral("ProbeMatches"));
    if (!relates || relates->text.isEmpty() || !list)
        return false;
    relatesTo = Cut(relates->text);
    for (const TXmlElement& pm : list->children) {
        if (pm.name != QLatin1String("ProbeMatch") || !wsd.contains(pm.ns))
            continue;
        TOnvifMatch m;
        m.relatesTo = relatesTo;
        const TXmlElement* epr = pm.ChildIn(wsa, QStringLiteral("EndpointReference"));
        const TXmlElement* address = epr ? epr->ChildIn(wsa, QStringLiteral("Address")) : nullptr;
        if (!address || address->text.isEmpty())
            continue;
        m.endpoint = Cut(address->text);
        const TXmlElement* xaddrs = pm.Child(pm.ns, QStringLiteral("XAddrs"));
        if (!xaddrs || !FirstIpv4Http(xaddrs->text, m))
            continue;
        if (const TXmlElement* scopes = pm.Child(pm.ns, QStringLiteral("Scopes")))
            DecodeScopes(scopes->text, m);
        matches.append(m);
    }
    return true;
}

void TOnvifProbeLog::Sent(const QString& messageId) {
    sent_.push_back({NormalisedId(messageId), {}});
    while (sent_.size() > size_t(kKeep))
        sent_.pop_front();
}

TOnvifProbeLog::TVerdict TOnvifProbeLog::Check(const QString& relatesTo, const QString& endpoint) {
    const QString id = NormalisedId(relatesTo);
    for (TSent& s : sent_) {
        if (s.id != id)
            continue;
        if (s.endpoints.contains(endpoint) || s.endpoints.size() >= kMaxAnswersPerProbe)
            return TVerdict::Duplicate;
        s.endpoints.append(endpoint);
        return TVerdict::Accepted;
    }
    return TVerdict::UnknownId;
}

QList<TOnvifMatch> AcceptProbeMatches(const QByteArray& datagram, TOnvifProbeLog& log) {
    QString relatesTo;
    QList<TOnvifMatch> matches;
    if (!ParseProbeMatches(datagram, relatesTo, matches))
        return {};
    QList<TOnvifMatch> fresh;
    for (const TOnvifMatch& m : matches) {
        if (log.Check(relatesTo, m.endpoint) == TOnvifProbeLog::TVerdict::Accepted)
            fresh.append(m);
    }
    return fresh;
}

TDevInfo DevInfoFromMatch(const TOnvifMatch& match, const QString& mac) {
    TDevInfo r;
    r.Family = kFamilyOnvif;
    r.Mac = mac.isEmpty() ? match.endpoint : mac;
    r.MacHex = MacHexOf(r.Mac);
    r.SN = match.endpoint;
    r.Name = match.name.isEmpty() ? match.hardware : match.name;
    r.Version = match.hardware;
    r.IP = match.host;
    r.HttpPort = match.port;
    r.AddrMode = kAddrStatic;  // until the device's interface settings are read
    return r;
}

QString MacFromArpTable(const QByteArray& table, const QString& ip) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    static const QRegularExpression mac(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$"));
    // Flag of a complete entry (ATF_COM); an incomplete one has no usable address.
    constexpr uint kComplete = 0x2;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {  // line 0 is the column header
        const QStringList cols =
            QString::fromLatin1(lines[i]).split(blanks, Qt::SkipEmptyParts);
        if (cols.size() < 4 || cols[0] != ip)
            continue;
        bool ok = false;
        const uint flags = cols[2].toUInt(&ok, 16);
        if (!ok || !(flags & kComplete) || !mac.match(cols[3]).hasMatch())
            continue;
        QString digits = cols[3];
        digits.remove(QLatin1Char(':'));
        digits = digits.toUpper();
        if (digits == QLatin1String("000000000000"))
            continue;
        return digits;
    }
    return QString();
}

QString NeighbourMac(const QString& ip, const QString& tablePath) {
    QFile f(tablePath);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return MacFromArpTable(f.read(kMaxArpTable), ip);
}

}  // namespace Onvif
