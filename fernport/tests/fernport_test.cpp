// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/mainframe.h"
#include "fernport/tests/windowonline.h"
#include "fernport/xonxoffdnc.h"

#include "common/testing/ptypair.h"

#include <QComboBox>
#include <functional>
#include <QFile>
#include "common/ui/nceditor.h"
#include <QSerialPort>
#include <QTemporaryDir>

#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernport;
using vantor::testing::PtyPair;
using vantor::testing::waitUntil;
using vantor::testing::maybeShoot;
using vantor::testing::readFile;
using vantor::testing::writeFile;

namespace {
constexpr char kXoff = 0x13;

std::vector<QByteArray> lines(std::initializer_list<const char*> texts)
{
    std::vector<QByteArray> out;
    for (const char* t : texts)
        out.emplace_back(t);
    return out;
}

// A prompter that lets the test act while a question is open, as a modal box would.
struct WindowPrompter : ScriptedPrompter {
    std::function<void()> whileAsking;
    using ScriptedPrompter::ask;
    Answer ask(const QString& text, Buttons buttons) override
    {
        if (whileAsking)
            whileAsking();
        return ScriptedPrompter::ask(text, buttons);
    }
};

QByteArray drain(XonXoffDnc& run, qsizetype step = 3)
{
    QByteArray all;
    for (QByteArray b = run.takeBytes(step); !b.isEmpty(); b = run.takeBytes(step))
        all += b;
    return all;
}
}  // namespace

TEST(XonXoffDnc, EditorTextBecomesCrLfLinesInGbk)
{
    EXPECT_TRUE(XonXoffDnc::linesFromText(QString()).empty());
    const auto l = XonXoffDnc::linesFromText(QStringLiteral("O0001\nG00 X0 (原点)\n"));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], QByteArray("O0001\r\n"));
    EXPECT_EQ(l[1], QByteArray("G00 X0 (\xD4\xAD\xB5\xE3)\r\n"));
    EXPECT_EQ(XonXoffDnc::linesFromText(QStringLiteral("M30")).at(0), QByteArray("M30\r\n"));
}

TEST(XonXoffDnc, FlowControlBytesAreAppliedInOrder)
{
    struct Case { QByteArray received; bool halted; };
    const Case cases[] = {
        {QByteArray("\x13"), true},
        {QByteArray("\x13\x11"), false},          // XOFF then XON in one chunk: runs
        {QByteArray("\x11\x13"), true},           // XON then XOFF: halted
        {QByteArray("\x13\x13\x13\x11"), false},  // however many pauses, one XON resumes
        {QByteArray("?"), true},                  // any other byte halts as well
    };
    for (const auto& c : cases) {
        XonXoffDnc run(lines({"G01\r\n"}));
        run.onReceived(c.received);
        EXPECT_EQ(run.halted(), c.halted) << c.received.toHex().toStdString();
        EXPECT_EQ(run.takeBytes(100).isEmpty(), c.halted);
    }
}

TEST(XonXoffDnc, HaltedStreamResumesWhereItStopped)
{
    XonXoffDnc run(lines({"N10 G01\r\n", "N20 M30\r\n"}));
    EXPECT_EQ(run.takeBytes(4), QByteArray("N10 "));
    run.onReceived(QByteArray(3, kXoff));
    EXPECT_TRUE(run.takeBytes(100).isEmpty());
    run.onReceived(QByteArray(1, kXon));
    EXPECT_EQ(drain(run), QByteArray("G01\r\nN20 M30\r\n"));
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(run.linesSent(), 2);
    EXPECT_EQ(run.bytesSent(), 18u);
}

TEST(XonXoffDnc, StopFinishesTheLineBeingSentAndLongLinesGoWhole)
{
    const QByteArray longLine = QByteArray(3000, 'X') + "\r\n";
    XonXoffDnc run({longLine, QByteArray("M30\r\n")});
    EXPECT_EQ(run.takeBytes(10).size(), 10);
    run.requestStop();
    EXPECT_FALSE(run.finished());
    EXPECT_EQ(drain(run, 1000).size(), longLine.size() - 10);  // the whole line, however long
    EXPECT_TRUE(run.finished());
    EXPECT_TRUE(run.stoppedByUser());
    EXPECT_EQ(run.linesSent(), 1);
}

