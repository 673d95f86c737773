// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/ftpsession.h"

#include "common/gbk.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <map>

using namespace vantor::ftp;
using vantor::fromGbk;
using vantor::toGbk;

namespace {

class FakeClock : public FtpClock {
public:
    qint64 ms = 1000;
    QDateTime wall = QDateTime(QDate(2026, 6, 15), QTime(12, 0));
    qint64 monotonicMs() const override { return ms; }
    QDateTime now() const override { return wall; }
};

class FakeHost : public FtpSessionHost {
public:
    QStringList replies;
    std::map<int, int> timers;
    bool closed = false;
    qint64 sent = 0, received = 0;
    QList<int> outcomes;
    QStringList logins;
    QList<QByteArray> cnc;
    bool alive = true;
    bool controlAlive() override { return alive; }
    bool sendControl(const QByteArray& line) override
    {
        EXPECT_TRUE(line.endsWith("\r\n"));
        EXPECT_EQ(line.count('\r'), 1) << line.constData();
        EXPECT_EQ(line.count('\n'), 1) << line.constData();
        replies.append(QString::fromLatin1(line.chopped(2)));
        return true;
    }
    void closeControl() override { closed = true; }
    void schedule(int tag, int ms) override { timers[tag] = ms; }
    void cancel(int tag) override { timers.erase(tag); }
    void trafficSent(qint64 n) override { sent += n; }
    void trafficReceived(qint64 n) override { received += n; }
    void transferOutcome(int o) override { outcomes.append(o); }
    void userLoggedIn(const QString& name) override { logins.append(name); }
    void cncOutput(const QByteArray& text) override { cnc.append(text); }
    void transferDone(const QString&, const QString&, qint64, bool) override {}
};

class FakeData : public FtpDataChannel {
public:
    bool connected = false;
    bool listening = false;
    QString host;
    quint16 port = 0;
    QByteArray written;
    bool finished = false;
    int aborts = 0;
    qint64 backlog = 0;          // bytes "in the kernel"; the fake takes no more than room
    qint64 room = 65536;
    int receiving = 0;
    bool listenPassive(quint16* p) override { listening = true; *p = 5001; return true; }
    bool connectActive(const QString& h, quint16 p) override { host = h; port = p; listening = false; return true; }
    bool isConnected() const override { return connected; }
    qint64 send(const char* bytes, qint64 size) override
    {
        const qint64 n = std::min(size, room - backlog);
        if (n <= 0)
            return SendLater;
        written.append(bytes, n);
        backlog += n;
        return n;
    }
    qint64 sendFile(QFile& file, qint64 offset, qint64 size) override
    {
        const qint64 n = std::min(size, room - backlog);
        if (n <= 0)
            return SendLater;
        if (!file.seek(offset))
            return FileFailed;
        const QByteArray got = file.read(n);
        if (got.isEmpty())
            return FileFailed;
        return send(got.constData(), got.size());
    }
    void receive() override { ++receiving; }
    void finish() override { finished = true; }
    void abort() override { ++aborts; connected = listening = false; }
};

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir.filePath(QStringLiteral("home"));
        QDir().mkpath(home + QStringLiteral("/Sub/deeper"));
        QDir().mkpath(dir.filePath(QStringLiteral("outside")));
        QDir().mkpath(dir.filePath(QStringLiteral("homeX")));
        writeFile(dir.filePath(QStringLiteral("outside/secret.txt")), "secret");
        writeFile(dir.filePath(QStringLiteral("homeX/sibling.txt")), "sibling");
        writeFile(home + QStringLiteral("/O0001.CNC"), "G0 X1\r\n");
        writeFile(home + QStringLiteral("/Sub/prog.nc"), "M30\r\n");
        user.name = QStringLiteral("oper1");
        user.password = QStringLiteral("pw");
        user.homeDirectory = home;
        user.download = 1;
        user.upload = 1;
        user.deleteRight = 1;
        user.makeDirectory = 1;
        makeSession();
    }

    void makeSession()
    {
        FtpSessionSettings settings;
        settings.peerAddress = QStringLiteral("127.0.0.1");
        settings.localAddress = QStringLiteral("127.0.0.1");
        settings.idleSeconds = 300;
        settings.protectedFiles = protectedFiles;
        session = std::make_unique<CFtpCommandSocket>(host, data, clock, [this](const QString& name) -> std::optional<CUser> {
            if (accountExists && name.compare(user.name, Qt::CaseInsensitive) == 0)
                return user;
            return std::nullopt;
        }, settings);
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
    }

    QString send(const QString& line)
    {
        const qsizetype before = host.replies.size();
        session->onControlBytes(line.toUtf8() + "\r\n");
        return host.replies.size() > before ? host.replies.mid(before).join(QLatin1Char('|')) : QString();
    }

    void login()
    {
        send(QStringLiteral("USER oper1"));
        ASSERT_EQ(send(QStringLiteral("PASS pw")), QStringLiteral("230 User successfully logged in."));
    }

    QTemporaryDir dir;
    QString home;
    CUser user;
    bool accountExists = true;
    QStringList protectedFiles;
    FakeClock clock;
    FakeHost host;
    FakeData data;
    std::unique_ptr<CFtpCommandSocket> session;
};

}  // namespace

// ---- the control stream ----

// QUIT and BYE end the connection with 220 (not the standard's 221), logged in or not.
TEST_F(Session, QuitSaysByeWithTwoTwentyBeforeAndAfterLogin)
{
    for (const char* word : {"QUIT", "BYE"}) {
        for (const bool loggedIn : {false, true}) {
            host.closed = false;
            makeSession();
            if (loggedIn)
                login();
            EXPECT_EQ(send(QString::fromLatin1(word)), QStringLiteral("220 Bye")) << word << loggedIn;
            EXPECT_TRUE(host.closed) << word << loggedIn;
        }
    }
}

TEST_F(Session, LinesAreCutAtCrLfWhateverTheChunks)
{
    session->onControlBytes("USER oper1\r\nPASS pw\r\nNO");
    EXPECT_EQ(host.replies, QStringList({QStringLiteral("331 Password required for oper1"),
                                         QStringLiteral("230 User successfully logged in.")}));
    session->onControlBytes("OP\r\n\r\nsyst\r\n");
    EXPECT_EQ(host.replies.mid(2), QStringList({QStringLiteral("200 OK"), QStringLiteral("215 UNIX emulated by Tidewell FTP Server.")}));
}

