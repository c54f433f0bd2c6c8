// The simulated cameras without any socket: datagrams in, datagrams out;
// TCP byte streams in, byte streams out. The network layer (net.cpp) feeds
// it, sends what it returns and keeps its listeners where endpoints() says,
// so the behaviour can be tested and fuzzed without a network.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "camera.h"
#include "config.h"
#include "md5.h"
#include "proto.h"
#include "settings.h"

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
  std::uint64_t epoch = 0;      // the camera's epoch when it was made
  bool final = false;           // the answer to a change: sent even though the camera changed since
};

struct Stats {
  std::uint64_t received = 0, ignored = 0, requests = 0, replies = 0;
  std::uint64_t moiSearches = 0, ctpSearches = 0, bin8Searches = 0, bin8FollowUps = 0;
  std::uint64_t t9Searches = 0, dvsSearches = 0, wsdProbes = 0, onvifRequests = 0;
  std::uint64_t settingsApplied = 0, settingsRefused = 0, restarts = 0;
  std::uint64_t tcpSessions = 0, ctpCommands = 0, httpRequests = 0;
  std::uint64_t moves = 0, mutated = 0;
};

enum class TcpKind { Web, Ctp };

// A TCP port a camera serves.
struct Endpoint {
  Ipv4 ip{};
  std::uint16_t port = 0;
  std::size_t camera = 0;
  TcpKind kind = TcpKind::Web;
  bool operator==(const Endpoint &) const = default;
};

// A firmware file a camera took.
struct UploadRecord {
  std::string page;      // CGI page, or "ctp" for the package upload
  std::string fileName;
  std::size_t size = 0;
  std::string detail;    // part content type; for "ctp" the files and commands
  bool accepted = false;
};

class Simulator {
 public:
  explicit Simulator(SimConfig cfg);

  // Moves the clock (milliseconds, monotonic); restarts end here.
  void tick(std::int64_t nowMs);
  // The next time tick() has something to do, or -1.
  std::int64_t nextWakeMs() const;

  // Appends the replies to one received datagram.
  void onDatagram(const Incoming &in, std::vector<Outgoing> &out);

  // One control command line; returns the answer (data lines, then a final
  // "ok ..." or "error ..." line, each ending in "\n"). quit is set by "quit".
  std::string control(std::string_view line, bool &quit);

  // TCP. generation() changes whenever endpoints() may have changed or a
  // session may have lost its camera.
  std::uint64_t generation() const { return generation_; }
  std::vector<Endpoint> endpoints() const;
  std::uint64_t openSession(const Endpoint &at);
  // Feeds received bytes and appends the answer to out. Returns false when
  // the connection is to be closed once out has been sent.
  bool sessionInput(std::uint64_t id, ByteView data, std::string &out);
  // The answers to the input so far have gone out: time for work that can wait, so that it
  // does not delay them (the digest of upload data).
  void sessionIdle(std::uint64_t id);
  // The peer has closed, or the connection broke.
  void sessionClosed(std::uint64_t id);
  // The camera of the session still answers at the address it was opened at.
  bool sessionCurrent(std::uint64_t id) const;

  // Answers at all: started, and not in a restart.
  bool answering(std::size_t camera) const {
    return camera < cams_.size() && cams_[camera].running && !cams_[camera].down;
  }
  bool running(std::size_t camera) const { return camera < cams_.size() && cams_[camera].running; }
  bool deliverable(const Outgoing &o) const;
  std::size_t size() const { return cams_.size(); }
  const CameraDef &camera(std::size_t i) const { return cams_[i].def; }
  const SimConfig &config() const { return cfg_; }
  const Stats &stats() const { return stats_; }

  // Receives a line per ignored datagram and per answered request.
  std::function<void(const std::string &)> log;
  // The true time, milliseconds since 1970 (UTC): the ONVIF cameras' clocks
  // run from it with their offsets. Tests set their own.
  std::function<std::int64_t()> wallClockMs;

 private:
  struct Camera {
    CameraDef def;  // the present values; cfg_.cameras keeps the configured ones
    std::shared_ptr<const CameraReplies> replies;
    bool running = true;
    bool down = false;           // in a restart...
    std::int64_t downUntil = 0;  // ...until then
    std::optional<CameraDef> pending;  // values that the end of the restart brings
    std::uint64_t epoch = 0;     // counts moves and restarts
    std::int64_t uploadModeUntil = 0;  // family 5 after "exit": the next connection uploads
    std::vector<UploadRecord> uploads;
    std::uint64_t changes = 0, restarts = 0;
    int mutatePercent = 0;       // this share of its answers goes out damaged
  };

