// Placeholder until the link verbs land.
#include "cli/cli_commands.h"

namespace vantor::cli {
int runLinkCommand(const QStringList&) { return -1; }
QString linkUsage() { return {}; }
}  // namespace vantor::cli
