#pragma once
// Every test, benchmark and simulator that can send beyond loopback calls this before it opens
// a socket: started in the machine's own network namespace (from an IDE, by hand, with a test
// filter) it would broadcast on the real LAN, so it refuses instead. Header-only, so that the
// simulators, which share no code with the program, can use it too.

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace netns_guard {

// Exit status of a binary that refused to run: distinct from test failures and usage errors.
inline constexpr int kRefusedExitCode = 77;

// True when this process shares the network namespace of process 1 (the machine's own one).
// A namespace that cannot be compared counts as the machine's own: refusing is the safe side.
// Where process 1 cannot be looked at (a container whose init belongs to someone else), the
// launchers of this project (scripts/netns-run, the netns tests) leave a mark: they set
// IPCAM_PRIVATE_NETNS to the inode of the namespace they have just created. The mark counts only
// in that very namespace, so it cannot carry over into the machine's own.
inline bool InInitialNetworkNamespace()
{
    struct stat self {}, init {};
    if (stat("/proc/self/ns/net", &self) != 0)
        return true;
    if (stat("/proc/1/ns/net", &init) == 0)
        return self.st_dev == init.st_dev && self.st_ino == init.st_ino;
    const char* mark = std::getenv("IPCAM_PRIVATE_NETNS");
    if (!mark || !*mark)
        return true;
    char* end = nullptr;
    const unsigned long long ino = std::strtoull(mark, &end, 10);
    return *end != '\0' || ino != static_cast<unsigned long long>(self.st_ino);
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
