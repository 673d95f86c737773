// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/ladderedit.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace rungpad {

namespace {

struct Twin {
    EditMessage id;
    const char* zh;
    const char* en;
};
// clang-format off
constexpr Twin kEditTexts[] = {
    {EditMessage::Checking, "正在检查...", msg::CheckingEn},
    {EditMessage::Accept, "接受!", msg::AcceptEn},
    {EditMessage::OperationError, "操作错误!", "Operation error!"},
    {EditMessage::PatternNotFound, "没有找到要查找的内容!", "Pattern not found!"},
    {EditMessage::ReplaceComplete, "全部替换完成。", "Complete"},
    {EditMessage::InputError, kFunctionInputErrorZh, kFunctionInputErrorEn},
    {EditMessage::BeyondMaxLine, kBeyondMaxLineZh, kBeyondMaxLineEn},
    {EditMessage::CellNotEditable, "该单元不能编辑!", "This cell cannot be edited!"},
};
// clang-format on

struct LineBlock {
    int column = 0;           // first block cell on the line
    quint16 instruction = 0;  // high byte only
    int blockLine = 0;
    int width = 0;
    int height = 0;
    int inputs = 0;
};

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

EditResult refusal(const EditCursor& at, const QString& box = {})
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

// Numbered block parameters (counter, timer, label, subprogram and edge numbers): the
// group whose numbers must be unique and the error a second use gives; 0 for others.
// Timers TMR and TMRC share their numbers, so do DIFU and DIFD.
int numberGroup(quint16 cellCode)
{
    switch (cellCode) {
    case 0x1001: return fn::CTR;
    case 0x1901: case 0x4202: return fn::TMR;
    case 0x4102: return fn::TMRB;
    case 0x2701: case 0x2801: return fn::DIFU;
    case 0x3401: return fn::LBL;
    case 0x1501: return fn::SP;
    default: return 0;
    }
}

int duplicateError(int group)
{
    switch (group) {
    case fn::CTR: return err::CtrDuplicate;
    case fn::TMR: case fn::TMRB: return err::TmrDuplicate;
    case fn::DIFU: return err::DifMisused;
    case fn::LBL: return err::JumpLabel;
    default: return err::CallSpMisused;
    }
}

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
        for (int c = 1; c < kColumns; ++c)
            if (numberGroup(row[c].code) == group && row[c].hasText() && row[c].text().toInt() == number)
                return true;
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
    if (const int group = numberGroup(cell.code); group != 0 && numberInUse(ladder, pos, group, checked->toInt()))
        return failWith(ConvertError{duplicateError(group), pos.line, checked->toInt()});
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

}  // namespace

QString editMessage(EditMessage id, int language)
{
    for (const Twin& t : kEditTexts)
        if (t.id == id)
            return QString::fromUtf8(language == 0 ? t.zh : t.en);
    return {};
}

QString elementKindName(quint16 kind, int language)
{
    switch (kindOf(kind)) {
    case kContactNO: return language == 0 ? QString::fromUtf8(kElementNameNO) : QStringLiteral("Normally-open contact");
    case kContactNC: return language == 0 ? QString::fromUtf8(kElementNameNC) : QStringLiteral("Normally-closed contact");
    case kCoil: return language == 0 ? QString::fromUtf8(kElementNameCoil) : QStringLiteral("Output coil");
    case kCoilNot: return language == 0 ? QString::fromUtf8(kElementNameCoilNot) : QStringLiteral("Negated output coil");
    default: return {};
    }
}

// Placing ------------------------------------------------------------------------------