TEST_F(Session, ControllerOutputIsHandedOverNotInterpreted)
{
    session->onControlBytes("CNCOUTDATA X5 Y3");
    ASSERT_EQ(host.cnc.size(), 1);
    EXPECT_EQ(host.cnc[0], QByteArray("X5 Y3"));
    EXPECT_TRUE(host.replies.isEmpty());
    EXPECT_EQ(send(QStringLiteral("cncoutdata X5")), QStringLiteral("530 Please login with USER and PASS."));
}

TEST_F(Session, OverlongLineIsRefusedAndNotBuffered)
{
    session->onControlBytes(QByteArray(5000, 'A'));
    EXPECT_EQ(host.replies.value(0), QStringLiteral("500 Command line too long."));
    session->onControlBytes(QByteArray(5000, 'A'));
    session->onControlBytes("AAAA\r\n");   // the rest of the monster line is dropped
    EXPECT_EQ(host.replies.size(), 1);
    EXPECT_EQ(send(QStringLiteral("NOOP")), QStringLiteral("530 Please login with USER and PASS."));
}

TEST_F(Session, LineBreaksAndNulInAnArgumentNeverReachAReply)
{
    // A bare LF ends the line; a lone CR and a NUL stay in it but never in a reply.
    session->onControlBytes(QByteArray("USER a\rb\0c\r\n", 13));
    ASSERT_EQ(host.replies.size(), 1);   // FakeHost checks the one CR LF
    EXPECT_EQ(host.replies[0], QStringLiteral("331 Password required for abc"));
}

TEST_F(Session, LinesEndWithABareLfToo)
{
    session->onControlBytes("USER oper1\nPASS pw\r\nNOOP\n\nSY");
    session->onControlBytes("ST\n");
    EXPECT_EQ(host.replies, QStringList({QStringLiteral("331 Password required for oper1"),
                                         QStringLiteral("230 User successfully logged in."), QStringLiteral("200 OK"),
                                         QStringLiteral("215 UNIX emulated by Tidewell FTP Server.")}));
}

// Lines around the limit, in the 2048-byte pieces the connection reads: a line runs only
// when it is short enough, an overlong one is refused once and nothing of it runs.
TEST_F(Session, OverlongLinesAreRefusedWholeInAnyPieces)
{
    login();
    struct Case { int length; bool runs; };
    for (const Case c : {Case{4096, true}, Case{4097, false}, Case{5000, false}, Case{6000, false}, Case{6144, false},
                         Case{6200, false}, Case{20000, false}}) {
        // "NOOP " and then an argument; the tail would read as a command if the line were cut.
        QByteArray line = "NOOP " + QByteArray(c.length - 5 - 5, 'x') + "QUIT ";
        line += "\r\nSYST\r\n";
        const qsizetype before = host.replies.size();
        for (qsizetype at = 0; at < line.size(); at += 2048)
            session->onControlBytes(line.mid(at, 2048));
        const QStringList got = host.replies.mid(before);
        const QString first = c.runs ? QStringLiteral("200 OK") : QStringLiteral("500 Command line too long.");
        EXPECT_EQ(got, QStringList({first, QStringLiteral("215 UNIX emulated by Tidewell FTP Server.")})) << c.length;
        EXPECT_FALSE(host.closed) << c.length;
    }
}

// Sending a reply can make the connection read again (its bytes-written report), so input
// arrives while a command is still in hand: it must wait for its turn, not overtake.
TEST_F(Session, InputArrivingDuringAReplyWaitsItsTurn)
{
    struct ReadingHost : FakeHost {
        CFtpCommandSocket* session = nullptr;
        QList<QByteArray> arriving;
        bool sendControl(const QByteArray& line) override
        {
            FakeHost::sendControl(line);
            if (session && !arriving.isEmpty())
                session->onControlBytes(arriving.takeFirst());
            return true;
        }
    };
    ReadingHost reading;
    FtpSessionSettings settings;
    settings.peerAddress = settings.localAddress = QStringLiteral("127.0.0.1");
    CFtpCommandSocket s(reading, data, clock, [this](const QString&) -> std::optional<CUser> { return user; }, settings);
    reading.session = &s;
    s.onControlBytes("USER oper1\r\nPASS pw\r\n");
    reading.replies.clear();
    reading.arriving = {"SYST\r\n", QByteArray(3000, 'x'), QByteArray(3000, 'x') + "\r\nNOOP\r\n"};
    s.onControlBytes("PWD\r\nCWD Sub\r\n");
    EXPECT_EQ(reading.replies, QStringList({QStringLiteral("257 \"/\" is current directory."),
                                            QStringLiteral("250 \"/Sub\" is current directory."),
                                            QStringLiteral("215 UNIX emulated by Tidewell FTP Server."),
                                            QStringLiteral("500 Command line too long."), QStringLiteral("200 OK")}));

    // The same from a held-back failed login whose answer comes from a timer.
    reading.replies.clear();
    s.onControlBytes("USER oper1\r\nPASS wrong\r\nPWD\r\n");
    reading.arriving = {"NOOP\r\n"};
    s.onTimer(CFtpCommandSocket::TimerLoginDelay);
    EXPECT_EQ(reading.replies, QStringList({QStringLiteral("331 Password required for oper1"),
                                            QStringLiteral("530 Not logged in, user or password incorrect!"),
                                            QStringLiteral("530 Please login with USER and PASS."),
                                            QStringLiteral("530 Please login with USER and PASS.")}));
}

TEST_F(Session, RefusalOfAnOverlongLineKeepsItsPlace)
{
    login();
    session->onControlBytes("NOOP\r\n" + QByteArray(5000, 'A') + "\r\nPWD\r\n");
    EXPECT_EQ(host.replies.mid(2), QStringList({QStringLiteral("200 OK"), QStringLiteral("500 Command line too long."),
                                                QStringLiteral("257 \"/\" is current directory.")}));
}

TEST_F(Session, TelnetInterruptBeforeAborIsUnderstood)
{
    login();
    // IAC IP, IAC DM inline (or with the DM sent out of band and lost), then ABOR.
    session->onControlBytes("\xff\xf4\xff\xf2" "ABOR\r\n");
    session->onControlBytes("\xff\xf4\xff" "ABOR\r\n");
    session->onControlBytes("\xff\xfb\x01NOOP\r\n");
    EXPECT_EQ(host.replies.mid(2), QStringList({QStringLiteral("226 ABOR command successful."),
                                                QStringLiteral("226 ABOR command successful."),
                                                QStringLiteral("200 OK")}));
}

