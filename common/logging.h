// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Trace categories, one per module. Their debug lines are off unless switched on, for a
// support request: QT_LOGGING_RULES="vantor.*.debug=true" (or one module, e.g.
// "vantor.ftp.debug=true"), or --verbose on the command-line tools.
#include <QLoggingCategory>

namespace vantor {

Q_DECLARE_LOGGING_CATEGORY(lcSerial)    // vantor.serial: bytes and commands on the serial line
Q_DECLARE_LOGGING_CATEGORY(lcEthernet)  // vantor.ethernet: the TCP link's commands and replies
Q_DECLARE_LOGGING_CATEGORY(lcDnc)       // vantor.dnc: DNC streams on either link
Q_DECLARE_LOGGING_CATEGORY(lcFtp)       // vantor.ftp: the FTP server's "[thread] text" trace
Q_DECLARE_LOGGING_CATEGORY(lcLadder)    // vantor.ladder: ladder loading, conversion, saving

// What --verbose does: every category's debug lines on.
void enableVerboseLogging();

// Bytes for a trace line: hex, the first 32 of a long chunk and its length.
QByteArray traceBytes(QByteArrayView bytes);

}  // namespace vantor
