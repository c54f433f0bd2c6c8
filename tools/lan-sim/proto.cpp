#include "proto.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "wire.h"

namespace lansim {

namespace {

std::string lowerText(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool decimal(std::string_view s, std::size_t limit, std::size_t &out) {
  if (s.empty() || s.size() > 12) return false;
  std::size_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v > limit) return false;
  out = v;
  return true;
}

// A parameter of a header value such as `boundary=x` or `name="file"`.
std::string headerParam(std::string_view value, std::string_view name) {
  std::size_t pos = 0;
  while (pos < value.size()) {
    auto semi = value.find(';', pos);
    std::string_view part = trimmed(value.substr(pos, semi == std::string_view::npos ? semi : semi - pos));
    pos = semi == std::string_view::npos ? value.size() : semi + 1;
    auto eq = part.find('=');
    if (eq == std::string_view::npos || lowerText(trimmed(part.substr(0, eq))) != name) continue;
    std::string_view v = trimmed(part.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
  }
  return {};
}

}  // namespace

const std::string *findPair(const Pairs &pairs, std::string_view key) {
  for (const auto &[k, v] : pairs)
    if (k == key) return &v;
  return nullptr;
}

Pairs parseQuery(std::string_view query) {
  Pairs out;
  std::size_t pos = 0;
  while (pos <= query.size() && !query.empty()) {
    auto amp = query.find('&', pos);
    std::string_view part = query.substr(pos, amp == std::string_view::npos ? amp : amp - pos);
    pos = amp == std::string_view::npos ? query.size() + 1 : amp + 1;
    if (part.empty()) continue;
    auto eq = part.find('=');
    out.emplace_back(percentDecode(part.substr(0, eq), true),
                     eq == std::string_view::npos ? std::string() : percentDecode(part.substr(eq + 1), true));
  }
  return out;
}

HttpParser::State HttpParser::error(int status, std::string text) {
  errorStatus_ = status;
  errorText_ = std::move(text);
  return state_ = State::Error;
}

HttpParser::State HttpParser::feed(std::string_view data) {
  if (state_ != State::NeedMore) return state_;
  buf_.append(data);
  if (!headDone_) {
    State s = parseHead();
    if (s != State::NeedMore || !headDone_) return s;
  }
  return parseBody();
}

HttpParser::State HttpParser::parseHead() {
  auto end = buf_.find("\r\n\r\n");
  std::size_t sep = 4;
  if (end == std::string::npos) {
    end = buf_.find("\n\n");
    sep = 2;
  }
  if (end == std::string::npos) {
    if (buf_.size() > kMaxHttpHead) return error(431, "request head too large");
    return State::NeedMore;
  }
  if (end > kMaxHttpHead) return error(431, "request head too large");
  const std::string head = buf_.substr(0, end);
  pos_ = end + sep;
  headDone_ = true;

  std::vector<std::string_view> lines;
  std::string_view h(head);
  for (std::size_t p = 0; p <= h.size();) {
    auto nl = h.find('\n', p);
    std::string_view line = h.substr(p, nl == std::string_view::npos ? nl : nl - p);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    p = nl + 1;
  }
  const std::string_view requestLine = lines.front();
  const auto b1 = requestLine.find(' ');
  const auto b2 = b1 == std::string_view::npos ? b1 : requestLine.find(' ', b1 + 1);
  if (b2 == std::string_view::npos || requestLine.find(' ', b2 + 1) != std::string_view::npos)
    return error(400, "malformed request line");
  req_.method = requestLine.substr(0, b1);
  req_.target = requestLine.substr(b1 + 1, b2 - b1 - 1);
  req_.version = requestLine.substr(b2 + 1);
  if (req_.version != "HTTP/1.0" && req_.version != "HTTP/1.1") return error(505, "HTTP version not supported");
  std::string_view target(req_.target);
  if (lowerText(target.substr(0, 7)) == "http://") {
    auto slash = target.find('/', 7);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  if (!target.starts_with('/')) return error(400, "request target is not a path");
  const auto q = target.find('?');
  std::string_view rawPath = target.substr(0, q);
  req_.query = q == std::string_view::npos ? "" : std::string(target.substr(q + 1));
  // Web servers of cameras read "//page.cgi" as "/page.cgi".
  for (char c : percentDecode(rawPath, false))
    if (!(c == '/' && !req_.path.empty() && req_.path.back() == '/')) req_.path += c;

  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto colon = lines[i].find(':');
    if (colon == std::string_view::npos || colon == 0) return error(400, "malformed header line");
    req_.headers.emplace_back(lowerText(trimmed(lines[i].substr(0, colon))),
                              std::string(trimmed(lines[i].substr(colon + 1))));
  }
  if (auto *te = req_.header("transfer-encoding")) {
    if (lowerText(*te) != "chunked") return error(501, "transfer coding not supported");
    chunked_ = true;
  } else if (auto *cl = req_.header("content-length")) {
    if (!decimal(*cl, kMaxHttpBody, contentLength_)) return error(413, "body too large or length not a number");
  }
  if (auto *ex = req_.header("expect")) expectContinue_ = lowerText(*ex) == "100-continue";
  return State::NeedMore;
}

HttpParser::State HttpParser::parseBody() {
  if (!chunked_) {
    if (buf_.size() - pos_ < contentLength_) return State::NeedMore;
    req_.body = buf_.substr(pos_, contentLength_);
    buf_.clear();
    return state_ = State::Done;
  }
  for (;;) {
    const auto eol = buf_.find("\r\n", pos_);
    if (eol == std::string::npos) {
      if (buf_.size() - pos_ > 1024) return error(400, "chunk size line too long");
      break;
    }
    std::string_view line(buf_.data() + pos_, eol - pos_);
    line = line.substr(0, line.find(';'));
    std::size_t size = 0;
    auto [p, ec] = std::from_chars(line.data(), line.data() + line.size(), size, 16);
    if (line.empty() || ec != std::errc() || p != line.data() + line.size())
      return error(400, "chunk size is not a number");
    if (size > kMaxHttpBody - req_.body.size()) return error(413, "body too large");
    if (size == 0) {
      // The last chunk: trailers, if any, end with an empty line.
      const std::size_t rest = eol + 2;
      if (buf_.compare(rest, 2, "\r\n") == 0) return state_ = State::Done;
      if (buf_.find("\r\n\r\n", rest) != std::string::npos) return state_ = State::Done;
      break;
    }
    if (buf_.size() - (eol + 2) < size + 2) break;
    if (buf_.compare(eol + 2 + size, 2, "\r\n") != 0) return error(400, "chunk not followed by CR LF");
    req_.body.append(buf_, eol + 2, size);
    pos_ = eol + 2 + size + 2;
  }
  if (pos_ > (1u << 20)) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  return State::NeedMore;
}

std::optional<std::pair<std::string, std::string>> basicCredentials(const HttpRequest &req) {
  const std::string *auth = req.header("authorization");
  if (!auth) return std::nullopt;
  std::string_view v(*auth);
  const auto blank = v.find(' ');
  if (blank == std::string_view::npos || lowerText(v.substr(0, blank)) != "basic") return std::nullopt;
  auto decoded = base64Decode(trimmed(v.substr(blank + 1)));
  if (!decoded) return std::nullopt;
  const auto colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

std::vector<FilePart> multipartFiles(const HttpRequest &req) {
  std::vector<FilePart> out;
  const std::string *type = req.header("content-type");
  if (!type || lowerText(*type).rfind("multipart/form-data", 0) != 0) return out;
  const std::string boundary = headerParam(*type, "boundary");
  if (boundary.empty()) return out;
  const std::string delimiter = "--" + boundary;
  std::string_view body(req.body);
  auto pos = body.find(delimiter);
  while (pos != std::string_view::npos) {
    pos += delimiter.size();
    if (body.substr(pos, 2) == "--") break;
    if (body.substr(pos, 2) != "\r\n") break;
    pos += 2;
    const auto headEnd = body.find("\r\n\r\n", pos);
    if (headEnd == std::string_view::npos) break;
    const auto next = body.find("\r\n" + delimiter, headEnd + 4);
    if (next == std::string_view::npos) break;
    FilePart part;
    std::string_view heads = body.substr(pos, headEnd - pos);
    bool hasFileName = false;
    for (std::size_t p = 0; p <= heads.size();) {
      auto nl = heads.find("\r\n", p);
      std::string_view line = heads.substr(p, nl == std::string_view::npos ? nl : nl - p);
      p = nl == std::string_view::npos ? heads.size() + 1 : nl + 2;
      auto colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      const std::string name = lowerText(trimmed(line.substr(0, colon)));
      const std::string_view value = trimmed(line.substr(colon + 1));
      if (name == "content-disposition") {
        part.fieldName = headerParam(value, "name");
        part.fileName = headerParam(value, "filename");
        hasFileName = value.find("filename=") != std::string_view::npos;
      } else if (name == "content-type") {
        part.contentType = value;
      }
    }
    part.data = body.substr(headEnd + 4, next - headEnd - 4);
    if (hasFileName) out.push_back(part);
    pos = next + 2;
  }
  return out;
}

CtpParse parseCtpRequest(std::string_view buf, bool strict, CtpRequest &out, std::size_t &consumed,
                         std::string &problem) {
  constexpr std::size_t kMaxHead = 4096, kMaxBody = 65536;
  out = CtpRequest{};
  const auto eol = buf.find("\r\n");
  if (eol == std::string_view::npos) {
    if (buf.size() > kMaxHead) return problem = "request line too long", CtpParse::Fatal;
    return CtpParse::NeedMore;
  }
  const std::string_view line = buf.substr(0, eol);
  if (!line.starts_with("CMD ") || !line.ends_with(" CTP/1.0") || line.size() <= 12)
    return problem = "not a CTP/1.0 command line", CtpParse::Fatal;
  out.verb = line.substr(4, line.size() - 12);
  if (out.verb.find(' ') != std::string::npos) return problem = "blank inside the verb", CtpParse::Fatal;
  if (out.verb == "exit") {
    out.bareExit = true;
    consumed = eol + 2;
    return CtpParse::Done;
  }

  std::size_t pos = eol + 2, headers = 0;
  std::optional<std::size_t> length;
  bool strictHead = true;
  for (;;) {
    const auto end = buf.find("\r\n", pos);
    if (end == std::string_view::npos) {
      if (buf.size() > kMaxHead) return problem = "request head too long", CtpParse::Fatal;
      return CtpParse::NeedMore;
    }
    const std::string_view h = buf.substr(pos, end - pos);
    pos = end + 2;
    if (h.empty()) break;
    ++headers;
    const auto colon = h.find(':');
    if (colon == std::string_view::npos) return problem = "header line without a colon", CtpParse::Fatal;
    const std::string_view name = h.substr(0, colon), value = h.substr(colon + 1);
    if (lowerText(name) != "content-length") {
      strictHead = false;
      continue;
    }
    std::size_t n = 0;
    if (!decimal(trimmed(value), kMaxBody, n)) return problem = "Content-Length is not a number", CtpParse::Fatal;
    if (name != "Content-Length" || value != trimmed(value) || value.empty()) strictHead = false;
    length = n;
  }
  if (!length && strict) return problem = "command without Content-Length", CtpParse::Fatal;
  const std::size_t n = length.value_or(0);
  if (buf.size() - pos < n) return CtpParse::NeedMore;
  const std::string_view body = buf.substr(pos, n);
  consumed = pos + n;

  if (strict) {
    if (!strictHead || headers != 1)
      return problem = "header must be Content-Length:N and nothing else", CtpParse::Bad;
    if (!(body == "\r\n" || (body.ends_with("\r\n\r\n") && !body.starts_with("\r\n"))))
      return problem = "body not closed by one empty line", CtpParse::Bad;
  }
  for (std::size_t p = 0; p < body.size();) {
    auto end = body.find("\r\n", p);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view arg = body.substr(p, end - p);
    p = end + 2;
    if (arg.empty()) continue;
    if (!arg.starts_with('-')) {
      if (strict) return problem = "argument line without a dash", CtpParse::Bad;
      continue;
    }
    const auto blank = arg.find(' ');
    out.args.emplace_back(std::string(arg.substr(1, blank == std::string_view::npos ? blank : blank - 1)),
                          blank == std::string_view::npos ? std::string() : std::string(arg.substr(blank + 1)));
  }
  return CtpParse::Done;
}

CtpParse parseUploadMessage(std::string_view buf, UploadMessage &out, std::size_t &consumed, std::string &problem) {
  constexpr std::size_t kMaxPayload = 1u << 20;
  const auto eol = buf.find("\r\n");
  if (eol == std::string_view::npos) {
    if (buf.size() > 64) return problem = "message line too long", CtpParse::Fatal;
    return CtpParse::NeedMore;
  }
  const std::string_view line = buf.substr(0, eol);
  const auto blank = line.find(' ');
  std::size_t n = 0;
  if (blank == std::string_view::npos || !decimal(line.substr(blank + 1), kMaxPayload, n))
    return problem = "message line is not TAG LENGTH", CtpParse::Fatal;
  out.tag = line.substr(0, blank);
  if (out.tag != "CMD" && out.tag != "FILE" && out.tag != "DATA" && out.tag != "MD5")
    return problem = "unknown message " + out.tag, CtpParse::Fatal;
  if (buf.size() - eol - 2 < n) return CtpParse::NeedMore;
  out.payload = buf.substr(eol + 2, n);
  consumed = eol + 2 + n;
  return CtpParse::Done;
}

}  // namespace lansim
