// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/ftpserver.h"

#include "common/gbk.h"
#include "common/logging.h"
#include "fernlink/ftpserver/ftpsession.h"
#include "fernlink/ftpserver/posixdatachannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <malloc.h>
#include <map>
#include <memory>
#include <dirent.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::ftp {

namespace {

using detail::PosixDataChannel;

QString dotted(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

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
        data_ = std::make_unique<PosixDataChannel>(peer_, setup_.passivePorts, [this] { return session_.get(); });
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
        connect(&flood_, &QTimer::timeout, this, [this] { dropHard(); });
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
        if (hard_ || unreadReplies()) {
            // Unread replies are not kept in the kernel for a client that does not read them.
            const linger now{1, 0};
            ::setsockopt(int(control_.socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            if (data_)
                data_->abortHard();
        }
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
        // The end of the stream may be waiting unread behind the commands; the kernel shows
        // it anyway. What is left of the moment after the data connection's end (the disk
        // sync took its part) is waited for that end only, not for anything else.
        pollfd p{int(control_.socketDescriptor()), POLLRDHUP, 0};
        for (;;) {
            const qint64 since = data_ ? data_->usSinceEnd() : kUploadSettleUs;
            const qint64 left = std::max<qint64>(0, kUploadSettleUs - since);
            const timespec wait{0, long(left * 1000)};
            p.revents = 0;
            const int ready = ::ppoll(&p, 1, &wait, nullptr);
            if (ready > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return false;
            if (ready == 0 || left == 0 || (ready < 0 && errno != EINTR))
                return true;
            // Commands arrived (POLLIN): they wait their turn; the end of the stream would show too.
            p.events = POLLRDHUP;
            ::usleep(200);
        }
    }
    void closeControl() override
    {
        tick_.stop();
        // A client that left its replies unread is not waited for.
        control_.flush();
        if (unreadReplies())
            return dropHard();
        control_.disconnectFromHost();
        if (control_.state() == QAbstractSocket::UnconnectedState)
            thread_->requestStop();
        // A peer that never reads its last reply must not hold the thread.
        QTimer::singleShot(5000, this, [this] { dropHard(); });
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

    bool unreadReplies()
    {
        return control_.bytesToWrite() > kMaxReplyBacklog
               || (control_.socketDescriptor() >= 0
                   && detail::unsentBytes(int(control_.socketDescriptor())) > kUnreadRepliesReset);
    }

    void dropHard()
    {
        hard_ = true;
        thread_->requestStop();
    }

    void readControl()
    {
        // A reply flushed while a command runs reports its bytes written, which lands here:
        // the loop already running takes whatever is there.
        if (reading_)
            return;
        reading_ = true;
        const auto done = qScopeGuard([this] { reading_ = false; });
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
    bool reading_ = false;
    bool hard_ = false;
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

// Open descriptors of this process.
int openDescriptors()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
        return count - 1;   // the directory's own
    }
    return 0;
}

// Raises the open-file limit as far as the system lets this process (once), and returns it.
// Every connection needs a few descriptors and every thread one more; running out inside
// the event loop's library ends the whole program, so the server stays well below it.
int raiseDescriptorLimit()
{
    static const int limit = [] {
        rlimit r{};
        if (::getrlimit(RLIMIT_NOFILE, &r) != 0)
            return 1024;
        // Beyond this the connection limit (at most 1000 users) no longer depends on it.
        constexpr rlim_t enough = 1 << 16;
        const rlim_t wanted = r.rlim_max == RLIM_INFINITY ? enough : std::min(r.rlim_max, enough);
        if (r.rlim_cur != RLIM_INFINITY && r.rlim_cur < wanted) {
            r.rlim_cur = wanted;
            ::setrlimit(RLIMIT_NOFILE, &r);
            ::getrlimit(RLIMIT_NOFILE, &r);
        }
        return r.rlim_cur == RLIM_INFINITY ? int(enough) : int(std::min<rlim_t>(r.rlim_cur, enough));
    }();
    return limit;
}

QByteArray fileSignature(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArrayLiteral("missing");
    return QByteArray::number(qulonglong(st.st_ino)) + ' ' + QByteArray::number(qlonglong(st.st_size)) + ' '
           + QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
}

}  // namespace

std::optional<PassivePorts> parsePassivePorts(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return PassivePorts{};
    const QStringList parts = trimmed.split(QLatin1Char('-'));
    if (parts.size() != 2)
        return std::nullopt;
    bool okLow = false, okHigh = false;
    const int low = parts[0].trimmed().toInt(&okLow);
    const int high = parts[1].trimmed().toInt(&okHigh);
    if (!okLow || !okHigh || low < 1024 || low > high || high > 65535)
        return std::nullopt;
    return PassivePorts{quint16(low), quint16(high)};
}

QString formatPassivePorts(const PassivePorts& ports)
{
    return ports.any() ? QString() : QStringLiteral("%1-%2").arg(ports.low).arg(ports.high);
}

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
    // Whatever the connection left for later goes before the next client comes, and the
    // memory it used goes back to the system rather than staying with this thread's heap.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    ::malloc_trim(0);   // the sanitizers bring their own allocator
#endif
    return user;
}

CFtpServerWnd::CFtpServerWnd(CUserStore& store, QStringList protectedFiles, QObject* parent)
    : QObject(parent), store_(store), protected_(std::move(protectedFiles))
{
    protected_.append(store.path());
    connect(&statistics_, &QTimer::timeout, this, &CFtpServerWnd::pushStatistics);
    connect(&usersCheck_, &QTimer::timeout, this, &CFtpServerWnd::checkUsersFile);
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
    descriptorLimit_ = raiseDescriptorLimit();
    // What the limit leaves for connections once everything else has its share.
    connectionCapacity_ = std::max(1, (descriptorLimit_ - openDescriptors() - kDescriptorReserve) / kDescriptorsPerConnection);
    listener_ = new CFtpListenSocket(this);
    listener_->setMaxPendingConnections(5);
    // Out of descriptors, the listener stops accepting; it tries again shortly, so clients
    // wait in the backlog and nobody is locked out for good.
    connect(listener_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        QTimer::singleShot(200, this, [this] {
            if (listener_)
                listener_->resumeAccepting();
        });
    });
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
    usersSignature_ = fileSignature(store_.path());
    usersCheck_.start(kUsersCheckMs);
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
    setup.passivePorts = passivePorts_;
    // Refused before the descriptors run out, not when they have.
    if (counters_.currentConnections >= std::min(maxUsers_, connectionCapacity_) || !descriptorsLeft()) {
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

bool CFtpServerWnd::descriptorsLeft() const
{
    // Other parts of the program open files too: the count is taken as it is now.
    return openDescriptors() + kDescriptorsPerConnection + kDescriptorReserve / 2 <= descriptorLimit_;
}

void CFtpServerWnd::checkUsersFile()
{
    // users.dat is written by the user manager and by the command-line tool, possibly in
    // another process: a changed file is read again, and sessions of accounts that were
    // removed, switched off or given another password or home end.
    const QByteArray signature = fileSignature(store_.path());
    if (signature == usersSignature_)
        return;
    usersSignature_ = signature;
    QFile file(store_.path());
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return;
        QList<CUser> decoded;
        QString why;
        if (decodeUsers(file.readAll(), &decoded, &why) != LoadStatus::Loaded) {
            // Half a file or another program's: the accounts stay as they were.
            Q_EMIT eventLine(QStringLiteral("Account file %1 not read again: %2").arg(store_.path(), why));
            return;
        }
    }
    const QList<CUser> before = store_.getAll();
    store_.load();
    Q_EMIT eventLine(QStringLiteral("Account file %1 read again: %2 account(s).").arg(store_.path()).arg(store_.getAll().size()));
    for (auto it = users_.cbegin(); it != users_.cend(); ++it) {
        const auto now = store_.find(it.value());
        std::optional<CUser> was;
        for (const CUser& u : before)
            if (u.name.compare(it.value(), Qt::CaseInsensitive) == 0 && !was)
                was = u;
        if (!now || now->disabled || (was && (was->password != now->password || was->homeDirectory != now->homeDirectory))) {
            Q_EMIT eventLine(QStringLiteral("[%1] Account %2 changed; connection ended.").arg(it.key()).arg(it.value()));
            kick(it.key());
        }
    }
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
    usersCheck_.stop();
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
