#include "UrlQuery.h"

#include <QByteArray>

namespace {

bool NeedsEscape(unsigned char b)
{
    switch (b) {
    case '&':  // ends the value
    case '#':  // starts the fragment: the rest never reaches the camera
    case '%':  // would be read as the start of an escape
    case '+':  // a blank to most CGI decoders
    case '=':  // splits name from value
    case '?':  // a second query start confuses simple camera parsers
    case ' ':
        return true;
    default:
        return b < 0x20 || b >= 0x7F;
    }
}

}  // namespace

QString UrlQueryEncode(const QString& value)
{
    return UrlQueryEncodeBytes(value.toUtf8());
}

QString UrlQueryEncodeBytes(const QByteArray& raw)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (NeedsEscape(b)) {
            out.append('%');
            out.append(kHex[b >> 4]);
            out.append(kHex[b & 15]);
        } else {
            out.append(c);
        }
    }
    return QString::fromLatin1(out);
}
