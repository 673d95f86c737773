#pragma once
// Entry points of fernlink-cli's verb families; each returns the process exit status
// (0 success, 1 refused or failed, 2 usage error) or -1 when the verb is not its own.
#include <QStringList>

namespace vantor::cli {

int runLinkCommand(const QStringList& args);
int runFtpCommand(const QStringList& args);
QString linkUsage();
QString ftpUsage();

}  // namespace vantor::cli