TEST(XonXoffDnc, StatisticsFigures)
{
    XonXoffDnc empty({});
    EXPECT_TRUE(empty.finished());
    EXPECT_EQ(empty.bytesPerSecond(), 0u);
    EXPECT_EQ(empty.timeText(), QStringLiteral("00:00"));

    XonXoffDnc run({QByteArray(1000, 'a')});
    drain(run, 500);
    for (int i = 0; i < 3; ++i)
        run.tick();
    EXPECT_EQ(run.bytesPerSecond(), 333u);
    for (int i = 3; i < 3725; ++i)
        run.tick();
    EXPECT_EQ(run.timeText(), QStringLiteral("62:05"));
}

class FernportWindow : public testsupport::WindowOnLine<WindowPrompter> {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(setUpProfile());
        frame = std::make_unique<CMainFrame>(*settings, &prompter);
        frame->setPortSetupAsker([this](const QString&, int) {
            ++setupAsked;
            return nextSetup;
        });
    }

    QString writeProgram(const QString& text)
    {
        const QString path = dir.filePath(QStringLiteral("O0001.txt"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toLatin1());
        return path;
    }

    std::optional<PortChoice> nextSetup;
    int setupAsked = 0;
};

TEST_F(FernportWindow, StartUpOpensTheStoredPortAndStoresWhatOpened)
{
    openPeer();
    settings->storePort(pty.a(), 19200);
    frame->startUp();
    EXPECT_TRUE(frame->comm().isOpen());
    EXPECT_EQ(frame->portStateText(), QStringLiteral("Port:%1\nBaud:19200").arg(pty.a()));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FernportWindow, SessionPortOpensWithoutReplacingTheStoredOne)
{
    openPeer();
    settings->storePort(QStringLiteral("ttyUSB7"), 9600);
    frame->startUp(PortChoice{pty.a(), 38400});
    EXPECT_TRUE(frame->comm().isOpen());
    EXPECT_EQ(settings->port(), QStringLiteral("ttyUSB7"));
    EXPECT_EQ(settings->baudRate(), 9600);
}

TEST_F(FernportWindow, StartUpWithAnUnopenablePortRunsOnWithThePortClosed)
{
    settings->storePort(dir.filePath(QStringLiteral("no-such-port")), 38400);
    frame->startUp();
    EXPECT_FALSE(frame->comm().isOpen());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], QStringLiteral("Unable to open port!"));
    EXPECT_EQ(prompter.captions[0], QString());  // at start-up the box has no caption of its own
    EXPECT_EQ(frame->portStateText(), QStringLiteral("Port: Unknow\nBaud: Unknow"));

    // Nothing stored: the default is read, not written, until a port really opens.
    FernportSettings fresh(dir.filePath(QStringLiteral("fresh.ini")));
    EXPECT_FALSE(fresh.hasStoredPort());
    EXPECT_EQ(fresh.baudRate(), 38400);
    EXPECT_EQ(fresh.system(), QStringLiteral("Vantor Q5A"));
    EXPECT_EQ(fresh.dncProtocol(), DncProtocol::XonXoff);
}

