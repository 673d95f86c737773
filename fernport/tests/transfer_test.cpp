// SPDX-License-Identifier: GPL-3.0-or-later
// Fernport's transfers: the flows headless against the simulated controller in the same
// process, and the real windows against cncsim over a pseudo-terminal.
#include "fernport/mainframe.h"
#include "fernport/transferflows.h"
#include "fernport/tests/windowonline.h"

#include "common/atomicfile.h"
#include "common/ui/nceditor.h"
#include "common/testing/ptypair.h"
#include "serialcore/xmodem.h"
#include "sim/simcontroller.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vantor;
using namespace vantor::fernport;
using vantor::testing::PtyPair;
using vantor::testing::waitUntil;
using vantor::testing::maybeShoot;
using vantor::testing::writeFile;
using vantor::testing::readFile;
using vantor::testing::programPath;

namespace {

QByteArray pattern(int n, int seed = 5)
{
    QByteArray b(n, 0);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 13 + seed) & 0xFF);
    return b;
}

// What the controller stores: whole blocks, the last one filled up.
QByteArray padded(QByteArray data)
{
    if (data.size() % 128)
        data += QByteArray(128 - data.size() % 128, 0x1A);
    return data;
}

struct RecordingView : TransferView {
    int good = 0;
    int sendDoneCount = 0;
    int receiveDoneCount = 0;
    void receivedGood() override { ++good; }
    void sendDone() override { ++sendDoneCount; }
    void receiveDone() override { ++receiveDoneCount; }
};

// The flows and the simulated controller in one event loop, each behind its own driver;
// bytes cross as posted events, so neither side re-enters the other.
class FlowBench : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        pcLine.setWriter([this](const QByteArray& b) {
            wire += b;
            QTimer::singleShot(0, &cncLine, [this, b] { sim->onBytes(b); });
        });
        cncLine.setWriter([this](const QByteArray& b) {
            if (deaf)
                return;
            QTimer::singleShot(0, &pcLine, [this, b] {
                if (send.active())
                    send.onBytes(b);
                else
                    receive.onBytes(b);
            });
        });
        pcLine.setTimerHandler([this](int id) { receive.onTimer(id); });
        sim = std::make_unique<sim::SimController>(cncLine, root(), sim::SimFaults{});
        cncLine.setTimerHandler([this](int id) { sim->onTimer(id); });
        send.setRenameAsker([this](const QString& old) {
            renameAsked << old;
            return renames.empty() ? std::nullopt : std::optional<QString>(renames.takeFirst());
        });
    }

    QString root() const { return dir.filePath(QStringLiteral("root")); }
    QString onCnc(const char* partition, const QString& name) const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }
    QString pcFile(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(QStringLiteral("pc/") + name);
        writeFile(path, data);
        return path;
    }

    QTemporaryDir dir;
    QByteArray wire;  // everything the PC wrote
    LinkDriver pcLine;
    LinkDriver cncLine;
    ScriptedPrompter prompter;
    SerialSession session{pcLine, prompter};
    RecordingView view;
    SendFlow send{session, view};
    ReceiveFlow receive{session, view};
    std::unique_ptr<sim::SimController> sim;
    void playFaults(sim::SimFaults faults) { sim = std::make_unique<sim::SimController>(cncLine, root(), faults); }

    QStringList renames;
    QStringList renameAsked;
    bool deaf = false;  // the controller's answers are lost
};

}  // namespace

