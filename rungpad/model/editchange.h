// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Cursor and selection of a ladder view, and the record of one edit: the cells, lines and
// notes it changed, enough to take the edit back and to make it again. An edit records
// while it changes the ladder, so what is stored is only what changed (a cell edit keeps
// two cells, a line deletion the lines it removed), never a copy of the ladder.
#include "rungpad/model/ladder.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace rungpad {

// One cell of the grid; line 0-based, column 0..9.
struct CellPos {
    int line = 0;
    int column = 0;
    bool operator==(const CellPos&) const = default;
};

// The rectangle between two corners, in whichever order the user dragged them.
struct CellRange {
    CellPos start;
    CellPos end;
    static CellRange single(CellPos p) { return {p, p}; }
    int top() const { return std::min(start.line, end.line); }
    int bottom() const { return std::max(start.line, end.line); }
    int left() const { return std::min(start.column, end.column); }
    int right() const { return std::max(start.column, end.column); }
    int lineCount() const { return bottom() - top() + 1; }
    int columnCount() const { return right() - left() + 1; }
    bool wholeLines() const { return left() == 0 && right() == kColumns - 1; }
    bool contains(CellPos p) const
    {
        return p.line >= top() && p.line <= bottom() && p.column >= left() && p.column <= right();
    }
    bool operator==(const CellRange&) const = default;
};

// What the view shows as cursor and selection; every undo step puts it back.
struct EditCursor {
    CellPos cursor;
    CellRange selection;
    static EditCursor at(CellPos p) { return {p, CellRange::single(p)}; }
    bool operator==(const EditCursor&) const = default;
};

class LadderChange {
public:
    // Recording: each call changes the ladder at once and remembers the change.
    void setCell(LadderProgram& ladder, int line, int column, const LadderCell& value);
    // Inserts prepared lines (editing limit: the total stays below kMaxLines); notes are
    // optional, one per row.
    InsertResult insertRows(LadderProgram& ladder, int at, std::vector<LadderRow> rows,
                            std::vector<QString> notes = {});
    // Removes lines at..at+count-1 (clipped), keeping them and their notes for undo.
    void deleteRows(LadderProgram& ladder, int at, int count);
    void setNote(LadderProgram& ladder, int line, const QString& text);

    // Replaying. The ladder must be in the state the change left (redo: the state before).
    void undo(LadderProgram& ladder) const;
    void redo(LadderProgram& ladder) const;
    // Takes back what was recorded so far and forgets it (an edit refused half-way).
    void rollback(LadderProgram& ladder);

    // Drops spare capacity once the edit is complete (it is kept for up to 50 steps).
    void compact();

    bool isEmpty() const { return m_steps.empty(); }
    int cellEdits() const { return int(m_cells.size()); }
    // Heap bytes held, for the undo memory budget.
    size_t memoryBytes() const;

private:
    enum class Kind : std::uint8_t { Cell, Insert, Delete, Note };
    struct Step {
        Kind kind;
        std::uint32_t index;   // into the vector of its kind
    };
    struct CellStep {
        int line;
        int column;
        LadderCell before;
        LadderCell after;
    };
    struct LinesStep {
        int at;
        std::vector<LadderRow> rows;
        std::vector<QString> notes;
    };
    struct NoteStep {
        int line;
        QString before;
        QString after;
    };

    void insertLines(LadderProgram& ladder, const LinesStep& s) const;
    static void removeLines(LadderProgram& ladder, const LinesStep& s);
    static void writeCell(LadderProgram& ladder, int line, int column, const LadderCell& value);

    std::vector<Step> m_steps;
    std::vector<CellStep> m_cells;
    std::vector<LinesStep> m_lines;
    std::vector<NoteStep> m_notes;
};

}  // namespace rungpad
