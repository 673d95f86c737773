// SPDX-License-Identifier: GPL-3.0-or-later
// nceditor_bench: how the NC editors of Fernlink and Fernport handle a long program, beside a
// plain QPlainTextEdit given the same file in the same way (read, decode GBK, setPlainText).
// The programs' editor paints only the lines in view over the decoded text kept once.
//
//   nceditor_bench make FILE [LINES]        writes a GBK program with CR LF ends (400,000 lines,
//                                           about 20 MB)
//   nceditor_bench run plain|fernlink|fernport FILE
//
// One editor per process, so the resident size is that editor's alone; bench/run alternates
// them. Prints: open to first paint (wall ms), resident and peak MB after it, page scroll and
// search times (median and worst ms).
#include "common/nctext.h"
#include "common/prompter.h"
#include "common/ui/ncdocument.h"
#include "common/ui/nceditor.h"
#include "fernlink/ui/editorview.h"
#include "fernlink/ui/mainframe.h"
#include "fernport/mainframe.h"
#include "fernport/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double residentMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

int make(const QString& path, int lines)
{
    QByteArray out;
    out.reserve(qsizetype(lines) * 56);
    for (int i = 1; i <= lines; ++i) {
        out += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number((i * 37) % 1000) + ".125 Y-"
             + QByteArray::number((i * 13) % 700) + ".5 Z-1.25 F1500 S12000";
        if (i % 50 == 0)
            out += " (\xB4\xD6\xBC\xD3\xB9\xA4)";  // a GBK comment now and then
        out += "\r\n";
    }
    out += "M30\r\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("wrote %s: %d lines, %lld bytes\n", qPrintable(path), lines + 1, static_cast<long long>(out.size()));
    return 0;
}

// The main thread's processor time: on a shared machine the wall clock also counts the time
// other programs held the cores.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Stats {
    double median = 0, worst = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

