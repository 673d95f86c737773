// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The in-memory ladder shared by the editor, the file readers/writers and the converter.
//
// API in brief (namespace rungpad):
//   LadderCell       one grid cell: code, verticalLink, number, text (<= 6 bytes, GBK/ASCII), selected, tableRows.
//                    clear() empties it the way "delete node" does; text()/setText() reach the 7-byte text.
//   LadderRow        exactly kColumns (10) cells; row[c] or row.cells[c].
//   LadderProgram    the ladder: header words (end1Line, stepCount, end1Step), 5000 line notes,
//                    the owned lines. line(i) clamps i into range (the converter relies on it);
//                    mutableLine(i) returns nullptr out of range. Every growth goes through
//                    insertLines() (editing: refused when the total would reach 5000) or
//                    appendLoadedLine() (file reading: at most 5000 lines). deleteLines(), clear().
//                    revision() changes on every edit, so a converted image can be told stale.
//                    recomputeTableRows() sets tableRows of CODT groups as the file reader does.
//   Element codes    ElementCode, kind(code), isFunctionBlockCode(code), blockCellCode(), blockLineOf(),
//                    blockColumnOf(), functionCodeOfIndex(i) (0..38).
//   Addresses        see rungpad/model/address.h; comment tables: rungpad/model/comments.h;
//                    document state: rungpad/model/ladderdocument.h; text form for tests and
//                    debugging: rungpad/model/laddertext.h (also cellNumberOfText()).
//   Block placement  insertFunctionBlock() and setCodTableLines() live with the instruction
//                    table (rungpad/compiler/instructions.h); both grow through insertLines().
//   Editing          cursor, selection and the undo record of an edit: rungpad/model/editchange.h;
//                    the edit commands: rungpad/compiler/ladderedit.h; undo: rungpad/edit/.
#include "rungpad/model/deferredtexts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace rungpad {

inline constexpr int kColumns = 10;
inline constexpr int kOutputColumn = 9;
inline constexpr int kMaxLines = 5000;
inline constexpr int kCellTextBytes = 7;   // NUL-terminated in the file cell record
inline constexpr int kCellTextMax = 6;
inline constexpr int kFunctionInstructionCount = 39;

// High byte of LadderCell::code selects the element kind.
enum ElementCode : quint16 {
    kEmpty = 0x0000,
    kHorizontalWire = 0x0100,
    kContactNC = 0x0200,   // normally-closed contact
    kContactNO = 0x0300,   // normally-open contact
    kCoil = 0x0400,
    kCoilNot = 0x0500,     // negated output coil
};

// Instruction codes of the function blocks (high byte; the low byte is the cell's place).
namespace fn {
inline constexpr quint16 CTR = 0x1000, ROT = 0x1100, COMP = 0x1200, MOVN = 0x1300, CALL = 0x1400,
                         SP = 0x1500, SPE = 0x1600, DSCH = 0x1700, COIN = 0x1800, TMR = 0x1900,
                         ADD = 0x2000, SUB = 0x2100, XMOV = 0x2200, END1 = 0x7100, END2 = 0x7200,
                         DEC = 0x2500, COD = 0x2600, DIFU = 0x2700, DIFD = 0x2800, EOR = 0x2900,
                         ANDF = 0x3000, ORF = 0x3100, NOT = 0x3200, JMPB = 0x3300, LBL = 0x3400,
                         RST = 0x3500, SET = 0x3600, SFT = 0x3700, COM = 0x3800, COME = 0x3900,
                         CODT = 0x4000, TMRB = 0x4100, TMRC = 0x4200, CALLU = 0x4300, MOVB = 0x4400,
                         MOVW = 0x4500, AXCTL = 0x4600, WINDR = 0x4700, WINDW = 0x4800;
}

constexpr quint16 kindOf(quint16 code) { return code & 0xFF00; }
constexpr int blockLineOf(quint16 code) { return (code >> 4) & 0x0F; }
constexpr int blockColumnOf(quint16 code) { return code & 0x0F; }
constexpr quint16 blockCellCode(quint16 instruction, int blockLine, int blockColumn)
{
    return quint16((instruction & 0xFF00) | ((blockLine & 0x0F) << 4) | (blockColumn & 0x0F));
}
// Index i (0..38) of the function instruction list -> its instruction code; 0 outside.
constexpr quint16 functionCodeOfIndex(int i)
{
    if (i < 0 || i >= kFunctionInstructionCount)
        return 0;
    if (i == 13)
        return fn::END1;
    if (i == 14)
        return fn::END2;
    return quint16(((i / 10) * 16 + i % 10 + 0x10) << 8);
}
namespace detail {
// Looked up for every cell a file load, a conversion or a repaint touches: one table by the
// code's high byte instead of a walk through the instruction list, inline in every caller.
inline constexpr std::array<qint8, 256> kFunctionIndexOfKind = [] {
    std::array<qint8, 256> table{};
    table.fill(-1);
    for (int i = kFunctionInstructionCount - 1; i >= 0; --i)
        table[functionCodeOfIndex(i) >> 8] = qint8(i);
    return table;
}();
}  // namespace detail
// Index of an instruction code (any low byte) in the function list, or -1.
constexpr int functionIndexOfCode(quint16 code) { return detail::kFunctionIndexOfKind[kindOf(code) >> 8]; }
constexpr bool isFunctionBlockCode(quint16 code) { return functionIndexOfCode(code) >= 0; }
constexpr bool isContact(quint16 code) { return kindOf(code) == kContactNO || kindOf(code) == kContactNC; }
constexpr bool isCoil(quint16 code) { return kindOf(code) == kCoil || kindOf(code) == kCoilNot; }
constexpr bool isCodt(quint16 code) { return kindOf(code) == fn::CODT; }

