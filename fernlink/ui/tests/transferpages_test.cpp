// SPDX-License-Identifier: GPL-3.0-or-later
// The send, receive, DNC and operation log pages against cncsim: over TCP on 127.0.0.1 and
// over a pseudo-terminal, driven through their slots with a scripted prompter answering.
#include "fernlink/link/filelist_store.h"
#include "fernlink/ui/addfilesdialog.h"
#include "fernlink/ui/dncpage.h"
#include "fernlink/ui/operationlogpage.h"
#include "fernlink/ui/receivepage.h"
#include "fernlink/ui/renamedialog.h"
#include "fernlink/ui/sendpage.h"
#include "fernlink/ui/sortablelist.h"
#include "fernlink/ui/transferprogress.h"

#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace vantor;
using namespace vantor::fernlink;
using namespace vantor::fernlink::ui;
using namespace vantor::testing;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QString english(Msg id)
{
    return message(id, Language::English);
}

QByteArray pattern(int n, int seed = 0) { return vantor::testing::patternBytes(n, seed); }
QByteArray program(int lines) { return vantor::testing::ncProgram(lines); }

bool contains(const std::vector<QString>& texts, const QString& what)
{
    for (const QString& t : texts)
        if (t.contains(what))
            return true;
    return false;
}

// With VANTOR_SCREENSHOT_DIR set: a picture of the page once its bar is well under way.
void shootMidway(QProgressBar* bar, QWidget* page, const char* name)
{
    page->show();
    auto taken = std::make_shared<bool>(false);
    QObject::connect(bar, &QProgressBar::valueChanged, page, [=](int value) {
        if (*taken || value < 30 || value >= 100)
            return;
        *taken = true;
        maybeShoot(page, name);
    });
}

// ---------------------------------------------------------------- the sortable list

TEST(SortableList, RowsAreNumberedAfterEveryChangeAndSortByTextOrNumber)
{
    SortableList list;
    list.setColumns({s(" "), s("Name"), s("Size")}, {50, 100, 100});
    list.setNumericColumn(2);
    list.insertRow(0, {s("b.nc"), s("10")});
    list.insertRow(0, {s("a.nc"), s("9")});
    list.insertRow(0, {s("c.nc"), s("100")});
    auto column = [&](int c) {
        QStringList out;
        for (int i = 0; i < list.rowCount(); ++i)
            out << list.text(i, c);
        return out;
    };
    EXPECT_EQ(column(0), (QStringList{s(" 1"), s(" 2"), s(" 3")}));
    EXPECT_EQ(column(1), (QStringList{s("c.nc"), s("a.nc"), s("b.nc")}));

    list.setRowSelected(0, true);  // c.nc stays selected through sorting
    struct Step {
        int column;
        QStringList names;
    };
    const Step steps[] = {
        {2, {s("a.nc"), s("b.nc"), s("c.nc")}},  // 9 < 10 < 100, not "10" < "100" < "9"
        {2, {s("c.nc"), s("b.nc"), s("a.nc")}},  // the same header again reverses
        {1, {s("a.nc"), s("b.nc"), s("c.nc")}},  // another header starts ascending
        {1, {s("c.nc"), s("b.nc"), s("a.nc")}},
    };
    for (const Step& step : steps) {
        list.sortRowsBy(step.column);
        EXPECT_EQ(column(1), step.names) << step.column;
        EXPECT_EQ(column(0), (QStringList{s(" 1"), s(" 2"), s(" 3")}));
    }
    EXPECT_EQ(list.selectedRows(), std::vector<int>{0});
    EXPECT_EQ(list.text(0, 1), s("c.nc"));

    list.removeRow(0);
    EXPECT_EQ(column(0), (QStringList{s(" 1"), s(" 2")}));
    EXPECT_EQ(column(1), (QStringList{s("b.nc"), s("a.nc")}));
}

// ---------------------------------------------------------------- against the controller

// A message box is modal, not deaf: the event loop runs while it is open and the link's
// replies keep arriving. With holdUntil set, every message stays "open" until it holds (5 s at
// most), as a user reading it would keep it.
class ModalPrompter : public ScriptedPrompter {
public:
    std::function<bool()> holdUntil;
    using ScriptedPrompter::inform;
    void inform(Severity severity, const QString& text) override
    {
        ScriptedPrompter::inform(severity, text);
        if (holdUntil)
            waitUntil(holdUntil, 5000);
    }
};

class TransferPagesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ModalPrompter prompter;
    std::unique_ptr<LinkHub> hub;
    QProcess sim;
    QString address;
    QString link;

    void SetUp() override
    {
        hub = std::make_unique<LinkHub>(prompter, dir.filePath(s("users.dat")), dir.filePath(s("userlog.dat")));
        hub->state.language = Language::English;
        // What the main window does when a page drops the link.
        QObject::connect(hub.get(), &LinkHub::ethernetDropped, [this] {
            hub->ethernet().disconnectFromController();
            hub->state.link = LinkType::LinkNone;
            hub->state.operation = OperationState::OpIdle;
        });
        QDir().mkpath(work());
    }
    void TearDown() override
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
        }
    }

    QString root() const { return dir.filePath(s("root")); }
    QString work() const { return dir.filePath(s("work")); }
    QString local(const QString& name) const { return QDir(work()).filePath(name); }
    // The folder the receive page is given when it asks where to save; made beforehand.
    QString receiveInto(ReceivePage& page) const
    {
        const QString folder = dir.filePath(s("got"));
        QDir().mkpath(folder);
        page.chooseFolder = [folder] { return folder; };
        return folder;
    }
    QString onCnc(const char* partition, const QString& name) const
    {
        return QDir(root()).filePath(QLatin1String(partition) + QLatin1Char('/') + name);
    }
    // The controller stores a file only when the EOT arrives, which the PC does not wait for.
    QByteArray stored(const char* partition, const QString& name, int minSize) const
    {
        waitUntil([&] { return QFileInfo(onCnc(partition, name)).size() >= minSize; }, 5000);
        return readFile(onCnc(partition, name));
    }
    QByteArray dncStream(int n) const
    {
        const QString path = QDir(root()).filePath(s("dnc/stream-%1.nc").arg(n, 3, 10, QLatin1Char('0')));
        waitUntil([&] { return QFileInfo::exists(path); }, 8000);
        return readFile(path);
    }

    void startSim(const QStringList& faults = {}, bool serial = false)
    {
        QStringList args{s("--root"), root(), s("--tcp"), s("0")};
        if (serial) {
            link = dir.filePath(s("cnc"));
            args << s("--link") << link;
        }
        sim.start(programPath("cncsim"), args + faults);
        ASSERT_TRUE(sim.waitForStarted(5000));
        if (serial) {
            ASSERT_TRUE(sim.canReadLine() || sim.waitForReadyRead(5000)) << sim.readAllStandardError().toStdString();
            ASSERT_EQ(QString::fromUtf8(sim.readLine()).trimmed(), link);
        }
        ASSERT_TRUE(sim.canReadLine() || sim.waitForReadyRead(5000)) << sim.readAllStandardError().toStdString();
        address = QString::fromUtf8(sim.readLine()).trimmed();
        ASSERT_TRUE(address.startsWith(s("127.0.0.1:"))) << address.toStdString();
    }
    void connectEthernet()
    {
        bool up = false;
        QObject::connect(&hub->ethernet(), &EthernetLink::connected, [&] { up = true; });
        hub->ethernet().connectTo(s("127.0.0.1"), static_cast<quint16>(address.section(QLatin1Char(':'), 1).toInt()));
        ASSERT_TRUE(waitUntil([&] { return up; }));
        hub->state.link = LinkType::LinkEthernet;
    }
    void openSerial()
    {
        hub->serial().setPort(link, CVantorComm::kDefaultBaud);
        ASSERT_TRUE(hub->serial().open()) << hub->serial().lastError().toStdString();
        hub->state.link = LinkType::LinkSerial;
    }
    bool idle(int timeoutMs = 20000)
    {
        return waitUntil([&] { return hub->state.idle(); }, timeoutMs);
    }
};

