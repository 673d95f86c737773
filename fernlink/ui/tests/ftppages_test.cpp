// SPDX-License-Identifier: GPL-3.0-or-later
// The login, user-manager, online-user and statistics pages, driven through their buttons,
// with a scripted prompter and the real FTP server on 127.0.0.1.
#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"
#include "fernlink/ftpserver/ftpconstants.h"
#include "fernlink/ui/loginpage.h"
#include "fernlink/ui/onlineuserspage.h"
#include "fernlink/ui/statisticspage.h"
#include "fernlink/ui/usermanagerpage.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

using namespace vantor;
using namespace vantor::fernlink;
using namespace vantor::fernlink::ui;
using vantor::ftp::CUser;
using vantor::testing::maybeShoot;
using vantor::testing::readFile;
using vantor::testing::waitUntil;
using vantor::testing::writeFile;

namespace {

CUser account(const QString& name, const QString& password, const QString& home)
{
    CUser u;
    u.name = name;
    u.password = password;
    u.homeDirectory = home;
    u.upload = 1;
    return u;
}

class FtpPages : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<LinkHub> hub;

    QString usersPath() const { return dir.filePath(QStringLiteral("users.dat")); }
    QString home(const char* name = "home") const
    {
        const QString path = dir.filePath(QLatin1String(name));
        QDir().mkpath(path);
        return path;
    }
    // A hub over users.dat as it is on disk now, loaded as the program does at start.
    void startProgram()
    {
        hub = std::make_unique<LinkHub>(prompter, usersPath(), dir.filePath(QStringLiteral("userlog.dat")));
        hub->users().load();
    }
    void seed(const QList<CUser>& users) { writeFile(usersPath(), ftp::encodeUsers(users)); }
    QList<CUser> onDisk() const
    {
        QList<CUser> users;
        QString error;
        ftp::decodeUsers(readFile(usersPath()), &users, &error);
        return users;
    }
    QString lastShown() const { return prompter.shown.empty() ? QString() : prompter.shown.back(); }
    QString editMessage(ftp::UserEditError e) const { return ftp::userEditMessage(e, int(hub->state.language)); }
};

// ---- login page ------------------------------------------------------------------------

