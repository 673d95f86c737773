// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/operandrules.h"

#include "rungpad/compiler/instructions.h"

#include <QByteArray>
#include <QList>

namespace rungpad {

namespace {

std::optional<int> decimal(QByteArrayView text)
{
    bool ok = false;
    const int v = QByteArray(text.data(), text.size()).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// Area limits of MOVN destinations: b + n must stay inside.
bool movnInRange(char letter, int b, int n, bool addressSource)
{
    const int end = b + n;
    switch (letter) {
    case 'A': return end < 33;
    case 'C': case 'T': return end <= (addressSource ? 256 : 128);
    case 'D': return end <= (addressSource ? 512 : 256);
    case 'G': return end < 64;
    case 'K': return n >= 6 && end <= 64;
    case 'R': return end <= 512 && (n > 255 || end <= 255);
    case 'Y': return end < 49;
    default: return false;
    }
}

// MOVB/MOVW destinations: one byte or word, inside its area.
bool moveInRange(char letter, int n, bool addressSource, bool word)
{
    switch (letter) {
    case 'G': return n < 254;
    case 'A': case 'K': return n < 64;
    case 'R': return n < 1000;
    case 'Y': return n < 128;
    case 'C': case 'T': return n < (addressSource || word ? 256 : 128);
    case 'D': return n < (addressSource || word ? 512 : 256);
    default: return false;
    }
}

}  // namespace

bool operandIsAddress(QByteArrayView text)
{
    return !text.isEmpty() && text[0] >= 'A' && text[0] <= 'Y';
}

bool moveDestinationFits(quint16 instruction, QByteArrayView count, QByteArrayView source, QByteArrayView destination)
{
    const QByteArray dest = QByteArray(destination.data(), destination.size()).toUpper();
    const bool twoLetters = dest.startsWith("DC") || dest.startsWith("DT");
    if (dest.isEmpty() || twoLetters)
        return false;
    const int n = decimal(dest.mid(1, 4).split('.').front()).value_or(-1);
    if (n < 0)
        return false;
    const bool addressSource = source.isEmpty() || operandIsAddress(QByteArray(source.data(), source.size()).toUpper());
    switch (kindOf(instruction)) {
    case fn::MOVN: {
        const int b = count.isEmpty() ? 1 : decimal(count).value_or(1);
        return movnInRange(dest[0], b, n, addressSource);
    }
    case fn::MOVB:
    case fn::MOVW:
        return moveInRange(dest[0], n, addressSource, kindOf(instruction) == fn::MOVW);
    default:
        return true;
    }
}

std::optional<int> codTableGap(const LadderProgram& ladder, int codLine)
{
    const LadderRow& row = ladder.line(codLine);
    const int d = row.blockColumn();
    if (d < 0 || kindOf(row[d].code) != fn::COD || d + 2 >= kColumns)
        return std::nullopt;
    const auto capacity = decimal(row[d + 2].text());
    if (!capacity || *capacity <= 0)
        return std::nullopt;
    const int first = codLine + blockShape(fn::COD).height;
    int wanted = *capacity;
    int l = first;
    for (; l < ladder.lineCount() && isCodt(ladder.line(l)[0].code) && wanted > 0; ++l)
        for (int c = 0; c < kColumns && wanted > 0; ++c, --wanted)
            if (!ladder.cell(l, c).hasText())
                return l;
    if (wanted > 0)
        return l > first ? l - 1 : codLine;
    return std::nullopt;
}

bool codTableValueMissing(const LadderProgram& ladder, int line, int column)
{
    if (line < 0 || line >= ladder.lineCount() || !isCodt(ladder.cell(line, column).code)
        || ladder.cell(line, column).hasText())
        return false;
    int first = line;
    while (first > 0 && isCodt(ladder.line(first - 1)[0].code))
        --first;
    const int codLine = first - blockShape(fn::COD).height;
    if (codLine < 0)
        return false;
    const LadderRow& row = ladder.line(codLine);
    const int d = row.blockColumn();
    if (d < 0 || row[d].code != blockCellCode(fn::COD, 0, 0) || d + 2 >= kColumns)
        return false;
    const auto capacity = decimal(row[d + 2].text());
    return capacity && (line - first) * kColumns + column < *capacity;
}

}  // namespace rungpad
