// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/assembler.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/compiler/numbertables.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"

#include <QList>

#include <functional>
#include <set>

namespace rungpad {

struct Assembler::Tokens {
    QByteArray text;                      // the line in capitals; the fields point into it
    std::vector<QByteArrayView> fields;   // mnemonic, operands...
    int line = 0;                         // 0-based ladder line
    QByteArrayView at(size_t i) const { return i < fields.size() ? fields[i] : QByteArrayView(); }
    size_t operandCount() const { return fields.empty() ? 0 : fields.size() - 1; }
};

struct Assembler::Line {
    const Tokens& t;
    int opcode;
    int line;
    bool isTmrc;
    ErrorSink& errors;
    QByteArrayView at(size_t k) const { return t.at(k); }
    bool need(size_t count) const
    {
        return t.operandCount() >= count ? true : errors.fail(err::ParameterMissing, line);
    }
    std::optional<int> number(QByteArrayView tok, NumberRange range, int code) const
    {
        const auto v = toNumber(tok);
        if (!v || *v < range.lo || *v > range.hi) {
            errors.fail(code, line);
            return std::nullopt;
        }
        return v;
    }
};

namespace {

// Fields are separated by blanks; the last is the 1-based ladder line.
void splitLine(const QByteArray& line, Assembler::Tokens& t)
{
    t.text = line.toUpper();
    t.fields.clear();
    const char* data = t.text.constData();
    const qsizetype size = t.text.size();
    for (qsizetype i = 0; i < size;) {
        if (data[i] == ' ') {
            ++i;
            continue;
        }
        const qsizetype from = i;
        while (i < size && data[i] != ' ')
            ++i;
        t.fields.emplace_back(data + from, i - from);
    }
    if (!t.fields.empty()) {
        t.line = t.fields.back().toInt() - 1;
        t.fields.pop_back();
    }
}

// Sub-code of a constant-or-address operand: the format's first digit + 1, so 1 (constant)
// or 2 (address) for the formats the editor allows.
int formatOperandSub(QByteArrayView fmt)
{
    const char first = fmt.isEmpty() ? '0' : fmt[0];
    return (first >= '0' && first <= '9' ? first - '0' : 0) + 1;
}

int dataLength(QByteArrayView fmt)
{
    const int d = fmt.size() >= 4 ? fmt[3] - '0' : (fmt.isEmpty() ? 0 : fmt.back() - '0');
    return d == 3 ? 4 : d;
}

quint8 operandSub(bool address) { return address ? kOperandAddress : kOperandConstant; }

}  // namespace

bool Assembler::assemble(const std::vector<QByteArray>& lines)
{
    Tokens t;
    for (const QByteArray& text : lines) {
        splitLine(text, t);
        if (t.fields.empty())
            continue;
        if (!instruction(t))
            return false;
    }
    return resolve();
}

bool Assembler::instruction(const Tokens& t)
{
    const QByteArrayView mn = t.fields[0];
    const Line l{t, opcodeOf(mn), t.line, mn == "TMRC", m_errors};

    if (m_expectSp && l.opcode != op::SP)
        return fail(err::OutsideExecutable, l.line);
    m_expectSp = false;
    if (m_comOpen && l.opcode > 24 && l.opcode != op::COME)
        return fail(err::ComComeMisused, l.line);

    switch (l.opcode) {
    case op::NO:
        return true;   // WINDR, WINDW and anything unknown produce no record
    case op::RD: case op::RD_NOT: case op::AND: case op::AND_NOT: case op::OR: case op::OR_NOT:
    case op::RD_STK: case op::RD_NOT_STK: case op::WRT: case op::WRT_NOT: case op::SET: case op::RST:
    case op::AND_STK: case op::OR_STK:
        return contactsAndOutputs(l);
    case op::END1: case op::END2: case op::SPE: case op::SP:
        return levelsAndSubprograms(l);
    case op::CALL: case op::CALLU: case op::JMPB: case op::LBL: case op::COM: case op::COME:
        return callsJumpsAndCommons(l);
    case op::TMR: case op::TMRC: case op::TMRB: case op::CTR: case op::DIFU: case op::DIFD:
        return timersAndEdges(l);
    case op::COMP: case op::COIN: case op::ADD: case op::SUB: case op::ANDF: case op::ORF: case op::EOR:
    case op::NOT: case op::DEC:
        return arithmetic(l);
    case op::MOVN: case op::MOVB: case op::MOVW: case op::AXCTL: case op::DSCH: case op::XMOV: case op::ROT:
        return moves(l);
    case op::SFT: case op::COD: case op::CODT:
        return shiftsAndTables(l);
    default:
        return true;   // GET, REG and the placeholders are never written by the walk
    }
}

bool Assembler::contactsAndOutputs(const Line& l)
{
    const int line = l.line;
    const QByteArrayView t1 = l.at(1);
    switch (l.opcode) {
    case op::RD:
    case op::RD_NOT:
        if (m_out.outputPending() && !m_out.closeNetwork(line))
            return false;
        [[fallthrough]];
    case op::AND: case op::AND_NOT: case op::OR: case op::OR_NOT:
    case op::RD_STK: case op::RD_NOT_STK:
        if (!l.need(1) || !parseElementAddress(t1))
            return failed() ? false : fail(err::AddressMalformed, line);
        return m_out.addAddress(l.opcode, kOperandAddress, t1, line);
    case op::WRT:
    case op::WRT_NOT:
        if (!l.need(1) || !parseElementAddress(t1))
            return failed() ? false : fail(err::AddressMalformed, line);
        if (!m_out.addAddress(l.opcode, kOperandAddress, t1, line))
            return false;
        m_out.setOutputPending();
        return true;
    case op::SET:
    case op::RST:
        return l.need(1) && m_out.addAddress(l.opcode, kOperandAddress, t1, line) && m_out.closeNetwork(line);
    default:   // AND.STK, OR.STK
        return m_out.add(l.opcode, 0, line) != nullptr;
    }
}

bool Assembler::levelsAndSubprograms(const Line& l)
{
    const int line = l.line;
    switch (l.opcode) {
    case op::END1:
        if (m_end1Seen || m_end2Seen)
            return fail(err::End1End2, line);
        if (m_out.recordCount() >= kMaxEnd1Records)
            return fail(err::FirstLevelTooBig, line);
        if (!m_out.add(l.opcode, 0, line))
            return false;
        m_end1Seen = true;
        m_end1Record = m_out.recordCount() - 1;
        m_ladder.end1Step = qint16(m_out.recordCount() - 1);
        return m_out.closeNetwork(line);
    case op::END2:
        // END2 ahead of END1 is caught by the instruction after it, which is not SP (1039).
        if (m_end2Seen)
            return fail(err::End1End2, line);
        if (!m_out.add(l.opcode, 0, line))
            return false;
        m_end2Seen = true;
        m_end2Record = m_out.recordCount() - 1;
        if (!m_out.closeNetwork(line))
            return false;
        m_expectSp = true;
        return true;
    case op::SPE:
        if (!m_spOpen)
            return fail(err::CallSpMisused, line);
        if (!m_out.add(l.opcode, 0, line) || !m_out.closeNetwork(line))
            return false;
        m_spOpen = false;
        m_currentSp = -1;
        ++m_speCount;
        m_expectSp = true;
        return true;
    default: {   // SP
        if (!m_end2Seen || m_spOpen || !l.need(1))
            return failed() ? false : fail(err::CallSpMisused, line);
        const auto n = l.number(l.at(1), assemblerRange::ProgramNumber, err::NumberOutOfRange);
        if (!n)
            return false;
        CodeRecord* r = m_out.add(l.opcode, '2', line);
        if (!r)
            return false;
        r->setConstant(*n);
        const int record = m_out.recordCount() - 1;
        if (!m_spRecord.count(*n)) {
            m_spRecord[*n] = record;
            m_spOrder.push_back(*n);
        }
        m_spRecordList.push_back(record);
        m_spOpen = true;
        m_currentSp = *n;
        ++m_spCount;
        return m_out.closeNetwork(line);
    }
    }
}

bool Assembler::callsJumpsAndCommons(const Line& l)
{
    const int line = l.line;
    const int opcode = l.opcode;
    if (opcode == op::COM || opcode == op::COME) {
        if (opcode == op::COME && !m_comOpen)
            return fail(err::ComComeMisused, line);
        if (!m_out.add(opcode, 51, line))
            return false;
        m_comOpen = opcode == op::COM;
        return m_out.closeNetwork(line);
    }
    if (!l.need(1))
        return false;
    const auto n = l.number(l.at(1), assemblerRange::ProgramNumber, err::NumberOutOfRange);
    if (!n)
        return false;
    if (opcode == op::CALL || opcode == op::CALLU) {
        CodeRecord* r = m_out.add(opcode, '2', line);
        if (!r)
            return false;
        r->setConstant(*n);
        m_calls.push_back({m_out.recordCount() - 1, *n, line});
        if (m_currentSp >= 0)
            m_spCalls[m_currentSp].push_back({*n, line});
        return m_out.closeNetwork(line);
    }
    // JMPB, LBL
    if (opcode == op::JMPB ? m_jumps.size() >= size_t(kMaxJumps) : m_labelCount >= kMaxLabels)
        return fail(err::JumpLabel, line);
    CodeRecord* r = m_out.add(opcode, 'L', line);
    if (!r)
        return false;
    r->operand[0] = quint8(*n);
    if (opcode == op::JMPB) {
        m_jumps.push_back({m_out.recordCount() - 1, *n, line});
    } else {
        m_labels.emplace(*n, m_out.recordCount() - 1);
        ++m_labelCount;
    }
    return m_out.closeNetwork(line);
}

bool Assembler::timersAndEdges(const Line& l)
{
    const int line = l.line;
    const int opcode = l.opcode;
    if (opcode == op::DIFU || opcode == op::DIFD) {
        if (!l.need(1))
            return false;
        const auto n = toNumber(l.at(1));
        if (!n || *n < 0 || *n >= 256 || m_difUsed.test(size_t(*n)))
            return fail(err::DifMisused, line);
        m_difUsed.set(size_t(*n));
        CodeRecord* r = m_out.add(opcode, 0, line);
        if (!r)
            return false;
        r->setWord(0, quint16(*n));
        r->setWord(2, quint16(m_out.networkStart()));
        return true;
    }
    if (l.isTmrc || opcode == op::TMRC) {
        if (!l.need(2))
            return false;
        const auto prec = l.number(l.at(1), assemblerRange::TimerPrecision, err::DataBeyondLimit);
        const auto tn = prec ? l.number(l.at(2), assemblerRange::TimerCounter, err::NumberOutOfRange) : std::nullopt;
        if (!tn)
            return false;
        // TMRC runs as a TMR with its own precision.
        CodeRecord* r = m_out.add(op::TMR, *prec, line);
        if (!r)
            return false;
        r->operand[0] = quint8(*tn);
        return true;
    }
    if (opcode == op::TMRB) {
        if (!l.need(3))
            return false;
        const auto prec = l.number(l.at(1), assemblerRange::TimerPrecision, err::DataBeyondLimit);
        const auto tn = prec ? l.number(l.at(2), assemblerRange::TimerCounter, err::NumberOutOfRange) : std::nullopt;
        const auto sv = tn ? l.number(l.at(3), assemblerRange::TimerPreset, err::DataBeyondLimit) : std::nullopt;
        if (!sv)
            return false;
        CodeRecord* r = m_out.add(opcode, *prec, line);
        if (!r)
            return false;
        r->operand[0] = quint8(*tn);
        r->setWord(2, quint16(*sv));
        return true;
    }
    if (!l.need(1))
        return false;
    const auto n = l.number(l.at(1), assemblerRange::TimerCounter, err::NumberOutOfRange);
    if (!n)
        return false;
    CodeRecord* r = m_out.add(opcode, opcode == op::TMR ? 5 : 0, line);
    if (!r)
        return false;
    r->operand[0] = quint8(*n);
    return true;
}

bool Assembler::arithmetic(const Line& l)
{
    const int line = l.line;
    const int opcode = l.opcode;
    const QByteArrayView t1 = l.at(1);
    const QByteArrayView t2 = l.at(2);
    const QByteArrayView t3 = l.at(3);
    const QByteArrayView t4 = l.at(4);
    switch (opcode) {
    case op::COMP:
    case op::COIN:
        return l.need(3) && m_out.addAddress(opcode, dataLength(t1), t3, line)
            && m_out.addConstOrAddress(opcode, formatOperandSub(t1), t2, line);
    case op::NOT:
        return l.need(3) && m_out.addAddress(opcode, dataLength(t1), t2, line)
            && m_out.addAddress(opcode, 0, t3, line) && m_out.closeNetwork(line);
    case op::DEC: {
        if (!l.need(4))
            return false;
        const auto sub = l.number(t1, assemblerRange::DecodeSub, err::DataBeyondLimit);
        const auto k = sub ? l.number(t3, assemblerRange::DecodeConstant, err::DataBeyondLimit) : std::nullopt;
        if (!k || !m_out.addAddress(opcode, 0, t4, line) || !m_out.addAddress(opcode, *sub, t2, line))
            return false;
        CodeRecord* r = m_out.add(opcode, 0, line);
        if (!r)
            return false;
        r->setConstant(*k);
        return m_out.closeNetwork(line);
    }
    default:   // ADD, SUB, ANDF, ORF, EOR
        if (!l.need(4) || !m_out.addAddress(opcode, dataLength(t1), t2, line)
            || !m_out.addConstOrAddress(opcode, formatOperandSub(t1), t3, line)
            || !m_out.addAddress(opcode, 0, t4, line))
            return false;
        if (opcode != op::ADD && opcode != op::SUB && !m_out.closeNetwork(line))
            return false;
        return true;
    }
}

bool Assembler::moves(const Line& l)
{
    const int line = l.line;
    const int opcode = l.opcode;
    const QByteArrayView t1 = l.at(1);
    const QByteArrayView t2 = l.at(2);
    const QByteArrayView t3 = l.at(3);
    const QByteArrayView t4 = l.at(4);
    switch (opcode) {
    case op::MOVN: {
        if (!l.need(3))
            return false;
        const auto b = l.number(t1, assemblerRange::MoveCount, err::DataBeyondLimit);
        if (!b)
            return false;
        const bool addressSource = assemblerOperandIsAddress(t2);
        const auto dest = addressOperand(t3);
        if (!dest)
            return fail(err::AddressMalformed, line);
        if (!moveDestinationFits(fn::MOVN, t1, t2, t3))
            return fail(err::MovnRange, line);
        if (!m_out.addConstOrAddress(opcode, operandSub(addressSource), t2, line))
            return false;
        CodeRecord* r = m_out.add(opcode, 0, line);
        if (!r)
            return false;
        r->setWord(0, dest->code);
        r->setWord(2, quint16(*b));
        return true;
    }
    case op::MOVB:
    case op::MOVW: {
        if (!l.need(2))
            return false;
        const bool addressSource = assemblerOperandIsAddress(t1);
        const auto dest = addressOperand(t2);
        if (!dest)
            return fail(err::AddressMalformed, line);
        if (!moveDestinationFits(opcode == op::MOVW ? fn::MOVW : fn::MOVB, {}, t1, t2))
            return fail(err::MovnRange, line);
        CodeRecord* r = m_out.add(opcode, addressSource ? kOperandAddress : kOperandConstant, line);
        if (!r)
            return false;
        if (addressSource) {
            const auto src = addressOperand(t1);
            if (!src)
                return fail(err::AddressMalformed, line);
            r->setWord(0, src->code);
        } else {
            const NumberRange range = opcode == op::MOVB ? assemblerRange::MoveByte : assemblerRange::MoveWord;
            const auto v = toNumber(t1);
            if (!v || *v < range.lo || *v > range.hi)
                return fail(err::DataBeyondLimit, line);
            r->setWord(0, quint16(*v));
        }
        r->setWord(2, dest->code);
        return true;
    }
    case op::AXCTL: {
        if (!l.need(2))
            return false;
        const auto g = l.number(t1, assemblerRange::AxisGroup, err::DataBeyondLimit);
        return g && m_out.addAddress(opcode, *g - assemblerRange::AxisGroup.lo, t2, line);
    }
    case op::ROT:
        return l.need(4) && m_out.addAddress(opcode, 0, t2, line) && m_out.addAddress(opcode, 0, t3, line)
            && m_out.addConstOrAddress(opcode, operandSub(assemblerOperandIsAddress(t1)), t1, line)
            && m_out.addAddress(opcode, 0, t4, line);
    default:   // DSCH, XMOV
        return l.need(5) && m_out.addAddress(opcode, dataLength(t1), t2, line)
            && m_out.addAddress(opcode, 0, t3, line) && m_out.addAddress(opcode, 0, t4, line)
            && m_out.addAddress(opcode, 0, l.at(5), line);
    }
}

bool Assembler::shiftsAndTables(const Line& l)
{
    const int line = l.line;
    const int opcode = l.opcode;
    const QByteArrayView t1 = l.at(1);
    const QByteArrayView t2 = l.at(2);
    switch (opcode) {
    case op::SFT: {
        if (!l.need(2))
            return false;
        if (m_sftCount >= kMaxSft)
            return fail(err::SftBeyondMax, line);
        const auto a = addressOperand(t1);
        if (!a || t2.size() < 4)
            return fail(err::AddressMalformed, line);
        CodeRecord* r = m_out.add(opcode, quint8(t2[3] - '0'), line);
        if (!r)
            return false;
        r->setWord(0, a->code);
        r->operand[2] = quint8(m_sftCount);
        r->operand[3] = quint8(t2[0] - '0');
        ++m_sftCount;
        return true;
    }
    case op::COD: {
        if (!l.need(4))
            return false;
        const auto size = l.number(t1, assemblerRange::CodSize, err::DataBeyondLimit);
        const auto count = size ? l.number(t2, assemblerRange::CodCount, err::DataBeyondLimit) : std::nullopt;
        if (!count || !m_out.addAddress(opcode, *count, l.at(4), line))
            return false;
        const auto in = addressOperand(l.at(3));
        if (!in)
            return fail(err::AddressMalformed, line);
        CodeRecord* r = m_out.add(opcode, *size, line);
        if (!r)
            return false;
        r->setWord(0, in->code);
        r->setWord(2, quint16(m_codAddress));
        m_codAddress += quint32(*size * *count);
        m_codExpected = *count;
        m_codSize = *size;
        return true;
    }
    default: {   // CODT
        if (m_codExpected <= 0)
            return m_out.closeNetwork(line);
        for (size_t k = 1; k <= l.t.operandCount() && m_codExpected > 0; ++k) {
            const QByteArrayView v = l.at(k);
            const auto value = v.size() == 5 ? toNumber(v) : std::nullopt;
            if (!value || *value < assemblerRange::TableValue.lo || *value > assemblerRange::TableValue.hi)
                return fail(err::AddressMalformed, line);
            if (!m_out.addData(*value, m_codSize, line))
                return false;
            --m_codExpected;
        }
        return true;
    }
    }
}

bool Assembler::resolve()
{
    const int lastLine = m_ladder.lineCount() - 1;
    if (m_spCount != m_speCount)
        return fail(err::CallSpMisused, lastLine);

    // Call chains: a subprogram may not be re-entered through any depth of calls.
    std::set<int> onChain, done;
    std::function<bool(int)> follow = [&](int sp) -> bool {
        onChain.insert(sp);
        for (const auto& [target, line] : m_spCalls[sp]) {
            if (onChain.count(target))
                return fail(err::CallSpMisused, line);
            if (!done.count(target) && m_spRecord.count(target) && !follow(target))
                return false;
        }
        onChain.erase(sp);
        done.insert(sp);
        return true;
    };
    for (int sp : m_spOrder)
        if (!done.count(sp) && !follow(sp))
            return false;

    for (const Pending& c : m_calls) {
        const auto it = m_spRecord.find(c.number);
        if (it == m_spRecord.end())
            return fail(err::CallSpMisused, c.line);
        m_out.record(c.record).setWord(2, quint16(it->second));
    }

    auto lastSpBefore = [&](int record) {
        int found = -1;
        for (int r : m_spRecordList)
            if (r <= record)
                found = r;
        return found;
    };
    for (const Pending& j : m_jumps) {
        const auto it = m_labels.find(j.number);
        if (it == m_labels.end())
            return fail(err::JumpLabel, j.line);
        const int target = it->second;
        auto side = [](int r, int mark) { return mark >= 0 && r > mark; };
        if (side(j.record, m_end1Record) != side(target, m_end1Record)
            || side(j.record, m_end2Record) != side(target, m_end2Record)
            || (side(j.record, m_end2Record) && lastSpBefore(j.record) != lastSpBefore(target)))
            return fail(err::JumpLabel, j.line);
        m_out.record(j.record).setWord(2, quint16(target));
    }

    if (!m_out.finish(lastLine))
        return false;
    m_ladder.stepCount = qint16(m_out.recordCount() - 2);
    return true;
}

}  // namespace rungpad
