// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Element addresses as the editor writes them: a letter, a 3-digit byte, a point, a bit 0..7
// ("%c%05.1f": X12.3 -> X012.3), and the byte ranges each letter allows.
#include <QByteArray>

#include <optional>

namespace rungpad {

struct BitAddress {
    char letter = 0;   // X, Y, F, G, R, K, A, D, C, T
    int byte = 0;
    int bit = 0;
    bool operator==(const BitAddress&) const = default;
};

// "%c%05.1f" of letter and byte + bit / 10: formatAddress('X', 12, 3) == "X012.3".
QByteArray formatAddress(char letter, int byte, int bit);
QByteArray formatAddress(const BitAddress& address);

// Highest byte number the editor accepts for an element address letter, or -1 when the
// letter is not an element letter.
int maxElementByte(char letter);

// Parses an element address typed by the user (case-insensitive, 1..3 byte digits, point,
// bit digit): "x5.3" -> X005.3. nullopt for a malformed text or a byte/bit out of range.
std::optional<BitAddress> parseElementAddress(QByteArrayView text);

// Coil letters: Y, G, R, K, A.
bool isCoilLetter(char letter);

}  // namespace rungpad
