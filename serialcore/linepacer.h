// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps a stream from running ahead of the serial line. A write returns as soon as the bytes
// are in the operating system's queue, not on the wire; a stream that writes whenever the
// write returns can have a second of text queued when the controller says stop. The pacer
// counts the line time of what was written and lets only a few milliseconds of it be queued.
// No I/O: the caller gives the time (microseconds on any steady clock).
#include <QtGlobal>

namespace vantor {

class LinePacer {
public:
    // 8-N-1: ten bits on the wire per byte. slackUs: how much line time may be queued ahead.
    explicit LinePacer(int baud, qint64 slackUs = 5000);

    // Bytes that may be written now; at least one byte's worth of slack is always allowed,
    // so a slow rate still moves.
    qsizetype allowance(qint64 nowUs) const;
    void wrote(qsizetype bytes, qint64 nowUs);
    // Microseconds until the next byte may go (0: now).
    qint64 waitUs(qint64 nowUs) const;
    // Bytes the slack holds at this rate.
    qsizetype slackBytes() const;
    qint64 usPerByte() const { return usPerByte_; }

private:
    qint64 usPerByte_;
    qint64 slackUs_;
    qint64 lineFreeAtUs_ = 0;  // when the line will have sent everything written so far
};

}  // namespace vantor
