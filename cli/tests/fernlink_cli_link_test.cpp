// SPDX-License-Identifier: GPL-3.0-or-later
// fernlink-cli against cncsim over TCP on 127.0.0.1 and, for DNC, over a pseudo-terminal:
// every verb end to end, the refusals a controller gives, and the faults of a bad network.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QTemporaryDir>

#include "common/atomicfile.h"
#include "common/testing/diskfault.h"
#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace vantor::testing;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

using Result = ProgramResult;

class LinkCliTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess sim;
    QString address;  // 127.0.0.1:PORT
    QString link;     // the pty, when the serial side is used

    QString root() const { return dir.filePath(s("root")); }
    QString work() const { return dir.filePath(s("work")); }
    QString local(const QString& name) const { return QDir(work()).filePath(name); }
    QString onCnc(const char* partition, const QString& name) const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }
    // The controller stores a file when the EOT arrives, which the PC does not wait for:
    // give it a moment before looking.
    QByteArray stored(const char* partition, const QString& name, const QByteArray& expected) const
    {
        waitUntil([&] { return readFile(onCnc(partition, name)) == expected; }, 5000);
        return readFile(onCnc(partition, name));
    }
    QStringList dncStreams(int expected = 0) const
    {
        if (expected > 0)
            waitUntil([&] { return streamList().size() >= expected; }, 5000);
        return streamList();
    }
    QStringList streamList() const
    {
        return QDir(QDir(root()).filePath(s("dnc"))).entryList({s("stream-*.nc")}, QDir::Files, QDir::Name);
    }
    QByteArray dncStream(int n) const
    {
        return readFile(QDir(root()).filePath(s("dnc/stream-%1.nc").arg(n, 3, 10, QLatin1Char('0'))));
    }

    void startSim(const QStringList& faults = {}, bool serial = false)
    {
        QDir().mkpath(work());
        QStringList args{s("--root"), root(), s("--tcp"), s("0")};
        if (serial) {
            link = dir.filePath(s("cnc"));
            args << s("--link") << link;
        }
        const QStringList announced = startBackgroundProgram(sim, "cncsim", args + faults, serial ? 2 : 1);
        ASSERT_GE(announced.size(), serial ? 2 : 1) << sim.readAllStandardError().toStdString();
        if (serial) {
            ASSERT_EQ(announced[0], link);
        }
        address = announced[serial ? 1 : 0];
        ASSERT_TRUE(address.startsWith(s("127.0.0.1:"))) << address.toStdString();
    }
    // The transfer log goes into the test's own folder, not the user's.
    void SetUp() override { qputenv("XDG_DATA_HOME", dir.filePath(s("data")).toUtf8()); }
    void TearDown() override { stopBackgroundProgram(sim); }
    Result run(const QStringList& args) { return runProgram("fernlink-cli", args, work()); }
    Result tcp(const QStringList& args) { return run(QStringList{s("--tcp"), address} + args); }
    Result serial(const QStringList& args) { return run(QStringList{s("--serial"), link} + args); }
};

#define EXPECT_OK(r) EXPECT_EQ((r).status, 0) << (r).err.toStdString()

// ---------------------------------------------------------------- listing

TEST_F(LinkCliTest, ListShowsBothAreasWithoutTheControllersOwnFilesAndTheUsbDiskApart)
{
    startSim();
    writeFile(onCnc("user", s("O00002.txt")), "G0\n");
    writeFile(onCnc("user", s("MACRO.HEP")), "m");
    writeFile(onCnc("user", s("ladinit.val")), "l");
    writeFile(onCnc("sys", s("backup.bak")), QByteArray(300, 'b'));
    writeFile(onCnc("usb", s("片子.nc")), "usb");

    Result r = tcp({s("list")});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, s("O00002.txt\t3\tUSER\nbackup.bak\t300\tSYS\n"));

    r = tcp({s("list"), s("--usb")});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, s("片子.nc\t3\tUSB\n"));
}

