#include "sim.h"

#include <algorithm>
#include <cctype>

namespace lansim {

namespace {

std::uint64_t macKey(const std::uint8_t *p) {
  std::uint64_t k = 0;
  for (int i = 0; i < 6; ++i) k = (k << 8) | p[i];
  return k;
}

std::string normalMac(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ':' && c != '-') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

Simulator::Simulator(SimConfig cfg) : cfg_(std::move(cfg)) {
  cams_.reserve(cfg_.cameras.size());
  for (std::size_t i = 0; i < cfg_.cameras.size(); ++i) {
    Camera c;
    c.def = cfg_.cameras[i];
    c.replies = std::make_shared<const CameraReplies>(buildReplies(c.def));
    c.running = i >= cfg_.startStopped.size() || !cfg_.startStopped[i];
    ownAddresses_.insert(ipv4ToHost(c.def.ip));
    switch (c.def.family) {
      case 2: moi_.push_back(i); break;
      case 5: ctp_.push_back(i); break;
      case 8:
        bin8_.push_back(i);
        bin8ByMac_[macKey(c.replies->mac6.data())] = i;
        break;
    }
    cams_.push_back(std::move(c));
  }
}

void Simulator::ignore(const Incoming &in, const char *why) {
  ++stats_.ignored;
  if (log)
    log("ignored " + std::to_string(in.data.size()) + " bytes on port " + std::to_string(in.localPort) + " from " +
        ipv4Text(in.src) + ":" + std::to_string(in.srcPort) + ": " + why);
}

Outgoing Simulator::reply(const Incoming &in, std::size_t cam, const Bytes CameraReplies::*which,
                          int extraDelay) const {
  const Camera &c = cams_[cam];
  Outgoing o;
  o.camera = cam;
  o.localPort = in.localPort;
  o.src = c.def.ip;
  // Cameras answer by limited broadcast so that a PC in another subnet hears
  // them; the answer goes to the port the request came from.
  o.dst = cfg_.reply == ReplyMode::Broadcast ? Ipv4{255, 255, 255, 255} : in.src;
  o.dstPort = in.srcPort;
  o.delayMs = c.def.delayMs + extraDelay;
  o.data = std::shared_ptr<const Bytes>(c.replies, &(c.replies.get()->*which));
  return o;
}

void Simulator::answerSearch(const Incoming &in, const std::vector<std::size_t> &who,
                             const Bytes CameraReplies::*which, std::vector<Outgoing> &out) {
  std::size_t running = 0;
  for (std::size_t i : who) running += cams_[i].running ? 1 : 0;
  std::size_t k = 0;
  for (std::size_t i : who) {
    if (!cams_[i].running) continue;
    const int spread = running ? static_cast<int>(static_cast<long long>(cfg_.spreadMs) * static_cast<long long>(k) /
                                                  static_cast<long long>(running))
                               : 0;
    out.push_back(reply(in, i, which, spread));
    ++k;
  }
  stats_.replies += k;
  if (log)
    log("search on port " + std::to_string(in.localPort) + " from " + ipv4Text(in.src) + ":" +
        std::to_string(in.srcPort) + ": " + std::to_string(k) + " cameras answer");
}

void Simulator::answerBin8FollowUp(const Incoming &in, Request kind, std::vector<Outgoing> &out) {
  // The request carries the camera's own network block back: its MAC says
  // which camera is meant, header word 4 must be that camera's.
  auto it = bin8ByMac_.find(macKey(in.data.data() + bin8::kHeader + 88));
  if (it == bin8ByMac_.end()) return ignore(in, "family-8 request for a MAC not simulated");
  const Camera &c = cams_[it->second];
  if (!c.running) return ignore(in, "family-8 request for a stopped camera");
  if (cfg_.strict) {
    if (le16(in.data, 4) != c.def.session) return ignore(in, "family-8 request with another session word");
    const Bytes &block = c.replies->bin8Block;
    if (!std::equal(block.begin(), block.end(), in.data.begin() + bin8::kHeader))
      return ignore(in, "family-8 request whose block differs from the camera's");
  }
  ++stats_.bin8FollowUps;
  out.push_back(reply(in, it->second,
                      kind == Request::Bin8ReadBlock ? &CameraReplies::bin8BlockReply : &CameraReplies::bin8DdnsReply, 0));
  ++stats_.replies;
  if (log)
    log(std::string(kind == Request::Bin8ReadBlock ? "block" : "ddns") + " request from " + ipv4Text(in.src) + ":" +
        std::to_string(in.srcPort) + ": " + c.def.id + " answers");
}

void Simulator::onDatagram(const Incoming &in, std::vector<Outgoing> &out) {
  ++stats_.received;
  // The kernel hands every broadcast answer back to our own sockets as well.
  if (ownAddresses_.count(ipv4ToHost(in.src))) return ignore(in, "sent by a simulated camera");
  if (in.srcPort == 0) return ignore(in, "source port 0");
  Classified c;
  switch (in.localPort) {
    case kPortMoI: c = classifyMoI(in.data, cfg_.strict); break;
    case kPortCtp: c = classifyCtp(in.data, cfg_.strict); break;
    case kPortBin8: c = classifyBin8(in.data, cfg_.strict); break;
    default: return ignore(in, "not a search port");
  }
  switch (c.kind) {
    case Request::None:
      return ignore(in, c.why);
    case Request::MoISearch:
      ++stats_.requests;
      ++stats_.moiSearches;
      return answerSearch(in, moi_, &CameraReplies::moi, out);
    case Request::CtpSearch:
      ++stats_.requests;
      ++stats_.ctpSearches;
      return answerSearch(in, ctp_, &CameraReplies::ctp, out);
    case Request::Bin8Search:
      ++stats_.requests;
      ++stats_.bin8Searches;
      return answerSearch(in, bin8_, &CameraReplies::bin8Search, out);
    case Request::Bin8ReadBlock:
    case Request::Bin8ReadDdns:
      ++stats_.requests;
      return answerBin8FollowUp(in, c.kind, out);
    case Request::Bin8Write:
      return ignore(in, "family-8 settings command not simulated");
  }
}

std::vector<std::size_t> Simulator::match(std::string_view who) const {
  std::vector<std::size_t> out;
  if (who == "all") {
    for (std::size_t i = 0; i < cams_.size(); ++i) out.push_back(i);
    return out;
  }
  if (who.starts_with("family:")) {
    std::string_view f = who.substr(7);
    for (std::size_t i = 0; i < cams_.size(); ++i)
      if (f == std::to_string(cams_[i].def.family)) out.push_back(i);
    return out;
  }
  const std::string mac = normalMac(who);
  for (std::size_t i = 0; i < cams_.size(); ++i) {
    const CameraDef &d = cams_[i].def;
    if (sameText(d.id, who) || ipv4Text(d.ip) == who || (!mac.empty() && normalMac(d.mac) == mac)) out.push_back(i);
  }
  return out;
}

std::string Simulator::control(std::string_view line, bool &quit) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  const auto blank = line.find(' ');
  const std::string_view verb = line.substr(0, blank);
  std::string_view arg = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  while (!arg.empty() && arg.front() == ' ') arg.remove_prefix(1);

