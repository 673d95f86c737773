// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a running ladder looks and answers in its view: cells carrying power in the power
// colour, live values under timer, counter, compare and arithmetic blocks, a mark on blocks
// that are not simulated; a click, Space or Enter on an input contact toggles its signal
// (Ctrl pulses it), and every key or click that would edit the ladder is refused.
#include "rungpad/sim/powerflow.h"
#include "rungpad/ui/ladderoverlay.h"

#include <QColor>

class QKeyEvent;
class QMouseEvent;

namespace rungpad::ui {

class CRungpadView;
class SimulationSession;

// What the view asks of a simulation while one runs on its document.
class ViewSimulation {
public:
    virtual ~ViewSimulation() = default;
    virtual const LadderOverlay* overlay() const = 0;
    // true: the key was taken (or refused) and the view must not edit with it.
    virtual bool keyPressed(CRungpadView& view, QKeyEvent* event) = 0;
    virtual void mousePressed(CRungpadView& view, QMouseEvent* event) = 0;
};

inline const QColor kPowerColour(0, 170, 0);
inline const QColor kLiveValueColour(0, 70, 200);
inline const QColor kNotSimulatedColour(210, 0, 0);

class SimulationOverlay : public LadderOverlay, public ViewSimulation {
public:
    SimulationOverlay(const LadderProgram& ladder, SimulationSession& session, int language);
    void setLanguage(int language) { m_language = language; }

    void prepare(int first, int last) const override;
    bool cellPowered(int line, int column) const override { return m_flow.cellPowered(line, column); }
    QPen powerPen(const QPen& normal) const override;
    void paintLine(QPainter& painter, int line, double y0) const override;

    const LadderOverlay* overlay() const override { return this; }
    bool keyPressed(CRungpadView& view, QKeyEvent* event) override;
    void mousePressed(CRungpadView& view, QMouseEvent* event) override;

    // The live text shown under the block whose first line is `line`, empty when none.
    QString liveText(int line, int column) const;
    // Toggles (or pulses) the input signal of the contact at the cell; false when the cell is
    // not a contact on an X or F address.
    bool operateInput(int line, int column, bool pulse);

private:
    const LadderProgram& m_ladder;
    SimulationSession& m_session;
    int m_language;
    mutable sim::PowerFlow m_flow;
};

}  // namespace rungpad::ui
