// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/crc16.h"
#include "serialcore/deadline.h"
#include "serialcore/tests/fakelinkport.h"
#include "serialcore/vantorcomm.h"

#include "common/testing/ptypair.h"

#include <QCoreApplication>
#include <QSerialPort>

#include <gtest/gtest.h>

using namespace vantor;
using vantor::testing::PtyPair;
using vantor::testing::waitUntil;

TEST(Crc16Xmodem, CheckValueAndIncrementalUse)
{
    EXPECT_EQ(crc16Xmodem(QByteArrayView("123456789")), 0x31C3);
    EXPECT_EQ(crc16Xmodem(QByteArrayView("")), 0x0000);
    // Feeding the data in two parts gives the same value as in one.
    EXPECT_EQ(crc16Xmodem(QByteArrayView("6789"), crc16Xmodem(QByteArrayView("12345"))), 0x31C3);
    EXPECT_EQ(crc16Xmodem(QByteArray(128, char(0x1A))), crc16Xmodem(QByteArray(128, char(0x1A))));
}

TEST(CVantorComm, PortNamesStayAsTheUserGaveThem)
{
    EXPECT_EQ(CVantorComm::devicePath(QStringLiteral("ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(CVantorComm::devicePath(QStringLiteral("/tmp/cnc")), QStringLiteral("/tmp/cnc"));
    CVantorComm comm;
    comm.setPort(QStringLiteral("ttyUSB3"), 9600);
    EXPECT_EQ(comm.portName(), QStringLiteral("ttyUSB3"));
    EXPECT_EQ(comm.baudRate(), 9600);
    EXPECT_FALSE(comm.isOpen());
    comm.close();  // closing a closed engine is harmless
    EXPECT_EQ(comm.write(QByteArrayView("x")), 0);
}

class SerialOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok()) << "socat could not make a pty pair";
        peer.setPortName(pty.b());
        ASSERT_TRUE(peer.open(QIODevice::ReadWrite));
        peer.setBaudRate(38400);
        comm.setPort(pty.a(), 38400);
        QObject::connect(&comm, &CVantorComm::received, [this](const QByteArray& c) { chunks.push_back(c); });
    }

    QByteArray readPeer(qsizetype expected)
    {
        QByteArray got;
        waitUntil([&] {
            peer.waitForReadyRead(5);
            got += peer.readAll();
            return got.size() >= expected;
        });
        return got;
    }

    PtyPair pty;
    QSerialPort peer;
    CVantorComm comm;
    std::vector<QByteArray> chunks;
};

TEST_F(SerialOverPty, BurstArrivesInOrderedChunksOfAtMost256)
{
    ASSERT_TRUE(comm.open()) << comm.lastError().toStdString();
    QByteArray burst;
    for (int i = 0; i < 600; ++i)
        burst.append(char(i * 7));
    peer.write(burst);
    peer.waitForBytesWritten(2000);

    QByteArray joined;
    ASSERT_TRUE(waitUntil([&] {
        joined.clear();
        for (const auto& c : chunks)
            joined += c;
        return joined.size() >= burst.size();
    }));
    EXPECT_EQ(joined, burst);
    EXPECT_GE(chunks.size(), 3u);
    for (const auto& c : chunks) {
        EXPECT_GT(c.size(), 0);
        EXPECT_LE(c.size(), CVantorComm::kChunkSize);
    }
}

TEST_F(SerialOverPty, SecondOpenFailsAndFirstConnectionKeepsWorking)
{
    ASSERT_TRUE(comm.open());
    EXPECT_FALSE(comm.open());
    EXPECT_TRUE(comm.isOpen());
    EXPECT_EQ(comm.write(QByteArrayView("ping")), 4);
    EXPECT_EQ(readPeer(4), QByteArray("ping"));
    peer.write("pong");
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(chunks.front(), QByteArray("pong"));
}

TEST_F(SerialOverPty, APortAnotherProgramHoldsIsNamedAsBusyNotAsAPermissionProblem)
{
    ASSERT_TRUE(comm.open());
    CVantorComm second;
    second.setPort(pty.a(), 38400);
    EXPECT_FALSE(second.open());
    // The holder is this very process: the system names it.
    EXPECT_TRUE(second.lastError().contains(QStringLiteral("in use by"))) << second.lastError().toStdString();
    EXPECT_TRUE(second.lastError().contains(QString::number(QCoreApplication::applicationPid())))
        << second.lastError().toStdString();
    EXPECT_FALSE(second.lastError().contains(QStringLiteral("dialout"))) << second.lastError().toStdString();
    comm.close();
    EXPECT_TRUE(second.open()) << second.lastError().toStdString();
}

TEST_F(SerialOverPty, CloseWhileIdleThenReopenAndNothingArrivesAfterClose)
{
    ASSERT_TRUE(comm.open());
    comm.close();
    EXPECT_FALSE(comm.isOpen());
    comm.close();
    peer.write("late");
    peer.waitForBytesWritten(1000);
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(chunks.empty());
    ASSERT_TRUE(comm.open());
    EXPECT_EQ(comm.write(QByteArrayView("again")), 5);
    EXPECT_EQ(readPeer(5).right(5), QByteArray("again"));
}

