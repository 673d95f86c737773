#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/ladderdocument.h"
#include "rungpad/model/laddertext.h"

#include "ladder_helpers.h"

#include <gtest/gtest.h>

#include <random>

using namespace rungpad;
using namespace rungpad::testing;

namespace {
QString withEnds(const QString& body) { return body + kEnds; }
QString describe(const Outcome& o, const QString& text)
{
    return QStringLiteral("ladder:\n%1\nerror %2 at line %3\ninstructions:\n%4")
        .arg(text).arg(o.code).arg(o.line + 1).arg(o.lines.join('\n'));
}
}  // namespace

// ---------------------------------------------------------------------------------------
// Tables

TEST(InstructionTable, NamesCodesAndShapes)
{
    EXPECT_EQ(codeOf("END1"), 0x7100);
    EXPECT_EQ(codeOf("END2"), 0x7200);
    EXPECT_EQ(codeOf("CODT"), 0x4000);
    EXPECT_EQ(codeOf("WINDW"), 0x4800);
    EXPECT_EQ(codeOf("ctr"), 0);
    EXPECT_EQ(codeOf("FOO"), 0);
    for (int i = 0; i < kFunctionInstructionCount; ++i) {
        const auto& f = kFunctionInstructions[size_t(i)];
        EXPECT_EQ(f.code, functionCodeOfIndex(i)) << f.name;
        EXPECT_EQ(codeOf(f.name), f.code);
        if (f.opcode > 0 && f.code != fn::TMRC) {
            EXPECT_EQ(opcodeOf(f.name), f.opcode) << f.name;
        }
    }
    EXPECT_EQ(blockShape(0x3721).width, 3);
    EXPECT_EQ(blockShape(fn::SFT).height, 4);
    EXPECT_EQ(blockStartColumn(6), 2);
    EXPECT_EQ(blockStartColumn(5), 2);
    EXPECT_EQ(blockStartColumn(2), 4);
    EXPECT_EQ(blockStartColumn(1), 4);
    EXPECT_TRUE(drivesCoil(fn::COD));
    EXPECT_FALSE(takesConditions(fn::LBL));
    EXPECT_EQ(inputCount(fn::ADD), 2);
}

TEST(InstructionTable, MnemonicTableAndPrompts)
{
    EXPECT_EQ(opcodeOf("OR.STK"), 16);
    EXPECT_EQ(opcodeOf("AXCTL"), 54);
    EXPECT_EQ(opcodeOf("STOP"), 0);    // the end mark matches nothing
    EXPECT_EQ(opcodeOf("13"), 13);     // placeholder entries hold their own number
    EXPECT_EQ(opcodeOf("WINDR"), 0);
    EXPECT_EQ(prompt(fn::ROT, 1, 1), "rotate desk orientation addr");
    EXPECT_EQ(prompt(fn::ROT, 4, 0), QString::fromUtf8("结果输出地址"));
    EXPECT_EQ(prompt(fn::DSCH, 7, 1), "result output addr");   // capped at the fifth
    EXPECT_EQ(prompt(fn::CODT, 7, 1), "convert table data");
    EXPECT_EQ(prompt(fn::CODT, 0, 0), QString::fromUtf8("转换表数据"));
}

TEST(ErrorMessages, FormattedInTheRunningLanguage)
{
    EXPECT_EQ(formatErrorMessage({1005, 9, 0}, 1), "Ladder the 0010 Line, error code: 1005 error in  END1/END2");
    EXPECT_EQ(formatErrorMessage({1027, 0, 0}, 0),
              QString::fromUtf8("梯图第0001行  错误代号 1027 同一输出地址被重复使用"));
    EXPECT_EQ(errorText(1028, 1), "1028      ");
    EXPECT_TRUE(errorText(1041, 1).endsWith(' '));
}

// ---------------------------------------------------------------------------------------
// Series and parallel circuits

