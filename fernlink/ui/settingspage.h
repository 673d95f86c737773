// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings page: controller model, serial port and baud rate, start-up behaviour and
// the FTP server's limits. Apply stores everything and reopens the serial link with the
// new values; port and baud may not change while a serial operation runs.
#include "fernlink/app/settings.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vantor::fernlink::ui {

class LinkHub;

class SettingsPage : public QWidget {
    Q_OBJECT
public:
    // The fixed baud list of the page.
    static const QStringList& baudRates();
    // Controller models on offer; the box is fixed to the first.
    static const QStringList& machineTypes();

    SettingsPage(LinkHub& hub, FernlinkSettings& settings, QSettings& store, QWidget* parent = nullptr);

    // Where the log-on entry goes (tests point it at a temporary folder).
    void setAutostartFolder(const QString& folder) { autostartFolder_ = folder; }
    void setProgramPath(const QString& path) { programPath_ = path; }

    // Apply, as the button does; false when nothing was pending.
    bool apply();
    // Shows the stored values again (after the settings changed elsewhere).
    void reload();

    QComboBox* machineBox() const { return machine_; }
    QComboBox* baudBox() const { return baud_; }
    QComboBox* portBox() const { return port_; }
    QCheckBox* startInTrayBox() const { return startInTray_; }
    QCheckBox* launchOnStartupBox() const { return launch_; }
    QCheckBox* autoActivateBox() const { return autoActivate_; }
    QCheckBox* verifyBox() const { return verify_; }
    QComboBox* dncHeaderModeBox() const { return dncHeaderMode_; }
    QLineEdit* dncHeaderEdit() const { return dncHeader_; }
    QSpinBox* ftpPortBox() const { return ftpPort_; }
    QSpinBox* maxUsersBox() const { return maxUsers_; }
    QSpinBox* maxTimeoutBox() const { return maxTimeout_; }
    QLineEdit* pasvPortsBox() const { return pasvPorts_; }
    QPushButton* applyButton() const { return apply_; }

Q_SIGNALS:
    // Apply reopened the serial link: whether it opened.
    void serialReopened(bool opened);
    void applied();

private:
    void changed();
    void baudChosen();
    void portChosen();
    // The Chinese-only refusal for a serial operation in progress; empty when none runs.
    QString serialRefusal(bool port) const;
    void selectStoredBaud();
    void selectStoredPort();

    LinkHub& hub_;
    FernlinkSettings& settings_;
    QSettings& store_;
    QString autostartFolder_;
    QString programPath_;
    bool loading_ = false;
    bool portEdited_ = false;

    QComboBox* machine_;
    QComboBox* baud_;
    QComboBox* port_;
    QCheckBox* startInTray_;
    QCheckBox* launch_;
    QCheckBox* autoActivate_;
    QCheckBox* verify_;
    QComboBox* dncHeaderMode_;
    QLineEdit* dncHeader_;
    QSpinBox* ftpPort_;
    QLineEdit* pasvPorts_;
    QSpinBox* maxUsers_;
    QSpinBox* maxTimeout_;
    QPushButton* apply_;
};

}  // namespace vantor::fernlink::ui
