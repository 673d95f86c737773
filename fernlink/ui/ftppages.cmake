# SPDX-License-Identifier: GPL-3.0-or-later
# Login, user manager, online users and statistics pages.
vantor_library(fernlink_ui_ftp
  SOURCES loginpage.cpp userdialog.cpp usermanagerpage.cpp onlineuserspage.cpp statisticspage.cpp
  LINKS fernlink_ui_core)

vantor_test(fernlink_ui_ftp_tests
  SOURCES tests/ftppages_test.cpp
  LINKS fernlink_ui_ftp Qt6::Test)
