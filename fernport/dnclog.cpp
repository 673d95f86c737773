// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/dnclog.h"

#include "common/atomicfile.h"
#include "common/datapaths.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantor::fernport {

QString DncLogEntry::line() const
{
    QString detail = why;
    if (!completed)
        detail += QStringLiteral("; sent %1 bytes; last line %2; restart at line %3").arg(bytesSent).arg(lastLine).arg(restartLine);
    QString file = path;
    file.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return QStringList{time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), QStringLiteral("dnc"), file,
                       QString::number(startLine), completed ? QStringLiteral("completed") : QStringLiteral("interrupted"),
                       detail}
        .join(QLatin1Char('\t'));
}

DncLog::DncLog(QString folder) : folder_(std::move(folder)) {}

QString DncLog::defaultFolder()
{
    return userDataFolder(QStringLiteral("fernport"));
}

QString DncLog::path() const
{
    return folder_.isEmpty() ? QString() : QDir(folder_).filePath(QStringLiteral("dnc.log"));
}

bool DncLog::append(const DncLogEntry& entry)
{
    error_.clear();
    if (folder_.isEmpty())
        return true;
    if (!QDir().mkpath(folder_)) {
        error_ = QStringLiteral("%1: cannot make the folder").arg(folder_);
        return false;
    }
    const QString file = path();
    const QByteArray line = entry.line().toUtf8() + '\n';
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = file + QStringLiteral(": ") + systemErrorText(errno);
        return false;
    }
    const off_t before = ::lseek(fd, 0, SEEK_END);
    const ssize_t n = ::write(fd, line.constData(), size_t(line.size()));
    bool ok = n == ssize_t(line.size());
    if (!ok) {
        error_ = file + QStringLiteral(": ") + (n < 0 ? systemErrorText(errno) : QStringLiteral("short write"));
        // No half line may stay for the next one to run into.
        if (before >= 0 && ::ftruncate(fd, before) != 0)
            error_ += QStringLiteral(" (a partial line stays)");
    } else if (::fsync(fd) != 0) {
        error_ = file + QStringLiteral(": ") + systemErrorText(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error_ = file + QStringLiteral(": ") + systemErrorText(errno);
        ok = false;
    }
    return ok;
}

}  // namespace vantor::fernport
