// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/sim/engine.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"

#include <QList>

#include <algorithm>
#include <map>

namespace rungpad::sim {

namespace {

// Scans that run this many instructions are stopped: a backward jump that never falls
// through would otherwise hang the window.
constexpr int kInstructionBudget = 2'000'000;

constexpr int kTimerBMirror = 128;   // T word of TMRB n
constexpr int kScanEnd = -1;         // the next "instruction" after END2

// Word n of a word area, fixed at load time rather than parsed in the scan.
Location wordAt(Area area, int n)
{
    const AreaInfo& info = areaInfo(area);
    Location l;
    l.area = area;
    l.number = n;
    l.offset = info.base + 2 * n;
    l.end = info.base + 2 * info.units;
    return l;
}

uint32_t maskOf(int length) { return length >= 4 ? 0xFFFFFFFFu : (1u << (8 * length)) - 1; }

// The data length a format parameter announces in its last digit (3 is taken as 4).
int lengthOfFormat(const QByteArray& format)
{
    const char last = format.isEmpty() ? '1' : format.back();
    switch (last) {
    case '2': return 2;
    case '3':
    case '4': return 4;
    default: return 1;
    }
}

struct Parser {
    const QList<QByteArray>& tokens;   // operands, mnemonic excluded
    int line;
    LoadError* error;
    bool ok = true;

