// libFuzzer target: any bytes as what the dynamic-DNS check service answers. The input holds
// up to three answer bodies separated by zero bytes (getremote, checkauth, checkurl); each
// goes through the text HttpGetText makes of a body, then through the client's requests as
// the windows make them: the advanced window's outside-address check (getremote, checkauth
// after "offline") and the reachability check with the public address getremote gave. The
// first body is also taken as a camera's DDNS server setting, which names the service's host.
// Run by scripts/fuzz (fuzz_ddns_answer).

#include "DdnsCheckService.h"
#include "Tools.h"

#include <QList>
#include <cstdint>

using namespace ddns;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// What the user may be shown of an answer: printable, bounded.
void CheckShown(const QString& text)
{
    Check(text.size() <= kMaxShownAnswer * 8 + 3);
    for (const QChar c : text)
        Check(c.isPrint() || c.isSurrogate());
}

// The service's host from the camera's own setting: usable hosts only ever reach a URL.
void CheckHost(const QString& setting)
{
    const TDdnsCheckService service(setting, [](const QString&, int, QString&) { return false; });
    const QString url = service.GetRemoteUrl(QStringLiteral("T0012345"));
    Check(url.isEmpty() == !IsUsableHost(service.Host()));
    if (!url.isEmpty())
        Check(url.startsWith(QStringLiteral("http://") + service.Host() + QStringLiteral(":808/")));
    const QString outer = OuterCheckHost(setting);
    Check(outer.isEmpty() || outer.startsWith(QLatin1String("user.")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    const auto body = [&](int i) { return HttpBodyText(parts.value(i), false); };

    QStringList asked;
    const TDdnsCheckService service(
        QStringLiteral("user.example.net"), [&](const QString& url, int, QString& text) {
            asked << url;
            if (url.contains(QLatin1String("/func/getremote.asp?")))
                text = body(0);
            else if (url.contains(QLatin1String("/api/checkauth.asp?")))
                text = body(1);
            else
                text = body(2);
            return true;
        });

    const TRemoteAnswer remote = service.GetRemote(QStringLiteral("T0012345"));
    Check(remote.Kind != TRemoteKind::NoReply);
    CheckShown(remote.Text);
    if (!remote.PublicAddress.isEmpty()) {
        Check(remote.Kind == TRemoteKind::Online && IsPublicAddress(remote.PublicAddress));
        // Only the address as a whole goes into the request, after "url=http://".
        const QString url = service.CheckUrlUrl(remote.PublicAddress);
        Check(url.count(QLatin1Char('?')) == 1 && !url.contains(QLatin1Char('&')) &&
              !url.contains(QLatin1Char('#')) && !url.contains(QLatin1Char(' ')));
        Check(service.CheckUrl(remote.PublicAddress) != TUrlKind::NoReply);
    }

    const TAuthAnswer auth = service.CheckAuth(QStringLiteral("T0012345"), QStringLiteral("pw"));
    Check(auth.Kind != TAuthKind::NoReply);
    CheckShown(auth.Text);

    asked.clear();
    const TOuterCheck outer = CheckOuterAddress(service, QStringLiteral("T0012345"), QStringLiteral("pw"));
    Check(!outer.Key.isEmpty() && outer.Key.startsWith(QLatin1String("IDS_")));
    CheckShown(outer.Appended);
    Check(asked.size() == (remote.Kind == TRemoteKind::Offline ? 2 : 1));
    Check(outer.Appended.isEmpty() || outer.Key == QLatin1String(kKeyUnknown));

    CheckHost(body(0));
    ClassifyUrl(body(2));
    return 0;
}
