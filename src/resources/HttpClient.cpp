// HTTP GET for HttpGetText, HttpGetAuth and UrlGetOk, and the POST of HttpPost, on libcurl.
//
// Each call owns its easy and multi handle, so any thread may call. The transfer is driven
// through the multi interface so that the receive time-out ("no byte for N ms") can be checked
// every few milliseconds; curl_easy_perform would only let us look about once a second.

#include "Tools.h"

#include <QFile>
#include <QStringDecoder>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qsizetype kTextLimit = 512000;
// Camera CGI answers and pages are small; anything beyond this is not an answer we want.
constexpr qsizetype kAnswerLimit = 8 * 1024 * 1024;
constexpr int kUrlCheckTimeoutMs = 20000;
// Longest single wait of the transfer loop; bounds how late a receive time-out is noticed.
constexpr int kPollSliceMs = 20;

void GlobalInitOnce() {
    static std::once_flag once;
    // Never cleaned up: worker threads may still be inside a transfer while the process exits.
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

enum class BodyLimit {
    Truncate,  // keep the first maxBody bytes, stop receiving, count it as success
    Fail,      // more than maxBody bytes is a failure
};

struct Request {
    QString url;
    QString authUser;       // Basic header when authUser is not empty
    QString authPassword;
    int connectTimeoutMs = 0;  // <= 0: no limit of our own
    int receiveTimeoutMs = 0;  // <= 0: no limit of our own
    qsizetype maxBody = kAnswerLimit;
    BodyLimit limit = BodyLimit::Fail;
    bool keepBody = true;
    QFile* sink = nullptr;          // set: the body goes into this file instead of memory
    bool followRedirects = false;
    std::function<bool()> cancelled;  // asked every poll slice; true ends the transfer
    bool post = false;         // POST postBody instead of GET
    QByteArray postBody;
    QByteArray contentType;    // of the POST body
};

struct Reply {
    bool completed = false;  // transport-level success; the status is for the caller to judge
    long status = 0;
    bool truncated = false;
    QByteArray body;
};

struct Transfer {
    const Request* request = nullptr;
    QByteArray body;
    qsizetype received = 0;
    bool limitHit = false;
    bool sinkFailed = false;
    bool connected = false;
    Clock::time_point lastActivity;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->lastActivity = Clock::now();
    const qsizetype room = t->request->maxBody - t->received;
    if (qsizetype(n) > room) {
        // Take what still fits, then make curl stop by reporting a short write.
        if (t->request->keepBody && room > 0)
            t->body.append(data, room);
        t->received = t->request->maxBody;
        t->limitHit = true;
        return 0;
    }
    if (QFile* sink = t->request->sink) {
        if (sink->write(data, qint64(n)) != qint64(n)) {
            t->sinkFailed = true;
            return 0;
        }
    } else if (t->request->keepBody) {
        t->body.append(data, qsizetype(n));
    }
    t->received += qsizetype(n);
    return n;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Transfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// Called once the connection stands; from here on silence counts against the receive time-out.
int OnConnected(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->connected = true;
    t->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Callers put user input (passwords included) into query strings as it stands; curl refuses
// blanks and control characters in a URL, so those and non-ASCII bytes are escaped here.
QByteArray EscapeUrl(const QString& url) {
    const QByteArray raw = url.toUtf8();
    QByteArray out;
    out.reserve(raw.size());
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            out.append('%');
            out.append(kHex[b >> 4]);
            out.append(kHex[b & 15]);
        } else {
            out.append(c);
        }
    }
    return out;
}

// Proxies from the environment as curl reads them, but loopback always goes direct. Setting
// CURLOPT_NOPROXY replaces curl's own reading of no_proxy, so that list is carried over.
QByteArray NoProxyList() {
    QByteArray list = qgetenv("no_proxy");
    if (list.isEmpty())
        list = qgetenv("NO_PROXY");
    list = list.trimmed();
    if (list == "*")
        return list;
    if (!list.isEmpty())
        list.append(',');
    list.append("localhost,127.0.0.0/8,::1");
    return list;
}

QByteArray AuthorizationHeader(const Request& r) {
    if (r.authUser.isEmpty())
        return QByteArray();
    // The encoder breaks long output into lines; a header value must stay on one line.
    QString encoded = Base64Encode((r.authUser + QLatin1Char(':') + r.authPassword).toUtf8());
    encoded.remove(QLatin1Char('\r'));
    encoded.remove(QLatin1Char('\n'));
    return "Authorization: Basic " + encoded.toLatin1();
}

Reply Perform(const Request& request) {
    GlobalInitOnce();
    Reply reply;

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* headers = nullptr;
    if (!easy || !multi) {
        if (multi)
            curl_multi_cleanup(multi);
        if (easy)
            curl_easy_cleanup(easy);
        return reply;
    }

    Transfer t;
    t.request = &request;
    t.lastActivity = Clock::now();

    const QByteArray url = EscapeUrl(request.url);
    const QByteArray noProxy = NoProxyList();
    const QByteArray auth = AuthorizationHeader(request);
    const QByteArray contentType = "Content-Type: " + request.contentType;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    if (!auth.isEmpty())
        headers = curl_slist_append(headers, auth.constData());
    if (request.post) {
        headers = curl_slist_append(headers, contentType.constData());
        // Cameras do not all answer "100 Continue"; waiting for it would only cost time.
        headers = curl_slist_append(headers, "Expect:");
    }

    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (request.post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.postBody.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.postBody.size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "MyIP");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    if (request.followRedirects) {
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    }
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.constData());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &t);
    if (request.connectTimeoutMs > 0)
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(request.connectTimeoutMs));

    bool timedOut = false;
    bool cancelled = false;
    CURLcode result = CURLE_FAILED_INIT;
    if (curl_multi_add_handle(multi, easy) == CURLM_OK) {
        const auto receiveTimeout = std::chrono::milliseconds(request.receiveTimeoutMs);
        int running = 1;
        while (running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (!running)
                break;
            if (request.cancelled && request.cancelled()) {
                cancelled = true;
                break;
            }
            int waitMs = kPollSliceMs;
            if (request.receiveTimeoutMs > 0 && t.connected) {
                const auto idle = Clock::now() - t.lastActivity;
                if (idle >= receiveTimeout) {
                    timedOut = true;
                    break;
                }
                const long long left =
                    std::chrono::ceil<std::chrono::milliseconds>(receiveTimeout - idle).count();
                waitMs = int(std::max(1LL, std::min<long long>(left, kPollSliceMs)));
            }
            if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
                break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
                result = msg->data.result;
        }
        curl_multi_remove_handle(multi, easy);
    }

    if (!timedOut && !cancelled && !t.sinkFailed) {
        const bool stoppedAtLimit = t.limitHit && result == CURLE_WRITE_ERROR;
        if (result == CURLE_OK || (stoppedAtLimit && request.limit == BodyLimit::Truncate)) {
            reply.completed = true;
            reply.truncated = stoppedAtLimit;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);
            reply.body = std::move(t.body);
        }
    }

    curl_multi_cleanup(multi);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    return reply;
}

