#pragma once
// The PC's own IPv4 network adapters, for proposing camera addresses that fit its network.
// On Linux the facts come from the interface list, /proc/net/route, the resolver's
// configuration and, for the DHCP flag and connection name, whatever network manager left
// its files (NetworkManager, systemd-networkd, ifupdown, dhclient).

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct TNET_CARD {
    QString Description;  // at most 255 characters
    QString Mac;          // 00-1A-2B-3C-4D-5E
    QString Gateway;      // the texts below: at most 127 characters each
    QString IP;
    QString Mask;
    QString Dns1;
    QString Dns2;
    QString ConnName;     // connection name as the network manager shows it, or empty
    bool Dhcp = false;
};

using TNetCardList = QList<TNET_CARD*>;

// Appends the adapters that have an IPv4 address other than 0.0.0.0 (loopback left out);
// the list is not emptied first. The caller frees the records with FreeNetCards.
void GetNetCards(TNetCardList& list);
// Frees every record and empties the list; nothing when list is null.
void FreeNetCards(TNetCardList* list);
// Each byte as two upper-case hexadecimal digits, the pairs joined by "-".
QString MacToText(const unsigned char* bytes, int count);
QString MacToText(const QByteArray& bytes);

// The parts of GetNetCards, each on texts so that tests can feed fixture files.
namespace NetCards {

inline constexpr int kMaxDescription = 255;
inline constexpr int kMaxText = 127;

// One interface as the system lists it.
struct TIfaceFacts {
    QString name;
    int index = 0;
    QByteArray hardware;
    QString ip;    // first IPv4 address, empty when none
    QString mask;
    bool loopback = false;
};

// Reads a file's text, or nothing when it does not exist; lists a folder's file names.
struct TFileSystem {
    std::function<std::optional<QString>(const QString& path)> read;
    std::function<QStringList(const QString& folder)> list;
};
TFileSystem RealFileSystem();

// Default gateway per interface from /proc/net/route (lowest metric wins).
QHash<QString, QString> ParseDefaultRoutes(const QString& procNetRoute);
// IPv4 name servers of a resolv.conf, in order.
QStringList ParseResolvConf(const QString& text);
// Name servers of the machine: /etc/resolv.conf, or systemd-resolved's upstream list when
// resolv.conf only names its local stub.
QStringList NameServers(const TFileSystem& fs);
// The adapter rule for a name-server text: "," and blanks separate; Dns1 is the first item,
// Dns2 the second if it has at least 7 characters.
void SplitNameServers(const QString& text, QString& dns1, QString& dns2);

struct TDhcpFacts {
    bool dhcp = false;
    QString connName;
};
// NetworkManager: the connection uuid of a device state file (/run/NetworkManager/devices/N).
QString ParseNmDeviceUuid(const QString& deviceState);
struct TNmConnection {
    QString id;
    QString uuid;
    QString interfaceName;
    bool ipv4Auto = true;  // method=auto, the keyfile default
};
std::optional<TNmConnection> ParseNmKeyfile(const QString& text);
// ifupdown: the address method of iface in an interfaces file ("dhcp", "static", ...), or
// empty. Follows "source" lines through fs.
QString IfupdownMethod(const QString& interfacesText, const QString& iface,
                       const TFileSystem& fs, int depth = 0);
// dhclient: whether a lease file holds a lease of ip on iface.
bool DhclientHasLease(const QString& leasesText, const QString& iface, const QString& ip);

TDhcpFacts DhcpFactsFor(const TIfaceFacts& iface, const TFileSystem& fs);

// The adapter list from the facts; records are allocated for the caller.
TNetCardList BuildNetCards(const QList<TIfaceFacts>& interfaces, const QString& procNetRoute,
                           const QStringList& nameServers, const TFileSystem& fs);
QList<TIfaceFacts> SystemInterfaces();

}  // namespace NetCards
