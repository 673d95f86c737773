// SPDX-License-Identifier: GPL-3.0-or-later
// Edit, undo and replace-all times on a dense ladder of nearly 5000 lines, and the memory
// that 50 undo steps hold. Peer measured in the same run: a whole-ladder copy, what an
// undo step would cost if it kept a snapshot.
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/compiler/instructions.h"
#include "rungpad/edit/laddereditor.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

using namespace rungpad;

namespace {

// As the converter's benchmark builds it, a few lines short of the limit so lines can be
// inserted: two-line networks with every cell of the first line used.
QString denseLadder(int lineCount) { return bench::denseLadderText(lineCount - 2) + QStringLiteral(".\n"); }

double msPer(int rounds, const std::function<void(int)>& body)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        body(i);
    return double(t.nsecsElapsed()) / 1e6 / rounds;
}

size_t stackBytes(const QUndoStack& stack)
{
    size_t bytes = 0;
    for (int i = 0; i < stack.count(); ++i)
        if (const auto* c = dynamic_cast<const LadderEditCommand*>(stack.command(i)))
            bytes += c->memoryBytes();
    return bytes;
}
}  // namespace

int main()
{
    const int lineCount = kMaxLines - 10;
    LadderDocument doc;
    doc.editLadder = *readLadderText(denseLadder(lineCount));
    LadderCompiler compiler;
    QUndoStack stack;
    LadderEditor editor(doc, compiler, stack, 1);
    const int mid = lineCount / 2 & ~1;   // first line of a network
    const int rounds = 200;

    std::printf("ladder lines             %d\n", doc.editLadder.lineCount());
    const double contact = msPer(rounds, [&](int i) {
        editor.setCursor(EditCursor::at({mid + 1, 1 + i % 8}));
        editor.place(kContactNO, "X5.3");
    });
    std::printf("place contact            %.3f ms (%d steps, cell %s)\n", contact, stack.count(),
                doc.editLadder.cell(mid + 1, 8).text().constData());
    const double coil = msPer(rounds, [&](int i) {
        editor.setCursor(EditCursor::at({mid + 1, 0}));
        editor.place(kCoil, formatAddress('Y', 1 + i % 100, 0));   // scans every line for the coil
    });
    std::printf("place coil               %.3f ms (one coil per address check)\n", coil);
    // The ring holds 50 steps: undo and redo are timed over exactly those.
    const double undo = msPer(kUndoSteps, [&](int) { stack.undo(); });
    const double redo = msPer(kUndoSteps, [&](int) { stack.redo(); });
    std::printf("undo / redo cell         %.4f / %.4f ms\n", undo, redo);

    const double insert = msPer(kUndoSteps / 2, [&](int) {
        editor.setCursor(EditCursor::at({0, 0}));
        editor.insertLines(1);
        editor.deleteLines();
    }) / 2;
    std::printf("insert or delete line 1  %.3f ms\n", insert);
    std::printf("50 line steps            %.2f MB held\n", double(stackBytes(stack)) / 1e6);
    const double undoLines = msPer(kUndoSteps, [&](int) { stack.undo(); });
    const double redoLines = msPer(kUndoSteps, [&](int) { stack.redo(); });
    std::printf("undo / redo line         %.4f / %.4f ms\n", undoLines, redoLines);

    int replaced = 0;
    for (int l = 0; l < doc.editLadder.lineCount(); ++l)
        for (int c = 0; c < kColumns; ++c)
            replaced += doc.editLadder.cell(l, c).text() == "X000.0";
    QUndoStack ring;
    LadderEditor replacing(doc, compiler, ring, 1);
    const double replaceAll = msPer(50, [&](int i) {
        if (i % 2 == 0)
            replacing.replaceAll("X000.0", "X000.5");
        else
            replacing.replaceAll("X000.5", "X000.0");
    });
    std::printf("replace all              %.3f ms (%d cells)\n", replaceAll, replaced);
    std::printf("50 replace-all steps     %.2f MB held\n", double(stackBytes(ring)) / 1e6);
    const double undoAll = msPer(50, [&](int) { ring.undo(); });
    std::printf("undo replace all         %.3f ms\n", undoAll);

    LadderProgram copy;
    const double snapshot = msPer(20, [&](int) { copy = doc.editLadder; });
    const double snapshotMb = double(doc.editLadder.lineCount()) * sizeof(LadderRow) / 1e6;
    std::printf("peer: whole-ladder copy  %.3f ms, %.2f MB per step (cell edit / copy = %.3f)\n", snapshot,
                snapshotMb, contact / snapshot);
    return 0;
}