TEST_F(FlowBench, ListEditingAppliesTheFamilysNamesRenamesAndLimits)
{
    session.family = 2;
    const QString ok = pcFile(QStringLiteral("o12.nc"), "x");
    const QString para = pcFile(QStringLiteral("PARA3.TXT"), "x");
    const QString bad = pcFile(QStringLiteral("drill.nc"), "x");
    const QString bak = pcFile(QStringLiteral("m.bak"), "x");
    renames = {QStringLiteral("O12a"), QStringLiteral("O7.nc")};  // refused once more, then accepted
    EXPECT_EQ(send.addFiles({ok, para, bad, dir.filePath(QStringLiteral("gone.nc"))}, QStringLiteral("user")), 3);
    EXPECT_EQ(send.addFiles({bak}, QStringLiteral("sys")), 1);
    ASSERT_EQ(send.entries().size(), 4u);
    EXPECT_EQ(send.entries()[0].name, QStringLiteral("O0012.cnc"));
    EXPECT_EQ(send.entries()[1].name, QStringLiteral("PARA3.TXT"));
    EXPECT_EQ(send.entries()[2].name, QStringLiteral("O0007.cnc"));
    EXPECT_EQ(send.entries()[3].name, QStringLiteral("m.bak"));  // other partitions keep their names
    EXPECT_EQ(send.entries()[3].state, QStringLiteral("Not Sent"));
    EXPECT_EQ(renameAsked, (QStringList{QStringLiteral("drill.nc"), QStringLiteral("O12a")}));
    ASSERT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(prompter.shown[0], QStringLiteral("Can not send file drill.nc to user part, please rename!"));
    EXPECT_EQ(prompter.captions[0], QStringLiteral("Error"));
    EXPECT_EQ(prompter.shown[2], QStringLiteral("Can not find ") + dir.filePath(QStringLiteral("gone.nc")));
    EXPECT_EQ(prompter.captions[2], QString());  // no caption of its own

    // A cancelled rename skips the file; the prompt family refuses what the general one takes.
    session.family = 6;
    send.clearList();
    EXPECT_EQ(send.addFiles({para}, QStringLiteral("user")), 0);
    EXPECT_TRUE(send.entries().empty());

    // 800 entries in the general family, and the 801st is refused with the limit.
    session.family = 2;
    QStringList many;
    for (int i = 0; i < 801; ++i)
        many << pcFile(QStringLiteral("O%1.nc").arg(i), "x");
    prompter.shown.clear();
    EXPECT_EQ(send.addFiles(many.mid(0, 790), QStringLiteral("user")), 790);
    EXPECT_EQ(send.addFiles(many.mid(790), QStringLiteral("user")), 10);
    EXPECT_EQ(send.entries().size(), 800u);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], QStringLiteral("Can not receive more than 800 files."));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("Error"));
    send.removeEntries({0, 0, 5, 799});
    EXPECT_EQ(send.entries().size(), 797u);
    EXPECT_EQ(send.entries()[0].name, QStringLiteral("O0001.cnc"));
}

