// The simulated cameras without any socket: datagrams in, datagrams out.
// The network layer (net.cpp) feeds it and sends what it returns, so the
// behaviour can be tested and fuzzed without a network.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "camera.h"
#include "config.h"

namespace lansim {

struct Incoming {
  std::uint16_t localPort = 0;  // the search port it arrived on
  Ipv4 src{};
  std::uint16_t srcPort = 0;
  ByteView data;
};

struct Outgoing {
  std::size_t camera = 0;       // index, so that a camera stopped meanwhile stays silent
  std::uint16_t localPort = 0;  // sent from this port of the camera...
  Ipv4 src{};                   // ...and from the camera's own address
  Ipv4 dst{};
  std::uint16_t dstPort = 0;
  int delayMs = 0;
  std::shared_ptr<const Bytes> data;
};

struct Stats {
  std::uint64_t received = 0, ignored = 0, requests = 0, replies = 0;
  std::uint64_t moiSearches = 0, ctpSearches = 0, bin8Searches = 0, bin8FollowUps = 0;
};

class Simulator {
 public:
  explicit Simulator(SimConfig cfg);

  // Appends the replies to one received datagram.
  void onDatagram(const Incoming &in, std::vector<Outgoing> &out);

  // One control command line; returns the answer (data lines, then a final
  // "ok ..." or "error ..." line, each ending in "\n"). quit is set by "quit".
  std::string control(std::string_view line, bool &quit);

  bool running(std::size_t camera) const { return camera < cams_.size() && cams_[camera].running; }
  std::size_t size() const { return cams_.size(); }
  const CameraDef &camera(std::size_t i) const { return cams_[i].def; }
  const SimConfig &config() const { return cfg_; }
  const Stats &stats() const { return stats_; }

  // Receives a line per ignored datagram and per answered request.
  std::function<void(const std::string &)> log;

 private:
  struct Camera {
    CameraDef def;
    std::shared_ptr<const CameraReplies> replies;
    bool running = true;
  };

  void answerSearch(const Incoming &in, const std::vector<std::size_t> &who,
                    const Bytes CameraReplies::*which, std::vector<Outgoing> &out);
  void answerBin8FollowUp(const Incoming &in, Request kind, std::vector<Outgoing> &out);
  Outgoing reply(const Incoming &in, std::size_t cam, const Bytes CameraReplies::*which, int extraDelay) const;
  void ignore(const Incoming &in, const char *why);
  std::vector<std::size_t> match(std::string_view who) const;

  SimConfig cfg_;
  std::vector<Camera> cams_;
  std::vector<std::size_t> moi_, ctp_, bin8_;
  std::unordered_map<std::uint64_t, std::size_t> bin8ByMac_;
  std::unordered_set<std::uint32_t> ownAddresses_;
  Stats stats_;
};

}  // namespace lansim
