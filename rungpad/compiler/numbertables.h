// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbered blocks (counters, timers, labels, subprograms, edges): which block column holds
// the number, which blocks share their numbers, how many there are and what a second use
// or a number out of range is called, in one table the pre-check, the editor checks and
// the edit commands all read. UsedNumbers is the set of numbers a ladder holds.
//
// The ranges the editor and the assembler allow for typed fields differ on purpose (the
// editor offers what a user should type, the assembler takes what the controller runs);
// both sets are named here so the difference stays visible.
#include "rungpad/model/ladder.h"

#include <array>
#include <bitset>
#include <optional>

namespace rungpad {

struct NumberedBlock {
    quint16 instruction;   // fn::...
    int column;            // block column of the number (on the block's first line)
    int group;             // index into UsedNumbers; TMR/TMRC and DIFU/DIFD share one
    int count;             // numbers 0..count-1
    int outOfRangeError;
    int duplicateError;
    // The pre-check takes the number on a line whose output cell is a coil; labels and
    // subprograms it takes on their wired block line instead.
    bool onCoilLine;
};

inline constexpr int kNumberGroups = 6;
extern const std::array<NumberedBlock, 8> kNumberedBlocks;

// The entry of an instruction (any cell code of it); nullptr for an unnumbered one.
const NumberedBlock* numberedBlock(quint16 code);
// The entry whose number cell is exactly `cellCode` (block line 0, the number's column).
const NumberedBlock* numberedBlockOfCell(quint16 cellCode);

class UsedNumbers {
public:
    void clear();
    // The first error (out of range or already used) or nullopt when taken. Unnumbered
    // instructions always take.
    std::optional<int> take(quint16 code, int number);
    void release(quint16 code, int number);
    bool held(quint16 code, int number) const;

private:
    std::array<std::bitset<256>, kNumberGroups> m_groups;
};

struct NumberRange {
    int lo;
    int hi;
};

// What the editor's parameter check lets a user type.
namespace editorRange {
inline constexpr NumberRange TimerCounter{0, 127};
inline constexpr NumberRange TimerPrecision{0, 5};
inline constexpr NumberRange TimerPreset{0, 65535};
inline constexpr NumberRange Word{0, 65535};
inline constexpr NumberRange Byte{0, 255};
inline constexpr NumberRange MoveCount{1, 256};
inline constexpr NumberRange SmallFormat{1, 2};
inline constexpr NumberRange Format{1, 1002};   // and then only 1, 2, 1001, 1002
inline constexpr NumberRange ShiftFormat{0, 1008};
inline constexpr NumberRange DecodeConstant{0, 9999};
inline constexpr NumberRange CodCapacity{1, 100};
inline constexpr NumberRange ProgramNumber{0, 99};   // CALL, CALLU, SP, JMPB, LBL
inline constexpr NumberRange EdgeNumber{0, 255};
inline constexpr NumberRange AxisGroup{5, 5};
inline constexpr NumberRange TableValue{0, 65535};
}  // namespace editorRange

// What the assembler takes from an instruction line (a file may hold more than the editor
// offers: precisions, decode sub-codes and axis groups up to a byte, COD counts to 255).
namespace assemblerRange {
inline constexpr NumberRange TimerCounter{0, 127};
inline constexpr NumberRange TimerPrecision{0, 255};
inline constexpr NumberRange TimerPreset{0, 65535};
inline constexpr NumberRange ProgramNumber{0, 99};
inline constexpr NumberRange MoveCount{1, 256};
inline constexpr NumberRange MoveByte{0, 255};
inline constexpr NumberRange MoveWord{0, 65535};
inline constexpr NumberRange CodSize{1, 2};
inline constexpr NumberRange CodCount{1, 255};
inline constexpr NumberRange DecodeSub{0, 255};
inline constexpr NumberRange DecodeConstant{0, 9999};
inline constexpr NumberRange AxisGroup{4, 259};   // written as group - 4
inline constexpr NumberRange TableValue{0, 65535};
}  // namespace assemblerRange

}  // namespace rungpad
