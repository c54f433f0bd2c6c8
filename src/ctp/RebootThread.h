#pragma once
// Restarts a CTP/1.0 camera in the background.
//
// Hand-over: the thread sends "restart" through the pool (TCTPSocket::CTPRequest) and emits
// Done on its own thread; Done reaches its receivers by a queued call, so a handler given to
// Start runs on the thread of its context object (the user-interface thread for a page). If
// the context object is gone by then, the call is dropped. The thread object belongs to
// nobody: it lives on the application's main thread and deletes itself there (deleteLater on
// finished), so callers need no pointer to it.

#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <semaphore>

class TRebootThread : public QThread {
    Q_OBJECT
public:
    using TDoneHandler = std::function<void(bool answered)>;

    // Creates the thread and starts it at once; never blocks. onDone, when given, runs on
    // context's thread after the request has gone out (answered: the camera replied at all).
    // Returns null when no thread could be started. The pointer is only for a caller on the
    // main thread that wants to watch the object (QPointer); the object deletes itself there.
    static TRebootThread* Start(const QString& ip, qint32 port, QObject* context = nullptr, TDoneHandler onDone = {});

    const QString& IP() const { return ip_; }
    qint32 Port() const { return port_; }

signals:
    void Done(const QString& ip, qint32 port, bool answered);

protected:
    void run() override;

private:
    TRebootThread(const QString& ip, qint32 port);

    const QString ip_;
    const qint32 port_;
    // Held until Start has looked at the started thread, so that the object cannot be deleted
    // under Start when Start runs on a thread other than the main one.
    std::binary_semaphore startChecked_{0};
};
