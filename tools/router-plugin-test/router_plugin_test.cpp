// A router plug-in for tests. It keeps a simulated router's port table in a file and answers
// whatever a test asks for, faults included. Everything it does is steered by files in the
// folder named by the environment variable ROUTER_PLUGIN_TEST_DIR (see README.md):
//   table.xml     the router's table (port-mapping XML); an empty table when missing
//   control.ini   key=value lines: get=, set= (ok, code:N, crash, hang, overflow, noterm, own,
//                 null, empty, garbage, chatter), set_reply= (apply, extra_end, extra_begin, unchanged),
//                 user=, password=, router= (expected values: codes 1, 1 and 2 otherwise)
//   calls.log     one line per call, written when the call starts
//   last_set.xml  the input of the last SetPortForward

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

#ifdef TEST_PLUGIN_VERSION
PLUGIN_EXPORT const char PlugInVersion[] = TEST_PLUGIN_VERSION;
#endif

namespace {

constexpr std::size_t kBufferSize = 102400;
// "有效" in GB2312.
const std::string kValid = "\xD3\xD0\xD0\xA7";

std::string Dir() {
    const char* d = std::getenv("ROUTER_PLUGIN_TEST_DIR");
    return d ? std::string(d) + "/" : std::string("./");
}

std::string ReadFile(const std::string& path, bool* exists = nullptr) {
    std::ifstream f(path, std::ios::binary);
    if (exists)
        *exists = bool(f);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << text;
    }
    std::rename(tmp.c_str(), path.c_str());
}

std::map<std::string, std::string> Control() {
    std::map<std::string, std::string> c;
    std::istringstream in(ReadFile(Dir() + "control.ini"));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            c[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return c;
}

std::string Table() {
    bool exists = false;
    std::string t = ReadFile(Dir() + "table.xml", &exists);
    if (!exists)
        t = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<PortForwards Count=\"0\" MaxCount=\"32\"/>\r\n";
    return t;
}

void Replace(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// Count attribute of the root, changed by delta.
void AdjustCount(std::string& xml, int delta) {
    const std::string key = "Count=\"";
    const auto root = xml.find("<PortForwards");
    if (root == std::string::npos)
        return;
    const auto at = xml.find(key, root);
    if (at == std::string::npos)
        return;
    const auto start = at + key.size();
    const auto end = xml.find('"', start);
    const int n = std::atoi(xml.substr(start, end - start).c_str()) + delta;
    xml.replace(start, end - start, std::to_string(n));
}

const std::string kExtra =
    "<PortForward><Name>other</Name><IP>192.168.1.99</IP><PubPort>9999</PubPort><PriPort>9999</PriPort>"
    "<Protocol>TCP</Protocol><Status>" + kValid + "</Status><OrderId>x9</OrderId><isUpdate>0</isUpdate></PortForward>";

void AddExtra(std::string& xml, bool atEnd) {
    if (atEnd) {
        const auto at = xml.rfind("</PortForwards>");
        if (at == std::string::npos)
            return;
        xml.insert(at, kExtra);
    } else {
        const auto root = xml.find("<PortForwards");
        const auto close = root == std::string::npos ? root : xml.find('>', root);
        if (close == std::string::npos)
            return;
        xml.insert(close + 1, kExtra);
    }
    AdjustCount(xml, 1);
}

void Log(const char* entry, const char* router, const char* user, const char* password) {
    std::ofstream f(Dir() + "calls.log", std::ios::binary | std::ios::app);
    f << entry << " router=" << router << " user=" << user << " password=" << password << "\n";
}

void Put(char** buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), kBufferSize - 1);
    std::memcpy(*buffer, text.data(), n);
    (*buffer)[n] = 0;
}

// Behaviours shared by both entry points; true when the call is already answered.
bool Fault(const std::string& mode, char** buffer, unsigned char& code) {
    if (mode.rfind("code:", 0) == 0) {
        code = static_cast<unsigned char>(std::atoi(mode.c_str() + 5));
        Put(buffer, "");
        return true;
    }
    if (mode == "crash") {
        std::raise(SIGSEGV);
        std::abort();
    }
    if (mode == "hang") {
        for (;;)
            ::pause();
    }
    if (mode == "overflow") {
        std::memset(*buffer, 'A', kBufferSize + 4096);  // runs past the end of the buffer
        code = 0;
        return true;
    }
    if (mode == "noterm") {
        std::memset(*buffer, 'A', kBufferSize);
        code = 0;
        return true;
    }
    if (mode == "null") {
        *buffer = nullptr;
        code = 0;
        return true;
    }
    if (mode == "empty") {
        Put(buffer, "");
        code = 0;
        return true;
    }
    if (mode == "chatter") {
        // Talks on its standard output, then answers normally.
        std::printf("OK 0 5\nhello");
        std::fflush(stdout);
        return false;
    }
    if (mode == "garbage") {
        Put(buffer, "this is not XML <<<");
        code = 0;
        return true;
    }
    return false;
}

unsigned char Login(const std::map<std::string, std::string>& c, const char* router, const char* user,
                    const char* password) {
    const auto want = [&](const char* key, const char* got) {
        const auto it = c.find(key);
        return it == c.end() || it->second == got;
    };
    if (!want("router", router))
        return 2;
    if (!want("user", user) || !want("password", password))
        return 1;
    return 0;
}

std::string g_own;  // text of our own for mode "own"; lives as long as the plug-in

}  // namespace

PLUGIN_EXPORT unsigned char GetPortForward(const char* router, const char* user, const char* password, char** buffer) {
    Log("GetPortForward", router, user, password);
    const auto c = Control();
    const std::string mode = c.count("get") ? c.at("get") : "ok";
    unsigned char code = 0;
    if (Fault(mode, buffer, code))
        return code;
    if (const unsigned char login = Login(c, router, user, password))
        return login;
    if (mode == "own") {
        g_own = Table();
        *buffer = g_own.data();
        return 0;
    }
    Put(buffer, Table());
    return 0;
}

PLUGIN_EXPORT unsigned char SetPortForward(const char* router, const char* user, const char* password, char** buffer) {
    Log("SetPortForward", router, user, password);
    const std::string input(*buffer);
    WriteFile(Dir() + "last_set.xml", input);
    const auto c = Control();
    const std::string mode = c.count("set") ? c.at("set") : "ok";
    unsigned char code = 0;
    if (Fault(mode, buffer, code))
        return code;
    if (const unsigned char login = Login(c, router, user, password))
        return login;
    const std::string reply = c.count("set_reply") ? c.at("set_reply") : "apply";
    std::string table = Table();
    if (reply != "unchanged") {
        // The router now holds what it was given; added entries are ordinary ones from now on.
        table = input;
        Replace(table, "<isUpdate>1</isUpdate>", "<isUpdate>0</isUpdate>");
        WriteFile(Dir() + "table.xml", table);
    }
    std::string answer = table;
    if (reply == "extra_end")
        AddExtra(answer, true);
    else if (reply == "extra_begin")
        AddExtra(answer, false);
    if (mode == "own") {
        g_own = answer;
        *buffer = g_own.data();
        return 0;
    }
    Put(buffer, answer);
    return 0;
}