TEST_F(FtpPages, LoginChecksStoredAccountsThenTheAdministrator)
{
    seed({account(QStringLiteral("operator1"), QStringLiteral("pw1"), home()),
          account(QStringLiteral("blankpw1"), QString(), home())});
    startProgram();
    LoginPage page(*hub);
    QSignalSpy levels(&page, &LoginPage::loginLevelChanged);

    // The program starts logged in: only logout is offered.
    EXPECT_EQ(hub->loginLevel, 2);
    EXPECT_FALSE(page.loginButton()->isEnabled());
    EXPECT_TRUE(page.logoutButton()->isEnabled());
    page.nameEdit()->setText(QStringLiteral("abcdefghijklmn"));
    EXPECT_EQ(page.nameEdit()->text().size(), 11);

    struct Case {
        const char* name;
        const char* password;
        const char16_t* message;
        int level;
    } cases[] = {
        {"operator1", "pw1", u"登录成功", 2},
        {"OPERATOR1", "pw1", u"登录成功", 2},    // names compare without case
        {"operator1", "PW1", u"密码错误", 0},    // passwords do not
        {"blankpw1", "", u"登录成功", 2},
        {"blankpw1", "x", u"密码错误", 0},
        {"vantorq5", "P4X9L2", u"登录成功", 2},
        {"VantorQ5", "p4x9l2", u"密码错误", 0},
        {"nobody1", "x", u"不存在的用户名", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::mouseClick(page.logoutButton(), Qt::LeftButton);
        ASSERT_EQ(hub->loginLevel, 0);
        EXPECT_TRUE(page.loginButton()->isEnabled());
        EXPECT_FALSE(page.logoutButton()->isEnabled());
        page.nameEdit()->setText(QString::fromLatin1(c.name));
        page.passwordEdit()->setText(QString::fromLatin1(c.password));
        QTest::mouseClick(page.loginButton(), Qt::LeftButton);
        EXPECT_EQ(lastShown(), QString::fromUtf16(c.message));
        EXPECT_EQ(hub->loginLevel, c.level);
        EXPECT_TRUE(page.passwordEdit()->text().isEmpty());
        EXPECT_EQ(page.loggedInUser(), c.level ? QString::fromLatin1(c.name) : QString());
        EXPECT_EQ(page.logoutButton()->isEnabled(), c.level != 0);
        if (c.message == std::u16string_view(u"不存在的用户名")) {
            EXPECT_EQ(page.nameEdit()->selectedText(), QString::fromLatin1(c.name));   // ready to be retyped
        }
    }
    EXPECT_EQ(levels.count(), 2 * 4 + 1);   // 4 logins after the first logout, each with its logout
}

TEST_F(FtpPages, LogoutWaitsForTheSerialOperation)
{
    startProgram();
    LoginPage page(*hub);
    page.nameEdit()->setText(QStringLiteral("VantorQ5"));
    const struct {
        OperationState state;
        const char16_t* refusal;
    } busy[] = {
        {OperationState::OpSerialSend, u"正在传输文件,请先停止再退出"},
        {OperationState::OpSerialReceive, u"正在接收文件,请先停止传输再退出"},
        {OperationState::OpSerialDelete, u"正在删除文件,请先停止传输再退出"},
        {OperationState::OpSerialDnc, u"正在DNC,请先停止传输再退出"},
        {OperationState::OpSerialList, u"正在获取文件列表,请先停止传输再退出"},
    };
    for (const auto& b : busy) {
        hub->state.operation = b.state;
        page.logout();
        EXPECT_EQ(lastShown(), QString::fromUtf16(b.refusal));
        EXPECT_EQ(hub->loginLevel, 2);
        EXPECT_EQ(page.nameEdit()->text(), QStringLiteral("VantorQ5"));
    }
    // An Ethernet operation does not hold the user.
    hub->state.operation = OperationState::OpNetSend;
    const auto shown = prompter.shown.size();
    page.logout();
    EXPECT_EQ(prompter.shown.size(), shown);
    EXPECT_EQ(hub->loginLevel, 0);
    EXPECT_TRUE(page.nameEdit()->text().isEmpty());
    EXPECT_TRUE(page.loggedInUser().isEmpty());
}

TEST_F(FtpPages, ChangePasswordOnlyForAStoredAccountAndSaved)
{
    seed({account(QStringLiteral("operator1"), QStringLiteral("pw1"), home())});
    startProgram();
    hub->state.language = Language::English;
    LoginPage page(*hub);
    EXPECT_FALSE(page.changePasswordButton()->isEnabled());   // started as the administrator

    page.logout();
    page.nameEdit()->setText(QStringLiteral("Operator1"));
    page.passwordEdit()->setText(QStringLiteral("pw1"));
    page.login();
    ASSERT_EQ(hub->loginLevel, 2);
    EXPECT_TRUE(page.changePasswordButton()->isEnabled());
    maybeShoot(&page, "fernlink-login.png");

    page.newPasswordEdit()->setText(QStringLiteral("new1"));
    page.confirmEdit()->setText(QStringLiteral("new2"));
    QTest::mouseClick(page.changePasswordButton(), Qt::LeftButton);
    EXPECT_EQ(lastShown(), QStringLiteral("The two passwords differ"));
    EXPECT_TRUE(page.newPasswordEdit()->text().isEmpty());
    EXPECT_TRUE(page.confirmEdit()->text().isEmpty());
    EXPECT_EQ(onDisk().value(0).password, QStringLiteral("pw1"));

    page.newPasswordEdit()->setText(QStringLiteral("new1"));
    page.confirmEdit()->setText(QStringLiteral("new1"));
    QTest::mouseClick(page.changePasswordButton(), Qt::LeftButton);
    EXPECT_EQ(lastShown(), QStringLiteral("Password changed"));
    EXPECT_EQ(onDisk().value(0).password, QStringLiteral("new1"));
    EXPECT_EQ(hub->users().find(QStringLiteral("operator1"))->password, QStringLiteral("new1"));

    // The administrator is no stored account: the command is not offered.
    page.logout();
    page.nameEdit()->setText(QStringLiteral("VantorQ5"));
    page.passwordEdit()->setText(QStringLiteral("P4X9L2"));
    page.login();
    EXPECT_FALSE(page.changePasswordButton()->isEnabled());
}

// ---- user manager ----------------------------------------------------------------------

struct DialogInput {
    QString name;
    QString password;
    QString confirm;
    QString home;
    bool upload = true;
    bool download = false;
    bool remove = false;
};

// Fills the dialog like a user and presses OK; the dialog stays open when a check fails.
UserManagerPage::DialogRunner typing(const DialogInput& in, bool* opened = nullptr, CUser* shown = nullptr)
{
    return [in, opened, shown](UserDialog& d) {
        if (opened)
            *opened = true;
        if (shown)
            *shown = d.account();
        d.nameEdit()->setText(in.name);
        d.passwordEdit()->setText(in.password);
        d.confirmEdit()->setText(in.confirm);
        d.homeEdit()->setText(in.home);
        d.uploadBox()->setChecked(in.upload);
        d.downloadBox()->setChecked(in.download);
        d.deleteBox()->setChecked(in.remove);
        d.tryAccept();
        return d.result() == QDialog::Accepted;
    };
}

TEST_F(FtpPages, AddChecksTheDialogThenDuplicatesAndSaves)
{
    startProgram();
    UserManagerPage page(*hub);
    EXPECT_EQ(page.list()->count(), 0);
    EXPECT_TRUE(page.addButton()->isEnabled());
    EXPECT_FALSE(page.editButton()->isEnabled());
    EXPECT_FALSE(page.deleteButton()->isEnabled());
    EXPECT_FALSE(page.passwordEdit()->isEnabled());

    // A new account starts with upload on, download and delete off.
    CUser fresh;
    bool opened = false;
    page.setDialogRunner(typing({}, &opened, &fresh));
    page.addUser();
    EXPECT_TRUE(opened);
    EXPECT_EQ(fresh.upload, 1);
    EXPECT_EQ(fresh.download, 0);
    EXPECT_EQ(fresh.deleteRight, 0);

    // The dialog's name field takes 11 characters; the folder comes from the picker, titled.
    {
        UserDialog dialog(*hub);
        dialog.nameEdit()->setText(QStringLiteral("abcdefghijkl"));
        EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("abcdefghijk"));
        QString title;
        dialog.chooseFolder = [&](QWidget*, const QString& t, const QString&) {
            title = t;
            return QStringLiteral("/picked");
        };
        dialog.browse();
        EXPECT_EQ(title, QString::fromUtf16(u"选择路径:"));
        EXPECT_EQ(dialog.homeEdit()->text(), QStringLiteral("/picked"));
        dialog.chooseFolder = [](QWidget*, const QString&, const QString&) { return QString(); };
        dialog.browse();   // cancelled: the folder stays
        EXPECT_EQ(dialog.homeEdit()->text(), QStringLiteral("/picked"));
        maybeShoot(&dialog, "fernlink-users-dialog.png");
    }

    const QString h = home();
    const struct {
        DialogInput in;
        ftp::UserEditError refusal;
    } refused[] = {
        {{QStringLiteral("ab12"), {}, {}, h}, ftp::UserEditError::BadName},
        {{QStringLiteral("1abcd"), {}, {}, h}, ftp::UserEditError::BadName},
        {{QStringLiteral("abc_1"), {}, {}, h}, ftp::UserEditError::BadName},
        // the name rule comes before the passwords, the passwords before the folder
        {{QStringLiteral("abc_1"), QStringLiteral("a"), QStringLiteral("b"), QString()}, ftp::UserEditError::BadName},
        {{QStringLiteral("Ab123"), QStringLiteral("a"), QStringLiteral("b"), QString()}, ftp::UserEditError::PasswordMismatch},
        {{QStringLiteral("Ab123"), QStringLiteral("a"), QStringLiteral("a"), dir.filePath(QStringLiteral("nowhere"))},
         ftp::UserEditError::BadHome},
        {{QStringLiteral("Ab123"), QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("relative")},
         ftp::UserEditError::BadHome},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.in.name.toStdString());
        page.setDialogRunner(typing(r.in));
        page.addUser();
        EXPECT_EQ(lastShown(), editMessage(r.refusal));
        EXPECT_EQ(page.list()->count(), 0);
        EXPECT_FALSE(QFile::exists(usersPath()));
    }

    for (const char* name : {"operator1", "abcdefghijk"}) {
        page.setDialogRunner(typing({QString::fromLatin1(name), QStringLiteral("pw"), QStringLiteral("pw"), h, false,
                                     true, true}));
        page.addUser();
    }
    // Each new row goes on top and is selected.
    ASSERT_EQ(page.list()->count(), 2);
    EXPECT_EQ(page.list()->item(0)->text(), QStringLiteral("abcdefghijk"));
    EXPECT_EQ(page.list()->currentRow(), 0);
    EXPECT_EQ(page.homeEdit()->text(), h);
    const QList<CUser> saved = onDisk();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].name, QStringLiteral("operator1"));
    EXPECT_EQ(saved[0].password, QStringLiteral("pw"));
    EXPECT_EQ(saved[0].homeDirectory, h);
    EXPECT_EQ(saved[0].upload, 0);
    EXPECT_EQ(saved[0].download, 1);
    EXPECT_EQ(saved[0].deleteRight, 1);
    EXPECT_EQ(saved[0].disabled, 0);

    const QByteArray before = readFile(usersPath());
    page.setDialogRunner(typing({QStringLiteral("OPERATOR1"), {}, {}, h}));
    page.addUser();
    EXPECT_EQ(lastShown(), QString::fromUtf16(u"已存在相同的用户名"));
    EXPECT_EQ(readFile(usersPath()), before);
    EXPECT_EQ(page.list()->count(), 2);

    // Read back by a new program run, the file is written byte for byte the same.
    startProgram();
    UserManagerPage again(*hub);
    EXPECT_EQ(again.accounts(), saved);
    ASSERT_TRUE(hub->users().save());
    EXPECT_EQ(readFile(usersPath()), before);
}

