// SPDX-License-Identifier: GPL-3.0-or-later
// The frame in daily use: paste takes the last copy or refuses, same-named files get
// titles that tell them apart, the instruction list belongs to the active and unedited
// document, a missing file leaves Recent Files, the gutter comes back with Home, a refused
// placement says why, and every menu has distinct Alt letters in both languages.
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/ui/documentwindows.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/tests/uitestsupport.h"

#include "common/prompter.h"
#include "common/testing/testfiles.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <deque>

using namespace rungpad;
using namespace rungpad::ui;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

const char* kLadder =
    "X000.0 X000.1 - - - - - - - (Y000.0)\n"
    "X000.2 - - - {3600:SET} {3601:Y001.0} - - - -\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

QByteArray ladderFile(const char* text)
{
    return formatLadderPart(*readLadderText(s(text)), {}, NumberField::FromText);
}

class Dialogs : public testsupport::NoDialogs {
public:
    bool real = false;
    WidgetDialogs widgets;
    std::deque<QString> texts;
    std::optional<QString> elementText(QWidget* p, const QString& prompt, const QString& initial, bool address,
                                       int language) override
    {
        if (real)
            return widgets.elementText(p, prompt, initial, address, language);
        if (texts.empty())
            return std::nullopt;
        QString t = texts.front();
        texts.pop_front();
        return t;
    }
};

class DailyUseTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    Dialogs dialogs;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(s("config")));
    }
    void TearDown() override { frame.reset(); }
    void start(int language = 1)
    {
        QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")).setValue(s("VANTORQ5RUNGPAD/LANGUAGE"), language);
        frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()});
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    QString file(const QString& relative, const char* text)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        vantor::testing::writeFile(path, ladderFile(text));
        return path;
    }
    CRungpadView* open(const QString& path)
    {
        EXPECT_TRUE(frame->openFile(path));
        CRungpadView* view = frame->activeView();
        view->setFocus();
        return view;
    }
    static QString textOf(CRungpadView* view) { return writeLadderText(view->document()->ladder()); }
    QString lastOutput() const
    {
        const QStringList lines = frame->outputWindow()->lines();
        return lines.isEmpty() ? QString() : lines.back();
    }
    static void key(CRungpadView* view, int k, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(view, Qt::Key(k), mods);
    }
    QString windowTitleOf(CRungpadView* view) const
    {
        for (QMdiSubWindow* w : frame->mdiArea()->subWindowList())
            if (w->widget() == view)
                return w->windowTitle();
        return {};
    }
};

}  // namespace

