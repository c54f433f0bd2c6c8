#include "CancelToken.h"

#include <chrono>

void TCancelToken::Cancel()
{
    std::list<std::function<void()>> run;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_.exchange(true))
            return;
        run = actions_;
        running_ = true;
    }
    wake_.notify_all();
    for (const auto& a : run)
        a();
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    ran_.notify_all();
}

bool TCancelToken::Pause(int ms) const
{
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return cancelled_.load(); });
}

TCancelToken::TRegistration::TRegistration(const TCancelToken& token, std::function<void()> action)
    : token_(token)
{
    std::unique_lock lock(token.mutex_);
    if (token.cancelled_.load()) {
        lock.unlock();
        action();
        return;
    }
    it_ = token.actions_.insert(token.actions_.end(), std::move(action));
    registered_ = true;
}

TCancelToken::TRegistration::~TRegistration()
{
    if (!registered_)
        return;
    std::unique_lock lock(token_.mutex_);
    // Cancel may be running this very action from a copy: what it closes must stay until then.
    token_.ran_.wait(lock, [this] { return !token_.running_; });
    token_.actions_.erase(it_);
}

const TCancelToken& NeverCancelled()
{
    static const TCancelToken never;
    return never;
}
