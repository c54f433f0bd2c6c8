#include "BuiltInFamilies.h"

#include "Bin8Family.h"
#include "CgiFamily.h"
#include "CtpFamily.h"
#include "HisiFamily.h"
#include "LegacyFamilies.h"
#include "MoiFamily.h"
#include "OnvifFamily.h"

std::unique_ptr<TFamilyRegistry> MakeBuiltInFamilies(const QString& programDir)
{
    auto r = std::make_unique<TFamilyRegistry>();
    // The order in which each pass sends its probes: older cameras answer best to this one.
    r->Add(MakeImagiaFamily());
    r->Add(std::make_unique<TCgiFamily>());
    r->Add(MakeSq610Family());
    r->Add(std::make_unique<TMoiFamily>());
    r->Add(MakeUicamFamily());
    r->Add(std::make_unique<TCtpFamily>());
    r->Add(std::make_unique<TBin8Family>());
    r->Add(std::make_unique<THisiFamily>(programDir));
    for (auto& f : MakeLetterOnlyFamilies())
        r->Add(std::move(f));
    r->Add(std::make_unique<TOnvifFamily>());
    return r;
}