  if (verb == "ping") return "ok\n";
  if (verb == "quit") {
    quit = true;
    return "ok\n";
  }
  if (verb == "stop" || verb == "start") {
    if (arg.empty()) return "error " + std::string(verb) + " needs a camera id, MAC, address, family:N or all\n";
    auto who = match(arg);
    if (who.empty()) return "error no camera matches " + std::string(arg) + "\n";
    for (std::size_t i : who) cams_[i].running = verb == "start";
    return "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "list") {
    auto who = arg.empty() ? match("all") : match(arg);
    std::string out;
    for (std::size_t i : who) {
      const CameraDef &d = cams_[i].def;
      out += d.id + " " + std::to_string(d.family) + " " + d.mac + " " + ipv4Text(d.ip) + " " +
             (cams_[i].running ? "running" : "stopped") + "\n";
    }
    return out + "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "stats") {
    const Stats &s = stats_;
    return "received " + std::to_string(s.received) + "\nignored " + std::to_string(s.ignored) + "\nrequests " +
           std::to_string(s.requests) + "\nreplies " + std::to_string(s.replies) + "\nmoi_searches " +
           std::to_string(s.moiSearches) + "\nctp_searches " + std::to_string(s.ctpSearches) + "\nbin8_searches " +
           std::to_string(s.bin8Searches) + "\nbin8_followups " + std::to_string(s.bin8FollowUps) + "\nok\n";
  }
  if (verb == "help")
    return "stop WHO | start WHO | list [WHO] | stats | ping | quit\n"
           "WHO: camera id, MAC, IP address, family:N or all\nok\n";
  return "error unknown command\n";
}

}  // namespace lansim
