// SPDX-License-Identifier: GPL-3.0-or-later
// cncsim as a program: the TCP port it announces serves list, download and upload over a
// real loopback connection, both links run side by side, and the serial DNC input keeps a
// stream streamed over the pseudo-terminal.
#include "common/testing/testfiles.h"
#include "serialcore/xmodem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::testing;

namespace {

constexpr int kGuardMs = 10000;  // only so a broken build cannot hang the run

class CncSimProcess : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess sim;

    QString root() const { return dir.filePath(QStringLiteral("root")); }
    QString onCnc(const QString& name) const { return QDir(root()).filePath(QStringLiteral("user/") + name); }

    QStringList start(const QStringList& args, int lines)
    {
        return startBackgroundProgram(sim, "cncsim", QStringList{QStringLiteral("--root"), root()} + args, lines, kGuardMs);
    }
    void TearDown() override { stopBackgroundProgram(sim, kGuardMs); }
};

quint16 portOf(const QString& line)
{
    return line.startsWith(QLatin1String("127.0.0.1:")) ? line.mid(10).toUShort() : 0;
}

// Reads until the predicate holds for what came (or the guard runs out).
QByteArray readUntil(QTcpSocket& s, const std::function<bool(const QByteArray&)>& done)
{
    QByteArray got;
    QDeadlineTimer guard(kGuardMs);
    while (!done(got) && !guard.hasExpired()) {
        if (s.bytesAvailable() == 0)
            s.waitForReadyRead(100);
        got += s.readAll();
    }
    return got;
}

QByteArray readCount(QTcpSocket& s, qsizetype n)
{
    return readUntil(s, [n](const QByteArray& b) { return b.size() >= n; });
}

QByteArray exchange(QTcpSocket& s, const QByteArray& bytes, qsizetype replySize)
{
    s.write(bytes);
    s.flush();
    return readCount(s, replySize);
}

TEST_F(CncSimProcess, TcpListDownloadUpload)
{
    QByteArray program;
    for (int i = 0; i < 200; ++i)
        program += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i * 3) + "\r\n";  // two frames
    writeFile(onCnc(QStringLiteral("O0001")), "G00\r\n");

    const QStringList out = start({QStringLiteral("--tcp"), QStringLiteral("0")}, 1);
    ASSERT_EQ(out.size(), 1);
    const quint16 port = portOf(out[0]);
    ASSERT_NE(port, 0) << out[0].toStdString();

    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(s.waitForConnected(kGuardMs));

    EXPECT_EQ(exchange(s, "scd  user \r\n", 5), "scdok");
    s.write("sls \r\n");
    EXPECT_EQ(readUntil(s, [](const QByteArray& b) { return b.endsWith('\x18'); }), "slsok1: O0001\t 5\r\n\x18");

    // Download: two frames, then EOT; the file appears with exactly its bytes.
    EXPECT_EQ(exchange(s, "sdl O0002 " + QByteArray::number(program.size()) + " \r\n", 5), "sdlok");
    for (qsizetype at = 0; at < program.size(); at += 2047) {
        QByteArray frame = "\x01" + program.mid(at, 2047);
        frame += QByteArray(2048 - frame.size(), '\0');
        EXPECT_EQ(exchange(s, frame, 1), "\x06");
    }
    s.write("\x04");
    s.flush();
    EXPECT_EQ(exchange(s, "scd  user \r\n", 5), "scdok");  // the EOT was taken before this
    EXPECT_EQ(readFile(onCnc(QStringLiteral("O0002"))), program);

    // Upload it back.
    const QByteArray announce = "sulok " + QByteArray::number(program.size());
    EXPECT_EQ(exchange(s, "sul O0002 \r\n", announce.size()), announce);
    QByteArray payload;
    for (qsizetype at = 0; at < program.size(); at += 2047) {
        const QByteArray frame = exchange(s, "\x06", 2048);
        ASSERT_EQ(frame.size(), 2048);
        payload += frame.mid(1);
    }
    EXPECT_EQ(exchange(s, "\x06", 1), "\x04");
    EXPECT_EQ(payload.left(program.size()), program);
}

TEST_F(CncSimProcess, BothLinksAnnouncedInOrder)
{
    const QString link = dir.filePath(QStringLiteral("cnc"));
    const QStringList out = start({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--link"), link}, 2);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0], link);
    EXPECT_NE(portOf(out[1]), 0) << out[1].toStdString();
}

TEST_F(CncSimProcess, TerminateEndsCleanlyAndRemovesTheLink)
{
    const QString link = dir.filePath(QStringLiteral("cnc"));
    ASSERT_EQ(start({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--link"), link}, 2).size(), 2);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(kGuardMs));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST_F(CncSimProcess, NeedsALink)
{
    sim.start(programPath("cncsim"), {QStringLiteral("--root"), root()});
    ASSERT_TRUE(sim.waitForFinished(kGuardMs));
    EXPECT_EQ(sim.exitCode(), 2);
}

TEST_F(CncSimProcess, SerialDncInputKeepsTheStream)
{
    const QString link = dir.filePath(QStringLiteral("cnc"));
    ASSERT_EQ(start({QStringLiteral("--link"), link, QStringLiteral("--dnc")}, 1), QStringList{link});
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    const auto readByte = [fd]() -> int {
        pollfd p{fd, POLLIN, 0};
        unsigned char c = 0;
        if (::poll(&p, 1, kGuardMs) != 1 || ::read(fd, &c, 1) != 1)
            return -1;
        return c;
    };
    ASSERT_EQ(readByte(), 'C');
    const QByteArray program = "O0100\r\nG01 X1\r\nM30\r\n";
    const QByteArray frame = CXModem::buildFrame(1, program);
    ASSERT_EQ(::write(fd, frame.constData(), static_cast<size_t>(frame.size())), frame.size());
    int c = readByte();
    while (c == 'C')
        c = readByte();
    ASSERT_EQ(c, 0x06);
    ASSERT_EQ(::write(fd, "\x04", 1), 1);
    c = readByte();
    while (c == 'C')
        c = readByte();
    EXPECT_EQ(c, 0x06);
    ::close(fd);
    EXPECT_EQ(readFile(QDir(root()).filePath(QStringLiteral("dnc/stream-001.nc"))),
              program + QByteArray(128 - program.size(), wire::kPadByte));
}

}  // namespace
