// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/xmodem.h"

#include "serialcore/crc16.h"
#include "serialcore/serialwire.h"
#include "serialcore/tests/fakelinkport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;
using vantor::testing::FakeLinkPort;

namespace {

struct Recorder : XModemObserver {
    std::vector<SendResult> sent;
    std::vector<ReceiveResult> received;
    std::vector<int> blocksSent;
    int totalAtStart = -1;
    int naks = 0;
    int retries = 0;
    int badBlocks = 0;
    int crcErrors = 0;
    bool openOk = true;
    bool opened = false;
    QByteArray file;

    void sendStarted(int total) override { totalAtStart = total; }
    void blockSent(int block, int, qint64) override { blocksSent.push_back(block); }
    void nakReceived() override { ++naks; }
    void canRetryRequested() override { ++retries; }
    void sendFinished(SendResult r) override { sent.push_back(r); }
    bool openReceiveFile() override
    {
        opened = true;
        return openOk;
    }
    bool writeBlock(QByteArrayView data) override
    {
        file += data;
        return true;
    }
    void badBlock(bool crc) override
    {
        ++badBlocks;
        crcErrors += crc ? 1 : 0;
    }
    void receiveFinished(ReceiveResult r) override { received.push_back(r); }
};

QByteArray pattern(int n)
{
    QByteArray b(n, 0);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return b;
}

const QByteArray kAckB(1, wire::kAck);
const QByteArray kNakB(1, wire::kNak);
const QByteArray kEotB(1, wire::kEot);
const QByteArray kCanB(1, wire::kCan);

}  // namespace

TEST(XModemSender, EmptyFileSendsEotOnFirstCAndSucceedsOnItsAck)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginSend({});
    x.onSenderByte(wire::kAck);  // nothing before C
    EXPECT_TRUE(port.written().isEmpty());
    x.onSenderByte('C');
    EXPECT_EQ(port.take(), kEotB);
    EXPECT_EQ(rec.totalAtStart, 1);
    EXPECT_EQ(x.totalBlocks(), 1);
    x.onSenderByte(wire::kAck);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0], SendResult::Sent);
}

TEST(XModemSender, FileOf129BytesMakesTwoFramesThePaddedOneCoveredByTheCrc)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernlink);
    const QByteArray data = pattern(129);
    x.beginSend(data);
    x.onSenderByte('C');
    QByteArray f1 = port.take();
    ASSERT_EQ(f1.size(), 133);
    EXPECT_EQ(f1[0], wire::kSoh);
    EXPECT_EQ(static_cast<unsigned char>(f1[1]), 1);
    EXPECT_EQ(static_cast<unsigned char>(f1[2]), 254);
    EXPECT_EQ(f1.mid(3, 128), data.left(128));
    x.onSenderByte(wire::kAck);
    QByteArray f2 = port.take();
    ASSERT_EQ(f2.size(), 133);
    EXPECT_EQ(static_cast<unsigned char>(f2[1]), 2);
    EXPECT_EQ(f2[3], data[128]);
    EXPECT_EQ(f2.mid(4, 127), QByteArray(127, 0x1A));
    const quint16 crc = crc16Xmodem(f2.mid(3, 128));
    EXPECT_EQ(static_cast<unsigned char>(f2[131]), crc >> 8);
    EXPECT_EQ(static_cast<unsigned char>(f2[132]), crc & 0xFF);
    x.onSenderByte(wire::kAck);
    EXPECT_EQ(port.take(), kEotB);
    x.onSenderByte(wire::kAck);
    EXPECT_EQ(rec.sent, std::vector<SendResult>{SendResult::Sent});
}

TEST(XModemSender, Block256TravelsAsZeroWithComplementFF)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginSend(pattern(257 * 128));
    x.onSenderByte('C');
    for (int i = 1; i < 256; ++i) {
        port.take();
        x.onSenderByte(wire::kAck);
    }
    const QByteArray f = port.take();
    EXPECT_EQ(static_cast<unsigned char>(f[1]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(f[2]), 0xFF);
    EXPECT_EQ(f.mid(3, 128), pattern(257 * 128).mid(255 * 128, 128));
}

