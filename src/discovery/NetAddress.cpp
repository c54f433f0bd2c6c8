#include "NetAddress.h"

#include <QStringList>

namespace {

int HexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

}  // namespace

std::optional<TIp4> IpToBytes(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    TIp4 out{};
    for (int i = 0; i < 4; ++i) {
        const QString& p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            return std::nullopt;
        int v = 0;
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            v = v * 10 + (c.unicode() - u'0');
        }
        if (v > 255)
            return std::nullopt;
        out[size_t(i)] = quint8(v);
    }
    return out;
}

QString BytesToIp(const TIp4& bytes)
{
    return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

std::optional<QByteArray> HexToBytes(const QString& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray out(text.size() / 2, '\0');
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int hi = HexValue(text[2 * i]);
        const int lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out[i] = char(hi * 16 + lo);
    }
    return out;
}

QString MacWithColons(const QString& mac)
{
    QStringList pairs;
    for (qsizetype end = mac.size(); end >= 2; end -= 2)
        pairs.prepend(mac.mid(end - 2, 2));
    return pairs.join(u':');
}

bool ValidIp(const QString& text)
{
    return IpToBytes(text).has_value();
}

bool ValidOptionalIp(const QString& text)
{
    return text.isEmpty() || ValidIp(text);
}

bool AllHex(const QString& text)
{
    for (QChar c : text) {
        if (HexValue(c) < 0)
            return false;
    }
    return true;
}

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

QByteArray Utf8Cut(const QString& text, qsizetype maxBytes)
{
    QByteArray b = text.toUtf8();
    if (b.size() <= maxBytes)
        return b;
    qsizetype n = maxBytes;
    while (n > 0 && (quint8(b[n]) & 0xC0) == 0x80)  // b[n] starts the part that is cut off
        --n;
    return b.left(n);
}
