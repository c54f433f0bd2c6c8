#pragma once
// ONVIF search: the WS-Discovery Probe for network video transmitters (SOAP over UDP to the
// multicast group 239.255.255.250, port 3702), the ProbeMatches it draws, and the camera
// record made from one match. Widget-free and socket-free; TOnvifSearch (OnvifSearch.h)
// sends and receives.

#include "DevInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <deque>

namespace Onvif {

// The family code and series letter of ONVIF cameras in the camera list.
inline constexpr qint32 kFamilyOnvif = 10;
inline constexpr const char* kSeriesOnvif = "O";

inline constexpr const char* kDiscoveryGroup = "239.255.255.250";
inline constexpr quint16 kDiscoveryPort = 3702;
// Texts taken from a match are cut to this many characters.
inline constexpr qsizetype kMaxMatchText = 255;

struct TOnvifProbe {
    QString messageId;  // "urn:uuid:" and a fresh random UUID
    QByteArray datagram;
};

// A Probe for dn:NetworkVideoTransmitter with a fresh MessageID on every call.
TOnvifProbe BuildProbe();

// One ProbeMatch that names a camera we can reach.
struct TOnvifMatch {
    QString relatesTo;  // the MessageID of the probe it answers, as the camera wrote it
    QString endpoint;   // EndpointReference address: the camera's lasting identity
    QString xaddr;      // the first http XAddr whose host is an IPv4 address
    QString host;       // its address...
    quint16 port = 80;  // ...and port
    QString path;       // ...and path, "/onvif/device_service" as a rule
    // From the onvif://www.onvif.org/ scopes, percent-decoded: the first "name" and
    // "hardware" scopes, and the last path segment of each "location" scope joined by ", ".
    QString name;
    QString hardware;
    QString location;
};

// The ProbeMatch entries of one datagram that carry an endpoint address and an IPv4 http
// XAddr (entries with neither, or with only IPv6, host-name or https XAddrs, are left out),
// and the MessageID the message relates to. False for a datagram that is not a well-formed
// ProbeMatches message of WS-Discovery 2005/04 or 1.1.
bool ParseProbeMatches(const QByteArray& datagram, QString& relatesTo, QList<TOnvifMatch>& matches);

// Fills name, hardware and location of match from a Scopes text.
void DecodeScopes(const QString& scopes, TOnvifMatch& match);

// The MessageIDs of the probes sent lately, and the endpoints that have answered each: a match
// is taken once per probe, so the same camera heard through two adapters counts once.
class TOnvifProbeLog {
public:
    static constexpr int kKeep = 8;                  // probes whose answers are still taken
    static constexpr int kMaxAnswersPerProbe = 4096; // a flood beyond this is dropped

    enum class TVerdict { Accepted, UnknownId, Duplicate };

    void Sent(const QString& messageId);
    // Accepted (and noted) the first time endpoint answers one of the kept probes.
    TVerdict Check(const QString& relatesTo, const QString& endpoint);

private:
    struct TSent {
        QString id;  // normalised
        QList<QString> endpoints;
    };
    std::deque<TSent> sent_;
};

// ParseProbeMatches, then the log's check of each match; what is left is new.
QList<TOnvifMatch> AcceptProbeMatches(const QByteArray& datagram, TOnvifProbeLog& log);

// The camera record of a match. mac is the replying address's hardware address from the
// neighbour table (NeighbourMac) and becomes the list key; without one the endpoint address
// is the key. The endpoint also goes into SN, the hardware scope into Version until the
// device is read.
TDevInfo DevInfoFromMatch(const TOnvifMatch& match, const QString& mac);

// The hardware address that a neighbour table in the format of /proc/net/arp holds for ip
// (a complete entry only), as twelve upper-case hexadecimal digits; empty when none.
QString MacFromArpTable(const QByteArray& table, const QString& ip);
// The same from the PC's own table.
QString NeighbourMac(const QString& ip, const QString& tablePath = QStringLiteral("/proc/net/arp"));

// True for four decimal parts 0..255 joined by "." and nothing else.
bool IsDottedQuad(const QString& text);

}  // namespace Onvif
