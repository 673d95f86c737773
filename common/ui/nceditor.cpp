// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/nceditor.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include <algorithm>

namespace vantor {

namespace {

constexpr int kLeftMargin = 4;
constexpr int kTopMargin = 2;

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'.'; }

// A tab shows as one space: painting and measuring then agree on every caret place, and NC
// programs use tabs, if at all, as a plain separator.
QString shown(QStringView text)
{
    QString out = text.toString();
    out.replace(u'\t', u' ');
    return out;
}

// The context menu's entries in the words (and translations) Qt's own text editors use.
QString qtText(const char* text) { return QCoreApplication::translate("QWidgetTextControl", text); }

}  // namespace

NcEditor::NcEditor(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    updateScrollBars();
}

void NcEditor::setPlainText(const QString& text)
{
    setText(text, {});
}

void NcEditor::setText(QString text, const std::vector<NcLineEndException>& exceptions)
{
    const bool wasModified = store_.isModified();
    store_.setText(std::move(text), exceptions);
    caret_ = anchor_ = {};
    desiredX_ = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    Q_EMIT textChanged();
    Q_EMIT cursorPositionChanged();
    if (wasModified)
        Q_EMIT modificationChanged(false);
}

void NcEditor::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
    viewport()->update();
}

void NcEditor::setModified(bool modified)
{
    const bool was = store_.isModified();
    store_.setModified(modified);
    if (was != modified)
        Q_EMIT modificationChanged(modified);
}

void NcEditor::edit(NcPos from, NcPos to, QStringView text)
{
    const bool wasModified = store_.isModified();
    afterEdit(store_.replace(from, to, text), wasModified);
}

void NcEditor::afterEdit(NcPos caret, bool wasModified)
{
    const bool hadSelection = hasSelection();
    caret_ = anchor_ = store_.clamp(caret);
    desiredX_ = -1;
    updateScrollBars();
    ensureCursorVisible();
    viewport()->update();
    Q_EMIT textChanged();
    Q_EMIT cursorPositionChanged();
    if (hadSelection) {
        Q_EMIT selectionChanged();
        Q_EMIT copyAvailable(false);
    }
    if (store_.isModified() != wasModified)
        Q_EMIT modificationChanged(store_.isModified());
}

void NcEditor::insertPlainText(const QString& text)
{
    QString clean = text;
    // Pasted text may carry any line end; the store keeps '\n' and the file's end per line.
    if (clean.contains(u'\r')) {
        clean.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        clean.replace(u'\r', u'\n');
    }
    clean.replace(QChar::ParagraphSeparator, u'\n');
    clean.replace(QChar::LineSeparator, u'\n');
    edit(std::min(caret_, anchor_), std::max(caret_, anchor_), clean);
}

void NcEditor::appendText(const QString& text)
{
    const bool wasModified = store_.isModified();
    const NcPos caret = caret_, anchor = anchor_;
    store_.replace(store_.end(), store_.end(), text);
    caret_ = store_.clamp(caret);
    anchor_ = store_.clamp(anchor);
    updateScrollBars();
    viewport()->update();
    Q_EMIT textChanged();
    if (store_.isModified() != wasModified)
        Q_EMIT modificationChanged(store_.isModified());
}

void NcEditor::undo()
{
    const bool wasModified = store_.isModified();
    if (const std::optional<NcPos> at = store_.undo())
        afterEdit(*at, wasModified);
}

void NcEditor::redo()
{
    const bool wasModified = store_.isModified();
    if (const std::optional<NcPos> at = store_.redo())
        afterEdit(*at, wasModified);
}

void NcEditor::copy()
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void NcEditor::cut()
{
    if (readOnly_ || !hasSelection())
        return;
    copy();
    edit(std::min(caret_, anchor_), std::max(caret_, anchor_), {});
}

void NcEditor::paste()
{
    if (readOnly_)
        return;
    if (const QMimeData* data = QGuiApplication::clipboard()->mimeData())
        insertFromMimeData(data);
}

void NcEditor::insertFromMimeData(const QMimeData* source)
{
    if (readOnly_ || !source || !source->hasText())
        return;
    insertPlainText(source->text());
}

void NcEditor::selectAll()
{
    select({0, 0}, store_.end());
}

