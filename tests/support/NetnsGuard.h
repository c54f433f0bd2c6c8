#pragma once
// Every test, benchmark and simulator that can send beyond loopback calls this before it opens
// a socket: started in the machine's own network namespace (from an IDE, by hand, with a test
// filter) it would broadcast on the real LAN, so it refuses instead. Header-only, so that the
// simulators, which share no code with the program, can use it too.

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace netns_guard {

// Exit status of a binary that refused to run: distinct from test failures and usage errors.
inline constexpr int kRefusedExitCode = 77;

// The parent process id from /proc/PID/status; 0 when it cannot be read.
inline long ParentOf(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/status", pid);
    FILE* f = std::fopen(path, "r");
    if (!f)
        return 0;
    char line[256];
    long ppid = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "PPid: %ld", &ppid) == 1)
            break;
    }
    std::fclose(f);
    return ppid;
}

// True when this process shares the network namespace of process 1 (the machine's own one).
// Where process 1's namespace cannot be read (a sandbox that hides it), a namespace that some
// ancestor of ours does not share was made for us (unshare -n, ip netns exec); one that every
// readable ancestor shares counts as the machine's own. Refusing is the safe side throughout.
inline bool InInitialNetworkNamespace()
{
    struct stat self {}, init {};
    if (stat("/proc/self/ns/net", &self) != 0)
        return true;
    if (stat("/proc/1/ns/net", &init) == 0)
        return self.st_dev == init.st_dev && self.st_ino == init.st_ino;
    for (long pid = ParentOf(getpid()), depth = 0; pid > 1 && depth < 64; pid = ParentOf(pid), ++depth) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/ns/net", pid);
        struct stat other {};
        if (stat(path, &other) != 0)
            return true;
        if (other.st_dev != self.st_dev || other.st_ino != self.st_ino)
            return false;
    }
    return true;
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
