// One connection: the commands against a camera, hostile cameras, the waits of an exchange.
#include "SocketTestSupport.h"
#include "TestTiming.h"

#include <atomic>

using TAnswer = TFakeCamera::TAnswer;

namespace {
TAnswer Reply(const QByteArray& bytes) { return TAnswer{bytes}; }

qint64 ElapsedMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.elapsed();
}
}  // namespace

class CtpCameraTest : public CtpSocketFixture {
protected:
    TFakeCamera camera;
};

TEST_F(CtpCameraTest, CommandsOverOneConnection)
{
    const TCTPSession conn = TCTPSocket::Create(kLoopback, camera.Port());
    EXPECT_TRUE(conn->KeepAlive());
    EXPECT_FALSE(conn->Login("admin", "wrong"));
    EXPECT_TRUE(conn->Login(" admin ", "qelvo\t"));
    EXPECT_EQ(conn->GetOrayState(), 3);
    EXPECT_EQ(conn->GetWiFi(), (TDEVWiFi{1, "home net", "WPA2PSK", "AES", "s3cret", 1}));

    TWiFi2List list;
    ASSERT_TRUE(conn->ScanWiFi(&list));
    QStringList texts;
    for (const TWiFi2Item& item : list)
        texts << item.text;
    EXPECT_EQ(texts, QStringList({"home(80%)", "cafe(35%)", "office(52%)"}));
    EXPECT_EQ(list[2].wifi, (TWiFi2{"office", 1, 1, 1, 1, "52"}));
    EXPECT_TRUE(conn->ScanWiFi(nullptr));

    const TDEVWiFi written{0, " guest ", "WPAPSK", "TKIP", " k ", 0};
    ASSERT_TRUE(conn->SetWiFi(written));
    EXPECT_EQ(camera.StoredWiFi(), (TDEVWiFi{0, "guest", "WPAPSK", "TKIP", "k", 1}));
    EXPECT_EQ(conn->GetWiFi(), (TDEVWiFi{0, "guest", "WPAPSK", "TKIP", "k", 1}));

    // Byte for byte what the builders make, all on the one connection.
    const QList<QByteArray> expected = {
        Ctp::KeepAliveRequest(), Ctp::LoginRequest("admin", "wrong"), Ctp::LoginRequest("admin", "qelvo"),
        Ctp::OrayStateRequest(), Ctp::GetWiFiRequest(), Ctp::ScanWiFiRequest(), Ctp::ScanWiFiRequest(),
        Ctp::SetWiFiRequest(written), Ctp::GetWiFiRequest(),
    };
    EXPECT_EQ(camera.Requests(), expected);
    EXPECT_EQ(camera.Accepted(), 1);
    EXPECT_EQ(camera.Malformed(), 0);
}

TEST_F(CtpCameraTest, CreateRefusesAddressesThatAreNotDottedIPv4)
{
    const struct {
        QString ip;
        qint32 port;
    } bad[] = {
        {"", 80},          {"1.2.3", 80},           {"256.1.1.1", 80},     {"a.b.c.d", 80},
        {"1.2.3.4 ", 80},  {" 1.2.3.4", 80},        {"::1", 80},           {"localhost", 80},
        {QString::fromLatin1("1.2.3.4\0junk", 12), 80}, {"127.0.0.1", -1},  {"127.0.0.1", 65536},
    };
    for (const auto& c : bad) {
        try {
            TCTPSocket::Create(c.ip, c.port);
            ADD_FAILURE() << "accepted " << c.ip.toStdString() << ":" << c.port;
        } catch (const ECTPError& e) {
            EXPECT_STREQ(e.what(), "");
        }
        EXPECT_EQ(TCTPSocket::GetCTPSession(c.ip, c.port), nullptr);
        EXPECT_TRUE(TCTPSocket::CTPRequest(c.ip, c.port, Ctp::KeepAliveRequest()).isEmpty());
    }
    EXPECT_NO_THROW(TCTPSocket::Create(kLoopback, camera.Port()));
}

