// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A desktop program reads its command line before it needs a display, so --help, --version
// and usage errors work on a server or over ssh, and a missing display is said in words
// instead of Qt's abort.
#include <optional>

class QCommandLineParser;

namespace vantor {

// Parses argv with `parser` (its options already added; --help and --version are added
// here). Returns an exit status when the program must end before any window: 0 after
// --help or --version (printed on stdout), 2 after a usage error, 1 when there is no display
// to open a window on (each said on stderr). nullopt: go on and create the QApplication.
// The application name and version must be set before the call.
std::optional<int> parseBeforeDisplay(int& argc, char** argv, QCommandLineParser& parser);

}  // namespace vantor
