// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/mainframe.h"

#include "common/ui/identity.h"
#include "common/ui/startup.h"
#include "vantor/version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <clocale>

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("Fernport"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fernport"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Vantor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serial file transfer, DNC and NC program editing"));
    QCommandLineOption portOpt(QStringLiteral("port"),
                               QStringLiteral("Serial port for this session only (a device name or path); not remembered."),
                               QStringLiteral("PORT"));
    QCommandLineOption baudOpt(QStringLiteral("baud"), QStringLiteral("Baud rate for --port."), QStringLiteral("N"),
                               QStringLiteral("38400"));
    parser.addOptions({portOpt, baudOpt});
    const QCommandLineOption identityOpt = vantor::identityOption();
    parser.addOption(identityOpt);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("NC program to open"));
    if (const auto status = vantor::parseBeforeDisplay(argc, argv, parser))
        return *status;

    QApplication app(argc, argv);
    // Fernport speaks only English: the system's own texts it quotes (a disk or port error)
    // must not come in the desktop's language in the middle of an English sentence.
    std::setlocale(LC_MESSAGES, "C");
    vantor::applyIdentity({"com.vantor.Fernport", "fernport"});
    if (parser.isSet(identityOpt)) {
        QTextStream(stdout) << vantor::describeIdentity();
        return 0;
    }

    vantor::fernport::FernportSettings settings;
    vantor::fernport::CMainFrame frame(settings);
    if (!parser.positionalArguments().isEmpty())
        frame.openDocument(parser.positionalArguments().first());
    frame.show();
    std::optional<vantor::fernport::PortChoice> session;
    if (parser.isSet(portOpt))
        session = vantor::fernport::PortChoice{parser.value(portOpt), parser.value(baudOpt).toInt()};
    frame.startUp(session);
    return app.exec();
}
