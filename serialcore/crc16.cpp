// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/crc16.h"

#include <array>

namespace vantor {

namespace {
constexpr std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : (crc << 1));
        table[static_cast<std::size_t>(byte)] = crc;
    }
    return table;
}
constexpr auto kTable = makeTable();
}  // namespace

std::uint16_t crc16Xmodem(QByteArrayView data, std::uint16_t crc)
{
    for (char c : data) {
        const auto index = static_cast<std::uint8_t>((crc >> 8) ^ static_cast<std::uint8_t>(c));
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[index]);
    }
    return crc;
}

}  // namespace vantor
