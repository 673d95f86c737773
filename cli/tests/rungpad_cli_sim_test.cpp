// SPDX-License-Identifier: GPL-3.0-or-later
// rungpad-cli test and simulate as a shop's script runs them: a ladder file and a test file in
// a temporary folder, the built binary, its exit status and what it prints.
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"

#include "common/archive.h"
#include "common/testing/testfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace rungpad;

namespace {

// Start X000.0, stop X000.1, motor Y000.0; Y000.1 two seconds after the motor started.
const char* kLatchWithTimer =
    "X000.0+ /X000.1 - - - - - - - (Y000.0)\n"
    "Y000.0\n"
    "Y000.0 - - {4100:TMRB} {4101:0002} {4102:0001} {4103:00020} - - (Y000.1)\n"
    ". . . {4110} {4111} {4112} {4113}\n"
    "- - - - {7100:END1} - - - - -\n"
    "- - - - {7200:END2} - - - - -\n";

const char* kPassing =
    "# the motor latch and its run-up timer\n"
    "scan\n"
    "expect Y0.0 0\n"
    "pulse X0.0          # start\n"
    "expect Y0.0 1\n"
    "wait 1s\n"
    "expect Y0.1 0\n"
    "wait 1s\n"
    "expect Y0.1 1\n"
    "pulse X0.1          # stop\n"
    "expect Y0.0 0\n";

struct SimCli : ::testing::Test {
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char* name, const QByteArray& bytes) const
    {
        ASSERT_TRUE(vantor::saveFileAtomically(path(name), bytes).ok);
    }
    void SetUp() override
    {
        const auto ladder = readLadderText(QString::fromLatin1(kLatchWithTimer));
        ASSERT_TRUE(ladder);
        write("motor.grp", formatLadderPart(*ladder, {}, NumberField::FromText));
    }
    vantor::testing::ProgramResult run(const QStringList& args) const
    {
        return vantor::testing::runProgram("rungpad-cli", QStringList{"--lang", "en"} + args, dir.path());
    }
};

}  // namespace

TEST_F(SimCli, PassingTestFileExitsZero)
{
    write("motor.test", kPassing);
    const auto r = run({"test", path("motor.grp"), path("motor.test")});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("passed: 5 expectations, 0 failed")) << r.out.toStdString();
}

TEST_F(SimCli, FailingStepsArePrintedWithExpectedAndActualAndExitOne)
{
    write("early.test", "pulse X0.0\nwait 1500ms\nexpect Y0.1 1\nexpect Y0.0 1\nexpect T129 >= 20\n");
    const auto r = run({"test", path("motor.grp"), path("early.test")});
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith("early.test:3: expect Y0.1 1: expected 1, got 0")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("early.test:5: expect T129 >= 20: expected >= 20, got 15")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("FAILED: 3 expectations, 2 failed")) << lines[2].toStdString();
}

TEST_F(SimCli, BrokenInputsFailWithTheirReason)
{
    write("bad.test", "scan\nexpect Q0.0 1\n");
    auto r = run({"test", path("motor.grp"), path("bad.test")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("bad.test:2: unknown signal Q0.0")) << r.err.toStdString();

    r = run({"test", path("motor.grp"), path("missing.test")});
    EXPECT_EQ(r.status, 1);

    // A ladder that does not convert is not simulated.
    const auto noEnds = readLadderText("X000.0 - - - - - - - - (Y000.0)\n");
    write("noend.grp", formatLadderPart(*noEnds, {}, NumberField::FromText));
    write("motor.test", kPassing);
    r = run({"test", path("noend.grp"), path("motor.test")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("1005") || r.out.contains("1005")) << r.out.toStdString() << r.err.toStdString();

    r = run({"test", path("motor.grp")});
    EXPECT_EQ(r.status, 2) << "TESTFILE missing";
    r = run({"simulate", path("motor.grp"), "--set", "X0.0"});
    EXPECT_EQ(r.status, 2);
    r = run({"simulate", path("motor.grp"), "--run", "soon"});
    EXPECT_EQ(r.status, 2);
}

TEST_F(SimCli, SimulatePrintsOneRowPerScan)
{
    const auto r = run({"simulate", path("motor.grp"), "--set", "X0.0=1", "--run", "40ms", "--trace", "X0.0,Y0.0,Y0.1,T129"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << r.out.toStdString();   // header and scans at 8, 16, 24, 32, 40 ms
    EXPECT_EQ(lines[0].simplified(), "time_ms scan X0.0 Y0.0 Y0.1 T129");
    EXPECT_EQ(lines[1].simplified(), "8 1 1 1 0 0");
    EXPECT_EQ(lines[5].simplified(), "40 5 1 1 0 0");

    const auto csv = run({"simulate", path("motor.grp"), "--set", "X0.0=1", "--run", "2.1s", "--period", "100ms", "--csv",
                          "--trace", "Y0.1,T129"});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    const QStringList rows = csv.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 22) << csv.out.toStdString();
    EXPECT_EQ(rows[0], "time_ms,scan,Y0.1,T129");
    EXPECT_EQ(rows[20], "2000,20,0,19");
    EXPECT_EQ(rows[21], "2100,21,1,20");
}