TEST_F(FtpPages, EditRewritesTheAccountAndKeepsItsDisabledFlag)
{
    CUser second = account(QStringLiteral("second1"), QStringLiteral("pw2"), home());
    second.disabled = 1;
    second.makeDirectory = 1;   // written by some other tool
    seed({account(QStringLiteral("operator1"), QStringLiteral("pw1"), home()), second});
    startProgram();
    UserManagerPage page(*hub);
    ASSERT_EQ(page.list()->count(), 2);
    EXPECT_EQ(page.list()->currentRow(), 0);
    page.list()->setCurrentRow(1);
    ASSERT_EQ(page.selectedIndex(), 1);

    // The dialog opens with the account as it is, the password in both fields.
    CUser shown;
    const QString other = home("other");
    page.setDialogRunner(typing({QStringLiteral("OPERATOR1"), QStringLiteral("x"), QStringLiteral("x"), other}, nullptr,
                                &shown));
    page.editUser();
    EXPECT_EQ(shown.name, QStringLiteral("second1"));
    EXPECT_EQ(shown.password, QStringLiteral("pw2"));
    EXPECT_EQ(lastShown(), QString::fromUtf16(u"已存在相同的用户名"));
    EXPECT_EQ(onDisk().value(1), second);

    // Its own name in another case is no duplicate.
    page.setDialogRunner(typing({QStringLiteral("Second1"), QStringLiteral("pw3"), QStringLiteral("pw3"), other, true, true,
                                 false}));
    page.editUser();
    ASSERT_EQ(onDisk().size(), 2);
    const CUser edited = onDisk()[1];
    EXPECT_EQ(edited.name, QStringLiteral("Second1"));
    EXPECT_EQ(edited.password, QStringLiteral("pw3"));
    EXPECT_EQ(edited.homeDirectory, other);
    EXPECT_EQ(edited.download, 1);
    EXPECT_EQ(edited.disabled, 1);
    EXPECT_EQ(edited.makeDirectory, 0);
    EXPECT_EQ(edited.reserved, 0);
    EXPECT_EQ(page.list()->item(0)->text(), QStringLiteral("Second1"));
    EXPECT_EQ(page.list()->currentRow(), 0);
    EXPECT_TRUE(page.disabledBox()->isChecked());
    // A disabled account's details are greyed until the box is cleared.
    EXPECT_FALSE(page.passwordEdit()->isEnabled());
    page.disabledBox()->setChecked(false);
    EXPECT_TRUE(page.passwordEdit()->isEnabled());
    EXPECT_TRUE(page.applyButton()->isEnabled());

    // A dialog that is cancelled changes nothing.
    const QByteArray before = readFile(usersPath());
    page.setDialogRunner([](UserDialog&) { return false; });
    page.editUser();
    EXPECT_EQ(readFile(usersPath()), before);
}

