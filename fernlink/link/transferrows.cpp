// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/transferrows.h"

#include "common/gbk.h"
#include "common/receivedfile.h"
#include "serialcore/controllernames.h"

namespace vantor::fernlink {

QString partitionLabel(TargetArea area)
{
    switch (area) {
    case TargetArea::User: return QStringLiteral("USER");
    case TargetArea::Sys: return QStringLiteral("SYS");
    case TargetArea::Usb: return QStringLiteral("USB");
    }
    return {};
}

std::optional<TargetArea> areaFromLabel(const QString& label)
{
    if (label.compare(QLatin1String("USER"), Qt::CaseInsensitive) == 0)
        return TargetArea::User;
    if (label.compare(QLatin1String("SYS"), Qt::CaseInsensitive) == 0)
        return TargetArea::Sys;
    if (label.compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0)
        return TargetArea::Usb;
    return std::nullopt;
}

QString checkMarkText(bool sendable)
{
    return sendable ? QStringLiteral("  √") : QStringLiteral("  ×");
}

SendRow makeSendRow(const QString& path, const QString& fileName, qint64 size, TargetArea area, const QString& unsendText)
{
    SendRow row;
    row.path = path;
    row.targetName = fileName;
    row.size = size;
    row.partition = partitionLabel(area);
    row.state = unsendText;
    if (area == TargetArea::User) {
        const auto name = fernlinkUserName(fileName);
        if (name)
            row.targetName = *name;
        row.sendable = name.has_value() && size <= kFernlinkUserSizeLimit;
    } else {
        row.sendable = true;
    }
    // The name goes to the controller in GBK; one it cannot hold would arrive as '?'.
    if (!fitsGbk(row.targetName))
        row.sendable = false;
    return row;
}

std::optional<QString> safeLocalName(const QString& name)
{
    if (!isSafeLocalName(name))
        return std::nullopt;
    return name;
}

}  // namespace vantor::fernlink
