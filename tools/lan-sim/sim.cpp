#include "sim.h"

#include <algorithm>
#include <cctype>
#include <chrono>

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

bool unicast(const Ipv4 &ip) {
  const std::uint32_t h = ipv4ToHost(ip);
  return h != 0 && h != 0xFFFFFFFFu && ip[0] != 127 && ip[0] < 224;
}

}  // namespace

Simulator::Simulator(SimConfig cfg)
    : wallClockMs([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
      }),
      cfg_(std::move(cfg)) {
  cams_.reserve(cfg_.cameras.size());
  for (std::size_t i = 0; i < cfg_.cameras.size(); ++i) {
    Camera c;
    c.def = cfg_.cameras[i];
    c.replies = std::make_shared<const CameraReplies>(buildReplies(c.def));
    c.running = i >= cfg_.startStopped.size() || !cfg_.startStopped[i];
    ++ownAddresses_[ipv4ToHost(c.def.ip)];
    switch (c.def.family) {
      case 2: moi_.push_back(i); break;
      case 5: ctp_.push_back(i); break;
      case 8:
        bin8_.push_back(i);
        bin8ByMac_[macKey(c.replies->mac6.data())] = i;
        break;
      case 9:
        t9_.push_back(i);
        t9ByMac_[macKey(c.replies->mac6.data())] = i;
        break;
      case 4:
        dvs_.push_back(i);
        dvsByMac_[macKey(c.replies->mac6.data())] = i;
        break;
      case 10:
        onvif_.push_back(i);
        break;
    }
    cams_.push_back(std::move(c));
  }
}

// ---- Camera state ----------------------------------------------------------

void Simulator::rebuild(std::size_t cam) {
  cams_[cam].replies = std::make_shared<const CameraReplies>(buildReplies(cams_[cam].def));
}

void Simulator::changed(std::size_t cam) {
  ++cams_[cam].epoch;
  ++generation_;
}

CameraDef Simulator::changedDef(std::size_t cam, const NetChange &c) const {
  CameraDef d = cams_[cam].def;
  if (c.ip) d.ip = *c.ip;
  if (c.mask) d.mask = *c.mask;
  if (c.gateway) d.gateway = *c.gateway;
  if (c.dns1) d.dns1 = *c.dns1;
  if (c.dns2) d.dns2 = *c.dns2;
  if (c.extraAddr) d.extraAddr = *c.extraAddr;
  if (c.httpPort) d.httpPort = *c.httpPort;
  if (c.dataPort) d.dataPort = *c.dataPort;
  if (c.extraPort) d.extraPort = *c.extraPort;
  if (c.word8) d.word8 = *c.word8;
  if (c.name) d.name = *c.name;
  if (c.dhcp) {
    d.dhcp = *c.dhcp;
    // A DHCP server would hand out an address of its own.
    if (d.dhcp && d.hasDhcpIp) d.ip = d.dhcpIp;
  }
  return d;
}

void Simulator::commit(std::size_t cam, CameraDef def) {
  Camera &c = cams_[cam];
  ++c.changes;
  if (def.setipRestart) {
    c.pending = std::move(def);
    restart(cam, c.def.restartMs);
    return;
  }
  if (--ownAddresses_[ipv4ToHost(c.def.ip)] <= 0) ownAddresses_.erase(ipv4ToHost(c.def.ip));
  ++ownAddresses_[ipv4ToHost(def.ip)];
  c.def = std::move(def);
  rebuild(cam);
  changed(cam);
}

void Simulator::restart(std::size_t cam, int ms) {
  Camera &c = cams_[cam];
  if (!c.down) down_.push_back(cam);
  c.down = true;
  c.downUntil = now_ + std::max(ms, 0);
  c.uploadModeUntil = 0;
  ++c.restarts;
  ++stats_.restarts;
  changed(cam);
  note(c.def.id + " restarts for " + std::to_string(ms) + " ms");
}

