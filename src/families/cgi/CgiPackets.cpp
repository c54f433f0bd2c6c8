#include "CgiPackets.h"

#include "ByteFields.h"
#include "CameraText.h"
#include "UrlQuery.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

bool TWiFiRecord::operator==(const TWiFiRecord& o) const
{
    return ssid == o.ssid && mode == o.mode && security == o.security && dbm0 == o.dbm0 &&
           dbm1 == o.dbm1 && mac == o.mac &&
           CameraTextBytes(ssid, ssidRaw) == CameraTextBytes(o.ssid, o.ssidRaw);
}

bool TCgiWiFiParams::operator==(const TCgiWiFiParams& o) const
{
    return enable == o.enable && ssid == o.ssid && mode == o.mode && encrypt == o.encrypt &&
           authtype == o.authtype && defkey == o.defkey && keyformat == o.keyformat &&
           key1 == o.key1 && key2 == o.key2 && key3 == o.key3 && key4 == o.key4 &&
           key1_bits == o.key1_bits && key2_bits == o.key2_bits && key3_bits == o.key3_bits &&
           key4_bits == o.key4_bits && wpa_psk == o.wpa_psk &&
           CameraTextBytes(ssid, ssidRaw) == CameraTextBytes(o.ssid, o.ssidRaw);
}

