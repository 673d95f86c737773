#include "fernlink/ftpserver/ftpserver.h"

#include "common/gbk.h"
#include "fernlink/ftpserver/ftpsession.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QTcpSocket>

#include <map>
#include <memory>
#include <sys/socket.h>

namespace vantor::ftp {

namespace {

QString dotted(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

// The data socket of one connection: a passive listener that admits only the control
// connection's peer, or an active connection back to it.
class QtDataChannel : public QObject, public FtpDataChannel {
public:
    QtDataChannel(QString peer, std::function<CFtpCommandSocket*()> session)
        : peer_(std::move(peer)), session_(std::move(session)) {}
    ~QtDataChannel() override { abort(); }

    bool listenPassive(quint16* port) override
    {
        abort();
        listener_ = new QTcpServer(this);
        if (!listener_->listen(QHostAddress::AnyIPv4, 0))
            return false;
        *port = listener_->serverPort();
        connect(listener_, &QTcpServer::newConnection, this, [this] {
            while (listener_ && listener_->hasPendingConnections()) {
                QTcpSocket* socket = listener_->nextPendingConnection();
                if (socket_ || dotted(socket->peerAddress()) != peer_) {
                    socket->abort();   // another host, or a second connection: not ours
                    socket->deleteLater();
                    continue;
                }
                adopt(socket);
                listener_->close();
                listener_->deleteLater();
                listener_ = nullptr;
                if (auto* s = session_())
                    s->onDataConnected();
                drain();
            }
        });
        return true;
    }

    bool connectActive(const QString& host, quint16 port) override
    {
        abort();
        adopt(new QTcpSocket(this));
        connected_ = false;
        connect(socket_, &QTcpSocket::connected, this, [this] {
            connected_ = true;
            if (auto* s = session_())
                s->onDataConnected();
            drain();
        });
        socket_->connectToHost(host, port);
        return true;
    }

    bool isConnected() const override { return socket_ && connected_; }
    void write(const QByteArray& block) override
    {
        if (socket_)
            socket_->write(block);
    }
    qint64 bytesToWrite() const override { return socket_ ? socket_->bytesToWrite() : 0; }

    void finish() override
    {
        finishing_ = true;
        if (!socket_ || socket_->state() == QAbstractSocket::UnconnectedState)
            return notifyFinished();
        socket_->disconnectFromHost();
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            notifyFinished();
    }

    void abort() override
    {
        if (socket_) {
            socket_->disconnect(this);
            socket_->abort();
            socket_->deleteLater();
            socket_ = nullptr;
        }
        if (listener_) {
            listener_->close();
            listener_->deleteLater();
            listener_ = nullptr;
        }
        connected_ = finishing_ = peerClosed_ = false;
    }

    // Bytes are taken off the socket only while an upload runs, so data that arrives
    // before the STOR command was read waits in the socket instead of being lost.
    void drain()
    {
        CFtpCommandSocket* s = session_();
        if (!s || !socket_ || s->transferState() != StateStoring)
            return;
        while (socket_ && socket_->bytesAvailable() > 0) {
            const QByteArray block = socket_->read(kDataBlockBytes);
            s->onDataBytes(block);
            if (s->transferState() != StateStoring)
                return;
        }
        if (peerClosed_ && socket_)
            s->onDataPeerClosed();
    }

private:
    void adopt(QTcpSocket* socket)
    {
        socket_ = socket;
        socket_->setParent(this);
        connected_ = socket->state() == QAbstractSocket::ConnectedState;
        connect(socket_, &QTcpSocket::readyRead, this, [this] { drain(); });
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
            if (auto* s = session_())
                s->onDataWritten();
        });
        connect(socket_, &QTcpSocket::disconnected, this, [this] { onDisconnected(); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                return;   // the disconnected signal follows
            CFtpCommandSocket* s = session_();
            if (!s)
                return;
            if (!connected_)
                s->onDataConnectFailed();
            else if (!finishing_)
                s->onDataError();
        });
    }

