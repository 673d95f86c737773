// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data socket of an FTP connection on the plain descriptor, used by the connection
// threads of ftpserver.cpp only.
#include "fernlink/ftpserver/ftpserver.h"
#include "fernlink/ftpserver/ftpsession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <functional>
#include <linux/sockios.h>
#include <memory>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace vantor::ftp::detail {

inline bool samePeer(const sockaddr_in& address, const QString& peer)
{
    return QHostAddress(ntohl(address.sin_addr.s_addr)).toString() == peer;
}

// The ports the system hands out for outgoing connections, used for passive ports when
// no range is configured.
inline PassivePorts systemPortRange()
{
    PassivePorts range{32768, 60999};
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = file.readAll().simplified().split(' ');
        bool okLow = false, okHigh = false;
        const int low = fields.value(0).toInt(&okLow);
        const int high = fields.value(1).toInt(&okHigh);
        if (okLow && okHigh && low > 0 && low <= high && high <= 65535)
            range = {quint16(low), quint16(high)};
    }
    return range;
}

// Bytes handed to the kernel that the peer has not acknowledged yet.
inline int unsentBytes(int fd)
{
    int queued = 0;
    return ::ioctl(fd, SIOCOUTQ, &queued) == 0 ? queued : 0;
}

// Closes at once with a reset: what is still queued for the peer is dropped, not kept
// in the kernel for minutes waiting for a client that does not read.
inline void closeWithReset(int fd)
{
    const linger now{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(fd);
}

// Reads what the client sent and nobody wanted, so the close is an orderly one.
inline void discardInput(int fd)
{
    char sink[4096];
    for (int i = 0; i < 64 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
}

// The data socket of one connection, on the plain descriptor: a passive listener that
// admits only the control connection's peer, or an active connection back to it. Unlike a
// buffered Qt socket it tells a reset from a clean end, reads upload bytes only while an
// upload runs (so anything pushed at an idle connection waits in the kernel's bounded
// buffer), and sends files with sendfile.
class PosixDataChannel : public QObject, public FtpDataChannel {
public:
    PosixDataChannel(QString peer, PassivePorts ports, std::function<CFtpCommandSocket*()> session)
        : peer_(std::move(peer)), ports_(ports.any() ? systemPortRange() : ports), session_(std::move(session)) {}
    ~PosixDataChannel() override
    {
        abort();
        closeDrain(false);
    }

    // Every passive port is taken from the range lowest first, and one whose last connection
    // lingers in TIME_WAIT is taken again (SO_REUSEADDR): passive transfers reuse a handful of
    // ports however many there are, instead of using up the system's ports for a minute each.
    bool listenPassive(quint16* port) override
    {
        abort();
        for (int p = ports_.low; p <= ports_.high && listenFd_ < 0; ++p) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                return false;
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            address.sin_port = htons(quint16(p));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 5) == 0) {
                listenFd_ = fd;
                *port = quint16(p);
                break;
            }
            const int why = errno;
            ::close(fd);
            if (why != EADDRINUSE && why != EACCES)
                return false;   // out of descriptors or memory: no other port will do better
        }
        if (listenFd_ < 0)
            return false;
        listenNotifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
        QObject::connect(listenNotifier_.get(), &QSocketNotifier::activated, this, [this] { acceptPeer(); });
        return true;
    }

    bool connectActive(const QString& host, quint16 port) override
    {
        abort();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (::inet_pton(AF_INET, host.toLatin1().constData(), &address.sin_addr) != 1)
            return false;
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return false;
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
            abort();
            return false;
        }
        connecting_ = true;
        makeNotifiers();
        writeNotifier_->setEnabled(true);
        return true;
    }

    bool isConnected() const override { return fd_ >= 0 && connected_; }
    // Microseconds since the client ended its last data connection cleanly.
    qint64 usSinceEnd() const { return ended_.isValid() ? ended_.nsecsElapsed() / 1000 : qint64(1) << 40; }

    qint64 send(const char* bytes, qint64 size) override
    {
        if (!isConnected())
            return SendFailed;
        if (overBudget())
            return SendLater;
        const ssize_t n = ::send(fd_, bytes, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        return sent(n);
    }

    qint64 sendFile(QFile& file, qint64 offset, qint64 size) override
    {
        if (!isConnected())
            return SendFailed;
        if (overBudget())
            return SendLater;
        off_t at = offset;
        ssize_t n = useSendfile_ ? ::sendfile(fd_, file.handle(), &at, size_t(size)) : -1;
        if (useSendfile_ && n < 0 && (errno == EINVAL || errno == ENOSYS))
            useSendfile_ = false;   // a file system without it: copy through a buffer
        if (!useSendfile_) {
            buffer_.resize(std::min<qint64>(size, 256 * 1024));
            const ssize_t got = ::pread(file.handle(), buffer_.data(), size_t(buffer_.size()), offset);
            if (got <= 0)
                return FileFailed;
            n = ::send(fd_, buffer_.constData(), size_t(got), MSG_NOSIGNAL | MSG_DONTWAIT);
        } else if (n == 0) {
            return FileFailed;   // the file ended before its length: it shrank
        } else if (n < 0 && errno != EAGAIN && errno != EPIPE && errno != ECONNRESET && errno != ENOTCONN) {
            return FileFailed;
        }
        return sent(n);
    }

    void receive() override
    {
        if (readNotifier_)
            readNotifier_->setEnabled(true);
    }

    void finish() override
    {
        if (fd_ >= 0) {
            // Everything handed over is in the kernel; the end of the stream follows it. The
            // descriptor stays open while the client still reads, so its progress is seen.
            discardInput(fd_);
            ::shutdown(fd_, SHUT_WR);
            closeDrain(false);
            const int left = unsentBytes(fd_);
            if (left > 0) {
                drainFd_ = fd_;
                drainLeft_ = left;
                fd_ = -1;
            }
            closeDescriptor();
        }
        QMetaObject::invokeMethod(this, [this] {
            if (auto* s = session_())
                s->onDataFinished();
        }, Qt::QueuedConnection);
    }

    void abort() override
    {
        release(listenNotifier_);
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        // A transfer broken off: what it left queued will not be read.
        if (fd_ >= 0 && unsentBytes(fd_) > 0) {
            release(readNotifier_);
            release(writeNotifier_);
            closeWithReset(std::exchange(fd_, -1));
        }
        closeDescriptor();
    }

    bool drainedSinceAsked() override
    {
        bool moved = false;
        // A slow reader of a big download: the kernel's buffer is full, and room for the next
        // block comes only after many of its reads, but every read is acknowledged.
        if (fd_ >= 0 && connected_) {
            const qint64 acked = handed_ - unsentBytes(fd_);
            moved = acked > ackedSeen_;
            ackedSeen_ = std::max(ackedSeen_, acked);
        }
        if (drainFd_ >= 0) {
            const int left = unsentBytes(drainFd_);
            moved = moved || left < drainLeft_;
            drainLeft_ = left;
            if (left == 0)
                closeDrain(false);
        }
        return moved;
    }

    // The client is dropped for misbehaving: nothing it left unread stays behind.
    void abortHard()
    {
        if (fd_ >= 0) {
            release(readNotifier_);
            release(writeNotifier_);
            closeWithReset(std::exchange(fd_, -1));
        }
        closeDrain(true);
        abort();
    }

private:
    // Notifiers may be the ones whose signal is running: they go at the next turn of the loop.
    static void release(std::unique_ptr<QSocketNotifier>& notifier)
    {
        if (notifier) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
    }

    void closeDrain(bool reset)
    {
        if (drainFd_ < 0)
            return;
        if (reset) {
            closeWithReset(drainFd_);
        } else {
            discardInput(drainFd_);
            ::close(drainFd_);
        }
        drainFd_ = -1;
        drainLeft_ = 0;
    }

    void closeDescriptor()
    {
        release(readNotifier_);
        release(writeNotifier_);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        connected_ = connecting_ = false;
        budget_ = 0;
        handed_ = ackedSeen_ = 0;
    }

    void makeNotifiers()
    {
        readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
        writeNotifier_->setEnabled(false);
        QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { readable(); });
        QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { writable(); });
    }

    void acceptPeer()
    {
        for (;;) {
            sockaddr_in address{};
            socklen_t length = sizeof address;
            const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            if (fd_ >= 0 || !samePeer(address, peer_)) {
                ::close(fd);   // another host, or a second connection: not ours
                continue;
            }
            fd_ = fd;
            connected_ = true;
            release(listenNotifier_);
            ::close(listenFd_);
            listenFd_ = -1;
            makeNotifiers();
            if (auto* s = session_())
                s->onDataConnected();
            return;
        }
    }

    // Bytes the kernel took count; a full buffer waits for the write notification.
    qint64 sent(ssize_t n)
    {
        if (n > 0) {
            budget_ += n;
            handed_ += n;
            return n;
        }
        if (n < 0 && errno == EAGAIN) {
            if (writeNotifier_)
                writeNotifier_->setEnabled(true);
            return SendLater;
        }
        return SendFailed;
    }

    // A client that reads as fast as we send would keep us in one loop for the whole file;
    // every few megabytes the thread goes back to its events (ABOR, QUIT, the stop request).
    bool overBudget()
    {
        if (budget_ < 8 * 1024 * 1024)
            return false;
        budget_ = 0;
        if (writeNotifier_)
            writeNotifier_->setEnabled(true);
        return true;
    }

    void writable()
    {
        writeNotifier_->setEnabled(false);
        budget_ = 0;
        if (connecting_) {
            connecting_ = false;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
            CFtpCommandSocket* s = session_();
            if (error != 0) {
                closeDescriptor();
                if (s)
                    s->onDataConnectFailed();
                return;
            }
            connected_ = true;
            if (s)
                s->onDataConnected();
            return;
        }
        if (auto* s = session_())
            s->onDataWritten();
    }

    void readable()
    {
        CFtpCommandSocket* s = session_();
        if (!s || fd_ < 0)
            return;
        const int state = s->transferState();
        if (state == StateIdle || state == StateLoggedOut) {
            // Nobody asked for these bytes yet: leave them in the kernel until STOR.
            readNotifier_->setEnabled(false);
            return;
        }
        buffer_.resize(256 * 1024);
        // A bounded number of reads per notification keeps the control connection served.
        for (int round = 0; round < 16 && fd_ >= 0; ++round) {
            const ssize_t n = ::recv(fd_, buffer_.data(), size_t(buffer_.size()), MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    return;
                // A reset is not an end: the upload broke off.
                closeDescriptor();
                s->onDataError();
                return;
            }
            if (n == 0) {
                ended_.start();
                closeDescriptor();
                s->onDataPeerClosed();
                return;
            }
            if (state == StateStoring) {
                s->onDataBytes(QByteArray::fromRawData(buffer_.constData(), n));
                if (s->transferState() != StateStoring)
                    return;
            }
            // During a download or a listing, what the client sends is read and dropped.
        }
    }

    QString peer_;
    PassivePorts ports_;
    std::function<CFtpCommandSocket*()> session_;
    QElapsedTimer ended_;
    int listenFd_ = -1;
    int fd_ = -1;
    int drainFd_ = -1;   // a finished download the client still reads
    int drainLeft_ = 0;
    qint64 handed_ = 0;      // bytes given to the kernel on fd_
    qint64 ackedSeen_ = 0;   // of those, taken by the client when last asked
    bool connected_ = false;
    bool connecting_ = false;
    bool useSendfile_ = true;
    qint64 budget_ = 0;
    QByteArray buffer_;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

}  // namespace vantor::ftp::detail
