// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/userstore.h"

#include "common/archive.h"
#include "fernlink/ftpserver/ftpconstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

namespace vantor::ftp {

QString defaultProgramFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QByteArray encodeUsers(const QList<CUser>& users)
{
    ArchiveWriter out;
    out.writeBytes(QByteArray(kUsersHeader));
    for (const CUser& u : users) {
        out.writeString(u.name);
        out.writeString(u.password);
        out.writeInt32(u.disabled);
        out.writeString(u.homeDirectory);
        out.writeInt32(u.download);
        out.writeInt32(u.upload);
        out.writeInt32(u.reserved);
        out.writeInt32(u.deleteRight);
        out.writeInt32(u.makeDirectory);
    }
    return out.data();
}

namespace {
// Text an account can hold: no control characters, nothing the code page could not decode.
bool plainText(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QChar::ReplacementCharacter)
            return false;
    return true;
}

// What the user manager writes: a name, a home folder and flags that are 0 or 1. Bytes that
// merely happen to parse as a record (garbage after the header) are none of that.
bool plausible(const CUser& u)
{
    for (std::int32_t flag : {u.disabled, u.download, u.upload, u.reserved, u.deleteRight, u.makeDirectory})
        if (flag != 0 && flag != 1)
            return false;
    return !u.name.isEmpty() && !u.homeDirectory.isEmpty() && plainText(u.name) && plainText(u.password)
           && plainText(u.homeDirectory);
}
}  // namespace

LoadStatus decodeUsers(const QByteArray& bytes, QList<CUser>* users, QString* error)
{
    ArchiveReader in(bytes);
    const auto header = in.readBytes();
    if (!header || *header != QByteArray(kUsersHeader)) {
        *error = QStringLiteral("not an account file (unknown header)");
        return LoadStatus::Foreign;
    }
    while (!in.atEnd()) {
        CUser u;
        const qsizetype start = in.position();
        auto name = in.readString();
        auto password = in.readString();
        auto disabled = in.readInt32();
        auto home = in.readString();
        auto download = in.readInt32();
        auto upload = in.readInt32();
        auto reserved = in.readInt32();
        auto del = in.readInt32();
        auto mkd = in.readInt32();
        if (in.failed()) {
            *error = in.error();
            return LoadStatus::Damaged;
        }
        u.name = *name;
        u.password = *password;
        u.disabled = *disabled;
        u.homeDirectory = *home;
        u.download = *download;
        u.upload = *upload;
        u.reserved = *reserved;
        u.deleteRight = *del;
        u.makeDirectory = *mkd;
        if (!plausible(u)) {
            *error = QStringLiteral("record %1 is not an account (bytes %2 on)").arg(users->size() + 1).arg(start);
            return LoadStatus::Damaged;
        }
        users->append(u);
    }
    return LoadStatus::Loaded;
}

CUserStore::CUserStore(QString path) : path_(std::move(path)) {}

LoadStatus CUserStore::load()
{
    QMutexLocker locker(&lock_);
    users_.clear();
    error_.clear();
    if (!QFile::exists(path_))
        return status_ = LoadStatus::Missing;
    QString why;
    auto bytes = readWholeFile(path_, &why);
    if (!bytes) {
        error_ = why;
        return status_ = LoadStatus::Damaged;
    }
    status_ = decodeUsers(*bytes, &users_, &error_);
    return status_;
}

bool CUserStore::save()
{
    QByteArray bytes;
    {
        QMutexLocker locker(&lock_);
        if (status_ == LoadStatus::Foreign || status_ == LoadStatus::Damaged) {
            error_ = QStringLiteral("%1 could not be read; it is left as it is").arg(path_);
            return false;
        }
        bytes = encodeUsers(users_);
    }
    // The file is written outside the lock so logins are never held up by the disk.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const auto result = saveFileAtomically(path_, bytes, true);
    QMutexLocker locker(&lock_);
    if (!result.ok)
        error_ = result.error;
    return result.ok;
}

