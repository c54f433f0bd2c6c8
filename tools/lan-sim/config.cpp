#include "config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace lansim {

namespace {

struct Entry {
  std::string value;
  int line = 0;
};
using Entries = std::map<std::string, Entry>;

struct Section {
  std::string kind;  // "sim", "camera", "cameras"
  std::string name;
  int line = 0;
  Entries entries;
};

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string at(int line, const std::string &msg) { return std::to_string(line) + ": " + msg; }

bool parseInt(std::string_view s, long lo, long hi, long &out) {
  long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool parseBool(std::string_view s, bool &out) {
  std::string v = lower(std::string(s));
  if (v == "1" || v == "yes" || v == "true" || v == "on") return out = true, true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return out = false, true;
  return false;
}

bool hasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

const std::set<std::string> kCameraKeys = [] {
  std::set<std::string> keys = {
      "family",       "mac",           "sn",          "name",          "version",     "ip",
      "mask",         "gateway",       "dns1",        "dns2",          "http_port",   "data_port",
      "dhcp",         "ddns_server",   "ddns_user",   "ddns_password", "word8",       "session",
      "moi_body",     "delay_ms",      "stopped",     "user",          "password",    "restart_ms",
      "setip_restart", "dhcp_ip",      "ddns_port",   "ddns_host",     "ddns_service", "factory_index",
      "oray_status",  "login_required", "extra_addr", "extra_port",    "extra_value", "wifi_enable",
      "wifi_ssid",    "wifi_key",      "wifi_security", "wifi_mode",   "manufacturer", "model",
      "location",     "endpoint",      "reboot_needed", "clock_offset_s", "auth_window_s", "wrong_login",
      "dns_dhcp"};
  for (std::size_t i = 1; i <= limits::kMaxAps; ++i) keys.insert("wifi_ap" + std::to_string(i));
  return keys;
}();
const std::set<std::string> kGeneratorKeys = {"count", "id"};
const std::set<std::string> kSimKeys = {"strict", "spread_ms", "reply", "tcp"};

// Splits the text into sections; keys are case-insensitive, the first
// occurrence of a key counts and a repeated one is reported.
bool splitSections(std::string_view text, std::vector<Section> &out, std::vector<std::string> &errors) {
  int lineNo = 0;
  std::size_t pos = 0;
  Section *cur = nullptr;
  while (pos <= text.size()) {
    auto nl = text.find('\n', pos);
    std::string_view raw = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
    ++lineNo;
    std::string_view line = trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        errors.push_back(at(lineNo, "section header without ']'"));
        cur = nullptr;
        continue;
      }
      std::string_view inner = trim(line.substr(1, line.size() - 2));
      auto blank = inner.find_first_of(" \t");
      Section s;
      s.kind = lower(std::string(inner.substr(0, blank)));
      s.name = blank == std::string_view::npos ? "" : std::string(trim(inner.substr(blank)));
      s.line = lineNo;
      if (s.kind != "sim" && s.kind != "camera" && s.kind != "cameras") {
        errors.push_back(at(lineNo, "unknown section [" + std::string(inner) + "]"));
        cur = nullptr;
        continue;
      }
      if (s.kind != "sim" && s.name.empty()) {
        errors.push_back(at(lineNo, "[" + s.kind + "] needs a name"));
        cur = nullptr;
        continue;
      }
      out.push_back(std::move(s));
      cur = &out.back();
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string_view::npos) {
      errors.push_back(at(lineNo, "expected key = value"));
      continue;
    }
    if (!cur) {
      errors.push_back(at(lineNo, "key outside a section"));
      continue;
    }
    std::string key = lower(std::string(trim(line.substr(0, eq))));
    std::string_view value = trim(line.substr(eq + 1));
    if (!value.empty() && value.front() == '"') {
      // Quotes keep blanks at both ends and any ";" or "#" inside.
      auto close = value.find('"', 1);
      if (close == std::string_view::npos) {
        errors.push_back(at(lineNo, "missing closing quote"));
        continue;
      }
      std::string_view rest = trim(value.substr(close + 1));
      if (!rest.empty() && rest.front() != ';' && rest.front() != '#') {
        errors.push_back(at(lineNo, "text after the closing quote"));
        continue;
      }
      value = value.substr(1, close - 1);
    } else {
      // A ";" or "#" after a blank starts a comment.
      for (std::size_t i = 1; i < value.size(); ++i)
        if ((value[i] == ';' || value[i] == '#') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
          value = trim(value.substr(0, i));
          break;
        }
    }
    if (cur->entries.count(key)) {
      errors.push_back(at(lineNo, "key '" + key + "' repeated"));
      continue;
    }
    cur->entries[key] = Entry{std::string(value), lineNo};
  }
  return errors.empty();
}

