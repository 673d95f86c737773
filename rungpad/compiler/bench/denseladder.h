// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dense ladder the benchmarks share, in the model's text form: END1, then networks of two
// lines (three "OR" networks, then one "AND of ORs", every cell of the first line used), wire
// lines up to bodyEnd, and END2 as the last line. Coils are R bits, the reserved ones skipped.
#include "rungpad/model/address.h"

#include <QString>

namespace rungpad::bench {

inline QByteArray nextCoil(int& n)
{
    for (;;) {
        const int byte = n / 8;
        const int bit = n % 8;
        ++n;
        if (byte != 255 && byte != 990 && byte != 991)
            return formatAddress('R', byte, bit);
    }
}

inline QString denseLadderText(int bodyEnd)
{
    QString text = QStringLiteral("- - - - {7100:END1} - - - - -\n");
    int lines = 1;
    int coil = 0;
    int kind = 0;
    while (lines + 2 <= bodyEnd) {
        const QString c = QString::fromLatin1(nextCoil(coil));
        if (kind++ % 4 != 3)
            text += QStringLiteral("X000.0+ - - - - - - - - (%1)\n/X001.0\n").arg(c);
        else
            text += QStringLiteral("X000.0+ X000.2+ - - - - - - - (%1)\n/X000.1 X000.3\n").arg(c);
        lines += 2;
    }
    while (lines < bodyEnd) {
        text += QStringLiteral("- - - - - - - - - -\n");
        ++lines;
    }
    return text + QStringLiteral("- - - - {7200:END2} - - - - -\n");
}

}  // namespace rungpad::bench
