// SPDX-License-Identifier: GPL-3.0-or-later
// Load, convert and save the largest ladder a file may hold (5000 lines, every comment table
// full), each step timed and set against moving the same bytes through a plain file, the
// peers taken in the same rounds.
#include "common/archive.h"
#include "common/prompter.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/address.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <vector>

#include <cstdio>
#include <ctime>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace rungpad;

namespace {

LadderRow wires()
{
    LadderRow row;
    for (int c = 0; c < kColumns; ++c)
        row[c].code = kHorizontalWire;
    return row;
}

LadderRow endLine(quint16 code, const char* name)
{
    LadderRow row = wires();
    row[4].code = code;
    row[4].setText(name);
    return row;
}

// END1 first (its level must stay small), then contact/coil networks on distinct relay coils,
// blank wire lines, END2 last: 5000 lines that convert.
QByteArray largestLadder()
{
    LadderProgram p;
    p.clear();
    p.appendLoadedLine(endLine(fn::END1, "END1"));
    int relay = 0;
    for (int n = 0; n < 3000; ++n) {
        if (relay / 8 == 255)
            relay += 8;
        LadderRow row = wires();
        row[0].code = kContactNO;
        row[0].setText(formatAddress('X', (n / 8) % 128, n % 8));
        row[9].code = kCoil;
        row[9].setText(formatAddress('R', relay / 8, relay % 8));
        ++relay;
        p.appendLoadedLine(row);
    }
    while (p.lineCount() < kMaxLines - 1)
        p.appendLoadedLine(wires());
    p.appendLoadedLine(endLine(fn::END2, "END2"));
    CommentTables tables;
    for (int i = 0; i < kMaxLines; ++i)
        p.setNote(i, QStringLiteral("第%1行 line note").arg(i));
    for (int i = 0; i < kNotationEntries; ++i)
        tables.notation.set(i, QStringLiteral("信号 %1").arg(i));
    for (int i = 0; i < kRelayNotationEntries; ++i)
        tables.relay.set(i, QStringLiteral("继电器 %1").arg(i));
    return formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, tables);
}

class Silent : public OutputSink {
public:
    void outputLine(const QString&) override {}
};

double ms(QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Median of the rounds with their spread, so one figure taken while the machine was busy
// does not decide.
struct Figure {
    std::vector<double> samples;
    void add(double v) { samples.push_back(v); }
    double median() const
    {
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s.empty() ? 0.0 : s[s.size() / 2];
    }
    QByteArray spread() const
    {
        const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
        return QByteArray("[") + QByteArray::number(*lo, 'f', 2) + "-" + QByteArray::number(*hi, 'f', 2) + " over "
            + QByteArray::number(qsizetype(samples.size())) + "]";
    }
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1.0;
}

}  // namespace

