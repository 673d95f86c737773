// SPDX-License-Identifier: GPL-3.0-or-later
// The editing commands as plain functions: placement rules, checks, blocks and lines,
// clipboard, find and replace, cross-reference.
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/model/laddertext.h"

#include "ladder_helpers.h"

#include <gtest/gtest.h>

using namespace rungpad;
using namespace rungpad::testing;

namespace {
// A TMR block (width 2, start column 4, two lines, one input line) between plain lines.
const char* kTmrLadder = "X000.0 - - - {1900:TMR} {1901:0001} - - - -\n"
                         ". . . . {1910} {1911}\n"
                         ".\n";

struct Editing {
    LadderProgram ladder;
    LadderCompiler compiler;
    explicit Editing(const QString& text) : ladder(ladderOf(text)), compiler(&ladder) {}
    EditContext ctx(int language = 1) { return {ladder, compiler, language}; }
    QString text() const { return writeLadderText(ladder); }
};
}  // namespace

TEST(PlaceElement, PlacementRulesAndCursorMoves)
{
    struct Case {
        const char* name;
        const char* ladder;
        CellPos pos;
        quint16 kind;
        const char* typed;
        const char* after;   // nullptr: refused, ladder unchanged
        CellPos cursor;
        int error;
    };
    const Case cases[] = {
        {"coil fills the empty cells with wire and lands in column 9", "X000.0 X000.1 X000.2\n.\n", {0, 3}, kCoil,
         "y1.0", "X000.0 X000.1 X000.2 - - - - - - (Y001.0)\n.\n", {0, 9}, 0},
        {"typed address is normalised", ".\n.\n", {0, 0}, kContactNO, "x5.3", "X005.3\n.\n", {0, 1}, 0},
        {"closed contact", ".\n.\n", {0, 2}, kContactNC, "r12.7", ". . /R012.7\n.\n", {0, 3}, 0},
        {"address without bit", ".\n.\n", {0, 0}, kContactNO, "X5", nullptr, {0, 0}, 1011},
        {"byte out of range", ".\n.\n", {0, 0}, kContactNO, "X200.0", nullptr, {0, 0}, 1011},
        {"reserved coil", ".\n.\n", {0, 0}, kCoil, "R990.0", nullptr, {0, 0}, 1011},
        {"input letter as coil", ".\n.\n", {0, 0}, kCoilNot, "X001.0", nullptr, {0, 0}, 1011},
        {"one coil per address", "- - - - - - - - - (Y001.0)\n.\n.\n", {1, 0}, kCoil, "Y001.0", nullptr, {1, 0}, 1011},
        {"the same line may keep its coil address", "- - - - - - - - - (Y001.0)\n.\n", {0, 9}, kCoilNot,
         "Y001.0", "- - - - - - - - - (/Y001.0)\n.\n", {0, 9}, 0},
        {"placing on the last line adds a line", ".\n", {0, 0}, kHorizontalWire, "", "-\n.\n", {0, 1}, 0},
        {"wire keeps the vertical link", "X000.0+\nX000.1\n.\n", {0, 0}, kHorizontalWire, "", "-+\nX000.1\n.\n",
         {0, 1}, 0},
        {"cursor stays in column 9", ". . . . . . . . . -\n.\n", {0, 9}, kHorizontalWire, "",
         ". . . . . . . . . -\n.\n", {0, 9}, 0},
        // Function block lines.
        {"condition contact left of a block", kTmrLadder, {0, 1}, kContactNO, "X1.0",
         "X000.0 X001.0 - - {1900:TMR} {1901:0001} - - - -\n. . . . {1910} {1911}\n.\n", {0, 2}, 0},
        {"no element below the input lines", kTmrLadder, {1, 0}, kContactNO, "X1.0", nullptr, {1, 0}, 0},
        {"no coil left of the block", kTmrLadder, {0, 2}, kCoil, "Y1.0", nullptr, {0, 2}, 0},
        {"no contact right of the block", kTmrLadder, {0, 7}, kContactNO, "X1.0", nullptr, {0, 7}, 0},
        {"no contact on the block", kTmrLadder, {0, 5}, kContactNO, "X1.0", nullptr, {0, 5}, 0},
        {"coil right of a block that drives one", kTmrLadder, {0, 7}, kCoil, "Y2.0",
         "X000.0 - - - {1900:TMR} {1901:0001} - - - (Y002.0)\n. . . . {1910} {1911}\n.\n", {0, 9}, 0},
        {"wire right of the block", kTmrLadder, {0, 8}, kHorizontalWire, "",
         "X000.0 - - - {1900:TMR} {1901:0001} - - - -\n. . . . {1910} {1911}\n.\n", {0, 9}, 0},
        {"no coil for a block that drives none", "- - - - {1400:CALL} {1401:0001} - - - -\n.\n", {0, 8}, kCoil,
         "Y1.0", nullptr, {0, 8}, 0},
        {"no contact left of a block without conditions", "- - - - {1500:SP} {1501:0001} - - - -\n.\n", {0, 1},
         kContactNO, "X1.0", nullptr, {0, 1}, 0},
        {"no delete left of a block without conditions", "- - - - {1500:SP} {1501:0001} - - - -\n.\n", {0, 1},
         kEmpty, "", nullptr, {0, 1}, 0},
        {"CODT lines take no element", "{4000:00001} {4001} {4002} {4003} {4004} {4005} {4006} {4007} {4008} {4009}\n.\n",
         {0, 3}, kHorizontalWire, "", nullptr, {0, 3}, 0},
        // Delete node.
        {"delete clears the cell and moves right", "X000.0+ X000.1\n.\n", {0, 0}, kEmpty, "", ". X000.1\n.\n",
         {0, 1}, 0},
        {"delete on a block cell removes the block lines", kTmrLadder, {0, 5}, kEmpty, "", ".\n", {0, 5}, 0},
        {"delete a condition contact keeps the block", kTmrLadder, {0, 0}, kEmpty, "",
         ". - - - {1900:TMR} {1901:0001} - - - -\n. . . . {1910} {1911}\n.\n", {0, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Editing e(QString::fromUtf8(c.ladder));
        const QString before = e.text();
        const EditResult r = placeElement(e.ctx(), c.pos, c.kind, c.typed);
        EXPECT_EQ(r.cursor.cursor, c.cursor);
        if (!c.after) {
            EXPECT_TRUE(r.refused);
            EXPECT_FALSE(r.changed);
            EXPECT_EQ(e.text(), before);
        } else {
            EXPECT_FALSE(r.refused);
            EXPECT_EQ(e.text(), QString::fromUtf8(c.after));
            // The record takes the ladder back exactly and makes the edit again.
            r.change.undo(e.ladder);
            EXPECT_EQ(e.text(), before);
            r.change.redo(e.ladder);
            EXPECT_EQ(e.text(), QString::fromUtf8(c.after));
        }
        EXPECT_EQ(r.error ? r.error->code : 0, c.error);
    }
}

TEST(PlaceElement, OutputWindowShowsCheckingThenAcceptOrTheNumberedError)
{
    Editing e(".\n.\n.\n");
    EditResult ok = placeElement(e.ctx(1), {1, 0}, kContactNO, "x1.2");
    EXPECT_EQ(ok.output, QStringList({"Checking...", "Accept!"}));
    EditResult bad = placeElement(e.ctx(1), {1, 1}, kContactNO, "Q1.0");
    ASSERT_EQ(bad.output.size(), 2);
    EXPECT_EQ(bad.output[1], formatErrorMessage({1011, 1, 0}, 1));
    EXPECT_TRUE(bad.output[1].startsWith("Ladder the 0002 Line, error code: "));
    EditResult zh = placeElement(e.ctx(0), {1, 1}, kContactNO, "Q1.0");
    EXPECT_TRUE(zh.output[1].startsWith(QString::fromUtf8("梯图第0002行")));
    EXPECT_TRUE(e.compiler.errors().empty());   // editing leaves no conversion errors behind
}

TEST(VerticalLink, SetMovesDownAndIsRefusedOnABlockLine)
{
    Editing e("X000.0\n.\n");
    EditResult r = setVerticalLink(e.ladder, {0, 0});
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.cursor.cursor, (CellPos{1, 0}));
    EXPECT_TRUE(e.ladder.cell(0, 0).hasLink());

    Editing b(kTmrLadder);
    const QString before = b.text();
    EXPECT_TRUE(setVerticalLink(b.ladder, {0, 1}).refused);
    EXPECT_TRUE(setVerticalLink(b.ladder, {1, 8}).refused);
    EXPECT_EQ(b.text(), before);

    EditResult cleared = clearVerticalLink(e.ladder, {0, 0});
    EXPECT_TRUE(cleared.changed);
    EXPECT_FALSE(e.ladder.cell(0, 0).hasLink());
    EXPECT_FALSE(clearVerticalLink(e.ladder, {0, 0}).changed);
}

TEST(EditCellText, ParameterRulesPerInstructionAndColumn)
{
    struct Case {
        const char* block;   // instruction name
        int column;          // block column
        const char* typed;
        const char* stored;  // nullptr: refused with `error`
        int error;
    };
    const Case cases[] = {
        {"CTR", 1, "5", "0005", 0},         {"CTR", 1, "128", nullptr, 1012},   {"CTR", 1, "A1", nullptr, 1011},
        {"TMRB", 1, "5", "0005", 0},        {"TMRB", 1, "6", nullptr, 1012},    {"TMRB", 3, "65535", "65535", 0},
        {"COMP", 1, "1001", "1001", 0},     {"COMP", 1, "3", nullptr, 1012},    {"COMP", 3, "d10", "D0010", 0},
        {"ADD", 4, "R100", "R0100", 0},     {"ADD", 4, "X1", nullptr, 1011},    {"ADD", 4, "R990", nullptr, 1011},
        {"MOVN", 1, "256", "0256", 0},      {"MOVN", 1, "0", nullptr, 1012},    {"DSCH", 3, "C10", nullptr, 1011},
        {"COD", 2, "0", nullptr, 1012},     {"SET", 1, "Y1.2", "Y001.2", 0},    {"SET", 1, "G63.0", nullptr, 1011},
        {"AXCTL", 1, "4", nullptr, 1012},   {"DIFU", 1, "255", "0255", 0},      {"ROT", 1, "Q5", nullptr, 1012},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 column %2 '%3'").arg(c.block).arg(c.column).arg(c.typed).toStdString());
        Editing e(".\n");
        ASSERT_TRUE(insertBlock(e.ladder, EditCursor::at({0, 0}), codeOf(c.block), 1).changed);
        const int start = blockStartColumn(blockShape(codeOf(c.block)).width);
        const EditResult r = editCellText(e.ctx(), {0, start + c.column}, c.typed);
        if (c.stored) {
            EXPECT_FALSE(r.refused) << (r.output.isEmpty() ? QString() : r.output.last()).toStdString();
            EXPECT_EQ(e.ladder.cell(0, start + c.column).text(), QByteArray(c.stored));
        } else {
            EXPECT_TRUE(r.refused);
            ASSERT_TRUE(r.error);
            EXPECT_EQ(r.error->code, c.error);
            EXPECT_FALSE(e.ladder.cell(0, start + c.column).hasText());
        }
    }
}

TEST(EditCellText, NumberedBlocksRefuseANumberInUse)
{
    Editing e(".\n");
    insertBlock(e.ladder, EditCursor::at({0, 0}), fn::TMR, 1);
    insertBlock(e.ladder, EditCursor::at({0, 0}), fn::TMR, 1);
    EXPECT_FALSE(editCellText(e.ctx(), {0, 5}, "3").refused);
    const EditResult dup = editCellText(e.ctx(), {2, 5}, "3");
    ASSERT_TRUE(dup.error);
    EXPECT_EQ(dup.error->code, err::TmrDuplicate);
    EXPECT_FALSE(editCellText(e.ctx(), {2, 5}, "4").refused);
    // The first block may take a new number and give 3 free for the second.
    EXPECT_FALSE(editCellText(e.ctx(), {0, 5}, "7").refused);
    EXPECT_FALSE(editCellText(e.ctx(), {2, 5}, "3").refused);
}

TEST(EditCellText, FormatChangeClearsTheDependentField)
{
    struct Case { quint16 code; int dependent; const char* constant; const char* address; };
    const Case cases[] = {{fn::COMP, 2, "100", "D10"}, {fn::COIN, 2, "7", "D2"}, {fn::ADD, 3, "1", "D4"},
                          {fn::SUB, 3, "2", "R5"}, {fn::EOR, 3, "3", "D6"}, {fn::ANDF, 3, "4", "D7"},
                          {fn::ORF, 3, "5", "D8"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.code));
        Editing e(".\n");
        insertBlock(e.ladder, EditCursor::at({0, 0}), c.code, 1);
        const int start = blockStartColumn(blockShape(c.code).width);
        ASSERT_FALSE(editCellText(e.ctx(), {0, start + 1}, "1").refused);
        ASSERT_FALSE(editCellText(e.ctx(), {0, start + c.dependent}, c.constant).refused);
        // Constant form to constant form keeps it.
        ASSERT_FALSE(editCellText(e.ctx(), {0, start + 1}, "2").refused);
        EXPECT_TRUE(e.ladder.cell(0, start + c.dependent).hasText());
        // An address is refused while the format says constant.
        EXPECT_TRUE(editCellText(e.ctx(), {0, start + c.dependent}, c.address).refused);
        ASSERT_FALSE(editCellText(e.ctx(), {0, start + 1}, "1002").refused);
        EXPECT_FALSE(e.ladder.cell(0, start + c.dependent).hasText());
        EXPECT_EQ(e.ladder.cell(0, start + c.dependent).number, -1);
        EXPECT_FALSE(editCellText(e.ctx(), {0, start + c.dependent}, c.address).refused);
    }
}