    void onDisconnected()
    {
        if (finishing_)
            return notifyFinished();
        peerClosed_ = true;
        CFtpCommandSocket* s = session_();
        if (!s)
            return;
        if (s->transferState() == StateStoring)
            drain();
        else if (s->transferState() != StateIdle)
            s->onDataPeerClosed();
    }

    void notifyFinished()
    {
        finishing_ = false;
        QMetaObject::invokeMethod(this, [this] {
            if (auto* s = session_())
                s->onDataFinished();
        }, Qt::QueuedConnection);
    }

    QString peer_;
    std::function<CFtpCommandSocket*()> session_;
    QTcpServer* listener_ = nullptr;
    QTcpSocket* socket_ = nullptr;
    bool connected_ = false;
    bool finishing_ = false;
    bool peerClosed_ = false;
};

// Lives in the connection thread: the control socket, the timers and the interpreter.
class ConnectionWorker : public QObject, public FtpSessionHost {
public:
    ConnectionWorker(CConnectThread* thread, const CConnectThread::Setup& setup)
        : thread_(thread), setup_(setup) {}

    bool begin()
    {
        if (!control_.setSocketDescriptor(setup_.descriptor))
            return false;
        // Clients send ABOR's Telnet DM as urgent data; keep it in the stream we parse.
        const int on = 1;
        ::setsockopt(int(setup_.descriptor), SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
        peer_ = dotted(control_.peerAddress());
        Q_EMIT thread_->greeted(setup_.id, peer_);
        if (setup_.refuse) {
            const QByteArray refusal = QByteArray(reply::kTooManyUsers) + "\r\n";
            if (sendControl(refusal))
                trafficSent(refusal.size());
            closeControl();
            return true;
        }
        FtpSessionSettings settings;
        settings.peerAddress = peer_;
        settings.localAddress = dotted(control_.localAddress());
        settings.idleSeconds = setup_.idleSeconds;
        settings.protectedFiles = setup_.protectedFiles;
        data_ = std::make_unique<QtDataChannel>(peer_, [this] { return session_.get(); });
        CUserStore* store = setup_.store;
        session_ = std::make_unique<CFtpCommandSocket>(
            *this, *data_, clock_, [store](const QString& name) { return store->find(name); }, settings);
        connect(&control_, &QTcpSocket::readyRead, this, [this] { readControl(); });
        connect(&control_, &QTcpSocket::disconnected, this, [this] { thread_->requestStop(); });
        connect(&tick_, &QTimer::timeout, this, [this] {
            if (session_)
                session_->onTick();
        });
        tick_.start(1000);
        flush_.setSingleShot(true);
        connect(&flush_, &QTimer::timeout, this, [this] { flushTraffic(); });
        const QByteArray greeting = QByteArray(reply::kWelcome) + "\r\n";
        if (sendControl(greeting))
            trafficSent(greeting.size());
        return true;
    }

    void end()
    {
        flushTraffic();
        if (session_)
            Q_EMIT thread_->lastUser(setup_.id, session_->userName());
        session_.reset();
        data_.reset();
        control_.abort();
    }

    bool sendControl(const QByteArray& line) override
    {
        if (control_.state() != QAbstractSocket::ConnectedState || control_.write(line) != line.size())
            return false;
        return true;
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
    // 2048-byte block would cost more than moving the block.
    void trafficSent(qint64 bytes) override { pendingSent_ += bytes; armFlush(); }
    void trafficReceived(qint64 bytes) override { pendingReceived_ += bytes; armFlush(); }
    void transferOutcome(int outcome) override
    {
        flushTraffic();
        Q_EMIT thread_->traffic(setup_.id, 2, outcome);
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
        if (pendingSent_)
            Q_EMIT thread_->traffic(setup_.id, 0, pendingSent_);
        if (pendingReceived_)
            Q_EMIT thread_->traffic(setup_.id, 1, pendingReceived_);
        pendingSent_ = pendingReceived_ = 0;
    }

    void readControl()
    {
        while (session_ && control_.bytesAvailable() > 0 && !session_->closed()) {
            session_->onControlBytes(control_.read(kControlReadBytes));
            if (data_)
                data_->drain();
        }
    }

    CConnectThread* thread_;
    CConnectThread::Setup setup_;
    QTcpSocket control_;
    QTimer tick_;
    QTimer flush_;
    qint64 pendingSent_ = 0;
    qint64 pendingReceived_ = 0;
    SystemClock clock_;
    QString peer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::unique_ptr<QtDataChannel> data_;
    std::unique_ptr<CFtpCommandSocket> session_;
};

}  // namespace

CFtpListenSocket::CFtpListenSocket(CFtpServerWnd* server) : QTcpServer(server), server_(server) {}

void CFtpListenSocket::incomingConnection(qintptr descriptor)
{
    server_->acceptConnection(descriptor);
}

CConnectThread::CConnectThread(Setup setup) : setup_(std::move(setup)) {}

void CConnectThread::requestStop()
{
    stopRequested_ = true;
    quit();
}

void CConnectThread::run()
{
    ConnectionWorker worker(this, setup_);
    // A quit() that came before exec() started would be lost; the flag is not.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [this] {
        if (stopRequested_)
            quit();
    });
    watch.start(100);
    if (worker.begin() && !stopRequested_)
        exec();
    worker.end();
}

