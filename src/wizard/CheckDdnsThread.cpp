#include "CheckDdnsThread.h"

#include "CameraCapabilities.h"
#include "LangRes.h"
#include "StepReport.h"
#include "Tools.h"

namespace {

// Error lines of the registration are indented.
const QString kIndent = QStringLiteral("    ");

const char* ConfigErrorKey(TDdnsConfig status) {
    switch (status) {
    case TDdnsConfig::kNoService: return "IDS_CHECKDDNS_GETCONFIG_ERR";
    case TDdnsConfig::kWrongService: return "IDS_CHECKDDNS_GETCONFIG_ERR2";
    case TDdnsConfig::kNoServer: return "IDS_CHECKDDNS_GETCONFIG_ERR3";
    case TDdnsConfig::kNoAccount: return "IDS_CHECKDDNS_GETCONFIG_ERR4";
    case TDdnsConfig::kRefused: return "IDS_CHECKDDNS_GETCONFIG_ERR5";
    case TDdnsConfig::kUnreachable:
    case TDdnsConfig::kComplete: break;
    }
    return "IDS_CHECKDDNS_GETCONFIG_ERR6";
}

}  // namespace

TCheckDDNSThread::TCheckDDNSThread(ICameraFamily& family, const TDevInfo& rec, const QString& pwd,
                                   const QString& user, const QString& baseUrl, ddns::TDdnsCheckService::Fetch fetch)
    : Family(rec.Family), DdnsServer(rec.DdnsServer), DdnsUser(rec.DdnsUser), DdnsPwd(rec.DdnsPwd), Host(rec.IP),
      Port(rec.HttpPort), BaseUrl(baseUrl), User(user), Pwd(pwd), family_(family), rec_(rec), fetch_(std::move(fetch)) {}

TCheckDDNSThread::~TCheckDDNSThread() { Stop(); }

QString TCheckDDNSThread::Text(const char* key) { return GetResString(QLatin1String(key)); }

void TCheckDDNSThread::Execute() {
    ICameraDdns* ddns = family_.Ddns();
    if (ddns && ddns->ChecksSettings()) {
        Report(kStepAdd, Text("IDS_CHECKDDNS_GETCONFIG"));
        const TDdnsConfigCheck c = ddns->CheckSettings(rec_, TLogin{User, Pwd}, Token());
        if (Token().Cancelled())
            return;
        if (c.status != TDdnsConfig::kComplete) {
            Report(kStepAdd, Text(ConfigErrorKey(c.status)));
            return;
        }
        if (c.valuesRead) {
            DdnsServer = c.server;
            DdnsUser = c.account;
            DdnsPwd = c.password;
        }
        Report(kStepReplace, Text("IDS_CHECKDDNS_GETCONFIG") + Text("IDS_CHECKDDNS_GETCONFIG_SUCC"));
        StageTwoOverHttp();
        return;
    }
    if (ddns && ddns->AsksCameraForRegistration()) {
        Report(kStepAdd, Text("IDS_CHECKING2"));
        switch (ddns->Registration(rec_, Token())) {
        case TDdnsRegistration::kRegistered:
            Report(kStepSuccess, Text("IDS_CHECKDDNS2") + Text("IDS_CHECKDDNS2_SUCC"));
            break;
        case TDdnsRegistration::kServerUnreachable:
            Report(kStepAdd, kIndent + Text("IDS_CANNOTCONNECTSERVER"));
            break;
        case TDdnsRegistration::kUnknown:
        case TDdnsRegistration::kNoConnection:
            Report(kStepAdd, kIndent + Text("IDS_UNKNOWERR"));
            break;
        case TDdnsRegistration::kNotRegistered:
            Report(kStepAdd, kIndent + Text("IDS_NOREG"));
            break;
        case TDdnsRegistration::kSilent:
            break;
        }
        return;
    }
    StageTwoOverHttp();
}

void TCheckDDNSThread::StageTwoOverHttp() {
    Report(kStepAdd, Text("IDS_CHECKDDNS2"));
    const TCancelToken& cancel = Token();
    ddns::TDdnsCheckService::Fetch fetch = fetch_;
    if (!fetch)
        fetch = [&cancel](const QString& url, int timeoutMs, QString& body) {
            return TTools::HttpGetText(url, QString(), QString(), timeoutMs, body, cancel.Check());
        };
    const ddns::TDdnsCheckService service(DdnsServer, fetch);
    const ddns::TRemoteAnswer remote = service.GetRemote(DdnsUser);
    if (Token().Cancelled())
        return;
    switch (remote.Kind) {
    case ddns::TRemoteKind::NoReply:
        Report(kStepAdd, kIndent + Text("IDS_CANNOTCONNECTSERVER"));
        return;
    case ddns::TRemoteKind::Online:
        Report(kStepSuccess, Text("IDS_CHECKDDNS2") + Text("IDS_CHECKDDNS2_SUCC"));
        return;
    case ddns::TRemoteKind::NoId:
        Report(kStepAdd, kIndent + Text("IDS_NOID"));
        Report(kStepAdd, kIndent + Text("IDS_CHECKDDNS2_ERR_DO"));
        return;
    case ddns::TRemoteKind::Unrecognised:
        Report(kStepAdd, kIndent + Text("IDS_UNKNOWERR"));
        return;
    case ddns::TRemoteKind::Offline:
        break;
    }
    const ddns::TAuthAnswer auth = service.CheckAuth(DdnsUser, DdnsPwd);
    if (Token().Cancelled())
        return;
    switch (auth.Kind) {
    case ddns::TAuthKind::NoReply:
        Report(kStepAdd, kIndent + Text("IDS_CANNOTCONNECTSERVER"));
        break;
    case ddns::TAuthKind::LoggedOut:
        Report(kStepAdd, kIndent + Text("IDS_NOREG"));
        Report(kStepAdd, kIndent + Text("IDS_CHECKDDNS2_ERR_DO2"));
        break;
    case ddns::TAuthKind::NoId:
        Report(kStepAdd, kIndent + Text("IDS_NOID"));
        break;
    case ddns::TAuthKind::WrongPassword:
        Report(kStepAdd, kIndent + Text("IDS_ERRPWD"));
        break;
    case ddns::TAuthKind::Unrecognised:
        Report(kStepAdd, kIndent + Text("IDS_UNKNOWERR"));
        break;
    }
}