TEST_F(SerialOverPty, WritesArriveByteForByteAtEveryBaudRate)
{
    QByteArray frame;
    for (int i = 0; i < 133; ++i)
        frame.append(char(255 - i));  // includes 0x11/0x13, which must pass untouched
    for (int baud : {9600, 19200, 38400, 57600, 115200}) {
        comm.close();
        comm.setPort(pty.a(), baud);
        ASSERT_TRUE(comm.open()) << baud;
        EXPECT_EQ(comm.write(frame), frame.size()) << baud;
        EXPECT_EQ(readPeer(frame.size()), frame) << baud;
    }
}

TEST_F(SerialOverPty, HandlerThatSpinsTheEventLoopDoesNotReorderChunks)
{
    std::vector<QByteArray> seen;
    bool first = true;
    QObject::connect(&comm, &CVantorComm::received, [&](const QByteArray& c) {
        seen.push_back(c);
        if (first) {
            first = false;
            // Like a modal question: more bytes arrive while this chunk is still being handled.
            peer.write(QByteArray(300, 'b'));
            peer.waitForBytesWritten(1000);
            waitUntil([] { return false; }, 100);
            seen.push_back("<handled>");
        }
    });
    ASSERT_TRUE(comm.open());
    peer.write(QByteArray(10, 'a'));
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] {
        qsizetype bs = 0;
        for (const auto& c : seen)
            bs += c.count('b');
        return bs >= 300;
    }));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0], QByteArray(10, 'a'));
    EXPECT_EQ(seen[1], QByteArray("<handled>"));
}

#include "serialcore/linepacer.h"

TEST(LinePacer, KeepsOnlyTheSlackAheadOfTheLine)
{
    struct Case { int baud; qsizetype slackBytes; qint64 usPerByte; };
    // 5 ms of line time: 4 bytes at 9600 (1041 us each), 58 at 115200 (86 us each).
    const Case cases[] = {{9600, 4, 1041}, {115200, 58, 86}, {300, 1, 33333}};
    for (const Case& c : cases) {
        LinePacer pacer(c.baud);
        EXPECT_EQ(pacer.usPerByte(), c.usPerByte) << c.baud;
        EXPECT_EQ(pacer.slackBytes(), c.slackBytes) << c.baud;
        qint64 now = 1'000'000;
        EXPECT_EQ(pacer.allowance(now), c.slackBytes) << c.baud;
        pacer.wrote(pacer.allowance(now), now);
        EXPECT_EQ(pacer.allowance(now), 0) << c.baud;
        EXPECT_GT(pacer.waitUs(now), 0) << c.baud;
        // After the wait exactly one more byte fits; a long pause never banks more than the slack.
        now += pacer.waitUs(now);
        EXPECT_EQ(pacer.allowance(now), 1) << c.baud;
        EXPECT_EQ(pacer.allowance(now + 60'000'000), c.slackBytes) << c.baud;
    }

    // Over a second of steady writing the stream moves at the line's rate, not faster.
    LinePacer pacer(9600);
    qint64 written = 0;
    for (qint64 now = 0; now <= 1'000'000; now += 2000) {
        const qsizetype n = pacer.allowance(now);
        pacer.wrote(n, now);
        written += n;
    }
    EXPECT_GE(written, 955);
    EXPECT_LE(written, 965);
}

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

TEST(CVantorComm, RefusedForLackOfPermissionNamesTheDialoutGroup)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens everything";
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyLocked"));
    QFile f(device);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(f.setPermissions(QFileDevice::Permissions()));
    CVantorComm comm;
    comm.setPort(device, 9600);
    EXPECT_FALSE(comm.open());
    EXPECT_TRUE(comm.lastError().contains(QStringLiteral("dialout"))) << comm.lastError().toStdString();

    // Every enumerated port is listed with what is known of it; by-id names come after.
    const auto described = CVantorComm::describedPorts();
    for (const QString& name : CVantorComm::availablePorts())
        EXPECT_TRUE(std::any_of(described.begin(), described.end(), [&](const auto& p) { return p.name == name; }));
}

// A deadline of another tick than a second (a listing's wait): its timer runs at that period,
// only its own ticks count, and the count starts over with each start.
TEST(Deadline, CountsItsOwnTicksAtItsOwnPeriodAndStartsOverOnEachStart)
{
    vantor::testing::FakeLinkPort port;
    vantor::Deadline d(3, 2, 2000);
    d.start(port);
    EXPECT_EQ(port.timers.at(3), 2000);
    EXPECT_FALSE(d.expired(3));
    EXPECT_FALSE(d.expired(4));
    d.start(port);  // a new listing: the earlier tick no longer counts
    EXPECT_FALSE(d.expired(3));
    EXPECT_TRUE(d.expired(3));
    d.stop(port);
    EXPECT_TRUE(port.timers.empty());

    vantor::Deadline none(0, 1);  // a flow without a deadline never times out
    none.start(port);
    EXPECT_TRUE(port.timers.empty());
    EXPECT_FALSE(none.expired(0));
    EXPECT_FALSE(none.expired(0));
}
