// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/address.h"
#include "rungpad/model/comments.h"
#include "rungpad/model/editchange.h"
#include "rungpad/model/ladder.h"
#include "rungpad/model/ladderdocument.h"
#include "rungpad/model/laddertext.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace rungpad;

TEST(LadderProgram, LineIndexIsClampedIntoTheLadder)
{
    LadderProgram p;
    ASSERT_EQ(p.insertLines(0, 3), InsertResult::Inserted);
    p.mutableLine(0)->cells[0].code = kContactNO;
    p.mutableLine(2)->cells[0].code = kCoil;
    EXPECT_EQ(p.line(-3)[0].code, kContactNO);
    EXPECT_EQ(p.line(3 + 5)[0].code, kCoil);
    EXPECT_EQ(p.mutableLine(3), nullptr);
    LadderProgram empty;
    EXPECT_EQ(empty.line(0)[0].code, kEmpty);
}

TEST(LadderProgram, InsertRefusedWhenTotalWouldReachMaxLines)
{
    LadderProgram p;
    ASSERT_EQ(p.insertLines(0, 4990), InsertResult::Inserted);
    const quint64 before = p.revision();
    EXPECT_EQ(p.insertLines(10, 10), InsertResult::BeyondMaxLines);
    EXPECT_EQ(p.lineCount(), 4990);
    EXPECT_EQ(p.revision(), before);
    EXPECT_EQ(p.insertLines(10, 9), InsertResult::Inserted);
    EXPECT_EQ(p.lineCount(), 4999);
    EXPECT_EQ(p.insertLines(0, 1), InsertResult::BeyondMaxLines);
    // A file may still hold 5000 lines, never more.
    EXPECT_TRUE(p.appendLoadedLine(LadderRow{}));
    EXPECT_FALSE(p.appendLoadedLine(LadderRow{}));
    EXPECT_EQ(p.lineCount(), kMaxLines);
    EXPECT_EQ(p.insertLines(-1, 1), InsertResult::BadPosition);
}

TEST(LadderProgram, NotesMoveWithTheirLines)
{
    LadderProgram p;
    p.insertLines(0, 4);
    for (int i = 0; i < 4; ++i) {
        p.mutableLine(i)->cells[1].setText(QByteArray::number(i));
        p.setNote(i, QString("note %1").arg(i));
    }
    p.insertLines(1, 2);
    EXPECT_EQ(p.line(3)[1].text(), "1");
    EXPECT_EQ(p.note(3), "note 1");
    EXPECT_TRUE(p.note(1).isEmpty());
    EXPECT_TRUE(p.note(2).isEmpty());
    p.deleteLines(0, 3);
    EXPECT_EQ(p.lineCount(), 3);
    EXPECT_EQ(p.line(0)[1].text(), "1");
    EXPECT_EQ(p.note(0), "note 1");
    EXPECT_EQ(p.note(2), "note 3");
    EXPECT_TRUE(p.note(3).isEmpty());
    p.deleteLines(1, 100);   // clipped to the end
    EXPECT_EQ(p.lineCount(), 1);
}

TEST(LadderProgram, CopyIsDeep)
{
    LadderProgram p;
    p.insertLines(0, 1);
    p.mutableLine(0)->cells[0].setText("X000.0");
    LadderProgram copy = p;
    p.mutableLine(0)->cells[0].setText("Y000.0");
    EXPECT_EQ(copy.line(0)[0].text(), "X000.0");
}

TEST(LadderProgram, TableRowsCountTheCodtGroupButNotAGroupAtTheEnd)
{
    LadderProgram p;
    p.insertLines(0, 6);
    for (int line : {1, 2, 4, 5})
        for (int c = 0; c < kColumns; ++c)
            p.mutableLine(line)->cells[size_t(c)].code = blockCellCode(fn::CODT, line, c);
    p.recomputeTableRows();
    EXPECT_EQ(p.line(1)[0].tableRows, 2);
    EXPECT_EQ(p.line(2)[9].tableRows, 2);
    EXPECT_EQ(p.line(3)[0].tableRows, 0);
    EXPECT_EQ(p.line(4)[0].tableRows, 0);
    EXPECT_EQ(p.line(5)[0].tableRows, 0);
}