QStringList columnTexts(const SortableList& list, int column)
{
    QStringList out;
    for (int i = 0; i < list.rowCount(); ++i)
        out << list.text(i, column);
    return out;
}

// ---------------------------------------------------------------- send page

class SendOverLink : public TransferPagesTest, public ::testing::WithParamInterface<bool> {};
class DeleteOverLink : public TransferPagesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SendOverLink, TwoFilesAreSentAndLogged)
{
    const bool serial = GetParam();
    startSim({}, serial);
    serial ? openSerial() : connectEthernet();
    SendPage page(*hub);
    OperationLogPage log(*hub);
    page.resize(900, 600);
    const QByteArray one = pattern(serial ? 5000 : 300000, 1);
    const QByteArray two = program(30);
    writeFile(local(s("O1.nc")), one);
    writeFile(local(s("o12.txt")), two);
    page.addFiles({local(s("O1.nc")), local(s("o12.txt"))}, TargetArea::User);

    SortableList& list = *page.list();
    ASSERT_EQ(list.rowCount(), 2);
    // New rows go to the top.
    EXPECT_EQ(columnTexts(list, SendPage::ColTarget), (QStringList{s("O00012.txt"), s("O00001.txt")}));
    EXPECT_EQ(columnTexts(list, SendPage::ColCheck), (QStringList{s("  √"), s("  √")}));
    EXPECT_EQ(columnTexts(list, SendPage::ColState), (QStringList{s("unsend"), s("unsend")}));
    page.selectAll();
    if (!serial)
        shootMidway(page.progressFields()->bar, &page, "fernlink-send.png");
    int changes = 0;
    QObject::connect(hub.get(), &LinkHub::operationStateChanged, [&] { ++changes; });
    page.send();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(hub->receiver(), &page);
    EXPECT_FALSE(hub->state.idle());
    EXPECT_FALSE(list.isEnabled());
    ASSERT_TRUE(idle());
    EXPECT_TRUE(list.isEnabled());
    EXPECT_EQ(columnTexts(list, SendPage::ColState), (QStringList{s("sent"), s("sent")}));
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(prompter.shown.empty()) << prompter.shown.front().toStdString();

    const QByteArray got1 = stored("user", s("O00001.txt"), one.size());
    const QByteArray got2 = stored("user", s("O00012.txt"), two.size());
    // XModem pads the last block; the Ethernet stream carries the exact size.
    EXPECT_EQ(got1.left(one.size()), one);
    EXPECT_EQ(got2.left(two.size()), two);
    if (!serial) {
        EXPECT_EQ(got1.size(), one.size());
        EXPECT_EQ(got2.size(), two.size());
    }
    EXPECT_EQ(page.progressFields()->file->text(), local(s("O1.nc")));
    // At the end: packets in 128-byte blocks on either link, no time left, no speed.
    const int blocks = int((one.size() + 127) / 128);
    EXPECT_EQ(page.progressFields()->packets->text(), s("%1/%1").arg(blocks));
    EXPECT_EQ(page.progressFields()->remaining->text(), s("00:00:00"));
    EXPECT_EQ(page.progressFields()->speed->text(), s("0.00 KB/s"));
    ASSERT_EQ(log.entries()->topLevelItemCount(), 3);
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColWhat), log.what(LogEntry::Sent));
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColName), local(s("o12.txt")));
    EXPECT_EQ(log.entries()->topLevelItem(1)->text(OperationLogPage::ColName), local(s("O1.nc")));
    // One line for the batch.
    EXPECT_EQ(log.entries()->topLevelItem(2)->text(OperationLogPage::ColWhat), log.what(LogEntry::BatchEnded));
    EXPECT_EQ(log.entries()->topLevelItem(2)->text(OperationLogPage::ColName), s("2 sent, 0 skipped, 0 failed"));
    if (!serial) {
        log.resize(700, 300);
        log.show();
        maybeShoot(&log, "fernlink-operationlog.png");
    }
}

INSTANTIATE_TEST_SUITE_P(BothLinks, SendOverLink, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Serial") : std::string("Ethernet"); });

TEST_P(SendOverLink, StopWhileTheControllerIsSilentEndsTheSend)
{
    const bool serial = GetParam();
    startSim({s("--silent")}, serial);
    serial ? openSerial() : connectEthernet();
    SendPage page(*hub);
    writeFile(local(s("O1.nc")), "G0\n");
    page.addFiles({local(s("O1.nc"))}, TargetArea::User);
    page.selectAll();
    page.send();
    ASSERT_FALSE(hub->state.idle());
    page.stop();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(page.list()->isEnabled());
    EXPECT_EQ(page.list()->text(0, SendPage::ColState), s("unsend"));
    // Over Ethernet a controller that ignores the stop loses the link.
    if (!serial)
        EXPECT_EQ(hub->state.link, LinkType::LinkNone);
    else
        EXPECT_EQ(hub->state.link, LinkType::LinkSerial);
}

TEST_F(TransferPagesTest, RefusedDownloadAsksAndMarksTheRow)
{
    startSim({s("--refuse"), s("dle")});
    connectEthernet();
    SendPage page(*hub);
    writeFile(local(s("O3.nc")), "G0 X1\n");
    writeFile(local(s("O4.nc")), "G0 X2\n");
    page.addFiles({local(s("O3.nc")), local(s("O4.nc"))}, TargetArea::User);
    page.selectAll();
    prompter.answers = {Answer::Yes};  // Yes ends the send
    page.send();
    ASSERT_TRUE(idle());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].startsWith(s("Send file Error ") + local(s("O4.nc")) + s(":Not enough right")))
        << prompter.asked[0].toStdString();
    EXPECT_EQ(columnTexts(*page.list(), SendPage::ColState), (QStringList{s("Send Fail"), s("unsend")}));
}

TEST_F(TransferPagesTest, NameTakenOnTheControllerIsRenamedAndSent)
{
    startSim({s("--exists-asks")});
    writeFile(onCnc("user", s("O00001.txt")), "old");
    connectEthernet();
    SendPage page(*hub);
    std::vector<std::pair<QString, QString>> renames;
    page.askNewName = [&](const QString& oldName, const QString& partition) -> std::optional<QString> {
        renames.emplace_back(oldName, partition);
        return RenameDialog::acceptName(s("o7.nc"), partition);
    };
    writeFile(local(s("O1.nc")), "new program\n");
    page.addFiles({local(s("O1.nc"))}, TargetArea::User);
    page.selectAll();
    prompter.answers = {Answer::No};  // No = rename
    page.send();
    ASSERT_TRUE(idle());
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked[0], english(Msg::CncHasFile));
    EXPECT_EQ(prompter.captions[0], english(Msg::SendCaption));
    ASSERT_EQ(renames.size(), 1u);
    EXPECT_EQ(renames[0], std::make_pair(s("O00001.txt"), s("USER")));
    EXPECT_EQ(page.list()->text(0, SendPage::ColTarget), s("O00007.txt"));
    EXPECT_EQ(page.list()->text(0, SendPage::ColState), s("sent"));
    EXPECT_EQ(stored("user", s("O00007.txt"), 12), QByteArray("new program\n"));
    EXPECT_EQ(readFile(onCnc("user", s("O00001.txt"))), QByteArray("old"));
}

