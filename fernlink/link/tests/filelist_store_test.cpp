// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/filelist_store.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernlink;

namespace {
CFileListItem row(const QString& path, const QString& state = QStringLiteral("unsend"))
{
    return {QStringLiteral("  √"), path, QStringLiteral("O00001.txt"), QStringLiteral("1234"), QStringLiteral("USER"), state};
}
}  // namespace

TEST(FileListStore, EmptyListIsTheMagicAloneAndLoadsNothing)
{
    const QByteArray bytes = encodeFileList({});
    ASSERT_EQ(bytes.size(), 32);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x1F);
    EXPECT_EQ(bytes.mid(1), QByteArray(kFileListMagic));
    const auto back = decodeFileList(bytes);
    EXPECT_EQ(back.status, FileListReadResult::Status::Ok);
    EXPECT_TRUE(back.items.empty());
}

TEST(FileListStore, RecordFieldsAreWrittenStateBeforePartitionInGbk)
{
    CFileListItem item{QStringLiteral("  ×"), QStringLiteral("/nc/O1.txt"), QStringLiteral("O00001.txt"),
                       QStringLiteral("12"), QStringLiteral("SYS"), QStringLiteral("已发送")};
    const QByteArray bytes = encodeFileList({item});
    QByteArray expected = QByteArray("\x1F") + kFileListMagic;
    expected += QByteArray("\x04  \xA1\xC1", 5);  // "×" is A1 C1 in GBK
    expected += QByteArray("\x0A/nc/O1.txt");
    expected += QByteArray("\x0AO00001.txt");
    expected += QByteArray("\x02" "12");
    expected += QByteArray("\x06\xD2\xD1\xB7\xA2\xCB\xCD", 7);
    expected += QByteArray("\x03SYS");
    EXPECT_EQ(bytes.toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    EXPECT_EQ(decodeFileList(bytes).items, std::vector<CFileListItem>{item});
}

TEST(FileListStore, LongPathUsesTheThreeByteLengthForm)
{
    const QString path = QStringLiteral("/") + QString(254, QLatin1Char('p'));
    const QByteArray bytes = encodeFileList({row(path)});
    const qsizetype at = 32 + 5;  // after the magic and the check mark "  √" (length byte, 4 GBK bytes)
    EXPECT_EQ(bytes.mid(at, 3), QByteArray("\xFF\xFF\x00", 3));
    EXPECT_EQ(decodeFileList(bytes).items.at(0).path, path);
}

TEST(FileListStore, WrongMagicIsAFormatErrorAndLoadsNothing)
{
    QByteArray noTrailingBlank = QByteArray("\x1E") + QByteArray(" Fernlink_FileList_StoreObject");
    EXPECT_EQ(decodeFileList(noTrailingBlank).status, FileListReadResult::Status::FormatError);
    QByteArray wrongCase = encodeFileList({row(QStringLiteral("/a"))});
    wrongCase[2] = 'f';
    const auto r = decodeFileList(wrongCase);
    EXPECT_EQ(r.status, FileListReadResult::Status::FormatError);
    EXPECT_TRUE(r.items.empty());
    EXPECT_EQ(decodeFileList(QByteArray()).status, FileListReadResult::Status::FormatError);
}

TEST(FileListStore, TruncatedFileKeepsTheCompleteRecordsAndSaysSo)
{
    const QByteArray whole = encodeFileList({row(QStringLiteral("/a")), row(QStringLiteral("/b"))});
    const qsizetype oneRecord = (whole.size() - 32) / 2;
    for (qsizetype cut = 33; cut < whole.size(); ++cut) {
        const auto r = decodeFileList(whole.first(cut));
        EXPECT_EQ(r.items.size(), cut >= 32 + oneRecord ? 1u : 0u) << cut;
        if (cut == 32 + oneRecord)
            continue;  // a cut on a record boundary is indistinguishable from a shorter list
        EXPECT_EQ(r.status, FileListReadResult::Status::Truncated) << cut;
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(FileListStore, LoadingTwiceAddsEachFileOnceAndInsertsAtTheTop)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QString::fromLatin1(kFileListDefaultName));
    const std::vector<CFileListItem> saved = {row(QStringLiteral("/nc/A.txt"), QStringLiteral("sent")),
                                              row(QStringLiteral("/nc/B.txt"))};
    ASSERT_TRUE(saveFileList(file, saved).ok);

    std::vector<CFileListItem> queue;
    auto loaded = loadFileList(file);
    ASSERT_EQ(loaded.status, FileListReadResult::Status::Ok);
    EXPECT_TRUE(mergeIntoQueue(queue, loaded.items).empty());
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].path, QStringLiteral("/nc/B.txt"));  // reversed: each row went to the top
    EXPECT_EQ(queue[1].state, QStringLiteral("sent"));      // states survive as saved

    loaded.items[0].path = loaded.items[0].path.toUpper();
    const auto skipped = mergeIntoQueue(queue, loaded.items);
    EXPECT_EQ(skipped.size(), 2u);
    EXPECT_EQ(queue.size(), 2u);
}

TEST(FileListStore, FailedSaveLeavesTheEarlierFileIntact)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("list.dat"));
    ASSERT_TRUE(saveFileList(file, {row(QStringLiteral("/keep"))}).ok);
    // A folder in the way of the temporary file's rename makes the save fail.
    const QString blocked = dir.filePath(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/list.dat")));
    EXPECT_FALSE(saveFileList(blocked + QStringLiteral("/list.dat"), {}).ok);
    EXPECT_EQ(loadFileList(file).items.at(0).path, QStringLiteral("/keep"));
    EXPECT_EQ(loadFileList(dir.filePath(QStringLiteral("none.dat"))).status, FileListReadResult::Status::NotOpened);
}

TEST(FileListStore, TextGbkCannotHoldIsRefusedAndNothingIsWritten)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("list.dat"));
    ASSERT_TRUE(saveFileList(file, {row(QStringLiteral("/keep"))}).ok);
    // "ä" would be stored as '?' and come back as another path; Chinese paths are fine.
    const QString foreign = QStringLiteral("/home/jörg/O1.nc");
    const ArchiveFileResult saved = saveFileList(file, {row(QStringLiteral("/程序/O2.nc")), row(foreign)});
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(saved.error.contains(foreign)) << saved.error.toStdString();
    EXPECT_EQ(loadFileList(file).items.size(), 1u);
    EXPECT_EQ(firstTextOutsideGbk({row(QStringLiteral("/程序/O2.nc"))}), std::nullopt);
    EXPECT_EQ(firstTextOutsideGbk({row(foreign)}), foreign);
}
