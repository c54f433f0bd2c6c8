// ddns-check: a stand-in for the dynamic-DNS provider's check service (getremote, checkauth,
// checkurl on HTTP port 808) for tests and demos. Shares no code with the program.
// Run it only inside a network namespace (scripts/simlan starts it where its config asks).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "NetnsGuard.h"
#include "net.h"
#include "service.h"

namespace {

void Usage(FILE* f)
{
    std::fputs(
        "usage: ddns-check --config FILE [--shared-config] [--control SOCKET] [--verbose]\n"
        "       ddns-check --check FILE [--shared-config]   check a configuration\n"
        "       ddns-check --ctl SOCKET COMMAND...           send one control command\n"
        "\n"
        "--shared-config: the file is a simlan configuration; sections that do not start\n"
        "with \"ddns\" belong to lan-sim and are skipped.\n"
        "Commands: set, account, remove, mode, log [clear], count, show, reset, ping, quit, help\n"
        "See tools/ddns-check/README.md.\n",
        f);
}

}  // namespace

int main(int argc, char** argv)
{
    // It serves and fetches over the network: never in the machine's own network namespace.
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    std::string config, check, ctl, command;
    bool shared = false;
    ddnscheck::Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& dst) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ddns-check: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            dst = argv[++i];
        };
        if (a == "--config") value(config);
        else if (a == "--check") value(check);
        else if (a == "--shared-config") shared = true;
        else if (a == "--control") value(opt.controlPath);
        else if (a == "--verbose" || a == "-v") opt.verbose = true;
        else if (a == "--ctl") {
            value(ctl);
            for (++i; i < argc; ++i)
                command += (command.empty() ? "" : " ") + std::string(argv[i]);
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "ddns-check: unknown argument %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!ctl.empty()) {
        if (command.empty()) {
            std::fputs("ddns-check: --ctl needs a command\n", stderr);
            return 2;
        }
        return ddnscheck::RunControlClient(ctl, command);
    }
    const std::string& path = check.empty() ? config : check;
    if (path.empty()) {
        Usage(stderr);
        return 2;
    }
    ddnscheck::Config cfg;
    std::vector<std::string> errors;
    if (!ddnscheck::LoadConfig(path, shared, cfg, errors)) {
        for (const auto& e : errors)
            std::fprintf(stderr, "%s:%s\n", path.c_str(), e.c_str());
        return 2;
    }
    ddnscheck::Service service(std::move(cfg));
    if (!check.empty()) {
        bool quit = false;
        std::fputs(service.Control("show", quit).c_str(), stdout);
        return 0;
    }
    return ddnscheck::RunService(service, opt);
}
