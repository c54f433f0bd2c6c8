// The lan-sim configuration file: an INI text with one [sim] section, any
// number of [camera ID] sections and [cameras PREFIX] generators. README.md
// describes every key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "camera.h"

namespace lansim {

enum class ReplyMode { Broadcast, Unicast };

struct SimConfig {
  bool strict = true;  // answer only byte-exact requests
  int spreadMs = 0;    // spread the answers to one search over this many ms
  ReplyMode reply = ReplyMode::Broadcast;
  bool tcp = true;     // TCP servers: CTP of family 5, CGI pages of families 2, 8 and 9
  std::vector<CameraDef> cameras;
  std::vector<bool> startStopped;  // parallel to cameras
};

inline constexpr std::size_t kMaxCameras = 65536;

// Parses and checks the whole text; on failure returns false and fills
// errors with "LINE: message" entries (line 0 for whole-file problems).
bool parseConfig(std::string_view text, SimConfig &out, std::vector<std::string> &errors);
bool loadConfig(const std::string &path, SimConfig &out, std::vector<std::string> &errors);

}  // namespace lansim
