#include "CgiRecvThread.h"

#include "CgiPackets.h"

#include <QElapsedTimer>
#include <QThread>

TCgiHandover::TCgiHandover(QObject* target) : target_(target), state_(std::make_shared<State>())
{
}

bool TCgiHandover::Run(std::function<void()> fn)
{
    if (!target_)
        return false;
    if (QThread::currentThread() == target_->thread()) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->cancelled)
                return false;
        }
        fn();
        return true;
    }
    std::unique_lock lock(state_->mutex);
    if (state_->cancelled)
        return false;
    const quint64 id = ++state_->posted;
    std::shared_ptr<State> state = state_;
    // Posted while holding the lock, so that Cancel cannot slip in between the check above and
    // the wait below; the target outlives every posting because its owner cancels first.
    QMetaObject::invokeMethod(
        target_,
        [state, fn = std::move(fn), id] {
            {
                std::lock_guard l(state->mutex);
                if (state->cancelled)
                    return;
            }
            fn();
            std::lock_guard l(state->mutex);
            state->finished = std::max(state->finished, id);
            state->done.notify_all();
        },
        Qt::QueuedConnection);
    state_->done.wait(lock, [&] { return state_->cancelled || state_->finished >= id; });
    return state_->finished >= id;
}

void TCgiHandover::Cancel()
{
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    state_->done.notify_all();
}

TRecvThread::TRecvThread(TCgiUdpSocket socket, TCgiSearchCallback callback, QObject* uiTarget,
                         QObject* context)
    : socket_(std::move(socket)),
      callback_(std::move(callback)),
      handover_(uiTarget),
      context_(context),
      hasContext_(context != nullptr)
{
}

TRecvThread::~TRecvThread()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void TRecvThread::Start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
}

bool TRecvThread::Wait(int ms)
{
    std::unique_lock lock(finishMutex_);
    return finishedChanged_.wait_for(lock, std::chrono::milliseconds(ms),
                                     [this] { return finished_.load(); });
}

void TRecvThread::Stop()
{
    stop_ = true;
    handover_.Cancel();
}

void TRecvThread::Run()
{
    QElapsedTimer running;
    running.start();
    int idle = 0;
    while (idle < kQuietWaits && !stop_ && running.elapsed() < kMaxRunMs) {
        const auto wait = socket_.WaitReadable(kWaitMs);
        if (wait == TCgiUdpSocket::TWait::Error)
            break;
        if (wait == TCgiUdpSocket::TWait::TimedOut) {
            ++idle;
            continue;
        }
        quint32 adapter = 0;
        const QByteArray dgram = socket_.Receive(Cgi::kReplyBufferSize, &adapter);
        if (!Cgi::ParseSearchReply(dgram, record_))
            continue;
        record_.Adapter = adapter;
        if (callback_)
            Deliver();
    }
    socket_.Close();
    std::lock_guard lock(finishMutex_);
    finished_ = true;
    finishedChanged_.notify_all();
}

void TRecvThread::Deliver()
{
    // Runs on the user-interface thread while this thread waits, so record_ is not touched
    // by both at once.
    handover_.Run([this] {
        if (hasContext_ && !context_)
            return;
        callback_(record_);
    });
}