CFtpServerWnd::CFtpServerWnd(CUserStore& store, QStringList protectedFiles, QObject* parent)
    : QObject(parent), store_(store), protected_(std::move(protectedFiles))
{
    protected_.append(store.path());
    connect(&statistics_, &QTimer::timeout, this, &CFtpServerWnd::pushStatistics);
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
    if (!listener_->listen(QHostAddress::AnyIPv4, quint16(port_))) {
        error_ = listener_->errorString();
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
    setup.store = &store_;
    setup.protectedFiles = protected_;
    ++counters_.currentConnections;
    ++counters_.totalConnections;
    setup.refuse = counters_.currentConnections > maxUsers_;
    auto* thread = new CConnectThread(setup);
    const quint64 id = setup.id;
    connect(thread, &CConnectThread::traffic, this, &CFtpServerWnd::onTraffic);
    connect(thread, &CConnectThread::greeted, this, [this](quint64 tid, const QString& peer) {
        peers_[tid] = peer;
        Q_EMIT eventLine(QStringLiteral("[%1] Client connected from %2.").arg(tid).arg(peer));
    });
    connect(thread, &CConnectThread::loggedIn, this, [this](quint64 tid, const QString& user, const QString& peer) {
        users_[tid] = user;
        Q_EMIT eventLine(QStringLiteral("[%1] User %2 logged in from %3.").arg(tid).arg(user, peer));
        if (sink_)
            sink_->OnUserConnected(tid, user, peer);
    });
    connect(thread, &CConnectThread::lastUser, this, [this](quint64 tid, const QString& user) {
        if (threads_.contains(tid))
            users_[tid] = user;
    });
    connect(thread, &CConnectThread::cncOutput, this, [this](const QByteArray& text) {
        Q_EMIT cncOutput(fromGbk(text));
    });
    connect(thread, &CConnectThread::transferDone, this,
            [this](quint64 tid, const QString& verb, const QString& path, qint64 bytes, bool ok) {
                Q_EMIT eventLine(QStringLiteral("[%1] %2 %3 %4 bytes %5").arg(tid).arg(verb, path).arg(bytes)
                                     .arg(ok ? QStringLiteral("complete") : QStringLiteral("failed")));
            });
    connect(thread, &QThread::finished, this, [this, id] { retire(id); });
    {
        QMutexLocker locker(&threadsLock_);
        threads_.insert(id, thread);
    }
    thread->start();
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
    if (thread->isFinished())
        thread->deleteLater();
    else
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
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
        thread->requestStop();
        // The thread needs nothing from this thread to end: every hand-over is queued.
        if (thread->wait(5000))
            Q_EMIT eventLine(QStringLiteral("[%1] Thread successfully stopped.").arg(id));
        else
            Q_EMIT eventLine(QStringLiteral("[%1] Problem while killing thread.").arg(id));
        // Traffic the thread posted before it ended still counts.
        QCoreApplication::sendPostedEvents(this);
        retire(id);
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
