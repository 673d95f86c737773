// SPDX-License-Identifier: GPL-3.0-or-later
// Fernlink's Recent File menu: the four newest programs in its profile under the section older
// copies of the program read too, numbered in the menu, and a file that has gone stays listed.
#include "fernlink/ui/editorview.h"
#include "fernlink/ui/mainframe.h"

#include "common/prompter.h"
#include "common/testing/menuprofile.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernlink::ui;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

class FernlinkRecentFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<CMainFrame> frame;

    QString iniPath() const { return dir.filePath(s("fernlink.ini")); }
    void make()
    {
        MainFrameOptions o;
        o.settingsFile = iniPath();
        o.dataFolder = dir.filePath(s("data"));
        o.autostartFolder = dir.filePath(s("autostart"));
        o.prompter = &prompter;
        o.assumeTray = true;
        frame = std::make_unique<CMainFrame>(o);
    }
    QString program(int n) const
    {
        const QString path = QFileInfo(dir.filePath(s("O%1.nc").arg(n, 4, 10, QLatin1Char('0')))).absoluteFilePath();
        vantor::testing::writeFile(path, "G0\n");
        return path;
    }
    QMenu* menu() const { return frame->findChild<QMenu*>(s("recentMenu")); }
    QStringList menuTexts() const { return vantor::testing::actionTexts(menu()); }
    // The section as the profile holds it: slot number to value, absent keys left out.
    std::map<int, QString> stored() const
    {
        return vantor::testing::numberedValues(QSettings(iniPath(), QSettings::IniFormat), s("Recent File List/File"), 6);
    }
};

TEST_F(FernlinkRecentFiles, ProfileHoldsTheFourNewestAndNoKeyForAnUnusedSlot)
{
    make();
    QStringList paths;
    for (int i = 1; i <= 2; ++i) {
        paths << program(i);
        ASSERT_TRUE(frame->openDocument(paths.last()));
    }
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[1]}, {2, paths[0]}}));
    for (int i = 3; i <= 6; ++i) {
        paths << program(i);
        ASSERT_TRUE(frame->openDocument(paths.last()));
    }
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[5]}, {2, paths[4]}, {3, paths[3]}, {4, paths[2]}}));
    // Saving under a listed name moves it to the top instead of listing it twice.
    ASSERT_TRUE(frame->saveDocumentAs(paths[3]));
    EXPECT_EQ(frame->recentFiles(), (QStringList{paths[3], paths[5], paths[4], paths[2]}));
}

TEST_F(FernlinkRecentFiles, ListWrittenWithGapsIsReadInOrderAndRewrittenWithout)
{
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(s("Recent File List/File1"), s("/cnc/a.nc"));
        ini.setValue(s("Recent File List/File2"), QString());
        ini.setValue(s("Recent File List/File3"), s("/cnc/b.nc"));
    }
    make();
    EXPECT_EQ(frame->recentFiles(), (QStringList{s("/cnc/a.nc"), s("/cnc/b.nc")}));
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 /cnc/a.nc"), s("&2 /cnc/b.nc")}));
    const QString c = program(3);
    ASSERT_TRUE(frame->openDocument(c));
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, c}, {2, s("/cnc/a.nc")}, {3, s("/cnc/b.nc")}}));
}

TEST_F(FernlinkRecentFiles, MenuNumbersTheFilesOpensTheChosenOneAndKeepsOneThatHasGone)
{
    make();
    ASSERT_NE(menu(), nullptr);
    EXPECT_TRUE(menu()->actions().isEmpty());
    EXPECT_TRUE(menu()->menuAction()->isEnabled());  // the file commands, not the list, decide this
    const QString a = program(1), b = program(2);
    ASSERT_TRUE(frame->openDocument(a));
    ASSERT_TRUE(frame->openDocument(b));
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + b, s("&2 ") + a}));

    menu()->actions().at(1)->trigger();
    EXPECT_EQ(frame->editor()->path(), a);
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + a, s("&2 ") + b}));

    ASSERT_TRUE(QFile::remove(b));
    prompter.shown.clear();
    menu()->actions().at(1)->trigger();
    EXPECT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(frame->editor()->path(), a);
    EXPECT_EQ(frame->recentFiles(), (QStringList{a, b}));
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, a}, {2, b}}));
}

}  // namespace
