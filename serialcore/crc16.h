// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final xor.
// The controller checks it over the 128 data bytes of every XModem block.
#include <QByteArrayView>

#include <cstdint>

namespace vantor {

std::uint16_t crc16Xmodem(QByteArrayView data, std::uint16_t crc = 0);

}  // namespace vantor
