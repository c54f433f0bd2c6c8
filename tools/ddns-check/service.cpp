#include "service.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace ddnscheck {

namespace {

constexpr std::size_t kMaxLog = 10000;       // oldest entries go first
constexpr std::size_t kMaxTarget = 2048;     // kept of a request target in the log
constexpr int kMaxDelayMs = 600000;
const char* const kGarbage = "<html><body><h1>Server Error</h1><p>ASP 0113</p></body></html>";

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> Words(const std::string& s)
{
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool ParseInt(const std::string& s, int lo, int hi, int& out)
{
    if (s.empty() || s.size() > 9)
        return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

bool ParseBool(const std::string& s, bool& out)
{
    const std::string v = Lower(s);
    if (v == "yes" || v == "true" || v == "1" || v == "on")
        return out = true, true;
    if (v == "no" || v == "false" || v == "0" || v == "off")
        return out = false, true;
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string& in, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 's': out += ' '; break;
        case '\\': out += '\\'; break;
        case 'x': {
            if (i + 2 >= in.size())
                return false;
            const int h = HexDigit(in[i + 1]);
            const int l = HexDigit(in[i + 2]);
            if (h < 0 || l < 0)
                return false;
            out += char(h * 16 + l);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

std::optional<Request> ParseRequest(const std::string& s)
{
    const std::string v = Lower(s);
    if (v == "getremote") return Request::GetRemote;
    if (v == "checkauth") return Request::CheckAuth;
    if (v == "checkurl") return Request::CheckUrl;
    return std::nullopt;
}

Request RequestOfPath(const std::string& path)
{
    if (path == "/func/getremote.asp") return Request::GetRemote;
    if (path == "/api/checkauth.asp") return Request::CheckAuth;
    if (path == "/api/checkurl.asp") return Request::CheckUrl;
    return Request::Other;
}

// "http://HOST[:PORT]/..." -> "HOST[:PORT]"; empty when the URL is not of that form.
std::string AuthorityOf(const std::string& url)
{
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return std::string();
    const std::string rest = url.substr(scheme.size());
    return rest.substr(0, rest.find_first_of("/?#"));
}

bool SetAccountKey(Account& a, const std::string& key, const std::string& value,
                   std::string& error)
{
    if (key == "id") {
        if (!Unescape(value, a.id) || a.id.empty())
            return error = "bad id", false;
    } else if (key == "password") {
        if (!Unescape(value, a.password))
            return error = "bad escape in password", false;
    } else if (key == "online") {
        if (!ParseBool(value, a.online))
            return error = "online must be yes or no", false;
    } else if (key == "public") {
        a.publicAddress = value;
    } else if (key == "reachable") {
        if (!ParseBool(value, a.reachable))
            return error = "reachable must be yes or no", false;
    } else if (auto r = ParseRequest(key)) {
        auto answer = ParseAnswer(value, error);
        if (!answer)
            return false;
        a.answers[*r] = *answer;
    } else {
        return error = "unknown key " + key, false;
    }
    return true;
}

}  // namespace

const char* RequestName(Request r)
{
    switch (r) {
    case Request::GetRemote: return "getremote";
    case Request::CheckAuth: return "checkauth";
    case Request::CheckUrl: return "checkurl";
    case Request::Other: return "other";
    }
    return "other";
}

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

std::string Printable(const std::string& s)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (c >= 0x20 && c < 0x7F) out += char(c);
        else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string DecodeQueryValue(const std::string& v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '+') {
            out += ' ';
        } else if (v[i] == '%' && i + 2 < v.size() && HexDigit(v[i + 1]) >= 0 &&
                   HexDigit(v[i + 2]) >= 0) {
            out += char(HexDigit(v[i + 1]) * 16 + HexDigit(v[i + 2]));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

std::optional<std::string> QueryValue(const std::string& target, const std::string& key)
{
    const auto q = target.find('?');
    if (q == std::string::npos)
        return std::nullopt;
    const std::string query = target.substr(q + 1, target.find('#', q) - q - 1);
    std::size_t start = 0;
    while (start <= query.size()) {
        const auto end = std::min(query.find('&', start), query.size());
        const std::string pair = query.substr(start, end - start);
        const auto eq = pair.find('=');
        if (DecodeQueryValue(pair.substr(0, eq)) == key)
            return eq == std::string::npos ? std::string() : DecodeQueryValue(pair.substr(eq + 1));
        start = end + 1;
    }
    return std::nullopt;
}

std::string Answer::Describe() const
{
    static const char* const kNames[] = {"auto",      "online",     "noid",    "offline",
                                         "loggedout", "noauth",     "reached", "notreached",
                                         "garbage",   "empty",      "text",    "silent",
                                         "close",     "reset"};
    std::string s = kNames[int(kind)];
    if (kind == Kind::Text)
        s += ":" + Printable(text);
    if (crlf) s += " crlf";
    if (delayMs) s += " delay=" + std::to_string(delayMs);
    if (status != 200) s += " status=" + std::to_string(status);
    return s;
}

std::optional<Answer> ParseAnswer(const std::string& text, std::string& error)
{
    const std::vector<std::string> words = Words(text);
    if (words.empty()) {
        error = "empty answer";
        return std::nullopt;
    }
    static const std::map<std::string, Answer::Kind> kKinds = {
        {"auto", Answer::Kind::Auto},        {"online", Answer::Kind::Online},
        {"noid", Answer::Kind::NoId},        {"offline", Answer::Kind::Offline},
        {"loggedout", Answer::Kind::LoggedOut}, {"noauth", Answer::Kind::NoAuth},
        {"reached", Answer::Kind::Reached},  {"notreached", Answer::Kind::NotReached},
        {"garbage", Answer::Kind::Garbage},  {"empty", Answer::Kind::Empty},
        {"silent", Answer::Kind::Silent},    {"close", Answer::Kind::Close},
        {"reset", Answer::Kind::Reset}};
    Answer a;
    const std::string& k = words[0];
    if (k.compare(0, 5, "text:") == 0) {
        a.kind = Answer::Kind::Text;
        if (!Unescape(k.substr(5), a.text)) {
            error = "bad escape in " + k;
            return std::nullopt;
        }
    } else if (auto it = kKinds.find(Lower(k)); it != kKinds.end()) {
        a.kind = it->second;
    } else {
        error = "unknown answer " + k;
        return std::nullopt;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string w = Lower(words[i]);
        if (w == "crlf") {
            a.crlf = true;
        } else if (w.compare(0, 6, "delay=") == 0) {
            if (!ParseInt(w.substr(6), 0, kMaxDelayMs, a.delayMs)) {
                error = "delay must be 0.." + std::to_string(kMaxDelayMs);
                return std::nullopt;
            }
        } else if (w.compare(0, 7, "status=") == 0) {
            if (!ParseInt(w.substr(7), 100, 599, a.status)) {
                error = "status must be 100..599";
                return std::nullopt;
            }
        } else {
            error = "unknown modifier " + words[i];
            return std::nullopt;
        }
    }
    return a;
}

bool LoadConfig(const std::string& path, bool skipOthers, Config& cfg,
                std::vector<std::string>& errors)
{
    std::ifstream in(path);
    if (!in) {
        errors.push_back(" cannot read the file");
        return false;
    }
    enum class Section { None, Service, Account, Skipped } section = Section::None;
    std::set<std::string> seenKeys;
    std::set<std::string> seenIds;
    std::string address;
    bool listenGiven = false;
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        errors.push_back(std::to_string(lineNo) + ": " + what);
    };
    for (std::string raw; std::getline(in, raw);) {
        ++lineNo;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                fail("bad section line");
                continue;
            }
            const std::vector<std::string> name = Words(line.substr(1, line.size() - 2));
            seenKeys.clear();
            if (!name.empty() && Lower(name[0]) == "ddns" && name.size() == 1) {
                section = Section::Service;
            } else if (name.size() >= 3 && Lower(name[0]) == "ddns" &&
                       Lower(name[1]) == "account") {
                section = Section::Account;
                Account a;
                for (std::size_t i = 2; i < name.size(); ++i)
                    a.id += (i > 2 ? " " : "") + name[i];
                cfg.accounts.push_back(a);
            } else if (skipOthers && (name.empty() || Lower(name[0]).rfind("ddns", 0) != 0)) {
                section = Section::Skipped;
            } else {
                fail("unknown section " + line);
                section = Section::Skipped;
            }
            continue;
        }
        if (section == Section::Skipped)
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            fail("expected key = value");
            continue;
        }
        const std::string key = Lower(Trim(line.substr(0, eq)));
        std::string value = Trim(line.substr(eq + 1));
        if (!value.empty() && value[0] == '"') {
            const auto close = value.find('"', 1);
            if (close == std::string::npos) {
                fail("unterminated quote");
                continue;
            }
            value = value.substr(1, close - 1);
        } else {
            // A comment may follow a blank.
            for (std::size_t i = 1; i < value.size(); ++i) {
                if ((value[i] == ';' || value[i] == '#') &&
                    (value[i - 1] == ' ' || value[i - 1] == '\t')) {
                    value = Trim(value.substr(0, i));
                    break;
                }
            }
        }
        if (section == Section::None) {
            fail("key outside a section");
            continue;
        }
        if (!seenKeys.insert(key).second) {
            fail("key " + key + " given twice");
            continue;
        }
        std::string error;
        if (section == Section::Account) {
            if (!SetAccountKey(cfg.accounts.back(), key, value, error))
                fail(error);
            continue;
        }
        if (key == "listen") {
            cfg.listen = value;
            listenGiven = true;
        } else if (key == "port") {
            if (!ParseInt(value, 1, 65535, cfg.port))
                fail("port must be 1..65535");
        } else if (key == "checkurl_mode") {
            if (value == "fetch") cfg.fetchMode = true;
            else if (value == "config") cfg.fetchMode = false;
            else fail("checkurl_mode must be config or fetch");
        } else if (key == "fetch_timeout_ms") {
            if (!ParseInt(value, 100, 60000, cfg.fetchTimeoutMs))
                fail("fetch_timeout_ms must be 100..60000");
        } else if (key == "fetch_accept") {
            if (value == "200") cfg.fetchAccept200 = true;
            else if (value == "any") cfg.fetchAccept200 = false;
            else fail("fetch_accept must be any or 200");
        } else if (key == "names") {
            std::string v = value;
            std::replace(v.begin(), v.end(), ',', ' ');
            cfg.names = Words(v);
        } else if (key == "address") {
            // simlan makes this address the service's; listen there unless told otherwise.
            address = value;
        } else if (auto r = ParseRequest(key)) {
            auto answer = ParseAnswer(value, error);
            if (answer)
                cfg.answers[*r] = *answer;
            else
                fail(error);
        } else {
            fail("unknown key " + key);
        }
    }
    if (!address.empty() && !listenGiven)
        cfg.listen = address;
    for (const Account& a : cfg.accounts) {
        if (!seenIds.insert(a.id).second)
            errors.push_back(" account " + a.id + " given twice");
    }
    return errors.empty();
}

Service::Service(Config cfg) : initial_(cfg), cfg_(std::move(cfg)) {}

Config Service::Snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return cfg_;
}

