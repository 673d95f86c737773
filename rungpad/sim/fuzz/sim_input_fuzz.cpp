// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: what a user hands the simulator. The bytes are read as a ladder test file
// and, line by line, as an instruction list; a list that loads runs two scans (jumps that
// loop are cut by the scan's instruction budget).
#include "rungpad/sim/laddertest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)rungpad::sim::parseTestFile(QString::fromUtf8(bytes));
    std::vector<QByteArray> lines;
    for (const QByteArray& l : bytes.split('\n'))
        lines.push_back(l);
    if (auto program = rungpad::sim::loadInstructionList(lines)) {
        rungpad::sim::VirtualClock clock;
        rungpad::sim::Engine engine(clock);
        engine.load(std::move(*program));
        engine.memory().setValue(*rungpad::sim::parseLocation("X000"), 4, 0xA5A5A5A5u);
        for (int i = 0; i < 2; ++i) {
            clock.advance(8);
            engine.scan();
        }
    }
    return 0;
}
