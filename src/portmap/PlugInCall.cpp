#include "PlugInCall.h"

#include "PlugInHostWire.h"
#include "Tools.h"

#include <QFile>
#include <QMutex>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace wire = plugin_host_wire;
using Clock = std::chrono::steady_clock;

// How often a running call looks at its cancel flag.
constexpr int kCancelPollMs = 50;


void AppendField(QByteArray& out, const QByteArray& field) {
    out += QByteArray::number(field.size());
    out += '\n';
    out += field;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

struct HostResult {
    bool ok = false;
    unsigned code = 0;
    QByteArray body;
};

// Parses the helper's whole output: "OK <code> <length>\n" and exactly length bytes.
HostResult ParseAnswer(const QByteArray& out) {
    HostResult r;
    const qsizetype nl = out.indexOf('\n');
    if (nl < 0 || nl > qsizetype(wire::kMaxHeader))
        return r;
    const QList<QByteArray> parts = out.left(nl).split(' ');
    if (parts.size() != 3 || parts[0] != "OK")
        return r;
    bool okCode = false, okLen = false;
    const uint code = parts[1].toUInt(&okCode, 10);
    const qlonglong len = parts[2].toLongLong(&okLen, 10);
    if (!okCode || !okLen || code > 255 || len < 0 || len >= qlonglong(wire::kBufferSize))
        return r;
    if (out.size() - nl - 1 != len)
        return r;
    r.body = out.mid(nl + 1);
    // The helper cut the text at its terminator; a zero inside would be a broken helper.
    if (r.body.contains('\0'))
        return r;
    r.code = code;
    r.ok = true;
    return r;
}

// Runs the helper with request on its standard input; gives its answer when it ended normally
// within the time limit, was not cancelled, and answered in the wire format.
HostResult RunHost(const QByteArray& request, const TPlugInCallOptions& options) {
    HostResult fail;
    const QByteArray host =
        QFile::encodeName(options.hostPath.isEmpty() ? DefaultPlugInHost() : options.hostPath);
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    // A socket for the request, so that a helper that dies early gives EPIPE, never SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        return fail;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        CloseFd(in[0]);
        CloseFd(in[1]);
        return fail;
    }

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&fa, in[1], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    // Its own process group, so that whatever the plug-in starts is killed with it.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM})
        sigaddset(&defaults, s);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);

    char* argv[] = {const_cast<char*>(host.constData()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, host.constData(), &fa, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    CloseFd(in[1]);
    CloseFd(out[1]);
    if (spawned != 0) {
        CloseFd(in[0]);
        CloseFd(out[0]);
        return fail;
    }
    ::fcntl(in[0], F_SETFL, ::fcntl(in[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);

    // A descriptor that becomes readable when the helper ends; without one the poll slice
    // bounds how late the end is noticed.
    int exitFd = int(::syscall(SYS_pidfd_open, pid, 0));

    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, options.timeoutMs));
    const qsizetype maxOut = qsizetype(wire::kMaxHeader + wire::kBufferSize);
    QByteArray answer;
    qsizetype sent = 0;
    bool stopped = false, exited = false;
    const auto drain = [&] {
        char chunk[16384];
        while (out[0] >= 0) {
            const ssize_t r = ::read(out[0], chunk, sizeof chunk);
            if (r > 0) {
                if (answer.size() + r > maxOut) {
                    stopped = true;  // more than any answer can be: a broken helper
                    CloseFd(out[0]);
                }
                else
                    answer.append(chunk, r);
            } else if (r == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                CloseFd(out[0]);
            } else if (errno != EINTR) {
                break;
            }
        }
    };
    while (!stopped) {
        if (options.cancel && options.cancel->load())
            break;
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        pollfd fds[3];
        nfds_t n = 0;
        if (out[0] >= 0)
            fds[n++] = {out[0], POLLIN, 0};
        if (in[0] >= 0)
            fds[n++] = {in[0], POLLOUT, 0};
        if (exitFd >= 0)
            fds[n++] = {exitFd, POLLIN, 0};
        const long long left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        ::poll(n ? fds : nullptr, n, int(std::min<long long>(left, kCancelPollMs)));
        drain();
        while (in[0] >= 0 && sent < request.size()) {
            const ssize_t w = ::send(in[0], request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
            if (w > 0)
                sent += w;
            else if (w < 0 && errno == EINTR)
                continue;
            else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            else
                sent = request.size();  // the helper went away; its exit status tells the rest
        }
        if (in[0] >= 0 && sent >= request.size())
            CloseFd(in[0]);
        // Look without reaping: the process group is killed below while its leader's id is
        // still taken, so the kill can never hit an unrelated process.
        siginfo_t info{};
        if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            exited = true;
            drain();  // what the helper wrote just before it ended
            break;
        }
    }
    CloseFd(exitFd);
    int status = 0;
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    CloseFd(in[0]);
    CloseFd(out[0]);
    if (stopped || !exited || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail;
    return ParseAnswer(answer);
}

QByteArray Request(const QByteArray& op, const QString& path, const QString& entry, const QString& router,
                   const QString& user, const QString& password, const QByteArray& input) {
    QByteArray r = QByteArray(wire::kMagic) + '\n';
    AppendField(r, op);
    AppendField(r, QFile::encodeName(path));
    AppendField(r, entry.toUtf8());
    AppendField(r, router.toUtf8());
    AppendField(r, user.toUtf8());
    AppendField(r, password.toUtf8());
    AppendField(r, input);
    return r;
}

}  // namespace

QString DefaultPlugInHost() {
    return TTools::AppDir() + QStringLiteral("ipcam-plugin-host");
}

unsigned char CallPlugIn(const QString& path, const QString& entry, const QString& router,
                         const QString& user, const QString& password, QByteArray& text,
                         const TPlugInCallOptions& options) {
    // The input and its terminator must fit the buffer; the plug-in would read a cut table.
    if (text.size() >= kPlugInBufferSize || text.contains('\0'))
        return PlugInCode::ProgramError;
    const HostResult r = RunHost(Request("call", path, entry, router, user, password, text), options);
    if (!r.ok)
        return PlugInCode::ProgramError;
    text = r.body;
    return static_cast<unsigned char>(r.code);
}

QString PlugInVersion(const QString& path, const TPlugInCallOptions& options) {
    if (!QFile::exists(path))
        return QString();
    const HostResult r = RunHost(Request("version", path, QString(), QString(), QString(), QString(), QByteArray()), options);
    if (!r.ok)
        return QString();
    static const QRegularExpression form(QStringLiteral("^\\d{1,5}\\.\\d{1,5}\\.\\d{1,5}\\.\\d{1,5}$"));
    const QString v = QString::fromLatin1(r.body);
    if (!form.match(v).hasMatch())
        return QString();
    for (const QString& part : v.split(QLatin1Char('.')))
        if (part.toInt() > 65535)
            return QString();
    return v;
}
