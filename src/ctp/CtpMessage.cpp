#include "CtpMessage.h"

#include "CameraText.h"

#include <limits>

bool TDEVWiFi::operator==(const TDEVWiFi& o) const
{
    return enable == o.enable && ssid == o.ssid && authmode == o.authmode &&
           encryptype == o.encryptype && key == o.key && dhcpen == o.dhcpen &&
           CameraTextBytes(ssid, ssidRaw) == CameraTextBytes(o.ssid, o.ssidRaw);
}

bool TWiFi2::operator==(const TWiFi2& o) const
{
    return ssid == o.ssid && security == o.security && spare == o.spare && auth == o.auth &&
           cipher == o.cipher && signal == o.signal &&
           CameraTextBytes(ssid, ssidRaw) == CameraTextBytes(o.ssid, o.ssidRaw);
}

namespace Ctp {
namespace {
const QByteArray kCrLf = QByteArrayLiteral("\r\n");
const QByteArray kHeaderEnd = QByteArrayLiteral("\r\n\r\n");

QByteArray Utf8Trimmed(const QString& text) { return text.trimmed().toUtf8(); }

// Text up to the first comma, which is consumed with it; the whole rest when there is none.
QString TakeField(QString& rest)
{
    const qsizetype comma = rest.indexOf(QLatin1Char(','));
    QString field;
    if (comma < 0) {
        field = rest;
        rest.clear();
    } else {
        field = rest.left(comma);
        rest.remove(0, comma + 1);
    }
    return field;
}

qint32 DecimalOrZero(const QString& text)
{
    qint32 value = 0;
    return ParseDecimal(text, value) ? value : 0;
}

// SplitLines on bytes, so that each line's texts can be kept as received.
QList<QByteArray> SplitLineBytes(const QByteArray& text)
{
    QList<QByteArray> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(text.mid(start, i - start));
        ++i;
        if (c == '\r' && i < n && text.at(i) == '\n')
            ++i;
        start = i;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}
}  // namespace

QByteArray SearchRequest() { return QByteArrayLiteral("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"); }

QByteArray SetIpRequest(const QByteArray& argLines)
{
    const QByteArray body = kCrLf + argLines + kCrLf;
    return QByteArrayLiteral("CMD setip CTP/1.0\r\nContent-Length: ") + QByteArray::number(body.size())
           + kCrLf + body;
}

QByteArray CommandRequest(const QByteArray& verb, const QList<QByteArray>& argLines)
{
    QByteArray body;
    for (const QByteArray& line : argLines)
        body += line + kCrLf;
    body += kCrLf;
    return QByteArrayLiteral("CMD ") + verb + QByteArrayLiteral(" CTP/1.0\r\nContent-Length:")
           + QByteArray::number(body.size()) + kCrLf + kCrLf + body;
}

QByteArray ExitRequest() { return QByteArrayLiteral("CMD exit CTP/1.0\r\n"); }

QByteArray ArgLine(const char* name, const QString& value)
{
    return QByteArray("-") + name + ' ' + value.toUtf8();
}

QByteArray KeepAliveRequest() { return CommandRequest("keepalive"); }

QByteArray LoginRequest(const QString& user, const QString& password)
{
    return CommandRequest("cfgusr", {"-login " + Utf8Trimmed(user) + ':' + Utf8Trimmed(password)});
}

QByteArray OrayStateRequest() { return CommandRequest("getoraystate", {"-list"}); }

QByteArray GetWiFiRequest() { return CommandRequest("cfgwnic", {"-list"}); }

QByteArray SetWiFiRequest(const TDEVWiFi& wifi)
{
    return CommandRequest("cfgwnic", {ArgLine("enable", QString::number(wifi.enable)),
                                      // An unchanged name goes back as the camera sent it.
                                      "-ssid " + CameraTextBytes(wifi.ssid.trimmed(), wifi.ssidRaw.trimmed()),
                                      ArgLine("authmode", wifi.authmode.trimmed()),
                                      ArgLine("encryptype", wifi.encryptype.trimmed()),
                                      ArgLine("key", wifi.key.trimmed())});
}

QByteArray ScanWiFiRequest() { return CommandRequest("iwlist"); }

QByteArray RestartRequest() { return CommandRequest("restart"); }

bool ReplyAlive(const QByteArray& reply) { return reply.contains("200"); }

bool ReplyOk(const QByteArray& reply) { return reply.contains("200 OK"); }

std::optional<QByteArray> ReplyBody(const QByteArray& reply)
{
    const qsizetype at = reply.indexOf(kHeaderEnd);
    if (at < 0)
        return std::nullopt;
    return reply.mid(at + kHeaderEnd.size());
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            ++i;
            continue;
        }
        lines.append(text.mid(start, i - start));
        ++i;
        if (c == QLatin1Char('\r') && i < n && text.at(i) == QLatin1Char('\n'))
            ++i;
        start = i;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QStringList ReplyBodyLines(const QByteArray& reply)
{
    const std::optional<QByteArray> body = ReplyBody(reply);
    if (!body)
        return {};
    return SplitLines(QString::fromUtf8(*body));
}

bool ParseDecimal(const QString& text, qint32& value)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i >= t.size())
        return false;
    qint64 magnitude = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(1) << 31)
            return false;
    }
    const qint64 signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<qint32>::max())
        return false;
    value = qint32(signedValue);
    return true;
}

