#pragma once
// The stand-in check service without sockets: its configuration, the answer it gives to one
// request, the request log and the control commands. Thread-safe: connection threads and the
// control channel share one Service.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ddnscheck {

enum class Request { GetRemote, CheckAuth, CheckUrl, Other };
const char* RequestName(Request r);

// How one request is answered.
struct Answer {
    enum class Kind {
        Auto,        // from the accounts
        Online,      // "1" + the account's public address
        NoId,        // "0IDS_SERVER_NOID" (checkauth: "0ERRIDS_SERVER_NOID")
        Offline,     // "0IDS_SERVER_OFFLINE"
        LoggedOut,   // "1"
        NoAuth,      // "0ERRIDS_SERVER_NOAUTH"
        Reached,     // "1"
        NotReached,  // "0"
        Garbage,     // a body in none of the forms
        Empty,       // an empty body
        Text,        // the given body
        Silent,      // read the request, never answer
        Close,       // read the request, close without a byte
        Reset,       // read the request, reset the connection
    };
    Kind kind = Kind::Auto;
    std::string text;   // Kind::Text
    bool crlf = false;  // append CR LF to the body
    int delayMs = 0;    // answer this late
    int status = 200;   // HTTP status of the answer

    std::string Describe() const;
};
// "KIND [crlf] [delay=MS] [status=N]"; KIND may be "text:BODY" with \r \n \t \s \\ \xHH escapes.
std::optional<Answer> ParseAnswer(const std::string& text, std::string& error);

struct Account {
    std::string id;
    std::string password;
    bool online = false;
    std::string publicAddress;  // host:port given by getremote when online
    bool reachable = false;     // checkurl's answer for that address in config mode
    std::map<Request, Answer> answers;
};

struct Config {
    std::string listen = "0.0.0.0";
    int port = 808;
    bool fetchMode = false;       // checkurl really fetches the URL
    int fetchTimeoutMs = 3000;
    bool fetchAccept200 = false;  // only status 200 counts as reached (else any HTTP answer)
    std::vector<std::string> names;  // names simlan maps to the service (not used here)
    std::map<Request, Answer> answers;  // for every account and for unknown ones
    std::vector<Account> accounts;
};

// Reads the file. With skipOthers, sections whose names do not start with "ddns" are skipped
// (they belong to lan-sim in a shared simlan configuration); otherwise they are errors.
bool LoadConfig(const std::string& path, bool skipOthers, Config& cfg,
                std::vector<std::string>& errors);

// What the connection does with one request.
struct Decision {
    Request request = Request::Other;
    Answer::Kind action = Answer::Kind::Text;  // Silent, Close, Reset or Text (send body)
    int status = 200;
    std::string body;
    int delayMs = 0;
    // Set when checkurl has to fetch this URL first; the connection calls Service::Fetched.
    std::string fetchUrl;
    bool crlf = false;
    std::uint64_t logSeq = 0;
};

class Service {
public:
    explicit Service(Config cfg);

    // One request head has arrived: logs it and decides the answer.
    // host: the request's Host header (as sent, or empty).
    Decision Handle(const std::string& method, const std::string& target,
                    const std::string& host, const std::string& peer);
    // Fetch mode: the outcome of the fetch (an HTTP status, or 0 for none) completes d.
    void Fetched(Decision& d, int httpStatus, const std::string& detail);

    // One control command line; the answer ends with a line "ok ..." or "error ...".
    std::string Control(const std::string& line, bool& quit);

    Config Snapshot() const;

private:
    const Account* FindAccount(const std::string& id) const;
    const Account* FindByPublic(const std::string& address) const;
    std::string AutoBody(Request r, const Account* a, const std::string& pwd) const;
    void Note(std::uint64_t seq, const std::string& result);

    mutable std::mutex mutex_;
    const Config initial_;
    Config cfg_;
    struct LogEntry {
        std::uint64_t seq;
        std::string peer, host, request, target, result;
    };
    std::vector<LogEntry> log_;
    std::uint64_t nextSeq_ = 1;
};

// Percent-decoding of one query value ("+" is a blank, as the service's pages read it).
std::string DecodeQueryValue(const std::string& v);
// Value of key in the query part of target; nullopt when absent.
std::optional<std::string> QueryValue(const std::string& target, const std::string& key);
// Bytes made printable for the log: \r \n \t \\ and \xHH for the rest outside 0x20..0x7E.
std::string Printable(const std::string& s);
const char* ReasonPhrase(int status);

}  // namespace ddnscheck
