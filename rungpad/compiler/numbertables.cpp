// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/numbertables.h"

#include "rungpad/compiler/errors.h"

namespace rungpad {

namespace {
enum Group { Counters, Timers, TimersB, Labels, Subprograms, Edges };
}  // namespace

// clang-format off
const std::array<NumberedBlock, 8> kNumberedBlocks = {{
    {fn::CTR,  1, Counters,    128, err::NumberOutOfRange, err::CtrDuplicate,  true},
    {fn::TMR,  1, Timers,      128, err::NumberOutOfRange, err::TmrDuplicate,  true},
    {fn::TMRC, 2, Timers,      128, err::NumberOutOfRange, err::TmrDuplicate,  true},
    {fn::TMRB, 2, TimersB,     128, err::NumberOutOfRange, err::TmrDuplicate,  true},
    {fn::LBL,  1, Labels,      100, err::NumberOutOfRange, err::JumpLabel,     false},
    {fn::SP,   1, Subprograms, 100, err::NumberOutOfRange, err::CallSpMisused, false},
    {fn::DIFU, 1, Edges,       256, err::DifMisused,       err::DifMisused,    true},
    {fn::DIFD, 1, Edges,       256, err::DifMisused,       err::DifMisused,    true},
}};
// clang-format on

const NumberedBlock* numberedBlock(quint16 code)
{
    for (const NumberedBlock& b : kNumberedBlocks)
        if (b.instruction == kindOf(code))
            return &b;
    return nullptr;
}

const NumberedBlock* numberedBlockOfCell(quint16 cellCode)
{
    for (const NumberedBlock& b : kNumberedBlocks)
        if (blockCellCode(b.instruction, 0, b.column) == cellCode)
            return &b;
    return nullptr;
}

void UsedNumbers::clear()
{
    for (auto& g : m_groups)
        g.reset();
}

std::optional<int> UsedNumbers::take(quint16 code, int n)
{
    const NumberedBlock* b = numberedBlock(code);
    if (!b)
        return std::nullopt;
    if (n < 0 || n >= b->count)
        return b->outOfRangeError;
    auto& used = m_groups[size_t(b->group)];
    if (used.test(size_t(n)))
        return b->duplicateError;
    used.set(size_t(n));
    return std::nullopt;
}

void UsedNumbers::release(quint16 code, int n)
{
    if (const NumberedBlock* b = numberedBlock(code); b && n >= 0 && n < b->count)
        m_groups[size_t(b->group)].reset(size_t(n));
}

bool UsedNumbers::held(quint16 code, int n) const
{
    const NumberedBlock* b = numberedBlock(code);
    return b && n >= 0 && n < b->count && m_groups[size_t(b->group)].test(size_t(n));
}

}  // namespace rungpad