namespace {
enum class Refusal { None, Outside, TableLine, LowerBlockLine, NoCoilDriven, RightOfBlock, CoilNotRight, BlockCell,
                     NoConditions };

Refusal placementRefusal(const LadderProgram& ladder, CellPos pos, quint16 kind)
{
    if (!validPos(ladder, pos))
        return Refusal::Outside;
    const auto block = blockOnLine(ladder.line(pos.line));
    if (!block)
        return Refusal::None;
    // CODT lines carry table values only; lower block lines hold no element.
    if (block->instruction == fn::CODT)
        return Refusal::TableLine;
    if (block->blockLine >= block->inputs)
        return Refusal::LowerBlockLine;
    const int c = pos.column;
    const int end = block->column + block->width;
    if (isCoil(kind) && !drivesCoil(block->instruction))
        return Refusal::NoCoilDriven;
    if (c >= end) {
        if (kind == kHorizontalWire || (isCoil(kind) && drivesCoil(block->instruction)))
            return Refusal::None;
        return isCoil(kind) ? Refusal::NoCoilDriven : Refusal::RightOfBlock;
    }
    if (isCoil(kind))
        return Refusal::CoilNotRight;
    if (c >= block->column)
        return kind == kEmpty ? Refusal::None : Refusal::BlockCell;   // a block cell goes only with its block
    if ((isContact(kind) || kind == kEmpty) && !takesConditions(block->instruction))
        return Refusal::NoConditions;
    return kind == kEmpty || kind == kHorizontalWire || isContact(kind) ? Refusal::None : Refusal::RightOfBlock;
}

struct RefusalText {
    Refusal id;
    const char* zh;
    const char* en;
};
// clang-format off
constexpr RefusalText kRefusalTexts[] = {
    {Refusal::Outside, "光标不在梯形图内。", "The cursor is outside the ladder."},
    {Refusal::TableLine, "转换表数据行只能填写数值。", "A table data line holds values only."},
    {Refusal::LowerBlockLine, "功能指令的这一行不能放置元件。", "Nothing can be placed on this line of a function block."},
    {Refusal::NoCoilDriven, "%1 指令不驱动线圈, 第 10 列不能放线圈。", "%1 drives no coil: no coil can go in column 10."},
    {Refusal::RightOfBlock, "功能指令右边只能放水平导通线或线圈。", "Right of a function block only a wire or a coil can go."},
    {Refusal::CoilNotRight, "线圈只能放在功能指令右边的第 10 列。", "A coil goes in column 10, right of the function block."},
    {Refusal::BlockCell, "功能指令的单元只能随整个指令删除 (Del)。", "A function block cell goes only with its whole block (Del)."},
    {Refusal::NoConditions, "%1 指令没有执行条件, 左边不能放触点。", "%1 takes no conditions: no contact can go left of it."},
};
// clang-format on
}  // namespace

bool placementAllowed(const LadderProgram& ladder, CellPos pos, quint16 kind)
{
    return placementRefusal(ladder, pos, kind) == Refusal::None;
}

QString placementRefusalText(const LadderProgram& ladder, CellPos pos, quint16 kind, int language)
{
    const Refusal why = placementRefusal(ladder, pos, kind);
    for (const RefusalText& t : kRefusalTexts) {
        if (t.id != why)
            continue;
        QString text = QString::fromUtf8(language == 0 ? t.zh : t.en);
        if (text.contains(QLatin1String("%1"))) {
            const auto block = blockOnLine(ladder.line(pos.line));
            text = text.arg(block ? QString::fromLatin1(nameOf(block->instruction)) : QString());
        }
        return text;
    }
    return {};
}

