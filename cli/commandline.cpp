// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandline.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>

namespace vantor::cli {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

namespace {
// Qt's help text starts with "Usage: ARGV0 [options]"; a verb's help names the program and the verb.
QString verbHelp(QCommandLineParser& parser, const QString& program, const Verb& verb)
{
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString usage = QStringLiteral("Usage: %1 %2 %3").arg(program, verb.name, verb.synopsis).trimmed();
    return usage + text.mid(lineEnd);
}
}  // namespace

CommandLine::CommandLine(QString program, QString description, QList<Verb> verbs)
    : program_(std::move(program)), description_(std::move(description)), verbs_(std::move(verbs))
{
    // Everything after the verb belongs to the verb's own parser.
    globals_.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    globals_.addHelpOption();
    globals_.addVersionOption();
}

QString CommandLine::overview() const
{
    QString text = globals_.helpText();
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: ") + program_);
    text.replace(QStringLiteral("[options]"), QStringLiteral("[options] VERB [ARGS...]"));
    text.insert(text.indexOf(QLatin1Char('\n')) + 1, description_ + QLatin1Char('\n'));
    text += QStringLiteral("\nVerbs (each answers --help):\n");
    for (const Verb& v : verbs_) {
        const QString head = QStringLiteral("  %1 %2").arg(v.name, v.synopsis);
        text += head;
        text += head.size() < 40 ? QString(40 - head.size(), QLatin1Char(' ')) : QStringLiteral("\n") + QString(40, QLatin1Char(' '));
        text += v.summary + QLatin1Char('\n');
    }
    return text;
}

int CommandLine::usageError(const QString& why) const
{
    err() << program_ << ": " << why << " (see " << program_ << " --help)\n";
    err().flush();
    return kExitUsage;
}

std::optional<int> CommandLine::parse(const QStringList& arguments)
{
    if (!globals_.parse(arguments))
        return usageError(globals_.errorText());
    if (globals_.isSet(QStringLiteral("version"))) {
        out() << program_ << ' ' << QCoreApplication::applicationVersion() << '\n';
        out().flush();
        return kExitOk;
    }
    const QStringList words = globals_.positionalArguments();
    if (globals_.isSet(QStringLiteral("help")) || words.isEmpty()) {
        // Bare "PROGRAM" is a usage error, as before; "PROGRAM --help" is not.
        QTextStream& stream = words.isEmpty() && !globals_.isSet(QStringLiteral("help")) ? err() : out();
        stream << overview();
        stream.flush();
        return words.isEmpty() && !globals_.isSet(QStringLiteral("help")) ? kExitUsage : kExitOk;
    }
    // A two-word verb ("comments export") wins over a one-word one.
    for (qsizetype i = 0; i < verbs_.size(); ++i) {
        const QStringList name = verbs_[i].name.split(QLatin1Char(' '));
        if (words.size() >= name.size() && words.mid(0, name.size()) == name) {
            verbIndex_ = i;
            verbArguments_ = QStringList{program_ + QLatin1Char(' ') + verbs_[i].name} + words.mid(name.size());
            return std::nullopt;
        }
    }
    // "PROGRAM comments --help": the usage of each verb that starts with that word.
    QStringList family;
    QStringList second;
    for (const Verb& v : verbs_) {
        if (v.name.startsWith(words.first() + QLatin1Char(' '))) {
            family << QStringLiteral("Usage: %1 %2 %3").arg(program_, v.name, v.synopsis).trimmed();
            second << v.name.section(QLatin1Char(' '), 1);
        }
    }
    if (!family.isEmpty()) {
        if (words.contains(QStringLiteral("--help")) || words.contains(QStringLiteral("-h"))) {
            out() << family.join(QLatin1Char('\n')) << '\n';
            out().flush();
            return kExitOk;
        }
        return usageError(QStringLiteral("%1 takes %2").arg(words.first(), second.join(QStringLiteral(" or "))));
    }
    return usageError(QStringLiteral("unknown verb '%1'").arg(words.mid(0, 2).join(QLatin1Char(' '))));
}

std::optional<int> parseVerb(QCommandLineParser& parser, const QString& program, const Verb& verb,
                             const QStringList& arguments, int minPositional, int maxPositional)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on this verb."));
    parser.addOption(help);
    if (!parser.parse(arguments)) {
        err() << program << ' ' << verb.name << ": " << parser.errorText() << " (see " << program << ' '
              << verb.name << " --help)\n";
        err().flush();
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        out() << verbHelp(parser, program, verb);
        out().flush();
        return kExitOk;
    }
    const qsizetype n = parser.positionalArguments().size();
    if (n < minPositional || (maxPositional >= 0 && n > maxPositional)) {
        err() << program << ' ' << verb.name << ": expected " << verb.synopsis << " (see " << program << ' '
              << verb.name << " --help)\n";
        err().flush();
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace vantor::cli
