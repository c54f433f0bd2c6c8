#pragma once
// Work that may take longer than a blink (a login test, a settings command that waits for the
// camera's answer, a firmware upload) runs on a worker thread while the user-interface thread
// keeps painting and serving its timers and sockets (the search goes on). Meanwhile the busy
// cursor shows and the user's clicks and keys are dropped, so that nothing is started twice.

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <type_traits>
#include <utility>

namespace BusyWork {

// Spins the calling thread's event loop, without user input, until future has finished.
void WaitWhileBusy(const QFuture<void>& future);

// Runs work() on a worker thread and returns its result; call it on the user-interface thread.
// work must not touch widgets; the objects it uses must outlive the call.
template <class Work>
auto Run(Work&& work) -> std::invoke_result_t<Work>
{
    using R = std::invoke_result_t<Work>;
    if constexpr (std::is_void_v<R>) {
        WaitWhileBusy(QtConcurrent::run(std::forward<Work>(work)));
    } else {
        QFuture<R> future = QtConcurrent::run(std::forward<Work>(work));
        WaitWhileBusy(QFuture<void>(future));
        return future.result();
    }
}

}  // namespace BusyWork
