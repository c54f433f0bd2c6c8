#pragma once
// Runs the ipcam tool of the simulated-LAN tree (IPCAM) as its own process.

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <ostream>

struct TRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

inline TRun RunIpcam(const QStringList& args, const QByteArray& input = QByteArray())
{
    QProcess p;
    p.start(qEnvironmentVariable("IPCAM"), args);
    if (!p.waitForStarted(5000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    TRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline std::ostream& operator<<(std::ostream& os, const TRun& r)
{
    return os << "exit " << r.exit << ", out \"" << r.out.constData() << "\", err \""
              << r.err.constData() << "\"";
}

