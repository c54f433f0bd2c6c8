// The program's command line, and the tree that cmake --install makes: the program and its
// folders in lib/ipcam-wizard/ with links in bin/, found through the link, started offscreen,
// and never writing into that tree.

#include "TestDirs.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

// Environment of a user of dirs, without any display.
QProcessEnvironment UserEnvironment(const ScopedTestDirs& dirs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LANG", "LC_MESSAGES"})
        env.remove(QLatin1String(var));
    env.insert("HOME", dirs.Path("home"));
    env.insert("TMPDIR", dirs.Tmp());
    env.insert("XDG_CONFIG_HOME", dirs.Config());
    env.insert("XDG_DATA_HOME", dirs.Data());
    // Qt wants a runtime folder of the user's alone.
    const QString runtime = dirs.Path("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("LANG", "en_US.UTF-8");
    return env;
}

Outcome RunProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(-1);  // ctest's time-out ends a program that never does
    Outcome r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QString HelpFor(const QString& programFolder, const ScopedTestDirs& dirs) {
    return "Usage: ipcam-wizard [--help | --version]\n"
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
           "Files:\n"
           "  program folder  " + programFolder + "\n"
           "                  Config.ini, ipcam-wizard.mskn, Router/, 909/ (read only)\n"
           "  settings        " + dirs.Config() + "/ipcam-wizard/option.ini\n"
           "  downloads       " + dirs.Data() + "/ipcam-wizard/Router/\n"
           "                  router list and plug-ins, found before those of Router/\n";
}

const QString kVersion = QStringLiteral("ipcam-wizard " IPCAM_VERSION "\n");

TEST(CommandLine, HelpAndVersionNeedNoDisplayAndAnythingElseIsRefused) {
    ScopedTestDirs dirs;
    const QString help = HelpFor(PROGRAM_DIR "/", dirs);
    struct Case {
        QStringList args;
        bool offscreen;  // the cases that create the application object get a platform
        int exitCode;
        QString out, err;
    };
    const QString unknownBogus = "ipcam-wizard: unknown argument '--bogus'\nTry 'ipcam-wizard --help'.\n";
    const QList<Case> cases = {
        {{"--version"}, false, 0, kVersion, ""},
        {{"--help"}, false, 0, help, ""},
        {{"-h"}, false, 0, help, ""},
        {{"--version", "--help"}, false, 0, help, ""},
        {{"stray", "--version"}, false, 0, kVersion, ""},
        {{"--bogus"}, true, 2, "", unknownBogus},
        {{"-platform", "offscreen", "--bogus"}, false, 2, "", unknownBogus},  // Qt takes its own
        {{"camera.ini"}, true, 2, "",
         "ipcam-wizard: unknown argument 'camera.ini'\nTry 'ipcam-wizard --help'.\n"},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env = UserEnvironment(dirs);
        if (c.offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        const Outcome r = RunProgram(PROGRAM, c.args, env);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_EQ(r.out.toStdString(), c.out.toStdString()) << what;
        EXPECT_EQ(r.err.toStdString(), c.err.toStdString()) << what;
    }
    // Nothing was made on the way: no settings folder, no data folder.
    EXPECT_FALSE(QFileInfo::exists(dirs.Config() + "/ipcam-wizard"));
    EXPECT_FALSE(QFileInfo::exists(dirs.Data()));

    // Without a home the program folder stands in for the user's folders.
    QProcessEnvironment homeless = UserEnvironment(dirs);
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        homeless.remove(QLatin1String(var));
    const Outcome r = RunProgram(PROGRAM, {"--help"}, homeless);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("\n  settings        " PROGRAM_DIR "/option.ini\n"
                               "  downloads       " PROGRAM_DIR "/Router/\n")) << r.out.toStdString();
}

// The text of a link as stored, not resolved.
QString LinkText(const QString& path) {
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n > 0 ? QFile::decodeName(QByteArray(buf, int(n))) : QString();
}

// Every entry below root as "d path", "f path" or "l path -> target", sorted.
QStringList Tree(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        const QString rel = QDir(root).relativeFilePath(fi.filePath());
        if (fi.isSymLink())
            entries << "l " + rel + " -> " + LinkText(fi.filePath());
        else if (fi.isDir())
            entries << "d " + rel;
        else
            entries << "f " + rel;
    }
    entries.sort();
    return entries;
}

