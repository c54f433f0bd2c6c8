#include "HisiFamily.h"

#include "FindHisi.h"

#include <QPointer>

THisiFamily::THisiFamily(const QString& programDir)
    : library_(std::make_unique<TFind_Hisi>(programDir))
{
    traits_.series = QStringLiteral("H");
    traits_.applyCommand = true;
    traits_.expires = false;
    traits_.dataPort = true;
    traits_.applyPasswordPreset = QString::fromLatin1(Hisi::kFactoryPassword);
    traits_.applyKeepsLogin = true;
    // The library's configure call takes one DNS server; its texts have no limits we know of
    // (the library refuses what it cannot take).
    traits_.netCarried = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetHttpPort |
                         kNetDataPort | kNetName | kNetAddrMode | kNetUser | kNetPassword;
    traits_.netReported = kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetHttpPort |
                          kNetDataPort | kNetName | kNetAddrMode;
}

THisiFamily::~THisiFamily() = default;

void THisiFamily::SendProbes(ISearchSink& sink, int /*tick*/, bool withLibrary)
{
    if (!withLibrary || !library_->Loaded())
        return;
    // The library reports from its own thread; its records reach the engine that asked last,
    // and none after that engine is gone.
    library_->SetReceiver([owner = QPointer<QObject>(sink.SearchOwner()), s = &sink](const TDevInfo& rec) {
        if (owner)
            s->DeliverRecord(rec);
    });
    library_->SearchServers();
}

void THisiFamily::StopSearch()
{
    library_->SetReceiver(nullptr);
}

TApplyResult THisiFamily::ApplyNetwork(ISearchSink&, TApplyOrigin origin, const TDevInfo&,
                                       const TDevInfo& newRec, const TLogin& login)
{
    if (origin != TApplyOrigin::Advanced)
        return TApplyResult::kUnsupported;
    TDevInfo next = newRec;
    next.LoginUser = login.user;
    next.LoginPwd = login.password;
    return library_->ConfigServer(next) ? TApplyResult::kAccepted : TApplyResult::kRefused;
}
