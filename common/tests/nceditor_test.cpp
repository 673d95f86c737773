// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/nceditor.h"

#include "common/ui/ncdocument.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QInputMethodEvent>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace vantor;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

class NcEditorKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        editor.resize(400, 200);
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
        editor.setFocus();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(&editor, k, m); }

    NcEditor editor;
};

}  // namespace

TEST_F(NcEditorKeys, CaretMovesWhereTheKeysSay)
{
    QString text = s("N10 G01 X1\nN20\nN30 G00 X100.5\n");
    for (int i = 4; i <= 200; ++i)
        text += s("N%1\n").arg(i * 10);
    editor.setPlainText(text);
    const int rows = editor.verticalScrollBar()->pageStep();
    ASSERT_GT(rows, 3);
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        NcPos caret;
    } steps[] = {
        {Qt::Key_End, Qt::NoModifier, {0, 10}},
        {Qt::Key_Down, Qt::NoModifier, {1, 3}},       // a shorter line: its end
        {Qt::Key_Down, Qt::NoModifier, {2, 10}},      // and back to the column it came from
        {Qt::Key_Home, Qt::NoModifier, {2, 0}},
        {Qt::Key_Right, Qt::ControlModifier, {2, 4}},  // word by word
        {Qt::Key_Right, Qt::NoModifier, {2, 5}},
        {Qt::Key_Left, Qt::NoModifier, {2, 4}},
        {Qt::Key_Up, Qt::NoModifier, {1, 3}},
        {Qt::Key_Left, Qt::NoModifier, {1, 2}},
        {Qt::Key_Home, Qt::NoModifier, {1, 0}},
        {Qt::Key_Left, Qt::NoModifier, {0, 10}},      // over the line break
        {Qt::Key_Right, Qt::NoModifier, {1, 0}},
        {Qt::Key_PageDown, Qt::NoModifier, {1 + rows, 0}},
        {Qt::Key_PageUp, Qt::NoModifier, {1, 0}},
        {Qt::Key_End, Qt::ControlModifier, {200, 0}},
        {Qt::Key_Up, Qt::NoModifier, {199, 0}},
        {Qt::Key_Home, Qt::ControlModifier, {0, 0}},
    };
    for (const Step& st : steps) {
        key(st.key, st.mods);
        EXPECT_EQ(editor.caret(), st.caret) << "after key " << st.key << " -> " << editor.caret().line << ":"
                                            << editor.caret().column;
        // The caret is always on screen.
        const int first = editor.firstVisibleLine();
        EXPECT_GE(editor.caret().line, first);
        EXPECT_LT(editor.caret().line, first + rows);
    }
    key(Qt::Key_End, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(editor.selectedText(), s("N10 G01 X1\nN20"));
}

TEST_F(NcEditorKeys, TypingDeletingUndoAndRedo)
{
    editor.setPlainText(s("N10\nN20"));
    QSignalSpy modified(&editor, &NcEditor::modificationChanged);
    key(Qt::Key_End);
    QTest::keyClicks(&editor, s(" G01"));
    key(Qt::Key_Return);
    QTest::keyClicks(&editor, s("X5"));
    EXPECT_EQ(editor.toPlainText(), s("N10 G01\nX5\nN20"));
    EXPECT_TRUE(editor.isModified());
    ASSERT_EQ(modified.size(), 1);
    EXPECT_TRUE(modified.at(0).at(0).toBool());

    key(Qt::Key_Backspace);
    EXPECT_EQ(editor.toPlainText(), s("N10 G01\nX\nN20"));
    key(Qt::Key_Home);
    EXPECT_EQ(editor.caret(), (NcPos{1, 0}));
    key(Qt::Key_Backspace);  // joins the line to the one above
    EXPECT_EQ(editor.toPlainText(), s("N10 G01X\nN20"));
    EXPECT_EQ(editor.caret(), (NcPos{0, 7}));
    key(Qt::Key_Delete);
    key(Qt::Key_Delete);  // the line break
    EXPECT_EQ(editor.toPlainText(), s("N10 G01N20"));

    key(Qt::Key_Z, Qt::ControlModifier);  // each delete is a step
    EXPECT_EQ(editor.toPlainText(), s("N10 G01\nN20"));
    while (editor.store().canUndo())
        key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), s("N10\nN20"));
    EXPECT_FALSE(editor.isModified());
    EXPECT_EQ(modified.size(), 2);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(editor.isModified());
    EXPECT_NE(editor.toPlainText(), s("N10\nN20"));
}

