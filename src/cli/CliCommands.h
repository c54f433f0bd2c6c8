#pragma once
// The subcommands of the ipcam tool, one file each; ipcam_main.cpp lists them.

#include "CliSupport.h"

namespace Cli {

extern const TCliCommand kScanCommand;
extern const TCliCommand kSetCommand;
extern const TCliCommand kRestartCommand;
extern const TCliCommand kUpgradeCommand;

}  // namespace Cli
