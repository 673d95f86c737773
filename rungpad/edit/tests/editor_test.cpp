// SPDX-License-Identifier: GPL-3.0-or-later
// The editor behind the ladder view: one undo step per user action, the ring of 50 steps,
// cursor and selection coming back with each step, the modified and converted states.
#include "rungpad/compiler/instructions.h"
#include "rungpad/edit/laddereditor.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"

#include <gtest/gtest.h>

#include <functional>

using namespace rungpad;

namespace {

struct Session {
    LadderDocument doc;
    LadderCompiler compiler;
    QUndoStack stack;
    LadderEditor editor{doc, compiler, stack, 1};

    void at(int line, int column) { editor.setCursor(EditCursor::at({line, column})); }
    void select(CellPos a, CellPos b) { editor.setCursor({a, {a, b}}); }
    // What Save writes: the ladder part and the comment records (line notes, notations).
    QByteArray fileBytes() const
    {
        return formatLadderPart(doc.editLadder, doc.info, NumberField::FromText)
             + formatCommentRecords(doc.editLadder, doc.comments);
    }
};

// Sixty user actions of every kind; each must leave exactly one undo step.
std::vector<std::function<void(Session&)>> sixtyEdits()
{
    std::vector<std::function<void(Session&)>> edits;
    for (int i = 0; i < 6; ++i) {
        const int base = 0;
        edits.push_back([=](Session& s) { s.at(base, 0); s.editor.place(kContactNO, QByteArray("x") + QByteArray::number(i) + ".1"); });
        edits.push_back([=](Session& s) { s.at(base, 1); s.editor.place(kContactNC, "r12.3"); });
        edits.push_back([=](Session& s) { s.at(base, 2); s.editor.place(kCoil, "Y" + QByteArray::number(10 + i) + ".0"); });
        edits.push_back([=](Session& s) { s.at(base, 3 + i); s.editor.setVerticalLink(); });
        edits.push_back([=](Session& s) { s.at(base + 1, 0); s.editor.place(kContactNO, "X100.7"); });
        edits.push_back([=](Session& s) { s.at(base + 2, 0); s.editor.insertBlock(fn::TMR); });
        edits.push_back([=](Session& s) { s.at(base + 2, 5); s.editor.editCell(QByteArray::number(i)); });
        edits.push_back([=](Session& s) { s.editor.setLineNote(base, QStringLiteral("rung %1").arg(i)); });
        edits.push_back([=](Session& s) { s.at(base + 4, 0); s.editor.insertLines(2); });
        edits.push_back([=](Session& s) { s.select({base + 4, 0}, {base + 4, 9}); s.editor.deleteLines(); });
    }
    return edits;
}
}  // namespace

TEST(LadderEditor, SixtyEditsFiftyUndosFiftyRedosRestoreTheExactFileBytes)
{
    Session s;
    std::vector<QByteArray> bytes{s.fileBytes()};
    for (const auto& edit : sixtyEdits()) {
        const int before = s.stack.index();
        edit(s);
        ASSERT_EQ(s.stack.index(), std::min(before + 1, kUndoSteps)) << "edit " << bytes.size();
        bytes.push_back(s.fileBytes());
    }
    ASSERT_EQ(bytes.size(), 61u);
    EXPECT_EQ(s.stack.count(), kUndoSteps);
    for (int k = 1; k <= kUndoSteps; ++k) {
        s.stack.undo();
        ASSERT_EQ(s.fileBytes(), bytes[size_t(60 - k)]) << "undo " << k;
    }
    EXPECT_FALSE(s.stack.canUndo());
    for (int k = 1; k <= kUndoSteps; ++k) {
        s.stack.redo();
        ASSERT_EQ(s.fileBytes(), bytes[size_t(10 + k)]) << "redo " << k;
    }
    EXPECT_FALSE(s.stack.canRedo());
}

