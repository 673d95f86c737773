// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's units on their own: the numbered-block table, the image writer's data
// packing and limits, the two address readings, and the editor's ranges against the
// assembler's.
#include "rungpad/compiler/imagewriter.h"
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/numbertables.h"
#include "rungpad/model/address.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace rungpad;

TEST(NumberTables, EveryNumberCellIsAParameterOfItsBlockAndSharedGroupsShare)
{
    for (const NumberedBlock& b : kNumberedBlocks) {
        const FunctionInstruction* f = functionInstruction(b.instruction);
        ASSERT_NE(f, nullptr) << b.instruction;
        EXPECT_GE(b.column, 1) << f->name;
        EXPECT_LT(b.column, f->width) << f->name;
        EXPECT_EQ(numberedBlockOfCell(blockCellCode(b.instruction, 0, b.column)), &b) << f->name;
        EXPECT_EQ(numberedBlock(blockCellCode(b.instruction, 0, 0)), &b) << f->name;
        EXPECT_EQ(numberedBlockOfCell(blockCellCode(b.instruction, 1, b.column)), nullptr) << f->name;
    }
    EXPECT_EQ(numberedBlock(fn::TMR)->group, numberedBlock(fn::TMRC)->group);
    EXPECT_NE(numberedBlock(fn::TMR)->group, numberedBlock(fn::TMRB)->group);
    EXPECT_EQ(numberedBlock(fn::DIFU)->group, numberedBlock(fn::DIFD)->group);
    EXPECT_EQ(numberedBlock(fn::MOVN), nullptr);
}

