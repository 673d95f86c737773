// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/recentfiles.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vantor::RecentFileList;
using vantor::RecentFilesForm;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

QStringList texts(const QMenu& menu)
{
    QStringList out;
    for (QAction* a : menu.actions())
        out << a->text();
    return out;
}

}  // namespace

// Each way a program's list differs, on a store kept open: what an unused slot leaves behind,
// the count, and the menu's greying.
TEST(RecentFileList, FormDecidesUnusedSlotsCountAndGreying)
{
    struct Case {
        const char* name;
        RecentFilesForm form;
        bool slotTwoKept;
        bool greyedWhenEmpty;
    };
    RecentFilesForm kept;
    kept.writeUnusedSlots = true;
    kept.greyWhenEmpty = true;
    RecentFilesForm two;
    two.count = 2;
    const Case cases[] = {{"removed", RecentFilesForm{}, false, false}, {"kept empty", kept, true, true},
                          {"two", two, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QSettings store(dir.filePath(s("p.ini")), QSettings::IniFormat);
        store.setValue(s("Recent File List/File2"), s("/old/b.nc"));
        RecentFileList list(store, c.form);
        QMenu menu;
        QStringList opened;
        list.showIn(&menu, [&](const QString& p) { opened << p; });
        EXPECT_EQ(texts(menu), QStringList{s("&1 /old/b.nc")});
        EXPECT_TRUE(menu.isEnabled());

        ASSERT_TRUE(list.forget(s("/old/b.nc")));
        EXPECT_FALSE(list.forget(s("/old/b.nc")));
        EXPECT_EQ(store.contains(s("Recent File List/File2")), c.slotTwoKept);
        EXPECT_EQ(menu.isEnabled(), !c.greyedWhenEmpty);

        for (const char* p : {"/a.nc", "/b.nc", "/c.nc", "/d.nc", "/e.nc", "/b.nc"})
            list.add(s(p));
        const QStringList all{s("/b.nc"), s("/e.nc"), s("/d.nc"), s("/c.nc")};
        EXPECT_EQ(list.files(), all.mid(0, c.form.count));
        EXPECT_TRUE(menu.isEnabled());
        // What another reader of the profile file sees, at once.
        EXPECT_EQ(QSettings(dir.filePath(s("p.ini")), QSettings::IniFormat).value(s("Recent File List/File1")), s("/b.nc"));
        menu.actions().at(1)->trigger();
        EXPECT_EQ(opened, QStringList{s("/e.nc")});
    }
}

TEST(RecentFileList, ProfileOpenedAfreshShowsNativeSeparatorsAndFullPaths)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    RecentFilesForm form;
    form.nativeSeparators = true;
    RecentFileList list(s("Org"), s("App"), form);
    list.add(dir.filePath(s("x/../l.plf")));
    const QString full = QDir(dir.path()).filePath(s("l.plf"));
    EXPECT_EQ(QSettings(s("Org"), s("App")).value(s("Recent File List/File1")).toString(), full);
    QMenu menu;
    list.showIn(&menu, {});
    EXPECT_EQ(texts(menu), QStringList{s("&1 ") + QDir::toNativeSeparators(full)});
    menu.actions().at(0)->trigger();  // no receiver: nothing happens
}