TEST_F(NcEditorKeys, SelectionCutCopyPasteAndSelectAll)
{
    editor.setPlainText(s("N1 G00\nN2 G01\n"));
    key(Qt::Key_Right, Qt::ControlModifier);
    key(Qt::Key_End, Qt::ShiftModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), s("G00"));
    key(Qt::Key_Down);
    key(Qt::Key_End);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), s("N1 G00\nN2 G01G00\n"));
    key(Qt::Key_Home, Qt::ShiftModifier);
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), s("N2 G01G00"));
    EXPECT_EQ(editor.toPlainText(), s("N1 G00\n\n"));
    // Pasted line ends become the editor's own; typing replaces a selection.
    QGuiApplication::clipboard()->setText(s("A\r\nB\rC"));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), s("N1 G00\nA\nB\nC\n"));
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(editor.selectedText(), editor.toPlainText());
    QTest::keyClicks(&editor, s("M30"));
    EXPECT_EQ(editor.toPlainText(), s("M30"));
}

TEST_F(NcEditorKeys, ReadOnlyMovesAndCopiesButChangesNothing)
{
    editor.setPlainText(s("G01 X1\nM30"));
    editor.setReadOnly(true);
    QTest::keyClicks(&editor, s("abc"));
    key(Qt::Key_Delete);
    key(Qt::Key_Return);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), s("G01 X1\nM30"));
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(editor.selectedText(), s("G01 X1\nM30"));
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), s("G01 X1\nM30"));
    EXPECT_FALSE(editor.isModified());
}

TEST_F(NcEditorKeys, ClickPutsTheCaretAndShiftClickSelects)
{
    QString text;
    for (int i = 0; i < 500; ++i)
        text += s("N%1\tG01 X%2\n").arg(i).arg(i % 9);  // a tab: painted and measured alike
    editor.setPlainText(text);
    editor.setCaret({300, 0});
    editor.centerCursor();
    const NcPos target{editor.firstVisibleLine() + 2, 7};
    QPoint at = editor.pointAt(target);
    at.ry() += 2;  // inside the line, not on its top edge
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(editor.caret(), target);
    const NcPos further{target.line + 1, 0};
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::ShiftModifier, editor.pointAt(further) + QPoint(1, 2));
    EXPECT_EQ(editor.selectedText(), editor.store().text(target, further));
}

TEST(NcEditor, FindSelectsAndScrollsToAFarMatch)
{
    NcEditor editor;
    editor.resize(400, 200);
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += s("N%1 G01\n").arg(i);
    editor.setPlainText(text + s("M30\n"));
    ASSERT_TRUE(editor.find(s("m30"), false));
    EXPECT_EQ(editor.caret(), (NcPos{5000, 3}));
    EXPECT_EQ(editor.selectedText(), s("M30"));
    EXPECT_LE(editor.firstVisibleLine(), 5000);
    EXPECT_GT(editor.firstVisibleLine() + editor.verticalScrollBar()->pageStep(), 5000);
    EXPECT_FALSE(editor.find(s("M30"), true));
    EXPECT_EQ(editor.caret(), (NcPos{5000, 3}));  // nothing moves
    ASSERT_TRUE(editor.find(s("N4999 "), true, true));
    EXPECT_EQ(editor.caret(), (NcPos{4999, 6}));
}

TEST(NcEditor, PrintingPutsEveryLineOnThePagesAndBreaksWideOnes)
{
    NcEditor editor;
    QString text;
    for (int i = 0; i < 300; ++i)
        text += s("N%1 G01 X%2\n").arg(i).arg(i);
    text += QString(2000, u'X');  // far wider than a page
    editor.setPlainText(text);
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(s("out.pdf")));
    editor.print(&printer);
    QFile pdf(printer.outputFileName());
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    const qsizetype pages = bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ")
                            + bytes.count("/Type /Page/");
    EXPECT_GE(pages, 5);  // 300 lines at a printer's line height, plus the wide one broken up
}

TEST_F(NcEditorKeys, SavedBytesChangeOnlyWhereTheKeysChangedThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("O0001.nc"));
    // GBK, CR LF as the usual end, one line ended by a lone LF and one by a lone CR.
    const QByteArray original("O0001 (\xB3\xCC\xD0\xF2)\r\nN1 G00\nN2 G01 X1\rN3 M30\r\n");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(original), original.size());
    }
    const auto saved = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    NcDocumentFormat format;
    QString error;
    ASSERT_TRUE(loadNcFile(editor, format, path, &error));
    editor.setCaret({2, 6});
    QTest::keyClicks(&editor, s(" Y2"));
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    QInputMethodEvent typed;  // Chinese comes from the input method
    typed.setCommitString(s("(程序)"));
    QApplication::sendEvent(&editor, &typed);
    ASSERT_TRUE(saveNcFile(editor, format, path).ok);
    EXPECT_FALSE(editor.isModified());
    EXPECT_EQ(saved(), QByteArray("O0001 (\xB3\xCC\xD0\xF2)\r\nN1 G00\nN2 G01 Y2 X1\rN3 M30\r\n(\xB3\xCC\xD0\xF2)\r\n"));
    while (editor.store().canUndo())
        key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(editor.isModified());
    ASSERT_TRUE(saveNcFile(editor, format, path).ok);
    EXPECT_EQ(saved(), original);
}