void NcEditor::setCaret(NcPos caret, bool keepAnchor)
{
    const NcPos oldCaret = caret_, oldAnchor = anchor_;
    caret_ = store_.clamp(caret);
    if (!keepAnchor)
        anchor_ = caret_;
    caretMoved(oldCaret, oldAnchor);
}

void NcEditor::select(NcPos anchor, NcPos caret)
{
    const NcPos oldCaret = caret_, oldAnchor = anchor_;
    anchor_ = store_.clamp(anchor);
    caret_ = store_.clamp(caret);
    caretMoved(oldCaret, oldAnchor);
}

void NcEditor::caretMoved(NcPos oldCaret, NcPos oldAnchor)
{
    ensureCursorVisible();
    viewport()->update();
    if (caret_ != oldCaret)
        Q_EMIT cursorPositionChanged();
    if (caret_ != oldCaret || anchor_ != oldAnchor) {
        const bool had = oldCaret != oldAnchor;
        if (had || hasSelection())
            Q_EMIT selectionChanged();
        if (had != hasSelection())
            Q_EMIT copyAvailable(hasSelection());
    }
}

NcPos NcEditor::stepLeft(NcPos p) const
{
    if (p.column > 0) {
        const QStringView l = store_.line(p.line);
        --p.column;
        if (p.column > 0 && l[p.column].isLowSurrogate() && l[p.column - 1].isHighSurrogate())
            --p.column;
        return p;
    }
    if (p.line > 0)
        return {p.line - 1, store_.lineLength(p.line - 1)};
    return p;
}

NcPos NcEditor::stepRight(NcPos p) const
{
    const QStringView l = store_.line(p.line);
    if (p.column < l.size()) {
        ++p.column;
        if (p.column < l.size() && l[p.column].isLowSurrogate() && l[p.column - 1].isHighSurrogate())
            ++p.column;
        return p;
    }
    if (p.line + 1 < store_.lineCount())
        return {p.line + 1, 0};
    return p;
}

NcPos NcEditor::wordLeft(NcPos p) const
{
    if (p.column == 0)
        return stepLeft(p);
    const QStringView l = store_.line(p.line);
    int c = p.column;
    while (c > 0 && l[c - 1].isSpace())
        --c;
    if (c > 0 && isWordChar(l[c - 1])) {
        while (c > 0 && isWordChar(l[c - 1]))
            --c;
    } else if (c > 0) {
        --c;
    }
    return {p.line, c};
}

NcPos NcEditor::wordRight(NcPos p) const
{
    const QStringView l = store_.line(p.line);
    if (p.column >= l.size())
        return stepRight(p);
    int c = p.column;
    if (isWordChar(l[c])) {
        while (c < l.size() && isWordChar(l[c]))
            ++c;
    } else if (!l[c].isSpace()) {
        ++c;
    }
    while (c < l.size() && l[c].isSpace())
        ++c;
    return {p.line, c};
}

void NcEditor::moveCursor(QTextCursor::MoveOperation op, QTextCursor::MoveMode mode)
{
    const bool keep = mode == QTextCursor::KeepAnchor;
    NcPos to = caret_;
    bool vertical = false;
    switch (op) {
    case QTextCursor::Start:
        to = {0, 0};
        break;
    case QTextCursor::End:
        to = store_.end();
        break;
    case QTextCursor::StartOfLine:
    case QTextCursor::StartOfBlock:
        to.column = 0;
        break;
    case QTextCursor::EndOfLine:
    case QTextCursor::EndOfBlock:
        to.column = store_.lineLength(to.line);
        break;
    case QTextCursor::Left:
    case QTextCursor::PreviousCharacter:
        to = (!keep && hasSelection()) ? std::min(caret_, anchor_) : stepLeft(to);
        break;
    case QTextCursor::Right:
    case QTextCursor::NextCharacter:
        to = (!keep && hasSelection()) ? std::max(caret_, anchor_) : stepRight(to);
        break;
    case QTextCursor::WordLeft:
    case QTextCursor::PreviousWord:
        to = wordLeft(to);
        break;
    case QTextCursor::WordRight:
    case QTextCursor::NextWord:
        to = wordRight(to);
        break;
    case QTextCursor::Up:
    case QTextCursor::PreviousBlock:
    case QTextCursor::Down:
    case QTextCursor::NextBlock: {
        const bool up = op == QTextCursor::Up || op == QTextCursor::PreviousBlock;
        if (desiredX_ < 0)
            desiredX_ = xOf(caret_.line, caret_.column);
        const int keepX = desiredX_;
        if (up ? to.line == 0 : to.line + 1 >= store_.lineCount()) {
            to.column = up ? 0 : store_.lineLength(to.line);
        } else {
            to.line += up ? -1 : 1;
            to.column = columnAtX(to.line, keepX);
        }
        setCaret(to, keep);
        desiredX_ = keepX;
        vertical = true;
        break;
    }
    default:
        return;
    }
    if (!vertical) {
        desiredX_ = -1;
        setCaret(to, keep);
    }
}