// Builds one camera from its keys; ctxLine names the section in messages.
bool buildCamera(const Entries &kv, CameraDef &cam, bool &stopped, int ctxLine, std::vector<std::string> &errors) {
  const std::size_t before = errors.size();
  auto get = [&kv](const char *key) -> const Entry * {
    auto it = kv.find(key);
    return it == kv.end() ? nullptr : &it->second;
  };
  auto lineOf = [&](const char *key) { auto *e = get(key); return e ? e->line : ctxLine; };
  auto fail = [&](const char *key, const std::string &msg) { errors.push_back(at(lineOf(key), cam.id + ": " + msg)); };

  long v = 0;
  if (auto *e = get("family"); e && lower(e->value) == "onvif") {
    v = 10;
  } else if (!e || !parseInt(e->value, 0, 9999, v) || (v != 2 && v != 4 && v != 5 && v != 8 && v != 9 && v != 10)) {
    fail("family", "family must be 2, 4, 5, 8, 9 or 10 (onvif)");
    return false;
  }
  cam.family = static_cast<int>(v);

  auto ipKey = [&](const char *key, Ipv4 &dst, bool required) {
    auto *e = get(key);
    if (!e) {
      if (required) fail(key, std::string(key) + " is required");
      return false;
    }
    auto ip = parseIpv4(e->value);
    if (!ip) {
      fail(key, std::string(key) + " is not a dotted IPv4 address: " + e->value);
      return false;
    }
    dst = *ip;
    return true;
  };
  if (ipKey("ip", cam.ip, true)) {
    const std::uint32_t h = ipv4ToHost(cam.ip);
    if (h == 0 || h == 0xFFFFFFFFu || cam.ip[0] == 127 || cam.ip[0] >= 224)
      fail("ip", "ip must be a unicast address: " + ipv4Text(cam.ip));
  }
  cam.mask = {255, 255, 255, 0};
  ipKey("mask", cam.mask, false);
  const std::uint32_t net = ipv4ToHost(cam.ip) & ipv4ToHost(cam.mask);
  cam.gateway = ipv4FromHost(net | 1);
  ipKey("gateway", cam.gateway, false);
  cam.dns1 = cam.gateway;
  ipKey("dns1", cam.dns1, false);
  cam.dns2 = {0, 0, 0, 0};
  ipKey("dns2", cam.dns2, false);

  auto text = [&](const char *key, std::string &dst, std::string dflt) {
    auto *e = get(key);
    dst = e ? e->value : std::move(dflt);
    if (hasControl(dst)) fail(key, std::string(key) + " holds a control character");
  };
  text("mac", cam.mac, "");
  text("name", cam.name, cam.id);
  text("ddns_server", cam.ddnsServer, "");
  text("ddns_user", cam.ddnsUser, "");
  text("ddns_password", cam.ddnsPassword, "");

  auto mac6 = parseMac(cam.mac);
  std::string macDigits;
  if (mac6)
    for (auto b : *mac6) {
      static const char *hex = "0123456789ABCDEF";
      macDigits += hex[b >> 4];
      macDigits += hex[b & 15];
    }
  const char *snPrefix = cam.family == 8    ? "01"
                         : cam.family == 9  ? "T9"
                         : cam.family == 4  ? "H4"
                         : cam.family == 10 ? "OV"
                                            : "SN";
  text("sn", cam.sn, snPrefix + macDigits);
  text("version", cam.version, cam.family == 2 ? "1.0.0.1:1.0.0.1" : "V1.0.0");
  text("user", cam.user, "admin");
  // Families 4 and 5 come with a factory password, the others with none.
  text("password", cam.password, cam.family == 4 || cam.family == 5 ? "qelvo" : "");
  text("ddns_host", cam.ddnsHost, "");
  text("ddns_service", cam.ddnsService, "7");
  text("factory_index", cam.factoryIndex, "10");
  text("wifi_ssid", cam.wifi.ssid, "");
  text("wifi_key", cam.wifi.key, "");
  if (cam.user.find(':') != std::string::npos) fail("user", "user must not hold a colon");

  auto num = [&](const char *key, long lo, long hi, long dflt) -> long {
    auto *e = get(key);
    if (!e) return dflt;
    long n = 0;
    if (!parseInt(e->value, lo, hi, n)) {
      fail(key, std::string(key) + " must be a number from " + std::to_string(lo) + " to " + std::to_string(hi));
      return dflt;
    }
    return n;
  };
  cam.httpPort = static_cast<std::uint16_t>(num("http_port", 1, 65535, 80));
  cam.dataPort = static_cast<std::uint16_t>(num("data_port", 0, 65535, cam.family == 8 || cam.family == 4 ? 8000 : 0));
  cam.ddnsPort = static_cast<std::uint16_t>(num("ddns_port", 0, 65535, 808));
  cam.extraPort = static_cast<std::uint16_t>(num("extra_port", 0, 65535, 0));
  cam.extraValue = static_cast<std::uint32_t>(num("extra_value", 0, 4294967295L, 0));
  cam.restartMs = static_cast<int>(num("restart_ms", 0, 600000, 3000));
  if (auto *e = get("oray_status"); e && lower(e->value) == "none") cam.orayStatus = -1;
  else cam.orayStatus = static_cast<int>(num("oray_status", 0, 99, 0));
  cam.extraAddr = {0, 0, 0, 0};
  ipKey("extra_addr", cam.extraAddr, false);
  if (get("dhcp_ip")) {
    cam.hasDhcpIp = ipKey("dhcp_ip", cam.dhcpIp, false);
    const std::uint32_t h = ipv4ToHost(cam.dhcpIp);
    if (cam.hasDhcpIp && (h == 0 || h == 0xFFFFFFFFu || cam.dhcpIp[0] == 127 || cam.dhcpIp[0] >= 224))
      fail("dhcp_ip", "dhcp_ip must be a unicast address");
  }

  // Wireless: the camera's own settings and the networks it sees.
  WifiSecurity security = WifiSecurity::None;
  if (auto *e = get("wifi_security"); e && !parseSecurity(lower(e->value), security))
    fail("wifi_security", "wifi_security must be none, wep, wpa-aes, wpa-tkip, wpa2-aes, wpa2-tkip or other");
  cam.wifi.encrypt = cgiSecurityIndex(security);
  cam.wifi.authmode = ctpSecurity(security).authmode;
  cam.wifi.encryptype = ctpSecurity(security).encryptype;
  auto mode = [](std::string_view text, int &out) {
    std::string m = lower(std::string(text));
    if (m == "infra" || m == "0") return out = 0, true;
    if (m == "adhoc" || m == "1") return out = 1, true;
    return false;
  };
  if (auto *e = get("wifi_mode"); e && !mode(e->value, cam.wifi.mode)) fail("wifi_mode", "wifi_mode must be infra or adhoc");
  for (std::size_t i = 1; i <= limits::kMaxAps; ++i) {
    const std::string key = "wifi_ap" + std::to_string(i);
    auto *e = get(key.c_str());
    if (!e) continue;
    std::vector<std::string> parts;
    std::string_view rest = e->value;
    for (;;) {
      auto bar = rest.find('|');
      parts.emplace_back(trim(rest.substr(0, bar)));
      if (bar == std::string_view::npos) break;
      rest = rest.substr(bar + 1);
    }
    AccessPoint ap;
    long signal = 0;
    if ((parts.size() != 4 && parts.size() != 5) || parts[0].empty() || hasControl(e->value) ||
        !parseSecurity(lower(parts[2]), ap.security) || !parseInt(parts[3], 0, 100, signal) ||
        (parts.size() == 5 && !mode(parts[4], ap.mode))) {
      fail(key.c_str(), key + " must be SSID | MAC | SECURITY | SIGNAL 0..100 [| infra or adhoc]");
      continue;
    }
    ap.ssid = parts[0];
    ap.mac = parts[1];
    ap.signal = static_cast<int>(signal);
    cam.aps.push_back(std::move(ap));
  }
  cam.word8 = static_cast<std::uint16_t>(num("word8", 0, 65535, 0));
  cam.session = static_cast<std::uint16_t>(num("session", 0, 65535, cam.session));
  cam.moiBody = static_cast<int>(num("moi_body", 64, 195, 195));
  if (cam.moiBody != 64 && cam.moiBody != 65 && cam.moiBody != 195) fail("moi_body", "moi_body must be 64, 65 or 195");
  cam.delayMs = static_cast<int>(num("delay_ms", 0, 60000, 0));

  auto flag = [&](const char *key, bool &dst) {
    if (auto *e = get(key); e && !parseBool(e->value, dst)) fail(key, std::string(key) + " must be yes or no");
  };
  flag("dhcp", cam.dhcp);
  stopped = false;
  flag("stopped", stopped);
  flag("setip_restart", cam.setipRestart);
  flag("login_required", cam.loginRequired);
  bool wifiOn = false;
  flag("wifi_enable", wifiOn);
  cam.wifi.enable = wifiOn ? 1 : 0;

  // ONVIF: the device service's own values.
  CameraDef::Onvif &ov = cam.onvif;
  text("manufacturer", ov.manufacturer, "lan-sim");
  text("model", ov.model, "LS-ONVIF");
  text("location", ov.location, "");
  text("endpoint", ov.endpoint, "urn:uuid:5e1d0000-0000-4000-8000-" + lower(macDigits));
  flag("reboot_needed", ov.rebootNeeded);
  flag("dns_dhcp", ov.dnsFromDhcp);
  ov.clockOffsetS = num("clock_offset_s", -315360000L, 315360000L, 0);
  ov.authWindowS = static_cast<int>(num("auth_window_s", 1, 86400, 300));
  if (auto *e = get("wrong_login")) {
    const std::string w = lower(e->value);
    if (w == "fault") ov.wrongLogin401 = false;
    else if (w == "http401") ov.wrongLogin401 = true;
    else fail("wrong_login", "wrong_login must be fault or http401");
  }

  auto maxLen = [&](const char *key, const std::string &value, std::size_t n) {
    if (value.size() > n) fail(key, std::string(key) + " is longer than " + std::to_string(n) + " bytes");
  };
  switch (cam.family) {
    case 2: {
      if (cam.mac.empty()) fail("mac", "mac is required");
      maxLen("mac", cam.mac, limits::kMoIMac);
      maxLen("name", cam.name, limits::kMoIName);
      maxLen("ddns_server", cam.ddnsServer, limits::kMoIDdns);
      maxLen("ddns_user", cam.ddnsUser, limits::kMoIDdns);
      maxLen("user", cam.user, limits::kMoILogin);
      maxLen("password", cam.password, limits::kMoILogin);
      auto colon = cam.version.find(':');
      if (colon == std::string::npos || !parseIpv4(std::string_view(cam.version).substr(0, colon)) ||
          !parseIpv4(std::string_view(cam.version).substr(colon + 1)))
        fail("version", "family-2 version must look like 1.2.3.4:5.6.7.8");
      break;
    }
    case 5:
      if (cam.mac.empty()) fail("mac", "mac is required");
      break;
    case 9:
      if (!mac6) fail("mac", "family-9 mac must be six hexadecimal bytes");
      maxLen("sn", cam.sn, limits::kT9Sn);
      maxLen("name", cam.name, limits::kT9Name);
      maxLen("version", cam.version, limits::kT9Version);
      maxLen("user", cam.user, limits::kT9Login);
      maxLen("password", cam.password, limits::kT9Login);
      maxLen("ddns_server", cam.ddnsServer, limits::kT9DdnsServer);
      maxLen("ddns_host", cam.ddnsHost, limits::kT9DdnsHost);
      maxLen("ddns_user", cam.ddnsUser, limits::kT9DdnsUser);
      maxLen("ddns_password", cam.ddnsPassword, limits::kT9DdnsPwd);
      break;
    case 4:
      if (!mac6) fail("mac", "family-4 mac must be six hexadecimal bytes");
      maxLen("sn", cam.sn, limits::kDvsSn);
      maxLen("name", cam.name, limits::kDvsName);
      maxLen("version", cam.version, limits::kDvsVersion);
      maxLen("user", cam.user, limits::kDvsLogin);
      maxLen("password", cam.password, limits::kDvsLogin);
      break;
    case 10:
      if (!mac6) fail("mac", "ONVIF mac must be six hexadecimal bytes");
      for (const auto &[key, value] : {std::pair<const char *, const std::string *>{"sn", &cam.sn},
                                       {"name", &cam.name},
                                       {"version", &cam.version},
                                       {"manufacturer", &ov.manufacturer},
                                       {"model", &ov.model},
                                       {"location", &ov.location},
                                       {"user", &cam.user},
                                       {"password", &cam.password}})
        maxLen(key, *value, limits::kOnvifText);
      if (ov.endpoint.empty() || ov.endpoint.size() > 128 || ov.endpoint.find_first_of(" \t") != std::string::npos)
        fail("endpoint", "endpoint must be a URI of at most 128 characters without blanks");
      break;
    case 8: {
      if (!mac6) fail("mac", "family-8 mac must be six hexadecimal bytes");
      auto sn = parseHex(cam.sn);
      if (!sn || sn->size() != 7) fail("sn", "family-8 sn must be 14 hexadecimal digits");
      maxLen("name", cam.name, limits::kBin8Name);
      maxLen("version", cam.version, limits::kBin8Version);
      maxLen("ddns_server", cam.ddnsServer, limits::kBin8DdnsServer);
      maxLen("ddns_user", cam.ddnsUser, limits::kBin8DdnsUser);
      maxLen("ddns_password", cam.ddnsPassword, limits::kBin8DdnsPwd);
      break;
    }
  }
  return errors.size() == before;
}

