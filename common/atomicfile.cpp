// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

// ---- the test seam ----
struct ArmedFault {
    FileFault fault;
    int hits = 0;
};
std::mutex faultMutex;
std::optional<ArmedFault> armedFault;

bool under(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return true;
    const QString root = QDir::cleanPath(folder) + QLatin1Char('/');
    return QDir::cleanPath(path).startsWith(root);
}

// The errno the armed fault gives at this step for this path, or 0.
int injected(FileFault::Step step, const QString& path)
{
    std::lock_guard lock(faultMutex);
    if (!armedFault || armedFault->fault.step != step || !under(path, armedFault->fault.folder))
        return 0;
    ++armedFault->hits;
    return armedFault->fault.error;
}

// For writes: how many more bytes this file may take before the armed fault, or -1 for no
// limit; at 0 the fault fires and *err says with what.
qint64 writeAllowance(const QString& path, qint64 alreadyWritten, int* err)
{
    std::lock_guard lock(faultMutex);
    if (!armedFault || armedFault->fault.step != FileFault::Step::Write || !under(path, armedFault->fault.folder))
        return -1;
    const qint64 left = std::max<qint64>(0, armedFault->fault.afterBytes - alreadyWritten);
    if (left == 0) {
        ++armedFault->hits;
        *err = armedFault->fault.error;
    }
    return left;
}

// For Step::Corrupt: the offset whose byte reaches the disk altered, or -1.
qint64 corruptedOffset(const QString& path)
{
    std::lock_guard lock(faultMutex);
    if (!armedFault || armedFault->fault.step != FileFault::Step::Corrupt || !under(path, armedFault->fault.folder))
        return -1;
    ++armedFault->hits;
    return armedFault->fault.afterBytes;
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Beside the target so the rename stays on one file system; hidden and marked so a half
// file never looks like a finished one.
QString temporaryNameFor(const QString& target)
{
    const QFileInfo info(target);
    QString base = info.fileName().left(200);
    const quint32 salt = QRandomGenerator::global()->generate();
    return info.dir().filePath(QStringLiteral(".%1.%2.part").arg(base).arg(salt, 8, 16, QLatin1Char('0')));
}

int syncFolder(const QString& folder, const QString& entry)
{
    if (const int err = injected(FileFault::Step::FolderSync, entry))
        return err;
    const int dirFd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return errno;
    int err = 0;
    // Some file systems cannot sync a folder at all (EINVAL); there is nothing more to do there.
    if (::fsync(dirFd) != 0 && errno != EINVAL)
        err = errno;
    ::close(dirFd);
    return err;
}

}  // namespace

QString systemErrorText(int err)
{
    char buffer[256] = {};
    // The GNU strerror_r returns the text (possibly not in buffer).
    const char* text = ::strerror_r(err, buffer, sizeof buffer);
    if (!text || !*text)
        return QStringLiteral("error %1").arg(err);
    return QString::fromLocal8Bit(text);
}

AtomicFileWriter::AtomicFileWriter(QString path, bool ownerOnly) : path_(std::move(path)), ownerOnly_(ownerOnly)
{
    // Saving through a symbolic link replaces the file it points to, not the link.
    const QFileInfo info(path_);
    target_ = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
}

AtomicFileWriter::~AtomicFileWriter()
{
    cancelWriting();
}

bool AtomicFileWriter::fail(int err)
{
    return failWith(systemErrorText(err));
}

bool AtomicFileWriter::failWith(const QString& reason)
{
    if (error_.isEmpty())
        error_ = QStringLiteral("%1: %2").arg(shown(path_), reason);
    closeAndRemove();
    return false;
}

void AtomicFileWriter::closeAndRemove()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(encoded(temp_).constData());
        temp_.clear();
    }
}

bool AtomicFileWriter::open()
{
    if (fd_ >= 0 || failed())
        return false;
    if (QFileInfo(target_).isDir())
        return fail(EISDIR);
    mode_t mode = ownerOnly_ ? 0600 : 0666;
    struct stat existing {};
    const bool replacing = ::stat(encoded(target_).constData(), &existing) == 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = temporaryNameFor(target_);
        if (const int err = injected(FileFault::Step::Open, candidate))
            return fail(err);
        fd_ = ::open(encoded(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            temp_ = candidate;
            break;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    if (fd_ < 0)
        return fail(EEXIST);
    // A replaced file keeps its permissions (an owner-only file stays owner-only).
    if (ownerOnly_)
        mode = 0600;
    else if (replacing)
        mode = existing.st_mode & 07777;
    if (ownerOnly_ || replacing) {
        if (::fchmod(fd_, mode) != 0)
            return fail(errno);
    }
    written_ = 0;
    return true;
}

bool AtomicFileWriter::write(QByteArrayView bytes)
{
    if (fd_ < 0 || failed())
        return false;
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        qsizetype chunk = left;
        int injectedError = 0;
        const qint64 allowance = writeAllowance(temp_, written_, &injectedError);
        if (allowance == 0)
            return fail(injectedError);
        if (allowance > 0)
            chunk = std::min<qsizetype>(chunk, qsizetype(allowance));
        QByteArray altered;
        const char* out = data;
        if (const qint64 at = corruptedOffset(temp_); at >= written_ && at < written_ + chunk) {
            altered = QByteArray(data, chunk);
            altered[at - written_] = char(~altered[at - written_]);
            out = altered.constData();
        }
        const ssize_t n = ::write(fd_, out, size_t(chunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)   // no progress and no reason given: a full disk by another name
            return fail(ENOSPC);
        data += n;
        left -= n;
        written_ += n;
    }
    return true;
}

bool AtomicFileWriter::commit()
{
    if (fd_ < 0 || failed())
        return false;
    if (const int err = injected(FileFault::Step::Sync, temp_))
        return fail(err);
    // Delayed allocation reports a full disk only here, so this is a real check, not a formality.
    if (::fsync(fd_) != 0)
        return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (const int err = injected(FileFault::Step::Close, temp_)) {
        ::close(fd);
        return fail(err);
    }
    if (::close(fd) != 0 && errno != EINTR)
        return fail(errno);
    if (const int err = injected(FileFault::Step::Rename, target_))
        return fail(err);
    if (::rename(encoded(temp_).constData(), encoded(target_).constData()) != 0)
        return fail(errno);
    temp_.clear();
    // The new name is in place; without this a crash could still bring back the old one (or none).
    if (const int err = syncFolder(QFileInfo(target_).absolutePath(), target_))
        return failWith(QStringLiteral("%1 (%2)").arg(systemErrorText(err), shown(QFileInfo(target_).absolutePath())));
    return true;
}

void AtomicFileWriter::cancelWriting()
{
    closeAndRemove();
}

ArchiveFileResult saveFileAtomically(const QString& path, QByteArrayView bytes, bool ownerOnly)
{
    AtomicFileWriter file(path, ownerOnly);
    if (!file.open() || !file.write(bytes) || !file.commit())
        return {false, file.errorString()};
    return {true, {}};
}

ScopedFileFault::ScopedFileFault(FileFault fault)
{
    std::lock_guard lock(faultMutex);
    armedFault = ArmedFault{std::move(fault), 0};
}

ScopedFileFault::~ScopedFileFault()
{
    std::lock_guard lock(faultMutex);
    armedFault.reset();
}

int ScopedFileFault::hits() const
{
    std::lock_guard lock(faultMutex);
    return armedFault ? armedFault->hits : 0;
}

}  // namespace vantor
