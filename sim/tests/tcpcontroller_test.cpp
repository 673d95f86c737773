// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's side of the Ethernet session in virtual time: replies byte for byte,
// frame layout, what gets stored and what an abort leaves behind.
#include "sim/tcpcontroller.h"

#include "common/atomicfile.h"
#include "common/testing/testfiles.h"
#include "serialcore/tests/fakelinkport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::sim;
using vantor::testing::FakeLinkPort;
using vantor::testing::patternBytes;
using vantor::testing::readFile;
using vantor::testing::writeFile;

namespace {

constexpr char kSoh = 0x01, kEot = 0x04, kAck = 0x06, kDle = 0x10, kNak = 0x15, kCan = 0x18, kSub = 0x1A, kEsc = 0x1B;

QByteArray one(char c)
{
    return QByteArray(1, c);
}

// One frame of the PC: SOH, the bytes, zero padding.
QByteArray pcFrame(QByteArrayView data)
{
    QByteArray f(1, kSoh);
    f.append(data.data(), data.size());
    f.append(QByteArray(2048 - f.size(), '\0'));
    return f;
}

class TcpSession : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeLinkPort port;
    TcpFaults faults;
    std::unique_ptr<DncSink> sink;
    std::unique_ptr<TcpController> cnc;

    QString root() const { return dir.path(); }
    QString onCnc(const QString& name, const char* partition = "user") const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }
    QString dncFile(int n) const { return QDir(root()).filePath(QStringLiteral("dnc/") + DncSink::fileName(n)); }
    void start()
    {
        sink = std::make_unique<DncSink>(root());
        cnc = std::make_unique<TcpController>(port, root(), *sink, faults);
    }
    QByteArray send(QByteArrayView bytes)
    {
        if (!cnc)
            start();
        cnc->onBytes(bytes);
        return port.take();
    }
    QByteArray send(char c) { return send(QByteArrayView(&c, 1)); }
    // Every frame of a sul stream, each fetched with its own ACK, up to the EOT.
    QList<QByteArray> fetchFrames()
    {
        QList<QByteArray> frames;
        for (int guard = 0; guard < 100; ++guard) {
            const QByteArray got = send(kAck);
            if (got == one(kEot))
                return frames;
            frames.append(got);
            if (got.size() != 2048)
                return frames;
        }
        return frames;
    }
    void fireQuietTimer()
    {
        ASSERT_TRUE(port.timerRunning(TcpController::kDncQuietTimerId));
        port.timers.erase(TcpController::kDncQuietTimerId);
        cnc->onTimer(TcpController::kDncQuietTimerId);
    }
};

