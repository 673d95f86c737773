// SPDX-License-Identifier: GPL-3.0-or-later
// Rungpad's frame and view under the offscreen platform: opening files and what the view
// shows at cells, mouse and keyboard cursor movement with scrolling, conversion with the
// output and instruction list windows, the language switch, refused opens, closing a
// modified document, printing. Every test keeps its settings in a folder of its own.
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/ui/errorlocation.h"
#include "rungpad/ui/ladderprint.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/tests/uitestsupport.h"

#include "common/prompter.h"
#include "common/atomicfile.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QLayout>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

// Readable failures for texts.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

using namespace rungpad;
using namespace rungpad::ui;
using vantor::testing::maybeShoot;
using vantor::testing::readFile;
using vantor::testing::writeFile;
using rungpad::ui::testsupport::TextDevice;
using rungpad::ui::testsupport::ladderFile;

namespace {

// The view's cell positions, not the editor's of the same name.
using rungpad::ui::CellPos;
using rungpad::ui::CellRange;

QString s(const char* text) { return QString::fromUtf8(text); }

// Converts: a contact network, a TMR block with its coil, both level ends.
const char* kGoodLadder =
    "X000.0 - - - - - - - - (Y000.0) ;start conveyor\n"
    "X000.1 - - - {1900:TMR} {1901:0005} - - - (R000.0)\n"
    ". . . . {1910} {1911}\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

// Line 2 drives an input: error 1006 there.
const char* kBadLadder =
    "X000.0 - - - - - - - - (Y000.0)\n"
    "X000.1 - - - - - - - - (X000.5)\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

// For the pictures: parallel branches, a counter, a comparison, a move, set and reset.
const char* kShowLadder =
    "X000.0+ /X000.1 - - - - - - - (Y000.0) ;conveyor run\n"
    "Y000.0\n"
    "X000.2 - - - {1000:CTR} {1001:0003} - - - (R010.0) ;part counter\n"
    "X000.3 - - - {1010} {1011}\n"
    "R010.1 - - - {1020} {1021}\n"
    "X000.4 - - - {1030} {1031}\n"
    "X001.0 - - {1200:COMP} {1201:0002} {1202:00100} {1203:D0010} - - (R010.2) ;size check\n"
    ". . . {1210} {1211} {1212} {1213}\n"
    "R010.2 - - {1300:MOVN} {1301:0002} {1302:D0010} {1303:D0020} - - (R010.3)\n"
    ". . . {1310} {1311} {1312} {1313}\n"
    "X001.1 - - - {3600:SET} {3601:Y001.0} - - - - ;lamp on\n"
    "X001.2 - - - {3500:RST} {3501:Y001.0} - - - - ;lamp off\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

QByteArray wireLines(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("X000.%1 - - - - - - - - (R%2.%3)\n").arg(i % 8).arg(i / 8, 3, 10, QLatin1Char('0')).arg(i % 8);
    return ladderFile(text.toUtf8().constData());
}

class ScriptedDialogs : public RungpadDialogs {
public:
    std::deque<QString> files;   // answers of the open and save choosers, in order
    std::vector<QString> proposed;
    int infoShown = 0;
    QString openFileName(QWidget*, const QString&, const QString&) override { return take(); }
    QString saveFileName(QWidget*, const QString&, const QString& proposal, const QString&, const QString&) override
    {
        proposed.push_back(proposal);
        return take();
    }
    bool editLadderInfo(QWidget*, LadderInfo&, int) override
    {
        ++infoShown;
        return false;
    }
    bool pageSetup(QWidget*, QPrinter&) override { return false; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }

    // Editing dialogs: answers in order, nullopt (or none left) cancels. With `real` set
    // the widget dialogs open instead and the test types into them.
    bool real = false;
    WidgetDialogs widgets;
    std::deque<std::optional<QString>> texts;   // element texts, function names, notations
    std::deque<std::optional<int>> numbers;     // line counts, line numbers
    std::deque<std::optional<FindRequest>> finds;
    std::vector<QString> prompts;               // prompt of each element dialog
    std::vector<QString> initials;              // its text when it opened
    std::optional<QString> elementText(QWidget* p, const QString& prompt, const QString& initial, bool address,
                                       int language) override
    {
        prompts.push_back(prompt);
        initials.push_back(initial);
        return real ? widgets.elementText(p, prompt, initial, address, language) : takeText();
    }
    std::optional<QString> functionName(QWidget* p, int language) override
    {
        return real ? widgets.functionName(p, language) : takeText();
    }
    std::optional<int> insertLineCount(QWidget*, int) override { return takeNumber(); }
    std::optional<QString> notationText(QWidget*, const QString&, const QString&, int) override { return takeText(); }
    std::optional<FindRequest> findRequest(QWidget*, const FindRequest&, bool, int) override
    {
        if (finds.empty())
            return std::nullopt;
        auto f = finds.front();
        finds.pop_front();
        return f;
    }
    std::optional<int> lineNumber(QWidget*, int, int, int) override { return takeNumber(); }

private:
    std::optional<QString> takeText()
    {
        if (texts.empty())
            return std::nullopt;
        auto t = texts.front();
        texts.pop_front();
        return t;
    }
    std::optional<int> takeNumber()
    {
        if (numbers.empty())
            return std::nullopt;
        auto n = numbers.front();
        numbers.pop_front();
        return n;
    }
    QString take()
    {
        if (files.empty())
            return {};
        QString f = files.front();
        files.pop_front();
        return f;
    }
};

class RungpadFrameTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    ScriptedDialogs dialogs;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override
    {
        // The profile of this test only; the user's own settings are never read or written.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(s("config")));
    }
    void TearDown() override { frame.reset(); }

    void startFrame(int language = 1)
    {
        QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")).setValue(s("VANTORQ5RUNGPAD/LANGUAGE"), language);
        frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()});
        frame->resize(1440, 900);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(s(name));
        writeFile(path, bytes);
        return path;
    }
    CRungpadView* openLadder(const char* name, const QByteArray& bytes)
    {
        EXPECT_TRUE(frame->openFile(file(name, bytes)));
        CRungpadView* view = frame->activeView();
        EXPECT_NE(view, nullptr);
        if (view)
            QTest::qWait(20);
        return view;
    }
    static void click(CRungpadView* view, int line, int column, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, view->cellRect(line, column).center());
    }
    QStringList outputLines() const { return frame->outputWindow()->lines(); }
    // Where a line of a text pane is drawn, for a double-click on it.
    static QPoint lineCentre(QPlainTextEdit* edit, int blockNumber)
    {
        QTextCursor c(edit->document()->findBlockByNumber(blockNumber));
        return edit->cursorRect(c).center() + QPoint(20, 0);
    }
};

TEST_F(RungpadFrameTest, OpenedLadderShowsAddressesAndCommentsAtCells)
{
    startFrame(1);
    CommentTables comments;
    comments.setCommentOf("X000.0", s("start button"));
    comments.setCommentOf("Y000.0", s("conveyor motor 输送带"));
    comments.setCommentOf("R000.0", s("timer done"));
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder, comments));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(frame->views().size(), 1);
    EXPECT_EQ(view->document()->ladder().lineCount(), 5);
    EXPECT_EQ(frame->recentFiles().value(0), QFileInfo(dir.filePath(s("good.plf"))).absoluteFilePath());
    EXPECT_TRUE(outputLines().contains(s("File has be load!")));

    struct Case {
        int line, column;
        const char* address;   // what the view reports for the cell
        const char* status;
        const char* comment;   // expected in the notation window
    };
    const Case cases[] = {
        {0, 0, "X000.0", "Line 0001  Col 1  X000.0", "At cursor X000.0: start button"},
        {0, 9, "Y000.0", "Line 0001  Col 10  Y000.0", "At cursor Y000.0: conveyor motor 输送带"},
        {1, 9, "R000.0", "Line 0002  Col 10  R000.0", "At cursor R000.0: timer done"},
        {1, 4, "", "Line 0002  Col 5", "Line 0002:"},
        {2, 2, "", "Line 0003  Col 3", "Line 0003:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        click(view, c.line, c.column);
        EXPECT_EQ(view->cursorCell(), (CellPos{c.line, c.column}));
        EXPECT_EQ(view->cursorAddress(), QByteArray(c.address));
        EXPECT_EQ(frame->positionLabel()->text(), s(c.status));
        EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s(c.comment)))
            << frame->notationWindow()->toPlainText().toStdString();
    }
    // The notation window lists every address of the cursor's line with its comment.
    click(view, 0, 4);
    EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s("X000.0  start button")));
    EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s("Y000.0  conveyor motor 输送带")));
    EXPECT_EQ(view->document()->ladder().cell(1, 4).text(), QByteArray("TMR"));
    EXPECT_EQ(view->document()->ladder().note(0), s("start conveyor"));
}

