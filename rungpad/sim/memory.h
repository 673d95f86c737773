// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The signal memory a simulated scan works on: one flat block of bytes holding every area the
// ladder can address, with the byte ranges the editor accepts.
//
// Two kinds of area:
//   byte areas X Y F G R K A   the number is a byte; X012.3 is bit 3 of byte 12
//   word areas D C T DC DT     the number is a 16-bit word (as in the code image, whose address
//                              codes step by two there); D0010 is word 10, a 1-byte value at
//                              D0010 is that word's low byte and D010.3 is bit 3 of it
// Values of more than one byte are little-endian. What the engine keeps in the word areas:
//   DT n  set value of TMR/TMRC n          T n        elapsed time of TMR/TMRC n
//   DC n  preset of counter n              C n        current value of counter n
//                                          T 128+n    elapsed time of TMRB n
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rungpad::sim {

enum class Area : uint8_t { X, Y, F, G, R, K, A, D, C, T, DC, DT };
inline constexpr int kAreaCount = 12;

struct AreaInfo {
    Area area;
    const char* name;   // letter(s) as written in addresses
    int units;          // bytes (byte areas) or words (word areas)
    bool words;
    int base;           // byte offset in the flat memory
};
const std::array<AreaInfo, kAreaCount>& areas();
const AreaInfo& areaInfo(Area a);
int memoryBytes();

// A place in memory: byte offset into the flat block plus, for a bit, its bit number.
// `end` bounds multi-byte values to the area they start in.
struct Location {
    Area area = Area::X;
    int number = 0;      // byte or word number as written
    int offset = 0;      // flat byte offset
    int end = 0;         // flat offset one past the area
    int bit = -1;        // 0..7, or -1 for a byte/word value
    bool hasBit() const { return bit >= 0; }
    bool operator==(const Location&) const = default;
};

// Parses an address as the ladder writes it (X000.0, R100.7, D0010, DT0005, C3) or as a user
// types it (x0.0, d10). nullopt for an unknown letter, a malformed text or a number outside
// the area.
std::optional<Location> parseLocation(QByteArrayView text);
// The canonical text of a location: X000.0, D0010, DT0005.
QString locationText(const Location& l);

class Memory {
public:
    Memory();
    void clear();
    // Clears all but the keep relays (K) and the word areas, as a power cycle of the
    // controller would.
    void clearVolatile();

    bool bit(const Location& l) const;
    void setBit(const Location& l, bool on);
    bool bit(int offset, int bit) const { return (m_bytes[size_t(offset)] >> bit) & 1; }
    void setBit(int offset, int bit, bool on)
    {
        auto& b = m_bytes[size_t(offset)];
        b = on ? uint8_t(b | (1u << bit)) : uint8_t(b & ~(1u << bit));
    }
    // `length` bytes from l.offset (1, 2 or 4); bytes past the area read as 0, writes past it
    // are dropped.
    uint32_t value(const Location& l, int length) const;
    void setValue(const Location& l, int length, uint32_t v);
    uint8_t byteAt(int offset) const { return m_bytes[size_t(offset)]; }
    void setByteAt(int offset, uint8_t v) { m_bytes[size_t(offset)] = v; }

    // The value a name shows in tables and tests: a bit for X000.0, the byte of a byte area,
    // the 16-bit word of a word area.
    uint32_t read(const Location& l) const { return l.hasBit() ? bit(l) : value(l, defaultLength(l)); }
    void write(const Location& l, uint32_t v)
    {
        if (l.hasBit())
            setBit(l, v != 0);
        else
            setValue(l, defaultLength(l), v);
    }
    static int defaultLength(const Location& l) { return areaInfo(l.area).words ? 2 : 1; }

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    bool operator==(const Memory& o) const { return m_bytes == o.m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace rungpad::sim