TEST(NumberTables, TakeReleaseAndHoldFollowTheTable)
{
    struct Case { quint16 first; int n; quint16 second; int m; std::optional<int> answer; };
    const Case cases[] = {
        {fn::TMR, 5, fn::TMRC, 5, err::TmrDuplicate},   {fn::TMR, 5, fn::TMRB, 5, std::nullopt},
        {fn::DIFU, 9, fn::DIFD, 9, err::DifMisused},    {fn::CTR, 1, fn::CTR, 1, err::CtrDuplicate},
        {fn::LBL, 3, fn::SP, 3, std::nullopt},          {fn::SP, 3, fn::SP, 3, err::CallSpMisused},
        {fn::LBL, 0, fn::LBL, 100, err::NumberOutOfRange}, {fn::CTR, 0, fn::CTR, 128, err::NumberOutOfRange},
        {fn::DIFU, 0, fn::DIFD, 256, err::DifMisused},  {fn::DIFU, 0, fn::DIFD, 255, std::nullopt},
        {fn::TMRB, 0, fn::TMRB, -1, err::NumberOutOfRange}, {fn::MOVN, 1, fn::MOVN, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        UsedNumbers used;
        EXPECT_EQ(used.take(c.first, c.n), std::nullopt);
        EXPECT_EQ(used.take(c.second, c.m), c.answer) << c.first << " " << c.second << " " << c.m;
        used.release(c.first, c.n);
        EXPECT_FALSE(used.held(c.first, c.n));
        EXPECT_EQ(used.take(c.first, c.n), std::nullopt);
        used.clear();
        EXPECT_FALSE(used.held(c.first, c.n));
    }
}

TEST(ImageWriter, TableValuesPackAcrossByteAndWordTablesAndStopAtTheLimits)
{
    std::vector<ConvertError> list;
    ErrorSink errors(list);
    CodeImage image;
    ImageWriter out(image, errors);
    ASSERT_TRUE(out.addData(0x12, 1, 0));
    ASSERT_TRUE(out.addData(0xABCD, 2, 0));   // a word from an odd byte straddles two words
    ASSERT_TRUE(out.addData(0x34, 1, 0));
    EXPECT_EQ(image.dataWords, (std::vector<quint16>{0xCD12, 0x34AB}));
    while (image.dataWords.size() < size_t(kMaxDataWords))
        ASSERT_TRUE(out.addData(1, 2, 0));
    EXPECT_FALSE(out.addData(1, 2, 7));
    EXPECT_EQ(list.back(), (ConvertError{err::CodDataFull, 7, 0}));

    list.clear();
    ASSERT_TRUE(out.add(op::RD, 2, 0));
    ASSERT_TRUE(out.closeNetwork(0));
    EXPECT_EQ(out.networkStart(), 2);
    EXPECT_FALSE(out.outputPending());
    while (out.recordCount() < kMaxCodeRecords)
        ASSERT_TRUE(out.add(op::AND, 2, 1));
    EXPECT_EQ(out.add(op::AND, 2, 3), nullptr);
    EXPECT_EQ(list.back().code, err::BeyondMaxLinesOrSteps);
    EXPECT_FALSE(out.finish(4));
}

TEST(ImageWriter, ConstantOrAddressOperandsAreReadFromTheirText)
{
    std::vector<ConvertError> list;
    ErrorSink errors(list);
    CodeImage image;
    ImageWriter out(image, errors);
    ASSERT_TRUE(out.addConstOrAddress(op::COMP, kOperandConstant, "D0010", 0));
    ASSERT_TRUE(out.addConstOrAddress(op::COMP, kOperandAddress, "0042", 0));
    EXPECT_FALSE(out.addConstOrAddress(op::COMP, kOperandConstant, "Z0001", 5));
    EXPECT_EQ(list.back(), (ConvertError{err::AddressMalformed, 5, 0}));
    ASSERT_EQ(image.records.size(), 2u);
    EXPECT_EQ(image.records[0].sub, kOperandConstant);
    EXPECT_EQ(image.records[0].word(0), addressOperand("D0010")->code);
    EXPECT_EQ(image.records[1].constant(), 42);
    ASSERT_TRUE(out.finish(0));
    EXPECT_EQ(image.records.back().opcode, op::TERMINATOR);
}

TEST(AddressText, TheListedAndTheLookupReadingsDifferOnlyWhereNamed)
{
    struct Case { const char* text; const char* listed; const char* lookup; };
    const Case cases[] = {
        {"X012.3", "X012.3", "X012.3"}, {"D0010", "D0010", "D0010"}, {"DT0001", "DT0001", "DT0001"},
        {"X012.8", nullptr, "X012.8"},  {"X012.9", nullptr, "X012.9"}, {"B0001", nullptr, "B0001"},
        {"x012.3", "X012.3", "X012.3"}, {"dc0010", nullptr, nullptr}, {"Dc0010", nullptr, nullptr},
        {"X12345", nullptr, nullptr},   {"X", nullptr, nullptr},       {"1234", nullptr, nullptr},
        {"X012.", nullptr, nullptr},    {"X012.34", nullptr, nullptr}, {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const auto listed = parseAddressText(c.text, kListedAddressSyntax);
        const auto lookup = parseAddressText(c.text, kLookupAddressSyntax);
        EXPECT_EQ(listed ? listed->text() : QByteArray(), QByteArray(c.listed)) << c.text;
        EXPECT_EQ(lookup ? lookup->text() : QByteArray(), QByteArray(c.lookup)) << c.text;
    }
}

// What the editor lets a user type must convert: each editor range lies inside the
// assembler's for the same field.
TEST(NumberRanges, EveryEditorRangeLiesInsideTheAssemblersRange)
{
    struct Pair { const char* field; NumberRange editor; NumberRange assembler; };
    const Pair pairs[] = {
        {"timer/counter number", editorRange::TimerCounter, assemblerRange::TimerCounter},
        {"timer precision", editorRange::TimerPrecision, assemblerRange::TimerPrecision},
        {"timer preset", editorRange::TimerPreset, assemblerRange::TimerPreset},
        {"program number", editorRange::ProgramNumber, assemblerRange::ProgramNumber},
        {"move count", editorRange::MoveCount, assemblerRange::MoveCount},
        {"move byte", editorRange::Byte, assemblerRange::MoveByte},
        {"move word", editorRange::Word, assemblerRange::MoveWord},
        {"COD size", editorRange::SmallFormat, assemblerRange::CodSize},
        {"COD capacity", editorRange::CodCapacity, assemblerRange::CodCount},
        {"DEC format", editorRange::SmallFormat, assemblerRange::DecodeSub},
        {"DEC constant", editorRange::DecodeConstant, assemblerRange::DecodeConstant},
        {"axis group", editorRange::AxisGroup, assemblerRange::AxisGroup},
        {"table value", editorRange::TableValue, assemblerRange::TableValue},
    };
    for (const Pair& p : pairs) {
        EXPECT_GE(p.editor.lo, p.assembler.lo) << p.field;
        EXPECT_LE(p.editor.hi, p.assembler.hi) << p.field;
    }
    // The edge numbers the editor offers are the ones the table counts.
    EXPECT_EQ(editorRange::EdgeNumber.hi + 1, numberedBlock(fn::DIFU)->count);
    EXPECT_EQ(editorRange::ProgramNumber.hi + 1, numberedBlock(fn::LBL)->count);
    EXPECT_EQ(editorRange::TimerCounter.hi + 1, numberedBlock(fn::TMR)->count);
}

// Element addresses are written without floating-point formatting; the text must stay
// what "%c%05.1f" gives, edges of every range included.
TEST(AddressText, ElementAddressesAreWrittenAsThePrintfFormatWritesThem)
{
    for (const char letter : {'X', 'R', 'a', '\0'}) {
        for (int byte = -2; byte <= 1001; ++byte) {
            for (int bit = -1; bit <= 10; ++bit) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%c%05.1f", letter, byte + bit / 10.0);
                ASSERT_EQ(formatAddress(letter, byte, bit), QByteArray(buffer)) << letter << byte << "." << bit;
            }
        }
    }
}