TEST_F(RungpadFrameTest, ClickClampsToTheGridAndDragSelectsTheRectangle)
{
    startFrame(1);
    CRungpadView* view = openLadder("wires.plf", wireLines(8));
    ASSERT_NE(view, nullptr);

    // Left of the left rail and right of the right rail fall on the outer columns.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(2, view->cellRect(3, 0).center().y()));
    EXPECT_EQ(view->cursorCell(), (CellPos{3, 0}));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(view->cellRect(2, 9).right() + 60, view->cellRect(2, 9).center().y()));
    EXPECT_EQ(view->cursorCell(), (CellPos{2, 9}));
    // Above the first line: line 0.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(view->cellRect(0, 4).center().x(), 1));
    EXPECT_EQ(view->cursorCell(), (CellPos{0, 4}));

    // Dragging from (1,2) to (4,6) selects lines 1..4, columns 2..6; from right to left too.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->cellRect(1, 2).center());
    QMouseEvent move(QEvent::MouseMove, view->cellRect(4, 6).center(), view->viewport()->mapToGlobal(view->cellRect(4, 6).center()),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, view->cellRect(4, 6).center());
    EXPECT_EQ(view->selection(), (CellRange{1, 2, 4, 6}));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->cellRect(5, 8).center());
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, view->cellRect(3, 1).center());
    EXPECT_EQ(view->selection(), (CellRange{3, 1, 5, 8}));
    // A plain click leaves one cell selected.
    click(view, 6, 3);
    EXPECT_EQ(view->selection(), (CellRange{6, 3, 6, 3}));
    // Shift+click extends from the cursor.
    click(view, 7, 5, Qt::ShiftModifier);
    EXPECT_EQ(view->selection(), (CellRange{6, 3, 7, 5}));
}

TEST_F(RungpadFrameTest, KeyboardMovesTheCursorAndScrollsItIntoView)
{
    startFrame(1);
    CRungpadView* view = openLadder("long.plf", wireLines(200));
    ASSERT_NE(view, nullptr);
    view->setFocus();
    const int page = view->linesPerPage();
    ASSERT_GT(page, 2);
    ASSERT_LT(page, 100);

    struct Step {
        int key;
        Qt::KeyboardModifiers mods;
        CellPos cursor;
    };
    const Step steps[] = {
        {Qt::Key_Right, {}, {0, 1}},
        {Qt::Key_Right, {}, {0, 2}},
        {Qt::Key_Down, {}, {1, 2}},
        {Qt::Key_Left, {}, {1, 1}},
        {Qt::Key_Up, {}, {0, 1}},
        {Qt::Key_Up, {}, {0, 1}},          // stays on the first line
        {Qt::Key_End, {}, {0, 9}},
        {Qt::Key_Right, {}, {0, 9}},       // stays in the output column
        {Qt::Key_Home, {}, {0, 0}},
        {Qt::Key_PageDown, {}, {page, 0}},
        {Qt::Key_PageDown, {}, {2 * page, 0}},
        {Qt::Key_PageUp, {}, {page, 0}},
        {Qt::Key_End, Qt::ControlModifier, {199, 9}},
        {Qt::Key_Down, {}, {199, 9}},
        {Qt::Key_PageDown, {}, {199, 9}},
        {Qt::Key_Home, Qt::ControlModifier, {0, 0}},
    };
    for (const Step& st : steps) {
        QTest::keyClick(view, Qt::Key(st.key), st.mods);
        SCOPED_TRACE(QKeySequence(st.key | st.mods).toString().toStdString());
        EXPECT_EQ(view->cursorCell(), st.cursor);
        // The cursor cell is always inside the viewport.
        const QRect r = view->cellRect(view->cursorCell().line, view->cursorCell().column);
        EXPECT_TRUE(view->viewport()->rect().contains(r)) << r.y() << " in " << view->viewport()->height();
    }
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_GT(view->verticalScrollBar()->value(), 0);
    EXPECT_EQ(view->visibleLines().second, 199);

    // Shift+arrows extend the selection from where the cursor was.
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view->selection(), (CellRange{0, 0, 2, 1}));
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(view->selection(), (CellRange{2, 2, 2, 2}));
}

TEST_F(RungpadFrameTest, ZoomScalesTheCellsTheTestsClickOn)
{
    startFrame(1);
    CRungpadView* view = openLadder("wires.plf", wireLines(4));
    ASSERT_NE(view, nullptr);
    const int width = view->cellRect(0, 0).width();
    QWheelEvent wheel(view->viewport()->rect().center(), view->viewport()->mapToGlobal(view->viewport()->rect().center()),
                      QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_GT(view->cellRect(0, 0).width(), width);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(view->cellRect(0, 0).width(), width);
    click(view, 3, 7);
    EXPECT_EQ(view->cursorCell(), (CellPos{3, 7}));
}

TEST_F(RungpadFrameTest, ConvertErrorIsListedAndDoubleClickGoesToIt)
{
    startFrame(1);
    CRungpadView* view = openLadder("bad.plf", ladderFile(kBadLadder));
    ASSERT_NE(view, nullptr);
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F7);

    const QStringList lines = outputLines();
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], s("Converting..."));
    EXPECT_EQ(lines[1], s("Ladder the 0002 Line, error code: 1006 illegal output in NET"));
    EXPECT_FALSE(view->document()->data().isConverted());
    EXPECT_TRUE(frame->instructionListWindow()->toPlainText().isEmpty());
    QTest::mouseDClick(frame->outputWindow()->viewport(), Qt::LeftButton, {}, lineCentre(frame->outputWindow(), 1));
    EXPECT_EQ(view->cursorCell(), (CellPos{1, 9}));
    maybeShoot(frame.get(), "rungpad-convert-error.png");
    // The progress line names no ladder line: the cursor stays.
    QTest::mouseDClick(frame->outputWindow()->viewport(), Qt::LeftButton, {}, lineCentre(frame->outputWindow(), 0));
    EXPECT_EQ(view->cursorCell(), (CellPos{1, 9}));

    // Output commands want a conversion first.
    frame->action(CMainFrame::GenerateBinary)->trigger();
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("Please convert the Ladder before!"));
}

TEST_F(RungpadFrameTest, ConvertFillsTheInstructionListAndOutputsWork)
{
    startFrame(1);
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(frame->convertActive()) << outputLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(outputLines(), (QStringList{s("Converting..."), s("Convert succeed!")}));
    const QStringList list = frame->instructionListWindow()->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(list.size(), 5);
    EXPECT_EQ(list[0].trimmed(), s("RD        X000.0"));
    EXPECT_EQ(list[1].trimmed(), s("WRT       Y000.0"));
    EXPECT_TRUE(list.contains(s("TMR       0005")) || list.join(QLatin1Char('\n')).contains(s("TMR       0005")));
    for (const QString& l : list)
        EXPECT_FALSE(l.endsWith(s("   1")) || l.endsWith(s("   2"))) << l.toStdString();
    maybeShoot(frame.get(), "rungpad-instruction-list.png");

    // The binary file goes where the chooser says, atomically, with the converter's bytes.
    const QString bin = dir.filePath(s("out/Ladbin.dat"));
    QDir().mkpath(dir.filePath(s("out")));
    dialogs.files.push_back(bin);
    frame->action(CMainFrame::GenerateBinary)->trigger();
    EXPECT_EQ(readFile(bin).size() % 8, 0);
    EXPECT_GT(readFile(bin).size(), 8);
    EXPECT_EQ(outputLines().back(), s("Succeed!"));
    EXPECT_EQ(dialogs.proposed.back(), QDir(dir.path()).filePath(s("Ladbin.dat")));

    const QString stl = dir.filePath(s("good.txt"));
    dialogs.files.push_back(stl);
    frame->action(CMainFrame::GenerateList)->trigger();
    EXPECT_EQ(dialogs.proposed.back(), stl);
    EXPECT_TRUE(readFile(stl).startsWith("RD        X000.0"));

    // Ladder files: the information dialog first, then the chooser proposing the .grp name.
    for (CMainFrame::Command command : {CMainFrame::GenerateLadder, CMainFrame::GenerateOldLadder}) {
        const int infoBefore = dialogs.infoShown;
        const QString grp = dir.filePath(command == CMainFrame::GenerateLadder ? s("new.grp") : s("old.grp"));
        dialogs.files.push_back(grp);
        frame->action(command)->trigger();
        EXPECT_EQ(dialogs.infoShown, infoBefore + 1);
        EXPECT_EQ(dialogs.proposed.back(), dir.filePath(s("good.grp")));
        auto content = parseLadderFile(readFile(grp), false);
        ASSERT_TRUE(content.ok());
        EXPECT_GE(content.ladder.lineCount(), 4);
        EXPECT_EQ(outputLines().back(), s("Succeed!"));
    }
}