TEST(EditCellText, CodCapacityReplacesTheTableLinesBelow)
{
    Editing e("X000.0\n");
    ASSERT_TRUE(insertBlock(e.ladder, EditCursor::at({0, 0}), fn::COD, 1).changed);
    // COD: width 5, start 2, two lines; the table goes in below line 1.
    EditResult r = editCellText(e.ctx(), {0, 4}, "25");
    ASSERT_FALSE(r.refused);
    ASSERT_EQ(e.ladder.lineCount(), 2 + 3 + 1);
    for (int l = 2; l < 5; ++l)
        for (int c = 0; c < kColumns; ++c) {
            EXPECT_EQ(e.ladder.cell(l, c).code, blockCellCode(fn::CODT, l - 2, c));
            EXPECT_EQ(e.ladder.cell(l, c).tableRows, 3);
        }
    EXPECT_EQ(e.ladder.cell(5, 0).text(), QByteArray("X000.0"));
    EXPECT_EQ(blockExtent(e.ladder, 3), (LineSpan{0, 4}));
    // CODT values are stored with five digits; the cursor walks on through the table.
    EditResult v = editCellText(e.ctx(), {2, 9}, "12");
    EXPECT_EQ(e.ladder.cell(2, 9).text(), QByteArray("00012"));
    EXPECT_EQ(v.cursor.cursor, (CellPos{3, 0}));
    EXPECT_EQ(editCellText(e.ctx(), {2, 0}, "65536").error->code, 1012);
    // A smaller capacity keeps the values of the lines that stay.
    ASSERT_FALSE(editCellText(e.ctx(), {0, 4}, "10").refused);
    EXPECT_EQ(e.ladder.lineCount(), 2 + 1 + 1);
    EXPECT_EQ(e.ladder.cell(2, 9).text(), QByteArray("00012"));
    EXPECT_EQ(e.ladder.cell(2, 0).tableRows, 1);
    // Undo of the capacity change brings the three lines back as they were.
    const QString three = e.text();
    EditResult more = editCellText(e.ctx(), {0, 4}, "100");
    EXPECT_EQ(e.ladder.lineCount(), 2 + 10 + 1);
    more.change.undo(e.ladder);
    EXPECT_EQ(e.text(), three);
}

