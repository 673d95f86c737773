// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replies that reach the PC in small pieces, so its gathering of frames, prompts and
// listings from several reads is tried the way a slow controller tries it.
#include "serialcore/linkport.h"

#include <QByteArray>

namespace vantor::sim {

// The pause between two pieces, long enough for each to arrive in a read of its own.
inline constexpr int kPiecePauseMs = 3;

// pieceSize <= 0 writes the bytes whole; otherwise in pieces of pieceSize bytes with a
// pause after each.
void writeInPieces(LinkPort& port, const QByteArray& bytes, int pieceSize);

}  // namespace vantor::sim
