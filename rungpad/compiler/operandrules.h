// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Operand rules that the editor's parameter check and the assembler must apply alike, so a
// ladder made in the editor always converts and a converted ladder is what the editor shows.
//
//   operandIsAddress(text)        a constant-or-address field holds an address (letter A..Y)
//   moveDestinationFits(...)      MOVN/MOVB/MOVW: the destination area holds what is moved
//                                 (1023 in both places when it does not)
//   codTableGap(ladder, codLine)  the first COD table value missing inside the capacity
#include "rungpad/model/ladder.h"

#include <QByteArrayView>

#include <optional>

namespace rungpad {

// A constant-or-address field (COMP/COIN 2, ADD/SUB/EOR/ANDF/ORF 3, MOVN 2, MOVB/MOVW 1,
// ROT 1) holds an address when its text starts with a letter A..Y, a constant otherwise.
bool operandIsAddress(QByteArrayView text);

// Whether the destination of a move block stays inside its area, as the controller needs.
// MOVN: count = byte count, source, destination; MOVB/MOVW: count is unused. A field not
// yet typed (empty) is taken at its most permissive value (count 1, address source), so
// the editor refuses a field only when no later entry could make the block convert.
bool moveDestinationFits(quint16 instruction, QByteArrayView count, QByteArrayView source,
                         QByteArrayView destination);

// The table lines that follow the COD block on `codLine` (its first line) must hold a value in
// each of the first `capacity` cells, in line and column order: an empty cell would shift
// every later value and the tables after it. Returns the 0-based line of the first missing
// value (the last table line, or the COD line when there is no table, when the table is
// shorter than the capacity); nullopt when the table is complete or the capacity is not a
// number yet.
std::optional<int> codTableGap(const LadderProgram& ladder, int codLine);
// Whether the cell is an empty table value inside its COD's capacity: the editor marks it
// so an incomplete table shows before conversion refuses it.
bool codTableValueMissing(const LadderProgram& ladder, int line, int column);

}  // namespace rungpad
