#pragma once
// What some camera families can do beyond ICameraFamily, for the easy-mode pages: the
// wireless LAN (step 5) and the dynamic DNS (step 6). A family hands out the capability it has
// (ICameraFamily::WiFi(), Ddns()); null means the family has none. The operations block their
// caller for up to the family's own time limits and may run on any thread; they report results
// and never texts.

#include "CameraFamily.h"

#include <QString>
#include <vector>

// ---- Wireless LAN --------------------------------------------------------------------------

// Security of a network and of the camera's settings, as the page's list has them.
enum TWiFiSecurity : qint32 {
    kWiFiNone = 0,
    kWiFiWep = 1,
    kWiFiWpaAes = 2,
    kWiFiWpaTkip = 3,
    kWiFiWpa2Aes = 4,
    kWiFiWpa2Tkip = 5,
    kWiFiOther = 6,  // a network that cannot be joined from the page
};

// One network the camera sees; each family fills what it knows.
struct TWiFiNetwork {
    QString text;  // the list entry
    QString ssid;
    qint32 security = 0;  // TWiFiSecurity for the CGI families; family 5: 1 secured, else open
    qint32 mode = 0;      // 0 infrastructure, 1 ad hoc
    qint32 auth = 0;      // family 5: 0 WEP, 1 WPA-PSK, other WPA2-PSK
    qint32 cipher = 0;    // family 5: 1 TKIP, 2 AES
    QString signal;
    QString mac;

    bool operator==(const TWiFiNetwork&) const = default;
};

// The camera's wireless settings, as read and as the page edits them.
struct TWiFiSettings {
    bool read = false;  // filled from the camera
    bool enable = false;
    QString ssid;
    qint32 mode = 0;
    qint32 security = 0;  // TWiFiSecurity
    qint32 authType = 0;  // WEP: 0 open system, 1 shared key
    qint32 keyFormat = 0; // WEP: 0 hexadecimal, 1 ASCII
    qint32 defaultKey = 0;
    QString keys[4];
    qint32 keyBits[4] = {0, 0, 0, 0};  // 0 64 bits, 1 128 bits
    QString sharedKey;    // WPA pass phrase
    // The camera's own words for its security, for a family that reads and writes them.
    QString authMode;
    QString encryptType;

    bool operator==(const TWiFiSettings&) const = default;
};

// How the read settings find their network in the scanned list.
enum class TWiFiMatch {
    kNone,       // they do not
    kContains,   // the first entry whose text contains the SSID; it becomes selected
    kNameEquals, // the first entry whose text up to its "(" is the SSID; none: the read fails
};

// The page's rules for the family's cameras.
struct TWiFiPageRules {
    bool onOffShown = true;         // the "Using Wireless Lan" box
    bool ssidEditable = true;
    bool takesOtherSecurity = false;  // a network of kWiFiOther can be taken
    bool takeClearsKey = false;     // taking a network empties the shared key
    bool readsWep = true;           // a read gives the WEP values and both lists' indexes
    // The camera takes one key whatever the security (a network's security is only "secured"
    // or not): the shared-key field serves every secured network, the WEP fields none.
    bool singleKey = false;
    TWiFiMatch readMatch = TWiFiMatch::kNone;
};

enum class TWiFiStatus {
    kOk,
    kNoConnection,  // the camera could not be reached: the page says so
    kFailed,        // nothing usable; the page says nothing
};

struct TWiFiScan {
    TWiFiStatus status = TWiFiStatus::kFailed;
    std::vector<TWiFiNetwork> networks;
};

struct TWiFiRead {
    TWiFiStatus status = TWiFiStatus::kFailed;
    TWiFiSettings settings;
};

enum class TWiFiApply {
    kNotTaken,       // the camera did not take the settings; it does not restart
    kRestarting,     // taken, the camera restarts
    kRestartFailed,  // taken, but the restart could not be asked for: the page says so
};

class ICameraWiFi {
public:
    virtual ~ICameraWiFi() = default;
    virtual const TWiFiPageRules& Rules() const = 0;
    // The networks the camera sees.
    virtual TWiFiScan Scan(const TDevInfo& cam, const TLogin& login) = 0;
    // The camera's present settings.
    virtual TWiFiRead Read(const TDevInfo& cam, const TLogin& login) = 0;
    // Sends settings (as read, then edited) and has the camera restart. network: the list
    // entry the SSID was taken from, when there is one.
    virtual TWiFiApply Apply(const TDevInfo& cam, const TLogin& login, const TWiFiSettings& settings,
                             const TWiFiNetwork* network) = 0;
    // After the wait for the restart, whatever its outcome: lets go of what Apply held.
    virtual void EndApply(const TDevInfo& cam) { (void)cam; }
};

// ---- Dynamic DNS ---------------------------------------------------------------------------

// How complete the camera's own DDNS settings are (the check's first stage).
enum class TDdnsConfig : qint32 {
    kComplete = 0,
    kNoService = 1,     // no DDNS service chosen
    kWrongService = 2,  // another service than the vendor's
    kNoServer = 3,      // server or its port not set
    kNoAccount = 4,
    kRefused = 5,       // the camera refused the login
    kUnreachable = 6,   // the camera did not answer
};

struct TDdnsConfigCheck {
    TDdnsConfig status = TDdnsConfig::kUnreachable;
    // kComplete with valuesRead: the check service is asked with these, not with the record's.
    bool valuesRead = false;
    QString server;
    QString account;
    QString password;
};

// The registration as the camera itself reports it (instead of the check service).
enum class TDdnsRegistration {
    kRegistered,
    kServerUnreachable,
    kUnknown,
    kNotRegistered,  // account and password right, but not logged in
    kSilent,         // a state with nothing to report
    kNoConnection,   // the camera could not be asked
};

enum class TDdnsChange {
    kAccepted,      // taken; the camera restarts its DDNS client
    kNoConnection,
    kRefused,       // the camera refused the login
    kUnsupported,   // the family's DDNS settings cannot be changed from here
};

class ICameraDdns {
public:
    virtual ~ICameraDdns() = default;
    // Whether the check reads the camera's own settings first.
    virtual bool ChecksSettings() const { return false; }
    virtual TDdnsConfigCheck CheckSettings(const TDevInfo& cam, const TLogin& login, const TCancelToken& cancel)
    {
        (void)cam, (void)login, (void)cancel;
        return {};
    }
    // Whether the camera is asked for its registration (instead of the check service).
    virtual bool AsksCameraForRegistration() const { return false; }
    virtual TDdnsRegistration Registration(const TDevInfo& cam, const TCancelToken& cancel)
    {
        (void)cam, (void)cancel;
        return TDdnsRegistration::kNoConnection;
    }
    // Sets the camera's DDNS account, password and server.
    virtual TDdnsChange Change(const TDevInfo& cam, const TLogin& login, const QString& account,
                               const QString& password, const QString& server)
    {
        (void)cam, (void)login, (void)account, (void)password, (void)server;
        return TDdnsChange::kUnsupported;
    }
};