TEST(Blocks, InsertionCentresTheBlockAndRefusesBeyondTheLimit)
{
    Editing e("X000.0\n.\n");
    EditResult r = insertBlockByName(e.ladder, EditCursor::at({1, 3}), "DSCH", 1);
    ASSERT_TRUE(r.changed);
    EXPECT_EQ(e.ladder.lineCount(), 5);
    EXPECT_EQ(e.ladder.cell(1, 2).code, 0x1700);
    EXPECT_EQ(e.ladder.cell(1, 2).text(), QByteArray("DSCH"));
    EXPECT_EQ(r.cursor.cursor, (CellPos{1, 3}));
    EXPECT_EQ(insertBlockByName(e.ladder, EditCursor::at({0, 0}), "dsch", 1).messageBox, "Input error!");
    EXPECT_EQ(insertBlockByName(e.ladder, EditCursor::at({0, 0}), "CODT", 1).messageBox, "Operation error!");
    // Inserting inside a block goes in above it.
    insertBlock(e.ladder, EditCursor::at({2, 0}), fn::END1, 1);
    EXPECT_EQ(e.ladder.cell(1, 4).code, fn::END1);
    EXPECT_EQ(e.ladder.cell(2, 2).code, 0x1700);

    Editing full(".\n");
    full.ladder.insertLines(0, kMaxLines - 4);   // 4997 lines: a 2-line block fits, a 3-line one not
    EditResult refused = insertBlock(full.ladder, EditCursor::at({0, 0}), fn::DSCH, 1);
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.messageBox, "beyond the confine of Max line!");
    EXPECT_EQ(full.ladder.lineCount(), kMaxLines - 3);
    EXPECT_TRUE(insertBlock(full.ladder, EditCursor::at({0, 0}), fn::TMR, 1).changed);
}