namespace Cgi {

namespace {
using ByteFields::Byte;
using ByteFields::Le16;
using ByteFields::Le32;
using ByteFields::PutLe16;

bool HasHeader(const QByteArray& d, quint16 type)
{
    return d.size() >= 4 && Le16(d, 0) == kMagic && Le16(d, 2) == type;
}

// A zero-terminated text in a field of size bytes: UTF-8 when it is valid UTF-8, else one
// character per byte.
QString FieldText(const QByteArray& d, qsizetype at, qsizetype size)
{
    if (at < 0 || at >= d.size())
        return QString();
    const qsizetype end = std::min(d.size(), at + size);
    qsizetype n = 0;
    while (at + n < end && d[at + n] != '\0')
        ++n;
    const QByteArray bytes = d.mid(at, n);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

// Writes bytes into a field of size bytes, cut to leave room for the terminating zero; with
// utf8 set a cut never splits a character.
void PutFieldBytes(QByteArray& d, qsizetype at, qsizetype size, const QByteArray& bytes, bool utf8)
{
    qsizetype n = std::min(bytes.size(), size - 1);
    if (utf8 && n < bytes.size()) {
        while (n > 0 && (quint8(bytes[n]) & 0xC0) == 0x80)
            --n;
    }
    for (qsizetype i = 0; i < n; ++i)
        d[at + i] = bytes[i];
}

// Writes text as UTF-8 into a field of size bytes (see PutFieldBytes).
void PutField(QByteArray& d, qsizetype at, qsizetype size, const QString& text)
{
    PutFieldBytes(d, at, size, text.toUtf8(), true);
}

int HexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// Decimal integer, 0 when the text is not a number.
qint32 IntOf(const QString& text)
{
    bool ok = false;
    const qint32 v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

QString Q(const QString& value)
{
    return UrlQueryEncode(value);
}

// An answer body as text: UTF-8 when it is valid UTF-8, else one character per byte.
QString AnswerText(const QByteArray& body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(body);
    return utf8.hasError() ? QString::fromLatin1(body) : text;
}

// The bytes of a value of the answer, found in its one-character-per-byte view: quotes,
// separators and names are ASCII, which no lead or trail byte of UTF-8 or GBK is.
QByteArray RawValue(const QString& latin1View, const QString& name)
{
    return CgiValue(latin1View, name).toLatin1();
}

QString Credentials(const QString& user, const QString& password)
{
    return QStringLiteral("user=") + Q(user.trimmed()) + QStringLiteral("&pwd=") +
           Q(password.trimmed());
}

// The text between the first and the second occurrence of quote; empty without both.
QString Quoted(const QString& line, QChar quote)
{
    const qsizetype first = line.indexOf(quote);
    if (first < 0)
        return QString();
    const qsizetype second = line.indexOf(quote, first + 1);
    if (second < 0)
        return QString();
    return line.mid(first + 1, second - first - 1);
}

qint32 IntAfterEquals(const QString& line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? 0 : IntOf(line.mid(eq + 1));
}

}  // namespace

QByteArray SearchProbe()
{
    QByteArray d(kProbeSize, '\0');
    PutLe16(d, 0, kMagic);
    PutLe16(d, 2, kTypeSearch);
    return d;
}

bool ParseSearchReply(const QByteArray& dgram, TDevInfo& rec)
{
    if (!HasHeader(dgram, kTypeSearchReply))
        return false;
    rec = TDevInfo();
    rec.Family = kFamily;
    rec.IP = FieldText(dgram, kIpAt, kAddrSize);
    rec.Mask = FieldText(dgram, kMaskAt, kAddrSize);
    rec.Gateway = FieldText(dgram, kGatewayAt, kAddrSize);
    rec.Dns1 = FieldText(dgram, kDns1At, kAddrSize);
    rec.Dns2 = FieldText(dgram, kDns2At, kAddrSize);
    QStringList pairs;
    for (int i = 0; i < 6; ++i)
        pairs << QStringLiteral("%1").arg(Byte(dgram, kMacAt + i), 2, 16, QLatin1Char('0')).toUpper();
    rec.Mac = pairs.join(QLatin1Char(':'));
    rec.MacHex = MacHexOf(rec.Mac);
    rec.HttpPort = Le16(dgram, kHttpPortAt);
    rec.SN = FieldText(dgram, kIdAt, kIdSize);
    rec.NameRaw = ByteFields::CBytes(dgram, kNameAt, kNameSize);
    rec.Name = CameraTextFromBytes(rec.NameRaw);
    rec.Version = FieldText(dgram, kVersionAt, kVersionSize);
    rec.LoginUser = FieldText(dgram, kUserAt, kLoginSize);
    rec.LoginPwd = FieldText(dgram, kPasswordAt, kLoginSize);
    rec.AddrMode = Byte(dgram, kDhcpAt) == 1 ? kAddrDhcp : kAddrStatic;
    rec.DdnsServer = FieldText(dgram, kDdnsServerAt, kDdnsLongSize);
    rec.DdnsHost = FieldText(dgram, kDdnsHostAt, kDdnsLongSize);
    rec.DdnsUser = FieldText(dgram, kDdnsUserAt, kDdnsShortSize);
    rec.DdnsPwd = FieldText(dgram, kDdnsPwdAt, kDdnsShortSize);
    rec.DnsManual = false;
    rec.DdnsOn = true;
    rec.DdnsPort = kDdnsServicePort;
    return true;
}

QByteArray AddressChange(const TDevInfo& next, const QString& user, const QString& password)
{
    const QString& hex = next.MacHex;
    if (hex.size() != 12)
        return QByteArray();
    QByteArray mac(6, '\0');
    for (int i = 0; i < 6; ++i) {
        const int hi = HexValue(hex[2 * i]);
        const int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return QByteArray();
        mac[i] = char(hi * 16 + lo);
    }

    QByteArray d(kSetNetworkSize, '\0');
    PutLe16(d, 0, kMagic);
    PutLe16(d, 2, kTypeSetNetwork);
    PutField(d, kIpAt, kAddrSize, next.IP);
    PutField(d, kMaskAt, kAddrSize, next.Mask);
    PutField(d, kGatewayAt, kAddrSize, next.Gateway);
    PutField(d, kDns1At, kAddrSize, next.Dns1);
    PutField(d, kDns2At, kAddrSize, next.Dns2);
    for (int i = 0; i < 6; ++i)
        d[kMacAt + i] = mac[i];
    PutLe16(d, kHttpPortAt, next.HttpPort);
    // An unchanged name goes back as the camera sent it: re-encoding it would rename the
    // camera whenever it was not named in UTF-8.
    const QByteArray name = CameraTextBytes(next.Name, next.NameRaw);
    PutFieldBytes(d, kNameAt, kNameSize, name, name == next.Name.toUtf8());
    PutField(d, kVersionAt, kVersionSize, next.Version);
    PutField(d, kUserAt, kLoginSize, user);
    PutField(d, kPasswordAt, kLoginSize, password);
    d[kDhcpAt] = char(next.AddrMode == kAddrStatic ? 0 : 1);
    return d;
}

TAnswer ParseAddressChangeAnswer(const QByteArray& dgram)
{
    if (!HasHeader(dgram, kTypeSetNetworkAnswer))
        return TAnswer::NotAnswer;
    return Le32(dgram, kResultAt) == kAccepted ? TAnswer::Accepted : TAnswer::Refused;
}

QString CgiValue(const QString& reply, const QString& name)
{
    if (name.isEmpty())
        return QString();
    const qsizetype at = reply.indexOf(name);
    if (at < 0)
        return QString();
    const qsizetype semicolon = reply.indexOf(QLatin1Char(';'), at);
    if (semicolon < 0)
        return QString();
    const qsizetype start = at + name.size() + 1;
    if (start >= semicolon)
        return QString();
    QString value = reply.mid(start, semicolon - start);
    value.remove(QLatin1Char('\''));
    value.remove(QLatin1Char('"'));
    return value;
}

QString BaseUrl(const TDevInfo& rec)
{
    return InnerUrl(rec);
}

QString CheckLoginUrl(const QString& baseUrl, const QString& user, const QString& password)
{
    return baseUrl + QStringLiteral("/get_params.cgi?") + Credentials(user, password);
}

QString ScanBase(const TDevInfo& rec)
{
    return QStringLiteral("Http://") + rec.IP + QLatin1Char(':') + QString::number(rec.HttpPort) +
           QLatin1Char('/');
}

QString ScanUrl(const QString& scanBase, const QString& user, const QString& password)
{
    return scanBase + QStringLiteral("/wifi_scan.cgi?") + Credentials(user, password);
}

QString ScanResultUrl(const QString& scanBase, const QString& user, const QString& password)
{
    return scanBase + QStringLiteral("/get_wifi_scan_result.cgi?") + Credentials(user, password);
}

QString GetParamsUrl(const QString& baseUrl, const QString& user, const QString& password)
{
    return CheckLoginUrl(baseUrl, user, password);
}

QString SetWiFiUrl(const QString& baseUrl, const QString& user, const QString& password,
                   const TCgiWiFiParams& p)
{
    const auto n = [](qint32 v) { return QString::number(v); };
    return baseUrl + QStringLiteral("/set_wifi.cgi?next_url=rebootme.htm&") +
           Credentials(user, password) + QStringLiteral("&channel=5") +
           QStringLiteral("&enable=") + n(p.enable) + QStringLiteral("&ssid=") +
           UrlQueryEncodeBytes(CameraTextBytes(p.ssid, p.ssidRaw)) +
           QStringLiteral("&mode=") + n(p.mode) + QStringLiteral("&encrypt=") + n(p.encrypt) +
           QStringLiteral("&authtype=") + n(p.authtype) + QStringLiteral("&keyformat=") +
           n(p.keyformat) + QStringLiteral("&defkey=") + n(p.defkey) +
           QStringLiteral("&key1=") + Q(p.key1) + QStringLiteral("&key2=") + Q(p.key2) +
           QStringLiteral("&key3=") + Q(p.key3) + QStringLiteral("&key4=") + Q(p.key4) +
           QStringLiteral("&key1_bits=") + n(p.key1_bits) + QStringLiteral("&key2_bits=") +
           n(p.key2_bits) + QStringLiteral("&key3_bits=") + n(p.key3_bits) +
           QStringLiteral("&key4_bits=") + n(p.key4_bits) + QStringLiteral("&wpa_psk=") +
           Q(p.wpa_psk.trimmed());
}

QString RebootUrl(const QString& baseUrl)
{
    return baseUrl + QStringLiteral("/reboot.cgi?next_url=reboot.htm");
}

QString FactoryUrl(const QString& baseUrl, const QString& user, const QString& password)
{
    // This page gets the credentials as typed, blanks included.
    return baseUrl + QStringLiteral("/get_factory_param.cgi?user=") + Q(user) +
           QStringLiteral("&pwd=") + Q(password);
}

QString SetDdnsUrl(const QString& baseUrl, const TCgiFactoryParams& p, const QString& loginUser,
                   const QString& loginPassword)
{
    const auto t = [](const QString& v) { return Q(v.trimmed()); };
    return baseUrl + QStringLiteral("/set_ddns.cgi?service=11&user=") + t(p.user) +
           QStringLiteral("&pwd=") + t(p.passwd) + QStringLiteral("&host=&proxy_svr=") +
           t(p.server) + QStringLiteral("&proxy_port=") + t(p.port) +
           QStringLiteral("&restart_dyndns=&loginuse=") + t(loginUser) +
           QStringLiteral("&loginpas=") + t(loginPassword);
}

QString StatusUrl(const QString& baseUrl, const QString& user, const QString& password)
{
    return baseUrl + QStringLiteral("/get_status.cgi?user=") + Q(user) + QStringLiteral("&pwd=") +
           Q(password);
}

namespace {

// Blanks at both ends: in the one-character-per-byte view only ASCII ones, as the bytes of a
// legacy code page may look like other Unicode blanks there.
QString TrimmedIn(const QString& text, bool bytesView)
{
    if (!bytesView)
        return text.trimmed();
    return QString::fromLatin1(text.toLatin1().trimmed());
}

std::vector<TWiFiRecord> ParseScan(const QString& reply, bool bytesView)
{
    std::vector<TWiFiRecord> records;
    const qsizetype eq = reply.indexOf(QLatin1Char('='));
    if (eq < 0)
        return records;
    const qsizetype end = reply.indexOf(QLatin1Char(';'), eq + 1);
    const qint32 count =
        IntOf(end < 0 ? reply.mid(eq + 1) : reply.mid(eq + 1, end - eq - 1));
    if (count <= 0)
        return records;
    records.resize(size_t(std::min(count, qint32(kMaxNetworks))));
    const qint32 n = qint32(records.size());

    QString body = reply;
    const qsizetype first = body.indexOf(QStringLiteral("ap_ssid[0]"));
    if (first > 0)
        body.remove(0, first);
    body.remove(QLatin1Char(';'));
    static const QRegularExpression kLineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = body.split(kLineEnd);

    for (const QString& line : lines) {
        const qsizetype open = line.indexOf(QLatin1Char('['));
        const qsizetype close = line.indexOf(QLatin1Char(']'));
        if (open < 0 || close <= open)
            continue;
        bool ok = false;
        const qint32 i = line.mid(open + 1, close - open - 1).toInt(&ok);
        if (!ok || i < 0 || i >= n)
            continue;
        TWiFiRecord& r = records[size_t(i)];
        const QString idx = QLatin1Char('[') + QString::number(i) + QLatin1Char(']');
        if (line.contains(QStringLiteral("ap_ssid") + idx))
            r.ssid = TrimmedIn(Quoted(line, QLatin1Char('"')), bytesView);
        if (line.contains(QStringLiteral("ap_mac") + idx))
            r.mac = Quoted(line, QLatin1Char('"'));
        if (line.contains(QStringLiteral("ap_security") + idx))
            r.security = IntAfterEquals(line);
        if (line.contains(QStringLiteral("ap_dbm0") + idx))
            r.dbm0 = TrimmedIn(Quoted(line, QLatin1Char('\'')), bytesView);
        if (line.contains(QStringLiteral("ap_dbm1") + idx))
            r.dbm1 = Quoted(line, QLatin1Char('\''));
        if (line.contains(QStringLiteral("ap_mode") + idx))
            r.mode = IntAfterEquals(line);
    }
    return records;
}

}  // namespace

std::vector<TWiFiRecord> ParseScanResult(const QString& reply)
{
    return ParseScan(reply, false);
}

std::vector<TWiFiRecord> ParseScanResult(const QByteArray& reply)
{
    // Parsed in the one-character-per-byte view, so that each name's bytes are at hand.
    std::vector<TWiFiRecord> records = ParseScan(QString::fromLatin1(reply), true);
    for (TWiFiRecord& r : records) {
        r.ssidRaw = r.ssid.toLatin1();
        r.ssid = CameraTextFromBytes(r.ssidRaw);
        r.mac = CameraTextFromBytes(r.mac.toLatin1());
        r.dbm0 = CameraTextFromBytes(r.dbm0.toLatin1());
        r.dbm1 = CameraTextFromBytes(r.dbm1.toLatin1());
    }
    return records;
}

QString ScanItemText(const TWiFiRecord& r)
{
    return r.ssid + QLatin1Char('(') + r.dbm0 + QLatin1Char(')');
}

void ParseWiFiParams(const QString& reply, TCgiWiFiParams& p)
{
    const auto text = [&](const char* name) { return CgiValue(reply, QLatin1String(name)); };
    const auto num = [&](const char* name) { return IntOf(text(name)); };
    p.enable = num("var wifi_enable");
    p.ssid = text("var wifi_ssid");
    p.mode = num("var wifi_mode");
    p.encrypt = num("var wifi_encrypt");
    p.authtype = num("var wifi_authtype");
    p.defkey = num("var wifi_defkey");
    p.keyformat = num("var wifi_keyformat");
    p.key1 = text("var wifi_key1");
    p.key2 = text("var wifi_key2");
    p.key3 = text("var wifi_key3");
    p.key4 = text("var wifi_key4");
    p.key1_bits = num("var wifi_key1_bits");
    p.key2_bits = num("var wifi_key2_bits");
    p.key3_bits = num("var wifi_key3_bits");
    p.key4_bits = num("var wifi_key4_bits");
    p.wpa_psk = text("var wifi_wpa_psk");
    p.ssidRaw = p.ssid.toUtf8();
}

void ParseWiFiParams(const QByteArray& reply, TCgiWiFiParams& p)
{
    ParseWiFiParams(AnswerText(reply), p);
    p.ssidRaw = RawValue(QString::fromLatin1(reply), QStringLiteral("var wifi_ssid"));
    p.ssid = CameraTextFromBytes(p.ssidRaw);
}

void ReadFactoryAnswer(bool requestOk, const QString& reply, TCgiFactoryParams& p)
{
    if (!requestOk) {
        p.status = kFactoryUnreachable;
        return;
    }
    if (!reply.contains(QStringLiteral("var"))) {
        p.status = kFactoryNoVar;
        return;
    }
    p.index = CgiValue(reply, QStringLiteral("factory_index"));
    if (p.index.isEmpty()) {
        p.status = kFactoryNoIndex;
        return;
    }
    p.server = CgiValue(reply, QStringLiteral("factory_server"));
    p.port = CgiValue(reply, QStringLiteral("factory_port"));
    p.user = CgiValue(reply, QStringLiteral("factory_user"));
    p.passwd = CgiValue(reply, QStringLiteral("factory_passwd"));
    if (p.index != QStringLiteral("10"))
        p.status = kFactoryWrongIndex;
    else if (p.server.isEmpty() || p.port.isEmpty() || p.port == QStringLiteral("0"))
        p.status = kFactoryNoServer;
    else if (p.user.isEmpty())
        p.status = kFactoryNoUser;
    else
        p.status = kFactoryComplete;
}

QString StatusVersion(const QString& reply)
{
    static const QString kKey = QStringLiteral("sys_ver");
    const qsizetype at = reply.indexOf(kKey);
    if (at < 0)
        return QString();
    const qsizetype start = at + kKey.size() + 2;  // past the "=" and the opening quote
    if (start > reply.size())
        return QString();
    const qsizetype close = reply.indexOf(QLatin1Char('"'), start);
    if (close < 0)
        return QString();
    return reply.mid(start, close - start);
}

QString HostOfBaseUrl(const QString& baseUrl)
{
    QString host = baseUrl;
    const qsizetype slashes = host.indexOf(QStringLiteral("//"));
    if (slashes >= 0)
        host.remove(0, slashes + 2);
    const qsizetype colon = host.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        host.truncate(colon);
    return host;
}

QString UploadUrl(const QString& version, const QString& baseUrl, const QString& host,
                  const char* path, const QString& user, const QString& password)
{
    const bool older = version.compare(QLatin1String(kUploadVersionSplit), Qt::CaseSensitive) < 0;
    const QString address =
        older ? baseUrl
              : QStringLiteral("http://") + host + QLatin1Char(':') + QString::number(kUploadPortNew);
    return address + QLatin1String(path) + Q(user) + QStringLiteral("&loginpas=") + Q(password);
}

}  // namespace Cgi
