// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the edit commands (ladderedit.cpp, ladderclipboard.cpp, laddersearch.cpp) share: the
// block on a line, the shapes of a refused or unchanged answer, and writing a checked cell
// text with what follows from it.
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/ladderedit.h"

#include <optional>
#include <vector>

namespace rungpad::editsupport {

struct LineBlock {
    int column = 0;           // first block cell on the line
    quint16 instruction = 0;  // high byte only
    int blockLine = 0;
    int width = 0;
    int height = 0;
    int inputs = 0;
};

std::optional<LineBlock> blockOnLine(const LadderRow& row);
bool lineIsCodt(const LadderProgram& ladder, int line);
bool validPos(const LadderProgram& ladder, CellPos p);
EditResult unchanged(const EditCursor& at);
EditResult refusal(const EditCursor& at, const QString& box = {});
// Any placement on the last line adds an empty line after it.
void addLineAfterLast(LadderProgram& ladder, LadderChange& change, int line);
// The fresh lines of a block as the editor inserts it.
std::vector<LadderRow> blockRows(const FunctionInstruction& f);
// Checks `text` for the cell at pos as the cell's kind requires and writes it, with what
// follows from it (the dependent field of a format change, the COD table). On refusal
// nothing is written and the result carries the error line or message.
bool applyCellText(const EditContext& ctx, CellPos pos, QByteArrayView text, LadderChange& change,
                   EditResult& result);
// Next cell to fill after a parameter: the next parameter of the block, the next table value.
CellPos nextParameterCell(const LadderProgram& ladder, CellPos pos);

}  // namespace rungpad::editsupport