TEST_F(Session, IdleConnectionIsClosedAfterTheTimeOut)
{
    login();
    clock.ms += 5 * 60000;
    session->onTick();
    EXPECT_FALSE(host.closed);
    clock.ms += 1001;
    session->onTick();
    EXPECT_TRUE(host.closed);
    EXPECT_EQ(host.replies.last(), QStringLiteral("421 Connection timed out."));
}

// ---- login ----

TEST_F(Session, LoginGateAndCommandWordCase)
{
    EXPECT_EQ(send(QStringLiteral("LIST")), QStringLiteral("530 Please login with USER and PASS."));
    EXPECT_EQ(send(QStringLiteral("PASS pw")), QStringLiteral("503 Login with USER first."));
    EXPECT_EQ(send(QStringLiteral("user OPER1")), QStringLiteral("331 Password required for OPER1"));
    EXPECT_EQ(send(QStringLiteral("LIST")), QStringLiteral("530 Please login with USER and PASS."));
    EXPECT_EQ(send(QStringLiteral("pass pw")), QStringLiteral("230 User successfully logged in."));
    EXPECT_EQ(host.logins, QStringList({QStringLiteral("OPER1")}));
    EXPECT_EQ(send(QStringLiteral("PWD")), QStringLiteral("257 \"/\" is current directory."));
    EXPECT_EQ(send(QStringLiteral("TYPE I")), QStringLiteral("200 Type set to I"));
    EXPECT_EQ(send(QStringLiteral("USER other")), QStringLiteral("331 Password required for other"));
    EXPECT_EQ(send(QStringLiteral("PWD")), QStringLiteral("530 Please login with USER and PASS."));
}

TEST_F(Session, EmptyPasswordAcceptsAnyButDisabledNever)
{
    user.password.clear();
    send(QStringLiteral("USER oper1"));
    EXPECT_EQ(send(QStringLiteral("PASS whatever")), QStringLiteral("230 User successfully logged in."));
    user.disabled = 1;
    EXPECT_EQ(send(QStringLiteral("PWD")), QStringLiteral("530 Please login with USER and PASS."));
    send(QStringLiteral("USER oper1"));
    session->onControlBytes("PASS \r\n");
    EXPECT_TRUE(host.timers.count(CFtpCommandSocket::TimerLoginDelay));
}

TEST_F(Session, FailedLoginsAreSlowedThenTheConnectionCloses)
{
    send(QStringLiteral("USER oper1"));
    EXPECT_EQ(send(QStringLiteral("PASS bad")), QString());   // held back
    EXPECT_EQ(send(QStringLiteral("NOOP")), QString());       // queued behind it
    const int firstDelay = host.timers.at(CFtpCommandSocket::TimerLoginDelay);
    session->onTimer(CFtpCommandSocket::TimerLoginDelay);
    EXPECT_EQ(host.replies.mid(1), QStringList({QStringLiteral("530 Not logged in, user or password incorrect!"),
                                                QStringLiteral("530 Please login with USER and PASS.")}));
    send(QStringLiteral("PASS bad2"));
    EXPECT_GT(host.timers.at(CFtpCommandSocket::TimerLoginDelay), firstDelay);
    session->onTimer(CFtpCommandSocket::TimerLoginDelay);
    send(QStringLiteral("PASS bad3"));
    EXPECT_TRUE(host.closed);
    EXPECT_EQ(host.replies.last(), QStringLiteral("421 Too many failed logins."));
}

TEST_F(Session, BuiltInAdministratorIsNoFtpLogin)
{
    user.name = QStringLiteral("VantorQ5");
    user.password = QStringLiteral("P4X9L2");
    send(QStringLiteral("USER vantorq5"));
    send(QStringLiteral("PASS P4X9L2"));
    session->onTimer(CFtpCommandSocket::TimerLoginDelay);
    EXPECT_EQ(host.replies.last(), QStringLiteral("530 Not logged in, user or password incorrect!"));
}

TEST_F(Session, DeletedAccountStopsAtItsNextCommand)
{
    login();
    accountExists = false;
    EXPECT_EQ(send(QStringLiteral("PWD")), QStringLiteral("530 Please login with USER and PASS."));
}

TEST_F(Session, ChangedRightsApplyAtOnce)
{
    login();
    user.deleteRight = 0;
    EXPECT_EQ(send(QStringLiteral("DELE O0001.CNC")), QStringLiteral("550 Permission denied."));
}

// ---- directories ----

TEST_F(Session, ChangeDirectoryStaysInsideTheHome)
{
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside")), home + QStringLiteral("/escape")));
    ASSERT_TRUE(QFile::link(home + QStringLiteral("/Sub"), home + QStringLiteral("/alias")));
    login();
    struct Case { QString argument; QString reply; };
    const Case cases[] = {
        {QStringLiteral("Sub"), QStringLiteral("250 \"/Sub\" is current directory.")},
        {QStringLiteral("/"), QStringLiteral("250 \"/\" is current directory.")},
        {QStringLiteral(".."), QStringLiteral("550 \"..\": Permission denied.")},
        {QStringLiteral("/.."), QStringLiteral("550 \"/..\": Permission denied.")},
        {QStringLiteral("../outside"), QStringLiteral("550 \"../outside\": Permission denied.")},
        {QStringLiteral("..\\outside"), QStringLiteral("550 \"..\\outside\": Permission denied.")},
        {QStringLiteral("//..//outside"), QStringLiteral("550 \"//..//outside\": Permission denied.")},
        {QStringLiteral("Sub/../../outside"), QStringLiteral("550 \"Sub/../../outside\": Permission denied.")},
        {QStringLiteral("../homeX"), QStringLiteral("550 \"../homeX\": Permission denied.")},
        {QStringLiteral("../home/Sub"), QStringLiteral("250 \"/Sub\" is current directory.")},
        {dir.filePath(QStringLiteral("outside")), QStringLiteral("550 \"") + dir.filePath(QStringLiteral("outside")) + QStringLiteral("\": Directory not found.")},
        {QStringLiteral("escape"), QStringLiteral("550 \"escape\": Permission denied.")},
        {QStringLiteral("alias"), QStringLiteral("250 \"/alias\" is current directory.")},
        {QStringLiteral("sub"), QStringLiteral("550 \"sub\": Directory not found.")},
        {QStringLiteral("./Sub/./deeper"), QStringLiteral("250 \"/Sub/deeper\" is current directory.")},
        {QStringLiteral(".../Sub..."), QStringLiteral("250 \"/Sub\" is current directory.")},
        {QStringLiteral("O0001.CNC"), QStringLiteral("550 \"O0001.CNC\": Directory not found.")},
        {QStringLiteral("nothere"), QStringLiteral("550 \"nothere\": Directory not found.")},
    };
    for (const Case& c : cases) {
        send(QStringLiteral("CWD /"));
        EXPECT_EQ(send(QStringLiteral("CWD ") + c.argument), c.reply) << c.argument.toStdString();
    }
    send(QStringLiteral("CWD Sub/deeper"));
    EXPECT_EQ(send(QStringLiteral("CDUP")), QStringLiteral("250 \"/Sub\" is current directory."));
    EXPECT_EQ(send(QStringLiteral("CWD")), QStringLiteral("250 \"/\" is current directory."));
}

