// SPDX-License-Identifier: GPL-3.0-or-later
// Golden digests: what the converter and the editor checks answer today, over thousands of
// seeded random ladders, the hand-made ladders of the tests (tests/golden/handmade_ladders.txt)
// and sweeps of every check, each folded into a SHA-1 and compared with the recorded table
// (tests/golden/digests.txt). A restructuring must leave every line of the table as it is.
// RUNGPAD_GOLDEN_RECORD=<file> writes the table anew instead of comparing (only after a change
// of behaviour that is meant).
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/model/laddertext.h"

#include "ladder_generator.h"
#include "ladder_helpers.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>

#include <map>

using namespace rungpad;
using namespace rungpad::testing;

namespace {

QString goldenDir()
{
    return qEnvironmentVariable("VANTOR_SOURCE_DIR") + QStringLiteral("/rungpad/compiler/tests/golden/");
}

QByteArray number(int n) { return QByteArray::number(n); }

// Everything a conversion answers: result, instruction lines, code image, every error
// recorded and the header words it sets.
void addConversion(QCryptographicHash& h, LadderProgram& ladder)
{
    LadderCompiler c(&ladder);
    const bool ok = c.convert();
    h.addData(ok ? QByteArrayView("ok\n") : QByteArrayView("failed\n"));
    for (const QByteArray& l : c.instructionLines()) {
        h.addData(l);
        h.addData("\n");
    }
    h.addData(c.codeImage().toBinary());
    for (const ConvertError& e : c.errors())
        h.addData(number(e.code) + ' ' + number(e.line) + ' ' + number(e.detail) + '\n');
    h.addData(number(ladder.end1Line) + ' ' + number(ladder.stepCount) + ' ' + number(ladder.end1Step) + '\n');
}

void addAnswer(QCryptographicHash& h, const std::optional<QByteArray>& answer, const LadderCompiler& c)
{
    h.addData(answer ? *answer : QByteArray("-"));
    const auto e = c.lastError();
    h.addData(e ? ' ' + number(e->code) + ' ' + number(e->line) + '\n' : QByteArray(" none\n"));
}

// Texts a user might type: numbers around every limit, every prefix at the edges of its
// range, bit addresses with good and bad bits, case variants and plain junk.
QList<QByteArray> typedTexts()
{
    QList<QByteArray> out;
    for (const char* n : {"", "0", "1", "2", "3", "4", "5", "6", "8", "9", "99", "100", "101", "127", "128", "255", "256",
                          "257", "999", "1000", "1001", "1002", "1003", "1008", "1009", "2008", "9999", "10000",
                          "65535", "65536", "-1", "+5", " 5", "0005", "00005", "1 2", "abc"})
        out << n;
    for (const char* prefix : {"A", "B", "C", "D", "DC", "DT", "F", "G", "K", "R", "T", "X", "Y", "Z", "dc", "dt", "x", "r"})
        for (int n : {0, 5, 6, 63, 64, 127, 128, 255, 256, 990, 999, 1000})
            out << QByteArray(prefix) + QByteArray::number(n).rightJustified(4, '0');
    for (const char* a : {"A000.0", "G063.7", "G063.6", "K005.7", "K006.0", "R100.1", "R255.0", "R255",
                          "R990.0", "R991.7", "Y127.7", "Y128.0", "X000.0", "x1.2", "X12.3", "X012.8", "X012.9",
                          "X012.", "X012.34", "D010.3", "DC010.3", "DT0001.7", "F000.0", "T0001.1", "C0005.0",
                          "R0010.", "R1.2.3", "X-1.0", "X+1.0", "X 1.0", "XYZ", "X", ".5", "12345", "X00001"})
        out << a;
    return out;
}

// The ladder the editor checks run against: coils and numbered blocks already placed.
const char* kCheckLadder =
    "X000.0 - - {1900:TMR} {1901:0003} - - - - (R100.0)\n"
    "X000.1 - - - {1000:CTR} {1001:0005} - - - (R100.1)\n"
    "X000.2 - - - {2700:DIFU} {2701:0010} - - - (Y000.3)\n"
    "- - - - {3400:LBL} {3401:0002} - - - -\n"
    "X000.3 - - - - - - - - (G010.1)\n";

std::map<QByteArray, QByteArray> computeDigests()
{
    std::map<QByteArray, QByteArray> out;
    auto finish = [&](const QByteArray& name, QCryptographicHash& h) { out[name] = h.result().toHex(); };

    // Seeded random ladders, 500 to a digest so a change shows where it lies.
    for (const unsigned seed : {20261209u, 1u, 77u}) {
        LadderGenerator gen(seed);
        for (int chunk = 0; chunk < 4; ++chunk) {
            QCryptographicHash h(QCryptographicHash::Sha1);
            for (int i = 0; i < 500; ++i) {
                LadderProgram ladder = gen.next();
                addConversion(h, ladder);
            }
            finish("random/" + number(int(seed)) + '/' + number(chunk), h);
        }
    }
    // Drawn contact networks: the walker's parallel branches and buses.
    {
        NetworkDrawer drawer(22);
        for (int chunk = 0; chunk < 4; ++chunk) {
            QCryptographicHash h(QCryptographicHash::Sha1);
            for (int i = 0; i < 1000; ++i) {
                LadderProgram ladder = ladderOf(drawer.next());
                addConversion(h, ladder);
            }
            finish("networks/22/" + number(chunk), h);
        }
    }
    // The hand-made ladders, 20 to a digest.
    {
        QFile f(goldenDir() + QStringLiteral("handmade_ladders.txt"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QStringList texts = QString::fromUtf8(f.readAll()).split(QStringLiteral("====\n"));
        QCryptographicHash h(QCryptographicHash::Sha1);
        int inChunk = 0, chunk = 0;
        for (const QString& text : texts) {
            if (text.trimmed().isEmpty())
                continue;
            LadderProgram ladder = ladderOf(text);
            addConversion(h, ladder);
            if (++inChunk == 20) {
                finish("handmade/" + number(chunk++), h);
                h.reset();
                inChunk = 0;
            }
        }
        finish("handmade/" + number(chunk), h);
    }
    // The dense ladder of the benchmarks: the largest the limits allow, and a small one.
    for (const int lines : {kMaxLines - 1, 1200}) {
        QCryptographicHash h(QCryptographicHash::Sha1);
        LadderProgram ladder = ladderOf(bench::denseLadderText(lines));
        addConversion(h, ladder);
        finish("dense/" + number(lines), h);
    }
    // Editor checks: every parameter column of every instruction, with and without a format.
    {
        QCryptographicHash h(QCryptographicHash::Sha1);
        const QList<QByteArray> texts = typedTexts();
        LadderProgram ladder = ladderOf(QString::fromLatin1(kCheckLadder));
        LadderCompiler c(&ladder);
        for (const FunctionInstruction& f : kFunctionInstructions) {
            for (int column = 1; column <= std::max(1, f.width - 1); ++column) {
                for (const QByteArray& format : {QByteArray(), QByteArray("0002"), QByteArray("1002")}) {
                    for (const QByteArray& t : texts) {
                        c.clearErrors();
                        addAnswer(h, c.checkParameter(f.code, column, t, 3, format), c);
                    }
                }
            }
        }
        for (const QByteArray& t : texts) {
            c.clearErrors();
            addAnswer(h, c.checkParameter(blockCellCode(fn::CODT, 0, 0), 0, t, 4), c);
        }
        finish("editor/parameters", h);
    }
    {
        QCryptographicHash h(QCryptographicHash::Sha1);
        LadderProgram ladder = ladderOf(QString::fromLatin1(kCheckLadder));
        LadderCompiler c(&ladder);
        for (const QByteArray& t : typedTexts())
            for (const bool coil : {false, true})
                for (const int line : {0, 3})
                    addAnswer(h, c.checkElementAddress(t, coil, line), c);
        finish("editor/addresses", h);
    }
    {
        // Numbers taken, changed and freed in a row, the tables carrying over between steps.
        QCryptographicHash h(QCryptographicHash::Sha1);
        LadderProgram ladder = ladderOf(QString::fromLatin1(kCheckLadder));
        LadderCompiler c(&ladder);
        h.addData(c.preCheck() ? "pre ok\n" : "pre failed\n");
        std::mt19937 rng(5);
        const quint16 codes[] = {blockCellCode(fn::TMR, 0, 1), blockCellCode(fn::TMRB, 0, 2),
                                 blockCellCode(fn::TMRC, 0, 2), blockCellCode(fn::CTR, 0, 1),
                                 blockCellCode(fn::LBL, 0, 1), blockCellCode(fn::SP, 0, 1),
                                 blockCellCode(fn::DIFU, 0, 1), blockCellCode(fn::DIFD, 0, 1), kContactNO};
        for (int i = 0; i < 3000; ++i) {
            LadderCell cell;
            cell.code = codes[rng() % std::size(codes)];
            cell.number = qint16(int(rng() % 300) - 20);
            if (rng() % 4)
                cell.setText(QByteArray::number(cell.number));
            const auto e = c.checkNumber(cell, int(rng() % 300) - 20, int(rng() % 5));
            h.addData(e ? number(e->code) + ' ' + number(e->line) + ' ' + number(e->detail) + '\n' : QByteArray("ok\n"));
        }
        finish("editor/numbers", h);
    }
    {
        QCryptographicHash h(QCryptographicHash::Sha1);
        const LadderProgram ladder = ladderOf(QStringLiteral(
            "X012.3 /X012.4 - - {1300:MOVN} {1301:0002} {1302:X0012} {1303:R0010} - (R010.2)\n"
            ". . . . {1310} {1311} {1312} {1313}\n"
            "DC10.3 - - - {1200:COMP} {1201:0002} {1202:DC0010} {1203:D0010} - (/R010.7)\n"
            "X000.0 - - - - - - - - (Y012.3)\n") + QString::fromLatin1(kEnds));
        for (const QByteArray& t : typedTexts()) {
            h.addData(t + ':');
            for (const CrossReference& r : crossReferences(ladder, t))
                h.addData(number(r.pos.line) + ',' + number(r.pos.column) + ',' + number(int(r.use)) + ','
                          + number(r.code) + ',' + r.text + ';');
            h.addData(normaliseSearchText(t) + '|' + normaliseAddressField(t) + '|'
                      + number(assemblerOperandIsAddress(t)) + number(editorParameterIsAddress(t)) + '\n');
        }
        finish("editor/crossreferences", h);
    }
    return out;
}

std::map<QByteArray, QByteArray> recordedDigests()
{
    std::map<QByteArray, QByteArray> out;
    QFile f(goldenDir() + QStringLiteral("digests.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() == 2 && !line.startsWith('#'))
            out[parts[0]] = parts[1];
    }
    return out;
}

}  // namespace

TEST(GoldenDigests, ConversionsAndChecksAnswerAsRecorded)
{
    const std::map<QByteArray, QByteArray> now = computeDigests();
    ASSERT_FALSE(now.empty()) << "hand-made ladders not found below " << qPrintable(goldenDir());
    if (qEnvironmentVariableIsSet("RUNGPAD_GOLDEN_RECORD")) {
        QFile f(qEnvironmentVariable("RUNGPAD_GOLDEN_RECORD"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("# name sha1: see golden_test.cpp\n");
        for (const auto& [name, digest] : now)
            f.write(name + ' ' + digest + '\n');
        return;
    }
    const std::map<QByteArray, QByteArray> recorded = recordedDigests();
    ASSERT_EQ(recorded.size(), now.size());
    for (const auto& [name, digest] : recorded) {
        const auto it = now.find(name);
        ASSERT_NE(it, now.end()) << name.constData();
        EXPECT_EQ(it->second, digest) << name.constData();
    }
}
