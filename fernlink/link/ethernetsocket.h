// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes of the TCP link that reach the kernel in the call that makes them. Both ends of the
// link answer every frame before the next one comes, so the cost of a write is paid once a
// frame on each side.
#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace vantor::fernlink {

// QTcpSocket keeps every write in its buffer and switches its write notifier on and off
// around it; under the GLib event loop each switch wakes the loop, two extra turns a frame.
// While nothing waits in that buffer the bytes go to the socket directly, so the order on
// the wire stays the same; what the kernel does not take now (a full send buffer, an error)
// is left to QTcpSocket, which sends it later or reports the failure as it always has.
inline void writeThrough(QTcpSocket& socket, const QByteArray& bytes)
{
    qsizetype sent = 0;
    const qintptr fd = socket.socketDescriptor();
    if (fd >= 0 && socket.bytesToWrite() == 0 && socket.state() == QAbstractSocket::ConnectedState) {
        while (sent < bytes.size()) {
            const ssize_t n = ::send(int(fd), bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
    }
    if (sent < bytes.size()) {
        socket.write(bytes.constData() + sent, bytes.size() - sent);
        socket.flush();
    }
}

// After a write the peer answers at once, the answer comes back within tens of microseconds
// on loopback or a short cable. A thread that waits for it in the event loop's poll() is put
// to sleep and woken again, and on a virtual machine each wake-up costs more than the whole
// answer: profiles of both ends spent most of a frame switching tasks. So when the event loop
// is about to wait after a write, the socket is first watched without sleeping for a short
// while; when the answer comes in that time the loop finds it ready and never sleeps. A peer
// slower than that (a real controller writing to its disk) makes the watch miss, and after a
// miss it is left off for a growing number of writes, so a slow line costs next to nothing.
class AnswerWatch {
public:
    explicit AnswerWatch(QTcpSocket& socket) : socket_(socket) {}

    void afterWrite()
    {
        if (queued_)
            return;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        queued_ = true;
        // Once the reaction to what came in is over and its writes are out.
        QMetaObject::invokeMethod(&socket_, [this] {
            queued_ = false;
            watch();
        }, Qt::QueuedConnection);
    }

private:
    static constexpr qint64 kWatchNs = 150'000;

    void watch()
    {
        const qintptr fd = socket_.socketDescriptor();
        if (fd < 0 || socket_.bytesAvailable() > 0 || socket_.state() != QAbstractSocket::ConnectedState)
            return;
        pollfd ready{int(fd), POLLIN, 0};
        QElapsedTimer waited;
        waited.start();
        do {
            if (::poll(&ready, 1, 0) != 0) {
                misses_ = 0;
                return;
            }
        } while (waited.nsecsElapsed() < kWatchNs);
        misses_ = std::min(misses_ + 1, 8);
        skip_ = 1 << misses_;   // 2, 4, ... 256 writes unwatched
    }

    QTcpSocket& socket_;
    bool queued_ = false;
    int misses_ = 0;
    int skip_ = 0;
};

}  // namespace vantor::fernlink
