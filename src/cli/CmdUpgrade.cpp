// ipcam upgrade: sends a firmware file to one camera by its family's path (the upgrade
// dialog's UpgradeCamera) and waits until the camera is back.

#include "CliCommands.h"

#include "CameraFirmware.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace Cli {
namespace {

constexpr int kMaxSeconds = 24 * 3600;
constexpr int kDefaultWaitSeconds = 180;
constexpr int kMaxWaitSeconds = 3600;

const char kUsage[] =
    "Usage: ipcam upgrade CAMERA FILE [--web-pages] [--user U] [--password P] [--seconds N]\n"
    "                     [--wait N]\n"
    "Sends a firmware file to one camera, the way the upgrade dialog does for its family, and\n"
    "waits until the camera is back. CAMERA is its MAC (any case, with or without \":\" or \"-\")\n"
    "or its current IPv4 address; it is searched for at most --seconds (default 3). FILE is the\n"
    "system firmware (a .pk2 package for family 5), or with --web-pages the web pages (family 2).\n"
    "Progress goes to standard error: one line redrawn on a terminal, plain lines otherwise.\n"
    "\n"
    "  --web-pages   FILE holds the camera's web pages, not its system firmware\n"
    "  --user U      the camera's user name (default admin)\n"
    "  --password P  its password (default: the family's factory password, else empty);\n"
    "                \"-\" reads it from the first line of standard input\n"
    "  --seconds N   search for the camera at most N seconds (1 to 86400)\n"
    "  --wait N      after the upload, wait at most N seconds for the camera to answer the\n"
    "                search again (1 to 3600, default 180)\n"
    "\n"
    "The camera is back when it accepts connections again (family 5 waits for that itself) or\n"
    "answers a search started after the upload. A file that is not firmware for the camera's\n"
    "family is refused before anything is sent.\n"
    "\n";

// Progress on standard error. On a terminal one line, redrawn; otherwise a line per stage and
// per tenth of the file, so that a log does not fill with one line per chunk.
class TProgressPrinter {
public:
    TProgressPrinter() : terminal_(isatty(STDERR_FILENO) == 1) {}
    ~TProgressPrinter() { Finish(); }

    void Show(const TFirmwareProgress& p)
    {
        std::lock_guard lock(mutex_);
        QString text;
        int step = -1;
        switch (p.stage) {
        case TFirmwareProgress::TStage::Connecting:
            text = QStringLiteral("connecting to the camera");
            break;
        case TFirmwareProgress::TStage::Sending:
            if (p.bytesTotal > 0) {
                step = int(p.bytesSent * 10 / p.bytesTotal);
                text = QStringLiteral("sending: %1 of %2 KB (%3%)")
                           .arg((p.bytesSent + 1023) / 1024)
                           .arg((p.bytesTotal + 1023) / 1024)
                           .arg(p.bytesSent * 100 / p.bytesTotal);
            } else {
                text = QStringLiteral("sending: %1 KB").arg((p.bytesSent + 1023) / 1024);
            }
            break;
        case TFirmwareProgress::TStage::WaitingForCamera:
            text = p.secondsLeft >= 0
                       ? QStringLiteral("waiting for the camera: %1 s").arg(p.secondsLeft)
                       : QStringLiteral("looking for the camera");
            step = p.secondsLeft >= 0 ? p.secondsLeft / 10 : -1;
            break;
        }
        if (terminal_) {
            const QByteArray line = text.toUtf8();
            std::fprintf(stderr, "\r%-60s", line.constData());
            std::fflush(stderr);
            pending_ = true;
            return;
        }
        // Plain lines: a new stage, or a new tenth within it.
        if (p.stage == lastStage_ && step == lastStep_ && printed_)
            return;
        lastStage_ = p.stage;
        lastStep_ = step;
        printed_ = true;
        std::fprintf(stderr, "ipcam: %s\n", text.toUtf8().constData());
    }
    void Line(const QString& text)
    {
        std::lock_guard lock(mutex_);
        EndLine();
        std::fprintf(stderr, "ipcam: %s\n", text.toUtf8().constData());
    }
    void Finish()
    {
        std::lock_guard lock(mutex_);
        EndLine();
    }

private:
    void EndLine()
    {
        if (pending_)
            std::fputc('\n', stderr);
        pending_ = false;
    }

