// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ladders for the engine tests: blocks drawn from the instruction table, converted with the
// real converter, loaded into an engine on a virtual clock.
#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/tests/ladder_helpers.h"
#include "rungpad/sim/engine.h"
#include "rungpad/sim/laddertest.h"

#include <gtest/gtest.h>

#include <memory>

namespace rungpad::sim::testing {

// One function block as the editor places it: conditions[i] is the contact (or "-" for a
// plain wire) that drives input line i, coil the column-9 text of the first line.
inline QString blockText(const char* name, const QStringList& params, const QStringList& conditions = {"X000.0"},
                         const QString& coil = {})
{
    const quint16 code = codeOf(name);
    const BlockShape shape = blockShape(code);
    const int start = blockStartColumn(shape.width);
    QString out;
    for (int r = 0; r < std::max(1, shape.height); ++r) {
        QStringList cells;
        for (int c = 0; c < start; ++c) {
            if (r < inputCount(code) && takesConditions(code))
                cells << (c == 0 && r < conditions.size() && conditions[r] != "-" ? conditions[r] : QStringLiteral("-"));
            else if (r < inputCount(code))
                cells << QStringLiteral("-");
            else
                cells << QStringLiteral(".");
        }
        for (int c = 0; c < shape.width; ++c) {
            const QString text = r > 0 ? QString() : c == 0 ? QString::fromLatin1(name) : params.value(c - 1);
            cells << QStringLiteral("{%1%2}").arg(blockCellCode(code, r, c), 4, 16, QChar('0'))
                         .arg(text.isEmpty() ? QString() : ":" + text);
        }
        for (int c = start + shape.width; c < kColumns; ++c) {
            if (r > 0)
                cells << QStringLiteral(".");
            else if (c == kOutputColumn && drivesCoil(code))
                cells << (coil.isEmpty() ? QStringLiteral("(R900.0)") : coil);
            else
                cells << QStringLiteral("-");
        }
        out += cells.join(' ') + '\n';
    }
    return out;
}

// A contact line driving a coil: "X000.0 /X000.1" -> "X000.0 /X000.1 - - ... (Y000.0)".
inline QString rung(const QString& contacts, const QString& coil)
{
    QStringList cells = contacts.split(' ', Qt::SkipEmptyParts);
    while (cells.size() < kOutputColumn)
        cells << QStringLiteral("-");
    cells << coil;
    return cells.join(' ') + '\n';
}

// A converted, loaded ladder on its own virtual clock.
struct Rig {
    VirtualClock clock;
    Engine engine{clock};
    SimulationDriver driver{engine, clock};
    rungpad::testing::Outcome converted;

    // Body lines go before END1/END2, `after` after them (subprograms).
    explicit Rig(const QString& body, const QString& after = {})
    {
        converted = rungpad::testing::convertText(body + rungpad::testing::kEnds + after);
        if (!converted.ok) {
            ADD_FAILURE() << "conversion failed: " << converted.code << " at line " << converted.line + 1 << "\n"
                          << qPrintable(body);
            return;
        }
        LoadError error;
        auto program = loadInstructionList(converted.raw, &error);
        if (!program) {
            ADD_FAILURE() << "load failed at line " << error.line << ": " << qPrintable(error.message);
            return;
        }
        engine.load(std::move(*program));
    }
    uint32_t get(const char* name) const
    {
        const auto n = parseSignalName(QString::fromLatin1(name));
        EXPECT_TRUE(n) << name;
        return n ? n->read(engine.memory()) : 0;
    }
    void set(const char* name, uint32_t v)
    {
        const auto n = parseSignalName(QString::fromLatin1(name));
        EXPECT_TRUE(n) << name;
        if (n)
            n->write(engine.memory(), v);
    }
    void scan(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            driver.step();
    }
    void wait(int64_t ms)
    {
        driver.run(ms, [] {});
    }
};

}  // namespace rungpad::sim::testing
