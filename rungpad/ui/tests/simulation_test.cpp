// SPDX-License-Identifier: GPL-3.0-or-later
// Simulation mode in the frame under the offscreen platform: entering it converts and runs
// the ladder, inputs are toggled by click and by key, energised cells are drawn in the power
// colour, block values follow virtual time, editing is refused and comes back afterwards.
// Time is advanced by the test (SimulationSession::advance), never by the wall clock.
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/simulationmode.h"
#include "rungpad/ui/simulationoverlay.h"
#include "rungpad/ui/simulationsession.h"
#include "rungpad/ui/tests/uitestsupport.h"
#include "rungpad/ui/watchdock.h"

#include "common/prompter.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QSpinBox>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace rungpad;
using namespace rungpad::ui;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

// Start X000.0, stop X000.1, motor Y000.0 latched; Y000.1 when TMRB 1 has run 2 s; a comparison.
const char* kMotor =
    "X000.0+ /X000.1 - - - - - - - (Y000.0) ;motor latch\n"
    "Y000.0\n"
    "Y000.0 - - {4100:TMRB} {4101:0002} {4102:0001} {4103:00020} - - (Y000.1) ;run-up\n"
    ". . . {4110} {4111} {4112} {4113}\n"
    "X000.2 - - {1200:COMP} {1201:0002} {1202:00100} {1203:D0010} - - (R010.2) ;size check\n"
    ". . . {1210} {1211} {1212} {1213}\n"
    "X000.3 - - - {4700:WINDR} {4701:D0001} - - - (R010.3) ;from the machine\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

// Counts the editing dialogs that would have opened.
class NoDialogs : public testsupport::NoDialogs {
public:
    std::optional<QString> elementText(QWidget*, const QString&, const QString&, bool, int) override
    {
        ++edits;
        return std::nullopt;
    }
    std::optional<QString> functionName(QWidget*, int) override
    {
        ++edits;
        return std::nullopt;
    }
    int edits = 0;
};

class SimulationWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    NoDialogs dialogs;
    std::unique_ptr<CMainFrame> frame;
    CRungpadView* view = nullptr;

    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")).setValue(s("VANTORQ5RUNGPAD/LANGUAGE"), 1);
        frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()});
        frame->resize(1440, 900);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        auto ladder = readLadderText(s(kMotor));
        ASSERT_TRUE(ladder);
        const QString path = dir.filePath(s("motor.grp"));
        vantor::testing::writeFile(path, formatLadderPart(*ladder, {}, NumberField::FromText));
        ASSERT_TRUE(frame->openFile(path));
        view = frame->activeView();
        ASSERT_NE(view, nullptr);
        QTest::qWait(20);
    }
    void TearDown() override { frame.reset(); }

    SimulationMode& mode() { return *frame->simulation(); }
    // Enters simulation and stops the free run: the test moves time itself.
    void enter()
    {
        mode().toggleAction()->trigger();
        ASSERT_TRUE(mode().isActive());
        mode().runAction()->setChecked(false);
    }
    uint32_t get(const char* name) const
    {
        return sim::parseSignalName(s(name))->read(frame->simulation()->session()->engine().memory());
    }
    void click(int line, int column, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, view->cellRect(line, column).center());
    }
    QColor pixel(const QPoint& at)
    {
        view->viewport()->repaint();
        return view->viewport()->grab().toImage().pixelColor(at);
    }
    // Whether any pixel of the power colour lies on the wire height of a cell.
    bool wirePowered(int line, int column)
    {
        view->viewport()->repaint();
        const QImage image = view->viewport()->grab().toImage();
        const QRect r = view->cellRect(line, column);
        const int y = r.top() + int(r.height() * 32.0 / 40.0);
        for (int dy = -2; dy <= 2; ++dy)
            for (int x = r.left() + 2; x < r.right() - 2; ++x)
                if (image.pixelColor(x, y + dy) == kPowerColour)
                    return true;
        return false;
    }
};

}  // namespace