std::optional<CUser> CUserStore::find(const QString& name) const
{
    QMutexLocker locker(&lock_);
    for (const CUser& u : users_)
        if (u.name.compare(name, Qt::CaseInsensitive) == 0)
            return u;
    return std::nullopt;
}

QList<CUser> CUserStore::getAll() const
{
    QMutexLocker locker(&lock_);
    return users_;
}

bool CUserStore::replaceAll(const QList<CUser>& users)
{
    {
        QMutexLocker locker(&lock_);
        users_ = users;
    }
    return save();
}

QString CUserStore::lastError() const
{
    QMutexLocker locker(&lock_);
    return error_;
}

std::optional<QString> CUserStore::setAsideDamaged(const QDateTime& now)
{
    QMutexLocker locker(&lock_);
    if (status_ != LoadStatus::Foreign && status_ != LoadStatus::Damaged)
        return std::nullopt;
    const QString stem = path_ + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = stem;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = stem + QStringLiteral("-%1").arg(n);
    // A rename, never a copy and delete: the damaged bytes stay exactly as they were.
    if (QFile::exists(path_) && !QFile::rename(path_, kept)) {
        error_ = QStringLiteral("%1 could not be renamed to %2").arg(path_, kept);
        return std::nullopt;
    }
    users_.clear();
    error_.clear();
    status_ = LoadStatus::Missing;
    return kept;
}

LoadStatus CUserLogStore::load()
{
    records.clear();
    error_.clear();
    if (!QFile::exists(path_))
        return status_ = LoadStatus::Missing;
    auto bytes = readWholeFile(path_, &error_);
    if (!bytes)
        return status_ = LoadStatus::Damaged;
    ArchiveReader in(*bytes);
    const auto header = in.readBytes();
    if (!header || *header != QByteArray(kUserLogHeader)) {
        error_ = QStringLiteral("not a user-log file (unknown header)");
        return status_ = LoadStatus::Foreign;
    }
    while (!in.atEnd()) {
        CUserLog r;
        auto first = in.readInt32();
        auto second = in.readInt32();
        auto third = in.readBytes();
        auto secondText = in.readBytes();
        auto firstText = in.readBytes();
        if (in.failed()) {
            error_ = in.error();
            return status_ = LoadStatus::Damaged;
        }
        r.firstNumber = *first;
        r.secondNumber = *second;
        r.thirdText = *third;
        r.secondText = *secondText;
        r.firstText = *firstText;
        records.append(r);
    }
    return status_ = LoadStatus::Loaded;
}

bool CUserLogStore::save()
{
    if (status_ == LoadStatus::Foreign || status_ == LoadStatus::Damaged) {
        error_ = QStringLiteral("%1 could not be read; it is left as it is").arg(path_);
        return false;
    }
    ArchiveWriter out;
    out.writeBytes(QByteArray(kUserLogHeader));
    for (const CUserLog& r : records) {
        out.writeInt32(r.firstNumber);
        out.writeInt32(r.secondNumber);
        out.writeBytes(r.thirdText);
        out.writeBytes(r.secondText);
        out.writeBytes(r.firstText);
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const auto result = saveFileAtomically(path_, out.data(), true);
    if (!result.ok)
        error_ = result.error;
    return result.ok;
}

bool homeIsUsable(const QString& home)
{
    if (home.isEmpty())
        return false;
    const QFileInfo info(home);
    return info.isAbsolute() && info.isDir();
}

std::optional<LoginRefusal> checkFtpLogin(const std::optional<CUser>& user, const QString& password)
{
    if (!user)
        return LoginRefusal::UnknownUser;
    if (!user->password.isEmpty() && user->password != password)
        return LoginRefusal::WrongPassword;
    if (user->disabled)
        return LoginRefusal::Disabled;
    if (!homeIsUsable(user->homeDirectory))
        return LoginRefusal::BadHome;
    return std::nullopt;
}

}  // namespace vantor::ftp