TEST_F(TransferPagesTest, UnsendableRowInTheMiddleIsSkippedOnYes)
{
    startSim();
    connectEthernet();
    SendPage page(*hub);
    writeFile(local(s("O1.nc")), "one");
    writeFile(local(s("O00002.txt")), QByteArray(4194305, 'x'));
    writeFile(local(s("O3.nc")), "three");
    page.addFiles({local(s("O3.nc")), local(s("O00002.txt")), local(s("O1.nc"))}, TargetArea::User);
    ASSERT_EQ(columnTexts(*page.list(), SendPage::ColCheck), (QStringList{s("  √"), s("  ×"), s("  √")}));
    page.selectAll();
    prompter.answers = {Answer::Yes};  // skip the file and go on
    page.send();
    ASSERT_TRUE(idle());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0], english(Msg::SizeOver4MQuestion));
    EXPECT_EQ(columnTexts(*page.list(), SendPage::ColState), (QStringList{s("sent"), s("unsend"), s("sent")}));
    EXPECT_EQ(stored("user", s("O00001.txt"), 3), QByteArray("one"));
    EXPECT_EQ(stored("user", s("O00003.txt"), 5), QByteArray("three"));
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00002.txt"))));
}

TEST_F(TransferPagesTest, RenameDialogHoldsTheUserAreaToTheNameRule)
{
    struct Case {
        const char* name;
        const char* partition;
        std::optional<QString> accepted;
    };
    const Case cases[] = {
        {"o12.nc", "USER", s("O00012.txt")},
        {"O00000.txt", "USER", std::nullopt},
        {"O100000.txt", "USER", std::nullopt},
        {"O12A.txt", "USER", std::nullopt},
        {"O12", "USER", std::nullopt},
        {"any name.bin", "SYS", s("any name.bin")},
        {"any name.bin", "USB", s("any name.bin")},
        {"", "SYS", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RenameDialog::acceptName(s(c.name), s(c.partition)), c.accepted) << c.name << " " << c.partition;

    RenameDialog dialog(*hub, s("O00001.txt"), s("USER"));
    dialog.nameField()->setText(s("prog.txt"));
    dialog.accept();  // refused: the dialog stays
    EXPECT_EQ(prompter.shown.back(), s("Incorrect file name"));
    EXPECT_EQ(dialog.result(), 0);
    dialog.nameField()->setText(s("o3.cnc"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.newName(), s("O00003.txt"));
}

TEST_F(TransferPagesTest, RefusalsLeaveTheQueueAndTheStateAsTheyWere)
{
    SendPage page(*hub);
    writeFile(local(s("O5.nc")), "x");
    page.addFiles({local(s("O5.nc"))}, TargetArea::User);
    page.list()->setRowSelected(0, true);
    hub->loginLevel = 0;
    page.send();
    EXPECT_EQ(prompter.shown.back(), s("请登录后在操作"));
    hub->loginLevel = 2;
    page.send();  // not connected
    EXPECT_EQ(prompter.shown.back(), english(Msg::PleaseConnect));
    hub->state.link = LinkType::LinkEthernet;
    hub->state.operation = OperationState::OpNetReceive;
    page.send();
    EXPECT_EQ(prompter.shown.back(), english(Msg::BusySendWhileReceive));
    EXPECT_EQ(hub->state.operation, OperationState::OpNetReceive);
    EXPECT_EQ(hub->receiver(), nullptr);
    hub->state.operation = OperationState::OpNetSend;
    page.add();
    EXPECT_EQ(prompter.shown.back(), english(Msg::SendAddWhileSending));
    page.clearList();
    EXPECT_EQ(prompter.shown.back(), english(Msg::SendClearWhileSending));
    page.loadListFrom(local(s("none.dat")));
    EXPECT_EQ(prompter.shown.back(), english(Msg::ListLoadWhileSending));
    EXPECT_EQ(page.list()->rowCount(), 1);
    EXPECT_EQ(page.list()->text(0, SendPage::ColState), s("unsend"));
}

TEST_F(TransferPagesTest, AddedFilesFollowTheNameAndSizeRules)
{
    SendPage page(*hub);
    writeFile(local(s("O1.NC")), "a");
    writeFile(local(s("prog.txt")), "b");
    writeFile(local(s("O00002.txt")), QByteArray(4194305, 'c'));
    writeFile(local(s("any.bin")), "d");
    page.addFiles({local(s("O1.NC")), local(s("prog.txt")), local(s("O00002.txt"))}, TargetArea::User);
    page.addFiles({local(s("any.bin"))}, TargetArea::Usb);
    page.addFiles({local(s("O1.NC"))}, TargetArea::Sys);  // queued already, whatever the area
    const SortableList& list = *page.list();
    ASSERT_EQ(list.rowCount(), 4);
    EXPECT_EQ(columnTexts(list, SendPage::ColTarget), (QStringList{s("any.bin"), s("O00002.txt"), s("prog.txt"), s("O00001.txt")}));
    EXPECT_EQ(columnTexts(list, SendPage::ColCheck), (QStringList{s("  √"), s("  ×"), s("  ×"), s("  √")}));
    EXPECT_EQ(columnTexts(list, SendPage::ColPartition), (QStringList{s("USB"), s("USER"), s("USER"), s("USER")}));
    EXPECT_EQ(list.text(1, SendPage::ColSize), s("4194305"));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], s("The file %1 already exists.").arg(local(s("O1.NC"))));

    // The preview of the Add dialog.
    EXPECT_EQ(AddFilesDialog::preview(*hub, {}), s("no select file"));
    EXPECT_EQ(AddFilesDialog::preview(*hub, {local(s("O1.NC")), local(s("prog.txt"))}), s("multi-files had selected!"));
    EXPECT_EQ(AddFilesDialog::preview(*hub, {local(s("prog.txt"))}), s("b"));
    EXPECT_EQ(AddFilesDialog::preview(*hub, {local(s("O00002.txt"))}), QString(500, QLatin1Char('c')) + s("..."));
}

TEST_F(TransferPagesTest, RowEditorKeepsTheNameAsTypedAndJudgesTheTick)
{
    SendPage page(*hub);
    writeFile(local(s("prog.txt")), "abc");
    writeFile(local(s("other.nc")), "12345");
    writeFile(local(s("O00002.txt")), QByteArray(4194305, 'x'));
    page.addFiles({local(s("prog.txt")), local(s("O00002.txt"))}, TargetArea::User);
    // Row 0: the big file, row 1: prog.txt.
    struct Case {
        int row;
        SendPage::RowEdit edit;
        const char* mark;
        const char* size;
        const char* partition;
    };
    const Case cases[] = {
        {1, {local(s("other.nc")), s("o3.nc"), TargetArea::User}, "  √", "5", "USER"},
        {1, {local(s("other.nc")), s("bad"), TargetArea::User}, "  ×", "5", "USER"},
        {1, {local(s("other.nc")), s("bad"), TargetArea::Sys}, "  √", "5", "SYS"},
        // The size before the edit decides: the big row stays unsendable to the user area.
        {0, {local(s("other.nc")), s("O00004.txt"), TargetArea::User}, "  ×", "5", "USER"},
        {0, {local(s("other.nc")), s("O00004.txt"), TargetArea::User}, "  √", "5", "USER"},
        {0, {local(s("prog.txt")), s("x"), TargetArea::Usb}, "  √", "3", "USB"},
    };
    for (const Case& c : cases) {
        page.editRow(c.row, c.edit);
        EXPECT_EQ(page.list()->text(c.row, SendPage::ColCheck), s(c.mark)) << c.edit.targetName.toStdString();
        EXPECT_EQ(page.list()->text(c.row, SendPage::ColTarget), c.edit.targetName);  // not rewritten
        EXPECT_EQ(page.list()->text(c.row, SendPage::ColPath), c.edit.path);
        EXPECT_EQ(page.list()->text(c.row, SendPage::ColSize), s(c.size));
        EXPECT_EQ(page.list()->text(c.row, SendPage::ColPartition), s(c.partition));
    }

    // The editor starts from the first selected row.
    std::optional<SendPage::RowEdit> seen;
    page.chooseRowEdit = [&](const SendPage::RowEdit& current) {
        seen = current;
        return std::optional<SendPage::RowEdit>();
    };
    page.list()->setRowSelected(1, true);
    page.editSelected();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->path, local(s("other.nc")));
    EXPECT_EQ(seen->area, TargetArea::Sys);
}

