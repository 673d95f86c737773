// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual path space of one logged-in account: its home directory is "/", and no
// spelling of a path reaches anything outside it.
#include "fernlink/ftpserver/userstore.h"

#include <QString>
#include <QStringList>

namespace vantor::ftp {

// "\" becomes "/", runs of "/" collapse, trailing "/" go.
QString normalisePath(const QString& argument);

struct ResolvedPath {
    QStringList components;   // absolute local path, one entry per directory level
    bool valid = false;       // every step existed
    QString local() const;
};

enum CheckResult { CheckOk = 0, CheckRefused = 1, CheckNotFound = 2, CheckDirNotFound = 3, CheckInvalid = 4, CheckNoRight = 5 };

struct CheckedPath {
    int result = CheckNotFound;
    QString local;     // the local file or directory when the result allows going on
};

class FtpPathRules {
public:
    FtpPathRules() = default;
    FtpPathRules(const CUser& account, QStringList protectedFiles);

    const QString& currentDirectory() const { return cwd_; }
    void setCurrentDirectory(const QString& virtualPath) { cwd_ = virtualPath; }

    ResolvedPath resolve(const QString& virtualPath) const;
    // Virtual path of a local path below the home directory.
    QString toVirtual(const QString& local) const;
    bool accessAllowed(const QString& local, int kind) const;

    CheckedPath checkFile(const QString& argument, int kind) const;
    CheckedPath checkDirectory(const QString& argument, int kind) const;
    CheckedPath checkUniqueFile(const QString& argument) const;

    const CUser& account() const { return account_; }

private:
    bool insideHome(const QString& local) const;
    bool rightFor(int kind) const;
    // Splits a file argument into its local directory and the name in it.
    bool splitFile(const QString& argument, ResolvedPath* dir, QString* name) const;

    CUser account_;
    QStringList home_;           // home as written in the account, made absolute
    QStringList canonicalHome_;  // with every symbolic link resolved
    QStringList protected_;      // canonical paths never served or replaced
    QString cwd_ = QStringLiteral("/");
};

// Strips the dots an FTP name may not carry at either end; ".." is kept as the parent.
QString stripComponentDots(const QString& component);

}  // namespace vantor::ftp