TEST_F(FtpPages, DeleteAsksFirstAndSelectsTheRowBefore)
{
    seed({account(QStringLiteral("first01"), {}, home()), account(QStringLiteral("second1"), {}, home()),
          account(QStringLiteral("third01"), {}, home())});
    startProgram();
    UserManagerPage page(*hub);
    page.list()->setCurrentRow(2);
    // The Chinese page is Chinese throughout, the heading of its list too.
    QStringList labels;
    for (const QLabel* label : page.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QString::fromUtf16(u"用户"))) << labels.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(labels.contains(QStringLiteral("Users")));

    prompter.answers = {Answer::No};
    QTest::mouseClick(page.deleteButton(), Qt::LeftButton);
    EXPECT_EQ(prompter.asked.back(), QString::fromUtf16(u"确定要删除该用户 'third01'?"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("RI Vivoze"));
    EXPECT_EQ(onDisk().size(), 3);

    prompter.answers = {Answer::Yes};
    QTest::mouseClick(page.deleteButton(), Qt::LeftButton);
    ASSERT_EQ(onDisk().size(), 2);
    EXPECT_EQ(onDisk()[1].name, QStringLiteral("second1"));
    EXPECT_EQ(page.list()->count(), 2);
    EXPECT_EQ(page.list()->currentItem()->text(), QStringLiteral("second1"));

    prompter.answers = {Answer::Yes, Answer::Yes};
    page.list()->setCurrentRow(0);
    page.deleteUser();
    page.deleteUser();
    EXPECT_TRUE(onDisk().isEmpty());
    EXPECT_TRUE(QFile::exists(usersPath()));
    EXPECT_EQ(page.selectedIndex(), -1);
    EXPECT_FALSE(page.deleteButton()->isEnabled());
    EXPECT_TRUE(page.homeEdit()->text().isEmpty());
}