TEST(Lines, InsertAndDeleteFollowTheBlockAndLimitRules)
{
    struct Case {
        const char* name;
        CellRange selection;
        int lineCountAfter;
        int firstDeleted;
    };
    // 0 X, 1-2 TMR, 3 Y, 4 last
    const QString ladder = QStringLiteral("X000.0\n") + kTmrLadder + "X000.1\n.\n";
    const Case cases[] = {
        {"one plain line", {{0, 0}, {0, 9}}, 5, 0},
        {"a block line widens to the whole block", {{2, 3}, {2, 3}}, 4, 1},
        {"selection into a block widens down", {{0, 0}, {1, 0}}, 3, 0},
        {"the last line stays", {{4, 0}, {5, 0}}, 5, 4},
        {"everything but the last line", {{0, 0}, {5, 9}}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Editing e(ladder);
        const QString before = e.text();
        EditResult r = deleteSelectedLines(e.ladder, {c.selection.start, c.selection});
        EXPECT_EQ(e.ladder.lineCount(), c.lineCountAfter);
        if (r.changed) {
            EXPECT_EQ(r.cursor.cursor.line, c.firstDeleted);
            r.change.undo(e.ladder);
            EXPECT_EQ(e.text(), before);
        }
    }
    Editing only(".\n");
    EXPECT_TRUE(deleteSelectedLines(only.ladder, EditCursor::at({0, 0})).refused);

    Editing e(ladder);
    EditResult ins = insertEmptyLines(e.ladder, EditCursor::at({2, 4}), 2, 1);
    EXPECT_EQ(ins.cursor.cursor, (CellPos{1, 4}));   // above the block, not into it
    EXPECT_EQ(e.ladder.cell(3, 4).code, 0x1900);
    EditResult big = insertEmptyLines(e.ladder, EditCursor::at({0, 0}), kMaxLines - e.ladder.lineCount(), 0);
    EXPECT_TRUE(big.refused);
    EXPECT_EQ(big.messageBox, QString::fromUtf8("行数超出范围"));
    EXPECT_TRUE(insertEmptyLines(e.ladder, EditCursor::at({0, 0}), kMaxLines - e.ladder.lineCount() - 1, 0).changed);
    EXPECT_EQ(e.ladder.lineCount(), kMaxLines - 1);
}

TEST(Clipboard, CopyPasteAndTheBlockRules)
{
    Editing e(QStringLiteral("X000.0 X000.1 - - - - - - - (Y000.0) ;first\n") + kTmrLadder);
    // A rectangle through a block is refused.
    EXPECT_FALSE(copyCells(e.ladder, {{1, 3}, {1, 5}}));
    EXPECT_FALSE(copyCells(e.ladder, {{0, 0}, {1, 9}}));
    // Contacts left of a block are plain cells.
    EXPECT_TRUE(copyCells(e.ladder, {{1, 0}, {1, 2}}));
    const auto block = copyCells(e.ladder, {{1, 0}, {2, 9}});
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->wholeLines());

    const auto cells = copyCells(e.ladder, {{0, 0}, {0, 1}});
    ASSERT_TRUE(cells);
    EditResult p = pasteCells(e.ladder, EditCursor::at({3, 5}), *cells, 1);
    ASSERT_TRUE(p.changed);
    EXPECT_EQ(e.ladder.cell(3, 6).text(), QByteArray("X000.1"));
    EXPECT_EQ(e.ladder.lineCount(), 5);   // an empty line follows what was pasted
    EXPECT_EQ(p.cursor.selection, (CellRange{{3, 5}, {3, 6}}));
    // Refusals: past column 9, onto a block line, a coil off column 9, block cells partly.
    EXPECT_EQ(pasteCells(e.ladder, EditCursor::at({3, 9}), *cells, 1).messageBox, "Operation error!");
    EXPECT_TRUE(pasteCells(e.ladder, EditCursor::at({1, 0}), *cells, 1).refused);
    const auto coil = copyCells(e.ladder, {{0, 8}, {0, 9}});
    EXPECT_TRUE(pasteCells(e.ladder, EditCursor::at({3, 0}), *coil, 1).refused);
    EXPECT_TRUE(pasteCells(e.ladder, EditCursor::at({3, 8}), *coil, 1).changed);

    // Whole lines go in above the cursor line, notes with them, and travel as text.
    const auto first = copyCells(e.ladder, {{0, 0}, {0, 9}});
    const QString text = clipToText(*first);
    EXPECT_EQ(text, "X000.0 X000.1 - - - - - - - (Y000.0) ;first\n");
    const auto back = clipFromText(text);
    ASSERT_TRUE(back);
    Editing other(".\n");
    EditResult lines = pasteCells(other.ladder, EditCursor::at({0, 3}), *back, 1);
    EXPECT_EQ(other.text(), "X000.0 X000.1 - - - - - - - (Y000.0) ;first\n.\n");
    EXPECT_EQ(lines.cursor.selection, (CellRange{{0, 0}, {0, 9}}));
    EXPECT_FALSE(clipFromText("Dear colleague, here is the rung"));
    EXPECT_TRUE(clipToText(*cells).isEmpty());
}

