// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetprotocol.h"

#include "common/testing/testfiles.h"
#include "fernlink/link/tests/flowtests.h"
#include "serialcore/tests/fakelinkport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernlink;
using vantor::testing::FakeLinkPort;
using namespace vantor::fernlink::flowtests;

namespace {

struct NetFlows : ::testing::Test {
    FakeLinkPort port;
    ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
    ScriptedPrompter prompter;
    Recorder observer;
    EthernetFlowSet flows{port, state, prompter, observer};
    QTemporaryDir dir;

    QString writeFile(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        vantor::testing::writeFile(path, data);  // fails the test when the file cannot be made
        return path;
    }
    RemoteFileRow remote(const QString& name, const QString& label)
    {
        return {name, {}, label, {}, true};
    }
    // Feeds bytes one read at a time.
    void feed(std::initializer_list<QByteArray> reads)
    {
        for (const QByteArray& r : reads)
            flows.onBytes(r);
    }
};

}  // namespace

// ---------------------------------------------------------------- wire

TEST(EthernetProtocol, CommandsAreWrittenByteForByte)
{
    using net::PartitionUse;
    const std::pair<QByteArray, QByteArray> cases[] = {
        {net::changePartition(PartitionUse::ListUserPass), "scd  user \r\n"},
        {net::changePartition(PartitionUse::ListSysPass), "scd  sys \r\n"},
        {net::changePartition(PartitionUse::ListUsb), "scd  usb \r\n"},
        {net::changePartition(PartitionUse::UsbFirstDelete), "scd usb \r\n"},
        {net::changePartition(PartitionUse::UsbItem), "scd  usb \r\n"},
        {net::changePartition(PartitionUse::SendUsb), "scd usb \r\n"},
        {net::changePartition(QStringLiteral("USER")), "scd USER \r\n"},
        {net::changePartition(QStringLiteral("SYS")), "scd SYS \r\n"},
        {net::listCommand(), "sls \r\n"},
        {net::deleteCommand(QStringLiteral("O00001.txt")), "sdel O00001.txt \r\n"},
        {net::uploadCommand(QStringLiteral("O00001.txt")), "sul O00001.txt \r\n"},
        {net::downloadCommand(QStringLiteral("O00001.txt"), 5000000000LL), "sdl O00001.txt 5000000000 \r\n"},
        {net::dncCommand(), QByteArray("sdnc \r\n\0", 8)},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
    EXPECT_EQ(net::dncCommand().size(), 8);
}

TEST(EthernetProtocol, FrameArithmetic)
{
    struct Case {
        qint64 size, frames, stream;
    };
    const Case cases[] = {{0, 0, 0}, {1, 1, 2}, {2047, 1, 2048}, {2048, 2, 2050}, {4094, 2, 4096}, {4095, 3, 4098}};
    for (const Case& c : cases) {
        EXPECT_EQ(net::framesFor(c.size), c.frames) << c.size;
        EXPECT_EQ(net::expectedStreamLength(c.size), c.stream) << c.size;
    }
    const QByteArray frame = net::sendFrame("abc");
    ASSERT_EQ(frame.size(), 2048);
    EXPECT_EQ(frame.left(4), QByteArray("\x01" "abc"));
    EXPECT_EQ(frame.mid(4), QByteArray(2044, '\0'));
}

TEST(EthernetProtocol, UploadSizesAre64BitAndNeverNegative)
{
    EXPECT_EQ(net::parseUploadSize("sulok 123\r\n"), 123);
    EXPECT_EQ(net::parseUploadSize("sulok 5000000000"), 5000000000LL);
    EXPECT_EQ(net::parseUploadSize("sulok -5"), std::nullopt);
    EXPECT_EQ(net::parseUploadSize("sulok "), std::nullopt);
    EXPECT_EQ(net::parseUploadSize("sulok 99999999999999999999"), std::nullopt);
}

TEST(EthernetProtocol, DncStartOffsetsAndPackets)
{
    const QByteArray text = "a\nbb\r\nccc";
    const std::pair<qint64, qint64> offsets[] = {{1, 0}, {2, 2}, {3, 6}, {4, 9}};
    for (const auto& [line, offset] : offsets)
        EXPECT_EQ(net::dncStartOffset(text, line), offset) << line;
    EXPECT_EQ(net::lineCount(text), 3);
    // A line longer than the reader's 1023 bytes counts as several.
    const QByteArray longLine = QByteArray(2000, 'x') + "\ny";
    EXPECT_EQ(net::dncStartOffset(longLine, 2), 1023);
    EXPECT_EQ(net::dncStartOffset(longLine, 3), 2001);

    const std::pair<qint64, int> packets[] = {{256, 3}, {300, 4}, {128, 2}, {1, 2}};
    for (const auto& [total, count] : packets)
        EXPECT_EQ(net::dncPacketsTotal(total), count) << total;
}

// ---------------------------------------------------------------- list

TEST_F(NetFlows, ListReadsBothPassesFiltersSystemFilesAndGathersSplitReplies)
{
    ASSERT_TRUE(flows.list.start(false));
    EXPECT_EQ(state.operation, OperationState::OpNetList);
    EXPECT_EQ(port.take(), "scd  user \r\n");
    feed({"sc", "dok\r\n"});
    EXPECT_EQ(port.take(), "sls \r\n");
    feed({"sls", "ok1: O00001.txt\t 120\r\n2: PARA.VAL\t 9\r\n", "3: O00002.txt\t 7\r\n", one(net::kCan)});
    EXPECT_EQ(port.take(), "scd  sys \r\n");
    feed({"scdok", "slsok", "1: ladinit.val\t 1\r\n2: sys.cfg\t 44\r\n" + one(net::kCan)});
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    ASSERT_EQ(flows.list.rows.size(), 3u);
    EXPECT_EQ(flows.list.rows[0].name, "O00001.txt");
    EXPECT_EQ(flows.list.rows[0].size, "120");
    EXPECT_EQ(flows.list.rows[0].partition, "USER");
    EXPECT_EQ(flows.list.rows[1].name, "O00002.txt");
    EXPECT_EQ(flows.list.rows[2].name, "sys.cfg");
    EXPECT_EQ(flows.list.rows[2].partition, "SYS");
    EXPECT_EQ(observer.ends, std::vector<bool>{true});
}

TEST_F(NetFlows, UsbListIsOnePassAndRefusalsEndTheList)
{
    ASSERT_TRUE(flows.list.start(true));
    EXPECT_EQ(port.take(), "scd  usb \r\n");
    feed({"scdok", "slsok1: a.nc\t 3\r\n" + one(net::kCan)});
    ASSERT_EQ(flows.list.rows.size(), 1u);
    EXPECT_EQ(flows.list.rows[0].partition, QString::fromUtf8("U盘"));
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    ASSERT_TRUE(flows.list.start(false));
    feed({"scder"});
    EXPECT_EQ(prompter.shown.back(), "Unable to get file list.");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    // A reply shorter than a word is judged once nothing more comes.
    prompter.shown.clear();
    ASSERT_TRUE(flows.list.start(false));
    feed({"scdok", "no"});
    EXPECT_EQ(state.operation, OperationState::OpNetList);
    ASSERT_TRUE(port.timerRunning(nettimers::kReplyGather));
    flows.onTimer(nettimers::kReplyGather);
    EXPECT_EQ(prompter.shown, std::vector<QString>{"Unable to get file list."});
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

// ---------------------------------------------------------------- delete

TEST_F(NetFlows, DeleteWritesEachRowsPartitionAndStopsAtARefusal)
{
    prompter.answers = {Answer::Yes};
    flows.remove.rows = {remote("a.nc", "U盘"), remote("b.nc", "U盘"), remote("O00001.txt", "USER")};
    ASSERT_TRUE(flows.remove.start());
    EXPECT_EQ(port.take(), "scd usb \r\n");
    feed({"scdok"});
    EXPECT_EQ(port.take(), "sdel a.nc \r\n");
    feed({"x" + one(net::kAck)});  // other bytes before the answer are ignored
    EXPECT_EQ(port.take(), "scd  usb \r\n");
    feed({"scdok", one(net::kAck)});
    EXPECT_EQ(port.take(), "sdel b.nc \r\nscd USER \r\n");
    feed({"scdok", one(net::kDle)});
    EXPECT_EQ(flows.remove.rows.size(), 1u);
    EXPECT_EQ(prompter.shown.back(),
              "Delete file error O00001.txt: Not enough right or in used!  Please setup the CNC.");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

// ---------------------------------------------------------------- receive

TEST_F(NetFlows, ReceiveReassemblesFramesAndKeepsOnlyCompleteFiles)
{
    struct Case {
        int size;
        int announced;
        bool complete;
    };
    const Case cases[] = {{0, 0, true}, {2047, 2047, true}, {2048, 2048, true}, {4095, 4095, true}, {2047, 3000, false}};
    for (const Case& c : cases) {
        port.take();
        const QByteArray data = patterned(c.size);
        const QString name = QStringLiteral("O%1_%2.txt").arg(c.size).arg(c.announced);
        flows.receive.rows = {remote(name, "USER")};
        ASSERT_TRUE(flows.receive.start(dir.path()));
        EXPECT_EQ(port.take(), "scd USER \r\n");
        feed({"scdok\r\n"});
        EXPECT_EQ(port.take(), "sul " + name.toLatin1() + " \r\n");
        feed({"sulok ", QByteArray::number(c.announced) + "\r\n"});
        EXPECT_EQ(port.take(), one(net::kAck));
        // Reads that do not follow the frame boundaries.
        const QByteArray stream = controllerFrames(data) + one(net::kEot);
        for (qsizetype pos = 0; pos < stream.size(); pos += 1000)
            flows.onBytes(stream.mid(pos, 1000));
        EXPECT_EQ(port.take(), QByteArray(net::framesFor(c.size), net::kAck)) << c.size;
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        const QString path = dir.filePath(name);
        if (c.complete) {
            EXPECT_EQ(flows.receive.rows[0].state, "Received") << c.size;
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), data);
        } else {
            EXPECT_EQ(flows.receive.rows[0].state, "Error");
            EXPECT_FALSE(QFile::exists(path));
        }
    }
    // Only the temporary files' final names may be left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST_F(NetFlows, ReceiveTakesEotInsideAFrameAsData)
{
    QByteArray data(3000, 'a');
    data[0] = net::kEot;
    data[2047] = net::kEot;  // the first byte of the second frame's payload
    flows.receive.rows = {remote("O00003.txt", "USER")};
    ASSERT_TRUE(flows.receive.start(dir.path()));
    feed({"scdok", "sulok 3000"});
    EXPECT_EQ(port.take(), "scd USER \r\nsul O00003.txt \r\n");  // the size may go on: wait
    flows.receive.onTimer(nettimers::kReplyGather);
    EXPECT_EQ(port.take(), one(net::kAck));
    flows.onBytes(controllerFrames(data));
    flows.onBytes(one(net::kEot));
    EXPECT_EQ(flows.receive.rows[0].state, "Received");
    QFile f(dir.filePath("O00003.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), data);
}

TEST_F(NetFlows, ReceiveRefusesNamesThatLeaveTheFolderAndNamesRefusals)
{
    flows.receive.rows = {remote("../evil.txt", "USER"), remote("a.txt", "SYS"), remote("b.txt", "U盘")};
    ASSERT_TRUE(flows.receive.start(dir.path()));
    EXPECT_EQ(flows.receive.rows[0].state, "Unable to create file");
    EXPECT_EQ(port.take(), "scd SYS \r\n");
    feed({"scdok", one(net::kDle)});
    EXPECT_EQ(flows.receive.rows[1].state, "Not enough right or not right or alarm ");
    EXPECT_EQ(port.take(), "sul a.txt \r\nscd  usb \r\n");
    feed({"scdok", one(net::kCan)});
    EXPECT_EQ(flows.receive.rows[2].state, "Error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("../evil.txt")));
}

TEST_F(NetFlows, ReceiveStopAnswersTheNextFrameWithCanOrDropsTheLink)
{
    flows.receive.rows = {remote("O00004.txt", "USER")};
    ASSERT_TRUE(flows.receive.start(dir.path()));
    feed({"scdok", "sulok 5000\r\n"});
    port.take();
    const QByteArray frames = controllerFrames(patterned(5000));
    flows.onBytes(frames.left(2048));
    flows.stop();
    EXPECT_TRUE(port.timerRunning(nettimers::kForcedEnd));
    flows.onBytes(frames.mid(2048, 2048));
    EXPECT_EQ(port.take(), one(net::kAck) + one(net::kCan));
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(port.timerRunning(nettimers::kForcedEnd));
    EXPECT_FALSE(QFile::exists(dir.filePath("O00004.txt")));
    EXPECT_EQ(observer.drops, 0);

    // The controller stays silent: the forced end drops the link.
    ASSERT_TRUE(flows.receive.start(dir.path()));
    feed({"scdok", "sulok 5000\r\n"});
    flows.stop();
    flows.onTimer(nettimers::kForcedEnd);
    EXPECT_EQ(observer.drops, 1);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(QFile::exists(dir.filePath("O00004.txt")));
}

TEST_F(NetFlows, LossOfTheLinkEndsTheReceiveWithoutAFile)
{
    flows.receive.rows = {remote("O00005.txt", "USER")};
    ASSERT_TRUE(flows.receive.start(dir.path()));
    feed({"scdok", "sulok 5000\r\n", controllerFrames(patterned(5000)).left(3000)});
    flows.linkLost();
    EXPECT_EQ(observer.drops, 1);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(port.timerRunning(nettimers::kReceiveStats));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

// ---------------------------------------------------------------- send

TEST_F(NetFlows, SendStreamsPaddedFramesThenEot)
{
    for (int size : {0, 2047, 2048, 4095}) {
        port.take();
        const QByteArray data = patterned(size);
        const QString path = writeFile(QStringLiteral("s%1.nc").arg(size), data);
        flows.send.rows = {makeSendRow(path, QStringLiteral("s.nc"), size, TargetArea::Sys, QStringLiteral("unsend"))};
        ASSERT_TRUE(flows.send.start());
        EXPECT_EQ(port.take(), "scd SYS \r\n");
        feed({"scd", "ok"});
        EXPECT_EQ(port.take(), "sdl s.nc " + QByteArray::number(size) + " \r\n");
        feed({"sdlok\r\n"});
        QByteArray sent = port.take();
        while (!sent.endsWith(" \r\n")) {
            flows.onBytes(one(net::kAck));
            sent += port.take();
        }
        // The EOT, then the partition again: its answer proves the controller read the EOT.
        EXPECT_EQ(flows.send.rows[0].state, "unsend") << size;
        const QByteArray proof = "scd SYS \r\n";
        ASSERT_TRUE(sent.endsWith(one(net::kEot) + proof)) << size;
        sent.chop(proof.size());
        feed({"scdok\r\n"});
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        const qint64 frames = net::framesFor(size);
        ASSERT_EQ(sent.size(), frames * 2048 + 1) << size;
        EXPECT_EQ(sent.back(), net::kEot);
        QByteArray payload;
        for (qint64 i = 0; i < frames; ++i) {
            EXPECT_EQ(sent[i * 2048], net::kSoh);
            payload += sent.mid(i * 2048 + 1, 2047);
        }
        EXPECT_EQ(payload.left(size), data);
        EXPECT_EQ(payload.mid(size), QByteArray(payload.size() - size, '\0'));
        EXPECT_EQ(flows.send.rows[0].state, "sent");
        // The packets field counts 128-byte blocks on this link too, in step with the progress.
        const int blocks = std::max(1, (size + 127) / 128);
        EXPECT_EQ(flows.send.stats.packetsText(), QStringLiteral("%1/%1").arg(blocks)) << size;
    }
}

TEST_F(NetFlows, SendExistingNameChoices)
{
    struct Case {
        Answer answer;
        std::optional<QString> newName;
        QByteArray written;
        bool streams;
    };
    const Case cases[] = {
        {Answer::Yes, std::nullopt, one(net::kAck), true},
        {Answer::No, QStringLiteral("O7.nc"), one(net::kNak) + "<30>sdl O00007.txt 10 \r\n", true},
        {Answer::No, std::nullopt, one(net::kCan), false},
        {Answer::Cancel, std::nullopt, one(net::kCan), false},
    };
    for (const Case& c : cases) {
        const QString path = writeFile(QStringLiteral("O1.nc"), QByteArray(10, 'z'));
        flows.send.rows = {makeSendRow(path, QStringLiteral("O1.nc"), 10, TargetArea::User, QStringLiteral("unsend"))};
        prompter.answers = {c.answer};
        prompter.texts = {c.newName};
        ASSERT_TRUE(flows.send.start());
        feed({"scdok"});
        port.steps.clear();
        flows.onBytes(one(net::kEsc));
        EXPECT_EQ(port.script(), c.written);
        if (c.streams) {
            flows.onBytes("sdlok");
            EXPECT_EQ(port.take().right(2048).left(11), "\x01zzzzzzzzzz");
            flows.onBytes(one(net::kAck));
            flows.onBytes("scdok\r\n");
            EXPECT_EQ(flows.send.rows[0].state, "sent");
        }
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        port.take();
    }
    EXPECT_EQ(flows.send.rows[0].targetName, "O00001.txt");
}

TEST_F(NetFlows, SendRefusals)
{
    struct Case {
        char reply;
        Answer answer;
        QString state;
        QString shown;
    };
    const Case cases[] = {
        {net::kDle, Answer::Yes, "Send Fail", {}},
        {net::kCan, Answer::Yes, "error", {}},
        {net::kSub, Answer::Yes, "error", "Send file Error : Not suit the system!\n Please make sure the selection suit with the system."},
        {net::kFs, Answer::Yes, "unsend", "number of file over 400"},
    };
    for (const Case& c : cases) {
        prompter.shown.clear();
        prompter.asked.clear();
        const QString path = writeFile(QStringLiteral("r.nc"), "abc");
        flows.send.rows = {makeSendRow(path, QStringLiteral("r.nc"), 3, TargetArea::Usb, QStringLiteral("unsend"))};
        prompter.answers = {c.answer};
        ASSERT_TRUE(flows.send.start());
        EXPECT_EQ(port.take(), "scd usb \r\n");
        feed({"scdok"});
        port.take();
        flows.onBytes(one(net::kAck));  // any other first byte is ignored
        EXPECT_EQ(state.operation, OperationState::OpNetSend);
        flows.onBytes(one(c.reply));
        EXPECT_EQ(flows.send.rows[0].state, c.state);
        if (!c.shown.isEmpty()) {
            EXPECT_EQ(prompter.shown, std::vector<QString>{c.shown});
        }
        if (c.reply == net::kDle) {
            EXPECT_TRUE(prompter.asked.at(0).startsWith("Send file Error " + path));
        }
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_TRUE(port.timers.empty());
        EXPECT_TRUE(port.take().isEmpty());
    }
}

TEST_F(NetFlows, SendEndsCleanlyOnARefusedPartitionATimeOutAndStop)
{
    const QString path = writeFile(QStringLiteral("t.nc"), QByteArray(5000, 't'));
    flows.send.rows = {makeSendRow(path, QStringLiteral("t.nc"), 5000, TargetArea::Sys, QStringLiteral("unsend"))};
    ASSERT_TRUE(flows.send.start());
    feed({"scdno"});
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(port.timers.empty());
    // The row and the log say why, not a bare "error".
    EXPECT_EQ(flows.send.rows[0].state, "CNC refused area SYS");
    ASSERT_FALSE(observer.logs.empty());
    EXPECT_EQ(observer.logs.back().first, LogEntry::Failed);
    EXPECT_EQ(observer.logs.back().second, path + ": CNC refused area SYS (scdno)");

    ASSERT_TRUE(flows.send.start());
    for (int i = 0; i < 8; ++i)
        flows.onTimer(nettimers::kSendReply);
    EXPECT_EQ(state.operation, OperationState::OpNetSend);
    flows.onTimer(nettimers::kSendReply);
    EXPECT_EQ(prompter.shown.back(), "Time out (waiting for the CNC's answer)");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    port.take();
    ASSERT_TRUE(flows.send.start());
    feed({"scdok", "sdlok"});
    port.take();
    flows.stop();
    EXPECT_TRUE(port.timerRunning(nettimers::kSendForcedEnd));
    flows.onBytes(one(net::kAck));
    EXPECT_EQ(port.take(), one(net::kCan));
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(port.timerRunning(nettimers::kSendForcedEnd));
}

TEST_F(NetFlows, IdleBytesAreDropped)
{
    flows.onBytes(one(net::kAck));
    flows.onBytes("sdlok");
    EXPECT_TRUE(port.take().isEmpty());
}

TEST_F(NetFlows, SendAsksWhenAFileCannotBeOpenedAndEndsOnLossOfTheLink)
{
    const QString good = writeFile(QStringLiteral("g.nc"), QByteArray(3000, 'g'));
    flows.send.rows = {makeSendRow(dir.filePath("missing.nc"), QStringLiteral("m.nc"), 1, TargetArea::Sys, QStringLiteral("unsend")),
                       makeSendRow(good, QStringLiteral("g.nc"), 3000, TargetArea::Sys, QStringLiteral("unsend"))};
    prompter.answers = {Answer::No};  // go on with the next row
    ASSERT_TRUE(flows.send.start());
    feed({"scdok"});
    EXPECT_EQ(flows.send.rows[0].state, "Unable to open file");
    EXPECT_TRUE(prompter.asked.at(0).startsWith("File can not be open: "));
    EXPECT_EQ(port.take(), "scd SYS \r\nscd SYS \r\n");
    feed({"scdok", "sd", "lok"});
    EXPECT_EQ(port.take(), "sdl g.nc 3000 \r\n" + net::sendFrame(QByteArray(2047, 'g')));
    flows.linkLost();
    EXPECT_EQ(observer.drops, 1);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(port.timers.empty());
    flows.onBytes(one(net::kAck));  // nobody listens any more
    EXPECT_TRUE(port.take().isEmpty());
}

// ---------------------------------------------------------------- "sent" only when the controller has it

TEST_F(NetFlows, SentOnlyAfterTheControllerAnswersAfterTheEot)
{
    const QString path = writeFile(QStringLiteral("O5.nc"), patterned(3000));
    struct Case {
        const char* what;
        std::function<void()> after;  // what happens once the EOT is written
        const char* state;
        bool logsSent;
    };
    const Case cases[] = {
        {"answer", [&] { feed({"scd", "ok\r\n"}); }, "sent", true},
        {"refused partition still answers", [&] { feed({"scder\r\n"}); }, "sent", true},
        {"link lost", [&] { flows.linkLost(); }, "not confirmed by the CNC", false},
        {"silence", [&] { for (int i = 0; i < 9; ++i) flows.onTimer(nettimers::kSendReply); }, "not confirmed by the CNC", false},
    };
    for (const Case& c : cases) {
        observer.logs.clear();
        prompter.shown.clear();
        flows.send.rows = {makeSendRow(path, QStringLiteral("O5.nc"), 3000, TargetArea::User, QStringLiteral("unsend"))};
        ASSERT_TRUE(flows.send.start());
        feed({"scdok", "sdlok"});
        feed({one(net::kAck), one(net::kAck)});
        EXPECT_TRUE(port.take().endsWith(one(net::kEot) + "scd USER \r\n")) << c.what;
        EXPECT_EQ(flows.send.rows[0].state, "unsend") << c.what;
        c.after();
        EXPECT_EQ(flows.send.rows[0].state, c.state) << c.what;
        EXPECT_EQ(state.operation, OperationState::OpIdle) << c.what;
        const bool sentLogged = std::any_of(observer.logs.begin(), observer.logs.end(),
                                            [](const auto& l) { return l.first == LogEntry::Sent; });
        EXPECT_EQ(sentLogged, c.logsSent) << c.what;
        if (!c.logsSent) {
            EXPECT_EQ(observer.logs.back().first, LogEntry::Failed) << c.what;
        }
        EXPECT_TRUE(port.timers.empty()) << c.what;
        state.link = LinkType::LinkEthernet;
        port.take();
    }
    EXPECT_EQ(prompter.shown, std::vector<QString>{"Time out (waiting for the CNC to confirm the file)"});
}

TEST_F(NetFlows, VerifyAfterSendReadsTheFileBackAndComparesIt)
{
    const QByteArray data = patterned(2500);
    const QString path = writeFile(QStringLiteral("O6.nc"), data);
    QByteArray other = data;
    other[2400] = 'x';
    struct Case {
        const char* what;
        QByteArray announced;
        QByteArray stream;
        const char* state;
    };
    const Case cases[] = {
        {"same", "sulok 2500\r\n", controllerFrames(data) + one(net::kEot), "sent"},
        {"one byte differs", "sulok 2500\r\n", controllerFrames(other) + one(net::kEot), "verify failed"},
        {"other size", "sulok 2499\r\n", {}, "verify failed"},
        {"cut short", "sulok 2500\r\n", controllerFrames(data).left(2048) + one(net::kCan), "verify failed"},
        {"refused", one(net::kDle), {}, "verify failed"},
    };
    flows.send.verify = true;
    for (const Case& c : cases) {
        flows.send.rows = {makeSendRow(path, QStringLiteral("O6.nc"), 2500, TargetArea::User, QStringLiteral("unsend"))};
        ASSERT_TRUE(flows.send.start());
        feed({"scdok", "sdlok", one(net::kAck), one(net::kAck)});
        port.take();
        feed({"scdok\r\n"});
        EXPECT_EQ(port.take(), "sul O00006.txt \r\n") << c.what;
        EXPECT_EQ(flows.send.rows[0].state, "unsend") << c.what;
        feed({c.announced});
        for (qsizetype pos = 0; pos < c.stream.size(); pos += 700)
            flows.onBytes(c.stream.mid(pos, 700));
        EXPECT_EQ(flows.send.rows[0].state, c.state) << c.what;
        EXPECT_EQ(state.operation, OperationState::OpIdle) << c.what;
        EXPECT_TRUE(port.timers.empty()) << c.what;
        port.take();
    }
}

