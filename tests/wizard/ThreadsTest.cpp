// The worker threads of easy mode: the hand-over of their reports to the user-interface thread,
// detaching, cancelling and joining, and the reachability test of step 4. On 127.0.0.1 with
// cameras of the test's own; run under ThreadSanitizer as well (.ci/run).

#include "CheckDdnsThread.h"
#include "CheckDevThread.h"
#include "CheckFortwordThread.h"
#include "FakeCamera.h"
#include "LangRes.h"
#include "TestFamilies.h"
#include "TestHttpServer.h"
#include "TestTiming.h"
#include "WizardThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A thread that reports what it is given, each report after the test lets it go on.
class TScriptThread final : public TWizardThread {
public:
    explicit TScriptThread(int reports) : reports_(reports) {}
    ~TScriptThread() override { Stop(); }
    std::atomic<int> go{0};         // reports the test allows
    std::atomic<int> returned{0};   // Report calls that have returned
    std::atomic<bool> cancelled{false};

protected:
    void Execute() override
    {
        for (int i = 0; i < reports_; ++i) {
            while (go.load() <= i)
                if (!Token().Pause(1)) {
                    cancelled = true;
                    return;
                }
            Report(i % 3, QStringLiteral("line %1").arg(i));
            ++returned;
        }
    }

private:
    const int reports_;
};