TEST(Clipboard, CutClearsCellsOrDeletesWholeLines)
{
    Editing e("X000.0 X000.1 X000.2\nX001.0\n.\n");
    CellClip clip;
    EditResult r = cutCells(e.ladder, {{0, 1}, {{0, 1}, {0, 2}}}, &clip, 1);
    EXPECT_EQ(e.text(), "X000.0\nX001.0\n.\n");
    EXPECT_EQ(clip.columns, 2);
    r = cutCells(e.ladder, {{0, 0}, {{0, 0}, {0, 9}}}, &clip, 1);
    EXPECT_EQ(e.text(), "X001.0\n.\n");
    EXPECT_TRUE(clip.wholeLines());
}

TEST(FindReplace, FindStepsFromNextToTheCursor)
{
    Editing e("X001.2 X000.0 X001.2\n. X001.2\n.\n");
    struct Case { CellPos from; const char* text; bool down; std::optional<CellPos> found; };
    const Case cases[] = {
        {{0, 0}, "X001.2", true, CellPos{0, 2}},  {{0, 2}, "X001.2", true, CellPos{1, 1}},
        {{1, 1}, "X001.2", true, std::nullopt},   {{1, 1}, "X001.2", false, CellPos{0, 2}},
        {{0, 2}, "X001.2", false, CellPos{0, 0}}, {{0, 0}, "x001.2", true, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findCell(e.ladder, c.from, c.text, c.down), c.found) << c.text;
    // The dialog normalises a typed address first.
    EXPECT_EQ(findNext(e.ladder, EditCursor::at({0, 0}), "x1.2", true, 1).cursor.cursor, (CellPos{0, 2}));
    EXPECT_EQ(findNext(e.ladder, EditCursor::at({1, 1}), "X1.2", true, 1).messageBox, "Pattern not found!");
    EXPECT_EQ(findNext(e.ladder, EditCursor::at({1, 1}), "X1.2", true, 0).messageBox,
              QString::fromUtf8("没有找到要查找的内容!"));
}

TEST(FindReplace, ReplaceChecksTheReplacement)
{
    Editing e("X001.2 X000.0 - - - - - - - (Y001.0)\n. X001.2 - - - - - - - (Y002.0)\n.\n");
    EditResult bad = replaceNext(e.ctx(), EditCursor::at({0, 0}), "X1.2", "X300.0", true);
    EXPECT_TRUE(bad.refused);
    EXPECT_EQ(bad.error->code, 1011);
    EXPECT_EQ(e.ladder.cell(0, 0).text(), QByteArray("X001.2"));
    EditResult ok = replaceNext(e.ctx(), EditCursor::at({0, 0}), "X1.2", "x7.1", true);
    EXPECT_EQ(e.ladder.cell(0, 0).text(), QByteArray("X007.1"));
    EXPECT_EQ(ok.cursor.cursor, (CellPos{1, 1}));
    // A coil may not take an address another coil has.
    EXPECT_EQ(replaceNext(e.ctx(), EditCursor::at({1, 9}), "Y002.0", "Y001.0", true).error->code, 1011);

    const QString before = e.text();
    EditResult all = replaceAll(e.ctx(), EditCursor::at({0, 0}), "X000.0", "X5.5");
    EXPECT_EQ(all.output, QStringList{"Complete"});
    EXPECT_EQ(e.ladder.cell(0, 1).text(), QByteArray("X005.5"));
    all.change.undo(e.ladder);
    EXPECT_EQ(e.text(), before);
    // All or nothing: a refused cell takes back what the others already got.
    e.ladder.mutableLine(2)->cells[0] = e.ladder.cell(0, 9);   // a second coil Y001.0 (already wrong)
    const QString withTwo = e.text();
    EditResult partial = replaceAll(e.ctx(), EditCursor::at({0, 0}), "Y001.0", "Y003.0");
    EXPECT_TRUE(partial.refused);
    EXPECT_EQ(e.text(), withTwo);
    EXPECT_EQ(replaceAll(e.ctx(0), EditCursor::at({0, 0}), "Y003.0", "Y004.0").messageBox,
              QString::fromUtf8("没有找到要查找的内容!"));
}

TEST(AddressField, NormalisedOnFocusLoss)
{
    const std::pair<const char*, const char*> cases[] = {
        {"x5.3", "X005.3"}, {"X12.3", "X012.3"}, {"R100", "R100"}, {"Y1.2", "Y001.2"},
        {"D0010a", "D0010a"}, {"X", "X"}, {"12", "12"}, {"", ""},
    };
    for (const auto& [typed, shown] : cases)
        EXPECT_EQ(normaliseAddressField(typed), QByteArray(shown)) << typed;
}

TEST(CrossReference, ContactsCoilsAndBlockParameters)
{
    Editing e("X001.2 /X001.2 - - - - - - - (R010.1)\n"
              "- - - {2000:ADD} {2001:0001} {2002:X0001} {2003:0001} {2004:R0010} - -\n"
              ". . . {2010} {2011} {2012} {2013} {2014}\n"
              "{4000:00001} {4001} {4002} {4003} {4004} {4005} {4006} {4007} {4008} {4009}\n"
              "X001.3\n");
    const auto refs = crossReferences(e.ladder, "x1.2");
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[0].use, ReferenceUse::Contact);
    EXPECT_EQ(refs[1].use, ReferenceUse::ContactNC);
    EXPECT_EQ(refs[2].pos, (CellPos{1, 5}));
    EXPECT_EQ(refs[2].use, ReferenceUse::Parameter);
    const auto r10 = crossReferences(e.ladder, "R0010");
    ASSERT_EQ(r10.size(), 2u);
    EXPECT_EQ(r10[0].use, ReferenceUse::Coil);
    EXPECT_EQ(r10[1].pos, (CellPos{1, 7}));
    EXPECT_TRUE(crossReferences(e.ladder, "0001").empty());
}

