// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/archive.h"
#include "fernlink/ftpserver/ftpconstants.h"
#include "fernlink/ftpserver/userstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vantor;
using namespace vantor::ftp;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
CUser account(const QString& name, const QString& home)
{
    CUser u;
    u.name = name;
    u.password = QStringLiteral("pw");
    u.homeDirectory = home;
    u.upload = 1;
    return u;
}
}  // namespace

TEST(UserStore, RecordLayoutIsHeaderThenFieldsInOrder)
{
    CUser u;
    u.name = QStringLiteral("oper1");
    u.password = QStringLiteral("x");
    u.disabled = 1;
    u.homeDirectory = QStringLiteral("D:\\CNC");
    u.download = 1;
    u.upload = 0;
    u.reserved = 0;
    u.deleteRight = 1;
    u.makeDirectory = 0;
    const QByteArray bytes = encodeUsers({u});
    QByteArray expected;
    expected += char(40);
    expected += "Orvenna Software Solutions - StoreObject";
    expected += QByteArray("\x05oper1\x01x\x01\x00\x00\x00", 12);
    expected += QByteArray("\x06" "D:\\CNC", 7);
    expected += QByteArray("\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00", 20);
    EXPECT_EQ(bytes, expected);
}

TEST(UserStore, SavedAccountsReadBackByteIdenticalAndOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.dat"));
    CUserStore store(path);
    EXPECT_EQ(store.load(), LoadStatus::Missing);
    CUser chinese = account(QStringLiteral("Oper1"), QStringLiteral("/srv/程序"));
    ASSERT_TRUE(store.replaceAll({chinese, account(QStringLiteral("second"), dir.path())}));
    const QByteArray first = readAll(path);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "account file readable by others";

    CUserStore again(path);
    EXPECT_EQ(again.load(), LoadStatus::Loaded);
    ASSERT_EQ(again.getAll().size(), 2);
    EXPECT_EQ(again.getAll()[0], chinese);
    ASSERT_TRUE(again.save());
    EXPECT_EQ(readAll(path), first);
}

TEST(UserStore, FindIgnoresCaseButPasswordDoesNot)
{
    QTemporaryDir dir;
    CUserStore store(dir.filePath(QStringLiteral("users.dat")));
    store.replaceAll({account(QStringLiteral("operator1"), dir.path())});
    ASSERT_TRUE(store.find(QStringLiteral("OPERATOR1")));
    EXPECT_FALSE(store.find(QStringLiteral("operator")));
    EXPECT_FALSE(checkFtpLogin(store.find(QStringLiteral("Operator1")), QStringLiteral("pw")));
    EXPECT_EQ(checkFtpLogin(store.find(QStringLiteral("operator1")), QStringLiteral("PW")), LoginRefusal::WrongPassword);
}

TEST(UserStore, ForeignOrDamagedFileIsNeverSavedOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.dat"));
    struct Case { const char* what; QByteArray bytes; LoadStatus status; qsizetype records; };
    ArchiveWriter foreign;
    foreign.writeBytes(QByteArray("Some Other StoreObject"));
    QByteArray truncated = encodeUsers({account(QStringLiteral("first"), dir.path()), account(QStringLiteral("second"), dir.path())});
    truncated.chop(3);
    // Garbage after a valid header that happens to parse as records.
    auto garbage = [&](const QByteArray& name, const QByteArray& home, std::int32_t flag) {
        ArchiveWriter w;
        w.writeBytes(QByteArray(kUsersHeader));
        w.writeBytes(name);
        w.writeBytes("\x13\x37");
        w.writeInt32(flag);
        w.writeBytes(home);
        for (int i = 0; i < 5; ++i)
            w.writeInt32(flag);
        return w.data();
    };
    QByteArray validThenGarbage = encodeUsers({account(QStringLiteral("first"), dir.path())});
    validThenGarbage += garbage("\x07x", "y", 0).mid(encodeUsers({}).size());
    const Case cases[] = {
        {"foreign header", foreign.data(), LoadStatus::Foreign, 0},
        {"truncated record", truncated, LoadStatus::Damaged, 1},
        {"empty file", QByteArray(), LoadStatus::Foreign, 0},
        {"flags that are no flags", garbage("\xa3\xc1\x9e", "\x81\x40", 0x41414141), LoadStatus::Damaged, 0},
        {"control bytes in a name", garbage("ab\x01\x02" "cd", "/tmp", 1), LoadStatus::Damaged, 0},
        {"no name, no home", garbage("", "", 0), LoadStatus::Damaged, 0},
        {"a valid record, then garbage", validThenGarbage, LoadStatus::Damaged, 1},
    };
    for (const Case& c : cases) {
        writeAll(path, c.bytes);
        CUserStore store(path);
        EXPECT_EQ(store.load(), c.status) << c.what;
        EXPECT_EQ(store.getAll().size(), c.records) << c.what;
        EXPECT_FALSE(store.replaceAll({account(QStringLiteral("intruder"), dir.path())})) << c.what;
        EXPECT_FALSE(store.lastError().isEmpty()) << c.what;
        EXPECT_EQ(readAll(path), c.bytes) << c.what;
    }
}

