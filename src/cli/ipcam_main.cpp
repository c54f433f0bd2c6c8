// ipcam: the camera tool for scripts. One subcommand per file; a new one is one more entry in
// kCommands.

#include "CliCommands.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

const Cli::TCliCommand* const kCommands[] = {&Cli::kScanCommand, &Cli::kSetCommand,
                                             &Cli::kRestartCommand, &Cli::kUpgradeCommand};

QByteArray Overview()
{
    QByteArray text =
        "Usage: ipcam COMMAND [options]\n"
        "Finds IP cameras on the local network, out of every network adapter, and changes\n"
        "their settings, as the setup wizard does.\n"
        "\n"
        "Commands:\n";
    for (const Cli::TCliCommand* c : kCommands)
        text += "  " + QByteArray(c->name).leftJustified(9) + c->summary + '\n';
    text += "\n'ipcam COMMAND --help' describes one command.\n\n";
    return text + Cli::kExitCodesHelp;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::fputs(Overview().constData(), stderr);
        return Cli::kExitUsage;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        if (!args.isEmpty()) {
            for (const Cli::TCliCommand* c : kCommands) {
                if (args[0] == QLatin1String(c->name)) {
                    Cli::Print(QByteArray(c->usage) + Cli::kExitCodesHelp);
                    return Cli::kExitDone;
                }
            }
        }
        Cli::Print(Overview());
        return Cli::kExitDone;
    }
    for (const Cli::TCliCommand* c : kCommands) {
        if (name == QLatin1String(c->name))
            return c->run(args);
    }
    Cli::Error(name.startsWith(u'-') ? QStringLiteral("unknown option %1").arg(name.section(u'=', 0, 0))
                                     : QStringLiteral("unknown command %1").arg(name));
    std::fputs("Try 'ipcam --help'.\n", stderr);
    return Cli::kExitUsage;
}
