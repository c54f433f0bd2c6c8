#include "WizardThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Hands calls from worker threads to the user-interface thread. The calls wait in a queue of
// our own under a standard mutex and Qt is only asked to run Drain there: so what a worker put
// into a call is seen, by the user-interface thread and by ThreadSanitizer alike, to happen
// before it runs (Qt's own queue is not built with ThreadSanitizer).
class TPump : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void Post(std::function<void()> call) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    }

public slots:
    void Drain() {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(mutex_);
                if (calls_.empty())
                    return;
                call = std::move(calls_.front());
                calls_.pop_front();
            }
            call();
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

// Made on the user-interface thread by the first link, and gone with the application.
TPump* Pump() {
    static TPump* pump = new TPump(QCoreApplication::instance());
    return pump;
}

}  // namespace

struct TStepLink::TState {
    std::mutex mutex;
    std::condition_variable handled;
    Handler handler;  // set and read on the user-interface thread, under the mutex
    quint64 generation = 0;  // bumped by every SetOnStep: a waiting Report of an older one ends
};

TStepLink::TStepLink() : state_(std::make_shared<TState>()) { Pump(); }

TStepLink::~TStepLink() { Detach(); }

void TStepLink::SetOnStep(Handler handler) {
    {
        std::lock_guard lock(state_->mutex);
        state_->handler = std::move(handler);
        ++state_->generation;
    }
    state_->handled.notify_all();
}

bool TStepLink::Attached() const {
    std::lock_guard lock(state_->mutex);
    return bool(state_->handler);
}

namespace {

// Runs on the user-interface thread: the handler of the generation the report was made in.
struct TDelivery {
    bool done = false;
};

void Post(QCoreApplication*, std::function<void()> call) { Pump()->Post(std::move(call)); }

}  // namespace

void TStepLink::Report(int kind, const QString& text) {
    QCoreApplication* app = QCoreApplication::instance();
    const std::shared_ptr<TState> st = state_;
    quint64 generation = 0;
    {
        std::lock_guard lock(st->mutex);
        if (!st->handler || !app)
            return;
        generation = st->generation;
    }
    auto delivery = std::make_shared<TDelivery>();
    // The call object is made here; the release comes after it, in the posting below.
    auto call = [st, delivery, generation, kind, text] {
            Handler h;
            {
                std::lock_guard lock(st->mutex);
                if (st->generation == generation)
                    h = st->handler;
            }
            if (h)
                h(kind, text);
            {
                std::lock_guard lock(st->mutex);
                delivery->done = true;
            }
            st->handled.notify_all();
        };
    Post(app, std::move(call));
    std::unique_lock lock(st->mutex);
    st->handled.wait(lock, [&] { return delivery->done || st->generation != generation; });
}

void TStepLink::Notify(int kind, const QString& text) {
    QCoreApplication* app = QCoreApplication::instance();
    const std::shared_ptr<TState> st = state_;
    quint64 generation = 0;
    {
        std::lock_guard lock(st->mutex);
        if (!st->handler || !app)
            return;
        generation = st->generation;
    }
    Post(app, [st, generation, kind, text] {
        Handler h;
        {
            std::lock_guard lock(st->mutex);
            if (st->generation == generation)
                h = st->handler;
        }
        if (h)
            h(kind, text);
    });
}

TWizardThread::~TWizardThread() { Stop(); }

void TWizardThread::Stop() {
    link_.Detach();
    cancel_.Cancel();
    if (thread_.joinable())
        thread_.join();
}

void TWizardThread::Start() {
    thread_ = std::thread([this] {
        Execute();
        finished_.store(true);
    });
}

TThreadKeeper::~TThreadKeeper() {
    // Everything at once, so that the joins below wait for the slowest, not for the sum.
    for (auto& t : threads_) {
        t->Link().Detach();
        t->Cancel();
    }
    for (auto& t : threads_)
        t->Stop();
    threads_.clear();
}

void TThreadKeeper::DetachAll() {
    for (auto& t : threads_)
        t->Link().Detach();
}

int TThreadKeeper::Running() const {
    return int(std::count_if(threads_.begin(), threads_.end(), [](const auto& t) { return !t->Finished(); }));
}

void TThreadKeeper::Reap() {
    threads_.erase(std::remove_if(threads_.begin(), threads_.end(), [](const auto& t) { return t->Finished(); }),
                   threads_.end());
}

#include "WizardThread.moc"
