// SPDX-License-Identifier: GPL-3.0-or-later
// The documentation and safety features in the window: the whole-program cross-reference
// dock and its jumps, Compare, comments drawn in the cells with their tooltips, the print
// title block and appendix, autosave with recovery after a crash, and the question before a
// save overwrites a file changed on disk. Every test keeps settings and copies in its folder.
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/review/autosave.h"
#include "rungpad/ui/comparewindow.h"
#include "rungpad/ui/crossreferencepanel.h"
#include "rungpad/ui/ladderpainter.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/printlayout.h"
#include "rungpad/ui/reviewfeatures.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/tests/uitestsupport.h"

#include "common/archive.h"
#include "common/ui/messageboxprompter.h"
#include "common/prompter.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QDir>
#include <QDockWidget>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEngine>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <deque>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

using namespace rungpad;
using namespace rungpad::ui;
using vantor::testing::maybeShoot;
using vantor::testing::readFile;
using vantor::testing::writeFile;
using rungpad::ui::testsupport::TextDevice;
using rungpad::ui::testsupport::ladderFile;

namespace {

using rungpad::ui::CellPos;

QString s(const char* text) { return QString::fromUtf8(text); }

const char* kPress =
    "X000.0 - - - - - - - - (Y000.0) ;press down\n"
    "X000.1 - - - - - - - - (Y000.0)\n"
    "X000.2 - - - {1000:CTR} {1001:0003} - - - (R010.0) ;strokes\n"
    "X000.3 - - - {1010} {1011}\n"
    "R010.1 - - - {1020} {1021}\n"
    "X000.4 - - - {1030} {1031}\n"
    "X001.1 - - - {3600:SET} {3601:Y001.0} - - - - ;lamp on\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

CommentTables pressComments()
{
    CommentTables c;
    c.setCommentOf("X000.0", s("two-hand start"));
    c.setCommentOf("Y000.0", s("press valve 压力阀"));
    c.setCommentOf("X000.2", s("stroke sensor at the top dead centre"));
    return c;
}

// Answers the file choosers from a list; every other dialog is the real one.
class Dialogs : public WidgetDialogs {
public:
    std::deque<QString> files;
    QString openFileName(QWidget*, const QString&, const QString&) override { return take(); }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override { return take(); }
    bool editLadderInfo(QWidget*, LadderInfo&, int) override { return false; }

private:
    QString take()
    {
        if (files.empty())
            return {};
        QString f = files.front();
        files.pop_front();
        return f;
    }
};

QStringList textsOfPage(const PrintJob& job, int page)
{
    TextDevice device;
    QPainter painter(&device);
    paintPrintPage(painter, QRectF(0, 0, 2100, 2970), job, page);
    painter.end();
    return device.engine.texts;
}

class ReviewWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    Dialogs dialogs;
    qint64 now = 1000;   // the autosave clock, moved by hand
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")).setValue(s("VANTORQ5RUNGPAD/LANGUAGE"), 1);
    }
    void TearDown() override { frame.reset(); }
    void startFrame()
    {
        FrameOptions options{&prompter, &dialogs, dir.path()};
        options.autosaveFolder = autosaveFolder();
        options.clock = [this] { return now; };
        frame = std::make_unique<CMainFrame>(options);
        frame->resize(1440, 900);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        QTest::qWait(10);   // the recovery question comes once the frame is up
    }
    QString autosaveFolder() const { return dir.filePath(s("autosave")); }
    QStringList copies() const { return QDir(autosaveFolder()).entryList({s("*.plf")}, QDir::Files); }
    QString path(const char* name) const { return dir.filePath(s(name)); }
    CRungpadView* open(const char* name, const QByteArray& bytes)
    {
        writeFile(path(name), bytes);
        EXPECT_TRUE(frame->openFile(path(name)));
        return frame->activeView();
    }
    static void placeContact(CRungpadView* view, int line, int column, const char* address)
    {
        view->setCursorCell({line, column});
        ASSERT_TRUE(view->document()->editor().place(kContactNO, address).changed) << address;
    }
};

