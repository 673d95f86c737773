// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/ladderpainter.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/operandrules.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace rungpad::ui {

CellPos cellAtLogical(double x, double y, int lineCount)
{
    const int lastLine = std::max(0, lineCount - 1);
    x = std::clamp(x, double(geo::kGridLeft + 1), double(geo::kRightRail));
    y = std::clamp(y, double(geo::kGridTop + 1), double(geo::kGridTop - 1 + geo::kCellHeight * std::max(1, lineCount)));
    const int column = std::clamp(int((x - geo::kGridLeft) / geo::kCellWidth), 0, kColumns - 1);
    const int line = std::clamp(int((y - geo::kGridTop) / geo::kCellHeight), 0, lastLine);
    return {line, column};
}

namespace {

// The older editor named "宋体" for cells and "Arial" for numbers; where those are missing
// (any Linux desktop) fontconfig falls through the list to an installed CJK font.
QFont makeFont(const QStringList& families)
{
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(geo::kTextHeight);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

double ascentOf(const QFont& font) { return QFontMetricsF(font).ascent(); }

}  // namespace

LadderPainter::LadderPainter()
    : m_cellFont(makeFont({QStringLiteral("SimSun"), QString::fromUtf8("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                           QStringLiteral("Noto Sans CJK SC")})),
      m_numberFont(makeFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                             QStringLiteral("WenQuanYi Micro Hei")}))
{
}

void LadderPainter::paintCell(QPainter& p, const LadderCell& cell, double x0, double y0) const
{
    const double wy = y0 + geo::kWireY;
    const quint16 kind = kindOf(cell.code);
    const double textBase = ascentOf(m_cellFont);
    auto text = [&](double dy) {
        if (cell.hasText())
            p.drawText(QPointF(x0 + geo::kCellTextX, y0 + dy + textBase), QString::fromLatin1(cell.text()));
    };
    switch (kind) {
    case kEmpty:
        break;
    case kHorizontalWire:
        p.drawLine(QPointF(x0, wy), QPointF(x0 + 70, wy));
        break;
    case kContactNO:
    case kContactNC:
        p.drawLine(QPointF(x0, wy), QPointF(x0 + 32, wy));
        p.drawLine(QPointF(x0 + 38, wy), QPointF(x0 + 70, wy));
        p.drawLine(QPointF(x0 + 32, y0 + 26), QPointF(x0 + 32, y0 + 38));
        p.drawLine(QPointF(x0 + 38, y0 + 26), QPointF(x0 + 38, y0 + 38));
        if (kind == kContactNC)
            p.drawLine(QPointF(x0 + 32, y0 + 38), QPointF(x0 + 38, y0 + 26));
        text(5);
        break;
    case kCoil:
    case kCoilNot:
        p.drawLine(QPointF(x0, wy), QPointF(x0 + 70, wy));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(QPointF(x0 + 34, y0 + 25), QPointF(x0 + 50, y0 + 40)));
        if (kind == kCoilNot) {
            p.setBrush(Qt::black);
            p.drawEllipse(QRectF(QPointF(x0 + 28, y0 + 30), QPointF(x0 + 34, y0 + 36)));
        }
        p.setBrush(Qt::NoBrush);
        text(5);
        break;
    default:
        if (isCodt(cell.code)) {
            p.drawLine(QPointF(x0, y0), QPointF(x0, y0 + 40));
            p.drawLine(QPointF(x0 + 70, y0), QPointF(x0 + 70, y0 + 40));
            text(15);
        } else if (isFunctionBlockCode(cell.code)) {
            const int height = std::max(1, blockShape(cell.code).height);
            const int blockLine = blockLineOf(cell.code);
            const bool first = blockLine == 0;
            const bool last = blockLine >= height - 1;
            const double top = first ? y0 + 12 : y0;
            const double bottom = last ? y0 + 38 : y0 + 40;
            p.drawLine(QPointF(x0, top), QPointF(x0, bottom));
            p.drawLine(QPointF(x0 + 70, top), QPointF(x0 + 70, bottom));
            if (first)
                p.drawLine(QPointF(x0, top), QPointF(x0 + 70, top));
            if (last)
                p.drawLine(QPointF(x0, bottom), QPointF(x0 + 70, bottom));
            text(15);
        }
        break;
    }
    if (cell.hasLink())
        p.drawLine(QPointF(x0 + 69, wy), QPointF(x0 + 69, wy + geo::kCellHeight));
}

void LadderPainter::paintLines(QPainter& p, const LadderProgram& ladder, int first, int last,
                               const LadderPaintStyle& style) const
{
    const int count = ladder.lineCount();
    first = std::max(0, first);
    last = std::min(last, count - 1);

    QPen thin(Qt::black);
    QPen rail(Qt::black);
    if (style.screen) {
        thin.setCosmetic(true);
        thin.setWidthF(1);
        rail.setCosmetic(true);
        rail.setWidthF(2);
    } else {
        thin.setWidthF(1.5);
        rail.setWidthF(3);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, !style.screen);

    // Rails over the drawn lines only; from the top margin when line 0 is among them.
    const double railTop = first == 0 ? geo::kRailTop : geo::kGridTop + geo::kCellHeight * first;
    const double railBottom = geo::kGridTop + geo::kCellHeight * (std::max(last, first - 1) + 1);
    p.setPen(rail);
    p.drawLine(QPointF(geo::kGridLeft, railTop), QPointF(geo::kGridLeft, railBottom));
    p.drawLine(QPointF(geo::kRightRail, railTop), QPointF(geo::kRightRail, railBottom));

    const double numberBase = ascentOf(m_numberFont);
    if (style.overlay)
        style.overlay->prepare(first, last);
    for (int r = first; r <= last; ++r) {
        const double y0 = geo::kGridTop + geo::kCellHeight * r;
        p.setFont(m_numberFont);
        p.setPen(Qt::black);
        const double textY = y0 + geo::kTextBaseOffset - geo::kTextHeight / 2.0 + numberBase;
        p.drawText(QPointF(geo::kNumberX, textY), QString::asprintf("%04d", r + 1));
        if (style.lineNotes) {
            const QString& note = ladder.note(r);
            if (!note.isEmpty())
                p.drawText(QPointF(geo::kNoteX, textY), note);
        }
        p.setFont(m_cellFont);
        p.setPen(thin);
        const LadderRow& row = ladder.line(r);
        for (int c = 0; c < kColumns; ++c) {
            if (style.overlay)
                p.setPen(style.overlay->cellPowered(r, c) ? style.overlay->powerPen(thin) : thin);
            paintCell(p, row[c], geo::kGridLeft + geo::kCellWidth * c, y0);
        }
        if (style.screen && isCodt(row[0].code))
            markMissingTableValues(p, ladder, r);
        if (style.overlay)
            style.overlay->paintLine(p, r, y0);
        if (style.comments)
            paintLineAnnotations(p, row, y0, style);
    }

    if (style.screen && style.selection) {
        const CellRange& s = *style.selection;
        const int top = std::max(s.top, first);
        const int bottom = std::min(s.bottom, last);
        if (top <= bottom) {
            const QRectF area = logicalCellRect(top, s.left).united(logicalCellRect(bottom, s.right));
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(area, Qt::white);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    if (style.screen && style.cursor && style.cursor->line >= first && style.cursor->line <= last) {
        QPen dotted(Qt::blue);
        dotted.setCosmetic(true);
        dotted.setStyle(Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(logicalCellRect(style.cursor->line, style.cursor->column).adjusted(1, 1, -1, -1));
    }
    p.restore();
}

void LadderPainter::markMissingTableValues(QPainter& p, const LadderProgram& ladder, int line) const
{
    // Red question marks where the COD table still lacks a value: conversion refuses it.
    for (int c = 0; c < kColumns; ++c) {
        if (!codTableValueMissing(ladder, line, c))
            continue;
        const QRectF cell = logicalCellRect(line, c);
        p.save();
        p.setPen(QPen(Qt::red, 0));
        p.setFont(m_cellFont);
        p.drawText(cell.adjusted(0, 10, 0, -10), Qt::AlignCenter, QStringLiteral("?????"));
        p.restore();
    }
}

void LadderPainter::paintLineNumberGutter(QPainter& p, const LadderProgram& ladder, int first, int last) const
{
    first = std::max(first, 0);
    last = std::min(last, ladder.lineCount() - 1);
    p.save();
    const double top = first == 0 ? 0 : geo::kGridTop + geo::kCellHeight * first;
    const double bottom = geo::kGridTop + geo::kCellHeight * (std::max(last, first - 1) + 1) + geo::kBottomMargin;
    p.fillRect(QRectF(0, top, geo::kGridLeft, bottom - top), Qt::white);
    QPen rail(Qt::black);
    rail.setCosmetic(true);
    rail.setWidthF(2);
    p.setPen(rail);
    p.drawLine(QPointF(geo::kGridLeft, first == 0 ? geo::kRailTop : top),
               QPointF(geo::kGridLeft, geo::kGridTop + geo::kCellHeight * (std::max(last, first - 1) + 1)));
    p.setFont(m_numberFont);
    p.setPen(Qt::black);
    const double numberBase = ascentOf(m_numberFont);
    for (int r = first; r <= last; ++r) {
        const double y0 = geo::kGridTop + geo::kCellHeight * r;
        p.drawText(QPointF(geo::kNumberX, y0 + geo::kTextBaseOffset - geo::kTextHeight / 2.0 + numberBase),
                   QString::asprintf("%04d", r + 1));
    }
    p.restore();
}

}  // namespace rungpad::ui
