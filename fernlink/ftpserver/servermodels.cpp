// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/servermodels.h"

#include <QFileInfo>

namespace vantor::ftp {

bool isValidUserName(const QString& name)
{
    if (name.size() < 5 || name.size() > 11)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && (i == 0 || !digit))
            return false;
    }
    return true;
}

QString userEditMessage(UserEditError error, int language)
{
    struct Pair { const char16_t* chinese; const char* english; };
    static const Pair texts[] = {
        {u"", ""},
        {u"用户名必须是以字母开头只能包含字母或数字而且长度在5和11之间(包含5和11)的符号串",
         "User name must be the format:letter+numeral,length between 5~11."},
        {u"两次输入的密码不同", "the password is disaffinity"},
        {u"请输入一个有效的路径", "please input path"},
        {u"已存在相同的用户名", "the user already exists "},
        {u"不存在的用户名", "no such user"},
        {u"保存失败", "could not save the accounts"},
    };
    const Pair& p = texts[int(error)];
    return language == 0 ? QString::fromUtf16(p.chinese) : QString::fromLatin1(p.english);
}

qsizetype CUserManager::indexOf(const QString& name) const
{
    for (qsizetype i = 0; i < working_.size(); ++i)
        if (working_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

UserEditError CUserManager::validate(const CUser& user, const QString& confirm, qsizetype except) const
{
    if (!isValidUserName(user.name))
        return UserEditError::BadName;
    if (user.password != confirm)
        return UserEditError::PasswordMismatch;
    if (!homeIsUsable(user.homeDirectory))
        return UserEditError::BadHome;
    const qsizetype existing = indexOf(user.name);
    if (existing >= 0 && existing != except)
        return UserEditError::Duplicate;
    return UserEditError::None;
}

UserEditError CUserManager::commit()
{
    return store_.replaceAll(working_) ? UserEditError::None : UserEditError::SaveFailed;
}

UserEditError CUserManager::add(const CUser& user, const QString& confirmPassword)
{
    if (auto e = validate(user, confirmPassword, -1); e != UserEditError::None)
        return e;
    CUser record = user;
    record.reserved = 0;
    working_.append(record);
    return commit();
}

UserEditError CUserManager::edit(qsizetype index, const CUser& user, const QString& confirmPassword)
{
    if (index < 0 || index >= working_.size())
        return UserEditError::NoSuchUser;
    if (auto e = validate(user, confirmPassword, index); e != UserEditError::None)
        return e;
    working_[index] = user;
    working_[index].reserved = 0;
    return commit();
}

UserEditError CUserManager::remove(qsizetype index)
{
    if (index < 0 || index >= working_.size())
        return UserEditError::NoSuchUser;
    working_.removeAt(index);
    return commit();
}

void COnlineUserModel::userConnected(quint64 threadId, const QString& userName, const QString& peer, const QTime& now)
{
    Row* row = nullptr;
    for (Row& r : rows_)
        if (r.threadId == threadId)
            row = &r;
    if (!row) {
        rows_.prepend(Row{threadId, {}, {}, {}});
        row = &rows_.first();
    }
    row->userName = userName;
    row->peerAddress = peer;
    row->logonTime = now.toString(QStringLiteral("HH:mm:ss"));
}

void COnlineUserModel::userDisconnected(quint64 threadId)
{
    rows_.removeIf([threadId](const Row& r) { return r.threadId == threadId; });
}

void COnlineUserModel::disconnectSelected(CFtpServerWnd& server, const QList<quint64>& threadIds)
{
    for (quint64 id : threadIds)
        server.kick(id);
}

CStatisticsModel::CStatisticsModel()
{
    for (int i = 0; i < 8; ++i)
        values_.append(QStringLiteral("0"));
}

QStringList CStatisticsModel::rowNames()
{
    return {QStringLiteral("总连接数"), QStringLiteral("当前连接数"), QStringLiteral("文件下载数"),
            QStringLiteral("文件上传数"), QStringLiteral("文件下载失败数"), QStringLiteral("文件上传失败数"),
            QStringLiteral("总的接收字节数"), QStringLiteral("总的发送字节数")};
}

void CStatisticsModel::OnUserConnected(quint64 threadId, const QString& userName, const QString& peer)
{
    online.userConnected(threadId, userName, peer, QTime::currentTime());
}

void CStatisticsModel::OnUserDisconnected(quint64 threadId, const QString&)
{
    online.userDisconnected(threadId);
}

void CStatisticsModel::OnStatistic(int index, qint64 value)
{
    if (index >= 0 && index < 6)
        values_[index] = QString::number(value);
}

UiLoginResult checkUiLogin(const CUserStore& store, const QString& name, const QString& password)
{
    if (const auto user = store.find(name))
        return user->password == password ? UiLoginResult::Success : UiLoginResult::WrongPassword;
    if (name.compare(QLatin1String(kAdminName), Qt::CaseInsensitive) == 0)
        return password == QLatin1String(kAdminPassword) ? UiLoginResult::Success : UiLoginResult::WrongPassword;
    return UiLoginResult::UnknownUser;
}

}  // namespace vantor::ftp
