// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command interpreter of one FTP control connection, with its data transfers.
// It sees bytes, ticks and data-channel events; the connection thread (or a test) owns
// the sockets and the timers and forwards them here.
#include "fernlink/ftpserver/ftpconstants.h"
#include "fernlink/ftpserver/ftppaths.h"
#include "fernlink/ftpserver/userstore.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTemporaryFile;

namespace vantor::ftp {

class FtpClock {
public:
    virtual ~FtpClock() = default;
    virtual qint64 monotonicMs() const = 0;
    virtual QDateTime now() const = 0;
};

class SystemClock : public FtpClock {
public:
    qint64 monotonicMs() const override;
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// One data connection at a time; the session decides when to open, send and close it.
class FtpDataChannel {
public:
    virtual ~FtpDataChannel() = default;
    // PASV: listen for the control connection's peer; false when no socket could be made.
    virtual bool listenPassive(quint16* port) = 0;
    // PORT: start connecting; false when the attempt failed at once.
    virtual bool connectActive(const QString& host, quint16 port) = 0;
    virtual bool isConnected() const = 0;
    // What send and sendFile return besides a byte count: nothing could be taken now
    // (onDataWritten follows), the connection failed, the file could not be read there.
    enum { SendLater = 0, SendFailed = -1, FileFailed = -2 };
    // Hands bytes to the connection; the count is what really went to the network.
    virtual qint64 send(const char* bytes, qint64 size) = 0;
    virtual qint64 sendFile(QFile& file, qint64 offset, qint64 size) = 0;
    // The session wants upload bytes now; until then they wait in the kernel's buffer.
    virtual void receive() {}
    // Everything was sent: close; the session hears onDataFinished() once it is closed.
    virtual void finish() = 0;
    virtual void abort() = 0;
    // True when bytes sent (also those of a finished download still queued in the kernel
    // after finish()) reached the client since the last call: a slow reader is busy, not idle.
    virtual bool drainedSinceAsked() { return false; }
};

// What a session asks of its connection.
class FtpSessionHost {
public:
    virtual ~FtpSessionHost() = default;
    // One whole reply line with its CR LF; false when the control connection failed.
    virtual bool sendControl(const QByteArray& line) = 0;
    // Flush what was sent and end the connection.
    virtual void closeControl() = 0;
    virtual void schedule(int tag, int ms) = 0;   // replaces a pending timer of that tag
    virtual void cancel(int tag) = 0;
    virtual void trafficSent(qint64 bytes) = 0;
    virtual void trafficReceived(qint64 bytes) = 0;
    virtual void transferOutcome(int outcome) = 0;
    virtual void userLoggedIn(const QString& name) = 0;
    virtual void cncOutput(const QByteArray& text) = 0;   // without the prefix
    virtual void transferDone(const QString& verb, const QString& path, qint64 bytes, bool ok) = 0;
    // False once the client has closed or reset the control connection, even if that has
    // not been read yet: an upload is stored only while its client is still there for the 226.
    virtual bool controlAlive() { return true; }
    // Each command as received (the password blanked out), for a support trace.
    virtual void traceCommand(const QString& line) { (void)line; }
};

struct FtpSessionSettings {
    QString peerAddress;     // dotted IPv4 of the client
    QString localAddress;    // dotted IPv4 of our end of the control connection
    int idleSeconds = kDefaultIdleMinutes * 60;   // 0: never
    int loginSeconds = kLoginDeadlineSeconds;     // 0: never
    QStringList protectedFiles;              // users.dat and userlog.dat
};

class CFtpCommandSocket {
public:
    using UserLookup = std::function<std::optional<CUser>(const QString&)>;

    CFtpCommandSocket(FtpSessionHost& host, FtpDataChannel& data, const FtpClock& clock,
                      UserLookup lookup, FtpSessionSettings settings);
    ~CFtpCommandSocket();

    void onControlBytes(const QByteArray& chunk);
    void onTimer(int tag);
    void onTick();   // once a second: the idle time-out and the login deadline
    // The control connection is gone: a running upload is thrown away and counted as failed.
    void onControlClosed();
    // False while a failed login is held back: commands then wait in the socket.
    bool acceptsInput() const { return !closed_ && !holding_; }