TEST_F(DailyUseTest, PasteTakesTheLastCopyOfAnyDocumentOrRefuses)
{
    start();
    CRungpadView* a = open(file(s("a.plf"), kLadder));
    // Two cells of line 1 copied.
    a->selectRange({0, 0}, {0, 1});
    key(a, Qt::Key_C, Qt::ControlModifier);

    // Another program put prose on the clipboard since: pasting it is refused, and the
    // older copy does not come in its place.
    QGuiApplication::clipboard()->setText(s("Dear colleague, see the attached ladder."));
    a->setCursorCell({4, 0});
    const QString before = textOf(a);
    prompter.shown.clear();
    key(a, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(textOf(a), before);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("Operation error!"));

    // Copied again in one document, pasted in another.
    a->selectRange({0, 0}, {0, 1});
    key(a, Qt::Key_C, Qt::ControlModifier);
    frame->action(CMainFrame::New)->trigger();
    CRungpadView* b = frame->activeView();
    b->setFocus();
    b->setCursorCell({0, 2});
    key(b, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(b->document()->ladder().cell(0, 2).text(), QByteArray("X000.0"));
    EXPECT_EQ(b->document()->ladder().cell(0, 3).text(), QByteArray("X000.1"));

    // Whole lines are ladder text on the clipboard: another Rungpad's copy pastes too.
    QGuiApplication::clipboard()->setText(s("X000.5 - - - - - - - - (Y000.5)\n"));
    b->setCursorCell({0, 0});
    const int lines = b->document()->ladder().lineCount();
    key(b, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(b->document()->ladder().lineCount(), lines + 1);
    EXPECT_EQ(b->document()->ladder().cell(0, 0).text(), QByteArray("X000.5"));
}

TEST(DocumentNames, SameFileNamesShowTheirFolders)
{
    EXPECT_EQ(distinctDocumentNames({s("/plant/line1/press.plf"), s("/plant/line2/press.plf"), s("/plant/line1/saw.plf"), {}}),
              (QStringList{QDir::toNativeSeparators(s("line1/press.plf")), QDir::toNativeSeparators(s("line2/press.plf")),
                           s("saw.plf"), QString()}));
    // Equal up to the folder above: one more level.
    EXPECT_EQ(distinctDocumentNames({s("/a/x/press.plf"), s("/b/x/press.plf")}),
              (QStringList{QDir::toNativeSeparators(s("a/x/press.plf")), QDir::toNativeSeparators(s("b/x/press.plf"))}));
}

TEST_F(DailyUseTest, SameNamedDocumentsHaveDistinctTitlesAndWindowMenuEntries)
{
    start();
    CRungpadView* one = open(file(s("line1/press.plf"), kLadder));
    CRungpadView* two = open(file(s("line2/press.plf"), kLadder));
    EXPECT_EQ(windowTitleOf(one), QDir::toNativeSeparators(s("line1/press.plf")));
    EXPECT_EQ(windowTitleOf(two), QDir::toNativeSeparators(s("line2/press.plf")));

    Q_EMIT frame->windowMenu()->aboutToShow();
    QStringList documents;
    for (QAction* a : frame->windowMenu()->actions())
        if (a->property("rungpadDocument").toBool() && !a->isSeparator())
            documents << a->text();
    EXPECT_EQ(documents, (QStringList{s("&1 ") + windowTitleOf(one), s("&2 ") + windowTitleOf(two)}));
    // Choosing an entry activates that document.
    for (QAction* a : frame->windowMenu()->actions())
        if (a->text().startsWith(s("&1 ")))
            a->trigger();
    EXPECT_EQ(frame->activeView(), one);
}

TEST_F(DailyUseTest, InstructionListFollowsTheActiveDocumentAndGoesWithAnEdit)
{
    start();
    CRungpadView* a = open(file(s("a.plf"), kLadder));
    ASSERT_TRUE(frame->convertActive());
    const QString listOfA = frame->instructionListWindow()->toPlainText();
    EXPECT_TRUE(listOfA.contains(s("SET")));

    CRungpadView* b = open(file(s("b.plf"), kLadder));
    EXPECT_TRUE(frame->instructionListWindow()->toPlainText().isEmpty());   // b is not converted
    frame->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(a->parentWidget()));
    EXPECT_EQ(frame->instructionListWindow()->toPlainText(), listOfA);

    // Any edit makes the list one of an older ladder.
    a->setFocus();
    a->setCursorCell({0, 2});
    key(a, Qt::Key_G, Qt::ControlModifier);   // a wire over a cell that was already a wire: an edit all the same
    a->setCursorCell({4, 0});
    dialogs.texts.push_back(s("X000.3"));
    key(a, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(frame->instructionListWindow()->toPlainText().isEmpty());
    Q_UNUSED(b);
}

TEST_F(DailyUseTest, AMissingFileLeavesRecentFilesAndTheRefusalNamesIt)
{
    start();
    const QString path = file(s("gone.plf"), kLadder);
    open(path);
    ASSERT_TRUE(frame->recentFiles().contains(QFileInfo(path).absoluteFilePath()));
    frame->closeActive();
    QFile::remove(path);
    prompter.shown.clear();
    EXPECT_FALSE(frame->openFile(path));
    EXPECT_FALSE(frame->recentFiles().contains(QFileInfo(path).absoluteFilePath()));
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), s("Can not open ladder file!\n") + QDir::toNativeSeparators(path)
                                         + s(": the file does not exist."));
}

