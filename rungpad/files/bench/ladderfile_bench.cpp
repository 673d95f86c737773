// SPDX-License-Identifier: GPL-3.0-or-later
// Load, convert and save the largest ladder a file may hold (5000 lines, every comment table
// full), each step timed and set against moving the same bytes through a plain file.
#include "common/archive.h"
#include "common/prompter.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/address.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("largest.plf"));
    const QByteArray bytes = largestLadder();
    vantor::saveFileAtomically(source, bytes);
    std::printf("ladder file: %d lines, %lld bytes\n", kMaxLines, static_cast<long long>(bytes.size()));

    QElapsedTimer t;
    t.start();
    QString why;
    (void)vantor::readWholeFile(source, &why);
    const double plainRead = ms(t);
    t.restart();
    vantor::saveFileAtomically(dir.filePath(QStringLiteral("plain.bin")), bytes);
    const double plainWrite = ms(t);

    LadderDocument doc;
    CompilerConversion conversion(1);
    vantor::ScriptedPrompter prompter;
    Silent output;
    LadderFileCommands commands(doc, conversion, FileCommandEnvironment{prompter, output, 1, dir.path()});

    t.restart();
    const bool opened = commands.open(source);
    const double load = ms(t);
    t.restart();
    const bool converted = commands.convert();
    const double convert = ms(t);
    t.restart();
    const bool saved = commands.save(dir.filePath(QStringLiteral("saved.plf")));
    const double save = ms(t);
    t.restart();
    const bool binary = commands.generateBinaryFile(dir.filePath(QStringLiteral("Ladbin.dat")));
    const double bin = ms(t);

    std::printf("plain read      %9.2f ms\n", plainRead);
    std::printf("plain write     %9.2f ms\n", plainWrite);
    std::printf("load            %9.2f ms  (%s)  x%.1f plain read\n", load, opened ? "ok" : "FAILED",
                plainRead > 0 ? load / plainRead : 0.0);
    std::printf("convert         %9.2f ms  (%s, %zu records)\n", convert, converted ? "ok" : "FAILED",
                conversion.output().records.size());
    std::printf("save (converts) %9.2f ms  (%s)  x%.1f plain write\n", save, saved ? "ok" : "FAILED",
                plainWrite > 0 ? save / plainWrite : 0.0);
    std::printf("binary file     %9.2f ms  (%s)\n", bin, binary ? "ok" : "FAILED");
    return opened && converted && saved && binary ? 0 : 1;
}
