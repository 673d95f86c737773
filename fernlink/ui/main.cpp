// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/app/settings.h"
#include "fernlink/ui/mainframe.h"

#include "common/ui/identity.h"
#include "common/ui/startup.h"
#include "vantor/version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QString::fromLatin1(vantor::fernlink::kSettingsApplication));
    QApplication::setApplicationDisplayName(QStringLiteral("Fernlink"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QApplication::setOrganizationName(QString::fromLatin1(vantor::fernlink::kSettingsOrganisation));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("File transfer, DNC and FTP service for Vantor CNC controllers"));
    QCommandLineOption portOpt(QStringLiteral("port"),
                               QStringLiteral("Serial port for this session only (a device name or path); not remembered."),
                               QStringLiteral("PORT"));
    parser.addOption(portOpt);
    const QCommandLineOption identityOpt = vantor::identityOption();
    parser.addOption(identityOpt);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("NC program to open in the editor"));
    if (const auto status = vantor::parseBeforeDisplay(argc, argv, parser))
        return *status;

    QApplication app(argc, argv);
    vantor::applyIdentity({"com.vantor.Fernlink", "fernlink"});
    if (parser.isSet(identityOpt)) {
        QTextStream(stdout) << vantor::describeIdentity();
        return 0;
    }
    // The window lives on in the tray when hidden; only closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    vantor::fernlink::ui::MainFrameOptions options;
    if (parser.isSet(portOpt))
        options.sessionPort = parser.value(portOpt);
    vantor::fernlink::ui::CMainFrame frame(options);
    QObject::connect(&frame, &vantor::fernlink::ui::CMainFrame::windowClosed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!parser.positionalArguments().isEmpty() && !frame.openDocument(parser.positionalArguments().first()))
        return 1;
    frame.startUp();
    return app.exec();
}
