// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/bench/denseladder.h"
#include "rungpad/sim/powerflow.h"

#include "sim_helpers.h"

#include <random>

using namespace rungpad;
using namespace rungpad::sim;
using namespace rungpad::sim::testing;

// ---------------------------------------------------------------------------------------
// Signal memory

TEST(SignalMemory, AddressesMapIntoTheirAreas)
{
    struct Row {
        const char* text;
        bool ok;
        const char* canonical;
        int bit;
    };
    const Row rows[] = {
        {"X012.3", true, "X012.3", 3},  {"x5.7", true, "X005.7", 7},     {"R999.7", true, "R999.7", 7},
        {"D0010", true, "D0010", -1},   {"DT0005", true, "DT0005", -1},  {"DC127", true, "DC0127", -1},
        {"C3", true, "C0003", -1},      {"D010.3", true, "D010.3", 3},   {"X128.0", false, "", 0},
        {"R1000.0", false, "", 0},      {"K064.0", false, "", 0},        {"DT0128", false, "", 0},
        {"X012.8", false, "", 0},       {"Q001.0", false, "", 0},        {"X", false, "", 0},
        {"X1.2.3", false, "", 0},
    };
    for (const Row& r : rows) {
        const auto l = parseLocation(r.text);
        ASSERT_EQ(bool(l), r.ok) << r.text;
        if (l) {
            EXPECT_EQ(locationText(*l), QString::fromLatin1(r.canonical)) << r.text;
            EXPECT_EQ(l->bit, r.bit) << r.text;
        }
    }
}

TEST(SignalMemory, WordAreasCountWordsAndBitsSitInTheLowByte)
{
    Memory m;
    const auto d10 = *parseLocation("D0010");
    const auto d11 = *parseLocation("D0011");
    m.setValue(d10, 4, 0x12345678);
    EXPECT_EQ(m.value(d10, 2), 0x5678u);
    EXPECT_EQ(m.value(d11, 2), 0x1234u);            // a 4-byte value runs into the next word
    EXPECT_TRUE(m.bit(*parseLocation("D010.3")));   // 0x78 has bit 3 set
    EXPECT_FALSE(m.bit(*parseLocation("D010.0")));
    // The last word of an area: the bytes past its end read 0 and are never written.
    const auto last = *parseLocation("D0255");
    m.setValue(last, 4, 0xAABBCCDD);
    EXPECT_EQ(m.value(last, 4), 0xCCDDu);
    EXPECT_EQ(m.value(*parseLocation("C0000"), 2), 0u);
}

TEST(SignalMemory, PowerOnKeepsKeepRelaysAndData)
{
    VirtualClock clock;
    Engine e(clock);
    for (const char* a : {"X000.1", "Y000.1", "R100.1", "K010.1", "A001.1"})
        e.memory().setBit(*parseLocation(a), true);
    e.memory().setValue(*parseLocation("D0001"), 2, 77);
    e.powerOn();
    for (const char* a : {"X000.1", "Y000.1", "R100.1", "A001.1"})
        EXPECT_FALSE(e.memory().bit(*parseLocation(a))) << a;
    EXPECT_TRUE(e.memory().bit(*parseLocation("K010.1")));
    EXPECT_EQ(e.memory().value(*parseLocation("D0001"), 2), 77u);
}

// ---------------------------------------------------------------------------------------
// Contacts, coils and the logic stack

