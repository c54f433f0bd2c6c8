// Transfer time of a 16 MiB firmware package to a lan-sim family-5 camera over the simulated
// LAN, against its limit: every 1400-byte chunk waits for its acknowledgement, so the
// transfer cannot be faster than one round trip per chunk. The round trip is measured with a
// ping-pong of the same sizes (the 1411-byte DATA message out, the 10-byte "REPLY OK\r\n"
// back) over the same path, to an echo process in the camera namespace.
//
// Usage, inside scripts/simlan only:
//   scripts/simlan --config bench/upload/bench-camera.ini -- build/bench/upload/upload_bench [MIB]
// The echo side is this binary again: upload_bench --echo|--echo-poll ADDRESS PORT (started by
// the bench).

#include "FirmwareUpload.h"
#include "NetnsGuard.h"
#include "Pk2Package.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr const char* kCameraIp = "192.168.7.171";
constexpr int kCameraPort = 81;
constexpr const char* kEchoIp = "192.168.7.250";
constexpr int kEchoPort = 9701;
constexpr int kRequestSize = 1411;  // "DATA 1400\r\n" and 1400 bytes
constexpr int kReplySize = 10;      // "REPLY OK\r\n"
constexpr int kPingPongs = 4000;

// Whether every receive first waits for readiness with poll, as the upload and lan-sim do.
bool gPollFirst = false;

bool ReadExactly(int fd, char* buffer, int size)
{
    for (int got = 0; got < size;) {
        if (gPollFirst) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 8000) != 1)
                return false;
        }
        const ssize_t n = ::recv(fd, buffer + got, size_t(size - got), 0);
        if (n <= 0)
            return false;
        got += int(n);
    }
    return true;
}

bool WriteAll(int fd, const char* buffer, int size)
{
    for (int sent = 0; sent < size;) {
        const ssize_t n = ::send(fd, buffer + sent, size_t(size - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += int(n);
    }
    return true;
}

void NoDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

sockaddr_in Address(const char* ip, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// The echo side: one connection, a 10-byte answer to every 1411-byte message.
int Echo(const char* ip, int port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = Address(ip, port);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0) {
        std::perror("echo: bind/listen");
        return 1;
    }
    std::puts("listening");
    std::fflush(stdout);
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0)
        return 1;
    NoDelay(fd);
    char request[kRequestSize];
    const char reply[kReplySize + 1] = "REPLY OK\r\n";
    while (ReadExactly(fd, request, kRequestSize) && WriteAll(fd, reply, kReplySize)) {
    }
    ::close(fd);
    ::close(listener);
    return 0;
}

// Nanoseconds on a CPU so far, from /proc/PID/schedstat; -1 when it cannot be read.
qint64 CpuNs(const QString& pid)
{
    QFile f("/proc/" + pid + "/schedstat");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(0).toLongLong();
}

// lan-sim's process: SIMLAN_LANSIM_PID or the first of its descendants that is lan-sim.
QString LanSimPid(const QString& pid, int depth = 0)
{
    QFile comm("/proc/" + pid + "/comm");
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "lan-sim")
        return pid;
    QFile children("/proc/" + pid + "/task/" + pid + "/children");
    if (depth > 4 || !children.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& child : children.readAll().split(' ')) {
        if (!child.trimmed().isEmpty()) {
            if (const QString found = LanSimPid(QString::fromLatin1(child.trimmed()), depth + 1); !found.isEmpty())
                return found;
        }
    }
    return {};
}

struct TRoundTrip {
    double meanUs = 0;
    double medianUs = 0;
    double clientCpuUs = 0;  // per round trip
    double echoCpuUs = 0;
};

