#include "rungpad/ui/rungpadview.h"

#include "rungpad/ui/rungpaddoc.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace rungpad::ui {

CRungpadView::CRungpadView(CRungpadDoc* document, QWidget* parent) : QAbstractScrollArea(parent), m_doc(document)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(true);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(pal);
    // Every pixel is painted in paintEvent; Qt need not clear first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(m_doc, &CRungpadDoc::ladderChanged, this, &CRungpadView::ladderChanged);
    updateScrollBars();
}

int CRungpadView::lastLine() const { return std::max(0, m_doc->ladder().lineCount() - 1); }

CellPos CRungpadView::clamped(CellPos cell) const
{
    return {std::clamp(cell.line, 0, lastLine()), std::clamp(cell.column, 0, kColumns - 1)};
}

QRect CRungpadView::cellRect(int line, int column) const
{
    const QRectF r = logicalCellRect(line, column);
    const int x = int(std::floor(r.left() * m_scale)) - horizontalScrollBar()->value();
    const int y = int(std::floor(r.top() * m_scale)) - verticalScrollBar()->value();
    const int right = int(std::floor(r.right() * m_scale)) - horizontalScrollBar()->value();
    const int bottom = int(std::floor(r.bottom() * m_scale)) - verticalScrollBar()->value();
    return QRect(QPoint(x, y), QPoint(right - 1, bottom - 1));
}

CellPos CRungpadView::cellAt(const QPoint& p) const
{
    const double x = (p.x() + horizontalScrollBar()->value() + 0.5) / m_scale;
    const double y = (p.y() + verticalScrollBar()->value() + 0.5) / m_scale;
    return cellAtLogical(x, y, m_doc->ladder().lineCount());
}

int CRungpadView::linesPerPage() const
{
    return std::max(1, int(viewport()->height() / (geo::kCellHeight * m_scale)));
}

std::pair<int, int> CRungpadView::visibleLines() const
{
    const double top = verticalScrollBar()->value() / m_scale;
    const double bottom = (verticalScrollBar()->value() + viewport()->height()) / m_scale;
    const int first = std::max(0, int(std::floor((top - geo::kGridTop) / geo::kCellHeight)));
    const int last = std::min(lastLine(), int(std::floor((bottom - geo::kGridTop) / geo::kCellHeight)));
    return {first, last};
}

void CRungpadView::updateScrollBars()
{
    const int width = int(std::ceil(geo::kDrawingWidth * m_scale));
    const int height = int(std::ceil(drawingHeight(m_doc->ladder().lineCount()) * m_scale));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, int(10 * m_scale)));
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, int(geo::kCellHeight * m_scale)));
}

void CRungpadView::setScale(double scale)
{
    scale = std::clamp(scale, kMinScale, kMaxScale);
    if (std::abs(scale - m_scale) < 1e-9)
        return;
    // Keep the top line where it was.
    const double topLogical = verticalScrollBar()->value() / m_scale;
    m_scale = scale;
    updateScrollBars();
    verticalScrollBar()->setValue(int(topLogical * m_scale));
    viewport()->update();
    Q_EMIT scaleChanged(m_scale);
}

void CRungpadView::ladderChanged()
{
    m_cursor = clamped(m_cursor);
    m_anchor = clamped(m_anchor);
    updateScrollBars();
    viewport()->update();
    Q_EMIT cursorMoved(m_cursor);
}

void CRungpadView::ensureCellVisible(CellPos cell)
{
    const QRect r = cellRect(cell.line, cell.column);
    QScrollBar* v = verticalScrollBar();
    // The first and last lines bring the margins above and below them along.
    if (cell.line == 0)
        v->setValue(0);
    else if (cell.line == lastLine())
        v->setValue(v->maximum());
    else if (r.top() < 0)
        v->setValue(v->value() + r.top());
    else if (r.bottom() >= viewport()->height())
        v->setValue(v->value() + r.bottom() - viewport()->height() + 1);
    QScrollBar* h = horizontalScrollBar();
    const QRect r2 = cellRect(cell.line, cell.column);
    if (r2.left() < 0)
        h->setValue(h->value() + r2.left());
    else if (r2.right() >= viewport()->width())
        h->setValue(h->value() + r2.right() - viewport()->width() + 1);
}