void Simulator::tick(std::int64_t nowMs) {
  now_ = nowMs;
  for (std::size_t k = down_.size(); k-- > 0;) {
    const std::size_t cam = down_[k];
    Camera &c = cams_[cam];
    if (c.downUntil > now_) continue;
    down_.erase(down_.begin() + static_cast<std::ptrdiff_t>(k));
    c.down = false;
    if (c.pending) {
      CameraDef def = std::move(*c.pending);
      c.pending.reset();
      if (--ownAddresses_[ipv4ToHost(c.def.ip)] <= 0) ownAddresses_.erase(ipv4ToHost(c.def.ip));
      ++ownAddresses_[ipv4ToHost(def.ip)];
      c.def = std::move(def);
      rebuild(cam);
    }
    changed(cam);
    note(c.def.id + " is back at " + ipv4Text(c.def.ip));
  }
}

std::int64_t Simulator::nextWakeMs() const {
  std::int64_t next = -1;
  for (std::size_t cam : down_)
    if (next < 0 || cams_[cam].downUntil < next) next = cams_[cam].downUntil;
  return next;
}

void Simulator::reset(std::size_t cam) {
  Camera &c = cams_[cam];
  if (--ownAddresses_[ipv4ToHost(c.def.ip)] <= 0) ownAddresses_.erase(ipv4ToHost(c.def.ip));
  c.def = cfg_.cameras[cam];
  ++ownAddresses_[ipv4ToHost(c.def.ip)];
  c.running = cam >= cfg_.startStopped.size() || !cfg_.startStopped[cam];
  if (c.down) down_.erase(std::find(down_.begin(), down_.end(), cam));
  c.down = false;
  c.pending.reset();
  c.uploadModeUntil = 0;
  c.uploads.clear();
  c.changes = c.restarts = 0;
  c.mutatePercent = 0;
  rebuild(cam);
  changed(cam);
}

void Simulator::move(std::size_t cam, const Ipv4 &ip) {
  Camera &c = cams_[cam];
  if (--ownAddresses_[ipv4ToHost(c.def.ip)] <= 0) ownAddresses_.erase(ipv4ToHost(c.def.ip));
  ++ownAddresses_[ipv4ToHost(ip)];
  c.def.ip = ip;
  if (c.pending) c.pending->ip = ip;
  ++stats_.moves;
  rebuild(cam);
  changed(cam);
  note(c.def.id + " moves to " + ipv4Text(ip));
}

bool Simulator::mutateNow(std::size_t cam) {
  const int share = cam < cams_.size() ? cams_[cam].mutatePercent : 0;
  return share > 0 && static_cast<int>(rng_() % 100) < share;
}

// One to four damages: a byte changed (often to one that means something to a parser),
// the answer cut, bytes inserted, or a piece repeated. At most maxSize bytes from 'from' on.
void Simulator::mutateBytes(std::string &bytes, std::size_t from, std::size_t maxSize) {
  static constexpr char kTelling[] = {'\0', '\r', '\n', ';', '=', '"', '\'', ',', ':', '[', ']', ' ',
                                      '\xFF', '\x80', '0', '9', '-', '%'};
  const int damages = 1 + static_cast<int>(rng_() % 4);
  for (int k = 0; k < damages; ++k) {
    const std::size_t n = bytes.size() - from;
    const std::size_t at = from + (n ? rng_() % n : 0);
    switch (rng_() % 6) {
      case 0:
        if (n) bytes[at] = static_cast<char>(rng_() & 0xFF);
        break;
      case 1:
        if (n) bytes[at] = kTelling[rng_() % sizeof kTelling];
        break;
      case 2:
        bytes.resize(at);
        break;
      case 3: {
        std::string junk(1 + rng_() % 16, '\0');
        for (char &ch : junk) ch = rng_() % 2 ? kTelling[rng_() % sizeof kTelling] : static_cast<char>(rng_() & 0xFF);
        bytes.insert(at, junk);
        break;
      }
      case 4:
        if (n) bytes.insert(at, bytes.substr(at, 1 + rng_() % std::min<std::size_t>(n - (at - from), 64)));
        break;
      default:
        if (n) bytes[at] = static_cast<char>(bytes[at] ^ (1 << (rng_() % 8)));
        break;
    }
  }
  if (bytes.size() - from > maxSize) bytes.resize(from + maxSize);
  ++stats_.mutated;
}

