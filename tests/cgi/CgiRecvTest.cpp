// The search receive thread and its hand-over to the user-interface thread, on loopback.

#include "CgiPackets.h"
#include "CgiRecvThread.h"
#include "CgiWire.h"
#include "TestTiming.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

// Plain datagrams to 127.0.0.1, from any thread.
class Sender {
public:
    Sender() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Sender() { ::close(fd_); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    void Send(const QByteArray& d, quint16 port) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd_, d.constData(), size_t(d.size()), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }

private:
    int fd_;
};

QByteArray Reply(std::uint8_t lastMacByte)
{
    wire::SearchReply r;
    r.mac[5] = lastMacByte;
    return wire::Build(r);
}

class RecvThread : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(socket.Open());
        ASSERT_TRUE(socket.BindLoopback(0));
        port = socket.LocalPort();
        ASSERT_NE(port, 0);
    }

    std::unique_ptr<TRecvThread> Start(QObject* context = nullptr)
    {
        auto t = std::make_unique<TRecvThread>(
            std::move(socket),
            [this](const TDevInfo& r) {
                got.push_back(r);
                onUiThread = onUiThread && QThread::currentThread() == ui.thread();
            },
            &ui, context);
        t->Start();
        return t;
    }

    void Send(const QByteArray& d) { sender.Send(d, port); }

    static bool WaitFinished(TRecvThread& t, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return t.IsFinished(); }, ms);
    }

    QObject ui;
    TCgiUdpSocket socket;
    quint16 port = 0;
    Sender sender;
    std::vector<TDevInfo> got;
    bool onUiThread = true;
};

TEST_F(RecvThread, DeliversEachSearchReplyOnTheUiThreadAndIgnoresTheRest)
{
    QByteArray longReply = Reply(0x02);
    longReply.append(QByteArray(2000, 'L'));
    Send(Reply(0x01));
    Send(Cgi::SearchProbe());
    Send(QByteArray("garbage"));
    Send(QByteArray("DH\x01", 3));
    Send(wire::Answer(QByteArray(), 0x8000));
    Send(longReply);
    Send(QByteArray("\x44\x48\x01\x08", 4));
    Send(QByteArray());
    auto t = Start();
    ASSERT_TRUE(WaitFinished(*t));
    QCoreApplication::processEvents();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(got[0].Mac, "00:1A:2B:3C:4D:01");
    EXPECT_EQ(got[0].Name, "Garden");
    EXPECT_EQ(got[1].Mac, "00:1A:2B:3C:4D:02");
    EXPECT_EQ(got[1].DdnsPwd, "ddnspw");
    EXPECT_EQ(got[2].Mac, "00:00:00:00:00:00");
    EXPECT_EQ(got[2].Family, 9);
    EXPECT_TRUE(got[2].IP.isEmpty());
}

TEST_F(RecvThread, EndsAfterTenQuietWaitsAndClosesItsSocket)
{
    QElapsedTimer clock;
    clock.start();
    auto t = Start();
    ASSERT_TRUE(WaitFinished(*t));
    EXPECT_GE(clock.elapsed(), TRecvThread::kQuietWaits * TRecvThread::kWaitMs - 10);
    EXPECT_LT(clock.elapsed(), testsupport::Slack(2000));
    TCgiUdpSocket again;
    ASSERT_TRUE(again.Open());
    EXPECT_TRUE(again.BindLoopback(port));
}

// Replies in between do not start the count again: ten quiet waits in all end the thread.
TEST_F(RecvThread, RepliesDoNotResetTheQuietCount)
{
    std::atomic<bool> stop{false};
    const quint16 to = port;
    std::thread camera([&] {
        Sender s;
        while (!stop) {
            s.Send(Reply(0x03), to);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    });
    QElapsedTimer clock;
    clock.start();
    auto t = Start();
    const bool finished = WaitFinished(*t, 2500);
    stop = true;
    camera.join();
    ASSERT_TRUE(finished);
    EXPECT_LT(clock.elapsed(), testsupport::Slack(1500));
    EXPECT_GE(got.size(), 2u);
}

TEST_F(RecvThread, AFloodDoesNotHoldThePortForever)
{
    std::atomic<bool> stop{false};
    const quint16 to = port;
    std::thread flood([&] {
        Sender s;
        while (!stop) {
            s.Send(QByteArray(600, 'J'), to);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    QElapsedTimer clock;
    clock.start();
    auto t = Start();
    const bool finished = WaitFinished(*t, TRecvThread::kMaxRunMs + 2000);
    stop = true;
    flood.join();
    ASSERT_TRUE(finished);
    EXPECT_GE(clock.elapsed(), TRecvThread::kMaxRunMs - 100);
    EXPECT_TRUE(got.empty());
}

// The thread waits until the user-interface thread has taken each record.
TEST_F(RecvThread, HandOverBlocksUntilTheUiThreadHasRun)
{
    Send(Reply(0x01));
    Send(Reply(0x02));
    auto t = Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no events processed
    EXPECT_FALSE(t->IsFinished());
    EXPECT_TRUE(got.empty());
    ASSERT_TRUE(WaitFinished(*t));
    QCoreApplication::processEvents();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Mac, "00:1A:2B:3C:4D:01");
    EXPECT_EQ(got[1].Mac, "00:1A:2B:3C:4D:02");
}

TEST_F(RecvThread, StopWhileWaitingForTheUiThreadEndsAtOnce)
{
    Send(Reply(0x01));
    auto t = Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(t->IsFinished());
    t->Stop();
    EXPECT_TRUE(t->Wait(2000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(got.empty());
}

TEST_F(RecvThread, RecordsForAContextThatIsGoneAreDropped)
{
    auto* context = new QObject;
    Send(Reply(0x01));
    auto t = Start(context);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    delete context;
    ASSERT_TRUE(WaitFinished(*t));
    QCoreApplication::processEvents();
    EXPECT_TRUE(got.empty());
}

TEST_F(RecvThread, RecordsForALiveContextArrive)
{
    QObject context;
    Send(Reply(0x01));
    auto t = Start(&context);
    ASSERT_TRUE(WaitFinished(*t));
    QCoreApplication::processEvents();
    EXPECT_EQ(got.size(), 1u);
}

TEST(CgiHandover, OnItsOwnThreadRunsAtOnceUntilCancelled)
{
    QObject target;
    TCgiHandover h(&target);
    int runs = 0;
    EXPECT_TRUE(h.Run([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    h.Cancel();
    EXPECT_FALSE(h.Run([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
}

TEST(CgiHandover, FromAnotherThreadRunsOnTheTargetsThread)
{
    QObject target;
    TCgiHandover h(&target);
    std::atomic<bool> ranOnTarget{false};
    std::atomic<bool> result{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = h.Run([&] { ranOnTarget = QThread::currentThread() == target.thread(); });
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 3000));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnTarget);

    // Cancelled before the target's thread got to it: the caller is released, fn never runs.
    std::atomic<int> late{0};
    std::thread waiting([&] { result = h.Run([&] { ++late; }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    h.Cancel();
    waiting.join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    EXPECT_EQ(late, 0);
}

}  // namespace
