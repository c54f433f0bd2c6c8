#include "TestHttpServer.h"
#include "Tools.h"
#include "TestTiming.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLimit = 512000;

enum class Fn { Text, Auth, Check };

const char* FnName(Fn fn) {
    switch (fn) {
    case Fn::Text: return "HttpGetText";
    case Fn::Auth: return "HttpGetAuth";
    case Fn::Check: return "UrlGetOk";
    }
    return "?";
}

struct Outcome {
    bool ok = false;
    QString text;
    long long ms = 0;
};

// Calls one of the three functions; the text starts out stale so that clearing shows.
Outcome Call(Fn fn, const std::string& url, const QString& user = {}, const QString& pw = {},
             int timeoutMs = 5000) {
    Outcome o;
    o.text = QStringLiteral("stale");
    const QString u = QString::fromStdString(url);
    const auto start = Clock::now();
    switch (fn) {
    case Fn::Text: o.ok = TTools::HttpGetText(u, user, pw, timeoutMs, o.text); break;
    case Fn::Auth: o.ok = HttpGetAuth(u, timeoutMs, user, pw, o.text); break;
    case Fn::Check:
        o.ok = UrlGetOk(u);
        o.text.clear();
        break;
    }
    o.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return o;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Header lines of a raw request head after the request line, without their CR LF.
std::vector<std::string> HeaderLines(const std::string& request) {
    std::vector<std::string> lines;
    const size_t end = request.find("\r\n\r\n");
    size_t pos = request.find("\r\n");
    while (pos != std::string::npos && pos < end) {
        const size_t next = request.find("\r\n", pos + 2);
        lines.push_back(request.substr(pos + 2, next - pos - 2));
        pos = next;
    }
    return lines;
}

std::vector<std::string> HeaderValues(const std::string& request, const std::string& name) {
    std::vector<std::string> values;
    for (const std::string& line : HeaderLines(request)) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos && Lower(line.substr(0, colon)) == Lower(name)) {
            size_t v = colon + 1;
            while (v < line.size() && line[v] == ' ')
                ++v;
            values.push_back(line.substr(v));
        }
    }
    return values;
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

TestServer::Handler Answer(std::string bytes) {
    return [bytes](Connection& c, const std::string&) { c.Send(bytes); };
}

// --- Authorization header ------------------------------------------------------------------

struct AuthCase {
    const char* name;
    Fn fn;
    const char* user;
    const char* password;
    const char* expected;  // nullptr: no Authorization header at all
};

class AuthorizationHeader : public ::testing::TestWithParam<AuthCase> {};

TEST_P(AuthorizationHeader, SentOnlyWhenTheRulesSaySo) {
    const AuthCase& c = GetParam();
    TestServer server(Answer(Response(200, "ok")));
    const Outcome o = Call(c.fn, server.Url("/a"), QString::fromUtf8(c.user),
                           QString::fromUtf8(c.password));
    ASSERT_TRUE(o.ok);
    const std::string request = server.LastRequest();
    const auto values = HeaderValues(request, "Authorization");
    if (c.expected) {
        ASSERT_EQ(values.size(), 1u) << request;
        EXPECT_EQ(values[0], c.expected);
    } else {
        EXPECT_TRUE(values.empty()) << request;
    }
    // A header value broken over lines would leave a line without a name.
    for (const std::string& line : HeaderLines(request))
        EXPECT_NE(line.find(':'), std::string::npos) << line;
}

const char kLongUser[] = "camera-administrator-with-a-long-name";
const char kLongPassword[] = "and-an-even-longer-password-0123456789";
const char kLongBasic[] =
    "Basic Y2FtZXJhLWFkbWluaXN0cmF0b3Itd2l0aC1hLWxvbmctbmFtZTphbmQtYW4tZXZlbi1sb25nZXItcGFzc3dvcmQ"
    "tMDEyMzQ1Njc4OQ==";

