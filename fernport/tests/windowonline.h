// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ground of Fernport's window tests: a profile of the test's own in a temporary folder,
// the main window on it, and the controller's end of a pseudo-terminal pair whose other end
// the window's port opens.
#include "fernport/mainframe.h"

#include "common/prompter.h"
#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"

#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace vantor::fernport::testsupport {

template <typename WindowPrompter = ScriptedPrompter>
class WindowOnLine : public ::testing::Test {
protected:
    // Settings and data under dir, never the user's; the window is the fixture's to make.
    void setUpProfile()
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        settings = std::make_unique<FernportSettings>(dir.filePath(QStringLiteral("fernport.ini")));
    }
    // The controller's end of the line opens.
    void openPeer()
    {
        ASSERT_TRUE(pty.ok());
        peer.setPortName(pty.b());
        ASSERT_TRUE(peer.open(QIODevice::ReadWrite));
    }
    // The window's port opens (again) on the other end, at baud.
    void openPort(int baud)
    {
        frame->setPortSetupAsker([this, baud](const QString&, int) { return std::optional<PortChoice>(PortChoice{pty.a(), baud}); });
        frame->setPortCommand();
        ASSERT_TRUE(frame->comm().isOpen());
    }
    void say(char byte)
    {
        peer.write(QByteArray(1, byte));
        peer.waitForBytesWritten(1000);
    }
    QByteArray hear(qsizetype n)
    {
        QByteArray got;
        vantor::testing::waitUntil([&] {
            got += peer.readAll();
            return got.size() >= n;
        }, 5000);
        return got;
    }

    QTemporaryDir dir;
    WindowPrompter prompter;
    std::unique_ptr<FernportSettings> settings;
    std::unique_ptr<CMainFrame> frame;
    vantor::testing::PtyPair pty;
    QSerialPort peer;
};

}  // namespace vantor::fernport::testsupport
