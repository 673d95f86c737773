// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/editchange.h"

namespace rungpad {

void LadderChange::writeCell(LadderProgram& ladder, int line, int column, const LadderCell& value)
{
    LadderRow* row = ladder.mutableLine(line);
    if (!row)
        return;
    // The selection mark belongs to the view's current selection, not to the edit.
    const quint8 selected = (*row)[column].selected;
    (*row)[column] = value;
    (*row)[column].selected = selected;
}

void LadderChange::setCell(LadderProgram& ladder, int line, int column, const LadderCell& value)
{
    if (line < 0 || line >= ladder.lineCount() || column < 0 || column >= kColumns)
        return;
    const LadderCell before = ladder.cell(line, column);
    m_steps.push_back({Kind::Cell, std::uint32_t(m_cells.size())});
    m_cells.push_back({line, column, before, value});
    writeCell(ladder, line, column, value);
}

InsertResult LadderChange::insertRows(LadderProgram& ladder, int at, std::vector<LadderRow> rows,
                                      std::vector<QString> notes)
{
    if (rows.empty())
        return InsertResult::Inserted;
    const InsertResult r = ladder.insertLines(at, int(rows.size()));
    if (r != InsertResult::Inserted)
        return r;
    notes.resize(rows.size());
    LinesStep s{at, std::move(rows), std::move(notes)};
    for (size_t i = 0; i < s.rows.size(); ++i) {
        for (auto& cell : s.rows[i].cells)
            cell.selected = 0;
        *ladder.mutableLine(at + int(i)) = s.rows[i];
        if (!s.notes[i].isEmpty())
            ladder.setNote(at + int(i), s.notes[i]);
    }
    m_steps.push_back({Kind::Insert, std::uint32_t(m_lines.size())});
    m_lines.push_back(std::move(s));
    return r;
}

void LadderChange::deleteRows(LadderProgram& ladder, int at, int count)
{
    if (at < 0 || at >= ladder.lineCount() || count <= 0)
        return;
    count = std::min(count, ladder.lineCount() - at);
    LinesStep s{at, {}, {}};
    s.rows.reserve(size_t(count));
    s.notes.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        s.rows.push_back(ladder.line(at + i));
        s.notes.push_back(ladder.note(at + i));
    }
    ladder.deleteLines(at, count);
    m_steps.push_back({Kind::Delete, std::uint32_t(m_lines.size())});
    m_lines.push_back(std::move(s));
}

void LadderChange::setNote(LadderProgram& ladder, int line, const QString& text)
{
    if (line < 0 || line >= kMaxLines)
        return;
    m_steps.push_back({Kind::Note, std::uint32_t(m_notes.size())});
    m_notes.push_back({line, ladder.note(line), text});
    ladder.setNote(line, text);
}

void LadderChange::insertLines(LadderProgram& ladder, const LinesStep& s) const
{
    ladder.restoreLines(s.at, s.rows);
    for (size_t i = 0; i < s.notes.size(); ++i)
        if (!s.notes[i].isEmpty())
            ladder.setNote(s.at + int(i), s.notes[i]);
}

void LadderChange::removeLines(LadderProgram& ladder, const LinesStep& s)
{
    ladder.deleteLines(s.at, int(s.rows.size()));
}

void LadderChange::undo(LadderProgram& ladder) const
{
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
        switch (it->kind) {
        case Kind::Cell: {
            const CellStep& s = m_cells[it->index];
            writeCell(ladder, s.line, s.column, s.before);
            break;
        }
        case Kind::Insert: removeLines(ladder, m_lines[it->index]); break;
        case Kind::Delete: insertLines(ladder, m_lines[it->index]); break;
        case Kind::Note: {
            const NoteStep& s = m_notes[it->index];
            ladder.setNote(s.line, s.before);
            break;
        }
        }
    }
}

void LadderChange::redo(LadderProgram& ladder) const
{
    for (const Step& step : m_steps) {
        switch (step.kind) {
        case Kind::Cell: {
            const CellStep& s = m_cells[step.index];
            writeCell(ladder, s.line, s.column, s.after);
            break;
        }
        case Kind::Insert: insertLines(ladder, m_lines[step.index]); break;
        case Kind::Delete: removeLines(ladder, m_lines[step.index]); break;
        case Kind::Note: {
            const NoteStep& s = m_notes[step.index];
            ladder.setNote(s.line, s.after);
            break;
        }
        }
    }
}

void LadderChange::rollback(LadderProgram& ladder)
{
    undo(ladder);
    m_steps.clear();
    m_cells.clear();
    m_lines.clear();
    m_notes.clear();
}

void LadderChange::compact()
{
    m_steps.shrink_to_fit();
    m_cells.shrink_to_fit();
    m_lines.shrink_to_fit();
    m_notes.shrink_to_fit();
}

size_t LadderChange::memoryBytes() const
{
    size_t bytes = m_steps.capacity() * sizeof(Step) + m_cells.capacity() * sizeof(CellStep)
                 + m_lines.capacity() * sizeof(LinesStep) + m_notes.capacity() * sizeof(NoteStep);
    for (const LinesStep& s : m_lines) {
        bytes += s.rows.capacity() * sizeof(LadderRow) + s.notes.capacity() * sizeof(QString);
        for (const QString& n : s.notes)
            bytes += size_t(n.capacity()) * sizeof(QChar);
    }
    for (const NoteStep& s : m_notes)
        bytes += size_t(s.before.capacity() + s.after.capacity()) * sizeof(QChar);
    return bytes;
}

}  // namespace rungpad