INSTANTIATE_TEST_SUITE_P(
    Rules, AuthorizationHeader,
    ::testing::Values(
        AuthCase{"TextUserAndPassword", Fn::Text, "Aladdin", "open sesame",
                 "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        AuthCase{"TextUserOnly", Fn::Text, "admin", "", nullptr},
        AuthCase{"TextPasswordOnly", Fn::Text, "", "secret", nullptr},
        AuthCase{"TextNeither", Fn::Text, "", "", nullptr},
        AuthCase{"TextLongCredentialsStayOnOneLine", Fn::Text, kLongUser, kLongPassword, kLongBasic},
        AuthCase{"AuthUserAndPassword", Fn::Auth, "Aladdin", "open sesame",
                 "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        AuthCase{"AuthUserOnly", Fn::Auth, "admin", "", "Basic YWRtaW46"},
        AuthCase{"AuthPasswordOnly", Fn::Auth, "", "secret", nullptr},
        AuthCase{"AuthNeither", Fn::Auth, "", "", nullptr},
        AuthCase{"CheckNeverAuthenticates", Fn::Check, "", "", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Request shape ---------------------------------------------------------------------------

TEST(HttpGetTextRequest, SendsAgentAndNoCacheHeaders) {
    TestServer server(Answer(Response(200, "ok")));
    QString text;
    ASSERT_TRUE(TTools::HttpGetText(QString::fromStdString(server.Url("/get_params.cgi")), {}, {},
                                    5000, text));
    const std::string request = server.LastRequest();
    EXPECT_EQ(RequestLine(request), "GET /get_params.cgi HTTP/1.1");
    EXPECT_EQ(HeaderValues(request, "User-Agent"), std::vector<std::string>{"MyIP"});
    EXPECT_EQ(HeaderValues(request, "Pragma"), std::vector<std::string>{"no-cache"});
    EXPECT_EQ(HeaderValues(request, "Cache-Control"), std::vector<std::string>{"no-cache"});
    EXPECT_TRUE(HeaderValues(request, "Cookie").empty());
}

class RequestLineOf : public ::testing::TestWithParam<Fn> {};

// Passwords go into query strings as typed; the request must still go out, blanks escaped.
TEST_P(RequestLineOf, KeepsTheQueryAndEscapesBlanksAndNonAscii) {
    TestServer server(Answer(Response(200, "ok")));
    const Outcome o =
        Call(GetParam(), server.Url("/set_wifi.cgi?user=admin&pwd=my pass&ssid=Caf\u00e9&x=a/b"));
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(RequestLine(server.LastRequest()),
              "GET /set_wifi.cgi?user=admin&pwd=my%20pass&ssid=Caf%C3%A9&x=a/b HTTP/1.1");
}

INSTANTIATE_TEST_SUITE_P(All, RequestLineOf, ::testing::Values(Fn::Text, Fn::Auth, Fn::Check),
                         [](const auto& info) { return std::string(FnName(info.param)); });

// --- Status handling -----------------------------------------------------------------------

struct StatusCase {
    int status;
    bool text;   // HttpGetText
    bool auth;   // HttpGetAuth
    bool check;  // UrlGetOk
};

class StatusHandling : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusHandling, EachFunctionJudgesTheStatusItsOwnWay) {
    const StatusCase& c = GetParam();
    const std::string body = "page-" + std::to_string(c.status);
    // A redirect that would be followed lands on /elsewhere and would show up as a second request.
    TestServer server(Answer(Response(c.status, body, "Location: /elsewhere\r\n")));
    const QString expectedBody = QString::fromStdString(body);

    const Outcome text = Call(Fn::Text, server.Url("/p"));
    EXPECT_EQ(text.ok, c.text);
    EXPECT_EQ(text.text, expectedBody);

    const Outcome auth = Call(Fn::Auth, server.Url("/p"), QStringLiteral("admin"), {});
    EXPECT_EQ(auth.ok, c.auth);
    EXPECT_EQ(auth.text, c.auth ? expectedBody : QString());

    EXPECT_EQ(Call(Fn::Check, server.Url("/p")).ok, c.check);

    for (const std::string& request : server.Requests())
        EXPECT_EQ(RequestLine(request), "GET /p HTTP/1.1");
    EXPECT_EQ(server.Requests().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusHandling,
                         ::testing::Values(StatusCase{200, true, true, true},
                                           StatusCase{302, true, true, false},
                                           StatusCase{401, true, false, false},
                                           StatusCase{404, true, false, false},
                                           StatusCase{500, true, false, false}),
                         [](const auto& info) { return std::to_string(info.param.status); });

// --- Body to text --------------------------------------------------------------------------

struct BodyCase {
    const char* name;
    Fn fn;
    std::string body;
    QString expected;
};

class BodyText : public ::testing::TestWithParam<BodyCase> {};

TEST_P(BodyText, DecodesTheBody) {
    const BodyCase& c = GetParam();
    TestServer server(Answer(Response(200, c.body)));
    const Outcome o = Call(c.fn, server.Url("/b"));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, BodyText,
    ::testing::Values(
        BodyCase{"TextStopsAtZeroByte", Fn::Text, std::string("abc\0def", 7), QStringLiteral("abc")},
        BodyCase{"TextZeroByteFirst", Fn::Text, std::string("\0abc", 4), QString()},
        BodyCase{"TextUtf8", Fn::Text, "Gr\xc3\xbc\xc3\x9f" "e", QString::fromUtf8("Gr\u00fc\u00dfe")},
        BodyCase{"TextLatin1", Fn::Text, "Gr\xfc\xdf" "e", QString::fromUtf8("Gr\u00fc\u00dfe")},
        BodyCase{"TextMostlyUtf8WithOneStrayByte", Fn::Text, "\xc3\xbc-\xfc",
                 QString::fromUtf8("\u00c3\u00bc-\u00fc")},
        BodyCase{"TextEmpty", Fn::Text, "", QString()},
        BodyCase{"AuthUtf8", Fn::Auth, "\xe6\x91\x84\xe5\x83\x8f", QString::fromUtf8("\u6444\u50cf")},
        BodyCase{"AuthLatin1", Fn::Auth, "caf\xe9", QString::fromUtf8("caf\u00e9")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpGetTextLimit, BodyOfExactlyTheLimitIsKeptWhole) {
    TestServer server(Answer(Response(200, std::string(kLimit, 'x'))));
    const Outcome o = Call(Fn::Text, server.Url("/big"));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, QString(kLimit, QLatin1Char('x')));
}

TEST(HttpGetTextLimit, LongerBodyIsCutAtTheLimit) {
    std::string body;
    for (int i = 0; i < 600000; ++i)
        body += char('a' + i % 26);
    TestServer server(Answer(Response(200, body)));
    const Outcome o = Call(Fn::Text, server.Url("/big"));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, QString::fromStdString(body.substr(0, kLimit)));
}

TEST(HttpGetTextLimit, CharacterCutByTheLimitDoesNotTurnTheTextIntoLatin1) {
    const std::string body = std::string(kLimit - 1, 'a') + "\xc3\xbc" + "tail";
    TestServer server(Answer(Response(200, body)));
    const Outcome o = Call(Fn::Text, server.Url("/big"));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, QString(kLimit - 1, QLatin1Char('a')));
}

// A server that never stops sending: HttpGetText keeps the first 512000 bytes and hangs up;
// the other two must not collect without end either.
class EndlessBody : public ::testing::TestWithParam<Fn> {};

TEST_P(EndlessBody, ClientHangsUp) {
    TestServer server([&](Connection& c, const std::string&) {
        if (!c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"))
            return;
        const std::string chunk(16384, 'z');
        while (c.Send(chunk))
            ++server.progress;
        server.progress = -1;  // the client closed the connection
    });
    const Outcome o = Call(GetParam(), server.Url("/stream"));
    if (GetParam() == Fn::Text) {
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.text, QString(kLimit, QLatin1Char('z')));
    } else {
        EXPECT_FALSE(o.ok);
        EXPECT_TRUE(o.text.isEmpty());
    }
    for (int i = 0; i < 200 && server.progress != -1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.progress, -1) << "the connection was not closed";
    EXPECT_LT(o.ms, testsupport::Slack(15000));
}

INSTANTIATE_TEST_SUITE_P(All, EndlessBody, ::testing::Values(Fn::Text, Fn::Auth, Fn::Check),
                         [](const auto& info) { return std::string(FnName(info.param)); });

// --- Failures ------------------------------------------------------------------------------

struct BadServer {
    const char* name;
    bool stalls;  // needs the receive time-out to end
    std::function<void(Connection&)> act;
};

const std::vector<BadServer>& BadServers() {
    static const std::vector<BadServer> list = {
        {"SilentAfterAccept", true, [](Connection& c) { c.HoldUntilStop(); }},
        {"StallsInHeaders", true,
         [](Connection& c) {
             c.Send("HTTP/1.1 200 OK\r\nContent-Le");
             c.HoldUntilStop();
         }},
        {"StallsInBody", true,
         [](Connection& c) {
             c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
             c.HoldUntilStop();
         }},
        {"ClosesWithoutAnswer", false, [](Connection&) {}},
        {"ClosesInBody", false,
         [](Connection& c) { c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"); }},
        {"NotHttp", false, [](Connection& c) { c.Send("hello, this is no web server\r\n\r\n"); }},
    };
    return list;
}

struct FailureCase {
    size_t server;
    Fn fn;
};

class Failure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failure, GivesFalseAndEmptyText) {
    const BadServer& bad = BadServers()[GetParam().server];
    TestServer server([&](Connection& c, const std::string&) { bad.act(c); });
    const Outcome o = Call(GetParam().fn, server.Url("/x"), {}, {}, 400);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.text.isEmpty()) << o.text.toStdString();
    EXPECT_LT(o.ms, testsupport::Slack(2000));
}

std::vector<FailureCase> FailureCases() {
    std::vector<FailureCase> cases;
    for (size_t i = 0; i < BadServers().size(); ++i) {
        cases.push_back({i, Fn::Text});
        cases.push_back({i, Fn::Auth});
        if (!BadServers()[i].stalls)  // UrlGetOk waits 20 s; see its own test
            cases.push_back({i, Fn::Check});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BadServers, Failure, ::testing::ValuesIn(FailureCases()),
                         [](const auto& info) {
                             return std::string(BadServers()[info.param.server].name) + "_" +
                                    FnName(info.param.fn);
                         });

class RefusedConnect : public ::testing::TestWithParam<Fn> {};

TEST_P(RefusedConnect, FailsAtOnce) {
    const Outcome o = Call(GetParam(), "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/");
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.text.isEmpty());
    EXPECT_LT(o.ms, testsupport::Slack(1000));
}

INSTANTIATE_TEST_SUITE_P(All, RefusedConnect, ::testing::Values(Fn::Text, Fn::Auth, Fn::Check),
                         [](const auto& info) { return std::string(FnName(info.param)); });

TEST(MalformedUrl, IsAFailureNotACrash) {
    for (const char* url : {"", "not a url", "ftp://127.0.0.1/", "file:///etc/passwd",
                            "http://", "http://127.0.0.1:99999/"}) {
        SCOPED_TRACE(url);
        EXPECT_FALSE(Call(Fn::Text, url, {}, {}, 300).ok);
        EXPECT_FALSE(Call(Fn::Auth, url, {}, {}, 300).ok);
        EXPECT_FALSE(UrlGetOk(QString::fromLatin1(url)));
    }
}

// --- Time-outs -----------------------------------------------------------------------------

struct TimeoutCase {
    Fn fn;
    int ms;
};

class ReceiveTimeout : public ::testing::TestWithParam<TimeoutCase> {};

// Silence after the connection stands ends the call close to the time-out, not rounded to seconds.
TEST_P(ReceiveTimeout, FiresCloseToTheGivenTime) {
    TestServer server([](Connection& c, const std::string&) { c.HoldUntilStop(); });
    const Outcome o = Call(GetParam().fn, server.Url("/quiet"), {}, {}, GetParam().ms);
    EXPECT_FALSE(o.ok);
    EXPECT_GE(o.ms, GetParam().ms - 5);
    EXPECT_LE(o.ms, GetParam().ms + testsupport::Slack(250));
}

INSTANTIATE_TEST_SUITE_P(Times, ReceiveTimeout,
                         ::testing::Values(TimeoutCase{Fn::Text, 150}, TimeoutCase{Fn::Text, 450},
                                           TimeoutCase{Fn::Text, 1200}, TimeoutCase{Fn::Auth, 150},
                                           TimeoutCase{Fn::Auth, 700}),
                         [](const auto& info) {
                             return std::string(FnName(info.param.fn)) + "_" +
                                    std::to_string(info.param.ms);
                         });

class SlowButSteady : public ::testing::TestWithParam<Fn> {};

// The time-out is about silence, not about the whole transfer.
TEST_P(SlowButSteady, AnswerLongerThanTheTimeoutStillArrives) {
    constexpr int kBytes = 16;
    TestServer server([](Connection& c, const std::string&) {
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBytes) + "\r\n\r\n"))
            return;
        for (int i = 0; i < kBytes; ++i) {
            if (!c.Pause(100) || !c.Send(std::string(1, char('A' + i))))
                return;
        }
    });
    const Outcome o = Call(GetParam(), server.Url("/slow"), {}, {}, 400);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.text, QStringLiteral("ABCDEFGHIJKLMNOP"));
    EXPECT_GE(o.ms, kBytes * 100 - 50);
}

