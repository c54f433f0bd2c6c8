// Router plug-in for routers that speak UPnP IGD (Internet Gateway Device), through
// libminiupnpc. The router is found by an SSDP search on the interface that leads to the given
// router address, and only the IGD at that address is used. UPnP needs no login: user name and
// password are not used.
//
// GetPortForward lists the router's mappings (GetGenericPortMappingEntry, at most kMaxCount) as
// port-mapping XML. SetPortForward makes the router hold the table it is given: it deletes the
// mappings that the table no longer has, adds the ones it has in addition, leaves the rest
// alone, and answers the router's resulting table (the given entries first, in their order).
//
// Codes: 0 done; 3 no UPnP IGD at the router's address, or the router stopped answering;
// 7 a router address or table that cannot be read.

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

PLUGIN_EXPORT const char PlugInVersion[] = "1.0.0.1";

namespace {

constexpr std::size_t kBufferSize = 102400;
// Entries read from the router and announced as its maximum; the XML of this many entries
// fits the buffer with room to spare.
constexpr int kMaxCount = 256;
// Time each SSDP search waits for answers: a router without UPnP costs two of these.
constexpr int kDiscoverMs = 1500;
constexpr unsigned char kOk = 0, kReadError = 3, kParameterError = 7;
// "有效" and "无效" (valid, invalid) in GB2312.
const std::string kValid = "\xD3\xD0\xD0\xA7";
const std::string kInvalid = "\xCE\xDE\xD0\xA7";

struct Mapping {
    std::string name;        // description
    std::string client;      // internal client address
    std::string remoteHost;  // empty: any
    std::string protocol;    // "TCP" or "UDP"
    int external = 0;
    int internal = 0;
    bool enabled = true;
};

bool SameTarget(const Mapping& a, const Mapping& b) {
    return a.protocol == b.protocol && a.external == b.external && a.client == b.client && a.internal == b.internal;
}

bool IsIPv4(const std::string& s, in_addr* out = nullptr) {
    in_addr a{};
    if (s.empty() || s.size() > 15 || ::inet_pton(AF_INET, s.c_str(), &a) != 1)
        return false;
    if (out)
        *out = a;
    return true;
}

// The local address from which the router is reached: the interface the SSDP search uses.
bool LocalAddressTowards(const in_addr& router, std::string& local) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(1900);
    to.sin_addr = router;
    sockaddr_in me{};
    socklen_t len = sizeof me;
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&me), &len) == 0;
    ::close(s);
    char text[INET_ADDRSTRLEN] = {};
    if (!ok || !::inet_ntop(AF_INET, &me.sin_addr, text, sizeof text))
        return false;
    local = text;
    return true;
}

// Host part of "http://host[:port]/...".
std::string UrlHost(const char* url) {
    if (!url || std::strncmp(url, "http://", 7) != 0)
        return {};
    const char* h = url + 7;
    const std::size_t n = std::strcspn(h, ":/");
    return std::string(h, n);
}

class Igd {
public:
    ~Igd() {
        if (found_)
            FreeUPNPUrls(&urls_);
    }
    // Finds the IGD at the router's address.
    bool Open(const std::string& router) {
        in_addr addr{};
        if (!IsIPv4(router, &addr))
            return false;
        std::string local;
        if (!LocalAddressTowards(addr, local))
            return false;
        static const char* const types[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                            "urn:schemas-upnp-org:service:WANIPConnection:1", nullptr};
        int error = 0;
        // No minissdpd: its cache may know routers that are long gone.
        UPNPDev* list = upnpDiscoverDevices(types, kDiscoverMs, local.c_str(), "/nonexistent/minissdpd.sock",
                                            UPNP_LOCAL_PORT_ANY, 0, 2, &error, 0);
        for (UPNPDev* d = list; d && !found_; d = d->pNext) {
            if (UrlHost(d->descURL) != router)
                continue;
            char lan[64] = {};
            UPNPUrls urls{};
            IGDdatas data{};
            if (UPNP_GetIGDFromUrl(d->descURL, &urls, &data, lan, sizeof lan) == 1 && urls.controlURL &&
                data.first.servicetype[0]) {
                urls_ = urls;
                data_ = data;
                found_ = true;
            } else {
                FreeUPNPUrls(&urls);
            }
        }
        freeUPNPDevlist(list);
        return found_;
    }

