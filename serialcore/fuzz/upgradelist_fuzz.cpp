// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the upgrade list ("config.ini") a user's folder brings along.
#include "serialcore/controllernames.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const vantor::UpgradeList list = vantor::parseUpgradeList(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const vantor::UpgradeEntry& e : list.entries) {
        if (e.partition != QLatin1String("sys") && e.partition != QLatin1String("user") &&
            e.partition != QLatin1String("bios"))
            std::abort();
        if (e.name.isEmpty())
            std::abort();
    }
    return 0;
}
