// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one checked way this suite puts a file on disk.
//
// Bytes go to a temporary file beside the target with plain write(2) calls whose every result
// is checked (short writes are continued, EINTR retried), the file is fsync'ed and closed, then
// renamed over the target and the folder fsync'ed so the new name survives a crash. Until the
// rename nothing touches the old file; on any failure the temporary file is removed and the
// error names the file and the system's reason ("No space left on device").
#include <QByteArray>
#include <QString>

#include <cerrno>
#include <optional>

namespace vantor {

struct ArchiveFileResult {
    bool ok = false;
    QString error;   // "<file>: <system reason>", empty on success
};

// A file written piece by piece (a received program), kept under a temporary name until
// commit(). Destroying an uncommitted writer removes the temporary file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(QString path, bool ownerOnly = false);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool open();
    // Every byte is on its way to the disk or the call fails; after a failure the writer
    // refuses everything but cancelWriting().
    bool write(QByteArrayView bytes);
    bool write(const char* data, qsizetype size) { return write(QByteArrayView(data, size)); }
    // fsync, close, rename over the target, fsync the folder.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancelWriting();

    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return !error_.isEmpty(); }
    const QString& errorString() const { return error_; }
    const QString& fileName() const { return path_; }
    const QString& temporaryFileName() const { return temp_; }
    qint64 bytesWritten() const { return written_; }

private:
    bool fail(int err);
    bool failWith(const QString& reason);
    void closeAndRemove();

    QString path_;     // as the caller named it (shown in errors)
    QString target_;   // where the rename goes (a symbolic link's target)
    QString temp_;
    bool ownerOnly_;
    int fd_ = -1;
    qint64 written_ = 0;
    QString error_;
};

// Atomic replace: the old file stays intact unless every byte of the new one reached the disk.
ArchiveFileResult saveFileAtomically(const QString& path, QByteArrayView bytes, bool ownerOnly = false);

// Writes the file, then reads it back and compares size and bytes; a copy that does not match
// is removed and reported. For outputs a machine loads blind (program images, lists).
ArchiveFileResult saveFileVerified(const QString& path, QByteArrayView bytes);

// The system's text for an errno value ("No space left on device"), never empty.
QString systemErrorText(int err);

// ---- Test seam --------------------------------------------------------------------------
// Tests arm one fault and every checked write under `folder` (all paths when empty) meets it
// as a full or failing disk would. Production code never arms it.
struct FileFault {
    // Corrupt: no error at all, but the byte at afterBytes reaches the disk altered (a lying
    // disk or driver), for the checks that read a file back.
    enum class Step { Open, Write, Sync, Close, Rename, FolderSync, Corrupt };
    Step step = Step::Write;
    int error = ENOSPC;
    // For Step::Write: bytes each file accepts before it fails (the call that crosses the
    // limit is a short write, the next one gets the error). For Step::Corrupt: the offset.
    qint64 afterBytes = 0;
    QString folder;
};

// Arms a fault for as long as it lives.
class ScopedFileFault {
public:
    explicit ScopedFileFault(FileFault fault);
    ~ScopedFileFault();
    ScopedFileFault(const ScopedFileFault&) = delete;
    ScopedFileFault& operator=(const ScopedFileFault&) = delete;
    // How many times the armed fault fired.
    int hits() const;
};

}  // namespace vantor
