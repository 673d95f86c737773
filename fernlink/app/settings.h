// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernlink's stored settings: the user's profile under "Local AppWizard-Generated
// Applications"/"Fernlink", with the section and value names the program has always used
// (misspellings included, so an existing profile keeps working).
#include "fernlink/app/programstate.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

namespace vantor::fernlink {

inline constexpr char kSettingsOrganisation[] = "Local AppWizard-Generated Applications";
inline constexpr char kSettingsApplication[] = "Fernlink";
inline constexpr int kRecentFileCount = 4;
inline constexpr int kDefaultControllerPort = 1234;
inline constexpr int kRecentAddressCount = 8;

struct FernlinkSettings {
    QString machineType = QStringLiteral("Vantor Q5A");
    QString baudRate = QStringLiteral("1200");  // decimal text, as the settings page stores it
    QString seriesNum = defaultPort();
    bool launchOnStartup = false;
    bool startInTray = false;
    int ftpPort = 21;
    int maxTimeout = 5;   // FTP idle limit, minutes
    int maxUsers = 10;
    bool autoActivate = false;
    bool verifyAfterSend = false;  // Ethernet sends read each file back and compare it
    // What a DNC that starts after line 1 sends first: 0 nothing, 1 the program's lines
    // before its first motion, 2 dncHeader.
    int dncHeaderMode = 1;
    QString dncHeader;
    QString pasvPorts;   // "LOW-HIGH" for passive FTP data connections; empty: any
    Language language = Language::Chinese;
    std::array<int, 4> address{0, 0, 0, 0};  // the controller's IPv4 octets, last entered
    int controllerPort = kDefaultControllerPort;  // its TCP port, entered with the address
    QStringList recentAddresses;  // "a.b.c.d" or "a.b.c.d:port", newest first, at most 8
    // A serial port given for this run only (on the command line); never stored.
    QString sessionPort;

    // The first serial port of the machine: what the program opens when nothing is stored.
    static QString defaultPort();
    // The stored baud text as a number; 0 when it is not one.
    int baud() const;
    // The port the serial link opens: the session's, else the stored one.
    QString activePort() const { return sessionPort.isEmpty() ? seriesNum : sessionPort; }
    QString addressText() const;

    static FernlinkSettings load(QSettings& store);
    // Everything but the language, which the language commands store alone.
    void save(QSettings& store) const;
    static void saveLanguage(QSettings& store, Language language);
    static void saveAddress(QSettings& store, const std::array<int, 4>& octets);
    // The address with its port, and the list of recent addresses with it in front.
    void rememberAddress(QSettings& store, const std::array<int, 4>& octets, int port);
    // "a.b.c.d", with ":port" when the port is not the default.
    static QString addressText(const std::array<int, 4>& octets, int port);
};

// The settings file: the user's own profile, or a given ini file for tests.
std::unique_ptr<QSettings> openSettingsStore(const QString& iniPath = {});

// Logging on starts the program through an XDG autostart entry, "Fernlink.desktop" in `folder`
// (normally ~/.config/autostart). Written atomically; false with `error` set when it fails.
QString autostartFolder();
QString autostartEntryPath(const QString& folder);
// What the entry runs: the bare program name when the search path (PATH unless given) finds
// this very program (installed), else its full path (a build tree).
QString autostartCommand(const QString& programPath, const std::optional<QStringList>& searchPath = std::nullopt);
QByteArray autostartEntry(const QString& programPath, const std::optional<QStringList>& searchPath = std::nullopt);
bool writeAutostartEntry(const QString& folder, const QString& programPath, QString* error = nullptr);
bool removeAutostartEntry(const QString& folder, QString* error = nullptr);

}  // namespace vantor::fernlink
