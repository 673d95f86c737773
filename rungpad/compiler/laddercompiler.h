// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ladder converter: pre-check (precheck.h), network walk (networkwalker.h, one instruction
// line per instruction) and assembler (assembler.h, code records through imagewriter.h). The
// first error stops conversion; errors() holds what was found, its last entry is what the
// frame reports. The editor's per-placement checks (editorchecks.h) are offered here too, so
// that editing and converting judge a cell by the same rules.
//
// API in brief:
//   LadderCompiler c(&ladder);   c.convert() -> bool;   c.preCheck();
//   c.instructionLines()  "MNEMONIC  operands  %4d" lines;   c.codeImage()  records + data words
//   c.errors()            ConvertError {code, 0-based line}; formatErrorMessage() in errors.h
//   c.checkNumber(), checkElementAddress(), checkParameter()   editor checks (the edit
//                         commands that use them: rungpad/compiler/ladderedit.h)
//   assemblerOperandIsAddress(text) / editorParameterIsAddress(format)   constant or address?
//   convertDocument(doc, c)   converts the edit ladder and sets the document's converted state
#include "rungpad/compiler/codeimage.h"
#include "rungpad/compiler/errors.h"
#include "rungpad/compiler/numbertables.h"
#include "rungpad/model/ladder.h"

#include <QByteArray>

#include <bitset>
#include <optional>
#include <vector>

namespace rungpad {

class LadderDocument;

inline constexpr int kMaxInstructionLines = 12000;
inline constexpr int kMaxInstructionChars = 49;   // before the line-number suffix
inline constexpr int kMnemonicWidth = 10;
inline constexpr int kMaxNetworkSpan = 100;       // last - first line of a network stays below
inline constexpr int kMaxEnd1Records = 500;
inline constexpr int kMaxSft = 128;
inline constexpr int kMaxJumps = 100;
inline constexpr int kMaxLabels = 100;
inline constexpr int kCodtValuesPerLine = 4;   // table cells per CODT instruction line
inline constexpr int kUsedCoilBits = 12096;

// Bit offsets of each coil letter in the used-coil table.
int coilBitBase(char letter);   // -1 for a letter that may not be a coil
// Coil addresses kept for the controller itself: G063.7, K000..K005, R255, R990, R991.
bool isReservedCoil(char letter, int byte, int bit);

// Two answers to "constant or address?" for the fields that may be either (COMP and COIN
// parameter 2; ADD, SUB, EOR, ANDF and ORF parameter 3). They differ on purpose, keep them
// apart:
// - the assembler looks at the text: an address when it starts with a letter A..Y
//   (operandIsAddress, rungpad/compiler/operandrules.h, which the editor's text rule uses
//   too), so a file whose format says constant but whose field holds D0010 still converts;
// - the editor looks at the format: an address when the format is 1000 or above.
bool assemblerOperandIsAddress(QByteArrayView text);
bool editorParameterIsAddress(QByteArrayView format);

class LadderCompiler {
public:
    explicit LadderCompiler(LadderProgram* ladder = nullptr) : m_ladder(ladder) {}
    void setLadder(LadderProgram* ladder) { m_ladder = ladder; }
    LadderProgram* ladder() const { return m_ladder; }

    // All three stages. On success the header words of the ladder are set and the image
    // is complete; on failure the image is empty and errors() is not.
    bool convert();
    // Stage 1 alone: rebuilds the used-number and used-coil tables.
    bool preCheck();
    // The tables are rebuilt, silently, when a number check first needs them: a file open
    // asks for them, and most documents are never checked before their first conversion.
    void preCheckLater() { m_tablesStale = true; }

    const std::vector<QByteArray>& instructionLines() const { return m_lines; }
    const CodeImage& codeImage() const { return m_image; }
    const std::vector<ConvertError>& errors() const { return m_errors; }
    std::optional<ConvertError> lastError() const;
    void clearErrors() { m_errors.clear(); }

    // Editor: the number of a CTR, TMR, TMRB, TMRC, LBL, SP, DIFU or DIFD block changes from
    // the cell's number to newNumber. Frees the previous number, takes the new one; does
    // nothing when unchanged. Returns the error (also appended to errors()) or nullopt.
    std::optional<ConvertError> checkNumber(const LadderCell& cell, int newNumber, int line);
    // Editor: an address typed for a contact or coil on `line`. Returns the normalised text
    // (X1.2 -> X001.2) or records 1011.
    std::optional<QByteArray> checkElementAddress(QByteArrayView text, bool coil, int line);
    // Editor: a parameter of a function block (block column >= 1, or a CODT value).
    // Returns the text as stored (numbers with leading zeros) or records 1011/1012.
    // `format` is the block's format parameter (block column 1): when given, the constant-or-
    // address parameter of COMP, COIN, ADD, SUB, EOR, ANDF and ORF must be what the format
    // announces (editorParameterIsAddress); without it the text alone decides.
    std::optional<QByteArray> checkParameter(quint16 instruction, int blockColumn, QByteArrayView text,
                                             int line, QByteArrayView format = {});

private:
    LadderProgram* m_ladder = nullptr;
    std::vector<QByteArray> m_lines;
    std::vector<ConvertError> m_errors;
    CodeImage m_image;
    // What the last pre-check found, kept for the editor's number checks.
    UsedNumbers m_numbers;
    std::bitset<kUsedCoilBits> m_coils;
    bool m_tablesStale = false;
};

// Converts the document's edit ladder; the converted state follows the result.
bool convertDocument(LadderDocument& document, LadderCompiler& compiler);

}  // namespace rungpad
