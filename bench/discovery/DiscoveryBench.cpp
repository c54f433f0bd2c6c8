// How long the user-interface thread spends on one search tick when 1000 cameras answer:
// every reply datagram through the receive handler (parse, merge, re-sort), then expiry.
// Usage: discovery_bench [cameras] [ticks]
//        discovery_bench --live CAMERAS [SECONDS]   (inside scripts/simlan only: real sockets
//        against lan-sim, e.g. with tools/lan-sim/examples/bench-1000.ini)

#include "DiscoveryEngine.h"
#include "NetnsGuard.h"
#include "TestFamilies.h"
#include "TestPackets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testpk;

namespace {

struct Camera {
    int family;
    int host;
    int subnet;
};

// The datagrams one camera sends for one tick (family 8: all three answers of its exchange).
std::vector<QByteArray> Replies(const Camera& c, int generation)
{
    const QByteArray ip = QByteArray("10.") + QByteArray::number(c.subnet) + "." +
                          QByteArray::number(c.host / 250) + "." +
                          QByteArray::number(c.host % 250 + 1 + generation % 3);
    const QByteArray name = "cam-" + QByteArray::number(c.host * 7919 % 10007);
    switch (c.family) {
    case 2: {
        MoIReply r;
        r.mac = "M" + QByteArray::number(c.host).rightJustified(11, '0');
        r.name = name;
        const QList<QByteArray> p = ip.split('.');
        r.ip = {quint8(p[0].toInt()), quint8(p[1].toInt()), quint8(p[2].toInt()),
                quint8(p[3].toInt())};
        r.bodyLength = 195;
        r.ddnsServer = "user.ddns.example.net:808";
        r.ddnsUser = "u" + QByteArray::number(c.host);
        return {Build(r)};
    }
    case 5:
        return {CtpReply({"-sn=SN" + QByteArray::number(c.host), "-name=" + name, "-ip=" + ip,
                          "-netmask=255.255.255.0", "-portctp=80",
                          "-mac=00:05:" + QByteArray::number(c.host, 16).rightJustified(8, '0'),
                          "-gw=10.0.0.1", "-ddnsuser=u", "-ddnspswd=p",
                          "-ddns=user.ddns.example.net", "-version=1.0"})};
    default: {
        Bin8Block b;
        b.ip = ip;
        b.name = name;
        b.mac = QByteArray::fromHex("0008") + QByteArray::fromHex(
                    QByteArray::number(c.host, 16).rightJustified(8, '0'));
        return {Bin8SearchReply(b), Bin8NetReply(b),
                Bin8DdnsReply(b, "user.ddns.example.net:808", "u8", "p8")};
    }
    }
}

struct Stats {
    std::vector<double> ms;
    void Add(double v) { ms.push_back(v); }
    void Print(const char* what) const
    {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        std::printf("%-44s n=%3zu  min %7.2f  median %7.2f  max %7.2f ms\n", what, s.size(),
                    s.front(), s[s.size() / 2], s.back());
    }
};

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Time until every simulated camera is listed, and whether the list then stays whole.
int Live(int expected, int seconds)
{
    if (qEnvironmentVariableIsEmpty("SIMLAN_CONTROL")) {
        std::fprintf(stderr, "--live runs inside scripts/simlan only\n");
        return 2;
    }
    DiscoveryEngine engine(testsupport::Families());
    if (engine.Start() != 5)
        return 1;
    QElapsedTimer clock;
    clock.start();
    engine.Find();
    double listedAt = -1;
    int minAfter = -1;
    QObject::connect(&engine.Devices(), &TDeviceList::deviceCountChanged, [&](int n) {
        if (listedAt < 0 && n >= expected)
            listedAt = Ms(clock);
    });
    QObject::connect(&engine, &DiscoveryEngine::ticked, [&](int) {
        if (listedAt >= 0)
            minAfter = minAfter < 0 ? engine.Devices().Count() : std::min(minAfter, engine.Devices().Count());
    });
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    std::printf("live: %d cameras expected, %d listed at the end, %llu datagrams received\n",
                expected, engine.Devices().Count(), (unsigned long long)engine.DatagramCount());
    if (listedAt < 0) {
        std::printf("live: not all cameras listed within %d s\n", seconds);
        return 1;
    }
    std::printf("live: all listed after %.0f ms; fewest listed at a later tick: %d\n", listedAt,
                minAfter);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--live")
        return Live(std::max(1, atoi(argv[2])), argc > 3 ? std::max(2, atoi(argv[3])) : 10);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int ticks = argc > 2 ? std::max(3, atoi(argv[2])) : 30;

    std::vector<Camera> cams;
    for (int i = 0; i < count; ++i)
        cams.push_back({i % 3 == 0 ? 2 : (i % 3 == 1 ? 5 : 8), i, 1 + i % 4});
    std::vector<std::vector<QByteArray>> steady, moved;
    size_t datagrams = 0;
    for (const Camera& c : cams) {
        steady.push_back(Replies(c, 0));
        moved.push_back(Replies(c, 1));
        datagrams += steady.back().size();
    }

    DiscoveryEngine engine(testsupport::Families());  // not started: the sockets stay closed, the handler runs as usual
    TDeviceList& list = engine.Devices();
    // moveEvery > 0: every moveEvery-th camera answers from its other address this tick.
    auto runTick = [&](int moveEvery, bool movedNow) {
        QElapsedTimer t;
        t.start();
        for (size_t i = 0; i < steady.size(); ++i) {
            const bool move = moveEvery > 0 && movedNow && i % size_t(moveEvery) == 0;
            for (const QByteArray& d : move ? moved[i] : steady[i])
                engine.OnUdpRead(d);
        }
        list.ExpireTick();
        return Ms(t);
    };

    std::printf("%d cameras (families 2, 5, 8), %zu datagrams per tick\n", count, datagrams);
    Stats first, steadyTicks, churn, sortClick;
    for (int round = 0; round < 5; ++round) {
        list.ClearDevices();
        list.SetSort(TDeviceList::ColIP, true);
        first.Add(runTick(0, false));
        if (list.Count() != count) {
            std::fprintf(stderr, "only %d of %d cameras listed after the first tick\n",
                         list.Count(), count);
            return 1;
        }
    }
    for (int t = 0; t < ticks; ++t)
        steadyTicks.Add(runTick(0, false));
    // One camera in ten moves to another address each tick (and back the next).
    for (int t = 0; t < ticks; ++t)
        churn.Add(runTick(10, t % 2 == 0));
    for (int t = 0; t < ticks; ++t) {
        QElapsedTimer timer;
        timer.start();
        list.ColumnClicked(t % 3);
        sortClick.Add(Ms(timer));
    }
    // Everyone falls silent: the tick that drops them all.
    QElapsedTimer silent;
    int silentTicks = 0;
    double dropMs = 0;
    while (list.Count() > 0 && silentTicks < 100) {
        silent.restart();
        list.ExpireTick();
        dropMs = std::max(dropMs, Ms(silent));
        ++silentTicks;
    }

    first.Print("first tick (every camera new)");
    steadyTicks.Print("steady tick (no change)");
    churn.Print("tick with 10% of cameras readdressed");
    sortClick.Print("column header click (full re-sort)");
    std::printf("%-44s %d ticks, slowest %.2f ms\n", "silence until the list is empty", silentTicks,
                dropMs);
    double worst = 0;
    for (const Stats* s : {&first, &steadyTicks, &churn})
        worst = std::max(worst, *std::max_element(s->ms.begin(), s->ms.end()));
    std::printf("worst tick %.2f ms: %s the 50 ms budget\n", worst, worst < 50 ? "within" : "OVER");
    return 0;
}
