// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/transferstats.h"

#include <algorithm>

namespace vantor::fernlink {

void TransferStatistics::start(qint64 fileSize, TransferDirection direction)
{
    *this = TransferStatistics();
    size_ = std::max<qint64>(fileSize, 0);
    direction_ = direction;
}

void TransferStatistics::setProgress(qint64 bytesDone, int block)
{
    done_ = std::max<qint64>(bytesDone, 0);
    block_ = block;
}

void TransferStatistics::complete()
{
    done_ = size_;
    block_ = blocksFor(size_);
}

void TransferStatistics::tick()
{
    ++elapsed_;
    lastSecond_ = done_ - doneAtLastTick_;
    doneAtLastTick_ = done_;
}

int TransferStatistics::blocksFor(qint64 size)
{
    return std::max<int>(1, static_cast<int>((size + 127) / 128));
}

QString TransferStatistics::packetsText() const
{
    // Counted in 128-byte blocks on every link, so the field agrees with the progress even
    // where the link moves bigger frames.
    const int total = blocksFor(size_);
    const int shown = done_ > 0 ? static_cast<int>((done_ + 127) / 128) : block_;
    return QStringLiteral("%1/%2").arg(std::min(shown, total)).arg(total);
}

double TransferStatistics::percentValue() const
{
    if (direction_ == TransferDirection::Receive) {
        if (done_ >= size_ && size_ > 0)
            return 100.0;
        return std::min(100.0, (double(done_) + 1) / (double(size_) + 1) * 100.0);
    }
    if (size_ == 0)
        return done_ > 0 || block_ > 0 ? 100.0 : 0.0;
    return std::min(100.0, double(done_) / double(size_) * 100.0);
}

QString TransferStatistics::progressText() const
{
    return QStringLiteral("%1/%2  %3%").arg(std::min(done_, size_)).arg(size_).arg(percentValue(), 0, 'f', 2);
}

int TransferStatistics::percent() const
{
    return static_cast<int>(percentValue());
}

QString TransferStatistics::formatDuration(qint64 seconds)
{
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds / 60) % 60;
    const qint64 s = seconds % 60;
    return QStringLiteral("%1:%2:%3").arg(h, 2, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

QString TransferStatistics::elapsedText() const
{
    return formatDuration(elapsed_);
}

QString TransferStatistics::remainingText() const
{
    const qint64 left = std::max<qint64>(size_ - done_, 0);
    if (direction_ == TransferDirection::Send) {
        if (done_ <= 0 || elapsed_ <= 0)
            return {};
        return formatDuration(static_cast<qint64>(double(left) / (double(done_) / double(elapsed_))));
    }
    if (lastSecond_ <= 0)
        return {};
    return formatDuration(left / lastSecond_);
}

QString TransferStatistics::speedText() const
{
    return QStringLiteral("%1 KB/s").arg(double(lastSecond_) / 1024.0, 0, 'f', 2);
}

}  // namespace vantor::fernlink
