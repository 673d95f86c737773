// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress figures every front end shows for a file transfer: packets, file progress,
// elapsed and remaining time, speed. Fed with byte counts and one tick per second.
#include <QString>

namespace vantor::fernlink {

enum class TransferDirection { Send, Receive };

class TransferStatistics {
public:
    void start(qint64 fileSize, TransferDirection direction);
    // Bytes moved so far in the file (absolute), and the block last moved.
    void setProgress(qint64 bytesDone, int block);
    // At the end of a successful receive the figures show the whole file.
    void complete();
    void tick();  // once a second

    QString packetsText() const;    // "%d/%d": block / 128-byte blocks (at least 1)
    QString progressText() const;   // "%d/%d  %.2f%%"
    QString elapsedText() const;    // "hh:mm:ss"
    QString remainingText() const;  // "hh:mm:ss", "" while nothing has moved
    QString speedText() const;      // "%.2f KB/s" over the last second
    int percent() const;            // 0..100, the bar's position
    qint64 fileSize() const { return size_; }
    qint64 bytesDone() const { return done_; }

    static QString formatDuration(qint64 seconds);
    static int blocksFor(qint64 size);

private:
    double percentValue() const;

    TransferDirection direction_ = TransferDirection::Send;
    qint64 size_ = 0;
    qint64 done_ = 0;
    qint64 doneAtLastTick_ = 0;
    qint64 lastSecond_ = 0;
    qint64 elapsed_ = 0;
    int block_ = 0;
};

}  // namespace vantor::fernlink
