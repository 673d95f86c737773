#include "fernport/mainframe.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fernport"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fernport"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setOrganizationName(QStringLiteral("Vantor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serial file transfer, DNC and NC program editing"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("NC program to open"));
    parser.process(app);

    vantor::fernport::FernportSettings settings;
    vantor::fernport::CMainFrame frame(settings);
    if (!parser.positionalArguments().isEmpty())
        frame.openDocument(parser.positionalArguments().first());
    frame.show();
    frame.startUp();
    return app.exec();
}