TEST_F(RungpadFrameTest, LanguageSwitchRetitlesEverythingAndIsStored)
{
    startFrame(0);
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    struct Titles {
        const char* frame;
        const char* fileMenu;
        const char* convert;
        const char* output;
        const char* notation;
        const char* list;
        const char* loaded;
    };
    const Titles chinese{"梯形图编辑器", "文件(&F)", "转换(&V)", "输出窗口", "注释窗口", "指令表输出窗口", "文件载入完成!"};
    const Titles english{"Rungpad ", "&File", "Con&vert", "Output Window", "Notation Window", "Repertoire Output Window",
                         "File has be load!"};
    auto expectTitles = [&](const Titles& t) {
        // A maximised child adds " - [name]" to the frame's title, as it always did.
        EXPECT_TRUE(frame->windowTitle().startsWith(s(t.frame))) << frame->windowTitle().toStdString();
        if (frame->views().isEmpty()) {
            EXPECT_EQ(frame->windowTitle(), s(t.frame));
        }
        EXPECT_EQ(frame->menus().first()->title(), s(t.fileMenu));
        EXPECT_EQ(frame->action(CMainFrame::Convert)->text(), s(t.convert));
        EXPECT_EQ(frame->outputDock()->windowTitle(), s(t.output));
        EXPECT_EQ(frame->notationDock()->windowTitle(), s(t.notation));
        EXPECT_EQ(frame->instructionListDock()->windowTitle(), s(t.list));
    };
    auto stored = [] {
        return QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")).value(s("VANTORQ5RUNGPAD/LANGUAGE")).toInt();
    };
    expectTitles(chinese);
    EXPECT_TRUE(outputLines().contains(s(chinese.loaded)));

    frame->action(CMainFrame::LanguageEnglish)->trigger();
    expectTitles(english);
    EXPECT_EQ(stored(), 1);
    EXPECT_TRUE(frame->action(CMainFrame::LanguageEnglish)->isChecked());
    // Qt's own buttons follow the language.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), s("&Yes"));
    // Conversion messages of the open document follow too.
    frame->convertActive();
    EXPECT_EQ(outputLines().value(1), s("Convert succeed!"));

    frame->action(CMainFrame::LanguageChinese)->trigger();
    expectTitles(chinese);
    EXPECT_EQ(stored(), 0);
    frame->convertActive();
    EXPECT_EQ(outputLines().value(1), s("Convert succeed!"));
    maybeShoot(frame.get(), "rungpad-chinese.png");
    if (QCoreApplication::translate("QPlatformTheme", "&Yes") == s("&Yes"))
        ADD_FAILURE() << "qtbase_zh_CN.qm is not installed (package qt6-translations-l10n)";

    // A frame started later reads the stored language.
    frame->action(CMainFrame::LanguageEnglish)->trigger();
    frame.reset();
    frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()});
    EXPECT_EQ(frame->language(), 1);
    expectTitles(english);
}

TEST_F(RungpadFrameTest, RefusedOpenLeavesEverythingAsItWas)
{
    startFrame(1);
    // Nothing open: a refused file opens no window.
    QByteArray tooMany = ladderFile(kGoodLadder);
    tooMany[0] = char(0x88);
    tooMany[1] = char(0x13);   // 5001 lines
    const QString bad = file("toomany.plf", tooMany);
    EXPECT_FALSE(frame->openFile(bad));
    EXPECT_TRUE(frame->views().isEmpty());
    EXPECT_TRUE(prompter.shown.back().startsWith(s("Can not open ladder file!\n"))) << prompter.shown.back().toStdString();
    EXPECT_TRUE(prompter.shown.back().contains(s("5001 lines")));
    EXPECT_FALSE(frame->action(CMainFrame::Save)->isEnabled());
    EXPECT_FALSE(frame->menus()[1]->menuAction()->isVisible());   // the empty workspace's menu bar

    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(frame->menus()[1]->menuAction()->isVisible());
    click(view, 1, 4);
    const QString before = writeLadderText(view->document()->ladder());
    const QString goodPath = view->document()->path();

    const QString truncated = file("truncated.plf", ladderFile(kGoodLadder).left(200));
    for (const QString& path : {bad, truncated, dir.filePath(s("missing.plf"))}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(frame->openFile(path));
        ASSERT_EQ(frame->views().size(), 1);
        EXPECT_EQ(frame->activeView(), view);
        EXPECT_EQ(view->document()->path(), goodPath);
        EXPECT_EQ(writeLadderText(view->document()->ladder()), before);
        EXPECT_EQ(view->cursorCell(), (CellPos{1, 4}));
        EXPECT_FALSE(view->document()->isModified());
        EXPECT_TRUE(outputLines().contains(s("Can not open ladder file!")));
        EXPECT_TRUE(outputLines().last().startsWith(QDir::toNativeSeparators(path))) << outputLines().last().toStdString();
    }
    // Opening the same file again shows the window already open.
    EXPECT_TRUE(frame->openFile(goodPath));
    EXPECT_EQ(frame->views().size(), 1);
}

TEST_F(RungpadFrameTest, ClosingAModifiedDocumentAsksToSave)
{
    startFrame(1);
    CRungpadView* view = frame->newDocument();
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->document()->isModified());
    view->document()->ladderEdited();

    prompter.answers = {vantor::Answer::Cancel};
    EXPECT_FALSE(frame->closeActive());
    EXPECT_EQ(frame->views().size(), 1);
    EXPECT_EQ(prompter.asked.back(), s("Save changes to Ladder1?"));

    // Yes on an untitled document asks for a name; the file is then written and the window goes.
    const QString path = dir.filePath(s("new.plf"));
    prompter.answers = {vantor::Answer::Yes};
    dialogs.files.push_back(path);
    EXPECT_TRUE(frame->closeActive());
    QTest::qWait(10);
    EXPECT_TRUE(frame->views().isEmpty());
    auto content = parseLadderFile(readFile(path), true);
    EXPECT_TRUE(content.ok());
    EXPECT_EQ(content.ladder.lineCount(), 1);
    EXPECT_EQ(dialogs.infoShown, 1);

    // Closing the frame keeps where its bars were; the next frame puts them back.
    frame->outputDock()->hide();
    EXPECT_TRUE(frame->close());
    frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()});
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    EXPECT_FALSE(frame->outputDock()->isVisible());
    EXPECT_TRUE(frame->instructionListDock()->isVisible());
    EXPECT_FALSE(frame->action(CMainFrame::ViewOutput)->isChecked());

    // No closes without writing.
    view = frame->newDocument();
    view->document()->ladderEdited();
    prompter.answers = {vantor::Answer::No};
    EXPECT_TRUE(frame->closeActive());
    QTest::qWait(10);
    EXPECT_TRUE(frame->views().isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(s("Ladder2.plf"))));
}

TEST_F(RungpadFrameTest, SaveWritesTheLadderAndReportsIt)
{
    startFrame(1);
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    const QString copy = dir.filePath(s("copy.plf"));
    dialogs.files.push_back(copy);
    ASSERT_TRUE(frame->saveActive(true));
    EXPECT_EQ(view->document()->path(), copy);
    EXPECT_TRUE(outputLines().contains(s("File has saved.")));
    auto content = parseLadderFile(readFile(copy), true);
    ASSERT_TRUE(content.ok());
    CommentTables tables;
    applyCommentRecords(content.records(), content.ladder, tables);
    EXPECT_EQ(writeLadderText(content.ladder).section(QLatin1Char('\n'), 0, 2),
              writeLadderText(view->document()->ladder()).section(QLatin1Char('\n'), 0, 2));
    EXPECT_EQ(frame->recentFiles().value(0), QFileInfo(copy).absoluteFilePath());
    EXPECT_EQ(frame->recentMenu()->actions().size(), 2);
}

