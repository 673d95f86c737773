// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Entry points of fernlink-cli's verb families; each returns the process exit status
// (0 success, 1 refused or failed, 2 usage error).
#include "cli/commandline.h"

#include <QCommandLineOption>

namespace vantor::cli {

inline const QString kFernlinkCli = QStringLiteral("fernlink-cli");

// The options that may stand before the verb as well as after it.
struct CommonOptions {
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("Link verbs: the serial port, a device name such as ttyUSB0 or a path."),
                              QStringLiteral("PORT")};
    QCommandLineOption baud{QStringLiteral("baud"), QStringLiteral("Serial speed (default 9600)."), QStringLiteral("N")};
    QCommandLineOption tcp{QStringLiteral("tcp"),
                           QStringLiteral("Link verbs: the controller's address; PORT is 1234 unless given."),
                           QStringLiteral("HOST[:PORT]")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Link verbs: give up after S seconds of silence (default 30)."),
                               QStringLiteral("S")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Trace lines on stderr (serial, Ethernet, DNC, FTP).")};
};

// Parses the verb's own words with `parser` (its options and positional arguments added),
// --verbose included; nullopt: go on, otherwise the exit status.
std::optional<int> parseVerbArguments(QCommandLineParser& parser, const CommandLine& line, const CommonOptions& common,
                                      int minPositional, int maxPositional);
// "fernlink-cli VERB: why (see fernlink-cli VERB --help)" on stderr; the usage status.
int verbUsageError(const CommandLine& line, const QString& why);

QList<Verb> linkVerbs();
QList<Verb> ftpVerbs();
bool isLinkVerb(const QString& verb);  // the verbs that take --serial/--tcp
int runLinkCommand(const CommandLine& line, const CommonOptions& common);
int runFtpCommand(const CommandLine& line, const CommonOptions& common);

}  // namespace vantor::cli
