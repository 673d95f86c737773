// SPDX-License-Identifier: GPL-3.0-or-later
// A full or failing disk for one folder, for tests of whole programs (LD_PRELOAD).
//
//   VANTOR_DISKFAULT_DIR    the folder (and everything below it) that is "full"
//   VANTOR_DISKFAULT_OP     write (default), open, fsync, close or rename
//   VANTOR_DISKFAULT_ERRNO  ENOSPC (default), EIO, or a number
//   VANTOR_DISKFAULT_AFTER  for write: bytes the folder still takes in all (default 0); the
//                           write that crosses the limit is short, the next one fails
//
// fsync and fdatasync fail for "fsync", close for "close" (the descriptor is closed all the
// same, as the kernel does), rename/renameat/renameat2 whose target lies in the folder for
// "rename", open/openat that create there for "open". Nothing else is touched.
//
// It is built without sanitizers; under a sanitizer build the runner puts the sanitizer's
// runtime first in LD_PRELOAD, and the sanitizer's own wrappers then reach these through
// RTLD_NEXT like any other library's.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

enum class Op { None, Write, Open, Fsync, Close, Rename };

struct Config {
    bool ready = false;
    Op op = Op::None;
    int error = ENOSPC;
    long long budget = 0;
    char dir[PATH_MAX] = {};      // as given
    char real[PATH_MAX] = {};     // with links resolved
};

Config config;
std::atomic<long long> used{0};

template <typename F>
F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void trimSlash(char* path)
{
    size_t n = std::strlen(path);
    while (n > 1 && path[n - 1] == '/')
        path[--n] = '\0';
}

const Config& cfg()
{
    if (config.ready)
        return config;
    const char* dir = std::getenv("VANTOR_DISKFAULT_DIR");
    if (dir && *dir) {
        std::snprintf(config.dir, sizeof config.dir, "%s", dir);
        trimSlash(config.dir);
        if (!realpath(config.dir, config.real))
            std::snprintf(config.real, sizeof config.real, "%s", config.dir);
        const char* op = std::getenv("VANTOR_DISKFAULT_OP");
        if (!op || !*op || !std::strcmp(op, "write"))
            config.op = Op::Write;
        else if (!std::strcmp(op, "open"))
            config.op = Op::Open;
        else if (!std::strcmp(op, "fsync"))
            config.op = Op::Fsync;
        else if (!std::strcmp(op, "close"))
            config.op = Op::Close;
        else if (!std::strcmp(op, "rename"))
            config.op = Op::Rename;
        const char* err = std::getenv("VANTOR_DISKFAULT_ERRNO");
        if (err && !std::strcmp(err, "EIO"))
            config.error = EIO;
        else if (err && *err && std::strcmp(err, "ENOSPC") != 0)
            config.error = std::atoi(err);
        if (const char* after = std::getenv("VANTOR_DISKFAULT_AFTER"))
            config.budget = std::atoll(after);
    }
    config.ready = true;
    return config;
}

