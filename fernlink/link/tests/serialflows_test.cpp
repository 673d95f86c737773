// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/serialflows.h"

#include "serialcore/serialwire.h"
#include "common/testing/testfiles.h"
#include "serialcore/tests/fakelinkport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernlink;
using vantor::testing::FakeLinkPort;

namespace {

struct Flows : ::testing::Test {
    FakeLinkPort port;
    ProgramState state{OperationState::OpIdle, LinkType::LinkSerial, Language::English};
    ScriptedPrompter prompter;
    FlowObserver observer;
    SerialFlowSet flows{port, state, prompter, observer};
    QTemporaryDir dir;

    QString writeFile(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        vantor::testing::writeFile(path, data);  // fails the test when the file cannot be made
        return path;
    }
};

}  // namespace

TEST_F(Flows, SendWaitsForThePromptThenDownloadsAndSends)
{
    const QString path = writeFile(QStringLiteral("O12.nc"), QByteArray(130, 'x'));
    flows.send.rows.push_back(makeSendRow(path, QStringLiteral("O12.nc"), 130, TargetArea::User, QStringLiteral("unsend")));
    EXPECT_EQ(flows.send.rows[0].targetName, "O00012.txt");
    ASSERT_TRUE(flows.send.start());
    EXPECT_EQ(state.operation, OperationState::OpSerialSend);
    EXPECT_EQ(port.take(), "\nxcd user\n");
    flows.onBytes("\r\nsys>");  // the wrong partition: asked again
    EXPECT_EQ(port.take(), "\nxcd user\n");
    flows.onBytes("\r\nuser>");
    EXPECT_EQ(port.take(), "xdl O00012.txt -t\n");
    flows.onBytes("C");
    EXPECT_EQ(port.take().size(), 133);
    flows.onBytes(QByteArray(1, wire::kAck));
    EXPECT_EQ(port.take().size(), 133);
    flows.onBytes(QByteArray(1, wire::kAck));
    EXPECT_EQ(port.take(), QByteArray(1, wire::kEot));
    flows.onBytes(QByteArray(1, wire::kAck));
    EXPECT_EQ(flows.send.rows[0].state, "sent");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(flows.send.stats.progressText(), "130/130  100.00%");
}

TEST_F(Flows, SendAsksAboutUnsendableRowsAndNamesRefusals)
{
    const QString bad = writeFile(QStringLiteral("prog.txt"), "a");
    const QString good = writeFile(QStringLiteral("O1.txt"), "b");
    flows.send.rows.push_back(makeSendRow(bad, QStringLiteral("prog.txt"), 1, TargetArea::User, QStringLiteral("unsend")));
    flows.send.rows.push_back(makeSendRow(good, QStringLiteral("O1.txt"), 1, TargetArea::User, QStringLiteral("unsend")));
    EXPECT_FALSE(flows.send.rows[0].sendable);
    prompter.answers = {Answer::Yes, Answer::No};  // skip the bad row; then end at the refusal
    ASSERT_TRUE(flows.send.start());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].startsWith("Incorrect file name"));
    flows.onBytes("user>");
    port.take();
    flows.onBytes(QByteArray(1, wire::kEsc));  // the controller holds the name; No = rename; none given
    EXPECT_EQ(port.take(), QByteArray(1, wire::kCan));
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(flows.send.rows[1].state, "unsend");
}

// The row keeps the controller's short state text in the program's language; the question
// that follows names every reason 0x10 stands for (MDI mode, an alarm, a file in use).
TEST_F(Flows, ARowRefusedWithDleIsMarkedInTheProgramsLanguage)
{
    const QString good = writeFile(QStringLiteral("O1.txt"), "b");
    const std::pair<Language, QString> cases[] = {
        {Language::English, QStringLiteral("Not enough right!")},
        {Language::Chinese, QString::fromUtf8("权限不够")},
    };
    for (const auto& [language, text] : cases) {
        state.language = language;
        flows.send.rows = {makeSendRow(good, QStringLiteral("O1.txt"), 1, TargetArea::User, QStringLiteral("unsend"))};
        prompter.answers = {Answer::Yes};  // Yes ends the send
        ASSERT_TRUE(flows.send.start());
        flows.onBytes(language == Language::English ? "user>" : "\r\nuser>");
        EXPECT_EQ(port.take().right(18), "xdl O00001.txt -t\n");
        flows.onBytes(QByteArray(1, wire::kDle));
        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_EQ(flows.send.rows[0].state, text);
    }
}

