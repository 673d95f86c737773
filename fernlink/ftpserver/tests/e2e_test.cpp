// SPDX-License-Identifier: GPL-3.0-or-later
// The server as the controller meets it: fernlink-cli ftpd on 127.0.0.1 with real clients
// (ftplib, curl, lftp), and the server object in-process for stop and kick.
#include "common/testing/ptypair.h"
#include "fernlink/ftpserver/ftpserver.h"
#include "fernlink/ftpserver/servermodels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

using namespace vantor::ftp;

namespace {

// ctest passes the folders in the environment; a binary started by hand uses the ones it was built with.
QString buildDir() { return qEnvironmentVariable("VANTOR_BUILD_DIR", QStringLiteral(FTP_TEST_BUILD_DIR)); }
QString sourceDir() { return qEnvironmentVariable("VANTOR_SOURCE_DIR", QStringLiteral(FTP_TEST_SOURCE_DIR)); }
QString cli() { return buildDir() + QStringLiteral("/bin/fernlink-cli"); }
// The system interpreter starts in a tenth of the time a version-manager shim takes.
QString python()
{
    const QString system = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    return system.isEmpty() ? QStringLiteral("python3") : system;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

// The waits sleep while nothing happens: a test that spins holds a core the server and its
// clients need, and on two loaded cores that alone moves the timings under test.
template <typename Pred>
bool waitFor(Pred pred, int ms)
{
    return vantor::testing::waitUntil(pred, ms);
}

class Ftpd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(buildDir().isEmpty()) << "VANTOR_BUILD_DIR not set";
        ASSERT_TRUE(QFile::exists(cli())) << cli().toStdString();
        home = root.filePath(QStringLiteral("home"));
        QDir().mkpath(home + QStringLiteral("/Sub"));
        QDir().mkpath(root.filePath(QStringLiteral("outside")));
        writeFile(root.filePath(QStringLiteral("outside/secret.txt")), "secret");
        writeFile(home + QStringLiteral("/O0001.CNC"), "G0 X1\r\n");
        writeFile(home + QStringLiteral("/Sub/prog.nc"), "M30\r\n");
        // The account file sits inside a home on purpose: it must still never be served.
        users = home + QStringLiteral("/users.dat");
        // Accounts go straight into the store here; the users verb has its own test below.
        auto account = [&](const char* name, const char* password, int download, int upload, int del, int mkd, int off) {
            CUser u;
            u.name = QString::fromLatin1(name);
            u.password = QString::fromLatin1(password);
            u.homeDirectory = home;
            u.download = download;
            u.upload = upload;
            u.deleteRight = del;
            u.makeDirectory = mkd;
            u.disabled = off;
            return u;
        };
        CUserStore store(users);
        ASSERT_TRUE(store.replaceAll({account("oper1", "pw", 1, 1, 1, 0, 0), account("maker1", "pw", 1, 1, 1, 1, 0),
                                      account("reader1", "pw", 1, 0, 0, 0, 0), account("offuser1", "pw", 1, 0, 0, 0, 1),
                                      account("openacct", "", 1, 0, 0, 0, 0)}));
    }

