// SPDX-License-Identifier: GPL-3.0-or-later
// rungpad: the ladder editor. A file named on the command line opens at start.
#include "rungpad/ui/mainframe.h"

#include "common/ui/identity.h"
#include "common/ui/startup.h"
#include "vantor/version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("Rungpad"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("PLC ladder editor"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Ladder file (.plf, .grp, .bak) to open"));
    const QCommandLineOption identityOpt = vantor::identityOption();
    parser.addOption(identityOpt);
    if (const auto status = vantor::parseBeforeDisplay(argc, argv, parser))
        return *status;

    QApplication app(argc, argv);
    vantor::applyIdentity({"com.vantor.Rungpad", "rungpad"});
    if (parser.isSet(identityOpt)) {
        QTextStream(stdout) << vantor::describeIdentity();
        return 0;
    }

    rungpad::ui::CMainFrame frame;
    frame.showMaximized();
    for (const QString& file : parser.positionalArguments())
        frame.openFile(file);
    return app.exec();
}
