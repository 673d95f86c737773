// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a successful conversion hands to the output writers, and the byte layouts of the
// binary code file (Ladbin.dat) and of the instruction-list text.
#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rungpad {

// One 8-byte code record exactly as the controller reads it: opcode, sub-code, u16 step,
// 4 operand bytes (constant or address code + letter + bit mask).
using CodeRecordBytes = std::array<std::uint8_t, 8>;

struct ConversionOutput {
    std::vector<CodeRecordBytes> records;   // N records, the terminator last
    std::vector<std::uint16_t> dataWords;   // L words of the COD tables
    std::vector<QByteArray> instructionLines;   // with their "  %4d" line-number suffix
};

// Why an image cannot be written; None when it can.
enum class ImageProblem { None, NoRecords, NoTerminator, DataWordCountMismatch };
ImageProblem checkCodeImage(const ConversionOutput& output);

// The N records (8N bytes), then, when L > 0, the L data words little-endian (2L bytes).
// nullopt when checkCodeImage() finds a problem.
std::optional<QByteArray> formatBinaryImage(const ConversionOutput& output);

// Each instruction line without its line-number field (up to the last blank), CR LF after each.
QByteArray formatInstructionList(const std::vector<QByteArray>& lines);

}  // namespace rungpad