// rungpad_files_bench [rounds]: each step that many times (5 unless told), interleaved with
// the plain read and write it is set against; medians with their spread.
int main(int argc, char** argv)
{
#ifdef __GLIBC__
    // Buffers of a file's size stay in the heap rather than in fresh mappings: otherwise
    // whether the plain read or the load pays for faulting in new pages depended on what the
    // step before had freed, and that swung the plain read between 0.12 and 0.55 ms.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("largest.plf"));
    const QByteArray bytes = largestLadder();
    vantor::saveFileAtomically(source, bytes);
    std::printf("ladder file: %d lines, %lld bytes\n", kMaxLines, static_cast<long long>(bytes.size()));
    const double loadBefore = loadAverage();

    Figure plainRead, plainWrite, load, firstLook, convert, save, bin;
    // CPU time of this thread: on a busy machine the wall time holds other programs' turns.
    Figure readCpu, writeCpu, loadCpu, convertCpu, saveCpu;
    bool opened = true, converted = true, saved = true, binary = true;
    size_t records = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer t;
        t.start();
        double cpu = threadCpuMs();
        QString why;
        (void)vantor::readWholeFile(source, &why);
        plainRead.add(ms(t));
        readCpu.add(threadCpuMs() - cpu);

        LadderDocument doc;
        CompilerConversion conversion(1);
        vantor::ScriptedPrompter prompter;
        Silent output;
        LadderFileCommands commands(doc, conversion, FileCommandEnvironment{prompter, output, 1, dir.path()});
        t.restart();
        cpu = threadCpuMs();
        opened = commands.open(source) && opened;
        load.add(ms(t));
        loadCpu.add(threadCpuMs() - cpu);

        t.restart();
        cpu = threadCpuMs();
        vantor::saveFileAtomically(dir.filePath(QStringLiteral("plain.bin")), bytes);
        plainWrite.add(ms(t));
        writeCpu.add(threadCpuMs() - cpu);

        t.restart();
        cpu = threadCpuMs();
        converted = commands.convert() && converted;
        convert.add(ms(t));
        convertCpu.add(threadCpuMs() - cpu);
        records = conversion.output().records.size();
        t.restart();
        cpu = threadCpuMs();
        saved = commands.save(dir.filePath(QStringLiteral("saved.plf"))) && saved;
        save.add(ms(t));
        saveCpu.add(threadCpuMs() - cpu);
        t.restart();
        binary = commands.generateBinaryFile(dir.filePath(QStringLiteral("Ladbin.dat"))) && binary;
        bin.add(ms(t));
    }
    // The comment texts are decoded when first looked at: what that first look costs, in
    // rounds of its own (the decoded texts change the heap the plain read above works in).
    for (int round = 0; round < rounds; ++round) {
        LadderDocument doc;
        CompilerConversion conversion(1);
        vantor::ScriptedPrompter prompter;
        Silent output;
        LadderFileCommands commands(doc, conversion, FileCommandEnvironment{prompter, output, 1, dir.path()});
        opened = commands.open(source) && opened;
        QElapsedTimer t;
        t.start();
        (void)doc.editLadder.note(0);
        (void)doc.comments.notation.at(0);
        (void)doc.comments.relay.at(0);
        firstLook.add(ms(t));
    }
    const double loadAfter = loadAverage();

    std::printf("plain read      %9.2f ms  %s\n", plainRead.median(), plainRead.spread().constData());
    std::printf("plain write     %9.2f ms  %s\n", plainWrite.median(), plainWrite.spread().constData());
    std::printf("load            %9.2f ms  (%s)  x%.1f plain read  %s\n", load.median(), opened ? "ok" : "FAILED",
                plainRead.median() > 0 ? load.median() / plainRead.median() : 0.0, load.spread().constData());
    std::printf("comments, first look %4.2f ms  (decoded on first use, not during load)  %s\n", firstLook.median(),
                firstLook.spread().constData());
    std::printf("convert         %9.2f ms  (%s, %zu records)  %s\n", convert.median(), converted ? "ok" : "FAILED",
                records, convert.spread().constData());
    std::printf("save (converts) %9.2f ms  (%s)  x%.1f plain write  %s\n", save.median(), saved ? "ok" : "FAILED",
                plainWrite.median() > 0 ? save.median() / plainWrite.median() : 0.0, save.spread().constData());
    std::printf("binary file     %9.2f ms  (%s)  %s\n", bin.median(), binary ? "ok" : "FAILED", bin.spread().constData());
    std::printf("cpu: plain read %.2f, load %.2f (x%.1f), plain write %.2f, convert %.2f, save %.2f (x%.1f of "
                "3 plain writes + convert) ms\n",
                readCpu.median(), loadCpu.median(), loadCpu.median() / std::max(0.001, readCpu.median()),
                writeCpu.median(), convertCpu.median(), saveCpu.median(),
                saveCpu.median() / std::max(0.001, 3 * writeCpu.median() + convertCpu.median()));
    std::printf("load average    %.2f before, %.2f after (%d cores)%s\n", loadBefore, loadAfter,
                QThread::idealThreadCount(),
                std::max(loadBefore, loadAfter) > QThread::idealThreadCount() ? "  LOADED: figures unsteady" : "");
    return opened && converted && saved && binary ? 0 : 1;
}
