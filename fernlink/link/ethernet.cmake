# SPDX-License-Identifier: GPL-3.0-or-later
vantor_library(fernlink_ethernet
  SOURCES ethernetprotocol.cpp ethernetflows.cpp dncflow.cpp ethernetlink.cpp
  LINKS fernlink_link fernlink_app serialcore vantor_common Qt6::Core Qt6::Network)

vantor_test(fernlink_ethernet_tests SOURCES tests/ethernetflows_test.cpp tests/ethernetlink_test.cpp
  LINKS fernlink_ethernet Qt6::Network)