TEST_F(SimulationWindow, EnteringConvertsRunsAndLeavingRestoresTheEditor)
{
    const QString before = writeLadderText(view->document()->ladder());
    view->setCursorCell({2, 3});
    EXPECT_TRUE(frame->action(CMainFrame::PlaceCoil)->isEnabled());
    mode().toggleAction()->trigger();
    ASSERT_TRUE(mode().isActive());
    EXPECT_TRUE(mode().toggleAction()->isChecked());
    EXPECT_TRUE(mode().runAction()->isChecked()) << "entering starts the scan";
    EXPECT_FALSE(mode().toolBar()->isHidden());
    EXPECT_FALSE(mode().watchDock()->isHidden());
    EXPECT_TRUE(frame->outputWindow()->lines().contains(s("Simulation started")));
    EXPECT_EQ(view->simulation(), mode().overlay());
    for (auto c : {CMainFrame::PlaceCoil, CMainFrame::DeleteNode, CMainFrame::Paste, CMainFrame::Undo, CMainFrame::InsertLines})
        EXPECT_FALSE(frame->action(c)->isEnabled()) << c;

    // Typing, Delete and a double-click edit nothing while it runs.
    QTest::keyClick(view, Qt::Key_Delete);
    QTest::keyClick(view, Qt::Key_X);
    QTest::keyClick(view, Qt::Key_F2);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->cellRect(0, 0).center());
    frame->action(CMainFrame::DeleteNode)->trigger();
    EXPECT_EQ(dialogs.edits, 0);
    EXPECT_EQ(writeLadderText(view->document()->ladder()), before);
    // Moving around still works.
    view->setCursorCell({2, 3});
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(view->cursorCell(), (rungpad::ui::CellPos{3, 3}));

    mode().toggleAction()->trigger();
    EXPECT_FALSE(mode().isActive());
    EXPECT_EQ(view->simulation(), nullptr);
    EXPECT_TRUE(mode().toolBar()->isHidden());
    EXPECT_TRUE(frame->action(CMainFrame::PlaceCoil)->isEnabled());
    EXPECT_EQ(view->cursorCell(), (rungpad::ui::CellPos{3, 3}));
    EXPECT_EQ(writeLadderText(view->document()->ladder()), before);
    // The editor edits again: a dialog opens for the cell.
    view->setCursorCell({0, 0});
    QTest::keyClick(view, Qt::Key_F2);
    EXPECT_EQ(dialogs.edits, 1);
}

TEST_F(SimulationWindow, ALadderThatDoesNotConvertIsNotSimulated)
{
    auto* row = view->document()->data().editLadder.mutableLine(8);   // END2 gone: error 1005
    ASSERT_NE(row, nullptr);
    for (int c = 0; c < kColumns; ++c)
        (*row)[c].clear();
    mode().toggleAction()->trigger();
    EXPECT_FALSE(mode().isActive());
    EXPECT_FALSE(mode().toggleAction()->isChecked());
    EXPECT_EQ(view->simulation(), nullptr);
}

TEST_F(SimulationWindow, ClickAndKeysToggleInputsAndTheLatchHolds)
{
    enter();
    SimulationSession* session = mode().session();
    click(0, 0);   // start button on
    EXPECT_EQ(get("X0.0"), 1u);
    session->singleScan();
    EXPECT_EQ(get("Y0.0"), 1u);
    click(0, 0);   // and off again: the latch holds
    EXPECT_EQ(get("X0.0"), 0u);
    session->singleScan();
    EXPECT_EQ(get("Y0.0"), 1u);

    // Space on the stop contact, then Enter to let go.
    view->setCursorCell({0, 1});
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(get("X0.1"), 1u);
    session->singleScan();
    EXPECT_EQ(get("Y0.0"), 0u);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(get("X0.1"), 0u);

    // Ctrl+click pulses: on for one scan only.
    click(0, 0, Qt::ControlModifier);
    EXPECT_EQ(get("X0.0"), 1u);
    session->singleScan();
    EXPECT_EQ(get("X0.0"), 0u);
    EXPECT_EQ(get("Y0.0"), 1u);

    // Coils and wires are not inputs.
    click(0, 9);
    click(0, 5);
    EXPECT_EQ(get("Y0.0"), 1u);
}