void Simulator::mutateDatagrams(std::vector<Outgoing> &out, std::size_t from) {
  for (std::size_t i = from; i < out.size(); ++i) {
    Outgoing &o = out[i];
    if (!o.data || !mutateNow(o.camera)) continue;
    std::string bytes(o.data->begin(), o.data->end());
    mutateBytes(bytes, 0, 2048);
    o.data = std::make_shared<const Bytes>(bytes.begin(), bytes.end());
  }
}

bool Simulator::deliverable(const Outgoing &o) const {
  if (!running(o.camera)) return false;
  return o.final || (answering(o.camera) && cams_[o.camera].epoch == o.epoch);
}

// ---- Datagrams ---------------------------------------------------------------

void Simulator::ignore(const Incoming &in, const char *why) {
  ++stats_.ignored;
  if (log)
    log("ignored " + std::to_string(in.data.size()) + " bytes on port " + std::to_string(in.localPort) + " from " +
        ipv4Text(in.src) + ":" + std::to_string(in.srcPort) + ": " + why);
}

Outgoing Simulator::replyWith(const Incoming &in, std::size_t cam, Bytes data) const {
  const Camera &c = cams_[cam];
  Outgoing o;
  o.camera = cam;
  o.localPort = in.localPort;
  o.src = c.def.ip;
  // Cameras answer by limited broadcast so that a PC in another subnet hears
  // them; the answer goes to the port the request came from.
  o.dst = cfg_.reply == ReplyMode::Broadcast ? Ipv4{255, 255, 255, 255} : in.src;
  o.dstPort = in.srcPort;
  o.delayMs = c.def.delayMs;
  o.epoch = c.epoch;
  o.data = std::make_shared<const Bytes>(std::move(data));
  return o;
}

Outgoing Simulator::reply(const Incoming &in, std::size_t cam, const Bytes CameraReplies::*which,
                          int extraDelay) const {
  const Camera &c = cams_[cam];
  Outgoing o = replyWith(in, cam, {});
  o.delayMs = c.def.delayMs + extraDelay;
  o.data = std::shared_ptr<const Bytes>(c.replies, &(c.replies.get()->*which));
  return o;
}

