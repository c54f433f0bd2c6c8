#pragma once
// Every test, benchmark and simulator that can send beyond loopback calls this before it opens
// a socket: started in the machine's own network namespace (from an IDE, by hand, with a test
// filter) it would broadcast on the real LAN, so it refuses instead. Header-only, so that the
// simulators, which share no code with the program, can use it too.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace netns_guard {

// Exit status of a binary that refused to run: distinct from test failures and usage errors.
inline constexpr int kRefusedExitCode = 77;

inline bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Parent of pid from /proc/PID/stat ("pid (comm) state ppid ..."; comm may hold ")"); 0 if none.
inline long ParentOf(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE* f = std::fopen(path, "r");
    if (!f)
        return 0;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* close = std::strrchr(buf, ')');
    long ppid = 0;
    if (!close || std::sscanf(close + 1, " %*c %ld", &ppid) != 1)
        return 0;
    return ppid;
}

// True when this process shares the network namespace of process 1 (the machine's own one).
// Where process 1 is closed to us (a sandbox without the right to inspect it), the outermost
// ancestor whose namespace can be read stands for the machine's: a process in a namespace of
// its own differs from it. A namespace that cannot be compared counts as the machine's own:
// refusing is the safe side.
inline bool InInitialNetworkNamespace()
{
    struct stat self {}, ref {};
    if (stat("/proc/self/ns/net", &self) != 0)
        return true;
    if (stat("/proc/1/ns/net", &ref) == 0)
        return SameFile(self, ref);
    bool found = false;
    long pid = ParentOf(getpid());
    for (int depth = 0; pid > 1 && depth < 256; ++depth) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/ns/net", pid);
        struct stat st {};
        if (stat(path, &st) == 0) {
            ref = st;
            found = true;
        }
        pid = ParentOf(pid);
    }
    return !found || SameFile(self, ref);
}

// Ends the process with a clear message when it runs in the machine's own network namespace.
inline void RequirePrivateNetworkNamespace(const char* program)
{
    if (!InInitialNetworkNamespace())
        return;
    std::fprintf(stderr,
                 "%s: refusing to run in the machine's own network namespace: it sends datagrams "
                 "that must not reach the real network.\n"
                 "Run it inside a private namespace, e.g. scripts/netns-run %s (or through ctest "
                 "or scripts/simlan).\n",
                 program ? program : "this program", program ? program : "PROGRAM");
    std::exit(kRefusedExitCode);
}

}  // namespace netns_guard