// Length of bytes without an incomplete UTF-8 sequence at its end (left by a cut at the limit).
qsizetype WithoutCutSequence(const QByteArray& bytes) {
    const qsizetype n = bytes.size();
    for (qsizetype i = n - 1; i >= 0 && i >= n - 4; --i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if ((b & 0xC0) == 0x80)
            continue;  // continuation byte: keep looking for the lead byte
        const qsizetype need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return i + need > n ? i : n;
    }
    return n;
}

// UTF-8 when the bytes are valid UTF-8, else Latin-1.
QString BodyToText(const QByteArray& body, bool truncated) {
    const QByteArray candidate = truncated ? body.left(WithoutCutSequence(body)) : body;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(candidate);
    if (decoder.hasError())
        return QString::fromLatin1(body);
    return text;
}

}  // namespace

bool TTools::HttpGetBytes(const QString& url, const QString& user, const QString& password,
                          int timeoutMs, QByteArray& body) {
    body.clear();
    Request r;
    r.url = url;
    if (!user.isEmpty() && !password.isEmpty()) {
        r.authUser = user;
        r.authPassword = password;
    }
    r.connectTimeoutMs = timeoutMs;
    r.receiveTimeoutMs = timeoutMs;
    r.maxBody = kTextLimit;
    r.limit = BodyLimit::Truncate;
    Reply reply = Perform(r);
    if (!reply.completed)
        return false;
    const qsizetype zero = reply.body.indexOf('\0');
    if (zero >= 0)
        reply.body.truncate(zero);
    body = std::move(reply.body);
    return true;
}