TEST(BasicLogic, NetworksGiveTheirTruthTables)
{
    // Inputs X000.0..X000.2 as bits of a, b, c; expected coil per input combination 0..7.
    struct Row {
        const char* name;
        QString ladder;
        const char* expected;   // character i: coil for inputs i
    };
    const Row rows[] = {
        {"a", rung("X000.0", "(Y000.0)"), "01010101"},
        {"not a", rung("/X000.0", "(Y000.0)"), "10101010"},
        {"a and b", rung("X000.0 X000.1", "(Y000.0)"), "00010001"},
        {"a and not b", rung("X000.0 /X000.1", "(Y000.0)"), "01000100"},
        {"negated coil on a", rung("X000.0", "(/Y000.0)"), "10101010"},
        {"a or b", "X000.0+ - - - - - - - - (Y000.0)\nX000.1\n", "01110111"},
        {"a or not b", "X000.0+ - - - - - - - - (Y000.0)\n/X000.1\n", "11011101"},
        {"(a or b) and c", "X000.0+ X000.2 - - - - - - - (Y000.0)\nX000.1\n", "00000111"},
        {"(a and b) or c", "X000.0 X000.1+ - - - - - - - (Y000.0)\nX000.2 -\n", "00011111"},
        {"(a or b) and (c or a)", "X000.0+ X000.2+ - - - - - - - (Y000.0)\nX000.1 X000.0\n", "01010111"},
        {"two coils on one network", "X000.0 X000.1 - - - - - - -+ (Y000.0)\n. . . . . . . . . (Y000.1)\n", "00010001"},
    };
    for (const Row& r : rows) {
        Rig rig(r.ladder);
        for (int in = 0; in < 8; ++in) {
            rig.set("X000", uint32_t(in));
            rig.scan();
            EXPECT_EQ(rig.get("Y000.0"), uint32_t(r.expected[in] - '0')) << r.name << " inputs " << in;
            if (QString(r.name).startsWith("two coils")) {
                EXPECT_EQ(rig.get("Y000.1"), rig.get("Y000.0")) << r.name;
            }
        }
    }
}

TEST(BasicLogic, SetAndResetHoldUntilTheOtherFires)
{
    Rig rig(blockText("SET", {"R010.0"}, {"X000.0"}) + blockText("RST", {"R010.0"}, {"X000.1"})
            + rung("R010.0", "(Y000.0)"));
    // X000.0 X000.1 -> R010.0 after the scan
    const int steps[][3] = {{0, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 0, 0}, {1, 1, 0}, {1, 0, 1}};
    for (const auto& s : steps) {
        rig.set("X000.0", s[0]);
        rig.set("X000.1", s[1]);
        rig.scan();
        EXPECT_EQ(rig.get("R010.0"), uint32_t(s[2])) << s[0] << s[1];
        EXPECT_EQ(rig.get("Y000.0"), uint32_t(s[2]));
    }
}

TEST(BasicLogic, EdgesAreOnForExactlyOneScan)
{
    Rig rig(blockText("DIFU", {"0001"}, {"X000.0"}, "(Y000.0)") + blockText("DIFD", {"0002"}, {"X000.0"}, "(Y000.1)"));
    // X000.0 per scan, then the rising and falling edge coils after it.
    const int seq[][3] = {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {1, 1, 0}, {0, 0, 1}};
    for (const auto& s : seq) {
        rig.set("X000.0", s[0]);
        rig.scan();
        EXPECT_EQ(rig.get("Y000.0"), uint32_t(s[1]));
        EXPECT_EQ(rig.get("Y000.1"), uint32_t(s[2]));
    }
}

TEST(BasicLogic, LatchWithStartAndStopButtons)
{
    // The circuit every machine has: start X000.0 or the coil itself, not stop X000.1.
    Rig rig("X000.0+ /X000.1 - - - - - - - (Y000.0)\nY000.0\n");
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    rig.set("X000.0", 1);
    rig.scan();
    rig.set("X000.0", 0);
    rig.scan(5);
    EXPECT_EQ(rig.get("Y000.0"), 1u) << "the latch holds after start is let go";
    rig.set("X000.1", 1);
    rig.scan();
    rig.set("X000.1", 0);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 0u) << "stop drops it for good";
}

