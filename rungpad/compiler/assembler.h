// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stage 3 of the conversion: reads the instruction lines back and writes the code image,
// checking what only the whole program shows (level order, subprograms and their calls,
// jumps and labels, COM/COME, shift and table limits). Calls and jumps are resolved to
// record indexes at the end.
#include "rungpad/compiler/codeimage.h"
#include "rungpad/compiler/errorsink.h"
#include "rungpad/compiler/imagewriter.h"
#include "rungpad/model/ladder.h"

#include <QByteArray>

#include <bitset>
#include <map>
#include <vector>

namespace rungpad {

class Assembler {
public:
    // Sets the ladder's END1 step and step count on success.
    Assembler(LadderProgram& ladder, CodeImage& image, ErrorSink& errors)
        : m_ladder(ladder), m_errors(errors), m_out(image, errors)
    {
    }
    bool assemble(const std::vector<QByteArray>& lines);

    struct Tokens;

private:
    struct Line;
    struct Pending { int record; int number; int line; };

    bool fail(int code, int line) { return m_errors.fail(code, line); }
    bool failed() const { return m_errors.failed(); }

    bool instruction(const Tokens& t);
    // One function per family of instructions.
    bool contactsAndOutputs(const Line& l);
    bool levelsAndSubprograms(const Line& l);
    bool callsJumpsAndCommons(const Line& l);
    bool timersAndEdges(const Line& l);
    bool arithmetic(const Line& l);
    bool moves(const Line& l);
    bool shiftsAndTables(const Line& l);
    // After the last line: subprogram counts, call chains, call and jump targets, terminator.
    bool resolve();

    LadderProgram& m_ladder;
    ErrorSink& m_errors;
    ImageWriter m_out;

    bool m_comOpen = false;
    bool m_expectSp = false;
    bool m_end1Seen = false, m_end2Seen = false;
    int m_end1Record = -1, m_end2Record = -1;
    bool m_spOpen = false;
    int m_currentSp = -1;
    int m_spCount = 0, m_speCount = 0, m_sftCount = 0;
    int m_codExpected = 0, m_codSize = 0;
    quint32 m_codAddress = kCodDataBase;
    std::bitset<256> m_difUsed;
    std::map<int, int> m_spRecord;                             // subprogram -> record index
    std::vector<int> m_spOrder;
    std::map<int, std::vector<std::pair<int, int>>> m_spCalls;   // subprogram -> (target, line)
    std::vector<Pending> m_calls, m_jumps;
    std::vector<int> m_spRecordList;
    std::multimap<int, int> m_labels;                          // label -> record index
    int m_labelCount = 0;
};

}  // namespace rungpad
