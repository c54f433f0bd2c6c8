#pragma once
// The receive side of the family-9 search: a thread that collects search replies on the
// search socket for a short while and hands each camera found to the user-interface thread,
// waiting until it has been taken.

#include "CgiUdp.h"
#include "DevInfo.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Receives one new record per camera found; runs on the user-interface thread.
using TCgiSearchCallback = std::function<void(const TDevInfo&)>;

// Runs a function on the thread of a target object and blocks the calling thread until it
// has run, like a blocking queued call, but can be cancelled: the owner of the target cancels
// before it goes away, so that a waiting thread never waits for an event loop that is gone.
class TCgiHandover {
public:
    explicit TCgiHandover(QObject* target);
    TCgiHandover(const TCgiHandover&) = delete;
    TCgiHandover& operator=(const TCgiHandover&) = delete;

    // True once fn has run; false when cancelled first (fn then never runs). On the target's
    // own thread fn runs at once.
    bool Run(std::function<void()> fn);
    // Any thread: wakes a waiting Run and refuses every later one.
    void Cancel();

private:
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool cancelled = false;
        quint64 posted = 0;
        quint64 finished = 0;
    };
    QObject* target_;
    std::shared_ptr<State> state_;
};

class TRecvThread {
public:
    static constexpr int kWaitMs = 30;
    static constexpr int kQuietWaits = 10;
    // Replies do not end the thread; a LAN that never falls quiet must not hold the search
    // port forever.
    static constexpr int kMaxRunMs = 3000;

    // Takes the bound socket. Records go to callback on the thread of uiTarget (which must
    // outlive the thread, or Stop must be called first); when context is given and has been
    // destroyed by then, the record is dropped.
    TRecvThread(TCgiUdpSocket socket, TCgiSearchCallback callback, QObject* uiTarget,
                QObject* context);
    // Stops and joins the thread.
    ~TRecvThread();
    TRecvThread(const TRecvThread&) = delete;
    TRecvThread& operator=(const TRecvThread&) = delete;

    void Start();
    // Any thread: ends the loop and any wait for the user-interface thread.
    void Stop();
    // The loop has ended and the socket is closed.
    bool IsFinished() const { return finished_; }
    // True once finished, at most ms later.
    bool Wait(int ms);

private:
    void Run();
    void Deliver();

    TCgiUdpSocket socket_;
    TCgiSearchCallback callback_;
    TDevInfo record_;  // the record being delivered
    TCgiHandover handover_;
    QPointer<QObject> context_;
    bool hasContext_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::mutex finishMutex_;
    std::condition_variable finishedChanged_;
    std::thread thread_;
};
