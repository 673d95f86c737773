// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's editing commands: each asks what it must (through the dialogs interface),
// makes one call on the active document's LadderEditor and shows what came back. The rules
// themselves live in rungpad/compiler/ladderedit and rungpad/edit.
#include "rungpad/compiler/instructions.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"

#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

namespace rungpad::ui {

namespace {

// The ladder commands act on the view with the focus only: in a dock, a dialog field or
// the line note editor, Del, Insert and the Ctrl letters keep their usual meaning.
constexpr CMainFrame::Command kViewCommands[] = {
    CMainFrame::Undo, CMainFrame::Redo, CMainFrame::Cut, CMainFrame::Copy, CMainFrame::Paste,
    CMainFrame::PlaceContactNO, CMainFrame::PlaceContactNC, CMainFrame::PlaceCoil, CMainFrame::PlaceCoilNot,
    CMainFrame::PlaceWire, CMainFrame::VerticalLink, CMainFrame::DeleteNode, CMainFrame::DeleteVerticalLink,
    CMainFrame::FunctionInstruction, CMainFrame::InsertLines, CMainFrame::DeleteLines, CMainFrame::ModifyNotation,
    CMainFrame::EditCell, CMainFrame::Find, CMainFrame::Replace, CMainFrame::FindNext, CMainFrame::FindPrevious,
    CMainFrame::GoToLine,
};

quint16 elementKind(CMainFrame::Command c)
{
    switch (c) {
    case CMainFrame::PlaceContactNO: return kContactNO;
    case CMainFrame::PlaceContactNC: return kContactNC;
    case CMainFrame::PlaceCoil: return kCoil;
    case CMainFrame::PlaceCoilNot: return kCoilNot;
    case CMainFrame::PlaceWire: return kHorizontalWire;
    default: return kEmpty;
    }
}

UiText useText(ReferenceUse use)
{
    switch (use) {
    case ReferenceUse::Contact: return UiText::UseContact;
    case ReferenceUse::ContactNC: return UiText::UseContactNC;
    case ReferenceUse::Coil: return UiText::UseCoil;
    case ReferenceUse::CoilNot: return UiText::UseCoilNot;
    case ReferenceUse::Parameter: break;
    }
    return UiText::UseParameter;
}

}  // namespace

void CMainFrame::createEditActions()
{
    for (Command c : kViewCommands)
        action(c)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action(Redo)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    action(ViewCrossReference)->setCheckable(true);
    QStyle* s = style();
    action(Undo)->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo")));
    action(Redo)->setIcon(QIcon::fromTheme(QStringLiteral("edit-redo")));
    action(Find)->setIcon(QIcon::fromTheme(QStringLiteral("edit-find"), s->standardIcon(QStyle::SP_FileDialogContentsView)));
}

void CMainFrame::createContextMenu()
{
    m_contextMenu = new QMenu(this);
    m_contextMenu->addAction(action(ModifyNotation));
    m_basicMenu = m_contextMenu->addMenu(QString());
    for (Command c : {PlaceContactNO, PlaceContactNC, PlaceCoil, PlaceCoilNot, PlaceWire, VerticalLink, DeleteNode,
                      DeleteVerticalLink})
        m_basicMenu->addAction(action(c));
    m_functionMenu = m_contextMenu->addMenu(QString());
    // The 38 instructions a user inserts; CODT lines come only with a COD table capacity.
    for (const rungpad::FunctionInstruction& f : kFunctionInstructions) {
        if (f.code == fn::CODT)
            continue;
        const quint16 code = f.code;
        QAction* a = m_functionMenu->addAction(QString::fromLatin1(f.name));
        connect(a, &QAction::triggered, this, [this, code] {
            if (CRungpadView* view = activeView())
                insertBlock(view, code);
        });
    }
}

void CMainFrame::connectEditing(CRungpadView* view)
{
    for (Command c : kViewCommands)
        view->addAction(action(c));
    connect(view, &CRungpadView::cellDoubleClicked, this, [this, view] { editCursorCell(view, {}); });
    connect(view, &CRungpadView::editCellRequested, this, [this, view](const QString& typed) { editCursorCell(view, typed); });
    connect(view, &CRungpadView::contextMenuRequested, this, [this](const QPoint& pos) { m_contextMenu->popup(pos); });
    connect(view, &CRungpadView::lineNoteEdited, this, [this, view](int line, const QString& note) {
        showEditResult(view, view->document()->editor().setLineNote(line, note));
    });
    // Undo and redo are offered only when there is a step to take.
    QUndoStack* stack = view->document()->undoStack();
    connect(stack, &QUndoStack::canUndoChanged, this, [this, view](bool can) {
        if (view == activeView())
            action(Undo)->setEnabled(can);
    });
    connect(stack, &QUndoStack::canRedoChanged, this, [this, view](bool can) {
        if (view == activeView())
            action(Redo)->setEnabled(can);
    });
    connect(view->document(), &CRungpadDoc::edited, this, [this, view] {
        if (view == activeView()) {
            refreshInstructionList();
            m_xrefAddress.clear();
            updateCursorInfo();
            scheduleCrossReference();
        }
    });
}

void CMainFrame::runEditCommand(Command command)
{
    CRungpadView* view = activeView();
    if (!view || view->simulation())   // a running ladder is not edited
        return;
    LadderEditor& editor = view->document()->editor();
    editor.setCursor(view->editCursor());
    switch (command) {
    case Undo: view->document()->undoStack()->undo(); break;
    case Redo: view->document()->undoStack()->redo(); break;
    case Cut: copyCells(view, true); break;
    case Copy: copyCells(view, false); break;
    case Paste: pasteCells(view); break;
    case PlaceContactNO:
    case PlaceContactNC:
    case PlaceCoil:
    case PlaceCoilNot:
    case PlaceWire: placeElement(view, elementKind(command)); break;
    case DeleteNode: placeElement(view, kEmpty); break;
    case VerticalLink: {
        const EditResult r = editor.setVerticalLink();
        if (r.refused) {
            QApplication::beep();
            reportRefusal(uiText(UiText::VerticalLinkOnBlockLine, m_language));
        }
        showEditResult(view, r);
        break;
    }
    case DeleteVerticalLink: showEditResult(view, editor.clearVerticalLink()); break;
    case FunctionInstruction: insertFunction(view); break;
    case InsertLines: {
        const auto count = m_dialogs->insertLineCount(this, m_language);
        if (count)
            showEditResult(view, editor.insertLines(*count));
        break;
    }
    case DeleteLines: {
        const EditResult r = editor.deleteLines();
        if (r.refused) {
            QApplication::beep();
            reportRefusal(uiText(UiText::LastLineStays, m_language));
        }
        showEditResult(view, r);
        break;
    }
    case ModifyNotation: modifyNotation(view); break;
    case EditCell: editCursorCell(view, {}); break;
    case Find: findOrReplace(view, false); break;
    case Replace: findOrReplace(view, true); break;
    case FindNext: findAgain(view, true); break;
    case FindPrevious: findAgain(view, false); break;
    case GoToLine: goToLine(view); break;
    default: break;
    }
}

void CMainFrame::showEditResult(CRungpadView* view, const EditResult& result)
{
    for (const QString& line : result.output)
        m_output->outputLine(line);
    view->setEditCursor(view->document()->editor().cursor());
    if (!result.messageBox.isEmpty())
        m_prompter->inform(vantor::Severity::Warning, result.messageBox);
}

void CMainFrame::placeElement(CRungpadView* view, quint16 kind, const QString& typed)
{
    LadderEditor& editor = view->document()->editor();
    if (!editor.canPlace(kind)) {
        QApplication::beep();
        const CellPos c = view->cursorCell();
        reportRefusal(placementRefusalText(view->document()->ladder(), {c.line, c.column}, kind, m_language));
        return;
    }
    if (kind == kEmpty || kind == kHorizontalWire) {
        showEditResult(view, editor.place(kind));
        return;
    }
    // A contact or coil already there lends its address: changing the kind keeps it.
    const CellPos c = view->cursorCell();
    const LadderCell& cell = view->document()->ladder().cell(c.line, c.column);
    QString initial = typed;
    if (initial.isEmpty() && (isContact(cell.code) || isCoil(cell.code)))
        initial = QString::fromLatin1(cell.text());
    const auto text = m_dialogs->elementText(this, elementKindName(kind, m_language), initial, true, m_language);
    if (!text)
        return;
    showEditResult(view, editor.place(kind, text->toLatin1()));
}

void CMainFrame::editCursorCell(CRungpadView* view, const QString& typed)
{
    LadderEditor& editor = view->document()->editor();
    editor.setCursor(view->editCursor());
    const CellPos c = view->cursorCell();
    const LadderCell& cell = view->document()->ladder().cell(c.line, c.column);
    if (cell.code == kEmpty || cell.code == kHorizontalWire) {
        // Enter or a letter on an empty cell or a wire starts a normally-open contact there.
        placeElement(view, kContactNO, typed);
        return;
    }
    const QString prompt = editor.cursorPrompt();
    if (prompt.isEmpty()) {
        QApplication::beep();
        reportRefusal(editMessage(EditMessage::CellNotEditable, m_language));
        return;
    }
    const bool address = isContact(cell.code) || isCoil(cell.code);
    const QString initial = typed.isEmpty() ? QString::fromLatin1(cell.text()) : typed;
    const auto text = m_dialogs->elementText(this, prompt, initial, address, m_language);
    if (!text)
        return;
    showEditResult(view, editor.editCell(text->toLatin1()));
}

void CMainFrame::insertFunction(CRungpadView* view)
{
    const auto name = m_dialogs->functionName(this, m_language);
    if (!name)
        return;
    showEditResult(view, view->document()->editor().insertBlockByName(name->trimmed().toUpper().toLatin1()));
}

void CMainFrame::insertBlock(CRungpadView* view, quint16 code)
{
    LadderEditor& editor = view->document()->editor();
    editor.setCursor(view->editCursor());
    showEditResult(view, editor.insertBlock(code));
}

void CMainFrame::copyCells(CRungpadView* view, bool cut)
{
    LadderEditor& editor = view->document()->editor();
    const EditResult r = cut ? editor.cut() : editor.copy();
    if (!r.refused)
        m_clipboard.copied(editor.clip());
    showEditResult(view, r);
}

void CMainFrame::pasteCells(CRungpadView* view)
{
    LadderEditor& editor = view->document()->editor();
    if (const auto clip = m_clipboard.pasteSource()) {
        showEditResult(view, editor.pasteClip(*clip));
        return;
    }
    EditResult refused;
    refused.refused = true;
    refused.cursor = editor.cursor();
    refused.messageBox = editMessage(EditMessage::OperationError, m_language);
    showEditResult(view, refused);
}

void CMainFrame::modifyNotation(CRungpadView* view)
{
    LadderEditor& editor = view->document()->editor();
    const QByteArray address = editor.cursorAddress();
    if (address.isEmpty()) {
        QApplication::beep();
        reportRefusal(uiText(UiText::NoAddressAtCursor, m_language));
        return;
    }
    const QString current = view->document()->data().comments.commentOf(address);
    const auto text = m_dialogs->notationText(this, QString::fromLatin1(address), current, m_language);
    if (!text)
        return;
    editor.setComment(address, *text);
    updateCursorInfo();
}

void CMainFrame::findOrReplace(CRungpadView* view, bool replace)
{
    LadderEditor& editor = view->document()->editor();
    // One button press at a time; the dialog comes back until the user closes it.
    while (const auto request = m_dialogs->findRequest(this, m_find, replace, m_language)) {
        m_find = *request;
        if (m_find.text.isEmpty())
            continue;
        editor.setCursor(view->editCursor());
        const QByteArray find = m_find.text.toLatin1();
        const QByteArray with = m_find.replacement.toLatin1();
        switch (m_find.action) {
        case FindRequest::FindNext: showEditResult(view, editor.find(find, m_find.down)); break;
        case FindRequest::Replace: showEditResult(view, editor.replace(find, with, m_find.down)); break;
        case FindRequest::ReplaceAll: showEditResult(view, editor.replaceAll(find, with)); break;
        }
    }
}

void CMainFrame::findAgain(CRungpadView* view, bool down)
{
    if (m_find.text.isEmpty()) {
        findOrReplace(view, false);
        return;
    }
    showEditResult(view, view->document()->editor().find(m_find.text.toLatin1(), down));
}

void CMainFrame::goToLine(CRungpadView* view)
{
    const int lines = view->document()->ladder().lineCount();
    const auto line = m_dialogs->lineNumber(this, view->cursorCell().line + 1, lines, m_language);
    if (line)
        view->setCursorCell({std::clamp(*line, 1, std::max(1, lines)) - 1, view->cursorCell().column});
}

void CMainFrame::scheduleCrossReference()
{
    if (m_xrefTimer && !m_xrefDock->isHidden())
        m_xrefTimer->start();
}

void CMainFrame::updateCrossReference()
{
    if (!m_xref)
        return;
    CRungpadView* view = activeView();
    if (!view) {
        m_xref->clear();
        m_xrefAddress.clear();
        m_xrefCells.clear();
        return;
    }
    if (m_xrefDock->isHidden())
        return;
    const QByteArray address = view->document()->editor().cursorAddress();
    // The list stays while the cursor moves among uses of the same address.
    if (view == m_xrefView && address == m_xrefAddress && !address.isEmpty())
        return;
    if (address.isEmpty() && view == m_xrefView && !m_xrefAddress.isEmpty())
        return;
    m_xrefView = view;
    m_xrefAddress = address;
    m_xref->clear();
    m_xrefCells.clear();
    if (address.isEmpty())
        return;
    for (const CrossReference& r : view->document()->editor().crossReferences(address)) {
        m_xref->addItem(text(UiText::CrossReferenceLine)
                            .arg(r.pos.line + 1, 4, 10, QLatin1Char('0'))
                            .arg(r.pos.column + 1)
                            .arg(text(useText(r.use)), QString::fromLatin1(r.text)));
        m_xrefCells.push_back({r.pos.line, r.pos.column});
    }
}

void CMainFrame::gotoCrossReference(int row)
{
    CRungpadView* view = m_xrefView;
    if (!view || row < 0 || row >= int(m_xrefCells.size()))
        return;
    view->setCursorCell(m_xrefCells[size_t(row)]);
    view->setFocus();
}

}  // namespace rungpad::ui
