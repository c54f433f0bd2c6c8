#pragma once
// Easy mode on the CGI pages of families 2 and 8: the wireless LAN (both) and the DDNS
// settings (family 2). The two web servers differ in a few paths and in how a scan result
// names its networks; TVendorPages says which.

#include "CameraCapabilities.h"

namespace VendorCgi {

inline constexpr int kWiFiTimeoutMs = 10000;
inline constexpr int kDdnsReadTimeoutMs = 5000;
inline constexpr int kDdnsSetTimeoutMs = 10000;
// A scan answer may claim any number of networks; no camera sees more than this.
inline constexpr int kMaxNetworks = 100;

struct TVendorPages {
    bool cgiBin = false;       // family 8: pages under /cgi-bin/ with loginuse/loginpas
    bool scanTwice = false;    // family 2: the scan request goes out twice
    bool ssidBlank = false;    // family 8: "ap_ssid[i] =" with a blank before "="
};

// The value of name in a script answer: from one character after the name (the "=") up to the
// first ";" at or after the name, every "'" (and, with bothQuotes, every double quote)
// removed; empty when the name or the ";" is missing.
QString ScriptValue(const QString& reply, const QString& name, bool bothQuotes = true);
// An integer value: decimal, 0 for anything that is not a number.
qint32 ScriptInt(const QString& reply, const QString& name);

// The networks of a get_wifi_scan_result answer.
std::vector<TWiFiNetwork> ParseScanResult(const QString& reply, const TVendorPages& pages);
// The wireless settings of a get_params answer.
TWiFiSettings ParseWiFiSettings(const QString& reply);

// Request addresses; every value is query-encoded (UrlQueryEncode).
QString ScanUrl(const QString& base, const TVendorPages& pages, const TLogin& login);
QString ScanResultUrl(const QString& base, const TLogin& login);
QString ParamsUrl(const QString& base, const TLogin& login);
QString SetWiFiUrl(const QString& base, const TVendorPages& pages, const TLogin& login, const TWiFiSettings& s);
QString RebootUrl(const QString& base, const TVendorPages& pages);
QString SetDdnsUrl(const QString& base, const TLogin& login, const QString& account, const QString& password,
                   const QString& server);

class TVendorWiFi final : public ICameraWiFi {
public:
    explicit TVendorWiFi(const TVendorPages& pages) : pages_(pages) {}
    const TWiFiPageRules& Rules() const override { return rules_; }
    TWiFiScan Scan(const TDevInfo& cam, const TLogin& login) override;
    TWiFiRead Read(const TDevInfo& cam, const TLogin& login) override;
    TWiFiApply Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                     const TWiFiNetwork* network) override;

private:
    TVendorPages pages_;
    TWiFiPageRules rules_;
};

// Family 2: its DDNS settings from get_params, changed through set_ddns.
class TVendorDdns final : public ICameraDdns {
public:
    bool ChecksSettings() const override { return true; }
    TDdnsConfigCheck CheckSettings(const TDevInfo& cam, const TLogin& login, const TCancelToken& cancel) override;
    TDdnsChange Change(const TDevInfo& cam, const TLogin& login, const QString& account, const QString& password,
                       const QString& server) override;
};

}  // namespace VendorCgi
