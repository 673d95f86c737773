// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/sim/laddertest.h"

#include <QRegularExpression>

namespace rungpad::sim {

std::optional<SignalName> parseSignalName(const QString& text)
{
    QString t = text.trimmed();
    int length = -1;
    const int colon = t.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const QString l = t.mid(colon + 1);
        if (l != QLatin1String("1") && l != QLatin1String("2") && l != QLatin1String("4"))
            return std::nullopt;
        length = l.toInt();
        t = t.left(colon);
    }
    const auto at = parseLocation(t.toLatin1());
    if (!at || (at->hasBit() && length > 0))
        return std::nullopt;
    SignalName s;
    s.at = *at;
    s.length = at->hasBit() ? 0 : (length > 0 ? length : Memory::defaultLength(*at));
    s.text = text.trimmed();
    return s;
}

std::optional<int64_t> parseDuration(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+(?:\\.\\d+)?)\\s*(ms|s|min)?$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2).toLower();
    const double scale = unit == QLatin1String("s") ? 1000 : unit == QLatin1String("min") ? 60000 : 1;
    // A test file's durations beyond a year of ladder time are typing errors, and a double
    // past int64's range has no integer value at all.
    const double ms = v * scale + 0.5;
    if (!(ms < 365.0 * 24 * 3600 * 1000))
        return std::nullopt;
    return int64_t(ms);
}

namespace {

std::optional<uint32_t> parseValue(const QString& text)
{
    bool ok = false;
    const qulonglong v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                                  : text.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull)
        return std::nullopt;
    return uint32_t(v);
}

struct CompareWord {
    const char* text;
    Compare compare;
};
constexpr CompareWord kCompares[] = {{"=", Compare::Equal},     {"==", Compare::Equal},    {"!=", Compare::NotEqual},
                                     {"<", Compare::Less},      {"<=", Compare::LessEqual}, {">", Compare::Greater},
                                     {">=", Compare::GreaterEqual}};

const char* compareText(Compare c)
{
    switch (c) {
    case Compare::Equal: return "";
    case Compare::NotEqual: return "!= ";
    case Compare::Less: return "< ";
    case Compare::LessEqual: return "<= ";
    case Compare::Greater: return "> ";
    case Compare::GreaterEqual: return ">= ";
    }
    return "";
}

bool holds(Compare c, uint32_t actual, uint32_t expected)
{
    switch (c) {
    case Compare::Equal: return actual == expected;
    case Compare::NotEqual: return actual != expected;
    case Compare::Less: return actual < expected;
    case Compare::LessEqual: return actual <= expected;
    case Compare::Greater: return actual > expected;
    case Compare::GreaterEqual: return actual >= expected;
    }
    return false;
}

}  // namespace