    void TearDown() override
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(5000);
        }
    }

    // Runs "fernlink-cli users --users FILE ARGS"; returns the exit status, output in *text.
    int usersVerb(const QStringList& args, QString* text)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(cli(), QStringList{QStringLiteral("users"), QStringLiteral("--users"), users} + args);
        EXPECT_TRUE(p.waitForFinished(10000));
        *text = QString::fromUtf8(p.readAll());
        return p.exitCode();
    }

    void startServer(QStringList extra = {})
    {
        server.setProcessChannelMode(QProcess::SeparateChannels);
        if (openFileLimit > 0) {
            // As a desktop session starts programs: soft and hard limit the same, so the
            // server cannot raise it.
            const rlim_t limit = rlim_t(openFileLimit);
            server.setChildProcessModifier([limit] {
                const rlimit r{limit, limit};
                ::setrlimit(RLIMIT_NOFILE, &r);
            });
        }
        server.start(cli(), QStringList{QStringLiteral("ftpd"), QStringLiteral("--port"), QStringLiteral("0"),
                                        QStringLiteral("--users"), users} + extra);
        ASSERT_TRUE(server.waitForStarted(5000));
        static const QRegularExpression listening(QStringLiteral("Vantor FTP Server +(\\d+)\\."));
        ASSERT_TRUE(waitFor([&] {
            output += QString::fromUtf8(server.readAllStandardOutput());
            const auto m = listening.match(output);
            if (m.hasMatch())
                port = m.captured(1).toInt();
            return port != 0 || server.state() == QProcess::NotRunning;
        }, 10000));
        ASSERT_NE(port, 0) << server.readAllStandardError().toStdString();
    }

    // Stops the server as an operator would and returns everything it printed.
    QString stopServer()
    {
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(10000));
        EXPECT_EQ(server.exitCode(), 0);
        output += QString::fromUtf8(server.readAllStandardOutput());
        return output;
    }

    void runClients(const QString& scenario, int timeoutMs = 60000, const QStringList& extra = {})
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(python(), QStringList{sourceDir() + QStringLiteral("/fernlink/ftpserver/tests/ftp_clients.py"), scenario,
                                      QString::number(port), home} + extra);
        ASSERT_TRUE(p.waitForStarted(5000));
        // Keep reading the server's output so it never blocks on a full pipe.
        const bool done = waitFor([&] {
            output += QString::fromUtf8(server.readAllStandardOutput());
            return p.state() == QProcess::NotRunning;
        }, timeoutMs);
        if (!done)
            p.kill();
        p.waitForFinished(2000);
        ASSERT_TRUE(done) << scenario.toStdString() << " did not finish";
        EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    }

    QTemporaryDir root;
    QString home;
    QString users;
    QProcess server;
    QString output;
    int port = 0;
    int openFileLimit = 0;
};

}  // namespace

TEST_F(Ftpd, UsersVerbEditsTheAccountFileAsTheUserManagerDoes)
{
    QString text;
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("newop1"), QStringLiteral("--password"), QStringLiteral("s3"),
                         QStringLiteral("--home"), home, QStringLiteral("--upload")}, &text), 0) << text.toStdString();
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("NEWOP1"), QStringLiteral("--password"), QStringLiteral("s3"),
                         QStringLiteral("--home"), home}, &text), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("the user already exists"))) << text.toStdString();
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("ab12"), QStringLiteral("--password"), QStringLiteral("x"),
                         QStringLiteral("--home"), home}, &text), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("User name must be the format")));
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("homeless1"), QStringLiteral("--password"), QStringLiteral("x"),
                         QStringLiteral("--home"), home + QStringLiteral("/nothere")}, &text), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("please input path")));
    EXPECT_EQ(usersVerb({QStringLiteral("list")}, &text), 0);
    EXPECT_TRUE(text.contains(QStringLiteral("newop1\t") + home + QStringLiteral("\tupload\n"))) << text.toStdString();
    EXPECT_EQ(usersVerb({QStringLiteral("remove"), QStringLiteral("NewOp1")}, &text), 0);
    EXPECT_EQ(usersVerb({QStringLiteral("remove"), QStringLiteral("newop1")}, &text), 1);
    CUserStore store(users);
    EXPECT_EQ(store.load(), LoadStatus::Loaded);
    EXPECT_EQ(store.getAll().size(), 5);

    writeFile(users, "not an account file");
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("newop2"), QStringLiteral("--password"), QStringLiteral("s3"),
                         QStringLiteral("--home"), home}, &text), 1);
    QFile kept(users);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("not an account file"));
    kept.close();
    EXPECT_TRUE(text.contains(QStringLiteral("keep-damaged"))) << text.toStdString();
    // Asked for by name, the unreadable file is kept aside with the date, and the list starts empty.
    EXPECT_EQ(usersVerb({QStringLiteral("keep-damaged")}, &text), 0) << text.toStdString();
    const QStringList aside = QFileInfo(users).dir().entryList({QStringLiteral("users.dat.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile old(QFileInfo(users).dir().filePath(aside[0]));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("not an account file"));
    EXPECT_EQ(usersVerb({QStringLiteral("add"), QStringLiteral("newop2"), QStringLiteral("--password"), QStringLiteral("s3"),
                         QStringLiteral("--home"), home}, &text), 0) << text.toStdString();
    EXPECT_EQ(usersVerb({QStringLiteral("keep-damaged")}, &text), 1) << "a readable file stays where it is";
}

TEST_F(Ftpd, LoginRulesWithARealClient) { startServer(); runClients(QStringLiteral("login")); }
TEST_F(Ftpd, DirectoriesStayInsideTheHome) { startServer(); runClients(QStringLiteral("dirs")); }
TEST_F(Ftpd, ListingsParseInEveryClient) { startServer(); runClients(QStringLiteral("list")); }
TEST_F(Ftpd, DataConnectionsJoinOnlyTheClient) { startServer(); runClients(QStringLiteral("peer")); }
TEST_F(Ftpd, RightsDecideDeleteAndDirectories) { startServer(); runClients(QStringLiteral("rights")); }

TEST_F(Ftpd, TransfersAreByteExactPassiveAndActive)
{
    startServer();
    runClients(QStringLiteral("transfer"));
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("STOR /up_5242880_p.bin 5242880 bytes complete"))) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("RETR /up_0_a.bin 0 bytes complete")));
    EXPECT_EQ(QDir(home).entryList({QStringLiteral(".fernlink-upload-*")}, QDir::Hidden | QDir::Files).size(), 0);
}

