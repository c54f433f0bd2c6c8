// Family 5 in easy mode: the reachability test after an address change, the wireless LAN and
// the DDNS state, all over pooled CTP/1.0 sessions.

#include "CtpFamily.h"

#include "CtpSocket.h"

namespace {

// The pooled session to the camera's device port; null when there is none (also for an address
// that is no address).
TCTPSession Session(const TDevInfo& cam)
{
    try {
        return TCTPSocket::GetCTPSession(cam.IP, cam.HttpPort);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

bool TCtpFamily::CheckReachable(const TDevInfo& cam, const TCancelToken& cancel)
{
    // The device port from the record: the LAN address carries no port for port 80.
    if (cancel.Cancelled())
        return false;
    const TCTPSession session = Session(cam);
    if (!session)
        return false;
    // Closing the connection ends a keepalive that the camera leaves unanswered.
    const TCancelToken::TRegistration closeOnCancel(cancel, [session] { session->Close(); });
    return session->KeepAlive();
}
