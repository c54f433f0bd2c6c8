#pragma once
// Family 4 (series "H"): cameras found and re-addressed only through an outside library in the
// folder "909" beside the program (FindHisi.h). Without the library the family has no cameras.
// Its rows do not age: only Find or a settings change removes them.

#include "CameraFamily.h"

#include <memory>

class TFind_Hisi;

namespace Hisi {
inline constexpr qint32 kFamily = 4;
inline constexpr const char* kFactoryPassword = "qelvo";
}  // namespace Hisi

class THisiFamily final : public ICameraFamily {
public:
    // Loads the library from "909" inside programDir.
    explicit THisiFamily(const QString& programDir);
    ~THisiFamily() override;

    qint32 Code() const override { return Hisi::kFamily; }
    const TFamilyTraits& Traits() const override { return traits_; }

    // The library searches only with the Find button.
    void SendProbes(ISearchSink& sink, int tick, bool withLibrary) override;
    void StopSearch() override;
    // The library's configure call, from the advanced window only: easy mode has no command
    // for this family. The new record carries the login (LoginUser, LoginPwd).
    TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                              const TDevInfo& newRec, const TLogin& login) override;

    TFind_Hisi& Library() { return *library_; }

private:
    TFamilyTraits traits_;
    std::unique_ptr<TFind_Hisi> library_;
};