// Every command's failure result for each kind of hostile camera; a fresh connection per
// command, since several of them end the connection.
TEST(CtpHostileCamera, FailureResults)
{
    TCTPSocket::SetTimeouts({1000, 300});
    struct {
        const char* name;
        std::function<void(TFakeCamera&)> setup;
        bool alive;
        bool login;
        qint32 oray;
        std::optional<TDEVWiFi> wifi;
        bool scan;
    } const cases[] = {
        {"200 without OK",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) { return Reply("CTP/1.0 200\r\n\r\n-status 0\r\n-enable 1\r\nh,m,1,0,2,2,80\r\n"); });
         },
         true, false, 5, std::nullopt, false},
        {"cut short inside the status line",
         [](TFakeCamera& c) { c.SetHandler([](auto&) { return Reply("CTP/1.0 200 O"); }); }, true, false, 5,
         std::nullopt, false},
        {"no empty line after the header",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) { return Reply("CTP/1.0 200 OK\r\n-status 0\r\n-enable 1\r\nh,m,1,0,2,2,80\r\n"); });
         },
         true, true, 5, std::nullopt, false},
        {"LF-only line ends",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) { return Reply("CTP/1.0 200 OK\n\n-status 0\n-enable 1\nh,m,1,0,2,2,80\n"); });
         },
         true, true, 5, std::nullopt, false},
        {"error status with a body",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) {
                 return Reply("CTP/1.0 500 Internal Error\r\n\r\n-status 0\r\n-enable 1\r\nh,m,1,0,2,2,80\r\n");
             });
         },
         false, false, 5, std::nullopt, false},
        {"200 OK only after the first 10240 bytes",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) {
                 return Reply(QByteArray(Ctp::kReplyMax, 'x') + "CTP/1.0 200 OK\r\n\r\n-status 0\r\nh,m,1,0,2,2,80\r\n");
             });
         },
         false, false, 5, std::nullopt, false},
        {"200 OK and nothing more", [](TFakeCamera& c) { c.SetHandler([](auto&) { return Reply(TFakeCamera::Ok()); }); },
         true, true, 5, TDEVWiFi{}, false},
        // The byte that is no text is shown as what it is and kept for the way back.
        {"zero bytes and broken UTF-8 in the body",
         [](TFakeCamera& c) {
             c.SetHandler([](auto&) {
                 return Reply(QByteArray("CTP/1.0 200 OK\r\n\r\n-status 2\r\n\0\xFF\xFE-ssid \xC3\r\n", 41));
             });
         },
         true, true, 2, TDEVWiFi{0, QString::fromLatin1("\xC3"), "", "", "", 0, "\xC3"}, false},
        {"never answers", [](TFakeCamera& c) { c.SetHandler([](auto&) { return TAnswer::Silent(); }); }, false,
         false, 5, std::nullopt, false},
        {"closes after reading the request",
         [](TFakeCamera& c) { c.SetHandler([](auto&) { return TAnswer::Hangup(); }); }, false, false, 5,
         std::nullopt, false},
        {"closes at once", [](TFakeCamera& c) { c.SetCloseOnAccept(true); }, false, false, 5, std::nullopt, false},
    };
    for (const auto& c : cases) {
        TFakeCamera camera;
        c.setup(camera);
        auto fresh = [&] { return TCTPSocket::Create(kLoopback, camera.Port()); };
        EXPECT_EQ(fresh()->KeepAlive(), c.alive) << c.name;
        EXPECT_EQ(fresh()->Login("admin", "qelvo"), c.login) << c.name;
        EXPECT_EQ(fresh()->GetOrayState(), c.oray) << c.name;
        EXPECT_EQ(fresh()->GetWiFi(), c.wifi) << c.name;
        TWiFi2List list;
        EXPECT_EQ(fresh()->ScanWiFi(&list), c.scan) << c.name;
        EXPECT_EQ(list.isEmpty(), !c.scan) << c.name;
        EXPECT_EQ(camera.Malformed(), 0) << c.name;
    }
    TCTPSocket::SetTimeouts({});
}