TEST_F(TransferPagesTest, PagesSpeakTheProgramsLanguage)
{
    hub->state.language = Language::Chinese;
    SendPage send(*hub);
    ReceivePage receive(*hub);
    QStringList sendHeads;
    QStringList receiveHeads;
    for (int c = 0; c < send.list()->columnCount(); ++c)
        sendHeads << send.list()->headerItem()->text(c);
    for (int c = 0; c < receive.list()->columnCount(); ++c)
        receiveHeads << receive.list()->headerItem()->text(c);
    EXPECT_EQ(sendHeads, (QStringList{s("    "), s("    "), s("文件路径"), s("存储为(CNC)"), s("文件大小(B)"), s("存储区"), s("状态")}));
    EXPECT_EQ(receiveHeads, (QStringList{s(" "), s("文件名"), s("文件大小(B)"), s("存储区"), s("状态")}));
    writeFile(local(s("O1.nc")), "1");
    send.addFiles({local(s("O1.nc"))}, TargetArea::User);
    send.addFiles({local(s("O1.nc"))}, TargetArea::User);
    EXPECT_EQ(prompter.shown.back(), s("已存在和%1相同的文件名,不能再添加").arg(local(s("O1.nc"))));
}

TEST_F(TransferPagesTest, ContextMenusGreyWhatWouldBeRefused)
{
    SendPage send(*hub);
    ReceivePage receive(*hub);
    writeFile(local(s("O1.nc")), "1");
    send.addFiles({local(s("O1.nc"))}, TargetArea::User);
    send.list()->setRowSelected(0, true);
    auto enabled = [](QMenu& menu) {
        QStringList on;
        for (QAction* a : menu.actions())
            if (!a->isSeparator() && a->isEnabled())
                on << a->text();
        return on;
    };
    QMenu idleMenu;
    send.fillContextMenu(idleMenu);
    EXPECT_EQ(enabled(idleMenu), (QStringList{s("Add"), s("Remove"), s("Clear"), s("Edit"), s("Select all"), s("Load list"),
                                              s("Save list"), s("Send")}));
    hub->state.link = LinkType::LinkEthernet;
    hub->state.operation = OperationState::OpNetSend;  // another page's send, as far as these know
    QMenu busyMenu;
    send.fillContextMenu(busyMenu);
    EXPECT_EQ(enabled(busyMenu), (QStringList{s("Select all"), s("Save list")}));
    QMenu receiveMenu;
    receive.fillContextMenu(receiveMenu);
    EXPECT_TRUE(enabled(receiveMenu).isEmpty());
    hub->state.operation = OperationState::OpIdle;
    QMenu receiveIdle;
    receive.fillContextMenu(receiveIdle);
    EXPECT_EQ(enabled(receiveIdle), (QStringList{s("Get CNC file list"), s("Get USB file list")}));
}

TEST_F(TransferPagesTest, AddDialogPreviewsTheSelectedFileAndKeepsTheArea)
{
    writeFile(local(s("O1.nc")), "G01 X10\n");
    writeFile(local(s("O2.nc")), "G02 X20\n");
    AddFilesDialog dialog(*hub, TargetArea::Usb);
    EXPECT_EQ(dialog.area(), TargetArea::Usb);
    EXPECT_EQ(dialog.previewText(), s("no select file"));
    dialog.setDirectory(work());
    dialog.resize(900, 480);
    dialog.show();
    dialog.selectFile(s("O1.nc"));
    EXPECT_TRUE(waitUntil([&] { return dialog.previewText() == s("G01 X10\n"); })) << dialog.previewText().toStdString();
    maybeShoot(&dialog, "fernlink-send-add.png");
    auto* name = dialog.findChild<QLineEdit*>(s("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(s("\"O1.nc\" \"O2.nc\""));
    EXPECT_EQ(dialog.previewText(), s("multi-files had selected!"));

    // The page offers the area chosen last, starting with the user area.
    SendPage page(*hub);
    std::vector<TargetArea> offered;
    page.chooseFiles = [&](TargetArea last) -> std::optional<SendPage::FileChoice> {
        offered.push_back(last);
        return SendPage::FileChoice{{local(s("O%1.nc").arg(offered.size()))}, TargetArea::Sys};
    };
    page.add();
    page.add();
    EXPECT_EQ(offered, (std::vector<TargetArea>{TargetArea::User, TargetArea::Sys}));
    EXPECT_EQ(columnTexts(*page.list(), SendPage::ColPartition), (QStringList{s("SYS"), s("SYS")}));
}

TEST_F(TransferPagesTest, SavedListLoadsReversedOnceAndForeignOrCutFilesAreTold)
{
    SendPage page(*hub);
    writeFile(local(s("O1.nc")), "1");
    writeFile(local(s("O2.nc")), "22");
    page.addFiles({local(s("O1.nc")), local(s("O2.nc"))}, TargetArea::User);
    page.list()->setText(1, SendPage::ColState, s("sent"));
    const QString saved = local(s("FileLst.dat"));
    page.saveListTo(saved);
    ASSERT_TRUE(prompter.shown.empty());

    prompter.answers = {Answer::Yes};
    page.clearList();
    ASSERT_EQ(page.list()->rowCount(), 0);
    page.loadListFrom(saved);
    // Saved top down, each loaded row inserted at the top: the order turns round.
    EXPECT_EQ(columnTexts(*page.list(), SendPage::ColPath), (QStringList{local(s("O1.nc")), local(s("O2.nc"))}));
    EXPECT_EQ(columnTexts(*page.list(), SendPage::ColState), (QStringList{s("sent"), s("unsend")}));
    page.loadListFrom(saved);
    EXPECT_EQ(page.list()->rowCount(), 2);
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0], s("The file %1 already exists.").arg(local(s("O2.nc"))));

    prompter.shown.clear();
    writeFile(local(s("foreign.dat")), "\x1e Fernlink_FileList_StoreObject");
    page.loadListFrom(local(s("foreign.dat")));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], s("file format error"));

    // A list cut inside its second record keeps the first and says the rest is missing.
    prompter.answers = {Answer::Yes};
    page.clearList();
    prompter.shown.clear();
    QByteArray bytes = readFile(saved);
    bytes.chop(3);
    writeFile(local(s("cut.dat")), bytes);
    page.loadListFrom(local(s("cut.dat")));
    EXPECT_EQ(page.list()->rowCount(), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], english(Msg::ListFileTruncated).arg(1));
}

// ---------------------------------------------------------------- receive page

