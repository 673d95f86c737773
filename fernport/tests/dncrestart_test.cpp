// SPDX-License-Identifier: GPL-3.0-or-later
// DNC from a chosen line or N block, with the safe header first, and what an interrupted
// run leaves: its window, the restart point (kept across sessions, offered at the next
// start), the log line.
#include "fernport/dnclog.h"
#include "fernport/dncstart.h"
#include "fernport/mainframe.h"
#include "fernport/tests/windowonline.h"

#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"
#include "common/ui/nceditor.h"
#include "serialcore/xmodem.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QDir>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernport;
using vantor::testing::PtyPair;
using vantor::testing::readFile;
using vantor::testing::waitUntil;
using vantor::testing::writeFile;

namespace {

constexpr char kXoff = 0x13;

// A program with a mode-setting start, N-numbered motion blocks and an end.
QByteArray shopProgram(int blocks, const char* eol = "\n")
{
    QByteArray p;
    for (const char* l : {"%", "O0001", "G21 G90 G17", "T1 M06", "S1000 M03"})
        p += QByteArray(l) + eol;
    for (int i = 1; i <= blocks; ++i)
        p += QByteArray("N") + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i * 3) + " Y"
             + QByteArray::number(i * 7) + " F200" + eol;
    p += QByteArray("M30") + eol + "%" + eol;
    return p;
}

QByteArray startHeader(const char* eol)
{
    return QByteArray("O0001") + eol + "G21 G90 G17" + eol + "T1 M06" + eol + "S1000 M03" + eol;
}

// The program from the line that holds `text` on.
QByteArray fromBlock(const QByteArray& program, const char* text)
{
    const qsizetype at = program.indexOf(text);
    EXPECT_GE(at, 0) << text;
    return program.mid(at);
}