TEST_F(Ftpd, EleventhConnectionIsRefused)
{
    startServer({QStringLiteral("--max-users"), QStringLiteral("10")});
    runClients(QStringLiteral("limit"));
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("connections 12,"))) << printed.toStdString();
}

TEST_F(Ftpd, ControllerOutputReachesTheOwner)
{
    startServer();
    runClients(QStringLiteral("cnc"));
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("CNC output: X5 Y3\n"))) << printed.toStdString();
}

TEST_F(Ftpd, IdleConnectionIsClosed)
{
    startServer({QStringLiteral("--timeout"), QStringLiteral("0.05")});
    runClients(QStringLiteral("idle"));
}

// A truncated NC program kept under its real name moves the tool where nobody programmed.
TEST_F(Ftpd, BrokenOrKilledUploadIsNeverStored)
{
    startServer();
    runClients(QStringLiteral("reset_stor"));
    runClients(QStringLiteral("killed_stor"));
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("uploads 0 (failed 4)"))) << printed.toStdString();
}

TEST_F(Ftpd, ClientsThatNeverReadCannotGrowTheServer)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' allocators hold freed memory in quarantine and add shadow memory, so
    // the resident size says nothing about the server's buffers there: the floods still run
    // under their eyes, and the plain build checks the bound.
    const QString limitMb = QStringLiteral("0");
#else
    const QString limitMb = QStringLiteral("16");
#endif
    startServer();
    runClients(QStringLiteral("flood"), 60000, {QString::number(server.processId()), limitMb});
}

TEST_F(Ftpd, RefusedConnectionsLetGoAtOnce)
{
    startServer({QStringLiteral("--max-users"), QStringLiteral("2")});
    runClients(QStringLiteral("burst"));
    const QString printed = stopServer();
    // Refused ones count as connections that came.
    const auto m = QRegularExpression(QStringLiteral("connections (\\d+),")).match(printed);
    EXPECT_GE(m.captured(1).toInt(), 503) << printed.toStdString();
}

TEST_F(Ftpd, DribblingClientMustStillLogInInTime)
{
    startServer({QStringLiteral("--login-timeout"), QStringLiteral("2"), QStringLiteral("--timeout"), QStringLiteral("0.05")});
    runClients(QStringLiteral("dribble"));
}

TEST_F(Ftpd, DanglingLinkGivesAWellFormedListing) { startServer(); runClients(QStringLiteral("dangling")); }
TEST_F(Ftpd, ActiveModeAfterAFailedPassiveTransfer) { startServer(); runClients(QStringLiteral("pasv_port")); }
TEST_F(Ftpd, PcClientsGetFeaturesTimesAndNameLists) { startServer(); runClients(QStringLiteral("pcclient")); }
TEST_F(Ftpd, LftpMirrorsATreeWithAnEmptyFolderBothWays) { startServer(); runClients(QStringLiteral("mirror")); }

