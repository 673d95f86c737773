// Converts the largest ladder the limits allow (5000 dense lines, just under the record
// limit) several times and prints the time per conversion and records per second, beside
// the time of reading the same ladder from its text form as a peer measured in the same run.
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

using namespace rungpad;

namespace {
QByteArray nextCoil(int& n)
{
    for (;;) {
        const int byte = n / 8;
        const int bit = n % 8;
        ++n;
        if (byte != 255 && byte != 990 && byte != 991)
            return formatAddress('R', byte, bit);
    }
}

// Networks of two lines: three "OR" networks, then one "AND of ORs"; every cell of the
// first line of each network is used.
QString denseLadder()
{
    QString text = "- - - - {7100:END1} - - - - -\n";
    int lines = 1;
    int coil = 0;
    int kind = 0;
    while (lines + 2 <= kMaxLines - 1) {
        const QString c = QString::fromLatin1(nextCoil(coil));
        if (kind++ % 4 != 3)
            text += QStringLiteral("X000.0+ - - - - - - - - (%1)\n/X001.0\n").arg(c);
        else
            text += QStringLiteral("X000.0+ X000.2+ - - - - - - - (%1)\n/X000.1 X000.3\n").arg(c);
        lines += 2;
    }
    while (lines < kMaxLines - 1) {
        text += "- - - - - - - - - -\n";
        ++lines;
    }
    return text + "- - - - {7200:END2} - - - - -\n";
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
    bool ok = true;
    for (int i = 0; i < rounds; ++i)
        ok = compiler.convert() && ok;
    const double convertMs = double(timer.nsecsElapsed()) / 1e6 / rounds;
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
    std::printf("records per second   %.0f\n", double(records) / (convertMs / 1000.0));
    std::printf("peer: read text form %.2f ms (convert / read = %.2f)\n", readMs, convertMs / readMs);
    return 0;
}
