// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// DNC in the XON/XOFF protocol: the program's lines go out as fast as the line takes them,
// and the controller throttles the stream with flow-control bytes. No I/O here: the shell
// asks for bytes to write and feeds back what the controller sent and one tick per second.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vantor::fernport {

inline constexpr char kXon = 0x11;  // the controller may take more

class XonXoffDnc {
public:
    // lines: the bytes of each program line, line end included, in the code page of the wire.
    explicit XonXoffDnc(std::vector<QByteArray> lines);

    // The editor's text split into wire lines: each line GBK-encoded and ended with CR LF;
    // a trailing line end does not make an extra empty line.
    static std::vector<QByteArray> linesFromText(const QString& text);

    // Up to max bytes to write now; empty while halted or when the run is over.
    QByteArray takeBytes(qsizetype max);
    // Every byte counts, in order: XON lets the stream run, any other byte halts it. However
    // many halting bytes came, the next XON resumes.
    void onReceived(QByteArrayView chunk);
    // Cancel: the line being sent is finished first, so the controller never gets half a block.
    void requestStop();
    // One second of the run has passed.
    void tick() { ++seconds_; }

    bool halted() const { return halted_; }
    bool finished() const;
    bool stoppedByUser() const { return stopRequested_; }
    std::uint64_t bytesSent() const { return bytesSent_; }
    // Every byte handed out, the part of a line not yet whole included.
    std::uint64_t bytesTaken() const { return bytesTaken_; }
    int linesSent() const { return linesSent_; }
    int seconds() const { return seconds_; }
    std::uint64_t bytesPerSecond() const { return seconds_ > 0 ? bytesSent_ / std::uint64_t(seconds_) : 0; }
    // "%02d:%02d": minutes are not cut to two digits (3725 s reads 62:05).
    QString timeText() const;

private:
    std::vector<QByteArray> lines_;
    std::size_t line_ = 0;       // line being sent
    qsizetype offset_ = 0;       // bytes of that line already taken
    bool halted_ = false;
    bool stopRequested_ = false;
    std::uint64_t bytesSent_ = 0;
    std::uint64_t bytesTaken_ = 0;
    int linesSent_ = 0;
    int seconds_ = 0;
};

}  // namespace vantor::fernport
