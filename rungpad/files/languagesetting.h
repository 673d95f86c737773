// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editor's language setting, shared by the frame and rungpad-cli: section
// "VANTORQ5RUNGPAD", value "LANGUAGE", 0 Chinese (the default) or 1 English, under the
// application key the older editor used.
#include <QSettings>
#include <QString>

namespace rungpad {

inline constexpr const char* kSettingsOrganization = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Rungpad";
inline constexpr const char* kLanguageKey = "VANTORQ5RUNGPAD/LANGUAGE";

inline int storedLanguage()
{
    QSettings settings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
    return settings.value(QString::fromLatin1(kLanguageKey), 0).toInt() == 1 ? 1 : 0;
}

inline void storeLanguage(int language)
{
    QSettings settings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
    settings.setValue(QString::fromLatin1(kLanguageKey), language == 1 ? 1 : 0);
}

}  // namespace rungpad