    void onDataConnected();
    void onDataConnectFailed();
    void onDataBytes(const QByteArray& bytes);
    void onDataWritten();
    void onDataPeerClosed();   // every received byte was delivered before this
    void onDataFinished();     // after finish(): every queued byte left
    void onDataError();

    int transferState() const { return state_; }
    const QString& userName() const { return userName_; }
    QString currentDirectory() const { return rules_.currentDirectory(); }
    bool closed() const { return closed_; }

    enum Timer { TimerDataWait = 1, TimerLoginDelay = 2 };
    // Listing text for a directory or one file, byte for byte as clients parse it.
    static QByteArray listingLine(bool directory, qint64 size, const QDateTime& lastWrite,
                                  const QDateTime& now, const QString& name);

private:
    void runQueue();
    void runCommand(const QString& line);
    bool reply(const QString& text);
    void endConnection(const char* lastReply);
    bool recheckAccount();

    void cmdUser(const QString& arg);
    void cmdPass(const QString& arg);
    void cmdChangeDir(const QString& arg);
    void cmdPort(const QString& arg);
    void cmdPasv(bool extended);
    void cmdList(const QString& arg, bool namesOnly);
    void cmdType(const QString& arg);
    void cmdFeat();
    void cmdModTime(const QString& arg);
    void cmdRetr(const QString& arg);
    void cmdStor(const QString& arg, bool unique);
    void cmdSize(const QString& arg);
    void cmdDele(const QString& arg);
    void cmdRmd(const QString& arg);
    void cmdMkd(const QString& arg);
    void cmdAbor();
    void cmdSite(const QString& arg);

    enum class Pending { None, Listing, Retrieve, Store };
    bool openData(Pending what);
    void startPending();
    void pumpSend();
    void finishTransfer(bool ok, const char* replyText, int outcome);
    void destroyData();
    bool buildListing(const QString& arg, bool namesOnly);
    bool nextListingPiece();
    bool syncUpload();
    bool renameUpload();
    void takeControlBytes(const QByteArray& chunk);
    void endLine();

    FtpSessionHost& host_;
    FtpDataChannel& data_;
    const FtpClock& clock_;
    UserLookup lookup_;
    FtpSessionSettings settings_;

    int state_ = StateLoggedOut;
    QString userName_;
    FtpPathRules rules_;
    bool passive_ = false;
    QString dataAddress_;
    int dataPort_ = -1;
    bool dataInUse_ = false;   // PASV listening or a connection made or being made
    bool closed_ = false;

    QByteArray receiveBuffer_;
    bool discardingLine_ = false;
    int telnetState_ = 0;
    // A line too long to run keeps its place in the queue, so its refusal comes in order.
    struct QueuedLine {
        QString text;
        bool tooLong = false;
    };
    QList<QueuedLine> queue_;
    // A reply can make the connection read again; bytes arriving then wait their turn here.
    bool takingInput_ = false;
    bool runningQueue_ = false;
    QByteArray reentered_;
    bool holding_ = false;
    int failedLogins_ = 0;

    Pending pending_ = Pending::None;
    bool waitingForData_ = false;
    bool finishing_ = false;
    // The listing in progress: the sorted names, formatted a piece at a time as the client reads.
    struct ListingCursor {
        QString directory;
        QStringList names;
        qsizetype next = 0;
        bool namesOnly = false;
        QDateTime now;
        QSet<QString> protectedNames;   // file names of the account files, checked in full
    };
    std::unique_ptr<ListingCursor> cursor_;
    QByteArray listing_;
    qsizetype listingAt_ = 0;
    std::unique_ptr<QFile> file_;
    std::unique_ptr<QTemporaryFile> upload_;
    QString transferPath_;
    qint64 done_ = 0;
    qint64 total_ = 0;
    qint64 lastActivity_ = 0;
    qint64 loggedOutSince_ = 0;
    qint64 syncedUpTo_ = 0;
};

}  // namespace vantor::ftp
