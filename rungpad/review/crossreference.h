// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole program's cross-reference: every address the ladder names, with its comment and
// each line and column where it is read (contact, block source) or written (coil, SET, RST,
// block destination), the timer, counter and edge numbers the blocks take, and the warnings
// a maintenance electrician wants before trusting a program: an address written in two places,
// SET without RST (and the reverse), an address read but never written, a number used twice,
// an address outside the areas the comment files describe.
#include "rungpad/model/address.h"
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace rungpad {

// LadderAddress: rungpad/model/address.h.
// A cell text that names an address; nullopt for numbers, names and malformed texts.
std::optional<LadderAddress> parseLadderAddress(QByteArrayView text);

enum class UseKind { Contact, ContactNC, Coil, CoilNot, Set, Reset, BlockRead, BlockWrite };
bool isWrite(UseKind kind);

struct AddressUse {
    int line = 0;     // 0-based
    int column = 0;
    UseKind kind = UseKind::Contact;
    quint16 code = 0;   // the cell's code; names the instruction of a block parameter
};

struct AddressEntry {
    LadderAddress address;
    QString comment;
    std::vector<AddressUse> uses;   // in ladder order
    int reads() const;
    int writes() const;
};

enum class NumberKind { Timer, TimerB, Counter, Edge };
struct NumberUse {
    NumberKind kind = NumberKind::Timer;
    int number = 0;
    int line = 0;
    int column = 0;
};

enum class WarningKind { WrittenTwice, SetWithoutReset, ResetWithoutSet, ReadNeverWritten, NumberTwice, OutsideCommentArea };
struct Place {
    int line = 0;
    int column = 0;
    bool operator==(const Place&) const = default;
};
struct XrefWarning {
    WarningKind kind = WarningKind::WrittenTwice;
    QByteArray subject;        // the address, or the number for NumberTwice
    NumberKind numberKind = NumberKind::Timer;
    std::vector<Place> places;
};

struct ProgramCrossReference {
    std::vector<AddressEntry> entries;   // sorted by letter, byte, bit
    std::vector<NumberUse> numbers;      // in ladder order
    std::vector<XrefWarning> warnings;   // by kind, then subject
    const AddressEntry* find(QByteArrayView addressText) const;
};

ProgramCrossReference buildProgramCrossReference(const LadderProgram& ladder, const CommentTables& comments);

// Whether the comment files (the user notation file's sections, Diag.mea's F and G signals,
// the relay table) cover a bit address; word operands (D, C, T, DC, DT) carry no comments
// and always count as covered.
bool insideCommentAreas(const LadderAddress& address);

// Texts in the given language (0 Chinese, 1 English).
QString useText(const AddressUse& use, int language);
QString warningText(const XrefWarning& warning, int language);
QString placeText(const Place& place);   // "0012/3": 1-based line, 1-based column
// The report: warnings first, then each address with its comment and its uses.
QString formatCrossReference(const ProgramCrossReference& xref, int language);
// One row per use: address, comment, line, column, use, access (read/write); then one
// "warning" row per warning. Fields with commas or quotes are quoted.
QString formatCrossReferenceCsv(const ProgramCrossReference& xref, int language);

}  // namespace rungpad