TEST_F(FlowBench, EditedFileModeNeedsADocumentAndAnAcceptedName)
{
    EXPECT_FALSE(send.startEdited(QString()));
    EXPECT_EQ(prompter.shown.back(), QStringLiteral("Not file is opened!"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("Error"));
    session.family = 2;
    // The list is emptied first and a refused name goes straight to the rename dialog.
    send.addFiles({pcFile(QStringLiteral("O5.nc"), "x")}, QStringLiteral("user"));
    ASSERT_EQ(send.entries().size(), 1u);
    prompter.shown.clear();
    EXPECT_FALSE(send.startEdited(pcFile(QStringLiteral("drill.nc"), "x")));  // rename cancelled: nothing is sent
    EXPECT_EQ(renameAsked, QStringList{QStringLiteral("drill.nc")});
    EXPECT_TRUE(prompter.shown.empty()) << prompter.shown.front().toStdString();
    ASSERT_EQ(send.entries().size(), 1u);
    EXPECT_TRUE(send.entries()[0].path.endsWith(QStringLiteral("/drill.nc")));
    EXPECT_FALSE(send.active());
    EXPECT_TRUE(wire.isEmpty());

    const QByteArray program = pattern(130);
    renames = {QStringLiteral("O44")};
    ASSERT_TRUE(send.startEdited(pcFile(QStringLiteral("part.nc"), program)));
    ASSERT_EQ(send.entries().size(), 1u);
    EXPECT_EQ(send.entries()[0].name, QStringLiteral("O0044.cnc"));
    ASSERT_TRUE(waitUntil([&] { return !send.active(); }, 15000));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0044.cnc"))), padded(program));
    EXPECT_EQ(send.entries()[0].state, QStringLiteral("Sent"));
}

TEST_F(FlowBench, UpgradeFolderListsWhatConfigNamesUntilABadLine)
{
    const QString folder = dir.filePath(QStringLiteral("upgrade"));
    writeFile(folder + QStringLiteral("/O0001"), "a");
    writeFile(folder + QStringLiteral("/kernel.bin"), "b");
    writeFile(folder + QStringLiteral("/config.ini"), "O0001 1\r\nmissing 0\nkernel.bin  2\nlate 3\nafter 0\n");
    pcFile(QStringLiteral("old.nc"), "x");
    EXPECT_FALSE(send.addUpgradeFolder(folder));
    ASSERT_EQ(send.entries().size(), 2u);
    EXPECT_EQ(send.entries()[0].partition, QStringLiteral("user"));
    EXPECT_EQ(send.entries()[1].name, QStringLiteral("kernel.bin"));
    EXPECT_EQ(send.entries()[1].partition, QStringLiteral("bios"));
    EXPECT_EQ(prompter.shown, (std::vector<QString>{QStringLiteral("Add file fail.")}));

    EXPECT_FALSE(send.addUpgradeFolder(dir.filePath(QStringLiteral("nowhere"))));
    EXPECT_TRUE(send.entries().empty());
}

TEST_F(FlowBench, PromptFamilyWaitsForThePromptAndChangesPartitionPerFile)
{
    session.family = 6;
    const QByteArray program = pattern(300);
    const QByteArray backup = pattern(129, 9);
    send.addFiles({pcFile(QStringLiteral("o12.nc"), program)}, QStringLiteral("user"));
    send.addFiles({pcFile(QStringLiteral("m.bak"), backup)}, QStringLiteral("sys"));
    ASSERT_TRUE(send.start());
    ASSERT_TRUE(waitUntil([&] { return !send.active(); }, 15000));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O00012.txt"))), padded(program));
    EXPECT_EQ(readFile(onCnc("sys", QStringLiteral("m.bak"))), padded(backup));
    EXPECT_EQ(send.entries()[0].state, QStringLiteral("Sent"));
    EXPECT_EQ(send.entries()[1].state, QStringLiteral("Sent"));
    EXPECT_EQ(wire.count("xcd"), 2);
    EXPECT_EQ(wire.count("xdel"), 0);  // the prompt families never delete first
    EXPECT_TRUE(wire.contains("xdl O00012.txt -t\n"));
    EXPECT_TRUE(wire.contains("xdl m.bak -d\n"));
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(view.sendDoneCount, 1);
}

TEST_F(FlowBench, GeneralFamilyDeletesBeforeEachDownloadAndSelectsThePartitionOnce)
{
    session.family = 2;
    const QByteArray a = pattern(128);
    const QByteArray b;  // an empty file: EOT on the first C
    writeFile(onCnc("user", QStringLiteral("O0001.cnc")), "old contents");
    send.addFiles({pcFile(QStringLiteral("O1.nc"), a), pcFile(QStringLiteral("O2.nc"), b)}, QStringLiteral("user"));
    ASSERT_TRUE(send.start());
    ASSERT_TRUE(waitUntil([&] { return !send.active(); }, 15000));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0001.cnc"))), a);
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0002.cnc"))), QByteArray());
    EXPECT_EQ(wire.count("xcd"), 1);
    // The controller's answer to xdel (ACK here, DLE for the new name) fails nothing.
    EXPECT_LT(wire.indexOf("xdel O0001.cnc\n"), wire.indexOf("xdl O0001.cnc -t\n"));
    EXPECT_LT(wire.indexOf("xdel O0002.cnc\n"), wire.indexOf("xdl O0002.cnc -t\n"));
    EXPECT_EQ(send.entries()[1].state, QStringLiteral("Sent"));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FlowBench, CancelAfterTheFirstBlockIsAnsweredWithOneDeleteAndResend)
{
    session.family = 2;
    sim::SimFaults faults;
    faults.canAfterC = true;
    playFaults(faults);
    const QByteArray program = pattern(400);
    send.addFiles({pcFile(QStringLiteral("O1.nc"), program)}, QStringLiteral("user"));
    ASSERT_TRUE(send.start());
    ASSERT_TRUE(waitUntil([&] { return !send.active(); }, 15000));
    EXPECT_EQ(send.entries()[0].state, QStringLiteral("Sent"));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0001.cnc"))), padded(program));
    EXPECT_EQ(wire.count("xdl O0001.cnc -t\n"), 2);
    EXPECT_EQ(wire.count("xdel O0001.cnc\n"), 2);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FlowBench, ListingGivesUpAtTheSixthTickAndARefusedUploadIsMarked)
{
    deaf = true;
    receive.getList();
    ASSERT_TRUE(receive.listing());
    for (int i = 0; i < 5; ++i)
        receive.onTimer(ReceiveFlow::kListTimerId);
    EXPECT_TRUE(receive.listing());
    EXPECT_TRUE(prompter.shown.empty());
    receive.onTimer(ReceiveFlow::kListTimerId);
    EXPECT_FALSE(receive.listing());
    EXPECT_EQ(prompter.shown, (std::vector<QString>{QStringLiteral("Time out! Please check the COM setup.")}));

    deaf = false;
    sim::SimFaults faults;
    faults.refuseUpload = 0x10;
    playFaults(faults);
    prompter.shown.clear();
    const QString folder = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(folder);
    receive.entries() = {{QStringLiteral("O0002.cnc"), QStringLiteral("user"), QStringLiteral("Not Rec")}};
    ASSERT_TRUE(receive.receive({0}, folder));
    ASSERT_TRUE(waitUntil([&] { return !receive.receiving(); }, 15000));
    EXPECT_EQ(receive.entries()[0].state, QStringLiteral("Error"));
    EXPECT_EQ(prompter.shown, (std::vector<QString>{
                                  QStringLiteral("Send file error O0002.cnc: Not enough right!\n      Please setup the CNC."),
                                  QStringLiteral("Send file O0002.cnc fail.")}));
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(FlowBench, ReceiveKeepsNamesInTheFolderAndCancelledFilesOffTheDisk)
{
    const QString folder = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(folder);
    writeFile(onCnc("user", QStringLiteral("O0009.cnc")), pattern(128 * 3000));
    receive.entries() = {{QStringLiteral("../escaped"), QStringLiteral("user"), QStringLiteral("Not Rec")},
                         {QStringLiteral("O0009.cnc"), QStringLiteral("user"), QStringLiteral("Not Rec")}};
    ASSERT_TRUE(receive.receive({0, 1}, folder));
    EXPECT_EQ(receive.entries()[0].state, QStringLiteral("Error"));
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown[0].startsWith(QStringLiteral("The controller's file name ../escaped")));
    ASSERT_TRUE(waitUntil([&] { return view.good >= 3; }, 15000));
    receive.cancel();
    EXPECT_FALSE(receive.receiving());
    EXPECT_EQ(view.receiveDoneCount, 1);
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escaped"))));
    EXPECT_TRUE(wire.contains("xul O0009.cnc -t\n"));
    EXPECT_TRUE(wire.endsWith(QByteArray(1, 0x18)) || wire.contains(QByteArray(1, 0x18)));
}

// ---------------------------------------------------------------- windows against cncsim

namespace {

class CncSimWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        settings = std::make_unique<FernportSettings>(dir.filePath(QStringLiteral("fernport.ini")));
        frame = std::make_unique<CMainFrame>(*settings, &prompter);
        frame->setPortSetupAsker([this](const QString&, int) { return std::optional<PortChoice>(PortChoice{link, 38400}); });
        frame->setPartitionAsker([this] { return partChoice; });
        frame->setFilesAsker([this](PartChoice) { return files; });
        frame->setFolderAsker([this] { return folder; });
        frame->setRenameAsker([this](const QString&) { return renameTo; });
        frame->systemList()->setCurrentText(QStringLiteral("Q6D"));
    }
    void TearDown() override
    {
        frame.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
        }
    }

    void startSim(const QStringList& faults = {})
    {
        link = dir.filePath(QStringLiteral("cnc"));
        sim.start(programPath("cncsim"), QStringList{QStringLiteral("--root"), root(), QStringLiteral("--link"), link} + faults);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(sim.waitForReadyRead(5000)) << sim.readAllStandardError().toStdString();
        ASSERT_EQ(QString::fromUtf8(sim.readLine()).trimmed(), link);
    }
    QString root() const { return dir.filePath(QStringLiteral("root")); }
    QString onCnc(const char* partition, const QString& name) const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }
    QString pcFile(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(QStringLiteral("pc/") + name);
        writeFile(path, data);
        return path;
    }
    QString cell(QTableWidget* list, int row, int column)
    {
        QTableWidgetItem* item = list->item(row, column);
        return item ? item->text() : QString();
    }
    // Send File, Add File with the given files in the user partition.
    void addUserFiles(const QStringList& paths)
    {
        frame->sendFileCommand();
        ASSERT_TRUE(frame->comm().isOpen());
        ASSERT_TRUE(frame->sendDialog()->isVisible());
        files = paths;
        frame->addFileCommand();
    }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<FernportSettings> settings;
    std::unique_ptr<CMainFrame> frame;
    QProcess sim;
    QString link;
    std::optional<PartChoice> partChoice = PartChoice::User;
    QStringList files;
    QString folder;
    std::optional<QString> renameTo;
};

}  // namespace

