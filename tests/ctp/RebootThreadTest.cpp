// The background restart: what it sends, where it reports, that it frees itself, and that
// releasing the connection it waits on ends it.
#include "RebootThread.h"
#include "SocketTestSupport.h"
#include "TestTiming.h"

#include <QPointer>
#include <QThread>

class RebootThreadTest : public CtpSocketFixture {
protected:
    TFakeCamera camera;
    QObject context;
    int calls = 0;
    bool answered = false;
    QThread* reportedOn = nullptr;

    TRebootThread* StartReboot(QObject* receiver)
    {
        return TRebootThread::Start(kLoopback, camera.Port(), receiver, [this](bool a) {
            ++calls;
            answered = a;
            reportedOn = QThread::currentThread();
        });
    }
};

TEST_F(RebootThreadTest, SendsRestartReportsOnTheCallersThreadAndFreesItself)
{
    QPointer<TRebootThread> thread = StartReboot(&context);
    ASSERT_FALSE(thread.isNull());
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }, 5000));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(answered);
    EXPECT_EQ(reportedOn, QThread::currentThread());
    EXPECT_EQ(camera.Requests(), QList<QByteArray>{Ctp::RestartRequest()});
    EXPECT_EQ(camera.Restarts(), 1);
    EXPECT_TRUE(WaitUntil([&] { return thread.isNull(); }, 5000));
}

TEST_F(RebootThreadTest, CameraComesBackOnAFreshPooledConnection)
{
    const TCTPSession before = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_TRUE(before->Login("admin", "qelvo"));
    ASSERT_NE(StartReboot(&context), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }, 5000));
    EXPECT_TRUE(answered);
    // The restart went over the pooled connection, after its liveness test.
    EXPECT_EQ(camera.Verbs(), (QList<QByteArray>{"cfgusr", "keepalive", "restart"}));
    EXPECT_EQ(camera.Accepted(), 1);

    const TCTPSession after = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    EXPECT_TRUE(after->Login("admin", "qelvo"));
}

// The wireless page: settings written, restart started, the restart wait runs on the page's
// thread, then the connection is released while the thread still waits for the camera.
TEST_F(RebootThreadTest, ReleaseDuringTheRestartWaitEndsTheThread)
{
    TCTPSocket::SetTimeouts({});  // the camera could keep the thread waiting for a minute
    camera.SetSilentVerb("restart");
    TCTPSession conn = TCTPSocket::GetCTPSession(kLoopback, camera.Port());
    ASSERT_TRUE(conn->SetWiFi(TDEVWiFi{0, "home", "WPA2PSK", "AES", "k", 0}));

    QElapsedTimer timer;
    timer.start();
    QPointer<TRebootThread> thread = StartReboot(&context);
    ASSERT_FALSE(thread.isNull());
    EXPECT_LT(timer.elapsed(), testsupport::Slack(500)) << "starting must not block";
    ASSERT_TRUE(WaitUntil([&] { return camera.Verbs().contains("restart"); }, 3000));
    EXPECT_FALSE(WaitUntil([&] { return calls > 0; }, 300));

    TCTPSocket::ReleaseCTPSession(conn);
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }, 2000));
    EXPECT_FALSE(answered);
    EXPECT_TRUE(WaitUntil([&] { return thread.isNull(); }, 2000));
}

TEST_F(RebootThreadTest, ReceiverGoneBeforeTheReport)
{
    TCTPSocket::SetTimeouts({1000, 200});
    camera.SetSilentVerb("restart");
    auto* receiver = new QObject;
    QPointer<TRebootThread> thread = StartReboot(receiver);
    ASSERT_FALSE(thread.isNull());
    delete receiver;
    EXPECT_TRUE(WaitUntil([&] { return thread.isNull(); }, 3000));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(camera.Verbs(), QList<QByteArray>{"restart"});
}