TEST_F(TransferPagesTest, ListReceiveAndDeleteOverEthernet)
{
    startSim();
    const QByteArray big = pattern(4095, 3);
    writeFile(onCnc("user", s("O00002.txt")), big);
    writeFile(onCnc("user", s("O00010.txt")), "ten");
    writeFile(onCnc("sys", s("backup.bak")), QByteArray(300, 'b'));
    writeFile(onCnc("usb", s("u.nc")), "usb");
    connectEthernet();
    ReceivePage page(*hub);
    OperationLogPage log(*hub);
    page.getCncList();
    ASSERT_TRUE(idle());
    SortableList& list = *page.list();
    ASSERT_EQ(list.rowCount(), 3);
    page.list()->sortRowsBy(ReceivePage::ColName);
    EXPECT_EQ(columnTexts(list, ReceivePage::ColName), (QStringList{s("O00002.txt"), s("O00010.txt"), s("backup.bak")}));
    EXPECT_EQ(columnTexts(list, ReceivePage::ColSize), (QStringList{s("4095"), s("3"), s("300")}));
    EXPECT_EQ(columnTexts(list, ReceivePage::ColPartition), (QStringList{s("USER"), s("USER"), s("SYS")}));
    EXPECT_EQ(list.text(0, ReceivePage::ColState), s("Not receiving"));

    const QString folder = dir.filePath(s("got"));
    QDir().mkpath(folder);
    writeFile(QDir(folder).filePath(s("backup.bak")), "keep me");
    page.chooseFolder = [&] { return folder; };
    list.setRowSelected(0, true);
    list.setRowSelected(2, true);
    prompter.answers = {Answer::No};  // do not overwrite backup.bak
    page.receive();
    ASSERT_TRUE(idle());
    EXPECT_EQ(readFile(QDir(folder).filePath(s("O00002.txt"))), big);
    EXPECT_EQ(readFile(QDir(folder).filePath(s("backup.bak"))), QByteArray("keep me"));
    EXPECT_EQ(list.text(0, ReceivePage::ColState), s("Received"));
    EXPECT_EQ(list.text(2, ReceivePage::ColState), s("Not receiving"));
    EXPECT_TRUE(contains(prompter.asked, s("File backup.bak has Exist!")));
    EXPECT_EQ(page.progressFields()->progress->text(), s("4095/4095  100.00%"));
    EXPECT_EQ(page.progressFields()->bar->value(), 100);

    // Delete O00010.txt on the controller.
    list.clearSelection();
    list.setRowSelected(1, true);
    prompter.answers = {Answer::Yes};
    page.deleteFiles();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(onCnc("user", s("O00010.txt"))); }));
    EXPECT_EQ(columnTexts(list, ReceivePage::ColName), (QStringList{s("O00002.txt"), s("backup.bak")}));
    ASSERT_EQ(log.entries()->topLevelItemCount(), 3);
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColWhat), log.what(LogEntry::Receiving));
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColName), QDir(folder).filePath(s("O00002.txt")));
    // The receive ends with one line for the batch: backup.bak was not overwritten.
    EXPECT_EQ(log.entries()->topLevelItem(1)->text(OperationLogPage::ColWhat), log.what(LogEntry::BatchEnded));
    EXPECT_EQ(log.entries()->topLevelItem(1)->text(OperationLogPage::ColName), s("1 received, 1 skipped, 0 failed"));
    EXPECT_EQ(log.entries()->topLevelItem(2)->text(OperationLogPage::ColWhat), log.what(LogEntry::Deleted));
    EXPECT_EQ(log.entries()->topLevelItem(2)->text(OperationLogPage::ColName), s("O00010.txt"));

    page.getUsbList();
    ASSERT_TRUE(idle());
    EXPECT_EQ(columnTexts(list, ReceivePage::ColName), QStringList{s("u.nc")});
    EXPECT_EQ(columnTexts(list, ReceivePage::ColPartition), QStringList{s("U盘")});

    // The page is still the receiver when the controller goes away: the link is shown lost.
    sim.terminate();
    EXPECT_TRUE(waitUntil([&] { return hub->state.link == LinkType::LinkNone; }));
}

// A delete is an operation like any other: a line per file deleted and one for the file a
// refusal ended the run on, over either link.
TEST_P(DeleteOverLink, DeletesGoToTheTransferLogOnDiskRefusalsWithTheirReason)
{
    const bool serial = GetParam();
    startSim({}, serial);
    writeFile(onCnc("user", s("O00004.txt")), "four");
    serial ? openSerial() : connectEthernet();
    ReceivePage page(*hub);
    const QString area = serial ? s("user") : s("USER");
    // The second file is gone from the controller by now: it refuses that delete.
    for (const QString& name : {s("O00004.txt"), s("O00005.txt"), s("O00006.txt")})
        page.list()->insertRow(page.list()->rowCount(), {name, s("4"), area, QString()});
    page.selectAll();
    prompter.answers = {Answer::Yes};
    page.deleteFiles();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00004.txt"))));
    const QList<QByteArray> lines = hub->transferLog().read(QDate::currentDate()).split('\n');
    ASSERT_EQ(lines.size(), 3) << hub->transferLog().read(QDate::currentDate()).constData();  // the last is empty
    const QByteArray link = serial ? "serial" : "ethernet";
    EXPECT_TRUE(lines[0].endsWith("\t" + link + "\tdelete\t" + area.toLatin1() + "/O00004.txt\t4\t-\tok\t")) << lines[0].constData();
    EXPECT_TRUE(lines[1].endsWith("\t" + link + "\tdelete\t" + area.toLatin1() + "/O00005.txt\t4\t-\tfailed\t"
                                  + english(Msg::DeleteNoRight).arg(s("O00005.txt")).toUtf8()))
        << lines[1].constData();
    // The run never asked for the third: it has no line.
    EXPECT_EQ(page.list()->rowCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, DeleteOverLink, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Serial") : std::string("Ethernet"); });

TEST_F(TransferPagesTest, LinkLostDuringAReceiveEndsItAndDropsTheLink)
{
    startSim({s("--drop-after"), s("3")});
    writeFile(onCnc("user", s("O00008.txt")), pattern(20000, 8));
    connectEthernet();
    ReceivePage page(*hub);
    page.getCncList();
    ASSERT_TRUE(idle());
    const QString folder = receiveInto(page);
    page.list()->setRowSelected(0, true);
    page.receive();
    ASSERT_TRUE(waitUntil([&] { return hub->state.link == LinkType::LinkNone; }));
    EXPECT_TRUE(hub->state.idle());
    EXPECT_TRUE(page.list()->isEnabled());
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(s("O00008.txt"))));
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(TransferPagesTest, SerialLinkListsAndReceivesRefusesTheUsbListAndListOnlyDeleteKeepsTheFile)
{
    startSim({}, true);
    writeFile(onCnc("user", s("O00003.txt")), "three");
    writeFile(onCnc("sys", s("backup.bak")), "system");
    openSerial();
    ReceivePage page(*hub);
    page.getUsbList();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0], s("该功能只能在通过网络连接时用！"));
    EXPECT_TRUE(hub->state.idle());

    page.getCncList();
    ASSERT_TRUE(idle());
    ASSERT_EQ(page.list()->rowCount(), 2);
    EXPECT_EQ(columnTexts(*page.list(), ReceivePage::ColPartition), (QStringList{s("user"), s("sys")}));

    // The listing ended in the system area; the send page then moves the controller to the
    // user area. A receive from the system area must choose it again.
    SendPage send(*hub);
    writeFile(local(s("O5.nc")), "five");
    send.addFiles({local(s("O5.nc"))}, TargetArea::User);
    send.selectAll();
    send.send();
    ASSERT_TRUE(idle());
    ASSERT_EQ(send.list()->text(0, SendPage::ColState), s("sent"));

    const QString folder = receiveInto(page);
    page.list()->setRowSelected(1, true);
    page.receive();
    ASSERT_TRUE(idle());
    EXPECT_EQ(page.list()->text(1, ReceivePage::ColState), s("Received"));
    // XModem pads the last block.
    EXPECT_TRUE(readFile(QDir(folder).filePath(s("backup.bak"))).startsWith("system"));
    page.list()->removeRow(1);

    page.list()->clearSelection();
    page.deleteFromList();
    EXPECT_EQ(prompter.shown.back(), english(Msg::ReceiveDeleteListSelect));
    page.list()->setRowSelected(0, true);
    prompter.answers = {Answer::Yes};
    page.deleteFromList();
    EXPECT_EQ(page.list()->rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(onCnc("user", s("O00003.txt"))));
}

