// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/logging.h"

#include <algorithm>

namespace vantor {

// Info and above stay on, so a real fault still shows without any rule.
Q_LOGGING_CATEGORY(lcSerial, "vantor.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEthernet, "vantor.ethernet", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDnc, "vantor.dnc", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFtp, "vantor.ftp", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLadder, "vantor.ladder", QtInfoMsg)

void enableVerboseLogging()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.debug=true"));
}

QByteArray traceBytes(QByteArrayView bytes)
{
    constexpr qsizetype kShown = 32;
    QByteArray text = QByteArray(bytes.data(), std::min(bytes.size(), kShown)).toHex(' ');
    if (bytes.size() > kShown)
        text += " ... (" + QByteArray::number(bytes.size()) + " bytes)";
    return text;
}

}  // namespace vantor
