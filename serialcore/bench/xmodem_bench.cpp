// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of a 1 MB XModem-CRC send over a pseudo-terminal: our engine against sx, both
// into rx behind socat in the same run. Prints both times and their ratio.
#include "serialcore/linkdriver.h"
#include "serialcore/vantorcomm.h"
#include "serialcore/xmodem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <optional>

using namespace vantor;

namespace {

constexpr int kFileSize = 1024 * 1024;

bool startRx(QProcess& socat, const QString& dir, const QString& pty, const QString& out, int delaySeconds)
{
    socat.setWorkingDirectory(dir);
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("pty,raw,echo=0,link=") + pty,
                 QStringLiteral("SYSTEM:sleep %1; exec rx -X -c -b -q %2,pipes").arg(delaySeconds).arg(out)});
    if (!socat.waitForStarted(5000))
        return false;
    for (int i = 0; i < 250 && !QFileInfo::exists(pty); ++i)
        QThread::msleep(20);
    return QFileInfo::exists(pty);
}

struct Sender : XModemObserver {
    std::optional<bool> done;
    QElapsedTimer clock;
    QEventLoop* loop = nullptr;
    void sendStarted(int) override { clock.start(); }
    void sendFinished(SendResult r) override
    {
        done = r == SendResult::Sent;
        loop->quit();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray data(kFileSize, 0);
    for (int i = 0; i < kFileSize; ++i)
        data[i] = static_cast<char>((i * 2654435761u) >> 24);
    QFile in(dir.filePath(QStringLiteral("in.bin")));
    if (!in.open(QIODevice::WriteOnly) || in.write(data) != data.size())
        return 1;
    in.close();

    // Ours: timed from the receiver's first C to the ACK of EOT.
    QProcess rx1;
    const QString pty1 = dir.filePath(QStringLiteral("P1"));
    if (!startRx(rx1, dir.path(), pty1, QStringLiteral("ours.bin"), 1)) {
        std::fprintf(stderr, "xmodem_bench: socat/rx not available\n");
        return 1;
    }
    CVantorComm comm;
    comm.setPort(pty1, 115200);
    if (!comm.open()) {
        std::fprintf(stderr, "xmodem_bench: cannot open the pty\n");
        return 1;
    }
    LinkDriver driver;
    driver.setWriter([&](const QByteArray& b) { comm.write(b); });
    QEventLoop loop;
    Sender sender;
    sender.loop = &loop;
    CXModem xmodem(driver, sender, XModemVariant::Fernlink);
    QObject::connect(&comm, &CVantorComm::received, [&](const QByteArray& chunk) { xmodem.onSenderBytes(chunk); });
    xmodem.beginSend(data);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double oursMs = sender.clock.isValid() ? double(sender.clock.nsecsElapsed()) / 1e6 : -1;
    comm.close();
    rx1.waitForFinished(20000);
    QFile oursOut(dir.filePath(QStringLiteral("ours.bin")));
    const bool oursOk = sender.done.value_or(false) && oursOut.open(QIODevice::ReadOnly) && oursOut.readAll().left(kFileSize) == data;

    // sx: rx is already waiting with its first C in the pty when sx starts; timed over the
    // whole sx run.
    QProcess rx2;
    const QString pty2 = dir.filePath(QStringLiteral("P2"));
    if (!startRx(rx2, dir.path(), pty2, QStringLiteral("ref.bin"), 0))
        return 1;
    QThread::msleep(300);
    QProcess sx;
    sx.setWorkingDirectory(dir.path());
    QElapsedTimer clock;
    clock.start();
    sx.start(QStringLiteral("socat"), {pty2 + QStringLiteral(",raw,echo=0"), QStringLiteral("SYSTEM:exec sx -X -b -q in.bin,pipes")});
    sx.waitForFinished(120000);
    const double sxMs = double(clock.nsecsElapsed()) / 1e6;
    rx2.waitForFinished(20000);
    QFile refOut(dir.filePath(QStringLiteral("ref.bin")));
    const bool refOk = sx.exitCode() == 0 && refOut.open(QIODevice::ReadOnly) && refOut.readAll().left(kFileSize) == data;

    std::printf("1 MB XModem-CRC send into rx over a pty\n");
    std::printf("  ours: %8.1f ms  %7.1f KB/s  %s\n", oursMs, kFileSize / 1024.0 / (oursMs / 1000), oursOk ? "intact" : "FAILED");
    std::printf("  sx:   %8.1f ms  %7.1f KB/s  %s\n", sxMs, kFileSize / 1024.0 / (sxMs / 1000), refOk ? "intact" : "FAILED");
    std::printf("  ratio ours/sx time: %.2f (below 1 is faster)\n", oursMs / sxMs);
    return oursOk && refOk ? 0 : 1;
}
