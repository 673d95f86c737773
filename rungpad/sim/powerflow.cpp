// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/sim/powerflow.h"

#include "rungpad/compiler/laddercompiler.h"

#include <algorithm>

namespace rungpad::sim {

namespace {

bool lineHasLink(const LadderRow& row)
{
    for (const LadderCell& c : row.cells)
        if (c.hasLink())
            return true;
    return false;
}

// The result a block hands to the wires on its right: what its coil shows.
bool blockOutput(const LadderRow& row, const Memory& memory)
{
    const LadderCell& coil = row[kOutputColumn];
    if (!isCoil(coil.code))
        return false;
    const auto at = parseLocation(coil.text());
    if (!at || !at->hasBit())
        return false;
    return memory.bit(*at) != (kindOf(coil.code) == kCoilNot);
}

}  // namespace

bool contactConducts(const LadderCell& cell, const Memory& memory)
{
    const auto at = parseLocation(cell.text());
    if (!at || !at->hasBit())
        return false;
    return memory.bit(*at) == (kindOf(cell.code) == kContactNO);
}

void PowerFlow::compute(const LadderProgram& ladder, const Memory& memory, int first, int last)
{
    const int count = ladder.lineCount();
    first = std::clamp(first, 0, std::max(0, count - 1));
    last = std::clamp(last, first, std::max(0, count - 1));
    // No network the converter accepts spans more lines than this; a drawing linked from top
    // to bottom must not make every frame work through the whole ladder.
    for (int k = 0; k < kMaxNetworkSpan && first > 0 && lineHasLink(ladder.line(first - 1)); ++k)
        --first;
    for (int k = 0; k < kMaxNetworkSpan && last + 1 < count && lineHasLink(ladder.line(last)); ++k)
        ++last;
    m_first = first;
    const int n = count == 0 ? 0 : last - first + 1;
    m_cells.assign(size_t(n), 0);
    m_links.assign(size_t(n), 0);

    std::vector<char> node(size_t(n), 1), out(size_t(n), 0);
    std::vector<int> blockColumn(size_t(n), -1);
    std::vector<char> blockResult(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        const LadderRow& row = ladder.line(first + i);
        blockColumn[size_t(i)] = row.blockColumn();
        if (blockColumn[size_t(i)] >= 0 && blockLineOf(row[blockColumn[size_t(i)]].code) == 0)
            blockResult[size_t(i)] = blockOutput(row, memory);
    }
    for (int c = 0; c < kColumns; ++c) {
        for (int i = 0; i < n; ++i) {
            const LadderCell& cell = ladder.line(first + i)[c];
            const int bc = blockColumn[size_t(i)];
            bool conducts = false;
            bool powered = false;
            if (bc >= 0 && c >= bc) {
                // Block cells pass nothing; right of the block the block's result flows.
                const bool rightOfBlock = !isFunctionBlockCode(cell.code) && c > bc;
                conducts = rightOfBlock && blockResult[size_t(i)];
                powered = conducts;
                out[size_t(i)] = conducts;
            } else {
                switch (kindOf(cell.code)) {
                case kHorizontalWire: conducts = true; break;
                case kContactNO:
                case kContactNC: conducts = contactConducts(cell, memory); break;
                case kCoil:
                case kCoilNot: conducts = true; break;
                default: break;
                }
                powered = node[size_t(i)] && conducts;
                out[size_t(i)] = powered;
            }
            if (powered)
                m_cells[size_t(i)] |= uint16_t(1u << c);
        }
        // Lines joined by links at this column's right edge share one node.
        for (int i = 0; i < n;) {
            int j = i;
            bool on = out[size_t(i)];
            while (j + 1 < n && ladder.line(first + j)[c].hasLink()) {
                ++j;
                on = on || out[size_t(j)];
            }
            for (int k = i; k <= j; ++k) {
                node[size_t(k)] = on;
                if (k < j && on)
                    m_links[size_t(k)] |= uint16_t(1u << c);
            }
            i = j + 1;
        }
    }
}

}  // namespace rungpad::sim
