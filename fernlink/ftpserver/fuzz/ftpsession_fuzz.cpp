// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the FTP command interpreter fed a whole session. The input is read as
// lines; a line that starts with "~" is an event of the connection (the next character says
// which), every other line goes to the control connection as it is, with its "\n". So a seed
// reads like a client's session:
//   USER oper1 / PASS pw / PASV / ~c (data connected) / RETR O0001.CNC / ~w (written) ...
// Files live in a scratch home folder that is laid out afresh for every input.
#include "fernlink/ftpserver/ftpsession.h"

#include "serialcore/fuzz/fuzzinput.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

using namespace vantor::ftp;

namespace {

struct Clock : FtpClock {
    qint64 ms = 1000;
    QDateTime wall = QDateTime(QDate(2026, 6, 15), QTime(12, 0));
    qint64 monotonicMs() const override { return ms; }
    QDateTime now() const override { return wall; }
};

struct Host : FtpSessionHost {
    bool closed = false;
    bool sendControl(const QByteArray& line) override
    {
        // One reply line, ended once: a CR or LF inside would let a client forge replies.
        if (closed || !line.endsWith("\r\n") || line.count('\r') != 1 || line.count('\n') != 1)
            std::abort();
        return true;
    }
    void closeControl() override { closed = true; }
    void schedule(int tag, int) override { timers |= 1 << tag; }
    void cancel(int tag) override { timers &= ~(1 << tag); }
    void trafficSent(qint64) override {}
    void trafficReceived(qint64) override {}
    void transferOutcome(int) override {}
    void userLoggedIn(const QString&) override {}
    void cncOutput(const QByteArray&) override {}
    void transferDone(const QString&, const QString&, qint64, bool) override {}
    int timers = 0;
};

struct Data : FtpDataChannel {
    bool connected = false;
    bool listening = false;
    bool finishing = false;
    bool connecting = false;
    qint64 backlog = 0;
    // Like the real channel, a new PASV or PORT first drops whatever connection there was.
    bool listenPassive(quint16* port) override
    {
        abort();
        listening = true;
        *port = 5001;
        return true;
    }
    bool connectActive(const QString&, quint16) override
    {
        abort();
        listening = connecting = true;   // "~c" or "~x" then tells how the attempt ended
        return true;
    }
    bool isConnected() const override { return connected; }
    // The "kernel" takes up to 64 KiB; "~w" empties it and tells the session.
    qint64 send(const char*, qint64 size) override
    {
        if (!connected || finishing)
            std::abort();   // data only ever goes to an open connection
        const qint64 n = std::min(size, kRoom - backlog);
        if (n <= 0)
            return SendLater;
        backlog += n;
        return n;
    }
    qint64 sendFile(QFile& file, qint64 offset, qint64 size) override
    {
        if (!connected || finishing)
            std::abort();
        const qint64 n = std::min(size, kRoom - backlog);
        if (n <= 0)
            return SendLater;
        if (!file.seek(offset))
            return FileFailed;
        const QByteArray got = file.read(n);
        if (got.isEmpty())
            return FileFailed;
        return send(got.constData(), got.size());
    }
    static constexpr qint64 kRoom = 65536;
    void finish() override { finishing = true; }
    void abort() override { connected = listening = finishing = connecting = false; backlog = 0; }
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    static QTemporaryDir scratch(vantor::fuzzing::scratchTemplate());
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir(home).removeRecursively();
    QDir().mkpath(home + QStringLiteral("/Sub/deeper"));
    QDir().mkpath(scratch.filePath(QStringLiteral("outside")));
    writeFile(scratch.filePath(QStringLiteral("outside/secret.txt")), "secret");
    writeFile(home + QStringLiteral("/O0001.CNC"), QByteArray(3000, 'G'));
    writeFile(home + QStringLiteral("/Sub/prog.nc"), "M30\r\n");
    writeFile(home + QStringLiteral("/users.dat"), "x");

    CUser user;
    user.name = QStringLiteral("oper1");
    user.password = QStringLiteral("pw");
    user.homeDirectory = home;
    user.download = user.upload = user.deleteRight = user.makeDirectory = 1;
    CUser reader = user;
    reader.name = QStringLiteral("reader");
    reader.password.clear();
    reader.upload = reader.deleteRight = reader.makeDirectory = 0;

    Clock clock;
    Host host;
    Data data;
    FtpSessionSettings settings;
    settings.peerAddress = QStringLiteral("127.0.0.1");
    settings.localAddress = QStringLiteral("127.0.0.1");
    settings.idleSeconds = 300;
    settings.protectedFiles = {home + QStringLiteral("/users.dat")};
    CFtpCommandSocket session(host, data, clock, [&](const QString& name) -> std::optional<CUser> {
        for (const CUser& u : {user, reader})
            if (name.compare(u.name, Qt::CaseInsensitive) == 0)
                return u;
        return std::nullopt;
    }, settings);

    const QByteArray input(reinterpret_cast<const char*>(bytes), qsizetype(size));
    qsizetype from = 0;
    while (from < input.size() && !host.closed) {
        qsizetype end = input.indexOf('\n', from);
        end = end < 0 ? input.size() : end + 1;
        const QByteArray line = input.mid(from, end - from);
        from = end;
        if (!line.startsWith('~') || line.size() < 2) {
            session.onControlBytes(line);
            continue;
        }
        switch (line[1]) {
        case 'c':   // the data connection came up (PASV accepted, or PORT connected)
            if (data.listening && !data.connected) {
                data.connected = true;
                data.connecting = false;
                session.onDataConnected();
            }
            break;
        case 'x':   // the PORT connection could not be made
            if (data.connecting) {
                data.connecting = data.listening = false;
                session.onDataConnectFailed();
            }
            break;
        case 'd':   // bytes on the data connection: the rest of the line
            if (data.connected)
                session.onDataBytes(line.mid(2));
            break;
        case 'w': data.backlog = 0; if (data.connected) session.onDataWritten(); break;
        case 'p': if (data.connected) { data.connected = false; session.onDataPeerClosed(); } break;
        case 'f':
            if (data.finishing) {
                data.finishing = data.connected = data.listening = false;
                data.backlog = 0;
                session.onDataFinished();
            }
            break;
        case 'e': if (data.connected) { data.connected = false; session.onDataError(); } break;
        case 't':   // a second passes
            clock.ms += 1000;
            session.onTick();
            break;
        case 'i': clock.ms += 301000; session.onTick(); break;   // past the idle time-out
        case '1': case '2':
            if (host.timers & (1 << (line[1] - '0'))) {
                host.timers &= ~(1 << (line[1] - '0'));
                session.onTimer(line[1] - '0');
            }
            break;
        default: session.onControlBytes(line); break;
        }
    }
    return 0;
}