TEST_F(Session, EscapingFileNamesAreNotFoundOrRefused)
{
    protectedFiles = {home + QStringLiteral("/users.dat")};
    writeFile(home + QStringLiteral("/users.dat"), "accounts");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside/secret.txt")), home + QStringLiteral("/link.txt")));
    makeSession();
    login();
    const QString secret = dir.filePath(QStringLiteral("outside/secret.txt"));
    const QStringList names = {QStringLiteral("../outside/secret.txt"), QStringLiteral("..\\outside\\secret.txt"),
                               QStringLiteral("/../outside/secret.txt"), QStringLiteral("Sub/../../outside/secret.txt"),
                               secret, QStringLiteral("link.txt"), QStringLiteral("users.dat"),
                               QStringLiteral("/users.dat"), QStringLiteral("USERS.DAT"), QStringLiteral(".."),
                               QStringLiteral("o0001.cnc")};
    for (const QString& name : names) {
        // On a case-sensitive disk USERS.DAT and o0001.cnc are new names an upload may create.
        const bool newName = name == QStringLiteral("USERS.DAT") || name == QStringLiteral("o0001.cnc");
        for (const QString& verb : {QStringLiteral("RETR"), QStringLiteral("SIZE"), QStringLiteral("DELE"), QStringLiteral("STOR")}) {
            if (newName && verb == QStringLiteral("STOR"))
                continue;
            const QString answer = send(verb + QLatin1Char(' ') + name);
            EXPECT_TRUE(answer.startsWith(QStringLiteral("550 ")) || answer.startsWith(QStringLiteral("501 ")))
                << verb.toStdString() << ' ' << name.toStdString() << " -> " << answer.toStdString();
        }
    }
    EXPECT_TRUE(QFile::exists(secret));
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/users.dat")));
    EXPECT_EQ(send(QStringLiteral("SIZE /Sub/../O0001.CNC")), QStringLiteral("213 7"));
    EXPECT_EQ(send(QStringLiteral("SIZE \\Sub\\prog.nc")), QStringLiteral("213 5"));
}

TEST_F(Session, RightsDecideEachCommand)
{
    struct Case { const char* what; int download, upload, del, mkd; QString line; QString reply; };
    const Case cases[] = {
        {"RETR without download", 0, 1, 1, 1, QStringLiteral("RETR O0001.CNC"), QStringLiteral("550 Permission denied.")},
        {"SIZE with download", 1, 0, 0, 0, QStringLiteral("SIZE O0001.CNC"), QStringLiteral("213 7")},
        {"STOR without upload", 1, 0, 1, 1, QStringLiteral("STOR new.nc"), QStringLiteral("550 Permission denied.")},
        {"STOU without upload", 1, 0, 1, 1, QStringLiteral("STOU new.nc"), QStringLiteral("550 Permission denied.")},
        {"STOU on an existing name", 1, 1, 0, 0, QStringLiteral("STOU O0001.CNC"), QStringLiteral("501 Filename invalid.")},
        {"DELE without delete", 1, 1, 0, 1, QStringLiteral("DELE O0001.CNC"), QStringLiteral("550 Permission denied.")},
        {"DELE missing", 1, 1, 1, 1, QStringLiteral("DELE none.nc"), QStringLiteral("550 File not found.")},
        {"DELE", 1, 1, 1, 1, QStringLiteral("DELE /Sub/prog.nc"), QStringLiteral("250 File \"/Sub/prog.nc\" was deleted successfully.")},
        {"MKD without right", 1, 1, 1, 0, QStringLiteral("MKD newdir"), QStringLiteral("550 Can't create directory. Permission denied.")},
        {"MKD existing", 1, 1, 1, 1, QStringLiteral("MKD Sub"), QStringLiteral("550 Directory already exists.")},
        {"MKD nested", 1, 1, 1, 1, QStringLiteral("MKD a/b/c"), QStringLiteral("250 Directory created successfully.")},
        {"MKD outside", 1, 1, 1, 1, QStringLiteral("MKD ../made"), QStringLiteral("550 Can't create directory. Permission denied.")},
        {"RMD without delete", 1, 1, 0, 1, QStringLiteral("RMD Sub/deeper"), QStringLiteral("550 Permission denied.")},
        {"RMD not empty", 1, 1, 1, 1, QStringLiteral("RMD Sub"), QStringLiteral("550 Directory not empty.")},
        {"RMD", 1, 1, 1, 1, QStringLiteral("RMD Sub/deeper"), QStringLiteral("250 Directory deleted successfully.")},
        {"RMD missing", 1, 1, 1, 1, QStringLiteral("RMD nothere"), QStringLiteral("550 Directory not found.")},
        {"RMD of the home", 1, 1, 1, 1, QStringLiteral("RMD /"), QStringLiteral("550 Directory not found.")},
        {"CWD needs some right", 0, 0, 0, 1, QStringLiteral("CWD Sub"), QStringLiteral("550 \"Sub\": Permission denied.")},
    };
    for (const Case& c : cases) {
        user.download = c.download;
        user.upload = c.upload;
        user.deleteRight = c.del;
        user.makeDirectory = c.mkd;
        makeSession();
        login();
        EXPECT_EQ(send(c.line), c.reply) << c.what;
    }
    EXPECT_TRUE(QFileInfo(home + QStringLiteral("/a/b/c")).isDir());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("made"))));
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/Sub/deeper")));
}