// Port 21 as an ordinary user: the message says why and what to do, not only "permission denied".
TEST_F(Ftpd, PrivilegedPortSaysHowToGetIt)
{
    QFile unprivileged(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start"));
    const int lowest = unprivileged.open(QIODevice::ReadOnly) ? unprivileged.readAll().trimmed().toInt() : 1024;
    if (lowest <= 21)
        GTEST_SKIP() << "this system lets every user bind port 21";
    QString program = cli();
    QStringList args{QStringLiteral("ftpd"), QStringLiteral("--port"), QStringLiteral("21"), QStringLiteral("--users"), users};
    if (::geteuid() == 0) {
        // Root may bind it: run as nobody instead, with the account file readable to it.
        for (const QString& path : {root.path(), home, users})
            QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ExeOther);
        args = QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                           program} + args;
        program = QStringLiteral("setpriv");
    }
    QProcess p;
    p.start(program, args);
    ASSERT_TRUE(p.waitForFinished(10000));
    const QByteArray err = p.readAllStandardError();
    if (p.exitCode() == 126 || p.exitCode() == 127 || (err.contains("Permission denied") && !err.contains("listen")))
        GTEST_SKIP() << "nobody cannot run the build tree's program here: " << err.constData();
    EXPECT_EQ(p.exitCode(), 1) << err.constData();
    EXPECT_TRUE(err.contains("cannot listen on port 21")) << err.constData();
    EXPECT_TRUE(err.contains("--port 2121")) << err.constData();
    EXPECT_TRUE(err.contains("setcap cap_net_bind_service=+ep")) << err.constData();
}

TEST_F(Ftpd, PortInUseIsReportedClearly)
{
    startServer();
    QProcess second;
    second.start(cli(), {QStringLiteral("ftpd"), QStringLiteral("--port"), QString::number(port), QStringLiteral("--users"), users});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot listen on port"));
}

TEST_F(Ftpd, LoadOfTenClientsKeepsEveryByteAndCounter)
{
    startServer();
    runClients(QStringLiteral("load"), 120000);
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("downloads 200 (failed 0), uploads 200 (failed 0)"))) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("connections 10,")));
}

// ---- under load and abuse ----

TEST_F(Ftpd, RunningOutOfDescriptorsRefusesAndRecovers)
{
    openFileLimit = 128;
    startServer({QStringLiteral("--max-users"), QStringLiteral("1000")});
    runClients(QStringLiteral("fdlimit"), 90000);
    EXPECT_EQ(server.state(), QProcess::Running) << server.readAllStandardError().toStdString();
    stopServer();
}

