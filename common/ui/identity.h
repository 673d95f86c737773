// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the desktop knows a program by: the desktop entry its windows belong to (so the
// dock or task bar groups them under the menu entry) and the icon every window and the tray
// show. Set once in main(), after the QApplication exists and before the first window.
#include <QCommandLineOption>
#include <QString>

namespace vantor {

struct ProgramIdentity {
    const char* desktopFileName;  // the desktop entry's id without ".desktop": "com.vantor.Fernlink"
    const char* iconName;         // the installed theme icon, also built in: "fernlink"
};

// Gives the application its desktop file name and window icon. The icon comes from the
// icon theme (what the package installs under /usr/share/icons/hicolor) and, where that is
// missing (a build tree, an unusual theme path), from the copy built into the program.
void applyIdentity(const ProgramIdentity& identity);

// A hidden option for the package check: print what applyIdentity set and end.
QCommandLineOption identityOption();

// One line each, from the running application: "desktop-file: com.vantor.Fernlink.desktop",
// "icon: fernlink from the theme" (or "built in", or "none") and "icon-sizes: 16 32 ...".
QString describeIdentity();

}  // namespace vantor
