#pragma once
// Client of the dynamic-DNS provider's check service (HTTP on TCP port 808): the three requests,
// the answer forms they come back in, and the message keys the callers report them with.
// Widget-free and stateless apart from its settings: any thread may use one instance.
//
// The service is outside our control and its answers are treated as hostile: comparisons are
// exact and case-sensitive, a public address is used only when it looks like host:port, and
// any answer text kept for a message is bounded and made printable.

#include <QString>
#include <functional>

namespace ddns {

inline constexpr int kServicePort = 808;
inline constexpr int kTimeoutMs = 20000;
// Longest piece of an unrecognised answer kept for the message (in characters of the answer).
inline constexpr int kMaxShownAnswer = 200;
// Longest host name of a service or public address (a DNS name is at most 253 characters).
inline constexpr int kMaxHostLength = 253;

// The five message keys the callers turn results into, and the advanced window's success text.
inline constexpr const char* kKeyCannotConnect = "IDS_CANNOTCONNECTSERVER";
inline constexpr const char* kKeyNoId = "IDS_NOID";
inline constexpr const char* kKeyNoReg = "IDS_NOREG";
inline constexpr const char* kKeyErrPwd = "IDS_ERRPWD";
inline constexpr const char* kKeyUnknown = "IDS_UNKNOWERR";
inline constexpr const char* kKeyCheckNorm = "IDS_CHECKNORM";

// getremote: is the account's camera online, and at which public address.
enum class TRemoteKind {
    Online,        // "1" + public address
    NoId,          // exactly "0IDS_SERVER_NOID"
    Offline,       // exactly "0IDS_SERVER_OFFLINE": known, not online (ask checkauth next)
    Unrecognised,  // anything else, empty included
    NoReply,       // the request failed (or could not be made: unusable host)
};

struct TRemoteAnswer {
    TRemoteKind Kind = TRemoteKind::NoReply;
    // Online: the public address as host ":" port when the answer carried one that looks like
    // that; empty otherwise (the answer still counts as online, but checkurl is never asked).
    QString PublicAddress;
    // Unrecognised: the text to append to IDS_UNKNOWERR, made printable and bounded: the answer
    // without its first character when that is "0", else the whole answer.
    QString Text;
};

// checkauth: are account and password right.
enum class TAuthKind {
    LoggedOut,      // "1" first: both right, but the camera has not logged in to the DNS server
    NoId,           // exactly "0ERRIDS_SERVER_NOID"
    WrongPassword,  // exactly "0ERRIDS_SERVER_NOAUTH"
    Unrecognised,   // anything else, empty included
    NoReply,
};

struct TAuthAnswer {
    TAuthKind Kind = TAuthKind::NoReply;
    // Unrecognised: the answer without its first character, printable and bounded.
    QString Text;
};

// checkurl: could the service fetch the camera's page from outside.
enum class TUrlKind {
    Reached,     // "1" first
    NotReached,  // anything else, empty included; also an address not of the form host:port,
                 // for which nothing is sent (the service could not reach it either)
    NoReply,
};

// The classification of answer bodies, without any network: exposed for the callers' tests.
TRemoteAnswer ClassifyRemote(const QString& body);
TAuthAnswer ClassifyAuth(const QString& body);
TUrlKind ClassifyUrl(const QString& body);

// Report keys of the results, shared by the callers (a table, so every caller maps alike).
// Offline has no key of its own: the callers go on with checkauth (or report their own text).
const char* ReportKeyOf(TRemoteKind kind);  // Online: IDS_CHECKNORM; Offline: nullptr
const char* ReportKeyOf(TAuthKind kind);

// True for a host the service can be asked at: a dotted IPv4 address or a DNS name of letters,
// digits, "-" and "_" in non-empty labels separated by ".", at most kMaxHostLength characters.
bool IsUsableHost(const QString& host);
// True for host ":" port with a usable host and a decimal port 1..65535 (no sign, no blanks).
bool IsPublicAddress(const QString& address);
// Answer text made safe to show: control and other unprintable characters as \r, \n, \t or
// \x{HHHH}, cut after kMaxShownAnswer characters with "..." appended.
QString ShownAnswer(const QString& text);

// The service's host from a camera's DDNS server setting: the text without a trailing ":port"
// (cameras keep the port of their own DDNS updates there; the check service is always on 808).
QString ServiceHostOf(const QString& ddnsServer);

class TDdnsCheckService {
public:
    // GET of url with the time-out; true and the body on a reply, false on failure. The default
    // is TTools::HttpGetText without credentials.
    using Fetch = std::function<bool(const QString& url, int timeoutMs, QString& body)>;

    // host: the service's host, e.g. a camera's DdnsServer or "user" + its domain; a ":port"
    // after it is dropped (ServiceHostOf).
    explicit TDdnsCheckService(QString host, Fetch fetch = {}, int timeoutMs = kTimeoutMs);

    const QString& Host() const { return host_; }
    int TimeoutMs() const { return timeoutMs_; }
    bool HostUsable() const { return IsUsableHost(host_); }

    // The request addresses; empty when the host (or the public address) is not usable.
    // Account and password are query-encoded (UrlQueryEncode): ordinary values go out as they
    // are, and none can end the value or start a second one.
    QString GetRemoteUrl(const QString& account) const;
    QString CheckAuthUrl(const QString& account, const QString& password) const;
    QString CheckUrlUrl(const QString& publicAddress) const;

    // The blocking requests (time-out TimeoutMs each). Callable from any thread.
    TRemoteAnswer GetRemote(const QString& account) const;
    TAuthAnswer CheckAuth(const QString& account, const QString& password) const;
    TUrlKind CheckUrl(const QString& publicAddress) const;

private:
    bool Get(const QString& url, QString& body) const;

    QString host_;
    Fetch fetch_;
    int timeoutMs_;
};

// The outcome of the advanced window's outside-address check: the message key (titled
// IDS_INFORMATION) and the text appended directly to the key's text (empty but for
// IDS_UNKNOWERR). An empty key means the check was not made (no domain in the address).
struct TOuterCheck {
    QString Key;
    QString Appended;
};

// The host of the advanced window's check: "user" + the outer address from its first "."
// (included) to its end; empty when there is no ".". ("user." is no usable host.)
QString OuterCheckHost(const QString& outerUrl);

// The advanced window's check: getremote, and checkauth after "0IDS_SERVER_OFFLINE".
// A host that cannot be asked (see IsUsableHost) gives IDS_CANNOTCONNECTSERVER unsent.
TOuterCheck CheckOuterAddress(const TDdnsCheckService& service, const QString& account,
                              const QString& password);
// The same from the outer address shown (edOuterUrl) and the record's DDNS account.
TOuterCheck CheckOuterUrl(const QString& outerUrl, const QString& account,
                          const QString& password, TDdnsCheckService::Fetch fetch = {},
                          int timeoutMs = kTimeoutMs);

}  // namespace ddns
