// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of the send queue and of the controller's file list, as the pages show them.
#include <QString>

#include <optional>

namespace vantor::fernlink {

enum class TargetArea { User, Sys, Usb };

struct SendRow {
    QString path;        // full PC path
    QString targetName;  // name on the controller
    qint64 size = 0;
    QString partition;   // "USER", "SYS" or "USB"
    bool sendable = false;
    QString state;       // "unsend", "sent", "error", ...
    bool selected = true;
};

struct RemoteFileRow {
    QString name;
    QString size;       // as the listing gave it; empty when it gave none
    QString partition;  // serial: the partition word ("user", "sys")
    QString state;
    bool selected = false;
};

// A new row for a PC file: the user area gets the rewritten name when the name rule accepts
// it, and a tick only for a valid name within the size limit; other areas take anything.
SendRow makeSendRow(const QString& path, const QString& fileName, qint64 size, TargetArea area, const QString& unsendText);
QString partitionLabel(TargetArea area);
std::optional<TargetArea> areaFromLabel(const QString& label);

// The check marks of the send queue's second column.
QString checkMarkText(bool sendable);

// A name the controller sent, usable as a file name inside the chosen folder; nullopt when
// it would leave the folder or name nothing.
std::optional<QString> safeLocalName(const QString& name);

}  // namespace vantor::fernlink
