// SPDX-License-Identifier: GPL-3.0-or-later
// Copy, cut and paste of cells and whole lines, and whole lines as ladder text.
#include "rungpad/compiler/ladderedit.h"

#include "rungpad/compiler/editsupport.h"
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace rungpad {

using namespace editsupport;

// Clipboard ------------------------------------------------------------------------------

std::optional<CellClip> copyCells(const LadderProgram& ladder, const CellRange& range)
{
    if (ladder.lineCount() == 0)
        return std::nullopt;
    const int lastLine = ladder.lineCount() - 1;
    const int top = std::clamp(range.top(), 0, lastLine), bottom = std::clamp(range.bottom(), 0, lastLine);
    const int left = std::clamp(range.left(), 0, kColumns - 1), right = std::clamp(range.right(), 0, kColumns - 1);
    for (int l = top; l <= bottom; ++l) {
        const auto block = blockOnLine(ladder.line(l));
        if (!block || block->column + block->width - 1 < left || block->column > right)
            continue;   // the cells left or right of a block are plain elements
        const auto span = blockExtent(ladder, l);
        if (left > block->column || right < block->column + block->width - 1 || span->first < top
            || span->last > bottom)
            return std::nullopt;
    }
    CellClip clip;
    clip.lines = bottom - top + 1;
    clip.columns = right - left + 1;
    clip.cells.reserve(size_t(clip.lines * clip.columns));
    for (int l = top; l <= bottom; ++l) {
        for (int c = left; c <= right; ++c) {
            LadderCell cell = ladder.cell(l, c);
            cell.selected = 0;
            clip.cells.push_back(cell);
        }
        if (clip.wholeLines())
            clip.notes.push_back(ladder.note(l));
    }
    return clip;
}

EditResult cutCells(LadderProgram& ladder, const EditCursor& at, CellClip* clip, int language)
{
    const auto copied = copyCells(ladder, at.selection);
    if (!copied)
        return refusal(at, editMessage(EditMessage::OperationError, language));
    if (clip)
        *clip = *copied;
    if (copied->wholeLines())
        return deleteSelectedLines(ladder, at);
    EditResult r = unchanged(at);
    const CellRange& s = at.selection;
    for (int l = s.top(); l <= std::min(s.bottom(), ladder.lineCount() - 1); ++l) {
        for (int c = s.left(); c <= s.right(); ++c) {
            LadderCell cell = ladder.cell(l, c);
            const LadderCell old = cell;
            cell.clear();
            if (!(cell == old))
                r.change.setCell(ladder, l, c, cell);
        }
    }
    r.changed = !r.change.isEmpty();
    return r;
}

EditResult pasteCells(LadderProgram& ladder, const EditCursor& at, const CellClip& clip, int language)
{
    const QString refused = editMessage(EditMessage::OperationError, language);
    if (clip.isEmpty() || !validPos(ladder, at.cursor))
        return refusal(at, refused);
    EditResult r = unchanged(at);
    if (clip.wholeLines()) {
        const int line = insertionLine(ladder, at.cursor.line);
        std::vector<LadderRow> rows(size_t(clip.lines));
        for (int l = 0; l < clip.lines; ++l)
            for (int c = 0; c < kColumns; ++c)
                rows[size_t(l)][c] = clip.at(l, c);
        std::vector<QString> notes = clip.notes;
        if (r.change.insertRows(ladder, line, std::move(rows), std::move(notes)) != InsertResult::Inserted)
            return refusal(at, editMessage(EditMessage::BeyondMaxLine, language));
        r.cursor = {CellPos{line, at.cursor.column}, {{line, 0}, {line + clip.lines - 1, kColumns - 1}}};
        r.changed = true;
        return r;
    }
    const CellPos p = at.cursor;
    if (p.column + clip.columns > kColumns)
        return refusal(at, refused);
    for (int l = 0; l < clip.lines; ++l) {
        for (int c = 0; c < clip.columns; ++c) {
            const quint16 code = clip.at(l, c).code;
            if (isFunctionBlockCode(code) || (isCoil(code) && p.column + c != kOutputColumn))
                return refusal(at, refused);
        }
        if (p.line + l < ladder.lineCount() && blockOnLine(ladder.line(p.line + l)))
            return refusal(at, refused);
    }
    // The rectangle may reach past the end; as with placing, an empty line follows it.
    const int needed = p.line + clip.lines + 1 - ladder.lineCount();
    if (needed > 0
        && r.change.insertRows(ladder, ladder.lineCount(), std::vector<LadderRow>(size_t(needed)))
               != InsertResult::Inserted)
        return refusal(at, editMessage(EditMessage::BeyondMaxLine, language));
    for (int l = 0; l < clip.lines; ++l)
        for (int c = 0; c < clip.columns; ++c)
            if (!(ladder.cell(p.line + l, p.column + c) == clip.at(l, c)))
                r.change.setCell(ladder, p.line + l, p.column + c, clip.at(l, c));
    r.cursor = {p, {p, {p.line + clip.lines - 1, p.column + clip.columns - 1}}};
    r.changed = !r.change.isEmpty();
    return r;
}

QString clipToText(const CellClip& clip)
{
    if (!clip.wholeLines() || clip.isEmpty())
        return {};
    LadderProgram lines;
    for (int l = 0; l < clip.lines; ++l) {
        LadderRow row;
        for (int c = 0; c < kColumns; ++c)
            row[c] = clip.at(l, c);
        lines.appendLoadedLine(row);
        if (size_t(l) < clip.notes.size())
            lines.setNote(l, clip.notes[size_t(l)]);
    }
    return writeLadderText(lines);
}

std::optional<CellClip> clipFromText(const QString& text)
{
    const auto lines = readLadderText(text);
    if (!lines || lines->lineCount() == 0)
        return std::nullopt;
    // The text form takes any word as a contact; a rung has only stored addresses in its
    // contacts and coils, so prose pasted by mistake is refused here.
    for (int l = 0; l < lines->lineCount(); ++l)
        for (const LadderCell& cell : lines->line(l).cells)
            if ((isContact(cell.code) || isCoil(cell.code)) && cell.hasText()) {
                const auto a = parseElementAddress(cell.text());
                if (!a || formatAddress(*a) != cell.text())
                    return std::nullopt;
            }
    CellClip clip;
    clip.lines = lines->lineCount();
    clip.columns = kColumns;
    for (int l = 0; l < clip.lines; ++l) {
        for (int c = 0; c < kColumns; ++c)
            clip.cells.push_back(lines->cell(l, c));
        clip.notes.push_back(lines->note(l));
    }
    return clip;
}

}  // namespace rungpad