TEST_F(CncSimWindow, SendsTwoFilesOneOfThemRenamed)
{
    startSim();
    const QByteArray first = pattern(5000);
    const QByteArray second = pattern(200, 7);
    renameTo = QStringLiteral("O7.nc");
    addUserFiles({pcFile(QStringLiteral("O12.nc"), first), pcFile(QStringLiteral("drill.nc"), second)});
    EXPECT_EQ(frame->family(), 2);
    QTableWidget* list = frame->sendDialog()->list();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(frame->sendDialog()->countText(), QStringLiteral(" 2 file"));
    EXPECT_EQ(cell(list, 0, 1), QStringLiteral("O0012.cnc"));
    EXPECT_EQ(cell(list, 1, 1), QStringLiteral("O0007.cnc"));
    EXPECT_EQ(cell(list, 1, 2), QStringLiteral("user"));
    EXPECT_EQ(cell(list, 1, 3), QStringLiteral("Not Sent"));
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("File path"));
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown[0], QStringLiteral("Can not send file drill.nc to user part, please rename!"));
    maybeShoot(frame->sendDialog(), "fernport-send.png");

    frame->sendCommand();
    EXPECT_FALSE(frame->sendDialog()->isVisible());
    ASSERT_TRUE(frame->processWindow());
    EXPECT_EQ(frame->processWindow()->nameText(), QStringLiteral("O0012.cnc"));
    EXPECT_EQ(frame->processWindow()->partitionText(), QStringLiteral("user"));
    ASSERT_TRUE(waitUntil([&] { return frame->processWindow() && frame->processWindow()->position() > 30; }, 15000));
    maybeShoot(frame->processWindow(), "fernport-progress.png");
    EXPECT_TRUE(frame->processWindow()->stepText().endsWith(QStringLiteral("/40")));
    ASSERT_TRUE(waitUntil([&] { return !frame->sendFlow().active(); }, 20000));
    EXPECT_FALSE(frame->processWindow());
    EXPECT_TRUE(frame->sendDialog()->isVisible());
    EXPECT_EQ(cell(list, 0, 3), QStringLiteral("Sent"));
    EXPECT_EQ(cell(list, 1, 3), QStringLiteral("Sent"));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0012.cnc"))), padded(first));
    EXPECT_EQ(readFile(onCnc("user", QStringLiteral("O0007.cnc"))), padded(second));
    EXPECT_EQ(prompter.shown.size(), 1u);
}

