#pragma once
// Every test, benchmark and simulator that can send beyond loopback calls this before it opens
// a socket: started in the machine's own network namespace (from an IDE, by hand, with a test
// filter) it would broadcast on the real LAN, so it refuses instead. Header-only, so that the
// simulators, which share no code with the program, can use it too.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace netns_guard {

// Exit status of a binary that refused to run: distinct from test failures and usage errors.
inline constexpr int kRefusedExitCode = 77;

// The kernel's thread creator: like process 1 it lives in the machine's own namespaces, and
// its namespace links stay readable where a protected init process hides those of process 1.
inline bool IsKthreadd(const char* pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/comm", pid);
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return false;
    char comm[32] = {};
    const bool read = std::fgets(comm, sizeof comm, f) != nullptr;
    std::fclose(f);
    return read && std::strcmp(comm, "kthreadd\n") == 0;
}

// True when this process shares the network namespace of process 1 (the machine's own one),
// or of kthreadd when process 1's cannot be read. A namespace that cannot be compared counts
// as the machine's own: refusing is the safe side.
inline bool InInitialNetworkNamespace()
{
    struct stat self {}, init {};
    if (stat("/proc/self/ns/net", &self) != 0)
        return true;
    if (stat("/proc/1/ns/net", &init) != 0 && !(IsKthreadd("2") && stat("/proc/2/ns/net", &init) == 0))
        return true;
    return self.st_dev == init.st_dev && self.st_ino == init.st_ino;
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
