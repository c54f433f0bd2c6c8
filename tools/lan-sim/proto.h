// Framing of the TCP dialects a camera speaks: HTTP requests for the CGI
// pages, CTP/1.0 commands and the firmware-upload messages. Input is
// collected piece by piece as it arrives; nothing here trusts a length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lansim {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// First value of a key; nullptr when absent.
const std::string *findPair(const Pairs &pairs, std::string_view key);

// "a=1&b=%41": percent-decoded pairs in order ("+" is a blank); a part
// without "=" is a key with an empty value.
Pairs parseQuery(std::string_view query);

struct HttpRequest {
  std::string method, target, version, path, query;
  Pairs headers;  // names in lower case
  std::string body;
  const std::string *header(std::string_view lowerName) const { return findPair(headers, lowerName); }
};

inline constexpr std::size_t kMaxHttpHead = 16 * 1024;
inline constexpr std::size_t kMaxHttpBody = 64u << 20;

// One request: request line, headers, and a body by Content-Length or
// chunked transfer coding.
class HttpParser {
 public:
  enum class State { NeedMore, Done, Error };
  State feed(std::string_view data);
  // Headers are in, the client waits for "100 Continue" before the body.
  bool wantsContinue() const { return headDone_ && expectContinue_ && state_ == State::NeedMore; }
  int errorStatus() const { return errorStatus_; }
  const std::string &errorText() const { return errorText_; }
  HttpRequest &request() { return req_; }

 private:
  State error(int status, std::string text);
  State parseHead();
  State parseBody();
  std::string buf_;
  std::size_t pos_ = 0;  // consumed part of buf_ once the head is read
  bool headDone_ = false, expectContinue_ = false, chunked_ = false;
  std::size_t contentLength_ = 0;
  State state_ = State::NeedMore;
  int errorStatus_ = 0;
  std::string errorText_;
  HttpRequest req_;
};

// "user:password" of an "Authorization: Basic" header.
std::optional<std::pair<std::string, std::string>> basicCredentials(const HttpRequest &req);

struct FilePart {
  std::string fieldName, fileName, contentType;
  std::string_view data;
};
// The parts of a multipart/form-data body that carry a file name.
std::vector<FilePart> multipartFiles(const HttpRequest &req);

// One CTP/1.0 request over TCP.
struct CtpRequest {
  std::string verb;
  Pairs args;      // "-name value" lines, the dash dropped
  bool bareExit = false;  // "CMD exit CTP/1.0" alone, as the upload sends it
};

enum class CtpParse { NeedMore, Done, Bad, Fatal };

// Reads one request from the front of buf. Done and Bad set consumed (Bad:
// answer with 400 and go on); Fatal means the stream cannot be framed any
// more. strict: the framing must be exactly what the program sends.
CtpParse parseCtpRequest(std::string_view buf, bool strict, CtpRequest &out, std::size_t &consumed,
                         std::string &problem);

// One message of the upload dialect: "TAG LENGTH\r\n" and LENGTH bytes.
struct UploadMessage {
  std::string tag;
  std::string payload;
};
CtpParse parseUploadMessage(std::string_view buf, UploadMessage &out, std::size_t &consumed, std::string &problem);

}  // namespace lansim