TEST_F(FtpPages, ApplyChecksTheDetailsAndTheSaveQuestionGuardsThem)
{
    const QString h = home();
    seed({account(QStringLiteral("first01"), QStringLiteral("a"), h), account(QStringLiteral("second1"), QStringLiteral("b"), h)});
    startProgram();
    UserManagerPage page(*hub);
    page.resize(640, 400);
    EXPECT_FALSE(page.applyButton()->isEnabled());
    EXPECT_FALSE(page.detailsChanged());

    page.passwordEdit()->setText(QStringLiteral("new"));
    EXPECT_TRUE(page.applyButton()->isEnabled());
    QTest::mouseClick(page.applyButton(), Qt::LeftButton);
    EXPECT_EQ(lastShown(), editMessage(ftp::UserEditError::PasswordMismatch));
    EXPECT_EQ(onDisk()[0].password, QStringLiteral("a"));

    page.confirmEdit()->setText(QStringLiteral("new"));
    page.homeEdit()->setText(dir.filePath(QStringLiteral("gone")));
    EXPECT_FALSE(page.apply());
    EXPECT_EQ(lastShown(), editMessage(ftp::UserEditError::BadHome));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("RI Vivoze"));
    EXPECT_EQ(onDisk()[0].password, QStringLiteral("a"));

    // Moving away with changes asks; yes with a bad folder keeps the row and the changes.
    prompter.answers = {Answer::Yes};
    QTest::keyClick(page.list(), Qt::Key_PageDown);
    EXPECT_EQ(prompter.asked.back(), QString::fromUtf16(u"用户已经改变.\n\n 是否保存?"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("RI Vivoze"));
    EXPECT_EQ(page.list()->currentRow(), 0);
    EXPECT_TRUE(page.detailsChanged());
    EXPECT_EQ(page.passwordEdit()->text(), QStringLiteral("new"));

    // Yes with good details saves them and moves on.
    page.homeEdit()->setText(h);
    page.uploadBox()->setChecked(false);
    page.deleteBox()->setChecked(true);
    prompter.answers = {Answer::Yes};
    QTest::keyClick(page.list(), Qt::Key_PageDown);
    EXPECT_EQ(page.list()->currentRow(), 1);
    EXPECT_FALSE(page.detailsChanged());
    EXPECT_EQ(page.passwordEdit()->text(), QStringLiteral("b"));
    CUser first = onDisk()[0];
    EXPECT_EQ(first.password, QStringLiteral("new"));
    EXPECT_EQ(first.upload, 0);
    EXPECT_EQ(first.deleteRight, 1);

    // No drops them.
    page.disabledBox()->setChecked(true);
    prompter.answers = {Answer::No};
    QTest::keyClick(page.list(), Qt::Key_PageUp);
    EXPECT_EQ(page.list()->currentRow(), 0);
    EXPECT_EQ(onDisk()[1].disabled, 0);
    EXPECT_FALSE(page.disabledBox()->isChecked());

    page.disabledBox()->setChecked(true);
    page.apply();
    EXPECT_EQ(onDisk()[0].disabled, 1);
    EXPECT_FALSE(page.applyButton()->isEnabled());
    maybeShoot(&page, "fernlink-users.png");
}