INSTANTIATE_TEST_SUITE_P(Both, SlowButSteady, ::testing::Values(Fn::Text, Fn::Auth),
                         [](const auto& info) { return std::string(FnName(info.param)); });

// True when a plain connect to port is still pending after ms.
bool ConnectHangs(std::uint16_t port, int ms) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pollfd p{fd, POLLOUT, 0};
    const bool pending = ::poll(&p, 1, ms) == 0;
    ::close(fd);
    return pending;
}

class ConnectTimeout : public ::testing::TestWithParam<Fn> {};

TEST_P(ConnectTimeout, FiresCloseToTheGivenTime) {
    BlackHoleListener hole;
    ASSERT_TRUE(ConnectHangs(hole.Port(), 200)) << "the kernel took the connection after all";
    const Outcome o =
        Call(GetParam(), "http://127.0.0.1:" + std::to_string(hole.Port()) + "/", {}, {}, 300);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.text.isEmpty());
    EXPECT_GE(o.ms, 295);
    EXPECT_LE(o.ms, 300 + testsupport::Slack(300));
}

INSTANTIATE_TEST_SUITE_P(Both, ConnectTimeout, ::testing::Values(Fn::Text, Fn::Auth),
                         [](const auto& info) { return std::string(FnName(info.param)); });

