// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The checked save of one file coming over a link: its bytes go to a temporary file beside
// the target, which takes the target's name only when the file is complete. Every other end
// (a failure, a cancel, the owner going away) drops the temporary file and leaves the target
// as it was. Who tells the user, and in which words, stays with the caller: the reason of a
// failure is kept until the file is dropped or opened again.
#include "common/atomicfile.h"

#include <QString>

#include <memory>

namespace vantor {

class ReceivedFile {
public:
    ReceivedFile() = default;
    ~ReceivedFile() { drop(); }
    ReceivedFile(const ReceivedFile&) = delete;
    ReceivedFile& operator=(const ReceivedFile&) = delete;

    // Opens the temporary file beside target; on a failure nothing stays open and
    // errorString() tells why.
    bool open(const QString& target);
    bool isOpen() const { return writer_ != nullptr; }
    bool write(QByteArrayView bytes);
    // Renames the complete file into place. After a failed rename the file stays open (and
    // failed()), so its reason can still be told; drop() ends it.
    bool commit();
    // The partial file goes; the target stays as it was. The next file starts clean.
    void drop();

    // An open, write or rename failed since the last open.
    bool failed() const { return !error_.isEmpty() || (writer_ && writer_->failed()); }
    QString errorString() const { return writer_ && writer_->failed() ? writer_->errorString() : error_; }

private:
    std::unique_ptr<AtomicFileWriter> writer_;
    QString error_;
};

// A name another machine sent, usable as a file name inside a chosen folder: it names
// something and has no path separator, drive colon or NUL that could lead out of the folder.
bool isSafeLocalName(const QString& name);

}  // namespace vantor
