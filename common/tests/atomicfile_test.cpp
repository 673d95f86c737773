// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/atomicfile.h"

#include "common/testing/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/mount.h>
#include <unistd.h>

using namespace vantor;
using vantor::testing::filesIn;
using vantor::testing::readFile;
using vantor::testing::writeFile;

namespace {

struct FaultCase {
    const char* name;
    FileFault::Step step;
    int error;
    qint64 afterBytes;
};

const FaultCase kFaults[] = {
    {"no room for the temporary file", FileFault::Step::Open, ENOSPC, 0},
    {"full before the first byte", FileFault::Step::Write, ENOSPC, 0},
    {"full in the middle", FileFault::Step::Write, ENOSPC, 3000},
    {"failing disk in the middle", FileFault::Step::Write, EIO, 4096},
    {"full at fsync", FileFault::Step::Sync, ENOSPC, 0},
    {"failing disk at fsync", FileFault::Step::Sync, EIO, 0},
    {"failing close", FileFault::Step::Close, EIO, 0},
    {"failing rename", FileFault::Step::Rename, EIO, 0},
};

QByteArray newContent()
{
    return vantor::testing::patternBytes(10000, 7);
}

}  // namespace

// Whatever step of the save fails, the earlier file is untouched, nothing else is left in the
// folder and the error names the file and the system's reason.
TEST(AtomicFile, EveryFailureKeepsTheOldFileAndSaysWhy)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LADDER.plf"));
        const QByteArray old("the machine's only copy");
        writeFile(path, old);

        ScopedFileFault fault({c.step, c.error, c.afterBytes, dir.path()});
        const ArchiveFileResult result = saveFileAtomically(path, newContent());
        EXPECT_EQ(fault.hits(), 1);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.contains(QStringLiteral("LADDER.plf"))) << result.error.toStdString();
        EXPECT_TRUE(result.error.contains(systemErrorText(c.error))) << result.error.toStdString();
        EXPECT_EQ(readFile(path), old);
        EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("LADDER.plf")});
    }
}

TEST(AtomicFile, FirstSaveThatFailsLeavesNoFileAtAll)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ScopedFileFault fault({c.step, c.error, c.afterBytes, dir.path()});
        EXPECT_FALSE(saveFileAtomically(dir.filePath(QStringLiteral("Ladbin.dat")), newContent()).ok);
        EXPECT_EQ(filesIn(dir.path()), QStringList{});
    }
}

// The folder sync comes after the rename: the new bytes are in place, but the caller must not
// be told the save is safe on disk.
TEST(AtomicFile, FolderThatCannotBeSyncedIsReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.dat"));
    ScopedFileFault fault({FileFault::Step::FolderSync, EIO, 0, dir.path()});
    const auto result = saveFileAtomically(path, QByteArray("new"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(systemErrorText(EIO)));
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("users.dat")});
}

TEST(AtomicFile, FaultOnlyHitsItsOwnFolder)
{
    QTemporaryDir full, other;
    ScopedFileFault fault({FileFault::Step::Write, ENOSPC, 0, full.path()});
    EXPECT_TRUE(saveFileAtomically(other.filePath(QStringLiteral("a")), QByteArray("fine")).ok);
    EXPECT_EQ(readFile(other.filePath(QStringLiteral("a"))), QByteArray("fine"));
    EXPECT_EQ(fault.hits(), 0);
}

TEST(AtomicFile, ReplacingKeepsPermissionsAndOwnerOnlyStaysPrivate)
{
    QTemporaryDir dir;
    const QString shared = dir.filePath(QStringLiteral("FileList.dat"));
    writeFile(shared, "old");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(shared, mode));
    ASSERT_TRUE(saveFileAtomically(shared, QByteArray("new")).ok);
    EXPECT_EQ(QFile::permissions(shared) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), mode);

    const QString secret = dir.filePath(QStringLiteral("users.dat"));
    ASSERT_TRUE(saveFileAtomically(secret, QByteArray("pw"), true).ok);
    EXPECT_EQ(QFileInfo(secret).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther),
              QFileDevice::Permissions{});
}

TEST(AtomicFile, SavingThroughALinkReplacesWhatItPointsTo)
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real.plf"));
    const QString link = dir.filePath(QStringLiteral("link.plf"));
    writeFile(real, "old");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(saveFileAtomically(link, QByteArray("new")).ok);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(real), QByteArray("new"));
}

TEST(AtomicFileWriter, StreamedFileAppearsOnlyAtCommit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O0001"));
    AtomicFileWriter file(path);
    ASSERT_TRUE(file.open());
    const QByteArray data = newContent();
    for (qsizetype at = 0; at < data.size(); at += 333)
        ASSERT_TRUE(file.write(data.mid(at, 333)));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(file.bytesWritten(), data.size());
    ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
    EXPECT_EQ(readFile(path), data);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("O0001")});
}

TEST(AtomicFileWriter, CancelledOrAbandonedWriterLeavesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O0002"));
    writeFile(path, "old");
    {
        AtomicFileWriter file(path);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write(QByteArray("half a progr")));
        file.cancelWriting();
        EXPECT_FALSE(file.commit());
    }
    {
        AtomicFileWriter file(path);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write(QByteArray("half a progr")));
    }
    EXPECT_EQ(readFile(path), QByteArray("old"));
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("O0002")});
}

// A receive goes on after a failed chunk only to drain the line: nothing it writes afterwards
// may revive the file, and commit must not report success.
TEST(AtomicFileWriter, AfterAFailureEveryWriteAndTheCommitAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O0003"));
    AtomicFileWriter file(path);
    ASSERT_TRUE(file.open());
    {
        ScopedFileFault fault({FileFault::Step::Write, ENOSPC, 100, dir.path()});
        EXPECT_FALSE(file.write(newContent()));
    }
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.write(QByteArray("more")));
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.errorString().contains(systemErrorText(ENOSPC)));
    EXPECT_EQ(filesIn(dir.path()), QStringList{});
}

// A real, tiny, full file system: only where the test may mount one (root with the right to
// mount); it skips everywhere else.
TEST(AtomicFile, RealFullTmpfsKeepsTheOldFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a tmpfs";
    QTemporaryDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{mountPoint};

    const QString path = dir.filePath(QStringLiteral("LADDER.plf"));
    const QByteArray old = vantor::testing::patternBytes(8192, 1);
    ASSERT_TRUE(saveFileAtomically(path, old).ok);
    // Fill the rest, as `dd` would.
    {
        QFile filler(dir.filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    const auto result = saveFileAtomically(path, vantor::testing::patternBytes(16384, 2));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(systemErrorText(ENOSPC))) << result.error.toStdString();
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("LADDER.plf"), QStringLiteral("filler")}));
}
