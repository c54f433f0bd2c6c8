#include "CameraFamily.h"

#include "NetAddress.h"

#include <QStringList>

namespace {

TNetCheck Problem(TNetProblem problem, TNetField field, int limit = 0)
{
    return TNetCheck{problem, field, limit};
}

bool Fits(const QString& text, int maxBytes)
{
    return maxBytes <= 0 || text.toUtf8().size() <= maxBytes;
}

// The window takes the camera's host number only between 1 and 254: 0 names the network, 255
// its broadcast address.
bool HostAddress(const QString& ip)
{
    const auto bytes = IpToBytes(ip);
    return bytes && (*bytes)[3] != 0 && (*bytes)[3] != 255;
}

}  // namespace

TNetCheck CheckNetworkValues(const TFamilyTraits& t, const TDevInfo& oldRec,
                             const TDevInfo& newRec, const TLogin& login)
{
    const quint32 c = t.netCarried;
    if ((c & kNetIP) && !HostAddress(newRec.IP))
        return Problem(TNetProblem::kBadAddress, kNetIP);
    const std::pair<TNetField, const QString*> addresses[] = {
        {kNetMask, &newRec.Mask}, {kNetGateway, &newRec.Gateway}, {kNetDns1, &newRec.Dns1}};
    for (const auto& [field, text] : addresses) {
        if ((c & field) && !ValidIp(*text))
            return Problem(TNetProblem::kBadAddress, field);
    }
    if ((c & kNetDns2) && !ValidOptionalIp(newRec.Dns2))
        return Problem(TNetProblem::kBadAddress, kNetDns2);
    if ((c & kNetHttpPort) && newRec.HttpPort == 0)
        return Problem(TNetProblem::kBadPort, kNetHttpPort);
    // Cameras without a media port report 0; only a new one must be a real port.
    if ((c & kNetDataPort) && newRec.DataPort == 0 && oldRec.DataPort != 0)
        return Problem(TNetProblem::kBadPort, kNetDataPort);
    if ((c & kNetName) && !Fits(newRec.Name, t.nameBytes))
        return Problem(TNetProblem::kTooLong, kNetName, t.nameBytes);
    if ((c & kNetAddrMode) && newRec.AddrMode != oldRec.AddrMode) {
        const bool offered = newRec.AddrMode == kAddrDhcp || newRec.AddrMode == kAddrStatic ||
                             (newRec.AddrMode == kAddrPppoe && t.offersPppoe);
        if (!offered)
            return Problem(TNetProblem::kBadMode, kNetAddrMode);
    }
    if ((c & kNetUser) && !Fits(login.user.trimmed(), t.userBytes))
        return Problem(TNetProblem::kTooLong, kNetUser, t.userBytes);
    if ((c & kNetPassword) && !Fits(login.password.trimmed(), t.passwordBytes))
        return Problem(TNetProblem::kTooLong, kNetPassword, t.passwordBytes);
    return TNetCheck();
}
