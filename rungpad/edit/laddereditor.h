// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editing side of the ladder view without a widget: the view keeps one LadderEditor per
// document, forwards its menu commands and keys to it, shows what comes back and repaints.
//
//   LadderEditor editor(document, compiler, undoStack, language);
//   editor.setCursor(EditCursor::at({line, column}));       // clicks, arrows, drags
//   if (editor.canPlace(kContactNO)) { ask the element dialog; editor.place(kContactNO, text); }
//   EditResult r = editor.deleteNode();                      // Del
//   for (const QString& l : r.output) outputWindow(l);       // "Checking...", "Accept!", errors
//   if (!r.messageBox.isEmpty()) prompter.message(r.messageBox);
//   repaint at editor.cursor()
//
// Every changing command pushes exactly one command on the undo stack (rungpad/edit/
// undocommands.h); undo and redo move the cursor and selection back with the ladder. The
// stack's clean state drives the document's modified mark; any undo or redo ends the
// converted state. Call setUndoLimit on the stack before the first edit (the constructor
// does it while the stack is still empty).
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/edit/undocommands.h"
#include "rungpad/model/ladderdocument.h"

#include <QUndoStack>

namespace rungpad {

inline constexpr int kUndoSteps = 50;

class LadderEditor {
public:
    LadderEditor(LadderDocument& document, LadderCompiler& compiler, QUndoStack& stack, int language = 0);
    LadderEditor(const LadderEditor&) = delete;
    LadderEditor& operator=(const LadderEditor&) = delete;

    void setLanguage(int language) { m_language = language; }
    int language() const { return m_language; }
    const EditCursor& cursor() const { return m_session.cursor; }
    void setCursor(const EditCursor& cursor) { m_session.cursor = cursor; }
    LadderDocument& document() { return m_session.document; }
    QUndoStack& undoStack() { return m_stack; }

    // Placing (Ctrl+Q/W/E/R/G, Del, Ctrl+D, Ctrl+Shift+D).
    bool canPlace(quint16 kind) const;
    EditResult place(quint16 kind, QByteArrayView text = {});
    EditResult deleteNode() { return place(kEmpty); }
    EditResult setVerticalLink();
    EditResult clearVerticalLink();

    // Re-edit the cursor cell (double-click, Enter, F2): prompt for the dialog, then text.
    QString cursorPrompt() const;
    EditResult editCell(QByteArrayView text);

    // Blocks and lines (Ctrl+A, context menu, Insert, Ctrl+Del).
    EditResult insertBlock(quint16 code);
    EditResult insertBlockByName(QByteArrayView name);
    EditResult insertLines(int count);
    EditResult deleteLines();

    // Clipboard (Ctrl+C/X/V). copiedText() is what goes to the system clipboard (whole
    // lines only); pasteText() pastes such text as lines.
    EditResult copy();
    EditResult cut();
    EditResult paste();
    EditResult pasteText(const QString& text);
    // A clip copied anywhere (another document's last copy).
    EditResult pasteClip(const CellClip& clip);
    const CellClip& clip() const { return m_clip; }
    QString copiedText() const { return clipToText(m_clip); }

    // Find (Ctrl+F, F3, Shift+F3) and replace (Ctrl+H).
    EditResult find(QByteArrayView text, bool down);
    EditResult replace(QByteArrayView find, QByteArrayView replacement, bool down);
    EditResult replaceAll(QByteArrayView find, QByteArrayView replacement);

    // Line note (double-click right of the rail), modify notation (Ctrl+T).
    EditResult setLineNote(int line, const QString& text);
    // The address of the cursor cell (contact, coil or address parameter), empty otherwise.
    QByteArray cursorAddress() const;
    bool setComment(QByteArrayView address, const QString& text);

    std::vector<CrossReference> crossReferences(QByteArrayView address) const;

private:
    EditContext context() { return {m_session.document.editLadder, m_compiler, m_language}; }
    // Pushes the change as one step of the given kind; otherwise only moves the cursor.
    template <class Command>
    EditResult& commit(EditResult& result, const QString& text);

    EditSession m_session;
    LadderCompiler& m_compiler;
    QUndoStack& m_stack;
    int m_language;
    CellClip m_clip;
};

}  // namespace rungpad
