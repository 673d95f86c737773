// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/instructions.h"

#include <array>
#include <cstring>

namespace rungpad {

namespace {
constexpr std::array<const char*, 5> none{};
constexpr const char* kFmtZh = "格式指定";
}

// clang-format off
const std::array<FunctionInstruction, kFunctionInstructionCount> kFunctionInstructions = {{
    {"CTR",   fn::CTR,   2, 4, 4, true,  true,  34, {"CTR No"}, {"计数器号"}},
    {"ROT",   fn::ROT,   5, 5, 5, true,  true,  38,
        {"rotate desk orientation addr", "current position addr", "object position addr", "result output addr"},
        {"转台定位地址", "当前位置地址", "目标位置地址", "结果输出地址"}},
    {"COMP",  fn::COMP,  4, 2, 1, true,  true,  31, {"appoint format", "inpute data addr", "compare data addr"},
        {"指定格式", "输入数据地址", "比较数据地址"}},
    {"MOVN",  fn::MOVN,  4, 2, 1, true,  true,  35, {"carry byte number", "carry derivation addr", "carry object addr"},
        {"传送字节数", "传送源地址", "传送目的地址"}},
    {"CALL",  fn::CALL,  2, 1, 1, false, true,  28, {"subprograme no."}, {"子程序号"}},
    {"SP",    fn::SP,    2, 1, 1, false, false, 30, {"subprograme no."}, {"子程序号"}},
    {"SPE",   fn::SPE,   1, 1, 1, false, false, 19, none, none},
    {"DSCH",  fn::DSCH,  6, 3, 3, true,  true,  39,
        {"format appoint", "datatable capability addr", "datatable head addr", "searches addr", "result output addr"},
        {kFmtZh, "数据表容量存储地址", "数据表头地址", "检索地址", "结果输出地址"}},
    {"COIN",  fn::COIN,  4, 2, 1, true,  true,  32, {"format appoint", "input value", "compare value addr"},
        {kFmtZh, "输入值", "比较值地址"}},
    {"TMR",   fn::TMR,   2, 2, 1, true,  true,  33, {"TMR No"}, {"定时器号"}},
    {"ADD",   fn::ADD,   5, 2, 2, true,  true,  40,
        {"format appoint", "augend addr", "addend addr or constant", "result output addr"},
        {kFmtZh, "被加数地址", "加数地址或常数", "结果输出地址"}},
    {"SUB",   fn::SUB,   5, 2, 2, true,  true,  41,
        {"format appoint", "minuend addr", "subtrahend addr or constant", "result output addr"},
        {kFmtZh, "被减数地址", "减数地址或常数", "结果输出地址"}},
    {"XMOV",  fn::XMOV,  6, 3, 3, true,  true,  42,
        {"format appoint", "datatable capability addr", "datatable head addr", "I/O data addr", "No. addr in table"},
        {kFmtZh, "数据表容量存储地址", "数据表头地址", "输入输出数据地址", "表内号存储地址"}},
    {"END1",  fn::END1,  1, 1, 1, false, false, 17, none, none},
    {"END2",  fn::END2,  1, 1, 1, false, false, 18, none, none},
    {"DEC",   fn::DEC,   5, 2, 1, false, true,  36,
        {"format appoint", "code data addr", "coding data addr", "coding result addr"},
        {kFmtZh, "代码数据地址", "译码数据地址", "译码结果地址"}},
    {"COD",   fn::COD,   5, 2, 2, true,  true,  37,
        {"format appoint", "convert table data capability", "convert input data addr", "convert onput data addr"},
        {kFmtZh, "转换表数据容量", "转换输入数据地址", "转换输出数据地址"}},
    {"DIFU",  fn::DIFU,  2, 1, 1, true,  true,  23, {"up side no."}, {"上升沿号"}},
    {"DIFD",  fn::DIFD,  2, 1, 1, true,  true,  24, {"down side no."}, {"下降沿号"}},
    {"EOR",   fn::EOR,   5, 2, 1, false, true,  45, {"format appoint", "addr A", "constant or addr B", "addr C"},
        {kFmtZh, "地址A", "常数或地址B", "地址C"}},
    {"ANDF",  fn::ANDF,  5, 2, 1, false, true,  43, {"format appoint", "addr A", "constant or addr B", "addr C"},
        {kFmtZh, "地址A", "常数或地址B", "地址C"}},
    {"ORF",   fn::ORF,   5, 2, 1, false, true,  44, {"format appoint", "addr A", "constant or addr B", "addr C"},
        {kFmtZh, "地址A", "常数或地址B", "地址C"}},
    {"NOT",   fn::NOT,   4, 2, 1, false, true,  46, {"format appoint", "addr A", "addr B"},
        {kFmtZh, "地址A", "地址B"}},
    {"JMPB",  fn::JMPB,  2, 1, 1, false, true,  27, {"aim tab"}, {"目的标号"}},
    {"LBL",   fn::LBL,   2, 1, 1, false, false, 29, {"tab"}, {"标号"}},
    {"RST",   fn::RST,   2, 1, 1, false, true,  26, {"resert addr"}, {"复位地址"}},
    {"SET",   fn::SET,   2, 1, 1, false, true,  25, {"set addr"}, {"置位地址"}},
    {"SFT",   fn::SFT,   3, 4, 4, true,  true,  47, {"shift data addr", "format appoint"}, {"移位数据地址", kFmtZh}},
    {"COM",   fn::COM,   1, 1, 1, false, true,  20, none, none},
    {"COME",  fn::COME,  1, 1, 1, false, false, 21, none, none},
    {"CODT",  fn::CODT, 10, 0, 0, false, false, 48, {"convert table data"}, {"转换表数据"}},
    {"TMRB",  fn::TMRB,  4, 2, 1, true,  true,  49, {"TMR precision", "TMR No", "set value"},
        {"定时器精度", "定时器号", "设定值"}},
    {"TMRC",  fn::TMRC,  3, 2, 1, true,  true,  33, {"TMR precision", "TMR No"}, {"定时器精度", "定时器号"}},
    {"CALLU", fn::CALLU, 2, 1, 1, false, false, 51, {"subprograme no."}, {"子程序号"}},
    {"MOVB",  fn::MOVB,  3, 2, 1, true,  true,  52, {"carry derivation addr", "carry object addr"},
        {"传送源地址", "传送目的地址"}},
    {"MOVW",  fn::MOVW,  3, 2, 1, true,  true,  53, {"carry derivation addr", "carry object addr"},
        {"传送源地址", "传送目的地址"}},
    {"AXCTL", fn::AXCTL, 3, 2, 2, true,  true,  54, {"signal number", "data area"}, {"信号的组号", "轴控制数据地区"}},
    {"WINDR", fn::WINDR, 2, 1, 1, true,  true,  -1, {"addr of control num"}, {"控制数地址"}},
    {"WINDW", fn::WINDW, 2, 1, 1, true,  true,  -1, {"addr of control num"}, {"控制数地址"}},
}};

const std::array<const char*, kMnemonicEntries> kMnemonics = {
    "NO", "RD", "RD.NOT", "AND", "AND.NOT", "WRT.NOT", "WRT", "OR", "OR.NOT", "RD.STK",
    "RD.NOT.STK", "GET", "REG", "13", "AND.STK", "15", "OR.STK", "END1", "END2", "SPE",
    "COM", "COME", "22", "DIFU", "DIFD", "SET", "RST", "JMPB", "CALL", "LBL",
    "SP", "COMP", "COIN", "TMR", "CTR", "MOVN", "DEC", "COD", "ROT", "DSCH",
    "ADD", "SUB", "XMOV", "ANDF", "ORF", "EOR", "NOT", "SFT", "CODT", "TMRB",
    "TMRC", "CALLU", "MOVB", "MOVW", "AXCTL", "STOP",
};
// clang-format on

const FunctionInstruction* functionInstruction(quint16 code)
{
    const int i = functionIndexOfCode(code);
    return i < 0 ? nullptr : &kFunctionInstructions[size_t(i)];
}

const char* nameOf(quint16 code)
{
    const auto* f = functionInstruction(code);
    return f ? f->name : "";
}

quint16 codeOf(QByteArrayView name)
{
    for (const auto& f : kFunctionInstructions)
        if (name == QByteArrayView(f.name))
            return f.code;
    return 0;
}

BlockShape blockShape(quint16 code)
{
    const auto* f = functionInstruction(code);
    return f ? BlockShape{f->width, f->height} : BlockShape{};
}

int inputCount(quint16 code)
{
    const auto* f = functionInstruction(code);
    return f ? f->inputs : 0;
}

bool drivesCoil(quint16 code)
{
    const auto* f = functionInstruction(code);
    return f && f->drivesCoil;
}

bool takesConditions(quint16 code)
{
    const auto* f = functionInstruction(code);
    return f && f->conditions;
}

QString prompt(quint16 code, int blockColumn, int language)
{
    const auto* f = functionInstruction(code);
    if (!f)
        return {};
    int index = kindOf(code) == fn::CODT ? 0 : std::min(blockColumn, 5) - 1;
    if (index < 0)
        return {};
    const auto& prompts = language == 0 ? f->promptsZh : f->promptsEn;
    const char* text = prompts[size_t(index)];
    return text ? QString::fromUtf8(text) : QString();
}

InsertResult insertFunctionBlock(LadderProgram& ladder, int line, quint16 code)
{
    const FunctionInstruction* f = functionInstruction(code);
    if (!f || f->height == 0)
        return InsertResult::BadPosition;
    const InsertResult r = ladder.insertLines(line, f->height);
    if (r != InsertResult::Inserted)
        return r;
    const int start = blockStartColumn(f->width);
    for (int l = 0; l < f->height; ++l) {
        LadderRow& row = *ladder.mutableLine(line + l);
        for (int c = start; c < start + f->width; ++c)
            row[c].code = blockCellCode(f->code, l, c - start);
        if (l < f->inputs)
            for (int c = 0; c < start; ++c)
                row[c].code = kHorizontalWire;
        if (l == 0) {
            row[start].setText(f->name);
            for (int c = start + f->width; c < kColumns; ++c)
                row[c].code = kHorizontalWire;
        }
    }
    return InsertResult::Inserted;
}

InsertResult setCodTableLines(LadderProgram& ladder, int codLine, int capacity)
{
    const int below = codLine + blockShape(fn::COD).height;
    if (kindOf(ladder.line(codLine)[blockStartColumn(blockShape(fn::COD).width)].code) != fn::COD
        || capacity < 1 || below > ladder.lineCount())
        return InsertResult::BadPosition;
    int old = 0;
    while (below + old < ladder.lineCount() && isCodt(ladder.line(below + old)[0].code))
        ++old;
    const int wanted = (capacity + 9) / 10;
    // Checked before anything is removed, so a refusal leaves the table as it was.
    if (ladder.lineCount() - old + wanted >= kMaxLines)
        return InsertResult::BeyondMaxLines;
    ladder.deleteLines(below, old);
    const InsertResult r = ladder.insertLines(below, wanted);
    if (r != InsertResult::Inserted)
        return r;
    for (int l = 0; l < wanted; ++l) {
        LadderRow& row = *ladder.mutableLine(below + l);
        for (int c = 0; c < kColumns; ++c) {
            row[c].code = blockCellCode(fn::CODT, l, c);
            row[c].tableRows = wanted;
        }
    }
    return InsertResult::Inserted;
}

int opcodeOf(QByteArrayView mnemonic)
{
    // The table up to "STOP", measured once: the assembler looks up every instruction line.
    struct Entries {
        std::array<QByteArrayView, kMnemonicEntries> names{};
        int count = 0;
    };
    static const Entries entries = [] {
        Entries e;
        while (e.count < kMnemonicEntries && std::strcmp(kMnemonics[size_t(e.count)], "STOP") != 0) {
            e.names[size_t(e.count)] = QByteArrayView(kMnemonics[size_t(e.count)]);
            ++e.count;
        }
        return e;
    }();
    for (int i = 0; i < entries.count; ++i)
        if (mnemonic == entries.names[size_t(i)])
            return i;
    return 0;
}

}  // namespace rungpad
