#pragma once
// Is a camera reachable at its LAN address? Run once after its address was set (step 4): the
// family's own test, else a GET of its web page. The result goes to the link's handler on the
// user-interface thread as kind 1 (reachable) or 0; every failure is simply "not reachable".

#include "DevInfo.h"
#include "WizardThread.h"

#include <atomic>

class ICameraFamily;

class TCheckDevThread final : public TWizardThread {
public:
    static constexpr int kTimeoutMs = 5000;

    // family must outlive the thread (the registry does).
    TCheckDevThread(ICameraFamily& family, const TDevInfo& cam);
    ~TCheckDevThread() override;

    const qint32 Family;
    const QString Url;  // InnerUrl of the camera
    bool Reachable() const { return reachable_.load(); }

protected:
    void Execute() override;

private:
    ICameraFamily& family_;
    const TDevInfo cam_;
    std::atomic<bool> reachable_{false};
};
