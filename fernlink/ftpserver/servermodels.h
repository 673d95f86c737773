// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the user-manager, online-user and statistics pages show and what their commands do;
// the pages only display these.
#include "fernlink/ftpserver/ftpserver.h"
#include "fernlink/ftpserver/userstore.h"

#include <QList>
#include <QString>
#include <QTime>

namespace vantor::ftp {

// 5 to 11 characters, an ASCII letter first, then ASCII letters or digits.
bool isValidUserName(const QString& name);

enum class UserEditError { None, BadName, PasswordMismatch, BadHome, Duplicate, NoSuchUser, SaveFailed };
// The message of an edit error in the language given (0 Chinese, 1 English).
QString userEditMessage(UserEditError error, int language);

// The working copy of the accounts behind the user-manager page; every change is
// written to the store at once.
class CUserManager {
public:
    explicit CUserManager(CUserStore& store) : store_(store), working_(store.getAll()) {}
    const QList<CUser>& users() const { return working_; }
    UserEditError add(const CUser& user, const QString& confirmPassword);
    UserEditError edit(qsizetype index, const CUser& user, const QString& confirmPassword);
    UserEditError remove(qsizetype index);
    qsizetype indexOf(const QString& name) const;

private:
    UserEditError validate(const CUser& user, const QString& confirm, qsizetype except) const;
    UserEditError commit();
    CUserStore& store_;
    QList<CUser> working_;
};

// Rows of the online-user page: one per logged-in connection, newest first.
class COnlineUserModel {
public:
    struct Row {
        quint64 threadId = 0;
        QString userName;
        QString peerAddress;
        QString logonTime;   // "%H:%M:%S"
    };
    void userConnected(quint64 threadId, const QString& userName, const QString& peer, const QTime& now);
    void userDisconnected(quint64 threadId);
    const QList<Row>& rows() const { return rows_; }
    // The page's "disconnect this user" command.
    static void disconnectSelected(CFtpServerWnd& server, const QList<quint64>& threadIds);

private:
    QList<Row> rows_;
};

// The statistics page: eight fixed rows, values as text.
class CStatisticsModel : public IServerEventSink {
public:
    CStatisticsModel();
    static QStringList rowNames();
    const QStringList& values() const { return values_; }
    COnlineUserModel online;

    void OnUserConnected(quint64 threadId, const QString& userName, const QString& peer) override;
    void OnUserDisconnected(quint64 threadId, const QString& userName) override;
    void OnBytesReceived(quint64 total) override { values_[6] = formatKilobytes(total); }
    void OnBytesSent(quint64 total) override { values_[7] = formatKilobytes(total); }
    void OnStatistic(int index, qint64 value) override;

private:
    QStringList values_;
};

// Login page rule: stored accounts by their password, then the built-in administrator.
enum class UiLoginResult { Success, WrongPassword, UnknownUser };
UiLoginResult checkUiLogin(const CUserStore& store, const QString& name, const QString& password);

}  // namespace vantor::ftp
