// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/ladder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rungpad {

QByteArray LadderCell::text() const
{
    return QByteArray(textBytes.data(), int(qstrnlen(textBytes.data(), kCellTextBytes)));
}

void LadderCell::setText(QByteArrayView text)
{
    textBytes.fill('\0');
    const qsizetype n = std::min<qsizetype>(text.size(), kCellTextMax);
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == '\0')
            break;
        textBytes[size_t(i)] = text[i];
    }
}

void LadderCell::clear()
{
    code = kEmpty;
    verticalLink = 0;
    number = -1;
    textBytes.fill('\0');
}

bool LadderCell::operator==(const LadderCell& o) const
{
    return code == o.code && (verticalLink != 0) == (o.verticalLink != 0) && number == o.number
        && text() == o.text() && tableRows == o.tableRows;
}

int LadderRow::blockColumn() const
{
    for (int c = 0; c < kOutputColumn; ++c)
        if (isFunctionBlockCode(cells[size_t(c)].code))
            return c;
    return -1;
}

LadderProgram::LadderProgram() = default;

LadderProgram::LadderProgram(const LadderProgram& other)
    : end1Line(other.end1Line), stepCount(other.stepCount), end1Step(other.end1Step),
      m_notes(other.m_notes), m_noteEnd(other.m_noteEnd), m_deferredNotes(other.m_deferredNotes),
      m_revision(other.m_revision)
{
    m_lines.reserve(other.m_lines.size());
    for (const auto& row : other.m_lines)
        m_lines.push_back(std::make_unique<LadderRow>(*row));
}

LadderProgram& LadderProgram::operator=(const LadderProgram& other)
{
    if (this != &other) {
        LadderProgram copy(other);
        *this = std::move(copy);
    }
    return *this;
}

const LadderRow& LadderProgram::line(int index) const
{
    static const LadderRow kNoLine;
    if (m_lines.empty())
        return kNoLine;
    index = std::clamp(index, 0, lineCount() - 1);
    return *m_lines[size_t(index)];
}

LadderRow* LadderProgram::mutableLine(int index)
{
    if (index < 0 || index >= lineCount())
        return nullptr;
    touch();
    return m_lines[size_t(index)].get();
}

InsertResult LadderProgram::insertChecked(int at, int count, int limitExclusive)
{
    if (at < 0 || at > lineCount() || count < 0)
        return InsertResult::BadPosition;
    if (qint64(lineCount()) + count >= limitExclusive)
        return InsertResult::BeyondMaxLines;
    if (count == 0)
        return InsertResult::Inserted;
    settleNotes();
    std::vector<std::unique_ptr<LadderRow>> fresh;
    fresh.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        fresh.push_back(std::make_unique<LadderRow>());
    m_lines.insert(m_lines.begin() + at, std::make_move_iterator(fresh.begin()),
                   std::make_move_iterator(fresh.end()));
    // Notes move with their lines; those pushed past the last slot are dropped. Only the
    // slots up to the last note that may be set need moving (appending while a file loads
    // moves nothing).
    if (at < m_noteEnd) {
        const int keep = std::min(m_noteEnd, kMaxLines - count);
        if (keep > at)
            std::move_backward(m_notes.begin() + at, m_notes.begin() + keep, m_notes.begin() + keep + count);
        std::fill(m_notes.begin() + at, m_notes.begin() + std::min(at + count, kMaxLines), QString());
        m_noteEnd = std::min(kMaxLines, m_noteEnd + count);
    }
    touch();
    return InsertResult::Inserted;
}

InsertResult LadderProgram::insertLines(int at, int count)
{
    return insertChecked(at, count, kMaxLines);
}

