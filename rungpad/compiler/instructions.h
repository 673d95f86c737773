// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instruction tables the editor, the converter and the code image writer share:
// the 39 function instructions with their block shapes and prompts, and the assembler's
// mnemonic table whose entry index is the opcode written into each code record.
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace rungpad {

struct FunctionInstruction {
    const char* name;
    quint16 code;
    int width;          // name cell + one cell per parameter
    int height;         // block lines
    int inputs;         // block lines wired to the left rail
    bool drivesCoil;    // result goes to the coil in column 9 of the first block line
    bool conditions;    // contacts left of the block are its execution conditions
    int opcode;         // assembler opcode; -1 when the assembler has no entry
    std::array<const char*, 5> promptsEn;
    std::array<const char*, 5> promptsZh;
};

// Indexed as the function instruction dialog lists them (0..38).
extern const std::array<FunctionInstruction, kFunctionInstructionCount> kFunctionInstructions;

// nullptr for a code whose high byte is not one of the 39.
const FunctionInstruction* functionInstruction(quint16 code);
const char* nameOf(quint16 code);
// Exact, case-sensitive; 0 when the name is not one of the 39.
quint16 codeOf(QByteArrayView name);
struct BlockShape { int width = 0; int height = 0; };
BlockShape blockShape(quint16 code);
int inputCount(quint16 code);
bool drivesCoil(quint16 code);
bool takesConditions(quint16 code);
// Prompt of block column c (1-based parameter column; capped at the fifth prompt; every
// CODT cell, column 0 included, uses the first). language 0 Chinese, 1 English.
QString prompt(quint16 code, int blockColumn, int language);
// Column where a block of this width starts: (10 - width) / 2.
constexpr int blockStartColumn(int width) { return (kColumns - width) / 2; }

// Places a function block as the editor inserts it: `height` fresh lines at `line`, the
// block centred, every block cell coded, the name in its first cell, the input lines wired
// from the left rail and the first line wired on to column 9. Refused (ladder unchanged)
// when the lines would not fit; CODT is never placed this way.
InsertResult insertFunctionBlock(LadderProgram& ladder, int line, quint16 code);
// After the capacity n of the COD block whose first line is `codLine` is entered: the CODT
// lines directly below the block are replaced by ceil(n / 10) fresh table lines.
InsertResult setCodTableLines(LadderProgram& ladder, int codLine, int capacity);

// Element kind names of the element settings dialog.
inline constexpr const char* kElementNameNO = "常开触点";
inline constexpr const char* kElementNameNC = "常闭触点";
inline constexpr const char* kElementNameCoil = "输出线圈";
inline constexpr const char* kElementNameCoilNot = "输出线圈取反";
inline constexpr const char* kElementDialogTitle = "元件设置";
inline constexpr const char* kFunctionInputErrorEn = "Input error!";
inline constexpr const char* kFunctionInputErrorZh = "功能指令输入错误!";

// Assembler mnemonic table: 56 entries of 20 NUL-padded bytes, searched from entry 0,
// "STOP" ends it. The entry index is the opcode number in the code record.
inline constexpr int kMnemonicEntries = 56;
inline constexpr int kMnemonicEntryBytes = 20;
extern const std::array<const char*, kMnemonicEntries> kMnemonics;
// Opcode of a mnemonic; 0 (entry "NO") when the table does not hold it.
int opcodeOf(QByteArrayView mnemonic);

namespace op {
inline constexpr int NO = 0, RD = 1, RD_NOT = 2, AND = 3, AND_NOT = 4, WRT_NOT = 5, WRT = 6, OR = 7,
                     OR_NOT = 8, RD_STK = 9, RD_NOT_STK = 10, GET = 11, REG = 12, AND_STK = 14,
                     OR_STK = 16, END1 = 17, END2 = 18, SPE = 19, COM = 20, COME = 21,
                     NETWORK_END = 22, DIFU = 23, DIFD = 24, SET = 25, RST = 26, JMPB = 27,
                     CALL = 28, LBL = 29, SP = 30, COMP = 31, COIN = 32, TMR = 33, CTR = 34,
                     MOVN = 35, DEC = 36, COD = 37, ROT = 38, DSCH = 39, ADD = 40, SUB = 41,
                     XMOV = 42, ANDF = 43, ORF = 44, EOR = 45, NOT = 46, SFT = 47, CODT = 48,
                     TMRB = 49, TMRC = 50, CALLU = 51, MOVB = 52, MOVW = 53, AXCTL = 54, STOP = 55;
// Opcode byte of the record that ends the image.
inline constexpr int TERMINATOR = 0xFE;
}

// Basic instruction texts exactly as the converter writes them (OR.NOT with two blanks).
namespace mnemonic {
inline constexpr const char* RD = "RD";
inline constexpr const char* RD_NOT = "RD.NOT";
inline constexpr const char* AND = "AND";
inline constexpr const char* AND_NOT = "AND.NOT";
inline constexpr const char* OR = "OR";
inline constexpr const char* OR_NOT = "OR.NOT  ";
inline constexpr const char* AND_STK = "AND.STK";
inline constexpr const char* OR_STK = "OR.STK";
inline constexpr const char* WRT = "WRT";
inline constexpr const char* WRT_NOT = "WRT.NOT";
inline constexpr const char* CODT = "CODT";
}

}  // namespace rungpad
