#include "WizardThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <mutex>

struct TStepLink::TState {
    std::mutex mutex;
    std::condition_variable handled;
    Handler handler;  // set and read on the user-interface thread, under the mutex
    quint64 generation = 0;  // bumped by every SetOnStep: a waiting Report of an older one ends
};

TStepLink::TStepLink() : state_(std::make_shared<TState>()) {}

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
    QMetaObject::invokeMethod(
        app,
        [st, delivery, generation, kind, text] {
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
        },
        Qt::QueuedConnection);
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
    QMetaObject::invokeMethod(
        app,
        [st, generation, kind, text] {
            Handler h;
            {
                std::lock_guard lock(st->mutex);
                if (st->generation == generation)
                    h = st->handler;
            }
            if (h)
                h(kind, text);
        },
        Qt::QueuedConnection);
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
