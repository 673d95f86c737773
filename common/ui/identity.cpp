// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/identity.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

namespace vantor {

namespace {
// The sizes packaging/icons/png holds; each is built into the program under :/icons/SIZE/.
constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

QIcon builtInIcon(const QString& name)
{
    QIcon icon;
    for (const int size : kIconSizes) {
        const QString path = QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}
}  // namespace

void applyIdentity(const ProgramIdentity& identity)
{
    QGuiApplication::setDesktopFileName(QString::fromLatin1(identity.desktopFileName));
    const QString name = QString::fromLatin1(identity.iconName);
    // A platform without a desktop theme (offscreen, vnc) names no icon theme and no folder to
    // look in: then hicolor, where packages install icons and which every theme inherits, in
    // the XDG data folders, as a desktop's theme would.
    if (QIcon::themeName().isEmpty()) {
        QIcon::setThemeName(QStringLiteral("hicolor"));
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& dir :
             QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                       QStandardPaths::LocateDirectory)) {
            if (!paths.contains(dir))
                paths << dir;
        }
        QIcon::setThemeSearchPaths(paths);
    }
    QIcon icon = QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : builtInIcon(name);
    QApplication::setWindowIcon(icon);
}

QCommandLineOption identityOption()
{
    QCommandLineOption option(QStringLiteral("show-identity"),
                              QStringLiteral("Print the desktop file name and window icon, then end."));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

QString describeIdentity()
{
    const QIcon icon = QApplication::windowIcon();
    QList<int> widths;
    for (const QSize& size : icon.availableSizes())
        widths << size.width();
    std::sort(widths.begin(), widths.end());
    QStringList sizes;
    for (const int width : widths)
        sizes << QString::number(width);
    QString source = QStringLiteral("none");
    if (!icon.name().isEmpty())
        source = icon.name() + QStringLiteral(" from the theme");
    else if (!icon.isNull())
        source = QStringLiteral("built in");
    return QStringLiteral("desktop-file: %1.desktop\nicon: %2\nicon-sizes: %3\n")
        .arg(QGuiApplication::desktopFileName(), source, sizes.join(QLatin1Char(' ')));
}

}  // namespace vantor