QSerialPort* openPortOf(CVantorComm& comm)
{
    for (QSerialPort* p : comm.findChildren<QSerialPort*>())
        if (p->isOpen())
            return p;
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- plain logic

TEST(FernportDncStart, PlanPutsTheHeaderBeforeTheProgramFromItsStartLine)
{
    const QByteArray crlf = shopProgram(5, "\r\n");
    struct Case {
        const char* name;
        qint64 line;
        dnc::HeaderMode mode;
        QString custom;
        QByteArray stream;
    };
    const Case cases[] = {
        {"line 1 never gets a header", 1, dnc::HeaderMode::ProgramStart, {}, crlf},
        {"program start", 8, dnc::HeaderMode::ProgramStart, {}, startHeader("\r\n") + fromBlock(crlf, "N30")},
        {"no header", 8, dnc::HeaderMode::None, {}, fromBlock(crlf, "N30")},
        {"custom header takes the program's line ends", 8, dnc::HeaderMode::Custom,
         QStringLiteral("G90 G54\nT2 M06"), QByteArray("G90 G54\r\nT2 M06\r\n") + fromBlock(crlf, "N30")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DncPlan plan = planDnc(crlf, c.line, c.mode, c.custom);
        EXPECT_EQ(plan.stream(), c.stream);
    }
    EXPECT_EQ(dncLineCount(crlf), 12);
    EXPECT_EQ(dncLineCount(QByteArray()), 0);
    EXPECT_EQ(splitWireLines("a\r\nb\n\nc"), (std::vector<QByteArray>{"a\r\n", "b\n", "\n", "c"}));
}

TEST(FernportDncStart, RestartPointIsTheFirstLineNotTakenWholeAndHeaderBytesDoNotCount)
{
    const QByteArray program = shopProgram(5);
    const DncPlan plan = planDnc(program, 8, dnc::HeaderMode::ProgramStart, {});
    const qint64 header = plan.header.size();
    const qint64 n30 = program.indexOf("N30");
    const qint64 n40 = program.indexOf("N40");
    struct Case {
        qint64 taken;
        qint64 line;
    };
    const Case cases[] = {
        {0, 8},                                 // nothing: where it started
        {header - 1, 8},                        // inside the header
        {header, 8},                            // the header, none of the program
        {header + (n40 - n30) - 1, 8},          // N30 not whole
        {header + (n40 - n30), 9},              // N30 whole: N40 is next
        {header + (program.size() - n30), 0},   // everything: nothing to restart
    };
    for (const Case& c : cases) {
        const DncRestartPoint p = restartPointAfter(plan, QStringLiteral("/p/O0001"), c.taken, c.taken);
        EXPECT_EQ(p.line, c.line) << "taken " << c.taken;
        EXPECT_EQ(p.lastLineSent(), c.line > 1 ? c.line - 1 : 0);
    }
}

TEST(FernportDncStart, StartLineIsOfferedAskedOrRefused)
{
    const QByteArray program = shopProgram(5);  // 12 lines, N30 on line 8
    const QString path = QStringLiteral("/nc/O0001.txt");
    const DncRestartPoint offer{path, 9, 300};
    struct Case {
        const char* name;
        DncRestartPoint offer;
        bool askLine;
        std::deque<Answer> answers;
        std::deque<std::optional<QString>> texts;
        std::optional<qint64> line;
        int questions;  // ask() and askText() together
        int informed;
    };
    const Case cases[] = {
        {"offer taken", offer, false, {Answer::Yes}, {}, 9, 1, 0},
        {"offer declined: line 1", offer, false, {Answer::No}, {}, 1, 1, 0},
        {"offer declined, then asked", offer, true, {Answer::No}, {QStringLiteral("n30")}, 8, 2, 0},
        {"other program: no offer", DncRestartPoint{QStringLiteral("/nc/O0002.txt"), 9, 1}, false, {}, {}, 1, 0, 0},
        {"offer past the end of the program", DncRestartPoint{path, 40, 1}, false, {}, {}, 1, 0, 0},
        {"line number", {}, true, {}, {QStringLiteral(" 7 ")}, 7, 1, 0},
        {"nonsense is asked again", {}, true, {}, {QStringLiteral("G01"), QStringLiteral("N0040")}, 9, 2, 0},
        {"line past the end", {}, true, {}, {QStringLiteral("13")}, std::nullopt, 1, 1},
        {"no such block", {}, true, {}, {QStringLiteral("N35")}, std::nullopt, 1, 1},
        {"cancel", {}, true, {}, {std::nullopt}, std::nullopt, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrompter prompter;
        prompter.answers = c.answers;
        prompter.texts = c.texts;
        EXPECT_EQ(chooseDncStartLine(prompter, c.offer, path, program, c.askLine), c.line);
        EXPECT_EQ(int(prompter.asked.size()), c.questions);
        EXPECT_EQ(int(prompter.shown.size()), c.informed);
        for (const QString& caption : prompter.captions)
            EXPECT_EQ(caption, QStringLiteral("DNC Communication"));
    }
}

TEST(FernportDncStart, LogLinesAndSettingsOutliveTheSession)
{
    QTemporaryDir dir;
    DncLog log(dir.filePath(QStringLiteral("data")));
    const QDateTime t(QDate(2026, 3, 4), QTime(5, 6, 7));
    ASSERT_TRUE(log.append({t, QStringLiteral("/nc/O1.txt"), 8, false, QStringLiteral("cancelled"), 512, 11, 12}));
    ASSERT_TRUE(log.append({t, QStringLiteral("/nc/O1.txt"), 12, true, {}, 100, 0, 0}));
    EXPECT_EQ(readFile(log.path()),
              QByteArray("2026-03-04 05:06:07\tdnc\t/nc/O1.txt\t8\tinterrupted\tcancelled; sent 512 bytes; last line 11; "
                         "restart at line 12\n"
                         "2026-03-04 05:06:07\tdnc\t/nc/O1.txt\t12\tcompleted\t\n"));
    // A folder that cannot be made: refused with the reason, nothing claimed.
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    DncLog bad(dir.filePath(QStringLiteral("file/sub")));
    EXPECT_FALSE(bad.append({t, QStringLiteral("/nc/O1.txt"), 1, true, {}, 1, 0, 0}));
    EXPECT_FALSE(bad.error().isEmpty());

    const QString ini = dir.filePath(QStringLiteral("fernport.ini"));
    {
        FernportSettings s(ini);
        EXPECT_EQ(s.dncHeaderMode(), dnc::HeaderMode::ProgramStart);
        EXPECT_FALSE(s.dncRestartPoint().valid());
        s.storeDncHeaderMode(dnc::HeaderMode::Custom);
        s.storeDncCustomHeader(QStringLiteral("G90\nT2 M06"));
        s.storeDncRestartPoint({QStringLiteral("/nc/O1.txt"), 12, 512});
    }
    FernportSettings again(ini);
    EXPECT_EQ(again.dncHeaderMode(), dnc::HeaderMode::Custom);
    EXPECT_EQ(again.dncCustomHeader(), QStringLiteral("G90\nT2 M06"));
    EXPECT_EQ(again.dncRestartPoint().path, QStringLiteral("/nc/O1.txt"));
    EXPECT_EQ(again.dncRestartPoint().line, 12);
    again.storeDncRestartPoint({});
    EXPECT_FALSE(FernportSettings(ini).dncRestartPoint().valid());
}

// ---------------------------------------------------------------- the window

namespace {

class DncRestartWindow : public testsupport::WindowOnLine<> {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(setUpProfile());
        frame = makeFrame();
        ASSERT_NO_FATAL_FAILURE(openPeer());
        ASSERT_NO_FATAL_FAILURE(openPort(115200));
    }
    std::unique_ptr<CMainFrame> makeFrame()
    {
        auto f = std::make_unique<CMainFrame>(*settings, &prompter);
        f->setDncLogFolder(logFolder());
        return f;
    }
    void nextBaud(int baud) { openPort(baud); }
    QString logFolder() const { return dir.filePath(QStringLiteral("log")); }
    QString openProgram(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("O0001.txt"));
        writeFile(path, bytes);
        EXPECT_TRUE(frame->openDocument(path));
        return path;
    }
    // An XON/XOFF run to its end, as the controller takes it.
    QByteArray streamToTheEnd()
    {
        QByteArray got;
        EXPECT_TRUE(waitUntil([&] { got += peer.readAll(); return !frame->dncActive(); }, 20000));
        waitUntil([&] { got += peer.readAll(); return false; }, 200);
        return got;
    }
    // An XModem run: the controller's C, an ACK per frame and for the EOT.
    QByteArray xmodemToTheEnd(int frames)
    {
        QByteArray got;
        say('C');
        for (int i = 0; i < frames; ++i) {
            got += hear(133);
            say(0x06);
        }
        EXPECT_EQ(hear(1), QByteArray(1, 0x04));
        say(0x06);
        EXPECT_TRUE(waitUntil([&] { return !frame->dncActive(); }));
        return got;
    }
    static QByteArray framesOf(const QByteArray& stream)
    {
        QByteArray all;
        for (int i = 0; i * 128 < stream.size(); ++i)
            all += CXModem::buildFrame(i + 1, stream.mid(i * 128, 128));
        return all;
    }
};

}  // namespace

TEST_F(DncRestartWindow, XonXoffStartsAtALineOrBlockWithTheHeaderFirst)
{
    const QByteArray program = shopProgram(60);
    QByteArray wire = program;
    wire.replace("\n", "\r\n");
    openProgram(program);
    struct Case {
        const char* typed;
        dnc::HeaderMode mode;
        QByteArray expected;
    };
    const Case cases[] = {
        {"N400", dnc::HeaderMode::ProgramStart, startHeader("\r\n") + fromBlock(wire, "N400 ")},
        {"44", dnc::HeaderMode::ProgramStart, startHeader("\r\n") + fromBlock(wire, "N390 ")},
        {"N400", dnc::HeaderMode::None, fromBlock(wire, "N400 ")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        frame->setDncHeaderMode(c.mode);
        EXPECT_EQ(settings->dncHeaderMode(), c.mode);
        prompter.texts = {QString::fromLatin1(c.typed)};
        frame->dncFromLineCommand();
        ASSERT_TRUE(frame->dncActive());
        QPointer<CDNCDlg> window = frame->dncWindow();
        ASSERT_TRUE(window && window->isVisible());
        EXPECT_TRUE(streamToTheEnd() == c.expected);
        EXPECT_EQ(prompter.shown.back(), QStringLiteral("DNC Completed!"));
        EXPECT_TRUE(!window || !window->isVisible()) << "the finished run's window stayed open";
    }
    // The custom header, as the user typed it in the editor's line ends.
    frame->setHeaderAsker([](const QString& current) {
        EXPECT_TRUE(current.isEmpty());
        return std::optional<QString>(QStringLiteral("G90 G54\nT5 M06"));
    });
    frame->customHeaderCommand();
    EXPECT_EQ(settings->dncHeaderMode(), dnc::HeaderMode::Custom);
    prompter.texts = {QStringLiteral("n590")};
    frame->dncFromLineCommand();
    EXPECT_TRUE(streamToTheEnd() == QByteArray("G90 G54\r\nT5 M06\r\n") + fromBlock(wire, "N590 "));
    // Plain DNC still starts at the top and asks nothing.
    const size_t asked = prompter.asked.size();
    frame->dncCommand();
    EXPECT_TRUE(streamToTheEnd() == wire);
    EXPECT_EQ(prompter.asked.size(), asked);
}

TEST_F(DncRestartWindow, XModemStartsAtABlockWithTheHeaderFirst)
{
    const QByteArray program = shopProgram(30, "\r\n");
    openProgram(program);
    frame->setDncProtocol(DncProtocol::XModem);
    prompter.texts = {QStringLiteral("N120")};
    frame->dncFromLineCommand();
    ASSERT_TRUE(frame->dncActive());
    const QByteArray stream = startHeader("\r\n") + fromBlock(program, "N120 ");
    EXPECT_EQ(frame->dncPlan().stream(), stream);
    const int frames = int((stream.size() + 127) / 128);
    EXPECT_TRUE(xmodemToTheEnd(frames) == framesOf(stream));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(DncRestartWindow, LostLineShowsTheFailureKeepsTheWindowAndOffersTheRestart)
{
    const QByteArray program = shopProgram(800);
    QByteArray wire = program;
    wire.replace("\n", "\r\n");
    const QString path = openProgram(program);
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() >= 2000; }));
    say(kXoff);
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return frame->xonXoffRun()->halted(); }));
    waitUntil([&] { got += peer.readAll(); return false; }, 200);

    // The port reports the device gone.
    QSerialPort* port = openPortOf(frame->comm());
    ASSERT_NE(port, nullptr);
    Q_EMIT port->errorOccurred(QSerialPort::ResourceError);
    ASSERT_TRUE(waitUntil([&] { return !frame->dncActive(); }));
    EXPECT_FALSE(frame->editor()->isReadOnly());

    // Whole lines count; the one the line broke in goes again.
    const qsizetype whole = got.lastIndexOf('\n') + 1;
    const qint64 restart = got.left(whole).count('\n') + 1;
    ASSERT_GT(restart, 1);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown.back().startsWith(QStringLiteral("The serial line failed during the DNC")));
    EXPECT_TRUE(prompter.shown.back().endsWith(QStringLiteral("up to line %1; restart it at line %2.").arg(restart - 1).arg(restart)))
        << prompter.shown.back().toStdString();
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("DNC Communication"));
    CDNCDlg* kept = frame->interruptedDncWindow();
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->isVisible());
    EXPECT_EQ(kept->sentBytesText(), QString::number(whole));
    EXPECT_EQ(kept->lastLineText(), QString::number(restart - 1));
    EXPECT_EQ(kept->restartLineText(), QString::number(restart));
    EXPECT_TRUE(kept->statusText().contains(QStringLiteral("serial line failed")));

    // Logged, and kept for the next session.
    const QByteArray log = readFile(QDir(logFolder()).filePath(QStringLiteral("dnc.log")));
    EXPECT_TRUE(log.contains(QStringLiteral("\tinterrupted\tserial line failed").toUtf8())) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("last line %1; restart at line %2\n").arg(restart - 1).arg(restart).toUtf8()));
    EXPECT_EQ(settings->dncRestartPoint().line, restart);
    EXPECT_EQ(makeFrame()->dncRestartPoint().line, restart);

    // The next start of the program offers it; Yes goes on from there behind the header.
    prompter.answers = {Answer::Yes};
    frame->dncCommand();
    EXPECT_EQ(prompter.asked.back(),
              QStringLiteral("The last DNC of O0001.txt was interrupted before line %1.\nRestart it at line %1?").arg(restart));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("DNC Communication"));
    ASSERT_TRUE(frame->dncActive());
    EXPECT_EQ(frame->interruptedDncWindow(), nullptr);  // the old window went with the new start
    const QByteArray rest = streamToTheEnd();
    EXPECT_TRUE(rest == startHeader("\r\n") + wire.mid(whole));
    EXPECT_FALSE(settings->dncRestartPoint().valid());
    EXPECT_TRUE(readFile(QDir(logFolder()).filePath(QStringLiteral("dnc.log")))
                    .contains(QStringLiteral("\t%1\tcompleted\t").arg(restart).toUtf8()));
    (void)path;
}