TEST_F(FernportWindow, SetPortReopensWithTheChosenPortAndRemembersIt)
{
    openPeer();
    nextSetup = PortChoice{pty.a(), 57600};
    frame->setPortCommand();
    EXPECT_TRUE(frame->comm().isOpen());
    EXPECT_EQ(settings->port(), pty.a());
    EXPECT_EQ(settings->baudRate(), 57600);

    nextSetup = PortChoice{dir.filePath(QStringLiteral("gone")), 9600};
    frame->setPortCommand();
    EXPECT_FALSE(frame->comm().isOpen());
    EXPECT_EQ(prompter.shown.back(), QStringLiteral("Unable to open port!"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("Error"));
    EXPECT_EQ(settings->port(), pty.a());  // a failed open writes nothing

    nextSetup.reset();  // Cancel changes nothing
    frame->setPortCommand();
    EXPECT_EQ(setupAsked, 3);
}

TEST_F(FernportWindow, ChoicesAreWrittenTheMomentTheyChange)
{
    frame->setDncProtocol(DncProtocol::XModem);
    EXPECT_EQ(settings->dncProtocol(), DncProtocol::XModem);
    EXPECT_EQ(settings->raw().value(QStringLiteral("DNCProtocol")).toString(), QStringLiteral("XModem"));
    frame->systemList()->setCurrentText(QStringLiteral("Q6D"));
    EXPECT_EQ(settings->raw().value(QStringLiteral("System")).toString(), QStringLiteral("Q6D"));
}

TEST_F(FernportWindow, XonXoffRunIsThrottledByTheControllerAndCompletes)
{
    openPeer();
    QString program;
    for (int i = 0; i < 600; ++i)
        program += QStringLiteral("N%1 G01 X%2 Y%3 F200\n").arg(i).arg(i * 3).arg(i * 7);
    ASSERT_TRUE(frame->openDocument(writeProgram(program)));
    nextSetup = PortChoice{pty.a(), 115200};
    frame->setPortCommand();
    ASSERT_TRUE(frame->comm().isOpen());

    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    EXPECT_TRUE(frame->editor()->isReadOnly());
    frame->setPortCommand();  // does nothing while the run is active
    EXPECT_EQ(setupAsked, 1);

    QByteArray got;
    peer.write(QByteArray(1, kXoff));
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] {
        got += peer.readAll();
        return frame->xonXoffRun() && frame->xonXoffRun()->halted();
    }));
    waitUntil([&] { got += peer.readAll(); return false; }, 200);
    const qsizetype whileHalted = got.size();
    if (!qEnvironmentVariableIsEmpty("VANTOR_SCREENSHOT_DIR")) {
        frame->show();
        frame->resize(900, 600);
        waitUntil([&] { got += peer.readAll(); return false; }, 1200);  // let the statistics tick
        maybeShoot(frame.get(), "fernport-main.png");
        maybeShoot(frame->dncWindow(), "fernport-dnc.png");
    }
    waitUntil([&] { got += peer.readAll(); return false; }, 200);
    EXPECT_EQ(got.size(), whileHalted) << "bytes kept coming after XOFF";
    EXPECT_LT(got.size(), program.size());

    peer.write(QByteArray(1, kXon));
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return !frame->dncActive(); }, 20000));
    waitUntil([&] { got += peer.readAll(); return got.size() >= program.size() + 600; }, 3000);
    QByteArray expected = program.toLatin1();
    expected.replace("\n", "\r\n");
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_FALSE(frame->editor()->isReadOnly());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), QStringLiteral("DNC Completed!"));
}

TEST_F(FernportWindow, AfterXoffOnlyAFewMillisecondsOfTextStillArrive)
{
    openPeer();
    QString program;
    for (int i = 0; i < 400; ++i)
        program += QStringLiteral("N%1 G01 X%2 Y%3 F200\n").arg(i).arg(i * 3).arg(i * 7);
    ASSERT_TRUE(frame->openDocument(writeProgram(program)));
    // About 20 ms of line time: a controller's buffer keeps that much slack after it says stop.
    struct Case { int baud; qsizetype most; };
    for (const Case c : {Case{9600, 32}, Case{115200, 256}}) {
        nextSetup = PortChoice{pty.a(), c.baud};
        frame->setPortCommand();
        ASSERT_TRUE(frame->comm().isOpen());
        frame->dncCommand();
        ASSERT_TRUE(frame->dncActive());
        QByteArray got;
        ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() >= 64; }));
        got += peer.readAll();
        const qsizetype atXoff = got.size();
        peer.write(QByteArray(1, kXoff));
        peer.waitForBytesWritten(1000);
        ASSERT_TRUE(waitUntil([&] {
            got += peer.readAll();
            return frame->xonXoffRun()->halted();
        }));
        waitUntil([&] { got += peer.readAll(); return false; }, 250);
        EXPECT_LE(got.size() - atXoff, c.most) << "at " << c.baud << " baud";
        EXPECT_LT(got.size(), program.size());

        prompter.answers = {Answer::Yes};
        frame->cancelDnc();
        ASSERT_FALSE(frame->dncActive());
        waitUntil([&] { peer.readAll(); return false; }, 50);
    }
}

