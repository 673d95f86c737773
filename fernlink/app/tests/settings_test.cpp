// SPDX-License-Identifier: GPL-3.0-or-later
// The stored settings: defaults of an empty profile, the exact value names a profile holds,
// and the autostart entry that logging on uses.
#include "fernlink/app/settings.h"

#include "common/atomicfile.h"
#include "common/testing/testfiles.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor::fernlink;
using vantor::testing::readFile;
using vantor::testing::writeFile;

TEST(FernlinkSettings, EmptyProfileGivesTheDefaults)
{
    QTemporaryDir dir;
    auto store = openSettingsStore(dir.filePath(QStringLiteral("empty.ini")));
    const FernlinkSettings s = FernlinkSettings::load(*store);
    EXPECT_EQ(s.machineType, QStringLiteral("Vantor Q5A"));
    EXPECT_EQ(s.baudRate, QStringLiteral("1200"));
    EXPECT_EQ(s.seriesNum, FernlinkSettings::defaultPort());
    EXPECT_FALSE(s.launchOnStartup);
    EXPECT_FALSE(s.startInTray);
    EXPECT_EQ(s.ftpPort, 21);
    EXPECT_EQ(s.maxTimeout, 5);
    EXPECT_EQ(s.maxUsers, 10);
    EXPECT_FALSE(s.autoActivate);
    EXPECT_EQ(s.language, Language::Chinese);
    EXPECT_EQ(s.addressText(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(s.baud(), 1200);
}

TEST(FernlinkSettings, ValuesGoUnderTheProfilesOwnNames)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fernlink.ini"));
    {
        auto store = openSettingsStore(path);
        FernlinkSettings s;
        s.machineType = QStringLiteral("Vantor Q6C");
        s.baudRate = QStringLiteral("115200");
        s.seriesNum = QStringLiteral("/tmp/pty");
        s.launchOnStartup = true;
        s.startInTray = true;
        s.ftpPort = 2121;
        s.maxTimeout = 7;
        s.maxUsers = 3;
        s.autoActivate = true;
        s.address = {192, 168, 1, 20};
        s.save(*store);
        FernlinkSettings::saveLanguage(*store, Language::English);
    }
    QSettings raw(path, QSettings::IniFormat);
    const struct { const char* key; QVariant value; } expected[] = {
        {"Settings/MachineType", QStringLiteral("Vantor Q6C")},
        {"Settings/BaudRate", QStringLiteral("115200")},
        {"Settings/SeriesNum", QStringLiteral("/tmp/pty")},
        {"Settings/LaundOnStartup", 1},
        {"Settings/StartInTray", 1},
        {"Settings/Port", 2121},
        {"Settings/MaxTimeout", 7},
        {"Settings/MaxUeser", 3},
        {"Settings/AutoActivate", 1},
        {"Setting/Language", 1},
        {"IP/IP1", 192},
        {"IP/IP2", 168},
        {"IP/IP3", 1},
        {"IP/IP4", 20},
    };
    for (const auto& e : expected)
        EXPECT_EQ(raw.value(QLatin1String(e.key)).toString(), e.value.toString()) << e.key;

    auto store = openSettingsStore(path);
    const FernlinkSettings back = FernlinkSettings::load(*store);
    EXPECT_EQ(back.seriesNum, QStringLiteral("/tmp/pty"));
    EXPECT_EQ(back.maxUsers, 3);
    EXPECT_TRUE(back.autoActivate);
    EXPECT_EQ(back.language, Language::English);
    EXPECT_EQ(back.addressText(), QStringLiteral("192.168.1.20"));
}

TEST(FernlinkSettings, VerifyAndTheDncRestartHeaderAreKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fernlink.ini"));
    {
        auto store = openSettingsStore(path);
        const FernlinkSettings fresh = FernlinkSettings::load(*store);
        EXPECT_FALSE(fresh.verifyAfterSend);
        EXPECT_EQ(fresh.dncHeaderMode, 1);  // the program's setup lines
        FernlinkSettings s;
        s.verifyAfterSend = true;
        s.dncHeaderMode = 2;
        s.dncHeader = QStringLiteral("G54 M08");
        s.save(*store);
    }
    auto store = openSettingsStore(path);
    const FernlinkSettings back = FernlinkSettings::load(*store);
    EXPECT_TRUE(back.verifyAfterSend);
    EXPECT_EQ(back.dncHeaderMode, 2);
    EXPECT_EQ(back.dncHeader, QStringLiteral("G54 M08"));
    store->setValue(QStringLiteral("Settings/DncStartHeader"), 9);
    EXPECT_EQ(FernlinkSettings::load(*store).dncHeaderMode, 2);  // out of range: the nearest
}

TEST(FernlinkSettings, DamagedValuesFallBackInsteadOfFailing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.ini"));
    writeFile(path, "[Settings]\nPort=abc\nBaudRate=fast\nStartInTray=7\n[IP]\nIP1=300\nIP2=-4\n");
    auto store = openSettingsStore(path);
    const FernlinkSettings s = FernlinkSettings::load(*store);
    EXPECT_EQ(s.ftpPort, 21);
    EXPECT_EQ(s.baudRate, QStringLiteral("fast"));
    EXPECT_EQ(s.baud(), 0);           // the engine then keeps its own rate
    EXPECT_FALSE(s.startInTray);      // only 1 means on
    EXPECT_EQ(s.address[0], 255);
    EXPECT_EQ(s.address[1], 0);
}

TEST(FernlinkAutostart, EntryIsWrittenWholeAndRemovedWhenSwitchedOff)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("config/autostart"));  // made on the way
    ASSERT_TRUE(writeAutostartEntry(folder, QStringLiteral("/opt/fern link/bin/fernlink")));
    const QByteArray entry = readFile(autostartEntryPath(folder));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nName=Fernlink\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/fern link/bin/fernlink\"\n")) << entry.constData();
    EXPECT_EQ(QFileInfo(autostartEntryPath(folder)).fileName(), QStringLiteral("Fernlink.desktop"));
    // Only the entry is in the folder: no temporary file is left behind.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);

    ASSERT_TRUE(removeAutostartEntry(folder));
    EXPECT_FALSE(QFile::exists(autostartEntryPath(folder)));
    EXPECT_TRUE(removeAutostartEntry(folder));  // switching off twice is not an error
}

