// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Comparing two ladders, as a maintenance electrician compares the controller's backup with
// the shop's copy: a line-level diff over the ladder's text form (a line is equal when every
// cell's element, address, link and the line note are), added and removed lines of one place
// paired into changed lines, and inside each changed line the cells that differ.
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace rungpad {

enum class DiffKind { Same, Added, Removed, Changed };

// One row of the side-by-side picture: a line of the left ladder, of the right one, or both.
struct DiffRow {
    DiffKind kind = DiffKind::Same;
    int left = -1;    // 0-based line of the left ladder, -1 for an added line
    int right = -1;   // 0-based line of the right ladder, -1 for a removed line
    // Changed rows: bit c for a differing cell of column c, kNoteBit for the line note.
    quint16 cells = 0;
    static constexpr quint16 kNoteBit = 1u << kColumns;
};

struct LadderDiff {
    std::vector<DiffRow> rows;   // every line of both ladders, aligned, in order
    int added = 0;
    int removed = 0;
    int changed = 0;
    // Addresses that appear in an added or removed line, or in a changed cell on either side.
    std::vector<QByteArray> addresses;
    bool same() const { return added == 0 && removed == 0 && changed == 0; }
    // Indexes into rows of the rows that are not Same, in order.
    std::vector<int> differences() const;
};

LadderDiff diffLadders(const LadderProgram& left, const LadderProgram& right);

// The summary line ("3 lines added, 1 removed, 2 changed") or "the same".
QString diffSummary(const LadderDiff& diff, int language);
// One text line per difference ("changed  0012 | 0013  columns 3,10") with both lines'
// text forms, then the summary and the addresses whose use changed.
QString formatDiff(const LadderDiff& diff, const LadderProgram& left, const LadderProgram& right, int language);
// The text form of one line (as rungpad/model/laddertext.h writes a ladder).
QString lineText(const LadderProgram& ladder, int line);

}  // namespace rungpad