EditResult placeElement(const EditContext& ctx, CellPos pos, quint16 kind, QByteArrayView text)
{
    LadderProgram& ladder = ctx.ladder;
    const EditCursor before = EditCursor::at(pos);
    if (!placementAllowed(ladder, pos, kind))
        return refusal(before);
    EditResult r = unchanged(before);
    auto moveRight = [&](CellPos p) { r.cursor = EditCursor::at({p.line, std::min(p.column + 1, kOutputColumn)}); };

    if (kind == kEmpty) {
        const auto block = blockOnLine(ladder.line(pos.line));
        if (block && pos.column >= block->column) {
            const auto span = blockExtent(ladder, pos.line);
            r.change.deleteRows(ladder, span->first, span->last - span->first + 1);
            if (ladder.lineCount() == 0)
                r.change.insertRows(ladder, 0, {LadderRow{}});
            r.cursor = EditCursor::at({std::min(span->first, ladder.lineCount() - 1), pos.column});
        } else {
            LadderCell cleared = ladder.cell(pos.line, pos.column);
            const LadderCell old = cleared;
            cleared.clear();
            if (!(cleared == old))
                r.change.setCell(ladder, pos.line, pos.column, cleared);
            moveRight(pos);
        }
        r.changed = !r.change.isEmpty();
        return r;
    }

    if (kind == kHorizontalWire) {
        addLineAfterLast(ladder, r.change, pos.line);
        LadderCell wire = ladder.cell(pos.line, pos.column);
        wire.code = kHorizontalWire;
        wire.number = -1;
        wire.setText({});
        r.change.setCell(ladder, pos.line, pos.column, wire);
        moveRight(pos);
        r.changed = true;
        return r;
    }

    if (!isContact(kind) && !isCoil(kind))
        return refusal(before);
    const bool coil = isCoil(kind);
    const CellPos target = coil ? CellPos{pos.line, kOutputColumn} : pos;
    ctx.compiler.setLadder(&ladder);
    r.output << editMessage(EditMessage::Checking, ctx.language);
    const auto checked = ctx.compiler.checkElementAddress(text, coil, pos.line);
    if (!checked) {
        r.error = ctx.compiler.lastError().value_or(ConvertError{err::AddressMalformed, pos.line, 0});
        r.output << formatErrorMessage(*r.error, ctx.language);
        ctx.compiler.clearErrors();
        r.refused = true;
        return r;
    }
    addLineAfterLast(ladder, r.change, pos.line);
    if (coil) {
        for (int c = 0; c < kOutputColumn; ++c) {
            const LadderCell& cell = ladder.cell(pos.line, c);
            if (kindOf(cell.code) == kEmpty && cell.code == kEmpty) {
                LadderCell wire = cell;
                wire.code = kHorizontalWire;
                wire.number = -1;
                wire.setText({});
                r.change.setCell(ladder, pos.line, c, wire);
            }
        }
    }
    LadderCell element = ladder.cell(target.line, target.column);
    element.code = kind;
    element.setText(*checked);
    element.number = cellNumberOfText(*checked);
    r.change.setCell(ladder, target.line, target.column, element);
    r.output << editMessage(EditMessage::Accept, ctx.language);
    moveRight(target);
    r.changed = true;
    return r;
}

EditResult setVerticalLink(LadderProgram& ladder, CellPos pos)
{
    const EditCursor before = EditCursor::at(pos);
    if (!validPos(ladder, pos) || blockOnLine(ladder.line(pos.line)))
        return refusal(before);
    EditResult r = unchanged(before);
    addLineAfterLast(ladder, r.change, pos.line);
    LadderCell cell = ladder.cell(pos.line, pos.column);
    if (!cell.hasLink()) {
        cell.verticalLink = 1;
        r.change.setCell(ladder, pos.line, pos.column, cell);
    }
    if (pos.line + 1 < ladder.lineCount())
        r.cursor = EditCursor::at({pos.line + 1, pos.column});
    r.changed = !r.change.isEmpty();
    return r;
}

EditResult clearVerticalLink(LadderProgram& ladder, CellPos pos)
{
    const EditCursor before = EditCursor::at(pos);
    if (!validPos(ladder, pos))
        return refusal(before);
    EditResult r = unchanged(before);
    LadderCell cell = ladder.cell(pos.line, pos.column);
    if (cell.hasLink()) {
        cell.verticalLink = 0;
        r.change.setCell(ladder, pos.line, pos.column, cell);
        r.changed = true;
    }
    return r;
}

// Re-editing ----------------------------------------------------------------------------

bool isEditableCell(const LadderProgram& ladder, CellPos pos)
{
    if (!validPos(ladder, pos))
        return false;
    const quint16 code = ladder.cell(pos.line, pos.column).code;
    if (isContact(code) || isCoil(code) || isCodt(code))
        return true;
    return isFunctionBlockCode(code) && blockLineOf(code) == 0 && blockColumnOf(code) > 0;
}

QString cellPrompt(const LadderProgram& ladder, CellPos pos, int language)
{
    if (!isEditableCell(ladder, pos))
        return {};
    const quint16 code = ladder.cell(pos.line, pos.column).code;
    if (isContact(code) || isCoil(code))
        return elementKindName(code, language);
    return prompt(code, blockColumnOf(code), language);
}