int NcEditor::lineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int NcEditor::visibleLines() const
{
    return std::max(1, (viewport()->height() - kTopMargin) / lineHeight());
}

int NcEditor::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

int NcEditor::xOf(int line, int column) const
{
    return kLeftMargin + fontMetrics().horizontalAdvance(shown(store_.line(line).first(column)));
}

int NcEditor::columnAtX(int line, int x) const
{
    const QStringView l = store_.line(line);
    const QFontMetrics fm = fontMetrics();
    int left = kLeftMargin;
    for (int c = 0; c < l.size();) {
        const int width = (l[c].isHighSurrogate() && c + 1 < l.size()) ? 2 : 1;
        const int advance = fm.horizontalAdvance(shown(l.sliced(c, width)));
        if (x < left + advance / 2)
            return c;
        left += advance;
        c += width;
    }
    return int(l.size());
}

QPoint NcEditor::pointAt(NcPos pos) const
{
    pos = store_.clamp(pos);
    return {xOf(pos.line, pos.column) - horizontalScrollBar()->value(),
            kTopMargin + (pos.line - firstVisibleLine()) * lineHeight()};
}

NcPos NcEditor::posAt(QPoint point) const
{
    const int y = point.y() - kTopMargin;
    const int row = y < 0 ? -1 : y / lineHeight();
    const int line = std::clamp(firstVisibleLine() + row, 0, store_.lineCount() - 1);
    return {line, columnAtX(line, point.x() + horizontalScrollBar()->value())};
}

QRect NcEditor::caretRect() const
{
    const QPoint at = pointAt(caret_);
    return {at.x(), at.y(), 1, lineHeight()};
}

void NcEditor::updateScrollBars()
{
    const int rows = visibleLines();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, store_.lineCount() - rows));
    v->setPageStep(rows);
    // Measuring every line would cost a pass over the whole program; the widest line times a
    // digit's width is what an NC program's characters take.
    const int digit = std::max(1, fontMetrics().horizontalAdvance(u'0'));
    const int width = kLeftMargin * 2 + store_.widestLine() * digit + digit;
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, width - viewport()->width()));
    h->setPageStep(viewport()->width());
    h->setSingleStep(digit * 2);
}

void NcEditor::ensureCursorVisible()
{
    const int first = firstVisibleLine();
    const int rows = visibleLines();
    if (caret_.line < first)
        verticalScrollBar()->setValue(caret_.line);
    else if (caret_.line >= first + rows)
        verticalScrollBar()->setValue(caret_.line - rows + 1);
    const int x = xOf(caret_.line, caret_.column);
    QScrollBar* h = horizontalScrollBar();
    const int margin = fontMetrics().horizontalAdvance(u'0') * 4;
    if (x - kLeftMargin < h->value()) {
        h->setValue(std::max(0, x - kLeftMargin - margin));
    } else if (x + margin > h->value() + viewport()->width()) {
        if (x + margin - viewport()->width() > h->maximum())
            h->setMaximum(x + margin - viewport()->width());
        h->setValue(x + margin - viewport()->width());
    }
}

void NcEditor::centerCursor()
{
    verticalScrollBar()->setValue(caret_.line - visibleLines() / 2);
    ensureCursorVisible();
}

bool NcEditor::find(const QString& what, bool matchCase, bool backward, bool wrap)
{
    const NcPos from = backward ? std::min(caret_, anchor_) : std::max(caret_, anchor_);
    const std::optional<NcLineStore::Match> m = store_.find(what, from, {matchCase, backward, wrap});
    if (!m)
        return false;
    const int first = firstVisibleLine();
    const bool far = m->at.line < first || m->at.line >= first + visibleLines();
    select(m->at, {m->at.line, m->at.column + m->length});
    if (far)
        centerCursor();
    return true;
}

