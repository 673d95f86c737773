// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editor's checks of a typed cell, by the rules the converter applies (the facade,
// LadderCompiler, offers them to the edit commands): a contact or coil address, a block
// parameter or table value, and the number of a numbered block against the numbers the
// ladder already holds. Refusals go to `errors` with the line they concern.
#include "rungpad/compiler/errorsink.h"
#include "rungpad/compiler/numbertables.h"
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace rungpad {

// The number of the block the cell belongs to changes to newNumber (see LadderCompiler).
std::optional<ConvertError> checkNumberChange(UsedNumbers& numbers, const LadderCell& cell, int newNumber, int line,
                                              ErrorSink& errors);
// Normalised address text (X1.2 -> X001.2); a coil also needs a coil letter, no reserved
// address and no other coil of the same address in `ladder` (when given) off `line`.
std::optional<QByteArray> checkElementText(const LadderProgram* ladder, QByteArrayView text, bool coil, int line,
                                           ErrorSink& errors);
// The text as stored (numbers with leading zeros), or 1011/1012.
std::optional<QByteArray> checkParameterText(quint16 instruction, int blockColumn, QByteArrayView text,
                                             QByteArrayView format, int line, ErrorSink& errors);

}  // namespace rungpad
