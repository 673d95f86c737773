// SPDX-License-Identifier: GPL-3.0-or-later
// fernlink-cli against cncsim over a pseudo-terminal: the serial verbs end to end, and the
// refusals and line faults a real controller produces.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

using namespace vantor::testing;

namespace {

using Result = ProgramResult;

class CncSimTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess sim;
    QString link;

    QString root() const { return dir.filePath(QStringLiteral("root")); }
    QString work() const { return dir.filePath(QStringLiteral("work")); }
    QString onCnc(const char* partition, const QString& name) const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }

    void startSim(const QStringList& faults = {})
    {
        QDir().mkpath(work());
        link = dir.filePath(QStringLiteral("cnc"));
        const QStringList args{QStringLiteral("--root"), root(), QStringLiteral("--link"), link};
        const QStringList announced = startBackgroundProgram(sim, "cncsim", args + faults, 1);
        ASSERT_FALSE(announced.isEmpty()) << sim.readAllStandardError().toStdString();
        ASSERT_EQ(announced[0], link);
    }
    // The transfer log goes into the test's own folder, not the user's.
    void SetUp() override { qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8()); }
    void TearDown() override { stopBackgroundProgram(sim); }
    Result cli(const QStringList& args)
    {
        return runProgram("fernlink-cli", QStringList{QStringLiteral("--serial"), link} + args, work(), 60000);
    }
};

}  // namespace

