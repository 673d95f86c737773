// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ladder of one document as a scrolling drawing. Only the lines inside the viewport are
// painted; the scroll bars count pixels of the drawing at the current zoom. The cursor cell
// and the selected rectangle live here, where the editing commands find them.
#include "rungpad/model/editchange.h"
#include "rungpad/ui/ladderpainter.h"

#include <QAbstractScrollArea>
#include <QPointer>

#include <utility>

class QLineEdit;
class QRubberBand;

namespace rungpad::ui {

class CRungpadDoc;
class ViewSimulation;

class CRungpadView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr double kDefaultScale = 1.2;
    static constexpr double kMinScale = 0.5;
    static constexpr double kMaxScale = 4.0;

    explicit CRungpadView(CRungpadDoc* document, QWidget* parent = nullptr);

    CRungpadDoc* document() const { return m_doc; }

    // Where a cell is drawn now, in viewport pixels (it may lie outside the viewport).
    QRect cellRect(int line, int column) const;
    // The cell under a viewport point, clamped into the grid.
    CellPos cellAt(const QPoint& viewportPoint) const;

    CellPos cursorCell() const { return m_cursor; }
    CellRange selection() const { return CellRange::between(m_anchor, m_cursor); }
    // Moves the cursor (clamped), keeps or collapses the selection, scrolls it into view.
    void setCursorCell(CellPos cell, bool extendSelection = false);
    void selectRange(CellPos anchor, CellPos cursor);
    // The address text of the cursor cell when it holds a contact or coil, else empty.
    QByteArray cursorAddress() const;
    // Cursor and selection in the editor's terms (the selection runs from anchor to cursor).
    rungpad::EditCursor editCursor() const;
    void setEditCursor(const rungpad::EditCursor& cursor);

    // The line note editor over the note area of `line`, filled and fully selected.
    void editLineNote(int line);
    QLineEdit* lineNoteEditor() const { return m_noteEditor; }

    double scale() const { return m_scale; }
    void setScale(double scale);
    void zoomIn() { setScale(m_scale * 1.25); }
    void zoomOut() { setScale(m_scale / 1.25); }
    // Signal comments and block input labels drawn in the cells.
    void setCommentsShown(bool shown);
    bool commentsShown() const { return m_commentsShown; }
    // Lines the viewport shows whole, at least one (the page step of PageUp/PageDown).
    int linesPerPage() const;
    // First and last line the viewport touches.
    std::pair<int, int> visibleLines() const;

    // While a simulation runs on the document: its drawing and its handling of keys and
    // clicks; editing is refused. nullptr restores the editor.
    void setSimulation(ViewSimulation* simulation);
    ViewSimulation* simulation() const { return m_simulation; }

Q_SIGNALS:
    void cursorMoved(rungpad::ui::CellPos cell);
    void scaleChanged(double scale);
    void cellDoubleClicked(rungpad::ui::CellPos cell);
    // Enter or F2 (empty text), or a letter typed on an empty cell (that letter).
    void editCellRequested(const QString& typed);
    void contextMenuRequested(const QPoint& globalPos);
    void lineNoteEdited(int line, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateScrollBars();
    void ensureCellVisible(CellPos cell);
    void ladderChanged();
    void finishNoteEditing(bool store);
    void placeNoteEditor();
    int lastLine() const;
    CellPos clamped(CellPos cell) const;

    CRungpadDoc* m_doc;
    LadderPainter m_painter;
    double m_scale = kDefaultScale;
    CellPos m_cursor;
    CellPos m_anchor;
    bool m_dragging = false;
    QPoint m_dragStart;
    QRubberBand* m_rubberBand = nullptr;
    QLineEdit* m_noteEditor = nullptr;
    int m_noteLine = -1;
    ViewSimulation* m_simulation = nullptr;
    bool m_commentsShown = false;
};

}  // namespace rungpad::ui
