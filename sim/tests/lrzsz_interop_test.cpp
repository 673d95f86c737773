// SPDX-License-Identifier: GPL-3.0-or-later
// fernlink-cli's bare XModem against lrzsz (sx/rx in 128-byte CRC mode), both directions.
// lrzsz gets pipes behind socat's pseudo-terminal; on a bare pty pair it loses bytes.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

using namespace vantor::testing;

namespace {

bool haveTools()
{
    for (const char* tool : {"socat", "sx", "rx"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return false;
    return true;
}

// socat with lrzsz behind the pty at dir/P; lrzsz runs in dir and wants relative names.
struct Peer {
    QProcess socat;
    QString pty;

    bool start(const QString& dir, const QString& command)
    {
        pty = QDir(dir).filePath(QStringLiteral("P"));
        socat.setWorkingDirectory(dir);
        socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + pty, QStringLiteral("SYSTEM:") + command + QStringLiteral(",pipes")});
        if (!socat.waitForStarted(5000))
            return false;
        for (int i = 0; i < 250 && !QFileInfo::exists(pty); ++i)
            QThread::msleep(20);
        return QFileInfo::exists(pty);
    }
    ~Peer()
    {
        if (socat.state() != QProcess::NotRunning) {
            socat.terminate();
            if (!socat.waitForFinished(3000))
                socat.kill();
        }
    }
};

int runCli(const QStringList& args)
{
    QProcess p;
    p.start(programPath("fernlink-cli"), args);
    if (!p.waitForFinished(90000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class LrzszInterop : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!haveTools())
            GTEST_SKIP() << "socat or lrzsz not installed";
        data = patternBytes(GetParam());
        writeFile(inFile(), data);
    }
    QString inFile() const { return dir.filePath(QStringLiteral("in.bin")); }

    QTemporaryDir dir;
    QByteArray data;  // what in.bin holds
};

}  // namespace

// Our sender, rx receiving; rx may send its first C before our port is open.
TEST_P(LrzszInterop, OurSenderToRx)
{
    Peer rx;
    ASSERT_TRUE(rx.start(dir.path(), QStringLiteral("exec rx -X -c -b -q out.bin")));
    EXPECT_EQ(runCli({QStringLiteral("xmodem"), QStringLiteral("send"), rx.pty, inFile()}), 0);
    ASSERT_TRUE(rx.socat.waitForFinished(20000));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out.bin"))), paddedToBlock(data));
}

// sx sending, our receiver; the receiver keeps the padding of the last block. sx sends an
// empty file as a lone EOT, which becomes an empty file here.
TEST_P(LrzszInterop, SxToOurReceiver)
{
    Peer sx;
    ASSERT_TRUE(sx.start(dir.path(), QStringLiteral("exec sx -X -b -q in.bin")));
    const QString out = dir.filePath(QStringLiteral("got.bin"));
    EXPECT_EQ(runCli({QStringLiteral("xmodem"), QStringLiteral("receive"), sx.pty, out}), 0);
    EXPECT_EQ(readFile(out), paddedToBlock(data));
    EXPECT_TRUE(sx.socat.waitForFinished(20000));
    EXPECT_EQ(sx.socat.exitCode(), 0);
}

// rx started first, as users do: its first C is waiting before our port opens. Kept, it
// starts the transfer at once; thrown away, rx would ask again only after 10 s.
TEST(LrzszEarlyReceiver, FirstCSentBeforeOurPortOpensStartsTheTransfer)
{
    if (!haveTools())
        GTEST_SKIP() << "socat or lrzsz not installed";
    QTemporaryDir dir;
    const QByteArray data = patternBytes(1000);
    writeFile(dir.filePath(QStringLiteral("in.bin")), data);
    Peer rx;
    ASSERT_TRUE(rx.start(dir.path(), QStringLiteral("exec rx -X -c -b -q out.bin")));
    QThread::msleep(500);  // rx is up and its C is in the pty
    QProcess p;
    p.start(programPath("fernlink-cli"),
            {QStringLiteral("xmodem"), QStringLiteral("send"), rx.pty, dir.filePath(QStringLiteral("in.bin"))});
    const bool quick = p.waitForFinished(6000);
    if (!quick) {
        p.kill();
        p.waitForFinished();
    }
    EXPECT_TRUE(quick) << "the transfer waited for rx's second C";
    EXPECT_EQ(p.exitCode(), 0);
    ASSERT_TRUE(rx.socat.waitForFinished(20000));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out.bin"))), paddedToBlock(data));
}

INSTANTIATE_TEST_SUITE_P(Sizes, LrzszInterop, ::testing::Values(0, 1, 128, 129, 100000));
