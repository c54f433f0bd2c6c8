#pragma once
// CTP/1.0 messages as pure functions: request texts out, reply texts in. Replies come from
// the network and are untrusted; nothing here assumes anything about their shape.
//
// Texts travel as UTF-8; a network name the camera reports in another code page is kept as
// received and goes back so (CameraText.h).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// A camera's wireless settings, read by "cfgwnic -list" and written by "cfgwnic".
struct TDEVWiFi {
    qint32 enable = 0;
    QString ssid;
    QString authmode;    // written: "NONE", "WEP", "WPAPSK", "WPA2PSK"
    QString encryptype;  // written: "", "WEPAUTO", "TKIP", "AES"
    QString key;
    qint32 dhcpen = 0;   // read only, never sent
    QByteArray ssidRaw = {};  // ssid as the camera sent it; sent back while ssid reads the same

    // Equal when every value is, and ssid would go to the camera as the same bytes.
    bool operator==(const TDEVWiFi& o) const;
};

// One wireless network the camera sees, one line of the "iwlist" reply.
struct TWiFi2 {
    QString ssid;
    qint32 security = 0;  // 1: secured, anything else open
    qint32 spare = 0;
    qint32 auth = 0;      // 0 WEP, 1 WPA-PSK, other WPA2-PSK
    qint32 cipher = 0;    // 1 TKIP, 2 AES
    QString signal;       // percent, without "%"
    QByteArray ssidRaw = {};  // ssid as received: what a choice of this network sends back

    // Equal when every value is, and ssid would go to the camera as the same bytes.
    bool operator==(const TWiFi2& o) const;
};

// An item of a scan list: the text shown and the record it carries. The list owns both.
struct TWiFi2Item {
    QString text;
    TWiFi2 wifi;
};
using TWiFi2List = QList<TWiFi2Item>;

namespace Ctp {
// Every TCP reply is one receive into a buffer of this size; a longer reply is cut here.
inline constexpr int kReplyMax = 10240;
// Returned by GetOrayState when the camera gives no usable status.
inline constexpr qint32 kOrayUnknown = 5;

// "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n" (UDP broadcast).
QByteArray SearchRequest();
// The UDP address change: "CMD setip CTP/1.0\r\nContent-Length: " N CR LF, then the body
// CR LF + argLines + CR LF; N counts the whole body including its leading CR LF.
// argLines are complete argument lines, each ending in CR LF.
QByteArray SetIpRequest(const QByteArray& argLines);
// A TCP command: "CMD " verb " CTP/1.0\r\nContent-Length:" N "\r\n\r\n" body, where the body
// is every argument line followed by CR LF, then one more CR LF; N counts the body only.
QByteArray CommandRequest(const QByteArray& verb, const QList<QByteArray>& argLines = {});
// "CMD exit CTP/1.0\r\n": no header, no empty line, no body.
QByteArray ExitRequest();
// "-" name " " value, as UTF-8.
QByteArray ArgLine(const char* name, const QString& value);

// The requests the commands send.
QByteArray KeepAliveRequest();
QByteArray LoginRequest(const QString& user, const QString& password);
QByteArray OrayStateRequest();
QByteArray GetWiFiRequest();
QByteArray SetWiFiRequest(const TDEVWiFi& wifi);
QByteArray ScanWiFiRequest();
QByteArray RestartRequest();

// Success tests: keepalive needs "200", every other command "200 OK".
bool ReplyAlive(const QByteArray& reply);
bool ReplyOk(const QByteArray& reply);
// The text after the first "\r\n\r\n", or nothing when the reply has no such separator.
std::optional<QByteArray> ReplyBody(const QByteArray& reply);
// Splits at CR, LF or CR LF; a line end at the very end adds no empty line.
QStringList SplitLines(const QString& text);
// The body's lines, empty when there is no body.
QStringList ReplyBodyLines(const QByteArray& reply);

// A decimal number, blanks at both ends allowed, optional sign, within 32 bits.
bool ParseDecimal(const QString& text, qint32& value);

// The reply parsers of the commands; their results are exactly the commands' results.
qint32 ParseOrayState(const QByteArray& reply);
std::optional<TDEVWiFi> ParseWiFi(const QByteArray& reply);
// Appends the listed networks to list; false (list untouched) without "200 OK", otherwise
// true when the list holds at least one item afterwards.
bool ParseWiFiScanInto(const QByteArray& reply, TWiFi2List& list);
// One "iwlist" line; none when the line names no network. The text form leaves ssidRaw
// empty; the byte form keeps the network name's bytes.
std::optional<TWiFi2> ParseWiFiScanLine(const QString& line);
std::optional<TWiFi2> ParseWiFiScanLine(const QByteArray& line);
// name "(" signal "%)"
QString WiFiItemText(const TWiFi2& wifi);
}  // namespace Ctp
