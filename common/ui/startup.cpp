// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace vantor {

namespace {
// Qt picks the xcb or wayland platform from these; a platform named outright (offscreen,
// vnc, a test's choice) needs neither.
bool displayAvailable()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}
}  // namespace

std::optional<int> parseBeforeDisplay(int& argc, char** argv, QCommandLineParser& parser)
{
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // A core application only for the arguments: no platform plugin is loaded.
    QCoreApplication core(argc, argv);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    QTextStream out(stdout), err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << program << ": " << parser.errorText() << "\n" << parser.helpText();
        return 2;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << program << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (!displayAvailable()) {
        err << program << ": no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set). "
            << "Start it in a desktop session, or use the command-line tools for work without a window.\n";
        return 1;
    }
    return std::nullopt;
}

}  // namespace vantor
