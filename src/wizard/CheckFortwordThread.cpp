#include "CheckFortwordThread.h"

#include "LangRes.h"
#include "StepReport.h"
#include "Tools.h"

namespace {

const QString kIndent = QStringLiteral("    ");

QString Text(const char* key) { return GetResString(QLatin1String(key)); }

}  // namespace

TCheckFortwordThread::TCheckFortwordThread(const QString& ddnsServer, const QString& ddnsUser, const QString& pwd,
                                           const QString& user, const QString& outerUrl,
                                           ddns::TDdnsCheckService::Fetch fetch)
    : DdnsServer(ddnsServer), DdnsUser(ddnsUser), Pwd(pwd), User(user), OuterUrl(outerUrl), fetch_(std::move(fetch)) {}

TCheckFortwordThread::~TCheckFortwordThread() { Stop(); }

void TCheckFortwordThread::Execute() {
    const TCancelToken& cancel = Token();
    ddns::TDdnsCheckService::Fetch fetch = fetch_;
    if (!fetch)
        fetch = [&cancel](const QString& url, int timeoutMs, QString& body) {
            return TTools::HttpGetText(url, QString(), QString(), timeoutMs, body, cancel.Check());
        };
    const ddns::TDdnsCheckService service(DdnsServer, fetch);
    QString notConnect = Text("IDS_CHECKFAIL_NOTCONNECT");
    notConnect.replace(QLatin1String("%s"), DdnsServer);

    const ddns::TRemoteAnswer remote = service.GetRemote(DdnsUser);
    if (cancel.Cancelled())
        return;
    switch (remote.Kind) {
    case ddns::TRemoteKind::NoReply:
        Report(kStepReplace, notConnect);
        return;
    case ddns::TRemoteKind::NoId:
        Report(kStepAdd, kIndent + Text("IDS_NOID"));
        Report(kStepAdd, kIndent + Text("IDS_CHECKDDNS2_ERR_DO"));
        return;
    case ddns::TRemoteKind::Offline:
        Report(kStepAdd, kIndent + Text("IDS_DEVOFFLINE"));
        return;
    case ddns::TRemoteKind::Unrecognised:
        Report(kStepAdd, kIndent + Text("IDS_UNKNOWERR"));
        return;
    case ddns::TRemoteKind::Online:
        break;
    }

    // An answer whose address is no host:port is never handed to the check service: it could
    // not fetch it either.
    Report(kStepAdd, Text("IDS_CHECKING") + QLatin1Char('1'));
    enum { kReached, kNotReached, kNoReply } outcome = kNotReached;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        switch (service.CheckUrl(remote.PublicAddress)) {
        case ddns::TUrlKind::Reached: outcome = kReached; break;
        case ddns::TUrlKind::NotReached: outcome = kNotReached; break;
        case ddns::TUrlKind::NoReply: outcome = kNoReply; break;
        }
        if (outcome == kReached || !cancel.Pause(kPauseMs))
            break;
        Report(kStepReplace, Text("IDS_CHECKING") + QString::number(attempt + 1));
    }
    if (cancel.Cancelled())
        return;
    switch (outcome) {
    case kReached:
        Report(kStepSuccess, Text("IDS_CHECKSUCC"));
        break;
    case kNotReached:
        Report(kStepReplace, Text("IDS_CHECKFAIL_NOTCONNECTDEV"));
        Report(kStepAdd, kIndent + Text("IDS_CHECKDO_PORTFORWARD2"));
        break;
    case kNoReply:
        Report(kStepReplace, notConnect);
        Report(kStepAdd, kIndent + Text("IDS_CHECKDO_PORTFORWARD"));
        break;
    }
}
