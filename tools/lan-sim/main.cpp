// lan-sim: simulated IP cameras of families 2, 4, 5, 8, 9 and 10 (ONVIF) for tests and demos.
// Run it only inside a network namespace (scripts/simlan builds one).
#include <cstdio>
#include <cstring>
#include <string>

#include "NetnsGuard.h"
#include "config.h"
#include "net.h"
#include "sim.h"

namespace {

void usage(FILE *f) {
  std::fputs(
      "usage: lan-sim --config FILE [--control SOCKET] [--interface IF] [--verbose]\n"
      "       lan-sim --check FILE          check a configuration and list its cameras\n"
      "       lan-sim --ctl SOCKET COMMAND  send one command to a running lan-sim\n"
      "\n"
      "Commands: stop WHO, start WHO, restart WHO [MS], reset [WHO], list [WHO],\n"
      "          show [WHO], uploads [WHO], stats, ping, quit\n"
      "          (WHO: camera id, MAC, IP address, family:N or all)\n"
      "See tools/lan-sim/README.md for the configuration format.\n",
      f);
}

}  // namespace

int main(int argc, char **argv) {
  std::string config, check, ctl;
  lansim::NetOptions opt;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string &dst) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lan-sim: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      dst = argv[++i];
    };
    if (a == "--config") value(config);
    else if (a == "--check") value(check);
    else if (a == "--control") value(opt.controlPath);
    else if (a == "--interface") value(opt.interface);
    else if (a == "--verbose" || a == "-v") opt.verbose = true;
    else if (a == "--ctl") {
      value(ctl);
      for (++i; i < argc; ++i) command += (command.empty() ? "" : " ") + std::string(argv[i]);
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "lan-sim: unknown argument %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }

  if (!ctl.empty()) {
    if (command.empty()) {
      std::fputs("lan-sim: --ctl needs a command\n", stderr);
      return 2;
    }
    return lansim::runControlClient(ctl, command);
  }

  const std::string &path = check.empty() ? config : check;
  if (path.empty()) {
    usage(stderr);
    return 2;
  }
  lansim::SimConfig cfg;
  std::vector<std::string> errors;
  if (!lansim::loadConfig(path, cfg, errors)) {
    for (const auto &e : errors) std::fprintf(stderr, "%s:%s\n", path.c_str(), e.c_str());
    return 2;
  }
  lansim::Simulator sim(std::move(cfg));
  if (!check.empty()) {
    bool quit = false;
    std::fputs(sim.control("list", quit).c_str(), stdout);
    return 0;
  }
  // The cameras answer broadcasts: never on the machine's own network.
  netns_guard::RequirePrivateNetworkNamespace("lan-sim");
  return lansim::runNetwork(sim, opt);
}