void Simulator::answerSearch(const Incoming &in, const std::vector<std::size_t> &who,
                             const Bytes CameraReplies::*which, std::vector<Outgoing> &out) {
  std::size_t running = 0;
  for (std::size_t i : who) running += answering(i) ? 1 : 0;
  std::size_t k = 0;
  for (std::size_t i : who) {
    if (!answering(i)) continue;
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

void Simulator::answerDvsSearch(const Incoming &in, std::vector<Outgoing> &out) {
  // The answer carries the search's transaction word, so that the library
  // can tell answers to its own search from those to another PC's.
  const std::size_t first = out.size();
  answerSearch(in, dvs_, &CameraReplies::dvsSearch, out);
  for (std::size_t k = first; k < out.size(); ++k) {
    Bytes b = *out[k].data;
    b[6] = in.data[6];
    b[7] = in.data[7];
    out[k].data = std::make_shared<const Bytes>(std::move(b));
  }
}

void Simulator::answerBin8FollowUp(const Incoming &in, Request kind, std::vector<Outgoing> &out) {
  // The request carries the camera's own network block back: its MAC says
  // which camera is meant, header word 4 must be that camera's.
  auto it = bin8ByMac_.find(macKey(in.data.data() + bin8::kHeader + 88));
  if (it == bin8ByMac_.end()) return ignore(in, "family-8 request for a MAC not simulated");
  const Camera &c = cams_[it->second];
  if (!answering(it->second)) return ignore(in, "family-8 request for a stopped camera");
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

void Simulator::settingsCommand(const Incoming &in, Request kind, std::vector<Outgoing> &out) {
  ParsedChange p;
  switch (kind) {
    case Request::MoISet: p = parseMoISet(in.data, cfg_.strict); break;
    case Request::CtpSetip: p = parseCtpSetip(in.data, cfg_.strict); break;
    case Request::Bin8Write: p = parseBin8Write(in.data, cfg_.strict); break;
    case Request::T9Set: p = parseT9Set(in.data, cfg_.strict); break;
    case Request::DvsConfig: p = parseDvsConfig(in.data, cfg_.strict); break;
    default: return ignore(in, "not a settings command");
  }
  if (!p.ok) return ignore(in, p.why);
  const NetChange &c = p.change;

  // The camera the command names, by the identity its family carries.
  std::optional<std::size_t> cam;
  auto byMac = [&](const std::unordered_map<std::uint64_t, std::size_t> &m) {
    if (auto it = m.find(macKey(c.mac6.data())); it != m.end()) cam = it->second;
  };
  switch (kind) {
    case Request::MoISet:
      for (std::size_t i : moi_)
        if (cams_[i].def.mac == c.macText) cam = i;
      break;
    case Request::CtpSetip:
      for (std::size_t i : ctp_) {
        const CameraDef &d = cams_[i].def;
        const bool snOk = c.sn.empty() ? !cfg_.strict : c.sn == d.sn;
        const bool macOk = c.macText.empty() ? !cfg_.strict : normalMac(c.macText) == normalMac(d.mac);
        if (snOk && macOk) cam = i;
      }
      break;
    case Request::Bin8Write: byMac(bin8ByMac_); break;
    case Request::T9Set: byMac(t9ByMac_); break;
    case Request::DvsConfig: byMac(dvsByMac_); break;
    default: break;
  }
  if (!cam) return ignore(in, "settings for a camera not simulated");
  if (!answering(*cam)) return ignore(in, "settings for a stopped camera");
  const CameraDef &def = cams_[*cam].def;

  if (cfg_.strict && kind == Request::Bin8Write) {
    // The sender rebuilds the old block from its record: the DHCP byte says
    // 1 for DHCP and 2 for a fixed address there.
    Bytes expected = cams_[*cam].replies->bin8Block;
    expected[103] = def.dhcp ? 1 : 2;
    if (c.oldBlock != expected) return ignore(in, "family-8 write whose old block differs from the camera's");
  }
  if (cfg_.strict && kind == Request::CtpSetip && c.interfaceIp != ipv4Text(def.ip))
    return ignore(in, "setip whose -interface is not the camera's address");

  auto answer = [&](std::uint32_t t9Result, std::uint8_t dvsResult, const CameraDef &values) {
    if (kind == Request::T9Set) {
      Bytes b = buildT9Record(values, cams_[*cam].replies->mac6, t9::kSetReply, t9::kSetReplyLength);
      putLe32(b, 324, t9Result);
      out.push_back(replyWith(in, *cam, std::move(b)));
      out.back().final = true;
    } else if (kind == Request::DvsConfig) {
      Bytes b(dvs::kConfigAnswerLength, 0);
      putBytes(b, 0, ByteView(reinterpret_cast<const std::uint8_t *>(dvs::kMagic), 4));
      b[4] = dvs::kVersion;
      b[5] = dvs::kConfigAnswer;
      b[6] = in.data[6];
      b[7] = in.data[7];
      putBytes(b, dvs::kRMac, cams_[*cam].replies->mac6);
      b[dvs::kRResult] = dvsResult;
      out.push_back(replyWith(in, *cam, std::move(b)));
      out.back().final = true;
    }
  };

  ++stats_.requests;
  if (c.hasLogin && ((c.hasUser && c.user != def.user) || c.password != def.password)) {
    ++stats_.settingsRefused;
    answer(t9::kRefused, dvs::kBadLogin, def);
    note("settings for " + def.id + " refused: wrong login");
    return;
  }
  CameraDef next = changedDef(*cam, c);
  if (!unicast(next.ip)) {
    ++stats_.settingsRefused;
    answer(t9::kRefused, dvs::kBadValue, def);
    note("settings for " + def.id + " refused: " + ipv4Text(next.ip) + " is not a unicast address");
    return;
  }
  ++stats_.settingsApplied;
  answer(t9::kAccepted, dvs::kOk, next);
  note("settings for " + def.id + " from " + ipv4Text(in.src) + ": now " + ipv4Text(next.ip) + ":" +
       std::to_string(next.httpPort) + (next.dhcp ? " dhcp" : " static"));
  commit(*cam, std::move(next));
}

void Simulator::onDatagram(const Incoming &in, std::vector<Outgoing> &out) {
  const std::size_t before = out.size();
  onDatagramHere(in, out);
  mutateDatagrams(out, before);
}

void Simulator::onDatagramHere(const Incoming &in, std::vector<Outgoing> &out) {
  ++stats_.received;
  // The kernel hands every broadcast answer back to our own sockets as well.
  if (ownAddresses_.count(ipv4ToHost(in.src))) return ignore(in, "sent by a simulated camera");
  if (in.srcPort == 0) return ignore(in, "source port 0");
  Classified c;
  switch (in.localPort) {
    case kPortMoI: c = classifyMoI(in.data, cfg_.strict); break;
    case kPortCtp: c = classifyCtp(in.data, cfg_.strict); break;
    case kPortBin8: c = classifyBin8(in.data, cfg_.strict); break;
    case kPortT9: c = classifyT9(in.data, cfg_.strict); break;
    case kPortDvs: c = classifyDvs(in.data, cfg_.strict); break;
    case kPortWsd: return answerWsdProbe(in, out);
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
    case Request::T9Search:
      ++stats_.requests;
      ++stats_.t9Searches;
      return answerSearch(in, t9_, &CameraReplies::t9Search, out);
    case Request::DvsSearch:
      ++stats_.requests;
      ++stats_.dvsSearches;
      return answerDvsSearch(in, out);
    case Request::MoISet:
    case Request::CtpSetip:
    case Request::Bin8Write:
    case Request::T9Set:
    case Request::DvsConfig:
      return settingsCommand(in, c.kind, out);
  }
}

// ---- Control -------------------------------------------------------------------

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

std::string Simulator::show(std::size_t cam) const {
  const Camera &c = cams_[cam];
  const CameraDef &d = c.def;
  std::string s = "[camera " + d.id + "]\n";
  auto kv = [&s](const char *key, const std::string &value) { s += std::string(key) + " = " + value + "\n"; };
  auto yes = [](bool b) { return std::string(b ? "yes" : "no"); };
  kv("family", std::to_string(d.family));
  kv("state", !c.running ? "stopped" : c.down ? "restarting" : "running");
  kv("mac", d.mac);
  kv("sn", d.sn);
  kv("name", d.name);
  kv("version", d.version);
  kv("ip", ipv4Text(d.ip));
  kv("mask", ipv4Text(d.mask));
  kv("gateway", ipv4Text(d.gateway));
  kv("dns1", ipv4Text(d.dns1));
  kv("dns2", ipv4Text(d.dns2));
  kv("http_port", std::to_string(d.httpPort));
  kv("data_port", std::to_string(d.dataPort));
  kv("dhcp", yes(d.dhcp));
  kv("user", d.user);
  kv("password", d.password);
  kv("ddns_server", d.ddnsServer);
  kv("ddns_port", std::to_string(d.ddnsPort));
  kv("ddns_user", d.ddnsUser);
  kv("ddns_password", d.ddnsPassword);
  kv("ddns_host", d.ddnsHost);
  kv("ddns_service", d.ddnsService);
  kv("factory_index", d.factoryIndex);
  kv("extra_addr", ipv4Text(d.extraAddr));
  kv("extra_port", std::to_string(d.extraPort));
  kv("extra_value", std::to_string(d.extraValue));
  const WifiSettings &w = d.wifi;
  kv("wifi_enable", std::to_string(w.enable));
  kv("wifi_ssid", w.ssid);
  kv("wifi_key", w.key);
  kv("wifi_mode", std::to_string(w.mode));
  kv("wifi_encrypt", std::to_string(w.encrypt));
  kv("wifi_authtype", std::to_string(w.authtype));
  kv("wifi_defkey", std::to_string(w.defkey));
  kv("wifi_keyformat", std::to_string(w.keyformat));
  kv("wifi_channel", std::to_string(w.channel));
  for (int k = 0; k < 4; ++k) {
    kv(("wifi_wep_key" + std::to_string(k + 1)).c_str(), w.wepKeys[k]);
    kv(("wifi_wep_bits" + std::to_string(k + 1)).c_str(), std::to_string(w.wepBits[k]));
  }
  kv("wifi_authmode", w.authmode);
  kv("wifi_encryptype", w.encryptype);
  if (d.family == 10) {
    kv("manufacturer", d.onvif.manufacturer);
    kv("model", d.onvif.model);
    kv("location", d.onvif.location);
    kv("endpoint", d.onvif.endpoint);
    kv("reboot_needed", yes(d.onvif.rebootNeeded));
    kv("dns_dhcp", yes(d.onvif.dnsFromDhcp));
    kv("clock_offset_s", std::to_string(d.onvif.clockOffsetS));
    kv("pending", c.pending ? ipv4Text(c.pending->ip) + (c.pending->dhcp ? " dhcp" : " static") : "none");
  }
  kv("changes", std::to_string(c.changes));
  kv("restarts", std::to_string(c.restarts));
  kv("uploads", std::to_string(c.uploads.size()));
  kv("mutate", std::to_string(c.mutatePercent));
  return s;
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
    for (std::size_t i : who) {
      if (cams_[i].running == (verb == "start")) continue;
      cams_[i].running = verb == "start";
      changed(i);
    }
    return "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "restart") {
    // restart WHO [MS]
    std::string_view target = arg, ms;
    if (auto b = arg.rfind(' '); b != std::string_view::npos &&
        std::all_of(arg.begin() + static_cast<std::ptrdiff_t>(b) + 1, arg.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
      target = arg.substr(0, b);
      ms = arg.substr(b + 1);
      while (!target.empty() && target.back() == ' ') target.remove_suffix(1);
    }
    long duration = -1;
    if (!ms.empty()) {
      if (ms.size() > 6) return "error restart time must be 0 to 600000 ms\n";
      duration = std::stol(std::string(ms));
      if (duration > 600000) return "error restart time must be 0 to 600000 ms\n";
    }
    if (target.empty()) return "error restart needs a camera id, MAC, address, family:N or all\n";
    auto who = match(target);
    if (who.empty()) return "error no camera matches " + std::string(target) + "\n";
    for (std::size_t i : who) restart(i, duration < 0 ? cams_[i].def.restartMs : static_cast<int>(duration));
    return "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "move") {
    // move WHO IP
    const auto b = arg.rfind(' ');
    if (b == std::string_view::npos) return "error move needs a camera and an address\n";
    std::string_view target = arg.substr(0, b);
    while (!target.empty() && target.back() == ' ') target.remove_suffix(1);
    const auto ip = parseIpv4(arg.substr(b + 1));
    if (!ip || !unicast(*ip)) return "error move needs a unicast IPv4 address\n";
    auto who = match(target);
    if (who.size() != 1)
      return "error move needs exactly one camera; " + std::to_string(who.size()) + " match " + std::string(target) + "\n";
    move(who[0], *ip);
    return "ok 1\n";
  }
  if (verb == "mutate") {
    // mutate WHO PERCENT [SEED]
    std::vector<std::string_view> words;
    for (std::string_view rest = arg; !rest.empty();) {
      const auto sp = rest.find(' ');
      if (sp != 0) words.push_back(rest.substr(0, sp));
      if (sp == std::string_view::npos) break;
      rest.remove_prefix(sp + 1);
    }
    const auto number = [](std::string_view w, std::uint64_t max, std::uint64_t &v) {
      if (w.empty() || w.size() > 19 || !std::all_of(w.begin(), w.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return false;
      v = std::stoull(std::string(w));
      return v <= max;
    };
    std::uint64_t percent = 0, seed = 0;
    if (words.size() < 2 || words.size() > 3 || !number(words[1], 100, percent) ||
        (words.size() == 3 && !number(words[2], UINT64_MAX, seed)))
      return "error mutate needs a camera, a share of 0 to 100 percent and optionally a seed\n";
    auto who = match(words[0]);
    if (who.empty()) return "error no camera matches " + std::string(words[0]) + "\n";
    if (words.size() == 3) rng_.seed(seed);
    for (std::size_t i : who) cams_[i].mutatePercent = static_cast<int>(percent);
    return "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "reset") {
    auto who = arg.empty() ? match("all") : match(arg);
    if (who.empty()) return "error no camera matches " + std::string(arg) + "\n";
    for (std::size_t i : who) reset(i);
    return "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "list" || verb == "show" || verb == "uploads") {
    auto who = arg.empty() ? match("all") : match(arg);
    if (!arg.empty() && who.empty() && verb != "list") return "error no camera matches " + std::string(arg) + "\n";
    std::string out;
    for (std::size_t i : who) {
      const Camera &c = cams_[i];
      const CameraDef &d = c.def;
      if (verb == "show") {
        out += show(i);
      } else if (verb == "uploads") {
        for (const UploadRecord &u : c.uploads)
          out += d.id + " " + u.page + " " + (u.fileName.empty() ? "-" : u.fileName) + " " + std::to_string(u.size) +
                 " " + (u.accepted ? "accepted" : "refused") + " " + u.detail + "\n";
      } else {
        out += d.id + " " + std::to_string(d.family) + " " + d.mac + " " + ipv4Text(d.ip) + " " +
               (!c.running ? "stopped" : c.down ? "restarting" : "running") + "\n";
      }
    }
    return out + "ok " + std::to_string(who.size()) + "\n";
  }
  if (verb == "stats") {
    const Stats &s = stats_;
    std::string out;
    auto kv = [&out](const char *k, std::uint64_t v) { out += std::string(k) + " " + std::to_string(v) + "\n"; };
    kv("received", s.received);
    kv("ignored", s.ignored);
    kv("requests", s.requests);
    kv("replies", s.replies);
    kv("moi_searches", s.moiSearches);
    kv("ctp_searches", s.ctpSearches);
    kv("bin8_searches", s.bin8Searches);
    kv("bin8_followups", s.bin8FollowUps);
    kv("t9_searches", s.t9Searches);
    kv("dvs_searches", s.dvsSearches);
    kv("wsd_probes", s.wsdProbes);
    kv("onvif_requests", s.onvifRequests);
    kv("settings_applied", s.settingsApplied);
    kv("settings_refused", s.settingsRefused);
    kv("restarts", s.restarts);
    kv("tcp_sessions", s.tcpSessions);
    kv("ctp_commands", s.ctpCommands);
    kv("http_requests", s.httpRequests);
    kv("moves", s.moves);
    kv("mutated", s.mutated);
    return out + "ok\n";
  }
  if (verb == "help")
    return "stop WHO | start WHO | restart WHO [MS] | move WHO IP | mutate WHO PERCENT [SEED] | reset [WHO] |"
           " list [WHO] | show [WHO] | uploads [WHO] | stats | ping | quit\n"
           "WHO: camera id, MAC, IP address, family:N or all\nok\n";
  return "error unknown command\n";
}

}  // namespace lansim
