#pragma once
// One camera found on the LAN and the address builders. Widget-free; the list itself is
// TDeviceList (DeviceList.h), the families that fill records live in src/families/.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>
#include <vector>

// A plain value record: copying copies every field; a fresh one is all zeros and empty texts.
struct TDevInfo {
    qint32 Family = 0;  // -1 marks a datagram that is not a camera reply while it is parsed
    QString Mac;        // as the camera reported it; the key of the list
    QString MacHex;     // Mac without "-" and ":", blanks as "0", upper case
    QString SN;
    QString Name;
    // Name as the camera sent it (empty when it sent none or the record was made by hand):
    // what goes back to the camera while Name reads the same (CameraTextBytes).
    QByteArray NameRaw = {};
    QString Version;
    QString IP;
    QString Mask;
    QString Gateway;
    QString ExtraAddr;  // family 4 only
    bool DnsManual = false;
    QString Dns1;
    QString Dns2;
    quint16 HttpPort = 0;
    quint16 DataPort = 0;   // families 4 and 8
    quint16 ExtraPort = 0;  // family 4 only
    quint8 AddrMode = 0;    // 0 PPPoE, 1 DHCP, 2 static
    bool DdnsOn = false;
    QString DdnsUser;
    QString DdnsPwd;
    QString DdnsServer;
    QString DdnsHost;
    qint32 DdnsPort = 0;
    QString LoginUser;
    QString LoginPwd;
    qint32 ExtraValue = 0;  // family 4 only
    qint32 TimeToLive = 0;  // search ticks left before the row is dropped
    quint16 Word8 = 0;      // family 8: sent back unchanged by its settings command
    // The adapter (interface index) the camera last answered on; its commands leave through
    // it. 0: not known (the family's library searched), commands go out of every adapter.
    quint32 Adapter = 0;

    bool operator==(const TDevInfo&) const = default;
};

enum TAddrMode : quint8 { kAddrPppoe = 0, kAddrDhcp = 1, kAddrStatic = 2 };

// The family code of a record that is still being parsed and is not a camera reply.
inline constexpr qint32 kFamilyNone = -1;

// Mac with every "-" and ":" removed, every blank replaced by "0", in upper case.
QString MacHexOf(const QString& mac);
// Bytes as upper-case hexadecimal digit pairs without separators.
QString HexDigits(const QByteArray& bytes);

// "http://" + IP, plus ":" + port unless the port is 80.
QString InnerUrl(const TDevInfo& rec);
// From the first "." of DdnsServer (included) up to the first ":" after it; empty without ".".
QString DdnsDomainOf(const TDevInfo& rec);
// "http://" + DdnsUser + DdnsDomainOf, or empty when there is no domain.
QString OuterUrl(const TDevInfo& rec);

// Address comparison of the list's third column: part by part as integers when both texts
// have the same number of "."-separated parts, otherwise case-insensitive text comparison.
// Negative, zero or positive.
int CompareIp(const QString& a, const QString& b);

// An address prepared once for many comparisons (sorting a long list);
// CompareIp(a, b) == CompareIpKeys(MakeIpSortKey(a), MakeIpSortKey(b)).
struct TIpSortKey {
    QString folded;               // case-folded text, for the text comparison
    // Each part as an integer, 0 when not a number. Not a QVarLengthArray: in Qt 6.4 its move
    // assignment loses the heap buffer it replaces, and a row's key is replaced on every
    // reply, so a camera whose address text has more than four parts would leak each second.
    std::vector<qint32> parts;
};
TIpSortKey MakeIpSortKey(const QString& ip);
int CompareIpKeys(const TIpSortKey& a, const TIpSortKey& b);
// Case-insensitive text comparison on texts folded with QString::toCaseFolded.
int CompareFolded(const QString& a, const QString& b);

// Every field under its own name, for scripts, except the credentials some cameras report
// (LoginUser, LoginPwd, DdnsPwd), which never leave the program; Adapter by its name.
QJsonObject DevInfoToJson(const TDevInfo& rec);
