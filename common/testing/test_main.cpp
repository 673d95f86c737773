// SPDX-License-Identifier: GPL-3.0-or-later
// One main() for every test binary: Qt needs an application object for sockets, timers
// and serial ports, and a platform plugin that works without a display.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef VANTOR_TEST_BUILD_DIR
    if (qEnvironmentVariableIsEmpty("VANTOR_BUILD_DIR"))
        qputenv("VANTOR_BUILD_DIR", VANTOR_TEST_BUILD_DIR);
    if (qEnvironmentVariableIsEmpty("VANTOR_SOURCE_DIR"))
        qputenv("VANTOR_SOURCE_DIR", VANTOR_TEST_SOURCE_DIR);
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
