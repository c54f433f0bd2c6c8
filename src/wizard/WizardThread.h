#pragma once
// The worker threads of easy mode and how they reach their page.
//
// A thread hands its reports to the user-interface thread through a TStepLink: Report waits
// until the page's handler has run there (the synchronous hand-over of the step reports),
// Notify does not wait. The page clears the handler (Detach) when it starts a newer check, is
// hidden or goes away; from then on the thread's reports go nowhere, a Report waiting for the
// user-interface thread returns at once, and the thread touches nothing of the page. Handlers
// are set, cleared and run on the user-interface thread only.
//
// The page keeps its threads in a TThreadKeeper: finished ones are let go when the next one
// starts, and at the end every running one is detached, cancelled (its waits and requests
// end early) and joined, so that none outlives what it uses.

#include "CancelToken.h"

#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class TStepLink {
public:
    using Handler = std::function<void(int kind, const QString& text)>;

    TStepLink();
    ~TStepLink();
    TStepLink(const TStepLink&) = delete;
    TStepLink& operator=(const TStepLink&) = delete;

    // User-interface thread. An empty handler detaches.
    void SetOnStep(Handler handler);
    void Detach() { SetOnStep({}); }
    bool Attached() const;

    // Worker thread: runs the handler on the user-interface thread and waits for it.
    void Report(int kind, const QString& text);
    // Worker thread: the same without waiting.
    void Notify(int kind, const QString& text);

private:
    struct TState;
    std::shared_ptr<TState> state_;
};

class TWizardThread {
public:
    TWizardThread() = default;
    // Every derived class calls Stop() in its destructor, before its fields go.
    virtual ~TWizardThread();
    TWizardThread(const TWizardThread&) = delete;
    TWizardThread& operator=(const TWizardThread&) = delete;

    void Start();
    bool Finished() const { return finished_.load(); }
    TStepLink& Link() { return link_; }
    void Cancel() { cancel_.Cancel(); }
    // Detaches, cancels and joins; callable more than once, on the user-interface thread.
    void Stop();

protected:
    virtual void Execute() = 0;
    const TCancelToken& Token() const { return cancel_; }
    void Report(int kind, const QString& text) { link_.Report(kind, text); }

private:
    TStepLink link_;
    TCancelToken cancel_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

class TThreadKeeper {
public:
    TThreadKeeper() = default;
    ~TThreadKeeper();
    TThreadKeeper(const TThreadKeeper&) = delete;
    TThreadKeeper& operator=(const TThreadKeeper&) = delete;

    // Starts the thread and keeps it; returns it for the caller to set its handler before it
    // reports (set it before Start: pass a prepared thread). Finished threads are let go.
    template <class T>
    T* Start(std::unique_ptr<T> thread)
    {
        Reap();
        T* raw = thread.get();
        threads_.push_back(std::move(thread));
        raw->Start();
        return raw;
    }
    // Detaches every thread kept (their reports go nowhere from now on).
    void DetachAll();
    int Running() const;

private:
    void Reap();
    std::vector<std::unique_ptr<TWizardThread>> threads_;
};