TEST_F(FtpPages, AnUnreadableAccountFileIsNeverWrittenOver)
{
    const QString h = home();
    QByteArray damaged = ftp::encodeUsers({account(QStringLiteral("first01"), QStringLiteral("a"), h)});
    damaged.chop(3);   // the last record breaks off
    writeFile(usersPath(), damaged);
    startProgram();
    ASSERT_EQ(hub->users().loadStatus(), ftp::LoadStatus::Damaged);
    UserManagerPage page(*hub);
    page.show();
    EXPECT_TRUE(page.storeNote()->isVisible());
    EXPECT_FALSE(page.storeNote()->text().isEmpty());

    page.setDialogRunner(typing({QStringLiteral("second1"), {}, {}, h}));
    page.addUser();
    EXPECT_TRUE(lastShown().startsWith(editMessage(ftp::UserEditError::SaveFailed))) << lastShown().toStdString();
    EXPECT_TRUE(lastShown().contains(hub->users().lastError()));
    EXPECT_EQ(readFile(usersPath()), damaged);

    // Only on explicit confirmation is the damaged file kept aside and a new list started.
    EXPECT_TRUE(page.setAsideButton()->isVisible());
    prompter.answers = {Answer::No};
    page.setAsideButton()->click();
    EXPECT_TRUE(prompter.asked.back().contains(QDir::toNativeSeparators(usersPath())));
    EXPECT_EQ(readFile(usersPath()), damaged);
    prompter.answers = {Answer::Yes};
    page.setAsideButton()->click();
    const QStringList kept = QDir(dir.path()).entryList({QStringLiteral("users.dat.damaged-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^users\\.dat\\.damaged-\\d{8}-\\d{6}$")).match(kept[0]).hasMatch()) << kept[0].toStdString();
    EXPECT_EQ(readFile(dir.filePath(kept[0])), damaged);
    EXPECT_TRUE(lastShown().contains(kept[0])) << lastShown().toStdString();
    EXPECT_FALSE(page.storeNote()->isVisible());
    EXPECT_FALSE(page.setAsideButton()->isVisible());
    EXPECT_EQ(page.accounts().size(), 0);
    page.setDialogRunner(typing({QStringLiteral("second1"), {}, {}, h}));
    page.addUser();
    ASSERT_EQ(onDisk().size(), 1);
    EXPECT_EQ(onDisk()[0].name, QStringLiteral("second1"));

    // Garbage after a valid header is damage too, not an account.
    writeFile(usersPath(), ftp::encodeUsers({}) + QByteArray("\x03\x01\x02\x03\x00\x07\x07\x07\x07\x01/\x09\x09\x09\x09", 15)
                               + QByteArray(16, '\x09'));
    startProgram();
    EXPECT_EQ(hub->users().loadStatus(), ftp::LoadStatus::Damaged);
    EXPECT_TRUE(hub->users().getAll().isEmpty());

    // A file with another header is left alone the same way.
    writeFile(usersPath(), QByteArray("\x05Other"));
    startProgram();
    ASSERT_EQ(hub->users().loadStatus(), ftp::LoadStatus::Foreign);
    UserManagerPage foreign(*hub);
    foreign.setDialogRunner(typing({QStringLiteral("second1"), {}, {}, h}));
    foreign.addUser();
    EXPECT_EQ(readFile(usersPath()), QByteArray("\x05Other"));
}

TEST_F(FtpPages, ManagerSeesAPasswordChangedOnTheLoginPage)
{
    const QString h = home();
    seed({account(QStringLiteral("first01"), QStringLiteral("a"), h), account(QStringLiteral("second1"), QStringLiteral("b"), h)});
    startProgram();
    UserManagerPage manager(*hub);
    LoginPage login(*hub);
    login.logout();
    login.nameEdit()->setText(QStringLiteral("second1"));
    login.passwordEdit()->setText(QStringLiteral("b"));
    login.login();
    login.newPasswordEdit()->setText(QStringLiteral("c"));
    login.confirmEdit()->setText(QStringLiteral("c"));
    login.changePassword();
    ASSERT_EQ(onDisk()[1].password, QStringLiteral("c"));

    // Showing the manager again takes the new password, so its next save keeps it.
    manager.show();
    manager.list()->setCurrentRow(manager.list()->count() - 1);
    manager.uploadBox()->setChecked(false);
    ASSERT_TRUE(manager.apply());
    EXPECT_EQ(onDisk()[1].password, QStringLiteral("c"));
    EXPECT_EQ(onDisk()[1].upload, 0);
}

// ---- online users and statistics against the server ----------------------------------

