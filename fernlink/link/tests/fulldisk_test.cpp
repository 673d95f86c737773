// SPDX-License-Identifier: GPL-3.0-or-later
// Receiving into a folder whose disk is full or failing, on both links, and the transfer list
// and account files on such a disk: the row is failed, the user is told the system's reason, nothing
// appears under the final name and an earlier file of that name is kept byte for byte.
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetprotocol.h"
#include "fernlink/link/filelist_store.h"
#include "fernlink/link/serialflows.h"
#include "fernlink/ftpserver/userstore.h"

#include "common/atomicfile.h"
#include "common/testing/testfiles.h"
#include "fernlink/link/tests/flowtests.h"
#include "serialcore/serialwire.h"
#include "serialcore/tests/fakelinkport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vantor;
using namespace vantor::fernlink;
using vantor::testing::FakeLinkPort;
using vantor::testing::filesIn;
using vantor::testing::patternBytes;
using vantor::testing::readFile;

namespace {

struct Point {
    const char* name;
    FileFault::Step step;
    int error;
    qint64 after;
};

// Where the disk gives out: before the first byte, in the middle, at fsync, at rename.
const Point kPoints[] = {
    {"before the first byte", FileFault::Step::Write, ENOSPC, 0},
    {"in the middle", FileFault::Step::Write, ENOSPC, 2500},
    {"failing in the middle", FileFault::Step::Write, EIO, 1000},
    {"at fsync", FileFault::Step::Sync, ENOSPC, 0},
    {"at rename", FileFault::Step::Rename, EIO, 0},
    {"no room for the file at all", FileFault::Step::Open, ENOSPC, 0},
};

bool anyContains(const std::vector<QString>& texts, const QString& part)
{
    return std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return t.contains(part); });
}

const QByteArray kEarlier("the shop's earlier copy\r\n");
const QString kName = QStringLiteral("O00001.txt");

}  // namespace

TEST(FullDiskReceive, SerialRowFailsAndTheEarlierFileStays)
{
    const QByteArray data = patternBytes(128 * 40, 3);
    for (const Point& p : kPoints) {
        SCOPED_TRACE(p.name);
        FakeLinkPort port;
        ProgramState state{OperationState::OpIdle, LinkType::LinkSerial, Language::English};
        ScriptedPrompter prompter;
        prompter.defaultAnswer = Answer::Yes;  // overwrite the earlier file
        FlowObserver observer;
        SerialFlowSet flows{port, state, prompter, observer};
        QTemporaryDir dir;
        vantor::testing::writeFile(dir.filePath(kName), kEarlier);

        ScopedFileFault fault({p.step, p.error, p.after, dir.path()});
        flows.receive.rows.push_back({kName, QString::number(data.size()), QStringLiteral("user"), {}, true});
        ASSERT_TRUE(flows.receive.start(dir.path()));
        flows.onBytes("user>");
        for (int block = 0; block * 128 < data.size() && state.operation != OperationState::OpIdle; ++block)
            flows.onBytes(CXModem::buildFrame(block + 1, data.mid(block * 128, 128)));
        if (state.operation != OperationState::OpIdle)
            flows.onBytes(QByteArray(1, wire::kEot));

        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_EQ(flows.receive.rows[0].state, "Unable to create file");
        EXPECT_TRUE(anyContains(prompter.shown, systemErrorText(p.error))) << prompter.shown.size();
        EXPECT_EQ(readFile(dir.filePath(kName)), kEarlier);
        EXPECT_EQ(filesIn(dir.path()), QStringList{kName});
    }
}