TEST_F(ReviewWindowTest, CrossReferenceDockListsWarningsAndUsesAndJumpsToThem)
{
    startFrame();
    CRungpadView* view = open("press.plf", ladderFile(kPress, pressComments()));
    ASSERT_NE(view, nullptr);
    ReviewFeatures* review = frame->review();
    review->crossReferenceDock()->show();
    review->crossReferenceDock()->raise();
    QTest::qWait(10);
    review->refreshCrossReference();
    CCrossReferencePanel* panel = review->crossReferencePanel();

    // Y000.0 twice, Y001.0 SET without RST, R010.1 read but never written.
    QTreeWidgetItem* warnings = panel->warningsItem();
    ASSERT_NE(warnings, nullptr);
    ASSERT_EQ(warnings->childCount(), 3);
    EXPECT_EQ(warnings->child(0)->text(0), s("Y000.0 is written in more than one place (double coil): 0001/10, 0002/10"));
    EXPECT_TRUE(warnings->child(1)->text(0).startsWith(s("Y001.0 is SET but never RST")));
    EXPECT_TRUE(warnings->child(2)->text(0).startsWith(s("R010.1 is read but never written")));

    QTreeWidgetItem* valve = panel->addressItem("Y000.0");
    ASSERT_NE(valve, nullptr);
    EXPECT_EQ(valve->text(1), s("press valve 压力阀"));
    EXPECT_EQ(valve->childCount(), 0);   // uses are listed when the address is opened
    valve->setExpanded(true);
    ASSERT_EQ(valve->childCount(), 2);
    EXPECT_EQ(valve->child(1)->text(0), s("0002/10"));

    // A double-click on a use or on a warning puts the cursor on its cell.
    Q_EMIT panel->tree()->itemActivated(valve->child(1), 0);
    EXPECT_EQ(view->cursorCell(), (CellPos{1, 9}));
    Q_EMIT panel->tree()->itemActivated(warnings->child(2), 0);
    EXPECT_EQ(view->cursorCell(), (CellPos{4, 0}));

    // The filter keeps the addresses and comments that match.
    panel->filter()->setText(s("valve"));
    EXPECT_FALSE(valve->isHidden());
    EXPECT_TRUE(panel->addressItem("X000.0")->isHidden());
    panel->filter()->clear();

    // An edit is listed again shortly after; the language switch retitles the warnings.
    placeContact(view, 1, 1, "R010.1");
    QTest::qWait(400);
    panel->addressItem("R010.1")->setExpanded(true);
    EXPECT_EQ(panel->addressItem("R010.1")->childCount(), 2);
    frame->setLanguage(0);
    review->refreshCrossReference();
    EXPECT_TRUE(panel->warningsItem()->child(0)->text(0).contains(s("双线圈")));

    // The report, as text or CSV by its extension.
    ASSERT_TRUE(review->exportCrossReference(view, path("press.csv")));
    EXPECT_TRUE(readFile(path("press.csv")).startsWith(s("地址,注释,行,列,用途,读写\n").toUtf8()));
    frame->resizeDocks({review->crossReferenceDock()}, {560}, Qt::Horizontal);
    QTest::qWait(20);
    maybeShoot(frame.get(), "rungpad-crossreference.png");
}

