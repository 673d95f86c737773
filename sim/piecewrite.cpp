// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/piecewrite.h"

namespace vantor::sim {

void writeInPieces(LinkPort& port, const QByteArray& bytes, int pieceSize)
{
    if (pieceSize <= 0) {
        port.write(bytes);
        return;
    }
    for (qsizetype i = 0; i < bytes.size(); i += pieceSize) {
        port.write(bytes.mid(i, pieceSize));
        port.pause(kPiecePauseMs);
    }
}

}  // namespace vantor::sim
