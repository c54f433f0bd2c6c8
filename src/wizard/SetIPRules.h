#pragma once
// Step 4's decision: which network settings the chosen camera gets so that it sits at a fixed
// address in the PC's own subnet. Pure functions, no network.

#include "DevInfo.h"

#include <QStringList>
#include <optional>

namespace SetIP {

inline constexpr const char* kFactoryIp = "192.168.1.126";
inline constexpr const char* kDns1 = "8.8.8.8";
inline constexpr const char* kDns2 = "208.67.222.222";
inline constexpr quint16 kFactoryPort = 81;
inline constexpr int kNewPortBase = 1081;
inline constexpr int kDataPortStep = 2000;

// The number a camera's new address and ports are spread by: the last pair of its MAC text
// that is not "00" (counted from the end in steps of three characters, "aa:bb:cc"), read as a
// hexadecimal number; without one, the millisecond part of the time of day.
int Seed(const QString& mac, int clockMs);

enum class TDecision {
    kKeep,        // a static address in the PC's subnet already: nothing is sent
    kSend,        // the new settings are to be sent
    kImpossible,  // no address can be made (the PC has none, or no free one is left)
};

struct TNewSettings {
    TDecision decision = TDecision::kKeep;
    TDevInfo settings;  // kSend: the camera's record with the new values
};

// rec: the camera; pcIp and gateway: the PC's adapter; clockMs: the millisecond part of the
// time of day; inUse: addresses of the other listed cameras. A computed address that is the
// subnet's first or last (.0, .255), the PC's, the gateway's or another camera's is not given
// out: the next fourth octet up is taken instead (after 254 comes 1).
TNewSettings Decide(const TDevInfo& rec, const QString& pcIp, const QString& gateway, int clockMs,
                    const QStringList& inUse);

}  // namespace SetIP
