// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/ftpserver.h"

#include "common/gbk.h"
#include "common/logging.h"
#include "fernlink/ftpserver/ftpsession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantor::ftp {

namespace {

QString dotted(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

bool samePeer(const sockaddr_in& address, const QString& peer)
{
    return QHostAddress(ntohl(address.sin_addr.s_addr)).toString() == peer;
}

// The data socket of one connection, on the plain descriptor: a passive listener that
// admits only the control connection's peer, or an active connection back to it. Unlike a
// buffered Qt socket it tells a reset from a clean end, reads upload bytes only while an
// upload runs (so anything pushed at an idle connection waits in the kernel's bounded
// buffer), and sends files with sendfile.
class PosixDataChannel : public QObject, public FtpDataChannel {
public:
    PosixDataChannel(QString peer, std::function<CFtpCommandSocket*()> session)
        : peer_(std::move(peer)), session_(std::move(session)) {}
    ~PosixDataChannel() override { abort(); }

    bool listenPassive(quint16* port) override
    {
        abort();
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listenFd_ < 0)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof address;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd_, 5) != 0
            || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            abort();
            return false;
        }
        *port = ntohs(address.sin_port);
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
    // Milliseconds since the client ended its last data connection cleanly.
    qint64 msSinceEnd() const { return ended_.isValid() ? ended_.elapsed() : 1 << 30; }

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
            // Everything handed over is in the kernel; it still goes out after the close,
            // unless unread bytes from the client turn the close into a reset.
            char sink[4096];
            for (int i = 0; i < 64 && ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
            }
            ::shutdown(fd_, SHUT_WR);
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
        closeDescriptor();
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