std::optional<std::vector<TestStep>> parseTestFile(const QString& text, TestFileError* error)
{
    std::vector<TestStep> steps;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        line = line.simplified();
        if (line.isEmpty())
            continue;
        auto fail = [&](const QString& why) {
            if (error)
                *error = {i + 1, why};
            return std::nullopt;
        };
        // "set X0.0=1" and "set X0.0 = 1" read as "set X0.0 1".
        QStringList words = QString(line).replace(QLatin1Char('='), QLatin1Char(' ')).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            return fail(QStringLiteral("a step starts with set, pulse, scan, wait, expect or period"));
        TestStep step;
        step.line = i + 1;
        step.text = line;
        const QString verb = words.takeFirst().toLower();
        auto name = [&](const QString& w) -> std::optional<SignalName> { return parseSignalName(w); };
        if (verb == QLatin1String("set")) {
            step.kind = TestStep::Set;
            if (words.isEmpty() || words.size() % 2)
                return fail(QStringLiteral("set takes pairs of a signal and a value"));
            for (int w = 0; w < words.size(); w += 2) {
                const auto n = name(words[w]);
                const auto v = parseValue(words[w + 1]);
                if (!n)
                    return fail(QStringLiteral("unknown signal %1").arg(words[w]));
                if (!v)
                    return fail(QStringLiteral("bad value %1").arg(words[w + 1]));
                step.values.emplace_back(*n, *v);
            }
        } else if (verb == QLatin1String("pulse")) {
            step.kind = TestStep::Pulse;
            if (words.isEmpty())
                return fail(QStringLiteral("pulse takes the signals to pulse"));
            for (const QString& w : words) {
                const auto n = name(w);
                if (!n || n->length != 0)
                    return fail(QStringLiteral("pulse takes bit signals such as X000.0, not %1").arg(w));
                step.values.emplace_back(*n, 1);
            }
        } else if (verb == QLatin1String("scan")) {
            step.kind = TestStep::Scan;
            if (words.size() > 1)
                return fail(QStringLiteral("scan takes one count"));
            if (!words.isEmpty()) {
                bool ok = false;
                step.amount = words[0].toLongLong(&ok);
                if (!ok || step.amount < 1 || step.amount > 10'000'000)
                    return fail(QStringLiteral("bad scan count %1").arg(words[0]));
            }
        } else if (verb == QLatin1String("wait") || verb == QLatin1String("period")) {
            step.kind = verb == QLatin1String("wait") ? TestStep::Wait : TestStep::Period;
            const auto d = words.size() == 1 ? parseDuration(words[0]) : std::nullopt;
            if (!d || (step.kind == TestStep::Period && *d < 1))
                return fail(QStringLiteral("%1 takes one duration such as 500ms or 2s").arg(verb));
            step.amount = *d;
        } else if (verb == QLatin1String("expect")) {
            step.kind = TestStep::Expect;
            // The '=' of "expect X0.0=1" was blanked above; put the operators back together.
            QStringList raw = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            raw.removeFirst();
            QString joined = raw.join(QString());
            static const QRegularExpression re(QStringLiteral("^([^<>=!]+)(==|=|!=|<=|>=|<|>)(.+)$"));
            QString signal, op, value;
            if (raw.size() == 2) {   // "expect Y0.0 1"
                signal = raw[0];
                value = raw[1];
            } else {
                const auto m = re.match(joined);
                if (!m.hasMatch())
                    return fail(QStringLiteral("expect takes a signal, an optional comparison and a value"));
                signal = m.captured(1);
                op = m.captured(2);
                value = m.captured(3);
            }
            const auto n = name(signal);
            const auto v = parseValue(value);
            if (!n)
                return fail(QStringLiteral("unknown signal %1").arg(signal));
            if (!v)
                return fail(QStringLiteral("bad value %1").arg(value));
            for (const CompareWord& c : kCompares)
                if (op == QLatin1String(c.text))
                    step.compare = c.compare;
            step.values.emplace_back(*n, *v);
        } else {
            return fail(QStringLiteral("unknown step %1 (set, pulse, scan, wait, expect, period)").arg(verb));
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

void SimulationDriver::step(int64_t ms)
{
    m_clock.advance(ms < 0 ? m_periodMs : ms);
    m_engine.scan();
}

TestResult SimulationDriver::runTest(const std::vector<TestStep>& steps)
{
    TestResult result;
    auto check = [&] {
        if (result.fault.isEmpty() && !m_engine.fault().isEmpty())
            result.fault = m_engine.fault();
    };
    for (const TestStep& s : steps) {
        ++result.steps;
        switch (s.kind) {
        case TestStep::Period:
            setPeriodMs(int(s.amount));
            break;
        case TestStep::Set:
            for (const auto& [name, value] : s.values)
                name.write(m_engine.memory(), value);
            break;
        case TestStep::Pulse:
            for (const auto& [name, value] : s.values)
                name.write(m_engine.memory(), 1);
            step();
            check();
            for (const auto& [name, value] : s.values)
                name.write(m_engine.memory(), 0);
            break;
        case TestStep::Scan:
            for (int64_t i = 0; i < s.amount; ++i) {
                step();
                check();
            }
            break;
        case TestStep::Wait:
            run(s.amount, check);
            break;
        case TestStep::Expect: {
            ++result.expectations;
            const auto& [name, expected] = s.values.front();
            const uint32_t actual = name.read(m_engine.memory());
            if (!holds(s.compare, actual, expected))
                result.failures.push_back({s.line, s.text, QString::fromLatin1(compareText(s.compare)) + QString::number(expected),
                                           QString::number(actual)});
            break;
        }
        }
    }
    return result;
}

void Trace::record(int64_t timeMs, uint64_t scan, const Memory& memory)
{
    Row row{timeMs, scan, {}};
    row.values.reserve(m_names.size());
    for (const SignalName& n : m_names)
        row.values.push_back(n.read(memory));
    m_rows.push_back(std::move(row));
}

QString Trace::table() const
{
    QStringList header{QStringLiteral("time_ms"), QStringLiteral("scan")};
    for (const SignalName& n : m_names)
        header << n.text;
    std::vector<int> widths;
    for (const QString& h : header)
        widths.push_back(std::max<int>(int(h.size()), 7));
    QString out;
    auto emitRow = [&](const QStringList& cells) {
        QStringList padded;
        for (int i = 0; i < cells.size(); ++i)
            padded << cells[i].rightJustified(widths[size_t(i)]);
        out += padded.join(QLatin1Char(' ')) + QLatin1Char('\n');
    };
    emitRow(header);
    for (const Row& r : m_rows) {
        QStringList cells{QString::number(r.timeMs), QString::number(r.scan)};
        for (uint32_t v : r.values)
            cells << QString::number(v);
        emitRow(cells);
    }
    return out;
}

QString Trace::csv() const
{
    QStringList header{QStringLiteral("time_ms"), QStringLiteral("scan")};
    for (const SignalName& n : m_names)
        header << n.text;
    QString out = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const Row& r : m_rows) {
        QStringList cells{QString::number(r.timeMs), QString::number(r.scan)};
        for (uint32_t v : r.values)
            cells << QString::number(v);
        out += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

}  // namespace rungpad::sim