const Account* Service::FindAccount(const std::string& id) const
{
    for (const Account& a : cfg_.accounts) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

const Account* Service::FindByPublic(const std::string& address) const
{
    for (const Account& a : cfg_.accounts) {
        if (!a.publicAddress.empty() && a.publicAddress == address)
            return &a;
    }
    return nullptr;
}

std::string Service::AutoBody(Request r, const Account* a, const std::string& pwd) const
{
    switch (r) {
    case Request::GetRemote:
        if (!a) return "0IDS_SERVER_NOID";
        return a->online ? "1" + a->publicAddress : "0IDS_SERVER_OFFLINE";
    case Request::CheckAuth:
        if (!a) return "0ERRIDS_SERVER_NOID";
        return a->password == pwd ? "1" : "0ERRIDS_SERVER_NOAUTH";
    case Request::CheckUrl:
        return a && a->reachable ? "1" : "0";
    case Request::Other:
        break;
    }
    return std::string();
}

void Service::Note(std::uint64_t seq, const std::string& result)
{
    for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
        if (it->seq == seq) {
            it->result = result;
            return;
        }
    }
}

Decision Service::Handle(const std::string& method, const std::string& target,
                         const std::string& host, const std::string& peer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Decision d;
    const std::string path = target.substr(0, target.find_first_of("?#"));
    d.request = RequestOfPath(path);
    d.logSeq = nextSeq_++;
    if (log_.size() >= kMaxLog)
        log_.erase(log_.begin());
    log_.push_back({d.logSeq, peer, Printable(host.empty() ? "-" : host.substr(0, 256)),
                    RequestName(d.request),
                    Printable(target.substr(0, kMaxTarget)), std::string()});

    if (method != "GET" || d.request == Request::Other) {
        d.status = method != "GET" ? 405 : 404;
        d.body = std::string("<html><body>") + ReasonPhrase(d.status) + "</body></html>";
        log_.back().result = std::to_string(d.status);
        return d;
    }

    const Account* account = nullptr;
    std::string url;
    if (d.request == Request::CheckUrl) {
        url = QueryValue(target, "url").value_or(std::string());
        account = FindByPublic(AuthorityOf(url));
    } else {
        account = FindAccount(QueryValue(target, "id").value_or(std::string()));
    }
    Answer answer;
    if (account && account->answers.count(d.request))
        answer = account->answers.at(d.request);
    else if (cfg_.answers.count(d.request))
        answer = cfg_.answers.at(d.request);

    d.status = answer.status;
    d.delayMs = answer.delayMs;
    d.crlf = answer.crlf;
    using K = Answer::Kind;
    switch (answer.kind) {
    case K::Auto:
        if (d.request == Request::CheckUrl && cfg_.fetchMode) {
            d.fetchUrl = url;
            log_.back().result = "fetching";
            return d;  // body after the fetch
        }
        d.body = AutoBody(d.request, account,
                          QueryValue(target, "pwd").value_or(std::string()));
        break;
    case K::Online: d.body = "1" + (account ? account->publicAddress : std::string()); break;
    case K::NoId:
        d.body = d.request == Request::CheckAuth ? "0ERRIDS_SERVER_NOID" : "0IDS_SERVER_NOID";
        break;
    case K::Offline: d.body = "0IDS_SERVER_OFFLINE"; break;
    case K::LoggedOut: d.body = "1"; break;
    case K::NoAuth: d.body = "0ERRIDS_SERVER_NOAUTH"; break;
    case K::Reached: d.body = "1"; break;
    case K::NotReached: d.body = "0"; break;
    case K::Garbage: d.body = kGarbage; break;
    case K::Empty: d.body.clear(); break;
    case K::Text: d.body = answer.text; break;
    case K::Silent:
    case K::Close:
    case K::Reset:
        d.action = answer.kind;
        log_.back().result = answer.Describe();
        return d;
    }
    if (d.crlf)
        d.body += "\r\n";
    log_.back().result = std::to_string(d.status) + " \"" + Printable(d.body) + "\"" +
                         (d.delayMs ? " delay=" + std::to_string(d.delayMs) : std::string());
    return d;
}