TEST(XModemSender, NakRepeatsTheIdenticalFrameAndAfterEotRepeatsEot)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernlink);
    x.beginSend(pattern(10));
    x.onSenderByte('C');
    const QByteArray frame = port.take();
    x.onSenderByte(wire::kNak);
    x.onSenderByte(wire::kNak);
    EXPECT_EQ(port.take(), frame + frame);
    EXPECT_EQ(rec.naks, 2);
    x.onSenderByte(wire::kAck);
    EXPECT_EQ(port.take(), kEotB);
    x.onSenderByte(wire::kNak);
    EXPECT_EQ(port.take(), kEotB);
    x.onSenderByte(wire::kAck);
    EXPECT_EQ(rec.sent, std::vector<SendResult>{SendResult::Sent});
}

TEST(XModemSender, SecondCDuringTransferDoesNotRestartIt)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginSend(pattern(300));
    x.onSenderByte('C');
    port.take();
    x.onSenderByte('C');
    EXPECT_TRUE(port.take().isEmpty());
    x.onSenderByte(wire::kAck);
    EXPECT_EQ(static_cast<unsigned char>(port.take()[1]), 2);
}

TEST(XModemSender, RefusalBytesEndTheFileWithTheirReason)
{
    struct Case {
        char byte;
        XModemVariant variant;
        SendResult result;
    } cases[] = {
        {wire::kDle, XModemVariant::Fernport, SendResult::NoRight},
        {wire::kSub, XModemVariant::Fernport, SendResult::NotSuit},
        {wire::kEsc, XModemVariant::Fernport, SendResult::Exists},
        {wire::kFs, XModemVariant::Fernlink, SendResult::Full},
        {wire::kCan, XModemVariant::Fernlink, SendResult::Failed},
    };
    for (const auto& c : cases) {
        FakeLinkPort port;
        Recorder rec;
        CXModem x(port, rec, c.variant);
        x.beginSend(pattern(10));
        x.onSenderByte(c.byte);
        ASSERT_EQ(rec.sent.size(), 1u) << int(c.byte);
        EXPECT_EQ(rec.sent[0], c.result) << int(c.byte);
        EXPECT_FALSE(x.isSending());
    }
}

TEST(XModemSender, CanRetryRestartsTheFileAtTheNextCAndASecondCanFails)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    // A CAN before the first C of the engine's life fails at once.
    x.beginSend(pattern(200));
    x.onSenderByte(wire::kCan);
    EXPECT_EQ(rec.sent, std::vector<SendResult>{SendResult::Failed});
    EXPECT_EQ(rec.retries, 0);

    rec.sent.clear();
    x.beginSend(pattern(200));
    x.onSenderByte('C');
    port.take();
    x.onSenderByte(wire::kAck);  // block 2 out, then the controller gives up
    port.take();
    x.onSenderByte(wire::kCan);
    EXPECT_EQ(rec.retries, 1);
    EXPECT_TRUE(rec.sent.empty());
    ASSERT_FALSE(port.steps.empty());
    EXPECT_EQ(port.steps.back().kind, 'p');
    EXPECT_EQ(port.steps.back().ms, 100);
    port.steps.clear();
    // The controller accepted the repeated xdl: the file starts again from block 1.
    x.onSenderByte('C');
    const QByteArray f = port.take();
    ASSERT_EQ(f.size(), 133);
    EXPECT_EQ(static_cast<unsigned char>(f[1]), 1);
    EXPECT_EQ(f.mid(3, 128), pattern(200).left(128));
    x.onSenderByte(wire::kCan);
    EXPECT_EQ(rec.sent, std::vector<SendResult>{SendResult::Failed});
}

TEST(XModemSender, DncModeFailsOnTheFirstCan)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginSend(pattern(200), true);
    x.onSenderByte('C');
    x.onSenderByte(wire::kCan);
    EXPECT_EQ(rec.retries, 0);
    EXPECT_EQ(rec.sent, std::vector<SendResult>{SendResult::Failed});
}