TEST(FullDiskReceive, EthernetRowFailsAndTheEarlierFileStays)
{
    const QByteArray data = patternBytes(3 * net::kFramePayload + 100, 4);
    for (const Point& p : kPoints) {
        SCOPED_TRACE(p.name);
        FakeLinkPort port;
        ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
        ScriptedPrompter prompter;
        prompter.defaultAnswer = Answer::Yes;
        EthernetObserver observer;
        EthernetFlowSet flows{port, state, prompter, observer};
        QTemporaryDir dir;
        vantor::testing::writeFile(dir.filePath(kName), kEarlier);

        ScopedFileFault fault({p.step, p.error, p.after, dir.path()});
        flows.receive.rows = {{kName, {}, QStringLiteral("USER"), {}, true}};
        ASSERT_TRUE(flows.receive.start(dir.path()));
        flows.onBytes("scdok\r\n");
        flows.onBytes("sulok " + QByteArray::number(data.size()) + "\r\n");
        const QByteArray stream = flowtests::controllerFrames(data) + QByteArray(1, net::kEot);
        for (qsizetype pos = 0; pos < stream.size() && state.operation != OperationState::OpIdle; pos += net::kFrameSize)
            flows.onBytes(stream.mid(pos, net::kFrameSize));

        EXPECT_EQ(state.operation, OperationState::OpIdle);
        EXPECT_EQ(flows.receive.rows[0].state, "Unable to create file");
        EXPECT_TRUE(anyContains(prompter.shown, systemErrorText(p.error))) << prompter.shown.size();
        EXPECT_EQ(readFile(dir.filePath(kName)), kEarlier);
        EXPECT_EQ(filesIn(dir.path()), QStringList{kName});
    }
}

TEST(FullDiskFileList, SaveFailsAndTheEarlierListStays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FileList.dat"));
    const std::vector<CFileListItem> first{{QStringLiteral("1"), QStringLiteral("/a/O1.nc"), QStringLiteral("O00001.txt"),
                                            QStringLiteral("10"), QStringLiteral("user"), QStringLiteral("unsend")}};
    ASSERT_TRUE(saveFileList(path, first).ok);
    const QByteArray before = readFile(path);
    std::vector<CFileListItem> more = first;
    for (int i = 0; i < 200; ++i)
        more.push_back(first.front());
    for (const Point& p : kPoints) {
        SCOPED_TRACE(p.name);
        ScopedFileFault fault({p.step, p.error, p.after, dir.path()});
        const ArchiveFileResult saved = saveFileList(path, more);
        EXPECT_FALSE(saved.ok);
        EXPECT_TRUE(saved.error.contains(systemErrorText(p.error))) << saved.error.toStdString();
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("FileList.dat")});
    }
}

TEST(FullDiskUserFiles, AccountsAndTheUserLogKeepTheirEarlierFiles)
{
    QTemporaryDir dir;
    const QString users = dir.filePath(QStringLiteral("users.dat"));
    const QString log = dir.filePath(QStringLiteral("userlog.dat"));
    ftp::CUserStore store(users);
    ASSERT_TRUE(store.replaceAll({ftp::CUser{QStringLiteral("op"), QStringLiteral("pw"), 0, dir.path()}}));
    ftp::CUserLogStore userLog(log);
    userLog.records = {ftp::CUserLog{1, 2, "a", "b", "c"}};
    ASSERT_TRUE(userLog.save());
    const QByteArray usersBefore = readFile(users);
    const QByteArray logBefore = readFile(log);
    for (const Point& p : kPoints) {
        SCOPED_TRACE(p.name);
        ScopedFileFault fault({p.step, p.error, p.after > 0 ? 20 : 0, dir.path()});
        EXPECT_FALSE(store.replaceAll({ftp::CUser{QStringLiteral("op2"), QStringLiteral("pw2"), 0, dir.path()}}));
        EXPECT_TRUE(store.lastError().contains(systemErrorText(p.error))) << store.lastError().toStdString();
        userLog.records.append(ftp::CUserLog{3, 4, "d", "e", "f"});
        EXPECT_FALSE(userLog.save());
        EXPECT_TRUE(userLog.lastError().contains(systemErrorText(p.error))) << userLog.lastError().toStdString();
        EXPECT_EQ(readFile(users), usersBefore);
        EXPECT_EQ(readFile(log), logBefore);
        EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("userlog.dat"), QStringLiteral("users.dat")}));
    }
}