TEST_F(FernportWindow, CancelHoldsTheStreamWhileItAsks)
{
    openPeer();
    QString program;
    for (int i = 0; i < 400; ++i)
        program += QStringLiteral("N%1 G01 X%2 Y%3 F200\n").arg(i).arg(i * 3).arg(i * 7);
    ASSERT_TRUE(frame->openDocument(writeProgram(program)));
    nextSetup = PortChoice{pty.a(), 115200};
    frame->setPortCommand();
    frame->dncCommand();
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() >= 200; }));

    // While the question is open the stream stands (at most the few bytes already queued).
    qsizetype duringQuestion = 0;
    prompter.whileAsking = [&] {
        got += peer.readAll();
        const qsizetype before = got.size();
        waitUntil([&] { got += peer.readAll(); return false; }, 300);
        duringQuestion = got.size() - before;
    };
    prompter.answers = {Answer::No};
    frame->cancelDnc();
    EXPECT_LE(duringQuestion, 256);
    ASSERT_TRUE(frame->dncActive()) << "the run ended beneath the question";
    // No: it runs on.
    const qsizetype afterNo = got.size();
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return got.size() > afterNo + 300; }));

    // Yes: still held while asking, then the current line is finished and the run ends silently.
    prompter.answers = {Answer::Yes};
    frame->cancelDnc();
    EXPECT_LE(duringQuestion, 256);
    ASSERT_TRUE(waitUntil([&] { got += peer.readAll(); return !frame->dncActive(); }));
    waitUntil([&] { got += peer.readAll(); return false; }, 100);
    EXPECT_TRUE(got.endsWith("\r\n"));
    EXPECT_LT(got.size(), program.size());
    for (const QString& s : prompter.shown)
        EXPECT_NE(s, QStringLiteral("DNC Completed!"));
}

TEST_F(FernportWindow, CancelledRunEndsSilentlyAndNoDocumentAsksToOpenOne)
{
    openPeer();
    nextSetup = PortChoice{pty.a(), 38400};
    frame->setPortCommand();

    prompter.answers = {Answer::Cancel};
    frame->dncCommand();  // no document open
    EXPECT_FALSE(frame->dncActive());
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Please open the file!"));

    QString program;
    for (int i = 0; i < 6000; ++i)
        program += QStringLiteral("N%1 G01 X%2\n").arg(i).arg(i * 3);
    ASSERT_TRUE(frame->openDocument(writeProgram(program)));
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    peer.write(QByteArray(1, kXoff));  // the controller holds the stream
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] {
        peer.readAll();
        return frame->xonXoffRun() && frame->xonXoffRun()->halted();
    }));
    prompter.answers = {Answer::No};
    frame->cancelDnc();
    EXPECT_TRUE(frame->dncActive());
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Do you really to end the Communication?"));
    prompter.answers = {Answer::Yes};
    frame->cancelDnc();
    EXPECT_FALSE(frame->dncActive());
    EXPECT_FALSE(frame->editor()->isReadOnly());
    for (const QString& s : prompter.shown)
        EXPECT_NE(s, QStringLiteral("DNC Completed!"));
}

