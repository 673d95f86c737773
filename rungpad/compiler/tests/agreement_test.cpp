// SPDX-License-Identifier: GPL-3.0-or-later
// The editor and the converter must agree: whatever a parameter field accepts converts,
// and a ladder converts into what it shows (tables without holes, numbers as written,
// no link the instruction list would leave out).
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/laddertext.h"

#include "ladder_helpers.h"

#include <gtest/gtest.h>

using namespace rungpad;
using namespace rungpad::testing;

namespace {

struct Editing {
    LadderProgram ladder;
    LadderCompiler compiler;
    explicit Editing(const QString& text) : ladder(ladderOf(text)), compiler(&ladder) {}
    EditContext ctx(int language = 1) { return {ladder, compiler, language}; }
};

// Texts a user might type into a parameter field: numbers around every limit, each
// address letter at the edges of its areas, bit addresses, and a few that are no operand.
QList<QByteArray> parameterCandidates()
{
    QList<QByteArray> out;
    for (const char* n : {"0", "1", "2", "5", "7", "8", "9", "99", "100", "127", "128", "255", "256", "999", "1000",
                          "1001", "1002", "1008", "9999", "10000", "65535", "65536", "-1"})
        out << n;
    for (const char* prefix : {"A", "C", "D", "DC", "DT", "F", "G", "K", "R", "T", "X", "Y"})
        for (int n : {0, 6, 32, 48, 63, 64, 127, 128, 254, 255, 256, 999})
            out << QByteArray(prefix) + QByteArray::number(n).rightJustified(4, '0');
    for (const char* a : {"A000.0", "G063.7", "K005.7", "K006.0", "R100.1", "R255.0", "R990.0", "Y127.7", "X000.0",
                          "D010.3", "F000.0", "B0001", "Z0001", "XYZ"})
        out << a;
    return out;
}

struct BlockCase {
    quint16 code = 0;
    std::vector<QByteArray> fields;   // block columns 1.., as the editor stored them
    QString refusal;                  // empty when every field was accepted
};

// Inserts the block through the editor, wires its conditions and coil, then types the
// fields in column order: `wanted` where given, otherwise the first candidate the editor
// takes. COD tables get a value in every cell.
BlockCase typeBlock(quint16 code, const std::map<int, QByteArray>& wanted, const QList<QByteArray>& candidates,
                    LadderProgram& ladder)
{
    BlockCase out;
    out.code = code;
    LadderCompiler compiler(&ladder);
    const EditContext ctx{ladder, compiler, 1};
    ladder = ladderOf(".\n");
    const FunctionInstruction& f = *functionInstruction(code);
    if (insertBlock(ladder, EditCursor::at({0, 0}), code, 1).refused) {
        out.refusal = QStringLiteral("insert");
        return out;
    }
    const int start = blockStartColumn(f.width);
    if (f.conditions)
        for (int l = 0; l < f.inputs; ++l)
            placeElement(ctx, {l, 0}, kContactNO, "X000.0");
    if (f.drivesCoil)
        placeElement(ctx, {0, kOutputColumn}, kCoil, "R100.0");
    for (int c = 1; c < f.width; ++c) {
        QList<QByteArray> tries;
        if (const auto it = wanted.find(c); it != wanted.end())
            tries << it->second;
        else
            tries = candidates;
        bool taken = false;
        for (const QByteArray& t : tries) {
            const EditResult r = editCellText(ctx, {0, start + c}, t);
            if (!r.refused && !r.error) {
                taken = true;
                break;
            }
        }
        if (!taken) {
            out.refusal = QStringLiteral("column %1").arg(c);
            return out;
        }
        out.fields.push_back(ladder.cell(0, start + c).text());
    }
    for (int l = f.height; l < ladder.lineCount() && isCodt(ladder.cell(l, 0).code); ++l) {
        for (int c = 0; c < kColumns; ++c) {
            const EditResult r = editCellText(ctx, {l, c}, wanted.count(-1) ? wanted.at(-1) : QByteArray("1"));
            if (r.refused || r.error) {
                out.refusal = QStringLiteral("table");
                return out;
            }
        }
    }
    return out;
}

// The lines a block needs around it to convert: level ends, a label for a jump, a
// subprogram for a call; a subprogram itself goes after END2.
QString inContext(const BlockCase& b, const QString& blockText)
{
    const QString ends = QString::fromLatin1(kEnds);
    const QString number = b.fields.empty() ? QString() : QString::fromLatin1(b.fields[0]);
    switch (b.code) {
    case fn::SP:
        return ends + blockText + QStringLiteral("- - - - {1600:SPE} - - - - -\n");
    case fn::CALL:
    case fn::CALLU:
        return blockText + ends + QStringLiteral("- - - - {1500:SP} {1501:%1} - - - -\n- - - - {1600:SPE} - - - - -\n").arg(number);
    case fn::JMPB:
        return blockText + QStringLiteral("- - - - {3400:LBL} {3401:%1} - - - -\n").arg(number) + ends;
    default:
        return blockText + ends;
    }
}

// Format fields decide the kind of a later field, so each format is a base of its own.
QList<QByteArray> baseFormats(quint16 code)
{
    switch (code) {
    case fn::COMP: case fn::COIN: case fn::ADD: case fn::SUB: case fn::EOR: case fn::ANDF: case fn::ORF:
        return {"1", "2", "1001", "1002"};
    default:
        return {QByteArray()};
    }
}

}  // namespace

