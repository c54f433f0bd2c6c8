#pragma once
// What the desktop offers the shell: the code page of the user's locale, opening an address
// with the default program (OpenAddress.h), and the single-instance lock.

#include "OpenAddress.h"

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// The code page a Windows system with this locale would report as its OEM code page, from a
// locale name such as "zh_CN.UTF-8" (LC_ALL, LC_MESSAGES, LANG in that order when empty).
int OemCodePage(const QString& locale = QString());
// Language code for an OEM code page: 936 "cn", 950 "b5", 932 "jp", 863 "fr", 1144 "Ita",
// 1145 "spa", anything else "en".
QString LangCodeForOemCodePage(int codePage);

// SIGINT, SIGTERM and SIGHUP end the event loop normally, so that the program still cleans up
// (its language folder above all) when it is stopped from a terminal or by the session.
void QuitOnTerminationSignals();


// A named lock that lives as long as the process, standing in for a named mutex, plus a local
// socket through which a second start asks the first one to come to the front.
class TInstanceGuard : public QObject {
    Q_OBJECT
public:
    explicit TInstanceGuard(const QString& name, QObject* parent = nullptr);
    ~TInstanceGuard() override;

    // True when no other instance holds the lock; this instance then holds it.
    bool Acquire();
    // Asks the running instance to raise its window showing caption.
    void RaiseOther(const QString& caption);

signals:
    // Another start asked us to come to the front.
    void raiseRequested(const QString& caption);

private:
    QString name_;
    int fd_ = -1;
    QLocalServer* server_ = nullptr;
};
