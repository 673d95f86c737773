// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NC program editor both desktop programs show: a scroll area that paints only the lines
// in view over an NcLineStore, so a 400,000-line program opens as fast as its bytes decode and
// costs little more than its text. No line wrap, one font, one caret and one selection: what
// an NC program needs. The calls mirror QPlainTextEdit's where the windows used them.
#include "common/nclinestore.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QTextCursor>

class QMimeData;
class QPrinter;

namespace vantor {

// What the caret and selection were when asked, in QTextCursor's words.
struct NcTextCursor {
    NcPos caret;
    NcPos anchor;
    QString selected;

    int blockNumber() const { return caret.line; }
    int columnNumber() const { return caret.column; }
    bool hasSelection() const { return caret != anchor; }
    QString selectedText() const { return selected; }
    NcPos selectionStart() const { return std::min(caret, anchor); }
    NcPos selectionEnd() const { return std::max(caret, anchor); }
};

class NcEditor : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit NcEditor(QWidget* parent = nullptr);

    // A new text and a fresh undo history; unmodified.
    void setPlainText(const QString& text);
    // The decoded file, kept as it is (no copy); exceptions as decodeNcText gives them.
    void setText(QString text, const std::vector<NcLineEndException>& exceptions);
    QString toPlainText() const { return store_.text(); }
    void clear() { setPlainText(QString()); }
    const NcLineStore& store() const { return store_; }
    int lineCount() const { return store_.lineCount(); }
    qsizetype characterCount() const { return store_.characterCount(); }
    bool isEmpty() const { return store_.isEmpty(); }

    // Replaces the selection (or inserts at the caret), as typing does: one undo step.
    void insertPlainText(const QString& text);
    // Adds text after the last character without moving the caret or the view.
    void appendText(const QString& text);

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);
    bool isModified() const { return store_.isModified(); }
    void setModified(bool modified);

    NcPos caret() const { return caret_; }
    NcPos anchor() const { return anchor_; }
    bool hasSelection() const { return caret_ != anchor_; }
    QString selectedText() const { return store_.text(anchor_, caret_); }
    NcTextCursor textCursor() const { return {caret_, anchor_, selectedText()}; }
    // Moves the caret; keepAnchor extends the selection, else it collapses.
    void setCaret(NcPos caret, bool keepAnchor = false);
    void select(NcPos anchor, NcPos caret);
    void moveCursor(QTextCursor::MoveOperation op, QTextCursor::MoveMode mode = QTextCursor::MoveAnchor);
    void ensureCursorVisible();
    void centerCursor();
    // The first line the view shows.
    int firstVisibleLine() const;

    // Selects the next match after the selection (before it, backward); false and nothing
    // moves when there is none. A match never spans a line break.
    bool find(const QString& what, bool matchCase, bool backward = false, bool wrap = false);
    // One undo step; the count of replacements. The caret stays on its line.
    int replaceAll(const QString& what, const QString& with, bool matchCase);

    // The whole text on the printer's pages, long lines broken at the page's width.
    void print(QPrinter* printer) const;

    QRect caretRect() const;  // in viewport coordinates
    // Viewport point of a place in the text; the place a viewport point is nearest to.
    QPoint pointAt(NcPos pos) const;
    NcPos posAt(QPoint point) const;

public Q_SLOTS:
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();

Q_SIGNALS:
    void textChanged();
    void cursorPositionChanged();
    void selectionChanged();
    void modificationChanged(bool modified);
    void copyAvailable(bool available);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;
    // Paste goes through here, so a view can refuse it.
    virtual void insertFromMimeData(const QMimeData* source);

private:
    // Replaces [from, to) and puts the caret at the end of the new text.
    void edit(NcPos from, NcPos to, QStringView text);
    void afterEdit(NcPos caret, bool wasModified);
    void updateScrollBars();
    void caretMoved(NcPos oldCaret, NcPos oldAnchor);
    int visibleLines() const;
    int lineHeight() const;
    int xOf(int line, int column) const;
    int columnAtX(int line, int x) const;
    NcPos stepLeft(NcPos p) const;
    NcPos stepRight(NcPos p) const;
    NcPos wordLeft(NcPos p) const;
    NcPos wordRight(NcPos p) const;
    void deleteBackward(bool word);
    void deleteForward(bool word);

    NcLineStore store_;
    NcPos caret_;
    NcPos anchor_;
    int desiredX_ = -1;  // kept through Up/Down so the caret comes back to its column
    bool readOnly_ = false;
    bool dragging_ = false;
    QString preedit_;
};

}  // namespace vantor