TEST(EditorAndConverterAgree, EveryParameterTheEditorTakesConverts)
{
    const QList<QByteArray> candidates = parameterCandidates();
    int accepted = 0;
    QStringList disagreements;
    for (const FunctionInstruction& f : kFunctionInstructions) {
        if (f.code == fn::CODT || f.width < 2)
            continue;
        for (const QByteArray& format : baseFormats(f.code)) {
            // Column -1 stands for the COD table values.
            std::vector<int> columns;
            for (int c = 1; c < f.width; ++c)
                if (format.isEmpty() || c != 1)
                    columns.push_back(c);
            if (f.code == fn::COD)
                columns.push_back(-1);
            for (int column : columns) {
                for (const QByteArray& candidate : candidates) {
                    std::map<int, QByteArray> wanted{{column, candidate}};
                    if (!format.isEmpty())
                        wanted[1] = format;
                    LadderProgram ladder;
                    const BlockCase b = typeBlock(f.code, wanted, candidates, ladder);
                    if (!b.refusal.isEmpty())
                        continue;   // the editor said no: nothing to convert
                    ++accepted;
                    const QString text = inContext(b, writeLadderText(ladder));
                    const Outcome o = convertText(text);
                    if (!o.ok)
                        disagreements << QStringLiteral("%1 format '%2' column %3 '%4': %5 at line %6\n%7")
                                             .arg(QString::fromLatin1(f.name), QString::fromLatin1(format))
                                             .arg(column).arg(QString::fromLatin1(candidate))
                                             .arg(o.code).arg(o.line + 1).arg(text);
                }
            }
        }
    }
    EXPECT_TRUE(disagreements.isEmpty()) << disagreements.size() << " accepted by the editor, refused by the converter:\n"
                                         << qPrintable(disagreements.mid(0, 8).join(QLatin1Char('\n')));
    EXPECT_GT(accepted, 2000);
}

TEST(EditorAndConverterAgree, AlarmRelaysAreAddressesInConstantOrAddressFields)
{
    // The editor takes A0010 where an address may stand; the code image names the A area
    // (0x8C00 + n) rather than the field being refused or read as a constant.
    struct Case { const char* name; const char* body; int record; quint8 sub; };
    const Case cases[] = {
        {"ADD", "X000.0 - {2000:ADD} {2001:1002} {2002:D0000} {2003:A0010} {2004:D0002} - - (R100.0)\n"
                "X000.1 - {2010} {2011} {2012} {2013} {2014}\n", 3, 2},
        {"COMP", "X000.0 - - {1200:COMP} {1201:1001} {1202:A0010} {1203:D0010} - - (R100.0)\n"
                 ". . . {1210} {1211} {1212} {1213}\n", 2, 2},
        {"MOVW", "X000.0 - - - {4500:MOVW} {4501:A0010} {4502:D0010} - - (R100.0)\n"
                 ". . . . {4510} {4511} {4512}\n", 1, 2},
    };
    for (const Case& c : cases) {
        const Outcome o = convertText(c.body + QString::fromLatin1(kEnds));
        ASSERT_TRUE(o.ok) << c.name << " " << o.code;
        const CodeRecord& r = o.image.records[size_t(c.record)];
        EXPECT_EQ(r.sub, c.sub) << c.name;
        EXPECT_EQ(r.word(0), 0x8C0A) << c.name;
    }
    EXPECT_TRUE(operandIsAddress("A0010"));
    EXPECT_FALSE(operandIsAddress("Z0001"));
    EXPECT_FALSE(operandIsAddress("0005"));
}