TEST_F(Flows, SendTimesOutAfterNineSeconds)
{
    const QString good = writeFile(QStringLiteral("O1.txt"), "b");
    flows.send.rows.push_back(makeSendRow(good, QStringLiteral("O1.txt"), 1, TargetArea::User, QStringLiteral("unsend")));
    ASSERT_TRUE(flows.send.start());
    for (int i = 0; i < 9; ++i)
        flows.onTimer(timers::kSendReply);
    EXPECT_EQ(prompter.shown.back(), "Time out (waiting for the CNC's answer)");
    EXPECT_EQ(flows.send.rows[0].state, "error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST_F(Flows, ListReadsUserThenSysAndDropsSystemFiles)
{
    ASSERT_TRUE(flows.list.start());
    EXPECT_EQ(port.take(), "\nxcd user\nxls\n");
    flows.onBytes("user>1: O00001.txt\t 12\r\n2: para.val\t 5\r\n");
    flows.onBytes(QByteArray(1, wire::kCan));
    EXPECT_EQ(port.take(), "\nxcd sys\nxls\n");
    flows.onBytes(QByteArray("sys>1: back.bak\t 7\r\n") + wire::kCan);
    ASSERT_EQ(flows.list.rows.size(), 2u);
    EXPECT_EQ(flows.list.rows[0].name, "O00001.txt");
    EXPECT_EQ(flows.list.rows[0].partition, "user");
    EXPECT_EQ(flows.list.rows[1].name, "back.bak");
    EXPECT_EQ(flows.list.rows[1].size, "7");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST_F(Flows, SecondOperationIsRefusedWithTheRunningOnesText)
{
    ASSERT_TRUE(flows.list.start());
    flows.send.rows.push_back(makeSendRow(QStringLiteral("x"), QStringLiteral("O1.txt"), 1, TargetArea::User, QStringLiteral("unsend")));
    EXPECT_FALSE(flows.send.start());
    EXPECT_EQ(prompter.shown.back(), " Can't send it during the get list process. ");
}

TEST_F(Flows, ReceivedFileAppearsOnlyWhenCompleteAndNamesCannotLeaveTheFolder)
{
    flows.receive.rows.push_back({QStringLiteral("../evil"), QStringLiteral("3"), QStringLiteral("user"), {}, true});
    flows.receive.rows.push_back({QStringLiteral("O00001.txt"), QStringLiteral("3"), QStringLiteral("user"), {}, true});
    ASSERT_TRUE(flows.receive.start(dir.path()));
    EXPECT_EQ(flows.receive.rows[0].state, "Unable to create file");
    EXPECT_EQ(port.take(), "\nxcd user\n");
    flows.onBytes("user>");
    EXPECT_EQ(port.take(), "\nxul O00001.txt -t\n");
    flows.onTimer(CXModem::kStartTimerId);
    EXPECT_EQ(port.take(), "C");
    flows.onBytes(CXModem::buildFrame(1, "abc"));
    EXPECT_EQ(port.take(), QByteArray(1, wire::kAck));
    EXPECT_FALSE(QFile::exists(dir.filePath("O00001.txt")));
    flows.onBytes(QByteArray(1, wire::kEot));
    QFile f(dir.filePath("O00001.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("abc"));  // the listing said 3 bytes: the padding is not the file's
    EXPECT_EQ(flows.receive.rows[1].state, "Received");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(QDir(dir.path()).exists("../evil"));
}

TEST_F(Flows, AbortedReceiveLeavesNoFile)
{
    flows.receive.rows.push_back({QStringLiteral("O00002.txt"), QString(), QStringLiteral("user"), {}, true});
    ASSERT_TRUE(flows.receive.start(dir.path()));
    flows.onBytes("user>");
    flows.onBytes(CXModem::buildFrame(1, "abc"));
    flows.onBytes(QByteArray(1, wire::kCan));
    EXPECT_EQ(flows.receive.rows[0].state, "Error");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

TEST_F(Flows, DeleteRemovesAcknowledgedRowsAndStopsAtARefusal)
{
    prompter.defaultAnswer = Answer::Yes;
    flows.remove.rows.push_back({QStringLiteral("O00001.txt"), {}, QStringLiteral("user"), {}, true});
    flows.remove.rows.push_back({QStringLiteral("O00002.txt"), {}, QStringLiteral("user"), {}, true});
    ASSERT_TRUE(flows.remove.start());
    flows.onBytes("user>");
    EXPECT_EQ(port.take(), "\nxcd user\nxdel O00001.txt\n");
    flows.onBytes(QByteArray(1, wire::kAck));
    ASSERT_EQ(flows.remove.rows.size(), 1u);
    flows.onBytes("user>");
    flows.onBytes(QByteArray(1, wire::kDle));
    EXPECT_EQ(prompter.shown.back(), "Delete file error O00002.txt: Not enough right or in used!  Please setup the CNC.");
    EXPECT_EQ(prompter.captions.back(), "Delete file");
    EXPECT_EQ(prompter.captions.front(), "Delete file");  // the question before the delete
    EXPECT_EQ(flows.remove.rows.size(), 1u);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST(TransferStatistics, FiguresAsEveryFrontEndShowsThem)
{
    TransferStatistics s;
    s.start(1000, TransferDirection::Send);
    EXPECT_EQ(s.packetsText(), "0/8");
    EXPECT_EQ(s.remainingText(), "");
    s.setProgress(256, 2);
    s.tick();
    EXPECT_EQ(s.packetsText(), "2/8");
    EXPECT_EQ(s.progressText(), "256/1000  25.60%");
    EXPECT_EQ(s.speedText(), "0.25 KB/s");
    EXPECT_EQ(s.elapsedText(), "00:00:01");
    EXPECT_EQ(s.remainingText(), "00:00:02");
    EXPECT_EQ(TransferStatistics::formatDuration(360000 + 61), "100:01:01");
    s.start(0, TransferDirection::Receive);
    EXPECT_EQ(s.packetsText(), "0/1");
    EXPECT_EQ(s.progressText(), "0/0  100.00%");
}

TEST_F(Flows, StopDuringAReceiveCancelsAndLeavesNoFile)
{
    flows.receive.rows.push_back({QStringLiteral("O00003.txt"), QStringLiteral("300"), QStringLiteral("user"), {}, true});
    ASSERT_TRUE(flows.receive.start(dir.path()));
    flows.onBytes("user>");
    flows.onBytes(CXModem::buildFrame(1, QByteArray(128, 'q')));
    port.take();
    flows.stop();
    EXPECT_EQ(port.script(), "C<100>" + QByteArray(1, wire::kCan) + "<100><purge><10><20><purge><20>");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(Flows, NameTooLongForTheControllerFailsTheRow)
{
    const QString path = writeFile(QStringLiteral("long.bak"), "z");
    SendRow row = makeSendRow(path, QString(40, QLatin1Char('n')), 1, TargetArea::Sys, QStringLiteral("unsend"));
    flows.send.rows.push_back(row);
    ASSERT_TRUE(flows.send.start());
    flows.onBytes("sys>");
    EXPECT_EQ(flows.send.rows[0].state, "error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_FALSE(port.written().contains("xdl"));
}

TEST(SerialReceiveFlow, OnlyThePaddingTheListingAnnouncedIsCut)
{
    const QByteArray padded = QByteArray("xy") + QByteArray(126, 0x1A);
    struct Case { qint64 received; QByteArray last; const char* size; qsizetype kept; };
    const Case cases[] = {
        {128, padded, "2", 2},
        {256, padded, "130", 2},                                // second block
        {256, padded, "", 128},                                 // no size known: nothing is cut
        {256, padded, "100", 128},                              // bigger than announced: kept whole
        {256, padded, "256", 128},
        {256, QByteArray(128, 'z'), "200", 128},                // not padding: kept whole
        {128, padded, "abc", 128},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SerialReceiveFlow::keptOfLastBlock(c.received, c.last, QString::fromLatin1(c.size)), c.kept)
            << c.received << " " << c.size;
}

TEST_F(Flows, FileReceivedAfterAListingHasTheAnnouncedSize)
{
    ASSERT_TRUE(flows.list.start());
    port.take();
    flows.onBytes(QByteArray("xls\r\n1: O00007.txt\t 200\r\n") + wire::kCan);
    port.take();
    flows.onBytes(QByteArray(1, wire::kCan));
    ASSERT_EQ(flows.list.rows.size(), 1u);
    flows.receive.rows = flows.list.rows;
    flows.receive.rows[0].selected = true;
    ASSERT_TRUE(flows.receive.start(dir.path()));
    flows.onBytes("user>");
    port.take();
    const QByteArray program = QByteArray(200, 'G');
    flows.onBytes(CXModem::buildFrame(1, program.first(128)));
    flows.onBytes(CXModem::buildFrame(2, program.sliced(128)));
    flows.onBytes(QByteArray(1, wire::kEot));
    EXPECT_EQ(flows.receive.rows[0].state, "Received");
    EXPECT_EQ(vantor::testing::readFile(dir.filePath("O00007.txt")), program);
}

TEST_F(Flows, ReceiveAsksForTheStartQuicklyThenEverySecondUpToFifty)
{
    flows.receive.rows.push_back({QStringLiteral("O00001.txt"), QStringLiteral("3"), QStringLiteral("user"), {}, true});
    state.operation = OperationState::OpIdle;
    ASSERT_TRUE(flows.receive.start(dir.path()));
    flows.onBytes("user>");
    port.take();
    EXPECT_EQ(port.timers[CXModem::kStartTimerId], 500);
    int requests = 0;
    for (int i = 0; i < 10; ++i) {
        flows.onTimer(CXModem::kStartTimerId);
        requests += int(port.take().count('C'));
    }
    EXPECT_EQ(requests, 10);
    EXPECT_EQ(port.timers[CXModem::kStartTimerId], 1000);
    for (int i = 0; i < 50; ++i) {
        flows.onTimer(CXModem::kStartTimerId);
        requests += int(port.take().count('C'));
    }
    EXPECT_EQ(requests, 60);
    EXPECT_EQ(state.operation, OperationState::OpSerialReceive);
    flows.onTimer(CXModem::kStartTimerId);  // one period after the last request it gives up
    EXPECT_EQ(flows.receive.rows[0].state, "Error");
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST_F(Flows, NameTheControllerCannotHoldIsAskedAboutAndNeverSent)
{
    const QString path = writeFile(QStringLiteral("pruef.bak"), "a");
    flows.send.rows.push_back(makeSendRow(path, QStringLiteral("präf.bak"), 1, TargetArea::Sys, QStringLiteral("unsend")));
    EXPECT_FALSE(flows.send.rows[0].sendable);
    prompter.answers = {Answer::Yes};  // skip it
    flows.send.start();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].startsWith("präf.bak holds characters that the CNC's code page (GBK) can not hold"))
        << prompter.asked[0].toStdString();
    EXPECT_EQ(prompter.captions[0], "Tip");
    EXPECT_FALSE(port.take().contains("xdl"));
    EXPECT_EQ(state.operation, OperationState::OpIdle);
}

TEST_F(Flows, ListTimeOutAndLongListings)
{
    ASSERT_TRUE(flows.list.start());
    for (int i = 0; i < 10; ++i)
        flows.onTimer(timers::kList);
    EXPECT_EQ(prompter.shown.back(), "Time out (waiting for the CNC's file list)");
    EXPECT_EQ(prompter.captions.back(), "Get flie list");
    EXPECT_EQ(state.operation, OperationState::OpIdle);

    // A listing longer than the 100000-byte buffer keeps its first part instead of failing.
    ASSERT_TRUE(flows.list.start());
    QByteArray listing = "xls\r\n";
    for (int i = 1; listing.size() < 120000; ++i)
        listing += QByteArray("1: O") + QByteArray::number(10000 + i) + ".txt\t 99\r\n";
    flows.onBytes(listing);
    flows.onBytes(QByteArray(1, wire::kCan));
    flows.onBytes(QByteArray("sys>1: back.bak\t 7\r\n") + wire::kCan);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    ASSERT_GT(flows.list.rows.size(), 4000u);
    EXPECT_LE(flows.list.rows.size(), 100000u / 19 + 1);  // 19-byte lines, and the one of sys
    EXPECT_EQ(flows.list.rows.front().name, "O10001.txt");
    EXPECT_EQ(flows.list.rows.back().name, "back.bak");
    EXPECT_EQ(prompter.shown.size(), 1u);  // no error this time
}
