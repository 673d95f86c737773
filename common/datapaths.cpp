// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantor {

namespace {
QString below(const QString& share, const QString& program)
{
    return QDir(share).filePath(QStringLiteral("vantor/") + program);
}
}  // namespace

QString userDataFolder(const QString& program)
{
    return below(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), program);
}

QStringList dataFolders(const QString& program)
{
    QStringList folders;
    for (const QString& share : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << below(share, program);
    if (QCoreApplication::instance())
        folders << QCoreApplication::applicationDirPath();
    folders.removeDuplicates();
    return folders;
}

QString locateDataFile(const QString& program, const QString& fileName)
{
    for (const QString& folder : dataFolders(program)) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

}  // namespace vantor
