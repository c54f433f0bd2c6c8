#pragma once
// Does anything answer at an IPv4 address? Asked before a camera is given an address in the
// PC's own subnet, so that it does not take one that another device already uses. No root is
// needed; blocking for at most the time limit, so callers run it on a worker thread.

#include <QString>

// The time limit of one probe in all, in milliseconds.
inline constexpr int kAddressProbeTimeLimitMs = 1000;

struct TAddressProbe {
    enum class TMethod {
        None,       // nothing answered (or the address was not probed)
        IcmpEcho,   // an echo reply through an unprivileged ICMP socket
        Refused,    // the host refused a probe datagram (an ICMP port-unreachable came back)
        Neighbour,  // its link-layer address was resolved (a neighbour entry appeared, or was
                    // confirmed within the last seconds): the device is there but ignores ICMP
    };
    bool Valid = false;  // a unicast IPv4 address was given
    bool InUse = false;
    TMethod Method = TMethod::None;
    // Whether an unprivileged ICMP socket could be opened (net.ipv4.ping_group_range admits
    // one of our groups); without it only the datagram and the neighbour table are asked.
    bool IcmpAllowed = false;
};

// Probes address (dotted IPv4) for up to timeLimitMs: echo requests where ICMP sockets are
// allowed, and a datagram to the discard port whose ICMP answer or neighbour entry shows a
// device that ignores echo requests. Returns as soon as something answered. A neighbour entry
// that was already stale before the probe is no evidence (it may be a device that has left).
TAddressProbe ProbeAddress(const QString& address, int timeLimitMs = kAddressProbeTimeLimitMs);

// True when something answers at address.
inline bool AddressInUse(const QString& address)
{
    return ProbeAddress(address).InUse;
}