struct LadderCell {
    quint16 code = kEmpty;
    qint32 verticalLink = 0;   // nonzero: link from this cell's right edge down to the next line
    qint16 number = -1;
    std::array<char, kCellTextBytes> textBytes{};   // NUL-terminated
    quint8 selected = 0;
    qint32 tableRows = 0;      // CODT lines only: size of the group

    QByteArray text() const;
    // The text without a copy, valid while the cell is.
    QByteArrayView textView() const { return QByteArrayView(textBytes.data(), qstrnlen(textBytes.data(), kCellTextBytes)); }
    // Cut to kCellTextMax bytes; what the cell record can hold.
    void setText(QByteArrayView text);
    bool hasText() const { return textBytes[0] != '\0'; }
    // "Delete node": code, link, number and text reset; selection and table rows kept.
    void clear();
    bool hasLink() const { return verticalLink != 0; }
    bool operator==(const LadderCell& other) const;
};

struct LadderRow {
    std::array<LadderCell, kColumns> cells{};
    LadderCell& operator[](int column) { return cells[size_t(column)]; }
    const LadderCell& operator[](int column) const { return cells[size_t(column)]; }
    // Column of the first function block cell in columns 0..8, or -1.
    int blockColumn() const;
    bool operator==(const LadderRow& other) const { return cells == other.cells; }

    // A ladder holds each line on its own (lines move by pointer), and a file load makes
    // five thousand at once: from the general heap that was a sixth of the load. Rows come
    // from slabs of their own instead (rowpool.cpp).
    static void* operator new(std::size_t size);
    static void operator delete(void* row, std::size_t size) noexcept;
};

enum class InsertResult { Inserted, BeyondMaxLines, BadPosition };

class LadderProgram {
public:
    LadderProgram();
    LadderProgram(const LadderProgram& other);             // deep copy, notes included
    LadderProgram& operator=(const LadderProgram& other);
    LadderProgram(LadderProgram&&) noexcept = default;
    LadderProgram& operator=(LadderProgram&&) noexcept = default;

    // Header words, set by conversion and stored in the file header.
    qint16 end1Line = 0;
    qint16 stepCount = 0;
    qint16 end1Step = 0;

    int lineCount() const { return int(m_lines.size()); }
    // Clamped: below 0 -> line 0, past the end -> the last line; with no lines an empty row.
    const LadderRow& line(int index) const;
    // nullptr when index is not a valid line; counts as an edit.
    LadderRow* mutableLine(int index);
    const LadderCell& cell(int line, int column) const { return this->line(line)[column]; }

    // Editing insert: only while lineCount() + count < kMaxLines; fresh lines and empty notes.
    InsertResult insertLines(int at, int count);
    // File reading: appends one line while lineCount() < kMaxLines.
    bool appendLoadedLine(const LadderRow& row);
    // Undo: puts back lines an edit removed, up to the file limit of kMaxLines (a ladder read
    // with 5000 lines must get its deleted line back). Selection marks are cleared.
    InsertResult restoreLines(int at, const std::vector<LadderRow>& rows);
    // Frees the lines at..at+count-1 (clipped to the ladder) and moves later lines and notes up.
    void deleteLines(int at, int count);
    void clear();

    const QString& note(int line) const;
    void setNote(int line, const QString& text);   // 0..kMaxLines-1, others ignored
    // Notes written over the ladder's on first access, after everything set before.
    void setDeferredNotes(DeferredTexts::Fill fill, DeferredTexts::Bytes bytes = {});
    // True, with each line's stored note bytes, while the notes are only deferred ones nobody
    // has read and no line has moved under them.
    bool storedNoteBytes(std::vector<QByteArrayView>& entries) const;

    // Consecutive lines whose column-0 code is CODT form a group; a group that is not
    // followed by another line keeps table rows 0, as the file reader leaves it.
    void recomputeTableRows();

    quint64 revision() const { return m_revision; }
    void touch() { ++m_revision; }

private:
    InsertResult insertChecked(int at, int count, int limitExclusive);

    std::vector<std::unique_ptr<LadderRow>> m_lines;
    void settleNotes() const;

    // Filled in by the first access, even a reading one.
    // kMaxLines entries, moved with the lines; none at all until a note is set or read in
    // (m_noteEnd stays 0 until then), so a ladder without notes costs no table.
    mutable std::vector<QString> m_notes;
    mutable int m_noteEnd = 0;              // notes at and past this index are empty
    mutable DeferredTexts m_deferredNotes;
    quint64 m_revision = 0;
};

// Every cell that can name an address, in line and column order: contacts, coils and the
// parameters on a function block's top line (its name cell aside). Lines of a code table hold
// numbers, never addresses, and are passed over. visit(line, column, cell).
template <typename Visit>
void forEachOperandCell(const LadderProgram& ladder, Visit&& visit)
{
    for (int l = 0; l < ladder.lineCount(); ++l) {
        const LadderRow& row = ladder.line(l);
        if (isCodt(row[0].code))
            continue;
        for (int c = 0; c < kColumns; ++c) {
            const LadderCell& cell = row[c];
            if (!cell.hasText())
                continue;
            if (isContact(cell.code) || isCoil(cell.code)
                || (isFunctionBlockCode(cell.code) && blockLineOf(cell.code) == 0 && blockColumnOf(cell.code) > 0))
                visit(l, c, cell);
        }
    }
}

// Message shown when an insert is refused (English, Chinese).
inline constexpr const char* kBeyondMaxLineEn = "beyond the confine of Max line!";
inline constexpr const char* kBeyondMaxLineZh = "行数超出范围";

}  // namespace rungpad