TEST_F(ReviewWindowTest, CompareAlignsAddedRemovedAndChangedLinesAndJumps)
{
    startFrame();
    CRungpadView* view = open("shop.plf", ladderFile("X000.0 - - - - - - - - (Y000.0) ;start\n"
                                                     "X000.1 - - - - - - - - (Y000.1)\n"
                                                     "X000.2 - - - - - - - - (Y000.2)\n"
                                                     "X000.3 - - - - - - - - (Y000.3)\n"
                                                     "- - - - {7100:END1} - - - - -\n"));
    ASSERT_NE(view, nullptr);
    writeFile(path("backup.plf"), ladderFile("X000.0 - - - - - - - - (Y000.0) ;start\n"
                                             "X000.2 - - - - - - - - (Y000.2)\n"
                                             "/X001.3 - - - - - - - - (Y000.3)\n"
                                             "- - - - {7100:END1} - - - - -\n"
                                             "X000.5 - - - - - - - - (Y000.5)\n"));
    dialogs.files.push_back(path("backup.plf"));
    frame->review()->compareAction()->trigger();
    auto* window = frame->findChild<CCompareWindow*>();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), s("Compare: shop.plf with backup.plf"));

    const std::vector<DiffRow>& rows = window->diff().rows;
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1].kind, DiffKind::Removed);
    EXPECT_EQ(rows[3].kind, DiffKind::Changed);
    EXPECT_EQ(rows[5].kind, DiffKind::Added);
    ASSERT_EQ(window->differenceList()->count(), 3);
    EXPECT_EQ(window->differenceList()->item(1)->text(), s("changed  0004 | 0003  columns 1"));
    EXPECT_TRUE(window->summaryLabel()->text().startsWith(s("1 lines added, 1 removed, 1 changed\n")));
    EXPECT_TRUE(window->summaryLabel()->text().contains(s("X001.3")));

    // Both sides of a row sit on one height: one scroll moves both.
    CCompareView* cv = window->view();
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(cv->rowRect(r, false).top(), cv->rowRect(r, true).top());
    window->jumpToDifference(2);
    EXPECT_EQ(cv->currentRow(), 5);
    EXPECT_TRUE(cv->viewport()->rect().intersects(cv->rowRect(5, true)));
    Q_EMIT window->differenceList()->itemActivated(window->differenceList()->item(1));
    EXPECT_EQ(cv->currentRow(), 3);

    // The marks, where nothing else is drawn: the changed cell, the removed line's band.
    const QImage image = cv->viewport()->grab().toImage();
    const QRect changedCell = cv->cellRect(3, 0, true);
    EXPECT_EQ(image.pixelColor(changedCell.topLeft() + QPoint(2, 2)), QColor(255, 196, 120));
    const QRect removed = cv->rowRect(1, false);
    EXPECT_EQ(image.pixelColor(removed.left() + 4, removed.top() + 3), QColor(248, 205, 205));
    maybeShoot(window, "rungpad-compare.png");
}

TEST_F(ReviewWindowTest, CommentsAreDrawnInCellsRememberedAndTooltipsShowThemWhole)
{
    startFrame();
    CRungpadView* view = open("press.plf", ladderFile(kPress, pressComments()));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->commentsShown());
    QAction* option = frame->review()->showCommentsAction();
    option->trigger();
    EXPECT_TRUE(view->commentsShown());

    // What the view's painter draws for the first lines: comments (cut to the cell) and the
    // counter's input labels.
    TextDevice device;
    QPainter painter(&device);
    LadderPaintStyle style;
    style.comments = &view->document()->data().comments;
    LadderPainter().paintLines(painter, view->document()->ladder(), 0, 6, style);
    painter.end();
    const QStringList& texts = device.engine.texts;
    EXPECT_TRUE(texts.contains(s("X000.0")));
    EXPECT_TRUE(texts.filter(s("two-hand")).size() == 1) << texts.join(s("|")).toStdString();
    EXPECT_TRUE(texts.filter(s("stroke sensor")).size() == 1);
    EXPECT_FALSE(texts.contains(s("stroke sensor at the top dead centre")));   // cut with an ellipsis
    for (const char* label : {"INIT", "UP/DN", "RST", "ACT"})
        EXPECT_TRUE(texts.contains(s(label))) << label;

    // Tooltips: the whole comment, a parameter's prompt, a whole line note.
    struct Tip {
        QPoint at;
        const char* text;
    };
    const QRect note = view->cellRect(2, 9);
    const Tip tips[] = {
        {view->cellRect(2, 0).center(), "X000.2\nstroke sensor at the top dead centre"},
        {view->cellRect(2, 5).center(), "CTR No: 0003"},
        {view->cellRect(4, 2).center(), "CTR RST"},
        {QPoint(note.right() + 40, note.center().y()), "strokes"},
    };
    for (const Tip& t : tips) {
        SCOPED_TRACE(t.text);
        QHelpEvent help(QEvent::ToolTip, t.at, view->viewport()->mapToGlobal(t.at));
        QApplication::sendEvent(view->viewport(), &help);
        EXPECT_EQ(QToolTip::text(), s(t.text));
    }
    maybeShoot(frame.get(), "rungpad-comments.png");

    // Remembered for the next start.
    frame.reset();
    startFrame();
    EXPECT_TRUE(frame->review()->showCommentsAction()->isChecked());
}