// A request of a worker whose owner goes away ends when it is told to, long before its
// time-out, whether it still connects or waits for the answer.
TEST(HttpGetTextCancel, EndsARequestThatWouldHangAsAFailure) {
    TestServer silent([](Connection& c, const std::string&) { c.HoldUntilStop(); });
    BlackHoleListener hole;
    for (const std::string& url : {silent.Url("/quiet"), "http://127.0.0.1:" + std::to_string(hole.Port()) + "/"}) {
        std::atomic<bool> stop{false};
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stop = true;
        });
        QString text = QStringLiteral("left over");
        QElapsedTimer t;
        t.start();
        const bool ok = TTools::HttpGetText(QString::fromStdString(url), {}, {}, 20000, text, [&] { return stop.load(); });
        const qint64 ms = t.elapsed();
        stopper.join();
        EXPECT_FALSE(ok) << url;
        EXPECT_TRUE(text.isEmpty());
        EXPECT_GE(ms, 195);
        EXPECT_LE(ms, 200 + testsupport::Slack(300)) << url;
    }
}

TEST(UrlGetOkTimeout, SilentServerGivesFalseAfterTwentySeconds) {
    TestServer server([](Connection& c, const std::string&) { c.HoldUntilStop(); });
    const auto start = Clock::now();
    EXPECT_FALSE(UrlGetOk(QString::fromStdString(server.Url("/quiet"))));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(ms, 19990);
    EXPECT_LE(ms, 20000 + testsupport::Slack(500));
}