// Random networks: AND of segments, each a contact or an OR of series branches, drawn on the
// grid as a user would; the converter's instruction list must compute the drawn formula.
TEST(BasicLogic, RandomContactNetworksMatchTheDrawnCircuit)
{
    std::mt19937 rng(20261209);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Contact { int input; bool negated; };
    using Branch = std::vector<Contact>;
    using Segment = std::vector<Branch>;
    int converted = 0, tried = 0;
    for (int sample = 0; sample < 300; ++sample) {
        std::vector<Segment> segments;
        int width = 0;
        const int count = pick(1, 3);
        for (int s = 0; s < count; ++s) {
            Segment seg;
            const int branches = pick(1, 3);
            int segWidth = 0;
            for (int b = 0; b < branches; ++b) {
                Branch br;
                const int len = branches == 1 ? 1 : pick(1, 2);
                for (int i = 0; i < len; ++i)
                    br.push_back({pick(0, 5), pick(0, 3) == 0});
                segWidth = std::max<int>(segWidth, int(br.size()));
                seg.push_back(br);
            }
            if (width + segWidth > 9)
                break;
            width += segWidth;
            segments.push_back(seg);
        }
        // Draw: rows = the tallest segment; each segment's bus is a run of links in its last column.
        size_t rows = 1;
        for (const Segment& s : segments)
            rows = std::max(rows, s.size());
        std::vector<std::vector<QString>> grid(rows, std::vector<QString>(10, QStringLiteral(".")));
        std::vector<std::vector<bool>> link(rows, std::vector<bool>(10, false));
        int col = 0;
        for (const Segment& s : segments) {
            int segWidth = 0;
            for (const Branch& b : s)
                segWidth = std::max<int>(segWidth, int(b.size()));
            for (size_t b = 0; b < s.size(); ++b) {
                for (int i = 0; i < segWidth; ++i) {
                    if (i < int(s[b].size()))
                        grid[b][size_t(col + i)] = QStringLiteral("%1X000.%2").arg(s[b][size_t(i)].negated ? "/" : "").arg(s[b][size_t(i)].input);
                    else
                        grid[b][size_t(col + i)] = QStringLiteral("-");
                }
                if (b + 1 < s.size())
                    link[b][size_t(col + segWidth - 1)] = true;
            }
            col += segWidth;
        }
        for (int c = col; c < 9; ++c)
            grid[0][size_t(c)] = QStringLiteral("-");
        grid[0][9] = QStringLiteral("(Y000.0)");
        QString text;
        for (size_t r = 0; r < rows; ++r) {
            QStringList cells;
            for (int c = 0; c < 10; ++c)
                cells << grid[r][size_t(c)] + (link[r][size_t(c)] ? "+" : "");
            text += cells.join(' ') + '\n';
        }
        ++tried;
        auto outcome = rungpad::testing::convertText(text + rungpad::testing::kEnds);
        if (!outcome.ok)
            continue;   // a shape the converter refuses: nothing to simulate
        ++converted;
        auto program = loadInstructionList(outcome.raw);
        ASSERT_TRUE(program) << qPrintable(text);
        VirtualClock clock;
        Engine e(clock);
        e.load(std::move(*program));
        for (uint32_t in = 0; in < 64; ++in) {
            bool expected = true;
            for (const Segment& s : segments) {
                bool any = false;
                for (const Branch& b : s) {
                    bool all = true;
                    for (const Contact& c : b)
                        all = all && (((in >> c.input) & 1u) != 0) != c.negated;
                    any = any || all;
                }
                expected = expected && any;
            }
            e.memory().setValue(*parseLocation("X000"), 1, in);
            e.scan();
            ASSERT_EQ(e.memory().bit(*parseLocation("Y000.0")), expected)
                << "inputs " << in << "\n" << qPrintable(text) << qPrintable(outcome.lines.join('\n'));
        }
        // The window's colouring of the same drawing agrees with the engine at the coil.
        PowerFlow flow;
        flow.compute(outcome.ladder, e.memory(), 0, int(rows) - 1);
        EXPECT_EQ(flow.cellPowered(0, 9), e.memory().bit(*parseLocation("Y000.0"))) << qPrintable(text);
    }
    EXPECT_GT(converted, tried / 2) << "most drawn networks must convert, or this test checks little";
}

// ---------------------------------------------------------------------------------------
// Timers and counters in virtual time