int NcEditor::replaceAll(const QString& what, const QString& with, bool matchCase)
{
    const bool wasModified = store_.isModified();
    const NcPos caret = caret_;
    const int n = what.isEmpty() ? 0 : store_.replaceAll(what, with, matchCase);
    if (n > 0)
        afterEdit({caret.line, 0}, wasModified);
    return n;
}

void NcEditor::deleteBackward(bool word)
{
    if (hasSelection()) {
        edit(std::min(caret_, anchor_), std::max(caret_, anchor_), {});
        return;
    }
    const NcPos from = word ? wordLeft(caret_) : stepLeft(caret_);
    if (from != caret_)
        edit(from, caret_, {});
}

void NcEditor::deleteForward(bool word)
{
    if (hasSelection()) {
        edit(std::min(caret_, anchor_), std::max(caret_, anchor_), {});
        return;
    }
    const NcPos to = word ? wordRight(caret_) : stepRight(caret_);
    if (to != caret_)
        edit(caret_, to, {});
}

bool NcEditor::event(QEvent* event)
{
    // The window's Edit menu has the same keys; while the editor has the focus they are its own.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        static constexpr QKeySequence::StandardKey kOwn[] = {
            QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo,
            QKeySequence::SelectAll, QKeySequence::Delete, QKeySequence::MoveToStartOfDocument,
            QKeySequence::MoveToEndOfDocument, QKeySequence::SelectStartOfDocument, QKeySequence::SelectEndOfDocument};
        for (QKeySequence::StandardKey k : kOwn) {
            if (key->matches(k)) {
                event->accept();
                return true;
            }
        }
        // A plain character is typed here, but Alt+letter still opens the window's menus.
        const QString text = key->text();
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && !text.isEmpty() && text.front().isPrint()) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void NcEditor::keyPressEvent(QKeyEvent* e)
{
    struct Move {
        QKeySequence::StandardKey key;
        QTextCursor::MoveOperation op;
        QTextCursor::MoveMode mode;
    };
    static constexpr Move kMoves[] = {
        {QKeySequence::MoveToNextChar, QTextCursor::Right, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToPreviousChar, QTextCursor::Left, QTextCursor::MoveAnchor},
        {QKeySequence::SelectNextChar, QTextCursor::Right, QTextCursor::KeepAnchor},
        {QKeySequence::SelectPreviousChar, QTextCursor::Left, QTextCursor::KeepAnchor},
        {QKeySequence::MoveToNextWord, QTextCursor::WordRight, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToPreviousWord, QTextCursor::WordLeft, QTextCursor::MoveAnchor},
        {QKeySequence::SelectNextWord, QTextCursor::WordRight, QTextCursor::KeepAnchor},
        {QKeySequence::SelectPreviousWord, QTextCursor::WordLeft, QTextCursor::KeepAnchor},
        {QKeySequence::MoveToNextLine, QTextCursor::Down, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToPreviousLine, QTextCursor::Up, QTextCursor::MoveAnchor},
        {QKeySequence::SelectNextLine, QTextCursor::Down, QTextCursor::KeepAnchor},
        {QKeySequence::SelectPreviousLine, QTextCursor::Up, QTextCursor::KeepAnchor},
        {QKeySequence::MoveToStartOfLine, QTextCursor::StartOfLine, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToEndOfLine, QTextCursor::EndOfLine, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToStartOfBlock, QTextCursor::StartOfLine, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToEndOfBlock, QTextCursor::EndOfLine, QTextCursor::MoveAnchor},
        {QKeySequence::SelectStartOfLine, QTextCursor::StartOfLine, QTextCursor::KeepAnchor},
        {QKeySequence::SelectEndOfLine, QTextCursor::EndOfLine, QTextCursor::KeepAnchor},
        {QKeySequence::SelectStartOfBlock, QTextCursor::StartOfLine, QTextCursor::KeepAnchor},
        {QKeySequence::SelectEndOfBlock, QTextCursor::EndOfLine, QTextCursor::KeepAnchor},
        {QKeySequence::MoveToStartOfDocument, QTextCursor::Start, QTextCursor::MoveAnchor},
        {QKeySequence::MoveToEndOfDocument, QTextCursor::End, QTextCursor::MoveAnchor},
        {QKeySequence::SelectStartOfDocument, QTextCursor::Start, QTextCursor::KeepAnchor},
        {QKeySequence::SelectEndOfDocument, QTextCursor::End, QTextCursor::KeepAnchor},
    };
    for (const Move& m : kMoves) {
        if (e->matches(m.key)) {
            moveCursor(m.op, m.mode);
            return;
        }
    }
    const bool pageDown = e->matches(QKeySequence::MoveToNextPage) || e->matches(QKeySequence::SelectNextPage);
    const bool pageUp = e->matches(QKeySequence::MoveToPreviousPage) || e->matches(QKeySequence::SelectPreviousPage);
    if (pageDown || pageUp) {
        // The view moves by a page and the caret keeps its place on the screen.
        const int rows = visibleLines();
        const bool keep = e->matches(QKeySequence::SelectNextPage) || e->matches(QKeySequence::SelectPreviousPage);
        if (desiredX_ < 0)
            desiredX_ = xOf(caret_.line, caret_.column);
        const int keepX = desiredX_;
        const int line = std::clamp(caret_.line + (pageDown ? rows : -rows), 0, store_.lineCount() - 1);
        verticalScrollBar()->setValue(firstVisibleLine() + (pageDown ? rows : -rows));
        setCaret({line, columnAtX(line, keepX)}, keep);
        desiredX_ = keepX;
        return;
    }
    if (e->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (readOnly_) {
        e->ignore();
        return;
    }
    if (e->matches(QKeySequence::Undo)) {
        undo();
    } else if (e->matches(QKeySequence::Redo)) {
        redo();
    } else if (e->matches(QKeySequence::Cut)) {
        cut();
    } else if (e->matches(QKeySequence::Paste)) {
        paste();
    } else if (e->matches(QKeySequence::Delete)) {
        deleteForward(false);
    } else if (e->matches(QKeySequence::DeleteEndOfWord)) {
        deleteForward(true);
    } else if (e->matches(QKeySequence::DeleteStartOfWord)) {
        deleteBackward(true);
    } else if (e->key() == Qt::Key_Backspace && !(e->modifiers() & ~Qt::ShiftModifier)) {
        deleteBackward(false);
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        insertPlainText(QStringLiteral("\n"));
    } else {
        const QString text = e->text();
        const bool printable = !text.isEmpty() && (text.front().isPrint() || text.front() == u'\t')
                               && !(e->modifiers() & Qt::ControlModifier);
        if (!printable) {
            e->ignore();
            return;
        }
        insertPlainText(text);
    }
}

void NcEditor::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    desiredX_ = -1;
    dragging_ = true;
    setCaret(posAt(e->position().toPoint()), e->modifiers() & Qt::ShiftModifier);
}

