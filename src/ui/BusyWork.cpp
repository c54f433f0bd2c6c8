#include "BusyWork.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFutureWatcher>

namespace BusyWork {
namespace {

// Drops input while work runs: held-back input would otherwise arrive after the wait and
// start what the user clicked during it.
class TInputBlocker final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Close:  // the window closes once the work is done
            return true;
        default:
            return QObject::eventFilter(watched, e);
        }
    }
};

}  // namespace

void WaitWhileBusy(const QFuture<void>& future)
{
    if (future.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    TInputBlocker blocker;
    const bool gui = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::instance()->installEventFilter(&blocker);
    if (!future.isFinished())
        loop.exec();
    QCoreApplication::instance()->removeEventFilter(&blocker);
    if (gui)
        QApplication::restoreOverrideCursor();
}

}  // namespace BusyWork