TEST_F(TcpSession, PartitionWordIsTakenWithAnyBlanksAndCase)
{
    writeFile(onCnc(QStringLiteral("A"), "sys"), "1");
    writeFile(onCnc(QStringLiteral("B"), "usb"), "22");
    struct Case {
        const char* command;
        const char* reply;
        const char* listed;  // what sls shows afterwards
    } cases[] = {
        {"scd  user \r\n", "scdok", "slsok\x18"},
        {"scd  sys \r\n", "scdok", "slsok1: A\t 1\r\n\x18"},
        {"scd USER \r\n", "scdok", "slsok\x18"},
        {"scd usb \r\n", "scdok", "slsok1: B\t 2\r\n\x18"},
        {"scd  nowhere \r\n", "scder", "slsok1: B\t 2\r\n\x18"},  // refused: partition kept
        {"scd \r\n", "scder", "slsok1: B\t 2\r\n\x18"},
        {"scd SYS \r\n", "scdok", "slsok1: A\t 1\r\n\x18"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(send(QByteArray(c.command)), QByteArray(c.reply)) << c.command;
        EXPECT_EQ(send(QByteArray("sls \r\n")), QByteArray(c.listed)) << c.command;
    }
}

TEST_F(TcpSession, RefusePartitionFaultRefusesEveryPartition)
{
    faults.refusePartition = true;
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scder");
}

TEST_F(TcpSession, ListingShowsSystemNamesAndGbkButNoDotFiles)
{
    writeFile(onCnc(QStringLiteral("macro.hep")), "abc");
    writeFile(onCnc(QStringLiteral(".hidden")), "x");
    writeFile(onCnc(QString::fromUtf8("程序1")), "12345");
    QDir().mkpath(onCnc(QStringLiteral("folder")));
    const QByteArray gbkName("\xB3\xCC\xD0\xF2" "1");
    EXPECT_EQ(send(QByteArray("sls \r\n")), "slsok1: macro.hep\t 3\r\n2: " + gbkName + "\t 5\r\n\x18");
}

TEST_F(TcpSession, CommandsSplitOverManyReadsAreAnsweredOnce)
{
    writeFile(onCnc(QStringLiteral("O1")), "x");
    const QByteArray command("sdel O1 \r\n");
    QByteArray replies;
    for (char c : command)
        replies += send(c);
    EXPECT_EQ(replies, one(kAck));
    EXPECT_FALSE(QFile::exists(onCnc(QStringLiteral("O1"))));
    // A second delete of the same name is refused.
    EXPECT_EQ(send(QByteArray("sdel O1 \r\n")), one(kDle));
}

TEST_F(TcpSession, OverlongLineIsDroppedUpToItsEnd)
{
    EXPECT_EQ(send(QByteArray(300, 'x') + "scd  sys \r\n"), "");
    EXPECT_EQ(send(QByteArray("scd  sys \r\n")), "scdok");
    // The line that reaches the limit exactly is still a command.
    EXPECT_EQ(send(QByteArray(TcpController::kCommandLineLimit - 11, ' ') + "scd  sys \r\n"), "scdok");
}

TEST_F(TcpSession, UploadFramesAreSohPayloadAndZeroPadding)
{
    for (const qsizetype size : {1, 2047, 2048, 4095}) {
        const QByteArray data = patternBytes(size);
        writeFile(onCnc(QStringLiteral("O9")), data);
        ASSERT_EQ(send(QByteArray("sul O9 \r\n")), "sulok " + QByteArray::number(size));
        const QList<QByteArray> frames = fetchFrames();
        ASSERT_EQ(frames.size(), (size + 2046) / 2047) << size;
        QByteArray payload;
        for (const QByteArray& f : frames) {
            ASSERT_EQ(f.size(), 2048);
            EXPECT_EQ(f[0], kSoh);
            payload += f.mid(1);
        }
        EXPECT_EQ(payload.left(size), data) << size;
        EXPECT_EQ(payload.mid(size), QByteArray(payload.size() - size, '\0')) << size;
    }
}

TEST_F(TcpSession, EmptyUploadIsALoneEotAfterTheAck)
{
    writeFile(onCnc(QStringLiteral("EMPTY")), "");
    EXPECT_EQ(send(QByteArray("sul EMPTY \r\n")), "sulok 0");
    EXPECT_EQ(send(kAck), one(kEot));
    EXPECT_EQ(send(QByteArray("scd  sys \r\n")), "scdok");
}

TEST_F(TcpSession, UploadRefusalsAndCancel)
{
    EXPECT_EQ(send(QByteArray("sul MISSING \r\n")), one(kCan));
    EXPECT_EQ(send(QByteArray("sul ../x \r\n")), one(kCan));

    writeFile(onCnc(QStringLiteral("O2")), patternBytes(5000));
    EXPECT_EQ(send(QByteArray("sul O2 \r\n")), "sulok 5000");
    EXPECT_EQ(send(kAck).size(), 2048);
    EXPECT_EQ(send(kCan), "");  // the PC gave up: no more frames
    EXPECT_EQ(send(kAck), "");
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
}

TEST_F(TcpSession, DownloadStoresExactlyTheAnnouncedBytes)
{
    for (const qsizetype size : {0, 1, 2047, 2048, 4095}) {
        const QByteArray data = patternBytes(size);
        const QString name = QStringLiteral("D%1").arg(size);
        ASSERT_EQ(send("sdl " + name.toLatin1() + " " + QByteArray::number(size) + " \r\n"), "sdlok");
        for (qsizetype at = 0; at < size; at += 2047)
            ASSERT_EQ(send(pcFrame(data.mid(at, 2047))), one(kAck));
        EXPECT_FALSE(QFile::exists(onCnc(name))) << "visible before the end";
        EXPECT_EQ(send(kEot), "") << "EOT is not acknowledged";
        EXPECT_EQ(readFile(onCnc(name)), data) << size;
    }
}

TEST_F(TcpSession, FramesBeyondTheAnnouncedSizeAreNotStored)
{
    ASSERT_EQ(send(QByteArray("sdl LONG 3 \r\n")), "sdlok");
    EXPECT_EQ(send(pcFrame("abcdef")), one(kAck));
    EXPECT_EQ(send(pcFrame("ghi")), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("LONG"))), "abc");
}

