// The process-wide pool: reuse, replacement, release, teardown, and use from many threads.
#include "SocketTestSupport.h"

#include <atomic>
#include <future>
#include <random>

using TAnswer = TFakeCamera::TAnswer;

class CtpPoolTest : public CtpSocketFixture {
protected:
    TFakeCamera camera;
};

TEST(CtpPoolKey, IpBarPort)
{
    EXPECT_EQ(TCTPSocket::SessionKey("192.168.1.20", 81), "192.168.1.20|81");
}

TEST_F(CtpPoolTest, PooledConnectionIsReusedAfterKeepAlive)
{
    const TCTPSession first = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Key(), TCTPSocket::SessionKey(kLoopback, camera.Port()));
    const TCTPSession again = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    EXPECT_EQ(again, first);
    // Only the reuse is tested; a new connection is handed out untested.
    EXPECT_EQ(camera.Verbs(), QList<QByteArray>{"keepalive"});
    EXPECT_EQ(camera.Accepted(), 1);
}

TEST_F(CtpPoolTest, SameAddressTwoPortsTwoEntries)
{
    TFakeCamera other;
    const TCTPSession a = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    const TCTPSession b = TCTPSocket::GetCTPSession(kLoopback, other.Port());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(TCTPSocket::GetCTPSession(kLoopback, camera.Port()), a);
    EXPECT_EQ(TCTPSocket::GetCTPSession(kLoopback, other.Port()), b);
    EXPECT_EQ(camera.Accepted(), 1);
    EXPECT_EQ(other.Accepted(), 1);
}

TEST_F(CtpPoolTest, RestartedCameraIsReplacedUnderTheSameKey)
{
    const TCTPSession before = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_TRUE(before->Login("admin", "qelvo"));
    camera.DropConnections();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const TCTPSession after = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    EXPECT_TRUE(before->Closed());
    EXPECT_TRUE(after->Login("admin", "qelvo"));
    EXPECT_EQ(TCTPSocket::GetCTPSession(kLoopback, camera.Port()), after);
    EXPECT_EQ(camera.Accepted(), 2);
}

TEST_F(CtpPoolTest, ReleaseClosesForEveryHolderAndEmptiesTheKey)
{
    TCTPSession conn = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    const TCTPSession holder = conn;
    ASSERT_TRUE(holder->KeepAlive());
    TCTPSocket::ReleaseCTPSession(conn);
    EXPECT_EQ(conn, nullptr);
    EXPECT_TRUE(holder->Closed());
    EXPECT_FALSE(holder->KeepAlive());

    const TCTPSession fresh = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, holder);
    EXPECT_TRUE(fresh->KeepAlive());

    TCTPSession none;
    TCTPSocket::ReleaseCTPSession(none);  // nothing happens

    // A connection that is not the pooled one leaves the pool alone.
    TCTPSession stranger = TCTPSocket::Create(kLoopback, camera.Port());
    TCTPSocket::ReleaseCTPSession(stranger);
    EXPECT_FALSE(fresh->Closed());
    EXPECT_EQ(TCTPSocket::GetCTPSession(kLoopback, camera.Port()), fresh);
}

TEST_F(CtpPoolTest, RequestThroughThePool)
{
    EXPECT_EQ(TCTPSocket::CTPRequest(kLoopback, camera.Port(), Ctp::OrayStateRequest()),
              TFakeCamera::Ok("-status 3\r\n"));
    EXPECT_EQ(TCTPSocket::CTPRequest(kLoopback, camera.Port(), Ctp::KeepAliveRequest()), TFakeCamera::Ok());
    EXPECT_EQ(camera.Accepted(), 1);
    EXPECT_TRUE(TCTPSocket::CTPRequest(kLoopback, ClosedPort(), Ctp::KeepAliveRequest()).isEmpty());
}

TEST_F(CtpPoolTest, TeardownClosesPooledConnections)
{
    const TCTPSession held = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_TRUE(held->KeepAlive());
    TCTPSocket::FreeCTPSessionPool();
    EXPECT_TRUE(held->Closed());
    EXPECT_TRUE(held->Exchange(Ctp::KeepAliveRequest()).isEmpty());
    const TCTPSession next = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, held);
    EXPECT_TRUE(next->KeepAlive());
}