TEST_F(DailyUseTest, HomeBringsBackColumnZeroAndTheGutterStaysInSight)
{
    start();
    CRungpadView* view = open(file(s("a.plf"), kLadder));
    frame->resize(500, 700);
    QTest::qWait(20);
    view->setCursorCell({1, 9});
    QScrollBar* h = view->horizontalScrollBar();
    ASSERT_GT(h->value(), 0);
    // Scrolled sideways, the line numbers are still painted at the left edge.
    const QImage shot = view->viewport()->grab().toImage();
    const int gutter = int(60 * view->scale());
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < gutter && x < shot.width(); ++x)
            dark += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
    EXPECT_GT(dark, 20);
    // Walking left, no cell hides under the numbers.
    for (int column = 8; column >= 1; --column) {
        key(view, Qt::Key_Left);
        EXPECT_TRUE(h->value() == 0 || view->cellRect(1, column).left() >= int(72 * view->scale())) << column;
    }
    view->setCursorCell({1, 9});
    key(view, Qt::Key_Home);
    EXPECT_EQ(view->cursorCell(), (rungpad::ui::CellPos{1, 0}));
    EXPECT_EQ(h->value(), 0);
    view->setCursorCell({3, 9});
    key(view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view->cursorCell(), (rungpad::ui::CellPos{0, 0}));
    EXPECT_EQ(h->value(), 0);
}

TEST_F(DailyUseTest, ARefusedPlacementSaysWhyInBothLanguages)
{
    for (int language : {1, 0}) {
        SCOPED_TRACE(language);
        start(language);
        CRungpadView* view = open(file(s("set%1.plf").arg(language), kLadder));
        const QString before = textOf(view);
        view->setCursorCell({1, 1});
        key(view, Qt::Key_E, Qt::ControlModifier);   // a coil on a SET line
        EXPECT_EQ(textOf(view), before);
        EXPECT_EQ(lastOutput(), placementRefusalText(view->document()->ladder(), {1, 1}, kCoil, language));
        EXPECT_TRUE(lastOutput().contains(s("SET"))) << lastOutput().toStdString();
        // A vertical wire on the block line, and deleting the last line, say why too.
        key(view, Qt::Key_D, Qt::ControlModifier);
        EXPECT_EQ(textOf(view), before);
        EXPECT_EQ(lastOutput(), language == 0 ? s("有功能指令的行不能放竖直导通线。")
                                              : s("A vertical wire cannot go on a line that holds a function block."));
        view->setCursorCell({3, 0});
        key(view, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(textOf(view), before);
        EXPECT_FALSE(lastOutput().isEmpty());
        EXPECT_NE(lastOutput(), language == 0 ? s("有功能指令的行不能放竖直导通线。")
                                              : s("A vertical wire cannot go on a line that holds a function block."));
        frame.reset();
    }
}

TEST_F(DailyUseTest, AnAddressWithoutItsBitIsRefusedThroughTheRealDialog)
{
    start();
    CRungpadView* view = open(file(s("a.plf"), kLadder));
    view->setCursorCell({0, 2});
    const QString before = textOf(view);
    dialogs.real = true;
    QTimer::singleShot(0, [] {
        auto* timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [timer] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            timer->stop();
            timer->deleteLater();
            auto* edit = dialog->findChild<QLineEdit*>();
            edit->setText(s("x5"));
            // Leaving the field is when the text is normalised.
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(edit, &out);
            dialog->accept();
        });
        timer->start();
    });
    key(view, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(textOf(view), before);
    EXPECT_TRUE(lastOutput().contains(s("1011"))) << lastOutput().toStdString();
}

TEST_F(DailyUseTest, AnIncompleteCodTableIsMarkedInTheView)
{
    start();
    const char* table =
        "X000.0 - {2600:COD} {2601:0002} {2602:0003} {2603:D0000} {2604:D0010} - - (R100.0)\n"
        "X000.1 - {2610} {2611} {2612} {2613} {2614}\n"
        "{4000:00001} {4001} {4002:00003} {4003} {4004} {4005} {4006} {4007} {4008} {4009}\n"
        "- - - - {7100:END1} - - - - -\n- - - - {7200:END2} - - - - -\n";
    CRungpadView* view = open(file(s("cod.plf"), table));
    view->setCursorCell({0, 9});
    QTest::qWait(20);
    const QImage shot = view->viewport()->grab().toImage();
    auto redIn = [&](int column) {
        const QRect r = view->cellRect(2, column).intersected(shot.rect());
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                n += c.red() > 180 && c.green() < 90 && c.blue() < 90 ? 1 : 0;
            }
        return n;
    };
    EXPECT_GT(redIn(1), 0);    // inside the capacity of 3, empty
    EXPECT_EQ(redIn(0), 0);    // holds its value
    EXPECT_EQ(redIn(4), 0);    // past the capacity
}

