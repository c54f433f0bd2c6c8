#pragma once
// Lets the owner of a worker stop its blocking camera work early: waits end at once, requests
// that can be cut off are cut off (a connection registers how to close it). Any thread.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>

class TCancelToken {
public:
    TCancelToken() = default;
    TCancelToken(const TCancelToken&) = delete;
    TCancelToken& operator=(const TCancelToken&) = delete;

    bool Cancelled() const { return cancelled_.load(); }
    // Runs every registered action once (outside the lock) and wakes every Pause.
    void Cancel();
    // Sleeps ms; false when cancelled before or meanwhile.
    bool Pause(int ms) const;
    // A function for request loops that ask "stop now?".
    std::function<bool()> Check() const
    {
        return [this] { return Cancelled(); };
    }

    // An action that Cancel runs while the registration lives (at once when already
    // cancelled). The action must not outlive what it closes: keep the registration no longer.
    class TRegistration {
    public:
        TRegistration(const TCancelToken& token, std::function<void()> action);
        ~TRegistration();
        TRegistration(const TRegistration&) = delete;
        TRegistration& operator=(const TRegistration&) = delete;

    private:
        const TCancelToken& token_;
        std::list<std::function<void()>>::iterator it_;
        bool registered_ = false;
    };

private:
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    mutable std::list<std::function<void()>> actions_;
    // Cancel runs the actions without the lock; a registration that ends meanwhile waits.
    mutable bool running_ = false;
    mutable std::condition_variable ran_;
};

// A token that is never cancelled, for callers without an owner that could stop them.
const TCancelToken& NeverCancelled();
