// SPDX-License-Identifier: GPL-3.0-or-later
// fernlink-cli: the controller link, saved transfer lists, bare XModem, the FTP server and
// its accounts without a window.
//   fernlink-cli [--serial PORT [--baud N] | --tcp HOST[:PORT]] [--timeout S] [--verbose] VERB [ARGS]
// Exit status: 0 done, 1 refused or failed, 2 usage error.
#include "cli/cli_commands.h"
#include "common/logging.h"
#include "vantor/version.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace vantor::cli;

namespace vantor::cli {

std::optional<int> parseVerbArguments(QCommandLineParser& parser, const CommandLine& line, const CommonOptions& common,
                                      int minPositional, int maxPositional)
{
    parser.addOption(common.verbose);
    const auto status = parseVerb(parser, kFernlinkCli, line.verb(), line.verbArguments(), minPositional, maxPositional);
    if (!status && parser.isSet(common.verbose))
        enableVerboseLogging();
    return status;
}

int verbUsageError(const CommandLine& line, const QString& why)
{
    QTextStream err(stderr);
    const QString verb = line.verb().name;
    err << kFernlinkCli << ' ' << verb << ": " << why << " (see " << kFernlinkCli << ' ' << verb << " --help)\n";
    return kExitUsage;
}

}  // namespace vantor::cli

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Fernlink"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    CommandLine line(kFernlinkCli,
                     QStringLiteral("Talks to the controller over the serial line or Ethernet, and runs the FTP server,\n"
                                    "without a window. The link options may stand before or after the verb.\n"
                                    "Exit status: 0 done, 1 something was refused or failed, 2 usage error."),
                     linkVerbs() + ftpVerbs());
    const CommonOptions common;
    for (const QCommandLineOption& option : {common.serial, common.baud, common.tcp, common.timeout, common.verbose})
        line.addGlobalOption(option);
    if (const auto status = line.parse(app.arguments()))
        return *status;
    if (line.isSet(common.verbose))
        vantor::enableVerboseLogging();

    const QString verb = line.verb().name;
    if (isLinkVerb(verb))
        return runLinkCommand(line, common);
    // The link options before a verb that does not use them are a mistake, not something to ignore.
    for (const QCommandLineOption* option : {&common.serial, &common.tcp, &common.timeout})
        if (line.isSet(*option))
            return verbUsageError(line, QStringLiteral("--%1 is for the link verbs").arg(option->names().constFirst()));
    if (line.isSet(common.baud) && !verb.startsWith(QLatin1String("xmodem")))
        return verbUsageError(line, QStringLiteral("--baud is for the serial link"));
    if (verb.startsWith(QLatin1String("xmodem")) || verb.startsWith(QLatin1String("list-file")))
        return runLinkCommand(line, common);
    return runFtpCommand(line, common);
}