// ---------------------------------------------------------------- receiver

namespace {
QByteArray frameOf(int block, const QByteArray& data)
{
    return CXModem::buildFrame(block, data);
}
}  // namespace

TEST(XModemReceiver, StartRequestsAreCountedAndGiveUpAfterTheLimit)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernlink);
    x.beginReceive(500, 10, true);
    EXPECT_EQ(port.timers[CXModem::kStartTimerId], 500);
    for (int i = 0; i < 10; ++i)
        x.onTimer(CXModem::kStartTimerId);
    EXPECT_EQ(port.take(), QByteArray(10, 'C'));
    EXPECT_TRUE(rec.received.empty());
    x.onTimer(CXModem::kStartTimerId);
    EXPECT_EQ(rec.received, std::vector<ReceiveResult>{ReceiveResult::TimedOut});
    EXPECT_FALSE(port.timerRunning(CXModem::kStartTimerId));
}

TEST(XModemReceiver, FernportStopsRequestingButWaitsOn)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginReceive(1500, 21, false);
    for (int i = 0; i < 25; ++i)
        x.onTimer(CXModem::kStartTimerId);
    EXPECT_EQ(port.take(), QByteArray(21, 'C'));
    EXPECT_TRUE(rec.received.empty());
    EXPECT_TRUE(x.isReceiving());
}

TEST(XModemReceiver, GathersFramesDeliveredInPiecesAndAbortsOnAnOverlongOne)
{
    const QByteArray frame = frameOf(1, pattern(128));
    {
        FakeLinkPort port;
        Recorder rec;
        CXModem x(port, rec, XModemVariant::Fernport);
        x.beginReceive(1500, 21, false);
        x.onReceiverChunk(frame.left(50));
        x.onReceiverChunk(frame.mid(50, 50));
        EXPECT_TRUE(port.written().isEmpty());
        x.onReceiverChunk(frame.mid(100));
        EXPECT_EQ(port.take(), kAckB);
        EXPECT_EQ(rec.file, pattern(128));
        EXPECT_FALSE(port.timerRunning(CXModem::kStartTimerId));
    }
    {
        FakeLinkPort port;
        Recorder rec;
        CXModem x(port, rec, XModemVariant::Fernport);
        x.beginReceive(1500, 21, false);
        x.onReceiverChunk(frame.left(50));
        x.onReceiverChunk(frame.mid(50, 50));
        x.onReceiverChunk(frame.mid(100) + 'x');
        EXPECT_EQ(port.script(), QByteArray(1, wire::kCan) + "<10>" + QByteArray(1, wire::kLf) + "<purge>");
        EXPECT_EQ(rec.received, std::vector<ReceiveResult>{ReceiveResult::Garbled});
        EXPECT_TRUE(rec.file.isEmpty());
    }
}

TEST(XModemReceiver, RepeatedBlockIsAcknowledgedNotWrittenOnlyWhenIntact)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernport);
    x.beginReceive(1500, 21, false);
    const QByteArray f1 = frameOf(1, pattern(128));
    x.onReceiverChunk(f1);
    x.onReceiverChunk(f1);
    EXPECT_EQ(port.take(), kAckB + kAckB);
    // A damaged copy of the previous block is no proof the ACK was lost.
    QByteArray bad = f1;
    bad[10] = static_cast<char>(bad[10] ^ 0x40);
    x.onReceiverChunk(bad);
    QByteArray badComplement = f1;
    badComplement[2] = 0x00;
    x.onReceiverChunk(badComplement);
    EXPECT_EQ(port.take(), kNakB + kNakB);
    x.onReceiverChunk(frameOf(2, pattern(128).right(64)));
    EXPECT_EQ(port.take(), kAckB);
    EXPECT_EQ(rec.file.size(), 256);
    x.onReceiverChunk(kEotB);
    EXPECT_EQ(port.script(), kAckB + "<10><purge><10>");
    EXPECT_EQ(rec.received, std::vector<ReceiveResult>{ReceiveResult::Received});
}

