#include "CommandLine.h"

#include "RouterList.h"
#include "Tools.h"

#include <cstring>

#ifndef IPCAM_VERSION
#error "IPCAM_VERSION comes from the project's version"
#endif

TCommandLineRequest ReadCommandLineRequest(int argc, const char* const* argv) {
    bool version = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return TCommandLineRequest::Help;
        if (std::strcmp(argv[i], "--version") == 0)
            version = true;
    }
    return version ? TCommandLineRequest::Version : TCommandLineRequest::Run;
}

QString VersionText() { return QStringLiteral("ipcam-wizard " IPCAM_VERSION "\n"); }

QString HelpText() {
    // The folders as this run would use them, without making any of them. Without a home the
    // program folder stands in for the user's folders.
    QString settings = TTools::AppDataDir(26, false);
    if (settings.isEmpty())
        settings = TTools::AppDir();
    QString userRouter = UserRouterFolder();
    if (userRouter.isEmpty())
        userRouter = TTools::AppDir() + QStringLiteral("Router/");
    QString t;
    t += QStringLiteral("Usage: ipcam-wizard [--help | --version]\n"
                        "\n"
                        "Setup wizard for network (IP) cameras: finds the cameras in the local network,\n"
                        "changes their network settings and sets up port forwarding on the router.\n"
                        "Started without arguments it opens its window.\n"
                        "\n"
                        "  -h, --help     show this text and exit\n"
                        "      --version  show the version and exit\n"
                        "\n"
                        "Qt's own options (for example -platform offscreen) are accepted.\n"
                        "\n"
                        "Files:\n");
    t += QStringLiteral("  program folder  %1\n").arg(TTools::AppDir());
    t += QStringLiteral("                  Config.ini, ipcam-wizard.mskn, Router/, 909/ (read only)\n");
    t += QStringLiteral("  settings        %1option.ini\n").arg(settings);
    t += QStringLiteral("  downloads       %1\n").arg(userRouter);
    t += QStringLiteral("                  router list and plug-ins, found before those of Router/\n");
    return t;
}

QString UnknownArgumentText(const QString& argument) {
    return QStringLiteral("ipcam-wizard: unknown argument '%1'\nTry 'ipcam-wizard --help'.\n").arg(argument);
}
