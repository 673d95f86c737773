// SPDX-License-Identifier: GPL-3.0-or-later
// Fernport's Recent File menu: four slots in its own profile, written every time with the
// unused ones present but empty, a greyed menu while none is listed, and a file that has gone
// stays listed.
#include "fernport/mainframe.h"
#include "fernport/settings.h"

#include "common/prompter.h"
#include "common/testing/menuprofile.h"
#include "common/testing/testfiles.h"
#include "common/ui/nceditor.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernport;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

class FernportRecentFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<FernportSettings> settings;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(s("config")));
    }
    void TearDown() override { frame.reset(); }
    void make()
    {
        settings = std::make_unique<FernportSettings>(dir.filePath(s("fernport.ini")));
        frame = std::make_unique<CMainFrame>(*settings, &prompter);
    }
    static QSettings profile() { return QSettings(s("Local AppWizard-Generated Applications"), s("Fernport")); }
    QString program(int n) const
    {
        const QString path = QFileInfo(dir.filePath(s("O%1.nc").arg(n, 4, 10, QLatin1Char('0')))).absoluteFilePath();
        vantor::testing::writeFile(path, "G0\n");
        return path;
    }
    QMenu* menu() const
    {
        for (QMenu* m : frame->findChildren<QMenu*>())
            if (m->title() == s("Recent File"))
                return m;
        return nullptr;
    }
    QStringList menuTexts() const { return vantor::testing::actionTexts(menu()); }
    static std::map<int, QString> stored() { return vantor::testing::numberedValues(profile(), s("Recent File List/File"), 6); }
};

TEST_F(FernportRecentFiles, ProfileHoldsFourSlotsTheUnusedOnesWrittenEmpty)
{
    make();
    EXPECT_TRUE(stored().empty());  // nothing is written before the first file
    QStringList paths;
    paths << program(1);
    ASSERT_TRUE(frame->openDocument(paths.last()));
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[0]}, {2, QString()}, {3, QString()}, {4, QString()}}));
    for (int i = 2; i <= 5; ++i) {
        paths << program(i);
        ASSERT_TRUE(frame->openDocument(paths.last()));
    }
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, paths[4]}, {2, paths[3]}, {3, paths[2]}, {4, paths[1]}}));
    frame->editor()->setPlainText(s("M30\n"));
    ASSERT_TRUE(frame->saveDocumentAs(paths[2]));
    EXPECT_EQ(frame->recentFiles(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
}

TEST_F(FernportRecentFiles, ListWrittenWithGapsIsReadInOrder)
{
    {
        QSettings ini = profile();
        ini.setValue(s("Recent File List/File1"), s("/cnc/a.nc"));
        ini.setValue(s("Recent File List/File3"), s("/cnc/b.nc"));
    }
    make();
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 /cnc/a.nc"), s("&2 /cnc/b.nc")}));
    const QString c = program(3);
    ASSERT_TRUE(frame->openDocument(c));
    EXPECT_EQ(stored(), (std::map<int, QString>{{1, c}, {2, s("/cnc/a.nc")}, {3, s("/cnc/b.nc")}, {4, QString()}}));
}

TEST_F(FernportRecentFiles, MenuIsGreyUntilAFileIsListedAndKeepsOneThatHasGone)
{
    make();
    ASSERT_NE(menu(), nullptr);
    EXPECT_TRUE(menu()->actions().isEmpty());
    EXPECT_FALSE(menu()->isEnabled());
    const QString a = program(1), b = program(2);
    ASSERT_TRUE(frame->openDocument(a));
    ASSERT_TRUE(frame->openDocument(b));
    EXPECT_TRUE(menu()->isEnabled());
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + b, s("&2 ") + a}));

    menu()->actions().at(1)->trigger();
    EXPECT_EQ(frame->documentPath(), a);
    EXPECT_EQ(menuTexts(), (QStringList{s("&1 ") + a, s("&2 ") + b}));

    ASSERT_TRUE(QFile::remove(b));
    prompter.shown.clear();
    menu()->actions().at(1)->trigger();
    EXPECT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(frame->documentPath(), a);
    EXPECT_EQ(frame->recentFiles(), (QStringList{a, b}));
}

}  // namespace