// Round trips of the upload's message sizes to the echo side, the first few left out.
std::optional<TRoundTrip> PingPong(const char* self, bool pollFirst)
{
    gPollFirst = pollFirst;
    QProcess echo;
    echo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    echo.start(QStringLiteral("ip"), {"netns", "exec", qEnvironmentVariable("SIMLAN_CAM_NS"), QString::fromLocal8Bit(self),
                                      pollFirst ? "--echo-poll" : "--echo", kEchoIp, QString::number(kEchoPort)});
    if (!echo.waitForReadyRead(10000)) {
        std::fprintf(stderr, "upload_bench: the echo side did not start\n");
        return std::nullopt;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    NoDelay(fd);
    const sockaddr_in a = Address(kEchoIp, kEchoPort);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        std::perror("upload_bench: connect to the echo side");
        return std::nullopt;
    }
    std::vector<char> request(kRequestSize, 'x');
    char reply[kReplySize];
    std::vector<double> us;
    const QString echoPid = QString::number(echo.processId());
    qint64 clientCpu = 0, echoCpu = 0;
    for (int i = 0; i < kPingPongs + 100; ++i) {
        if (i == 100) {
            clientCpu = -CpuNs("self");
            echoCpu = -CpuNs(echoPid);
        }
        const Clock::time_point start = Clock::now();
        if (!WriteAll(fd, request.data(), kRequestSize) || !ReadExactly(fd, reply, kReplySize))
            return std::nullopt;
        if (i >= 100)
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    clientCpu += CpuNs("self");
    echoCpu += CpuNs(echoPid);
    ::close(fd);
    echo.waitForFinished(5000);
    TRoundTrip r;
    r.clientCpuUs = double(clientCpu) / 1000.0 / kPingPongs;
    r.echoCpuUs = double(echoCpu) / 1000.0 / kPingPongs;
    for (double v : us)
        r.meanUs += v;
    r.meanUs /= double(us.size());
    std::sort(us.begin(), us.end());
    r.medianUs = us[us.size() / 2];
    return r;
}
}  // namespace

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    if (argc == 4 && (std::string(argv[1]) == "--echo" || std::string(argv[1]) == "--echo-poll")) {
        gPollFirst = std::string(argv[1]) == "--echo-poll";
        return Echo(argv[2], std::atoi(argv[3]));
    }
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("SIMLAN_CAM_NS")) {
        std::fprintf(stderr, "upload_bench: run it inside scripts/simlan with bench/upload/bench-camera.ini\n");
        return 2;
    }
    const int mib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;

    const std::optional<TRoundTrip> rtt = PingPong(argv[0], false);
    const std::optional<TRoundTrip> polled = rtt ? PingPong(argv[0], true) : std::nullopt;
    if (!rtt || !polled)
        return 1;

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.pk2");
    {
        QByteArray data(mib * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char((i * 2654435761u) >> 24);
        const std::optional<QByteArray> package = Pk2::BuildPackage({Pk2::TEntry::File("bench.bin", data)});
        QFile f(path);
        if (!package || !f.open(QIODevice::WriteOnly) || f.write(*package) != package->size())
            return 1;
    }

    TUploadOptions options;
    options.timing.modeSwitchMs = 100;
    options.timing.afterCloseMs = 0;
    options.timing.restartMs = 100;
    options.timing.retryMs = 100;
    options.timing.retries = 100;
    const qint64 total = qint64(mib) * 1024 * 1024;
    Clock::time_point firstAck{}, lastAck{};
    std::vector<Clock::time_point> acks;
    acks.reserve(size_t(total / Pk2::kChunkSize + 2));
    const QString lanSim = LanSimPid(qEnvironmentVariable("SIMLAN_LANSIM_PID"));
    qint64 ownCpu = 0, simCpu = 0;
    options.progress = [&](const TUploadProgress& p) {
        if (p.phase != TUploadPhase::SendPackage || p.secondsLeft >= 0 || p.bytesSent == 0)
            return;
        acks.push_back(Clock::now());
        if (p.bytesSent == Pk2::kChunkSize) {
            firstAck = Clock::now();
            ownCpu = -CpuNs("self");
            simCpu = -CpuNs(lanSim);
        }
        if (p.bytesSent == total) {
            lastAck = Clock::now();
            ownCpu += CpuNs("self");
            simCpu += CpuNs(lanSim);
        }
    };
    QString message;
    const Clock::time_point start = Clock::now();
    const bool ok = UploadFirmware(path, kCameraIp, kCameraPort, "admin", "qelvo", message, options);
    const double wholeS = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok || lastAck == Clock::time_point{}) {
        std::fprintf(stderr, "upload_bench: the upload failed %s\n", qPrintable(message));
        return 1;
    }

    const qint64 chunks = (total + Pk2::kChunkSize - 1) / Pk2::kChunkSize;
    // From the first chunk's acknowledgement to the last one's: chunks - 1 round trips.
    const double transferMs = std::chrono::duration<double, std::milli>(lastAck - firstAck).count();
    const double limitMs = double(chunks - 1) * rtt->meanUs / 1000.0;
    std::vector<double> intervals;
    for (size_t i = 1; i < acks.size(); ++i)
        intervals.push_back(std::chrono::duration<double, std::micro>(acks[i] - acks[i - 1]).count());
    std::sort(intervals.begin(), intervals.end());
    const double medianChunkUs = intervals.empty() ? 0 : intervals[intervals.size() / 2];
    std::printf("package            %d MiB, %lld chunks of at most %d bytes\n", mib, static_cast<long long>(chunks),
                Pk2::kChunkSize);
    std::printf("round trip         mean %.1f us, median %.1f us (%d ping-pongs of %d/%d bytes)\n", rtt->meanUs,
                rtt->medianUs, kPingPongs, kRequestSize, kReplySize);
    std::printf("transfer           %.1f ms (%.1f us per chunk, %.2f MB/s)\n", transferMs,
                transferMs * 1000.0 / double(chunks - 1), double(total) / (transferMs / 1000.0) / 1e6);
    std::printf("limit              %.1f ms (one mean round trip per chunk)\n", limitMs);
    std::printf("transfer / limit   %.3f (%s 10 %%)\n", transferMs / limitMs,
                transferMs <= limitMs * 1.1 ? "within" : "NOT within");
    // Medians leave out the stalls that other processes on the machine cause, on both sides.
    std::printf("median chunk       %.1f us against a median round trip of %.1f us: %.3f (%s 10 %%)\n",
                medianChunkUs, rtt->medianUs, medianChunkUs / rtt->medianUs,
                medianChunkUs <= rtt->medianUs * 1.1 ? "within" : "NOT within");
    std::printf("CPU per round trip ping-pong client %.1f us, echo %.1f us\n", rtt->clientCpuUs, rtt->echoCpuUs);
    std::printf("with readiness     a ping-pong that polls before each receive on both ends, as the upload and\n"
                "                   lan-sim do: mean %.1f us, median %.1f us; median chunk / that: %.3f\n",
                polled->meanUs, polled->medianUs, medianChunkUs / polled->medianUs);
    std::printf("CPU per chunk      upload %.1f us, lan-sim %.1f us (time on a CPU, /proc/PID/schedstat)\n", double(ownCpu) / 1000.0 / double(chunks - 1),
                lanSim.isEmpty() ? -1.0 : double(simCpu) / 1000.0 / double(chunks - 1));
    // The digest each side must compute over every chunk, which no ping-pong pays for.
    {
        const QByteArray chunk(Pk2::kChunkSize, 'x');
        QCryptographicHash md5(QCryptographicHash::Md5);
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < 10000; ++i)
            md5.addData(chunk);
        (void)md5.result();
        std::printf("MD5 of one chunk   %.1f us (QCryptographicHash, this process)\n",
                    std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / 10000);
    }
    std::printf("whole upload       %.2f s with shortened waits\n", wholeS);
    return 0;
}
