#pragma once
// A folder for the test plug-in (tools/router-plugin-test): its control file, its router table
// and its call log, with ROUTER_PLUGIN_TEST_DIR pointing at it for the helper processes.

#include "PlugInCall.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

// Plug-in calls through the helper of this build.
inline TPlugInCallOptions HostOptions() {
    TPlugInCallOptions o;
    o.hostPath = QStringLiteral(IPCAM_PLUGIN_HOST);
    return o;
}

struct TestPlugIn {
    QTemporaryDir dir;
    TestPlugIn() {
        qputenv("ROUTER_PLUGIN_TEST_DIR", QFile::encodeName(dir.path()));
    }
    ~TestPlugIn() { qunsetenv("ROUTER_PLUGIN_TEST_DIR"); }

    static QString Library(const char* variant = "router-plugin-test") {
        return QStringLiteral(TEST_PLUGIN_DIR "/") + QLatin1String(variant) + QStringLiteral(".so");
    }
    QString File(const char* name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }
    void Write(const char* name, const QByteArray& bytes) const {
        QFile f(File(name));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray Read(const char* name) const {
        QFile f(File(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void Control(const QByteArray& lines) const { Write("control.ini", lines); }
    int Calls() const { return int(Read("calls.log").count('\n')); }
    // Waits until the plug-in has been entered n times (no upper bound of our own: ctest's
    // time-out ends a test that never gets there).
    void WaitForCalls(int n) const {
        while (Calls() < n)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};
