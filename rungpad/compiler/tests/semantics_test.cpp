// SPDX-License-Identifier: GPL-3.0-or-later
// What a converted contact network computes must be what its drawing conducts. Random
// networks are drawn, converted, and every one that converts is run twice for every input
// combination: as its instruction list on a small stack evaluator of the basic
// instructions, and as a circuit (wires, closed contacts and vertical links joining the
// nodes between cells, power entering at the left rail). The coils must agree.
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/address.h"
#include "rungpad/model/laddertext.h"

#include "ladder_generator.h"
#include "ladder_helpers.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <map>
#include <numeric>
#include <random>

using namespace rungpad;
using namespace rungpad::testing;

namespace {

constexpr int kInputs = kNetworkDrawerInputs;   // X000.0 .. X000.5, every combination is tried

using Signals = std::map<QByteArray, bool>;

bool inputValue(const QByteArray& address, unsigned inputs)
{
    const auto a = parseElementAddress(address);
    return a && a->letter == 'X' && a->byte == 0 && ((inputs >> a->bit) & 1u);
}

// The basic instructions as a controller runs them: RD starts a new term and keeps the one
// before it on the stack, AND/OR combine with the current term, the .STK forms combine
// the current term with the one they take back from the stack, WRT writes the current term.
std::optional<Signals> runInstructionList(const QStringList& lines, unsigned inputs, QString* why)
{
    Signals out;
    std::vector<bool> stack;
    bool acc = false;
    bool written = false;   // an RD after a WRT opens the next network
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        const QString op = parts[0];
        const QByteArray operand = parts.size() > 1 ? parts[1].toLatin1() : QByteArray();
        const bool v = inputValue(operand, inputs);
        if (op == QLatin1String("RD") || op == QLatin1String("RD.NOT")) {
            if (written)
                stack.clear();
            written = false;
            stack.push_back(acc);
            acc = op == QLatin1String("RD") ? v : !v;
        } else if (op == QLatin1String("AND")) {
            acc = acc && v;
        } else if (op == QLatin1String("AND.NOT")) {
            acc = acc && !v;
        } else if (op == QLatin1String("OR")) {
            acc = acc || v;
        } else if (op == QLatin1String("OR.NOT")) {
            acc = acc || !v;
        } else if (op == QLatin1String("AND.STK") || op == QLatin1String("OR.STK")) {
            // The term under the current one was pushed by the RD that opened the current one.
            if (stack.size() < 2) {
                *why = QStringLiteral("stack empty at %1").arg(line);
                return std::nullopt;
            }
            const bool under = stack.back();
            stack.pop_back();
            acc = op == QLatin1String("AND.STK") ? (under && acc) : (under || acc);
        } else if (op == QLatin1String("WRT") || op == QLatin1String("WRT.NOT")) {
            out[operand] = op == QLatin1String("WRT") ? acc : !acc;
            written = true;
        } else if (op == QLatin1String("END1") || op == QLatin1String("END2")) {
            stack.clear();
        } else {
            *why = QStringLiteral("unexpected instruction %1").arg(line);
            return std::nullopt;
        }
    }
    return out;
}

// The drawing as a circuit: node (line, k) is the left edge of column k; column 0's left
// edge is the rail. A cell joins the nodes on its two sides when it conducts; a vertical
// link joins the right edges of its cell and the cell below. A coil in column 9 is driven
// by the node on its left.
Signals runCircuit(const LadderProgram& ladder, unsigned inputs)
{
    const int lines = ladder.lineCount();
    const int perLine = kColumns + 1;
    std::vector<int> parent(size_t(lines * perLine));
    std::iota(parent.begin(), parent.end(), 0);
    std::function<int(int)> find = [&](int x) { return parent[size_t(x)] == x ? x : parent[size_t(x)] = find(parent[size_t(x)]); };
    auto join = [&](int a, int b) { parent[size_t(find(a))] = find(b); };
    auto node = [&](int l, int k) { return l * perLine + k; };
    const int rail = node(0, 0);
    for (int l = 0; l < lines; ++l) {
        join(node(l, 0), rail);
        for (int c = 0; c < kOutputColumn; ++c) {
            const LadderCell& cell = ladder.cell(l, c);
            bool conducts = kindOf(cell.code) == kHorizontalWire;
            if (isContact(cell.code)) {
                const bool v = inputValue(cell.text(), inputs);
                conducts = kindOf(cell.code) == kContactNO ? v : !v;
            }
            if (conducts)
                join(node(l, c), node(l, c + 1));
            if (cell.hasLink() && l + 1 < lines)
                join(node(l, c + 1), node(l + 1, c + 1));
        }
    }
    Signals out;
    for (int l = 0; l < lines; ++l) {
        const LadderCell& coil = ladder.cell(l, kOutputColumn);
        if (!isCoil(coil.code))
            continue;
        const bool powered = find(node(l, kOutputColumn)) == find(rail);
        out[coil.text()] = kindOf(coil.code) == kCoil ? powered : !powered;
    }
    return out;
}

}  // namespace

TEST(ContactNetworkSemantics, EveryConvertedNetworkComputesItsDrawing)
{
    // LADDER_SEMANTIC_SEED / LADDER_SEMANTIC_COUNT widen a local search.
    const unsigned seed = qEnvironmentVariableIsSet("LADDER_SEMANTIC_SEED")
        ? unsigned(qEnvironmentVariableIntValue("LADDER_SEMANTIC_SEED")) : 22u;
    const int count = qEnvironmentVariableIsSet("LADDER_SEMANTIC_COUNT")
        ? qEnvironmentVariableIntValue("LADDER_SEMANTIC_COUNT") : 20000;
    NetworkDrawer drawer(seed);
    QElapsedTimer clock;
    clock.start();
    int converted = 0, multiLine = 0, drawn = 0, orStacks = 0, andStacks = 0, negated = 0;
    for (; drawn < count; ++drawn) {
        // Bounded in time on a slow or sanitised build; the count above is what a normal
        // build reaches.
        if (clock.elapsed() > 60'000)
            break;
        const QString text = drawer.next();
        const Outcome o = convertText(text);
        if (!o.ok)
            continue;
        ++converted;
        if (o.ladder.lineCount() > 3)
            ++multiLine;
        orStacks += int(o.lines.count(QStringLiteral("OR.STK")));
        andStacks += int(o.lines.count(QStringLiteral("AND.STK")));
        negated += o.lines.filter(QStringLiteral("WRT.NOT")).isEmpty() ? 0 : 1;
        for (unsigned inputs = 0; inputs < (1u << kInputs); ++inputs) {
            QString why;
            const auto program = runInstructionList(o.lines, inputs, &why);
            ASSERT_TRUE(program) << qPrintable(why) << "\n" << qPrintable(text);
            const Signals drawing = runCircuit(o.ladder, inputs);
            ASSERT_EQ(*program, drawing) << "inputs " << inputs << "\n" << qPrintable(text) << "\n"
                                         << qPrintable(o.lines.join(QLatin1Char('\n')));
        }
    }
    // The draw must reach the shapes worth checking, parallel branches above all.
    if (drawn == 20000 && seed == 22u) {
        EXPECT_GT(converted, 4000) << drawn;
        EXPECT_GT(multiLine, 2000);
        EXPECT_GT(orStacks, 1500);
        EXPECT_GT(andStacks, 400);
        EXPECT_GT(negated, 200);
    }
}