TEST_F(CtpCameraTest, OversizedReplyIsCutAndItsRestNeverAnswersTheNextRequest)
{
    std::atomic<int> n{0};
    camera.SetHandler([&](const TFakeCamera::TRequest&) {
        return ++n == 1 ? Reply(TFakeCamera::Ok(QByteArray(3 * Ctp::kReplyMax, 'a') + "\r\n-status 4\r\n"))
                        : Reply(TFakeCamera::Ok("-status 2\r\n"));
    });
    const TCTPSession conn = TCTPSocket::Create(kLoopback, camera.Port());
    const QByteArray first = conn->Exchange(Ctp::OrayStateRequest());
    EXPECT_GT(first.size(), 0);
    EXPECT_LE(first.size(), Ctp::kReplyMax);
    ASSERT_TRUE(WaitUntil([&] { return camera.AnswersSent() == 1; }, 3000));  // the rest is in
    EXPECT_EQ(conn->GetOrayState(), 2);
}

TEST_F(CtpCameraTest, LateRestOfAReplyIsDiscarded)
{
    std::atomic<int> n{0};
    camera.SetHandler([&](const TFakeCamera::TRequest&) {
        if (++n > 1)
            return Reply(TFakeCamera::Ok("-status 2\r\n"));
        TAnswer split = Reply(TFakeCamera::Ok("-status 1\r\n"));
        split.more = TFakeCamera::Ok("-status 4\r\n");
        split.moreDelayMs = 300;
        return split;
    });
    const TCTPSession conn = TCTPSocket::Create(kLoopback, camera.Port());
    EXPECT_EQ(conn->GetOrayState(), 1);  // one receive: the first write only
    ASSERT_TRUE(WaitUntil([&] { return camera.AnswersSent() == 1; }, 3000));  // the late rest is in
    EXPECT_EQ(conn->GetOrayState(), 2);
}

TEST_F(CtpCameraTest, ReplyWaitIsLongAndBounded)
{
    TCTPSocket::SetTimeouts({});  // 1 s to connect, 60 s for the reply
    camera.SetHandler([](auto&) {
        TAnswer late = Reply(TFakeCamera::Ok());
        late.delayMs = 1500;
        return late;
    });
    const TCTPSession conn = TCTPSocket::Create(kLoopback, camera.Port());
    bool alive = false;
    EXPECT_GE(ElapsedMs([&] { alive = conn->KeepAlive(); }), 1400);
    EXPECT_TRUE(alive);

    TCTPSocket::SetTimeouts({1000, 300});
    camera.SetHandler([](auto&) { return TAnswer::Silent(); });
    QByteArray reply = "unset";
    const qint64 ms = ElapsedMs([&] { reply = conn->Exchange(Ctp::KeepAliveRequest()); });
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, testsupport::Slack(2000));
}

TEST_F(CtpCameraTest, RefusedConnectionFailsAtOnce)
{
    const TCTPSession conn = TCTPSocket::Create(kLoopback, ClosedPort());
    QByteArray reply = "unset";
    EXPECT_LT(ElapsedMs([&] { reply = conn->Exchange(Ctp::KeepAliveRequest()); }), testsupport::Slack(500));
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_FALSE(conn->KeepAlive());
}

// A listener whose accept queue is full drops further connection attempts, so the connect of
// the connection under test stays pending.
TEST_F(CtpCameraTest, ConnectionThatNeverCompletesGivesUpAfterOneSecond)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    TCTPSocket::SetTimeouts({1000, 3000});
    const TCTPSession conn = TCTPSocket::Create(kLoopback, ntohs(a.sin_port));
    QByteArray reply = "unset";
    const qint64 ms = ElapsedMs([&] { reply = conn->Exchange(Ctp::KeepAliveRequest()); });
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 2500);  // the reply wait (3 s) never started

    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}
