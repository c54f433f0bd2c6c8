#include "Clock.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

class TQtTimer final : public TClockTimer {
public:
    TQtTimer(int ms, bool once, std::function<void()> fn) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(once);
        timer_.setInterval(ms);
        QObject::connect(&timer_, &QTimer::timeout, [fn = std::move(fn)] {
            // A copy: the handler may destroy this handle, and with it the connection.
            const auto f = fn;
            f();
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

}  // namespace

TTimerClock::TTimerClock(double speed) : speed_(speed > 0 ? speed : 1.0) {}

std::unique_ptr<TClockTimer> TTimerClock::Make(int ms, bool once, std::function<void()> fn) {
    const int real = std::max(1, int(std::lround(ms / speed_)));
    return std::make_unique<TQtTimer>(real, once, std::move(fn));
}

std::unique_ptr<TClockTimer> TTimerClock::Every(int intervalMs, std::function<void()> tick) {
    return Make(intervalMs, false, std::move(tick));
}

std::unique_ptr<TClockTimer> TTimerClock::After(int ms, std::function<void()> fire) {
    return Make(ms, true, std::move(fire));
}
