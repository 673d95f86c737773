// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ladder tests and traces: a plain-text table of steps run against the scan engine in virtual
// time, and a table of chosen signals recorded scan by scan. The format is in the README.
//
//   period 8ms             scan period (default 8 ms)
//   set X000.0 1           or: set X0.0=1 X0.1=0        values take effect at the next scan
//   pulse X000.1           on for one scan, then off
//   scan 3                 three scans, each one period later
//   wait 500ms             scans every period until 500 ms have passed (ms, s; plain = ms)
//   expect Y000.0 1        or: expect T0001 >= 100      (=, !=, <, <=, >, >=)
// Names: bits X000.0 (X0.0 too), bytes R100, words D0010 / T1 / C1, with :1 :2 :4 for a
// length: D0010:4. '#' starts a comment.
#include "rungpad/sim/engine.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace rungpad::sim {

inline constexpr int kDefaultScanMs = 8;

// A signal as tests, traces and the watch table name it.
struct SignalName {
    Location at;
    int length = 0;   // bytes; 0 for a bit
    QString text;     // as written
    uint32_t read(const Memory& m) const { return length == 0 ? m.bit(at) : m.value(at, length); }
    void write(Memory& m, uint32_t v) const
    {
        if (length == 0)
            m.setBit(at, v != 0);
        else
            m.setValue(at, length, v);
    }
};
std::optional<SignalName> parseSignalName(const QString& text);
// "500ms", "2s", "1.5s", "250" (ms); nullopt when malformed or negative.
std::optional<int64_t> parseDuration(const QString& text);

enum class Compare { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct TestStep {
    enum Kind { Period, Set, Pulse, Scan, Wait, Expect } kind = Scan;
    int line = 0;          // 1-based line of the test file
    QString text;          // the step as written, comment removed
    std::vector<std::pair<SignalName, uint32_t>> values;   // Set, Pulse (value 1), Expect (one)
    Compare compare = Compare::Equal;
    int64_t amount = 1;    // scans, or ms for Period and Wait
};

struct TestFileError {
    int line = 0;
    QString message;
};
std::optional<std::vector<TestStep>> parseTestFile(const QString& text, TestFileError* error = nullptr);

struct StepFailure {
    int line = 0;
    QString step;
    QString expected;
    QString actual;
};

struct TestResult {
    int steps = 0;
    int expectations = 0;
    std::vector<StepFailure> failures;
    QString fault;   // the engine stopped a scan (a looping jump)
    bool passed() const { return failures.empty() && fault.isEmpty(); }
};

// Runs the steps from the engine's present state; the clock advances one period per scan.
class SimulationDriver {
public:
    SimulationDriver(Engine& engine, VirtualClock& clock) : m_engine(engine), m_clock(clock) {}
    void setPeriodMs(int ms) { m_periodMs = std::max(1, ms); }
    int periodMs() const { return m_periodMs; }
    // One scan, `ms` (default: one period) after the previous one.
    void step(int64_t ms = -1);
    // Scans every period until `ms` have passed; the last one falls exactly at the end.
    // `afterScan` sees each scan.
    template <typename F>
    void run(int64_t ms, F afterScan)
    {
        while (ms > 0) {
            const int64_t d = std::min<int64_t>(ms, m_periodMs);
            step(d);
            ms -= d;
            afterScan();
        }
    }
    TestResult runTest(const std::vector<TestStep>& steps);

private:
    Engine& m_engine;
    VirtualClock& m_clock;
    int m_periodMs = kDefaultScanMs;
};

// Signals recorded once per scan; a fixed-width table for people, CSV for tools.
class Trace {
public:
    explicit Trace(std::vector<SignalName> names) : m_names(std::move(names)) {}
    void record(int64_t timeMs, uint64_t scan, const Memory& memory);
    QString table() const;
    QString csv() const;
    const std::vector<SignalName>& names() const { return m_names; }
    size_t rows() const { return m_rows.size(); }
    void clear() { m_rows.clear(); }

private:
    struct Row {
        int64_t timeMs;
        uint64_t scan;
        std::vector<uint32_t> values;
    };
    std::vector<SignalName> m_names;
    std::vector<Row> m_rows;
};

}  // namespace rungpad::sim