class FtpClient {
public:
    bool open(quint16 port)
    {
        control.connectToHost(QStringLiteral("127.0.0.1"), port);
        return reply().startsWith("220");
    }
    QByteArray reply()
    {
        waitUntil([&] { return control.canReadLine() || control.state() == QAbstractSocket::UnconnectedState; });
        return control.readLine();
    }
    QByteArray command(const QByteArray& line)
    {
        control.write(line + "\r\n");
        return reply();
    }
    bool login(const QByteArray& user, const QByteArray& password)
    {
        command("USER " + user);
        return command("PASS " + password).startsWith("230");
    }
    bool store(const QByteArray& name, const QByteArray& data)
    {
        const QByteArray pasv = command("PASV");
        const auto m = QRegularExpression(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"))
                           .match(QString::fromLatin1(pasv));
        if (!m.hasMatch())
            return false;
        QTcpSocket data_;
        data_.connectToHost(QStringLiteral("127.0.0.1"), quint16(m.captured(5).toInt() * 256 + m.captured(6).toInt()));
        if (!waitUntil([&] { return data_.state() == QAbstractSocket::ConnectedState; }))
            return false;
        if (!command("STOR " + name).startsWith("150"))
            return false;
        data_.write(data);
        waitUntil([&] { return data_.bytesToWrite() == 0; });
        data_.disconnectFromHost();
        waitUntil([&] { return data_.state() == QAbstractSocket::UnconnectedState; });
        return reply().startsWith("226");
    }
    QTcpSocket control;
};

TEST_F(FtpPages, TheProgramsServerNeverServesTheAccountFiles)
{
    // The data folder itself is the account's home: the worst place for the files.
    seed({account(QStringLiteral("oper1"), QStringLiteral("pw"), dir.path())});
    writeFile(dir.filePath(QStringLiteral("userlog.dat")), ftp::encodeUsers({}));
    startProgram();
    ftp::CFtpServerWnd& server = hub->server();
    server.setPort(0);
    ASSERT_TRUE(server.start());
    FtpClient client;
    ASSERT_TRUE(client.open(server.listeningPort()));
    ASSERT_TRUE(client.login("oper1", "pw"));
    for (const QByteArray& name : {QByteArray("userlog.dat"), QByteArray("users.dat")}) {
        EXPECT_TRUE(client.command("SIZE " + name).startsWith("550")) << name.constData();
        EXPECT_TRUE(client.command("STOR " + name).startsWith("550")) << name.constData();
    }
    server.stop();
}

TEST_F(FtpPages, OnlineUsersAndStatisticsFollowTheServer)
{
    const QString h = home();
    seed({account(QStringLiteral("oper1"), QStringLiteral("pw"), h)});
    startProgram();
    auto* online = new OnlineUsersPage(*hub);
    StatisticsPage statistics(*hub);
    EXPECT_EQ(statistics.values(), QStringList(8, QStringLiteral("0")));
    auto sink = std::make_unique<FtpPagesSink>(hub->server(), &statistics, online);

    ftp::CFtpServerWnd& server = hub->server();
    server.setPort(0);
    server.setStatisticsInterval(50);
    ASSERT_TRUE(server.start());

    FtpClient a, b;
    ASSERT_TRUE(a.open(server.listeningPort()));
    ASSERT_TRUE(a.login("oper1", "pw"));
    ASSERT_TRUE(b.open(server.listeningPort()));
    ASSERT_TRUE(b.login("OPER1", "pw"));
    ASSERT_TRUE(waitUntil([&] { return online->list()->topLevelItemCount() == 2; }));
    // Two connections of one account are two rows with their own thread ids, newest first.
    QTreeWidgetItem* newest = online->list()->topLevelItem(0);
    QTreeWidgetItem* oldest = online->list()->topLevelItem(1);
    EXPECT_NE(newest->text(OnlineUsersPage::ColThreadId), oldest->text(OnlineUsersPage::ColThreadId));
    EXPECT_EQ(newest->text(OnlineUsersPage::ColUserName), QStringLiteral("OPER1"));
    EXPECT_EQ(oldest->text(OnlineUsersPage::ColUserName), QStringLiteral("oper1"));
    EXPECT_EQ(newest->text(OnlineUsersPage::ColAddress), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(newest->text(OnlineUsersPage::ColLogonTime)).hasMatch());
    EXPECT_EQ(online->list()->columnWidth(OnlineUsersPage::ColThreadId), 0);

    const QByteArray upload(3000, 'x');
    ASSERT_TRUE(a.store("O0001.txt", upload));
    EXPECT_EQ(readFile(QDir(h).filePath(QStringLiteral("O0001.txt"))), upload);
    // What the page shows is what the server counted, at its next push.
    ASSERT_TRUE(waitUntil([&] {
        const QStringList v = statistics.values();
        return v[3] == QLatin1String("1") && v[6] == ftp::formatKilobytes(server.counters().bytesReceived)
            && v[7] == ftp::formatKilobytes(server.counters().bytesSent);
    }));
    EXPECT_GT(server.counters().bytesReceived, 3000u);
    const QStringList v = statistics.values();
    EXPECT_EQ(v[0], QStringLiteral("2"));
    EXPECT_EQ(v[1], QStringLiteral("2"));
    EXPECT_EQ(v[2], QStringLiteral("0"));
    EXPECT_EQ(v[4], QStringLiteral("0"));
    EXPECT_EQ(v[5], QStringLiteral("0"));
    EXPECT_TRUE(v[6].endsWith(QStringLiteral(" KB")));
    online->resize(600, 300);
    online->show();
    maybeShoot(online, "fernlink-online-users.png");
    statistics.resize(420, 260);
    maybeShoot(&statistics, "fernlink-statistics.png");

    // Disconnecting the older row ends that connection only.
    const QString kept = newest->text(OnlineUsersPage::ColThreadId);
    oldest->setSelected(true);
    online->disconnectAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return online->list()->topLevelItemCount() == 1; }));
    EXPECT_EQ(online->list()->topLevelItem(0)->text(OnlineUsersPage::ColThreadId), kept);
    EXPECT_TRUE(waitUntil([&] { return a.control.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(b.command("NOOP").left(3), QByteArray("200"));
    ASSERT_TRUE(waitUntil([&] { return statistics.values()[1] == QLatin1String("1"); }));
    EXPECT_EQ(statistics.values()[0], QStringLiteral("2"));

    // A page that is gone is skipped; stopping the server still reaches the sink safely.
    delete online;
    server.stop();
    EXPECT_EQ(server.counters().currentConnections, 0);
    sink.reset();
    ASSERT_TRUE(server.start());   // no sink now: the push finds none
    server.stop();
}

TEST_F(FtpPages, StatisticsRowsAndTheirByteFormat)
{
    startProgram();
    hub->state.language = Language::English;
    StatisticsPage page(*hub);
    ASSERT_EQ(page.table()->topLevelItemCount(), 8);
    EXPECT_EQ(page.table()->headerItem()->text(0), QStringLiteral("statistic"));
    EXPECT_EQ(page.table()->topLevelItem(7)->text(0), QStringLiteral("total bytes sent"));
    page.bytesReceived(1024);
    page.bytesSent(1536000);
    page.statistic(4, 12345);
    page.statistic(6, 9);   // no such counter: the byte rows are not touched
    const QStringList v = page.values();
    EXPECT_EQ(v[4], QStringLiteral("12345"));
    EXPECT_EQ(v[6], QStringLiteral("0 KB"));
    EXPECT_EQ(v[7], QStringLiteral("1,500 KB"));
}

TEST_F(FtpPages, OnlineRowsAreKeyedByThreadId)
{
    startProgram();
    OnlineUsersPage page(*hub);
    page.resize(603, 200);
    page.show();
    page.userConnected(123, QStringLiteral("oper1"), QStringLiteral("10.0.0.5"));
    page.userConnected(1234, QStringLiteral("oper1"), QStringLiteral("10.0.0.6"));
    page.userConnected(123, QStringLiteral("oper2"), QStringLiteral("10.0.0.7"));   // same connection again
    ASSERT_EQ(page.list()->topLevelItemCount(), 2);
    EXPECT_EQ(page.list()->topLevelItem(0)->text(OnlineUsersPage::ColThreadId), QStringLiteral("1234"));
    EXPECT_EQ(page.list()->topLevelItem(1)->text(OnlineUsersPage::ColUserName), QStringLiteral("oper2"));
    page.list()->topLevelItem(0)->setSelected(true);
    page.userDisconnected(123);
    ASSERT_EQ(page.list()->topLevelItemCount(), 1);
    EXPECT_EQ(page.list()->topLevelItem(0)->text(OnlineUsersPage::ColThreadId), QStringLiteral("1234"));
    EXPECT_TRUE(page.list()->topLevelItem(0)->isSelected());
    // The disconnect menu comes only over a selection.
    auto* menu = page.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    page.list()->clearSelection();
    Q_EMIT page.list()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(menu->isVisible());
    page.list()->topLevelItem(0)->setSelected(true);
    Q_EMIT page.list()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->actions().value(0)->text(), QString::fromUtf16(u"断开该用户的连接"));
    menu->hide();

    const int third = page.list()->viewport()->width() / 3 - 2;
    for (int c : {OnlineUsersPage::ColUserName, OnlineUsersPage::ColAddress, OnlineUsersPage::ColLogonTime})
        EXPECT_EQ(page.list()->columnWidth(c), third);
}

}  // namespace

