// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where things sit on a ladder drawing, in logical units (0.1 mm, y growing downwards from
// the top of the drawing). Screen and printer map these through one scale factor.
#include "rungpad/model/ladder.h"

#include <QRectF>

#include <algorithm>

namespace rungpad::ui {

namespace geo {
inline constexpr int kCellWidth = 70;
inline constexpr int kCellHeight = 40;
inline constexpr int kGridLeft = 72;         // left power rail, left edge of column 0
inline constexpr int kGridTop = 42;          // top edge of line 0
inline constexpr int kRightRail = 771;
inline constexpr int kRailTop = 22;
inline constexpr int kNumberX = 22;          // "%04d" line numbers
inline constexpr int kNoteX = 782;           // line notes, right of the right rail
inline constexpr int kTextBaseOffset = 20;   // numbers and notes: 62 + 40r
inline constexpr int kDrawingWidth = 1220;
inline constexpr int kBottomMargin = 50;
inline constexpr int kWireY = 32;            // wire height inside a cell
inline constexpr int kCellTextX = 7;
inline constexpr int kTextHeight = 13;       // font pixel size of cell texts, numbers, notes
}  // namespace geo

struct CellPos {
    int line = 0;
    int column = 0;
    bool operator==(const CellPos&) const = default;
};

// The rectangle between two corners, inclusive.
struct CellRange {
    int top = 0, left = 0, bottom = 0, right = 0;
    static CellRange between(CellPos a, CellPos b)
    {
        return {std::min(a.line, b.line), std::min(a.column, b.column), std::max(a.line, b.line),
                std::max(a.column, b.column)};
    }
    bool contains(int line, int column) const
    {
        return line >= top && line <= bottom && column >= left && column <= right;
    }
    bool operator==(const CellRange&) const = default;
};

inline QRectF logicalCellRect(int line, int column)
{
    return {double(geo::kGridLeft + geo::kCellWidth * column), double(geo::kGridTop + geo::kCellHeight * line),
            double(geo::kCellWidth), double(geo::kCellHeight)};
}
inline int drawingHeight(int lineCount) { return geo::kCellHeight * lineCount + geo::kBottomMargin; }

// A point of the drawing to the cell it falls on, clamped as the editor always did: x to
// 73..771, y to the first and last line.
CellPos cellAtLogical(double x, double y, int lineCount);

}  // namespace rungpad::ui
