#include "RebootThread.h"

#include "CtpSocket.h"

#include <QCoreApplication>

TRebootThread::TRebootThread(const QString& ip, qint32 port) : ip_(ip), port_(port)
{
    // deleteLater needs an event loop; the main thread's is the one sure to run.
    if (QCoreApplication* app = QCoreApplication::instance())
        moveToThread(app->thread());
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

TRebootThread* TRebootThread::Start(const QString& ip, qint32 port, QObject* context, TDoneHandler onDone)
{
    auto* thread = new TRebootThread(ip, port);
    if (context && onDone) {
        connect(thread, &TRebootThread::Done, context,
                [handler = std::move(onDone)](const QString&, qint32, bool answered) { handler(answered); },
                Qt::QueuedConnection);
    }
    thread->start();
    // run() waits for startChecked_, so a started thread is still running here.
    if (!thread->isRunning()) {
        delete thread;
        return nullptr;
    }
    thread->startChecked_.release();  // from here on the thread may end and be deleted
    return thread;
}

void TRebootThread::run()
{
    startChecked_.acquire();
    bool answered = false;
    try {
        answered = !TCTPSocket::CTPRequest(ip_, port_, Ctp::RestartRequest()).isEmpty();
    } catch (...) {
        // Nothing to report beyond "no answer": the restart is fire and forget.
    }
    emit Done(ip_, port_, answered);
}
