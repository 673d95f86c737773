// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport's settings: string values under organisation "Vantor", application "Fernlink",
// written at the moments the user expects (after a port opens, when a choice changes).
#include "fernport/dncstart.h"

#include <QSettings>
#include <QString>

#include <memory>

namespace vantor::fernport {

enum class DncProtocol { XonXoff = 0, XModem = 1 };

inline constexpr char kControllerModels[][16] = {"Vantor Q5A", "Vantor Q5B", "Vantor Q7A", "Vantor Q6A",
                                                 "Q8A",        "Q6D",        "Q6E",        "Q6F"};

class FernportSettings {
public:
    // Default: the user's own settings file (a per-machine store is not writable by an ordinary user).
    FernportSettings();
    // For tests: a given file.
    explicit FernportSettings(const QString& iniPath);

    // The port the program opens when nothing was stored: the first serial port of the machine.
    static QString defaultPort();

    QString port() const;
    int baudRate() const;
    bool hasStoredPort() const;
    void storePort(const QString& name, int baud);

    DncProtocol dncProtocol() const;
    void storeDncProtocol(DncProtocol protocol);

    QString system() const;
    void storeSystem(const QString& model);

    // What goes before a DNC that starts after line 1 (default: the program's own start).
    dnc::HeaderMode dncHeaderMode() const;
    void storeDncHeaderMode(dnc::HeaderMode mode);
    QString dncCustomHeader() const;
    void storeDncCustomHeader(const QString& header);

    // The DNC run cut off last, offered at the next start of its program.
    DncRestartPoint dncRestartPoint() const;
    void storeDncRestartPoint(const DncRestartPoint& point);

    QSettings& raw() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace vantor::fernport
