#pragma once
// A fresh temporary folder per test, with TMPDIR and the per-user settings and data folders
// pointed into it, so tests never touch the real ones and never see each other's files.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

struct ScopedTestDirs {
    QTemporaryDir root;
    QByteArray oldTmp = qgetenv("TMPDIR"), oldConfig = qgetenv("XDG_CONFIG_HOME"), oldData = qgetenv("XDG_DATA_HOME");
    ScopedTestDirs() {
        QDir().mkpath(Tmp());
        QDir().mkpath(Config());
        qputenv("TMPDIR", QFile::encodeName(Tmp()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Config()));
        // Not made: the program makes its data folders itself.
        qputenv("XDG_DATA_HOME", QFile::encodeName(Data()));
    }
    ~ScopedTestDirs() {
        qputenv("TMPDIR", oldTmp);
        if (oldConfig.isEmpty()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", oldConfig);
        if (oldData.isEmpty()) qunsetenv("XDG_DATA_HOME"); else qputenv("XDG_DATA_HOME", oldData);
    }
    QString Tmp() const { return root.path() + QStringLiteral("/tmp"); }
    QString Config() const { return root.path() + QStringLiteral("/config"); }
    QString Data() const { return root.path() + QStringLiteral("/data"); }
    QString Path(const QString& rel) const { return root.path() + QLatin1Char('/') + rel; }
};

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