    QByteArray token(int i) const { return i < tokens.size() ? tokens[i] : QByteArray(); }
    bool fail(const QString& why)
    {
        if (ok && error)
            *error = {line, why};
        ok = false;
        return false;
    }
    Operand address(int i)
    {
        Operand o;
        if (auto l = parseLocation(token(i)))
            o.at = *l;
        else
            fail(QStringLiteral("address %1 is not in the signal memory").arg(QString::fromLatin1(token(i))));
        return o;
    }
    Operand bitAddress(int i)
    {
        Operand o = address(i);
        if (ok && !o.at.hasBit())
            fail(QStringLiteral("%1 names no bit").arg(QString::fromLatin1(token(i))));
        return o;
    }
    // A field the assembler takes as a constant unless its text starts with a letter B..Y.
    Operand constantOrAddress(int i)
    {
        if (assemblerOperandIsAddress(token(i)))
            return address(i);
        Operand o;
        o.constant = true;
        o.value = uint32_t(number(i));
        return o;
    }
    long long number(int i)
    {
        bool good = false;
        const long long v = token(i).toLongLong(&good);
        if (!good && !token(i).isEmpty())
            fail(QStringLiteral("%1 is not a number").arg(QString::fromLatin1(token(i))));
        return good ? v : 0;
    }
};

using ParseFn = void (*)(Op&, Parser&);

struct Family {
    const char* mnemonic;
    OpKind kind;
    ExecFn exec;
    ParseFn parse;
};

void parseNothing(Op&, Parser&) {}
void parseBit(Op& op, Parser& p) { op.args[0] = p.bitAddress(0); }
void parseNumber(Op& op, Parser& p) { op.number = int(p.number(0)); }
void parseTimer(Op& op, Parser& p)
{
    switch (op.kind) {
    case OpKind::Tmr:
        op.number = int(p.number(0));
        op.mode = 1;
        break;
    case OpKind::Tmrb:
        op.mode = timerUnitMs(int(p.number(0)));
        op.number = int(p.number(1));
        op.args[0].constant = true;
        op.args[0].value = uint32_t(p.number(2));
        break;
    default:
        op.mode = timerUnitMs(int(p.number(0)));
        op.number = int(p.number(1));
        break;
    }
    if (op.number < 0 || op.number >= kTimerCount)
        p.fail(QStringLiteral("timer number %1 out of range").arg(op.number));
}
void parseCounter(Op& op, Parser& p)
{
    op.number = int(p.number(0));
    if (op.number < 0 || op.number >= kTimerCount)
        p.fail(QStringLiteral("counter number %1 out of range").arg(op.number));
}
void parseEdge(Op& op, Parser& p)
{
    op.number = int(p.number(0));
    if (op.number < 0 || op.number >= kEdgeCount)
        p.fail(QStringLiteral("edge number %1 out of range").arg(op.number));
}
// COMP, COIN: format, input value (constant or address), compare data (address).
void parseCompare(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    op.args[0] = p.constantOrAddress(1);
    op.args[1] = p.address(2);
}
void parseMove(Op& op, Parser& p)
{
    if (op.kind == OpKind::Movn) {
        op.mode = int(p.number(0));
        op.args[0] = p.constantOrAddress(1);
        op.args[1] = p.address(2);
    } else {
        op.length = op.kind == OpKind::Movb ? 1 : 2;
        op.args[0] = p.constantOrAddress(0);
        op.args[1] = p.address(1);
    }
}
// ADD, SUB, ANDF, ORF, EOR: format, A (address), B (constant or address), C (destination).
void parseArithmetic(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    op.args[0] = p.address(1);
    op.args[1] = p.constantOrAddress(2);
    op.args[2] = p.address(3);
}
void parseNot(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    op.args[0] = p.address(1);
    op.args[2] = p.address(2);
}
void parseDecode(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    op.args[0] = p.address(1);
    op.args[1].constant = true;
    op.args[1].value = uint32_t(p.number(2));
    op.args[2] = p.address(3);
}
void parseCod(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    op.mode = int(p.number(1));   // capacity
    op.args[0] = p.address(2);
    op.args[1] = p.address(3);
}
// XMOV, DSCH: format, capacity address, table head, data address, index/result address.
void parseTable(Op& op, Parser& p)
{
    op.length = lengthOfFormat(p.token(0));
    for (int i = 0; i < 4; ++i)
        op.args[size_t(i)] = p.address(i + 1);
}
void parseShift(Op& op, Parser& p)
{
    op.args[0] = p.address(0);
    const QByteArray format = p.token(1);
    op.length = lengthOfFormat(format);
    op.mode = format.size() >= 4 && format[0] == '1';
}

}  // namespace

// One entry per mnemonic the converter writes; the instruction table supplies how many
// inputs a function block takes from the stack.
struct OpTable {
    static const std::vector<Family>& families()
    {
        static const std::vector<Family> table = {
            {"RD", OpKind::Rd, &Engine::opRead, parseBit},
            {"RD.NOT", OpKind::RdNot, &Engine::opRead, parseBit},
            {"AND", OpKind::And, &Engine::opAnd, parseBit},
            {"AND.NOT", OpKind::AndNot, &Engine::opAnd, parseBit},
            {"OR", OpKind::Or, &Engine::opOr, parseBit},
            {"OR.NOT", OpKind::OrNot, &Engine::opOr, parseBit},
            {"AND.STK", OpKind::AndStk, &Engine::opStack, parseNothing},
            {"OR.STK", OpKind::OrStk, &Engine::opStack, parseNothing},
            {"WRT", OpKind::Wrt, &Engine::opWrite, parseBit},
            {"WRT.NOT", OpKind::WrtNot, &Engine::opWrite, parseBit},
            {"SET", OpKind::Set, &Engine::opSetReset, parseBit},
            {"RST", OpKind::Rst, &Engine::opSetReset, parseBit},
            {"END1", OpKind::End1, &Engine::opFlow, parseNothing},
            {"END2", OpKind::End2, &Engine::opFlow, parseNothing},
            {"SP", OpKind::Sp, &Engine::opFlow, parseNumber},
            {"SPE", OpKind::Spe, &Engine::opFlow, parseNothing},
            {"LBL", OpKind::Lbl, &Engine::opFlow, parseNumber},
            {"CALL", OpKind::Call, &Engine::opCall, parseNumber},
            {"CALLU", OpKind::CallU, &Engine::opCall, parseNumber},
            {"JMPB", OpKind::Jmpb, &Engine::opJump, parseNumber},
            {"COM", OpKind::Com, &Engine::opCommon, parseNothing},
            {"COME", OpKind::Come, &Engine::opCommon, parseNothing},
            {"DIFU", OpKind::Difu, &Engine::opEdge, parseEdge},
            {"DIFD", OpKind::Difd, &Engine::opEdge, parseEdge},
            {"TMR", OpKind::Tmr, &Engine::opTimer, parseTimer},
            {"TMRB", OpKind::Tmrb, &Engine::opTimer, parseTimer},
            {"TMRC", OpKind::Tmrc, &Engine::opTimer, parseTimer},
            {"CTR", OpKind::Ctr, &Engine::opCounter, parseCounter},
            {"COMP", OpKind::Comp, &Engine::opCompare, parseCompare},
            {"COIN", OpKind::Coin, &Engine::opCompare, parseCompare},
            {"MOVN", OpKind::Movn, &Engine::opMove, parseMove},
            {"MOVB", OpKind::Movb, &Engine::opMove, parseMove},
            {"MOVW", OpKind::Movw, &Engine::opMove, parseMove},
            {"ADD", OpKind::Add, &Engine::opArithmetic, parseArithmetic},
            {"SUB", OpKind::Sub, &Engine::opArithmetic, parseArithmetic},
            {"ANDF", OpKind::Andf, &Engine::opLogic, parseArithmetic},
            {"ORF", OpKind::Orf, &Engine::opLogic, parseArithmetic},
            {"EOR", OpKind::Eor, &Engine::opLogic, parseArithmetic},
            {"NOT", OpKind::Not, &Engine::opLogic, parseNot},
            {"DEC", OpKind::Dec, &Engine::opDecode, parseDecode},
            {"COD", OpKind::Cod, &Engine::opTable, parseCod},
            {"XMOV", OpKind::Xmov, &Engine::opTable, parseTable},
            {"DSCH", OpKind::Dsch, &Engine::opSearch, parseTable},
            {"SFT", OpKind::Sft, &Engine::opShift, parseShift},
            // Their effect depends on the machine: never guessed.
            {"ROT", OpKind::NotSimulated, &Engine::opNotSimulated, parseNothing},
            {"AXCTL", OpKind::NotSimulated, &Engine::opNotSimulated, parseNothing},
            {"WINDR", OpKind::NotSimulated, &Engine::opNotSimulated, parseNothing},
            {"WINDW", OpKind::NotSimulated, &Engine::opNotSimulated, parseNothing},
        };
        return table;
    }
    static const Family* find(const QByteArray& mnemonic)
    {
        for (const Family& f : families())
            if (mnemonic == f.mnemonic)
                return &f;
        return nullptr;
    }
};

int timerUnitMs(int precision)
{
    static constexpr int kUnits[] = {1, 10, 100, 1000, 10000, 60000};
    return kUnits[std::clamp(precision, 0, 5)];
}

int instructionLineNumber(const QByteArray& line)
{
    const int blank = line.lastIndexOf(' ');
    return line.mid(blank + 1).toInt();
}

namespace {

bool isLogic(OpKind k)
{
    switch (k) {
    case OpKind::Rd: case OpKind::RdNot: case OpKind::And: case OpKind::AndNot: case OpKind::Or:
    case OpKind::OrNot: case OpKind::AndStk: case OpKind::OrStk:
        return true;
    default:
        return false;
    }
}

// "MNEMONIC  a b c  %4d": the mnemonic is padded to its column, operands are separated by one
// blank (an empty CODT value leaves two), the suffix holds the line.
struct SplitLine {
    QByteArray mnemonic;
    QList<QByteArray> operands;
    int line = 0;
};

SplitLine splitInstruction(const QByteArray& text)
{
    SplitLine s;
    s.line = instructionLineNumber(text);
    QByteArray body = text.left(std::max<qsizetype>(0, text.size() - 6));
    s.mnemonic = body.left(kMnemonicWidth).trimmed();
    const QByteArray rest = body.mid(kMnemonicWidth);
    if (!rest.trimmed().isEmpty())
        s.operands = rest.split(' ');
    // Mnemonics longer than their column are not padded: take the first word.
    if (s.mnemonic.contains(' ')) {
        const QList<QByteArray> words = body.simplified().split(' ');
        s.mnemonic = words.value(0);
        s.operands = words.mid(1);
    }
    return s;
}

}  // namespace

std::optional<Program> loadInstructionList(const std::vector<QByteArray>& lines, LoadError* error)
{
    Program program;
    std::map<int, int> labels, subprograms;
    int codRemaining = 0;
    bool afterNotSimulated = false;
    for (const QByteArray& text : lines) {
        const SplitLine s = splitInstruction(text);
        if (s.mnemonic == mnemonic::CODT) {
            // Values of the COD table above; lines beyond its capacity carry nothing.
            for (const QByteArray& v : s.operands) {
                if (codRemaining <= 0)
                    break;
                program.tables.back().push_back(uint32_t(v.toUInt()));
                --codRemaining;
            }
            continue;
        }
        const Family* family = OpTable::find(s.mnemonic);
        if (!family) {
            if (error)
                *error = {s.line, QStringLiteral("unknown instruction %1").arg(QString::fromLatin1(s.mnemonic))};
            return std::nullopt;
        }
        Op op;
        op.kind = family->kind;
        op.exec = family->exec;
        op.line = s.line;
        if (const FunctionInstruction* fi = functionInstruction(codeOf(s.mnemonic)))
            op.inputs = fi->conditions ? fi->inputs : 0;
        Parser parser{s.operands, s.line, error};
        family->parse(op, parser);
        if (!parser.ok)
            return std::nullopt;
        if (op.kind == OpKind::Rd || op.kind == OpKind::RdNot)
            op.startsNetwork = program.ops.empty() || !isLogic(program.ops.back().kind);
        if (op.kind == OpKind::Wrt || op.kind == OpKind::WrtNot)
            op.held = afterNotSimulated;
        else
            afterNotSimulated = op.kind == OpKind::NotSimulated;
        if (op.kind == OpKind::NotSimulated)
            program.notSimulatedLines.push_back(op.line);
        if (op.kind == OpKind::Cod) {
            op.number = int(program.tables.size());
            program.tables.emplace_back();
            codRemaining = op.mode;
        }
        if (op.kind == OpKind::Lbl)
            labels.emplace(op.number, int(program.ops.size()));
        if (op.kind == OpKind::Sp)
            subprograms.emplace(op.number, int(program.ops.size()));
        if (op.kind == OpKind::End2 && program.end2 < 0)
            program.end2 = int(program.ops.size());
        program.ops.push_back(op);
    }
    for (Op& op : program.ops) {
        if (op.kind == OpKind::Jmpb || op.kind == OpKind::Call || op.kind == OpKind::CallU) {
            const auto& targets = op.kind == OpKind::Jmpb ? labels : subprograms;
            const auto it = targets.find(op.number);
            if (it == targets.end()) {
                if (error)
                    *error = {op.line, op.kind == OpKind::Jmpb ? QStringLiteral("no label %1").arg(op.number)
                                                               : QStringLiteral("no subprogram %1").arg(op.number)};
                return std::nullopt;
            }
            op.target = it->second;
        }
    }
    return program;
}

Engine::Engine(const Clock& clock) : m_clock(clock) {}

void Engine::load(Program program)
{
    m_program = std::move(program);
    m_opState.assign(m_program.ops.size(), 0);
    m_timers = {};
    m_timersB = {};
    m_edges = {};
    m_counterInputs = {};
    m_fault.clear();
}

void Engine::powerOn()
{
    m_memory.clearVolatile();
    load(std::move(m_program));
    m_scans = 0;
}

void Engine::scan()
{
    m_lastScanMs = m_clock.nowMs();
    m_acc = false;
    m_sp = 0;
    m_comOn = true;
    m_callDepth = 0;
    m_fault.clear();
    const Op* ops = m_program.ops.data();
    int budget = kInstructionBudget;
    const int count = int(m_program.ops.size());
    for (int pc = 0; pc >= 0 && pc < count;) {
        const Op& op = ops[pc];
        pc = (this->*op.exec)(op, pc);
        if (--budget == 0) {
            m_fault = QStringLiteral("the scan did not end: a jump near line %1 keeps looping").arg(op.line);
            break;
        }
    }
    ++m_scans;
}

bool Engine::pop() { return m_sp > 0 ? m_stack[size_t(--m_sp)] : false; }

void Engine::push(bool v)
{
    if (m_sp < kStackDepth)
        m_stack[size_t(m_sp++)] = v;
}

// The inputs of a block: the last input line is the accumulator, the ones above it were
// pushed by the RD that began each following line.
void Engine::takeInputs(int n, bool* in)
{
    if (n <= 0)
        return;
    in[n - 1] = m_acc;
    for (int i = n - 2; i >= 0; --i)
        in[i] = pop();
}

uint32_t Engine::operand(const Operand& o, int length) const
{
    return o.constant ? (o.value & maskOf(length)) : m_memory.value(o.at, length);
}

int Engine::opRead(const Op& op, int pc)
{
    if (op.startsNetwork)
        m_sp = 0;
    else
        push(m_acc);
    m_acc = m_memory.bit(op.args[0].at.offset, op.args[0].at.bit) != (op.kind == OpKind::RdNot);
    return pc + 1;
}

int Engine::opAnd(const Op& op, int pc)
{
    m_acc = m_acc && (m_memory.bit(op.args[0].at.offset, op.args[0].at.bit) != (op.kind == OpKind::AndNot));
    return pc + 1;
}

int Engine::opOr(const Op& op, int pc)
{
    m_acc = m_acc || (m_memory.bit(op.args[0].at.offset, op.args[0].at.bit) != (op.kind == OpKind::OrNot));
    return pc + 1;
}

int Engine::opStack(const Op& op, int pc)
{
    const bool top = pop();
    m_acc = op.kind == OpKind::AndStk ? (top && m_acc) : (top || m_acc);
    return pc + 1;
}

int Engine::opWrite(const Op& op, int pc)
{
    if (!op.held) {
        const bool v = m_comOn && (op.kind == OpKind::Wrt ? m_acc : !m_acc);
        m_memory.setBit(op.args[0].at.offset, op.args[0].at.bit, v);
    }
    return pc + 1;
}

int Engine::opSetReset(const Op& op, int pc)
{
    if (m_acc)
        m_memory.setBit(op.args[0].at.offset, op.args[0].at.bit, op.kind == OpKind::Set);
    return pc + 1;
}

int Engine::opFlow(const Op& op, int pc)
{
    switch (op.kind) {
    case OpKind::End2:
        return kScanEnd;
    case OpKind::Sp:
        // Reached by falling through rather than by a call: the main flow ends here.
        return m_callDepth > 0 ? pc + 1 : kScanEnd;
    case OpKind::Spe:
        return m_callDepth > 0 ? m_calls[size_t(--m_callDepth)] : kScanEnd;
    default:
        return pc + 1;
    }
}

int Engine::opCall(const Op& op, int pc)
{
    if (op.kind == OpKind::Call && !m_acc)
        return pc + 1;
    if (m_callDepth >= kCallDepth) {
        m_fault = QStringLiteral("subprograms nested too deep at line %1").arg(op.line);
        return pc + 1;
    }
    m_calls[size_t(m_callDepth++)] = pc + 1;
    // The subprogram's body runs to its SPE wherever the SP lies, after END2 too.
    return op.target + 1 < int(m_program.ops.size()) ? op.target + 1 : pc + 1;
}

int Engine::opJump(const Op& op, int pc) { return m_acc ? op.target : pc + 1; }

int Engine::opCommon(const Op& op, int pc)
{
    m_comOn = op.kind == OpKind::Come || m_acc;
    return pc + 1;
}

int Engine::opEdge(const Op& op, int pc)
{
    bool& last = m_edges[size_t(op.number)];
    const bool in = m_acc;
    m_acc = op.kind == OpKind::Difu ? (in && !last) : (!in && last);
    last = in;
    return pc + 1;
}

void Engine::runTimer(TimerState& t, bool in, int64_t setMs, int unitMs, int mirror)
{
    const int64_t now = m_clock.nowMs();
    t.used = true;
    t.setMs = setMs;
    if (!in) {
        t.running = false;
        t.elapsedMs = 0;
    } else if (!t.running) {
        t.running = true;
        t.elapsedMs = 0;
    } else {
        t.elapsedMs += std::max<int64_t>(0, now - t.lastMs);
    }
    t.lastMs = now;
    t.done = in && t.elapsedMs >= setMs;
    m_memory.setValue(wordAt(Area::T, mirror), 2, uint32_t(std::min<int64_t>(t.elapsedMs / unitMs, 0xFFFF)));
}

int Engine::opTimer(const Op& op, int pc)
{
    const Location setAt = wordAt(Area::DT, op.number);
    if (op.kind == OpKind::Tmrb) {
        runTimer(m_timersB[size_t(op.number)], m_acc, int64_t(op.args[0].value) * op.mode, op.mode,
                 kTimerBMirror + op.number);
        m_acc = m_timersB[size_t(op.number)].done;
    } else {
        runTimer(m_timers[size_t(op.number)], m_acc, int64_t(m_memory.value(setAt, 2)) * op.mode, op.mode, op.number);
        m_acc = m_timers[size_t(op.number)].done;
    }
    return pc + 1;
}

// Inputs, top to bottom: start value (off 0, on 1), direction (off up, on down), reset, count.
// A ring counter: up from the start value to the preset, then back to the start value.
int Engine::opCounter(const Op& op, int pc)
{
    bool in[4] = {};
    takeInputs(4, in);
    const bool fromOne = in[0], down = in[1], reset = in[2], count = in[3];
    const Location current = wordAt(Area::C, op.number);
    const Location presetAt = wordAt(Area::DC, op.number);
    const uint32_t start = fromOne ? 1 : 0;
    const uint32_t preset = m_memory.value(presetAt, 2);
    uint32_t value = m_memory.value(current, 2);
    bool& lastCount = m_counterInputs[size_t(op.number)];
    if (reset) {
        value = down ? preset : start;
    } else if (count && !lastCount) {
        if (down)
            value = value <= start ? preset : value - 1;
        else
            value = value >= preset ? start : value + 1;
    }
    lastCount = count;
    m_memory.setValue(current, 2, value);
    m_acc = !reset && (down ? value == start : value == preset);
    return pc + 1;
}

int Engine::opCompare(const Op& op, int pc)
{
    const uint32_t input = operand(op.args[0], op.length);
    const uint32_t data = operand(op.args[1], op.length);
    m_acc = m_acc && (op.kind == OpKind::Coin ? input == data : input <= data);
    return pc + 1;
}

int Engine::opMove(const Op& op, int pc)
{
    if (!m_acc)
        return pc + 1;
    const Operand& from = op.args[0];
    const Location& to = op.args[1].at;
    if (op.kind != OpKind::Movn) {
        m_memory.setValue(to, op.length, operand(from, op.length));
        return pc + 1;
    }
    for (int i = 0; i < op.mode && to.offset + i < to.end; ++i) {
        uint8_t b = 0;
        if (from.constant)
            b = i < 4 ? uint8_t(from.value >> (8 * i)) : 0;
        else if (from.at.offset + i < from.at.end)
            b = m_memory.byteAt(from.at.offset + i);
        m_memory.setByteAt(to.offset + i, b);
    }
    return pc + 1;
}

// Inputs: reset, then execute. The coil shows a carry (ADD) or a borrow (SUB).
int Engine::opArithmetic(const Op& op, int pc)
{
    bool in[2] = {};
    takeInputs(2, in);
    if (in[0] || !in[1]) {
        m_acc = false;
        return pc + 1;
    }
    const uint64_t a = operand(op.args[0], op.length);
    const uint64_t b = operand(op.args[1], op.length);
    const uint64_t mask = maskOf(op.length);
    uint64_t r = 0;
    if (op.kind == OpKind::Add) {
        r = a + b;
        m_acc = r > mask;
    } else {
        r = a - b;
        m_acc = b > a;
    }
    m_memory.setValue(op.args[2].at, op.length, uint32_t(r & mask));
    return pc + 1;
}

int Engine::opLogic(const Op& op, int pc)
{
    if (!m_acc)
        return pc + 1;
    const uint32_t a = operand(op.args[0], op.length);
    uint32_t r = 0;
    switch (op.kind) {
    case OpKind::Andf: r = a & operand(op.args[1], op.length); break;
    case OpKind::Orf: r = a | operand(op.args[1], op.length); break;
    case OpKind::Eor: r = a ^ operand(op.args[1], op.length); break;
    default: r = ~a; break;
    }
    m_memory.setValue(op.args[2].at, op.length, r & maskOf(op.length));
    return pc + 1;
}

// The result is on while enabled and the value equals the code number; off otherwise.
int Engine::opDecode(const Op& op, int pc)
{
    const bool hit = m_acc && operand(op.args[0], op.length) == op.args[1].value;
    const Location& to = op.args[2].at;
    if (to.hasBit())
        m_memory.setBit(to, hit);
    else
        m_memory.setValue(to, 1, hit ? 1 : 0);
    return pc + 1;
}

namespace {
Location element(const Location& head, int index, int length)
{
    Location l = head;
    l.bit = -1;
    l.offset = std::min(head.offset + index * length, head.end);
    return l;
}
}  // namespace

// COD inputs: reset, execute; XMOV inputs: reset, write (off reads), execute. The coil shows
// an index outside the table.
int Engine::opTable(const Op& op, int pc)
{
    if (op.kind == OpKind::Cod) {
        bool in[2] = {};
        takeInputs(2, in);
        m_acc = false;
        if (in[0] || !in[1])
            return pc + 1;
        const auto& table = m_program.tables[size_t(op.number)];
        const uint32_t index = m_memory.value(op.args[0].at, op.length);
        if (index >= uint32_t(op.mode) || index >= table.size()) {
            m_acc = true;
            return pc + 1;
        }
        m_memory.setValue(op.args[1].at, op.length, table[index]);
        return pc + 1;
    }
    bool in[3] = {};
    takeInputs(3, in);
    m_acc = false;
    if (in[0] || !in[2])
        return pc + 1;
    const uint32_t capacity = m_memory.value(op.args[0].at, 2);
    const uint32_t index = m_memory.value(op.args[3].at, 2);
    if (index >= capacity) {
        m_acc = true;
        return pc + 1;
    }
    const Location entry = element(op.args[1].at, int(index), op.length);
    if (in[1])
        m_memory.setValue(entry, op.length, m_memory.value(op.args[2].at, op.length));
    else
        m_memory.setValue(op.args[2].at, op.length, m_memory.value(entry, op.length));
    return pc + 1;
}

// Inputs: reset, (unused), execute. The coil is on when the value was found; the result
// address gets its index, or the capacity when it is not in the table.
int Engine::opSearch(const Op& op, int pc)
{
    bool in[3] = {};
    takeInputs(3, in);
    m_acc = false;
    if (in[0] || !in[2])
        return pc + 1;
    const uint32_t capacity = m_memory.value(op.args[0].at, 2);
    const uint32_t wanted = m_memory.value(op.args[2].at, op.length);
    uint32_t i = 0;
    for (; i < capacity; ++i) {
        const Location entry = element(op.args[1].at, int(i), op.length);
        if (entry.offset >= entry.end)
            break;
        if (m_memory.value(entry, op.length) == wanted) {
            m_acc = true;
            break;
        }
    }
    m_memory.setValue(op.args[3].at, 2, m_acc ? i : capacity);
    return pc + 1;
}

// Inputs: direction (off: towards the high bit), bit to shift in, reset, shift on the rising
// edge. With a format whose first digit is 1 the bit shifted out comes back in at the other end.
int Engine::opShift(const Op& op, int pc)
{
    bool in[4] = {};
    takeInputs(4, in);
    const bool right = in[0], carryIn = in[1], reset = in[2], act = in[3];
    uint8_t& state = m_opState[size_t(pc)];   // bit 0: last shift input, bit 1: last bit shifted out
    const Location& at = op.args[0].at;
    const int bits = 8 * op.length;
    uint32_t data = m_memory.value(at, op.length);
    if (reset) {
        data = 0;
        state &= ~2u;
    } else if (act && !(state & 1u)) {
        const bool out = right ? (data & 1u) : ((data >> (bits - 1)) & 1u);
        const bool fill = op.mode ? out : carryIn;
        if (right)
            data = (data >> 1) | (uint32_t(fill) << (bits - 1));
        else
            data = (data << 1) | uint32_t(fill);
        state = uint8_t((state & ~2u) | (out ? 2u : 0u));
    }
    state = uint8_t((state & ~1u) | (act ? 1u : 0u));
    m_memory.setValue(at, op.length, data & maskOf(op.length));
    m_acc = (state & 2u) != 0;
    return pc + 1;
}

int Engine::opNotSimulated(const Op& op, int pc)
{
    bool in[8] = {};
    takeInputs(std::min(op.inputs, 8), in);
    m_acc = false;
    return pc + 1;
}

}  // namespace rungpad::sim