TEST_F(SimulationWindow, EnergisedCellsAreDrawnInThePowerColour)
{
    enter();
    SimulationSession* session = mode().session();
    session->singleScan();
    // Stop contact closed (normally closed, X0.1 off) conducts only when power reaches it.
    EXPECT_FALSE(wirePowered(0, 0)) << "open start contact";
    EXPECT_FALSE(wirePowered(0, 5)) << "wire after it";
    EXPECT_FALSE(wirePowered(0, 9)) << "coil";
    click(0, 0);
    session->singleScan();
    view->setCursorCell({3, 8});   // the cursor cell is drawn inverted: keep it off the cells looked at
    EXPECT_TRUE(wirePowered(0, 0));
    EXPECT_TRUE(wirePowered(0, 1));
    EXPECT_TRUE(wirePowered(0, 5));
    EXPECT_TRUE(wirePowered(0, 9));
    EXPECT_TRUE(wirePowered(1, 0)) << "the holding contact Y000.0 closes";
    // The vertical link between the branches, at the right edge of column 0.
    const QRect r0 = view->cellRect(0, 0);
    const QPoint link(r0.left() + r0.width() * 69 / 70, r0.top() + r0.height() * 52 / 40);
    bool linkGreen = false;
    for (int dx = -3; dx <= 3 && !linkGreen; ++dx)
        linkGreen = pixel(link + QPoint(dx, 0)) == kPowerColour;
    EXPECT_TRUE(linkGreen);
    if (!qEnvironmentVariableIsEmpty("VANTOR_SCREENSHOT_DIR")) {
        for (const char* a : {"X0.0", "Y0.0", "Y0.1", "T129", "D10"})
            mode().watchDock()->addWatch(s(a));
        session->advance(1200);
        vantor::testing::maybeShoot(frame.get(), "rungpad-simulation.png");
    }

    click(0, 0);   // start let go, stop pressed: everything goes dark
    view->setCursorCell({0, 1});
    QTest::keyClick(view, Qt::Key_Space);
    session->singleScan();
    EXPECT_FALSE(wirePowered(0, 5));
    EXPECT_FALSE(wirePowered(0, 9));
    EXPECT_FALSE(wirePowered(1, 0));
}

TEST_F(SimulationWindow, BlockValuesFollowVirtualTime)
{
    enter();
    SimulationSession* session = mode().session();
    auto* overlay = mode().overlay();
    click(0, 0);
    session->singleScan();
    EXPECT_EQ(overlay->liveText(2, 3), s("0/2000ms"));
    session->advance(1000);
    EXPECT_EQ(overlay->liveText(2, 3), s("1000/2000ms"));
    EXPECT_EQ(get("Y0.1"), 0u);
    session->advance(1000);
    EXPECT_EQ(get("Y0.1"), 1u);
    EXPECT_TRUE(wirePowered(2, 9)) << "the timer's coil";
    // The comparison shows both values, the machine block its mark.
    session->write(*sim::parseSignalName(s("D10")), 250);
    EXPECT_EQ(overlay->liveText(4, 3), s("100 : 250"));
    EXPECT_TRUE(overlay->liveText(6, 4).isEmpty());
    EXPECT_EQ(mode().session()->engine().program().notSimulatedLines, std::vector<int>{7});
}

