// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rungpad_sim_commands.h"

#include "rungpad/sim/laddertest.h"

#include <QFile>
#include <QTextStream>

namespace rungpad::cli {

using namespace rungpad::sim;
using vantor::cli::kExitFailed;
using vantor::cli::kExitOk;
using vantor::cli::kExitUsage;

namespace {

// By name: rungpad::err holds the compiler's error codes.
using vantor::cli::err;
using vantor::cli::out;

const QString kTest = QStringLiteral("test");
const QString kSimulate = QStringLiteral("simulate");

const QCommandLineOption& setOption()
{
    static const QCommandLineOption o(QStringLiteral("set"), QStringLiteral("Before the first scan: SIGNAL=VALUE[,SIGNAL=VALUE…] (repeatable)."),
                                      QStringLiteral("SIGNAL=VALUE"));
    return o;
}
const QCommandLineOption& runOption()
{
    static const QCommandLineOption o(QStringLiteral("run"), QStringLiteral("Virtual time to run, such as 500ms or 2s (default: one scan)."),
                                      QStringLiteral("TIME"));
    return o;
}
const QCommandLineOption& traceOption()
{
    static const QCommandLineOption o(QStringLiteral("trace"), QStringLiteral("Signals to print per scan, such as X0.0,Y0.0,T1."),
                                      QStringLiteral("LIST"));
    return o;
}
const QCommandLineOption& periodOption()
{
    static const QCommandLineOption o(QStringLiteral("period"), QStringLiteral("Scan period (default 8ms)."), QStringLiteral("TIME"));
    return o;
}
const QCommandLineOption& csvOption()
{
    static const QCommandLineOption o(QStringLiteral("csv"), QStringLiteral("Print the trace as CSV."));
    return o;
}


int usage(const QString& why)
{
    err() << "rungpad-cli: " << why << '\n';
    err().flush();
    return kExitUsage;
}

int runTestFile(Engine& engine, VirtualClock& clock, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err() << path << ": " << file.errorString() << '\n';
        return kExitFailed;
    }
    TestFileError error;
    const auto steps = parseTestFile(QString::fromUtf8(file.readAll()), &error);
    if (!steps) {
        err() << path << ':' << error.line << ": " << error.message << '\n';
        return kExitFailed;
    }
    SimulationDriver driver(engine, clock);
    const TestResult result = driver.runTest(*steps);
    for (const StepFailure& f : result.failures)
        out() << path << ':' << f.line << ": " << f.step << ": expected " << f.expected << ", got " << f.actual << '\n';
    if (!result.fault.isEmpty())
        out() << path << ": " << result.fault << '\n';
    out() << (result.passed() ? "passed: " : "FAILED: ") << result.expectations << " expectations, "
          << result.failures.size() << " failed, " << clock.nowMs() << " ms of ladder time\n";
    out().flush();
    return result.passed() ? kExitOk : kExitFailed;
}

int simulate(Engine& engine, VirtualClock& clock, const QCommandLineParser& parser)
{
    SimulationDriver driver(engine, clock);
    if (parser.isSet(periodOption())) {
        const auto p = parseDuration(parser.value(periodOption()));
        if (!p || *p < 1)
            return usage(QStringLiteral("--period takes a time such as 8ms"));
        driver.setPeriodMs(int(*p));
    }
    std::vector<SignalName> traced;
    for (const QString& assignments : parser.values(setOption())) {
        for (const QString& a : assignments.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList parts = a.split(QLatin1Char('='));
            const auto name = parseSignalName(parts.value(0));
            bool ok = parts.size() == 2;
            const uint v = parts.value(1).toUInt(&ok, 0);
            if (!name || !ok || parts.size() != 2)
                return usage(QStringLiteral("--set takes SIGNAL=VALUE, not %1").arg(a));
            name->write(engine.memory(), v);
            traced.push_back(*name);
        }
    }
    if (parser.isSet(traceOption())) {
        traced.clear();
        for (const QString& t : parser.value(traceOption()).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto name = parseSignalName(t);
            if (!name)
                return usage(QStringLiteral("--trace: unknown signal %1").arg(t));
            traced.push_back(*name);
        }
    }
    int64_t runMs = driver.periodMs();
    if (parser.isSet(runOption())) {
        const auto r = parseDuration(parser.value(runOption()));
        if (!r || *r < 1)
            return usage(QStringLiteral("--run takes a time such as 500ms or 2s"));
        runMs = *r;
    }
    Trace trace(traced);
    QString fault;
    driver.run(runMs, [&] {
        trace.record(clock.nowMs(), engine.scanCount(), engine.memory());
        if (fault.isEmpty())
            fault = engine.fault();
    });
    out() << (parser.isSet(csvOption()) ? trace.csv() : trace.table());
    out().flush();
    if (!fault.isEmpty()) {
        err() << fault << '\n';
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

bool isSimulationVerb(const QString& verb) { return verb == kTest || verb == kSimulate; }

QList<vantor::cli::Verb> simulationVerbs()
{
    return {
        {kTest, QStringLiteral("LADDER TESTFILE"),
         QStringLiteral("run a ladder test file in virtual time; exit 1 when a step fails")},
        {kSimulate, QStringLiteral("LADDER [--set S=V] [--run TIME] [--trace LIST] [--period TIME] [--csv]"),
         QStringLiteral("run the ladder and print chosen signals per scan")},
    };
}

int addSimulationArguments(QCommandLineParser& parser, const QString& verb)
{
    if (verb == kTest) {
        parser.addPositionalArgument(QStringLiteral("TESTFILE"), QStringLiteral("Ladder test file (steps: set, pulse, scan, wait, expect, period)."));
        return 2;
    }
    parser.addOptions({setOption(), runOption(), traceOption(), periodOption(), csvOption()});
    return 1;
}

int runSimulationVerb(const QString& verb, const QCommandLineParser& parser, const std::vector<QByteArray>& instructionLines)
{
    LoadError error;
    auto program = loadInstructionList(instructionLines, &error);
    if (!program) {
        err() << "line " << error.line << ": " << error.message << '\n';
        err().flush();
        return kExitFailed;
    }
    VirtualClock clock;
    Engine engine(clock);
    engine.load(std::move(*program));
    if (verb == kTest)
        return runTestFile(engine, clock, parser.positionalArguments().value(1));
    return simulate(engine, clock, parser);
}

}  // namespace rungpad::cli
