// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rungpad-cli's simulation verbs: `test LADDER TESTFILE` runs a ladder test file,
// `simulate LADDER --set … --run … --trace …` prints a timing table. Both run the converted
// ladder on the scan engine in virtual time.
#include "cli/commandline.h"

#include <QByteArray>

#include <vector>

namespace rungpad::cli {

bool isSimulationVerb(const QString& verb);
QList<vantor::cli::Verb> simulationVerbs();
// Adds the verb's options and positional arguments; returns the positional count.
int addSimulationArguments(QCommandLineParser& parser, const QString& verb);
// Runs the verb on the converted ladder's instruction lines; the exit status.
int runSimulationVerb(const QString& verb, const QCommandLineParser& parser, const std::vector<QByteArray>& instructionLines);

}  // namespace rungpad::cli
