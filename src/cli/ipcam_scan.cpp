// ipcam-scan: searches the LAN for cameras for a few seconds and prints what it found, in the
// advanced window's export format or as JSON.

#include "BuiltInFamilies.h"
#include "DiscoveryEngine.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoSockets = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSeconds = 24 * 3600;

const char kUsage[] =
    "Usage: ipcam-scan [--seconds N] [--json] [--help]\n"
    "Searches the local network for IP cameras by UDP broadcast for N seconds (default 3)\n"
    "and prints the cameras found.\n"
    "\n"
    "  --seconds N  search for N seconds (1 to 86400)\n"
    "  --json       print a JSON array with every field of each camera record\n"
    "  --help       show this help and exit\n"
    "\n"
    "Default output: one line per camera, fields separated by TAB, lines ending in CR LF:\n"
    "position, series, name, IP address, MAC.\n"
    "\n"
    "Exit status: 0 done (also when no camera answered), 1 the search sockets could not be\n"
    "bound, 2 wrong usage.\n";

struct Options {
    int seconds = 3;
    bool json = false;
    bool help = false;
};

bool ParseSeconds(const QString& text, int& seconds)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < 1 || n > kMaxSeconds)
        return false;
    seconds = n;
    return true;
}

// False with a message for wrong usage.
bool ParseArgs(const QStringList& args, Options& opt, QString& error)
{
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            opt.help = true;
        } else if (a == QLatin1String("--json")) {
            opt.json = true;
        } else if (a == QLatin1String("--seconds")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--seconds needs a value");
                return false;
            }
            if (!ParseSeconds(args[++i], opt.seconds)) {
                error = QStringLiteral("--seconds: not a number of seconds from 1 to %1: %2")
                            .arg(kMaxSeconds)
                            .arg(args[i]);
                return false;
            }
        } else if (a.startsWith(QLatin1String("--seconds="))) {
            if (!ParseSeconds(a.mid(10), opt.seconds)) {
                error = QStringLiteral("--seconds: not a number of seconds from 1 to %1: %2")
                            .arg(kMaxSeconds)
                            .arg(a.mid(10));
                return false;
            }
        } else {
            error = QStringLiteral("unknown argument: %1").arg(a);
            return false;
        }
    }
    return true;
}

QByteArray JsonList(const TDeviceList& list)
{
    QJsonArray rows;
    for (int i = 0; i < list.Count(); ++i)
        rows.append(DevInfoToJson(*list.RecordAt(i)));
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    QString error;
    if (!ParseArgs(app.arguments(), opt, error)) {
        std::fprintf(stderr, "ipcam-scan: %s\nTry 'ipcam-scan --help'.\n", qPrintable(error));
        return kExitUsage;
    }
    if (opt.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }

    // Family 4 is found when its library is installed beside the program.
    const std::unique_ptr<TFamilyRegistry> families =
        MakeBuiltInFamilies(QCoreApplication::applicationDirPath());
    DiscoveryEngine engine(*families);
    const int bound = engine.Start();
    if (bound < 5) {
        for (int n = 1; n <= 5; ++n) {
            if (engine.LocalPort(n) == 0)
                std::fprintf(stderr, "ipcam-scan: search socket %d could not be bound\n", n);
        }
        return kExitNoSockets;
    }
    engine.Find();  // the first pass goes out at once, the tick follows every second
    QTimer::singleShot(opt.seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    engine.Stop();

    const QByteArray out = opt.json ? JsonList(engine.Devices()) : engine.Devices().ExportText();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return kExitOk;
}