// A failure reported while the stream runs stops it at once: the run neither goes on nor
// ends as complete before the failure is handled, and the restart line holds the first byte
// the controller did not get.
TEST_F(DncRestartWindow, FailureWhileStreamingStopsTheStreamAtOnce)
{
    nextBaud(9600);
    const QByteArray program = shopProgram(400);
    openProgram(program);
    frame->dncCommand();
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() >= 300; }));
    ASSERT_FALSE(frame->xonXoffRun()->halted());
    Q_EMIT openPortOf(frame->comm())->errorOccurred(QSerialPort::WriteError);
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return !frame->dncActive(); }));
    waitUntil([&] { got += peer.readAll(); return false; }, 200);
    EXPECT_EQ(qint64(frame->xonXoffRun()->bytesTaken()), got.size()) << "the stream went on after the failure";
    for (const QString& s : prompter.shown)
        EXPECT_NE(s, QStringLiteral("DNC Completed!"));
    const qint64 restart = got.count('\n') + 1;
    EXPECT_EQ(frame->dncRestartPoint().line, restart);
    ASSERT_NE(frame->interruptedDncWindow(), nullptr);
    EXPECT_EQ(frame->interruptedDncWindow()->restartLineText(), QString::number(restart));

    // Exit takes the window of the cut-off run along: it must not keep the program alive.
    QPointer<CDNCDlg> kept = frame->interruptedDncWindow();
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(!kept || !kept->isVisible());
    EXPECT_FALSE(frame->comm().isOpen());
}