// ---- data connections ----

TEST_F(Session, PortOnlyBackToTheClient)
{
    login();
    struct Case { QString argument; QString reply; };
    const Case cases[] = {
        {QStringLiteral("127,0,0,1,4,1"), QStringLiteral("200 Port command successful.")},
        {QStringLiteral("192,168,1,10,4,1"), QStringLiteral("501 Illegal PORT command.")},
        {QStringLiteral("127,0,0,1,0,0"), QStringLiteral("501 Illegal PORT command.")},
        // Never to the client host's own services.
        {QStringLiteral("127,0,0,1,0,21"), QStringLiteral("501 Illegal PORT command.")},
        {QStringLiteral("127,0,0,1,3,255"), QStringLiteral("501 Illegal PORT command.")},
        {QStringLiteral("127,0,0,1,4,0"), QStringLiteral("200 Port command successful.")},
        {QStringLiteral("127,0,0,1,256,1"), QStringLiteral("501 Illegal PORT command.")},
        {QStringLiteral("127,0,0,1"), QStringLiteral("501 Illegal PORT command.")},
        {QStringLiteral("127,0,0,x,4,1"), QStringLiteral("501 Illegal PORT command.")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(send(QStringLiteral("PORT ") + c.argument), c.reply) << c.argument.toStdString();
    send(QStringLiteral("PORT 127,0,0,1,4,1"));
    send(QStringLiteral("RETR O0001.CNC"));
    EXPECT_EQ(data.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(data.port, 1025);
}

TEST_F(Session, RetrieveSendsBlocksAndCompletesOnlyWhenFlushed)
{
    QByteArray content;
    for (int i = 0; i < 5000; ++i)
        content.append(char(i * 7));
    writeFile(home + QStringLiteral("/big.bin"), content);
    login();
    EXPECT_EQ(send(QStringLiteral("PASV")), QStringLiteral("227 Entering Passive Mode (127,0,0,1,19,137)."));
    EXPECT_EQ(send(QStringLiteral("RETR big.bin")), QStringLiteral("150 Opening BINARY mode data connection for file transfer."));
    EXPECT_EQ(session->transferState(), 0);
    data.connected = true;
    session->onDataConnected();
    EXPECT_EQ(data.written, content);
    EXPECT_TRUE(data.finished);
    EXPECT_EQ(host.replies.size(), 4);   // no 226 before every byte left
    EXPECT_EQ(send(QStringLiteral("NOOP")), QStringLiteral("200 OK"));   // commands run during a transfer
    session->onDataFinished();
    EXPECT_EQ(host.replies.last(), QStringLiteral("226 Transfer complete"));
    EXPECT_EQ(host.outcomes, QList<int>({OutcomeDownloaded}));
    EXPECT_EQ(session->transferState(), 0);
    EXPECT_EQ(send(QStringLiteral("RETR big.bin")).split(QLatin1Char('|')).last(), QStringLiteral("425 Can't open data connection."));
}

TEST_F(Session, ShrinkingFileEndsWithAnErrorNotAComplete)
{
    writeFile(home + QStringLiteral("/shrink.bin"), QByteArray(200000, 'x'));
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    data.backlog = 0;
    send(QStringLiteral("RETR shrink.bin"));
    QFile::resize(home + QStringLiteral("/shrink.bin"), 1000);
    data.backlog = 0;
    session->onDataWritten();
    EXPECT_EQ(host.replies.last(), QStringLiteral("426 Connection closed; transfer aborted."));
    EXPECT_EQ(host.outcomes, QList<int>({OutcomeDownloadFailed}));
}

TEST_F(Session, StoreReplacesTheTargetOnlyWhenComplete)
{
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("STOR O0001.CNC"));
    session->onDataBytes("new ");
    session->onDataBytes("content");
    QFile old(home + QStringLiteral("/O0001.CNC"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("G0 X1\r\n"));   // readers still get the whole old file
    session->onDataPeerClosed();
    EXPECT_EQ(host.replies.last(), QStringLiteral("226 Transfer complete"));
    QFile now(home + QStringLiteral("/O0001.CNC"));
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), QByteArray("new content"));
    EXPECT_TRUE(QFileInfo(now).permissions() & QFileDevice::ReadOther) << "upload kept the temporary file's privacy";
    EXPECT_EQ(host.outcomes, QList<int>({OutcomeUploaded}));

    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("STOR half.nc"));
    session->onDataBytes("partial");
    EXPECT_EQ(send(QStringLiteral("ABOR")), QStringLiteral("426 Data connection closed.|226 ABOR command successful."));
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/half.nc")));
    EXPECT_EQ(QDir(home).entryList(QDir::Files | QDir::Hidden).size(), 1) << "temporary upload left behind";
    EXPECT_EQ(send(QStringLiteral("ABOR")), QStringLiteral("226 ABOR command successful."));
}

TEST_F(Session, DataConnectionThatNeverComesTimesOut)
{
    login();
    send(QStringLiteral("PASV"));
    send(QStringLiteral("RETR O0001.CNC"));
    EXPECT_EQ(host.timers.at(CFtpCommandSocket::TimerDataWait), 10000);
    session->onTimer(CFtpCommandSocket::TimerDataWait);
    EXPECT_EQ(host.replies.last(), QStringLiteral("421 Failed to create data connection socket."));
    EXPECT_EQ(session->transferState(), 0);
    EXPECT_TRUE(host.outcomes.isEmpty());
}

TEST_F(Session, ClientClosingEarlyAbortsOnlyARunningTransfer)
{
    writeFile(home + QStringLiteral("/big.bin"), QByteArray(300000, 'y'));
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("RETR big.bin"));
    session->onDataPeerClosed();
    EXPECT_EQ(host.replies.last(), QStringLiteral("426 Connection closed; transfer aborted."));
    const qsizetype count = host.replies.size();
    session->onDataPeerClosed();
    EXPECT_EQ(host.replies.size(), count);
}