// The serial port goes away in the middle of a file: the receive ends as Stop ends it (no
// half file) and says why, and the link is no longer shown up.
TEST_F(TransferPagesTest, ALostSerialLineEndsAReceiveAndSaysSo)
{
    startSim({}, true);
    writeFile(onCnc("user", s("O00007.txt")), pattern(600000, 7));
    openSerial();
    ReceivePage page(*hub);
    page.list()->insertRow(0, {s("O00007.txt"), s("600000"), s("user"), QString()});
    page.list()->setRowSelected(0, true);
    const QString folder = receiveInto(page);
    page.receive();
    ASSERT_TRUE(waitUntil([&] { return page.progressFields()->bar->value() >= 5; }, 20000));
    sim.kill();
    sim.waitForFinished(3000);
    ASSERT_TRUE(idle());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), english(Msg::SerialLineLost));
    EXPECT_FALSE(hub->serial().isOpen());
    EXPECT_TRUE(page.list()->isEnabled());
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(TransferPagesTest, StopDuringALongReceiveEndsItAndKeepsNoHalfFile)
{
    startSim({s("--split"), s("512")});
    writeFile(onCnc("user", s("O00009.txt")), pattern(400000, 9));
    connectEthernet();
    ReceivePage page(*hub);
    page.getCncList();
    ASSERT_TRUE(idle());
    const QString folder = receiveInto(page);
    page.list()->setRowSelected(0, true);
    page.resize(800, 560);
    shootMidway(page.progressFields()->bar, &page, "fernlink-receive.png");
    page.receive();
    // Under way, and far enough for the picture.
    ASSERT_TRUE(waitUntil([&] { return page.progressFields()->bar->value() >= 31; }, 20000));
    EXPECT_FALSE(hub->state.idle());
    page.stop();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(s("O00009.txt"))));
    EXPECT_NE(page.list()->text(0, ReceivePage::ColState), s("Received"));
    EXPECT_TRUE(page.list()->isEnabled());
}

// ---------------------------------------------------------------- DNC page

class DncOverLink : public TransferPagesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DncOverLink, TheEditorsProgramIsStreamedFromTheChosenLine)
{
    const bool serial = GetParam();
    startSim(serial ? QStringList{s("--dnc")} : QStringList{}, serial);
    serial ? openSerial() : connectEthernet();
    const QByteArray text = program(2000);
    writeFile(local(s("part.nc")), text);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 2000, false}; };
    DncPage page(*hub);
    if (serial) {
        page.resize(520, 420);
        shootMidway(page.bar, &page, "fernlink-dnc.png");
    }
    OperationLogPage log(*hub);
    prompter.texts = {s("2")};
    page.start();
    EXPECT_FALSE(hub->state.idle());
    EXPECT_EQ(prompter.asked.back(), english(Msg::DncStartLine));
    EXPECT_EQ(prompter.textCaptions.back(), english(Msg::DncCaption));
    EXPECT_EQ(page.file->text(), local(s("part.nc")));
    EXPECT_EQ(page.errorCheck->text(), s("CRC"));
    ASSERT_TRUE(idle(30000));
    const QByteArray expected = text.mid(text.indexOf('\n') + 1);
    const QByteArray got = dncStream(1);
    EXPECT_EQ(got.left(expected.size()), expected);
    if (serial)
        EXPECT_EQ(got.size() % 128, 0);
    else
        EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(page.progressField->text(), s("%1/%1  100.00%").arg(expected.size()));
    EXPECT_EQ(page.bar->value(), 100);
    EXPECT_EQ(page.retries->text(), s("0"));
    ASSERT_EQ(log.entries()->topLevelItemCount(), 1);
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColName), local(s("part.nc")));
}

TEST_P(DncOverLink, RefusedCommandsLeaveTheRunningStreamItsReplies)
{
    const bool serial = GetParam();
    startSim(serial ? QStringList{s("--dnc")} : QStringList{}, serial);
    serial ? openSerial() : connectEthernet();
    const int lines = serial ? 4000 : 20000;
    const QByteArray text = program(lines);
    writeFile(local(s("part.nc")), text);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, lines, false}; };
    DncPage page(*hub);
    SendPage send(*hub);
    writeFile(local(s("O1.nc")), "G0\n");
    send.addFiles({local(s("O1.nc"))}, TargetArea::User);
    send.selectAll();
    ReceivePage receive(*hub);
    receive.list()->insertRow(0, {s("O00001.txt"), s("3"), s("USER"), QString()});
    receive.list()->setRowSelected(0, true);

    prompter.texts = {s("1")};
    page.start();
    ASSERT_EQ(hub->receiver(), &page);
    // Each refusal stays on screen until the stream has gone on by a few more blocks.
    const qint64 block = serial ? 128 : 2048;
    qint64 mark = 0;
    prompter.holdUntil = [&] { return !page.flow().running() || page.flow().done() >= mark; };
    const std::pair<const char*, std::function<void()>> refused[] = {
        {"send", [&] { send.send(); }},
        {"list", [&] { receive.getCncList(); }},
        {"delete", [&] { receive.deleteFiles(); }},
    };
    for (const auto& [what, command] : refused) {
        mark = page.flow().done() + 3 * block;
        const size_t shown = prompter.shown.size();
        command();
        EXPECT_EQ(prompter.shown.size(), shown + 1) << what;
        EXPECT_EQ(hub->receiver(), &page) << what;
        EXPECT_TRUE(!page.flow().running() || page.flow().done() >= mark) << what << ": the stream stalled at "
                                                                           << page.flow().done();
    }
    prompter.holdUntil = {};
    EXPECT_TRUE(contains(prompter.shown, english(Msg::BusySendWhileDnc)));
    ASSERT_TRUE(idle(60000));
    const QByteArray got = dncStream(1);
    EXPECT_EQ(got.left(text.size()), text);
    EXPECT_EQ(send.list()->text(0, SendPage::ColState), s("unsend"));
    EXPECT_EQ(receive.list()->rowCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, DncOverLink, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Serial") : std::string("Ethernet"); });

TEST_F(TransferPagesTest, RefusalsDuringAnEthernetSendLeaveItItsReplies)
{
    startSim();
    connectEthernet();
    SendPage send(*hub);
    const QByteArray data = pattern(3000000, 5);
    writeFile(local(s("O2.nc")), data);
    send.addFiles({local(s("O2.nc"))}, TargetArea::Sys);
    send.selectAll();
    send.send();
    ASSERT_EQ(hub->receiver(), &send);
    ReceivePage receive(*hub);
    writeFile(local(s("part.nc")), program(5));
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 5, false}; };
    DncPage dnc(*hub);
    // The progress field reads "done/total  pct%".
    auto done = [&] { return send.progressFields()->progress->text().section(QLatin1Char('/'), 0, 0).toLongLong(); };
    qint64 mark = 0;
    prompter.holdUntil = [&] { return hub->state.idle() || done() >= mark; };
    for (const std::function<void()>& command :
         std::initializer_list<std::function<void()>>{[&] { receive.getCncList(); }, [&] { dnc.start(); }}) {
        mark = done() + 3 * 2047;
        command();
        EXPECT_EQ(hub->receiver(), &send);
        EXPECT_TRUE(hub->state.idle() || done() >= mark) << "the send stalled at " << done();
    }
    prompter.holdUntil = {};
    ASSERT_TRUE(idle(60000));
    EXPECT_EQ(send.list()->text(0, SendPage::ColState), s("sent"));
    EXPECT_EQ(stored("sys", s("O2.nc"), data.size()), data);
}

