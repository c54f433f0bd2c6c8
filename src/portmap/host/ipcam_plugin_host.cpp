// ipcam-plugin-host: loads one router plug-in, makes one call and writes the result to its
// standard output (wire format in PlugInHostWire.h). It runs as a child of the program so
// that a plug-in that crashes or hangs cannot take the program with it; the program kills it
// when it takes too long.

#include "PlugInHostWire.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

namespace wire = plugin_host_wire;

using EntryPoint = unsigned char (*)(const char*, const char*, const char*, char**);

int g_out = -1;  // the real standard output; fd 1 is pointed at stderr for the plug-in

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

[[noreturn]] void Finish(const std::string& header, const char* body, std::size_t len) {
    const bool ok = WriteAll(g_out, header.data(), header.size()) && (len == 0 || WriteAll(g_out, body, len));
    // No dlclose and no exit handlers: a plug-in's destructors are no business of ours.
    ::_exit(ok ? 0 : 3);
}

[[noreturn]] void Fault(const char* reason) { Finish(std::string("FAULT ") + reason + "\n", nullptr, 0); }

[[noreturn]] void Answer(unsigned code, const char* body, std::size_t len) {
    Finish("OK " + std::to_string(code) + " " + std::to_string(len) + "\n", body, len);
}

bool ReadByte(char& c) {
    for (;;) {
        const ssize_t r = ::read(0, &c, 1);
        if (r < 0 && errno == EINTR)
            continue;
        return r == 1;
    }
}

bool ReadLine(std::string& line, std::size_t max) {
    line.clear();
    char c = 0;
    while (ReadByte(c)) {
        if (c == '\n')
            return true;
        if (line.size() >= max)
            return false;
        line.push_back(c);
    }
    return false;
}

bool ReadField(std::string& field) {
    std::string len;
    if (!ReadLine(len, 10) || len.empty())
        return false;
    std::size_t n = 0;
    for (const char c : len) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + std::size_t(c - '0');
    }
    if (n > wire::kMaxField)
        return false;
    field.resize(n);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(0, field.data() + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += std::size_t(r);
    }
    return true;
}

void* Load(const std::string& path) {
    // RTLD_LOCAL: two plug-ins never see each other's symbols; RTLD_NOW: a plug-in with a
    // missing dependency fails here, not in the middle of the call.
    void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* e = ::dlerror();
        std::fprintf(stderr, "ipcam-plugin-host: %s\n", e ? e : "cannot load the plug-in");
        Fault("load");
    }
    return lib;
}

// The plug-in's buffer, zero-filled, directly followed by a page that may not be touched: a
// plug-in that writes past the end crashes on the spot instead of corrupting what follows.
char* GuardedBuffer() {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0)
        Fault("buffer");
    const std::size_t p = std::size_t(page);
    const std::size_t rw = (wire::kBufferSize + p - 1) / p * p;
    void* base = ::mmap(nullptr, rw + p, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        Fault("buffer");
    char* b = static_cast<char*>(base);
    if (::mprotect(b + rw, p, PROT_NONE) != 0)
        Fault("buffer");
    return b + rw - wire::kBufferSize;
}

}  // namespace

int main() {
    g_out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (g_out < 0)
        return 2;
    // Whatever the plug-in prints goes to stderr, never into our answer.
    ::dup2(2, 1);

    std::string magic;
    if (!ReadLine(magic, 64) || magic != wire::kMagic)
        Fault("request");
    std::string op, path, entry, router, user, password, input;
    std::string* fields[wire::kFieldCount] = {&op, &path, &entry, &router, &user, &password, &input};
    for (std::string* f : fields)
        if (!ReadField(*f))
            Fault("request");
    // Texts handed to the plug-in end at their first zero byte, as C texts do.
    for (std::string* f : {&path, &router, &user, &password})
        f->resize(std::strlen(f->c_str()));

    if (op == "version") {
        void* lib = Load(path);
        const char* v = static_cast<const char*>(::dlsym(lib, "PlugInVersion"));
        if (!v)
            Answer(0, nullptr, 0);
        const std::size_t n = ::strnlen(v, wire::kMaxVersion + 1);
        if (n > wire::kMaxVersion)
            Answer(0, nullptr, 0);
        Answer(0, v, n);
    }
    if (op != "call")
        Fault("request");
    if (entry != "GetPortForward" && entry != "SetPortForward")
        Fault("entry");
    if (input.size() >= wire::kBufferSize)
        Fault("input");

    char* buffer = GuardedBuffer();
    std::memcpy(buffer, input.data(), input.size());
    void* lib = Load(path);
    auto fn = reinterpret_cast<EntryPoint>(::dlsym(lib, entry.c_str()));
    if (!fn)
        Fault("entry");
    char* text = buffer;
    const unsigned char code = fn(router.c_str(), user.c_str(), password.c_str(), &text);
    if (!text)
        Fault("reply");
    std::size_t len = 0;
    if (text == buffer) {
        const void* zero = std::memchr(buffer, 0, wire::kBufferSize);
        if (!zero)
            Fault("unterminated");
        len = std::size_t(static_cast<const char*>(zero) - buffer);
    } else {
        // A text of the plug-in's own: read no further than a buffer's length.
        len = ::strnlen(text, wire::kBufferSize);
        if (len >= wire::kBufferSize)
            Fault("unterminated");
    }
    Answer(code, text, len);
}