void NcEditor::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_ || !(e->buttons() & Qt::LeftButton))
        return;
    setCaret(posAt(e->position().toPoint()), true);
}

void NcEditor::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        dragging_ = false;
    e->accept();
}

void NcEditor::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const NcPos at = posAt(e->position().toPoint());
    const QStringView l = store_.line(at.line);
    int from = at.column, to = at.column;
    while (from > 0 && isWordChar(l[from - 1]))
        --from;
    while (to < l.size() && isWordChar(l[to]))
        ++to;
    select({at.line, from}, {at.line, to});
}

void NcEditor::focusInEvent(QFocusEvent* e)
{
    viewport()->update();
    QAbstractScrollArea::focusInEvent(e);
}

void NcEditor::focusOutEvent(QFocusEvent* e)
{
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(e);
}

void NcEditor::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange) {
        viewport()->setFont(font());
        updateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(e);
}

void NcEditor::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void NcEditor::scrollContentsBy(int, int)
{
    viewport()->update();
}

bool NcEditor::focusNextPrevChild(bool next)
{
    // Tab is a character in an editable program.
    return readOnly_ ? QAbstractScrollArea::focusNextPrevChild(next) : false;
}

void NcEditor::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    const bool sel = hasSelection();
    menu.addAction(qtText("&Undo"), this, &NcEditor::undo)->setEnabled(!readOnly_ && store_.canUndo());
    menu.addAction(qtText("&Redo"), this, &NcEditor::redo)->setEnabled(!readOnly_ && store_.canRedo());
    menu.addSeparator();
    menu.addAction(qtText("Cu&t"), this, &NcEditor::cut)->setEnabled(!readOnly_ && sel);
    menu.addAction(qtText("&Copy"), this, &NcEditor::copy)->setEnabled(sel);
    menu.addAction(qtText("&Paste"), this, &NcEditor::paste)->setEnabled(!readOnly_);
    menu.addAction(qtText("Delete"), this, [this] { deleteForward(false); })->setEnabled(!readOnly_ && sel);
    menu.addSeparator();
    menu.addAction(qtText("Select All"), this, &NcEditor::selectAll);
    menu.exec(e->globalPos());
}

