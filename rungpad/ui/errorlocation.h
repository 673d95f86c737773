// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// From an error line of the output window back to the ladder: the line it names and the
// cell on that line the error most likely concerns (the converter reports lines only).
#include "rungpad/ui/laddergeometry.h"

#include <QString>

#include <optional>

namespace rungpad::ui {

struct ErrorLine {
    int line = 0;   // 0-based
    int code = 0;   // 1001..1041, 0 when the text carries none
};

// "Ladder the 0012 Line, error code: 1006 ..." or "梯图第0012行  错误代号 1006 ...".
std::optional<ErrorLine> parseErrorLine(const QString& text);

// The cell to put the cursor on: the first empty address for 1001, column 9 for the output
// errors, the first gap for the connection errors, the first empty parameter for 1020/1022,
// the first vertical link for 1030; otherwise the line's block or column 0.
CellPos errorCell(const LadderProgram& ladder, const ErrorLine& error);

}  // namespace rungpad::ui