// --- Proxies -------------------------------------------------------------------------------

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct ProxyCase {
    const char* name;
    const char* noProxy;  // nullptr: unset
    const char* host;     // "direct" hosts are reached at the target server's port
    bool viaProxy;
};

class ProxyChoice : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ProxyChoice, LoopbackNeverGoesThroughTheProxy) {
    const ProxyCase& c = GetParam();
    TestServer proxy(Answer(Response(200, "from-proxy")));
    TestServer target(Answer(Response(200, "from-target")));
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    EnvVar httpProxy("http_proxy", proxyUrl.c_str());
    EnvVar upper("HTTP_PROXY", nullptr);
    EnvVar all("ALL_PROXY", nullptr);
    EnvVar allLower("all_proxy", nullptr);
    EnvVar noProxy("no_proxy", c.noProxy);
    EnvVar noProxyUpper("NO_PROXY", nullptr);

    const std::string url =
        std::string("http://") + c.host + ":" + std::to_string(target.Port()) + "/where";
    for (const Fn fn : {Fn::Text, Fn::Auth, Fn::Check}) {
        SCOPED_TRACE(FnName(fn));
        const size_t proxyBefore = proxy.Requests().size();
        const size_t targetBefore = target.Requests().size();
        const Outcome o = Call(fn, url, {}, {}, 1000);
        if (c.viaProxy) {
            EXPECT_TRUE(o.ok);
            ASSERT_EQ(proxy.Requests().size(), proxyBefore + 1);
            EXPECT_EQ(RequestLine(proxy.LastRequest()), "GET " + url + " HTTP/1.1");
        } else {
            EXPECT_EQ(proxy.Requests().size(), proxyBefore);
        }
        if (fn != Fn::Check && o.ok) {
            EXPECT_EQ(o.text, QString::fromLatin1(c.viaProxy ? "from-proxy" : "from-target"));
        }
        const bool loopback = std::string(c.host) != "192.0.2.10";
        if (loopback) {
            EXPECT_TRUE(o.ok);
            EXPECT_EQ(target.Requests().size(), targetBefore + 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Environment, ProxyChoice,
    ::testing::Values(ProxyCase{"LoopbackAddressDirect", nullptr, "127.0.0.1", false},
                      ProxyCase{"LocalhostDirect", nullptr, "localhost", false},
                      ProxyCase{"OtherHostViaProxy", nullptr, "192.0.2.10", true},
                      ProxyCase{"LoopbackDirectDespiteOtherNoProxy", "example.com", "127.0.0.1",
                                false},
                      ProxyCase{"OtherHostViaProxyDespiteOtherNoProxy", "example.com",
                                "192.0.2.10", true},
                      // The user's own no_proxy list still counts.
                      ProxyCase{"NoProxyListIsHonoured", "example.com,192.0.2.10", "192.0.2.10",
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Threads -------------------------------------------------------------------------------

TEST(Concurrency, ParallelCallsEachGetTheirOwnAnswer) {
    TestServer server([](Connection& c, const std::string& request) {
        const std::string line = RequestLine(request);
        const size_t a = line.find(' ') + 1;
        c.Send(Response(200, "echo " + line.substr(a, line.rfind(' ') - a)));
    });
    constexpr int kThreads = 8;
    constexpr int kCalls = 5;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                const std::string path = "/t" + std::to_string(t) + "/c" + std::to_string(i);
                const Outcome o = Call(i % 2 ? Fn::Auth : Fn::Text, server.Url(path),
                                       QStringLiteral("u"), QStringLiteral("p"));
                if (o.ok && o.text == QString::fromStdString("echo " + path))
                    ++good;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(good, kThreads * kCalls);
}

// --- POST ----------------------------------------------------------------------------------

struct PostOutcome {
    bool ok = false;
    long status = -1;
    QByteArray reply = "stale";
};

PostOutcome Post(const std::string& url, const QByteArray& body, qsizetype maxReply = 1 << 20,
                 int timeoutMs = 5000) {
    PostOutcome o;
    o.ok = HttpPost(QString::fromStdString(url),
                    "application/soap+xml; charset=utf-8; action=\"urn:x#Op\"", body, timeoutMs,
                    maxReply, o.status, o.reply);
    return o;
}

TEST(HttpPostRequest, SendsMethodTypeAndTheBodyByteForByte) {
    TestServer server(Answer(Response(200, "<ok/>")));
    // Bytes beyond ASCII and a zero byte: the body goes as it is, with its exact length.
    const QByteArray body("<a>\xc3\xa4\0z</a>", 12);
    const PostOutcome o = Post(server.Url("/onvif/device_service"), body);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(o.reply, QByteArray("<ok/>"));

    const std::string request = server.LastRequest();
    EXPECT_EQ(RequestLine(request), "POST /onvif/device_service HTTP/1.1");
    EXPECT_EQ(HeaderValues(request, "Content-Type"),
              std::vector<std::string>{"application/soap+xml; charset=utf-8; action=\"urn:x#Op\""});
    EXPECT_EQ(HeaderValues(request, "Content-Length"), std::vector<std::string>{"12"});
    EXPECT_TRUE(HeaderValues(request, "Expect").empty());
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), std::string("<a>\xc3\xa4\0z</a>", 12));
}

TEST(HttpPostRequest, LargeBodyIsSentWithoutWaitingForContinue) {
    // A server that never says "100 Continue" must still get the whole body at once.
    TestServer server(Answer(Response(200, "done")));
    const QByteArray body(200000, 'b');
    const PostOutcome o = Post(server.Url("/big"), body);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.reply, QByteArray("done"));
    const std::string request = server.LastRequest();
    EXPECT_TRUE(HeaderValues(request, "Expect").empty());
    EXPECT_EQ(request.size() - (request.find("\r\n\r\n") + 4), size_t(body.size()));
}

struct PostStatusCase {
    int status;
    const char* body;
};

class HttpPostStatus : public ::testing::TestWithParam<PostStatusCase> {};

// SOAP faults come with 400 and 500: the caller needs the status and the body of each.
TEST_P(HttpPostStatus, AnyStatusIsHandedBackWithItsBody) {
    const PostStatusCase& c = GetParam();
    TestServer server(Answer(Response(c.status, c.body)));
    const PostOutcome o = Post(server.Url("/s"), "x");
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.reply, QByteArray(c.body));
}

INSTANTIATE_TEST_SUITE_P(Statuses, HttpPostStatus,
                         ::testing::Values(PostStatusCase{200, "<r/>"},
                                           PostStatusCase{400, "<Fault/>"},
                                           PostStatusCase{401, ""},
                                           PostStatusCase{500, "<Fault>x</Fault>"}),
                         [](const auto& info) { return std::to_string(info.param.status); });

TEST(HttpPostLimit, ReplyLongerThanTheLimitIsAFailure) {
    TestServer exact(Answer(Response(200, std::string(1000, 'r'))));
    const PostOutcome fits = Post(exact.Url("/l"), "x", 1000);
    ASSERT_TRUE(fits.ok);
    EXPECT_EQ(fits.reply.size(), 1000);

    TestServer over(Answer(Response(200, std::string(1001, 'r'))));
    const PostOutcome cut = Post(over.Url("/l"), "x", 1000);
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.status, 0);
    EXPECT_TRUE(cut.reply.isEmpty());
}

TEST(HttpPostFailure, RefusedAndSilentServersGiveFalse) {
    const PostOutcome refused =
        Post("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/x", "x");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.reply.isEmpty());

    TestServer silent([](Connection& c, const std::string&) { c.HoldUntilStop(); });
    const auto start = Clock::now();
    const PostOutcome timedOut = Post(silent.Url("/x"), "x", 1 << 20, 300);
    EXPECT_FALSE(timedOut.ok);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 300);
}

}  // namespace
