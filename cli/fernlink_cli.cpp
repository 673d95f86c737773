#include "cli/cli_commands.h"
#include "common/logging.h"
#include "vantor/version.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace vantor::cli;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Fernlink"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QStringList args = app.arguments();
    args.removeFirst();
    QTextStream out(stdout);
    if (args.size() == 1 && (args.first() == QLatin1String("--version") || args.first() == QLatin1String("-v"))) {
        out << "fernlink-cli " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (args.removeAll(QStringLiteral("--verbose")) > 0)
        vantor::enableVerboseLogging();
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        out << "usage: fernlink-cli VERB ...\n\n" << linkUsage() << ftpUsage();
        out.flush();
        return args.isEmpty() ? 2 : 0;
    }
    for (auto run : {runFtpCommand, runLinkCommand}) {
        const int status = run(args);
        if (status >= 0)
            return status;
    }
    QTextStream err(stderr);
    err << "fernlink-cli: unknown verb '" << args.first() << "' (try --help)\n";
    return 2;
}
