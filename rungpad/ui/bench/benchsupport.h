// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window benchmarks share: wall and thread-CPU clocks, the quantiles of a series of
// runs, the wait for a shown window, and the densest ladder a file holds.
#include "rungpad/model/address.h"
#include "rungpad/model/ladder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <ctime>
#include <vector>

namespace rungpad::bench {

inline double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// CPU time of this thread: what a frame costs on a core of its own, whatever else the
// machine is running (the wall-clock figures are printed beside it).
inline double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The value below which the fraction q of the series lies (1.0: the worst).
inline double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

// Wall and CPU times of repeated runs of one thing.
struct Timings {
    std::vector<double> wall, cpu;
    void add(double w, double c)
    {
        wall.push_back(w);
        cpu.push_back(c);
    }
};

inline void waitExposed(QWidget& w)
{
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Every line full: contacts on every cell with a vertical link on every third, a coil and a
// line note. mixRelays puts R addresses on every third column; variant shifts the addresses,
// so two ladders of the same shape differ everywhere.
inline LadderProgram densestLadder(bool mixRelays = false, int variant = 0)
{
    LadderProgram p;
    p.clear();
    for (int line = 0; line < kMaxLines; ++line) {
        LadderRow row;
        for (int c = 0; c < kOutputColumn; ++c) {
            row[c].code = c % 2 ? kContactNC : kContactNO;
            row[c].setText(formatAddress(mixRelays && c % 3 == 0 ? 'R' : 'X', (line + c + variant) % 128, (c + variant) % 8));
            row[c].verticalLink = (line + c) % 3 == 0;
        }
        row[kOutputColumn].code = line % 2 ? kCoilNot : kCoil;
        row[kOutputColumn].setText(formatAddress('R', (line + variant) % 1000, line % 8));
        p.appendLoadedLine(row);
        p.setNote(line, QStringLiteral("第%1行 line note for the shop").arg(line + 1));
    }
    return p;
}

}  // namespace rungpad::bench
