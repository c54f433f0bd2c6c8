#include "Platform.h"

#include "Tools.h"

#include <QFile>
#include <QLocalServer>
#include <QCoreApplication>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int OemCodePage(const QString& locale) {
    QString name = locale;
    if (name.isEmpty()) {
        for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            name = QString::fromLocal8Bit(qgetenv(var));
            if (!name.isEmpty())
                break;
        }
    }
    // "zh_TW.UTF-8@euro" -> language "zh", territory "TW"
    name = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    const QString lang = name.section(QLatin1Char('_'), 0, 0).toLower();
    const QString territory = name.section(QLatin1Char('_'), 1, 1).toUpper();
    if (lang == QLatin1String("zh")) {
        const bool traditional = territory == QLatin1String("TW") || territory == QLatin1String("HK") ||
                                 territory == QLatin1String("MO");
        return traditional ? 950 : 936;
    }
    if (lang == QLatin1String("ja")) return 932;
    if (lang == QLatin1String("ko")) return 949;
    if (lang == QLatin1String("fr")) return territory == QLatin1String("CA") ? 863 : 850;
    if (lang == QLatin1String("it")) return 1144;
    if (lang == QLatin1String("es")) return 1145;
    if (lang == QLatin1String("pl") || lang == QLatin1String("cs") || lang == QLatin1String("hu")) return 852;
    if (lang == QLatin1String("ru")) return 866;
    return 437;
}

QString LangCodeForOemCodePage(int codePage) {
    switch (codePage) {
    case 863: return QStringLiteral("fr");
    case 932: return QStringLiteral("jp");
    case 936: return QStringLiteral("cn");
    case 950: return QStringLiteral("b5");
    case 1144: return QStringLiteral("Ita");
    case 1145: return QStringLiteral("spa");
    default: return QStringLiteral("en");
    }
}

namespace {
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);  // async-signal-safe
}
}  // namespace

void QuitOnTerminationSignals() {
    if (g_signalPipe[0] >= 0 || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buf[16];
        while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

TInstanceGuard::TInstanceGuard(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

TInstanceGuard::~TInstanceGuard() {
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock
}

namespace {
QString PerUserName(const QString& name) { return name + QLatin1Char('-') + QString::number(::getuid()); }
}  // namespace

bool TInstanceGuard::Acquire() {
    if (fd_ >= 0)
        return true;
    // An advisory lock on a file: the kernel drops it when the process ends, however it ends,
    // so a crashed instance never blocks the next start.
    const QByteArray path = QFile::encodeName(TTools::GetTempDir() + PerUserName(name_) + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;  // no lock can be had at all: do not stand in the user's way
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    const QString serverName = PerUserName(name_);
    QLocalServer::removeServer(serverName);  // we hold the lock: any socket left is stale
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(serverName)) {
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* s = server_->nextPendingConnection()) {
                connect(s, &QLocalSocket::readyRead, this, [this, s] {
                    const QByteArray line = s->readAll().left(4096);
                    emit raiseRequested(QString::fromUtf8(line).trimmed());
                    s->disconnectFromServer();
                });
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    return true;
}

void TInstanceGuard::RaiseOther(const QString& caption) {
    QLocalSocket s;
    s.connectToServer(PerUserName(name_));
    if (!s.waitForConnected(1000))
        return;
    s.write(caption.toUtf8() + '\n');
    s.waitForBytesWritten(1000);
    s.waitForDisconnected(500);
}