void Service::Fetched(Decision& d, int httpStatus, const std::string& detail)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const bool reached = cfg_.fetchAccept200 ? httpStatus == 200 : httpStatus > 0;
    d.body = reached ? "1" : "0";
    if (d.crlf)
        d.body += "\r\n";
    Note(d.logSeq, "fetch(" + Printable(detail) + ") " + std::to_string(d.status) + " \"" +
                       Printable(d.body) + "\"");
}

std::string Service::Control(const std::string& line, bool& quit)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<std::string> w = Words(line);
    if (w.empty())
        return "error empty command\n";
    const std::string cmd = Lower(w[0]);
    std::string error;
    if (cmd == "ping")
        return "ok pong\n";
    if (cmd == "quit") {
        quit = true;
        return "ok bye\n";
    }
    if (cmd == "help") {
        return "set WHO REQUEST ANSWER...   WHO: account id or *; REQUEST: getremote, checkauth,"
               " checkurl or all\n"
               "account ID [password=P] [online=yes|no] [public=HOST:PORT] [reachable=yes|no]\n"
               "remove ID | mode config|fetch | log [clear] | count | show | reset | ping | quit\n"
               "ok\n";
    }
    if (cmd == "reset") {
        cfg_ = initial_;
        log_.clear();
        return "ok\n";
    }
    if (cmd == "count")
        return "ok " + std::to_string(nextSeq_ - 1) + "\n";
    if (cmd == "log") {
        if (w.size() == 2 && Lower(w[1]) == "clear") {
            log_.clear();
            return "ok\n";
        }
        std::string out;
        for (const LogEntry& e : log_) {
            out += std::to_string(e.seq) + " " + e.peer + " " + e.host + " " + e.request + " " +
                   e.target +
                   " => " + e.result + "\n";
        }
        return out + "ok " + std::to_string(log_.size()) + "\n";
    }
    if (cmd == "mode" && w.size() == 2) {
        if (w[1] == "fetch") cfg_.fetchMode = true;
        else if (w[1] == "config") cfg_.fetchMode = false;
        else return "error mode is config or fetch\n";
        return "ok\n";
    }
    if (cmd == "set" && w.size() >= 4) {
        std::string answerText;
        for (std::size_t i = 3; i < w.size(); ++i)
            answerText += w[i] + " ";
        auto answer = ParseAnswer(answerText, error);
        if (!answer)
            return "error " + error + "\n";
        std::vector<Request> requests;
        if (Lower(w[2]) == "all")
            requests = {Request::GetRemote, Request::CheckAuth, Request::CheckUrl};
        else if (auto r = ParseRequest(w[2]))
            requests = {*r};
        else
            return "error unknown request " + w[2] + "\n";
        std::map<Request, Answer>* target = &cfg_.answers;
        if (w[1] != "*") {
            Account* a = const_cast<Account*>(FindAccount(w[1]));
            if (!a)
                return "error no account " + w[1] + "\n";
            target = &a->answers;
        }
        for (Request r : requests) {
            if (answer->kind == Answer::Kind::Auto && !answer->crlf && !answer->delayMs &&
                answer->status == 200)
                target->erase(r);
            else
                (*target)[r] = *answer;
        }
        return "ok\n";
    }
    if (cmd == "account" && w.size() >= 2) {
        Account* a = const_cast<Account*>(FindAccount(w[1]));
        Account fresh;
        fresh.id = w[1];
        Account& target = a ? *a : fresh;
        Account changed = target;
        for (std::size_t i = 2; i < w.size(); ++i) {
            const auto eq = w[i].find('=');
            if (eq == std::string::npos)
                return "error expected key=value: " + w[i] + "\n";
            if (!SetAccountKey(changed, Lower(w[i].substr(0, eq)), w[i].substr(eq + 1), error))
                return "error " + error + "\n";
        }
        if (changed.id != target.id && FindAccount(changed.id))
            return "error account " + changed.id + " exists\n";
        target = changed;
        if (!a)
            cfg_.accounts.push_back(fresh);
        return "ok\n";
    }
    if (cmd == "remove" && w.size() == 2) {
        const auto before = cfg_.accounts.size();
        cfg_.accounts.erase(std::remove_if(cfg_.accounts.begin(), cfg_.accounts.end(),
                                           [&](const Account& a) { return a.id == w[1]; }),
                            cfg_.accounts.end());
        return before == cfg_.accounts.size() ? "error no account " + w[1] + "\n" : "ok\n";
    }
    if (cmd == "show") {
        std::string out = "[ddns]\nlisten = " + cfg_.listen + "\nport = " +
                          std::to_string(cfg_.port) + "\ncheckurl_mode = " +
                          (cfg_.fetchMode ? "fetch" : "config") + "\n";
        for (const auto& [r, ans] : cfg_.answers)
            out += std::string(RequestName(r)) + " = " + ans.Describe() + "\n";
        for (const Account& a : cfg_.accounts) {
            out += "[ddns account " + Printable(a.id) + "]\npassword = " + Printable(a.password) +
                   "\nonline = " + (a.online ? "yes" : "no") + "\npublic = " +
                   Printable(a.publicAddress) + "\nreachable = " +
                   (a.reachable ? "yes" : "no") + "\n";
            for (const auto& [r, ans] : a.answers)
                out += std::string(RequestName(r)) + " = " + ans.Describe() + "\n";
        }
        return out + "ok\n";
    }
    return "error unknown command (try help)\n";
}

}  // namespace ddnscheck
