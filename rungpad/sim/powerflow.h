// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which cells of the drawn ladder carry power, read from the signal memory: the window colours
// them. Power enters every line at the left rail and moves right through wires and closed
// contacts; vertical links join the lines they connect at their column edge. The wires right
// of a function block carry the block's result as its coil shows it.
#include "rungpad/model/ladder.h"
#include "rungpad/sim/memory.h"

#include <cstdint>
#include <vector>

namespace rungpad::sim {

class PowerFlow {
public:
    // Works out the lines first..last, widened to whole linked groups so that a branch
    // scrolled half out of view still gets its power from above.
    void compute(const LadderProgram& ladder, const Memory& memory, int first, int last);

    bool cellPowered(int line, int column) const { return has(m_cells, line, column); }
    // The vertical link from (line, column) down to the next line.
    bool linkPowered(int line, int column) const { return has(m_links, line, column); }
    int first() const { return m_first; }
    int last() const { return m_first + int(m_cells.size()) - 1; }

private:
    bool has(const std::vector<uint16_t>& v, int line, int column) const
    {
        const int i = line - m_first;
        return i >= 0 && i < int(v.size()) && ((v[size_t(i)] >> column) & 1u);
    }

    int m_first = 0;
    std::vector<uint16_t> m_cells, m_links;
};

// Whether a contact's address is closed: open contacts conduct when their bit is on, closed
// (normally-closed) contacts when it is off. Contacts without a valid address never conduct.
bool contactConducts(const LadderCell& cell, const Memory& memory);

}  // namespace rungpad::sim
