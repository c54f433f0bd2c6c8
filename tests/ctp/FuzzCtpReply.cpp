// libFuzzer target: any bytes as a CTP/1.0 camera's reply to a TCP command, cut to one
// receive (Ctp::kReplyMax) as TCTPSocket::Exchange hands it on, through the reply tests and
// parsers the commands use: keepalive and "200 OK", the body and its lines, the DDNS state,
// the wireless settings and the network list. Wireless settings read from a camera are
// written back to it by step 5: the request made of them must keep its framing.
// Run by scripts/fuzz (fuzz_ctp_reply).

#include "CtpMessage.h"

#include <cstdint>
#include <memory>

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool HasLineEnd(const QString& s)
{
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n'));
}

// "CMD cfgwnic CTP/1.0", a Content-Length that counts the body, five argument lines and the
// empty line that closes them.
void CheckSetWiFiFraming(const TDEVWiFi& wifi)
{
    const QByteArray request = Ctp::SetWiFiRequest(wifi);
    const QByteArray head = QByteArrayLiteral("CMD cfgwnic CTP/1.0\r\nContent-Length:");
    Check(request.startsWith(head));
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    Check(headEnd > head.size());
    bool ok = false;
    const qsizetype length = request.mid(head.size(), headEnd - head.size()).toLongLong(&ok);
    const QByteArray body = request.mid(headEnd + 4);
    Check(ok && length == body.size());
    Check(body.count("\r\n") == 6 && body.endsWith("\r\n\r\n") && body.count('\r') == 6 &&
          body.count('\n') == 6);
    for (const char* name : {"-enable ", "-ssid ", "-authmode ", "-encryptype ", "-key "})
        Check(body.startsWith(name) || body.contains(QByteArray("\r\n") + name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the bytes of one receive, so that a read past the end is seen by AddressSanitizer.
    const size_t n = std::min(size, size_t(Ctp::kReplyMax));
    std::unique_ptr<char[]> copy(new char[n ? n : 1]);
    std::copy(data, data + n, copy.get());
    const QByteArray reply = QByteArray::fromRawData(copy.get(), qsizetype(n));

    const bool ok = Ctp::ReplyOk(reply);
    Check(!ok || Ctp::ReplyAlive(reply));

    const std::optional<QByteArray> body = Ctp::ReplyBody(reply);
    const QStringList lines = Ctp::ReplyBodyLines(reply);
    Check(body || lines.isEmpty());
    for (const QString& line : lines) {
        Check(!HasLineEnd(line));
        if (const std::optional<TWiFi2> wifi = Ctp::ParseWiFiScanLine(line))
            Check(!wifi->ssid.isEmpty() && !wifi->ssid.contains(QLatin1Char(',')));
    }

    const qint32 oray = Ctp::ParseOrayState(reply);
    Check(ok || oray == Ctp::kOrayUnknown);

    if (const std::optional<TDEVWiFi> wifi = Ctp::ParseWiFi(reply)) {
        Check(ok && body);
        Check(!HasLineEnd(wifi->ssid) && !HasLineEnd(wifi->key) && !HasLineEnd(wifi->authmode) &&
              !HasLineEnd(wifi->encryptype));
        CheckSetWiFiFraming(*wifi);
    } else {
        Check(!ok || !body);
    }

    TWiFi2List list;
    list.append(TWiFi2Item{QStringLiteral("kept"), TWiFi2{}});
    const bool listed = Ctp::ParseWiFiScanInto(reply, list);
    Check(listed == ok);
    if (!ok)
        Check(list.size() == 1);
    for (const TWiFi2Item& item : list.mid(1))
        Check(item.text == item.wifi.ssid + QLatin1Char('(') + item.wifi.signal + QLatin1String("%)"));
    return 0;
}