TEST(Timers, OnDelayTimersCountWhileTheirConditionHolds)
{
    struct Row {
        const char* name;
        QString block;
        uint32_t dtValue;   // DT0001 (set value of TMR/TMRC 1)
        int64_t doneAfterMs;
    };
    const Row rows[] = {
        {"TMR in ms from DT", blockText("TMR", {"0001"}, {"X000.0"}, "(Y000.0)"), 100, 100},
        {"TMRB, 100 ms units from the block", blockText("TMRB", {"0002", "0001", "00005"}, {"X000.0"}, "(Y000.0)"), 0, 500},
        {"TMRC, 1 s units from DT", blockText("TMRC", {"0003", "0001"}, {"X000.0"}, "(Y000.0)"), 2, 2000},
    };
    for (const Row& r : rows) {
        Rig rig(r.block);
        rig.set("DT0001", r.dtValue);
        rig.set("X000.0", 1);
        rig.scan();   // the timer starts at this scan
        rig.wait(r.doneAfterMs - 1);
        EXPECT_EQ(rig.get("Y000.0"), 0u) << r.name << ": 1 ms early";
        rig.wait(1);
        EXPECT_EQ(rig.get("Y000.0"), 1u) << r.name << ": on time";
        rig.wait(1000);
        EXPECT_EQ(rig.get("Y000.0"), 1u) << r.name << ": stays on";
        rig.set("X000.0", 0);
        rig.scan();
        EXPECT_EQ(rig.get("Y000.0"), 0u) << r.name << ": condition off resets";
        // No retention: after a short pulse the full time is needed again.
        rig.set("X000.0", 1);
        rig.scan();
        rig.wait(r.doneAfterMs / 2);
        rig.set("X000.0", 0);
        rig.scan();
        rig.set("X000.0", 1);
        rig.scan();
        rig.wait(r.doneAfterMs - 1);
        EXPECT_EQ(rig.get("Y000.0"), 0u) << r.name << ": interrupted time is not kept";
    }
}

TEST(Timers, ElapsedTimeIsMirroredInTheTimerArea)
{
    Rig rig(blockText("TMR", {"0004"}, {"X000.0"}, "(Y000.0)") +
            blockText("TMRB", {"0001", "0002", "00050"}, {"X000.0"}, "(Y000.1)"));
    rig.set("DT0004", 1000);
    rig.set("X000.0", 1);
    rig.scan();
    rig.wait(250);
    EXPECT_EQ(rig.get("T0004"), 250u);            // ms
    EXPECT_EQ(rig.get("T0130"), 25u);             // TMRB 2 at T 128+2, in 10 ms units
    EXPECT_EQ(rig.engine.timer(4).elapsedMs, 250);
    EXPECT_EQ(rig.engine.timerB(2).setMs, 500);
}

TEST(Counters, RingCounterUpDownResetAndStartValue)
{
    // Inputs: start value (X000.1), direction (X000.2), reset (X000.3), count (X000.4).
    Rig rig(blockText("CTR", {"0002"}, {"X000.1", "X000.2", "X000.3", "X000.4"}, "(Y000.0)"));
    rig.set("DC0002", 3);
    auto pulse = [&] {
        rig.set("X000.4", 1);
        rig.scan();
        rig.set("X000.4", 0);
        rig.scan();
    };
    // Holding the count input on counts once.
    rig.set("X000.4", 1);
    rig.scan(4);
    rig.set("X000.4", 0);
    rig.scan();
    EXPECT_EQ(rig.get("C0002"), 1u);
    pulse();
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    pulse();
    EXPECT_EQ(rig.get("C0002"), 3u);
    EXPECT_EQ(rig.get("Y000.0"), 1u) << "preset reached";
    pulse();
    EXPECT_EQ(rig.get("C0002"), 0u) << "past the preset it starts again";
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    // Start value 1: reset goes to 1.
    rig.set("X000.1", 1);
    rig.set("X000.3", 1);
    rig.scan();
    rig.set("X000.3", 0);
    EXPECT_EQ(rig.get("C0002"), 1u);
    // Down from the preset to the start value.
    rig.set("X000.2", 1);
    rig.set("X000.3", 1);
    rig.scan();
    rig.set("X000.3", 0);
    EXPECT_EQ(rig.get("C0002"), 3u);
    pulse();
    pulse();
    EXPECT_EQ(rig.get("C0002"), 1u);
    EXPECT_EQ(rig.get("Y000.0"), 1u) << "down counting reaches the start value";
    pulse();
    EXPECT_EQ(rig.get("C0002"), 3u);
    // The count is kept while nothing counts: retention across a condition drop.
    rig.scan(10);
    EXPECT_EQ(rig.get("C0002"), 3u);
}

