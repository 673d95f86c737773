// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Element addresses as the editor writes them: a letter, a 3-digit byte, a point, a bit 0..7
// ("%c%05.1f": X12.3 -> X012.3), and the byte ranges each letter allows.
#include <QByteArray>
#include <QByteArrayView>

#include <array>

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

// An address as the ladder names it in any cell: a letter or DC/DT, a byte number and, for
// bit addresses, a bit. Byte parameters (D0010) and bit elements (X012.3) share the form.
struct LadderAddress {
    QByteArray prefix;   // "X", "D", "DC", ...
    int byte = 0;
    int bit = -1;        // -1: the whole byte (a word or byte parameter)
    // Bit addresses as the editor writes them ("X012.3"); bytes as block parameters ("D0010").
    QByteArray text() const;
    bool operator==(const LadderAddress&) const = default;
};

// The prefixes a ladder address may carry, in the order address lists show them: inputs,
// outputs, controller signals, relays, words.
inline constexpr std::array<const char*, 12> kAddressPrefixes = {"X", "Y", "F", "G", "R", "K",
                                                                 "A", "T", "C", "D", "DC", "DT"};
// Index into kAddressPrefixes, -1 for another prefix.
int addressPrefixRank(QByteArrayView prefix);

// The two readings of a cell text as an address differ on purpose:
struct AddressSyntax {
    bool knownPrefixesOnly;   // the prefix must be one of kAddressPrefixes, else any letter
    int maxBit;               // the highest bit digit after the point
};
// Reading a ladder's cells for its address lists (cross-reference, comparison, print): only
// the ladder's prefixes and bits 0..7 name an address.
inline constexpr AddressSyntax kListedAddressSyntax{true, 7};
// Looking one typed address up in the editor: any letter and any bit digit, so a text is
// matched as the cells hold it.
inline constexpr AddressSyntax kLookupAddressSyntax{false, 9};

// Prefix (DC and DT as written in capitals, returned in capitals), 1..4 byte digits and
// optionally a point and one bit digit; nullopt for anything else.
std::optional<LadderAddress> parseAddressText(QByteArrayView text, AddressSyntax syntax);

}  // namespace rungpad
