// rungpad: the ladder editor. A file named on the command line opens at start.
#include "rungpad/ui/mainframe.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rungpad"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("PLC ladder editor"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Ladder file (.plf, .grp, .bak) to open"));
    parser.process(app);

    rungpad::ui::CMainFrame frame;
    frame.showMaximized();
    for (const QString& file : parser.positionalArguments())
        frame.openFile(file);
    return app.exec();
}