EditResult editCellText(const EditContext& ctx, CellPos pos, QByteArrayView text)
{
    const EditCursor before = EditCursor::at(pos);
    if (!validPos(ctx.ladder, pos))
        return refusal(before);
    EditResult r = unchanged(before);
    if (!isEditableCell(ctx.ladder, pos)) {
        r.refused = true;
        r.messageBox = editMessage(EditMessage::CellNotEditable, ctx.language);
        return r;
    }
    r.output << editMessage(EditMessage::Checking, ctx.language);
    if (!applyCellText(ctx, pos, text, r.change, r)) {
        r.change.rollback(ctx.ladder);
        r.refused = true;
        return r;
    }
    r.output << editMessage(EditMessage::Accept, ctx.language);
    const quint16 code = ctx.ladder.cell(pos.line, pos.column).code;
    if (!isContact(code) && !isCoil(code))
        r.cursor = EditCursor::at(nextParameterCell(ctx.ladder, pos));
    r.changed = !r.change.isEmpty();
    return r;
}

// Blocks and lines ----------------------------------------------------------------------

std::optional<LineSpan> blockExtent(const LadderProgram& ladder, int line)
{
    if (line < 0 || line >= ladder.lineCount())
        return std::nullopt;
    if (lineIsCodt(ladder, line)) {
        int first = line;
        while (lineIsCodt(ladder, first - 1))
            --first;
        int last = line;
        while (lineIsCodt(ladder, last + 1))
            ++last;
        if (first > 0) {
            const auto above = blockOnLine(ladder.line(first - 1));
            if (above && above->instruction == fn::COD && above->blockLine == above->height - 1)
                first = first - 1 - above->blockLine;
        }
        return LineSpan{first, last};
    }
    const auto block = blockOnLine(ladder.line(line));
    if (!block)
        return std::nullopt;
    const int first = std::max(0, line - block->blockLine);
    int last = std::min(ladder.lineCount() - 1, first + block->height - 1);
    if (block->instruction == fn::COD)
        while (lineIsCodt(ladder, last + 1))
            ++last;
    return LineSpan{first, last};
}

int insertionLine(const LadderProgram& ladder, int line)
{
    line = std::clamp(line, 0, ladder.lineCount());
    if (line < ladder.lineCount())
        if (const auto span = blockExtent(ladder, line))
            return span->first;
    return line;
}

EditResult insertBlock(LadderProgram& ladder, const EditCursor& at, quint16 code, int language)
{
    const FunctionInstruction* f = functionInstruction(code);
    if (!f || f->height == 0)
        return refusal(at, editMessage(EditMessage::OperationError, language));
    const int line = insertionLine(ladder, at.cursor.line);
    EditResult r = unchanged(at);
    if (r.change.insertRows(ladder, line, blockRows(*f)) != InsertResult::Inserted)
        return refusal(at, editMessage(EditMessage::BeyondMaxLine, language));
    const int start = blockStartColumn(f->width);
    r.cursor = EditCursor::at({line, f->width > 1 ? start + 1 : start});
    r.changed = true;
    return r;
}

EditResult insertBlockByName(LadderProgram& ladder, const EditCursor& at, QByteArrayView name, int language)
{
    const quint16 code = codeOf(name);
    if (code == 0)
        return refusal(at, editMessage(EditMessage::InputError, language));
    return insertBlock(ladder, at, code, language);
}

EditResult insertEmptyLines(LadderProgram& ladder, const EditCursor& at, int count, int language)
{
    if (count <= 0)
        return refusal(at);
    const int line = insertionLine(ladder, at.selection.top());
    EditResult r = unchanged(at);
    if (count >= kMaxLines
        || r.change.insertRows(ladder, line, std::vector<LadderRow>(size_t(count))) != InsertResult::Inserted)
        return refusal(at, editMessage(EditMessage::BeyondMaxLine, language));
    r.cursor = EditCursor::at({line, at.cursor.column});
    r.changed = true;
    return r;
}

