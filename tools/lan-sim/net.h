// Sockets and the event loop around the Simulator.
#pragma once

#include <string>

#include "sim.h"

namespace lansim {

struct NetOptions {
  std::string controlPath;  // UNIX stream socket for run-time commands; empty: none
  std::string interface;    // device for the broadcast answers; empty: the only one that is up
  bool verbose = false;
};

// Binds the search ports and runs until "quit" or SIGINT/SIGTERM/SIGHUP.
// Returns the process exit code.
int runNetwork(Simulator &sim, const NetOptions &opt);

// Client side of the control socket: sends one command line, prints the
// answer; 0 when the answer ends in "ok".
int runControlClient(const std::string &path, const std::string &command);

}  // namespace lansim