TEST(EditMessages, BothLanguages)
{
    EXPECT_EQ(editMessage(EditMessage::Checking, 1), "Checking...");
    EXPECT_EQ(editMessage(EditMessage::Accept, 1), "Accept!");
    EXPECT_EQ(editMessage(EditMessage::ReplaceComplete, 0), QString::fromUtf8("全部替换完成。"));
    EXPECT_EQ(editMessage(EditMessage::InputError, 0), QString::fromUtf8(kFunctionInputErrorZh));
    EXPECT_EQ(editMessage(EditMessage::BeyondMaxLine, 1), QString::fromUtf8(kBeyondMaxLineEn));
    EXPECT_EQ(cellPrompt(ladderOf(".\n"), {0, 0}, 1), QString());
}

TEST(EditCellText, DialogPromptsAndWhatCanBeReEdited)
{
    Editing e("X000.0 - - - - - - - - (Y000.0)\n"
              "- - - - {1900:TMR} {1901:0001} - - - -\n"
              ". . . . {1910} {1911}\n"
              "{4000:00001} {4001} {4002} {4003} {4004} {4005} {4006} {4007} {4008} {4009}\n.\n");
    struct Case { CellPos pos; const char* zh; const char* en; };
    const Case cases[] = {
        {{0, 0}, "常开触点", "Normally-open contact"}, {{0, 9}, "输出线圈", "Output coil"},
        {{1, 5}, "定时器号", "TMR No"},                  {{3, 7}, "转换表数据", "convert table data"},
        {{1, 4}, "", ""},                                {{2, 5}, "", ""},
        {{0, 1}, "", ""},                                {{4, 0}, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cellPrompt(e.ladder, c.pos, 0), QString::fromUtf8(c.zh));
        EXPECT_EQ(cellPrompt(e.ladder, c.pos, 1), QString::fromUtf8(c.en));
        EXPECT_EQ(isEditableCell(e.ladder, c.pos), *c.en != '\0');
    }
    // Re-editing keeps the element kind and runs the same check as placing.
    EXPECT_EQ(editCellText(e.ctx(), {0, 9}, "R990.1").error->code, 1011);
    EXPECT_FALSE(editCellText(e.ctx(), {0, 9}, "r5.1").refused);
    EXPECT_EQ(e.ladder.cell(0, 9).text(), QByteArray("R005.1"));
    EXPECT_EQ(e.ladder.cell(0, 9).number, 5);
    EditResult name = editCellText(e.ctx(), {1, 4}, "CTR");
    EXPECT_TRUE(name.refused);
    EXPECT_EQ(e.ladder.cell(1, 4).text(), QByteArray("TMR"));
}