TEST(NetworkWalk, SeriesAndParallelCircuitsGiveTheStackOrder)
{
    struct Case { const char* name; const char* ladder; QStringList expected; };
    const Case cases[] = {
        {"series", "X000.0 /X000.1 - - - - - - - (Y000.0)\n",
         {"RD        X000.0", "AND.NOT   X000.1", "WRT       Y000.0"}},
        {"or", "X000.0+ - - - - - - - - (Y000.0)\nX000.1\n",
         {"RD        X000.0", "OR        X000.1", "WRT       Y000.0"}},
        {"or not", "X000.0+ - - - - - - - - (/Y000.0)\n/X000.1\n",
         {"RD        X000.0", "OR.NOT    X000.1", "WRT.NOT   Y000.0"}},
        {"or of series", "X000.0 X000.1+ - - - - - - - (Y000.0)\nX000.2 X000.3\n",
         {"RD        X000.0", "AND       X000.1", "RD        X000.2", "AND       X000.3", "OR.STK",
          "WRT       Y000.0"}},
        {"and of ors", "X000.0+ X000.2+ - - - - - - - (Y000.0)\nX000.1 X000.3\n",
         {"RD        X000.0", "OR        X000.1", "RD        X000.2", "OR        X000.3", "AND.STK",
          "WRT       Y000.0"}},
        {"series then or", "X000.0+ X000.1+ - - - - - - - (Y000.0)\n. X000.2\n",
         {"RD        X000.0", "RD        X000.1", "OR        X000.2", "AND.STK", "WRT       Y000.0"}},
        {"or then series", "X000.0+ X000.2 - - - - - - - (Y000.0)\nX000.1\n",
         {"RD        X000.0", "OR        X000.1", "AND       X000.2", "WRT       Y000.0"}},
        {"three branches", "X000.0+ - - - - - - - - (Y000.0)\nX000.1+\nX000.2\n",
         {"RD        X000.0", "OR        X000.1", "OR        X000.2", "WRT       Y000.0"}},
        {"or closed at column 8", "X000.0 - - - - - - - -+ (Y000.0)\nX000.1 - - - - - - - -\n",
         {"RD        X000.0", "OR        X000.1", "WRT       Y000.0"}},
        {"two coils", "X000.0 - - - - - - - -+ (Y000.0)\n- - - - - - - - - (/Y000.1)\n",
         {"RD        X000.0", "WRT       Y000.0", "WRT.NOT   Y000.1"}},
        {"nested or inside a branch",
         "X000.0 - -+ - - - - - - (Y000.0)\nX000.1+ X000.3 -\nX000.2\n",
         {"RD        X000.0", "RD        X000.1", "OR        X000.2", "AND       X000.3", "OR.STK",
          "WRT       Y000.0"}},
    };
    for (const Case& c : cases) {
        const QString text = withEnds(c.ladder);
        const Outcome o = convertText(text);
        ASSERT_TRUE(o.ok) << c.name << "\n" << qPrintable(describe(o, text));
        QStringList got = o.lines.mid(0, int(c.expected.size()));
        EXPECT_EQ(got, c.expected) << c.name << "\n" << qPrintable(describe(o, text));
    }
}

TEST(NetworkWalk, InstructionLinesCarryPaddedMnemonicAndLineNumber)
{
    const Outcome o = convertText(withEnds("X000.0+ - - - - - - - - (Y000.0)\n/X000.1\n"));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.raw[0], "RD        X000.0     1");
    EXPECT_EQ(o.raw[1], "OR.NOT    X000.1     2");
    EXPECT_EQ(o.raw[3], "END1           3");
    EXPECT_EQ(o.raw[4], "END2           4");
}

// ---------------------------------------------------------------------------------------
// Error families: the smallest ladder that raises each code, and a near miss that converts.

namespace {
const char* kTmr5 = "X000.0 - - - {1900:TMR} {1901:0005} - - - (R100.0)\n. . . . {1910} {1911}\n";
const char* kTmrb5 =
    "X000.1 - - {4100:TMRB} {4101:0001} {4102:0005} {4103:1000} - - (R100.1)\n. . . {4110} {4111} {4112} {4113}\n";
QString ctr(const char* number, const char* coil)
{
    return QStringLiteral("X000.0 - - - {1000:CTR} {1001:%1} - - - (%2)\nX000.1 - - - {1010} {1011}\n"
                          "X000.2 - - - {1020} {1021}\nX000.3 - - - {1030} {1031}\n")
        .arg(number, coil);
}
QString movn(const char* count, const char* dest)
{
    return QStringLiteral("X000.0 - - {1300:MOVN} {1301:%1} {1302:R0100} {1303:%2} - - (R100.0)\n"
                          ". . . {1310} {1311} {1312} {1313}\n")
        .arg(count, dest);
}
QString lines(const QString& line, int n)
{
    QString out;
    for (int i = 0; i < n; ++i)
        out += line;
    return out;
}
}  // namespace