    void closeDescriptor()
    {
        release(readNotifier_);
        release(writeNotifier_);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        connected_ = connecting_ = false;
        budget_ = 0;
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
    std::function<CFtpCommandSocket*()> session_;
    QElapsedTimer ended_;
    int listenFd_ = -1;
    int fd_ = -1;
    bool connected_ = false;
    bool connecting_ = false;
    bool useSendfile_ = true;
    qint64 budget_ = 0;
    QByteArray buffer_;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

// Lives in the connection thread: the control socket, the timers and the interpreter.
class ConnectionWorker : public QObject, public FtpSessionHost {
public:
    ConnectionWorker(CConnectThread* thread, const CConnectThread::Setup& setup)
        : thread_(thread), setup_(setup) {}

    bool begin()
    {
        if (!control_.setSocketDescriptor(setup_.descriptor)) {
            ::close(int(setup_.descriptor));
            return false;
        }
        // What a client sends faster than we answer stays in the kernel, not in our memory.
        control_.setReadBufferSize(kControlReadBuffer);
        // Replies are small and each one is awaited: never hold one back for the next.
        control_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Clients send ABOR's Telnet DM as urgent data; keep it in the stream we parse.
        const int on = 1;
        ::setsockopt(int(setup_.descriptor), SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
        peer_ = dotted(control_.peerAddress());
        FtpSessionSettings settings;
        settings.peerAddress = peer_;
        settings.localAddress = dotted(control_.localAddress());
        settings.idleSeconds = setup_.idleSeconds;
        settings.loginSeconds = setup_.loginSeconds;
        settings.protectedFiles = setup_.protectedFiles;
        data_ = std::make_unique<PosixDataChannel>(peer_, [this] { return session_.get(); });
        CUserStore* store = setup_.store;
        session_ = std::make_unique<CFtpCommandSocket>(
            *this, *data_, clock_, [store](const QString& name) { return store->find(name); }, settings);
        connect(&control_, &QTcpSocket::readyRead, this, [this] { readControl(); });
        connect(&control_, &QTcpSocket::bytesWritten, this, [this](qint64 n) {
            trafficSent(n);
            if (control_.bytesToWrite() <= kMaxReplyBacklog) {
                flood_.stop();
                readControl();
            }
        });
        connect(&control_, &QTcpSocket::disconnected, this, [this] { thread_->requestStop(); });
        connect(&tick_, &QTimer::timeout, this, [this] {
            if (session_)
                session_->onTick();
        });
        tick_.start(1000);
        flush_.setSingleShot(true);
        connect(&flush_, &QTimer::timeout, this, [this] { flushTraffic(); });
        flood_.setSingleShot(true);
        // It sends and never reads what we answer: nothing useful can come of it.
        connect(&flood_, &QTimer::timeout, this, [this] { thread_->requestStop(); });
        // A waiting thread's client was greeted by the listener already.
        if (!setup_.greeted)
            sendControl(QByteArray(reply::kWelcome) + "\r\n");
        return true;
    }

    // Returns the name of the last USER command, for the disconnect report.
    QString end()
    {
        if (session_)
            session_->onControlClosed();
        flushTraffic();
        const QString user = session_ ? session_->userName() : QString();
        session_.reset();
        data_.reset();
        control_.abort();
        return user;
    }

    bool sendControl(const QByteArray& line) override
    {
        qCDebug(lcFtp, "[%llu] %s", static_cast<unsigned long long>(setup_.id), line.trimmed().constData());
        if (control_.state() != QAbstractSocket::ConnectedState || control_.write(line) != line.size())
            return false;
        // Out now rather than at the next turn of the loop: a login is a few round trips.
        control_.flush();
        return true;
    }
    bool controlAlive() override
    {
        if (control_.state() != QAbstractSocket::ConnectedState)
            return false;
        // The end of the stream may be waiting unread behind the commands. A killed client's
        // sockets close one after the other, the data connection often first: its control
        // connection's end is given a moment to arrive.
        // The disk sync of a large upload already took that moment.
        pollfd p{int(control_.socketDescriptor()), POLLRDHUP, 0};
        for (;;) {
            const int left = data_ ? kUploadSettleMs - int(std::min<qint64>(data_->msSinceEnd(), kUploadSettleMs)) : 0;
            p.revents = 0;
            const int ready = ::poll(&p, 1, std::max(left, 0));
            if (ready > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return false;
            if (ready <= 0 || left <= 0)
                return ready >= 0 || errno == EINTR;
            // Commands arrived: they wait their turn, the end of the stream would show too.
            ::usleep(500);
        }
    }
    void closeControl() override
    {
        tick_.stop();
        control_.disconnectFromHost();
        if (control_.state() == QAbstractSocket::UnconnectedState)
            thread_->requestStop();
        // A peer that never reads its last reply must not hold the thread.
        QTimer::singleShot(5000, this, [this] { thread_->requestStop(); });
    }
    void schedule(int tag, int ms) override
    {
        auto& timer = timers_[tag];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setSingleShot(true);
            connect(timer.get(), &QTimer::timeout, this, [this, tag] {
                if (session_)
                    session_->onTimer(tag);
                readControl();   // commands held back meanwhile
            });
        }
        timer->start(ms);
    }
    void cancel(int tag) override
    {
        if (auto it = timers_.find(tag); it != timers_.end())
            it->second->stop();
    }
    // Byte counts are gathered and handed over a few times a second: one queued signal per
    // block would cost more than moving the block.
    void trafficSent(qint64 bytes) override { pendingSent_ += bytes; armFlush(); }
    void trafficReceived(qint64 bytes) override { pendingReceived_ += bytes; armFlush(); }
    void transferOutcome(int outcome) override
    {
        flushTraffic();
        Q_EMIT thread_->traffic(setup_.id, 2, outcome);
    }
    void traceCommand(const QString& line) override
    {
        qCDebug(lcFtp, "[%llu] %s", static_cast<unsigned long long>(setup_.id), qUtf8Printable(line));
    }
    void userLoggedIn(const QString& name) override { Q_EMIT thread_->loggedIn(setup_.id, name, peer_); }
    void cncOutput(const QByteArray& text) override { Q_EMIT thread_->cncOutput(text); }
    void transferDone(const QString& verb, const QString& path, qint64 bytes, bool ok) override
    {
        Q_EMIT thread_->transferDone(setup_.id, verb, path, bytes, ok);
    }

private:
    void armFlush()
    {
        if (!flush_.isActive())
            flush_.start(200);
    }
    void flushTraffic()
    {
        flush_.stop();
        if (pendingSent_ || pendingReceived_)
            Q_EMIT thread_->bytesMoved(setup_.id, pendingSent_, pendingReceived_);
        pendingSent_ = pendingReceived_ = 0;
    }

    void readControl()
    {
        while (session_ && control_.bytesAvailable() > 0 && session_->acceptsInput()) {
            // Replies the client does not take: stop reading its commands until it does.
            if (control_.bytesToWrite() > kMaxReplyBacklog) {
                if (!flood_.isActive())
                    flood_.start(kFloodCloseMs);
                return;
            }
            session_->onControlBytes(control_.read(kControlReadBytes));
        }
    }

    CConnectThread* thread_;
    CConnectThread::Setup setup_;
    QTcpSocket control_;
    QTimer tick_;
    QTimer flush_;
    QTimer flood_;
    qint64 pendingSent_ = 0;
    qint64 pendingReceived_ = 0;
    SystemClock clock_;
    QString peer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::unique_ptr<PosixDataChannel> data_;
    std::unique_ptr<CFtpCommandSocket> session_;
};

// Over the connection limit: the 421 goes out from here and the socket is closed at once,
// so a burst of refused clients holds no thread and no place.
qint64 refuse(qintptr descriptor)
{
    const QByteArray refusal = QByteArray(reply::kTooManyUsers) + "\r\n";
    const ssize_t n = ::send(int(descriptor), refusal.constData(), size_t(refusal.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(int(descriptor), SHUT_WR);
    ::close(int(descriptor));
    return n > 0 ? n : 0;
}

}  // namespace

CFtpListenSocket::CFtpListenSocket(CFtpServerWnd* server) : QTcpServer(server), server_(server) {}

void CFtpListenSocket::incomingConnection(qintptr descriptor)
{
    server_->acceptConnection(descriptor);
}

CConnectThread::CConnectThread(Setup first) : next_(std::move(first)) {}

// A posted Quit event rather than a queued slot call: the slot object of a queued call is
// freed by whichever thread lets go of it last, inside Qt's library, where the race checks
// cannot see the hand-over.
static void quitLoop(QEventLoop* loop)
{
    QCoreApplication::postEvent(loop, new QEvent(QEvent::Quit));
}

void CConnectThread::requestStop()
{
    std::unique_lock locker(lock_);
    stopRequested_ = true;
    if (loop_)
        quitLoop(loop_);
}

void CConnectThread::assign(Setup next)
{
    std::unique_lock locker(lock_);
    next_ = std::move(next);
    wake_.notify_one();
}

void CConnectThread::requestExit()
{
    std::unique_lock locker(lock_);
    exit_ = stopRequested_ = true;
    if (loop_)
        quitLoop(loop_);
    wake_.notify_one();
}

void CConnectThread::run()
{
    for (;;) {
        Setup setup;
        {
            std::unique_lock locker(lock_);
            while (!next_ && !exit_)
                wake_.wait(locker);
            if (!next_)
                return;
            setup = std::move(*next_);
            next_.reset();
            stopRequested_ = exit_;
        }
        const QString user = serve(setup);
        Q_EMIT connectionEnded(setup.id, user);
    }
}

QString CConnectThread::serve(const Setup& setup)
{
    QString user;
    {
        ConnectionWorker worker(this, setup);
        QEventLoop loop;
        const bool began = worker.begin();
        {
            std::unique_lock locker(lock_);
            if (!began || stopRequested_) {
                locker.unlock();
                user = worker.end();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return user;
            }
            loop_ = &loop;
        }
        loop.exec();
        {
            std::unique_lock locker(lock_);
            loop_ = nullptr;
        }
        user = worker.end();
    }
    // Whatever the connection left for later goes before the next client comes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return user;
}

CFtpServerWnd::CFtpServerWnd(CUserStore& store, QStringList protectedFiles, QObject* parent)
    : QObject(parent), store_(store), protected_(std::move(protectedFiles))
{
    protected_.append(store.path());
    connect(&statistics_, &QTimer::timeout, this, &CFtpServerWnd::pushStatistics);
    // The server's own events ("[id] Client connected from ...") join the trace too.
    connect(this, &CFtpServerWnd::eventLine, this, [](const QString& line) { qCDebug(lcFtp).noquote() << line; });
}

CFtpServerWnd::~CFtpServerWnd()
{
    stop();
}

void CFtpServerWnd::setStatisticsInterval(int ms)
{
    statisticsMs_ = ms;
    statistics_.stop();
    if (ms != 0 && running_)
        statistics_.start(ms);
}

bool CFtpServerWnd::start()
{
    if (running_)
        return false;
    listener_ = new CFtpListenSocket(this);
    listener_->setMaxPendingConnections(5);
    privilegeRefused_ = false;
    if (!listener_->listen(QHostAddress::AnyIPv4, quint16(port_))) {
        error_ = listener_->errorString();
        privilegeRefused_ = port_ > 0 && port_ < 1024 && listener_->serverError() == QAbstractSocket::SocketAccessError;
        delete listener_;
        listener_ = nullptr;
        Q_EMIT eventLine(QStringLiteral("Vantor FTP Server  %1.").arg(port_) + QStringLiteral(" ") + error_);
        return false;
    }
    running_ = true;
    if (statisticsMs_ != 0)
        statistics_.start(statisticsMs_);
    Q_EMIT eventLine(QStringLiteral(" Vantor FTP Server    %1.").arg(listeningPort()));
    return true;
}

quint16 CFtpServerWnd::listeningPort() const
{
    return listener_ ? listener_->serverPort() : 0;
}

void CFtpServerWnd::acceptConnection(qintptr descriptor)
{
    CConnectThread::Setup setup;
    setup.id = nextId_++;
    setup.descriptor = descriptor;
    setup.idleSeconds = idleSeconds_;
    setup.loginSeconds = loginSeconds_;
    setup.store = &store_;
    setup.protectedFiles = protected_;
    if (counters_.currentConnections >= maxUsers_) {
        // Counted as a connection that came, never as one that stays.
        ++counters_.totalConnections;
        counters_.bytesSent += quint64(refuse(descriptor));
        Q_EMIT eventLine(QStringLiteral("[%1] Client refused: too many users.").arg(setup.id));
        return;
    }
    if (!idle_.isEmpty()) {
        // The greeting goes out first, from here, while a waiting thread takes the connection
        // on, so the client's first command finds it ready. Nothing is sent before it.
        const QByteArray greeting = QByteArray(reply::kWelcome) + "\r\n";
        const ssize_t n = ::send(int(descriptor), greeting.constData(), size_t(greeting.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            counters_.bytesSent += quint64(n);
        setup.greeted = n > 0;   // a fresh socket takes these few bytes whole
    }
    ++counters_.currentConnections;
    ++counters_.totalConnections;
    const quint64 id = setup.id;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    peers_[id] = ::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) == 0
                     ? QHostAddress(ntohl(peer.sin_addr.s_addr)).toString()
                     : QString();
    Q_EMIT eventLine(QStringLiteral("[%1] Client connected from %2.").arg(id).arg(peers_[id]));
    if (!idle_.isEmpty()) {
        CConnectThread* thread = idle_.takeLast();
        {
            QMutexLocker locker(&threadsLock_);
            threads_.insert(id, thread);
        }
        thread->assign(setup);
        return;
    }
    auto* thread = new CConnectThread(setup);
    connect(thread, &CConnectThread::traffic, this, &CFtpServerWnd::onTraffic);
    connect(thread, &CConnectThread::bytesMoved, this, [this](quint64, qint64 sent, qint64 received) {
        counters_.bytesSent += quint64(sent);
        counters_.bytesReceived += quint64(received);
    });
    connect(thread, &CConnectThread::loggedIn, this, [this](quint64 tid, const QString& user, const QString& peer) {
        users_[tid] = user;
        Q_EMIT eventLine(QStringLiteral("[%1] User %2 logged in from %3.").arg(tid).arg(user, peer));
        if (sink_)
            sink_->OnUserConnected(tid, user, peer);
    });
    connect(thread, &CConnectThread::cncOutput, this, [this](const QByteArray& text) {
        Q_EMIT cncOutput(fromGbk(text));
    });
    connect(thread, &CConnectThread::transferDone, this,
            [this](quint64 tid, const QString& verb, const QString& path, qint64 bytes, bool ok) {
                Q_EMIT eventLine(QStringLiteral("[%1] %2 %3 %4 bytes %5").arg(tid).arg(verb, path).arg(bytes)
                                     .arg(ok ? QStringLiteral("complete") : QStringLiteral("failed")));
            });
    connect(thread, &CConnectThread::connectionEnded, this, [this, thread](quint64 tid, const QString& user) {
        if (threads_.contains(tid))
            users_[tid] = user;
        retire(tid);
        // A few threads wait for the next clients; the others end.
        if (running_ && idle_.size() < kIdleThreads && !idle_.contains(thread))
            idle_.append(thread);
        else
            thread->requestExit();
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    {
        QMutexLocker locker(&threadsLock_);
        threads_.insert(id, thread);
    }
    if (!startThread(thread)) {
        // No thread, no connection: closed and not counted.
        {
            QMutexLocker locker(&threadsLock_);
            threads_.remove(id);
        }
        --counters_.currentConnections;
        --counters_.totalConnections;
        peers_.remove(id);
        ::close(int(descriptor));
        delete thread;
        Q_EMIT eventLine(QStringLiteral("[%1] Could not start a thread for the client; connection closed.").arg(id));
    }
}

bool CFtpServerWnd::startThread(QThread* thread)
{
    thread->start();
    // A thread that could not be made is neither running nor finished.
    return thread->isRunning() || thread->isFinished();
}

void CFtpServerWnd::onTraffic(quint64, int kind, qint64 value)
{
    if (kind == 0)
        counters_.bytesSent += quint64(value);
    else if (kind == 1)
        counters_.bytesReceived += quint64(value);
    else if (kind == 2) {
        switch (value) {
        case OutcomeDownloaded: ++counters_.filesDownloaded; break;
        case OutcomeUploaded: ++counters_.filesUploaded; break;
        case OutcomeDownloadFailed: ++counters_.failedDownloads; break;
        case OutcomeUploadFailed: ++counters_.failedUploads; break;
        default: break;
        }
    }
}

void CFtpServerWnd::retire(quint64 id)
{
    CConnectThread* thread = nullptr;
    {
        QMutexLocker locker(&threadsLock_);
        thread = threads_.take(id);
    }
    if (!thread)
        return;
    --counters_.currentConnections;
    const QString user = users_.take(id);
    Q_EMIT eventLine(QStringLiteral("[%1] Client disconnected from %2.").arg(id).arg(peers_.take(id)));
    if (sink_)
        sink_->OnUserDisconnected(id, user);
}

void CFtpServerWnd::kick(quint64 threadId)
{
    QMutexLocker locker(&threadsLock_);
    if (CConnectThread* thread = threads_.value(threadId))
        thread->requestStop();
}

QList<quint64> CFtpServerWnd::connectionIds() const
{
    QMutexLocker locker(&threadsLock_);
    return threads_.keys();
}

void CFtpServerWnd::stop()
{
    if (!running_)
        return;
    statistics_.stop();
    running_ = false;
    listener_->close();
    delete listener_;
    listener_ = nullptr;
    for (;;) {
        CConnectThread* thread = nullptr;
        quint64 id = 0;
        {
            QMutexLocker locker(&threadsLock_);
            if (threads_.isEmpty())
                break;
            id = threads_.begin().key();
            thread = threads_.begin().value();
        }
        Q_EMIT eventLine(QStringLiteral("[%1] Shutting down thread...").arg(id));
        thread->requestExit();
        // The thread needs nothing from this thread to end: every hand-over is queued.
        if (thread->wait(5000))
            Q_EMIT eventLine(QStringLiteral("[%1] Thread successfully stopped.").arg(id));
        else
            Q_EMIT eventLine(QStringLiteral("[%1] Problem while killing thread.").arg(id));
        // Traffic the thread posted before it ended still counts.
        QCoreApplication::sendPostedEvents(this);
        retire(id);
    }
    // Threads waiting for a client end too; each deletes itself when finished.
    for (CConnectThread* thread : std::exchange(idle_, {})) {
        thread->requestExit();
        thread->wait(5000);
    }
    Q_EMIT eventLine(QStringLiteral(" Server stopped."));
}

void CFtpServerWnd::pushStatistics()
{
    if (!sink_)
        return;
    sink_->OnBytesSent(counters_.bytesSent);
    sink_->OnBytesReceived(counters_.bytesReceived);
    const qint64 values[] = {counters_.totalConnections, counters_.currentConnections, counters_.filesDownloaded,
                             counters_.filesUploaded, counters_.failedDownloads, counters_.failedUploads};
    for (int i = 0; i < 6; ++i)
        sink_->OnStatistic(i, values[i]);
}

QString formatKilobytes(quint64 bytes)
{
    const quint64 kb = bytes > 1024 ? (bytes + 1023) / 1024 : 0;
    QString digits = QString::number(kb);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits + QStringLiteral(" KB");
}

}  // namespace vantor::ftp
