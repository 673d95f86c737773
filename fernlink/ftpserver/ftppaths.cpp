// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/ftppaths.h"

#include "fernlink/ftpserver/ftpconstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantor::ftp {

namespace {
QStringList splitLocal(const QString& path)
{
    return QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString joinLocal(const QStringList& parts)
{
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

bool hasPrefix(const QStringList& path, const QStringList& prefix)
{
    if (path.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (path[i] != prefix[i])
            return false;
    return true;
}

// Symbolic links resolved for the part that exists; the rest is appended as written.
QStringList canonicalComponents(const QStringList& parts)
{
    for (qsizetype keep = parts.size(); keep >= 0; --keep) {
        const QString prefix = joinLocal(parts.mid(0, keep));
        const QString canonical = QFileInfo(prefix).canonicalFilePath();
        if (canonical.isEmpty())
            continue;
        QStringList result = splitLocal(canonical);
        for (qsizetype i = keep; i < parts.size(); ++i) {
            if (parts[i] == QLatin1String(".."))
                return {};   // a lexical step up past a link would guess; refuse
            result.append(parts[i]);
        }
        return result;
    }
    return {};
}

bool existsAsEntry(const QString& path)
{
    return QFileInfo::exists(path);
}
}  // namespace

QString normalisePath(const QString& argument)
{
    QString path = argument;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString stripComponentDots(const QString& component)
{
    if (component == QLatin1String(".."))
        return component;
    qsizetype begin = 0;
    qsizetype end = component.size();
    while (begin < end && component[begin] == QLatin1Char('.'))
        ++begin;
    while (end > begin && component[end - 1] == QLatin1Char('.'))
        --end;
    return component.mid(begin, end - begin);
}

QString ResolvedPath::local() const
{
    return joinLocal(components);
}

FtpPathRules::FtpPathRules(const CUser& account, QStringList protectedFiles) : account_(account)
{
    if (QFileInfo(account.homeDirectory).isAbsolute())
        home_ = splitLocal(account.homeDirectory);
    const QString canonical = QFileInfo(account.homeDirectory).canonicalFilePath();
    if (!canonical.isEmpty() && !home_.isEmpty())
        canonicalHome_ = splitLocal(canonical);
    for (const QString& file : protectedFiles) {
        const QStringList parts = canonicalComponents(splitLocal(QFileInfo(file).absoluteFilePath()));
        if (!parts.isEmpty())
            protected_.append(joinLocal(parts));
    }
}

ResolvedPath FtpPathRules::resolve(const QString& virtualPath) const
{
    ResolvedPath out;
    if (home_.isEmpty())
        return out;
    const QString path = normalisePath(virtualPath);
    if (path.startsWith(QLatin1Char('/')) || path.isEmpty()) {
        out.components = home_;
    } else {
        ResolvedPath base = resolve(cwd_.isEmpty() ? QStringLiteral("/") : cwd_);
        if (!base.valid)
            return out;
        out.components = base.components;
    }
    out.valid = existsAsEntry(out.local());
    for (const QString& raw : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString part = stripComponentDots(raw);
        if (part.isEmpty())
            continue;
        if (part == QLatin1String("..")) {
            if (!out.components.isEmpty())
                out.components.removeLast();
        } else {
            out.components.append(part);
        }
        if (!existsAsEntry(out.local()))
            out.valid = false;
    }
    return out;
}

QString FtpPathRules::toVirtual(const QString& local) const
{
    const QStringList parts = splitLocal(local);
    if (!hasPrefix(parts, home_))
        return QStringLiteral("/");
    return QLatin1Char('/') + parts.mid(home_.size()).join(QLatin1Char('/'));
}

bool FtpPathRules::insideHome(const QString& local) const
{
    if (home_.isEmpty() || canonicalHome_.isEmpty())
        return false;
    const QStringList lexical = splitLocal(local);
    if (!hasPrefix(lexical, home_))
        return false;
    const QStringList canonical = canonicalComponents(lexical);
    if (canonical.isEmpty() || !hasPrefix(canonical, canonicalHome_))
        return false;
    return !protected_.contains(joinLocal(canonical));
}

bool FtpPathRules::rightFor(int kind) const
{
    switch (kind) {
    case AccessDownload: return account_.download != 0;
    case AccessUpload: return account_.upload != 0;
    case AccessReserved: return account_.reserved != 0;
    case AccessDelete: return account_.deleteRight != 0;
    case AccessMakeDir: return account_.makeDirectory != 0;
    case AccessList: return account_.download || account_.upload || account_.deleteRight;
    default: return false;
    }
}

bool FtpPathRules::accessAllowed(const QString& local, int kind) const
{
    return insideHome(local) && rightFor(kind);
}

bool FtpPathRules::splitFile(const QString& argument, ResolvedPath* dir, QString* name) const
{
    const QString path = normalisePath(argument);
    if (path.isEmpty())
        return false;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    QString dirPart;
    if (slash < 0) {
        dirPart = cwd_;
        *name = path;
    } else {
        dirPart = path.left(slash);
        if (dirPart.isEmpty())
            dirPart = QStringLiteral("/");
        *name = path.mid(slash + 1);
    }
    *name = stripComponentDots(*name);
    if (name->isEmpty() || *name == QLatin1String(".."))
        return false;
    *dir = resolve(dirPart);
    return dir->valid;
}

CheckedPath FtpPathRules::checkFile(const QString& argument, int kind) const
{
    ResolvedPath dir;
    QString name;
    if (!splitFile(argument, &dir, &name))
        return {CheckNotFound, {}};
    const QString local = dir.local() + QLatin1Char('/') + name;
    const QFileInfo info(local);
    if (kind != AccessUpload && !info.isFile())
        return {CheckNotFound, {}};
    if (!accessAllowed(dir.local(), kind) || !insideHome(local))
        return {CheckNoRight, {}};
    if (kind == AccessDownload) {
        QFile probe(local);
        if (!probe.open(QIODevice::ReadOnly))
            return {CheckNoRight, {}};
    } else if (kind == AccessUpload) {
        // The upload goes to a temporary file beside the target, renamed on success.
        if ((info.exists() && !info.isFile()) || !QFileInfo(dir.local()).isWritable())
            return {CheckNoRight, {}};
    }
    return {CheckOk, local};
}

CheckedPath FtpPathRules::checkDirectory(const QString& argument, int kind) const
{
    QString path = normalisePath(argument);
    if (path.isEmpty()) {
        if (kind != AccessList)
            return {CheckDirNotFound, {}};
        path = QStringLiteral("/");
    }
    if (!path.startsWith(QLatin1Char('/')))
        path = cwd_ + (cwd_.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + path;
    const ResolvedPath resolved = resolve(path);
    if (resolved.valid || kind == AccessMakeDir) {
        if (!accessAllowed(resolved.local(), kind))
            return {CheckNoRight, {}};
        if (resolved.valid)
            return {CheckOk, resolved.local()};
        return {CheckDirNotFound, resolved.local()};
    }
    return {CheckDirNotFound, {}};
}

CheckedPath FtpPathRules::checkUniqueFile(const QString& argument) const
{
    if (normalisePath(argument).isEmpty())
        return {CheckRefused, {}};
    ResolvedPath dir;
    QString name;
    if (!splitFile(argument, &dir, &name))
        return {CheckNotFound, {}};
    const QString local = dir.local() + QLatin1Char('/') + name;
    if (!accessAllowed(dir.local(), AccessUpload) || !insideHome(local))
        return {CheckDirNotFound, {}};
    const QFileInfo info(local);
    if (!info.exists() && !info.isSymLink())
        return {CheckOk, local};
    return {info.isFile() && info.isWritable() ? CheckInvalid : CheckDirNotFound, {}};
}

}  // namespace vantor::ftp
