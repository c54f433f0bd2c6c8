// The TCP side of the cameras: CTP/1.0 sessions of family 5 (and its
// firmware-upload dialect), the CGI pages of families 2, 8 and 9.
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "sim.h"

namespace lansim {

namespace {

std::string ctpReply(int code, const char *reason, const std::vector<std::string> &lines = {}) {
  std::string body;
  for (const auto &l : lines) body += l + "\r\n";
  body += "\r\n";
  return "CTP/1.0 " + std::to_string(code) + " " + reason + "\r\nContent-Length:" + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

bool decimalInt(std::string_view s, int &out) {
  int v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || p != s.data() + s.size()) return false;
  out = v;
  return true;
}

const char *reasonOf(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
  }
}

std::string httpResponse(const std::string &version, int status, const std::string &body,
                         const std::string &extraHeaders = {}, const std::string &contentType = "text/html") {
  return (version == "HTTP/1.1" ? "HTTP/1.1 " : "HTTP/1.0 ") + std::to_string(status) + " " + reasonOf(status) +
         "\r\nServer: lan-sim\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

std::string htmlPage(const std::string &text, const std::string &nextUrl = {}) {
  std::string head = nextUrl.empty() ? "" : "<meta http-equiv=\"refresh\" content=\"0; url=" + nextUrl + "\">";
  return "<html><head>" + head + "</head><body>" + text + "</body></html>\r\n";
}

// Which camera families serve a page, and how it takes the login.
enum class Page {
  Index, Status, Params, WifiScan, WifiResult, SetWifi, Reboot, SetDdns, Factory, UpgradeSystem, UpgradeWeb
};
enum class Auth { Public, Query, Basic };
constexpr unsigned kF2 = 1, kF5 = 2, kF8 = 4, kF9 = 8;

struct PageEntry {
  const char *path;
  unsigned families;
  Page page;
  Auth auth;
  const char *userKey = nullptr, *pwdKey = nullptr;
  bool post = false;
};

const PageEntry kPages[] = {
    {"/", kF2 | kF5 | kF8 | kF9, Page::Index, Auth::Public},
    {"/index.htm", kF2 | kF5 | kF8 | kF9, Page::Index, Auth::Public},
    {"/get_status.cgi", kF2 | kF8 | kF9, Page::Status, Auth::Public},
    {"/get_params.cgi", kF2 | kF8 | kF9, Page::Params, Auth::Query, "user", "pwd"},
    {"/wifi_scan.cgi", kF2 | kF9, Page::WifiScan, Auth::Query, "user", "pwd"},
    {"/cgi-bin/wifi_scan.cgi", kF8, Page::WifiScan, Auth::Query, "loginuse", "loginpas"},
    {"/get_wifi_scan_result.cgi", kF2 | kF8 | kF9, Page::WifiResult, Auth::Query, "user", "pwd"},
    {"/set_wifi.cgi", kF2 | kF9, Page::SetWifi, Auth::Query, "user", "pwd"},
    {"/cgi-bin/set_wifi.cgi", kF8, Page::SetWifi, Auth::Query, "loginuse", "loginpas"},
    {"/reboot.cgi", kF2 | kF9, Page::Reboot, Auth::Basic},
    {"/cgi-bin/reboot.cgi", kF8, Page::Reboot, Auth::Basic},
    {"/set_ddns.cgi", kF2, Page::SetDdns, Auth::Query, "cam_user", "cam_pwd"},
    {"/set_ddns.cgi", kF9, Page::SetDdns, Auth::Query, "loginuse", "loginpas"},
    {"/get_factory_param.cgi", kF9, Page::Factory, Auth::Query, "user", "pwd"},
    {"/upgrade_firmware.cgi", kF2, Page::UpgradeSystem, Auth::Query, "user", "pwd", true},
    {"/upgrade_htmls.cgi", kF2, Page::UpgradeWeb, Auth::Query, "user", "pwd", true},
    {"/upgrade_firmware.cgi", kF9, Page::UpgradeSystem, Auth::Query, "loginuse", "loginpas", true},
    {"/upgrade_htmls.cgi", kF9, Page::UpgradeWeb, Auth::Query, "loginuse", "loginpas", true},
    {"/cgi-bin/upgrade_firmware.cgi", kF8, Page::UpgradeSystem, Auth::Basic, nullptr, nullptr, true},
    {"/cgi-bin/upgrade_htmls.cgi", kF8, Page::UpgradeWeb, Auth::Basic, nullptr, nullptr, true},
};

unsigned familyBit(int family) {
  switch (family) {
    case 2: return kF2;
    case 5: return kF5;
    case 8: return kF8;
    case 9: return kF9;
    default: return 0;
  }
}

}  // namespace

std::vector<Endpoint> Simulator::endpoints() const {
  std::vector<Endpoint> out;
  if (!cfg_.tcp) return out;
  for (std::size_t i = 0; i < cams_.size(); ++i) {
    if (!answering(i)) continue;
    const CameraDef &d = cams_[i].def;
    switch (d.family) {
      case 5:
        out.push_back({d.ip, d.httpPort, i, TcpKind::Ctp});
        break;
      case 9:
        // Newer firmware takes its upload on 8600 whatever the web port.
        out.push_back({d.ip, d.httpPort, i, TcpKind::Web});
        if (d.httpPort != kPortT9) out.push_back({d.ip, kPortT9, i, TcpKind::Web});
        break;
      case 2:
      case 8:
      case 10:
        out.push_back({d.ip, d.httpPort, i, TcpKind::Web});
        break;
    }
  }
  return out;
}

std::uint64_t Simulator::openSession(const Endpoint &at) {
  const std::uint64_t id = nextSession_++;
  Session &s = sessions_[id];
  s.camera = at.camera;
  s.epoch = at.camera < cams_.size() ? cams_[at.camera].epoch : 0;
  s.kind = at.kind;
  s.ip = at.ip;
  s.port = at.port;
  if (at.camera < cams_.size() && at.kind == TcpKind::Ctp) {
    Camera &c = cams_[at.camera];
    // After "CMD exit" the next connection speaks the upload dialect.
    if (c.uploadModeUntil > now_) {
      s.upload = true;
      s.sniffed = true;
      c.uploadModeUntil = 0;
    }
  }
  ++stats_.tcpSessions;
  return id;
}

bool Simulator::sessionCurrent(std::uint64_t id) const {
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return false;
  const Session &s = it->second;
  return answering(s.camera) && cams_[s.camera].epoch == s.epoch;
}

void Simulator::sessionIdle(std::uint64_t id) {
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return;
  UploadState &u = it->second.up;
  if (u.unhashed.empty()) return;
  u.md5.add(reinterpret_cast<const std::uint8_t *>(u.unhashed.data()), u.unhashed.size());
  u.unhashed.clear();
}

void Simulator::sessionClosed(std::uint64_t id) {
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return;
  if (it->second.upload) finishUpload(it->second);
  sessions_.erase(it);
}

bool Simulator::sessionInput(std::uint64_t id, ByteView data, std::string &out) {
  auto it = sessions_.find(id);
  if (it == sessions_.end() || !sessionCurrent(id)) return false;
  Session &s = it->second;
  const std::size_t before = out.size();
  const bool keep = sessionDispatch(s, data, out);
  // A damaged answer, but never a damaged upload: its framing is the camera's own business.
  if (out.size() > before && !s.upload && mutateNow(s.camera)) mutateBytes(out, before, out.size() - before + 64);
  return keep;
}

bool Simulator::sessionDispatch(Session &s, ByteView data, std::string &out) {
  if (s.kind == TcpKind::Web) return httpInput(s, data, out);
  if (!s.sniffed) {
    // The device port of family 5 serves its web pages as well.
    s.in.append(reinterpret_cast<const char *>(data.data()), data.size());
    if (s.in.size() < 4) return true;
    s.sniffed = true;
    s.http = s.in.starts_with("GET ") || s.in.starts_with("POST") || s.in.starts_with("HEAD");
    if (s.http) {
      std::string first;
      first.swap(s.in);
      return httpInput(s, ByteView(reinterpret_cast<const std::uint8_t *>(first.data()), first.size()), out);
    }
    return ctpInput(s, out);
  }
  if (s.http) return httpInput(s, data, out);
  s.in.append(reinterpret_cast<const char *>(data.data()), data.size());
  return s.upload ? uploadInput(s, out) : ctpInput(s, out);
}

// ---- CTP/1.0 -------------------------------------------------------------------

bool Simulator::ctpInput(Session &s, std::string &out) {
  for (;;) {
    CtpRequest req;
    std::size_t consumed = 0;
    std::string problem;
    const CtpParse r = parseCtpRequest(s.in, cfg_.strict, req, consumed, problem);
    if (r == CtpParse::NeedMore) return true;
    if (r == CtpParse::Fatal) {
      note(cams_[s.camera].def.id + ": CTP stream cannot be read: " + problem);
      out += ctpReply(400, "Bad Request", {"-error " + problem});
      return false;
    }
    s.in.erase(0, consumed);
    if (r == CtpParse::Bad) {
      note(cams_[s.camera].def.id + ": CTP request refused: " + problem);
      out += ctpReply(400, "Bad Request", {"-error " + problem});
      continue;
    }
    bool close = false;
    out += ctpCommand(s, req, close);
    if (close) return false;
  }
}

std::string Simulator::ctpCommand(Session &s, const CtpRequest &req, bool &close) {
  ++stats_.ctpCommands;
  Camera &c = cams_[s.camera];
  CameraDef &d = c.def;
  note(d.id + ": CTP " + req.verb);
  auto arg = [&req](std::string_view name) { return findPair(req.args, name); };

  if (req.verb == "keepalive") return ctpReply(200, "OK");
  if (req.verb == "cfgusr") {
    const std::string *login = arg("login");
    if (!login) return ctpReply(400, "Bad Request", {"-error no -login"});
    const auto colon = login->find(':');
    const std::string user = login->substr(0, colon);
    const std::string pwd = colon == std::string::npos ? std::string() : login->substr(colon + 1);
    s.loggedIn = colon != std::string::npos && user == d.user && pwd == d.password;
    return s.loggedIn ? ctpReply(200, "OK") : ctpReply(401, "Unauthorized");
  }
  if (d.loginRequired && !s.loggedIn) return ctpReply(401, "Unauthorized");
  if (req.bareExit) {
    // Leave the command mode: the next connection brings a firmware package.
    if (!s.loggedIn) return ctpReply(401, "Unauthorized");
    c.uploadModeUntil = now_ + 60000;
    close = true;
    return ctpReply(200, "OK");
  }
  if (req.verb == "getoraystate") {
    if (d.orayStatus < 0) return ctpReply(200, "OK");
    return ctpReply(200, "OK", {"-status " + std::to_string(d.orayStatus)});
  }
  if (req.verb == "cfgwnic") {
    WifiSettings &w = d.wifi;
    if (arg("list"))
      return ctpReply(200, "OK", {"-enable " + std::to_string(w.enable), "-ssid " + w.ssid, "-authmode " + w.authmode,
                                  "-encryptype " + w.encryptype, "-key " + w.key,
                                  std::string("-dhcpen ") + (d.dhcp ? "1" : "0")});
    const std::string *enable = arg("enable"), *ssid = arg("ssid"), *authmode = arg("authmode"),
                      *encryptype = arg("encryptype"), *key = arg("key");
    if (cfg_.strict) {
      static const char *kOrder[] = {"enable", "ssid", "authmode", "encryptype", "key"};
      bool inOrder = req.args.size() == 5;
      for (std::size_t k = 0; inOrder && k < 5; ++k) inOrder = req.args[k].first == kOrder[k];
      if (!inOrder) return ctpReply(400, "Bad Request", {"-error expected -enable -ssid -authmode -encryptype -key"});
    }
    int en = w.enable;
    if (enable && !decimalInt(*enable, en)) return ctpReply(400, "Bad Request", {"-error -enable is not a number"});
    w.enable = en;
    if (ssid) w.ssid = *ssid;
    if (authmode) w.authmode = *authmode;
    if (encryptype) w.encryptype = *encryptype;
    if (key) w.key = *key;
    return ctpReply(200, "OK");
  }
  if (req.verb == "iwlist") {
    std::vector<std::string> lines;
    for (const AccessPoint &ap : d.aps) {
      const CtpSecurity sec = ctpSecurity(ap.security);
      lines.push_back(ap.ssid + "," + ap.mac + "," + std::to_string(sec.security) + "," + std::to_string(ap.mode) +
                      "," + std::to_string(sec.auth) + "," + std::to_string(sec.cipher) + "," +
                      std::to_string(ap.signal));
    }
    return ctpReply(200, "OK", lines);
  }
  if (req.verb == "restart") {
    close = true;
    restart(s.camera, d.restartMs);
    return ctpReply(200, "OK");
  }
  return ctpReply(404, "Not Found", {"-error unknown command " + req.verb});
}

// ---- Firmware upload -----------------------------------------------------------

bool Simulator::uploadInput(Session &s, std::string &out) {
  UploadState &u = s.up;
  for (;;) {
    UploadMessage m;
    std::size_t consumed = 0;
    std::string problem;
    const CtpParse r = parseUploadMessage(s.in, m, consumed, problem);
    if (r == CtpParse::NeedMore) return true;
    auto refuse = [&](const std::string &why) {
      note(cams_[s.camera].def.id + ": upload refused: " + why);
      u.failed = true;
      out += "REPLY ERROR\r\n";
      return false;
    };
    if (r != CtpParse::Done) return refuse(problem);
    s.in.erase(0, consumed);
    const bool inFile = !u.file.empty() && (u.fileGot < u.fileSize || u.awaitingDigest);
    if (!u.greeted) {
      if (m.tag != "CMD" || m.payload != "echo hello") return refuse("no greeting");
      u.greeted = true;
    } else if (m.tag == "FILE") {
      if (inFile) return refuse("a file header inside a file");
      const auto blank = m.payload.rfind(' ');
      std::size_t size = 0;
      if (blank == std::string::npos || blank == 0) return refuse("file header is not NAME SIZE");
      const std::string_view digits = std::string_view(m.payload).substr(blank + 1);
      auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
      if (digits.empty() || ec != std::errc() || p != digits.data() + digits.size())
        return refuse("file size is not a number");
      u.file = m.payload.substr(0, blank);
      u.fileSize = size;
      u.fileGot = 0;
      u.md5 = Md5();
      u.awaitingDigest = size == 0;
    } else if (m.tag == "DATA") {
      if (!inFile || u.awaitingDigest) return refuse("data outside a file");
      if (m.payload.size() > u.fileSize - u.fileGot) return refuse("more data than the file header said");
      if (cfg_.strict && m.payload.size() > 1400) return refuse("data chunk larger than 1400 bytes");
      // Hashed once the answer is out (sessionIdle), or before the digest is checked.
      u.unhashed += m.payload;
      u.fileGot += m.payload.size();
      u.awaitingDigest = u.fileGot == u.fileSize;
    } else if (m.tag == "MD5") {
      if (!u.awaitingDigest || m.payload.size() != 16) return refuse("digest out of place");
      u.md5.add(reinterpret_cast<const std::uint8_t *>(u.unhashed.data()), u.unhashed.size());
      u.unhashed.clear();
      const auto digest = u.md5.finish();
      if (!std::equal(digest.begin(), digest.end(), reinterpret_cast<const std::uint8_t *>(m.payload.data())))
        return refuse("digest of " + u.file + " differs");
      ++u.files;
      u.bytes += u.fileSize;
      u.summary += (u.summary.empty() ? "" : ",") + u.file;
      u.file.clear();
      u.awaitingDigest = false;
    } else if (m.tag == "CMD") {
      if (inFile) return refuse("a command inside a file");
      ++u.commands;
    }
    out += "REPLY OK\r\n";
  }
}

void Simulator::finishUpload(Session &s) {
  UploadState &u = s.up;
  if (!u.greeted) return;
  Camera &c = cams_[s.camera];
  UploadRecord rec;
  rec.page = "ctp";
  rec.fileName = u.summary;
  rec.size = u.bytes;
  rec.detail = "files=" + std::to_string(u.files) + " commands=" + std::to_string(u.commands);
  const bool inFile = !u.file.empty();
  rec.accepted = !u.failed && !inFile;
  c.uploads.push_back(rec);
  note(c.def.id + ": firmware package " + (rec.accepted ? "taken" : "refused") + ", " + rec.detail);
  // The new firmware starts: the camera is away for its restart time.
  if (rec.accepted && s.epoch == c.epoch && answering(s.camera)) restart(s.camera, c.def.restartMs);
}

// ---- CGI pages -----------------------------------------------------------------

bool Simulator::httpInput(Session &s, ByteView data, std::string &out) {
  const HttpParser::State st =
      s.parser.feed(std::string_view(reinterpret_cast<const char *>(data.data()), data.size()));
  if (st == HttpParser::State::Error) {
    out += httpResponse("HTTP/1.0", s.parser.errorStatus(), htmlPage(s.parser.errorText()));
    return false;
  }
  if (st == HttpParser::State::NeedMore) {
    if (s.parser.wantsContinue() && !s.continueSent) {
      out += "HTTP/1.1 100 Continue\r\n\r\n";
      s.continueSent = true;
    }
    return true;
  }
  ++stats_.httpRequests;
  HttpRequest &req = s.parser.request();
  int status = 200;
  std::string body, extra, contentType = "text/html";
  bool restartAfter = false;
  std::function<void()> after;
  if (cams_[s.camera].def.family == 10) onvifPage(s, req, status, body, contentType, extra, after);
  else cgiPage(s, req, status, body, extra, restartAfter);
  note(cams_[s.camera].def.id + ": " + req.method + " " + req.target + " -> " + std::to_string(status));
  out += httpResponse(req.version, status, body, extra, contentType);
  if (restartAfter) restart(s.camera, cams_[s.camera].def.restartMs);
  if (after) after();
  return false;
}

void Simulator::cgiPage(Session &s, HttpRequest &req, int &status, std::string &body, std::string &extraHeaders,
                        bool &restartAfter) {
  Camera &c = cams_[s.camera];
  CameraDef &d = c.def;
  const unsigned bit = familyBit(d.family);
  const PageEntry *entry = nullptr;
  for (const PageEntry &p : kPages)
    if ((p.families & bit) && req.path == p.path) {
      entry = &p;
      break;
    }
  if (!entry) {
    status = 404;
    body = htmlPage("404 Not Found");
    return;
  }
  if ((entry->post && req.method != "POST") || (!entry->post && req.method != "GET" && req.method != "HEAD")) {
    status = 405;
    body = htmlPage("405 Method Not Allowed");
    extraHeaders = entry->post ? "Allow: POST\r\n" : "Allow: GET\r\n";
    return;
  }

  const Pairs query = parseQuery(req.query);
  auto q = [&query](std::string_view key) { return findPair(query, key); };
  if (entry->auth != Auth::Public) {
    // The query's login where the page takes one, else Basic; a request
    // without any login gets in only while the camera's password is empty.
    bool ok;
    const std::string *user = entry->userKey ? q(entry->userKey) : nullptr;
    if (entry->auth == Auth::Query && user) {
      const std::string *pwd = q(entry->pwdKey);
      ok = *user == d.user && (pwd ? *pwd : std::string()) == d.password;
    } else if (auto basic = basicCredentials(req)) {
      ok = basic->first == d.user && basic->second == d.password;
    } else {
      ok = d.password.empty();
    }
    if (!ok) {
      // Family 9 answers its reading pages with a text, as its driver expects.
      if (d.family == 9 && entry->auth == Auth::Query && !entry->post) {
        body = "Auth Failed\r\n";
      } else {
        status = 401;
        extraHeaders = "WWW-Authenticate: Basic realm=\"" + d.name + "\"\r\n";
        body = htmlPage("401 Unauthorized");
      }
      return;
    }
  }

  const WifiSettings &w = d.wifi;
  auto var = [&body](const std::string &name, const std::string &value) { body += "var " + name + "=" + value + ";\r\n"; };
  auto text = [](const std::string &v) { return "'" + v + "'"; };
  auto num = [](long v) { return std::to_string(v); };
  switch (entry->page) {
    case Page::Index:
      body = "<html><head><title>" + d.name + "</title></head><body><h1>" + d.name + "</h1></body></html>\r\n";
      return;
    case Page::Status:
      var("id", "\"" + d.sn + "\"");
      var("sys_ver", "\"" + d.version + "\"");
      var("alias", "\"" + d.name + "\"");
      return;
    case Page::Params:
      // Plain names come before the names that begin with them
      // (wifi_key1 before wifi_key1_bits): readers take the first match.
      var("id", text(d.sn));
      var("sys_ver", text(d.version));
      var("alias", text(d.name));
      var("ip", text(ipv4Text(d.ip)));
      var("mask", text(ipv4Text(d.mask)));
      var("gateway", text(ipv4Text(d.gateway)));
      var("dns1", text(ipv4Text(d.dns1)));
      var("dns2", text(ipv4Text(d.dns2)));
      var("port", num(d.httpPort));
      var("dhcpen", num(d.dhcp ? 1 : 0));
      var("wifi_enable", num(w.enable));
      var("wifi_ssid", text(w.ssid));
      var("wifi_mode", num(w.mode));
      var("wifi_encrypt", num(w.encrypt));
      var("wifi_authtype", num(w.authtype));
      var("wifi_defkey", num(w.defkey));
      var("wifi_keyformat", num(w.keyformat));
      for (int k = 0; k < 4; ++k) var("wifi_key" + num(k + 1), text(w.wepKeys[k]));
      for (int k = 0; k < 4; ++k) var("wifi_key" + num(k + 1) + "_bits", num(w.wepBits[k]));
      var("wifi_wpa_psk", text(w.key));
      var("wifi_channel", num(w.channel));
      var("ddns_service", d.ddnsService);
      var("ddns_proxy_svr", text(d.ddnsServer));
      var("ddns_proxy_port", num(d.ddnsPort));
      var("ddns_user", text(d.ddnsUser));
      var("ddns_pwd", text(d.ddnsPassword));
      return;
    case Page::WifiScan:
      body = "var result=\"ok\";\r\n";
      return;
    case Page::WifiResult: {
      var("ap_number", num(static_cast<long>(d.aps.size())));
      // Family 8's reader looks for "ap_ssid[i] " with a blank after it.
      const std::string ssidSep = d.family == 8 ? " =" : "=";
      for (std::size_t i = 0; i < d.aps.size(); ++i) {
        const AccessPoint &ap = d.aps[i];
        const std::string n = "[" + std::to_string(i) + "]";
        body += "var ap_ssid" + n + ssidSep + "\"" + ap.ssid + "\";\r\n";
        var("ap_mac" + n, "\"" + ap.mac + "\"");
        var("ap_security" + n, num(cgiSecurityIndex(ap.security)));
        var("ap_dbm0" + n, "'" + num(ap.signal) + "'");
        var("ap_dbm1" + n, "'" + num(ap.signal / 2 - 100) + "'");
        var("ap_mode" + n, num(ap.mode));
      }
      return;
    }
    case Page::SetWifi: {
      WifiSettings next = w;
      bool good = true;
      auto intParam = [&](const char *key, int &dst) {
        if (const std::string *v = q(key)) {
          int n = 0;
          if (decimalInt(*v, n)) dst = n;
          else if (cfg_.strict) good = false;
          else dst = 0;
        }
      };
      auto textParam = [&](const char *key, std::string &dst) {
        if (const std::string *v = q(key)) dst = *v;
      };
      intParam("channel", next.channel);
      intParam("enable", next.enable);
      textParam("ssid", next.ssid);
      intParam("mode", next.mode);
      intParam("encrypt", next.encrypt);
      intParam("authtype", next.authtype);
      intParam("keyformat", next.keyformat);
      intParam("defkey", next.defkey);
      for (int k = 0; k < 4; ++k) {
        const std::string key = "key" + num(k + 1), bits = key + "_bits";
        textParam(key.c_str(), next.wepKeys[k]);
        intParam(bits.c_str(), next.wepBits[k]);
      }
      textParam("wpa_psk", next.key);
      if (!good) {
        status = 400;
        body = htmlPage("400 Bad Request: a number is not a number");
        return;
      }
      d.wifi = next;
      const std::string *nextUrl = q("next_url");
      body = htmlPage("Settings saved; they take effect after a reboot.", nextUrl ? *nextUrl : "rebootme.htm");
      return;
    }
    case Page::Reboot: {
      const std::string *nextUrl = q("next_url");
      body = htmlPage("The camera reboots.", nextUrl ? *nextUrl : "reboot.htm");
      restartAfter = true;
      return;
    }
    case Page::SetDdns: {
      CameraDef next = d;
      if (auto *v = q("service")) next.ddnsService = *v;
      if (auto *v = q("user")) next.ddnsUser = *v;
      if (auto *v = q("pwd")) next.ddnsPassword = *v;
      if (auto *v = q("host"); v && d.family == 9) next.ddnsHost = *v;
      if (auto *v = q("proxy_svr")) next.ddnsServer = *v;
      if (auto *v = q("proxy_port")) {
        int port = 0;
        if (!v->empty() && (!decimalInt(*v, port) || port < 0 || port > 65535)) {
          status = 400;
          body = htmlPage("400 Bad Request: proxy_port");
          return;
        }
        if (!v->empty()) next.ddnsPort = static_cast<std::uint16_t>(port);
      }
      // The search replies carry these texts in fields of fixed size.
      const std::size_t server = d.family == 2 ? limits::kMoIDdns : limits::kT9DdnsServer;
      const std::size_t user = d.family == 2 ? limits::kMoIDdns : limits::kT9DdnsUser;
      const std::size_t pwd = d.family == 2 ? limits::kMoIDdns : limits::kT9DdnsPwd;
      if (next.ddnsServer.size() > server || next.ddnsUser.size() > user || next.ddnsPassword.size() > pwd ||
          next.ddnsHost.size() > limits::kT9DdnsHost) {
        status = 400;
        body = htmlPage("400 Bad Request: value too long");
        return;
      }
      d = std::move(next);
      rebuild(s.camera);
      body = "ok\r\n";
      return;
    }
    case Page::Factory:
      body = "var factory_index=" + d.factoryIndex + ";\r\n";
      var("factory_server", text(d.ddnsServer));
      var("factory_port", num(d.ddnsPort));
      var("factory_user", text(d.ddnsUser));
      var("factory_passwd", text(d.ddnsPassword));
      return;
    case Page::UpgradeSystem:
    case Page::UpgradeWeb: {
      const auto files = multipartFiles(req);
      auto file = std::find_if(files.begin(), files.end(), [](const FilePart &f) { return f.fieldName == "file"; });
      UploadRecord rec;
      rec.page = entry->path;
      if (file == files.end()) {
        status = 400;
        body = htmlPage("400 Bad Request: no file part named file");
        rec.detail = "no-file-part";
        c.uploads.push_back(rec);
        return;
      }
      rec.fileName = file->fileName;
      rec.size = file->data.size();
      rec.detail = file->contentType.empty() ? "-" : file->contentType;
      // Family 2 looks at the first four bytes of what it is given.
      static const std::string kSystem = "BNEG", kWeb = "\xBD\x9A\x0C\x44";
      const std::string &magic = entry->page == Page::UpgradeSystem ? kSystem : kWeb;
      rec.accepted = d.family != 2 || file->data.substr(0, 4) == magic;
      c.uploads.push_back(rec);
      if (!rec.accepted) {
        status = 400;
        body = htmlPage("400 Bad Request: not a firmware file of this kind");
        return;
      }
      const std::string *nextUrl = q("next_url");
      body = htmlPage("Upgrade complete; the camera reboots.", nextUrl ? *nextUrl : "reboot.htm");
      restartAfter = true;
      return;
    }
  }
}

}  // namespace lansim
