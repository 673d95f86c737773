// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_helpers.h"

using namespace rungpad;
using namespace rungpad::sim;
using namespace rungpad::sim::testing;

namespace {
// Start X000.0, stop X000.1, motor Y000.0 held by its own contact; Y000.1 two seconds later.
const char* kLatchWithTimer =
    "X000.0+ /X000.1 - - - - - - - (Y000.0)\n"
    "Y000.0\n"
    "Y000.0 - - {4100:TMRB} {4101:0002} {4102:0001} {4103:00020} - - (Y000.1)\n"
    ". . . {4110} {4111} {4112} {4113}\n";

std::vector<TestStep> steps(const QString& text)
{
    TestFileError e;
    auto s = parseTestFile(text, &e);
    EXPECT_TRUE(s) << "line " << e.line << ": " << qPrintable(e.message);
    return s ? *s : std::vector<TestStep>{};
}
}  // namespace

TEST(LadderTestFile, NamesAndDurations)
{
    struct Row { const char* text; bool ok; int length; const char* canonical; };
    const Row rows[] = {
        {"X0.0", true, 0, "X000.0"}, {"y001.7", true, 0, "Y001.7"}, {"R100", true, 1, "R0100"},
        {"D10", true, 2, "D0010"},   {"D10:4", true, 4, "D0010"},   {"T1", true, 2, "T0001"},
        {"X0.0:2", false, 0, ""},    {"D10:3", false, 0, ""},       {"Z1", false, 0, ""},
    };
    for (const Row& r : rows) {
        const auto n = parseSignalName(QString::fromLatin1(r.text));
        ASSERT_EQ(bool(n), r.ok) << r.text;
        if (n) {
            EXPECT_EQ(n->length, r.length) << r.text;
            EXPECT_EQ(locationText(n->at), QString::fromLatin1(r.canonical)) << r.text;
        }
    }
    EXPECT_EQ(parseDuration("500ms"), 500);
    EXPECT_EQ(parseDuration("2s"), 2000);
    EXPECT_EQ(parseDuration("1.5s"), 1500);
    EXPECT_EQ(parseDuration("250"), 250);
    EXPECT_EQ(parseDuration("1min"), 60000);
    EXPECT_FALSE(parseDuration("-5ms"));
    EXPECT_FALSE(parseDuration("fast"));
    // Digits past any integer duration are refused, not converted out of range.
    EXPECT_FALSE(parseDuration(QString(400, QLatin1Char('9')) + QStringLiteral("min")));
    EXPECT_FALSE(parseDuration("99999999999999min"));
}

TEST(LadderTestFile, MalformedStepsNameTheirLine)
{
    struct Row { const char* text; int line; const char* words; };
    const Row rows[] = {
        {"scan\nfrobnicate X0.0\n", 2, "unknown step"},
        {"# comment\n\nset X0.0\n", 3, "pairs"},
        {"set Q0.0 1\n", 1, "unknown signal"},
        {"set X0.0 yes\n", 1, "bad value"},
        {"scan 0\n", 1, "scan count"},
        {"wait soon\n", 1, "duration"},
        {"pulse D10\n", 1, "bit signals"},
        {"expect Y0.0\n", 1, "expect"},
        {"period 0ms\n", 1, "duration"},
        {"scan\n = =\n", 2, "a step starts with"},
    };
    for (const Row& r : rows) {
        TestFileError e;
        EXPECT_FALSE(parseTestFile(QString::fromLatin1(r.text), &e)) << r.text;
        EXPECT_EQ(e.line, r.line) << r.text;
        EXPECT_TRUE(e.message.contains(QString::fromLatin1(r.words))) << r.text << " -> " << qPrintable(e.message);
    }
}