namespace {
// The selected lines widened to whole blocks, less the last line of the ladder; nullopt
// when nothing is left to delete.
std::optional<LineSpan> deletableLines(const LadderProgram& ladder, const CellRange& sel)
{
    const int lastLine = ladder.lineCount() - 1;
    int top = std::clamp(sel.top(), 0, lastLine);
    int bottom = std::clamp(sel.bottom(), 0, lastLine);
    if (const auto span = blockExtent(ladder, top))
        top = span->first;
    if (const auto span = blockExtent(ladder, bottom))
        bottom = span->last;
    if (bottom >= lastLine) {
        bottom = lastLine - 1;
        // Keeping the last line must not split the block that holds it.
        if (const auto span = blockExtent(ladder, bottom); span && span->last > bottom)
            bottom = span->first - 1;
    }
    if (bottom < top)
        return std::nullopt;
    return LineSpan{top, bottom};
}
}  // namespace

EditResult deleteSelectedLines(LadderProgram& ladder, const EditCursor& at)
{
    const auto span = deletableLines(ladder, at.selection);
    if (!span)
        return refusal(at);
    EditResult r = unchanged(at);
    r.change.deleteRows(ladder, span->first, span->last - span->first + 1);
    r.cursor = EditCursor::at({std::min(span->first, ladder.lineCount() - 1), at.cursor.column});
    r.changed = true;
    return r;
}

EditResult setLineNote(LadderProgram& ladder, const EditCursor& at, int line, const QString& text)
{
    if (line < 0 || line >= ladder.lineCount())
        return refusal(at);
    EditResult r = unchanged(at);
    if (ladder.note(line) != text) {
        r.change.setNote(ladder, line, text);
        r.changed = true;
    }
    return r;
}

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

// Find and replace ----------------------------------------------------------------------

QByteArray normaliseSearchText(QByteArrayView text)
{
    if (const auto a = parseElementAddress(text))
        return formatAddress(*a);
    return QByteArray(text.data(), text.size());
}

std::optional<CellPos> findCell(const LadderProgram& ladder, CellPos from, QByteArrayView text, bool down)
{
    if (text.isEmpty())
        return std::nullopt;
    const qint64 end = qint64(ladder.lineCount()) * kColumns;
    const int step = down ? 1 : -1;
    for (qint64 i = qint64(from.line) * kColumns + from.column + step; i >= 0 && i < end; i += step) {
        const LadderCell& cell = ladder.cell(int(i / kColumns), int(i % kColumns));
        if (cell.hasText() && cell.text() == text)
            return CellPos{int(i / kColumns), int(i % kColumns)};
    }
    return std::nullopt;
}

EditResult findNext(const LadderProgram& ladder, const EditCursor& at, QByteArrayView text, bool down, int language)
{
    const auto found = findCell(ladder, at.cursor, normaliseSearchText(text), down);
    if (!found)
        return refusal(at, editMessage(EditMessage::PatternNotFound, language));
    EditResult r = unchanged(at);
    r.cursor = EditCursor::at(*found);
    return r;
}

EditResult replaceNext(const EditContext& ctx, const EditCursor& at, QByteArrayView find,
                       QByteArrayView replacement, bool down)
{
    const QByteArray needle = normaliseSearchText(find);
    EditResult r = unchanged(at);
    const CellPos p = at.cursor;
    bool replaced = false;
    if (validPos(ctx.ladder, p) && !needle.isEmpty() && ctx.ladder.cell(p.line, p.column).text() == needle) {
        if (!applyCellText(ctx, p, replacement, r.change, r)) {
            r.change.rollback(ctx.ladder);
            r.refused = true;
            return r;
        }
        replaced = true;
    }
    r.changed = !r.change.isEmpty();
    if (const auto next = findCell(ctx.ladder, p, needle, down))
        r.cursor = EditCursor::at(*next);
    else if (!replaced)
        r.messageBox = editMessage(EditMessage::PatternNotFound, ctx.language);
    return r;
}

