// SPDX-License-Identifier: GPL-3.0-or-later
// Find and replace, address fields and the cross-reference of one address.
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
// A typed address is looked up as the cells hold it, whatever its case.
std::optional<LadderAddress> addressKey(QByteArrayView text)
{
    return parseAddressText(QByteArray(text.data(), text.size()).toUpper(), kLookupAddressSyntax);
}

bool sameAddress(const LadderAddress& a, const LadderAddress& b)
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
    forEachOperandCell(ladder, [&](int l, int c, const LadderCell& cell) {
        const quint16 kind = kindOf(cell.code);
        const ReferenceUse use = kind == kContactNO ? ReferenceUse::Contact
                               : kind == kContactNC ? ReferenceUse::ContactNC
                               : kind == kCoil      ? ReferenceUse::Coil
                               : kind == kCoilNot   ? ReferenceUse::CoilNot
                                                    : ReferenceUse::Parameter;
        const auto key = addressKey(cell.text());
        if (key && sameAddress(*key, *wanted))
            refs.push_back({{l, c}, use, cell.code, cell.text()});
    });
    return refs;
}

}  // namespace rungpad
