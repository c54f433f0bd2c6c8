#pragma once
// tools/ddns-check on 127.0.0.1:808 for the checks of steps 6 and 7, with accounts for every
// outcome and its control socket for the answers the accounts do not give. Runs inside the
// test's private network namespace (ddns-check refuses any other).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

class TDdnsStandIn {
public:
    // Accounts: "online1" registered and online at 127.0.0.1:8081 (reachable from outside),
    // "hidden1" online at 127.0.0.1:8082 but not reachable, "off1" known but offline with
    // password "pw", "noauth1" offline with another password than the cameras'; any other
    // account is unknown.
    TDdnsStandIn()
    {
        const QString ini = dir_.filePath("ddns.ini");
        QFile f(ini);
        f.open(QIODevice::WriteOnly);
        f.write("[ddns]\nlisten = 127.0.0.1\nport = 808\n\n"
                "[ddns account online1]\npassword = pw\nonline = yes\npublic = 127.0.0.1:8081\nreachable = yes\n\n"
                "[ddns account hidden1]\npassword = pw\nonline = yes\npublic = 127.0.0.1:8082\n\n"
                "[ddns account off1]\npassword = pw\n\n"
                "[ddns account noauth1]\npassword = other\n");
        f.close();
        control_ = dir_.filePath("ctl");
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(DDNS_CHECK), {"--config", ini, "--control", control_});
        started_ = process_.waitForStarted(5000);
        for (int i = 0; started_ && i < 500 && !Ctl({"ping"}); ++i)
            QThread::msleep(10);
    }
    ~TDdnsStandIn()
    {
        Ctl({"quit"});
        if (!process_.waitForFinished(3000))
            process_.kill();
    }
    bool Running() const { return started_ && process_.state() == QProcess::Running; }
    // One control command; true when it was answered with "ok".
    bool Ctl(const QStringList& command, QString* out = nullptr) const
    {
        QProcess p;
        p.start(QStringLiteral(DDNS_CHECK), QStringList{"--ctl", control_} + command);
        if (!p.waitForFinished(5000) || p.exitCode() != 0)
            return false;
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        if (out)
            *out = text;
        return text.contains(QLatin1String("ok"));
    }
    // The request targets the service got, in order.
    QStringList Targets() const
    {
        QString log;
        Ctl({"log"}, &log);
        QStringList t;
        for (const QString& line : log.split(u'\n')) {
            const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
            // SEQ PEER HOST REQUEST TARGET => RESULT
            if (f.size() >= 5 && f[0].toInt() > 0)
                t << f[4];
        }
        return t;
    }
    void ClearLog() const { Ctl({"log", "clear"}); }

private:
    QTemporaryDir dir_;
    QString control_;
    QProcess process_;
    bool started_ = false;
};
