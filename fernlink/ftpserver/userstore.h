// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The accounts of users.dat and the carried-over records of userlog.dat.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <optional>

namespace vantor::ftp {

struct CUser {
    QString name;           // compared case-insensitively
    QString password;       // compared exactly; empty accepts any password over FTP
    std::int32_t disabled = 0;
    QString homeDirectory;  // the local directory that is "/" for this account
    std::int32_t download = 1;
    std::int32_t upload = 0;
    std::int32_t reserved = 0;
    std::int32_t deleteRight = 0;
    std::int32_t makeDirectory = 0;

    friend bool operator==(const CUser&, const CUser&) = default;
};

enum class LoadStatus {
    Missing,   // no file: an empty store that may be saved
    Loaded,    // header and every record read
    Foreign,   // another header: read as empty, and never saved over
    Damaged,   // a record broke off: what came before is kept, the file is never saved over
};

// Folder of users.dat and userlog.dat when no path is given: the per-user data folder.
QString defaultProgramFolder();

QByteArray encodeUsers(const QList<CUser>& users);
// Decodes a whole users.dat; records read before an error stay in *users.
LoadStatus decodeUsers(const QByteArray& bytes, QList<CUser>* users, QString* error);

class CUserStore {
public:
    explicit CUserStore(QString path);

    LoadStatus load();
    // Refused (false, with lastError) after a foreign or damaged load, so nothing the
    // program could not read is replaced.
    bool save();

    std::optional<CUser> find(const QString& name) const;
    QList<CUser> getAll() const;
    bool replaceAll(const QList<CUser>& users);   // then saves
    // After a foreign or damaged load: renames the file to "users.dat.damaged-DATE-TIME"
    // beside it and starts an empty account list; the new name, or nullopt when it failed.
    std::optional<QString> setAsideDamaged(const QDateTime& now);

    const QString& path() const { return path_; }
    LoadStatus loadStatus() const { return status_; }
    QString lastError() const;

private:
    QString path_;
    mutable QMutex lock_;
    QList<CUser> users_;
    LoadStatus status_ = LoadStatus::Missing;
    QString error_;
};

// Nobody creates or shows user-log entries; they are read and written back unchanged,
// so the texts stay as the bytes on disk.
struct CUserLog {
    std::int32_t firstNumber = 0;
    std::int32_t secondNumber = 0;
    QByteArray firstText;
    QByteArray secondText;
    QByteArray thirdText;
    friend bool operator==(const CUserLog&, const CUserLog&) = default;
};

class CUserLogStore {
public:
    explicit CUserLogStore(QString path) : path_(std::move(path)) {}
    LoadStatus load();
    bool save();
    QList<CUserLog> records;
    LoadStatus loadStatus() const { return status_; }
    const QString& lastError() const { return error_; }

private:
    QString path_;
    LoadStatus status_ = LoadStatus::Missing;
    QString error_;
};

// Why an account may not log in over FTP, or nullopt when it may with that password.
enum class LoginRefusal { UnknownUser, WrongPassword, Disabled, BadHome };
std::optional<LoginRefusal> checkFtpLogin(const std::optional<CUser>& user, const QString& password);
bool homeIsUsable(const QString& home);

}  // namespace vantor::ftp