    // The router's mappings; false when the router does not answer.
    bool List(std::vector<Mapping>& out) const {
        out.clear();
        for (int i = 0; i < kMaxCount; ++i) {
            char index[16], ext[6] = {}, client[16] = {}, in[6] = {}, proto[4] = {}, desc[80] = {}, enabled[4] = {},
                            rhost[64] = {}, duration[16] = {};
            std::snprintf(index, sizeof index, "%d", i);
            const int r = UPNP_GetGenericPortMappingEntry(urls_.controlURL, data_.first.servicetype, index, ext, client,
                                                          in, proto, desc, enabled, rhost, duration);
            if (r < 0 && i == 0)
                return false;  // no answer at all (an error answer just ends the list)
            if (r != 0)
                break;
            Mapping m;
            m.external = std::atoi(ext);
            m.internal = std::atoi(in);
            m.client.assign(client, ::strnlen(client, sizeof client));
            m.protocol.assign(proto, ::strnlen(proto, sizeof proto));
            m.name.assign(desc, ::strnlen(desc, sizeof desc));
            m.remoteHost.assign(rhost, ::strnlen(rhost, sizeof rhost));
            m.enabled = enabled[0] != '0';
            for (char& c : m.protocol)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            if (m.external > 0 && m.external <= 65535 && (m.protocol == "TCP" || m.protocol == "UDP"))
                out.push_back(m);
        }
        return true;
    }

    // The mapping of a public port, asked for directly (for routers whose list is short of it).
    bool Specific(int external, const std::string& protocol, Mapping& m) const {
        const std::string ext = std::to_string(external);
        char client[16] = {}, in[6] = {}, desc[80] = {}, enabled[4] = {}, duration[16] = {};
        if (UPNP_GetSpecificPortMappingEntry(urls_.controlURL, data_.first.servicetype, ext.c_str(), protocol.c_str(),
                                             nullptr, client, in, desc, enabled, duration) != 0)
            return false;
        m.external = external;
        m.protocol = protocol;
        m.client.assign(client, ::strnlen(client, sizeof client));
        m.internal = std::atoi(in);
        m.name.assign(desc, ::strnlen(desc, sizeof desc));
        m.enabled = enabled[0] != '0';
        return true;
    }

    void Delete(const Mapping& m) const {
        const std::string ext = std::to_string(m.external);
        UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype, ext.c_str(), m.protocol.c_str(),
                               m.remoteHost.empty() ? nullptr : m.remoteHost.c_str());
    }

    void Add(const Mapping& m) const {
        const std::string ext = std::to_string(m.external), in = std::to_string(m.internal);
        const char* desc = m.name.empty() ? "ipcam" : m.name.c_str();
        const int r = UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, ext.c_str(), in.c_str(),
                                          m.client.c_str(), desc, m.protocol.c_str(), nullptr, "0");
        // Some routers refuse permanent mappings; a week is what IGD:2 routers turn them into.
        if (r != 0 && r != 718)
            UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, ext.c_str(), in.c_str(), m.client.c_str(),
                                desc, m.protocol.c_str(), nullptr, "604800");
    }

private:
    UPNPUrls urls_{};
    IGDdatas data_{};
    bool found_ = false;
};

// --- the port-mapping XML ---

// Text of any encoding made fit for a GB2312 document: UTF-8 is converted, what cannot be is
// replaced; markup characters are escaped and control characters dropped.
std::string XmlText(const std::string& raw) {
    std::string text;
    iconv_t cd = ::iconv_open("GB2312//TRANSLIT", "UTF-8");
    if (cd != iconv_t(-1)) {
        std::string in = raw;
        std::vector<char> out(raw.size() * 4 + 4);
        char* ip = in.data();
        char* op = out.data();
        std::size_t il = in.size(), ol = out.size();
        if (::iconv(cd, &ip, &il, &op, &ol) != std::size_t(-1))
            text.assign(out.data(), std::size_t(op - out.data()));
        ::iconv_close(cd);
    }
    if (text.empty() && !raw.empty())
        for (const char c : raw)
            text.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    std::string esc;
    for (const char c : text) {
        switch (c) {
        case '&': esc += "&amp;"; break;
        case '<': esc += "&lt;"; break;
        case '>': esc += "&gt;"; break;
        case '"': esc += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                esc.push_back(c);
        }
    }
    return esc;
}

