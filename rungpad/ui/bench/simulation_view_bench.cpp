// SPDX-License-Identifier: GPL-3.0-or-later
// Simulation mode's frames on the 5000-line dense ladder (the converter and scan benchmarks'
// ladder): each frame advances the ladder by 16 ms of virtual time (two scans), scrolls the
// view by a few lines and repaints it with power flow and live values. The peer is the same
// scrolling repaint with the editor's plain drawing, measured in the same run.
//   rungpad_simulation_view_bench [--platform offscreen|xcb ...]
#include "common/prompter.h"
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/ui/bench/benchsupport.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/simulationmode.h"
#include "rungpad/ui/simulationsession.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace rungpad;
using namespace rungpad::ui;

namespace {

using bench::quantile;
using bench::threadCpuMs;

struct Frames : bench::Timings {
    void print(const char* what) const
    {
        std::printf("%-28s wall: median %6.2f p95 %6.2f worst %6.2f ms | cpu: median %6.2f p95 %6.2f worst %6.2f ms"
                    " | %.0f frames/s at the median\n",
                    what, quantile(wall, 0.5), quantile(wall, 0.95), quantile(wall, 1.0), quantile(cpu, 0.5),
                    quantile(cpu, 0.95), quantile(cpu, 1.0), 1000.0 / std::max(0.001, quantile(wall, 0.5)));
    }
};

template <typename Step>
Frames frames(CRungpadView* view, int count, Step step)
{
    Frames f;
    QScrollBar* bar = view->verticalScrollBar();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = threadCpuMs();
        step();
        bar->setValue((bar->value() + 3 * 48) % std::max(1, bar->maximum()));
        view->viewport()->repaint();
        f.add(bench::ms(wall), threadCpuMs() - cpu0);
    }
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    auto ladder = readLadderText(bench::denseLadderText(kMaxLines - 1));
    const QString path = dir.filePath(QStringLiteral("dense.grp"));
    QFile out(path);
    if (!ladder || !out.open(QIODevice::WriteOnly) || out.write(formatLadderPart(*ladder, {}, NumberField::FromText)) < 0)
        return 1;
    out.close();
    vantor::ScriptedPrompter prompter;
    CMainFrame frame(FrameOptions{&prompter, nullptr, dir.path()});
    frame.resize(1440, 900);
    frame.show();
    if (!frame.openFile(path))
        return 1;
    CRungpadView* view = frame.activeView();
    app.processEvents();

    const int count = 300;
    const Frames plain = frames(view, count, [] {});
    frame.simulation()->toggleAction()->trigger();
    if (!frame.simulation()->isActive())
        return 1;
    frame.simulation()->runAction()->setChecked(false);
    SimulationSession* session = frame.simulation()->session();
    int n = 0;
    const Frames live = frames(view, count, [&] {
        session->engine().memory().setBit(*sim::parseLocation("X000.0"), (n++ / 10) & 1);
        session->advance(16);
    });
    std::printf("ladder lines %d, viewport %dx%d, %d frames each\n", view->document()->ladder().lineCount(),
                view->viewport()->width(), view->viewport()->height(), count);
    live.print("simulation frame");
    plain.print("peer: editor frame");
    std::printf("simulation / editor (median wall) = %.2f\n", quantile(live.wall, 0.5) / std::max(0.001, quantile(plain.wall, 0.5)));
    return 0;
}