TEST_F(TransferPagesTest, ARowIsSentOnlyWhenTheControllerShowedItHasTheFile)
{
    // The controller goes away just as the final EOT arrives, and stores nothing.
    startSim({s("--drop-at-eot")});
    connectEthernet();
    SendPage page(*hub);
    OperationLogPage log(*hub);
    writeFile(local(s("O1.nc")), pattern(5000, 1));
    page.addFiles({local(s("O1.nc"))}, TargetArea::User);
    page.selectAll();
    page.send();
    ASSERT_TRUE(idle());
    EXPECT_EQ(page.list()->text(0, SendPage::ColState), english(Msg::StateNotConfirmed));
    QStringList whats;
    for (int i = 0; i < log.entries()->topLevelItemCount(); ++i)
        whats << log.entries()->topLevelItem(i)->text(OperationLogPage::ColWhat);
    EXPECT_FALSE(whats.contains(log.what(LogEntry::Sent)));
    EXPECT_TRUE(whats.contains(log.what(LogEntry::Failed)));
    EXPECT_EQ(log.entries()->topLevelItem(log.entries()->topLevelItemCount() - 1)->text(OperationLogPage::ColName),
              s("0 sent, 0 skipped, 1 failed"));
    EXPECT_FALSE(QFileInfo::exists(onCnc("user", s("O00001.txt"))));
}

TEST_F(TransferPagesTest, DncCutByTheLinkKeepsThePageAndOffersTheRestartPoint)
{
    startSim({s("--drop-after"), s("3")});
    connectEthernet();
    const QByteArray text = program(2000);
    writeFile(local(s("part.nc")), text);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 2000, false}; };
    DncPage page(*hub);
    OperationLogPage log(*hub);
    prompter.texts = {s("1")};
    page.start();
    ASSERT_TRUE(idle());
    EXPECT_EQ(hub->state.link, LinkType::LinkNone);
    const qint64 line = page.flow().restartPoint().line;
    ASSERT_GT(line, 1);
    // Two chunks were acknowledged, the third was not.
    EXPECT_EQ(line, text.left(2 * 2048).count('\n') + 1);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), english(Msg::DncLinkLost).arg(line));
    // The page still shows how far it got.
    EXPECT_EQ(page.file->text(), local(s("part.nc")));
    EXPECT_FALSE(page.progressField->text().isEmpty());
    EXPECT_GT(page.bar->value(), 0);
    ASSERT_GT(log.entries()->topLevelItemCount(), 0);
    const QString last = log.entries()->topLevelItem(log.entries()->topLevelItemCount() - 1)->text(OperationLogPage::ColName);
    EXPECT_TRUE(last.contains(QString::number(line))) << last.toStdString();

    // The next start of the program offers the point.
    connectEthernet();
    prompter.answers = {Answer::Yes};
    page.start();
    EXPECT_TRUE(prompter.asked.back().contains(QString::number(line)));
    EXPECT_EQ(page.flow().startOffset(), net::dncStartOffset(text, line));
    ASSERT_TRUE(idle());
}

// The serial line goes away in the middle of a stream (the controller's end of the line is
// gone, as when the adapter is pulled): the same as a lost Ethernet link.
TEST_F(TransferPagesTest, DncCutByALostSerialLineKeepsThePageAndOffersTheRestartPoint)
{
    startSim({s("--dnc")}, true);
    openSerial();
    const QByteArray text = program(20000);
    writeFile(local(s("part.nc")), text);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 20000, false}; };
    DncPage page(*hub);
    OperationLogPage log(*hub);
    QString lostReason;
    QObject::connect(hub.get(), &LinkHub::serialLost, [&](const QString& reason) { lostReason = reason; });
    prompter.texts = {s("1")};
    page.start();
    ASSERT_TRUE(waitUntil([&] { return page.flow().done() >= 20 * 128; }, 20000));
    sim.kill();
    sim.waitForFinished(3000);
    ASSERT_TRUE(idle());
    EXPECT_FALSE(lostReason.isEmpty());
    EXPECT_FALSE(hub->serial().isOpen());
    EXPECT_TRUE(page.flow().cutByLink());
    const qint64 line = page.flow().restartPoint().line;
    ASSERT_GT(line, 1);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), english(Msg::DncLinkLost).arg(line));
    EXPECT_EQ(prompter.captions.back(), english(Msg::DncCaption));
    // The page still shows how far it got.
    EXPECT_EQ(page.file->text(), local(s("part.nc")));
    EXPECT_FALSE(page.progressField->text().isEmpty());
    EXPECT_FALSE(page.packets->text().isEmpty());
    ASSERT_GT(log.entries()->topLevelItemCount(), 0);
    const QString last = log.entries()->topLevelItem(log.entries()->topLevelItemCount() - 1)->text(OperationLogPage::ColName);
    EXPECT_TRUE(last.contains(QString::number(line))) << last.toStdString();
    const QByteArray disk = hub->transferLog().read(QDate::currentDate());
    EXPECT_TRUE(disk.contains("\tserial\tdnc\t") && disk.contains("\tfailed\t")) << disk.constData();

    // The next start of the program, on a line that is back, offers the point and goes on there.
    sim.start(programPath("cncsim"), {s("--root"), root(), s("--link"), link, s("--dnc")});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(sim.canReadLine() || sim.waitForReadyRead(5000));
    openSerial();
    prompter.answers = {Answer::Yes};
    page.start();
    EXPECT_TRUE(prompter.asked.back().contains(QString::number(line)));
    const qint64 offset = net::dncStartOffset(text, line);
    EXPECT_EQ(page.flow().startOffset(), offset);
    ASSERT_TRUE(idle(60000));
    const QByteArray expected = dnc::restartHeader(text, line, dnc::HeaderMode::ProgramStart, {}) + text.mid(offset);
    EXPECT_EQ(dncStream(1).left(expected.size()), expected);
}

TEST_F(TransferPagesTest, EveryFileGoesToTheTransferLogOnDiskAndCanBeExported)
{
    startSim();
    connectEthernet();
    SendPage send(*hub);
    OperationLogPage log(*hub);
    const QByteArray data = pattern(3000, 2);
    const QByteArray crc = QByteArray::number(crc32(data), 16).rightJustified(8, '0');
    writeFile(local(s("O1.nc")), data);
    send.addFiles({local(s("O1.nc"))}, TargetArea::User);
    send.selectAll();
    send.send();
    ASSERT_TRUE(idle());
    ASSERT_EQ(send.list()->text(0, SendPage::ColState), s("sent"));

    ReceivePage receive(*hub);
    receive.getCncList();
    ASSERT_TRUE(idle());
    const QString folder = receiveInto(receive);
    receive.list()->setRowSelected(0, true);
    receive.receive();
    ASSERT_TRUE(idle());

    const QByteArray disk = hub->transferLog().read(QDate::currentDate());
    QList<QByteArray> lines = disk.split('\n');
    ASSERT_EQ(lines.size(), 3) << disk.toStdString();  // two lines and the end of the last
    const QList<QByteArray> sent = lines[0].split('\t');
    ASSERT_EQ(sent.size(), 8);
    EXPECT_EQ(sent.mid(1), (QList<QByteArray>{"ethernet", "send", local(s("O1.nc")).toUtf8() + " -> USER/O00001.txt", "3000", crc,
                                               "ok", ""}));
    const QList<QByteArray> got = lines[1].split('\t');
    ASSERT_EQ(got.size(), 8);
    // The received file is logged as it lies on disk: the same bytes, the same CRC.
    EXPECT_EQ(got.mid(1), (QList<QByteArray>{"ethernet", "receive",
                                              "USER/O00001.txt -> " + QDir(folder).filePath(s("O00001.txt")).toUtf8(), "3000", crc, "ok", ""}));
    EXPECT_TRUE(log.transferLogView()->toPlainText().contains(QString::fromUtf8(lines[1])));

    const QString exported = dir.filePath(s("today.log"));
    log.chooseExportPath = [&] { return exported; };
    log.exportTransferLog();
    EXPECT_EQ(readFile(exported), disk);
}