TEST(XModemReceiver, BadCrcIsReportedAsSuchAndNaked)
{
    FakeLinkPort port;
    Recorder rec;
    CXModem x(port, rec, XModemVariant::Fernlink);
    x.beginReceive(500, 10, true);
    QByteArray f = frameOf(1, pattern(128));
    f[132] = static_cast<char>(f[132] ^ 1);
    x.onReceiverChunk(f);
    EXPECT_EQ(port.take(), kNakB);
    EXPECT_EQ(rec.crcErrors, 1);
    x.onReceiverChunk(frameOf(3, pattern(128)));  // wrong number
    EXPECT_EQ(port.take(), kNakB);
    EXPECT_EQ(rec.crcErrors, 1);
    EXPECT_EQ(rec.badBlocks, 2);
    EXPECT_TRUE(rec.file.isEmpty());
}

TEST(XModemReceiver, FirstByteDecidesBeforeAFrame)
{
    struct Case {
        char first;
        ReceiveResult result;
        QByteArray wrote;
    } cases[] = {
        {wire::kCan, ReceiveResult::Failed, kAckB},
        {wire::kDle, ReceiveResult::NoRight, {}},
        {wire::kEot, ReceiveResult::Received, kAckB},
    };
    for (const auto& c : cases) {
        FakeLinkPort port;
        Recorder rec;
        CXModem x(port, rec, XModemVariant::Fernlink);
        x.beginReceive(500, 10, true);
        x.onReceiverChunk(QByteArray(1, c.first));
        EXPECT_EQ(rec.received, std::vector<ReceiveResult>{c.result}) << int(c.first);
        EXPECT_EQ(port.written(), c.wrote) << int(c.first);
        EXPECT_FALSE(port.timerRunning(CXModem::kStartTimerId));
    }
}

TEST(XModemReceiver, TargetThatCannotBeCreatedCancels)
{
    FakeLinkPort port;
    Recorder rec;
    rec.openOk = false;
    CXModem x(port, rec, XModemVariant::Fernlink);
    x.beginReceive(500, 10, true);
    x.onReceiverChunk(frameOf(1, pattern(5)));
    EXPECT_EQ(port.written(), kCanB);
    EXPECT_EQ(rec.received, std::vector<ReceiveResult>{ReceiveResult::OpenFailed});
}

// Sender and receiver through a loopback in odd pieces, 256 blocks and beyond included:
// the receiver keeps the padding of the last block.
TEST(XModemRoundTrip, FilesArriveByteExactWithPadding)
{
    for (int size : {0, 1, 128, 129, 257 * 128 + 5}) {
        FakeLinkPort toRx, toTx;
        Recorder txRec, rxRec;
        CXModem tx(toRx, txRec, XModemVariant::Fernport);
        CXModem rx(toTx, rxRec, XModemVariant::Fernport);
        const QByteArray data = pattern(size);
        tx.beginSend(data);
        rx.beginReceive(1500, 21, false);
        rx.onTimer(CXModem::kStartTimerId);
        int guard = 0;
        while (rxRec.received.empty() && ++guard < 5000) {
            const QByteArray r = toTx.take();
            tx.onSenderBytes(r);
            QByteArray t = toRx.take();
            // Deliver in pieces of 7 bytes, the last piece whatever remains.
            for (qsizetype i = 0; i < t.size(); i += 7)
                rx.onReceiverChunk(t.mid(i, 7));
        }
        tx.onSenderBytes(toTx.take());
        ASSERT_EQ(rxRec.received, std::vector<ReceiveResult>{ReceiveResult::Received}) << size;
        ASSERT_EQ(txRec.sent, std::vector<SendResult>{SendResult::Sent}) << size;
        QByteArray expected = data;
        if (size % 128)
            expected += QByteArray(128 - size % 128, 0x1A);
        EXPECT_EQ(rxRec.file, expected) << size;
    }
}
