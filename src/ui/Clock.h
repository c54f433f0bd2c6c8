#pragma once
// The time the pages' timers run on. The program runs on the real clock; tests drive a clock of
// their own (tests/support/ManualClock.h) or run the real one faster, so that rules of a
// minute's wait can be checked in a blink.

#include <functional>
#include <memory>

class QTimer;

// A running timer of a clock: it stops when the handle goes.
class TClockTimer {
public:
    virtual ~TClockTimer() = default;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Calls tick every intervalMs of this clock's time on the calling thread (which runs an
    // event loop), until the handle goes. tick may destroy the handle.
    virtual std::unique_ptr<TClockTimer> Every(int intervalMs, std::function<void()> tick) = 0;
    // The same, once, after ms.
    virtual std::unique_ptr<TClockTimer> After(int ms, std::function<void()> fire) = 0;
};

// Qt timers. speed > 1 makes its time pass faster than the real one (tests in the simulated
// LAN); the program uses speed 1.
class TTimerClock final : public IClock {
public:
    explicit TTimerClock(double speed = 1.0);
    std::unique_ptr<TClockTimer> Every(int intervalMs, std::function<void()> tick) override;
    std::unique_ptr<TClockTimer> After(int ms, std::function<void()> fire) override;

private:
    std::unique_ptr<TClockTimer> Make(int ms, bool once, std::function<void()> fn);
    double speed_;
};
