// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Controller families and the names files get on the controller, and the upgrade list
// ("config.ini") that names the files of a system upgrade.
#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor {

// Family numbers as the controller model selects them; 6 and 5 wait for the prompt.
constexpr int kFamilyQ5A = 6;
constexpr int kFamilyQ7A = 5;
constexpr int kFamilyQ5B = 4;
constexpr int kFamilyQ6A = 3;
constexpr int kFamilyGeneral = 2;

int familyFromSystemText(const QString& text);
bool isPromptFamily(int family);
int familyFileLimit(int family);  // 400 for the prompt families, 800 otherwise

// The name a user-area file gets on a controller of the family, or nullopt when refused.
std::optional<QString> controllerName(int family, const QString& fileName);

// Fernlink's rule for the user area: "o", digits 1..99999, a ".", and ".cnc", ".txt" or
// ".nc"; the accepted name is "O%05d.txt".
std::optional<QString> fernlinkUserName(const QString& fileName);
constexpr qint64 kFernlinkUserSizeLimit = 4194304;  // larger files never go to the user area

struct UpgradeEntry {
    QString name;
    QString partition;  // "sys", "user" or "bios"
};
struct UpgradeList {
    std::vector<UpgradeEntry> entries;
    bool ok = true;  // false: a bad line ended the reading; entries hold what came before
};
UpgradeList parseUpgradeList(QByteArrayView text);

}  // namespace vantor