qint32 ParseOrayState(const QByteArray& reply)
{
    if (!ReplyOk(reply))
        return kOrayUnknown;
    qint32 status = kOrayUnknown;
    for (const QString& line : ReplyBodyLines(reply)) {
        if (!line.contains(QLatin1String("-status")))
            continue;
        // The line is "-status" and one blank before the number: the last such line counts.
        qint32 value = 0;
        status = ParseDecimal(line.mid(8), value) ? value : kOrayUnknown;
    }
    return status;
}

std::optional<TDEVWiFi> ParseWiFi(const QByteArray& reply)
{
    if (!ReplyOk(reply))
        return std::nullopt;
    // A reply whose header never ends was cut short: its settings cannot be trusted.
    const std::optional<QByteArray> body = ReplyBody(reply);
    if (!body)
        return std::nullopt;

    TDEVWiFi wifi;
    for (const QByteArray& line : SplitLineBytes(*body)) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype blank = trimmed.indexOf(' ');
        const QByteArray bytes = (blank < 0 ? trimmed : trimmed.mid(blank + 1)).trimmed();
        const QString value = CameraTextFromBytes(bytes);
        // The first name the line contains decides the field, in this order.
        if (line.contains("-enable")) {
            wifi.enable = DecimalOrZero(value);
        } else if (line.contains("-ssid")) {
            wifi.ssidRaw = bytes;
            wifi.ssid = value;
        } else if (line.contains("-authmode")) {
            wifi.authmode = value;
        } else if (line.contains("-encryptype")) {
            wifi.encryptype = value;
        } else if (line.contains("-key")) {
            wifi.key = value;
        } else if (line.contains("-dhcpen")) {
            wifi.dhcpen = DecimalOrZero(value);
        }
    }
    return wifi;
}

std::optional<TWiFi2> ParseWiFiScanLine(const QString& line)
{
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma <= 0)
        return std::nullopt;
    TWiFi2 wifi;
    wifi.ssid = line.left(comma);  // kept as sent: blanks can belong to a network name
    QString rest = line.mid(comma + 1);
    TakeField(rest);  // the access point's MAC, not kept
    wifi.security = DecimalOrZero(TakeField(rest));
    wifi.spare = DecimalOrZero(TakeField(rest));
    wifi.auth = DecimalOrZero(TakeField(rest));
    wifi.cipher = DecimalOrZero(TakeField(rest));
    wifi.signal = rest.trimmed();
    return wifi;
}

std::optional<TWiFi2> ParseWiFiScanLine(const QByteArray& line)
{
    // The fields after the name are ASCII; a byte-for-character view keeps the offsets.
    std::optional<TWiFi2> wifi = ParseWiFiScanLine(QString::fromLatin1(line));
    if (!wifi)
        return std::nullopt;
    wifi->ssidRaw = line.left(line.indexOf(','));
    wifi->ssid = CameraTextFromBytes(wifi->ssidRaw);
    return wifi;
}

QString WiFiItemText(const TWiFi2& wifi)
{
    return wifi.ssid + QLatin1Char('(') + wifi.signal + QLatin1String("%)");
}

bool ParseWiFiScanInto(const QByteArray& reply, TWiFi2List& list)
{
    if (!ReplyOk(reply))
        return false;
    const std::optional<QByteArray> body = ReplyBody(reply);
    for (const QByteArray& line : body ? SplitLineBytes(*body) : QList<QByteArray>{}) {
        if (line.isEmpty())
            continue;
        if (std::optional<TWiFi2> wifi = ParseWiFiScanLine(line))
            list.append(TWiFi2Item{WiFiItemText(*wifi), *wifi});
    }
    return !list.isEmpty();
}
}  // namespace Ctp