void AppendEntry(std::string& x, const Mapping& m, const std::string& protocol) {
    std::string order = m.protocol + ":" + std::to_string(m.external);
    if (!m.remoteHost.empty())
        order += "@" + m.remoteHost;
    x += "  <PortForward>\r\n";
    x += "    <Name>" + XmlText(m.name) + "</Name>\r\n";
    x += "    <IP>" + XmlText(m.client) + "</IP>\r\n";
    x += "    <PubPort>" + std::to_string(m.external) + "</PubPort>\r\n";
    x += "    <PriPort>" + std::to_string(m.internal) + "</PriPort>\r\n";
    x += "    <Protocol>" + protocol + "</Protocol>\r\n";
    x += "    <Status>" + (m.enabled ? kValid : kInvalid) + "</Status>\r\n";
    x += "    <OrderId>" + XmlText(order) + "</OrderId>\r\n";
    x += "    <isUpdate>0</isUpdate>\r\n";
    x += "  </PortForward>\r\n";
}

std::string TableXml(const std::string& entries, int count) {
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<PortForwards Count=\"" + std::to_string(count) +
           "\" MaxCount=\"" + std::to_string(kMaxCount) + "\">\r\n" + entries + "</PortForwards>\r\n";
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out.push_back(s[i]);
            continue;
        }
        const std::size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out.push_back(s[i]);
            continue;
        }
        const std::string name = s.substr(i + 1, semi - i - 1);
        if (name == "amp") out.push_back('&');
        else if (name == "lt") out.push_back('<');
        else if (name == "gt") out.push_back('>');
        else if (name == "quot") out.push_back('"');
        else if (name == "apos") out.push_back('\'');
        else if (name.size() > 1 && name[0] == '#') {
            const long v = name[1] == 'x' ? std::strtol(name.c_str() + 2, nullptr, 16) : std::strtol(name.c_str() + 1, nullptr, 10);
            out.push_back(v > 0 && v < 0x80 ? char(v) : '?');
        } else {
            out += "&" + name + ";";
        }
        i = semi;
    }
    return out;
}

// Text of the first <tag>...</tag> inside block; false when there is none.
bool Element(const std::string& block, const std::string& tag, std::string& text) {
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    const std::size_t a = block.find(open);
    if (a == std::string::npos) {
        if (block.find("<" + tag + "/>") != std::string::npos) {
            text.clear();
            return true;
        }
        return false;
    }
    const std::size_t b = block.find(close, a + open.size());
    if (b == std::string::npos)
        return false;
    text = Unescape(block.substr(a + open.size(), b - a - open.size()));
    return true;
}

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool Port(const std::string& text, int& port) {
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::atoi(t.c_str());
    return port >= 1 && port <= 65535;
}

// The table the router shall hold, as single-protocol mappings, and the entries as given
// (protocol texts kept, "TCP+UDP" included) for the answer.
struct Wanted {
    Mapping mapping;
    std::string protocol;  // as given: TCP, UDP or TCP+UDP
};

bool ParseTable(const std::string& xml, std::vector<Wanted>& out) {
    const std::size_t root = xml.find("<PortForwards");
    if (root == std::string::npos)
        return false;
    std::size_t at = root;
    while ((at = xml.find("<PortForward>", at)) != std::string::npos) {
        const std::size_t end = xml.find("</PortForward>", at);
        if (end == std::string::npos)
            return false;
        const std::string block = xml.substr(at, end - at);
        at = end;
        std::string name, ip, pub, pri, protocol, isUpdate, status;
        if (!Element(block, "IP", ip) || !Element(block, "PubPort", pub) || !Element(block, "PriPort", pri) ||
            !Element(block, "Protocol", protocol) || !Element(block, "isUpdate", isUpdate))
            return false;
        Element(block, "Name", name);
        Element(block, "Status", status);
        const std::string upd = Trim(isUpdate);
        if (upd.empty() || upd.find_first_not_of("-0123456789") != std::string::npos)
            return false;
        if (std::atoi(upd.c_str()) >= 3)
            continue;  // marked to be dropped: not part of the table to hold
        Wanted w;
        ip.erase(std::remove(ip.begin(), ip.end(), ' '), ip.end());
        w.mapping.client = ip;
        w.mapping.name = name.substr(0, 79);
        w.mapping.enabled = Trim(status) != kInvalid;
        for (char& c : protocol)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        w.protocol = Trim(protocol);
        if (!IsIPv4(ip) || !Port(pub, w.mapping.external) || !Port(pri, w.mapping.internal))
            return false;
        if (w.protocol != "TCP" && w.protocol != "UDP" && w.protocol != "TCP+UDP")
            return false;
        out.push_back(w);
        if (out.size() > std::size_t(kMaxCount) * 2)
            return false;
    }
    return true;
}