TEST_F(RungpadFrameTest, PrintingSixtyLinesGivesThreePagesHeadedWithTheirNumber)
{
    startFrame(1);
    CRungpadView* view = openLadder("sixty.plf", wireLines(60));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(printedPageCount(view->document()->ladder()), 3);

    const QString pdf = dir.filePath(s("sixty.pdf"));
    ASSERT_TRUE(frame->exportPdf(pdf));
    const QByteArray bytes = readFile(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    int pages = 0;
    for (qsizetype at = bytes.indexOf("/Type /Page"); at >= 0; at = bytes.indexOf("/Type /Page", at + 1))
        if (bytes.mid(at + 11, 1) != "s")
            ++pages;
    EXPECT_EQ(pages, 3);
    EXPECT_FALSE(QFile::exists(pdf + s(".part")));

    struct PageCase {
        int page;
        int language;
        const char* heading;
        const char* firstLine;
        const char* lastLine;
        const char* notThere;
    };
    const PageCase cases[] = {
        {0, 1, "PAGE 1", "0001", "0025", "0026"},
        {1, 1, "PAGE 2", "0026", "0050", "0025"},
        {2, 0, "第 3 页", "0051", "0060", "0050"},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.heading);
        TextDevice device;
        QPainter painter(&device);
        paintLadderPage(painter, QRectF(0, 0, 2100, 2970), view->document()->ladder(), c.page, c.language);
        painter.end();
        const QStringList& texts = device.engine.texts;
        EXPECT_EQ(texts.value(0), s(c.heading));
        EXPECT_TRUE(texts.contains(s(c.firstLine)));
        EXPECT_TRUE(texts.contains(s(c.lastLine)));
        EXPECT_FALSE(texts.contains(s(c.notThere)));
    }
}

TEST_F(RungpadFrameTest, NotationImportShowsAtTheCursorAndExportWritesIt)
{
    startFrame(1);
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    click(view, 0, 9);
    EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s("At cursor Y000.0: (no comment)")));

    dialogs.files.push_back(file("mine.txt", "%\r\nY0000     conveyor motor\r\nend\r\n"));
    frame->action(CMainFrame::ImportNotation)->trigger();
    EXPECT_EQ(outputLines().mid(outputLines().size() - 2), (QStringList{s("Loading note..."), s("succeed!")}));
    EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s("At cursor Y000.0: conveyor motor")));
    EXPECT_TRUE(view->document()->isModified());

    const QString exported = dir.filePath(s("LadChi01.txt"));
    dialogs.files.push_back(exported);
    frame->action(CMainFrame::ExportNotation)->trigger();
    EXPECT_EQ(dialogs.proposed.back(), exported);
    EXPECT_TRUE(readFile(exported).contains("Y0000     conveyor motor\r\n"));
    EXPECT_EQ(outputLines().back(), s("Complete!"));
}

TEST_F(RungpadFrameTest, DroppedFileOpens)
{
    startFrame(1);
    const QString path = file("dropped.plf", ladderFile(kGoodLadder));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the frame's handler: the application routes drops only during a real drag.
    static_cast<QObject*>(frame.get())->event(&drop);
    ASSERT_EQ(frame->views().size(), 1);
    EXPECT_EQ(frame->activeView()->document()->path(), path);
}

TEST_F(RungpadFrameTest, LadderWithoutLinesOpensPaintsAndPrints)
{
    startFrame(1);
    LadderProgram empty;
    empty.clear();
    CRungpadView* view = openLadder("empty.grp", formatLadderPart(empty, {}, NumberField::FromText));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->document()->ladder().lineCount(), 0);
    for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown})
        QTest::keyClick(view, Qt::Key(key));
    click(view, 3, 3);
    EXPECT_EQ(view->cursorCell(), (CellPos{0, 3}));
    EXPECT_FALSE(view->grab().isNull());
    EXPECT_EQ(printedPageCount(view->document()->ladder()), 1);
    EXPECT_TRUE(frame->exportPdf(dir.filePath(s("empty.pdf"))));

    // The preview draws through the same printing code; it is closed as soon as it shows.
    QTimer::singleShot(300, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    frame->action(CMainFrame::PrintPreview)->trigger();
}

TEST(RungpadLadderInfo, DialogKeepsTheLengthsTheFileHolds)
{
    LadderInfo info;
    info.version = s("V1.0");
    info.saveTime = s("2024-05-06 07:08");
    CLadderInfoDlg dialog(info, 0);
    EXPECT_EQ(dialog.windowTitle(), s("梯形图信息"));
    struct Field {
        QLineEdit* edit;
        int limit;
    };
    for (const Field& f : {Field{dialog.versionEdit(), 15}, Field{dialog.machineEdit(), 40}, Field{dialog.modifierEdit(), 20}}) {
        f.edit->clear();
        QTest::keyClicks(f.edit, QString(f.limit + 5, QLatin1Char('x')));
        EXPECT_EQ(f.edit->text().size(), f.limit);
    }
    const LadderInfo edited = dialog.info();
    EXPECT_EQ(edited.version, QString(15, QLatin1Char('x')));
    EXPECT_EQ(edited.machine.size(), 40);
    EXPECT_EQ(edited.modifier.size(), 20);
    EXPECT_EQ(edited.saveTime, info.saveTime);   // not the user's to change
}

TEST(RungpadErrorLine, LineAndCellOfAnErrorText)
{
    LadderTextError e;
    auto ladder = readLadderText(s("X000.0 - [] - . - - - - (Y000.0)\n"
                                   "X000.1 - - - {1900:TMR} {1901} - - - (R000.0)\n"
                                   ". . . . {1910} {1911}\n"
                                   "X000.2+ - - - - - - - - ()\n"),
                                 &e);
    ASSERT_TRUE(ladder);
    struct Case {
        const char* text;
        CellPos cell;
    };
    const Case cases[] = {
        {"Ladder the 0001 Line, error code: 1001 address of relay or coil not set", {0, 2}},
        {"Ladder the 0001 Line, error code: 1009 network horizon not connected", {0, 4}},
        {"梯图第0001行  错误代号 1006 网络中存在非法的输出", {0, 9}},
        {"Ladder the 0002 Line, error code: 1022 input function instruction name", {1, 5}},
        {"Ladder the 0002 Line, error code: 1019 sequence program zone full, so reduce ladder", {1, 4}},
        {"Ladder the 0004 Line, error code: 1030 incorrect vertical line in NET", {3, 0}},
        {"Ladder the 0004 Line, error code: 1001 address of relay or coil not set", {3, 9}},
        {"Ladder the 0099 Line, error code: 1005 error in  END1/END2", {3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parseErrorLine(s(c.text));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(errorCell(*ladder, *parsed), c.cell);
    }
    EXPECT_FALSE(parseErrorLine(s("Converting...")));
    EXPECT_FALSE(parseErrorLine(s("Ladder the 0000 Line, error code: 1001")));
}

TEST(RungpadFileFilter, OlderFormBecomesQtForm)
{
    EXPECT_EQ(qtFileFilter(s("PLC Lad file (*.plf;*.grp)|*.plf;*.grp|backup file (*.bak)|*.bak|All file(*.*)|*.*||")),
              s("PLC Lad file (*.plf *.grp);;backup file (*.bak);;All file (*.*)"));
}

// Not a check: the pictures of a real ladder for the README, taken when asked for.
TEST_F(RungpadFrameTest, PictureOfALadderWithBlocks)
{
    startFrame(1);
    CommentTables comments;
    comments.setCommentOf("X000.0", s("start button"));
    comments.setCommentOf("X000.1", s("stop button 停止"));
    comments.setCommentOf("Y000.0", s("conveyor motor"));
    CRungpadView* view = openLadder("conveyor.plf", ladderFile(kShowLadder, comments));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->document()->ladder().lineCount(), 14);
    click(view, 0, 0);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->cellRect(6, 3).center());
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, view->cellRect(7, 6).center());
    click(view, 0, 1, Qt::NoModifier);
    frame->convertActive();
    maybeShoot(frame.get(), "rungpad-ladder.png");
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Editing through the window: menus, keys, clicks and the dialogs.