// ---------------------------------------------------------------------------------------
// Word instructions: one scan with the condition on, hand-worked results.

TEST(WordInstructions, OneScanGivesTheHandWorkedResult)
{
    struct Preset { const char* name; uint32_t value; };
    struct Row {
        const char* name;
        QString block;
        std::vector<Preset> before;
        std::vector<Preset> after;   // coil R900.0 included where it matters
        bool offKeepsMemory = true;  // DEC drives its result off while disabled
    };
    const QStringList resetAct = {"X000.7", "X000.0"};
    const std::vector<Row> rows = {
        {"COMP constant <= data", blockText("COMP", {"0002", "01000", "D0001"}), {{"D0001", 1000}}, {{"R900.0", 1}}},
        {"COMP constant > data", blockText("COMP", {"0002", "01000", "D0001"}), {{"D0001", 999}}, {{"R900.0", 0}}},
        {"COMP address form", blockText("COMP", {"1001", "D0002", "D0001"}), {{"D0001", 0x0105}, {"D0002", 6}}, {{"R900.0", 0}}},
        {"COIN equal", blockText("COIN", {"0002", "00042", "D0001"}), {{"D0001", 42}}, {{"R900.0", 1}}},
        {"COIN not equal", blockText("COIN", {"1002", "D0002", "D0001"}), {{"D0001", 42}, {"D0002", 43}}, {{"R900.0", 0}}},
        {"MOVB constant", blockText("MOVB", {"00171", "R0100"}), {}, {{"R100", 171}, {"R900.0", 1}}},
        {"MOVW address", blockText("MOVW", {"D0003", "D0004"}), {{"D0003", 0xBEEF}}, {{"D0004", 0xBEEF}}},
        {"MOVN three bytes", blockText("MOVN", {"0003", "R0010", "R0020"}), {{"R010:2", 0x0201}, {"R012", 3}, {"R013", 4}},
         {{"R020:2", 0x0201}, {"R022", 3}, {"R023", 0}}},
        {"ADD word with carry", blockText("ADD", {"0002", "D0001", "00010", "D0002"}, resetAct), {{"D0001", 0xFFFA}},
         {{"D0002", 4}, {"R900.0", 1}}},
        {"ADD byte, address", blockText("ADD", {"1001", "D0001", "D0003", "D0002"}, resetAct), {{"D0001", 100}, {"D0003", 27}},
         {{"D0002", 127}, {"R900.0", 0}}},
        {"SUB with borrow", blockText("SUB", {"0002", "D0001", "00005", "D0002"}, resetAct), {{"D0001", 3}},
         {{"D0002", 0xFFFE}, {"R900.0", 1}}},
        {"SUB, reset on: nothing", blockText("SUB", {"0002", "D0001", "00005", "D0002"}, {"X000.0", "X000.0"}),
         {{"D0001", 30}, {"D0002", 7}}, {{"D0002", 7}, {"R900.0", 0}}},
        {"ANDF", blockText("ANDF", {"0002", "D0001", "00255", "D0002"}), {{"D0001", 0x1234}}, {{"D0002", 0x34}}},
        {"ORF", blockText("ORF", {"1001", "D0001", "D0003", "D0002"}), {{"D0001", 0x0F}, {"D0003", 0xF0}}, {{"D0002", 0xFF}}},
        {"EOR", blockText("EOR", {"0002", "D0001", "65535", "D0002"}), {{"D0001", 0x00FF}}, {{"D0002", 0xFF00}}},
        {"NOT byte", blockText("NOT", {"0001", "D0001", "D0002"}), {{"D0001", 0x0F}, {"D0002", 0x1200}}, {{"D0002", 0x12F0}}},
        {"DEC hit to a bit", blockText("DEC", {"0001", "D0001", "0012", "R030.2"}), {{"D0001", 12}}, {{"R030.2", 1}}},
        {"DEC miss", blockText("DEC", {"0001", "D0001", "0012", "R030.2"}), {{"D0001", 13}, {"R030.2", 1}}, {{"R030.2", 0}}, false},
    };
    for (const Row& r : rows) {
        Rig rig(r.block);
        for (const Preset& p : r.before)
            rig.set(p.name, p.value);
        rig.set("X000.0", 1);
        rig.scan();
        for (const Preset& p : r.after)
            EXPECT_EQ(rig.get(p.name), p.value) << r.name << ": " << p.name;
        // With the condition off nothing is written and the coil drops.
        Rig off(r.block);
        for (const Preset& p : r.before)
            off.set(p.name, p.value);
        off.scan();
        EXPECT_EQ(off.get("R900.0"), 0u) << r.name;
        for (const Preset& p : r.before)
            if (r.offKeepsMemory) {
                EXPECT_EQ(off.get(p.name), p.value) << r.name << ": " << p.name << " untouched while off";
            }
    }
}

