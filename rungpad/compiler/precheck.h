// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stage 1 of the conversion: the numbers of numbered blocks and the coil addresses, each
// used once, and both level ends present.
#include "rungpad/compiler/errorsink.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/compiler/numbertables.h"

#include <bitset>

namespace rungpad {

using UsedCoils = std::bitset<kUsedCoilBits>;

// Rebuilds `numbers` and `coils` from the ladder; false with the error in `errors`.
bool preCheckLadder(const LadderProgram& ladder, UsedNumbers& numbers, UsedCoils& coils, ErrorSink& errors);

}  // namespace rungpad
