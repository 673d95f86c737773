// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/identity.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

struct IconThemeScope {
    QStringList paths = QIcon::themeSearchPaths();
    QString theme = QIcon::themeName();
    ~IconThemeScope()
    {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(theme);
        QApplication::setWindowIcon(QIcon());
    }
};

}  // namespace

// Without an installed icon (a build tree) every program still shows its own icon in all
// the sizes the packages install, and its windows say which desktop entry they belong to.
TEST(Identity, BuiltInIconsServeEveryProgramWhenNoThemeHasThem)
{
    IconThemeScope scope;
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(QStringLiteral("no-such-theme"));  // nothing installed on this machine counts
    for (const char* name : {"fernlink", "fernport", "rungpad"}) {
        SCOPED_TRACE(name);
        const QByteArray desktop = "com.vantor.test." + QByteArray(name);
        vantor::applyIdentity({desktop.constData(), name});
        EXPECT_EQ(QGuiApplication::desktopFileName(), QString::fromLatin1(desktop));
        const QIcon icon = QApplication::windowIcon();
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.availableSizes().size(), 6);
        QWidget window;
        EXPECT_EQ(window.windowIcon().cacheKey(), icon.cacheKey()) << "a window without its own icon shows the program's";
        EXPECT_EQ(vantor::describeIdentity(), QStringLiteral("desktop-file: %1.desktop\nicon: built in\n"
                                                             "icon-sizes: 16 32 48 64 128 256\n")
                                                  .arg(QString::fromLatin1(desktop)));
    }
}

// Once installed the theme's copy wins, so an icon theme that restyles it is honoured, also
// where no desktop names a theme.
TEST(Identity, InstalledThemeIconWins)
{
    IconThemeScope scope;
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString apps = root.filePath(QStringLiteral("hicolor/48x48/apps"));
    ASSERT_TRUE(QDir().mkpath(apps));
    ASSERT_TRUE(QFile::copy(QStringLiteral(":/icons/48/fernport.png"), apps + QStringLiteral("/fernport.png")));
    QFile index(root.filePath(QStringLiteral("hicolor/index.theme")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n[48x48/apps]\nSize=48\nContext=Applications\n"
                "Type=Threshold\n");
    index.close();
    QIcon::setThemeSearchPaths({root.path()});
    // As offscreen or on a bare X server: no desktop theme is named, hicolor must still serve.
    QIcon::setThemeName(QString());

    vantor::applyIdentity({"com.vantor.Fernport", "fernport"});
    EXPECT_EQ(vantor::describeIdentity(),
              QStringLiteral("desktop-file: com.vantor.Fernport.desktop\nicon: fernport from the theme\nicon-sizes: 48\n"));
}

// An icon nobody ships leaves no half-made icon behind: the check sees "none".
TEST(Identity, UnknownIconIsReportedAsNone)
{
    IconThemeScope scope;
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(QStringLiteral("no-such-theme"));  // nothing installed on this machine counts
    vantor::applyIdentity({"com.vantor.Nothing", "no-such-program"});
    EXPECT_TRUE(vantor::describeIdentity().contains(QStringLiteral("\nicon: none\n")));
}
