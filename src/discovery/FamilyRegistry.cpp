#include "FamilyRegistry.h"

namespace {

class TUnknownFamily final : public ICameraFamily {
public:
    qint32 Code() const override { return -1; }
    const TFamilyTraits& Traits() const override { return traits_; }

private:
    TFamilyTraits traits_;
};

}  // namespace

TFamilyRegistry::TFamilyRegistry() : unknown_(std::make_unique<TUnknownFamily>()) {}

TFamilyRegistry::~TFamilyRegistry()
{
    StopSearches();
}

bool TFamilyRegistry::Add(std::unique_ptr<ICameraFamily> family)
{
    if (!family || Find(family->Code()))
        return false;
    families_.push_back(std::move(family));
    return true;
}

ICameraFamily* TFamilyRegistry::Find(qint32 code) const
{
    for (const auto& f : families_) {
        if (f->Code() == code)
            return f.get();
    }
    return nullptr;
}

ICameraFamily& TFamilyRegistry::Get(qint32 code) const
{
    ICameraFamily* f = Find(code);
    return f ? *f : *unknown_;
}

void TFamilyRegistry::StopSearches()
{
    for (const auto& f : families_)
        f->StopSearch();
}

bool TFamilyRegistry::ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink,
                                 const ICameraFamily** by) const
{
    if (by)
        *by = nullptr;
    for (const auto& family : families_) {
        const TReplyMatch match = family->ParseReply(datagram, rec, sink);
        if (match == TReplyMatch::NotMine)
            continue;
        if (by)
            *by = family.get();
        return match == TReplyMatch::Record;
    }
    return false;
}
