// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the drawing says beyond the cell texts when comments are shown: the signal comment
// of a contact or coil, the short label of each block input, and the tooltips (a whole
// comment, a parameter's prompt, a whole line note). The view and the printout draw these;
// the texts come from here so both agree.
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"

#include <QString>

namespace rungpad {

// The label of input `input` (0 = the block's first line) of a block of this instruction:
// the counter's four inputs, the enable of timers and single-input blocks, "IN n" for the
// inputs of wider blocks. Empty for a line that is no input of the block.
QString blockInputLabel(quint16 code, int input);

// The comment a contact or coil cell shows under its address; empty for other cells.
QString cellComment(const LadderCell& cell, const CommentTables& comments);

// Tooltip of a cell: address and whole comment for contacts and coils; the prompt of a
// parameter cell with its value (and the comment when the value is a commented address);
// the instruction name for a block's name cell; the input label on a block's input line.
QString cellToolTip(const LadderProgram& ladder, const CommentTables& comments, int line, int column, int language);

}  // namespace rungpad
