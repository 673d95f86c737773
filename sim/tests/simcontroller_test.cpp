// SPDX-License-Identifier: GPL-3.0-or-later
// The serial side's session in virtual time: the DNC input and the command answers that the
// pseudo-terminal tests cannot pin down byte for byte.
#include "sim/simcontroller.h"

#include "common/testing/testfiles.h"
#include "serialcore/tests/fakelinkport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::sim;
using vantor::testing::FakeLinkPort;
using vantor::testing::readFile;
using vantor::testing::writeFile;

namespace {

QByteArray one(char c)
{
    return QByteArray(1, c);
}

class SerialDnc : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeLinkPort port;
    DncSink sink{dir.path()};
    SimController cnc{port, dir.path(), sink, SimFaults{}};

    QString dncFile(int n) const { return QDir(dir.path()).filePath(QStringLiteral("dnc/") + DncSink::fileName(n)); }
    QByteArray streamBlocks(const QByteArray& program)
    {
        QByteArray acks;
        for (qsizetype at = 0, block = 1; at < program.size(); at += 128, ++block) {
            cnc.onBytes(CXModem::buildFrame(static_cast<int>(block), program.mid(at, 128)));
            acks += port.take();
        }
        return acks;
    }
};

TEST_F(SerialDnc, RequestsEverySecondAndKeepsEachStreamPaddingIncluded)
{
    EXPECT_EQ(port.take(), "C");
    ASSERT_TRUE(port.timerRunning(CXModem::kStartTimerId));
    EXPECT_EQ(port.timers[CXModem::kStartTimerId], 1000);
    // It keeps asking far beyond the ten requests of a download.
    for (int i = 0; i < 50; ++i)
        cnc.onTimer(CXModem::kStartTimerId);
    EXPECT_EQ(port.take(), QByteArray(50, 'C'));

    const QByteArray program = "O0001\r\nG01 X10\r\n" + QByteArray(200, 'A');
    EXPECT_EQ(streamBlocks(program), QByteArray(2, 0x06));
    EXPECT_FALSE(QFile::exists(dncFile(1)));
    cnc.onBytes(one(wire::kEot));
    EXPECT_EQ(port.take(), one(wire::kAck));
    EXPECT_EQ(readFile(dncFile(1)), program + QByteArray(256 - program.size(), wire::kPadByte));

    // Commands are no longer served; the next stream is asked for after a second.
    cnc.onBytes("xls\n");
    EXPECT_EQ(port.take(), "");
    ASSERT_TRUE(port.timerRunning(SimController::kDncRestartTimerId));
    port.timers.erase(SimController::kDncRestartTimerId);
    cnc.onTimer(SimController::kDncRestartTimerId);
    EXPECT_EQ(port.take(), "C");
    EXPECT_EQ(streamBlocks("second"), one(wire::kAck));
    cnc.onBytes(one(wire::kEot));
    EXPECT_EQ(readFile(dncFile(2)).left(6), "second");
}

TEST_F(SerialDnc, CancelledStreamKeepsNothingAndWaitsForTheNext)
{
    port.take();
    streamBlocks(QByteArray(300, 'B'));
    cnc.onBytes(one(wire::kCan));
    port.take();
    EXPECT_TRUE(QDir(QDir(dir.path()).filePath(QStringLiteral("dnc"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    ASSERT_TRUE(port.timerRunning(SimController::kDncRestartTimerId));
    cnc.onTimer(SimController::kDncRestartTimerId);
    EXPECT_EQ(port.take(), "C");
}

class SerialCommands : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeLinkPort port;

    QByteArray run(const SimFaults& faults, const QByteArray& input)
    {
        SimController cnc(port, dir.path(), faults);
        cnc.onBytes(input);
        return port.take();
    }
};

TEST_F(SerialCommands, AnswersByteForByte)
{
    writeFile(QDir(dir.path()).filePath(QStringLiteral("sys/P1")), "1234");
    SimFaults refuseCan;
    refuseCan.refuseDownload = wire::kCan;
    SimFaults split;
    split.splitPieces = 4;
    struct Case {
        const char* input;
        SimFaults faults;
        QByteArray reply;
    } cases[] = {
        {"\nxcd sys\n", {}, "\r\nsys>"},
        {"\nxcd nowhere\n", {}, "\r\nuser>"},
        {"\nxcd SYS\nxls\n", {}, "\r\nsys>1: P1\t 4\r\n\x18"},
        {"xdl a/b -t\n", {}, one(wire::kSub)},
        {"xdl N -t\n", refuseCan, one(wire::kCan)},
        {"xdel MISSING\n", {}, one(wire::kDle)},
        {"\nxul MISSING -t\n", {}, one(wire::kCan)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.faults, c.input), c.reply) << c.input;
    {
        SimController cnc(port, dir.path(), split);
        cnc.onBytes("\nxcd sys\n");
        EXPECT_EQ(port.script(), "\r\nsy<3>s><3>");
    }
}

// The PC stops what runs with one CAN and goes on with its next command at once: whatever
// the CAN ended (an upload under way, a download, nothing at all), that command is served.
TEST_F(SerialCommands, ALoneCanEndsWhatRunsAndTheNextCommandIsServed)
{
    writeFile(QDir(dir.path()).filePath(QStringLiteral("user/P1")), QByteArray(300, 'u'));
    const QByteArray listing = "1: P1\t 300\r\n\x18";
    struct Case {
        const char* what;
        std::vector<QByteArray> before;  // chunks up to and with the CAN
    } cases[] = {
        {"an upload after its first frame", {"xul P1 -t\n", "C", one(wire::kCan)}},
        {"an upload before its first frame", {"xul P1 -t\n", one(wire::kCan)}},
        {"a download after its first frame",
         {"xdl N1 -t\n", CXModem::buildFrame(1, QByteArray(128, 'd')), one(wire::kCan)}},
        {"nothing (a stream that had already ended)", {one(wire::kCan)}},
    };
    for (const Case& c : cases) {
        SimController cnc(port, dir.path(), SimFaults{});
        for (const QByteArray& chunk : c.before)
            cnc.onBytes(chunk);
        port.take();
        cnc.onBytes("xls\n");
        EXPECT_EQ(port.take(), listing) << c.what;
    }
    // The command may come in the same read as the CAN.
    SimController cnc(port, dir.path(), SimFaults{});
    cnc.onBytes("xul P1 -t\n");
    cnc.onBytes("C");
    port.take();
    cnc.onBytes(one(wire::kCan) + "xls\n");
    EXPECT_EQ(port.take(), listing);
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("user/N1"))));
}

}  // namespace