bool LadderProgram::appendLoadedLine(const LadderRow& row)
{
    // A file load appends thousands of lines with no note below them: one allocation each.
    settleNotes();
    if (lineCount() >= m_noteEnd && lineCount() < kMaxLines) {
        if (m_lines.capacity() == m_lines.size())
            m_lines.reserve(std::max<size_t>(64, m_lines.size() * 2));
        m_lines.push_back(std::make_unique<LadderRow>(row));
        touch();
        return true;
    }
    if (insertChecked(lineCount(), 1, kMaxLines + 1) != InsertResult::Inserted)
        return false;
    *m_lines.back() = row;
    return true;
}

InsertResult LadderProgram::restoreLines(int at, const std::vector<LadderRow>& rows)
{
    const InsertResult r = insertChecked(at, int(rows.size()), kMaxLines + 1);
    if (r != InsertResult::Inserted)
        return r;
    for (size_t i = 0; i < rows.size(); ++i) {
        LadderRow& row = *m_lines[size_t(at) + i];
        row = rows[i];
        for (auto& cell : row.cells)
            cell.selected = 0;
    }
    return r;
}

void LadderProgram::deleteLines(int at, int count)
{
    if (at < 0 || at >= lineCount() || count <= 0)
        return;
    count = std::min(count, lineCount() - at);
    settleNotes();
    m_lines.erase(m_lines.begin() + at, m_lines.begin() + at + count);
    if (at < m_noteEnd) {
        const int end = std::max(m_noteEnd, at + count);
        std::move(m_notes.begin() + at + count, m_notes.begin() + end, m_notes.begin() + at);
        std::fill(m_notes.begin() + end - count, m_notes.begin() + end, QString());
        m_noteEnd = std::max(at, m_noteEnd - count);
    }
    touch();
}

void LadderProgram::clear()
{
    m_lines.clear();
    touch();
}

const QString& LadderProgram::note(int line) const
{
    static const QString kNone;
    if (line < 0 || line >= kMaxLines)
        return kNone;
    settleNotes();
    return size_t(line) < m_notes.size() ? m_notes[size_t(line)] : kNone;
}

void LadderProgram::setNote(int line, const QString& text)
{
    if (line < 0 || line >= kMaxLines)
        return;
    settleNotes();
    if (m_notes.empty() && !text.isEmpty())
        m_notes.resize(size_t(kMaxLines));
    if (!m_notes.empty())
        m_notes[size_t(line)] = text;
    if (!text.isEmpty())
        m_noteEnd = std::max(m_noteEnd, line + 1);
    touch();
}

void LadderProgram::setDeferredNotes(DeferredTexts::Fill fill, DeferredTexts::Bytes bytes)
{
    settleNotes();
    m_deferredNotes.set(std::move(fill), std::move(bytes));
    touch();
}

bool LadderProgram::storedNoteBytes(std::vector<QByteArrayView>& entries) const
{
    if (!m_notes.empty() || !m_deferredNotes.pending())
        return false;
    entries.assign(size_t(kMaxLines), QByteArrayView());
    return m_deferredNotes.storedBytes(entries);
}

void LadderProgram::settleNotes() const
{
    if (!m_deferredNotes.pending())
        return;
    if (m_notes.empty())
        m_notes.resize(size_t(kMaxLines));
    m_deferredNotes.settle(m_notes);
    for (int i = kMaxLines; i > m_noteEnd; --i) {
        if (!m_notes[size_t(i - 1)].isEmpty()) {
            m_noteEnd = i;
            break;
        }
    }
}

void LadderProgram::recomputeTableRows()
{
    int runStart = -1;
    for (int i = 0; i < lineCount(); ++i) {
        LadderRow& row = *m_lines[size_t(i)];
        for (auto& cell : row.cells)
            cell.tableRows = 0;
        if (isCodt(row[0].code)) {
            if (runStart < 0)
                runStart = i;
            continue;
        }
        if (runStart >= 0) {
            for (int j = runStart; j < i; ++j)
                for (auto& cell : m_lines[size_t(j)]->cells)
                    cell.tableRows = i - runStart;
            runStart = -1;
        }
    }
}

}  // namespace rungpad