TEST_F(DailyUseTest, ElementBlockAndEditCommandsHaveDrawnToolbarIcons)
{
    start();
    const CMainFrame::Command commands[] = {
        CMainFrame::PlaceContactNO, CMainFrame::PlaceContactNC, CMainFrame::PlaceCoil, CMainFrame::PlaceCoilNot,
        CMainFrame::PlaceWire, CMainFrame::VerticalLink, CMainFrame::DeleteNode, CMainFrame::DeleteVerticalLink,
        CMainFrame::FunctionInstruction, CMainFrame::InsertLines, CMainFrame::DeleteLines, CMainFrame::Undo,
        CMainFrame::Redo, CMainFrame::Cut, CMainFrame::Copy, CMainFrame::Paste, CMainFrame::Find,
    };
    QList<QAction*> onBars;
    for (QToolBar* bar : frame->findChildren<QToolBar*>())
        onBars << bar->actions();
    for (int language : {0, 1}) {
        frame->setLanguage(language);
        for (CMainFrame::Command c : commands) {
            QAction* a = frame->action(c);
            SCOPED_TRACE(a->text().toStdString());
            EXPECT_TRUE(onBars.contains(a));
            // The icon comes from the program's own resources, in both sizes.
            EXPECT_FALSE(a->icon().pixmap(24, 24).isNull());
            EXPECT_EQ(a->icon().availableSizes(), (QList<QSize>{QSize(24, 24), QSize(48, 48)}));
            // The text stays, as the tooltip with the shortcut.
            EXPECT_TRUE(a->toolTip().startsWith(a->iconText()));
            EXPECT_TRUE(a->toolTip().contains(a->shortcut().toString(QKeySequence::NativeText)));
        }
        EXPECT_EQ(frame->action(CMainFrame::PlaceContactNO)->toolTip(),
                  language == 0 ? s("常开触点 (Ctrl+Q)") : s("Normally open contact (Ctrl+Q)"));
    }
}

TEST_F(DailyUseTest, EveryMenuHasDistinctAltLettersInBothLanguages)
{
    start();
    open(file(s("a.plf"), kLadder));
    auto letterOf = [](const QString& text) -> QChar {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
    };
    std::function<void(QMenu*, const QString&)> check = [&](QMenu* menu, const QString& where) {
        Q_EMIT menu->aboutToShow();
        QMap<QChar, QString> taken;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || !a->isVisible())
                continue;
            const QChar letter = letterOf(a->text());
            EXPECT_FALSE(letter.isNull()) << where.toStdString() << ": " << a->text().toStdString();
            if (letter.isNull())
                continue;
            EXPECT_FALSE(taken.contains(letter)) << where.toStdString() << ": " << a->text().toStdString() << " and "
                                                 << taken.value(letter).toStdString();
            taken[letter] = a->text();
            // The function instruction list holds the 38 names, too many for letters.
            if (a->menu() && a->menu()->actions().size() <= 26)
                check(a->menu(), where + s(" > ") + a->text());
        }
    };
    for (int language : {0, 1}) {
        frame->setLanguage(language);
        QMap<QChar, QString> bar;
        for (QAction* a : frame->menuBar()->actions()) {
            if (!a->isVisible())
                continue;
            const QChar letter = letterOf(a->text());
            EXPECT_FALSE(letter.isNull()) << a->text().toStdString();
            EXPECT_FALSE(bar.contains(letter)) << a->text().toStdString();
            bar[letter] = a->text();
            check(a->menu(), a->text());
        }
        check(frame->contextMenu(), s("context menu"));
    }
}