TEST_F(CncSimTest, ListShowsUserThenSysFilesWithoutTheControllersOwn)
{
    startSim();
    writeFile(onCnc("user", QStringLiteral("O00002.txt")), "G0\n");
    writeFile(onCnc("user", QStringLiteral("para.val")), "p");
    writeFile(onCnc("sys", QStringLiteral("backup.bak")), QByteArray(300, 'b'));
    const Result r = cli({QStringLiteral("list")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "O00002.txt\t3\tUSER\nbackup.bak\t300\tSYS\n");
}

TEST_F(CncSimTest, SendStoresUnderTheRuleNameAndReportsARefusedName)
{
    startSim();
    const QByteArray program = patternBytes(300);
    writeFile(QDir(work()).filePath(QStringLiteral("o7.nc")), program);
    writeFile(QDir(work()).filePath(QStringLiteral("prog.txt")), "x");
    const Result r = cli({QStringLiteral("send"), QStringLiteral("o7.nc"), QStringLiteral("prog.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Incorrect file name"))) << r.err.toStdString();
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O00007.txt"))), paddedToBlock(program));
    EXPECT_FALSE(QFile::exists(onCnc("user", QStringLiteral("prog.txt"))));
}

TEST_F(CncSimTest, SendToTheSystemAreaKeepsTheName)
{
    startSim();
    writeFile(QDir(work()).filePath(QStringLiteral("machine.bak")), "abc");
    const Result r = cli({QStringLiteral("send"), QStringLiteral("machine.bak"), QStringLiteral("--area"), QStringLiteral("sys")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(onCnc("sys", QStringLiteral("machine.bak"))), paddedToBlock("abc"));
}

TEST_F(CncSimTest, ReceiveWritesIntoTheFolderAndKeepsAnExistingFileUnlessAsked)
{
    startSim();
    const QByteArray program = patternBytes(1000);
    writeFile(onCnc("user", QStringLiteral("O00003.txt")), program);
    const QString out = QDir(work()).filePath(QStringLiteral("in"));
    QDir().mkpath(out);
    Result r = cli({QStringLiteral("receive"), QStringLiteral("O00003.txt"), QStringLiteral("--dir"), out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // The size the controller lists cuts the XModem padding off, as the window does.
    EXPECT_EQ(readFile(QDir(out).filePath(QStringLiteral("O00003.txt"))), program);

    writeFile(QDir(out).filePath(QStringLiteral("O00003.txt")), "mine");
    r = cli({QStringLiteral("receive"), QStringLiteral("O00003.txt"), QStringLiteral("--dir"), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(QDir(out).filePath(QStringLiteral("O00003.txt"))), "mine");
    r = cli({QStringLiteral("receive"), QStringLiteral("O00003.txt"), QStringLiteral("--dir"), out, QStringLiteral("--overwrite")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(QDir(out).filePath(QStringLiteral("O00003.txt"))), program);
}

TEST_F(CncSimTest, ReceiveOfAMissingFileFailsAndLeavesNothing)
{
    startSim();
    const Result r = cli({QStringLiteral("receive"), QStringLiteral("O00009.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(QDir(work()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(CncSimTest, DeleteRemovesTheFileAndAMissingOneIsRefused)
{
    startSim();
    writeFile(onCnc("user", QStringLiteral("O00004.txt")), "x");
    Result r = cli({QStringLiteral("delete"), QStringLiteral("O00004.txt")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(onCnc("user", QStringLiteral("O00004.txt"))));
    r = cli({QStringLiteral("delete"), QStringLiteral("O00004.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not enough right or in used"))) << r.err.toStdString();
}

// Refusals of the download: the file fails, the reason is the system's own text.
struct Refusal {
    const char* fault;
    const char* text;
};

// Names the case by its fault in test listings, instead of the bytes of two pointers.
void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.fault;
}

class CncSimRefusal : public CncSimTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CncSimRefusal, SendFailsWithTheReason)
{
    startSim(QString::fromLatin1(GetParam().fault).split(QLatin1Char(' ')));
    writeFile(QDir(work()).filePath(QStringLiteral("O1.nc")), patternBytes(400));
    const Result r = cli({QStringLiteral("send"), QStringLiteral("O1.nc")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String(GetParam().text))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(onCnc("user", QStringLiteral("O00001.txt"))));
}

INSTANTIATE_TEST_SUITE_P(Controller, CncSimRefusal,
                         ::testing::Values(Refusal{"--refuse dle", "Not enough right"},
                                           Refusal{"--refuse sub", "Not suit the system"},
                                           Refusal{"--refuse fs", "number of file over 400"},
                                           Refusal{"--can-before-c", "error"},
                                           Refusal{"--can-after-c", "error"}));

// Line faults the transfer must ride out, byte-exact.
class CncSimLineFault : public CncSimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CncSimLineFault, SendAndReceiveStillArriveIntact)
{
    startSim(QString::fromLatin1(GetParam()).split(QLatin1Char(' ')));
    const QByteArray program = patternBytes(128 * 3 + 17);
    writeFile(QDir(work()).filePath(QStringLiteral("O12.txt")), program);
    Result r = cli({QStringLiteral("send"), QStringLiteral("O12.txt")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O00012.txt"))), paddedToBlock(program));

    writeFile(onCnc("user", QStringLiteral("O00013.txt")), program);
    r = cli({QStringLiteral("receive"), QStringLiteral("O00013.txt")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(QDir(work()).filePath(QStringLiteral("O00013.txt"))), program);
}

INSTANTIATE_TEST_SUITE_P(Line, CncSimLineFault,
                         ::testing::Values("--nak-block 2", "--corrupt-crc 2 --duplicate-block 3", "--split 50"));

TEST_F(CncSimTest, NameTakenOnTheControllerIsSkippedOrOverwritten)
{
    startSim({QStringLiteral("--exists-asks")});
    writeFile(onCnc("user", QStringLiteral("O00005.txt")), "old");
    writeFile(QDir(work()).filePath(QStringLiteral("O5.txt")), "new");
    Result r = cli({QStringLiteral("send"), QStringLiteral("O5.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O00005.txt"))), "old");
    r = cli({QStringLiteral("send"), QStringLiteral("O5.txt"), QStringLiteral("--if-exists"), QStringLiteral("overwrite")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O00005.txt"))), paddedToBlock("new"));
}

TEST_F(CncSimTest, SilentControllerTimesOut)
{
    startSim({QStringLiteral("--silent")});
    const Result r = cli({QStringLiteral("--timeout"), QStringLiteral("3"), QStringLiteral("list")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Time out"))) << r.err.toStdString();
}

TEST_F(CncSimTest, UsageErrorsExitWithTwo)
{
    QDir().mkpath(work());
    link = QStringLiteral("nowhere");
    EXPECT_EQ(cli({QStringLiteral("send")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("list"), QStringLiteral("--area"), QStringLiteral("usb")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).status, 2);
}