TEST_F(Session, ListingLinesAreByteExact)
{
    const QDateTime now(QDate(2026, 6, 15), QTime(12, 0));
    struct Case { bool dir; qint64 size; QDateTime when; QByteArray line; };
    const Case cases[] = {
        {false, 1234, QDateTime(QDate(2026, 3, 7), QTime(9, 5)),
         "-rwx------ 1 user group           1234 Mar 07 09:05 O0001.CNC\r\n"},
        {true, 4096, QDateTime(QDate(2013, 11, 30), QTime(8, 0)),
         "drwx------ 1 user group              0 Nov 30 2013 O0001.CNC\r\n"},
        {false, 5, now.addDays(-356), "-rwx------ 1 user group              5 Jun 24 12:00 O0001.CNC\r\n"},
        {false, 5, now.addDays(-357), "-rwx------ 1 user group              5 Jun 23 2025 O0001.CNC\r\n"},
        {false, 5, now.addDays(30), "-rwx------ 1 user group              5 Jul 15 12:00 O0001.CNC\r\n"},
        {false, 6000000000LL, now, "-rwx------ 1 user group     6000000000 Jun 15 12:00 O0001.CNC\r\n"},
        {false, 123456789012345LL, now, "-rwx------ 1 user group 123456789012345 Jun 15 12:00 O0001.CNC\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFtpCommandSocket::listingLine(c.dir, c.size, c.when, now, QStringLiteral("O0001.CNC")), c.line);
}

// The lines of a real directory are the lines listingLine gives for its entries' times.
TEST_F(Session, ListingOfADirectoryMatchesTheLineFormat)
{
    QDir().mkpath(home + QStringLiteral("/times/olddir"));
    struct Entry { const char* name; QDateTime when; qint64 size; };
    const Entry entries[] = {{"recent.nc", clock.wall.addDays(-3).addSecs(3725), 1234},
                             {"year.nc", clock.wall.addDays(-356), 5},
                             {"older.nc", clock.wall.addDays(-357).addSecs(-60), 70000},
                             {"future.nc", clock.wall.addDays(40), 0}};
    for (const Entry& e : entries) {
        const QString path = home + QStringLiteral("/times/") + QString::fromLatin1(e.name);
        writeFile(path, QByteArray(e.size, 'x'));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(e.when, QFileDevice::FileModificationTime));
    }
    const QDateTime dirTime(QDate(2013, 11, 30), QTime(8, 0));
    const timespec times[2] = {{dirTime.toSecsSinceEpoch(), 0}, {dirTime.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(home + QStringLiteral("/times/olddir")).constData(), times, 0), 0);
    QByteArray expected = CFtpCommandSocket::listingLine(false, 0, entries[3].when, clock.wall, QStringLiteral("future.nc"))
                          + CFtpCommandSocket::listingLine(true, 0, dirTime, clock.wall, QStringLiteral("olddir"))
                          + CFtpCommandSocket::listingLine(false, 70000, entries[2].when, clock.wall, QStringLiteral("older.nc"))
                          + CFtpCommandSocket::listingLine(false, 1234, entries[0].when, clock.wall, QStringLiteral("recent.nc"))
                          + CFtpCommandSocket::listingLine(false, 5, entries[1].when, clock.wall, QStringLiteral("year.nc"));
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("LIST times"));
    EXPECT_EQ(QString::fromLatin1(data.written).toStdString(), QString::fromLatin1(expected).toStdString());
}

TEST_F(Session, ListRepliesAndEmptyDirectory)
{
    QDir().mkpath(home + QStringLiteral("/empty"));
    login();
    EXPECT_EQ(send(QStringLiteral("LIST -la")), QStringLiteral("550 \"-la\": Directory not found."));
    send(QStringLiteral("PASV"));
    data.connected = true;
    EXPECT_EQ(send(QStringLiteral("LIST empty")),
              QStringLiteral("150 Opening ASCII mode data connection for directory list.|226 Transfer complete."));
    EXPECT_TRUE(data.written.isEmpty());
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("LIST *"));
    EXPECT_TRUE(data.written.contains(" O0001.CNC\r\n"));
    EXPECT_TRUE(data.written.startsWith("-rwx------ 1 user group              7 "));
    EXPECT_TRUE(data.written.contains("drwx------ 1 user group              0 "));
    EXPECT_TRUE(data.written.contains(" Sub\r\n"));
    session->onDataFinished();
    EXPECT_EQ(host.replies.last(), QStringLiteral("226 Transfer complete"));
}

TEST_F(Session, UniqueStoreOfANewNameIsAnUpload)
{
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    EXPECT_EQ(send(QStringLiteral("STOU /Sub/fresh.nc")), QStringLiteral("150 Opening BINARY mode data connection for file transfer."));
    session->onDataBytes("O1234");
    session->onDataPeerClosed();
    EXPECT_EQ(host.replies.last(), QStringLiteral("226 Transfer complete"));
    QFile f(home + QStringLiteral("/Sub/fresh.nc"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("O1234"));
}

TEST_F(Session, ListOfAFileNamesThatFileAlone)
{
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("LIST Sub/prog.nc"));
    EXPECT_TRUE(data.written.startsWith("-rwx------ 1 user group              5 "));
    EXPECT_TRUE(data.written.endsWith(" prog.nc\r\n"));
    EXPECT_EQ(data.written.count("\r\n"), 1);
}

TEST_F(Session, SecondTransferWhileOneRunsIsRefused)
{
    writeFile(home + QStringLiteral("/big.bin"), QByteArray(300000, 'z'));
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("RETR big.bin"));
    EXPECT_EQ(send(QStringLiteral("RETR O0001.CNC")), QStringLiteral("425 A transfer is already running."));
    EXPECT_EQ(send(QStringLiteral("PASV")), QStringLiteral("425 A transfer is already running."));
    EXPECT_EQ(session->transferState(), StateRetrieving);
}

TEST_F(Session, PasswordAgainDuringATransferEndsItBeforeTheNextStarts)
{
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("LIST"));
    ASSERT_TRUE(data.finished);   // the listing is out, the connection is closing
    const QByteArray firstListing = data.written;
    EXPECT_EQ(send(QStringLiteral("PASS pw")), QStringLiteral("230 User successfully logged in."));
    EXPECT_EQ(data.aborts, 1);
    EXPECT_EQ(session->transferState(), StateIdle);
    // The next listing needs a data connection of its own, never the closing one.
    EXPECT_EQ(send(QStringLiteral("LIST")), QString::fromLatin1(reply::kListOpening) + QStringLiteral("|425 Can't open data connection."));
    EXPECT_EQ(data.written, firstListing);
}