// The wireless page releases the connection while another thread still waits on it.
TEST_F(CtpPoolTest, ReleaseEndsAnExchangeWaitingOnAnotherThread)
{
    TCTPSocket::SetTimeouts({});  // a 60-second reply wait
    camera.SetSilentVerb("getoraystate");
    TCTPSession conn = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    std::future<qint32> status = std::async(std::launch::async, [held = conn] { return held->GetOrayState(); });
    ASSERT_TRUE(WaitUntil([&] { return camera.Verbs().contains("getoraystate"); }, 2000));
    ASSERT_EQ(status.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);

    TCTPSocket::ReleaseCTPSession(conn);
    ASSERT_EQ(status.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(status.get(), Ctp::kOrayUnknown);
}

// A second caller of the same connection waits for the first one's reply instead of sending
// into the middle of its exchange.
TEST_F(CtpPoolTest, OneExchangeAtATimePerConnection)
{
    camera.SetHandler([](const TFakeCamera::TRequest& r) {
        TAnswer a{TFakeCamera::Ok("-status " + r.body.mid(6, 1) + "\r\n")};
        a.delayMs = 200;
        return a;
    });
    const TCTPSession conn = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    auto ask = [conn](char digit) {
        return Ctp::ParseOrayState(conn->Exchange(Ctp::CommandRequest("getoraystate", {QByteArray("-list ") + digit})));
    };
    std::future<qint32> one = std::async(std::launch::async, ask, '1');
    std::future<qint32> two = std::async(std::launch::async, ask, '2');
    EXPECT_EQ(one.get(), 1);
    EXPECT_EQ(two.get(), 2);
    EXPECT_EQ(camera.Pipelined(), 0);
}

// Several threads exchange on two keys while others release and tear down. Every reply that
// comes back must be the answer to its own request.
TEST_F(CtpPoolTest, ConcurrentUseFromManyThreads)
{
    TCTPSocket::SetTimeouts({});
    TFakeCamera cameras[2];
    for (TFakeCamera& c : cameras) {
        c.SetHandler([](const TFakeCamera::TRequest& r) {
            return TAnswer{r.verb == "echo" ? TFakeCamera::Ok(r.body) : TFakeCamera::Ok()};
        });
    }
    const quint16 ports[2] = {cameras[0].Port(), cameras[1].Port()};
    std::atomic<int> answered{0};
    std::atomic<int> crossed{0};

    auto check = [&](const QByteArray& reply, const QByteArray& token) {
        if (reply.isEmpty())
            return;  // released under us: allowed
        if (reply.count("-token ") == 1 && reply.contains("-token " + token + "\r\n"))
            ++answered;
        else
            ++crossed;
    };
    auto worker = [&](int id) {
        std::mt19937 random(unsigned(id) * 7919u);
        for (int i = 0; i < 150; ++i) {
            const quint16 port = ports[random() % 2];
            const QByteArray token = QByteArray::number(id) + "-" + QByteArray::number(i);
            const QByteArray request = Ctp::CommandRequest("echo", {"-token " + token});
            switch (random() % 6) {
            case 0:
            case 1:
                check(TCTPSocket::CTPRequest(kLoopback, port, request), token);
                break;
            case 2:
            case 3:
                if (const TCTPSession s = TCTPSocket::GetCTPSession(kLoopback, port))
                    check(s->Exchange(request), token);
                break;
            case 4:
                if (const TCTPSession s = TCTPSocket::GetCTPSession(kLoopback, port))
                    (void)s->KeepAlive();
                break;
            default:
                if (TCTPSession s = TCTPSocket::GetCTPSession(kLoopback, port))
                    TCTPSocket::ReleaseCTPSession(s);
            }
        }
    };
    auto releaser = [&] {
        for (int i = 0; i < 60; ++i) {
            if (TCTPSession s = TCTPSocket::GetCTPSession(kLoopback, ports[i % 2]))
                TCTPSocket::ReleaseCTPSession(s);
            if (i % 20 == 19)
                TCTPSocket::FreeCTPSessionPool();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < 6; ++id)
        threads.emplace_back(worker, id);
    threads.emplace_back(releaser);
    threads.emplace_back(releaser);
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(crossed.load(), 0);
    EXPECT_GT(answered.load(), 100);
    for (TFakeCamera& c : cameras) {
        EXPECT_EQ(c.Malformed(), 0);
        EXPECT_EQ(c.Pipelined(), 0);
    }
    // The pool still works afterwards.
    const TCTPSession s = TCTPSocket::GetCTPSession(kLoopback, ports[0]);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->KeepAlive());
}