TEST_F(CncSimWindow, RefusedDownloadMarksTheEntryAndShowsTheControllersReason)
{
    startSim({QStringLiteral("--refuse"), QStringLiteral("esc")});
    addUserFiles({pcFile(QStringLiteral("O5.nc"), "G0\n")});
    frame->sendCommand();
    ASSERT_TRUE(waitUntil([&] { return !frame->sendFlow().active(); }, 15000));
    EXPECT_EQ(cell(frame->sendDialog()->list(), 0, 3), QStringLiteral("Error"));
    EXPECT_EQ(prompter.shown, (std::vector<QString>{QStringLiteral("File O0005.cnc has Exist!"),
                                                    QStringLiteral("Send file O0005.cnc fail.")}));
    EXPECT_TRUE(frame->sendDialog()->isVisible());
    EXPECT_FALSE(frame->processWindow());
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", QStringLiteral("O0005.cnc"))));
}

TEST_F(CncSimWindow, CancelInTheSendingWindowAsksAndEndsTheRun)
{
    startSim({QStringLiteral("--silent")});
    addUserFiles({pcFile(QStringLiteral("O5.nc"), "G0\n")});
    frame->sendCommand();
    ASSERT_TRUE(frame->processWindow());
    waitUntil([] { return false; }, 300);
    prompter.answers = {Answer::No};
    frame->cancelSending();
    EXPECT_TRUE(frame->sendFlow().active());
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Do you really to end the Communication?"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("Send File"));  // the operation's caption
    prompter.answers = {Answer::Yes};
    frame->cancelSending();
    EXPECT_FALSE(frame->sendFlow().active());
    EXPECT_FALSE(frame->processWindow());
    EXPECT_TRUE(frame->sendDialog()->isVisible());
    EXPECT_EQ(cell(frame->sendDialog()->list(), 0, 3), QStringLiteral("Not Sent"));
}

