// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the fuzz targets of the line engines: cuts the fuzzer's bytes into what a line
// delivers (reads of any size) and timer ticks, and a LinkPort that keeps its timers the way
// the shells do, so a tick only ever reaches a timer that is running.
#include "serialcore/linkport.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>

namespace vantor::fuzzing {

// Events: a length byte L > 0 and then L bytes of one read (fewer at the end of the input);
// a zero byte and then a selector: one tick of a running timer.
class EventReader {
public:
    EventReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    enum class Kind { End, Read, Tick };
    struct Event {
        Kind kind = Kind::End;
        QByteArray bytes;   // Read
        int selector = 0;   // Tick
    };

    Event next()
    {
        if (pos_ >= size_)
            return {};
        const std::size_t length = data_[pos_++];
        if (length == 0) {
            const int selector = pos_ < size_ ? data_[pos_++] : 0;
            return {Kind::Tick, {}, selector};
        }
        const std::size_t n = length < size_ - pos_ ? length : size_ - pos_;
        Event e{Kind::Read, QByteArray(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n)), 0};
        pos_ += n;
        return e;
    }
    // One byte of set-up (a variant, a flow); 0 once the input is used up.
    int take() { return pos_ < size_ ? data_[pos_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Where targets that touch files keep them: in memory when the system offers it, since a disk
// makes every input cost milliseconds and the fuzzer runs a thousandth as many.
inline QString scratchTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QStringLiteral("/tmp");
    return base + QStringLiteral("/vantor-fuzz-XXXXXX");
}

class FuzzLinkPort : public LinkPort {
public:
    QByteArray written;

    void write(const QByteArray& bytes) override
    {
        // Only the tail matters to nobody; keep memory flat over long inputs.
        written += bytes;
        if (written.size() > 65536)
            written = written.right(4096);
    }
    void pause(int) override {}
    void purge() override {}
    void startTimer(int id, int, bool repeat) override { timers_[id] = repeat; }
    void stopTimer(int id) override { timers_.erase(id); }

    // The id of the running timer the selector picks, forgetting it when it was one-shot;
    // -1 when none runs.
    int fire(int selector)
    {
        if (timers_.empty())
            return -1;
        auto it = timers_.begin();
        std::advance(it, selector % int(timers_.size()));
        const int id = it->first;
        if (!it->second)
            timers_.erase(it);
        return id;
    }

private:
    std::map<int, bool> timers_;
};

}  // namespace vantor::fuzzing