    std::mutex mutex_;  // the upload reports from its worker thread
    const bool terminal_;
    bool pending_ = false;
    bool printed_ = false;
    TFirmwareProgress::TStage lastStage_ = TFirmwareProgress::TStage::Connecting;
    int lastStep_ = -1;
};

int Run(const QStringList& argv)
{
    const QString cmd = QStringLiteral("upgrade");
    TArgs args;
    QString error;
    if (!args.Parse(argv,
                    {{"web-pages", false}, {"user", true}, {"password", true}, {"seconds", true},
                     {"wait", true}},
                    2, error))
        return UsageError(cmd, error);
    if (args.Help()) {
        Print(QByteArray(kUsage) + kExitCodesHelp);
        return kExitDone;
    }
    if (args.Positional().size() != 2)
        return UsageError(cmd, QStringLiteral("name the camera and the firmware file"));
    const std::optional<TCameraRef> ref = ParseCameraRef(args.Positional()[0]);
    if (!ref)
        return UsageError(cmd, QStringLiteral("CAMERA must be a MAC or an IPv4 address"));
    const QString file = args.Positional()[1].trimmed();
    if (!QFileInfo(file).isFile())
        return UsageError(cmd, QStringLiteral("no such file: %1").arg(file));
    int seconds = 3, waitSeconds = kDefaultWaitSeconds;
    if (!NumberOption(args, "seconds", 1, kMaxSeconds, seconds, error))
        return UsageError(cmd, error);
    if (!NumberOption(args, "wait", 1, kMaxWaitSeconds, waitSeconds, error))
        return UsageError(cmd, error);
    TLoginArgs loginArgs;
    if (!ReadLoginArgs(args, loginArgs, error))
        return UsageError(cmd, error);

    TSearch search;
    if (!search.Start())
        return kExitNoSockets;
    int exit = kExitDone;
    const std::optional<TDevInfo> found = FindOne(search, cmd, *ref, seconds, exit);
    if (!found)
        return exit;
    const TDevInfo cam = *found;
    ICameraFamily& family = search.Families().Get(cam.Family);
    const QString familyName = FamilyName(search.Families(), cam.Family);
    if (!family.Traits().firmwareUpgrade || !family.Firmware()) {
        Error(QStringLiteral("the camera's %1 has no firmware upgrade").arg(familyName));
        return kExitUsage;
    }
    const TLogin login = LoginFor(loginArgs, family.Traits());

    TProgressPrinter progress;
    TFirmwareJob job;
    job.fileName = file;
    job.kind = args.Has("web-pages") ? TFirmwareKind::WebPages : TFirmwareKind::System;
    job.ip = cam.IP;
    job.port = cam.HttpPort;
    job.user = login.user;
    job.password = login.password;
    job.camera = cam;
    job.progress = [&progress](const TFirmwareProgress& p) { progress.Show(p); };
    const TFirmwareOutcome outcome = search.OffThread([&] { return UpgradeCamera(family, job); });
    progress.Finish();

    switch (outcome.result) {
    case TFirmwareResult::kDone:
        break;
    case TFirmwareResult::kIgnored:
    case TFirmwareResult::kBadFile:
        Error(QStringLiteral("%1 is not %2 for the camera's %3; nothing was sent")
                  .arg(file,
                       job.kind == TFirmwareKind::WebPages ? QStringLiteral("web pages")
                                                           : QStringLiteral("system firmware"),
                       familyName));
        return kExitUsage;
    case TFirmwareResult::kUnsupported:
        Error(QStringLiteral("the camera's %1 has no firmware upgrade").arg(familyName));
        return kExitUsage;
    case TFirmwareResult::kAborted:
    case TFirmwareResult::kFailed:
        if (outcome.detailKey == QLatin1String("IDS_ERRACCESS"))
            Error(QStringLiteral("the upgrade failed: the camera refused the login (a wrong user name or password?)"));
        else if (outcome.detailKey == QLatin1String("IDS_CANTCONNECT"))
            Error(QStringLiteral("the upgrade failed: the camera could not be reached"));
        else
            Error(QStringLiteral("the upgrade failed"));
        return kExitFailed;
    }
    if (outcome.cameraBack) {
        progress.Line(QStringLiteral("the camera took the firmware and is back"));
        return kExitDone;
    }

    // A search started after the upload: only an answer from now on counts.
    progress.Line(QStringLiteral("the camera took the firmware; waiting for it to answer again"));
    search.Engine().Find();
    search.KeepLibrarySearching(true);
    const TCameraRef byMac{cam.MacHex, {}};
    const bool back = search.RunUntil(
        [&] {
            const TDeviceList& list = search.Engine().Devices();
            for (int i = 0; i < list.Count(); ++i) {
                if (Matches(byMac, *list.RecordAt(i)))
                    return true;
            }
            return false;
        },
        waitSeconds * 1000);
    if (!back) {
        Error(QStringLiteral("the camera took the firmware but did not answer again within %1 s")
                  .arg(waitSeconds));
        return kExitFailed;
    }
    progress.Line(QStringLiteral("the camera is back"));
    return kExitDone;
}

}  // namespace

const TCliCommand kUpgradeCommand{"upgrade", "send firmware to a camera", kUsage, Run};

}  // namespace Cli
