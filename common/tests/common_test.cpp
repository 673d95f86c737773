// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/archive.h"
#include "common/datapaths.h"
#include "common/gbk.h"

#include <QCoreApplication>
#include <QDir>

#include <QTemporaryDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace vantor;

TEST(Gbk, ChineseTextSurvivesTheCodePage)
{
    const QString text = QStringLiteral("正在发送文件 U盘 O0001");
    const QByteArray bytes = toGbk(text);
    // "正" is D5 FD in GBK: a real converter, not UTF-8 passed through.
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD5);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFD);
    EXPECT_EQ(fromGbk(bytes), text);
    EXPECT_TRUE(fitsGbk(text));
    EXPECT_FALSE(fitsGbk(QStringLiteral("\U0001F600")));
}

TEST(Archive, LengthPrefixTakesTheFormTheLengthNeeds)
{
    struct Case { qsizetype length; QByteArray prefix; };
    const Case cases[] = {
        {0, QByteArray("\x00", 1)},
        {254, QByteArray("\xFE", 1)},
        {255, QByteArray("\xFF\xFF\x00", 3)},
        {0xFFFD, QByteArray("\xFF\xFD\xFF", 3)},
        {0xFFFE, QByteArray("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {70000, QByteArray("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
    };
    for (const auto& c : cases) {
        ArchiveWriter out;
        out.writeBytes(QByteArray(c.length, 'x'));
        ASSERT_EQ(out.data().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(out.data().left(c.prefix.size()), c.prefix) << c.length;

        ArchiveReader in(out.data());
        auto back = in.readBytes();
        ASSERT_TRUE(back.has_value()) << c.length << in.error().toStdString();
        EXPECT_EQ(back->size(), c.length);
        EXPECT_TRUE(in.atEnd());
    }
}

TEST(Archive, RecordsRoundTripWithIntegersAndGbkStrings)
{
    ArchiveWriter out;
    out.writeString(QStringLiteral(" header "));
    out.writeString(QStringLiteral("用户"));
    out.writeInt32(-2);
    out.writeUInt32(0xDEADBEEF);
    EXPECT_EQ(out.data().mid(1 + 8 + 1 + 4, 4), QByteArray("\xFE\xFF\xFF\xFF", 4));

    ArchiveReader in(out.data());
    EXPECT_EQ(in.readString(), QStringLiteral(" header "));
    EXPECT_EQ(in.readString(), QStringLiteral("用户"));
    EXPECT_EQ(in.readInt32(), -2);
    EXPECT_EQ(in.readUInt32(), 0xDEADBEEFu);
    EXPECT_TRUE(in.atEnd());
    EXPECT_FALSE(in.failed());
}

TEST(Archive, ReaderRefusesEveryTruncationInsteadOfReadingPastTheEnd)
{
    ArchiveWriter out;
    out.writeBytes(QByteArray(300, 'a'));
    out.writeInt32(7);
    const QByteArray whole = out.data();
    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        ArchiveReader in(whole.first(cut));
        auto s = in.readBytes();
        auto n = in.readInt32();
        EXPECT_FALSE(s.has_value() && n.has_value()) << "cut at " << cut;
        if (cut > 0) {
            EXPECT_TRUE(in.failed()) << "cut at " << cut;
        }
        EXPECT_LE(in.position(), cut);
    }
}

TEST(Archive, LengthRunningPastTheEndOrOverTheLimitFails)
{
    // 32-bit form claiming 4 GiB with three bytes behind it.
    ArchiveReader huge(QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "abc", 10));
    EXPECT_FALSE(huge.readBytes().has_value());
    EXPECT_TRUE(huge.failed());

    ArchiveReader limited(QByteArray("\x05hello", 6), 4);
    EXPECT_FALSE(limited.readBytes().has_value());
    EXPECT_FALSE(limited.error().isEmpty());

    // Once failed, nothing more is read even if bytes would fit.
    ArchiveReader after(QByteArray("\x09short\x01x", 8));
    EXPECT_FALSE(after.readBytes().has_value());
    EXPECT_FALSE(after.readBytes().has_value());
}

TEST(Archive, AtomicSaveKeepsOldFileWhenTargetCannotBeWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.dat"));
    ASSERT_TRUE(saveFileAtomically(path, QByteArray("first"), true).ok);
    QString error;
    EXPECT_EQ(readWholeFile(path, &error), QByteArray("first"));
    EXPECT_EQ(QFile::permissions(path) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions{});

    const auto bad = saveFileAtomically(dir.filePath(QStringLiteral("missing/sub/file")), QByteArray("x"));
    EXPECT_FALSE(bad.ok);
    EXPECT_FALSE(bad.error.isEmpty());
    EXPECT_FALSE(readWholeFile(dir.filePath(QStringLiteral("nope")), &error).has_value());
}

// A shop's own copy in the user's data folder wins over the installed one, which wins over
// the build tree's copy beside the executable; writes never go beside the executable.
TEST(DataPaths, UserCopyThenInstalledThenBesideTheProgram)
{
    QTemporaryDir home, share;
    ASSERT_TRUE(home.isValid() && share.isValid());
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME"), oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", share.path().toLocal8Bit());

    const QStringList folders = dataFolders(QStringLiteral("rungpad"));
    ASSERT_GE(folders.size(), 3);
    EXPECT_EQ(folders[0], home.path() + QStringLiteral("/vantor/rungpad"));
    EXPECT_EQ(folders[1], share.path() + QStringLiteral("/vantor/rungpad"));
    EXPECT_EQ(folders.last(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(userDataFolder(QStringLiteral("rungpad")), folders[0]);

    auto put = [](const QString& folder) {
        QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/Diag.mea"));
        return f.open(QIODevice::WriteOnly) && f.write("end\r\n") == 5;
    };
    EXPECT_TRUE(locateDataFile(QStringLiteral("rungpad"), QStringLiteral("Diag.mea")).isEmpty());
    ASSERT_TRUE(put(folders[1]));
    EXPECT_EQ(locateDataFile(QStringLiteral("rungpad"), QStringLiteral("Diag.mea")), folders[1] + QStringLiteral("/Diag.mea"));
    ASSERT_TRUE(put(folders[0]));
    EXPECT_EQ(locateDataFile(QStringLiteral("rungpad"), QStringLiteral("Diag.mea")), folders[0] + QStringLiteral("/Diag.mea"));

    qputenv("XDG_DATA_HOME", oldHome);
    qputenv("XDG_DATA_DIRS", oldDirs);
}