TEST(FernportXonXoff, BytesTakenCountsThePartOfALineHandedOut)
{
    XonXoffDnc run({QByteArray("N10 G01\r\n"), QByteArray("N20 M30\r\n")});
    EXPECT_EQ(run.takeBytes(12).size(), 12);
    EXPECT_EQ(run.bytesSent(), 9u);
    EXPECT_EQ(run.bytesTaken(), 12u);
}

TEST_F(DncRestartWindow, CancelledXonXoffRunKeepsItsPointUntilARunCompletes)
{
    const QByteArray program = shopProgram(800);
    openProgram(program);
    frame->dncCommand();
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() >= 1000; }));
    say(kXoff);
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return frame->xonXoffRun()->halted(); }));
    waitUntil([&] { got += peer.readAll(); return false; }, 200);
    prompter.answers = {Answer::Yes};
    frame->cancelDnc();
    ASSERT_FALSE(frame->dncActive());
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("DNC Communication"));
    const qint64 restart = got.left(got.lastIndexOf('\n') + 1).count('\n') + 1;
    EXPECT_EQ(frame->dncRestartPoint().line, restart);
    EXPECT_TRUE(readFile(QDir(logFolder()).filePath(QStringLiteral("dnc.log"))).contains("\tinterrupted\tcancelled; "));
    // Declined: the run starts at the top, and the point stays until a run completes.
    prompter.answers = {Answer::No};
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    EXPECT_TRUE(streamToTheEnd().startsWith("%\r\nO0001\r\n"));
    EXPECT_FALSE(frame->dncRestartPoint().valid());
}

