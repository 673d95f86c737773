// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/receivedfile.h"

#include "common/testing/testfiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using vantor::testing::filesIn;
using vantor::testing::readFile;
using vantor::testing::writeFile;

namespace {
const QByteArray kOld("the file that was there before");
}

// However a receive ends short of a commit, the folder holds exactly what it held before: no
// half file under the final name, no temporary file beside it.
TEST(ReceivedFile, EveryEndButCommitLeavesTheFolderAsItWas)
{
    enum class End { Drop, Destroy, WriteFault, RenameFault, OpenFault };
    const struct {
        const char* name;
        End end;
    } kCases[] = {{"dropped", End::Drop},          {"owner gone", End::Destroy},   {"disk full while writing", End::WriteFault},
                  {"rename fails", End::RenameFault}, {"no room to open", End::OpenFault}};
    for (const auto& c : kCases) {
        for (bool existed : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (existed ? ", over an older file" : ", new file"));
            QTemporaryDir dir;
            const QString target = dir.filePath(QStringLiteral("O1234"));
            if (existed)
                writeFile(target, kOld);
            const QStringList before = filesIn(dir.path());
            {
                std::unique_ptr<ScopedFileFault> fault;
                if (c.end == End::WriteFault)
                    fault = std::make_unique<ScopedFileFault>(FileFault{FileFault::Step::Write, ENOSPC, 100, dir.path()});
                if (c.end == End::RenameFault)
                    fault = std::make_unique<ScopedFileFault>(FileFault{FileFault::Step::Rename, EIO, 0, dir.path()});
                if (c.end == End::OpenFault)
                    fault = std::make_unique<ScopedFileFault>(FileFault{FileFault::Step::Open, ENOSPC, 0, dir.path()});
                ReceivedFile file;
                const bool opened = file.open(target);
                EXPECT_EQ(opened, c.end != End::OpenFault);
                const bool wrote = file.write(QByteArray(300, 'x'));
                EXPECT_EQ(wrote, opened && c.end != End::WriteFault);
                if (c.end == End::RenameFault || c.end == End::WriteFault) {
                    EXPECT_FALSE(file.commit());
                }
                if (c.end != End::Drop && c.end != End::Destroy) {
                    EXPECT_TRUE(file.failed());
                    EXPECT_TRUE(file.errorString().contains(QStringLiteral("O1234"))) << file.errorString().toStdString();
                }
                if (c.end != End::Destroy) {
                    file.drop();
                    EXPECT_FALSE(file.isOpen());
                    // The next file starts without the last one's reason.
                    EXPECT_FALSE(file.failed());
                }
            }
            EXPECT_EQ(filesIn(dir.path()), before);
            if (existed) {
                EXPECT_EQ(readFile(target), kOld);
            }
        }
    }
}

TEST(ReceivedFile, CommitPutsTheWholeFileInPlaceAndANewOpenForgetsTheOldReason)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("O1"));
    ReceivedFile file;
    {
        ScopedFileFault fault({FileFault::Step::Open, ENOSPC, 0, dir.path()});
        ASSERT_FALSE(file.open(target));
    }
    ASSERT_TRUE(file.failed());
    ASSERT_TRUE(file.open(target));
    EXPECT_FALSE(file.failed());
    EXPECT_TRUE(file.write("G0 X1\r\n"));
    EXPECT_TRUE(file.write("M30\r\n"));
    EXPECT_FALSE(QFileInfo::exists(target));  // nothing under the name before the end
    EXPECT_TRUE(file.commit());
    EXPECT_FALSE(file.isOpen());
    file.drop();  // after a commit, a drop takes nothing away
    EXPECT_EQ(readFile(target), QByteArray("G0 X1\r\nM30\r\n"));
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("O1")});
    // Nothing open: nothing to commit or write.
    EXPECT_FALSE(file.commit());
    EXPECT_FALSE(file.write("x"));
}

TEST(ReceivedFile, SafeLocalNamesStayInTheFolder)
{
    for (const char* bad : {"", ".", "..", "../O1", "a/b", "a\\b", "C:O1", "/etc/passwd"})
        EXPECT_FALSE(isSafeLocalName(QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(isSafeLocalName(QStringLiteral("O1") + QChar(0) + QStringLiteral("x")));
    for (const char* good : {"O1234", "...", ".hidden", "a..b", "PROG 1.NC"})
        EXPECT_TRUE(isSafeLocalName(QString::fromLatin1(good))) << good;
    EXPECT_TRUE(isSafeLocalName(QStringLiteral("程序1")));
}
