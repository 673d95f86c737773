# SPDX-License-Identifier: GPL-3.0-or-later
# DNC, send, receive and operation log pages (engineer T).
vantor_library(fernlink_ui_transfer
  SOURCES sortablelist.cpp transferprogress.cpp pageflows.cpp addfilesdialog.cpp sendrowdialog.cpp renamedialog.cpp sendpage.cpp receivepage.cpp dncpage.cpp
          operationlogpage.cpp
  LINKS fernlink_ui_core)

vantor_test(fernlink_ui_transfer_tests SOURCES tests/transferpages_test.cpp LINKS fernlink_ui_transfer Qt6::Test)