TEST_F(Session, OversizedControllerOutputIsDropped)
{
    session->onControlBytes(QByteArray("CNCOUTDATA ") + QByteArray(3000, 'X'));
    EXPECT_TRUE(host.cnc.isEmpty());
    EXPECT_TRUE(host.replies.isEmpty());
}

// ---- hostile and broken clients ----

TEST_F(Session, LoginDeadlineHoldsHoweverBytesDribble)
{
    // One byte every two seconds is activity, but never a login.
    for (int second = 0; second < 28; second += 2) {
        session->onControlBytes("N");
        clock.ms += 2000;
        session->onTick();
    }
    EXPECT_FALSE(host.closed);
    clock.ms += 2000;
    session->onTick();
    EXPECT_TRUE(host.closed);
    EXPECT_EQ(host.replies.last(), QStringLiteral("421 Login time-out."));

    // Logged in, the deadline is over; a USER that logs out starts it again.
    makeSession();
    host.closed = false;
    login();
    clock.ms += 60000;
    session->onTick();
    EXPECT_FALSE(host.closed);
    send(QStringLiteral("USER oper1"));
    clock.ms += 30000;
    session->onTick();
    EXPECT_TRUE(host.closed);
}

TEST_F(Session, CommandsPiledUpBehindAHeldLoginCloseTheConnection)
{
    send(QStringLiteral("USER oper1"));
    send(QStringLiteral("PASS bad"));
    EXPECT_FALSE(session->acceptsInput());
    QByteArray pile;
    for (int i = 0; i < 100; ++i)
        pile += "NOOP\r\n";
    session->onControlBytes(pile);
    EXPECT_TRUE(host.closed);
    EXPECT_EQ(host.replies.last(), QStringLiteral("421 Too many commands."));
}

TEST_F(Session, PortAfterPasvUsesTheClientsPort)
{
    login();
    send(QStringLiteral("PASV"));
    EXPECT_TRUE(data.listening);
    EXPECT_EQ(send(QStringLiteral("RETR missing.nc")), QStringLiteral("550 File not found."));
    EXPECT_EQ(send(QStringLiteral("PORT 127,0,0,1,4,1")), QStringLiteral("200 Port command successful."));
    EXPECT_FALSE(data.listening) << "the passive socket was left waiting";
    send(QStringLiteral("RETR O0001.CNC"));
    EXPECT_EQ(data.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(data.port, 1025);
}

TEST_F(Session, BrokenUploadLeavesNoFileAndTheOldOneWhole)
{
    struct Case { const char* what; QString name; std::function<void()> breakOff; };
    const Case cases[] = {
        {"data connection reset", QStringLiteral("O0001.CNC"), [&] { session->onDataError(); }},
        {"reset of a new file", QStringLiteral("new.nc"), [&] { session->onDataError(); }},
        {"control gone before the end", QStringLiteral("O0001.CNC"), [&] { host.alive = false; session->onDataPeerClosed(); }},
        {"control closed during the upload", QStringLiteral("new.nc"), [&] { session->onControlClosed(); }},
    };
    for (const Case& c : cases) {
        makeSession();
        host.outcomes.clear();
        host.alive = true;
        login();
        send(QStringLiteral("PASV"));
        data.connected = true;
        send(QStringLiteral("STOR ") + c.name);
        EXPECT_GE(data.receiving, 1);
        session->onDataBytes("G01 X1");   // "G01 X150." broke off
        const qsizetype before = host.replies.size();
        c.breakOff();
        if (host.alive && host.replies.size() > before) {
            EXPECT_EQ(host.replies.last(), QStringLiteral("426 Connection closed; transfer aborted.")) << c.what;
        }
        EXPECT_NE(host.replies.last(), QStringLiteral("226 Transfer complete")) << c.what;
        EXPECT_EQ(host.outcomes, QList<int>({OutcomeUploadFailed})) << c.what;
        QFile old(home + QStringLiteral("/O0001.CNC"));
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("G0 X1\r\n")) << c.what;
        EXPECT_FALSE(QFile::exists(home + QStringLiteral("/new.nc"))) << c.what;
        EXPECT_EQ(QDir(home).entryList(QDir::Files | QDir::Hidden).size(), 1) << c.what << ": temporary file left";
    }
}

TEST_F(Session, ListingOfADanglingLinkIsWellFormed)
{
    ASSERT_TRUE(QFile::link(home + QStringLiteral("/gone.nc"), home + QStringLiteral("/dangling.nc")));
    // Whatever the time, a line of the same shape.
    const QDateTime now(QDate(2026, 6, 15), QTime(12, 0));
    EXPECT_EQ(CFtpCommandSocket::listingLine(false, 0, QDateTime(), now, QStringLiteral("x")),
              QByteArray("-rwx------ 1 user group              0 Jan 01 1970 x\r\n"));
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("LIST"));
    const QRegularExpression shape(QStringLiteral(
        "^[-d]rwx------ 1 user group +\\d+ (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d\\d (\\d\\d:\\d\\d|\\d{4}) [^\\r\\n]+$"));
    const QStringList lines = QString::fromLatin1(data.written).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
}

