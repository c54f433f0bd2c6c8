// libFuzzer target: any bytes as a ProbeMatches datagram and as the answer to every device-service
// request, with each HTTP status a camera may give. Run by scripts/fuzz (fuzz_onvif).

#include "OnvifDiscovery.h"
#include "OnvifSoap.h"

#include <cstdint>
#include <memory>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

Onvif::TOnvifProbeLog& Log() {
    static Onvif::TOnvifProbeLog log = [] {
        Onvif::TOnvifProbeLog l;
        l.Sent(QStringLiteral("urn:uuid:6f1c2a4e-9b1d-4c3e-8a2f-0d5e7b9c1a3f"));
        return l;
    }();
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly size bytes, so that a read past the end is seen by AddressSanitizer.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    const QByteArray bytes = QByteArray::fromRawData(copy.get(), qsizetype(size));

    for (const Onvif::TOnvifMatch& m : Onvif::AcceptProbeMatches(bytes, Log())) {
        Check(Onvif::IsDottedQuad(m.host) && m.port != 0 && !m.endpoint.isEmpty());
        Check(m.name.size() <= Onvif::kMaxMatchText && m.location.size() <= Onvif::kMaxMatchText);
        const TDevInfo rec = Onvif::DevInfoFromMatch(m, Onvif::MacFromArpTable(bytes, m.host));
        Check(rec.Family == Onvif::kFamilyOnvif && !rec.Mac.isEmpty());
    }
    Check(Onvif::MacFromArpTable(bytes, QStringLiteral("192.168.1.64")).size() % 12 == 0);

    for (const long status : {200L, 400L, 401L, 500L}) {
        QDateTime utc;
        if (Onvif::ReadSystemDateAndTime(status, bytes, utc).Ok())
            Check(utc.isValid());
        Onvif::TDeviceInformation info;
        Onvif::ReadDeviceInformation(status, bytes, info);
        QList<Onvif::TNetworkInterface> ifaces;
        if (Onvif::ReadNetworkInterfaces(status, bytes, ifaces).Ok())
            Check(!ifaces.isEmpty() && !ifaces.first().token.isEmpty());
        QStringList gateways;
        Onvif::ReadNetworkDefaultGateway(status, bytes, gateways);
        for (const QString& g : gateways)
            Check(Onvif::IsDottedQuad(g));
        Onvif::TDns dns;
        Onvif::ReadDns(status, bytes, dns);
        bool reboot = false;
        Onvif::ReadSetNetworkInterfaces(status, bytes, reboot);
        const Onvif::TResult r = Onvif::ReadEmptyResponse(Onvif::TOp::SystemReboot, status, bytes);
        Check(status != 401 || r.status == Onvif::TStatus::NotAuthorized);
    }
    return 0;
}
