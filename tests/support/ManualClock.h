#pragma once
// A clock that moves only when the test says so: Advance(ms) fires every timer that falls due
// on the way, in the order of their due times (timers due at the same moment in the order they
// were started), with the clock standing at each one's due time while it runs.

#include "Clock.h"

#include <algorithm>
#include <memory>
#include <vector>

class TManualClock final : public IClock {
public:
    std::unique_ptr<TClockTimer> Every(int intervalMs, std::function<void()> tick) override
    {
        return Add(intervalMs, true, std::move(tick));
    }
    std::unique_ptr<TClockTimer> After(int ms, std::function<void()> fire) override
    {
        return Add(ms, false, std::move(fire));
    }

    // Milliseconds since the clock was made.
    long long Now() const { return state_->now; }
    // Timers running now.
    int Running() const
    {
        return int(std::count_if(state_->timers.begin(), state_->timers.end(),
                                 [](const auto& t) { return t->alive; }));
    }

    void Advance(long long ms)
    {
        const long long target = state_->now + ms;
        for (;;) {
            std::shared_ptr<TEntry> next;
            for (const auto& t : state_->timers) {
                if (t->alive && t->due <= target &&
                    (!next || t->due < next->due || (t->due == next->due && t->seq < next->seq)))
                    next = t;
            }
            if (!next)
                break;
            state_->now = next->due;
            if (next->repeat)
                next->due += next->interval;
            else
                next->alive = false;
            const auto fn = next->fn;  // the handler may stop its own timer
            fn();
            Reap();
        }
        state_->now = target;
    }

private:
    struct TEntry {
        long long due = 0;
        long long interval = 0;
        long long seq = 0;
        bool repeat = false;
        bool alive = true;
        std::function<void()> fn;
    };
    struct TState {
        long long now = 0;
        long long seq = 0;
        std::vector<std::shared_ptr<TEntry>> timers;
    };
    class THandle final : public TClockTimer {
    public:
        explicit THandle(std::shared_ptr<TEntry> e) : entry_(std::move(e)) {}
        ~THandle() override { entry_->alive = false; }

    private:
        std::shared_ptr<TEntry> entry_;
    };

    std::unique_ptr<TClockTimer> Add(int ms, bool repeat, std::function<void()> fn)
    {
        auto e = std::make_shared<TEntry>();
        e->interval = std::max(1, ms);
        e->due = state_->now + e->interval;
        e->seq = state_->seq++;
        e->repeat = repeat;
        e->fn = std::move(fn);
        state_->timers.push_back(e);
        return std::make_unique<THandle>(e);
    }
    void Reap()
    {
        auto& t = state_->timers;
        t.erase(std::remove_if(t.begin(), t.end(), [](const auto& e) { return !e->alive; }), t.end());
    }

    std::shared_ptr<TState> state_ = std::make_shared<TState>();
};