namespace {

class RungpadEditTest : public RungpadFrameTest {
protected:
    void startEditing(int language = 1)
    {
        startFrame(language);
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    CRungpadView* newLadder()
    {
        frame->action(CMainFrame::New)->trigger();
        CRungpadView* view = frame->activeView();
        view->setFocus();
        return view;
    }
    CRungpadView* editLadder(const char* name, const char* text)
    {
        CRungpadView* view = openLadder(name, ladderFile(text));
        if (view)
            view->setFocus();
        return view;
    }
    static void key(CRungpadView* view, int k, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(view, Qt::Key(k), mods);
    }
    // A contact or coil by its shortcut, the element dialog answering `text`.
    void place(CRungpadView* view, int k, const char* text)
    {
        dialogs.texts.push_back(s(text));
        key(view, k, Qt::ControlModifier);
    }
    static QString textOf(CRungpadView* view) { return writeLadderText(view->document()->ladder()); }
    static const LadderCell& cell(CRungpadView* view, int line, int column)
    {
        return view->document()->ladder().cell(line, column);
    }
    QString lastOutput() const { return outputLines().isEmpty() ? QString() : outputLines().back(); }
    int codtLines(CRungpadView* view) const
    {
        int n = 0;
        for (int l = 0; l < view->document()->ladder().lineCount(); ++l)
            n += isCodt(cell(view, l, 0).code) ? 1 : 0;
        return n;
    }
};

// Acts on the next modal dialog as soon as it is open (the dialogs block in exec()).
void onNextDialog(std::function<void(QDialog*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

// Types into the focused field of the next dialog and presses Enter: keys only.
void typeIntoNextDialog(const QString& text)
{
    onNextDialog([text](QDialog* dialog) {
        QWidget* field = qobject_cast<QLineEdit*>(dialog->focusWidget());
        if (!field)
            field = dialog->findChild<QLineEdit*>();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    });
}

}  // namespace

TEST_F(RungpadEditTest, PlacementRulesAndAddressChecksByShortcut)
{
    startEditing(1);
    CRungpadView* view = newLadder();
    ASSERT_NE(view, nullptr);
    // x5.3 is stored as X005.3; every placement reports its check.
    place(view, Qt::Key_Q, "x5.3");
    EXPECT_EQ(cell(view, 0, 0).code, kContactNO);
    EXPECT_EQ(cell(view, 0, 0).text(), QByteArray("X005.3"));
    EXPECT_EQ(outputLines().mid(outputLines().size() - 2), (QStringList{s("Checking..."), s("Accept!")}));
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{0, 1}));
    // Placing on the last line added a line after it.
    EXPECT_EQ(view->document()->ladder().lineCount(), 2);
    place(view, Qt::Key_W, "X0.1");
    place(view, Qt::Key_Q, "X0.2");
    // The coil goes to column 9, the empty cells between are wired.
    place(view, Qt::Key_E, "y1.0");
    EXPECT_EQ(cell(view, 0, 9).code, kCoil);
    EXPECT_EQ(cell(view, 0, 9).text(), QByteArray("Y001.0"));
    for (int c = 3; c < 9; ++c)
        EXPECT_EQ(cell(view, 0, c).code, kHorizontalWire) << c;
    EXPECT_EQ(cell(view, 0, 1).code, kContactNC);

    // Refused texts: the numbered error line, the cell as it was.
    struct Bad {
        int key;
        const char* text;
    };
    const Bad bad[] = {{Qt::Key_Q, "X5"}, {Qt::Key_Q, "X200.0"}, {Qt::Key_E, "R990.0"}, {Qt::Key_R, "Y001.0"},
                       {Qt::Key_E, "X001.0"}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.text);
        click(view, 1, 0);
        const QString before = textOf(view);
        place(view, b.key, b.text);
        EXPECT_TRUE(lastOutput().startsWith(s("Ladder the 0002 Line, error code: 1011"))) << lastOutput().toStdString();
        EXPECT_EQ(textOf(view), before);
        EXPECT_EQ(view->cursorCell(), (ui::CellPos{1, 0}));
    }
    // Escape in the dialog (a cancelled answer) places nothing.
    const QString before = textOf(view);
    dialogs.texts.push_back(std::nullopt);
    key(view, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), before);

    // Wires, vertical links and delete node by key.
    click(view, 1, 2);
    key(view, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(cell(view, 1, 2).code, kHorizontalWire);
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{1, 3}));
    click(view, 0, 0);
    key(view, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(cell(view, 0, 0).hasLink());
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{1, 0}));
    click(view, 0, 0);
    key(view, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(cell(view, 0, 0).hasLink());
    key(view, Qt::Key_Delete);
    EXPECT_EQ(cell(view, 0, 0).code, kEmpty);
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{0, 1}));
    // The modified mark is on the child's title.
    EXPECT_TRUE(frame->mdiArea()->activeSubWindow()->windowTitle().endsWith(s(" *")));
}

TEST_F(RungpadEditTest, BlocksRefusePlacementsAndTakeTheirParameters)
{
    startEditing(1);
    CRungpadView* view = newLadder();
    ASSERT_NE(view, nullptr);
    // Ctrl+A: the function instruction dialog; an unknown name is refused with a message.
    dialogs.texts.push_back(s("TMX"));
    key(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(prompter.shown.back(), s("Input error!"));
    EXPECT_EQ(view->document()->ladder().lineCount(), 1);
    dialogs.texts.push_back(s("tmr"));
    key(view, Qt::Key_A, Qt::ControlModifier);
    const LadderProgram& ladder = view->document()->ladder();
    ASSERT_GE(ladder.lineCount(), 3);
    int nameColumn = -1;
    for (int c = 0; c < kColumns; ++c)
        if (ladder.cell(0, c).text() == "TMR")
            nameColumn = c;
    ASSERT_GE(nameColumn, 1);

    // The block's own refusals: no vertical link on its lines, no coil left of it, no
    // contact right of it; the dialog does not even open.
    const QString before = textOf(view);
    const size_t dialogsBefore = dialogs.prompts.size();
    click(view, 0, 0);
    key(view, Qt::Key_D, Qt::ControlModifier);
    key(view, Qt::Key_E, Qt::ControlModifier);
    click(view, 0, 9);
    key(view, Qt::Key_Q, Qt::ControlModifier);
    click(view, 1, nameColumn);
    key(view, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), before);
    EXPECT_EQ(dialogs.prompts.size(), dialogsBefore);

    // The parameter cell: Enter opens the dialog with the table's prompt; a good number
    // is stored with leading zeros, a bad one gives 1012 and changes nothing.
    click(view, 0, nameColumn + 1);
    dialogs.texts.push_back(s("200"));
    key(view, Qt::Key_Return);
    EXPECT_EQ(dialogs.prompts.back(), prompt(fn::TMR, 1, 1));
    EXPECT_TRUE(lastOutput().contains(s("1012"))) << lastOutput().toStdString();
    dialogs.texts.push_back(s("5"));
    key(view, Qt::Key_F2);
    EXPECT_EQ(ladder.cell(0, nameColumn + 1).text(), QByteArray("0005"));
    EXPECT_EQ(lastOutput(), s("Accept!"));
    // Double-click re-edits as well, the dialog showing the stored text.
    dialogs.texts.push_back(s("7"));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->cellRect(0, nameColumn + 1).center());
    EXPECT_EQ(dialogs.initials.back(), s("0005"));
    EXPECT_EQ(ladder.cell(0, nameColumn + 1).text(), QByteArray("0007"));

    // Delete node on a block cell removes the whole block, one undo brings it back.
    const QString withBlock = textOf(view);
    click(view, 0, nameColumn);
    key(view, Qt::Key_Delete);
    EXPECT_EQ(ladder.lineCount(), 1);
    key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), withBlock);
}