// Cross references and the review both find addresses through this walk: a block's name, its
// lower lines and a code table's numbers must never be taken for an address.
TEST(LadderProgram, OperandCellsAreContactsCoilsAndTopLineBlockParameters)
{
    const auto ladder = readLadderText(QStringLiteral("X000.0 /X000.1 - - {1900:TMR} {1901:0001} - - - (Y000.0)\n"
                                                      "[] . . . {1910:R0001} {1911:R0002} . . . (/Y000.1)\n"
                                                      "{4000:00001} {4001:00002} {4002:00003}\n"
                                                      "{4000:00004}\n"
                                                      "() . . . . . . . . -\n"));
    ASSERT_TRUE(ladder);
    std::vector<std::pair<int, int>> seen;
    forEachOperandCell(*ladder, [&](int line, int column, const LadderCell& cell) {
        EXPECT_EQ(&cell, &ladder->cell(line, column));
        seen.emplace_back(line, column);
    });
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 5}, {0, 9}, {1, 9}}));
}

TEST(LadderCell, TextIsCutToSixBytesAndClearResetsTheElement)
{
    LadderCell cell;
    EXPECT_EQ(cell.number, -1);
    cell.setText("ABCDEFGH");
    EXPECT_EQ(cell.text(), "ABCDEF");
    cell.code = kCoil;
    cell.verticalLink = 1;
    cell.number = 12;
    cell.clear();
    EXPECT_EQ(cell, LadderCell{});
}

TEST(ElementCodes, FunctionCodesFollowTheListIndex)
{
    EXPECT_EQ(functionCodeOfIndex(0), fn::CTR);
    EXPECT_EQ(functionCodeOfIndex(12), fn::XMOV);
    EXPECT_EQ(functionCodeOfIndex(13), fn::END1);
    EXPECT_EQ(functionCodeOfIndex(14), fn::END2);
    EXPECT_EQ(functionCodeOfIndex(15), fn::DEC);
    EXPECT_EQ(functionCodeOfIndex(38), fn::WINDW);
    EXPECT_EQ(functionCodeOfIndex(39), 0);
    EXPECT_TRUE(isFunctionBlockCode(0x1001));
    EXPECT_FALSE(isFunctionBlockCode(0x2300));
    EXPECT_FALSE(isFunctionBlockCode(kCoil));
    EXPECT_EQ(blockCellCode(fn::SFT, 2, 1), 0x3721);
    EXPECT_EQ(functionIndexOfCode(0x7111), 13);
    // Every cell of every block finds its instruction; nothing else finds one.
    for (int i = 0; i < kFunctionInstructionCount; ++i)
        for (quint16 cell : {quint16(0x00), quint16(0x21), quint16(0xFF)})
            EXPECT_EQ(functionIndexOfCode(functionCodeOfIndex(i) | cell), i) << i;
    int functions = 0;
    for (int kind = 0; kind < 256; ++kind)
        functions += functionIndexOfCode(quint16(kind << 8)) >= 0;
    EXPECT_EQ(functions, kFunctionInstructionCount);
}

TEST(Address, FormattedWithThreeByteDigits)
{
    EXPECT_EQ(formatAddress('X', 12, 3), "X012.3");
    EXPECT_EQ(formatAddress('R', 999, 7), "R999.7");
    struct Case { const char* text; const char* normalised; };
    const Case cases[] = {{"x5.3", "X005.3"}, {"X12.3", "X012.3"}, {"R999.7", "R999.7"},
                          {"X5", nullptr}, {"X200.0", nullptr}, {"X1.8", nullptr},
                          {"A64.0", nullptr}, {"Q1.0", nullptr}, {"X0001.0", nullptr}};
    for (const Case& c : cases) {
        const auto a = parseElementAddress(c.text);
        if (!c.normalised) {
            EXPECT_FALSE(a) << c.text;
        } else {
            ASSERT_TRUE(a) << c.text;
            EXPECT_EQ(formatAddress(*a), c.normalised);
        }
    }
}

TEST(CommentTables, IndexRulesPerLetter)
{
    EXPECT_EQ(commentKey('X', 12, 3)->index, (512 + 12) * 8 + 3);
    EXPECT_EQ(commentKey('A', 63, 7)->index, (832 + 63) * 8 + 7);
    EXPECT_TRUE(commentKey('R', 999, 7)->relay);
    EXPECT_FALSE(commentKey('R', 1000, 0));
    EXPECT_FALSE(commentKey('Q', 0, 0));
    CommentTables t;
    EXPECT_TRUE(t.setCommentOf("X012.3", "start"));
    EXPECT_EQ(t.notation.at((512 + 12) * 8 + 3), "start");
    EXPECT_TRUE(t.setCommentOf("R100.1", "relay"));
    EXPECT_EQ(t.relay.at(801), "relay");
    EXPECT_EQ(t.mCodes.at(5), -1);
    // Bytes 128..255 of the F area carry no bits of their own for a bit text 0 or 1.
    EXPECT_EQ(commentKeyOfText("F130.1")->index, 130 * 8);
}

