// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/precheck.h"

#include "rungpad/model/address.h"

namespace rungpad {

int coilBitBase(char letter)
{
    switch (letter) {
    case 'Y': return 0;
    case 'G': return 1024;
    case 'R': return 3072;
    case 'K': return 11072;
    case 'A': return 11584;
    default: return -1;
    }
}

bool isReservedCoil(char letter, int byte, int bit)
{
    switch (letter) {
    case 'G': return byte == 63 && bit == 7;
    case 'K': return byte < 6;
    case 'R': return byte == 255 || byte == 990 || byte == 991;
    default: return false;
    }
}

namespace {

bool checkCoil(const LadderCell& cell, int line, UsedCoils& coils, ErrorSink& errors)
{
    // A coil without address: the pre-check's letter test would call it 1006 (no coil letter)
    // while the coil rule calls it 1001 (address not set). We keep 1001 from the walk, the
    // message that tells the user what to fix.
    if (!cell.hasText())
        return true;
    const auto a = parseElementAddress(cell.textView());
    if (!a || coilBitBase(a->letter) < 0 || isReservedCoil(a->letter, a->byte, a->bit))
        return errors.fail(err::IllegalOutput, line);
    const int bit = coilBitBase(a->letter) + a->byte * 8 + a->bit;
    if (bit < 0 || bit >= kUsedCoilBits)
        return errors.fail(err::IllegalOutput, line);
    if (coils.test(size_t(bit)))
        return errors.fail(err::CoilDuplicate, line);
    coils.set(size_t(bit));
    return true;
}

// Duplicates are judged by what the assembler writes, the cell's text; the number field
// beside it is only what a file claims. A text that is no number counts as out of range.
int numberWritten(const LadderCell& cell)
{
    bool ok = false;
    const int n = cell.text().trimmed().toInt(&ok);
    return ok ? n : -1;
}

bool take(UsedNumbers& numbers, quint16 code, int n, int line, ErrorSink& errors)
{
    if (const auto error = numbers.take(code, n))
        return errors.fail(*error, line, n);
    return true;
}

}  // namespace

bool preCheckLadder(const LadderProgram& ladder, UsedNumbers& numbers, UsedCoils& coils, ErrorSink& errors)
{
    numbers.clear();
    coils.reset();
    bool sawEnd1 = false, sawEnd2 = false;
    const int n = ladder.lineCount();
    for (int i = 0; i < n; ++i) {
        const LadderRow& row = ladder.line(i);
        if (isCodt(row[0].code) || row[kOutputColumn].code == kEmpty)
            continue;
        if (kindOf(row[kOutputColumn].code) == kHorizontalWire) {
            const int c = row.blockColumn();
            if (c < 0 || blockLineOf(row[c].code) != 0 || blockColumnOf(row[c].code) != 0)
                continue;
            const quint16 kind = kindOf(row[c].code);
            const NumberedBlock* numbered = numberedBlock(kind);
            if (numbered && !numbered->onCoilLine && c + numbered->column < kColumns
                && row[c + numbered->column].hasText()) {
                if (!take(numbers, kind, numberWritten(row[c + numbered->column]), i, errors))
                    return false;
            } else if (kind == fn::END1) {
                sawEnd1 = true;
            } else if (kind == fn::END2) {
                sawEnd2 = true;
            }
            continue;
        }
        for (int c = 1; c <= 7; ++c) {
            const quint16 code = row[c].code;
            const NumberedBlock* numbered = numberedBlockOfCell(code);
            if (numbered && numbered->onCoilLine) {
                if (row[c].hasText() && !take(numbers, code, numberWritten(row[c]), i, errors))
                    return false;
                break;
            }
        }
        if (isCoil(row[kOutputColumn].code) && !checkCoil(row[kOutputColumn], i, coils, errors))
            return false;
    }
    if (!sawEnd1 || !sawEnd2)
        return errors.fail(err::End1End2, std::max(0, n - 1));
    return true;
}

}  // namespace rungpad