// Path, size, mode and time of every entry: what a run must leave as it was.
QStringList Snapshot(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        entries << QStringLiteral("%1 %2 %3 %4")
                       .arg(fi.filePath())
                       .arg(fi.size())
                       .arg(int(fi.permissions()), 0, 16)
                       .arg(fi.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

TEST(InstalledTree, ProgramsInTheirFolderLinkedFromBinAndNothingWrittenThere) {
    ScopedTestDirs dirs;
    const QString prefix = dirs.Path("usr");
    const Outcome install = RunProgram(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix},
                                   QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();

    QStringList want = {
        "d bin",
        "l bin/ipcam-scan -> ../lib/ipcam-wizard/ipcam-scan",
        "l bin/ipcam-wizard -> ../lib/ipcam-wizard/ipcam-wizard",
        "d lib",
        "d lib/ipcam-wizard",
        "d lib/ipcam-wizard/Router",
        "f lib/ipcam-wizard/Router/Router.ini",
        "f lib/ipcam-wizard/Router/upnp-igd.so",
        "f lib/ipcam-wizard/ipcam-plugin-host",
        "f lib/ipcam-wizard/ipcam-scan",
        "f lib/ipcam-wizard/ipcam-wizard",
        "d share",
        "d share/applications",
        "f share/applications/ipcam-wizard.desktop",
        "d share/doc",
        "d share/doc/ipcam-wizard",
        "f share/doc/ipcam-wizard/changelog.Debian.gz",
        "f share/doc/ipcam-wizard/copyright",
        "d share/icons",
        "d share/icons/hicolor",
        "d share/lintian",
        "d share/lintian/overrides",
        "f share/lintian/overrides/ipcam-wizard",
        "d share/man",
        "d share/man/man1",
        "f share/man/man1/ipcam-scan.1.gz",
        "f share/man/man1/ipcam-wizard.1.gz",
        "d share/metainfo",
        "f share/metainfo/ipcam-wizard.metainfo.xml",
    };
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        want << QStringLiteral("d share/icons/hicolor/%1").arg(size)
             << QStringLiteral("d share/icons/hicolor/%1/apps").arg(size)
             << QStringLiteral("f share/icons/hicolor/%1/apps/ipcam-wizard.png").arg(size);
    }
    want << "d share/icons/hicolor/scalable" << "d share/icons/hicolor/scalable/apps"
         << "f share/icons/hicolor/scalable/apps/ipcam-wizard.svg";
    if (HAS_IPCAM_TOOL) {
        want << "l bin/ipcam -> ../lib/ipcam-wizard/ipcam" << "f lib/ipcam-wizard/ipcam"
             << "f share/man/man1/ipcam.1.gz";
    }
    want.sort();
    EXPECT_EQ(Tree(prefix), want);
    // A plug-in is loaded, not run; the programs are run.
    EXPECT_FALSE(QFileInfo(prefix + "/lib/ipcam-wizard/Router/upnp-igd.so").isExecutable());
    EXPECT_TRUE(QFileInfo(prefix + "/lib/ipcam-wizard/ipcam-plugin-host").isExecutable());

    // Started through the link, the program's folder is the one the link leads to.
    const QString link = prefix + "/bin/ipcam-wizard";
    const Outcome help = RunProgram(link, {"--help"}, UserEnvironment(dirs));
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.toStdString(), HelpFor(prefix + "/lib/ipcam-wizard/", dirs).toStdString());

    // A real start, offscreen; the language files appear once start-up is under way, and SIGTERM
    // ends the run in order (the language folder goes with it).
    const QStringList before = Snapshot(prefix);
    QProcessEnvironment env = UserEnvironment(dirs);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(link, {});
    ASSERT_TRUE(program.waitForStarted());
    const QString langFile = dirs.Tmp() + "/ipcam-wizard/ipcam-wizard.len";
    while (!QFileInfo::exists(langFile) && program.state() == QProcess::Running)
        QThread::msleep(20);
    ASSERT_TRUE(QFileInfo::exists(langFile)) << "the program ended during start-up";
    ::kill(pid_t(program.processId()), SIGTERM);
    program.waitForFinished(-1);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(dirs.Tmp() + "/ipcam-wizard"));
    EXPECT_TRUE(QFileInfo(dirs.Config() + "/ipcam-wizard").isDir());
    EXPECT_EQ(Snapshot(prefix), before);
}

}  // namespace
