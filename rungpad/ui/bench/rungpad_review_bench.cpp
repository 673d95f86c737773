// SPDX-License-Identifier: GPL-3.0-or-later
// The review features on the largest ladder a file holds (5000 lines, every cell an element
// with an address, every address commented): the view's repaint and page scroll with the
// comments drawn (and without, measured in the same run for the ratio), the whole-program
// cross-reference (engine and the dock's list), and the comparison of two 5000-line ladders,
// one with scattered edits and one entirely different.
//   rungpad_review_bench [--platform offscreen|xcb ...]
#include "common/archive.h"
#include "common/prompter.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/address.h"
#include "rungpad/review/crossreference.h"
#include "rungpad/review/ladderdiff.h"
#include "rungpad/ui/bench/benchsupport.h"
#include "rungpad/ui/crossreferencepanel.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace rungpad;
using rungpad::bench::ms;
using rungpad::bench::threadCpuMs;
using rungpad::bench::waitExposed;

namespace {

struct Samples : bench::Timings {
    double median() const { return bench::quantile(cpu, 0.5); }
    void print(const char* what, const char* goal) const
    {
        using bench::quantile;
        std::printf("%-36s cpu: median %7.2f, p95 %7.2f, worst %7.2f ms | wall median %7.2f ms  (%zu runs)  %s\n", what,
                    quantile(cpu, 0.5), quantile(cpu, 0.95), quantile(cpu, 1.0), quantile(wall, 0.5), cpu.size(), goal);
    }
};

Samples measure(int runs, const std::function<void()>& work)
{
    Samples s;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const double c = threadCpuMs();
        work();
        s.add(ms(t), threadCpuMs() - c);
    }
    return s;
}

CommentTables everyAddressCommented()
{
    CommentTables t;
    for (int byte = 0; byte < 128; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            t.setCommentOf(formatAddress('X', byte, bit), QStringLiteral("输入 input signal %1.%2 of the machine").arg(byte).arg(bit));
    for (int byte = 0; byte < 1000; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            t.setCommentOf(formatAddress('R', byte, bit), QStringLiteral("relay %1.%2 中间继电器").arg(byte).arg(bit));
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    vantor::ScriptedPrompter prompter;

    const LadderProgram ladder = bench::densestLadder(true, 0);
    const CommentTables comments = everyAddressCommented();
    const QString path = dir.filePath(QStringLiteral("densest.plf"));
    vantor::saveFileAtomically(path, formatLadderPart(ladder, {}, NumberField::FromText) + formatCommentRecords(ladder, comments));

    ui::CMainFrame frame(ui::FrameOptions{&prompter, nullptr, dir.path()});
    frame.resize(1280, 960);
    frame.show();
    waitExposed(frame);
    if (!frame.openFile(path)) {
        std::printf("open failed\n");
        return 1;
    }
    ui::CRungpadView* view = frame.activeView();
    std::printf("ladder: %d lines, every address commented; viewport %dx%d px, %d lines a page, platform %s\n", kMaxLines,
                view->viewport()->width(), view->viewport()->height(), view->linesPerPage(),
                qPrintable(QGuiApplication::platformName()));

    auto repaint = [&] { view->viewport()->repaint(); };
    auto pageThrough = [&] {
        Samples frames;
        QScrollBar* bar = view->verticalScrollBar();
        for (int value = 0;; value += bar->pageStep()) {
            QElapsedTimer t;
            t.start();
            const double c = threadCpuMs();
            bar->setValue(std::min(value, bar->maximum()));
            view->viewport()->repaint();
            frames.add(ms(t), threadCpuMs() - c);
            if (value >= bar->maximum())
                break;
        }
        bar->setValue(0);
        return frames;
    };
    view->setCommentsShown(false);
    repaint();
    const Samples plainRepaint = measure(200, repaint);
    const Samples plainScroll = pageThrough();
    view->setCommentsShown(true);
    repaint();
    const Samples commentRepaint = measure(200, repaint);
    const Samples commentScroll = pageThrough();
    plainRepaint.print("repaint, comments off", "");
    commentRepaint.print("repaint, comments drawn", "(goal <= 8 ms)");
    plainScroll.print("page step, comments off", "");
    commentScroll.print("page step, comments drawn", "(goal <= 16 ms)");
    std::printf("comments drawn / off: repaint x%.2f, page step x%.2f (medians)\n",
                commentRepaint.median() / std::max(1e-6, plainRepaint.median()),
                commentScroll.median() / std::max(1e-6, plainScroll.median()));

    const Samples xref = measure(30, [&] { (void)buildProgramCrossReference(ladder, comments); });
    xref.print("cross-reference, 5000 lines", "(goal <= 50 ms)");
    ui::CCrossReferencePanel panel;
    const Samples dock = measure(5, [&] { panel.rebuild(&ladder, &comments, 1); });
    dock.print("cross-reference dock filled", "");

    // Fifty scattered edits: a changed address, an inserted and a removed line each.
    LadderProgram edited = ladder;
    for (int i = 0; i < 50; ++i) {
        const int line = 50 + i * 97;
        if (LadderRow* row = edited.mutableLine(line))
            (*row)[3].setText("X099.9");
    }
    for (int i = 0; i < 20; ++i) {
        edited.deleteLines(300 + i * 211, 1);
        edited.insertLines(400 + i * 211, 1);
    }
    LadderDiff d;
    const Samples diffScattered = measure(20, [&] { d = diffLadders(ladder, edited); });
    diffScattered.print("diff 5000 lines, 90 scattered edits", "(goal <= 200 ms)");
    std::printf("  -> %d added, %d removed, %d changed\n", d.added, d.removed, d.changed);
    const LadderProgram other = bench::densestLadder(true, 5);
    const Samples diffUnrelated = measure(5, [&] { d = diffLadders(ladder, other); });
    diffUnrelated.print("diff 5000 lines, every line different", "(goal <= 200 ms)");
    std::printf("  -> %d added, %d removed, %d changed\n", d.added, d.removed, d.changed);
    return 0;
}