TEST_F(LinkCliTest, RefusedPartitionIsReportedAsAFailedList)
{
    startSim({s("--refuse-partition")});
    const Result r = tcp({s("list")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Unable to get file list."))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

// ---------------------------------------------------------------- send and receive

TEST_F(LinkCliTest, FilesOfEveryFrameBoundaryGoThereAndBackByteExact)
{
    startSim();
    // Sizes around the 2047-byte frame payload, and none at all.
    const int sizes[] = {0, 1, 2046, 2047, 2048, 4094, 4095, 4096, 100000};
    QStringList names;
    int n = 10;
    for (int size : sizes) {
        const QString name = s("O%1.txt").arg(n, 5, 10, QLatin1Char('0'));
        writeFile(local(name), patternBytes(size, n));
        names << name;
        ++n;
    }
    Result r = tcp(QStringList{s("send")} + names);
    EXPECT_OK(r);
    EXPECT_EQ(r.out.count(s(" -> ")), names.size()) << r.out.toStdString();
    n = 10;
    for (const QString& name : names) {
        EXPECT_EQ(stored("user", name, patternBytes(sizes[n - 10], n)), patternBytes(sizes[n - 10], n)) << name.toStdString();
        ++n;
    }

    QDir().mkpath(local(s("back")));
    r = tcp(QStringList{s("receive")} + names + QStringList{s("--dir"), s("back")});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, names.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    n = 10;
    for (const QString& name : names) {
        EXPECT_EQ(readFile(local(s("back/") + name)), patternBytes(sizes[n - 10], n)) << name.toStdString();
        ++n;
    }
}

TEST_F(LinkCliTest, AreasKeepTheirNamesAndTheUserAreaTakesTheRuleName)
{
    startSim();
    writeFile(local(s("o7.nc")), "user");
    writeFile(local(s("machine.bak")), "sys");
    writeFile(local(s("setup.txt")), "usb");
    EXPECT_OK(tcp({s("send"), s("o7.nc")}));
    EXPECT_OK(tcp({s("send"), s("machine.bak"), s("--area"), s("sys")}));
    EXPECT_OK(tcp({s("send"), s("setup.txt"), s("--area"), s("usb")}));
    EXPECT_EQ(stored("user", s("O00007.txt"), "user"), "user");
    EXPECT_EQ(stored("sys", s("machine.bak"), "sys"), "sys");
    EXPECT_EQ(stored("usb", s("setup.txt"), "usb"), "usb");

    // A name the user area does not accept is not sent.
    writeFile(local(s("prog.txt")), "x");
    const Result r = tcp({s("send"), s("prog.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("prog.txt"))));

    QDir().mkpath(local(s("in")));
    EXPECT_OK(tcp({s("receive"), s("setup.txt"), s("--area"), s("usb"), s("--dir"), s("in")}));
    EXPECT_EQ(readFile(local(s("in/setup.txt"))), "usb");
}

TEST_F(LinkCliTest, ReceiveKeepsALocalFileUnlessAskedAndAMissingOneLeavesNothing)
{
    startSim();
    writeFile(onCnc("user", s("O00003.txt")), "from the controller");
    writeFile(local(s("O00003.txt")), "mine");
    Result r = tcp({s("receive"), s("O00003.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(local(s("O00003.txt"))), "mine");
    r = tcp({s("receive"), s("O00003.txt"), s("--overwrite")});
    EXPECT_OK(r);
    EXPECT_EQ(readFile(local(s("O00003.txt"))), "from the controller");

    r = tcp({s("receive"), s("O00404.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("O00404.txt: Error"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(local(s("O00404.txt"))));
}

TEST_F(LinkCliTest, DeleteRemovesFilesAndAMissingOneIsRefused)
{
    startSim();
    writeFile(onCnc("user", s("O00001.txt")), "1");
    writeFile(onCnc("usb", s("a.nc")), "a");
    EXPECT_OK(tcp({s("delete"), s("O00001.txt")}));
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00001.txt"))));
    EXPECT_OK(tcp({s("delete"), s("a.nc"), s("--area"), s("usb")}));
    EXPECT_FALSE(QFileInfo::exists(onCnc("usb", s("a.nc"))));

    const Result r = tcp({s("delete"), s("O00009.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Not enough right or in used"))) << r.err.toStdString();
}

// ---------------------------------------------------------------- the controller says no

TEST_F(LinkCliTest, EachDownloadRefusalIsReportedAndStoresNothing)
{
    struct Case {
        const char* fault;
        const char* text;
    };
    const Case cases[] = {
        {"dle", "Not enough right or not on MDI"},
        {"sub", "Not suit the system"},
        {"fs", "number of file over 400"},
        {"can", "O5.txt: error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        startSim({s("--refuse"), s(c.fault)});
        writeFile(local(s("O5.txt")), "G0\n");
        const Result r = tcp({s("send"), s("O5.txt")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(s(c.text))) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00005.txt"))));
        TearDown();
    }
}

TEST_F(LinkCliTest, RefusedUploadMarksTheRowAndWritesNothing)
{
    startSim({s("--refuse-upload"), s("dle")});
    writeFile(onCnc("user", s("O00008.txt")), "x");
    const Result r = tcp({s("receive"), s("O00008.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Not enough right or not right or alarm"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(local(s("O00008.txt"))));
}

TEST_F(LinkCliTest, ANameTheControllerHasIsSkippedOverwrittenOrRenamed)
{
    startSim({s("--exists-asks")});
    writeFile(onCnc("user", s("O00005.txt")), "old");
    writeFile(local(s("O5.txt")), "new");

    Result r = tcp({s("send"), s("O5.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(stored("user", s("O00005.txt"), "old"), "old");

    r = tcp({s("send"), s("O5.txt"), s("--if-exists"), s("rename=O6.nc")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.out.contains(s("-> O00006.txt"))) << r.out.toStdString();
    EXPECT_EQ(stored("user", s("O00006.txt"), "new"), "new");
    EXPECT_EQ(stored("user", s("O00005.txt"), "old"), "old");

    r = tcp({s("send"), s("O5.txt"), s("--if-exists"), s("overwrite")});
    EXPECT_OK(r);
    EXPECT_EQ(stored("user", s("O00005.txt"), "new"), "new");
}

// ---------------------------------------------------------------- a bad network

TEST_F(LinkCliTest, RepliesAndFramesSplitIntoSmallPiecesStillWork)
{
    startSim({s("--split"), s("7")});
    writeFile(onCnc("user", s("O00001.txt")), patternBytes(5000));
    writeFile(local(s("O2.txt")), patternBytes(3000, 2));
    Result r = tcp({s("list")});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, s("O00001.txt\t5000\tUSER\n"));
    EXPECT_OK(tcp({s("send"), s("O2.txt")}));
    EXPECT_EQ(stored("user", s("O00002.txt"), patternBytes(3000, 2)), patternBytes(3000, 2));
    r = tcp({s("receive"), s("O00001.txt")});
    EXPECT_OK(r);
    EXPECT_EQ(readFile(local(s("O00001.txt"))), patternBytes(5000));
}

TEST_F(LinkCliTest, ADroppedConnectionLeavesNoFileThatLooksComplete)
{
    startSim({s("--drop-after"), s("2")});
    writeFile(onCnc("user", s("O00001.txt")), patternBytes(20000));
    writeFile(local(s("O2.txt")), patternBytes(20000, 2));

    Result r = tcp({s("receive"), s("O00001.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(QFileInfo::exists(local(s("O00001.txt"))));

    r = tcp({s("send"), s("O2.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00002.txt"))));
}

TEST_F(LinkCliTest, AFileIsSentOnlyWhenTheControllerAnsweredAfterItsEot)
{
    // The controller goes away as the final EOT arrives: it stored nothing.
    startSim({s("--drop-at-eot")});
    writeFile(local(s("O3.txt")), patternBytes(5000, 3));
    Result r = tcp({s("send"), s("O3.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.out.contains(s("O3.txt"))) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(s("not confirmed by the CNC"))) << r.err.toStdString();
    QThread::msleep(200);
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00003.txt"))));
}

TEST_F(LinkCliTest, TransfersGoToTheSameTransferLogAsTheWindowWrites)
{
    startSim();
    const QString data = dir.filePath(s("data"));
    writeFile(local(s("O5.txt")), patternBytes(3000, 5));
    Result r = tcp({s("send"), s("O5.txt")});
    EXPECT_OK(r);
    r = tcp({s("receive"), s("O00009.txt")});  // not there
    EXPECT_EQ(r.status, 1);
    const QString path = QDir(data).filePath(
        s("Vantor/Fernlink/transfer-log/transfers-%1.log").arg(QDate::currentDate().toString(s("yyyy-MM-dd"))));
    const QList<QByteArray> lines = readFile(path).split('\n');
    ASSERT_EQ(lines.size(), 3) << readFile(path).toStdString();
    const QList<QByteArray> sent = lines[0].split('\t');
    ASSERT_EQ(sent.size(), 8);
    EXPECT_EQ(sent[1], "ethernet");
    EXPECT_EQ(sent[2], "send");
    EXPECT_EQ(sent[3], local(s("O5.txt")).toUtf8() + " -> USER/O00005.txt");
    EXPECT_EQ(sent[4], "3000");
    EXPECT_EQ(sent[6], "ok");
    const QList<QByteArray> failed = lines[1].split('\t');
    ASSERT_EQ(failed.size(), 8);
    EXPECT_EQ(failed[2], "receive");
    EXPECT_EQ(failed[5], "-");
    EXPECT_EQ(failed[6], "failed");
    EXPECT_FALSE(failed[7].isEmpty());

    // Deletes too: the file deleted, and the one the controller refused with the reason.
    r = tcp({s("delete"), s("O00005.txt"), s("O00009.txt")});
    EXPECT_EQ(r.status, 1);
    const QList<QByteArray> all = readFile(path).split('\n');
    ASSERT_EQ(all.size(), 5) << readFile(path).toStdString();
    const QList<QByteArray> deleted = all[2].split('\t');
    ASSERT_EQ(deleted.size(), 8);
    EXPECT_EQ(deleted[2], "delete");
    EXPECT_EQ(deleted[3], "USER/O00005.txt");
    EXPECT_EQ(deleted[6], "ok");
    const QList<QByteArray> refused = all[3].split('\t');
    ASSERT_EQ(refused.size(), 8);
    EXPECT_EQ(refused[3], "USER/O00009.txt");
    EXPECT_EQ(refused[6], "failed");
    EXPECT_TRUE(refused[7].startsWith("Delete file error O00009.txt")) << refused[7].constData();
}

TEST_F(LinkCliTest, VerifyReadsTheFileBackAndADifferenceFails)
{
    startSim({s("--store-altered")});
    writeFile(local(s("O4.txt")), patternBytes(5000, 4));
    Result r = tcp({s("send"), s("O4.txt")});
    EXPECT_OK(r);  // without --verify nobody can tell
    r = tcp({s("send"), s("O4.txt"), s("--verify"), s("--if-exists"), s("overwrite")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("verify failed"))) << r.err.toStdString();
    TearDown();

    startSim();
    r = tcp({s("send"), s("O4.txt"), s("--verify")});
    EXPECT_OK(r);
    EXPECT_EQ(stored("user", s("O00004.txt"), patternBytes(5000, 4)), patternBytes(5000, 4));
    EXPECT_EQ(run({s("--serial"), s("/dev/null"), s("send"), s("O4.txt"), s("--verify")}).status, 2);
}

TEST_F(LinkCliTest, DncCutByTheLinkSaysWhereToGoOn)
{
    startSim({s("--drop-after"), s("3")});
    const QByteArray text = ncProgram(2000);
    writeFile(local(s("part.nc")), text);
    const Result r = tcp({s("dnc"), s("part.nc")});
    EXPECT_EQ(r.status, 1);
    // Three 2048-byte chunks were acknowledged at most: the line holding the next byte.
    EXPECT_TRUE(r.err.contains(s("The link was lost: the DNC stopped at line"))) << r.err.toStdString();
    const QRegularExpressionMatch m = QRegularExpression(s("line (\\d+)")).match(r.err);
    ASSERT_TRUE(m.hasMatch());
    const int line = m.captured(1).toInt();
    EXPECT_GT(line, 1);
    EXPECT_LE(line, text.left(3 * 2048).count('\n') + 1);
}

TEST_F(LinkCliTest, DncCutByALostSerialLineSaysWhereToGoOn)
{
    startSim({s("--dnc")}, true);
    writeFile(local(s("part.nc")), ncProgram(100000));
    QProcess cli;
    cli.setWorkingDirectory(work());
    cli.start(programPath("fernlink-cli"), {s("--serial"), link, s("dnc"), s("part.nc")});
    ASSERT_TRUE(cli.waitForStarted(5000));
    // Well into the stream (the controller's unfinished copy has grown), the line goes away.
    const QDir streams(QDir(root()).filePath(s("dnc")));
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const QFileInfo& f : streams.entryInfoList(QDir::Files | QDir::Hidden))
                if (f.size() >= 64 * 1024)
                    return true;
            return false;
        },
        30000));
    stopBackgroundProgram(sim);
    ASSERT_TRUE(cli.waitForFinished(30000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(s("The link was lost: the DNC stopped at line"))) << err.toStdString();
    const QRegularExpressionMatch m = QRegularExpression(s("line (\\d+)")).match(err);
    ASSERT_TRUE(m.hasMatch());
    EXPECT_GT(m.captured(1).toInt(), 1);
}

// A controller that asks for the same block again and again keeps the line busy but the DNC
// never moves: the tool gives up after the silence limit instead of running for ever.
TEST_F(LinkCliTest, DncThatNeverMovesPastABlockEndsAfterTheSilenceLimit)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    // The test is the controller, on the other end of the line.
    const int controller = ::open(QFile::encodeName(pty.b()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(controller, 0);
    writeFile(local(s("part.nc")), ncProgram(200));
    QProcess cli;
    cli.setWorkingDirectory(work());
    cli.start(programPath("fernlink-cli"), {s("--serial"), pty.a(), s("--timeout"), s("1"), s("dnc"), s("part.nc")});
    ASSERT_TRUE(cli.waitForStarted(5000));
    QThread::msleep(300);
    ASSERT_EQ(::write(controller, "C", 1), 1);
    QDeadlineTimer limit(20000);
    while (cli.state() != QProcess::NotRunning && !limit.hasExpired()) {
        cli.waitForFinished(50);
        char buf[512];
        if (::read(controller, buf, sizeof buf) > 0)
            (void)!::write(controller, "\x15", 1);  // NAK: that block again
    }
    ::close(controller);
    const bool ended = cli.state() == QProcess::NotRunning;
    if (!ended) {
        cli.kill();
        cli.waitForFinished(3000);
    }
    ASSERT_TRUE(ended) << "fernlink-cli still running after 20 s of NAKs";
    EXPECT_EQ(cli.exitCode(), 1);
}

TEST_F(LinkCliTest, DncStartsAtABlockNumber)
{
    startSim();
    const QByteArray text = "O0001\r\nG21 G90\r\nN10 G00 X1\r\nN20 G01 X2\r\nN30 G01 X3\r\nM30\r\n";
    writeFile(local(s("part.nc")), text);
    Result r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("N20")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(1).size(), 1);
    // The setup lines first, then the program from block N20.
    EXPECT_EQ(dncStream(1), "O0001\r\nG21 G90\r\nN20 G01 X2\r\nN30 G01 X3\r\nM30\r\n");
    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("N30"), s("--start-header"), s("none")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(2).size(), 2);
    EXPECT_EQ(dncStream(2), "N30 G01 X3\r\nM30\r\n");
    writeFile(local(s("safe.txt")), "G54 G90 M08");
    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("N30"), s("--start-header"), s("safe.txt")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(3).size(), 3);
    EXPECT_EQ(dncStream(3), "G54 G90 M08\r\nN30 G01 X3\r\nM30\r\n");
    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("N99")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("The program has no block N99"))) << r.err.toStdString();
}

TEST_F(LinkCliTest, ASilentControllerTimesOutAndAClosedPortCannotBeReached)
{
    startSim({s("--silent")});
    Result r = tcp({s("--timeout"), s("2"), s("list")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Time out"))) << r.err.toStdString();

    writeFile(local(s("O1.txt")), "x");
    r = tcp({s("send"), s("O1.txt")});  // the send's own 9 s wait for the partition
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Time out"))) << r.err.toStdString();

    TearDown();
    r = run({s("--tcp"), address, s("list")});  // nobody listens there any more
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("Unable to connect to CNC"))) << r.err.toStdString();
}

// ---------------------------------------------------------------- DNC

TEST_F(LinkCliTest, DncOverEthernetStreamsFromTheChosenLine)
{
    startSim();
    const QByteArray text = ncProgram(400);  // several 2048-byte chunks
    writeFile(local(s("part.nc")), text);
    Result r = tcp({s("dnc"), s("part.nc")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(1).size(), 1);
    EXPECT_EQ(dncStream(1), text);

    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("398")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(2).size(), 2);
    const QList<QByteArray> lines = text.split('\n');
    EXPECT_EQ(dncStream(2), lines[397] + '\n' + lines[398] + '\n' + lines[399] + '\n');

    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("401")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("The  number too big"))) << r.err.toStdString();
    r = tcp({s("dnc"), s("part.nc"), s("--from-line"), s("0")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dncStreams().size(), 2);
}

TEST_F(LinkCliTest, DncRefusalsSayWhyAndStreamNothing)
{
    struct Case {
        const char* fault;
        const char* text;
    };
    const Case cases[] = {
        {"auto", "On running"},
        {"buff", "The DNC Buffer not empty"},
        {"other", "Please Send it in DNC mode."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        startSim({s("--dnc-refuse"), s(c.fault)});
        writeFile(local(s("part.nc")), ncProgram(3));
        const Result r = tcp({s("dnc"), s("part.nc")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(s(c.text))) << r.err.toStdString();
        EXPECT_TRUE(dncStreams().isEmpty());
        TearDown();
    }
}

TEST_F(LinkCliTest, DncOverTheSerialLineIsAnXModemStreamTheControllerStarts)
{
    startSim({s("--dnc")}, true);
    const QByteArray text = ncProgram(50);
    writeFile(local(s("part.nc")), text);
    Result r = serial({s("dnc"), s("part.nc"), s("--from-line"), s("2")});
    EXPECT_OK(r);
    ASSERT_EQ(dncStreams(1).size(), 1);
    const QByteArray expected = text.mid(text.indexOf('\n') + 1);
    const QByteArray got = dncStream(1);
    // XModem pads the last block to 128 bytes.
    EXPECT_EQ(got.size() % 128, 0);
    EXPECT_EQ(got.left(expected.size()), expected);
    EXPECT_EQ(got.mid(expected.size()), QByteArray(got.size() - expected.size(), 0x1A));
}

// ---------------------------------------------------------------- saved transfer lists

TEST_F(LinkCliTest, SavedListIsShownAndItsTickedRowsAreSent)
{
    startSim();
    writeFile(local(s("O1.nc")), "one");
    writeFile(local(s("O2.nc")), "two");
    writeFile(local(s("prog.txt")), "no rule name");
    Result r = run({s("list-file"), s("save"), s("jobs.dat"), s("O1.nc"), s("O2.nc"), s("prog.txt")});
    EXPECT_OK(r);
    r = run({s("list-file"), s("show"), s("jobs.dat")});
    EXPECT_OK(r);
    const QString dirPath = QFileInfo(work()).absoluteFilePath() + QLatin1Char('/');
    EXPECT_EQ(r.out, s("  ×\t%1prog.txt\tprog.txt\t12\tUSER\tunsend\n"
                       "  √\t%1O2.nc\tO00002.txt\t3\tUSER\tunsend\n"
                       "  √\t%1O1.nc\tO00001.txt\t3\tUSER\tunsend\n")
                         .arg(dirPath));

    r = tcp({s("send"), s("--list"), s("jobs.dat")});
    EXPECT_EQ(r.status, 1);  // the crossed row is not sent
    EXPECT_EQ(stored("user", s("O00001.txt"), "one"), "one");
    EXPECT_EQ(stored("user", s("O00002.txt"), "two"), "two");
    EXPECT_TRUE(r.err.contains(s("prog.txt: not sent"))) << r.err.toStdString();
}

TEST_F(LinkCliTest, ACutOrForeignListSendsNothing)
{
    startSim();
    writeFile(local(s("O1.nc")), "one");
    writeFile(local(s("O2.nc")), "two");
    ASSERT_EQ(run({s("list-file"), s("save"), s("jobs.dat"), s("O1.nc"), s("O2.nc")}).status, 0);
    QByteArray bytes = readFile(local(s("jobs.dat")));
    writeFile(local(s("cut.dat")), bytes.left(bytes.size() - 3));
    bytes[31] = 'x';  // the magic's trailing blank
    writeFile(local(s("foreign.dat")), bytes);

    Result r = run({s("list-file"), s("show"), s("cut.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1);  // the complete row is still shown
    r = tcp({s("send"), s("--list"), s("cut.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("nothing was sent"))) << r.err.toStdString();
    r = tcp({s("send"), s("--list"), s("foreign.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("file format error"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00001.txt"))));
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00002.txt"))));
}

TEST_F(LinkCliTest, TextGbkCannotHoldIsRefusedBeforeAnythingIsWritten)
{
    QDir().mkpath(work());
    writeFile(local(s("O1.nc")), "one");
    writeFile(local(s("jörg.nc")), "two");
    // A saved list with a path GBK cannot hold would read back as another path.
    Result r = run({s("list-file"), s("save"), s("jobs.dat"), s("O1.nc"), s("jörg.nc")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("jörg.nc holds characters that GBK can not hold"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(local(s("jobs.dat"))));

    // An account whose folder the account file cannot hold.
    const QString home = local(s("jörg"));
    QDir().mkpath(home);
    r = run({s("users"), s("--users"), s("users.dat"), s("add"), s("Ab123"), s("--password"), s("x"), s("--home"), home});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(s("holds characters that GBK can not hold"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(local(s("users.dat"))));
}

TEST_F(LinkCliTest, UsageErrorsExitWithTwo)
{
    QDir().mkpath(work());
    const QStringList bad[] = {
        {s("--tcp"), s("127.0.0.1:0"), s("list")},
        {s("--tcp"), s("127.0.0.1:99999"), s("list")},
        {s("--tcp"), s("127.0.0.1"), s("--baud"), s("9600"), s("list")},
        {s("--tcp"), s("127.0.0.1"), s("list"), s("--area"), s("usb")},
        {s("--tcp"), s("127.0.0.1"), s("send"), s("--area"), s("bios"), s("x")},
        {s("--tcp"), s("127.0.0.1"), s("dnc")},
        {s("--tcp"), s("127.0.0.1"), s("receive"), s("x"), s("--from-line"), s("3")},
        {s("--serial"), s("nowhere"), s("list"), s("--usb")},
        {s("--serial"), s("nowhere"), s("--tcp"), s("127.0.0.1"), s("list")},
        {s("list-file"), s("show")},
    };
    for (const QStringList& args : bad)
        EXPECT_EQ(run(args).status, 2) << args.join(QLatin1Char(' ')).toStdString();
}

// ---------------------------------------------------------------- command-line conventions

TEST_F(LinkCliTest, HelpAndVersionAnswerOnStdoutWithZero)
{
    QDir().mkpath(work());
    Result r = run({s("--help")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    const char* verbs[] = {"list",           "send",           "receive",       "delete", "dnc",  "list-file show",
                           "list-file save", "xmodem send",    "xmodem receive", "ftpd",  "users"};
    for (const char* verb : verbs) {
        EXPECT_TRUE(r.out.contains(s("  ") + s(verb) + s(" "))) << verb;
        QStringList args = s(verb).split(QLatin1Char(' '));
        const Result help = run(args << s("--help"));
        EXPECT_EQ(help.status, 0) << verb << ": " << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(s("Usage: fernlink-cli ") + s(verb))) << help.out.toStdString();
        EXPECT_TRUE(help.err.isEmpty()) << verb;
    }
    // The verb's own options are in its help, the link options too where they apply.
    r = run({s("receive"), s("-h")});
    EXPECT_TRUE(r.out.contains(s("--dir")) && r.out.contains(s("--tcp")) && !r.out.contains(s("--from-line"))) << r.out.toStdString();
    // A family of two-word verbs lists its members.
    r = run({s("xmodem"), s("--help")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.out.contains(s("xmodem send PORT FILE")) && r.out.contains(s("xmodem receive PORT FILE")));

    r = run({s("--version")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.out.startsWith(s("fernlink-cli "))) << r.out.toStdString();
}

TEST_F(LinkCliTest, OptionFormsAndTheLinkBeforeOrAfterTheVerb)
{
    startSim();
    writeFile(local(s("-odd.nc")), "odd");
    writeFile(onCnc("user", s("O1.nc")), "G0\n");
    // --opt=value, and the link named after the verb.
    Result r = run({s("list"), s("--tcp=") + address, s("--timeout=5")});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, s("O1.nc\t3\tUSER\n"));
    // "--" ends the options: a file whose name starts with a dash.
    r = run({s("list-file"), s("save"), s("--area=sys"), s("jobs.dat"), s("--"), s("-odd.nc")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.out.contains(s("-odd.nc\t3\t")) && r.out.contains(s("SYS"))) << r.out.toStdString();
    // Without "--" the same name is an unknown option.
    r = tcp({s("send"), s("-odd.nc")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(s("Unknown option"))) << r.err.toStdString();
}

TEST_F(LinkCliTest, ExitStatusTellsUsageErrorsFromFailures)
{
    QDir().mkpath(work());
    struct Case {
        QStringList args;
        int status;
    };
    const Case cases[] = {
        {{}, 2},                                                      // no verb
        {{s("frobnicate")}, 2},                                       // unknown verb
        {{s("--tcp"), s("127.0.0.1"), s("list"), s("--zip")}, 2},     // unknown option
        {{s("--tcp"), s("127.0.0.1"), s("list"), s("--timeout")}, 2}, // missing value
        {{s("--tcp"), s("127.0.0.1"), s("list"), s("--timeout=0")}, 2},
        {{s("--tcp"), s("127.0.0.1"), s("list"), s("extra")}, 2},     // list takes no names
        {{s("--serial"), s("x"), s("users"), s("list")}, 2},          // a link option where no link is used
        {{s("xmodem")}, 2},
        {{s("users"), s("add")}, 2},                                  // add needs a name
        {{s("users"), s("--users"), s("u.dat"), s("list"), s("--home"), s("/")}, 2},
        {{s("ftpd"), s("--port"), s("70000")}, 2},
        {{s("list-file"), s("show"), s("missing.dat")}, 1},           // a failed operation
        {{s("users"), s("--users=u.dat"), s("remove"), s("nobody")}, 1},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(QLatin1Char(' ')).toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(QLatin1Char(' ')).toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(r.out.isEmpty()) << c.args.join(QLatin1Char(' ')).toStdString();
        }
    }
    // Nobody listens on a port just freed: the link cannot be opened, which is a failure.
    startSim();
    const QString closed = address;
    stopBackgroundProgram(sim);
    EXPECT_EQ(run({s("--tcp"), closed, s("--timeout"), s("2"), s("list")}).status, 1);
}

TEST_F(LinkCliTest, VerboseTracesTheLinkOnStderr)
{
    startSim();
    writeFile(onCnc("user", s("O1.nc")), "G0\n");
    Result quiet = tcp({s("list")});
    EXPECT_OK(quiet);
    EXPECT_FALSE(quiet.err.contains(s("vantor."))) << quiet.err.toStdString();

    // Before the verb or after it; the listing on stdout stays as it was.
    for (const QStringList& args : {QStringList{s("--verbose"), s("--tcp"), address, s("list")},
                                    QStringList{s("--tcp"), address, s("list"), s("--verbose")}}) {
        const Result traced = run(args);
        EXPECT_OK(traced);
        EXPECT_EQ(traced.out, quiet.out);
        EXPECT_TRUE(traced.err.contains(s("vantor.ethernet: connecting to 127.0.0.1"))) << traced.err.toStdString();
        EXPECT_TRUE(traced.err.contains(s("vantor.ethernet: -> "))) << traced.err.toStdString();
        EXPECT_TRUE(traced.err.contains(s("vantor.ethernet: <- "))) << traced.err.toStdString();
    }
}

TEST_F(LinkCliTest, VerboseTracesTheSerialLineInHex)
{
    startSim({}, true);
    const Result r = serial({s("--verbose"), s("list")});
    EXPECT_OK(r);
    EXPECT_TRUE(r.err.contains(s("vantor.serial: -> "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(s("vantor.serial: <- "))) << r.err.toStdString();
}

TEST_F(LinkCliTest, VerboseFtpdTracesCommandsAndRepliesButNoPassword)
{
    QDir().mkpath(work());
    QProcess server;
    const QStringList announced = startBackgroundProgram(
        server, "fernlink-cli", {s("ftpd"), s("--port=0"), s("--users"), local(s("users.dat")), s("--verbose")}, 1);
    ASSERT_EQ(announced.size(), 1);
    const int port = announced[0].section(QLatin1Char(' '), -1).chopped(1).toInt();
    ASSERT_GT(port, 0) << announced[0].toStdString();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(client.waitForConnected(5000));
    QByteArray replies;
    const auto await = [&](const char* code) {
        QDeadlineTimer limit(5000);
        while (!replies.contains(code) && !limit.hasExpired())
            if (client.waitForReadyRead(100))
                replies += client.readAll();
        return replies.contains(code);
    };
    ASSERT_TRUE(await("220"));
    client.write("USER nobody\r\nPASS s3cret\r\n");
    EXPECT_TRUE(await("530")) << replies.toStdString();
    client.write("QUIT\r\n");
    EXPECT_TRUE(await("Bye")) << replies.toStdString();
    client.close();
    QThread::msleep(200);
    stopBackgroundProgram(server);
    const QString trace = QString::fromUtf8(server.readAllStandardError());
    for (const char* line : {"USER nobody", "PASS \\*\\*\\*\\*", "530 ", "Client connected from 127\\.0\\.0\\.1"}) {
        const QRegularExpression expected(s("vantor\\.ftp: \\[\\d+\\] ") + s(line));
        EXPECT_TRUE(trace.contains(expected)) << line << "\n" << trace.toStdString();
    }
    EXPECT_FALSE(trace.contains(s("s3cret"))) << trace.toStdString();
}

}  // namespace

// ---------------------------------------------------------------- a full or failing disk

// The real program under the fault library receiving into a full folder, over either link:
// exit 1, the system's reason on stderr, the row failed, and nothing under the name but the
// earlier file.
TEST_F(LinkCliTest, ReceiveIntoAFullFolderFailsAndKeepsTheEarlierFile)
{
    if (diskFaultLibrary().isEmpty())
        GTEST_SKIP() << "the fault library was not built";
    struct Case {
        const char* name;
        DiskFault fault;
        int error;
    };
    const QString name = s("O00003.txt");
    writeFile(onCnc("user", name), patternBytes(5000, 9));
    writeFile(local(name), "mine");
    const Case cases[] = {
        {"before the first byte", {work(), "write", "ENOSPC", 0}, ENOSPC},
        {"in the middle", {work(), "write", "ENOSPC", 3000}, ENOSPC},
        {"at fsync", {work(), "fsync", "EIO", 0}, EIO},
        {"at rename", {work(), "rename", "ENOSPC", 0}, ENOSPC},
    };
    for (const bool overSerial : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (overSerial ? " (serial)" : " (tcp)"));
            // A fresh controller each time: one the PC cancelled mid-file is not the subject here.
            stopBackgroundProgram(sim);
            QFile::remove(dir.filePath(s("cnc")));
            startSim({}, true);
            const QStringList linkArgs = overSerial ? QStringList{s("--serial"), link} : QStringList{s("--tcp"), address};
            const Result r = runProgramOnFaultyDisk("fernlink-cli", linkArgs + QStringList{s("receive"), name, s("--overwrite")},
                                                    work(), c.fault);
            EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(vantor::systemErrorText(c.error))) << r.err.toStdString();
            EXPECT_EQ(readFile(local(name)), "mine");
            EXPECT_EQ(filesIn(work()), QStringList{name});
        }
    }
}
