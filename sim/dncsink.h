// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the simulated controller keeps the programs streamed to it in DNC mode: every
// completed stream becomes ROOT/dnc/stream-NNN.nc, its bytes exactly as they arrived. A
// stream is written as it comes (a DNC program may be far larger than memory) and appears
// under its name only once it completed; an aborted one leaves nothing behind.
#include "common/atomicfile.h"

#include <QString>

#include <memory>
#include <set>

namespace vantor::sim {

class DncSink;

class DncStream {
public:
    ~DncStream();  // not committed: nothing is kept
    DncStream(const DncStream&) = delete;
    DncStream& operator=(const DncStream&) = delete;

    bool write(QByteArrayView bytes);
    // The path of the stored program, or an empty string when it could not be stored.
    QString commit();
    qint64 size() const { return size_; }

private:
    friend class DncSink;
    DncStream(DncSink& sink, int number, const QString& path);

    DncSink& sink_;
    int number_;
    AtomicFileWriter file_;
    qint64 size_ = 0;
    bool ok_ = true;
    bool done_ = false;
};

class DncSink {
public:
    explicit DncSink(QString root);
    // Numbers are handed out when a stream starts, one past the highest on disk or in use,
    // so two links streaming at once never pick the same name. nullptr: the folder cannot
    // be written.
    std::unique_ptr<DncStream> begin();
    QString folder() const;
    static QString fileName(int number);

private:
    friend class DncStream;
    void release(int number) { inUse_.erase(number); }

    QString root_;
    std::set<int> inUse_;
};

}  // namespace vantor::sim