TEST_F(TcpSession, SessionsShareTheFoldersButNotThePartition)
{
    start();
    FakeLinkPort otherPort;
    TcpController other(otherPort, root(), *sink, faults);
    EXPECT_EQ(send(QByteArray("scd  sys \r\n")), "scdok");
    // Two DNC streams at once get two numbers, whichever ends first.
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    other.onBytes(QByteArray("sdnc \r\n") + '\0');
    EXPECT_EQ(otherPort.take(), "dncok");
    other.onBytes(patternBytes(2048));
    other.onBytes(one(kEot));
    EXPECT_EQ(send(patternBytes(2048)), one(kAck));
    send(kEot);
    EXPECT_TRUE(QFile::exists(dncFile(1)));
    EXPECT_TRUE(QFile::exists(dncFile(2)));
    // The other session still stores into user.
    other.onBytes("sdl U 1 \r\n");
    other.onBytes(pcFrame("u"));
    other.onBytes(one(kEot));
    EXPECT_EQ(readFile(onCnc(QStringLiteral("U"))), "u");
}

TEST_F(TcpSession, FrameArrivingInPiecesIsAcknowledgedOnceComplete)
{
    ASSERT_EQ(send(QByteArray("sdl P 3 \r\n")), "sdlok");
    const QByteArray frame = pcFrame("abc");
    EXPECT_EQ(send(frame.left(1000)), "");
    EXPECT_EQ(send(frame.mid(1000, 1047)), "");
    EXPECT_EQ(send(frame.mid(2047)), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("P"))), "abc");
}

TEST_F(TcpSession, FramesAndTheEndInOneReadAreEachAnswered)
{
    // Frames are gathered a piece at a time: one read may end a frame, hold the next whole,
    // start a third, or bring the EOT right after the last frame.
    const QByteArray data = patternBytes(3 * 2047 - 5);
    const QByteArray stream = pcFrame(data.mid(0, 2047)) + pcFrame(data.mid(2047, 2047)) + pcFrame(data.mid(4094)) + kEot;
    for (const qsizetype firstRead : {qsizetype(1), qsizetype(2047), qsizetype(2048), qsizetype(3000), stream.size()}) {
        const QString name = QStringLiteral("B%1").arg(firstRead);
        ASSERT_EQ(send("sdl " + name.toLatin1() + " " + QByteArray::number(data.size()) + " \r\n"), "sdlok");
        QByteArray answers = send(stream.left(firstRead));
        if (firstRead < stream.size())
            answers += send(stream.mid(firstRead));
        EXPECT_EQ(answers, one(kAck) + one(kAck) + one(kAck)) << firstRead;
        EXPECT_EQ(readFile(onCnc(name)), data) << firstRead;
    }
}

TEST_F(TcpSession, AbortedDownloadsStoreNothing)
{
    writeFile(onCnc(QStringLiteral("KEEP")), "old");
    // Short stream: announced 3000, one frame, EOT.
    ASSERT_EQ(send(QByteArray("sdl KEEP 3000 \r\n")), "sdlok");
    ASSERT_EQ(send(pcFrame(patternBytes(2047))), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), "old");
    // CAN at a frame boundary.
    ASSERT_EQ(send(QByteArray("sdl KEEP 3 \r\n")), "sdlok");
    EXPECT_EQ(send(kCan), "");
    EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), "old");
    // The connection goes while a frame is half in.
    ASSERT_EQ(send(QByteArray("sdl GONE 3 \r\n")), "sdlok");
    send(pcFrame("abc").left(100));
    cnc.reset();
    EXPECT_EQ(QDir(QDir(root()).filePath(QStringLiteral("user"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("KEEP")});
}

TEST_F(TcpSession, EotInsideAFrameIsData)
{
    ASSERT_EQ(send(QByteArray("sdl E 2 \r\n")), "sdlok");
    ASSERT_EQ(send(pcFrame(QByteArray("\x04\x18", 2))), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("E"))), QByteArray("\x04\x18", 2));
}

