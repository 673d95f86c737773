// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/sim/memory.h"

#include <cctype>

namespace rungpad::sim {

namespace {

constexpr std::array<AreaInfo, kAreaCount> makeAreas()
{
    std::array<AreaInfo, kAreaCount> a = {{
        {Area::X, "X", 128, false, 0},
        {Area::Y, "Y", 128, false, 0},
        {Area::F, "F", 256, false, 0},
        {Area::G, "G", 256, false, 0},
        {Area::R, "R", 1000, false, 0},
        {Area::K, "K", 64, false, 0},
        {Area::A, "A", 64, false, 0},
        {Area::D, "D", 256, true, 0},
        {Area::C, "C", 256, true, 0},
        {Area::T, "T", 256, true, 0},
        {Area::DC, "DC", 128, true, 0},
        {Area::DT, "DT", 128, true, 0},
    }};
    int base = 0;
    for (auto& info : a) {
        info.base = base;
        base += info.words ? 2 * info.units : info.units;
    }
    return a;
}

constexpr std::array<AreaInfo, kAreaCount> kAreas = makeAreas();
constexpr int kMemoryBytes = kAreas[kAreaCount - 1].base + 2 * kAreas[kAreaCount - 1].units;

}  // namespace

const std::array<AreaInfo, kAreaCount>& areas() { return kAreas; }
const AreaInfo& areaInfo(Area a) { return kAreas[size_t(a)]; }
int memoryBytes() { return kMemoryBytes; }

std::optional<Location> parseLocation(QByteArrayView text)
{
    const QByteArray t = QByteArray(text.data(), text.size()).trimmed().toUpper();
    const AreaInfo* info = nullptr;
    int at = 0;
    if (t.startsWith("DC") || t.startsWith("DT")) {
        info = &areaInfo(t[1] == 'C' ? Area::DC : Area::DT);
        at = 2;
    } else if (!t.isEmpty()) {
        for (const AreaInfo& a : kAreas)
            if (a.name[1] == '\0' && a.name[0] == t[0])
                info = &a;
        at = 1;
    }
    if (!info)
        return std::nullopt;
    int number = 0, digits = 0;
    while (at < t.size() && std::isdigit(uchar(t[at]))) {
        number = number * 10 + (t[at++] - '0');
        if (++digits > 4)
            return std::nullopt;
    }
    if (digits == 0 || number >= info->units)
        return std::nullopt;
    Location l;
    l.area = info->area;
    l.number = number;
    l.offset = info->base + (info->words ? 2 * number : number);
    l.end = info->base + (info->words ? 2 * info->units : info->units);
    if (at < t.size()) {
        if (t[at] != '.' || at + 2 != t.size() || t[at + 1] < '0' || t[at + 1] > '7')
            return std::nullopt;
        l.bit = t[at + 1] - '0';
    }
    return l;
}

QString locationText(const Location& l)
{
    const AreaInfo& info = areaInfo(l.area);
    if (l.hasBit())
        return QString::asprintf("%s%03d.%d", info.name, l.number, l.bit);
    return QString::asprintf("%s%04d", info.name, l.number);
}

Memory::Memory() : m_bytes(size_t(kMemoryBytes), 0) {}

void Memory::clear() { std::fill(m_bytes.begin(), m_bytes.end(), uint8_t(0)); }

void Memory::clearVolatile()
{
    for (const AreaInfo& a : kAreas) {
        if (a.words || a.area == Area::K)
            continue;
        std::fill(m_bytes.begin() + a.base, m_bytes.begin() + a.base + a.units, uint8_t(0));
    }
}

bool Memory::bit(const Location& l) const { return bit(l.offset, l.hasBit() ? l.bit : 0); }

void Memory::setBit(const Location& l, bool on) { setBit(l.offset, l.hasBit() ? l.bit : 0, on); }

uint32_t Memory::value(const Location& l, int length) const
{
    uint32_t v = 0;
    for (int i = 0; i < length; ++i)
        if (l.offset + i < l.end)
            v |= uint32_t(m_bytes[size_t(l.offset + i)]) << (8 * i);
    return v;
}

void Memory::setValue(const Location& l, int length, uint32_t v)
{
    for (int i = 0; i < length; ++i)
        if (l.offset + i < l.end)
            m_bytes[size_t(l.offset + i)] = uint8_t(v >> (8 * i));
}

}  // namespace rungpad::sim
