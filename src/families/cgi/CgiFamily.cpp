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
        sink.SearchOwner());
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
