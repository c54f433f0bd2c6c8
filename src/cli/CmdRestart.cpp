// ipcam restart: asks one camera to restart, where its family has a restart.

#include "CliCommands.h"

namespace Cli {
namespace {

constexpr int kMaxSeconds = 24 * 3600;

const char kUsage[] =
    "Usage: ipcam restart CAMERA [--user U] [--password P] [--seconds N]\n"
    "Asks one camera to restart. CAMERA is its MAC (any case, with or without \":\" or \"-\")\n"
    "or its current IPv4 address; it is searched for at most --seconds (default 3). The camera\n"
    "is then away for a while and is found again by searching (ipcam scan).\n"
    "\n"
    "  --user U      the camera's user name (default admin)\n"
    "  --password P  its password (default: the family's factory password, else empty);\n"
    "                \"-\" reads it from the first line of standard input\n"
    "  --seconds N   search for the camera at most N seconds (1 to 86400)\n"
    "\n";

int Run(const QStringList& argv)
{
    const QString cmd = QStringLiteral("restart");
    TArgs args;
    QString error;
    if (!args.Parse(argv, {{"user", true}, {"password", true}, {"seconds", true}}, 1, error))
        return UsageError(cmd, error);
    if (args.Help()) {
        Print(QByteArray(kUsage) + kExitCodesHelp);
        return kExitDone;
    }
    if (args.Positional().size() != 1)
        return UsageError(cmd, QStringLiteral("name the camera by its MAC or its address"));
    const std::optional<TCameraRef> ref = ParseCameraRef(args.Positional()[0]);
    if (!ref)
        return UsageError(cmd, QStringLiteral("CAMERA must be a MAC or an IPv4 address"));
    int seconds = 3;
    if (!NumberOption(args, "seconds", 1, kMaxSeconds, seconds, error))
        return UsageError(cmd, error);
    TLoginArgs loginArgs;
    if (!ReadLoginArgs(args, loginArgs, error))
        return UsageError(cmd, error);

    TSearch search;
    if (!search.Start())
        return kExitNoSockets;
    int exit = kExitDone;
    const std::optional<TDevInfo> camFound = FindOne(search, cmd, *ref, seconds, exit);
    if (!camFound)
        return exit;
    const TDevInfo cam = *camFound;
    ICameraFamily& family = search.Families().Get(cam.Family);
    if (!family.CanRestart()) {
        Error(QStringLiteral("the camera's %1 has no restart")
                  .arg(FamilyName(search.Families(), cam.Family)));
        return kExitUsage;
    }
    const TLogin login = LoginFor(loginArgs, family.Traits());
    const bool taken = search.OffThread([&] { return family.Restart(cam, login); });
    if (!taken) {
        Error(QStringLiteral("the camera did not take the restart (a wrong user name or password?)"));
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace

const TCliCommand kRestartCommand{"restart", "restart a camera", kUsage, Run};

}  // namespace Cli