EditResult replaceAll(const EditContext& ctx, const EditCursor& at, QByteArrayView find, QByteArrayView replacement)
{
    const QByteArray needle = normaliseSearchText(find);
    EditResult r = unchanged(at);
    if (needle.isEmpty())
        return refusal(at, editMessage(EditMessage::PatternNotFound, ctx.language));
    int count = 0;
    // Line count re-read every line: a COD capacity may change the table below it.
    for (int l = 0; l < ctx.ladder.lineCount(); ++l) {
        for (int c = 0; c < kColumns; ++c) {
            const LadderCell& cell = ctx.ladder.cell(l, c);
            if (!cell.hasText() || cell.text() != needle)
                continue;
            if (!applyCellText(ctx, {l, c}, replacement, r.change, r)) {
                r.change.rollback(ctx.ladder);
                r.refused = true;
                r.cursor = EditCursor::at({l, c});
                return r;
            }
            ++count;
        }
    }
    if (count == 0)
        return refusal(at, editMessage(EditMessage::PatternNotFound, ctx.language));
    r.output << editMessage(EditMessage::ReplaceComplete, ctx.language);
    r.changed = !r.change.isEmpty();
    return r;
}

QByteArray normaliseAddressField(QByteArrayView text)
{
    QByteArray t(text.data(), text.size());
    if (t.size() < 2 || !std::isalpha(static_cast<unsigned char>(t[0])))
        return t;
    const QByteArray rest = t.mid(1);
    for (char ch : rest)
        if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '-' || ch == '.'))
            return t;
    // Without a point the bit was forgotten: rewriting X5 as X005.0 would quietly address
    // bit 0, so the text stays as typed and the check refuses it (1011).
    if (!rest.contains('.'))
        return t;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%c%05.1f", std::toupper(static_cast<unsigned char>(t[0])),
                  std::strtod(rest.constData(), nullptr));
    return QByteArray(buffer);
}

// Cross-reference -----------------------------------------------------------------------

namespace {
struct AddressKey {
    QByteArray prefix;
    int byte = 0;
    int bit = -1;
};

std::optional<AddressKey> addressKey(QByteArrayView text)
{
    const QByteArray t = QByteArray(text.data(), text.size()).toUpper();
    if (t.isEmpty() || !std::isalpha(static_cast<unsigned char>(t[0])))
        return std::nullopt;
    AddressKey k;
    const int len = t.startsWith("DC") || t.startsWith("DT") ? 2 : 1;
    k.prefix = t.left(len);
    qsizetype i = len;
    int digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        k.byte = k.byte * 10 + (t[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || digits > 4)
        return std::nullopt;
    if (i < t.size()) {
        if (i + 2 != t.size() || t[i] != '.' || !std::isdigit(static_cast<unsigned char>(t[i + 1])))
            return std::nullopt;
        k.bit = t[i + 1] - '0';
    }
    return k;
}

bool sameAddress(const AddressKey& a, const AddressKey& b)
{
    return a.prefix == b.prefix && a.byte == b.byte && (a.bit < 0 || b.bit < 0 || a.bit == b.bit);
}
}  // namespace

std::vector<CrossReference> crossReferences(const LadderProgram& ladder, QByteArrayView address)
{
    std::vector<CrossReference> refs;
    const auto wanted = addressKey(address);
    if (!wanted)
        return refs;
    for (int l = 0; l < ladder.lineCount(); ++l) {
        const LadderRow& row = ladder.line(l);
        if (isCodt(row[0].code))
            continue;   // table values are numbers, never addresses
        for (int c = 0; c < kColumns; ++c) {
            const LadderCell& cell = row[c];
            if (!cell.hasText())
                continue;
            ReferenceUse use;
            switch (kindOf(cell.code)) {
            case kContactNO: use = ReferenceUse::Contact; break;
            case kContactNC: use = ReferenceUse::ContactNC; break;
            case kCoil: use = ReferenceUse::Coil; break;
            case kCoilNot: use = ReferenceUse::CoilNot; break;
            default:
                if (!isFunctionBlockCode(cell.code) || blockLineOf(cell.code) != 0 || blockColumnOf(cell.code) == 0)
                    continue;
                use = ReferenceUse::Parameter;
            }
            const auto key = addressKey(cell.text());
            if (key && sameAddress(*key, *wanted))
                refs.push_back({{l, c}, use, cell.code, cell.text()});
        }
    }
    return refs;
}

}  // namespace rungpad