TEST(ConvertErrors, EachCodeHasItsSmallestLadderAndANearMiss)
{
    struct Case {
        int code;
        int line;   // 0-based line the error names
        QString failing;
        QString nearMiss;
    };
    const QString set = "X000.1 - - - {3600:SET} {3601:Y000.1} - - - -\n";
    const QString com = "X000.0 - - - {3800:COM} - - - - -\n";
    const QString come = "- - - - {3900:COME} - - - - -\n";
    const QString lbl1 = "- - - - {3400:LBL} {3401:0001} - - - -\n";
    const QString jmp1 = "X000.0 - - - {3300:JMPB} {3301:0001} - - - -\n";
    const Case cases[] = {
        {1001, 0, withEnds("X000.0 - - - - - - - - ()\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n")},
        {1001, 0, withEnds("[] - - - - - - - - (Y000.0)\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n")},
        {1003, 1, withEnds(com + set + come), withEnds(com + "X000.2 - - - - - - - - (Y000.2)\n" + come)},
        {1005, 1, "X000.0 - - - - - - - - (Y000.0)\n- - - - {7100:END1} - - - - -\n",
         "X000.0 - - - - - - - - (Y000.0)\n- - - - {7100:END1} - - - - -\n- - - - {7200:END2} - - - - -\n"},
        {1005, 0, "- - - - {7200:END2} - - - - -\n- - - - {7100:END1} - - - - -\n.\n", withEnds("")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (K003.0)\n"), withEnds("X000.0 - - - - - - - - (K006.0)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (X000.0)\n"), withEnds("X000.0 - - - - - - - - (A000.0)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (G063.7)\n"), withEnds("X000.0 - - - - - - - - (G063.6)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (R255.0)\n"), withEnds("X000.0 - - - - - - - - (R254.0)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (R990.0)\n"), withEnds("X000.0 - - - - - - - - (R989.0)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (Y200.0)\n"), withEnds("X000.0 - - - - - - - - (Y127.7)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - (Y000.8)\n"), withEnds("X000.0 - - - - - - - - (Y000.7)\n")},
        {1006, 0, withEnds("X000.0 - - - - - - - - -\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n")},
        {1006, 1, withEnds("X000.0+ - - - - - - - - (Y000.0)\nX000.1 - - - - - - - - (Y000.1)\n"),
         withEnds("X000.0 - - - - - - - -+ (Y000.0)\n- - - - - - - - - (Y000.1)\n")},
        {1006, 1, withEnds("X000.0 - - - - - - - -+ (Y000.0)\nX000.1 - - - - - - - - (Y000.1)\n"),
         withEnds("X000.0 - - - - - - - -+ (Y000.0)\nX000.1 - - - - - - - -\n")},
        {1008, 0, withEnds("X000.0 - - - {1900:TMR} {1901:0005} - . - (R100.0)\n. . . . {1910} {1911}\n"),
         withEnds(kTmr5)},
        {1008, 1, withEnds("X000.0 - - - {1900:TMR} {1901:0005} - - - (R100.0)\n. . . . {1910}\n"),
         withEnds(kTmr5)},
        {1009, 0, withEnds("X000.0 . - - - - - - - (Y000.0)\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n")},
        {1011, 0, withEnds("X200.0 - - - - - - - - (Y000.0)\n"), withEnds("X127.0 - - - - - - - - (Y000.0)\n")},
        {1013, 0, withEnds(ctr("0128", "R100.0")), withEnds(ctr("0127", "R100.0"))},
        {1014, 4, withEnds(ctr("0005", "R100.0") + ctr("0005", "R100.1")),
         withEnds(ctr("0005", "R100.0") + ctr("0006", "R100.1"))},
        {1015, 0, withEnds(jmp1), withEnds(jmp1 + lbl1)},
        {1015, 1, withEnds(lbl1 + lbl1), withEnds(lbl1 + "- - - - {3400:LBL} {3401:0002} - - - -\n")},
        {1016, 2, withEnds("X000.0+ - - - - - - - - (Y000.0)\nX000.1\nX000.2+\nX000.3\n"),
         withEnds("X000.0+ - - - - - - - - (Y000.0)\nX000.1+\nX000.2+\nX000.3\n")},
        {1017, 0, withEnds("- - - - - - - - - (Y000.0)\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n")},
        {1017, 0, withEnds("X000.0 - - - - - - - - (Y000.0)+\n- - - - - - - - - (Y000.1)\n"),
         withEnds("X000.0 - - - - - - - -+ (Y000.0)\n- - - - - - - - - (Y000.1)\n")},
        {1019, 2, withEnds(QString(kTmr5) + kTmr5), withEnds(QString(kTmr5) + kTmrb5)},
        {1020, 0,
         withEnds("X000.0 - {2000:ADD} {2001:0002} {2002:D0000} {2003} {2004:D0002} - - (R100.0)\n"
                  "X000.1 - {2010} {2011} {2012} {2013} {2014}\n"),
         withEnds("X000.0 - {2000:ADD} {2001:0002} {2002:D0000} {2003:0005} {2004:D0002} - - (R100.0)\n"
                  "X000.1 - {2010} {2011} {2012} {2013} {2014}\n")},
        {1022, 0, withEnds(ctr("", "R100.0")), withEnds(ctr("0001", "R100.0"))},
        {1023, 0, withEnds(movn("0004", "R0252")), withEnds(movn("0004", "R0251"))},
        {1024, 1, withEnds("X000.0+ X000.2 - - - - - - - (Y000.0)\nX000.1 X000.3\n"),
         withEnds("X000.0+ X000.2+ - - - - - - - (Y000.0)\nX000.1 X000.3\n")},
        {1025, 0, withEnds("X000.0 - - - {1900:TMR} {1901:0005} - - - -\n. . . . {1910} {1911}\n"),
         withEnds(kTmr5)},
        {1025, 0, withEnds("X000.0 - - - {3600:SET} {3601:Y000.1} - - - (Y000.2)\n"), withEnds(set)},
        {1026, 0, withEnds(lines("X000.0+ - - - - - - - - (Y000.0)\n", 1) + lines("X000.1+\n", 99) + "X000.2\n"),
         withEnds(lines("X000.0+ - - - - - - - - (Y000.0)\n", 1) + lines("X000.1+\n", 98) + "X000.2\n")},
        {1027, 1, withEnds("X000.0 - - - - - - - - (Y000.0)\nX000.1 - - - - - - - - (/Y000.0)\n"),
         withEnds("X000.0 - - - - - - - - (Y000.0)\nX000.1 - - - - - - - - (/Y000.1)\n")},
        {1030, 0, withEnds("- -+ - - - - - - - -\n"), withEnds("- - - - - - - - - -\n")},
        {1030, 1, withEnds("X000.0 - - - - - - - - (Y000.0)\n.+\n"), withEnds("X000.0 - - - - - - - - (Y000.0)\n.\n")},
        {1034, 1,
         withEnds("X000.0 - - - {2700:DIFU} {2701:0003} - - - (R100.0)\nX000.1 - - - {2800:DIFD} {2801:0003} - - - (R100.1)\n"),
         withEnds("X000.0 - - - {2700:DIFU} {2701:0003} - - - (R100.0)\nX000.1 - - - {2800:DIFD} {2801:0004} - - - (R100.1)\n")},
        {1039, 2, withEnds("") + "X000.0 - - - - - - - - (Y000.0)\n",
         withEnds("") + "- - - - {1500:SP} {1501:0001} - - - -\nX000.0 - - - - - - - - (Y000.0)\n- - - - {1600:SPE} - - - - -\n"},
        {1040, 0, withEnds("X000.0 - - - {1400:CALL} {1401:0007} - - - -\n"),
         withEnds("X000.0 - - - {1400:CALL} {1401:0007} - - - -\n")
             + "- - - - {1500:SP} {1501:0007} - - - -\nX000.1 - - - - - - - - (Y000.1)\n- - - - {1600:SPE} - - - - -\n"},
        {1041, 1, withEnds("X000.0+ - - - - - - - - (Y000.0)\n-\n"), withEnds("X000.0+ - - - - - - - - (Y000.0)\nX000.1\n")},
    };
    for (const Case& c : cases) {
        const Outcome bad = convertText(c.failing);
        EXPECT_FALSE(bad.ok) << c.code << "\n" << qPrintable(describe(bad, c.failing));
        EXPECT_EQ(bad.code, c.code) << qPrintable(describe(bad, c.failing));
        EXPECT_EQ(bad.line, c.line) << c.code << "\n" << qPrintable(describe(bad, c.failing));
        EXPECT_TRUE(bad.image.records.empty()) << c.code;
        const Outcome good = convertText(c.nearMiss);
        EXPECT_TRUE(good.ok) << "near miss of " << c.code << "\n" << qPrintable(describe(good, c.nearMiss));
    }
}
