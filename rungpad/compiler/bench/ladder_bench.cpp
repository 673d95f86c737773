// SPDX-License-Identifier: GPL-3.0-or-later
// Converts the largest ladder the limits allow (5000 dense lines, just under the record
// limit) several times and prints the time per conversion and records per second, beside
// the time of reading the same ladder from its text form as a peer measured in the same run.
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <ctime>

using namespace rungpad;

namespace {

QString denseLadder() { return bench::denseLadderText(kMaxLines - 1); }

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
}  // namespace

int main()
{
    const QString text = denseLadder();
    const int rounds = 20;

    QElapsedTimer peer;
    peer.start();
    std::optional<LadderProgram> ladder;
    for (int i = 0; i < rounds; ++i)
        ladder = readLadderText(text);
    const double readMs = double(peer.nsecsElapsed()) / 1e6 / rounds;
    if (!ladder) {
        std::fprintf(stderr, "ladder text did not read\n");
        return 1;
    }

    LadderCompiler compiler(&*ladder);
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = threadCpuMs();
    bool ok = true;
    for (int i = 0; i < rounds; ++i)
        ok = compiler.convert() && ok;
    const double convertMs = double(timer.nsecsElapsed()) / 1e6 / rounds;
    const double convertCpuMs = (threadCpuMs() - cpuStart) / rounds;
    if (!ok) {
        const auto e = compiler.lastError();
        std::fprintf(stderr, "conversion failed: %s\n", qPrintable(formatErrorMessage(*e, 1)));
        return 1;
    }
    const size_t records = compiler.codeImage().records.size();
    std::printf("ladder lines         %d\n", ladder->lineCount());
    std::printf("instruction lines    %zu\n", compiler.instructionLines().size());
    std::printf("code records         %zu (limit %d)\n", records, kMaxCodeRecords);
    std::printf("convert              %.2f ms per ladder\n", convertMs);
    // On a busy machine the wall time holds other programs' turns; the CPU time does not.
    std::printf("convert cpu          %.2f ms per ladder\n", convertCpuMs);
    std::printf("records per second   %.0f\n", double(records) / (convertMs / 1000.0));
    std::printf("peer: read text form %.2f ms (convert / read = %.2f)\n", readMs, convertMs / readMs);
    return 0;
}
