// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line conventions both tools share: PROGRAM [GLOBAL OPTIONS] VERB [ARGS], with
// --help and --version, --help after any verb, --opt=value and --opt value, "--" ending the
// options, usage errors on stderr with status 2.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace vantor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The program's standard output and error as text, one stream each for every verb, so what
// one part writes is never reordered against another's.
QTextStream& out();
QTextStream& err();

struct Verb {
    QString name;       // "send", or "comments export" for a two-word verb
    QString synopsis;   // what follows the verb: "FILE [--bin OUT]"
    QString summary;    // one line for the overview
};

// The words before the verb: the global options and the verb itself.
class CommandLine {
public:
    CommandLine(QString program, QString description, QList<Verb> verbs);
    void addGlobalOption(const QCommandLineOption& option) { globals_.addOption(option); }

    // nullopt: a verb was named, go on. Otherwise the exit status: --help, --version or no
    // verb at all (help on stdout, 0) or a usage error (stderr, 2).
    std::optional<int> parse(const QStringList& arguments);
    bool isSet(const QCommandLineOption& option) const { return globals_.isSet(option); }
    QString value(const QCommandLineOption& option) const { return globals_.value(option); }

    const Verb& verb() const { return verbs_.at(verbIndex_); }
    // The verb's own words, starting with its name as an argv[0] for its parser.
    QStringList verbArguments() const { return verbArguments_; }

    QString overview() const;
    int usageError(const QString& why) const;

private:
    QString program_;
    QString description_;
    QList<Verb> verbs_;
    QCommandLineParser globals_;
    qsizetype verbIndex_ = -1;
    QStringList verbArguments_;
};

// Parses a verb's arguments (as CommandLine::verbArguments gives them) with `parser`, whose
// options and positional arguments are already added. nullopt: go on. Otherwise the exit
// status after --help (0) or a usage error (2): unknown options, a missing option value, or a
// positional count outside min..max (max < 0: no limit).
std::optional<int> parseVerb(QCommandLineParser& parser, const QString& program, const Verb& verb,
                             const QStringList& arguments, int minPositional, int maxPositional);

}  // namespace vantor::cli