  struct UploadState {
    bool greeted = false, failed = false;
    std::string file;
    std::size_t fileSize = 0, fileGot = 0;
    bool awaitingDigest = false;
    Md5 md5;
    std::string unhashed;  // data taken and acknowledged, not yet in md5
    std::string summary;
    std::size_t files = 0, bytes = 0, commands = 0;
  };

  struct Session {
    std::size_t camera = 0;
    std::uint64_t epoch = 0;
    TcpKind kind = TcpKind::Web;
    Ipv4 ip{};
    std::uint16_t port = 0;
    bool sniffed = false, http = false, upload = false, loggedIn = false;
    std::string in;
    HttpParser parser;
    bool continueSent = false;
    UploadState up;
  };

  void onDatagramHere(const Incoming &in, std::vector<Outgoing> &out);
  void answerSearch(const Incoming &in, const std::vector<std::size_t> &who,
                    const Bytes CameraReplies::*which, std::vector<Outgoing> &out);
  void answerBin8FollowUp(const Incoming &in, Request kind, std::vector<Outgoing> &out);
  void answerDvsSearch(const Incoming &in, std::vector<Outgoing> &out);
  void answerWsdProbe(const Incoming &in, std::vector<Outgoing> &out);
  void settingsCommand(const Incoming &in, Request kind, std::vector<Outgoing> &out);
  Outgoing reply(const Incoming &in, std::size_t cam, const Bytes CameraReplies::*which, int extraDelay) const;
  Outgoing replyWith(const Incoming &in, std::size_t cam, Bytes data) const;
  void ignore(const Incoming &in, const char *why);
  void note(const std::string &line) const { if (log) log(line); }
  std::vector<std::size_t> match(std::string_view who) const;

  // Camera state.
  void rebuild(std::size_t cam);
  void changed(std::size_t cam);  // its address, ports or presence changed
  CameraDef changedDef(std::size_t cam, const NetChange &c) const;
  void commit(std::size_t cam, CameraDef def);  // new values, at once or by a restart
  void restart(std::size_t cam, int ms);
  void reset(std::size_t cam);
  void move(std::size_t cam, const Ipv4 &ip);  // a new address at once, as a DHCP server could give

  // Damaged answers: of the cameras with a mutate share, that share of answers (datagrams from
  // out[from] on, TCP output from byte from on) is mutated.
  bool mutateNow(std::size_t cam);
  void mutateBytes(std::string &bytes, std::size_t from, std::size_t maxSize);
  void mutateDatagrams(std::vector<Outgoing> &out, std::size_t from);
  std::string show(std::size_t cam) const;

  // TCP dialects.
  bool sessionDispatch(Session &s, ByteView data, std::string &out);
  bool ctpInput(Session &s, std::string &out);
  bool uploadInput(Session &s, std::string &out);
  void finishUpload(Session &s);
  bool httpInput(Session &s, ByteView data, std::string &out);
  std::string ctpCommand(Session &s, const CtpRequest &req, bool &close);
  void cgiPage(Session &s, HttpRequest &req, int &status, std::string &body, std::string &extraHeaders,
               bool &restartAfter);
  // Family 10: the web page and the ONVIF device service. after runs once the
  // answer is queued (a move or a restart).
  void onvifPage(Session &s, HttpRequest &req, int &status, std::string &body, std::string &contentType,
                 std::string &extraHeaders, std::function<void()> &after);
  std::string onvifCall(std::size_t cam, const std::string &soap, int &status, std::function<void()> &after);

  SimConfig cfg_;
  std::vector<Camera> cams_;
  std::vector<std::size_t> moi_, ctp_, bin8_, t9_, dvs_, onvif_;
  std::unordered_map<std::uint64_t, std::size_t> bin8ByMac_, t9ByMac_, dvsByMac_;
  std::unordered_map<std::uint32_t, int> ownAddresses_;
  std::unordered_map<std::uint64_t, Session> sessions_;
  std::vector<std::size_t> down_;  // cameras in a restart
  std::uint64_t nextSession_ = 1;
  std::uint64_t generation_ = 1;
  std::int64_t now_ = 0;
  Stats stats_;
  std::mt19937_64 rng_{1};
};

}  // namespace lansim