TEST_F(TcpSession, DownloadCommandsThatAreRefused)
{
    struct Case {
        const char* command;
        char reply;
    } cases[] = {
        {"sdl a/b 3 \r\n", kSub},    {"sdl a\\b 3 \r\n", kSub},  {"sdl .x 3 \r\n", kSub},
        {"sdl N -1 \r\n", kSub},     {"sdl N 3x \r\n", kSub},    {"sdl N \r\n", kSub},
        {"sdl N 99999999999999999999 \r\n", kSub},
    };
    for (const auto& c : cases)
        EXPECT_EQ(send(QByteArray(c.command)), one(c.reply)) << c.command;
    EXPECT_TRUE(QDir(QDir(root()).filePath(QStringLiteral("user"))).isEmpty());
}

TEST_F(TcpSession, RefusalFaultsAnswerEveryTransfer)
{
    for (char byte : {kDle, kSub, kEsc, char(0x1C), kCan}) {
        faults = {};
        faults.refuseDownload = byte;
        faults.refuseUpload = kDle;
        cnc.reset();
        start();
        writeFile(onCnc(QStringLiteral("U")), "u");
        EXPECT_EQ(send(QByteArray("sdl N 3 \r\n")), one(byte));
        EXPECT_EQ(send(QByteArray("sul U \r\n")), one(kDle));
        EXPECT_FALSE(QFile::exists(onCnc(QStringLiteral("N"))));
    }
}

TEST_F(TcpSession, ExistingNameAsksAndTheAnswerDecides)
{
    faults.existsAsks = true;
    writeFile(onCnc(QStringLiteral("O5")), "old");
    // NAK: the PC renames and asks again.
    EXPECT_EQ(send(QByteArray("sdl O5 3 \r\n")), one(kEsc));
    EXPECT_EQ(send(kNak), "");
    EXPECT_EQ(send(QByteArray("sdl O6 3 \r\n")), "sdlok");
    EXPECT_EQ(send(pcFrame("new")), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("O6"))), "new");
    // CAN: skipped.
    EXPECT_EQ(send(QByteArray("sdl O5 3 \r\n")), one(kEsc));
    EXPECT_EQ(send(kCan), "");
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
    EXPECT_EQ(readFile(onCnc(QStringLiteral("O5"))), "old");
    // ACK: overwrite.
    EXPECT_EQ(send(QByteArray("sdl O5 3 \r\n")), one(kEsc));
    EXPECT_EQ(send(kAck), "sdlok");
    EXPECT_EQ(send(pcFrame("new")), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(onCnc(QStringLiteral("O5"))), "new");
}

TEST_F(TcpSession, DncChunksAreAcknowledgedWhenFullOrQuiet)
{
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    const QByteArray program = patternBytes(2048 + 2048 + 10);
    // A full chunk is acknowledged at once, even when it came in pieces.
    EXPECT_EQ(send(program.left(1500)), "");
    EXPECT_EQ(send(program.mid(1500, 548)), one(kAck));
    EXPECT_EQ(send(program.mid(2048, 2048)), one(kAck));
    // The short last chunk waits for the quiet time.
    EXPECT_EQ(send(program.mid(4096)), "");
    fireQuietTimer();
    EXPECT_EQ(port.take(), one(kAck));
    EXPECT_FALSE(QFile::exists(dncFile(1)));
    EXPECT_EQ(send(kEot), "");
    EXPECT_EQ(readFile(dncFile(1)), program);
    EXPECT_EQ(cnc->lastDncPath(), dncFile(1));
    // Back to commands.
    EXPECT_EQ(send(QByteArray("scd  sys \r\n")), "scdok");
}

TEST_F(TcpSession, DncZeroByteIsPartOfTheCommandEvenWhenLate)
{
    EXPECT_EQ(send(QByteArray("sdnc \r\n")), "dncok");
    EXPECT_EQ(send(QByteArray(1, '\0') + "G1"), "");
    fireQuietTimer();
    EXPECT_EQ(port.take(), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(dncFile(1)), "G1");
}