TEST(LadderDocument, AnEditAfterConversionEndsTheConvertedState)
{
    LadderDocument doc;
    EXPECT_EQ(doc.editLadder.lineCount(), 1);
    EXPECT_FALSE(doc.isConverted());
    doc.setConverted(true);
    EXPECT_TRUE(doc.isConverted());
    doc.editLadder.mutableLine(0)->cells[0].code = kHorizontalWire;
    EXPECT_FALSE(doc.isConverted());
    doc.setConverted(true);
    doc.markModified();
    EXPECT_FALSE(doc.isConverted());
    doc.setConverted(false);
    EXPECT_FALSE(doc.isConverted());
}

TEST(LadderChange, UndoGivesAFullLadderItsDeletedLinesBack)
{
    // A file may hold 5000 lines, more than editing may create; undo must still restore.
    LadderProgram ladder;
    LadderRow marked;
    marked[3].code = kContactNO;
    marked[3].setText("X001.2");
    for (int i = 0; i < kMaxLines; ++i)
        ASSERT_TRUE(ladder.appendLoadedLine(i == 4000 ? marked : LadderRow{}));
    ladder.setNote(4000, "kept");
    LadderChange change;
    change.deleteRows(ladder, 3999, 3);
    EXPECT_EQ(ladder.lineCount(), kMaxLines - 3);
    change.undo(ladder);
    ASSERT_EQ(ladder.lineCount(), kMaxLines);
    EXPECT_EQ(ladder.line(4000), marked);
    EXPECT_EQ(ladder.note(4000), "kept");
    change.redo(ladder);
    EXPECT_EQ(ladder.lineCount(), kMaxLines - 3);
    EXPECT_EQ(ladder.note(3999), "");
}

TEST(LadderChange, StepsReplayInOrderAndRollBack)
{
    LadderProgram ladder;
    ladder.insertLines(0, 2);
    LadderCell wire;
    wire.code = kHorizontalWire;
    LadderChange change;
    change.setCell(ladder, 1, 0, wire);
    change.insertRows(ladder, 1, {LadderRow{}, LadderRow{}}, {"a", "b"});
    change.setCell(ladder, 3, 1, wire);   // the wired line moved down by two
    change.setNote(ladder, 0, "top");
    const LadderProgram after = ladder;
    EXPECT_EQ(ladder.cell(3, 0).code, kHorizontalWire);
    EXPECT_EQ(ladder.note(2), "b");
    change.undo(ladder);
    EXPECT_EQ(ladder.lineCount(), 2);
    EXPECT_EQ(ladder.cell(1, 0).code, kEmpty);
    EXPECT_EQ(ladder.note(0), "");
    change.redo(ladder);
    for (int l = 0; l < after.lineCount(); ++l) {
        EXPECT_EQ(ladder.line(l), after.line(l));
        EXPECT_EQ(ladder.note(l), after.note(l));
    }
    change.rollback(ladder);
    EXPECT_TRUE(change.isEmpty());
    EXPECT_EQ(ladder.lineCount(), 2);
    // A selection mark belongs to the view, an undo leaves it alone.
    ladder.mutableLine(0)->cells[0].selected = 1;
    LadderChange mark;
    mark.setCell(ladder, 0, 0, wire);
    mark.undo(ladder);
    EXPECT_EQ(ladder.cell(0, 0).selected, 1);
}

// Lines come from a pool of their own: rows made on one thread and dropped on another, then
// made again, are whole and distinct, and every row keeps what was written into it.
TEST(LadderRows, PoolKeepsRowsApartAcrossThreads)
{
    LadderProgram made;
    std::thread([&made] {
        for (int i = 0; i < 1500; ++i) {
            LadderRow row;
            row[0].code = kContactNO;
            row[0].number = qint16(i);
            made.appendLoadedLine(row);
        }
    }).join();
    made.deleteLines(100, 1000);   // freed here, on another thread than they were made
    LadderProgram again;
    for (int i = 0; i < 3000; ++i) {
        LadderRow row;
        row[9].code = kCoil;
        row[9].number = qint16(i);
        again.appendLoadedLine(row);
    }
    std::set<const LadderRow*> seen;
    for (int i = 0; i < made.lineCount(); ++i)
        seen.insert(&made.line(i));
    for (int i = 0; i < again.lineCount(); ++i) {
        ASSERT_TRUE(seen.insert(&again.line(i)).second) << i;
        ASSERT_EQ(again.line(i)[9].number, i);
    }
    ASSERT_EQ(made.lineCount(), 500);
    for (int i = 0; i < made.lineCount(); ++i)
        EXPECT_EQ(made.line(i)[0].number, i < 100 ? i : i + 1000);
}
