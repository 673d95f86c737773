// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Draws ladder lines: rails, line numbers, every element, block outlines, CODT values,
// vertical links, line notes, and on screen the inverted selection and the cursor. The view
// and the printer both draw through here, so a page looks like the screen.
#include "rungpad/model/comments.h"
#include "rungpad/ui/laddergeometry.h"
#include "rungpad/ui/ladderoverlay.h"

#include <QFont>

#include <optional>

class QPainter;

namespace rungpad::ui {

struct LadderPaintStyle {
    bool screen = true;                 // cosmetic pens, selection and cursor
    bool lineNotes = true;
    std::optional<CellRange> selection;
    std::optional<CellPos> cursor;
    const LadderOverlay* overlay = nullptr;   // a running ladder's power flow
    // Set: each contact's and coil's signal comment under its address, block input labels.
    const CommentTables* comments = nullptr;
};

// Comments and input labels of one line (ladderannotations.cpp), over the drawn cells.
void paintLineAnnotations(QPainter& painter, const LadderRow& row, double y0, const LadderPaintStyle& style);

class LadderPainter {
public:
    LadderPainter();
    // The painter's transform maps logical units to the device; lines first..last (clamped
    // to the ladder) are drawn at their own logical position.
    void paintLines(QPainter& painter, const LadderProgram& ladder, int first, int last,
                    const LadderPaintStyle& style) const;

    const QFont& cellFont() const { return m_cellFont; }
    // The line numbers and the left rail over a white band, for a view scrolled sideways
    // that keeps them in sight as spreadsheet row headers stay: the caller's transform puts
    // logical x 0 at the viewport's left edge.
    void paintLineNumberGutter(QPainter& painter, const LadderProgram& ladder, int first, int last) const;

private:
    void paintCell(QPainter& p, const LadderCell& cell, double x0, double y0) const;
    void markMissingTableValues(QPainter& p, const LadderProgram& ladder, int line) const;

    QFont m_cellFont;
    QFont m_numberFont;
};

}  // namespace rungpad::ui
