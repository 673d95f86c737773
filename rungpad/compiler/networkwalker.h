// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stage 2 of the conversion: walks the ladder network by network (contact networks, function
// block networks, COD table groups) and writes one instruction line per instruction,
// "MNEMONIC  operands  %4d" with the 1-based ladder line.
#include "rungpad/compiler/errorsink.h"
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace rungpad {

class NetworkWalker {
public:
    // The walk also sets the ladder's END1 line.
    NetworkWalker(LadderProgram& ladder, std::vector<QByteArray>& lines, ErrorSink& errors)
        : m_ladder(&ladder), m_lines(lines), m_errors(errors)
    {
    }
    bool walk();

private:
    struct Network;

    bool fail(int code, int line, int detail = 0) { return m_errors.fail(code, line, detail); }
    bool failed() const { return m_errors.failed(); }

    bool emit(QByteArrayView mnemonic, const QByteArrayView* operands, size_t count, int line);
    bool emit(QByteArrayView mnemonic, const std::vector<QByteArray>& operands, int line);
    bool emit(QByteArrayView mnemonic, int line);
    bool emit(QByteArrayView mnemonic, QByteArrayView operand, int line);
    bool contactNetwork(int a, int z);
    bool functionNetwork(int a, int z, int column);
    bool codtLines(int a, int z);
    bool seriesChain(int line, int s, int e, bool hasBlock, bool first, bool* wrote);
    bool coilRule(int a, int z, bool functionNet);
    bool region(Network& net, int top, int bottom, int s, int e, bool topLevel, bool* wrote);
    bool writeContact(const LadderCell& cell, int line, const char* positive, const char* negative);

    LadderProgram* m_ladder;
    std::vector<QByteArray>& m_lines;
    ErrorSink& m_errors;
    Network* m_net = nullptr;   // the contact network being translated, for coverage
};

}  // namespace rungpad
