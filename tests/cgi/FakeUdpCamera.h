#pragma once
// A family-9 camera's UDP side for the tests: a POSIX socket on a thread of its own, so that
// it answers while the thread under test blocks. Each datagram is recorded and handed to a
// handler, whose replies go back to the sender.

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct UdpReply {
    QByteArray bytes;
    int delayMs = 0;
};

class FakeUdpCamera {
public:
    using Handler = std::function<std::vector<UdpReply>(const QByteArray&)>;

    // address 0: all local addresses.
    FakeUdpCamera(std::uint16_t port, Handler handler, std::uint32_t address = INADDR_ANY)
        : handler_(std::move(handler))
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(address);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (bound_)
            thread_ = std::thread([this] { Loop(); });
    }
    ~FakeUdpCamera()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    FakeUdpCamera(const FakeUdpCamera&) = delete;
    FakeUdpCamera& operator=(const FakeUdpCamera&) = delete;

    bool Bound() const { return bound_; }
    std::vector<QByteArray> Received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }
    size_t ReceivedCount() const
    {
        std::lock_guard lock(mutex_);
        return received_.size();
    }
    // Waits until everything broadcast to the camera's port so far has been received: a fence
    // datagram takes the same way in after it. The fence itself is not recorded.
    bool Settle(std::uint16_t port, int timeoutMs = 3000)
    {
        const int before = fences_;
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        ::sendto(fd, kFence, sizeof kFence - 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(fd);
        for (int waited = 0; fences_ <= before && waited < timeoutMs; waited += 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return fences_ > before;
    }
    // Sends bytes from the camera's socket.
    void SendTo(const QByteArray& bytes, const char* address, std::uint16_t port)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        ::sendto(fd_, bytes.constData(), size_t(bytes.size()), 0,
                 reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

private:
    void Loop()
    {
        char buf[65536];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                continue;
            const QByteArray dgram(buf, qsizetype(n));
            if (dgram == QByteArray(kFence)) {
                ++fences_;
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                received_.push_back(dgram);
            }
            for (const UdpReply& r : handler_(dgram)) {
                if (r.delayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(r.delayMs));
                ::sendto(fd_, r.bytes.constData(), size_t(r.bytes.size()), 0,
                         reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }

    Handler handler_;
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> fences_{0};
    static constexpr char kFence[] = "fence";
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<QByteArray> received_;
};