TEST_F(ReviewWindowTest, PrintedPagesCarryTheTitleBlockLegendAndAppendix)
{
    const auto ladder = readLadderText(s(kPress));
    ASSERT_TRUE(ladder.has_value());
    const CommentTables comments = pressComments();
    PrintJob job;
    job.ladder = &*ladder;
    job.comments = &comments;
    job.info = {s("V2.1"), s("PR-40 press"), s("Wang"), s("2026-03-01 10:00")};
    job.fileName = s("press.plf");
    job.printDate = QDate(2026, 3, 2);
    job.language = 1;
    job.showComments = true;
    job.appendix = crossReferenceAppendix(*ladder, comments, 1);
    ASSERT_EQ(ladderPageCount(job), 1);
    ASSERT_EQ(printJobPageCount(job), 2);

    const QStringList first = textsOfPage(job, 0);
    EXPECT_EQ(first.value(0), s("PAGE 1"));
    // Texts mixing scripts reach the device in runs: looked for in the runs joined.
    for (const char* t : {"press.plf", "V2.1", "PR-40 press", "Wang", "2026-03-01 10:00", "2026-03-02", "Page 1 of 2",
                          "Printed", "Signals on this page", "press valve 压力阀", "0009"})
        EXPECT_TRUE(first.join(QString()).contains(s(t))) << t;
    EXPECT_TRUE(first.filter(s("two-hand")).size() >= 2);   // in the cell and in the legend

    const QStringList appendix = textsOfPage(job, 1);
    EXPECT_EQ(appendix.value(0), s("PAGE 2"));
    EXPECT_TRUE(appendix.contains(s("Appendix: cross-reference list")));
    EXPECT_TRUE(appendix.contains(s("Page 2 of 2")));
    EXPECT_TRUE(appendix.filter(s("double coil")).size() == 1);
    // A line mixing scripts reaches the device in runs: the runs joined.
    EXPECT_TRUE(appendix.join(QString()).contains(s("Y000.0  press valve 压力阀")));

    if (!qEnvironmentVariableIsEmpty("VANTOR_SCREENSHOT_DIR")) {
        QImage page(1240, 1754, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        paintPrintPage(painter, QRectF(40, 40, 1160, 1674), job, 0);
        painter.end();
        page.save(qEnvironmentVariable("VANTOR_SCREENSHOT_DIR") + s("/rungpad-print.png"));
    }
    job.language = 0;
    EXPECT_TRUE(textsOfPage(job, 1).contains(s("第 2 页 共 2 页")));
    EXPECT_TRUE(textsOfPage(job, 0).contains(s("第 1 页")));

    // Export PDF prints the same pages: with the appendix chosen, two of them.
    startFrame();
    ASSERT_NE(open("press.plf", ladderFile(kPress, comments)), nullptr);
    frame->review()->printAppendixAction()->setChecked(true);
    ASSERT_TRUE(frame->exportPdf(path("press.pdf")));
    const QByteArray pdf = readFile(path("press.pdf"));
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1))
        pages += pdf.mid(at + 11, 1) != "s";
    EXPECT_EQ(pages, 2);
}

