// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/edit/laddereditor.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/model/address.h"

#include <cctype>

namespace rungpad {

namespace {
// Undo stack texts (shown by an undo view or an "Undo ..." menu entry).
QString stepText(const char* en, const char* zh, int language)
{
    return QString::fromUtf8(language == 0 ? zh : en);
}
}  // namespace

LadderEditor::LadderEditor(LadderDocument& document, LadderCompiler& compiler, QUndoStack& stack, int language)
    : m_session{document, EditCursor{}}, m_compiler(compiler), m_stack(stack), m_language(language)
{
    // Qt ignores the limit once a command is on the stack.
    if (m_stack.count() == 0)
        m_stack.setUndoLimit(kUndoSteps);
    m_compiler.setLadder(&document.editLadder);
    QObject::connect(&m_stack, &QUndoStack::cleanChanged, &m_stack,
                     [&document](bool clean) { document.setModified(!clean); });
}

template <class Command>
EditResult& LadderEditor::commit(EditResult& result, const QString& text)
{
    if (result.changed) {
        const EditCursor before = m_session.cursor;
        m_stack.push(new Command(m_session, std::move(result.change), before, result.cursor, text));
        result.change = LadderChange();
    } else {
        m_session.cursor = result.cursor;
    }
    return result;
}

bool LadderEditor::canPlace(quint16 kind) const
{
    return placementAllowed(m_session.document.editLadder, m_session.cursor.cursor, kind);
}

EditResult LadderEditor::place(quint16 kind, QByteArrayView text)
{
    const LadderProgram& ladder = m_session.document.editLadder;
    const CellPos p = m_session.cursor.cursor;
    const bool removesBlock = kind == kEmpty && p.line < ladder.lineCount()
        && isFunctionBlockCode(ladder.cell(p.line, p.column).code);
    EditResult r = placeElement(context(), p, kind, text);
    if (removesBlock)
        return commit<BlockDeleted>(r, stepText("Delete block", "删除功能指令", m_language));
    return commit<CellChange>(r, stepText("Place element", "放置元件", m_language));
}

EditResult LadderEditor::setVerticalLink()
{
    EditResult r = rungpad::setVerticalLink(m_session.document.editLadder, m_session.cursor.cursor);
    return commit<CellChange>(r, stepText("Vertical wire", "竖直导通线", m_language));
}

EditResult LadderEditor::clearVerticalLink()
{
    EditResult r = rungpad::clearVerticalLink(m_session.document.editLadder, m_session.cursor.cursor);
    return commit<CellChange>(r, stepText("Delete vertical wire", "删除竖直线", m_language));
}

QString LadderEditor::cursorPrompt() const
{
    return cellPrompt(m_session.document.editLadder, m_session.cursor.cursor, m_language);
}

EditResult LadderEditor::editCell(QByteArrayView text)
{
    const CellPos p = m_session.cursor.cursor;
    const quint16 code = m_session.document.editLadder.cell(p.line, p.column).code;
    const bool capacity = kindOf(code) == fn::COD && blockLineOf(code) == 0 && blockColumnOf(code) == 2;
    EditResult r = editCellText(context(), p, text);
    if (capacity)
        return commit<CodCapacity>(r, stepText("Table capacity", "转换表容量", m_language));
    return commit<CellChange>(r, stepText("Edit cell", "编辑元件", m_language));
}

EditResult LadderEditor::insertBlock(quint16 code)
{
    EditResult r = rungpad::insertBlock(m_session.document.editLadder, m_session.cursor, code, m_language);
    return commit<BlockInserted>(r, stepText("Insert block", "插入功能指令", m_language));
}

EditResult LadderEditor::insertBlockByName(QByteArrayView name)
{
    EditResult r = rungpad::insertBlockByName(m_session.document.editLadder, m_session.cursor, name, m_language);
    return commit<BlockInserted>(r, stepText("Insert block", "插入功能指令", m_language));
}

EditResult LadderEditor::insertLines(int count)
{
    EditResult r = insertEmptyLines(m_session.document.editLadder, m_session.cursor, count, m_language);
    return commit<LinesInserted>(r, stepText("Insert lines", "插入行", m_language));
}

EditResult LadderEditor::deleteLines()
{
    EditResult r = deleteSelectedLines(m_session.document.editLadder, m_session.cursor);
    return commit<LinesDeleted>(r, stepText("Delete lines", "删除行", m_language));
}

EditResult LadderEditor::copy()
{
    EditResult r;
    r.cursor = m_session.cursor;
    if (auto clip = copyCells(m_session.document.editLadder, m_session.cursor.selection)) {
        m_clip = std::move(*clip);
    } else {
        r.refused = true;
        r.messageBox = editMessage(EditMessage::OperationError, m_language);
    }
    return r;
}

EditResult LadderEditor::cut()
{
    CellClip clip;
    EditResult r = cutCells(m_session.document.editLadder, m_session.cursor, &clip, m_language);
    if (!r.refused)
        m_clip = std::move(clip);
    if (m_clip.wholeLines())
        return commit<LinesDeleted>(r, stepText("Cut", "剪切", m_language));
    return commit<CellChange>(r, stepText("Cut", "剪切", m_language));
}

EditResult LadderEditor::paste()
{
    return pasteClip(m_clip);
}

EditResult LadderEditor::pasteClip(const CellClip& clip)
{
    EditResult r = pasteCells(m_session.document.editLadder, m_session.cursor, clip, m_language);
    return commit<Paste>(r, stepText("Paste", "粘贴", m_language));
}

EditResult LadderEditor::pasteText(const QString& text)
{
    const auto clip = clipFromText(text);
    if (!clip) {
        EditResult r;
        r.cursor = m_session.cursor;
        r.refused = true;
        r.messageBox = editMessage(EditMessage::OperationError, m_language);
        return r;
    }
    EditResult r = pasteCells(m_session.document.editLadder, m_session.cursor, *clip, m_language);
    return commit<Paste>(r, stepText("Paste", "粘贴", m_language));
}

EditResult LadderEditor::find(QByteArrayView text, bool down)
{
    EditResult r = findNext(m_session.document.editLadder, m_session.cursor, text, down, m_language);
    m_session.cursor = r.cursor;
    return r;
}

EditResult LadderEditor::replace(QByteArrayView find, QByteArrayView replacement, bool down)
{
    EditResult r = replaceNext(context(), m_session.cursor, find, replacement, down);
    return commit<CellChange>(r, stepText("Replace", "替换", m_language));
}

EditResult LadderEditor::replaceAll(QByteArrayView find, QByteArrayView replacement)
{
    EditResult r = rungpad::replaceAll(context(), m_session.cursor, find, replacement);
    return commit<ReplaceAll>(r, stepText("Replace all", "全部替换", m_language));
}

EditResult LadderEditor::setLineNote(int line, const QString& text)
{
    EditResult r = rungpad::setLineNote(m_session.document.editLadder, m_session.cursor, line, text);
    return commit<LineNote>(r, stepText("Line note", "行注释", m_language));
}

QByteArray LadderEditor::cursorAddress() const
{
    const CellPos p = m_session.cursor.cursor;
    const LadderProgram& ladder = m_session.document.editLadder;
    if (p.line < 0 || p.line >= ladder.lineCount())
        return {};
    const LadderCell& cell = ladder.cell(p.line, p.column);
    const QByteArray text = cell.text();
    if (text.isEmpty())
        return {};
    if (isContact(cell.code) || isCoil(cell.code))
        return text;
    // A block parameter naming an address (D0010, R100.3), not a number or a table value.
    if (isFunctionBlockCode(cell.code) && !isCodt(cell.code) && blockLineOf(cell.code) == 0
        && blockColumnOf(cell.code) > 0 && std::isalpha(static_cast<unsigned char>(text[0])))
        return text;
    return {};
}

bool LadderEditor::setComment(QByteArrayView address, const QString& text)
{
    const QByteArray key(address.data(), address.size());
    CommentTables& tables = m_session.document.comments;
    if (!commentKeyOfText(key))
        return false;
    const QString before = tables.commentOf(key);
    if (before == text)
        return true;
    m_stack.push(new CommentChange(m_session, key, before, text, m_session.cursor,
                                   stepText("Modify notation", "修改注释", m_language)));
    return true;
}

std::vector<CrossReference> LadderEditor::crossReferences(QByteArrayView address) const
{
    return rungpad::crossReferences(m_session.document.editLadder, address);
}

}  // namespace rungpad