bool TTools::HttpGetText(const QString& url, const QString& user, const QString& password,
                         int timeoutMs, QString& text, const std::function<bool()>& cancelled) {
    text.clear();
    Request r;
    r.url = url;
    r.cancelled = cancelled;
    if (!user.isEmpty() && !password.isEmpty()) {
        r.authUser = user;
        r.authPassword = password;
    }
    r.connectTimeoutMs = timeoutMs;
    r.receiveTimeoutMs = timeoutMs;
    r.maxBody = kTextLimit;
    r.limit = BodyLimit::Truncate;
    Reply reply = Perform(r);
    if (!reply.completed)
        return false;
    text = HttpBodyText(std::move(reply.body), reply.truncated);
    return true;
}

QString HttpBodyText(QByteArray body, bool cut) {
    const qsizetype zero = body.indexOf('\0');
    if (zero >= 0)
        body.truncate(zero);
    return BodyToText(body, cut && zero < 0);
}

bool HttpGetAuth(const QString& url, int timeoutMs, const QString& user, const QString& password,
                 QString& text) {
    text.clear();
    Request r;
    r.url = url;
    r.authUser = user;
    r.authPassword = password;
    r.connectTimeoutMs = timeoutMs;
    r.receiveTimeoutMs = timeoutMs;
    const Reply reply = Perform(r);
    if (!reply.completed || reply.status >= 400)
        return false;
    text = BodyToText(reply.body, false);
    return true;
}

bool UrlGetOk(const QString& url) {
    Request r;
    r.url = url;
    r.connectTimeoutMs = kUrlCheckTimeoutMs;
    r.receiveTimeoutMs = kUrlCheckTimeoutMs;
    r.keepBody = false;
    const Reply reply = Perform(r);
    return reply.completed && reply.status == 200;
}

bool HttpDownloadFile(const QString& url, const QString& path, int timeoutMs, qint64 maxBytes,
                      const std::function<bool()>& cancelled) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    Request r;
    r.url = url;
    r.connectTimeoutMs = timeoutMs;
    r.receiveTimeoutMs = timeoutMs;
    r.maxBody = qsizetype(maxBytes);
    r.limit = BodyLimit::Fail;
    r.keepBody = false;
    r.sink = &file;
    r.followRedirects = true;
    r.cancelled = cancelled;
    const Reply reply = Perform(r);
    const bool flushed = file.flush();
    file.close();
    return reply.completed && flushed && reply.status >= 200 && reply.status < 300 && file.size() > 0;
}

bool HttpPost(const QString& url, const QByteArray& contentType, const QByteArray& body,
              int timeoutMs, qsizetype maxReply, long& status, QByteArray& reply) {
    status = 0;
    reply.clear();
    Request r;
    r.url = url;
    r.post = true;
    r.postBody = body;
    r.contentType = contentType;
    r.connectTimeoutMs = timeoutMs;
    r.receiveTimeoutMs = timeoutMs;
    r.maxBody = std::clamp<qsizetype>(maxReply, 0, kAnswerLimit);
    Reply answer = Perform(r);
    if (!answer.completed)
        return false;
    status = answer.status;
    reply = std::move(answer.body);
    return true;
}