TEST_F(ReviewWindowTest, AutosaveAfterTheIntervalIsOfferedAfterACrashAndGoesWithTheSave)
{
    startFrame();
    ReviewFeatures* review = frame->review();
    review->setAutosaveInterval(60000);
    CRungpadView* view = open("press.plf", ladderFile(kPress, pressComments()));
    ASSERT_NE(view, nullptr);
    const QByteArray original = readFile(path("press.plf"));
    review->autosaveTick();
    EXPECT_TRUE(copies().isEmpty());   // nothing modified, nothing copied

    now = 1000;
    placeContact(view, 1, 1, "X002.0");
    now = 60999;
    review->autosaveTick();
    EXPECT_TRUE(copies().isEmpty());
    now = 61000;
    review->autosaveTick();
    ASSERT_EQ(copies().size(), 1);
    EXPECT_EQ(readFile(path("press.plf")), original);   // the user's file is never touched
    const QString copy = QDir(autosaveFolder()).filePath(copies().first());
    const QByteArray copied = readFile(copy);
    const QString info = QString(copy).replace(s(".plf"), s(".autosave"));
    const QByteArray infoBytes = readFile(info);

    // A crash leaves the copy behind: here the frame goes, the copy is put back.
    frame.reset();
    EXPECT_TRUE(copies().isEmpty());   // a closed document takes its copy along
    writeFile(copy, copied);
    writeFile(info, infoBytes);

    // Meanwhile someone else writes the user's file.
    const QByteArray theirs = ladderFile("X007.7 - - - - - - - - (Y007.7)\n");
    writeFile(path("press.plf"), theirs);
    prompter.answers.push_back(vantor::Answer::Yes);
    startFrame();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].startsWith(s("Rungpad ended unexpectedly last time. An autosave of press.plf"))) << prompter.asked[0].toStdString();
    CRungpadView* recovered = frame->activeView();
    ASSERT_NE(recovered, nullptr);
    if (!qEnvironmentVariableIsEmpty("VANTOR_SCREENSHOT_DIR")) {
        // The same question as a user sees it in its message box, over the recovered window.
        QTimer::singleShot(200, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                maybeShoot(box->window(), "rungpad-recovery.png");
                box->button(QMessageBox::Yes)->click();
            }
        });
        vantor::MessageBoxPrompter(frame.get(), s("Rungpad")).ask(prompter.asked[0], vantor::Buttons::YesNo);
    }
    EXPECT_EQ(recovered->document()->path(), path("press.plf"));
    EXPECT_TRUE(recovered->document()->isModified());
    EXPECT_EQ(recovered->document()->ladder().cell(1, 1).text(), QByteArray("X002.0"));
    EXPECT_EQ(recovered->document()->data().comments.commentOf("Y000.0"), s("press valve 压力阀"));
    EXPECT_TRUE(copies().isEmpty());

    // Recovered work is copied again, and the save removes the copy.
    frame->review()->setAutosaveInterval(60000);
    now += 60000;
    frame->review()->autosaveTick();
    EXPECT_EQ(copies().size(), 1);
    // The save notices the other change although this session never read the file.
    prompter.answers.push_back(vantor::Answer::Yes);
    ASSERT_TRUE(frame->saveActive());
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_TRUE(prompter.asked[1].startsWith(s("press.plf has been changed on disk")));
    EXPECT_TRUE(copies().isEmpty());
    EXPECT_NE(readFile(path("press.plf")), original);
    EXPECT_NE(readFile(path("press.plf")), theirs);

    // Declined: the copy goes, nothing opens.
    frame.reset();
    writeFile(copy, copied);
    writeFile(info, infoBytes);
    prompter.answers.push_back(vantor::Answer::No);
    startFrame();
    EXPECT_EQ(frame->activeView(), nullptr);
    EXPECT_TRUE(copies().isEmpty());
}

TEST_F(ReviewWindowTest, SaveAsksBeforeOverwritingAFileChangedOnDisk)
{
    startFrame();
    CRungpadView* view = open("press.plf", ladderFile(kPress));
    ASSERT_NE(view, nullptr);
    placeContact(view, 1, 1, "X002.0");
    // Unchanged on disk: no question.
    ASSERT_TRUE(frame->saveActive());
    EXPECT_TRUE(prompter.asked.empty());

    // Someone else writes the file (the controller's backup tool, another editor).
    const QByteArray theirs = ladderFile("X007.7 - - - - - - - - (Y007.7)\n");
    ASSERT_TRUE(vantor::saveFileAtomically(path("press.plf"), theirs).ok);
    placeContact(view, 1, 2, "X002.1");
    prompter.answers.push_back(vantor::Answer::No);
    EXPECT_FALSE(frame->saveActive());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0], s("press.plf has been changed on disk since it was opened. Overwrite it anyway?"));
    EXPECT_EQ(readFile(path("press.plf")), theirs);
    EXPECT_TRUE(view->document()->isModified());

    prompter.answers.push_back(vantor::Answer::Yes);
    EXPECT_TRUE(frame->saveActive());
    EXPECT_NE(readFile(path("press.plf")), theirs);
    // Our own save is the new reference: the next one asks nothing.
    placeContact(view, 1, 3, "X002.2");
    EXPECT_TRUE(frame->saveActive());
    EXPECT_EQ(prompter.asked.size(), 2u);
}

}  // namespace
