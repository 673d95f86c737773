// Placeholder until the FTP verbs land.
#include "cli/cli_commands.h"

namespace vantor::cli {
int runFtpCommand(const QStringList&) { return -1; }
QString ftpUsage() { return {}; }
}  // namespace vantor::cli
