#include "CheckDevThread.h"

#include "CameraFamily.h"
#include "Tools.h"

TCheckDevThread::TCheckDevThread(ICameraFamily& family, const TDevInfo& cam)
    : Family(cam.Family), Url(InnerUrl(cam)), family_(family), cam_(cam) {}

TCheckDevThread::~TCheckDevThread() { Stop(); }

void TCheckDevThread::Execute() {
    bool ok = false;
    if (family_.ChecksReachability()) {
        ok = family_.CheckReachable(cam_, Token());
    } else {
        QString reply;
        ok = TTools::HttpGetText(Url, QString(), QString(), kTimeoutMs, reply, Token().Check());
    }
    reachable_.store(ok && !Token().Cancelled());
    Link().Notify(reachable_.load() ? 1 : 0, QString());
}