bool startsWithDir(const char* path, const char* dir)
{
    const size_t n = std::strlen(dir);
    return n > 0 && std::strncmp(path, dir, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

bool inFolder(const char* path)
{
    const Config& c = cfg();
    if (c.op == Op::None || !path)
        return false;
    if (startsWithDir(path, c.dir) || startsWithDir(path, c.real))
        return true;
    // A relative or not yet resolved path: judge by its folder's real location.
    char copy[PATH_MAX];
    std::snprintf(copy, sizeof copy, "%s", path);
    char* slash = std::strrchr(copy, '/');
    if (slash == copy)
        copy[1] = '\0';
    else if (slash)
        *slash = '\0';
    else
        std::snprintf(copy, sizeof copy, ".");
    char resolved[PATH_MAX];
    return realpath(copy, resolved) && startsWithDir(resolved, c.real);
}

bool fdInFolder(int fd)
{
    if (cfg().op == Op::None || fd < 0)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = '\0';
    // Sockets, pipes and the like read as "socket:[N]": never a file in the folder.
    return path[0] == '/' && inFolder(path);
}

// How many of `count` bytes a write to fd may pass; -1 with errno set when none.
ssize_t allowed(int fd, size_t count)
{
    if (cfg().op != Op::Write || !fdInFolder(fd))
        return ssize_t(count);
    const long long left = config.budget - used.load();
    if (left <= 0) {
        errno = config.error;
        return -1;
    }
    return ssize_t(count < size_t(left) ? count : size_t(left));
}

bool fails(Op op)
{
    if (cfg().op != op)
        return false;
    errno = config.error;
    return true;
}

// Read before any thread starts, so the hooks never race over it.
__attribute__((constructor)) void readConfigurationEarly()
{
    cfg();
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t count)
{
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t take = allowed(fd, count);
    if (take < 0)
        return -1;
    const ssize_t n = real(fd, buf, size_t(take));
    if (n > 0 && cfg().op == Op::Write && fdInFolder(fd))
        used += n;
    return n;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const ssize_t take = allowed(fd, count);
    if (take < 0)
        return -1;
    const ssize_t n = real(fd, buf, size_t(take), offset);
    if (n > 0 && cfg().op == Op::Write && fdInFolder(fd))
        used += n;
    return n;
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset)
{
    return pwrite(fd, buf, count, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int iovcnt)
{
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (cfg().op == Op::Write && fdInFolder(fd)) {
        // Written piece by piece so the limit falls inside the right piece.
        ssize_t total = 0;
        for (int i = 0; i < iovcnt; ++i) {
            const ssize_t n = write(fd, iov[i].iov_base, iov[i].iov_len);
            if (n < 0)
                return total > 0 ? total : -1;
            total += n;
            if (size_t(n) < iov[i].iov_len)
                break;
        }
        return total;
    }
    return real(fd, iov, iovcnt);
}

int fsync(int fd)
{
    static auto real = next<int (*)(int)>("fsync");
    if (fdInFolder(fd) && fails(Op::Fsync))
        return -1;
    return real(fd);
}

int fdatasync(int fd)
{
    static auto real = next<int (*)(int)>("fdatasync");
    if (fdInFolder(fd) && fails(Op::Fsync))
        return -1;
    return real(fd);
}

int close(int fd)
{
    static auto real = next<int (*)(int)>("close");
    const bool fail = cfg().op == Op::Close && fdInFolder(fd);
    const int result = real(fd);
    if (fail && fails(Op::Close))
        return -1;
    return result;
}

int rename(const char* from, const char* to)
{
    static auto real = next<int (*)(const char*, const char*)>("rename");
    if (inFolder(to) && fails(Op::Rename))
        return -1;
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    static auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    if (to && to[0] == '/' && inFolder(to) && fails(Op::Rename))
        return -1;
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    if (to && to[0] == '/' && inFolder(to) && fails(Op::Rename))
        return -1;
    return real(fromDir, from, toDir, to, flags);
}

int open(const char* path, int flags, ...)
{
    static auto real = next<int (*)(const char*, int, ...)>("open");
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = mode_t(va_arg(args, int));
        va_end(args);
    }
    if ((flags & (O_CREAT | O_TMPFILE)) && cfg().op == Op::Open && inFolder(path) && fails(Op::Open))
        return -1;
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = mode_t(va_arg(args, int));
        va_end(args);
    }
    return open(path, flags, mode);
}

int openat(int dirFd, const char* path, int flags, ...)
{
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = mode_t(va_arg(args, int));
        va_end(args);
    }
    if ((flags & (O_CREAT | O_TMPFILE)) && path[0] == '/' && cfg().op == Op::Open && inFolder(path)
        && fails(Op::Open))
        return -1;
    return real(dirFd, path, flags, mode);
}

}  // extern "C"