TEST_F(Session, StandardClientCommands)
{
    writeFile(home + QStringLiteral("/dated.nc"), "x");
    QFile dated(home + QStringLiteral("/dated.nc"));
    ASSERT_TRUE(dated.open(QIODevice::ReadWrite));
    ASSERT_TRUE(dated.setFileTime(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 30), Qt::UTC), QFileDevice::FileModificationTime));
    dated.close();
    // Clients ask for the features before they log in.
    EXPECT_EQ(send(QStringLiteral("FEAT")), QStringLiteral("211-Features:| EPSV| MDTM| SIZE|211 End"));
    login();
    struct Case { QString line; QString reply; };
    const Case cases[] = {
        {QStringLiteral("MDTM dated.nc"), QStringLiteral("213 20260307090530")},
        {QStringLiteral("MDTM none.nc"), QStringLiteral("550 File not found.")},
        {QStringLiteral("MDTM Sub"), QStringLiteral("550 File not found.")},
        {QStringLiteral("TYPE A"), QStringLiteral("200 Type set to A")},
        {QStringLiteral("TYPE i"), QStringLiteral("200 Type set to i")},
        {QStringLiteral("TYPE L 8"), QStringLiteral("200 Type set to L 8")},
        {QStringLiteral("TYPE E"), QStringLiteral("504 Command not implemented for that parameter.")},
        {QStringLiteral("MODE S"), QStringLiteral("200 Mode set to S.")},
        {QStringLiteral("MODE B"), QStringLiteral("504 Command not implemented for that parameter.")},
        {QStringLiteral("STRU F"), QStringLiteral("200 Structure set to F.")},
        {QStringLiteral("EPSV"), QStringLiteral("229 Entering Extended Passive Mode (|||5001|)")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(send(c.line), c.reply) << c.line.toStdString();
    data.connected = true;
    EXPECT_EQ(send(QStringLiteral("NLST")), QStringLiteral("150 Opening ASCII mode data connection for file list."));
    EXPECT_EQ(data.written, QByteArray("O0001.CNC\r\nSub\r\ndated.nc\r\n"));
}

// ---- what PC clients and slow readers need ----

TEST_F(Session, SiteChmodIsAnsweredAndIgnored)
{
    login();
    const auto before = QFileInfo(home + QStringLiteral("/O0001.CNC")).permissions();
    EXPECT_EQ(send(QStringLiteral("SITE CHMOD 755 O0001.CNC")).left(4), QStringLiteral("200 "));
    EXPECT_EQ(send(QStringLiteral("site chmod 600 O0001.CNC")).left(4), QStringLiteral("200 "));
    EXPECT_EQ(QFileInfo(home + QStringLiteral("/O0001.CNC")).permissions(), before);
    EXPECT_EQ(send(QStringLiteral("SITE EXEC rm -rf /")), QStringLiteral("502 Command not implemented."));
}

TEST_F(Session, ADownloadStillReadFromTheKernelIsNotIdle)
{
    struct DrainingData : FakeData {
        bool draining = true;
        bool drainedSinceAsked() override { return draining; }
    };
    // The session under test talks to this channel instead of the fixture's.
    DrainingData slow;
    FtpSessionSettings settings;
    settings.peerAddress = settings.localAddress = QStringLiteral("127.0.0.1");
    settings.idleSeconds = 60;
    CFtpCommandSocket reader(host, slow, clock, [this](const QString&) -> std::optional<CUser> { return user; }, settings);
    reader.onControlBytes("USER oper1\r\nPASS pw\r\n");
    for (int second = 0; second < 600; ++second) {
        clock.ms += 1000;
        reader.onTick();
    }
    EXPECT_FALSE(reader.closed()) << "closed while the client was still taking the download";
    slow.draining = false;   // the client stopped reading
    clock.ms += 61000;
    reader.onTick();
    EXPECT_TRUE(reader.closed());
}

// Names are created only if they can be listed and fetched back under the same spelling,
// and only such names are listed.
TEST_F(Session, OnlyNamesThatCanBeFetchedAreCreatedOrListed)
{
    login();
    for (const char* bad : {"a\x1b[2Jb.nc", "tab\there.nc", "bell\x07.nc", "del\x7f.nc"}) {
        const QString name = QString::fromLatin1(bad);
        send(QStringLiteral("PASV"));
        data.connected = true;
        EXPECT_EQ(send(QStringLiteral("STOR ") + name), QStringLiteral("550 Filename invalid.")) << bad;
        EXPECT_EQ(send(QStringLiteral("STOU ") + name), QStringLiteral("501 Filename invalid.")) << bad;
        EXPECT_EQ(send(QStringLiteral("MKD ") + name), QStringLiteral("550 Filename invalid.")) << bad;
        EXPECT_FALSE(QFile::exists(home + QLatin1Char('/') + name)) << bad;
        send(QStringLiteral("ABOR"));
    }
    // Made on the PC side: only the first one can be asked for as listed.
    const QStringList onDisk = {QStringLiteral("O0002.NC"), QStringLiteral("esc\x1b.nc"), QStringLiteral("line\nbreak.nc"),
                                QStringLiteral("cr\r.nc"), QString::fromUtf8("\xe2\x98\x83snow.nc"), QStringLiteral("back\\slash.nc"),
                                QStringLiteral("trailing.")};
    for (const QString& name : onDisk)
        writeFile(home + QLatin1Char('/') + name, "x");
    writeFile(home + QString::fromUtf8("/\xe4\xb8\xad\xe6\x96\x87.nc"), "x");   // Chinese: GBK holds it
    send(QStringLiteral("PASV"));
    data.connected = true;
    send(QStringLiteral("NLST"));
    EXPECT_EQ(data.written, QByteArray("O0001.CNC\r\nO0002.NC\r\nSub\r\n") + toGbk(QString::fromUtf8("\xe4\xb8\xad\xe6\x96\x87.nc"))
                                + "\r\n");
    session->onDataFinished();
    // What is listed is what RETR finds.
    for (const QByteArray& listed : data.written.split('\n')) {
        if (listed.trimmed().isEmpty() || listed.trimmed() == "Sub")
            continue;
        send(QStringLiteral("PASV"));
        data.connected = true;
        data.written.clear();
        const qsizetype before = host.replies.size();
        session->onControlBytes("RETR " + listed.trimmed() + "\r\n");
        EXPECT_EQ(host.replies.value(before), QStringLiteral("150 Opening BINARY mode data connection for file transfer."))
            << fromGbk(listed).toStdString();
        session->onDataFinished();
    }
}

TEST_F(Session, BigListingArrivesWholeAndInOrderAPieceAtATime)
{
    QDir().mkpath(home + QStringLiteral("/many"));
    QStringList names;
    for (int i = 0; i < 3000; ++i)
        names << QStringLiteral("P%1.NC").arg((i * 7919) % 3000, 5, 10, QLatin1Char('0'));
    for (const QString& name : names)
        writeFile(home + QStringLiteral("/many/") + name, "G0");
    names.sort();
    login();
    send(QStringLiteral("PASV"));
    data.connected = true;
    data.room = 10000;
    send(QStringLiteral("NLST many"));
    // The kernel takes a little at a time; nothing is lost or repeated between pieces.
    for (int round = 0; round < 1000 && !data.finished; ++round) {
        data.backlog = 0;
        session->onDataWritten();
    }
    ASSERT_TRUE(data.finished);
    EXPECT_EQ(data.written, (names.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    session->onDataFinished();
    EXPECT_EQ(host.replies.last(), QStringLiteral("226 Transfer complete"));
}
