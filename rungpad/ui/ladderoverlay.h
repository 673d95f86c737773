// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a running ladder adds to the drawing: cells that carry power are drawn with another
// pen, and each line may get marks of its own (live block values, powered links). The painter
// asks; simulation mode answers (rungpad/ui/simulationoverlay.h).
#include <QPen>

class QPainter;

namespace rungpad::ui {

class LadderOverlay {
public:
    virtual ~LadderOverlay() = default;
    // Before lines first..last are drawn.
    virtual void prepare(int first, int last) const = 0;
    virtual bool cellPowered(int line, int column) const = 0;
    virtual QPen powerPen(const QPen& normal) const = 0;
    // After the cells of `line` (top edge y0, logical units) are drawn.
    virtual void paintLine(QPainter& painter, int line, double y0) const = 0;
};

}  // namespace rungpad::ui