TEST(UserStore, LoginRulesRefuseWhatCannotBeServed)
{
    QTemporaryDir dir;
    CUser good = account(QStringLiteral("good1"), dir.path());
    CUser open = good;
    open.password.clear();
    CUser disabled = good;
    disabled.disabled = 1;
    struct Case { const char* what; std::optional<CUser> user; QString password; std::optional<LoginRefusal> refusal; };
    auto withHome = [&](const QString& home) { CUser u = good; u.homeDirectory = home; return u; };
    const Case cases[] = {
        {"right password", good, QStringLiteral("pw"), std::nullopt},
        {"wrong password", good, QStringLiteral("px"), LoginRefusal::WrongPassword},
        {"empty stored password takes any", open, QStringLiteral("anything"), std::nullopt},
        {"disabled", disabled, QStringLiteral("pw"), LoginRefusal::Disabled},
        {"unknown", std::nullopt, QStringLiteral("pw"), LoginRefusal::UnknownUser},
        {"empty home", withHome(QString()), QStringLiteral("pw"), LoginRefusal::BadHome},
        {"relative home", withHome(QStringLiteral("cnc")), QStringLiteral("pw"), LoginRefusal::BadHome},
        {"missing home", withHome(dir.filePath(QStringLiteral("gone"))), QStringLiteral("pw"), LoginRefusal::BadHome},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkFtpLogin(c.user, c.password), c.refusal) << c.what;
}

TEST(UserLogStore, RecordsAreWrittenBackUnchanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("userlog.dat"));
    ArchiveWriter out;
    out.writeBytes(QByteArray(kUserLogHeader));
    out.writeInt32(7);
    out.writeInt32(-1);
    out.writeBytes(QByteArray("third"));
    out.writeBytes(QByteArray("\xD5\xFD\xff", 3));   // not valid GBK: kept as bytes
    out.writeBytes(QByteArray(300, 'f'));
    writeAll(path, out.data());
    CUserLogStore log(path);
    EXPECT_EQ(log.load(), LoadStatus::Loaded);
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_EQ(log.records[0].thirdText, QByteArray("third"));
    EXPECT_EQ(log.records[0].firstText.size(), 300);
    QFile::remove(path);
    ASSERT_TRUE(log.save());
    EXPECT_EQ(readAll(path), out.data());
}

TEST(UserStore, DamagedFileIsKeptAsideUnderADatedNameOnRequest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.dat"));
    const QByteArray damaged = QByteArray(encodeUsers({})) + "\x05junk!";
    writeAll(path, damaged);
    CUserStore store(path);
    ASSERT_EQ(store.load(), LoadStatus::Damaged);
    const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 9));
    const auto kept = store.setAsideDamaged(when);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(*kept, path + QStringLiteral(".damaged-20261209-140509"));
    EXPECT_EQ(readAll(*kept), damaged);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(store.loadStatus(), LoadStatus::Missing);
    EXPECT_TRUE(store.getAll().isEmpty());
    EXPECT_TRUE(store.replaceAll({account(QStringLiteral("fresh1"), dir.path())}));
    EXPECT_FALSE(store.setAsideDamaged(when).has_value()) << "a readable file is never set aside";

    // The same second again: the earlier copy is not overwritten.
    writeAll(path, "other junk");
    ASSERT_EQ(store.load(), LoadStatus::Foreign);
    EXPECT_EQ(store.setAsideDamaged(when).value_or(QString()), path + QStringLiteral(".damaged-20261209-140509-2"));
    EXPECT_EQ(readAll(*kept), damaged);
}
