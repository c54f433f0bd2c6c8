// How long the user-interface thread spends on one search tick when many cameras answer:
// every reply datagram through the receive handler (parse or replay, merge, re-sort), then
// expiry; and the heap the list and the engine's reply cache hold. Times are given as the
// thread's CPU time (the work itself, whatever else the machine runs) and as wall time.
// Usage: discovery_bench [cameras] [ticks]
//        discovery_bench --first-only [cameras]   (one first tick and out, for a profiler)
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
#include <ctime>
#include <malloc.h>
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

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// CPU and wall time of one piece of work.
struct Clock {
    QElapsedTimer wall;
    double cpu0 = 0;
    Clock() { Restart(); }
    void Restart()
    {
        wall.restart();
        cpu0 = ThreadCpuMs();
    }
    std::pair<double, double> Ms() const
    {
        return {ThreadCpuMs() - cpu0, double(wall.nsecsElapsed()) / 1e6};
    }
};

struct Stats {
    std::vector<double> cpu, wall;
    void Add(std::pair<double, double> v)
    {
        cpu.push_back(v.first);
        wall.push_back(v.second);
    }
    double Max() const { return *std::max_element(cpu.begin(), cpu.end()); }
    void Print(const char* what) const
    {
        std::vector<double> c = cpu, w = wall;
        std::sort(c.begin(), c.end());
        std::sort(w.begin(), w.end());
        std::printf("%-40s n=%3zu  cpu median %7.2f  max %7.2f ms   wall median %7.2f ms\n", what,
                    c.size(), c[c.size() / 2], c.back(), w[w.size() / 2]);
    }
};

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
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
    const bool firstOnly = argc > 1 && QByteArray(argv[1]) == "--first-only";
    if (firstOnly) {
        --argc;
        ++argv;
    }
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
        Clock t;
        for (size_t i = 0; i < steady.size(); ++i) {
            const bool move = moveEvery > 0 && movedNow && i % size_t(moveEvery) == 0;
            for (const QByteArray& d : move ? moved[i] : steady[i])
                engine.OnUdpRead(d);
        }
        list.ExpireTick();
        return t.Ms();
    };

    std::printf("%d cameras (families 2, 5, 8), %zu datagrams per tick\n", count, datagrams);
    if (firstOnly) {
        const auto [cpu, wall] = runTick(0, false);
        std::printf("first tick: cpu %.2f ms, wall %.2f ms, %d listed\n", cpu, wall, list.Count());
        std::fflush(stdout);
        std::_Exit(0);  // no clean-up in the profile
    }
    Stats first, steadyTicks, churn, sortClick;
    size_t heapBefore = 0, heapAfter = 0, cacheBytes = 0, cacheEntries = 0;
    for (int round = 0; round < 5; ++round) {
        engine.Find();  // an empty list and reply cache (the sockets are closed: no probes go out)
        list.SetSort(TDeviceList::ColIP, true);
        heapBefore = HeapInUse();
        first.Add(runTick(0, false));
        heapAfter = HeapInUse();
        cacheBytes = size_t(engine.Replies().PayloadBytes());
        cacheEntries = size_t(engine.Replies().Size());
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
        Clock timer;
        list.ColumnClicked(t % 3);
        sortClick.Add(timer.Ms());
    }
    // Everyone falls silent: the tick that drops them all.
    Clock silent;
    int silentTicks = 0;
    double dropMs = 0;
    while (list.Count() > 0 && silentTicks < 100) {
        silent.Restart();
        list.ExpireTick();
        dropMs = std::max(dropMs, silent.Ms().first);
        ++silentTicks;
    }

    first.Print("first tick (every camera new)");
    steadyTicks.Print("steady tick (no change)");
    churn.Print("tick with 10% of cameras readdressed");
    sortClick.Print("column header click (full re-sort)");
    std::printf("%-40s %d ticks, slowest %.2f ms cpu\n", "silence until the list is empty",
                silentTicks, dropMs);
    const double mb = 1024.0 * 1024.0;
    std::printf("heap after the first tick: %.1f MiB for %d cameras (%.0f bytes each), of which "
                "%.1f MiB cached datagrams (%zu entries)\n",
                double(heapAfter - heapBefore) / mb, count,
                double(heapAfter - heapBefore) / count, double(cacheBytes) / mb, cacheEntries);
    std::printf("targets (cpu): first tick %.2f ms of 50, steady tick %.2f ms of 16: %s\n",
                first.Max(), steadyTicks.Max(),
                first.Max() <= 50 && steadyTicks.Max() <= 16 ? "met" : "MISSED");
    return 0;
}
