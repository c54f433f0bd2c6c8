#include "OnvifClient.h"

#include "Tools.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QThread>

namespace Onvif {

namespace {

// Device-service answers are a few kilobytes; a camera that sends more is not answering us.
constexpr qsizetype kMaxReply = 1 << 20;
constexpr int kRetryPauseMs = 300;

QString Joined(const TDeviceInformation& info) {
    return (info.model + QLatin1Char(' ') + info.firmwareVersion).trimmed();
}

}  // namespace

QString DeviceServiceUrl(const QString& ip, quint16 port) {
    QString url = QStringLiteral("http://") + ip;
    if (port != 80)
        url += QLatin1Char(':') + QString::number(port);
    return url + QLatin1String(kDeviceServicePath);
}

TOnvifClient::TOnvifClient(const QString& deviceUrl, const QString& user, const QString& password,
                           int timeoutMs)
    : url_(deviceUrl), user_(user), password_(password), timeoutMs_(timeoutMs), nonces_(RandomNonce) {}

TResult TOnvifClient::Post(const QString& url, TOp op, const QByteArray& envelope, long& status,
                           QByteArray& reply) const {
    if (!HttpPost(url, ContentType(op), envelope, timeoutMs_, kMaxReply, status, reply))
        return {TStatus::NoAnswer, QStringLiteral("no answer from %1").arg(url)};
    return {};
}

const TUsernameToken* TOnvifClient::Token(TUsernameToken& storage) const {
    if (user_.isEmpty())
        return nullptr;
    const QDateTime cameraNow = QDateTime::currentDateTimeUtc().addMSecs(offsetMs_);
    storage = MakeUsernameToken(user_, password_, cameraNow, nonces_());
    return &storage;
}

TResult TOnvifClient::SyncClock() {
    long status = 0;
    QByteArray reply;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    TResult r = Post(url_, TOp::GetSystemDateAndTime, BuildRequest(TOp::GetSystemDateAndTime, nullptr),
                     status, reply);
    if (!r.Ok())
        return r;
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QDateTime cameraUtc;
    clockKnown_ = true;
    if (ReadSystemDateAndTime(status, reply, cameraUtc).Ok()) {
        // The camera read its clock somewhere between our send and its answer.
        offsetMs_ = cameraUtc.toMSecsSinceEpoch() - (before + after) / 2;
    } else {
        offsetMs_ = 0;
    }
    return {};
}

TResult TOnvifClient::EnsureClock() { return clockKnown_ ? TResult() : SyncClock(); }

TResult TOnvifClient::EnsureInterfaceToken() {
    if (!interfaceToken_.isEmpty())
        return {};
    TUsernameToken t;
    long status = 0;
    QByteArray reply;
    TResult r = Post(url_, TOp::GetNetworkInterfaces,
                     BuildRequest(TOp::GetNetworkInterfaces, Token(t)), status, reply);
    if (!r.Ok())
        return r;
    QList<TNetworkInterface> list;
    r = ReadNetworkInterfaces(status, reply, list);
    if (!r.Ok())
        return r;
    interfaceToken_ = list.first().token;
    for (const TNetworkInterface& n : list) {
        if (n.enabled && n.ipv4Enabled) {
            interfaceToken_ = n.token;
            break;
        }
    }
    return {};
}

TResult TOnvifClient::ReadDevice(TDevice& out) {
    out = TDevice();
    TResult r = EnsureClock();
    if (!r.Ok())
        return r;
    TUsernameToken t;
    long status = 0;
    QByteArray reply;

    r = Post(url_, TOp::GetDeviceInformation, BuildRequest(TOp::GetDeviceInformation, Token(t)),
             status, reply);
    if (!r.Ok() || !(r = ReadDeviceInformation(status, reply, out.info)).Ok())
        return r;

    r = Post(url_, TOp::GetNetworkInterfaces, BuildRequest(TOp::GetNetworkInterfaces, Token(t)),
             status, reply);
    QList<TNetworkInterface> list;
    if (!r.Ok() || !(r = ReadNetworkInterfaces(status, reply, list)).Ok())
        return r;
    out.iface = list.first();
    for (const TNetworkInterface& n : list) {
        if (n.enabled && n.ipv4Enabled) {
            out.iface = n;
            break;
        }
    }
    interfaceToken_ = out.iface.token;

    r = Post(url_, TOp::GetNetworkDefaultGateway,
             BuildRequest(TOp::GetNetworkDefaultGateway, Token(t)), status, reply);
    if (r.Ok())
        r = ReadNetworkDefaultGateway(status, reply, out.gateways);
    if (!r.Ok() && r.status != TStatus::Fault)
        return r;

    r = Post(url_, TOp::GetDNS, BuildRequest(TOp::GetDNS, Token(t)), status, reply);
    if (r.Ok())
        r = ReadDns(status, reply, out.dns);
    if (!r.Ok() && r.status != TStatus::Fault)
        return r;
    return {};
}

TResult TOnvifClient::SetGatewayAndDns(const QString& url, const TNetSettings& s, int waitMs) {
    QElapsedTimer clock;
    clock.start();
    // Keeps trying while the camera has not come up at its new address yet.
    auto call = [&](TOp op, const std::function<QByteArray()>& build) {
        for (;;) {
            long status = 0;
            QByteArray reply;
            TResult r = Post(url, op, build(), status, reply);
            if (r.Ok())
                return ReadEmptyResponse(op, status, reply);
            if (clock.elapsed() + kRetryPauseMs >= waitMs)
                return r;
            QThread::msleep(kRetryPauseMs);
        }
    };
    TUsernameToken t;
    if (!s.gateway.isEmpty()) {
        TResult r = call(TOp::SetNetworkDefaultGateway, [&] {
            return BuildSetNetworkDefaultGateway(Token(t), {s.gateway});
        });
        if (!r.Ok())
            return r;
    }
    if (!s.dns.isEmpty()) {
        TResult r = call(TOp::SetDNS, [&] { return BuildSetDns(Token(t), false, s.dns); });
        if (!r.Ok())
            return r;
    }
    return {};
}

TResult TOnvifClient::WriteNetwork(const TNetSettings& s, bool* rebooted) {
    if (rebooted)
        *rebooted = false;
    TResult r = EnsureClock();
    if (!r.Ok() || !(r = EnsureInterfaceToken()).Ok())
        return r;
    TUsernameToken t;
    long status = 0;
    QByteArray reply;

    if (s.dhcp) {
        r = Post(url_, TOp::SetDNS, BuildSetDns(Token(t), true, {}), status, reply);
        if (!r.Ok() || !(r = ReadEmptyResponse(TOp::SetDNS, status, reply)).Ok())
            return r;
    }

    TIpv4Setting v4;
    v4.dhcp = s.dhcp;
    v4.address = s.address;
    v4.prefixLength = s.prefixLength;
    r = Post(url_, TOp::SetNetworkInterfaces,
             BuildSetNetworkInterfaces(Token(t), interfaceToken_, v4), status, reply);
    bool rebootNeeded = false;
    if (!r.Ok() || !(r = ReadSetNetworkInterfaces(status, reply, rebootNeeded)).Ok())
        return r;

    if (!s.dhcp) {
        QString target = url_;
        if (!rebootNeeded) {
            // The camera has moved already; the rest of the settings go to where it is now.
            const QUrl old(url_);
            QUrl moved(old);
            moved.setHost(s.address);
            target = moved.toString();
        }
        r = SetGatewayAndDns(target, s, rebootNeeded ? 0 : kMoveWaitMs);
        url_ = target;
        if (!r.Ok())
            return r;
    }

    if (rebootNeeded) {
        r = Post(url_, TOp::SystemReboot, BuildRequest(TOp::SystemReboot, Token(t)), status, reply);
        if (!r.Ok() || !(r = ReadEmptyResponse(TOp::SystemReboot, status, reply)).Ok())
            return r;
        if (rebooted)
            *rebooted = true;
        if (!s.dhcp) {
            QUrl moved(url_);
            moved.setHost(s.address);
            url_ = moved.toString();
        }
    }
    return {};
}

TResult TOnvifClient::Reboot() {
    TResult r = EnsureClock();
    if (!r.Ok())
        return r;
    TUsernameToken t;
    long status = 0;
    QByteArray reply;
    r = Post(url_, TOp::SystemReboot, BuildRequest(TOp::SystemReboot, Token(t)), status, reply);
    if (!r.Ok())
        return r;
    return ReadEmptyResponse(TOp::SystemReboot, status, reply);
}

void ApplyDevice(const TDevice& device, TDevInfo& rec) {
    rec.Version = Joined(device.info);
    rec.AddrMode = device.iface.dhcp ? kAddrDhcp : kAddrStatic;
    if (device.iface.prefixLength > 0)
        rec.Mask = MaskOfPrefix(device.iface.prefixLength);
    rec.Gateway = device.gateways.value(0);
    rec.DnsManual = !device.dns.fromDhcp;
    rec.Dns1 = device.dns.servers.value(0);
    rec.Dns2 = device.dns.servers.value(1);
}

}  // namespace Onvif