TEST_F(TcpSession, DncEndsAndNumbering)
{
    writeFile(QDir(root()).filePath(QStringLiteral("dnc/stream-007.nc")), "older");
    // CAN drops the stream.
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    EXPECT_EQ(send(QByteArray("G0 X1\r\n")), "");
    fireQuietTimer();
    port.take();
    EXPECT_EQ(send(kCan), "");
    EXPECT_FALSE(QFile::exists(dncFile(8)));
    // EOT or CAN inside a chunk, or first in a chunk that came in one read, is data; the
    // next stream takes the next number.
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    EXPECT_EQ(send(QByteArray("A\x04\x18", 3)), "");
    fireQuietTimer();
    EXPECT_EQ(port.take(), one(kAck));
    EXPECT_EQ(send(QByteArray("\x04" "B", 2)), "");
    fireQuietTimer();
    EXPECT_EQ(port.take(), one(kAck));
    EXPECT_EQ(send(QByteArray("\x18" "C", 2)), "");
    fireQuietTimer();
    EXPECT_EQ(port.take(), one(kAck));
    send(kEot);
    EXPECT_EQ(readFile(dncFile(8)), QByteArray("A\x04\x18\x04" "B\x18" "C", 7));
    // A dropped connection keeps nothing.
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    send(patternBytes(2048));
    cnc.reset();
    EXPECT_EQ(QDir(QDir(root()).filePath(QStringLiteral("dnc"))).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("stream-007.nc"), QStringLiteral("stream-008.nc")}));
}

TEST_F(TcpSession, DncRefusals)
{
    struct Case {
        DncRefusal why;
        const char* reply;
    } cases[] = {
        {DncRefusal::Auto, "dncer AUTO"},
        {DncRefusal::BuffNotEmpty, "dncer BUFF NOT EMPTY"},
        {DncRefusal::Other, "dncer"},
    };
    for (const auto& c : cases) {
        faults.dncRefusal = c.why;
        cnc.reset();
        start();
        EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), c.reply);
        // Still in command mode, the zero byte swallowed.
        EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
    }
}

TEST_F(TcpSession, SplitFaultWritesPiecesWithPauses)
{
    faults.splitPieces = 2;
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
    port.steps.clear();
    cnc->onBytes("scd  sys \r\n");
    EXPECT_EQ(port.script(), "sc<3>do<3>k<3>");
}

TEST_F(TcpSession, SilentFaultAnswersNothing)
{
    faults.silent = true;
    EXPECT_EQ(send(QByteArray("scd  user \r\nsls \r\nsdnc \r\n")), "");
}

TEST_F(TcpSession, CancelFaultCansTheNextFrameOrAck)
{
    faults.cancelAfterFrames = 1;
    writeFile(onCnc(QStringLiteral("BIG")), patternBytes(5000));
    EXPECT_EQ(send(QByteArray("sul BIG \r\n")), "sulok 5000");
    EXPECT_EQ(send(kAck).size(), 2048);
    EXPECT_EQ(send(kAck), one(kCan));

    EXPECT_EQ(send(QByteArray("sdl NEW 5000 \r\n")), "sdlok");
    EXPECT_EQ(send(pcFrame(patternBytes(2047))), one(kAck));
    EXPECT_EQ(send(pcFrame(patternBytes(2047))), one(kCan));
    EXPECT_FALSE(QFile::exists(onCnc(QStringLiteral("NEW"))));

    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    EXPECT_EQ(send(patternBytes(2048)), one(kAck));
    EXPECT_EQ(send(patternBytes(2048)), one(kCan));
    EXPECT_FALSE(QFile::exists(dncFile(1)));
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
}

TEST_F(TcpSession, DropFaultClosesAfterFramesOfEitherDirection)
{
    faults.dropAfterFrames = 3;
    writeFile(onCnc(QStringLiteral("BIG")), patternBytes(4000));
    EXPECT_EQ(send(QByteArray("sul BIG \r\n")), "sulok 4000");
    EXPECT_EQ(send(kAck).size(), 2048);
    EXPECT_EQ(send(kAck).size(), 2048);
    EXPECT_FALSE(cnc->closeRequested());
    EXPECT_EQ(send(kAck), one(kEot));
    EXPECT_EQ(send(QByteArray("sdl NEW 3 \r\n")), "sdlok");
    EXPECT_EQ(send(pcFrame("abc")), "");  // the third frame: no answer, the line goes
    EXPECT_TRUE(cnc->closeRequested());
    EXPECT_EQ(send(kEot), "");
    EXPECT_EQ(send(QByteArray("scd  user \r\n")), "");
    EXPECT_FALSE(QFile::exists(onCnc(QStringLiteral("NEW"))));
}