void WaitFor(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(StepLink, AReportWaitsUntilItsHandlerRanOnTheUserInterfaceThread)
{
    QStringList lines;
    QThread* uiThread = QThread::currentThread();
    bool elsewhere = false;
    TScriptThread t(2);
    t.Link().SetOnStep([&](int kind, const QString& text) {
        elsewhere |= QThread::currentThread() != uiThread;
        lines << QString::number(kind) + ' ' + text;
    });
    t.Start();
    t.go = 1;
    // Without the event loop the report cannot be handed over: the thread waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(t.returned.load(), 0);
    WaitFor([&] { return t.returned.load() == 1; });
    EXPECT_EQ(lines, QStringList({"0 line 0"}));
    t.go = 2;
    WaitFor([&] { return t.Finished(); });
    EXPECT_EQ(lines, QStringList({"0 line 0", "1 line 1"}));
    EXPECT_FALSE(elsewhere);
}

TEST(StepLink, ADetachedThreadReportsNowhereAndIsNotHeldUp)
{
    int calls = 0;
    TScriptThread t(3);
    t.Link().SetOnStep([&](int, const QString&) { ++calls; });
    t.Start();
    t.go = 1;
    // The report is posted and waits for the user-interface thread; the page moves on first.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    t.Link().Detach();
    // The waiting report returns without the event loop having run.
    while (t.returned.load() < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.go = 3;
    while (!t.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(ThreadKeeper, GoingAwayCancelsAndJoinsEveryThreadWithoutReports)
{
    int calls = 0;
    std::vector<TScriptThread*> threads;
    QElapsedTimer took;
    {
        TThreadKeeper keeper;
        for (int i = 0; i < 4; ++i) {
            auto t = std::make_unique<TScriptThread>(5);
            t->Link().SetOnStep([&](int, const QString&) { ++calls; });
            threads.push_back(keeper.Start(std::move(t)));
        }
        threads[0]->go = 1;  // one is waiting to hand over a report, three in a pause
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(keeper.Running(), 4);
        took.start();
    }
    EXPECT_LT(took.elapsed(), testsupport::Slack(1000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0) << "a report posted before the end finds no handler";
}

// The reachability test of step 4, by family.
class CheckDev : public ::testing::Test {
protected:
    struct TOutcome {
        bool notified = false;
        bool reachable = false;
        qint64 afterMs = 0;
    };
    TOutcome Run(const TDevInfo& cam)
    {
        TOutcome out;
        TThreadKeeper keeper;
        auto t = std::make_unique<TCheckDevThread>(testsupport::Families().Get(cam.Family), cam);
        QElapsedTimer since;
        since.start();
        t->Link().SetOnStep([&](int kind, const QString&) {
            out.notified = true;
            out.reachable = kind == 1;
            out.afterMs = since.elapsed();
        });
        keeper.Start(std::move(t));
        WaitFor([&] { return out.notified; });
        return out;
    }
    static TDevInfo Cam(int family, quint16 port)
    {
        TDevInfo d;
        d.Family = family;
        d.Mac = QStringLiteral("001A2B3C4D5E");
        d.IP = QStringLiteral("127.0.0.1");
        d.HttpPort = port;
        return d;
    }
};

TEST_F(CheckDev, AWebPageThatAnswersIsReachable)
{
    CameraServer web([](const HttpRequest&) { return HttpAnswer(200, "<html></html>"); });
    for (int family : {2, 9}) {
        const TOutcome o = Run(Cam(family, web.Port()));
        EXPECT_TRUE(o.reachable) << family;
    }
    // Any answer counts, an error page too.
    CameraServer denied([](const HttpRequest&) { return HttpAnswer(401, "Unauthorized"); });
    EXPECT_TRUE(Run(Cam(2, denied.Port())).reachable);
    EXPECT_FALSE(Run(Cam(2, RefusedPort())).reachable);
    ASSERT_EQ(web.Requests().size(), 2u);
    EXPECT_EQ(web.Requests()[0].target, "/");
}

TEST_F(CheckDev, Family8AsksForItsStatusPageAfterThreeSeconds)
{
    CameraServer web([](const HttpRequest&) { return HttpAnswer(200, "var sys_ver=\"1\";"); });
    const TOutcome o = Run(Cam(8, web.Port()));
    EXPECT_TRUE(o.reachable);
    EXPECT_GE(o.afterMs, 3000);
    ASSERT_EQ(web.Requests().size(), 1u);
    EXPECT_EQ(web.Requests()[0].target, "/get_status.cgi");
}

TEST_F(CheckDev, Family5AnswersKeepaliveOnItsDevicePort)
{
    TFakeCamera camera;
    EXPECT_TRUE(Run(Cam(5, camera.Port())).reachable);
    EXPECT_TRUE(camera.Verbs().contains("keepalive"));
    EXPECT_FALSE(Run(Cam(5, RefusedPort())).reachable);
    TFakeCamera broken;
    broken.SetHandler([](const TFakeCamera::TRequest&) { return TFakeCamera::TAnswer("CTP/1.0 500 Oops\r\n\r\n"); });
    EXPECT_FALSE(Run(Cam(5, broken.Port())).reachable);
}

// A test that would take seconds (a silent camera, the settling pause) ends at once when its
// page goes away, and reports nothing.
TEST_F(CheckDev, APageThatGoesAwayEndsItsTestAtOnce)
{
    TFakeCamera silent;
    silent.SetSilentVerb("keepalive");
    BlackHoleListener hole;
    int calls = 0;
    QElapsedTimer took;
    {
        TThreadKeeper keeper;
        for (const TDevInfo& cam : {Cam(5, silent.Port()), Cam(8, hole.Port()), Cam(2, hole.Port())}) {
            auto t = std::make_unique<TCheckDevThread>(testsupport::Families().Get(cam.Family), cam);
            t->Link().SetOnStep([&](int, const QString&) { ++calls; });
            keeper.Start(std::move(t));
        }
        while (silent.Accepted() < 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        took.start();
    }
    EXPECT_LT(took.elapsed(), testsupport::Slack(1500));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

// The checks of steps 6 and 7 against a service of the test's own on 127.0.0.1:808 that takes
// its time: a check whose page starts a newer one (or goes away) reports nowhere, and one
// whose page goes away ends at once instead of waiting for the service.
class SlowService {
public:
    std::atomic<int> requests{0};
    std::atomic<bool> release{false};
    TestServer server{[this](Connection& c, const std::string& head) {
                          ++requests;
                          if (head.find("/func/getremote.asp") != std::string::npos) {
                              c.Send(Response(200, "1127.0.0.1:8081"));
                              return;
                          }
                          // checkurl: silent until the test lets it answer
                          while (!release.load())
                              if (!c.Pause(5))
                                  return;
                          c.Send(Response(200, "1"));
                      },
                      808};
};

TEST(CheckThreads, ADetachedCheckGoesOnIntoNothing)
{
    TfrmStrRes texts;
    SetLanguage("en");
    SlowService service;
    ASSERT_TRUE(service.server.Listening());
    QStringList seen;
    TCheckFortwordThread t("127.0.0.1", "acc", "pw", "admin", "http://acc.example.net");
    t.Link().SetOnStep([&](int kind, const QString& text) { seen << QString::number(kind) + text; });
    t.Start();
    WaitFor([&] { return !seen.isEmpty() && service.requests.load() >= 2; });
    EXPECT_EQ(seen, QStringList{"0Checking...1"});
    t.Link().Detach();  // Redetect: the page has a newer check now
    service.release = true;
    while (!t.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, QStringList{"0Checking...1"}) << "the success after the detach reaches nobody";
}

TEST(CheckThreads, APageThatGoesAwayDoesNotWaitForTheService)
{
    SlowService service;
    int calls = 0;
    QElapsedTimer took;
    {
        TThreadKeeper keeper;
        auto port = std::make_unique<TCheckFortwordThread>("127.0.0.1", "acc", "pw", "admin", "");
        port->Link().SetOnStep([&](int, const QString&) { ++calls; });
        keeper.Start(std::move(port));
        TDevInfo cam;
        cam.Family = 8;  // no first stage: straight to the service
        cam.DdnsServer = "127.0.0.1";
        cam.DdnsUser = "acc";
        auto ddns = std::make_unique<TCheckDDNSThread>(testsupport::Families().Get(8), cam, "", "admin", "");
        ddns->Link().SetOnStep([&](int, const QString&) { ++calls; });
        keeper.Start(std::move(ddns));
        // Both have reported their first line; the port check waits for checkurl.
        WaitFor([&] { return calls >= 2 && service.requests.load() >= 3; });
        took.start();
    }
    EXPECT_LT(took.elapsed(), testsupport::Slack(1500));
    const int before = calls;
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, before);
}

}  // namespace