TEST(WordInstructions, TablesLookUpMoveAndSearch)
{
    // COD: four word entries below the block, index in D0000, result in D0010.
    {
        QString text = blockText("COD", {"0002", "0004", "D0000", "D0010"}, {"X000.7", "X000.0"});
        text += "{4000:00100} {4001:00200} {4002:00300} {4003:00400} {4004} {4005} {4006} {4007} {4008} {4009}\n";
        Rig rig(text);
        rig.set("X000.0", 1);
        for (uint32_t i : {2u, 0u, 3u}) {
            rig.set("D0000", i);
            rig.scan();
            EXPECT_EQ(rig.get("D0010"), 100 * (i + 1)) << "COD entry " << i;
            EXPECT_EQ(rig.get("R900.0"), 0u);
        }
        rig.set("D0000", 4);
        rig.scan();
        EXPECT_EQ(rig.get("R900.0"), 1u) << "index past the table";
        EXPECT_EQ(rig.get("D0010"), 400u) << "output kept";
    }
    // XMOV: capacity D0000, table from D0010, data D0002, index D0001; input 2 selects writing.
    {
        Rig rig(blockText("XMOV", {"0002", "D0000", "D0010", "D0002", "D0001"}, {"X000.7", "X000.1", "X000.0"}));
        rig.set("D0000", 3);
        rig.set("D0011", 555);
        rig.set("D0001", 1);
        rig.set("X000.0", 1);
        rig.scan();
        EXPECT_EQ(rig.get("D0002"), 555u) << "read entry 1";
        rig.set("X000.1", 1);
        rig.set("D0001", 2);
        rig.set("D0002", 777);
        rig.scan();
        EXPECT_EQ(rig.get("D0012"), 777u) << "written to entry 2";
        rig.set("D0001", 3);
        rig.scan();
        EXPECT_EQ(rig.get("R900.0"), 1u) << "index 3 of 3 is outside";
        EXPECT_EQ(rig.get("D0013"), 0u);
    }
    // DSCH: capacity D0000, table D0010.., searched value D0002, result D0003.
    {
        Rig rig(blockText("DSCH", {"0002", "D0000", "D0010", "D0002", "D0003"}, {"X000.7", "X000.6", "X000.0"}));
        rig.set("D0000", 4);
        for (int i = 0; i < 5; ++i)
            rig.set(QStringLiteral("D%1").arg(10 + i).toLatin1().constData(), uint32_t(10 * i));
        rig.set("X000.0", 1);
        rig.set("D0002", 30);
        rig.scan();
        EXPECT_EQ(rig.get("D0003"), 3u);
        EXPECT_EQ(rig.get("R900.0"), 1u);
        rig.set("D0002", 40);   // present in D0014, but past the capacity
        rig.scan();
        EXPECT_EQ(rig.get("D0003"), 4u);
        EXPECT_EQ(rig.get("R900.0"), 0u);
    }
}