TEST_F(TcpSession, DropFaultZeroClosesAfterTheGoAhead)
{
    faults.dropAfterFrames = 0;
    EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
    EXPECT_TRUE(cnc->closeRequested());
    EXPECT_EQ(send(QByteArray("G1")), "");
}

}  // namespace

// The simulated controller on a full or failing disk: a download it cannot store is
// cancelled or dropped, and neither a half file nor a temporary one is left beside the
// earlier program of that name; a DNC stream it cannot store leaves no stream file.
TEST_F(TcpSession, FullDiskStoresNothingAndKeepsTheEarlierFile)
{
    struct Point {
        const char* name;
        FileFault::Step step;
        qint64 after;
        bool cancelled;   // the PC hears CAN at a frame
    };
    const Point points[] = {
        {"before the first byte", FileFault::Step::Write, 0, true},
        {"in the middle", FileFault::Step::Write, 3000, true},
        {"at fsync", FileFault::Step::Sync, 0, false},
        {"at rename", FileFault::Step::Rename, 0, false},
    };
    const QByteArray data = patternBytes(3 * 2047);
    writeFile(onCnc(QStringLiteral("KEEP")), "old");
    for (const Point& p : points) {
        SCOPED_TRACE(p.name);
        ScopedFileFault fault({p.step, ENOSPC, p.after, root()});
        ASSERT_EQ(send("sdl KEEP " + QByteArray::number(data.size()) + " \r\n"), "sdlok");
        bool cancelled = false;
        for (qsizetype at = 0; at < data.size() && !cancelled; at += 2047)
            cancelled = send(pcFrame(data.mid(at, 2047))) == one(kCan);
        EXPECT_EQ(cancelled, p.cancelled);
        if (!cancelled)
            send(kEot);
        EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), "old");
        EXPECT_EQ(vantor::testing::filesIn(QDir(root()).filePath(QStringLiteral("user"))), QStringList{QStringLiteral("KEEP")});
    }
    {
        ScopedFileFault fault({FileFault::Step::Sync, EIO, 0, root()});
        EXPECT_EQ(send(QByteArray("sdnc \r\n") + '\0'), "dncok");
        send(QByteArray("G0 X1\r\n"));
        fireQuietTimer();
        port.take();
        send(kEot);
        EXPECT_EQ(vantor::testing::filesIn(QDir(root()).filePath(QStringLiteral("dnc"))), QStringList{});
    }
}

// A download larger than the pieces the disk is given: all of it arrives, in order, and only
// after the EOT; a disk that fills up in a later piece still gets the file refused at a
// frame, and the earlier program of that name stays.
TEST_F(TcpSession, DownloadOverSeveralDiskPiecesIsStoredWholeOrRefusedAtAFrame)
{
    const QByteArray data = patternBytes(2 * TcpController::kStorePiece + 5000);
    const QByteArray command = "sdl KEEP " + QByteArray::number(data.size()) + " \r\n";
    writeFile(onCnc(QStringLiteral("KEEP")), "old");
    // Frames sent until one is not answered with ACK; that answer and the bytes sent so far.
    const auto stream = [&] {
        qsizetype at = 0;
        QByteArray answer;
        while (at < data.size()) {
            answer = send(pcFrame(data.mid(at, 2047)));
            at += 2047;
            if (answer != one(kAck))
                break;
        }
        return std::make_pair(answer, std::min(at, data.size()));
    };
    {
        ScopedFileFault fault({FileFault::Step::Write, ENOSPC, 3 * TcpController::kStorePiece / 2, root()});
        ASSERT_EQ(send(command), "sdlok");
        const auto [answer, sent] = stream();
        EXPECT_EQ(answer, one(kCan));
        EXPECT_LT(sent, data.size());  // refused before the end, not after it
        EXPECT_EQ(send(QByteArray("scd  user \r\n")), "scdok");
        EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), "old");
        EXPECT_EQ(vantor::testing::filesIn(QDir(root()).filePath(QStringLiteral("user"))), QStringList{QStringLiteral("KEEP")});
    }
    ASSERT_EQ(send(command), "sdlok");
    const auto [answer, sent] = stream();
    EXPECT_EQ(answer, one(kAck));
    EXPECT_EQ(sent, data.size());
    EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), "old");
    EXPECT_EQ(send(kEot), "");
    EXPECT_EQ(readFile(onCnc(QStringLiteral("KEEP"))), data);
}
