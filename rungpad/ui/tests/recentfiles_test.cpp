// SPDX-License-Identifier: GPL-3.0-or-later
// Rungpad's Recent Files menu: the four newest ladders by their full path in the editor's
// profile, unused slots left out, a greyed menu while none is listed, and a file that has
// gone leaves the list when it is asked for.
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/tests/uitestsupport.h"

#include "common/prompter.h"
#include "common/testing/menuprofile.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace rungpad;
using namespace rungpad::ui;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

class RungpadRecentFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vantor::ScriptedPrompter prompter;
    testsupport::NoDialogs dialogs;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(s("config")));
    }
    void TearDown() override { frame.reset(); }
    void make() { frame = std::make_unique<CMainFrame>(FrameOptions{&prompter, &dialogs, dir.path()}); }
    static QSettings profile() { return QSettings(s("Local AppWizard-Generated Applications"), s("Rungpad")); }
    QString ladder(int n) const
    {
        const QString path = QFileInfo(dir.filePath(s("L%1.plf").arg(n))).absoluteFilePath();
        vantor::testing::writeFile(path, testsupport::ladderFile("X000.0 - - - - - - - - (Y000.0)\n"
                                                                 "- - - - {7100:END1} - - - - -\n"
                                                                 "- - - - {7200:END2} - - - - -\n"));
        return path;
    }
    void closeAll()
    {
        frame->action(CMainFrame::CloseAll)->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QStringList menuTexts() const { return vantor::testing::actionTexts(frame->recentMenu()); }
    static std::map<int, QString> stored() { return vantor::testing::numberedValues(profile(), s("Recent File List/File"), 6); }
};

TEST_F(RungpadRecentFiles, ProfileHoldsTheFourNewestByFullPathAndNoKeyForAnUnusedSlot)
{
    make();
    QStringList paths;
    for (int i = 1; i <= 2; ++i) {
        paths << ladder(i);
        ASSERT_TRUE(frame->openFile(paths.last()));
    }
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[1]}, {2, paths[0]}}));
    ASSERT_TRUE(QDir(dir.path()).mkdir(s("sub")));
    for (int i = 3; i <= 5; ++i) {
        paths << ladder(i);
        // A path with a detour is listed by where it leads.
        ASSERT_TRUE(frame->openFile(dir.filePath(s("sub/../L%1.plf").arg(i))));
    }
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[4]}, {2, paths[3]}, {3, paths[2]}, {4, paths[1]}}));
}

TEST_F(RungpadRecentFiles, MenuIsGreyUntilAFileIsListedAndOpensTheChosenOne)
{
    {
        QSettings ini = profile();
        ini.setValue(s("Recent File List/File2"), s("/plc/a.plf"));
    }
    make();
    EXPECT_EQ(menuTexts(), QStringList{s("&1 ") + QDir::toNativeSeparators(s("/plc/a.plf"))});
    EXPECT_TRUE(frame->recentMenu()->isEnabled());
    profile().remove(s("Recent File List"));
    frame.reset();
    make();
    EXPECT_TRUE(menuTexts().isEmpty());
    EXPECT_FALSE(frame->recentMenu()->isEnabled());

    const QString a = ladder(1), b = ladder(2);
    ASSERT_TRUE(frame->openFile(a));
    ASSERT_TRUE(frame->openFile(b));
    EXPECT_TRUE(frame->recentMenu()->isEnabled());
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + QDir::toNativeSeparators(b), s("&2 ") + QDir::toNativeSeparators(a)}));
    closeAll();
    frame->recentMenu()->actions().at(1)->trigger();
    ASSERT_NE(frame->activeView(), nullptr);
    EXPECT_EQ(frame->activeView()->document()->path(), a);
    EXPECT_EQ(frame->recentFiles(), (QStringList{a, b}));
}

TEST_F(RungpadRecentFiles, AFileThatHasGoneLeavesTheListAndItsSlot)
{
    make();
    const QString a = ladder(1), b = ladder(2), c = ladder(3);
    for (const QString& p : {a, b, c})
        ASSERT_TRUE(frame->openFile(p));
    closeAll();
    ASSERT_TRUE(QFile::remove(b));
    frame->recentMenu()->actions().at(1)->trigger();
    EXPECT_EQ(frame->recentFiles(), (QStringList{c, a}));
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, c}, {2, a}}));
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + QDir::toNativeSeparators(c), s("&2 ") + QDir::toNativeSeparators(a)}));
    // A file that cannot be read but is still there stays listed.
    vantor::testing::writeFile(c, "not a ladder");
    frame->recentMenu()->actions().at(0)->trigger();
    EXPECT_EQ(frame->recentFiles(), (QStringList{c, a}));
}

}  // namespace