TEST(WordInstructions, ShiftMovesOneBitPerRisingEdge)
{
    // Inputs: direction X000.1, bit in X000.2, reset X000.3, shift X000.4. Byte R050.
    Rig rig(blockText("SFT", {"R0050", "0001"}, {"X000.1", "X000.2", "X000.3", "X000.4"}));
    auto shift = [&] {
        rig.set("X000.4", 1);
        rig.scan(3);   // held on: one shift only
        rig.set("X000.4", 0);
        rig.scan();
    };
    rig.set("X000.2", 1);
    shift();
    EXPECT_EQ(rig.get("R050"), 0x01u);
    rig.set("X000.2", 0);
    shift();
    shift();
    EXPECT_EQ(rig.get("R050"), 0x04u);
    rig.set("R050", 0x81);
    shift();
    EXPECT_EQ(rig.get("R050"), 0x02u);
    EXPECT_EQ(rig.get("R900.0"), 1u) << "the bit shifted out";
    rig.set("X000.1", 1);   // right
    shift();
    EXPECT_EQ(rig.get("R050"), 0x01u);
    EXPECT_EQ(rig.get("R900.0"), 0u);
    rig.set("X000.3", 1);
    rig.scan();
    EXPECT_EQ(rig.get("R050"), 0u);
}

// ---------------------------------------------------------------------------------------
// Program flow

TEST(ProgramFlow, JumpsSkipNetworksAndSubprogramsRunWhenCalled)
{
    const QString body = blockText("JMPB", {"0001"}, {"X000.0"}) + rung("X000.1", "(Y000.0)") +
                         "- - - - {3400:LBL} {3401:0001} - - - -\n" + blockText("CALL", {"0002"}, {"X000.2"}) +
                         "- - - - {4300:CALLU} {4301:0003} - - - -\n";
    const QString subs = "- - - - {1500:SP} {1501:0002} - - - -\n" + rung("X000.3", "(Y000.1)") +
                         "- - - - {1600:SPE} - - - - -\n" + "- - - - {1500:SP} {1501:0003} - - - -\n" +
                         rung("X000.4", "(Y000.2)") + "- - - - {1600:SPE} - - - - -\n";
    Rig rig(body, subs);
    rig.set("X000", 0x1E);   // X000.1..4 on, no jump
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 1u);
    EXPECT_EQ(rig.get("Y000.1"), 1u);
    EXPECT_EQ(rig.get("Y000.2"), 1u);
    rig.set("X000", 0x01);   // jump over Y000.0; CALL off; CALLU still runs
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 1u) << "a skipped coil keeps its value";
    EXPECT_EQ(rig.get("Y000.1"), 1u) << "an uncalled subprogram's coil keeps its value";
    EXPECT_EQ(rig.get("Y000.2"), 0u) << "CALLU runs every scan";
    rig.set("X000", 0x00);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    EXPECT_TRUE(rig.engine.fault().isEmpty());
}

TEST(ProgramFlow, MasterControlForcesCoilsOff)
{
    Rig rig(blockText("COM", {}, {"X000.0"}) + rung("X000.1", "(Y000.0)") + rung("X000.1", "(/Y000.1)") +
            "- - - - {3900:COME} - - - - -\n" + rung("X000.1", "(Y000.2)"));
    rig.set("X000.1", 1);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    EXPECT_EQ(rig.get("Y000.1"), 0u);
    EXPECT_EQ(rig.get("Y000.2"), 1u) << "after COME coils follow their networks again";
    rig.set("X000.0", 1);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 1u);
    rig.set("X000.1", 0);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.1"), 1u);
}

TEST(ProgramFlow, BackwardJumpThatNeverEndsIsStoppedAndReported)
{
    Rig rig("- - - - {3400:LBL} {3401:0001} - - - -\n" + blockText("JMPB", {"0001"}, {"X000.0"}) + rung("X000.1", "(Y000.0)"));
    rig.set("X000.0", 1);
    rig.set("X000.1", 1);
    rig.scan();
    EXPECT_FALSE(rig.engine.fault().isEmpty());
    rig.set("X000.0", 0);
    rig.scan();
    EXPECT_TRUE(rig.engine.fault().isEmpty());
    EXPECT_EQ(rig.get("Y000.0"), 1u);
}