std::vector<Mapping> Expand(const Wanted& w) {
    std::vector<Mapping> out;
    for (const char* p : {"TCP", "UDP"}) {
        if (w.protocol == p || w.protocol == "TCP+UDP") {
            Mapping m = w.mapping;
            m.protocol = p;
            out.push_back(m);
        }
    }
    return out;
}

void Reply(char** buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), kBufferSize - 1);
    std::memcpy(*buffer, text.data(), n);
    (*buffer)[n] = 0;
}

}  // namespace

PLUGIN_EXPORT unsigned char GetPortForward(const char* router, const char*, const char*, char** buffer) {
    if (!router || !buffer || !*buffer)
        return kParameterError;
    if (!IsIPv4(router))
        return kParameterError;
    Igd igd;
    std::vector<Mapping> list;
    if (!igd.Open(router) || !igd.List(list))
        return kReadError;
    std::string entries;
    for (const Mapping& m : list)
        AppendEntry(entries, m, m.protocol);
    Reply(buffer, TableXml(entries, int(list.size())));
    return kOk;
}

PLUGIN_EXPORT unsigned char SetPortForward(const char* router, const char*, const char*, char** buffer) {
    if (!router || !buffer || !*buffer)
        return kParameterError;
    const std::string input(*buffer, ::strnlen(*buffer, kBufferSize));
    std::vector<Wanted> wanted;
    if (!IsIPv4(router) || !ParseTable(input, wanted))
        return kParameterError;
    std::vector<Mapping> target;
    for (const Wanted& w : wanted)
        for (const Mapping& m : Expand(w))
            target.push_back(m);

    Igd igd;
    std::vector<Mapping> current;
    if (!igd.Open(router) || !igd.List(current))
        return kReadError;
    // Deletions first: a replaced mapping frees its public port for the new one.
    for (const Mapping& m : current) {
        const bool keep = std::any_of(target.begin(), target.end(), [&](const Mapping& t) { return SameTarget(t, m); });
        if (!keep)
            igd.Delete(m);
    }
    for (const Mapping& t : target) {
        const bool there = std::any_of(current.begin(), current.end(), [&](const Mapping& m) { return SameTarget(t, m); });
        if (!there)
            igd.Add(t);
    }

    std::vector<Mapping> after;
    if (!igd.List(after))
        return kReadError;
    // The answer: the given entries as the router now has them, in the given order, then
    // whatever else the router holds.
    std::vector<bool> used(after.size(), false);
    const auto take = [&](const Mapping& t, Mapping& found) {
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (!used[i] && SameTarget(after[i], t)) {
                used[i] = true;
                found = after[i];
                return true;
            }
        }
        Mapping m;
        if (igd.Specific(t.external, t.protocol, m) && SameTarget(m, t)) {
            found = m;
            return true;
        }
        return false;
    };
    std::string entries;
    int count = 0;
    for (const Wanted& w : wanted) {
        std::vector<Mapping> present;
        for (const Mapping& t : Expand(w)) {
            Mapping found;
            if (take(t, found))
                present.push_back(found);
        }
        if (w.protocol == "TCP+UDP" && present.size() == 2) {
            Mapping both = present[0];
            both.enabled = present[0].enabled && present[1].enabled;
            AppendEntry(entries, both, "TCP+UDP");
            ++count;
            continue;
        }
        for (const Mapping& m : present) {
            AppendEntry(entries, m, m.protocol);
            ++count;
        }
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (!used[i]) {
            AppendEntry(entries, after[i], after[i].protocol);
            ++count;
        }
    }
    Reply(buffer, TableXml(entries, count));
    return kOk;
}
