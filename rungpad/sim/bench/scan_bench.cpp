// SPDX-License-Identifier: GPL-3.0-or-later
// One scan of the densest ladder the limits allow (5000 lines, the shared dense ladder the
// converter and view benchmarks use), with the inputs toggling between scans so every
// network's result changes. Beside it, as peers measured in the same run: working out the
// power flow of one screen (30 lines) and of the whole ladder, which the window does per frame.
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/sim/engine.h"
#include "rungpad/sim/powerflow.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace rungpad;

namespace {
template <typename F>
double medianMicros(int rounds, F f)
{
    std::vector<double> t;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        f(i);
        t.push_back(double(timer.nsecsElapsed()) / 1e3);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
}  // namespace

int main()
{
    auto ladder = readLadderText(bench::denseLadderText(kMaxLines - 1));
    if (!ladder)
        return 1;
    LadderCompiler compiler(&*ladder);
    if (!compiler.convert()) {
        std::fprintf(stderr, "conversion failed\n");
        return 1;
    }
    sim::LoadError error;
    auto program = sim::loadInstructionList(compiler.instructionLines(), &error);
    if (!program) {
        std::fprintf(stderr, "load failed: %s\n", qPrintable(error.message));
        return 1;
    }
    sim::VirtualClock clock;
    sim::Engine engine(clock);
    const size_t ops = program->ops.size();
    engine.load(std::move(*program));
    const auto x0 = *sim::parseLocation("X000.0");
    const auto x1 = *sim::parseLocation("X001.0");
    const int rounds = 400;
    const double scanUs = medianMicros(rounds, [&](int i) {
        engine.memory().setBit(x0, i & 1);
        engine.memory().setBit(x1, i & 2);
        clock.advance(8);
        engine.scan();
    });
    sim::PowerFlow flow;
    const double screenUs = medianMicros(rounds, [&](int i) { flow.compute(*ladder, engine.memory(), i * 7 % 4900, i * 7 % 4900 + 30); });
    const double wholeUs = medianMicros(20, [&](int) { flow.compute(*ladder, engine.memory(), 0, kMaxLines); });
    std::printf("ladder lines            %d\n", ladder->lineCount());
    std::printf("instructions            %zu\n", ops);
    std::printf("scan                    %.1f us median of %d (limit 1000 us)\n", scanUs, rounds);
    std::printf("instructions per us     %.1f\n", double(ops) / scanUs);
    std::printf("peer: power flow, 30 lines     %.1f us (scan / this = %.1f)\n", screenUs, scanUs / screenUs);
    std::printf("peer: power flow, whole ladder %.1f us (scan / this = %.2f)\n", wholeUs, scanUs / wholeUs);
    return 0;
}
