// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The listening server in the user-interface thread and one thread with its own event
// loop per client. Threads reach the server only through queued signals; every call of
// the event sink happens in the thread that owns the server.
#include "fernlink/ftpserver/ftpconstants.h"
#include "fernlink/ftpserver/userstore.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

class QEventLoop;

namespace vantor::ftp {

class CFtpServerWnd;

// Ports offered for passive data connections; 0 to 0 is the system's local port range.
struct PassivePorts {
    quint16 low = 0;
    quint16 high = 0;
    bool any() const { return low == 0 && high == 0; }
    friend bool operator==(const PassivePorts&, const PassivePorts&) = default;
};
// "LOW-HIGH" (1024 <= LOW <= HIGH <= 65535), or empty for the system's range; nullopt when malformed.
std::optional<PassivePorts> parsePassivePorts(const QString& text);
QString formatPassivePorts(const PassivePorts& ports);

// Implemented by the main window (or the command-line tool); called in the server's thread.
class IServerEventSink {
public:
    virtual ~IServerEventSink() = default;
    virtual void OnUserConnected(quint64 threadId, const QString& userName, const QString& peerAddress) = 0;
    virtual void OnUserDisconnected(quint64 threadId, const QString& userName) = 0;
    virtual void OnBytesReceived(quint64 total) = 0;
    virtual void OnBytesSent(quint64 total) = 0;
    virtual void OnStatistic(int index, qint64 value) = 0;
};

struct ServerCounters {
    quint64 bytesReceived = 0;
    quint64 bytesSent = 0;
    int currentConnections = 0;
    int totalConnections = 0;
    int filesDownloaded = 0;
    int filesUploaded = 0;
    int failedDownloads = 0;
    int failedUploads = 0;
};

class CFtpListenSocket : public QTcpServer {
    Q_OBJECT
public:
    explicit CFtpListenSocket(CFtpServerWnd* server);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    CFtpServerWnd* server_;
};

class CConnectThread : public QThread {
    Q_OBJECT
public:
    struct Setup {
        quint64 id = 0;
        qintptr descriptor = -1;
        int idleSeconds = kDefaultIdleMinutes * 60;
        int loginSeconds = kLoginDeadlineSeconds;
        bool greeted = false;         // the listener has sent the 220 already
        PassivePorts passivePorts;
        CUserStore* store = nullptr;
        QStringList protectedFiles;
    };
    // A thread serves one client at a time and then waits for the next one, so a login
    // costs no thread start; each client still gets an event loop of its own.
    explicit CConnectThread(Setup first);
    // Ends the current client's connection. Safe from any thread and at any moment, also
    // before the connection's loop runs.
    void requestStop();
    // The next client, for a thread that has reported connectionEnded.
    void assign(Setup next);
    // Ends the current connection and the thread.
    void requestExit();

Q_SIGNALS:
    void traffic(quint64 id, int kind, qint64 value);
    void loggedIn(quint64 id, const QString& user, const QString& peer);
    void cncOutput(const QByteArray& text);
    void transferDone(quint64 id, const QString& verb, const QString& path, qint64 bytes, bool ok);
    void bytesMoved(quint64 id, qint64 sent, qint64 received);
    // The connection is over (user: its last USER name); the thread waits for assign() or requestExit().
    void connectionEnded(quint64 id, const QString& user);

protected:
    void run() override;

private:
    QString serve(const Setup& setup);

    // Standard primitives rather than Qt's: Debian's Qt is not built for ThreadSanitizer, and
    // a QWaitCondition unlocks inside the library where the race checks cannot see it.
    std::mutex lock_;
    std::condition_variable wake_;
    std::optional<Setup> next_;
    bool exit_ = false;
    bool stopRequested_ = false;
    QEventLoop* loop_ = nullptr;
};

class CFtpServerWnd : public QObject {
    Q_OBJECT
public:
    CFtpServerWnd(CUserStore& store, QStringList protectedFiles = {}, QObject* parent = nullptr);
    ~CFtpServerWnd() override;

    void setPort(int port) { port_ = port; }
    void setMaxUsers(int maxUsers) { maxUsers_ = maxUsers; }
    void setIdleTimeout(int minutes) { idleSeconds_ = minutes * 60; }
    void setIdleTimeoutSeconds(int seconds) { idleSeconds_ = seconds; }
    // A connection not logged in by then is closed (0: never).
    void setLoginTimeoutSeconds(int seconds) { loginSeconds_ = seconds; }
    void setEventSink(IServerEventSink* sink) { sink_ = sink; }
    // Taken by the next PASV of every connection.
    void setPassivePorts(PassivePorts ports) { passivePorts_ = ports; }
    PassivePorts passivePorts() const { return passivePorts_; }
    void setStatisticsInterval(int ms);

    bool isRunning() const { return running_; }
    bool start();
    void stop();
    // Ends one connection as if its client had gone.
    void kick(quint64 threadId);

    int port() const { return port_; }
    quint16 listeningPort() const;
    QString lastError() const { return error_; }
    // The last start failed because ports below 1024 need a privilege this user lacks
    // (Linux: CAP_NET_BIND_SERVICE), not because another program holds the port.
    bool portNeedsPrivilege() const { return privilegeRefused_; }
    const ServerCounters& counters() const { return counters_; }
    QList<quint64> connectionIds() const;
    // Connections the open-file limit leaves room for (set at start), whatever max users says.
    int connectionCapacity() const { return connectionCapacity_; }
    // users.dat and the other files no client may read or replace.
    const QStringList& protectedFiles() const { return protected_; }

protected:
    // Starts a connection's thread; false when the system could not make one.
    virtual bool startThread(QThread* thread);

Q_SIGNALS:
    // Controller output text, without the "CNCOUTDATA " prefix.
    void cncOutput(const QString& text);
    // One line per connection event and transfer, for a log or a console.
    void eventLine(const QString& line);

private:
    friend class CFtpListenSocket;
    void acceptConnection(qintptr descriptor);
    void onTraffic(quint64 id, int kind, qint64 value);
    void retire(quint64 id);
    void pushStatistics();
    bool descriptorsLeft() const;
    void checkUsersFile();

    CUserStore& store_;
    QStringList protected_;
    IServerEventSink* sink_ = nullptr;
    CFtpListenSocket* listener_ = nullptr;
    QTimer statistics_;
    mutable QMutex threadsLock_;
    QHash<quint64, CConnectThread*> threads_;
    QList<CConnectThread*> idle_;   // threads waiting for their next client
    QHash<quint64, QString> peers_;
    QHash<quint64, QString> users_;
    quint64 nextId_ = 1;
    int port_ = kDefaultPort;
    int maxUsers_ = kDefaultMaxUsers;
    int idleSeconds_ = kDefaultIdleMinutes * 60;
    int loginSeconds_ = kLoginDeadlineSeconds;
    int statisticsMs_ = 0;
    PassivePorts passivePorts_;
    int connectionCapacity_ = 0;
    int descriptorLimit_ = 0;
    QTimer usersCheck_;
    QByteArray usersSignature_;
    bool running_ = false;
    QString error_;
    bool privilegeRefused_ = false;
    ServerCounters counters_;
};

// Statistics page text for a byte count: kilobytes rounded up, thousands separated.
QString formatKilobytes(quint64 bytes);

}  // namespace vantor::ftp
