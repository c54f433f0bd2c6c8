#pragma once
// Shared pieces of the socket tests: short time-outs, a clean pool after each test, waits.

#include "CtpSocket.h"
#include "FakeCamera.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

inline const QString kLoopback = QStringLiteral("127.0.0.1");

// Runs the caller's event loop until done() or timeoutMs; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// A loopback port where nothing listens.
inline quint16 ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class CtpSocketFixture : public ::testing::Test {
protected:
    void SetUp() override { TCTPSocket::SetTimeouts({1000, 3000}); }
    void TearDown() override
    {
        TCTPSocket::FreeCTPSessionPool();
        TCTPSocket::SetTimeouts({});
    }
};
