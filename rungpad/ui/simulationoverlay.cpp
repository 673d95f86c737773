// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/simulationoverlay.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/ui/laddergeometry.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/simulationsession.h"
#include "rungpad/ui/simulationtexts.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace rungpad::ui {

using namespace rungpad::sim;

SimulationOverlay::SimulationOverlay(const LadderProgram& ladder, SimulationSession& session, int language)
    : m_ladder(ladder), m_session(session), m_language(language)
{
}

void SimulationOverlay::prepare(int first, int last) const
{
    m_flow.compute(m_ladder, m_session.engine().memory(), first, last);
}

QPen SimulationOverlay::powerPen(const QPen& normal) const
{
    QPen pen = normal;
    pen.setColor(kPowerColour);
    pen.setWidthF(normal.widthF() * 2);
    return pen;
}

namespace {

bool isMachineBlock(quint16 code)
{
    const quint16 k = kindOf(code);
    return k == fn::ROT || k == fn::AXCTL || k == fn::WINDR || k == fn::WINDW;
}

std::optional<uint32_t> valueOf(const Memory& m, const QByteArray& text, int length)
{
    if (!text.isEmpty() && !assemblerOperandIsAddress(text))
        return text.toUInt();
    const auto l = parseLocation(text);
    if (!l)
        return std::nullopt;
    return l->hasBit() ? m.bit(*l) : m.value(*l, length);
}

int formatLength(const QByteArray& format)
{
    const char last = format.isEmpty() ? '1' : format.back();
    return last == '2' ? 2 : (last == '3' || last == '4') ? 4 : 1;
}

QString timerText(const TimerState& t)
{
    if (!t.used)
        return {};
    return QStringLiteral("%1/%2ms").arg(t.elapsedMs).arg(t.setMs);
}

}  // namespace

QString SimulationOverlay::liveText(int line, int column) const
{
    const LadderRow& row = m_ladder.line(line);
    const LadderCell& head = row[column];
    const Engine& e = m_session.engine();
    const Memory& m = e.memory();
    auto param = [&](int i) { return row[column + i].text(); };
    auto number = [&](int i) { return int(param(i).toUInt()) & 127; };
    auto value = [&](int i, int length) {
        const auto v = valueOf(m, param(i), length);
        return v ? QString::number(*v) : QStringLiteral("?");
    };
    switch (kindOf(head.code)) {
    case fn::TMR: return timerText(e.timer(number(1)));
    case fn::TMRC: return timerText(e.timer(number(2)));
    case fn::TMRB: return timerText(e.timerB(number(2)));
    case fn::CTR: {
        const int n = number(1);
        const auto c = parseLocation(QByteArray("C") + QByteArray::number(n));
        const auto p = parseLocation(QByteArray("DC") + QByteArray::number(n));
        return QStringLiteral("%1/%2").arg(m.value(*c, 2)).arg(m.value(*p, 2));
    }
    case fn::COMP:
    case fn::COIN: {
        const int len = formatLength(param(1));
        return QStringLiteral("%1 : %2").arg(value(2, len), value(3, len));
    }
    case fn::ADD:
    case fn::SUB:
    case fn::ANDF:
    case fn::ORF:
    case fn::EOR: return QStringLiteral("=%1").arg(value(4, formatLength(param(1))));
    case fn::NOT: return QStringLiteral("=%1").arg(value(3, formatLength(param(1))));
    case fn::MOVB: return QStringLiteral("=%1").arg(value(2, 1));
    case fn::MOVW: return QStringLiteral("=%1").arg(value(2, 2));
    case fn::MOVN: return QStringLiteral("=%1").arg(value(3, 1));
    default: return {};
    }
}

void SimulationOverlay::paintLine(QPainter& p, int line, double y0) const
{
    const LadderRow& row = m_ladder.line(line);
    const QPen thin = p.pen();
    const double ascent = QFontMetricsF(p.font()).ascent();
    for (int c = 0; c < kColumns; ++c) {
        const double x0 = geo::kGridLeft + geo::kCellWidth * c;
        const LadderCell& cell = row[c];
        if (cell.hasLink() && m_flow.linkPowered(line, c)) {
            p.setPen(powerPen(thin));
            p.drawLine(QPointF(x0 + 69, y0 + geo::kWireY), QPointF(x0 + 69, y0 + geo::kWireY + geo::kCellHeight));
        }
        if (!isFunctionBlockCode(cell.code) || isCodt(cell.code) || blockColumnOf(cell.code) != 0)
            continue;
        if (blockLineOf(cell.code) == 0 && isMachineBlock(cell.code)) {
            // Above the wire right of the block, where a coil would show its address.
            const double right = x0 + geo::kCellWidth * blockShape(cell.code).width;
            p.setPen(kNotSimulatedColour);
            p.drawText(QPointF(right + geo::kCellTextX, y0 + 5 + ascent), simText(SimText::NotSimulated, m_language));
        }
        // Live values sit in the block's second line, drawn with that line so a partial
        // repaint never loses them.
        if (blockLineOf(cell.code) == 1 && line > 0) {
            const QString text = liveText(line - 1, c);
            if (!text.isEmpty()) {
                p.setPen(kLiveValueColour);
                p.drawText(QPointF(x0 + geo::kCellTextX, y0 + 15 + ascent), text);
            }
        }
    }
    p.setPen(thin);
}

bool SimulationOverlay::operateInput(int line, int column, bool pulse)
{
    if (line < 0 || line >= m_ladder.lineCount())
        return false;
    const LadderCell& cell = m_ladder.cell(line, column);
    if (!isContact(cell.code))
        return false;
    const auto at = parseLocation(cell.text());
    if (!at || !at->hasBit() || (at->area != Area::X && at->area != Area::F))
        return false;
    if (pulse)
        m_session.pulse(*at);
    else
        m_session.toggle(*at);
    return true;
}

bool SimulationOverlay::keyPressed(CRungpadView& view, QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
    case Qt::Key_Tab: case Qt::Key_Backtab:
        return false;   // moving around stays as it was
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const CellPos c = view.cursorCell();
        operateInput(c.line, c.column, event->modifiers() & Qt::ControlModifier);
        return true;
    }
    default:
        return true;   // no key edits a running ladder
    }
}

void SimulationOverlay::mousePressed(CRungpadView& view, QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    const CellPos c = view.cellAt(at);
    if (view.cellRect(c.line, c.column).contains(at))
        operateInput(c.line, c.column, event->modifiers() & Qt::ControlModifier);
}

}  // namespace rungpad::ui