TEST_F(FernportWindow, ExitAndTheDncWindowsCloseButtonAreCancelAndExitFreesThePort)
{
    openPeer();
    QString program;
    for (int i = 0; i < 6000; ++i)
        program += QStringLiteral("N%1 G01 X%2\n").arg(i).arg(i * 3);
    ASSERT_TRUE(frame->openDocument(writeProgram(program)));
    nextSetup = PortChoice{pty.a(), 38400};
    frame->setPortCommand();
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    peer.write(QByteArray(1, kXoff));  // the controller holds the stream, as at the end of a buffer
    peer.waitForBytesWritten(1000);
    ASSERT_TRUE(waitUntil([&] {
        peer.readAll();
        return frame->xonXoffRun() && frame->xonXoffRun()->halted();
    }));

    // The DNC window's own close button asks; No keeps the run and the window.
    ASSERT_NE(frame->dncWindow(), nullptr);
    prompter.answers = {Answer::No};
    frame->dncWindow()->close();
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Do you really to end the Communication?"));
    EXPECT_TRUE(frame->dncActive());
    ASSERT_NE(frame->dncWindow(), nullptr);

    // Exit asks the same; No keeps everything, Yes ends the run, closes the window and the port.
    prompter.answers = {Answer::No};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->dncActive());
    EXPECT_TRUE(frame->comm().isOpen());
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(frame->dncActive());
    EXPECT_FALSE(frame->comm().isOpen());
    CVantorComm next;
    next.setPort(pty.a(), 38400);
    EXPECT_TRUE(next.open()) << next.lastError().toStdString();
}

TEST_F(FernportWindow, EditorSavesAtomicallyInGbkAndKeepsRecentFiles)
{
    frame->editor()->setPlainText(QStringLiteral("O0002 (夹具)\nM30\n"));
    const QString path = dir.filePath(QStringLiteral("O0002.nc"));
    ASSERT_TRUE(frame->saveDocumentAs(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("O0002 (\xBC\xD0\xBE\xDF)\nM30\n"));
    EXPECT_EQ(frame->recentFiles().value(0), path);

    EXPECT_FALSE(frame->saveDocumentAs(dir.filePath(QStringLiteral("missing/dir/x.nc"))));
    EXPECT_EQ(frame->documentPath(), path);
    EXPECT_FALSE(frame->openDocument(dir.filePath(QStringLiteral("none.nc"))));
    EXPECT_EQ(frame->editor()->toPlainText(), QStringLiteral("O0002 (夹具)\nM30\n"));
}

TEST_F(FernportWindow, EditorKeepsTheFilesEncodingAndLineEnds)
{
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"CRLF GBK", "O0001 (\xBC\xD0\xBE\xDF)\r\nM30\r\n"},
        {"UTF-8", "(Ma\xC3\x9F B\xC3\xA4r)\nM30\n"},
        {"CR", "N1\rN2\r"},
    };
    const QString path = dir.filePath(QStringLiteral("O0004.nc"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.bytes);
        ASSERT_TRUE(frame->openDocument(path));
        ASSERT_TRUE(frame->saveDocument());
        EXPECT_EQ(readFile(path), c.bytes);
    }

    // ß has no GBK code: the save stops before writing and names the line.
    const QByteArray gbk("O0001\r\nM30\r\n");
    writeFile(path, gbk);
    ASSERT_TRUE(frame->openDocument(path));
    frame->editor()->moveCursor(QTextCursor::End);
    frame->editor()->insertPlainText(QStringLiteral("(Maß)"));
    EXPECT_FALSE(frame->saveDocument());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown.back().contains(QStringLiteral("line 3"))) << prompter.shown.back().toStdString();
    EXPECT_EQ(readFile(path), gbk);
    EXPECT_TRUE(frame->editor()->isModified());
}

#include "common/ui/portcombo.h"

TEST(PortCombo, ListShowsWhatIsKnownAndTheFieldKeepsTheName)
{
    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText(QStringLiteral("/dev/ttyACM7"));
    fillPortCombo(&combo, {{QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART, FTDI, S/N A1")},
                           {QStringLiteral("/dev/serial/by-id/usb-FTDI_A1-if00-port0"), QStringLiteral("ttyUSB0")}});
    EXPECT_EQ(combo.currentText(), QStringLiteral("/dev/ttyACM7"));  // a typed name stays
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.model()->index(0, 1).data().toString(), QStringLiteral("FT232R USB UART, FTDI, S/N A1"));
    combo.setCurrentIndex(1);
    EXPECT_EQ(combo.currentText(), QStringLiteral("/dev/serial/by-id/usb-FTDI_A1-if00-port0"));
    EXPECT_EQ(combo.findText(QStringLiteral("ttyUSB0")), 0);
}
