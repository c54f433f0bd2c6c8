// ctp_pool_soak: the CTP/1.0 connection pool driven from several threads for a long time, against
// cameras that come, go, move and answer with damaged replies (scripts/soak). Every thread picks
// a camera and an operation at random: a pooled session and its keepalive, a request through
// CTPRequest, the wireless settings, the network list, the DDNS state, a login, a release, now
// and then the whole pool freed. Prints one line per report period with the operations so far
// and the process's resident memory, descriptors and threads, and a last line after the pool is
// freed at the end.
//
//   ctp_pool_soak --seconds N --cameras FILE [--threads T] [--report S]
//
// FILE holds "IP PORT" lines and is read again every two seconds (scripts/soak rewrites it as
// cameras move); every address once listed stays a target, so that moved-away cameras are
// asked as well.

#include "CtpSocket.h"
#include "NetnsGuard.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using TTarget = std::pair<QString, qint32>;

struct TCounters {
    std::atomic<quint64> ops{0}, answered{0}, failed{0}, released{0}, freed{0}, exceptions{0};
};

class TTargets {
public:
    explicit TTargets(QString path) : path_(std::move(path)) {}

    void Reload()
    {
        QFile f(path_);
        if (!f.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> lines = f.readAll().split('\n');
        std::lock_guard lock(mutex_);
        for (const QByteArray& line : lines) {
            const QList<QByteArray> w = line.simplified().split(' ');
            bool ok = false;
            const int port = w.size() == 2 ? w[1].toInt(&ok) : 0;
            if (ok && port > 0 && port < 65536)
                known_.insert({QString::fromLatin1(w[0]), port});
        }
        list_.assign(known_.begin(), known_.end());
    }

    bool Pick(std::mt19937& rng, TTarget& out)
    {
        std::lock_guard lock(mutex_);
        if (list_.empty())
            return false;
        out = list_[rng() % list_.size()];
        return true;
    }

    size_t Size()
    {
        std::lock_guard lock(mutex_);
        return list_.size();
    }

private:
    QString path_;
    std::mutex mutex_;
    std::set<TTarget> known_;
    std::vector<TTarget> list_;
};

long StatusField(const char* name)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const size_t n = std::strlen(name);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, name, n) == 0 && line[n] == ':') {
            value = std::atol(line + n + 1);
            break;
        }
    }
    std::fclose(f);
    return value;
}

long OpenDescriptors()
{
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    long n = 0;
    while (const dirent* e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n - 1;  // the one opendir holds
}

void Work(TTargets& targets, TCounters& c, const std::atomic<bool>& stop, unsigned seed)
{
    std::mt19937 rng(seed);
    while (!stop.load()) {
        TTarget t;
        if (!targets.Pick(rng, t)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        ++c.ops;
        try {
            const unsigned op = rng() % 100;
            if (op == 0) {
                TCTPSocket::FreeCTPSessionPool();
                ++c.freed;
                continue;
            }
            if (op < 15) {
                const QByteArray reply = TCTPSocket::CTPRequest(t.first, t.second, Ctp::GetWiFiRequest());
                (Ctp::ParseWiFi(reply) ? c.answered : c.failed)++;
                continue;
            }
            TCTPSession s = TCTPSocket::GetCTPSession(t.first, t.second);
            if (!s) {
                ++c.failed;
                continue;
            }
            bool ok = false;
            if (op < 35)
                ok = s->KeepAlive();
            else if (op < 50)
                ok = s->GetWiFi().has_value();
            else if (op < 65)
                ok = s->ScanWiFi();
            else if (op < 80)
                ok = s->GetOrayState() != Ctp::kOrayUnknown;
            else if (op < 90)
                ok = s->Login(QStringLiteral("admin"), QStringLiteral("qelvo"));
            if (op >= 90) {
                TCTPSocket::ReleaseCTPSession(s);
                ++c.released;
            } else {
                (ok ? c.answered : c.failed)++;
            }
        } catch (const std::exception&) {
            ++c.exceptions;
        }
    }
}

void Report(long elapsed, const TCounters& c, TTargets& targets, const char* what)
{
    std::printf("%s t=%lds ops=%llu answered=%llu failed=%llu released=%llu freed=%llu "
                "exceptions=%llu targets=%zu rss_kb=%ld fds=%ld threads=%ld\n",
                what, elapsed, (unsigned long long)c.ops.load(), (unsigned long long)c.answered.load(),
                (unsigned long long)c.failed.load(), (unsigned long long)c.released.load(),
                (unsigned long long)c.freed.load(), (unsigned long long)c.exceptions.load(),
                targets.Size(), StatusField("VmRSS"), OpenDescriptors(), StatusField("Threads"));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    long seconds = 60, threads = 6, every = 30;
    QString cameras;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds")
            seconds = std::atol(argv[i + 1]);
        else if (a == "--threads")
            threads = std::atol(argv[i + 1]);
        else if (a == "--report")
            every = std::atol(argv[i + 1]);
        else if (a == "--cameras")
            cameras = QString::fromLocal8Bit(argv[i + 1]);
        else {
            std::fprintf(stderr, "ctp_pool_soak: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (cameras.isEmpty() || seconds <= 0 || threads <= 0 || threads > 64 || every <= 0) {
        std::fprintf(stderr, "usage: ctp_pool_soak --seconds N --cameras FILE [--threads T] [--report S]\n");
        return 2;
    }
    // Stopped cameras take connections and say nothing: a short wait keeps the threads busy.
    TCTPSocket::SetTimeouts({1000, 3000});

    TTargets targets(cameras);
    targets.Reload();
    TCounters counters;
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (long i = 0; i < threads; ++i)
        workers.emplace_back(Work, std::ref(targets), std::ref(counters), std::cref(stop), unsigned(i + 1));

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    auto nextReport = start + std::chrono::seconds(every);
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        targets.Reload();
        if (Clock::now() >= nextReport) {
            Report(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count(), counters,
                   targets, "running");
            nextReport += std::chrono::seconds(every);
        }
    }
    stop = true;
    for (std::thread& t : workers)
        t.join();
    TCTPSocket::FreeCTPSessionPool();
    Report(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count(), counters, targets,
           "end");
    return counters.exceptions.load() == 0 ? 0 : 1;
}
