// ipcam scan: the LAN search for a few seconds, the cameras printed as ipcam-scan prints them.

#include "CliCommands.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace Cli {
namespace {

constexpr int kMaxSeconds = 24 * 3600;

const char kUsage[] =
    "Usage: ipcam scan [--seconds N] [--json]\n"
    "Searches the local network for IP cameras by UDP broadcast, out of every network adapter,\n"
    "for N seconds (default 3) and prints the cameras found.\n"
    "\n"
    "  --seconds N  search for N seconds (1 to 86400)\n"
    "  --json       print a JSON array with the fields of each camera record\n"
    "\n"
    "Default output: one line per camera, fields separated by TAB, lines ending in CR LF:\n"
    "position, series, name, IP address, MAC. Neither form holds the user names or passwords\n"
    "some cameras report.\n"
    "\n";

int Run(const QStringList& argv)
{
    TArgs args;
    QString error;
    if (!args.Parse(argv, {{"seconds", true}, {"json", false}}, 0, error))
        return UsageError(QStringLiteral("scan"), error);
    if (args.Help()) {
        Print(QByteArray(kUsage) + kExitCodesHelp);
        return kExitDone;
    }
    int seconds = 3;
    if (args.Has("seconds")) {
        const auto n = ParseNumber(args.Value("seconds"), 1, kMaxSeconds);
        if (!n) {
            return UsageError(QStringLiteral("scan"),
                              QStringLiteral("--seconds: not a number of seconds from 1 to %1")
                                  .arg(kMaxSeconds));
        }
        seconds = *n;
    }

    TSearch search;
    if (!search.Start())
        return kExitNoSockets;
    search.RunUntil([] { return false; }, seconds * 1000);
    search.Engine().Stop();

    const TDeviceList& list = search.Engine().Devices();
    if (args.Has("json")) {
        QJsonArray rows;
        for (int i = 0; i < list.Count(); ++i)
            rows.append(DevInfoToJson(*list.RecordAt(i)));
        Print(QJsonDocument(rows).toJson(QJsonDocument::Indented));
    } else {
        Print(list.ExportText());
    }
    return kExitDone;
}

}  // namespace

const TCliCommand kScanCommand{"scan", "search the LAN and list the cameras", kUsage, Run};

}  // namespace Cli