TEST_F(FtpPages, AccountDialogRefusesTextTheAccountFileCannotHold)
{
    startProgram();
    hub->state.language = Language::English;
    const QString foreign = dir.filePath(QStringLiteral("jörg"));
    const QString chinese = dir.filePath(QStringLiteral("程序"));
    ASSERT_TRUE(QDir().mkpath(foreign));
    ASSERT_TRUE(QDir().mkpath(chinese));
    UserDialog dialog(*hub);
    dialog.nameEdit()->setText(QStringLiteral("Ab123"));
    dialog.passwordEdit()->setText(QStringLiteral("pässword"));
    dialog.confirmEdit()->setText(QStringLiteral("pässword"));
    dialog.homeEdit()->setText(chinese);
    dialog.tryAccept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    // The password is named by its field, never shown.
    EXPECT_EQ(lastShown(), QStringLiteral("Password holds characters that GBK can not hold; it can not be saved."));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("user manager"));

    dialog.passwordEdit()->setText(QStringLiteral("secret"));
    dialog.confirmEdit()->setText(QStringLiteral("secret"));
    dialog.homeEdit()->setText(foreign);
    dialog.tryAccept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(lastShown().startsWith(foreign)) << lastShown().toStdString();

    dialog.homeEdit()->setText(chinese);  // GBK holds Chinese folders
    dialog.tryAccept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