// "{n}" the 1-based number, "{n:W}" zero-padded to W digits, "{h:W}" the
// same in upper-case hexadecimal.
bool expand(const std::string &tmpl, long n, std::string &out) {
  out.clear();
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] != '{') {
      out += tmpl[i];
      continue;
    }
    auto close = tmpl.find('}', i);
    if (close == std::string::npos) return false;
    std::string field = tmpl.substr(i + 1, close - i - 1);
    i = close;
    char kind = field.empty() ? 0 : field[0];
    if (kind != 'n' && kind != 'h') return false;
    long width = 0;
    if (field.size() > 1) {
      if (field[1] != ':' || !parseInt(std::string_view(field).substr(2), 1, 12, width)) return false;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, kind == 'n' ? "%0*ld" : "%0*lX", static_cast<int>(width), n);
    out += buf;
  }
  return true;
}

std::string formatMacLike(const std::string &base, const std::array<std::uint8_t, 6> &mac) {
  char sep = 0;
  if (base.find(':') != std::string::npos) sep = ':';
  else if (base.find('-') != std::string::npos) sep = '-';
  bool lowerCase = std::any_of(base.begin(), base.end(), [](char c) { return c >= 'a' && c <= 'f'; });
  const char *hex = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < 6; ++i) {
    if (i && sep) s += sep;
    s += hex[mac[i] >> 4];
    s += hex[mac[i] & 15];
  }
  return s;
}

}  // namespace

