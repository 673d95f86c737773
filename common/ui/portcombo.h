// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial port fields of both programs: an editable combo whose list shows each port's
// name beside what the platform knows of it, while the field itself keeps the bare name
// (the name is what is stored and opened; a typed name is taken as it is).
#include <QString>

#include <utility>
#include <vector>

class QComboBox;

namespace vantor {

// ports: name and description, in the order to show.
void fillPortCombo(QComboBox* combo, const std::vector<std::pair<QString, QString>>& ports);

}  // namespace vantor
