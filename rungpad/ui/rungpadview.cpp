// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/rungpadview.h"

#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/simulationoverlay.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <cmath>

namespace rungpad::ui {

namespace {

// The in-place line note editor keeps every key it is typed, so Del, Insert or Ctrl+Q
// edit the note instead of reaching the ladder's shortcuts; Escape drops the change.
class NoteEditor : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void(bool)> finished;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ShortcutOverride) {
            e->accept();
            return true;
        }
        return QLineEdit::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Escape) {
            finished(false);
            return;
        }
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            finished(true);
            return;
        }
        QLineEdit::keyPressEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QLineEdit::focusOutEvent(e);
        finished(true);
    }
};

}  // namespace

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
    connect(m_doc, &CRungpadDoc::edited, this, [this] { setEditCursor(m_doc->editor().cursor()); });
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

void CRungpadView::setCommentsShown(bool shown)
{
    if (shown == m_commentsShown)
        return;
    m_commentsShown = shown;
    viewport()->update();
}

void CRungpadView::ladderChanged()
{
    m_cursor = clamped(m_cursor);
    m_anchor = clamped(m_anchor);
    if (m_noteEditor && m_noteLine >= m_doc->ladder().lineCount())
        finishNoteEditing(false);
    updateScrollBars();
    placeNoteEditor();
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
    // Scrolled sideways, the line numbers cover the left edge (paintEvent): a cell counts as
    // visible only right of them, and column 0 brings the rail and the numbers back.
    const int gutter = h->value() > 0 ? int(geo::kGridLeft * m_scale) : 0;
    if (cell.column == 0)
        h->setValue(0);
    else if (r2.left() < gutter)
        h->setValue(std::max(0, h->value() + r2.left() - gutter));
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
    m_doc->editor().setCursor(editCursor());
    if (before.top == before.bottom && before.left == before.right && !extendSelection) {
        // A single cell moved: only the two cells need painting again.
        viewport()->update(cellRect(oldCursor.line, oldCursor.column).adjusted(-2, -2, 2, 2));
        viewport()->update(cellRect(cell.line, cell.column).adjusted(-2, -2, 2, 2));
    } else {
        viewport()->update();
    }
    Q_EMIT cursorMoved(m_cursor);
}

rungpad::EditCursor CRungpadView::editCursor() const
{
    const rungpad::CellPos cursor{m_cursor.line, m_cursor.column};
    return {cursor, {{m_anchor.line, m_anchor.column}, cursor}};
}

void CRungpadView::setEditCursor(const rungpad::EditCursor& c)
{
    const rungpad::CellRange& sel = c.selection;
    rungpad::CellPos anchor = c.cursor;
    if (sel.end == c.cursor)
        anchor = sel.start;
    else if (sel.start == c.cursor)
        anchor = sel.end;
    m_anchor = clamped({anchor.line, anchor.column});
    const CellPos cell = clamped({c.cursor.line, c.cursor.column});
    m_cursor = cell;
    ensureCellVisible(cell);
    m_doc->editor().setCursor(editCursor());
    viewport()->update();
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
    style.overlay = m_simulation ? m_simulation->overlay() : nullptr;
    if (m_commentsShown)
        style.comments = &m_doc->data().comments;
    m_painter.paintLines(p, m_doc->ladder(), first, last, style);
    if (horizontalScrollBar()->value() > 0) {
        // Line numbers and the rail stay at the left edge while the ladder scrolls sideways.
        p.resetTransform();
        p.translate(0, -verticalScrollBar()->value());
        p.scale(m_scale, m_scale);
        m_painter.paintLineNumberGutter(p, m_doc->ladder(), first, last);
    }
}

void CRungpadView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CRungpadView::scrollContentsBy(int, int)
{
    placeNoteEditor();
    viewport()->update();
}

void CRungpadView::editLineNote(int line)
{
    if (line < 0 || line >= m_doc->ladder().lineCount())
        return;
    if (m_noteEditor)
        finishNoteEditing(true);
    m_noteLine = line;
    auto* editor = new NoteEditor(m_doc->ladder().note(line), viewport());
    editor->finished = [this](bool store) { finishNoteEditing(store); };
    editor->setFont(fixedPitchFont());
    m_noteEditor = editor;
    placeNoteEditor();
    editor->show();
    editor->selectAll();
    editor->setFocus();
}

void CRungpadView::placeNoteEditor()
{
    if (!m_noteEditor)
        return;
    // Over the note area of the line: from the note's x to the drawing's right part.
    const QRectF r(geo::kNoteX, geo::kGridTop + geo::kCellHeight * m_noteLine, 400, geo::kCellHeight * 0.8);
    m_noteEditor->setGeometry(int(r.left() * m_scale) - horizontalScrollBar()->value(),
                              int(r.top() * m_scale) - verticalScrollBar()->value(), int(r.width() * m_scale),
                              int(r.height() * m_scale));
}

void CRungpadView::finishNoteEditing(bool store)
{
    if (!m_noteEditor)
        return;
    QLineEdit* editor = m_noteEditor;
    const int line = m_noteLine;
    m_noteEditor = nullptr;
    m_noteLine = -1;
    static_cast<NoteEditor*>(editor)->finished = [](bool) {};
    const QString text = editor->text();
    editor->hide();
    editor->deleteLater();
    setFocus();
    if (store && line < m_doc->ladder().lineCount() && text != m_doc->ladder().note(line))
        Q_EMIT lineNoteEdited(line, text);
}

void CRungpadView::setSimulation(ViewSimulation* simulation)
{
    if (simulation)
        finishNoteEditing(true);
    m_simulation = simulation;
    viewport()->update();
}

void CRungpadView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_simulation)
        return;
    Q_EMIT contextMenuRequested(event->globalPos());
}

void CRungpadView::keyPressEvent(QKeyEvent* event)
{
    if (m_simulation && m_simulation->keyPressed(*this, event))
        return;
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
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        Q_EMIT editCellRequested(QString());
        return;
    case Qt::Key_Escape:
        // Back to one selected cell.
        setCursorCell(m_cursor);
        return;
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
        // A letter on an empty cell or a wire starts a normally-open contact with that
        // letter typed.
        if (!ctrl && !(event->modifiers() & Qt::AltModifier) && event->text().size() == 1
            && event->text()[0].isLetter() && event->text()[0].unicode() < 128
            && (m_doc->ladder().cell(m_cursor.line, m_cursor.column).code == kEmpty
                || m_doc->ladder().cell(m_cursor.line, m_cursor.column).code == kHorizontalWire)) {
            Q_EMIT editCellRequested(event->text());
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    setCursorCell(c, shift);
}

void CRungpadView::mousePressEvent(QMouseEvent* event)
{
    if (m_simulation)
        m_simulation->mousePressed(*this, event);
    if (event->button() == Qt::RightButton) {
        // The context menu acts on the cell under the mouse unless it is in the selection.
        const CellPos cell = cellAt(event->position().toPoint());
        if (!selection().contains(cell.line, cell.column))
            setCursorCell(cell);
    }
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
    if (m_simulation)
        return;
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    const QPoint p = event->position().toPoint();
    // Right of the right rail: the line note of that line.
    const double x = (p.x() + horizontalScrollBar()->value()) / m_scale;
    if (x > geo::kRightRail + 1) {
        const double y = (p.y() + verticalScrollBar()->value()) / m_scale;
        const int line = int(std::floor((y - geo::kGridTop) / geo::kCellHeight));
        if (line >= 0 && line < m_doc->ladder().lineCount())
            editLineNote(line);
        return;
    }
    Q_EMIT cellDoubleClicked(cellAt(p));
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