TEST(FernlinkAutostart, ExecQuotesWhatTheShellWouldReadApart)
{
    const struct { const char* path; const char* exec; } cases[] = {
        {"/usr/bin/fernlink", "Exec=/usr/bin/fernlink\n"},
        {"/home/a b/fernlink", "Exec=\"/home/a b/fernlink\"\n"},
        {"/home/$x/fern", "Exec=\"/home/\\\\$x/fern\"\n"},
    };
    // An empty search path: what is installed on this machine must not change the answer.
    for (const auto& c : cases)
        EXPECT_TRUE(autostartEntry(QString::fromUtf8(c.path), QStringList{}).contains(c.exec)) << c.path;
}

TEST(FernlinkAutostart, UnwritableFolderIsReported)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    writeFile(blocker, "x");
    QString error;
    EXPECT_FALSE(writeAutostartEntry(blocker + QStringLiteral("/autostart"), QStringLiteral("/bin/x"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// A program of the same name on this machine's PATH must not leak into an entry built with
// an injected search path.
TEST(FernlinkAutostart, InjectedSearchPathIgnoresTheMachinesPath)
{
    QTemporaryDir bin;
    const QString program = bin.filePath(QStringLiteral("fernlink"));
    writeFile(program, "#!/bin/sh\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    EXPECT_EQ(autostartCommand(program), QStringLiteral("fernlink"));  // the machine's PATH
    EXPECT_EQ(autostartCommand(program, QStringList{}), program);
    qputenv("PATH", oldPath);
}

// Switching the entry on while the disk is full keeps the earlier entry and says why.
TEST(FernlinkAutostart, FullDiskKeepsTheEarlierEntryAndSaysWhy)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("autostart"));
    ASSERT_TRUE(writeAutostartEntry(folder, QStringLiteral("/opt/old/fernlink")));
    const QByteArray before = readFile(autostartEntryPath(folder));
    for (const auto step : {vantor::FileFault::Step::Write, vantor::FileFault::Step::Sync, vantor::FileFault::Step::Rename}) {
        vantor::ScopedFileFault fault({step, ENOSPC, 0, folder});
        QString error;
        EXPECT_FALSE(writeAutostartEntry(folder, QStringLiteral("/opt/new/fernlink"), &error));
        EXPECT_TRUE(error.contains(vantor::systemErrorText(ENOSPC))) << error.toStdString();
        EXPECT_EQ(readFile(autostartEntryPath(folder)), before);
        EXPECT_EQ(vantor::testing::filesIn(folder), QStringList{QStringLiteral("Fernlink.desktop")});
    }
}

// An installed Fernlink (found on PATH as itself) is started by name; a copy elsewhere, even
// of the same name, keeps its full path so logging on starts the program the user chose.
TEST(FernlinkAutostart, InstalledProgramIsStartedByName)
{
    QTemporaryDir bin, other;
    const QString installed = bin.filePath(QStringLiteral("fernlink"));
    const QString buildTree = other.filePath(QStringLiteral("fernlink"));
    for (const QString& path : {installed, buildTree}) {
        writeFile(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QStringList path{bin.path()};
    EXPECT_EQ(autostartCommand(installed, path), QStringLiteral("fernlink"));
    EXPECT_TRUE(autostartEntry(installed, path).contains("\nExec=fernlink\n"));
    EXPECT_EQ(autostartCommand(buildTree, path), buildTree);
}