TEST(LadderEditor, EachUserActionIsOneUndoStep)
{
    struct Case {
        const char* name;
        std::function<void(Session&)> prepare;
        std::function<EditResult(Session&)> action;
    };
    const Case cases[] = {
        {"block insertion", [](Session&) {}, [](Session& s) { return s.editor.insertBlock(fn::DSCH); }},
        {"COD capacity",
         [](Session& s) { s.editor.insertBlock(fn::COD); s.at(0, 4); s.editor.editCell("25"); s.at(0, 4); },
         [](Session& s) { return s.editor.editCell("55"); }},
        {"paste of lines",
         [](Session& s) {
             s.at(0, 0); s.editor.place(kContactNO, "X1.0"); s.at(0, 9); s.editor.place(kCoil, "Y1.0");
             s.select({0, 0}, {1, 9}); s.editor.copy(); s.at(1, 0);
         },
         [](Session& s) { return s.editor.paste(); }},
        {"replace all",
         [](Session& s) {
             for (int l = 0; l < 5; ++l) { s.at(l, 0); s.editor.place(kContactNO, "X1.0"); s.at(l, 1); s.editor.place(kContactNC, "X1.0"); }
         },
         [](Session& s) { return s.editor.replaceAll("X1.0", "X2.0"); }},
        {"coil with wire fill", [](Session& s) { s.at(0, 2); }, [](Session& s) { return s.editor.place(kCoil, "R1.0"); }},
        {"delete a block", [](Session& s) { s.editor.insertBlock(fn::CTR); s.at(2, 4); },
         [](Session& s) { return s.editor.deleteNode(); }},
        {"cut of cells",
         [](Session& s) { s.at(0, 0); s.editor.place(kContactNO, "X1.0"); s.editor.place(kContactNO, "X1.1"); s.select({0, 0}, {0, 1}); },
         [](Session& s) { return s.editor.cut(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        c.prepare(s);
        const QByteArray before = s.fileBytes();
        const EditCursor cursorBefore = s.editor.cursor();
        const int steps = s.stack.count();
        const EditResult r = c.action(s);
        EXPECT_TRUE(r.changed);
        EXPECT_EQ(s.stack.count(), steps + 1);
        const QByteArray after = s.fileBytes();
        EXPECT_NE(after, before);
        s.stack.undo();
        EXPECT_EQ(s.fileBytes(), before);
        EXPECT_EQ(s.editor.cursor(), cursorBefore);
        s.stack.redo();
        EXPECT_EQ(s.fileBytes(), after);
        EXPECT_EQ(s.editor.cursor(), r.cursor);
    }
}

TEST(LadderEditor, RefusedActionsLeaveNoStep)
{
    Session s;
    s.editor.insertBlock(fn::TMR);
    const int steps = s.stack.count();
    s.at(1, 0);
    EXPECT_TRUE(s.editor.place(kContactNO, "X1.0").refused);   // lower block line
    s.at(2, 0);
    EXPECT_EQ(s.editor.place(kContactNO, "X200.0").error->code, 1011);
    EXPECT_TRUE(s.editor.place(kCoil, "R990.0").refused);
    s.at(0, 1);
    EXPECT_TRUE(s.editor.setVerticalLink().refused);
    s.select({0, 4}, {0, 5});
    EXPECT_EQ(s.editor.copy().messageBox, "Operation error!");
    EXPECT_EQ(s.editor.insertBlockByName("FOO").messageBox, "Input error!");
    EXPECT_EQ(s.stack.count(), steps);
}

TEST(LadderEditor, CursorAndSelectionComeBackWithEachStep)
{
    Session s;
    s.select({0, 0}, {0, 9});
    s.editor.insertLines(3);
    EXPECT_EQ(s.doc.editLadder.lineCount(), 4);
    const EditCursor selection{{2, 3}, {{1, 3}, {2, 9}}};
    s.editor.setCursor(selection);
    s.editor.deleteLines();
    EXPECT_EQ(s.editor.cursor(), EditCursor::at({1, 3}));
    s.at(0, 5);   // the user moved on before undoing
    s.stack.undo();
    EXPECT_EQ(s.editor.cursor(), selection);
    s.stack.redo();
    EXPECT_EQ(s.editor.cursor(), EditCursor::at({1, 3}));
}

TEST(LadderEditor, ModifiedFollowsTheCleanStateAndUndoEndsTheConvertedState)
{
    Session s;
    s.at(0, 0);
    s.editor.place(kContactNO, "X1.0");
    s.stack.setClean();
    s.doc.setModified(false);
    s.doc.setConverted(true);
    ASSERT_TRUE(s.doc.isConverted());
    s.at(0, 1);
    s.editor.place(kContactNO, "X1.1");
    EXPECT_TRUE(s.doc.isModified());
    EXPECT_FALSE(s.doc.isConverted());
    s.stack.undo();
    EXPECT_FALSE(s.doc.isModified());
    EXPECT_FALSE(s.doc.isConverted());   // only a conversion makes it converted again
    s.stack.undo();
    EXPECT_TRUE(s.doc.isModified());
    s.stack.redo();
    EXPECT_FALSE(s.doc.isModified());
}

TEST(LadderEditor, LineNotesCommentsAndTheSystemClipboard)
{
    Session s;
    s.at(0, 0);
    s.editor.place(kContactNO, "X1.2");
    s.editor.setLineNote(0, QString::fromUtf8("启动"));
    ASSERT_EQ(s.editor.cursorAddress(), QByteArray());   // the cursor moved right
    s.at(0, 0);
    EXPECT_EQ(s.editor.cursorAddress(), QByteArray("X001.2"));
    EXPECT_TRUE(s.editor.setComment("X001.2", QString::fromUtf8("急停")));
    EXPECT_EQ(s.doc.comments.commentOf("X001.2"), QString::fromUtf8("急停"));
    s.stack.undo();
    EXPECT_TRUE(s.doc.comments.commentOf("X001.2").isEmpty());
    s.stack.undo();
    EXPECT_TRUE(s.doc.editLadder.note(0).isEmpty());
    s.stack.redo();
    s.stack.redo();

    s.select({0, 0}, {0, 9});
    s.editor.copy();
    const QString text = s.editor.copiedText();
    EXPECT_EQ(text, QString::fromUtf8("X001.2 ;启动\n"));

    Session other;
    other.at(0, 0);
    EXPECT_TRUE(other.editor.pasteText(text).changed);
    EXPECT_EQ(writeLadderText(other.doc.editLadder), QString::fromUtf8("X001.2 ;启动\n.\n"));
    EXPECT_EQ(other.editor.pasteText("hello there").messageBox, "Operation error!");
    const auto refs = other.editor.crossReferences("X1.2");
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0].pos, (CellPos{0, 0}));
}

TEST(LadderEditor, CursorAddressForNotationAndCrossReference)
{
    Session s;
    s.at(0, 0);
    s.editor.place(kContactNO, "X1.2");
    s.at(1, 0);
    s.editor.insertBlock(fn::ADD);   // ADD: start 2, parameters in columns 3..6
    const std::pair<CellPos, const char*> cases[] = {
        {{0, 0}, "X001.2"}, {{0, 1}, ""}, {{1, 2}, ""}, {{1, 3}, ""}, {{1, 4}, "D0010"}, {{1, 5}, ""},
    };
    s.at(1, 3);
    ASSERT_FALSE(s.editor.editCell("1").refused);
    s.at(1, 4);
    ASSERT_FALSE(s.editor.editCell("d10").refused);
    s.at(1, 5);
    ASSERT_FALSE(s.editor.editCell("7").refused);
    for (const auto& [pos, address] : cases) {
        s.editor.setCursor(EditCursor::at(pos));
        EXPECT_EQ(s.editor.cursorAddress(), QByteArray(address)) << pos.line << "," << pos.column;
    }
}
