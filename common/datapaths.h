// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the data files a program ships with (default signal comments, diagnosis meanings)
// are found, so the same program works from a build tree and once installed under /usr.
#include <QString>
#include <QStringList>

namespace vantor {

// Search order for the shipped data of `program` ("rungpad"): the user's own data folder
// first (a shop's edited copy wins), then every installed share folder
// (XDG_DATA_DIRS: /usr/local/share, /usr/share), then the executable's folder, which is
// where a build tree keeps them. Folders that do not exist are still listed.
QStringList dataFolders(const QString& program);

// The folder a program writes its data to: the user's own, never the executable's folder
// (/usr/bin once installed).
QString userDataFolder(const QString& program);

// The first of dataFolders(program) that holds `fileName`; empty when none does.
QString locateDataFile(const QString& program, const QString& fileName);

}  // namespace vantor