TEST(ProgramFlow, MachineBlocksAreMarkedAndTheirCoilsLeftToTheUser)
{
    Rig rig(blockText("WINDR", {"D0001"}, {"X000.0"}, "(Y000.0)") + rung("X000.0", "(Y000.1)"));
    ASSERT_EQ(rig.engine.program().notSimulatedLines.size(), 1u);
    EXPECT_EQ(rig.engine.program().notSimulatedLines[0], 1);
    rig.set("X000.0", 1);
    rig.set("Y000.0", 1);   // what the user says the machine answered
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 1u);
    rig.set("Y000.0", 0);
    rig.scan();
    EXPECT_EQ(rig.get("Y000.0"), 0u);
    EXPECT_EQ(rig.get("Y000.1"), 1u) << "the next network is not disturbed";
}

TEST(ProgramFlow, LoaderRejectsWhatItCannotRun)
{
    LoadError e;
    EXPECT_FALSE(loadInstructionList({"FOO       X000.0     7"}, &e));
    EXPECT_EQ(e.line, 7);
    EXPECT_FALSE(loadInstructionList({"RD        X200.0     3"}, &e));
    EXPECT_EQ(e.line, 3);
    EXPECT_FALSE(loadInstructionList({"JMPB      0009     4"}, &e));
    EXPECT_EQ(e.line, 4);
    EXPECT_TRUE(loadInstructionList({"RD        X000.0     1", "WRT       Y000.0     1", "END2         2"}, &e));
}

// The largest ladder: every one of its networks computes the right coil in one scan.
TEST(LargeLadder, DenseLadderScanSetsEveryCoil)
{
    auto outcome = rungpad::testing::convertText(bench::denseLadderText(kMaxLines - 1));
    ASSERT_TRUE(outcome.ok);
    auto program = loadInstructionList(outcome.raw);
    ASSERT_TRUE(program);
    VirtualClock clock;
    Engine e(clock);
    e.load(std::move(*program));
    for (uint32_t in : {0u, 1u, 2u, 5u, 0xFu, 0x10u, 0x1Cu}) {
        // X000.0..X000.3 from the low bits, X001.0 from bit 4.
        e.memory().setValue(*parseLocation("X000"), 1, in & 0xF);
        e.memory().setValue(*parseLocation("X001"), 1, in >> 4);
        e.scan();
        const bool x0 = in & 1, x1 = in & 2, x2 = in & 4, x3 = in & 8, x10 = in & 16;
        int coil = 0, kind = 0, networks = 0;
        for (int line = 1; line + 2 <= kMaxLines - 1; line += 2, ++networks) {
            const QByteArray c = bench::nextCoil(coil);
            const bool expected = kind++ % 4 != 3 ? (x0 || !x10) : ((x0 || !x1) && (x2 || x3));
            ASSERT_EQ(e.memory().bit(*parseLocation(c)), expected) << c.constData() << " inputs " << in;
        }
        EXPECT_GT(networks, 2400);
    }
}

// The window works out power for the lines it shows; a group of linked lines reaches above
// them, but never further than a network can span.
TEST(PowerFlowView, WidensToLinkedLinesButNotWithoutBound)
{
    Memory m;
    m.setBit(*parseLocation("X000.0"), true);
    // Line 0 powers line 1's branch through a link; asked for line 1 alone, the flow still
    // sees the contact of line 0.
    auto ladder = rungpad::testing::ladderOf("X000.0+ - - - - - - - - (Y000.0)\n-\n");
    PowerFlow flow;
    flow.compute(ladder, m, 1, 1);
    EXPECT_EQ(flow.first(), 0);
    EXPECT_TRUE(flow.cellPowered(1, 0));
    EXPECT_TRUE(flow.linkPowered(0, 0));
    m.setBit(*parseLocation("X000.0"), false);
    flow.compute(ladder, m, 1, 1);
    EXPECT_TRUE(flow.cellPowered(1, 0)) << "the wire on line 1 is fed by the rail itself";
    EXPECT_FALSE(flow.cellPowered(0, 0));

    QString all;
    for (int i = 0; i < 1000; ++i)
        all += "X000.0+ - - - - - - - - (Y000.0)\n";
    auto linked = rungpad::testing::ladderOf(all);
    flow.compute(linked, m, 500, 510);
    EXPECT_GE(flow.first(), 500 - kMaxNetworkSpan);
    EXPECT_LE(flow.last(), 510 + kMaxNetworkSpan);
}