void NcEditor::inputMethodEvent(QInputMethodEvent* e)
{
    if (readOnly_) {
        e->ignore();
        return;
    }
    preedit_ = e->preeditString();
    if (!e->commitString().isEmpty())
        insertPlainText(e->commitString());
    viewport()->update();
    e->accept();
}

QVariant NcEditor::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return caretRect();
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return caret_.column;
    case Qt::ImAnchorPosition:
        return anchor_.line == caret_.line ? anchor_.column : caret_.column;
    case Qt::ImSurroundingText:
        return store_.line(caret_.line).toString();
    case Qt::ImCurrentSelection:
        return selectedText();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void NcEditor::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    const QPalette& pal = palette();
    const int lh = lineHeight();
    const int ascent = fontMetrics().ascent();
    const int dx = horizontalScrollBar()->value();
    const int first = firstVisibleLine();
    const int last = std::min(store_.lineCount() - 1, first + viewport()->height() / lh + 1);
    const NcPos selFrom = std::min(caret_, anchor_), selTo = std::max(caret_, anchor_);
    const int space = fontMetrics().horizontalAdvance(u' ');
    for (int line = first; line <= last; ++line) {
        const int top = kTopMargin + (line - first) * lh;
        const QString text = shown(store_.line(line));
        p.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        p.drawText(kLeftMargin - dx, top + ascent, text);
        if (selFrom != selTo && line >= selFrom.line && line <= selTo.line) {
            const int c0 = line == selFrom.line ? selFrom.column : 0;
            const int c1 = line == selTo.line ? selTo.column : int(text.size());
            const int x0 = xOf(line, c0) - dx;
            const int x1 = xOf(line, c1) - dx + (line < selTo.line ? space : 0);
            const QRect band(x0, top, x1 - x0, lh);
            p.save();
            p.setClipRect(band);
            p.fillRect(band, pal.brush(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
            p.drawText(kLeftMargin - dx, top + ascent, text);
            p.restore();
        }
        if (line == caret_.line && hasFocus()) {
            const int x = xOf(line, caret_.column) - dx;
            if (!preedit_.isEmpty()) {
                QFont under = font();
                under.setUnderline(true);
                p.save();
                p.setFont(under);
                p.fillRect(QRect(x, top, fontMetrics().horizontalAdvance(preedit_), lh), pal.brush(QPalette::Base));
                p.drawText(x, top + ascent, preedit_);
                p.restore();
            }
            p.fillRect(QRect(x, top, readOnly_ ? 1 : 2, lh), pal.brush(QPalette::Text));
        }
    }
}

void NcEditor::print(QPrinter* printer) const
{
    QPainter p;
    if (!p.begin(printer))
        return;
    const QFont pageFont(font(), printer);
    p.setFont(pageFont);
    const QFontMetricsF fm(pageFont, printer);
    const double width = printer->width();
    const double height = printer->height();
    const double lh = fm.lineSpacing();
    double y = 0;
    const auto put = [&](const QString& piece) {
        if (y + lh > height && y > 0) {
            printer->newPage();
            y = 0;
        }
        p.drawText(QPointF(0, y + fm.ascent()), piece);
        y += lh;
    };
    for (int line = 0; line < store_.lineCount(); ++line) {
        const QString l = shown(store_.line(line));
        if (fm.horizontalAdvance(l) <= width) {
            put(l);
            continue;
        }
        // A line wider than the page goes on over the next ones rather than being cut off.
        qsizetype start = 0;
        double used = 0;
        for (qsizetype c = 0; c < l.size(); ++c) {
            const double advance = fm.horizontalAdvance(l[c]);
            if (used + advance > width && c > start) {
                put(l.sliced(start, c - start));
                start = c;
                used = 0;
            }
            used += advance;
        }
        put(l.sliced(start));
    }
}

}  // namespace vantor