TEST_F(TransferPagesTest, DeletingOnTheControllerNeedsALogin)
{
    startSim();
    writeFile(onCnc("user", s("O00001.txt")), "one");
    connectEthernet();
    ReceivePage page(*hub);
    page.getCncList();
    ASSERT_TRUE(idle());
    ASSERT_EQ(page.list()->rowCount(), 1);
    page.list()->setRowSelected(0, true);
    hub->loginLevel = 0;
    prompter.answers = {Answer::Yes};
    page.deleteFiles();
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("请登录后在操作"));
    EXPECT_EQ(prompter.captions.back(), english(Msg::DeleteFileCaption));
    EXPECT_TRUE(prompter.asked.empty());  // not even the question
    EXPECT_TRUE(hub->state.idle());
    QMenu menu;
    page.fillContextMenu(menu);
    for (QAction* a : menu.actions()) {
        if (a->text() == english(Msg::ReceiveButtonDeleteFile)) {
            EXPECT_FALSE(a->isEnabled());
        }
    }
    QTest::qWait(200);
    EXPECT_TRUE(QFileInfo::exists(onCnc("user", s("O00001.txt"))));

    hub->loginLevel = 2;
    page.deleteFiles();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(onCnc("user", s("O00001.txt"))); }));
}

TEST_F(TransferPagesTest, DncRestartSendsTheChosenHeaderFirst)
{
    startSim();
    connectEthernet();
    const QByteArray text = "O0001\r\nG21 G90\r\nN10 G00 X1\r\nN20 G01 X2\r\nM30\r\n";
    writeFile(local(s("part.nc")), text);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 5, false}; };
    DncPage page(*hub);
    struct Case {
        dnc::HeaderMode mode;
        QString custom;
        QByteArray streamed;
    };
    const Case cases[] = {
        {dnc::HeaderMode::ProgramStart, {}, "O0001\r\nG21 G90\r\nN20 G01 X2\r\nM30\r\n"},
        {dnc::HeaderMode::None, {}, "N20 G01 X2\r\nM30\r\n"},
        {dnc::HeaderMode::Custom, s("G54 M08"), "G54 M08\r\nN20 G01 X2\r\nM30\r\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        hub->dncHeaderMode = c.mode;
        hub->dncHeader = c.custom;
        prompter.texts = {s("N20")};
        page.start();
        ASSERT_TRUE(idle());
        EXPECT_EQ(dncStream(++n), c.streamed) << int(c.mode);
    }
}

TEST_F(TransferPagesTest, DncRefusedByARunningControllerSaysSo)
{
    startSim({s("--dnc-refuse"), s("auto")});
    connectEthernet();
    writeFile(local(s("part.nc")), program(5));
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 5, false}; };
    DncPage page(*hub);
    prompter.texts = {s("1")};
    page.start();
    ASSERT_TRUE(idle());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("On running"));
}

TEST_F(TransferPagesTest, DncStopAsksFirstAndYesEndsAndClears)
{
    startSim({}, true);  // a controller not in DNC input: it never starts the stream
    openSerial();
    writeFile(local(s("part.nc")), program(5));
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 5, false}; };
    DncPage page(*hub);
    prompter.texts = {s("1")};
    page.start();
    ASSERT_EQ(hub->state.operation, OperationState::OpSerialDnc);
    EXPECT_EQ(hub->receiver(), &page);
    prompter.answers = {Answer::No, Answer::Yes};
    page.stop();
    EXPECT_EQ(prompter.asked.back(), english(Msg::DncCancelQuestion));
    EXPECT_EQ(hub->state.operation, OperationState::OpSerialDnc);
    EXPECT_EQ(page.file->text(), local(s("part.nc")));
    page.stop();
    EXPECT_TRUE(hub->state.idle());
    EXPECT_TRUE(page.file->text().isEmpty());
    EXPECT_TRUE(page.progressField->text().isEmpty());
    EXPECT_EQ(page.bar->value(), 0);
}

TEST_F(TransferPagesTest, DncStartRefusalsChangeNothing)
{
    DncPage page(*hub);
    QStringList buttons;
    for (QPushButton* b : page.findChildren<QPushButton*>())
        buttons << b->text();
    EXPECT_TRUE(buttons.contains(s("Start")) && buttons.contains(s("Stop"))) << buttons.join(s(",")).toStdString();
    hub->currentDocument = [] { return DncDocument{}; };
    page.start();
    EXPECT_EQ(prompter.shown.back(), english(Msg::PleaseConnect));
    hub->state.link = LinkType::LinkEthernet;
    page.start();
    EXPECT_EQ(prompter.shown.back(), english(Msg::PleaseOpenFile));
    EXPECT_EQ(hub->receiver(), nullptr);
    EXPECT_TRUE(hub->state.idle());
    page.stop();  // nothing runs: no question
    EXPECT_TRUE(prompter.asked.empty());
}

}  // namespace

TEST_F(TransferPagesTest, DeleteKeyTakesRowsOffTheQueue)
{
    SendPage page(*hub);
    writeFile(local(s("O1.nc")), "a");
    writeFile(local(s("O2.nc")), "b");
    page.addFiles({local(s("O1.nc")), local(s("O2.nc"))}, TargetArea::User);
    page.show();
    page.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    page.list()->setFocus();
    page.list()->setRowSelected(0, true);
    prompter.answers = {Answer::Yes};
    QTest::keyClick(page.list(), Qt::Key_Delete);
    ASSERT_EQ(page.list()->rowCount(), 1);
    EXPECT_EQ(page.list()->text(0, SendPage::ColTarget), s("O00001.txt"));
    EXPECT_EQ(prompter.captions.back(), s("Delete file"));

    // F9 sends from anywhere on the page: with no link up, the page says so.
    QTest::keyClick(page.list(), Qt::Key_F9);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("Please Connect to CNC"));
}

TEST_F(TransferPagesTest, DncStreamErrorClearsThePage)
{
    startSim({s("--cancel-after"), s("1")});
    connectEthernet();
    writeFile(local(s("part.nc")), program(600));
    ASSERT_GT(QFileInfo(local(s("part.nc"))).size(), 4096);
    hub->currentDocument = [&] { return DncDocument{local(s("part.nc")), false, 600, false}; };
    DncPage page(*hub);
    prompter.texts = {s("1")};
    page.start();
    ASSERT_TRUE(idle());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("Send file error"));
    EXPECT_EQ(prompter.captions.back(), s("DNC"));
    // Nothing is left that looks like a run still going.
    EXPECT_TRUE(page.file->text().isEmpty());
    EXPECT_TRUE(page.packets->text().isEmpty());
    EXPECT_TRUE(page.progressField->text().isEmpty());
    EXPECT_EQ(page.bar->value(), 0);
}

TEST_F(TransferPagesTest, RefusedPartitionNamesTheReasonInTheRowAndTheLog)
{
    startSim({s("--refuse-partition")});
    connectEthernet();
    SendPage page(*hub);
    OperationLogPage log(*hub);
    writeFile(local(s("O1.nc")), "G0\n");
    page.addFiles({local(s("O1.nc"))}, TargetArea::User);
    page.selectAll();
    page.send();
    ASSERT_TRUE(idle());
    EXPECT_EQ(page.list()->text(0, SendPage::ColState), s("CNC refused area USER"));
    ASSERT_EQ(log.entries()->topLevelItemCount(), 2);
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColWhat), log.what(LogEntry::Failed));
    EXPECT_EQ(log.entries()->topLevelItem(0)->text(OperationLogPage::ColName), local(s("O1.nc")) + s(": CNC refused area USER (scder)"));
    EXPECT_EQ(log.entries()->topLevelItem(1)->text(OperationLogPage::ColName), s("0 sent, 0 skipped, 1 failed"));
}