TEST_F(Ftpd, PassiveTransfersReuseAFewPortsOfTheRange)
{
    // Eight ports somewhere below the usual outgoing range; the server skips busy ones.
    const int low = 20000 + int(::getpid() % 1000) * 8;
    const QString range = QStringLiteral("%1-%2").arg(low).arg(low + 7);
    startServer({QStringLiteral("--pasv-ports"), range});
    runClients(QStringLiteral("pasv_reuse"), 180000, {QString::number(low), QString::number(low + 7)});
    const QString printed = stopServer();
    EXPECT_TRUE(printed.contains(QStringLiteral("downloads 3000 (failed 0)"))) << printed.toStdString();

    for (const char* bad : {"5-3", "80-90", "2000", "3000-70000", "a-b"}) {
        QProcess p;
        p.start(cli(), {QStringLiteral("ftpd"), QStringLiteral("--pasv-ports"), QString::fromLatin1(bad),
                        QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--users"), users});
        ASSERT_TRUE(p.waitForFinished(10000)) << bad;
        EXPECT_NE(p.exitCode(), 0) << bad;
        EXPECT_TRUE(p.readAllStandardError().contains("--pasv-ports")) << bad;
    }
}

TEST_F(Ftpd, SlowSteadyReaderOutlastsTheIdleTimeOut)
{
    startServer({QStringLiteral("--timeout"), QStringLiteral("0.05")});   // 3 s; the download takes 8
    runClients(QStringLiteral("slow_reader"));
}

// 200 uploads behind a wait of 50 ms each would take 10 s at the very least; without it they
// take a fraction of that even on a loaded machine. The sanitizers' slowness makes the bound
// meaningless there, so they only run the uploads.
TEST_F(Ftpd, SmallUploadsAreNotHeldBack)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const QString limitSeconds = QStringLiteral("0");
#else
    const QString limitSeconds = QStringLiteral("10");
#endif
    startServer();
    runClients(QStringLiteral("small_stors"), 60000, {QString::number(server.processId()), limitSeconds});
}

TEST_F(Ftpd, PendingBigListingsStayInBoundedMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const QString limitMb = QStringLiteral("0");   // see ClientsThatNeverReadCannotGrowTheServer
#else
    const QString limitMb = QStringLiteral("40");
#endif
    startServer({QStringLiteral("--max-users"), QStringLiteral("30")});
    runClients(QStringLiteral("listing_memory"), 90000, {QString::number(server.processId()), limitMb});
}

TEST_F(Ftpd, OverlongLinesThroughARealSocket) { startServer(); runClients(QStringLiteral("overlong")); }

TEST_F(Ftpd, AccountFileChangedUnderTheRunningServer)
{
    startServer();
    runClients(QStringLiteral("users_live"), 60000, {cli(), users});
}

TEST_F(Ftpd, DroppedFlooderLeavesNothingQueued)
{
    startServer({QStringLiteral("--timeout"), QStringLiteral("0.05")});
    runClients(QStringLiteral("linger"));
}

TEST_F(Ftpd, SiteChmodAndBareLineFeeds) { startServer(); runClients(QStringLiteral("pcclient2")); }

namespace {
struct RecordingSink : IServerEventSink {
    QList<quint64> connected, disconnected;
    QStringList names;
    void OnUserConnected(quint64 id, const QString& user, const QString&) override { connected << id; names << user; }
    void OnUserDisconnected(quint64 id, const QString&) override { disconnected << id; }
    void OnBytesReceived(quint64) override {}
    void OnBytesSent(quint64) override {}
    void OnStatistic(int, qint64) override {}
};

QByteArray readReply(QTcpSocket& s)
{
    waitFor([&] { return s.canReadLine() || s.state() == QAbstractSocket::UnconnectedState; }, 5000);
    return s.readLine();
}
}  // namespace

TEST(FtpServerObject, StopEndsEveryConnectionAndKeepsTheCounters)
{
    QTemporaryDir dir;
    CUserStore store(dir.filePath(QStringLiteral("users.dat")));
    CUser u;
    u.name = QStringLiteral("oper1");
    u.password = QStringLiteral("pw");
    u.homeDirectory = dir.path();
    ASSERT_TRUE(store.replaceAll({u}));
    CFtpServerWnd server(store);
    RecordingSink sink;
    server.setEventSink(&sink);
    server.setPort(0);
    ASSERT_TRUE(server.start());
    EXPECT_FALSE(server.start());

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QStringLiteral("127.0.0.1"), server.listeningPort());
        ASSERT_EQ(readReply(*clients.back()), QByteArray("220 Welcome to   \r\n"));
        clients.back()->write("USER oper1\r\nPASS pw\r\n");
        readReply(*clients.back());
        ASSERT_EQ(readReply(*clients.back()), QByteArray("230 User successfully logged in.\r\n"));
    }
    ASSERT_TRUE(waitFor([&] { return sink.connected.size() == 3; }, 5000));
    EXPECT_EQ(server.counters().currentConnections, 3);

    // The online-user page's disconnect command ends just that connection.
    COnlineUserModel online;
    for (quint64 id : sink.connected)
        online.userConnected(id, QStringLiteral("oper1"), QStringLiteral("127.0.0.1"), QTime(9, 5, 7));
    EXPECT_EQ(online.rows().size(), 3);
    COnlineUserModel::disconnectSelected(server, {sink.connected[0]});
    ASSERT_TRUE(waitFor([&] { return sink.disconnected.size() == 1; }, 5000));
    EXPECT_EQ(sink.disconnected[0], sink.connected[0]);
    online.userDisconnected(sink.disconnected[0]);
    EXPECT_EQ(online.rows().size(), 2);
    EXPECT_EQ(online.rows().last().logonTime, QStringLiteral("09:05:07"));

    server.stop();
    EXPECT_FALSE(server.isRunning());
    EXPECT_EQ(server.counters().currentConnections, 0);
    EXPECT_EQ(sink.disconnected.size(), 3);
    EXPECT_TRUE(server.connectionIds().isEmpty());
    const quint64 sent = server.counters().bytesSent;
    EXPECT_GT(sent, 0u);

    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.counters().totalConnections, 3);
    EXPECT_EQ(server.counters().bytesSent, sent);
    server.stop();
}

