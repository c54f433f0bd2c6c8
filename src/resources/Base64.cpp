#include "Tools.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr qsizetype kBytesPerLine = 57;  // 76 characters of output

}  // namespace

QString Base64Encode(const QByteArray& bytes) {
    const qsizetype n = bytes.size();
    if (n == 0)
        return QString();

    QByteArray out;
    out.reserve(4 * ((n + 2) / 3) + 2 * ((n - 1) / kBytesPerLine));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < n; i += 3) {
        if (i > 0 && i % kBytesPerLine == 0)
            out.append("\r\n", 2);
        const qsizetype left = n - i;
        const unsigned v = (unsigned(p[i]) << 16) | (left > 1 ? unsigned(p[i + 1]) << 8 : 0u) |
                           (left > 2 ? unsigned(p[i + 2]) : 0u);
        out.append(kAlphabet[(v >> 18) & 63]);
        out.append(kAlphabet[(v >> 12) & 63]);
        out.append(left > 1 ? kAlphabet[(v >> 6) & 63] : '=');
        out.append(left > 2 ? kAlphabet[v & 63] : '=');
    }
    return QString::fromLatin1(out);
}