TEST(EditorAndConverterAgree, MoveDestinationsOutsideTheirAreaAreRefusedWhileTyping)
{
    // The same areas the assembler checks (1023); a destination that no byte count could
    // bring into range is refused the moment it is typed.
    Editing e("X000.0 - - {1300:MOVN} {1301:0010} {1302:0005} {1303} - - (R100.0)\n. . . {1310} {1311} {1312} {1313}\n");
    const EditResult tooFar = editCellText(e.ctx(1), {0, 6}, "A0030");
    EXPECT_TRUE(tooFar.refused);
    ASSERT_TRUE(tooFar.error);
    EXPECT_EQ(tooFar.error->code, err::MovnRange);
    EXPECT_FALSE(editCellText(e.ctx(1), {0, 6}, "A0020").refused);
    // Now the byte count may not grow past the area either.
    const EditResult count = editCellText(e.ctx(1), {0, 4}, "20");
    ASSERT_TRUE(count.error);
    EXPECT_EQ(count.error->code, err::MovnRange);
    EXPECT_EQ(e.ladder.cell(0, 4).text(), QByteArray("0010"));
}

// ---------------------------------------------------------------------------------------
// COD tables

TEST(CodTables, AHoleInsideTheCapacityIsRefusedAtItsLine)
{
    auto table = [](const char* capacity, const QList<QStringList>& lines) {
        QString out = QStringLiteral("X000.0 - {2600:COD} {2601:0002} {2602:%1} {2603:D0000} {2604:D0010} - - (R100.0)\n"
                                     "X000.1 - {2610} {2611} {2612} {2613} {2614}\n").arg(capacity);
        for (int l = 0; l < lines.size(); ++l) {
            QStringList cells;
            for (int c = 0; c < kColumns; ++c) {
                const QString v = c < lines[l].size() ? lines[l][c] : QString();
                cells << QStringLiteral("{%1%2}").arg(0x4000 | (l << 4) | c, 4, 16, QChar('0'))
                             .arg(v.isEmpty() ? QString() : ":" + v);
            }
            out += cells.join(' ') + "\n";
        }
        return out + QString::fromLatin1(kEnds);
    };
    QStringList ten;
    for (int i = 1; i <= 10; ++i)
        ten << QStringLiteral("%1").arg(i, 5, 10, QChar('0'));
    struct Case { const char* name; QString text; int line; };   // line 0: converts
    const Case cases[] = {
        // Values in cells 1 and 3 of 5 would have come out as 0301, entry 2 reading 3.
        {"values in cells 1 and 3 of 5", table("0005", {{"00001", "", "00003"}}), 3},
        {"hole in the second table line", table("0012", {ten, {"00011"}}), 4},
        {"table shorter than its capacity", table("0012", {ten}), 3},
        {"COD without a table", table("0003", {}), 1},
        {"empty cells after the capacity", table("0003", {{"00001", "00002", "00003"}}), 0},
        {"full table", table("0012", {ten, {"00011", "00012"}}), 0},
    };
    for (const Case& c : cases) {
        const Outcome o = convertText(c.text);
        if (c.line == 0) {
            EXPECT_TRUE(o.ok) << c.name << " " << o.code;
            continue;
        }
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_EQ(o.code, err::ParameterMissing) << c.name;
        EXPECT_EQ(o.line + 1, c.line) << c.name;
        EXPECT_TRUE(o.image.records.empty()) << c.name;
    }
    LadderProgram holes = ladderOf(table("0005", {{"00001", "", "00003"}}));
    EXPECT_EQ(codTableGap(holes, 0), 2);
    EXPECT_EQ(codTableGap(holes, 1), std::nullopt);   // not the COD's first line
    // What the editor marks: the empty cells inside the capacity, nothing after it.
    std::vector<int> marked;
    for (int c = 0; c < kColumns; ++c)
        if (codTableValueMissing(holes, 2, c))
            marked.push_back(c);
    EXPECT_EQ(marked, (std::vector<int>{1, 3, 4}));
    EXPECT_FALSE(codTableValueMissing(holes, 0, 0));
}

