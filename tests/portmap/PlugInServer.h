#pragma once
// tools/plugin-server serving a folder on 127.0.0.1 for the length of a test.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

struct PlugInServer {
    QTemporaryDir root;
    QProcess process;
    int port = 0;
    PlugInServer() {
        process.setProgram(QStringLiteral(PLUGIN_SERVER));
        process.setArguments({"--root", root.path(), "--port", "0", "--log", root.path() + "/requests.log"});
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        process.waitForStarted();
        while (!process.canReadLine() && process.state() == QProcess::Running)
            process.waitForReadyRead(1000);
        const QByteArray line = process.readLine().trimmed();  // "listening on 127.0.0.1:PORT"
        port = line.mid(line.lastIndexOf(':') + 1).toInt();
    }
    ~PlugInServer() {
        process.kill();
        process.waitForFinished();
    }
    QString Url(const QString& name) const {
        return QStringLiteral("http://127.0.0.1:%1/router/%2").arg(port).arg(name);
    }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1/router/").arg(port); }
    void Put(const QString& name, const QByteArray& bytes) const {
        QFile f(root.path() + QLatin1Char('/') + name);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray Requests() const {
        QFile f(root.path() + QStringLiteral("/requests.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