namespace {
// The system refuses the first thread.
class ThreadlessServer : public CFtpServerWnd {
public:
    using CFtpServerWnd::CFtpServerWnd;
    int refusals = 1;

protected:
    bool startThread(QThread* thread) override
    {
        if (refusals-- > 0)
            return false;
        return CFtpServerWnd::startThread(thread);
    }
};
}  // namespace

TEST(FtpServerObject, ConnectionWithoutAThreadIsClosedAndNotCounted)
{
    QTemporaryDir dir;
    CUserStore store(dir.filePath(QStringLiteral("users.dat")));
    ThreadlessServer server(store);
    server.setPort(0);
    ASSERT_TRUE(server.start());
    QTcpSocket first;
    first.connectToHost(QStringLiteral("127.0.0.1"), server.listeningPort());
    EXPECT_TRUE(waitFor([&] { return first.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(first.readAll().isEmpty());
    EXPECT_EQ(server.counters().totalConnections, 0);
    EXPECT_EQ(server.counters().currentConnections, 0);
    EXPECT_TRUE(server.connectionIds().isEmpty());

    QTcpSocket second;
    second.connectToHost(QStringLiteral("127.0.0.1"), server.listeningPort());
    EXPECT_EQ(readReply(second), QByteArray("220 Welcome to   \r\n"));
    EXPECT_EQ(server.counters().totalConnections, 1);
    server.stop();
}

TEST(ServerModels, NamesKilobytesAndLogin)
{
    for (const char* name : {"ab12", "1abcd", "abc_1", "abcdefghijkl"})
        EXPECT_FALSE(isValidUserName(QString::fromLatin1(name))) << name;
    for (const char* name : {"Ab123", "abcdefghijk"})
        EXPECT_TRUE(isValidUserName(QString::fromLatin1(name))) << name;
    EXPECT_EQ(formatKilobytes(1024), QStringLiteral("0 KB"));
    EXPECT_EQ(formatKilobytes(1025), QStringLiteral("2 KB"));
    EXPECT_EQ(formatKilobytes(1536000), QStringLiteral("1,500 KB"));
    EXPECT_EQ(formatKilobytes(5000000000ULL), QStringLiteral("4,882,813 KB"));

    QTemporaryDir dir;
    CUserStore store(dir.filePath(QStringLiteral("users.dat")));
    CUserManager manager(store);
    CUser u;
    u.name = QStringLiteral("operator1");
    u.homeDirectory = dir.path();
    EXPECT_EQ(manager.add(u, QString()), UserEditError::None);
    u.name = QStringLiteral("OPERATOR1");
    EXPECT_EQ(manager.add(u, QString()), UserEditError::Duplicate);
    u.name = QStringLiteral("second1");
    EXPECT_EQ(manager.add(u, QStringLiteral("x")), UserEditError::PasswordMismatch);
    u.homeDirectory = dir.filePath(QStringLiteral("missing"));
    EXPECT_EQ(manager.add(u, QString()), UserEditError::BadHome);
    EXPECT_EQ(store.getAll().size(), 1);
    EXPECT_EQ(checkUiLogin(store, QStringLiteral("vantorq5"), QStringLiteral("P4X9L2")), UiLoginResult::Success);
    EXPECT_EQ(checkUiLogin(store, QStringLiteral("VantorQ5"), QStringLiteral("p4x9l2")), UiLoginResult::WrongPassword);
    EXPECT_EQ(checkUiLogin(store, QStringLiteral("Operator1"), QString()), UiLoginResult::Success);
    EXPECT_EQ(checkUiLogin(store, QStringLiteral("nobody"), QString()), UiLoginResult::UnknownUser);
}
