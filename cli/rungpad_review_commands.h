// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rungpad-cli's review verbs: the whole-program cross-reference and the comparison of two
// ladders.
//   rungpad-cli xref FILE [--csv]   the list with its warnings; exit 0
//   rungpad-cli diff A B            the differences line by line; exit 0 same, 1 different,
//                                   2 when a file cannot be read (as diff(1) does)
#include "cli/commandline.h"
#include "rungpad/model/ladderdocument.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <functional>

namespace rungpad::cli {

QList<vantor::cli::Verb> reviewVerbs();
bool isReviewVerb(const QString& verb);
// Adds the verb's options and positional arguments; the number of files it takes.
int addReviewOptions(QCommandLineParser& parser, const QString& verb);
// open(path, document): the editor's own open command, reporting on stderr.
int runReviewCommand(const QString& verb, const QCommandLineParser& parser, const QStringList& files,
                     const std::function<bool(const QString&, LadderDocument&)>& open, QTextStream& out, int language);

}  // namespace rungpad::cli
