// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scan engine: runs a converted ladder's instruction list over the signal memory, one
// scan at a time, with time taken from an injected clock. No I/O, no Qt widgets: the window,
// rungpad-cli and the tests drive it the same way.
//
// API in brief (namespace rungpad::sim):
//   VirtualClock clock;  Engine e(clock);
//   auto program = loadInstructionList(compiler.instructionLines(), &error);
//   e.load(*program);  e.memory().write(*parseLocation("X000.0"), 1);  e.scan();
//   clock.advance(8); e.scan();   e.memory().read(...), e.timer(1), e.fault()
// The semantics of every instruction are written down in the README's simulation section.
#include "rungpad/sim/memory.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rungpad::sim {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowMs() const = 0;
};

// Time that moves only when told to: tests, rungpad-cli and the window's speed control.
class VirtualClock : public Clock {
public:
    int64_t nowMs() const override { return m_now; }
    void advance(int64_t ms) { m_now += ms; }
    void set(int64_t ms) { m_now = ms; }

private:
    int64_t m_now = 0;
};

enum class OpKind : uint8_t {
    Rd, RdNot, And, AndNot, Or, OrNot, AndStk, OrStk, Wrt, WrtNot, Set, Rst,
    End1, End2, Sp, Spe, Call, CallU, Jmpb, Lbl, Com, Come, Difu, Difd,
    Tmr, Tmrb, Tmrc, Ctr, Comp, Coin, Movn, Movb, Movw, Add, Sub, Andf, Orf, Eor, Not,
    Dec, Cod, Xmov, Dsch, Sft, NotSimulated,
};

struct Operand {
    bool constant = false;
    uint32_t value = 0;   // the constant
    Location at;          // the address
};

class Engine;
struct Op;
using ExecFn = int (Engine::*)(const Op&, int pc);

struct Op {
    OpKind kind = OpKind::Rd;
    ExecFn exec = nullptr;
    int line = 0;               // 1-based ladder line the instruction came from
    bool startsNetwork = false; // an RD that begins a new network (stack emptied)
    bool held = false;          // a coil after a block that is not simulated: left to the user
    int inputs = 0;             // logic values the instruction takes from the stack
    int number = 0;             // timer, counter, edge, label or subprogram number; COD table
    int length = 1;             // data length in bytes
    int mode = 0;               // timer unit in ms, SFT rotate flag, MOVN byte count
    int target = -1;            // op index a jump or call goes to
    std::array<Operand, 5> args{};
};

struct LoadError {
    int line = 0;   // 1-based ladder line, 0 when none
    QString message;
};

struct Program {
    std::vector<Op> ops;
    std::vector<std::vector<uint32_t>> tables;   // COD tables, in program order
    int end2 = -1;                               // op index of END2 (the main flow stops there)
    std::vector<int> notSimulatedLines;          // 1-based lines of ROT/AXCTL/WINDR/WINDW blocks
};

// Builds a program from the converter's instruction lines ("MNEMONIC  operands  %4d").
std::optional<Program> loadInstructionList(const std::vector<QByteArray>& lines, LoadError* error = nullptr);
// The 1-based ladder line an instruction line ends with.
int instructionLineNumber(const QByteArray& line);

struct TimerState {
    int64_t elapsedMs = 0;
    int64_t setMs = 0;
    int64_t lastMs = 0;
    bool running = false;
    bool done = false;
    bool used = false;
};

inline constexpr int kTimerCount = 128;
inline constexpr int kEdgeCount = 256;
inline constexpr int kStackDepth = 64;
inline constexpr int kCallDepth = 32;

class Engine {
public:
    explicit Engine(const Clock& clock);

    // Replaces the program; memory is kept, instruction state (timers, edges) starts afresh.
    void load(Program program);
    const Program& program() const { return m_program; }
    // Power on: volatile memory and all instruction state cleared; K and the word areas kept.
    void powerOn();

    void scan();
    uint64_t scanCount() const { return m_scans; }
    int64_t lastScanMs() const { return m_lastScanMs; }
    // Why the last scan stopped early, empty when it ran to its end.
    const QString& fault() const { return m_fault; }

    Memory& memory() { return m_memory; }
    const Memory& memory() const { return m_memory; }
    // TMR/TMRC number n, or TMRB number n.
    const TimerState& timer(int n) const { return m_timers[size_t(n & 127)]; }
    const TimerState& timerB(int n) const { return m_timersB[size_t(n & 127)]; }

private:
    friend struct OpTable;
    bool pop();
    void push(bool v);
    void takeInputs(int n, bool* in);
    uint32_t operand(const Operand& o, int length) const;
    void runTimer(TimerState& t, bool in, int64_t setMs, int unitMs, int mirror);

    int opRead(const Op&, int pc);
    int opAnd(const Op&, int pc);
    int opOr(const Op&, int pc);
    int opStack(const Op&, int pc);
    int opWrite(const Op&, int pc);
    int opSetReset(const Op&, int pc);
    int opFlow(const Op&, int pc);
    int opCall(const Op&, int pc);
    int opJump(const Op&, int pc);
    int opCommon(const Op&, int pc);
    int opEdge(const Op&, int pc);
    int opTimer(const Op&, int pc);
    int opCounter(const Op&, int pc);
    int opCompare(const Op&, int pc);
    int opMove(const Op&, int pc);
    int opArithmetic(const Op&, int pc);
    int opLogic(const Op&, int pc);
    int opDecode(const Op&, int pc);
    int opTable(const Op&, int pc);
    int opSearch(const Op&, int pc);
    int opShift(const Op&, int pc);
    int opNotSimulated(const Op&, int pc);

    const Clock& m_clock;
    Program m_program;
    Memory m_memory;
    std::array<TimerState, kTimerCount> m_timers{};
    std::array<TimerState, kTimerCount> m_timersB{};
    std::array<bool, kEdgeCount> m_edges{};
    std::array<bool, kTimerCount> m_counterInputs{};
    std::vector<uint8_t> m_opState;   // per op: last count input of SFT, last shifted-out bit

    bool m_acc = false;
    std::array<bool, kStackDepth> m_stack{};
    int m_sp = 0;
    bool m_comOn = true;
    std::array<int, kCallDepth> m_calls{};
    int m_callDepth = 0;

    uint64_t m_scans = 0;
    int64_t m_lastScanMs = 0;
    QString m_fault;
};

// Units of the timer precision parameter of TMRB and TMRC, in ms (0..5).
int timerUnitMs(int precision);

}  // namespace rungpad::sim
