#include "CgiFamily.h"

#include "Tools.h"

#include <QPointer>

TCgiFamily::TCgiFamily()
{
    traits_.series = QStringLiteral("T");
    traits_.applyCommand = true;
    traits_.offersPppoe = false;
    traits_.firmwareUpgrade = true;
    traits_.easyChecksLogin = true;
    traits_.ddnsEditable = false;
    // Fixed fields that end in a zero: 79 bytes of name, 31 of user name and of password.
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetHttpPort |
                         kNetName | kNetAddrMode | kNetUser | kNetPassword;
    traits_.netReported = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2 | kNetHttpPort |
                          kNetName | kNetAddrMode;
    traits_.nameBytes = Cgi::kNameSize - 1;
    traits_.userBytes = Cgi::kLoginSize - 1;
    traits_.passwordBytes = Cgi::kLoginSize - 1;
    traits_.easyListed = true;
}

TCgiFamily::~TCgiFamily()
{
    driver_.StopSearches();
}

void TCgiFamily::SendProbes(ISearchSink& sink, int /*tick*/, bool /*withLibrary*/)
{
    // The context drops records that arrive after the engine is gone.
    driver_.Search(
        Cgi::kPort, [s = &sink](const TDevInfo& rec) { s->DeliverRecord(rec); },
        sink.SearchOwner(), sink.SearchAdapterIndexes());
}

void TCgiFamily::StopSearch()
{
    driver_.StopSearches();
}

TApplyResult TCgiFamily::ApplyNetwork(ISearchSink&, TApplyOrigin, const TDevInfo& oldRec,
                                      const TDevInfo& newRec, const TLogin& login)
{
    if (Cgi::AddressChange(newRec, login.user, login.password).isEmpty())
        return TApplyResult::kMalformed;
    return driver_.SetNetwork(oldRec.IP, Cgi::kPort, login.user, login.password, newRec, oldRec)
               ? TApplyResult::kAccepted
               : TApplyResult::kRefused;
}

TLoginResult TCgiFamily::TestCredentials(const QString& devUrl, const TLogin& login)
{
    return driver_.CheckLogin(devUrl, login.user, login.password) ? TLoginResult::kAccepted
                                                                  : TLoginResult::kRefused;
}

bool TCgiFamily::Restart(const TDevInfo& cam, const TLogin& login)
{
    QString ignored;
    return HttpGetAuth(Cgi::RebootUrl(Cgi::BaseUrl(cam)), TT924Series::kParamsTimeoutMs, login.user,
                       login.password, ignored);
}