TEST(LadderTestFile, StepFormsReadAlike)
{
    const auto s = steps("set X0.0=1 X0.1 = 0\nexpect T1>=100\nexpect T1 >= 100\nexpect Y0.0=1\nexpect Y0.0 1 # note\n"
                         "expect D10 != 0x10\n");
    ASSERT_EQ(s.size(), 6u);
    ASSERT_EQ(s[0].values.size(), 2u);
    EXPECT_EQ(s[0].values[1].second, 0u);
    EXPECT_EQ(s[1].compare, Compare::GreaterEqual);
    EXPECT_EQ(s[2].compare, Compare::GreaterEqual);
    EXPECT_EQ(s[2].values[0].second, 100u);
    EXPECT_EQ(s[3].compare, Compare::Equal);
    EXPECT_EQ(s[4].compare, Compare::Equal);
    EXPECT_EQ(s[4].text, QStringLiteral("expect Y0.0 1"));
    EXPECT_EQ(s[5].compare, Compare::NotEqual);
    EXPECT_EQ(s[5].values[0].second, 16u);
}

TEST(LadderTestFile, LatchWithTimerPasses)
{
    Rig rig(kLatchWithTimer);
    const auto result = rig.driver.runTest(steps(
        "scan\nexpect Y0.0 0\npulse X0.0   # start\nexpect Y0.0 1\nwait 1s\nexpect Y0.0 1\nexpect Y0.1 0\n"
        "expect T129 = 10\nwait 1s\nexpect Y0.1 1\npulse X0.1   # stop\nexpect Y0.0 0\nexpect Y0.1 0\n"));
    EXPECT_TRUE(result.passed());
    EXPECT_EQ(result.expectations, 8);
    for (const StepFailure& f : result.failures)
        ADD_FAILURE() << "line " << f.line << " " << qPrintable(f.step) << " got " << qPrintable(f.actual);
}

TEST(LadderTestFile, FailuresReportStepExpectedAndActual)
{
    Rig rig(kLatchWithTimer);
    const auto result = rig.driver.runTest(steps("pulse X0.0\nwait 1900ms\nexpect Y0.1 1\nexpect T129 >= 20\nexpect Y0.0 1\n"));
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].line, 3);
    EXPECT_EQ(result.failures[0].step, QStringLiteral("expect Y0.1 1"));
    EXPECT_EQ(result.failures[0].expected, QStringLiteral("1"));
    EXPECT_EQ(result.failures[0].actual, QStringLiteral("0"));
    EXPECT_EQ(result.failures[1].line, 4);
    EXPECT_EQ(result.failures[1].expected, QStringLiteral(">= 20"));
    EXPECT_EQ(result.failures[1].actual, QStringLiteral("19"));
    EXPECT_FALSE(result.passed());
}

TEST(LadderTestFile, PeriodSetsTheScanStep)
{
    Rig rig(kLatchWithTimer);
    const auto result = rig.driver.runTest(steps("period 100ms\npulse X0.0\nscan 19\nexpect Y0.1 0\nscan\nexpect Y0.1 1\n"));
    EXPECT_TRUE(result.passed());
    EXPECT_EQ(rig.clock.nowMs(), 2100);
}

TEST(Traces, OneRowPerScanInTableAndCsv)
{
    Rig rig(kLatchWithTimer);
    Trace trace({*parseSignalName("X0.0"), *parseSignalName("Y0.0"), *parseSignalName("T129")});
    rig.set("X000.0", 1);
    rig.driver.run(24, [&] {
        trace.record(rig.clock.nowMs(), rig.engine.scanCount(), rig.engine.memory());
        rig.set("X000.0", 0);
    });
    rig.driver.setPeriodMs(100);
    rig.driver.run(200, [&] { trace.record(rig.clock.nowMs(), rig.engine.scanCount(), rig.engine.memory()); });
    EXPECT_EQ(trace.rows(), 5u);
    EXPECT_EQ(trace.csv(), QStringLiteral("time_ms,scan,X0.0,Y0.0,T129\n"
                                          "8,1,1,1,0\n16,2,0,1,0\n24,3,0,1,0\n124,4,0,1,1\n224,5,0,1,2\n"));
    const QStringList table = trace.table().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(table.size(), 6);
    EXPECT_EQ(table[0].simplified(), QStringLiteral("time_ms scan X0.0 Y0.0 T129"));
    EXPECT_EQ(table[5].simplified(), QStringLiteral("224 5 0 1 2"));
    // Columns line up: every row as wide as the header.
    for (const QString& row : table)
        EXPECT_EQ(row.size(), table[0].size());
}