TEST_F(SimulationWindow, WatchTableShowsAndSetsAddressesAndExportsHistory)
{
    enter();
    WatchDock* watch = mode().watchDock();
    EXPECT_FALSE(watch->addWatch(s("Q1.0")));
    ASSERT_TRUE(watch->addWatch(s("Y0.0")));
    ASSERT_TRUE(watch->addWatch(s("D10")));
    EXPECT_EQ(watch->table()->rowCount(), 2);
    // Typing a value into the table writes the memory.
    watch->table()->item(1, 1)->setText(s("123"));
    EXPECT_EQ(get("D10"), 123u);
    watch->table()->item(0, 1)->setText(s("junk"));
    EXPECT_EQ(watch->table()->item(0, 1)->text(), s("0")) << "a bad value is put back";
    click(0, 0);
    mode().session()->advance(24);
    EXPECT_EQ(watch->table()->item(0, 1)->text(), s("1"));
    const QString csv = dir.filePath(s("watch.csv"));
    ASSERT_TRUE(mode().exportHistory(csv));
    EXPECT_EQ(vantor::testing::readFile(csv), QByteArray("time_ms,scan,Y0.0,D10\n16,2,1,123\n24,3,1,123\n32,4,1,123\n"));
    EXPECT_FALSE(mode().exportHistory(dir.filePath(s("no/such/folder/watch.csv"))));
}

TEST_F(SimulationWindow, TestFileRunsFromTheWindowAndSelectsTheFirstFailure)
{
    enter();
    const QString path = dir.filePath(s("motor.test"));
    vantor::testing::writeFile(path, "pulse X0.0\nexpect Y0.0 1\nwait 1s\nexpect Y0.1 1\nwait 1s\nexpect Y0.1 1\nexpect Y0.0 0\n");
    const auto result = mode().runTestFile(path);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->failures.size(), 2u);
    QListWidget* steps = mode().watchDock()->steps();
    EXPECT_EQ(steps->count(), 7);
    ASSERT_NE(steps->currentItem(), nullptr);
    EXPECT_EQ(steps->currentItem()->data(Qt::UserRole).toInt(), 4);
    EXPECT_TRUE(frame->outputWindow()->lines().contains(s("Test failed: 2 of 4 expectations")));
    EXPECT_EQ(get("X0.0"), 0u) << "the live ladder was not touched";
}

TEST_F(SimulationWindow, FreeRunScansOnePeriodApart)
{
    mode().toggleAction()->trigger();
    ASSERT_TRUE(mode().isActive());
    mode().periodBox()->setValue(7);
    mode().watchDock()->addWatch(s("Y0.0"));
    // Real time at 1x: the timer's ticks (about 16 ms) are no whole number of periods.
    SimulationSession* session = mode().session();
    const uint64_t before = session->engine().scanCount();
    // Progress only, however slow the machine: no timing is asserted.
    for (int i = 0; i < 500 && session->history().rows() < 5; ++i)
        QTest::qWait(10);
    mode().runAction()->setChecked(false);
    ASSERT_GE(session->history().rows(), 5u);
    EXPECT_GT(session->engine().scanCount(), before);
    const QStringList rows = session->history().csv().split('\n', Qt::SkipEmptyParts).mid(1);
    for (const QString& row : rows)
        EXPECT_EQ(row.section(',', 0, 0).toLongLong() % 7, 8 % 7) << qPrintable(row);   // first scan at 8 ms
    // Paused: nothing moves.
    const uint64_t paused = session->engine().scanCount();
    QTest::qWait(50);
    EXPECT_EQ(session->engine().scanCount(), paused);
    mode().singleScanAction()->trigger();
    EXPECT_EQ(session->engine().scanCount(), paused + 1);
}

TEST_F(SimulationWindow, TextsFollowTheLanguage)
{
    enter();
    EXPECT_EQ(mode().toggleAction()->text(), s("&Simulate"));
    frame->setLanguage(0);
    EXPECT_EQ(mode().toggleAction()->text(), s("仿真运行(&S)"));
    EXPECT_EQ(mode().watchDock()->windowTitle(), s("监视表"));
    mode().watchDock()->addWatch(s("Q9"));
    EXPECT_TRUE(frame->outputWindow()->lines().contains(s("地址无效: Q9")));
}
