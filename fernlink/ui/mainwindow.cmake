# SPDX-License-Identifier: GPL-3.0-or-later
# The main window, its navigation bar, the editor, the settings page and the program.
vantor_library(fernlink_ui_main
  SOURCES mainframe.cpp outlookbar.cpp editorview.cpp settingspage.cpp addressdialog.cpp
  LINKS fernlink_ui_transfer fernlink_ui_ftp fernlink_ui_core fernlink_settings vantor_ui Qt6::Widgets Qt6::PrintSupport Qt6::SerialPort)

vantor_program(fernlink SOURCES main.cpp LINKS fernlink_ui_main)

vantor_test(fernlink_mainframe_tests SOURCES tests/mainframe_test.cpp
  LINKS fernlink_ui_main Qt6::SerialPort Qt6::Test)
# The window tests talk to the simulated controller over a pseudo-terminal and loopback TCP.
add_dependencies(fernlink_mainframe_tests cncsim)
# The Recent File menu and what it leaves in the profile.
target_sources(fernlink_mainframe_tests PRIVATE tests/recentfiles_test.cpp)