TEST_F(CncSimWindow, ReceivesChosenEntriesAskingBeforeOverwriting)
{
    startSim();
    const QByteArray one = pattern(300);
    const QByteArray backup = pattern(128, 3);
    writeFile(onCnc("user", QStringLiteral("O0001.cnc")), one);
    writeFile(onCnc("user", QStringLiteral("O0003.cnc")), "M30\n");
    writeFile(onCnc("sys", QStringLiteral("b.bak")), backup);
    folder = dir.filePath(QStringLiteral("in"));
    writeFile(folder + QStringLiteral("/O0001.cnc"), "older");

    frame->receiveFileCommand();
    ASSERT_TRUE(frame->receiveDialog()->isVisible());
    frame->getListCommand();
    ASSERT_TRUE(waitUntil([&] { return !frame->receiveFlow().listing(); }, 15000));
    QTableWidget* list = frame->receiveDialog()->list();
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(cell(list, 0, 0), QStringLiteral("O0001.cnc"));
    EXPECT_EQ(cell(list, 1, 0), QStringLiteral("O0003.cnc"));
    EXPECT_EQ(cell(list, 2, 0), QStringLiteral("b.bak"));
    EXPECT_EQ(cell(list, 2, 1), QStringLiteral("sys"));
    EXPECT_EQ(cell(list, 2, 2), QStringLiteral("Not Rec"));
    maybeShoot(frame->receiveDialog(), "fernport-receive.png");

    list->selectRow(0);
    list->selectionModel()->select(list->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    prompter.answers = {Answer::Yes};
    frame->receiveCommand();
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked[0], QStringLiteral("The file O0001.cnc already exists, overwrites the file?"));
    EXPECT_EQ(prompter.captions[0], QStringLiteral("Receive File"));
    ASSERT_TRUE(frame->receivingWindow());
    EXPECT_FALSE(frame->receiveDialog()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !frame->receiveFlow().receiving(); }, 20000));
    EXPECT_FALSE(frame->receivingWindow());
    EXPECT_TRUE(frame->receiveDialog()->isVisible());
    EXPECT_EQ(cell(list, 0, 2), QStringLiteral("Received"));
    EXPECT_EQ(cell(list, 1, 2), QStringLiteral("Not Rec"));
    EXPECT_EQ(cell(list, 2, 2), QStringLiteral("Received"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/O0001.cnc")), padded(one));
    EXPECT_EQ(readFile(folder + QStringLiteral("/b.bak")), backup);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(CncSimWindow, CancelInTheReceivingWindowLeavesNoFileBehind)
{
    startSim();
    writeFile(onCnc("user", QStringLiteral("O0009.cnc")), pattern(128 * 4000));
    folder = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(folder);
    frame->receiveFileCommand();
    frame->receiveFlow().entries() = {{QStringLiteral("O0009.cnc"), QStringLiteral("user"), QStringLiteral("Not Rec")}};
    frame->receiveDialog()->refresh();
    frame->receiveDialog()->list()->selectRow(0);
    frame->receiveCommand();
    ASSERT_TRUE(waitUntil([&] { return frame->receivingWindow() && frame->receivingWindow()->good() >= 3; }, 15000));
    EXPECT_EQ(frame->receivingWindow()->nameText(), QStringLiteral("O0009.cnc"));
    maybeShoot(frame->receivingWindow(), "fernport-receiving.png");
    prompter.answers = {Answer::Yes};
    frame->cancelReceiving();
    EXPECT_EQ(prompter.asked.back(), QStringLiteral("Do you really to end the Communication?"));
    EXPECT_EQ(prompter.captions.back(), QStringLiteral("Receive File"));
    EXPECT_FALSE(frame->receiveFlow().receiving());
    EXPECT_FALSE(frame->receivingWindow());
    EXPECT_TRUE(frame->receiveDialog()->isVisible());
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// ---------------------------------------------------------------- XModem DNC

namespace {

class XModemDncWindow : public testsupport::WindowOnLine<> {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(setUpProfile());
        frame = std::make_unique<CMainFrame>(*settings, &prompter);
        ASSERT_NO_FATAL_FAILURE(openPeer());
        ASSERT_NO_FATAL_FAILURE(openPort(38400));
        frame->setDncProtocol(DncProtocol::XModem);
        const QString path = dir.filePath(QStringLiteral("O0001.txt"));
        writeFile(path, program);
        ASSERT_TRUE(frame->openDocument(path));
    }

    QByteArray program = pattern(200);
};

}  // namespace

TEST_F(XModemDncWindow, ControllerStartsTheRunWithCAndASecondCIsIgnored)
{
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    EXPECT_TRUE(frame->editor()->isReadOnly());
    ASSERT_TRUE(frame->processWindow());
    EXPECT_EQ(frame->processWindow()->partitionText(), QStringLiteral("DNC"));
    EXPECT_EQ(frame->processWindow()->nameText(), QStringLiteral("O0001.txt"));
    frame->sendFileCommand();  // nothing while the run is active
    EXPECT_FALSE(frame->sendDialog()->isVisible());
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(peer.readAll().isEmpty()) << "nothing goes out before the controller's C";

    say('C');
    EXPECT_EQ(hear(133), CXModem::buildFrame(1, program.first(128)));
    say('C');
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(peer.readAll().isEmpty());
    say(0x15);  // NAK: the same frame again, counted
    EXPECT_EQ(hear(133), CXModem::buildFrame(1, program.first(128)));
    EXPECT_EQ(frame->processWindow()->errors(), 1);
    say(0x06);
    EXPECT_EQ(hear(133), CXModem::buildFrame(2, program.sliced(128)));
    say(0x06);
    EXPECT_EQ(hear(1), QByteArray(1, 0x04));
    EXPECT_TRUE(frame->editor()->isReadOnly());
    say(0x06);
    ASSERT_TRUE(waitUntil([&] { return !frame->dncActive(); }));
    EXPECT_FALSE(frame->editor()->isReadOnly());
    EXPECT_FALSE(frame->processWindow());
    EXPECT_TRUE(prompter.shown.empty()) << "an XModem run ends silently";

    say(0x06);  // a transfer nobody asked for is cancelled
    EXPECT_EQ(hear(1), QByteArray(1, 0x18));
}

TEST_F(XModemDncWindow, CancelAndControllerCanBothEndTheRun)
{
    frame->dncCommand();
    say('C');
    hear(133);
    prompter.answers = {Answer::Yes};
    frame->cancelSending();
    EXPECT_EQ(hear(1), QByteArray(1, 0x18));
    EXPECT_FALSE(frame->dncActive());
    EXPECT_FALSE(frame->editor()->isReadOnly());
    EXPECT_FALSE(frame->processWindow());

    // In DNC mode a CAN fails the run at once: no delete-and-resend.
    frame->dncCommand();
    ASSERT_TRUE(frame->dncActive());
    say('C');
    hear(133);
    say(0x18);
    ASSERT_TRUE(waitUntil([&] { return !frame->dncActive(); }));
    EXPECT_EQ(prompter.shown, (std::vector<QString>{QStringLiteral("Send file error: O0001.txt.")}));
    EXPECT_FALSE(frame->editor()->isReadOnly());

    // The file on disk goes out; without it there is no run and the editor stays writable.
    ASSERT_TRUE(QFile::remove(frame->documentPath()));
    frame->dncCommand();
    EXPECT_FALSE(frame->dncActive());
    EXPECT_FALSE(frame->editor()->isReadOnly());
    EXPECT_EQ(prompter.shown.back(), QStringLiteral("File can not be open: %1.").arg(frame->documentPath()));
}

// A receive into a full or failing folder: the entry is marked failed, the user reads the
// system's reason, and neither the final name nor a temporary file is left but the earlier file.
TEST_F(FlowBench, ReceiveOnAFullDiskFailsTheEntryAndKeepsTheEarlierFile)
{
    struct Point {
        const char* name;
        FileFault::Step step;
        int error;
        qint64 after;
    };
    const Point points[] = {
        {"before the first byte", FileFault::Step::Write, ENOSPC, 0},
        {"in the middle", FileFault::Step::Write, ENOSPC, 128 * 7 + 5},
        {"at fsync", FileFault::Step::Sync, EIO, 0},
        {"at rename", FileFault::Step::Rename, ENOSPC, 0},
    };
    const QString folder = dir.filePath(QStringLiteral("in"));
    const QString name = QStringLiteral("O0007.cnc");
    const QByteArray earlier("earlier copy\r\n");
    writeFile(QDir(folder).filePath(name), earlier);
    writeFile(onCnc("user", name), pattern(128 * 20));
    prompter.defaultAnswer = Answer::Yes;  // overwrite
    int runs = 0;
    for (const Point& p : points) {
        SCOPED_TRACE(p.name);
        prompter.shown.clear();
        ScopedFileFault fault({p.step, p.error, p.after, folder});
        receive.entries() = {{name, QStringLiteral("user"), QStringLiteral("Not Rec")}};
        ASSERT_TRUE(receive.receive({0}, folder));
        ++runs;
        ASSERT_TRUE(waitUntil([&] { return view.receiveDoneCount == runs; }, 15000));
        EXPECT_EQ(receive.entries()[0].state, QStringLiteral("Error"));
        EXPECT_TRUE(std::any_of(prompter.shown.begin(), prompter.shown.end(),
                                [&](const QString& t) { return t.contains(systemErrorText(p.error)); }));
        EXPECT_EQ(readFile(QDir(folder).filePath(name)), earlier);
        EXPECT_EQ(vantor::testing::filesIn(folder), QStringList{name});
        waitUntil([] { return false; }, 50);  // let the controller's side settle before the next run
    }
}