// ---------------------------------------------------------------------------------------
// Numbers as written

TEST(NumberedBlocks, DuplicatesAreJudgedByTheTextTheAssemblerWrites)
{
    // Two CTR 0005 cells whose number fields say 5 and 6, as a foreign file may hold them.
    const QString text = QStringLiteral("X000.0 - - - {1000:CTR} {1001:0005} - - - (R100.0)\n"
                                        "X000.1 - - - {1010} {1011}\nX000.2 - - - {1020} {1021}\nX000.3 - - - {1030} {1031}\n"
                                        "X000.0 - - - {1000:CTR} {1001:0005} - - - (R100.1)\n"
                                        "X000.1 - - - {1010} {1011}\nX000.2 - - - {1020} {1021}\nX000.3 - - - {1030} {1031}\n")
        + QString::fromLatin1(kEnds);
    struct Case { const char* name; quint16 block; int duplicate; };
    const Case cases[] = {{"CTR", fn::CTR, err::CtrDuplicate}, {"TMR", fn::TMR, err::TmrDuplicate}};
    for (const Case& c : cases) {
        QString body = text;
        if (c.block == fn::TMR) {
            body = QStringLiteral("X000.0 - - - {1900:TMR} {1901:0005} - - - (R100.0)\n. . . . {1910} {1911}\n"
                                  "X000.0 - - - {1900:TMR} {1901:0005} - - - (R100.1)\n. . . . {1910} {1911}\n")
                + QString::fromLatin1(kEnds);
        }
        LadderProgram ladder = ladderOf(body);
        const int second = c.block == fn::CTR ? 4 : 2;
        ladder.mutableLine(second)->cells[5].number = 6;
        LadderCompiler compiler(&ladder);
        EXPECT_FALSE(compiler.convert()) << c.name;
        ASSERT_TRUE(compiler.lastError()) << c.name;
        EXPECT_EQ(compiler.lastError()->code, c.duplicate) << c.name;
        EXPECT_EQ(compiler.lastError()->line, second) << c.name;

        // The editor sees the same: typing 0005 again elsewhere is a duplicate, whatever
        // number field the first block carries.
        ladder.mutableLine(0)->cells[5].number = 9;
        const EditContext ctx{ladder, compiler, 1};
        const EditResult again = editCellText(ctx, {second, 5}, "5");
        ASSERT_TRUE(again.error) << c.name;
        EXPECT_EQ(again.error->code, c.duplicate) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// Links the instruction list would leave out

TEST(FunctionNetworks, LinksBetweenConditionLinesAreRefusedAtTheirLine)
{
    const QString ctr = QStringLiteral("X000.0%1 - - - {1000:CTR} {1001:0005} - - - (R100.0)\n"
                                       "X000.1%2 - - - {1010} {1011}\nX000.2 - -%3 - {1020} {1021}\n"
                                       "X000.3%4 - - - {1030} {1031}\n");
    struct Case { const char* name; QString body; int line; };   // line 0: converts
    const Case cases[] = {
        {"no link", ctr.arg("", "", "", ""), 0},
        // An OR drawn between the count and the reset input.
        {"link between the first two inputs", ctr.arg("+", "", "", ""), 1},
        {"link next to the block", ctr.arg("", "", "+", ""), 3},
        // From the last input into the network below.
        {"link out of the block", ctr.arg("", "", "", "+") + "X000.4 - - - - - - - - (R100.1)\n", 4},
        {"link under an ADD's condition", QStringLiteral("X000.0 -+ {2000:ADD} {2001:0002} {2002:D0000} {2003:0005} {2004:D0002} - - (R100.0)\n"
                                                          "X000.1 - {2010} {2011} {2012} {2013} {2014}\n"), 1},
    };
    for (const Case& c : cases) {
        const Outcome o = convertText(c.body + QString::fromLatin1(kEnds));
        if (c.line == 0) {
            EXPECT_TRUE(o.ok) << c.name << " " << o.code;
            continue;
        }
        EXPECT_EQ(o.code, err::VerticalLine) << c.name;
        EXPECT_EQ(o.line + 1, c.line) << c.name;
    }
}
