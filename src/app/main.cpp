#include "CommandLine.h"
#include "MainForm.h"
#include "Platform.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

int main(int argc, char** argv) {
    switch (ReadCommandLineRequest(argc, argv)) {
    case TCommandLineRequest::Help:
        std::fputs(HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case TCommandLineRequest::Version:
        std::fputs(VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case TCommandLineRequest::Run:
        break;
    }
    QApplication app(argc, argv);
    // QApplication has taken its own options out of argv; the program takes none.
    if (argc > 1) {
        std::fputs(UnknownArgumentText(QString::fromLocal8Bit(argv[1])).toLocal8Bit().constData(), stderr);
        return kUsageExitCode;
    }
    // The desktop file's name, so that the desktop matches the window to its menu entry, and the
    // installed icon for the window (none when the program runs from the build tree).
    QGuiApplication::setDesktopFileName(QStringLiteral("ipcam-wizard"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ipcam-wizard")));
    QuitOnTerminationSignals();
    TfrmMain main;
    if (!main.StartedOk())
        return 0;
    main.show();
    return app.exec();
}
