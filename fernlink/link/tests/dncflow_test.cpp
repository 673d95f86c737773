// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/dncflow.h"
#include "fernlink/link/ethernetprotocol.h"
#include "serialcore/dncrestart.h"

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

// ---------------------------------------------------------------- DNC

namespace {

struct Dnc : ::testing::Test {
    FakeLinkPort serial;
    FakeLinkPort net;
    ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
    HookedPrompter prompter;
    Recorder observer;
    DncFlow dnc{serial, net, state, prompter, observer};
    QTemporaryDir dir;

    DncDocument document(const QByteArray& data)
    {
        const QString path = dir.filePath(QStringLiteral("prog.nc"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(data);
        return {path, false, vantor::fernlink::net::lineCount(data), data.isEmpty()};
    }
    bool start(const QByteArray& data, const QString& line = QStringLiteral("1"))
    {
        prompter.texts = {line};
        return dnc.start(document(data));
    }
};

}  // namespace

TEST_F(Dnc, EthernetStreamsRawChunksAfterDncok)
{
    const QByteArray data = patterned(5000);
    ASSERT_TRUE(start(data));
    EXPECT_EQ(state.operation, OperationState::OpNetDnc);
    EXPECT_EQ(net.take(), QByteArray("sdnc \r\n\0", 8));
    dnc.onBytes("dnc");
    dnc.onBytes("ok");
    EXPECT_EQ(net.take(), data.left(2048));
    EXPECT_EQ(dnc.packetsText(), "1/3");  // 2048-byte chunks, not "1/0"
    EXPECT_FALSE(net.timerRunning(dnctimers::kReply));
    dnc.onBytes(one(net::kAck));
    EXPECT_EQ(net.take(), data.mid(2048, 2048));
    dnc.onBytes(one(net::kAck));
    EXPECT_EQ(net.take(), data.mid(4096));
    EXPECT_EQ(dnc.progressText(), "5000/5000  100.00%");
    EXPECT_EQ(dnc.packetsText(), "3/3");
    dnc.onBytes(one(net::kAck));
    // The EOT, then a command whose answer shows the controller read it.
    EXPECT_EQ(net.script(), "<100>" + one(net::kEot) + "<30>scd USER \r\n");
    EXPECT_EQ(state.operation, OperationState::OpNetDnc);
    EXPECT_TRUE(observer.ends.empty());
    dnc.onBytes("scdok\r\n");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(observer.ends, std::vector<bool>{true});
    EXPECT_TRUE(net.timers.empty());
}

TEST_F(Dnc, EthernetRefusalsAreReadFromTheSixthByte)
{
    const std::pair<std::vector<QByteArray>, QString> cases[] = {
        {{"xxxxx AUTO\r\n"}, "On running"},
        {{"abcde BUF", "F NOT EMPTY\r\n"}, "The DNC Buffer not empty"},
        {{"abcde"}, "Please Send it in DNC mode."},
        {{"dncno AUTOMATIC"}, "On running"},
        {{"q"}, "Please Send it in DNC mode."},
    };
    for (const auto& [reads, text] : cases) {
        prompter.shown.clear();
        ASSERT_TRUE(start("G1\n"));
        for (const QByteArray& r : reads)
            dnc.onBytes(r);
        if (state.operation != OperationState::OpIdle)
            dnc.onTimer(dnctimers::kReplyGather);  // nothing more came
        EXPECT_EQ(prompter.shown, std::vector<QString>{text});
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_TRUE(net.timers.empty());
    }
}

TEST_F(Dnc, EthernetReplyTimeOutOtherBytesAndLinkErrors)
{
    ASSERT_TRUE(start("G1\n"));
    for (int i = 0; i < 5; ++i)
        dnc.onTimer(dnctimers::kReply);
    EXPECT_TRUE(dnc.running());
    dnc.onTimer(dnctimers::kReply);
    EXPECT_EQ(prompter.shown.back(), "Error or the buffer is full");
    EXPECT_EQ(prompter.captions.back(), "DNC");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    ASSERT_TRUE(start(QByteArray(3000, 'g')));
    dnc.onBytes("dncok");
    dnc.onBytes(one(net::kNak));
    EXPECT_EQ(prompter.shown.back(), "Send file error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    ASSERT_TRUE(start("G1\n"));
    dnc.receiveError();
    EXPECT_EQ(prompter.shown.back(), "Connect  error");
    EXPECT_EQ(state.link, LinkType::LinkNone);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(observer.drops, 1);
    EXPECT_TRUE(net.timers.empty());

    state.link = LinkType::LinkEthernet;
    ASSERT_TRUE(start("G1\n"));
    dnc.closed();
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(net.timers.empty());  // no late reply time-out on an idle page
    EXPECT_EQ(observer.drops, 2);
}

TEST_F(Dnc, StopAsksAndWritesCanOnlyOnYes)
{
    ASSERT_TRUE(start("G1\nG2\n"));
    dnc.onBytes("dncok");
    net.take();
    prompter.answers = {Answer::No};
    dnc.stop();
    EXPECT_TRUE(dnc.running());
    EXPECT_TRUE(net.take().isEmpty());
    prompter.answers = {Answer::Yes};
    dnc.stop();
    EXPECT_FALSE(dnc.running());
    EXPECT_EQ(net.script(), "<100>" + one(net::kCan));
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST_F(Dnc, StartChecksAndStartLines)
{
    state.link = LinkType::LinkNone;
    EXPECT_FALSE(start("G1\n"));
    EXPECT_EQ(prompter.shown.back(), "Please Connect to CNC");
    state.link = LinkType::LinkEthernet;
    DncDocument doc = document("G1\n");
    doc.modified = true;
    EXPECT_FALSE(dnc.start(doc));
    EXPECT_EQ(prompter.shown.back(), "Please save file");
    EXPECT_FALSE(start("G1\nG2\n", QStringLiteral("3")));
    EXPECT_EQ(prompter.shown.back(), "The  number too big");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    const QByteArray text = "G1\nG22\nG333";
    const std::pair<QString, QByteArray> cases[] = {{"1", text}, {"2", "G22\nG333"}, {"3", "G333"}};
    for (const auto& [line, streamed] : cases) {
        ASSERT_TRUE(start(text, line));
        EXPECT_EQ(dnc.total(), streamed.size());
        net.take();
        dnc.onBytes("dncok");
        EXPECT_EQ(net.take(), streamed);
        prompter.answers = {Answer::Yes};
        dnc.stop();
    }
}

TEST_F(Dnc, SerialStreamStartsAtTheControllersCAndCountsPackets)
{
    state.link = LinkType::LinkSerial;
    for (const auto& [size, packets] : {std::pair{256, 3}, std::pair{300, 4}}) {
        const QByteArray data = patterned(size);
        ASSERT_TRUE(start(data));
        EXPECT_EQ(state.operation, OperationState::OpSerialDnc);
        EXPECT_TRUE(serial.take().isEmpty());  // the controller begins
        dnc.onBytes("C");
        EXPECT_EQ(dnc.packetsTotal(), packets);
        EXPECT_EQ(dnc.packetsText(), QStringLiteral("1/%1").arg(packets));
        QByteArray out = serial.take();
        EXPECT_EQ(out.size(), 133);
        EXPECT_EQ(out.mid(3, 128), data.left(128));
        dnc.onBytes("C");  // a repeated C changes nothing
        EXPECT_TRUE(serial.take().isEmpty());
        while (!out.startsWith(net::kEot)) {
            dnc.onBytes(one(net::kAck));
            out = serial.take();
        }
        EXPECT_TRUE(dnc.running());
        dnc.onBytes(one(net::kAck));
        EXPECT_FALSE(dnc.running());
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_TRUE(serial.timers.empty());
    }
}

TEST_F(Dnc, SerialTwentyFirstNakAbortsAndSilenceTimesOut)
{
    state.link = LinkType::LinkSerial;
    ASSERT_TRUE(start(patterned(300)));
    dnc.onBytes("C");
    const QByteArray frame = serial.take();
    for (int i = 0; i < 20; ++i) {
        dnc.onBytes(one(net::kNak));
        EXPECT_EQ(serial.take(), frame) << i;
    }
    EXPECT_EQ(dnc.totalErrors(), 20);
    dnc.onBytes(one(net::kNak));
    EXPECT_EQ(serial.take(), one(net::kCan));
    EXPECT_EQ(prompter.shown.back(), "Error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(serial.timers.empty());

    serial.take();
    ASSERT_TRUE(start("G1\n"));
    for (int i = 0; i < 6; ++i)
        dnc.onTimer(dnctimers::kReply);
    EXPECT_EQ(prompter.shown.back(), "Time out (waiting for the CNC to start the DNC)");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(serial.take().isEmpty());
    dnc.onBytes("C");  // too late: the stream is over
    EXPECT_TRUE(serial.take().isEmpty());
}

TEST_F(Dnc, StopHoldsTheStreamWhileAskingAndSendsNothingAfterItsEnd)
{
    const QByteArray data = patterned(5000);
    // Ethernet: ACKs that come while the question is open get no chunk until the answer.
    ASSERT_TRUE(start(data));
    dnc.onBytes("dncok");
    net.take();
    prompter.whileAsking = [&] {
        dnc.onBytes(one(net::kAck));
        EXPECT_TRUE(net.take().isEmpty());
    };
    prompter.answers = {Answer::No};
    dnc.stop();
    EXPECT_EQ(net.take(), data.mid(2048, 2048));  // No: the held ACK gets its chunk
    prompter.answers = {Answer::Yes};
    dnc.stop();
    EXPECT_EQ(net.script(), "<100>" + one(net::kCan));
    EXPECT_FALSE(dnc.running());
    net.take();

    // The link goes while the question is open: Yes sends nothing.
    ASSERT_TRUE(start(data));
    dnc.onBytes("dncok");
    net.take();
    prompter.whileAsking = [&] { dnc.closed(); };
    prompter.answers = {Answer::Yes};
    dnc.stop();
    EXPECT_TRUE(net.take().isEmpty());
    EXPECT_FALSE(dnc.cancelled());
    state.link = LinkType::LinkEthernet;

    // Serial: the EOT is out and the controller's ACK of it comes under the question.
    state.link = LinkType::LinkSerial;
    prompter.whileAsking = {};
    ASSERT_TRUE(start(patterned(100)));
    dnc.onBytes("C");
    serial.take();
    dnc.onBytes(one(net::kAck));
    EXPECT_EQ(serial.take(), one(net::kEot));
    prompter.asked.clear();
    dnc.stop();  // nothing is left to cancel: no question, no CAN
    EXPECT_TRUE(prompter.asked.empty());
    dnc.onBytes(one(net::kAck));
    EXPECT_TRUE(serial.take().isEmpty());
    EXPECT_EQ(observer.ends.back(), true);

    // Serial, mid-stream: held ACK and NAK wait for No, a CAN from the controller does not.
    ASSERT_TRUE(start(patterned(1000)));
    dnc.onBytes("C");
    const QByteArray first = serial.take();
    prompter.whileAsking = [&] { dnc.onBytes(one(net::kNak)); };
    prompter.answers = {Answer::No};
    dnc.stop();
    EXPECT_EQ(serial.take(), first);  // the NAK's resend, after the answer
    prompter.whileAsking = [&] { dnc.onBytes(one(net::kCan)); };
    prompter.answers = {Answer::Yes};
    dnc.stop();
    EXPECT_FALSE(dnc.running());
    EXPECT_FALSE(dnc.cancelled());
    EXPECT_NE(serial.take(), one(net::kCan));
}

TEST_F(Dnc, LinkLostMidStreamKeepsTheRestartPointAndOffersIt)
{
    QByteArray text = "O0007\r\nG21 G90\r\n";
    for (int i = 1; i <= 400; ++i)
        text += "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + "\r\n";
    ASSERT_TRUE(start(text, QStringLiteral("N30")));  // line 5, after the two setup lines
    const QByteArray header = "O0007\r\nG21 G90\r\n";
    ASSERT_EQ(dnc::programStartHeader(text), header);
    EXPECT_EQ(dnc.startOffset(), dnc::offsetOfLine(text, 5));
    EXPECT_EQ(dnc.total(), text.size() - dnc.startOffset() + header.size());
    dnc.onBytes("dncok");
    dnc.onBytes(one(net::kAck));  // the first 2048 bytes are in, the header among them
    const qint64 acked = 2048 - header.size();
    const qint64 line = dnc::lineAtOffset(text, dnc.startOffset() + acked);
    EXPECT_EQ(dnc.restartLine(), line);
    dnc.closed();
    EXPECT_FALSE(dnc.running());
    EXPECT_TRUE(dnc.cutByLink());
    EXPECT_EQ(prompter.shown.back(), message(Msg::DncLinkLost, Language::English).arg(line));
    ASSERT_FALSE(observer.logs.empty());
    EXPECT_EQ(observer.logs.back().first, LogEntry::Failed);
    EXPECT_TRUE(observer.logs.back().second.contains(QString::number(line)));
    EXPECT_EQ(dnc.restartPoint().line, line);

    // The next start of the same program offers the point; Yes streams from that line.
    state.link = LinkType::LinkEthernet;
    prompter.answers = {Answer::Yes};
    prompter.texts = {};
    net.take();
    ASSERT_TRUE(dnc.start(document(text)));
    EXPECT_TRUE(prompter.asked.back().contains(QString::number(line)));
    net.take();
    dnc.onBytes("dncok");
    const QByteArray expected = header + text.mid(dnc::offsetOfLine(text, line));
    EXPECT_EQ(net.take(), expected.left(2048));
}

TEST(DncRestart, StartPointsBlocksLinesAndHeaders)
{
    const QByteArray program = "%\r\nO1234\r\n(SETUP)\r\nG21 G90 G17\r\nT0101 M06\r\nS800 M03\r\nN10 G00 X10 Z5\r\n"
                               "N20 G01 X20\r\n/N30 G01 X30\r\n  n0040 X40\r\nM30\r\n%\r\n";
    struct Point {
        const char* typed;
        std::optional<qint64> line;
    };
    const Point points[] = {{"7", 7}, {"N20", 8}, {" n30 ", 9}, {"N40", 10}, {"N50", std::nullopt}, {"0", std::nullopt},
                            {"X10", std::nullopt}, {"", std::nullopt}};
    for (const Point& p : points) {
        const auto sp = dnc::parseStartPoint(QString::fromLatin1(p.typed));
        std::optional<qint64> line;
        if (sp && sp->line > 0)
            line = sp->line;
        else if (sp)
            line = dnc::lineOfBlock(program, sp->block);
        EXPECT_EQ(line, p.line) << p.typed;
    }
    // The setup before the first motion, without the tape marks and the program end.
    EXPECT_EQ(dnc::programStartHeader(program), "O1234\r\n(SETUP)\r\nG21 G90 G17\r\nT0101 M06\r\nS800 M03\r\n");
    EXPECT_EQ(dnc::restartHeader(program, 1, dnc::HeaderMode::ProgramStart, {}), QByteArray());
    EXPECT_EQ(dnc::restartHeader(program, 8, dnc::HeaderMode::None, {}), QByteArray());
    EXPECT_EQ(dnc::restartHeader(program, 8, dnc::HeaderMode::Custom, "G54 M08"), "G54 M08\r\n");
    // Lines and offsets agree, long lines counting as several.
    for (qint64 line = 1; line <= 12; ++line)
        EXPECT_EQ(dnc::lineAtOffset(program, dnc::offsetOfLine(program, line)), line) << line;
    const QByteArray longLine = QByteArray(2000, 'x') + "\ny\n";
    EXPECT_EQ(dnc::lineAtOffset(longLine, 1500), 2);
    EXPECT_EQ(dnc::lineAtOffset(longLine, 2001), 3);
    EXPECT_EQ(dnc::offsetOfLine(longLine, 3), net::dncStartOffset(longLine, 3));
}