void CRungpadView::setCursorCell(CellPos cell, bool extendSelection)
{
    cell = clamped(cell);
    const CellRange before = selection();
    const CellPos oldCursor = m_cursor;
    m_cursor = cell;
    if (!extendSelection)
        m_anchor = cell;
    ensureCellVisible(cell);
    if (before.top == before.bottom && before.left == before.right && !extendSelection) {
        // A single cell moved: only the two cells need painting again.
        viewport()->update(cellRect(oldCursor.line, oldCursor.column).adjusted(-2, -2, 2, 2));
        viewport()->update(cellRect(cell.line, cell.column).adjusted(-2, -2, 2, 2));
    } else {
        viewport()->update();
    }
    Q_EMIT cursorMoved(m_cursor);
}

void CRungpadView::selectRange(CellPos anchor, CellPos cursor)
{
    m_anchor = clamped(anchor);
    setCursorCell(cursor, true);
}

QByteArray CRungpadView::cursorAddress() const
{
    const LadderCell& cell = m_doc->ladder().cell(m_cursor.line, m_cursor.column);
    return isContact(cell.code) || isCoil(cell.code) ? cell.text() : QByteArray();
}

void CRungpadView::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), Qt::white);
    const double top = (verticalScrollBar()->value() + event->rect().top()) / m_scale;
    const double bottom = (verticalScrollBar()->value() + event->rect().bottom() + 1) / m_scale;
    const int first = int(std::floor((top - geo::kGridTop) / geo::kCellHeight));
    const int last = int(std::floor((bottom - geo::kGridTop) / geo::kCellHeight));
    p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.scale(m_scale, m_scale);
    LadderPaintStyle style;
    style.selection = selection();
    style.cursor = m_cursor;
    m_painter.paintLines(p, m_doc->ladder(), first, last, style);
}

void CRungpadView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CRungpadView::scrollContentsBy(int, int) { viewport()->update(); }

void CRungpadView::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    CellPos c = m_cursor;
    switch (event->key()) {
    case Qt::Key_Left: --c.column; break;
    case Qt::Key_Right: ++c.column; break;
    case Qt::Key_Up: --c.line; break;
    case Qt::Key_Down: ++c.line; break;
    case Qt::Key_PageUp: c.line -= linesPerPage(); break;
    case Qt::Key_PageDown: c.line += linesPerPage(); break;
    case Qt::Key_Home:
        c.column = 0;
        if (ctrl)
            c.line = 0;
        break;
    case Qt::Key_End:
        c.column = kColumns - 1;
        if (ctrl)
            c.line = lastLine();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (ctrl) {
            zoomIn();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
        return;
    case Qt::Key_Minus:
        if (ctrl) {
            zoomOut();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    setCursorCell(c, shift);
}

void CRungpadView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const CellPos cell = cellAt(event->position().toPoint());
    setCursorCell(cell, event->modifiers() & Qt::ShiftModifier);
    m_dragging = true;
    m_dragStart = event->position().toPoint();
}

void CRungpadView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    if (!m_rubberBand)
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
    m_rubberBand->setGeometry(QRect(m_dragStart, event->position().toPoint()).normalized());
    m_rubberBand->show();
}

void CRungpadView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    if (m_rubberBand)
        m_rubberBand->hide();
    const CellPos end = cellAt(event->position().toPoint());
    if (!(end == m_cursor))
        setCursorCell(end, true);
}

void CRungpadView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT cellDoubleClicked(cellAt(event->position().toPoint()));
}

void CRungpadView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int steps = event->angleDelta().y() / 120;
        if (steps > 0)
            zoomIn();
        else if (steps < 0)
            zoomOut();
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

}  // namespace rungpad::ui
