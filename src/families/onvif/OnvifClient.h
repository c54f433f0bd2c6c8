#pragma once
// A blocking client of one camera's ONVIF device service: SOAP 1.2 over HTTP POST with
// WS-Security UsernameToken digests whose time follows the camera's own clock. Every call
// waits for the network, so it belongs on a worker thread; one object per thread.

#include "DevInfo.h"
#include "OnvifSoap.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace Onvif {

inline constexpr int kDefaultTimeoutMs = 5000;
// How long the calls after an address change keep trying the camera's new address.
inline constexpr int kMoveWaitMs = 15000;
inline constexpr const char* kDeviceServicePath = "/onvif/device_service";

// What ReadDevice gathers.
struct TDevice {
    TDeviceInformation info;
    TNetworkInterface iface;  // the first enabled interface with IPv4, else the first one
    QStringList gateways;     // empty when the camera does not tell
    TDns dns;
};

// What WriteNetwork sets.
struct TNetSettings {
    bool dhcp = false;
    QString address;       // static only
    int prefixLength = 24; // static only
    QString gateway;       // static only; empty: left as it is
    QStringList dns;       // static only; empty: left as it is
};

// "http://" + ip + (":" + port unless 80) + the standard device-service path.
QString DeviceServiceUrl(const QString& ip, quint16 port);

class TOnvifClient {
public:
    // user empty: requests go without a Security header (a camera without accounts).
    TOnvifClient(const QString& deviceUrl, const QString& user, const QString& password,
                 int timeoutMs = kDefaultTimeoutMs);

    // GetSystemDateAndTime; the difference to the PC's clock goes into every later token.
    // The other calls do this first by themselves. Only a camera that does not answer at all
    // is a failure here: without a usable time the offset stays 0.
    TResult SyncClock();
    // Device information, the network interface, the default gateway and the DNS servers.
    // A fault of the gateway or DNS request (a camera that lacks them) leaves those empty.
    TResult ReadDevice(TDevice& out);
    // Writes the settings and restarts the camera when it says the change needs that.
    // Static: SetNetworkInterfaces, then SetNetworkDefaultGateway and SetDNS, sent to the new
    // address when the camera took the change at once (it has moved), to the old one when
    // it waits for the restart; then SystemReboot if needed. DHCP: SetDNS from DHCP first,
    // while the camera is still where we know it, then SetNetworkInterfaces and the restart.
    TResult WriteNetwork(const TNetSettings& settings, bool* rebooted = nullptr);
    // SystemReboot.
    TResult Reboot();

    // The camera's clock minus the PC's, in milliseconds.
    qint64 ClockOffsetMs() const { return offsetMs_; }
    // Where the camera is now: changes after WriteNetwork gave it a static address. After a
    // switch to DHCP the new address is unknown here; the search finds the camera there.
    QString DeviceUrl() const { return url_; }

    // Tests fix the nonces; real use draws them from the system's random source.
    void SetNonceSource(std::function<QByteArray()> source) { nonces_ = std::move(source); }

private:
    TResult EnsureClock();
    TResult EnsureInterfaceToken();
    // One request; status and reply are the HTTP answer. NoAnswer when there was none.
    TResult Post(const QString& url, TOp op, const QByteArray& envelope, long& status,
                 QByteArray& reply) const;
    const TUsernameToken* Token(TUsernameToken& storage) const;
    // The calls after an address change, against url; retried while the camera is on its way.
    TResult SetGatewayAndDns(const QString& url, const TNetSettings& s, int waitMs);

    QString url_;
    QString user_;
    QString password_;
    int timeoutMs_;
    qint64 offsetMs_ = 0;
    bool clockKnown_ = false;
    QString interfaceToken_;
    std::function<QByteArray()> nonces_;
};

// The values a read gives to the camera record: model and firmware into Version, address
// mode, mask, gateway and DNS servers. IP and port stay as the search found them.
void ApplyDevice(const TDevice& device, TDevInfo& rec);

}  // namespace Onvif
