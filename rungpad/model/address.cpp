// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/address.h"

#include <cctype>
#include <cstdio>

namespace rungpad {

QByteArray formatAddress(char letter, int byte, int bit)
{
    // The converter writes one of these per contact and coil: the common case without the
    // floating-point formatting, digit for digit what "%c%05.1f" gives.
    if (letter != 0 && byte >= 0 && byte <= 999 && bit >= 0 && bit <= 9) {
        const char text[6] = {letter, char('0' + byte / 100), char('0' + byte / 10 % 10), char('0' + byte % 10), '.',
                              char('0' + bit)};
        return QByteArray(text, 6);
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%05.1f", letter, byte + bit / 10.0);
    return QByteArray(buffer);
}

QByteArray formatAddress(const BitAddress& a) { return formatAddress(a.letter, a.byte, a.bit); }

int maxElementByte(char letter)
{
    switch (letter) {
    case 'X': case 'Y': return 127;
    case 'A': case 'K': return 63;
    case 'F': case 'G': case 'D': case 'C': case 'T': return 255;
    case 'R': return 999;
    default: return -1;
    }
}

std::optional<BitAddress> parseElementAddress(QByteArrayView text)
{
    if (text.size() < 2 || text.size() > 6)
        return std::nullopt;
    BitAddress a;
    a.letter = char(std::toupper(static_cast<unsigned char>(text[0])));
    const int maxByte = maxElementByte(a.letter);
    if (maxByte < 0)
        return std::nullopt;
    qsizetype i = 1;
    int digits = 0;
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        ++digits;
        ++i;
    }
    if (digits < 1 || digits > 3 || i + 2 != text.size() || text[i] != '.')
        return std::nullopt;
    const char bit = text[i + 1];
    if (bit < '0' || bit > '7' || value > maxByte)
        return std::nullopt;
    a.byte = value;
    a.bit = bit - '0';
    return a;
}

bool isCoilLetter(char letter)
{
    return letter == 'Y' || letter == 'G' || letter == 'R' || letter == 'K' || letter == 'A';
}

QByteArray LadderAddress::text() const
{
    if (bit >= 0)
        return prefix + QByteArray::number(byte).rightJustified(3, '0') + '.' + QByteArray::number(bit);
    return prefix + QByteArray::number(byte).rightJustified(4, '0');
}

int addressPrefixRank(QByteArrayView prefix)
{
    for (size_t i = 0; i < kAddressPrefixes.size(); ++i)
        if (prefix.compare(QByteArrayView(kAddressPrefixes[i])) == 0)
            return int(i);
    return -1;
}

std::optional<LadderAddress> parseAddressText(QByteArrayView t, AddressSyntax syntax)
{
    if (t.isEmpty())
        return std::nullopt;
    const qsizetype len = t.size() >= 2 && (t.startsWith("DC") || t.startsWith("DT")) ? 2 : 1;
    LadderAddress a;
    a.prefix = t.first(len).toByteArray().toUpper();
    if (syntax.knownPrefixesOnly ? addressPrefixRank(a.prefix) < 0 : !std::isalpha(static_cast<unsigned char>(t[0])))
        return std::nullopt;
    qsizetype i = len;
    int digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        a.byte = a.byte * 10 + (t[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || digits > 4)
        return std::nullopt;
    if (i < t.size()) {
        if (i + 2 != t.size() || t[i] != '.' || t[i + 1] < '0' || t[i + 1] > '0' + syntax.maxBit)
            return std::nullopt;
        a.bit = t[i + 1] - '0';
    }
    return a;
}

}  // namespace rungpad