TEST_F(DncRestartWindow, XModemRunEndedByTheControllerOrTheLineKeepsItsWindowAndPoint)
{
    const QByteArray program = shopProgram(40, "\r\n");
    openProgram(program);
    frame->setDncProtocol(DncProtocol::XModem);
    struct Case {
        const char* name;
        std::function<void()> end;
        const char* why;
    };
    const Case cases[] = {
        {"refused", [&] { say(0x18); }, "ended by the controller"},
        {"line lost", [&] { frame->portFailed(QStringLiteral("device gone")); }, "serial line failed: device gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompter.answers = {Answer::No};  // a point from the case before is not taken
        frame->dncCommand();
        ASSERT_TRUE(frame->dncActive());
        say('C');
        hear(133);
        say(0x06);
        hear(133);
        say(0x06);
        hear(133);  // the third frame is out: two are acknowledged
        c.end();
        ASSERT_TRUE(waitUntil([&] { return !frame->dncActive(); }));
        const qint64 restart = program.left(256).count('\n') + 1;
        EXPECT_EQ(frame->dncRestartPoint().line, restart);
        ASSERT_NE(frame->processWindow(), nullptr);
        EXPECT_TRUE(frame->processWindow()->interrupted());
        EXPECT_TRUE(frame->processWindow()->noteText().contains(QString::fromLatin1(c.why)));
        EXPECT_TRUE(frame->processWindow()->noteText().endsWith(QStringLiteral("restart at line %1.").arg(restart)));
        EXPECT_FALSE(frame->editor()->isReadOnly());
        waitUntil([&] { peer.readAll(); return false; }, 100);
    }
    // The restart: the header, then the program from the first line not acknowledged whole.
    const qint64 restart = frame->dncRestartPoint().line;
    prompter.answers = {Answer::Yes};
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    EXPECT_FALSE(frame->processWindow()->interrupted());
    qsizetype at = 0;
    for (qint64 l = 1; l < restart; ++l)
        at = program.indexOf('\n', at) + 1;
    const QByteArray stream = startHeader("\r\n") + program.mid(at);
    EXPECT_TRUE(xmodemToTheEnd(int((stream.size() + 127) / 128)) == framesOf(stream));
    EXPECT_FALSE(frame->dncRestartPoint().valid());
}

TEST_F(DncRestartWindow, QuestionsCarryTheirOperationsCaption)
{
    prompter.answers = {Answer::Cancel};
    frame->dncCommand();  // no document
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Please open the file!"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("DNC Communication"));

    openProgram(shopProgram(3));
    frame->setDncProtocol(DncProtocol::XModem);
    frame->dncCommand();
    prompter.answers = {Answer::No};
    frame->cancelSending();
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Do you really to end the Communication?"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("DNC Communication"));
    prompter.answers = {Answer::Yes};
    frame->cancelSending();
    EXPECT_FALSE(frame->dncActive());
}

// The Cancel question of a running XON/XOFF stream is the DNC window's own box: answering
// No leaves that window in front, not the main window it would otherwise hand the focus to.
TEST_F(DncRestartWindow, NoToTheCancelQuestionLeavesTheDncWindowInFront)
{
    CMainFrame boxes(*settings);  // real message boxes
    boxes.setDncLogFolder(logFolder());
    boxes.setPortSetupAsker([this](const QString&, int) { return std::optional<PortChoice>(PortChoice{pty.a(), 115200}); });
    frame.reset();  // the port is the window's under test now
    boxes.setPortCommand();
    ASSERT_TRUE(boxes.comm().isOpen());
    const QString path = dir.filePath(QStringLiteral("O0002.txt"));
    writeFile(path, shopProgram(800));
    ASSERT_TRUE(boxes.openDocument(path));
    boxes.show();
    boxes.dncCommand();
    ASSERT_TRUE(boxes.dncActive());
    say(kXoff);
    ASSERT_TRUE(waitUntil([&] { peer.readAll(); return boxes.xonXoffRun()->halted(); }));

    QPointer<CDNCDlg> dnc = boxes.dncWindow();
    ASSERT_TRUE(dnc);
    QWidget* boxParent = nullptr;
    QString boxTitle;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxParent = box->parentWidget();
        boxTitle = box->windowTitle();
        box->button(QMessageBox::No)->click();
    });
    boxes.cancelDnc();
    EXPECT_EQ(boxParent, dnc.data());
    EXPECT_EQ(boxTitle, QStringLiteral("DNC Communication"));
    ASSERT_TRUE(boxes.dncActive());
    waitUntil([] { return false; }, 100);
    ASSERT_TRUE(dnc);
    EXPECT_TRUE(dnc->isVisible());
    EXPECT_EQ(QApplication::activeWindow(), dnc.data());
    // The window goes with the run still on: nothing is asked.
}
