// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/editsupport.h"

#include "rungpad/compiler/numbertables.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/laddertext.h"

namespace rungpad::editsupport {


std::optional<LineBlock> blockOnLine(const LadderRow& row)
{
    const int d = row.blockColumn();
    if (d < 0)
        return std::nullopt;
    const quint16 code = row[d].code;
    const FunctionInstruction* f = functionInstruction(code);
    if (!f)
        return std::nullopt;
    return LineBlock{d, kindOf(code), blockLineOf(code), f->width, f->height, f->inputs};
}

bool lineIsCodt(const LadderProgram& ladder, int line)
{
    return line >= 0 && line < ladder.lineCount() && isCodt(ladder.line(line)[0].code);
}

bool validPos(const LadderProgram& ladder, CellPos p)
{
    return p.line >= 0 && p.line < ladder.lineCount() && p.column >= 0 && p.column < kColumns;
}

EditResult unchanged(const EditCursor& at)
{
    EditResult r;
    r.cursor = at;
    return r;
}

EditResult refusal(const EditCursor& at, const QString& box)
{
    EditResult r = unchanged(at);
    r.refused = true;
    r.messageBox = box;
    return r;
}

void addLineAfterLast(LadderProgram& ladder, LadderChange& change, int line)
{
    // Beyond the line limit the placement still goes ahead, only without the spare line.
    if (line == ladder.lineCount() - 1)
        change.insertRows(ladder, ladder.lineCount(), {LadderRow{}});
}

namespace {
// Whether another block of the same group already holds the number. The converter's own
// tables only count blocks whose output is complete, the editor must see every block.
bool numberInUse(const LadderProgram& ladder, CellPos pos, int group, int number)
{
    // The parameter codes carry block line 0 and their column, so the codes alone find them.
    // The text is what the converter writes; a file's number field may say otherwise.
    for (int l = 0; l < ladder.lineCount(); ++l) {
        if (l == pos.line)
            continue;
        const LadderRow& row = ladder.line(l);
        for (int c = 1; c < kColumns; ++c) {
            const NumberedBlock* numbered = numberedBlockOfCell(row[c].code);
            if (numbered && numbered->group == group && row[c].hasText() && row[c].text().toInt() == number)
                return true;
        }
    }
    return false;
}

// The parameter that a format change of block column 1 invalidates, or 0.
int formatDependentColumn(quint16 instruction)
{
    switch (kindOf(instruction)) {
    case fn::COMP: case fn::COIN: return 2;
    case fn::ADD: case fn::SUB: case fn::EOR: case fn::ANDF: case fn::ORF: return 3;
    default: return 0;
    }
}
}  // namespace

std::vector<LadderRow> blockRows(const FunctionInstruction& f)
{
    std::vector<LadderRow> rows(size_t(f.height));
    const int start = blockStartColumn(f.width);
    for (int l = 0; l < f.height; ++l) {
        LadderRow& row = rows[size_t(l)];
        for (int c = start; c < start + f.width; ++c)
            row[c].code = blockCellCode(f.code, l, c - start);
        if (l < f.inputs)
            for (int c = 0; c < start; ++c)
                row[c].code = kHorizontalWire;
        if (l == 0) {
            row[start].setText(f.name);
            for (int c = start + f.width; c < kColumns; ++c)
                row[c].code = kHorizontalWire;
        }
    }
    return rows;
}

namespace {
// A move block's destination must hold what it moves; the assembler refuses the block with
// 1023 otherwise, so the field that would break it is refused here with the same answer.
bool moveFieldsFit(const LadderProgram& ladder, int line, int start, quint16 instruction, int column,
                   const QByteArray& text)
{
    const quint16 kind = kindOf(instruction);
    if (kind != fn::MOVN && kind != fn::MOVB && kind != fn::MOVW)
        return true;
    auto field = [&](int c) { return c == column ? text : ladder.cell(line, start + c).text(); };
    if (kind == fn::MOVN)
        return field(3).isEmpty() || moveDestinationFits(kind, field(1), field(2), field(3));
    return field(2).isEmpty() || moveDestinationFits(kind, {}, field(1), field(2));
}

// Writes the COD table lines for capacity n below the COD block starting on codLine,
// carrying the values of the old table over line by line.
bool rebuildCodTable(LadderProgram& ladder, LadderChange& change, int codLine, int capacity)
{
    const int below = codLine + blockShape(fn::COD).height;
    int old = 0;
    while (lineIsCodt(ladder, below + old))
        ++old;
    const int wanted = (capacity + 9) / 10;
    if (ladder.lineCount() - old + wanted >= kMaxLines)
        return false;
    std::vector<LadderRow> rows(static_cast<size_t>(wanted));
    for (int l = 0; l < wanted; ++l) {
        for (int c = 0; c < kColumns; ++c) {
            LadderCell& cell = rows[size_t(l)][c];
            if (l < old) {
                cell = ladder.cell(below + l, c);
                cell.selected = 0;
            }
            cell.code = blockCellCode(fn::CODT, l, c);
            cell.tableRows = wanted;
        }
    }
    change.deleteRows(ladder, below, old);
    return change.insertRows(ladder, below, std::move(rows)) == InsertResult::Inserted;
}
}  // namespace

// Checks `text` for the cell at pos as the cell's kind requires and writes it, with what
// follows from it (the dependent field of a format change, the COD table). On refusal
// nothing is written and the result carries the error line or message.
bool applyCellText(const EditContext& ctx, CellPos pos, QByteArrayView text, LadderChange& change,
                   EditResult& result)
{
    LadderProgram& ladder = ctx.ladder;
    ctx.compiler.setLadder(&ladder);
    const LadderCell cell = ladder.cell(pos.line, pos.column);
    auto failWith = [&](const std::optional<ConvertError>& e) {
        const ConvertError error = e.value_or(ConvertError{err::AddressMalformed, pos.line, 0});
        result.error = error;
        result.output << formatErrorMessage(error, ctx.language);
        ctx.compiler.clearErrors();
        return false;
    };

    if (isContact(cell.code) || isCoil(cell.code)) {
        const auto checked = ctx.compiler.checkElementAddress(text, isCoil(cell.code), pos.line);
        if (!checked)
            return failWith(ctx.compiler.lastError());
        LadderCell next = cell;
        next.setText(*checked);
        next.number = cellNumberOfText(*checked);
        if (!(next == cell))
            change.setCell(ladder, pos.line, pos.column, next);
        return true;
    }

    const bool codt = isCodt(cell.code);
    if (!codt && (!isFunctionBlockCode(cell.code) || blockLineOf(cell.code) != 0 || blockColumnOf(cell.code) == 0)) {
        result.messageBox = editMessage(EditMessage::CellNotEditable, ctx.language);
        return false;
    }
    const quint16 instruction = kindOf(cell.code);
    const int column = blockColumnOf(cell.code);
    const int start = pos.column - column;
    const QByteArray format = !codt && column != 1 && start + 1 < kColumns ? ladder.cell(pos.line, start + 1).text()
                                                                          : QByteArray();
    const auto checked = ctx.compiler.checkParameter(instruction, column, text, pos.line, format);
    if (!checked)
        return failWith(ctx.compiler.lastError());
    if (const NumberedBlock* numbered = numberedBlockOfCell(cell.code);
        numbered && numberInUse(ladder, pos, numbered->group, checked->toInt()))
        return failWith(ConvertError{numbered->duplicateError, pos.line, checked->toInt()});
    if (!codt && !moveFieldsFit(ladder, pos.line, start, instruction, column, *checked))
        return failWith(ConvertError{err::MovnRange, pos.line, 0});
    if (instruction == fn::COD && column == 2) {
        const int capacity = checked->toInt();
        if (!rebuildCodTable(ladder, change, pos.line, capacity)) {
            result.messageBox = editMessage(EditMessage::BeyondMaxLine, ctx.language);
            return false;
        }
    }
    LadderCell next = cell;
    next.setText(*checked);
    next.number = cellNumberOfText(*checked);
    if (!(next == cell))
        change.setCell(ladder, pos.line, pos.column, next);

    if (!codt && column == 1) {
        if (const int dependent = formatDependentColumn(instruction); dependent > 0 && start + dependent < kColumns) {
            const LadderCell& field = ladder.cell(pos.line, start + dependent);
            if (field.hasText() && assemblerOperandIsAddress(field.text()) != editorParameterIsAddress(*checked)) {
                LadderCell cleared = field;
                cleared.setText({});
                cleared.number = -1;
                change.setCell(ladder, pos.line, start + dependent, cleared);
            }
        }
    }
    return true;
}

// Next cell to fill after a parameter: the next parameter of the block, the next table value.
CellPos nextParameterCell(const LadderProgram& ladder, CellPos pos)
{
    const quint16 code = ladder.cell(pos.line, pos.column).code;
    if (isCodt(code)) {
        if (pos.column + 1 < kColumns)
            return {pos.line, pos.column + 1};
        return lineIsCodt(ladder, pos.line + 1) ? CellPos{pos.line + 1, 0} : pos;
    }
    if (pos.column + 1 < kColumns && isFunctionBlockCode(ladder.cell(pos.line, pos.column + 1).code)
        && kindOf(ladder.cell(pos.line, pos.column + 1).code) == kindOf(code))
        return {pos.line, pos.column + 1};
    return pos;
}

}  // namespace rungpad::editsupport
