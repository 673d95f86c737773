// SPDX-License-Identifier: GPL-3.0-or-later
// Placing, re-editing, blocks and lines.
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

}  // namespace rungpad
