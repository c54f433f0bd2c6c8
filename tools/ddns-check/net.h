#pragma once
#include <string>

#include "service.h"

namespace ddnscheck {

struct Options {
    std::string controlPath;
    bool verbose = false;
};

// Serves until SIGINT, SIGTERM, SIGHUP or the control command "quit".
int RunService(Service& service, const Options& opt);
// Sends one command to a running service and prints its answer; 0 for "ok", 1 for "error".
int RunControlClient(const std::string& path, const std::string& command);

}  // namespace ddnscheck
