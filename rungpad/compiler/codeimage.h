// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The code image the assembler builds and the controller runs: 8-byte records (opcode,
// sub-code, own index, 4 operand bytes) ended by a terminator whose step field counts the
// data words that follow, and the data words collected from COD tables.
#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>
#include <vector>

namespace rungpad {

inline constexpr int kMaxCodeRecords = 11999;
inline constexpr int kMaxDataWords = 256;
inline constexpr int kCodeRecordBytes = 8;
// Operand kinds in the sub-code of operand records.
inline constexpr quint8 kOperandConstant = 1;
inline constexpr quint8 kOperandAddress = 2;
// First data address of COD tables.
inline constexpr quint16 kCodDataBase = 0x8A00;

struct CodeRecord {
    quint8 opcode = 0;
    quint8 sub = 0;
    quint16 step = 0;                   // own index; data word count in the terminator
    std::array<quint8, 4> operand{};    // little-endian fields
    void setConstant(qint32 value);
    void setWord(int at, quint16 value);   // at 0 or 2
    quint16 word(int at) const;
    qint32 constant() const;
    bool operator==(const CodeRecord&) const = default;
};

struct CodeImage {
    std::vector<CodeRecord> records;   // terminator included once assembled
    std::vector<quint16> dataWords;
    void clear() { records.clear(); dataWords.clear(); }
    // The records (8 bytes each, no count) followed by the data words, little-endian.
    QByteArray toBinary() const;
};

// Address operand of an address text: code (u16), letter byte, bit mask.
struct AddressOperand {
    quint16 code = 0;
    quint8 letter = 0;
    quint8 bitMask = 0;
};
// nullopt when the text names a bit above 7 (the mask could not hold it).
std::optional<AddressOperand> addressOperand(QByteArrayView text);
// The address operand written into a record's four operand bytes.
void setAddressOperand(CodeRecord& record, const AddressOperand& a);

}  // namespace rungpad