bool parseConfig(std::string_view text, SimConfig &out, std::vector<std::string> &errors) {
  out = SimConfig{};
  std::vector<Section> sections;
  if (!splitSections(text, sections, errors)) return false;

  bool sawSim = false;
  for (const Section &s : sections) {
    if (s.kind == "sim") {
      if (sawSim) errors.push_back(at(s.line, "[sim] repeated"));
      sawSim = true;
      for (auto &[key, e] : s.entries) {
        if (!kSimKeys.count(key)) {
          errors.push_back(at(e.line, "unknown key '" + key + "' in [sim]"));
        } else if (key == "strict") {
          if (!parseBool(e.value, out.strict)) errors.push_back(at(e.line, "strict must be yes or no"));
        } else if (key == "spread_ms") {
          long v = 0;
          if (!parseInt(e.value, 0, 10000, v)) errors.push_back(at(e.line, "spread_ms must be 0 to 10000"));
          out.spreadMs = static_cast<int>(v);
        } else if (key == "tcp") {
          if (!parseBool(e.value, out.tcp)) errors.push_back(at(e.line, "tcp must be yes or no"));
        } else if (key == "reply") {
          std::string v = lower(e.value);
          if (v == "broadcast") out.reply = ReplyMode::Broadcast;
          else if (v == "unicast") out.reply = ReplyMode::Unicast;
          else errors.push_back(at(e.line, "reply must be broadcast or unicast"));
        }
      }
      continue;
    }

    for (auto &[key, e] : s.entries) {
      bool known = kCameraKeys.count(key) || (s.kind == "cameras" && kGeneratorKeys.count(key));
      if (!known) errors.push_back(at(e.line, "unknown key '" + key + "' in [" + s.kind + " " + s.name + "]"));
    }

    if (s.kind == "camera") {
      CameraDef cam;
      cam.id = s.name;
      cam.session = static_cast<std::uint16_t>(0xA000 | (out.cameras.size() & 0x0FFF));
      bool stopped = false;
      if (buildCamera(s.entries, cam, stopped, s.line, errors)) {
        out.cameras.push_back(std::move(cam));
        out.startStopped.push_back(stopped);
      }
      continue;
    }

    // [cameras PREFIX]: count cameras, families taken in turn from a list,
    // addresses and MACs counting up from the first one, {n} in texts.
    long count = 0;
    auto cnt = s.entries.find("count");
    if (cnt == s.entries.end() || !parseInt(cnt->second.value, 1, static_cast<long>(kMaxCameras), count)) {
      errors.push_back(at(s.line, s.name + ": count must be 1 to " + std::to_string(kMaxCameras)));
      continue;
    }
    std::vector<std::string> families;
    if (auto f = s.entries.find("family"); f != s.entries.end()) {
      std::stringstream ss(f->second.value);
      std::string item;
      while (std::getline(ss, item, ',')) families.emplace_back(trim(item));
    }
    if (families.empty()) families.push_back("");
    auto ipBase = s.entries.count("ip") ? parseIpv4(s.entries.at("ip").value) : std::nullopt;
    auto macBase = s.entries.count("mac") ? parseMac(s.entries.at("mac").value) : std::nullopt;
    if (!ipBase || !macBase) {
      errors.push_back(at(s.line, s.name + ": a generator needs a first ip and a first mac of six bytes"));
      continue;
    }
    std::uint32_t ip = ipv4ToHost(*ipBase);
    std::uint64_t mac = 0;
    for (auto b : *macBase) mac = (mac << 8) | b;
    const std::string idTmpl = s.entries.count("id") ? s.entries.at("id").value : s.name + "-{n}";
    for (long i = 0; i < count && errors.size() < 50; ++i) {
      // Skip the .0 and .255 addresses that a /24 reserves.
      while ((ip & 0xFF) == 0 || (ip & 0xFF) == 0xFF) ++ip;
      Entries kv;
      std::string bad;
      for (auto &[key, e] : s.entries) {
        if (key == "count" || key == "id" || key == "ip" || key == "mac" || key == "family") continue;
        std::string value;
        if (!expand(e.value, i + 1, value)) bad = key;
        kv[key] = Entry{value, e.line};
      }
      CameraDef cam;
      if (!expand(idTmpl, i + 1, cam.id)) bad = "id";
      if (!bad.empty()) {
        errors.push_back(at(s.line, s.name + ": bad {} pattern in " + bad));
        break;
      }
      kv["family"] = Entry{families[static_cast<std::size_t>(i) % families.size()], s.entries.count("family") ? s.entries.at("family").line : s.line};
      kv["ip"] = Entry{ipv4Text(ipv4FromHost(ip)), s.line};
      std::array<std::uint8_t, 6> m{};
      for (int k = 0; k < 6; ++k) m[k] = static_cast<std::uint8_t>(mac >> (8 * (5 - k)));
      // A family-2 MAC text has room for the twelve digits only.
      const std::string &family = kv["family"].value;
      kv["mac"] = Entry{formatMacLike(family == "2" ? "" : s.entries.at("mac").value, m), s.line};
      cam.session = static_cast<std::uint16_t>(0xA000 | (out.cameras.size() & 0x0FFF));
      bool stopped = false;
      if (buildCamera(kv, cam, stopped, s.line, errors)) {
        out.cameras.push_back(std::move(cam));
        out.startStopped.push_back(stopped);
      }
      ++ip;
      mac = (mac + 1) & 0xFFFFFFFFFFFFull;
      if (out.cameras.size() > kMaxCameras) break;
    }
  }

  if (out.cameras.size() > kMaxCameras)
    errors.push_back(at(0, "more than " + std::to_string(kMaxCameras) + " cameras"));
  if (out.cameras.empty() && errors.empty()) errors.push_back(at(0, "no cameras configured"));

  // Identity checks: ids are unique, and so are MACs within a family (the
  // family-8 exchange finds its camera by MAC).
  std::set<std::string> ids;
  std::set<std::pair<int, std::string>> macs;
  for (const CameraDef &c : out.cameras) {
    if (!ids.insert(lower(c.id)).second) errors.push_back(at(0, "camera id '" + c.id + "' used twice"));
    std::string key = lower(c.mac);
    if (c.family == 4 || c.family == 8 || c.family == 9 || c.family == 10) key = formatMacLike("x", *parseMac(c.mac));
    if (!macs.insert({c.family, key}).second)
      errors.push_back(at(0, "mac '" + c.mac + "' used twice in family " + std::to_string(c.family)));
  }
  return errors.empty();
}

bool loadConfig(const std::string &path, SimConfig &out, std::vector<std::string> &errors) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    errors.push_back("0: cannot read " + path);
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() > (16u << 20)) {
    errors.push_back("0: configuration larger than 16 MiB");
    return false;
  }
  return parseConfig(text, out, errors);
}

}  // namespace lansim
