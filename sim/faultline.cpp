// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/faultline.h"

namespace vantor::sim {

bool FaultLine::chance(int perThousand, int* counter)
{
    if (below(1000) >= perThousand)
        return false;
    ++*counter;
    return true;
}

QByteArray FaultLine::garble(QByteArray bytes)
{
    if (bytes.isEmpty())
        return bytes;
    if (chance(rates_.noise, &counts_.noise))
        bytes.insert(below(int(bytes.size()) + 1), char(below(256)));
    if (chance(rates_.drop, &counts_.dropped))
        bytes.remove(below(int(bytes.size())), 1);
    if (!bytes.isEmpty() && chance(rates_.duplicate, &counts_.duplicated)) {
        const int at = below(int(bytes.size()));
        bytes.insert(at, bytes.at(at));
    }
    return bytes;
}

int FaultLine::pieceSize()
{
    // Small enough to cut every reply apart, large enough that a frame stream of tens of
    // kilobytes (one pause per piece) still ends within seconds.
    static constexpr int kSizes[] = {4, 48, 500};
    if (!chance(rates_.split, &counts_.splitSessions))
        return 0;
    return kSizes[below(3)];
}

}  // namespace vantor::sim