int run(const QString& which, const QString& path)
{
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    std::unique_ptr<QWidget> window;
    QAbstractScrollArea* editor = nullptr;
    std::function<void()> toStart;
    std::function<int()> lines;
    std::function<QString()> lastLine;
    std::function<bool()> open;
    std::function<bool(const QString&)> find;
    std::unique_ptr<vantor::fernport::FernportSettings> portSettings;
    vantor::NcEditor* ours = nullptr;

    if (which == QLatin1String("plain")) {
        auto* plain = new QPlainTextEdit;
        plain->setLineWrapMode(QPlainTextEdit::NoWrap);
        window.reset(plain);
        editor = plain;
        open = [plain, &path] {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                return false;
            QStringDecoder gbk("GBK");
            plain->setPlainText(gbk.decode(f.readAll()));
            return true;
        };
        find = [plain](const QString& what) { return plain->find(what); };
        toStart = [plain] { plain->moveCursor(QTextCursor::Start); };
        lines = [plain] { return plain->document()->blockCount(); };
        lastLine = [plain] { return plain->document()->lastBlock().previous().text(); };
    } else if (which == QLatin1String("fernlink")) {
        vantor::fernlink::ui::MainFrameOptions o;
        o.settingsFile = dir.filePath(QStringLiteral("fernlink.ini"));
        o.dataFolder = dir.filePath(QStringLiteral("data"));
        o.autostartFolder = dir.filePath(QStringLiteral("autostart"));
        o.prompter = &prompter;
        o.assumeTray = true;
        auto* frame = new vantor::fernlink::ui::CMainFrame(o);
        window.reset(frame);
        ours = frame->editor();
        open = [frame, &path] { return frame->openDocument(path); };
        find = [frame](const QString& what) { return frame->editor()->findNext(what, false); };
    } else if (which == QLatin1String("fernport")) {
        portSettings = std::make_unique<vantor::fernport::FernportSettings>(dir.filePath(QStringLiteral("fernport.ini")));
        auto* frame = new vantor::fernport::CMainFrame(*portSettings, &prompter);
        window.reset(frame);
        ours = frame->editor();
        open = [frame, &path] { return frame->openDocument(path); };
        // What the find dialog does.
        find = [frame](const QString& what) { return vantor::findNcText(*frame->editor(), what, false); };
    } else {
        std::fprintf(stderr, "unknown editor %s\n", qPrintable(which));
        return 2;
    }
    if (ours) {
        editor = ours;
        toStart = [ours] { ours->moveCursor(QTextCursor::Start); };
        lines = [ours] { return ours->lineCount(); };
        lastLine = [ours] { return ours->store().line(ours->lineCount() - 2).toString(); };
    }
    window->resize(1280, 800);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return 1;
    QApplication::processEvents();
    const double rssBefore = residentMb("VmRSS:");

    QElapsedTimer t;
    const double cpuBefore = cpuMs();
    t.start();
    if (!open()) {
        std::fprintf(stderr, "%s could not open %s\n", qPrintable(which), qPrintable(path));
        return 1;
    }
    editor->viewport()->repaint();
    const double openMs = t.nsecsElapsed() / 1e6;
    const double openCpuMs = cpuMs() - cpuBefore;
    QApplication::processEvents();
    const double rss = residentMb("VmRSS:");
    const double peak = residentMb("VmHWM:");

    // Page steps through the program, each to its repaint.
    QScrollBar* bar = editor->verticalScrollBar();
    std::vector<double> scroll;
    for (int i = 0; i < 40; ++i) {
        t.restart();
        bar->setValue(int((qint64(bar->maximum()) * ((i * 7919) % 40)) / 40));
        editor->viewport()->repaint();
        scroll.push_back(t.nsecsElapsed() / 1e6);
    }
    for (int i = 0; i < 20; ++i) {
        t.restart();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        editor->viewport()->repaint();
        scroll.push_back(t.nsecsElapsed() / 1e6);
    }

    // Search: the next N word (close by), and the last line from the top (the whole program).
    std::vector<double> near, far, farCpu;
    for (int i = 0; i < 10; ++i) {
        t.restart();
        find(QStringLiteral("F1500"));
        editor->viewport()->repaint();
        near.push_back(t.nsecsElapsed() / 1e6);
    }
    const QString last = lastLine();
    bool found = false;
    for (int i = 0; i < 5; ++i) {
        toStart();
        const double c0 = cpuMs();
        t.restart();
        found = find(QStringLiteral("M30"));
        editor->viewport()->repaint();
        far.push_back(t.nsecsElapsed() / 1e6);
        farCpu.push_back(cpuMs() - c0);
    }
    // Where the open time goes: the file's bytes decoded alone (GBK in one converter call).
    double decodeMs = 0;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            const double c0 = cpuMs();
            const vantor::NcDecodedText decoded = vantor::decodeNcText(bytes);
            decodeMs = cpuMs() - c0;
        }
    }
    const Stats s = stats(scroll), n = stats(near), f = stats(far);
    std::printf("editor %s: %d lines\n", qPrintable(which), lines());
    std::printf("open to first paint %.1f ms wall, %.1f ms cpu\n", openMs, openCpuMs);
    std::printf("decoding the file's bytes alone %.1f ms cpu\n", decodeMs);
    std::printf("resident %.1f MB after first paint (%.1f MB before opening), peak %.1f MB\n", rss, rssBefore, peak);
    std::printf("scroll and repaint: median %.2f ms, worst %.2f ms\n", s.median, s.worst);
    std::printf("find next nearby: median %.2f ms, worst %.2f ms\n", n.median, n.worst);
    std::printf("find the last line from the top: median %.2f ms, worst %.2f ms, first %.2f ms, median %.2f ms cpu (%s; last line %s)\n",
                f.median, f.worst, far.front(), stats(farCpu).median,
                found ? "found" : "NOT FOUND", qPrintable(last.left(20)));
    if (ours) {
        // Every line's feed changed at once: what a replace-all and its undo step cost.
        t.restart();
        const int replaced = ours->replaceAll(QStringLiteral("F1500"), QStringLiteral("F1200"), true);
        ours->viewport()->repaint();
        const double replaceMs = t.nsecsElapsed() / 1e6;
        std::printf("replace all (%d places) %.1f ms wall, resident %.1f MB after it\n", replaced, replaceMs,
                    residentMb("VmRSS:"));
        t.restart();
        ours->undo();
        ours->viewport()->repaint();
        std::printf("undo of the replace-all %.1f ms wall\n", t.nsecsElapsed() / 1e6);
    }
    return found ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "make") == 0)
        return make(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 400000);
    if (argc < 4 || qstrcmp(argv[1], "run") != 0) {
        std::fprintf(stderr, "usage: nceditor_bench make FILE [LINES] | run plain|fernlink|fernport FILE\n");
        return 2;
    }
    QApplication app(argc, argv);
    return run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
}