TEST_F(RungpadEditTest, CodCapacityGivesItsTableAndLineDeletionTakesWholeBlocks)
{
    startEditing(0);
    CRungpadView* view = newLadder();
    ASSERT_NE(view, nullptr);
    dialogs.texts.push_back(s("COD"));
    key(view, Qt::Key_A, Qt::ControlModifier);
    const LadderProgram& ladder = view->document()->ladder();
    int capacityColumn = -1;
    for (int c = 0; c < kColumns; ++c)
        if (ladder.cell(0, c).code != kEmpty && isFunctionBlockCode(ladder.cell(0, c).code)
            && blockColumnOf(ladder.cell(0, c).code) == 2)
            capacityColumn = c;
    ASSERT_GE(capacityColumn, 0);
    click(view, 0, capacityColumn);
    dialogs.texts.push_back(s("25"));
    key(view, Qt::Key_Return);
    EXPECT_EQ(codtLines(view), 3);
    // One step: a single undo takes the three table lines away again.
    key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(codtLines(view), 0);
    key(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(codtLines(view), 3);
    // Chinese: the refused function name.
    dialogs.texts.push_back(s("XYZ"));
    key(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(prompter.shown.back(), s("功能指令输入错误!"));

    // Selecting one line of the block and its table: Ctrl+Del takes the whole group; the
    // line after it stays.
    const int lines = ladder.lineCount();
    const auto extent = blockExtent(ladder, 0);
    ASSERT_TRUE(extent);
    click(view, extent->last, 3);
    key(view, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ladder.lineCount(), lines - (extent->last - extent->first + 1));
    EXPECT_EQ(codtLines(view), 0);
    EXPECT_GE(ladder.lineCount(), 1);

    // Insert: the count dialog, and the line limit's message.
    dialogs.numbers = {3, 6000};
    key(view, Qt::Key_Insert);
    EXPECT_EQ(ladder.lineCount(), lines - (extent->last - extent->first + 1) + 3);
    const int afterInsert = ladder.lineCount();
    key(view, Qt::Key_Insert);
    EXPECT_EQ(ladder.lineCount(), afterInsert);
    EXPECT_EQ(prompter.shown.back(), s(kBeyondMaxLineZh));
}

TEST_F(RungpadEditTest, SixtyEditsFiftyUndosAndRedosRestoreTheExactBytes)
{
    startEditing(1);
    CRungpadView* view = newLadder();
    ASSERT_NE(view, nullptr);
    const QString path = dir.filePath(s("undo.plf"));
    std::vector<QByteArray> states;   // ladder bytes after each edit
    auto bytes = [&] { return formatLadderPart(view->document()->ladder(), {}, NumberField::FromText); };
    states.push_back(bytes());
    for (int i = 0; i < 60; ++i) {
        click(view, i / 8, i % 8);
        if (i % 3 == 2) {
            key(view, Qt::Key_G, Qt::ControlModifier);
        } else {
            dialogs.texts.push_back(QStringLiteral("X%1.%2").arg(i / 8).arg(i % 8));
            key(view, i % 3 ? Qt::Key_W : Qt::Key_Q, Qt::ControlModifier);
        }
        states.push_back(bytes());
        ASSERT_NE(states.back(), states[states.size() - 2]) << i;
    }
    // Saved after the 60th: clean, no mark.
    dialogs.files.push_back(path);
    key(view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(view->document()->isModified());
    for (int i = 0; i < 50; ++i)
        key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytes(), states[10]);
    EXPECT_TRUE(view->document()->isModified());
    // The ring holds 50: a 51st undo changes nothing.
    key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytes(), states[10]);
    for (int i = 0; i < 25; ++i)
        key(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(bytes(), states[35]);
    for (int i = 0; i < 25; ++i)
        key(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(bytes(), states[60]);
    // Back at the saved step: the mark goes.
    EXPECT_FALSE(view->document()->isModified());
    EXPECT_FALSE(frame->mdiArea()->activeSubWindow()->windowTitle().endsWith(s(" *")));
    key(view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(parseLadderFile(readFile(path), false).ladder.lineCount(), view->document()->ladder().lineCount());
}

TEST_F(RungpadEditTest, ClipboardRefusesOverABlockAndMovesLinesBetweenDocuments)
{
    startEditing(1);
    CRungpadView* first = editLadder("good.plf", kGoodLadder);
    ASSERT_NE(first, nullptr);
    // Two contact cells pasted onto the TMR block's line: refused.
    click(first, 0, 0);
    click(first, 0, 1, Qt::ShiftModifier);
    key(first, Qt::Key_C, Qt::ControlModifier);
    click(first, 1, 3);
    const QString before = textOf(first);
    key(first, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(prompter.shown.back(), s("Operation error!"));
    EXPECT_EQ(textOf(first), before);

    // Whole lines: the first rung goes to the system clipboard as ladder text...
    click(first, 0, 0);
    click(first, 0, 9, Qt::ShiftModifier);
    key(first, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(s("X000.0")));
    // ...and pastes into a second document.
    CRungpadView* second = newLadder();
    ASSERT_NE(second, first);
    key(second, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(second->document()->ladder().line(0), first->document()->ladder().line(0));
    EXPECT_EQ(second->document()->ladder().note(0), s("start conveyor"));
    // Lines from another program, in the same text form.
    QGuiApplication::clipboard()->setText(s("X001.0 - - - - - - - - (Y002.0)\n"));
    click(second, 0, 0);
    key(second, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(second->document()->ladder().cell(0, 9).text(), QByteArray("Y002.0"));
    // One undo takes one paste back.
    key(second, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(second->document()->ladder().line(0), first->document()->ladder().line(0));
}

TEST_F(RungpadEditTest, FindReplaceAndReplaceAllWithOneUndoStep)
{
    startEditing(1);
    CRungpadView* view = editLadder("show.plf", kShowLadder);
    ASSERT_NE(view, nullptr);
    click(view, 0, 0);
    // A typed address is searched in its stored form.
    dialogs.finds.push_back(FindRequest{s("y1.0"), {}, true, FindRequest::FindNext});
    key(view, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{10, 5}));
    // F3 goes on, Shift+F3 goes back.
    key(view, Qt::Key_F3);
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{11, 5}));
    key(view, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{10, 5}));
    dialogs.finds.push_back(FindRequest{s("Q000.0"), {}, true, FindRequest::FindNext});
    key(view, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(prompter.shown.back(), s("Pattern not found!"));

    // Replace: a typo that fails the address check is refused with its error line.
    click(view, 0, 0);
    const QString before = textOf(view);
    dialogs.finds.push_back(FindRequest{s("X000.0"), s("X0.9"), true, FindRequest::Replace});
    key(view, Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(lastOutput().contains(s("1011"))) << lastOutput().toStdString();
    EXPECT_EQ(textOf(view), before);
    dialogs.finds.push_back(FindRequest{s("X000.0"), s("X002.0"), true, FindRequest::Replace});
    key(view, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(cell(view, 0, 0).text(), QByteArray("X002.0"));

    // Replace all: every Y001.0, then one undo takes all of them back.
    const QString beforeAll = textOf(view);
    dialogs.finds.push_back(FindRequest{s("Y001.0"), s("Y003.1"), true, FindRequest::ReplaceAll});
    key(view, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(cell(view, 10, 5).text(), QByteArray("Y003.1"));
    EXPECT_EQ(cell(view, 11, 5).text(), QByteArray("Y003.1"));
    EXPECT_EQ(lastOutput(), s("Complete"));
    key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), beforeAll);
    // Go to line.
    dialogs.numbers.push_back(12);
    key(view, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(view->cursorCell().line, 11);
}

TEST_F(RungpadEditTest, LineNoteEditedInPlaceKeepsTheLadderKeysAndIsSaved)
{
    startEditing(1);
    CRungpadView* view = editLadder("note.plf", kGoodLadder);
    ASSERT_NE(view, nullptr);
    const QString before = textOf(view);
    const QPoint noteArea(view->cellRect(2, 9).right() + 40, view->cellRect(2, 9).center().y());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, noteArea);
    QLineEdit* editor = view->lineNoteEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->hasFocus());
    // Del, Insert and Ctrl+Q edit the note, never the ladder.
    QTest::keyClicks(editor, s("pump on"));
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClick(editor, Qt::Key_Insert);
    QTest::keyClick(editor, Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(view->lineNoteEditor(), nullptr);
    EXPECT_EQ(view->document()->ladder().note(2), s("pump on"));
    EXPECT_EQ(dialogs.texts.size(), 0u);
    // Escape drops a change.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, noteArea);
    ASSERT_NE(view->lineNoteEditor(), nullptr);
    QTest::keyClicks(view->lineNoteEditor(), s(" later"));
    QTest::keyClick(view->lineNoteEditor(), Qt::Key_Escape);
    EXPECT_EQ(view->document()->ladder().note(2), s("pump on"));

    // The note is one undo step.
    key(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), before);
    key(view, Qt::Key_Y, Qt::ControlModifier);
    key(view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(view->document()->isModified());
    ASSERT_TRUE(frame->closeActive());
    ASSERT_TRUE(frame->openFile(dir.filePath(s("note.plf"))));
    EXPECT_EQ(frame->activeView()->document()->ladder().note(2), s("pump on"));
}

TEST_F(RungpadEditTest, ContextMenuAndCrossReference)
{
    startEditing(1);
    CRungpadView* view = editLadder("show.plf", kShowLadder);
    ASSERT_NE(view, nullptr);
    frame->crossReferenceDock()->show();
    click(view, 0, 9);
    QCoreApplication::processEvents();   // the list is made when the window is idle
    // Y000.0: its coil and the contact below it.
    QListWidget* list = frame->crossReferenceList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(1)->text().startsWith(s("Line 0002  Col 1"))) << list->item(1)->text().toStdString();
    list->setCurrentRow(1);
    Q_EMIT list->itemActivated(list->item(1));
    EXPECT_EQ(view->cursorCell(), (ui::CellPos{1, 0}));
    // Modify notation (Ctrl+T): the comment of the cursor's address, in the notation window.
    dialogs.texts.push_back(s("run lamp"));
    key(view, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(view->document()->data().comments.commentOf("Y000.0"), s("run lamp"));
    EXPECT_TRUE(frame->notationWindow()->toPlainText().contains(s("run lamp")));

    // The right button: Modify Notation, Basic dictate, Function dictate with 38 names.
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->cellRect(2, 3).center());
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, view->cellRect(2, 3).center(),
                                view->viewport()->mapToGlobal(view->cellRect(2, 3).center()));
    QApplication::sendEvent(view->viewport(), &menuEvent);
    QMenu* menu = frame->contextMenu();
    ASSERT_TRUE(menu->isVisible());
    const QList<QAction*> top = menu->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[1]->text(), s("&Basic dictate"));
    EXPECT_EQ(top[2]->text(), s("&Function dictate"));
    QMenu* functions = top[2]->menu();
    ASSERT_EQ(functions->actions().size(), 38);
    menu->hide();
    const int lines = view->document()->ladder().lineCount();
    functions->actions()[0]->trigger();   // CTR: four lines
    EXPECT_EQ(view->document()->ladder().lineCount(), lines + 4);
    EXPECT_EQ(view->cursorCell().line, 2);
    // The picture: the edited ladder, the cursor on the coil and every use of it listed.
    frame->instructionListDock()->hide();
    click(view, 0, 9);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->count(), 2);
    maybeShoot(frame.get(), "rungpad-editing.png");
}

TEST_F(RungpadEditTest, LadderKeysStayWithTheViewAndMenusSpeakBothLanguages)
{
    startEditing(0);
    CRungpadView* view = editLadder("good.plf", kGoodLadder);
    ASSERT_NE(view, nullptr);
    const QString before = textOf(view);
    // Focus in the output window: Del, Insert and Ctrl+Q do not touch the ladder.
    frame->outputWindow()->setFocus();
    for (int k : {int(Qt::Key_Delete), int(Qt::Key_Insert)})
        QTest::keyClick(frame->outputWindow(), Qt::Key(k));
    QTest::keyClick(frame->outputWindow(), Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(frame->outputWindow(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), before);
    EXPECT_TRUE(dialogs.prompts.empty());

    // The menu texts and shortcuts of the editing commands, in Chinese and in English.
    struct Entry {
        CMainFrame::Command command;
        const char* chinese;
        const char* english;
        const char* keys;
    };
    const Entry entries[] = {
        {CMainFrame::PlaceContactNO, "常开触点(&P)", "Normally o&pen contact", "Ctrl+Q"},
        {CMainFrame::PlaceContactNC, "常闭触点(&C)", "Normally &closed contact", "Ctrl+W"},
        {CMainFrame::PlaceCoil, "输出线圈(&O)", "&Output coil", "Ctrl+E"},
        {CMainFrame::PlaceCoilNot, "输出线圈取反(&G)", "Ne&gated output coil", "Ctrl+R"},
        {CMainFrame::PlaceWire, "水平导通线(&H)", "&Horizontal wire", "Ctrl+G"},
        {CMainFrame::VerticalLink, "竖直导通线(&W)", "Vertical &wire", "Ctrl+D"},
        {CMainFrame::DeleteNode, "删除节点(&E)", "Delete nod&e", "Del"},
        {CMainFrame::DeleteVerticalLink, "删除竖直线(&R)", "Delete ve&rtical wire", "Ctrl+Shift+D"},
        {CMainFrame::FunctionInstruction, "功能指令(&U)...", "F&unction instruction...", "Ctrl+A"},
        {CMainFrame::InsertLines, "插入行(&I)...", "&Insert line...", "Ins"},
        {CMainFrame::DeleteLines, "删除行(&D)", "&Delete line", "Ctrl+Del"},
        {CMainFrame::Undo, "撤消(&U)", "&Undo", "Ctrl+Z"},
        {CMainFrame::ModifyNotation, "修改注释(&M)...", "&Modify Notation...", "Ctrl+T"},
        {CMainFrame::Find, "查找(&F)...", "&Find...", "Ctrl+F"},
        {CMainFrame::Replace, "替换(&R)...", "&Replace...", "Ctrl+H"},
        {CMainFrame::GoToLine, "转到行(&G)...", "&Go to Line...", "Ctrl+L"},
    };
    for (int language : {0, 1}) {
        frame->setLanguage(language);
        for (const Entry& e : entries) {
            EXPECT_EQ(frame->action(e.command)->text(), s(language == 0 ? e.chinese : e.english));
            EXPECT_EQ(frame->action(e.command)->shortcut().toString(), s(e.keys));
        }
    }
    EXPECT_EQ(frame->action(CMainFrame::Redo)->shortcuts(),
              (QList<QKeySequence>{QKeySequence(s("Ctrl+Y")), QKeySequence(s("Ctrl+Shift+Z"))}));
}

TEST_F(RungpadEditTest, EachBlockShapeTakesAGoodParameterAndRefusesABadOne)
{
    startEditing(1);
    struct Case {
        const char* name;
        int column;        // parameter column of the block
        const char* good;
        const char* stored;
        const char* bad;
        const char* error;
    };
    const Case cases[] = {
        {"CTR", 1, "5", "0005", "200", "1012"},
        {"TMRB", 1, "3", "0003", "9", "1012"},
        {"TMRB", 3, "60000", "60000", "70000", "1012"},
        {"COMP", 1, "1001", "1001", "5", "101"},
        {"MOVB", 2, "d10", "D0010", "X010", "1011"},
        {"MOVN", 1, "256", "0256", "0", "1012"},
        {"SET", 1, "y1.0", "Y001.0", "X001.0", "1011"},
        {"DIFU", 1, "3", "0003", "300", "1012"},
        {"CALL", 1, "5", "0005", "100", "1012"},
        {"AXCTL", 1, "5", "0005", "4", "1012"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " column " + std::to_string(c.column));
        CRungpadView* view = newLadder();
        dialogs.texts.push_back(s(c.name));
        key(view, Qt::Key_A, Qt::ControlModifier);
        const LadderProgram& ladder = view->document()->ladder();
        int nameColumn = -1;
        for (int col = 0; col < kColumns; ++col)
            if (ladder.cell(0, col).text() == QByteArray(c.name))
                nameColumn = col;
        ASSERT_GE(nameColumn, 0);
        click(view, 0, nameColumn + c.column);
        dialogs.texts.push_back(s(c.bad));
        key(view, Qt::Key_Return);
        EXPECT_EQ(dialogs.prompts.back(), prompt(codeOf(c.name), c.column, 1));
        EXPECT_TRUE(lastOutput().contains(s("error code: ") + s(c.error))) << lastOutput().toStdString();
        EXPECT_FALSE(ladder.cell(0, nameColumn + c.column).hasText());
        dialogs.texts.push_back(s(c.good));
        key(view, Qt::Key_Return);
        EXPECT_EQ(lastOutput(), s("Accept!"));
        EXPECT_EQ(ladder.cell(0, nameColumn + c.column).text(), QByteArray(c.stored));
    }
}

TEST(RungpadElementDialog, AddressFieldIsNormalisedWhenItLosesTheFocus)
{
    struct Case {
        const char* typed;
        bool address;
        const char* shown;
    };
    const Case cases[] = {
        {"x5.3", true, "X005.3"}, {"r12", true, "r12"}, {"XYZ", true, "XYZ"},
        {"x5.3", false, "x5.3"},   // a parameter keeps its text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        CElementDlg dialog(s("Normally-open contact"), {}, c.address, 1);
        auto* other = new QLineEdit(&dialog);
        dialog.layout()->addWidget(other);
        dialog.show();
        dialog.textEdit()->setFocus();
        QTest::keyClicks(dialog.textEdit(), s(c.typed));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(dialog.textEdit(), &out);
        EXPECT_EQ(dialog.text(), s(c.shown));
        EXPECT_EQ(dialog.textEdit()->maxLength(), 7);
    }
}

// A technician at the keyboard: three rungs with a timer, converted, saved and read back.
TEST_F(RungpadEditTest, KeyboardOnlySessionEntersConvertsAndSavesALadder)
{
    startEditing(1);
    dialogs.real = true;
    frame->action(CMainFrame::New)->trigger();
    CRungpadView* view = frame->activeView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->hasFocus());
    // The window system gives the frame its activation back when a dialog closes; the
    // offscreen platform leaves that to us.
    auto active = [&] {
        if (QApplication::activeWindow() != frame.get()) {
            frame->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        }
    };
    auto keys = [&](int k, Qt::KeyboardModifiers mods = {}) {
        active();
        QTest::keyClick(view, Qt::Key(k), mods);
    };
    auto contact = [&](const char* rest, char letter) {
        typeIntoNextDialog(s(rest));
        active();
        QTest::keyClick(view, letter);   // a letter on an empty cell opens the dialog with it
    };
    auto coil = [&](const char* text) {
        typeIntoNextDialog(s(text));
        keys(Qt::Key_E, Qt::ControlModifier);
    };
    auto function = [&](const char* name) {
        typeIntoNextDialog(s(name));
        keys(Qt::Key_A, Qt::ControlModifier);
    };
    auto nextLine = [&] {
        keys(Qt::Key_Down);
        keys(Qt::Key_Home);
    };
    // Rung 1: X0.0 and not X0.1 start the conveyor.
    contact("0.0", 'x');
    typeIntoNextDialog(s("x0.1"));
    keys(Qt::Key_W, Qt::ControlModifier);
    coil("y0.0");
    nextLine();
    // Rung 2: a timer, its number entered in the parameter cell, its coil.
    function("TMR");
    const int nameColumn = view->cursorCell().column;
    int tmrColumn = -1;
    for (int c = 0; c < kColumns; ++c)
        if (view->document()->ladder().cell(1, c).text() == "TMR")
            tmrColumn = c;
    ASSERT_GE(tmrColumn, 0) << textOf(view).toStdString() << outputLines().join(s("\n")).toStdString()
                            << dialogs.prompts.size() << (dialogs.initials.empty() ? std::string() : dialogs.initials[0].toStdString());
    keys(Qt::Key_Home);
    for (int c = 0; c <= tmrColumn; ++c)
        keys(Qt::Key_Right);
    (void)nameColumn;
    typeIntoNextDialog(s("3"));
    keys(Qt::Key_Return);
    // Coils are refused on the block itself: from column 9.
    keys(Qt::Key_End);
    coil("r0.0");
    // The contact that starts the timer, at the left of its first line.
    keys(Qt::Key_Home);
    contact("0.2", 'x');
    // Rung 3 and the level ends, below the timer's lines.
    keys(Qt::Key_End, Qt::ControlModifier);
    keys(Qt::Key_Home);
    contact("000.0", 'r');
    coil("y0.1");
    nextLine();
    function("END1");
    keys(Qt::Key_End, Qt::ControlModifier);
    function("END2");
    // Nothing of the first rung was lost on the way.
    const LadderProgram& ladder = view->document()->ladder();
    EXPECT_EQ(ladder.cell(0, 0).text(), QByteArray("X000.0"));
    EXPECT_EQ(ladder.cell(0, 1).code, kContactNC);
    EXPECT_EQ(ladder.cell(0, 9).text(), QByteArray("Y000.0"));
    EXPECT_EQ(ladder.cell(1, tmrColumn + 1).text(), QByteArray("0003"));

    keys(Qt::Key_F7);
    EXPECT_TRUE(view->document()->data().isConverted()) << outputLines().join(s("\n")).toStdString() << "\n"
                                                         << textOf(view).toStdString();
    // Any undo or redo ends the converted state, even back to the same ladder.
    const QString converted = textOf(view);
    keys(Qt::Key_Z, Qt::ControlModifier);
    keys(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), converted);
    EXPECT_FALSE(view->document()->data().isConverted());
    keys(Qt::Key_F7);
    const QString path = dir.filePath(s("keyboard.plf"));
    dialogs.files.push_back(path);
    keys(Qt::Key_S, Qt::ControlModifier);
    const QString entered = textOf(view);
    frame->closeActive();
    ASSERT_TRUE(frame->openFile(path));
    EXPECT_EQ(textOf(frame->activeView()), entered);
}

// The window on a full or failing disk: every save and output says the system's reason in a
// message box, the output window never claims the write, the document stays modified with
// its window open, and the earlier files are untouched.
TEST_F(RungpadFrameTest, FullDiskKeepsTheDocumentModifiedOpenAndTheFilesAsTheyWere)
{
    struct Point {
        const char* name;
        vantor::FileFault::Step step;
        int error;
        qint64 after;
    };
    const Point points[] = {
        {"before the first byte", vantor::FileFault::Step::Write, ENOSPC, 0},
        {"in the middle", vantor::FileFault::Step::Write, ENOSPC, 5},
        {"at fsync", vantor::FileFault::Step::Sync, EIO, 0},
        {"at rename", vantor::FileFault::Step::Rename, ENOSPC, 0},
    };
    startFrame(1);
    CRungpadView* view = openLadder("good.plf", ladderFile(kGoodLadder));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(frame->convertActive());
    const QString plf = dir.filePath(s("good.plf"));
    const QString bin = file("Ladbin.dat", "earlier image");
    const QString pdf = file("good.pdf", "earlier pdf");
    const QString notes = file("LadChi01.txt", "earlier notes");
    const QByteArray before = readFile(plf);
    for (const Point& p : points) {
        SCOPED_TRACE(p.name);
        const QString reason = vantor::systemErrorText(p.error);
        auto saidWhy = [&] { return !prompter.shown.empty() && prompter.shown.back().contains(reason); };
        view->document()->ladderEdited();
        vantor::ScopedFileFault fault({p.step, p.error, p.after, dir.path()});

        prompter.shown.clear();
        EXPECT_FALSE(frame->saveActive(false));
        EXPECT_TRUE(saidWhy());
        EXPECT_TRUE(view->document()->isModified());
        EXPECT_FALSE(outputLines().contains(s("File has saved.")));

        prompter.shown.clear();
        dialogs.files.push_back(dir.filePath(s("other.plf")));
        EXPECT_FALSE(frame->saveActive(true));
        EXPECT_TRUE(saidWhy());
        EXPECT_EQ(view->document()->path(), plf);

        // Closing: Yes to saving, the save fails, the window stays.
        prompter.shown.clear();
        prompter.answers = {vantor::Answer::Yes};
        EXPECT_FALSE(frame->closeActive());
        QTest::qWait(10);
        EXPECT_EQ(frame->views().size(), 1);
        EXPECT_TRUE(saidWhy());

        prompter.shown.clear();
        ASSERT_TRUE(frame->convertActive());   // the edit made the last conversion stale
        dialogs.files.push_back(bin);
        frame->action(CMainFrame::GenerateBinary)->trigger();
        EXPECT_TRUE(saidWhy());
        EXPECT_FALSE(outputLines().contains(s("Succeed!")));

        prompter.shown.clear();
        EXPECT_FALSE(frame->exportPdf(pdf));
        EXPECT_TRUE(saidWhy());
        EXPECT_FALSE(outputLines().join(QLatin1Char('\n')).contains(s("PDF saved")));

        prompter.shown.clear();
        dialogs.files.push_back(notes);
        frame->action(CMainFrame::ExportNotation)->trigger();
        EXPECT_TRUE(saidWhy());
        EXPECT_FALSE(outputLines().contains(s("Complete!")));

        EXPECT_EQ(readFile(plf), before);
        EXPECT_EQ(readFile(bin), "earlier image");
        EXPECT_EQ(readFile(pdf), "earlier pdf");
        EXPECT_EQ(readFile(notes), "earlier notes");
        EXPECT_FALSE(QFile::exists(dir.filePath(s("other.plf"))));
    }
    // With room again the same document saves.
    EXPECT_TRUE(frame->saveActive(false));
    EXPECT_FALSE(view->document()->isModified());
}
