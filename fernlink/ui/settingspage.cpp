// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/settingspage.h"

#include "common/ui/portcombo.h"
#include "fernlink/ui/linkhub.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

namespace {
// Operation states 1 to 5 are the serial ones; the refusal names what runs.
int serialOperationIndex(OperationState s)
{
    const int v = static_cast<int>(s);
    return v >= 1 && v <= 5 ? v - 1 : -1;
}
}  // namespace

const QStringList& SettingsPage::baudRates()
{
    static const QStringList rates = {QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
                                      QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
                                      QStringLiteral("115200")};
    return rates;
}

const QStringList& SettingsPage::machineTypes()
{
    static const QStringList models = {QStringLiteral("Vantor Q6C"), QStringLiteral("Vantor Q5A"),
                                       QStringLiteral("Vantor Q5B"), QStringLiteral("Vantor Q6A"),
                                       QStringLiteral("Vantor Q7A")};
    return models;
}

SettingsPage::SettingsPage(LinkHub& hub, FernlinkSettings& settings, QSettings& store, QWidget* parent)
    : QWidget(parent), hub_(hub), settings_(settings), store_(store), autostartFolder_(autostartFolder()),
      programPath_(QCoreApplication::applicationFilePath())
{
    setObjectName(QStringLiteral("SettingsPage"));
    machine_ = new QComboBox(this);
    machine_->setObjectName(QStringLiteral("machineType"));
    machine_->addItems(machineTypes());
    machine_->setEnabled(false);
    baud_ = new QComboBox(this);
    baud_->setObjectName(QStringLiteral("baudRate"));
    baud_->addItems(baudRates());
    port_ = new QComboBox(this);
    port_->setObjectName(QStringLiteral("seriesNum"));
    // Pseudo-terminals and unusual devices are not enumerated: a typed name or path works too.
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);

    auto* serial = new QGroupBox(hub.text(Msg::SettingsSerialGroup), this);
    auto* sf = new QFormLayout(serial);
    sf->addRow(hub.text(Msg::SettingsMachineType), machine_);
    sf->addRow(hub.text(Msg::SettingsPort), port_);
    sf->addRow(hub.text(Msg::SettingsBaudRate), baud_);

    auto* start = new QGroupBox(hub.text(Msg::SettingsStartGroup), this);
    auto* sl = new QVBoxLayout(start);
    startInTray_ = new QCheckBox(hub.text(Msg::SettingsStartInTray), start);
    startInTray_->setObjectName(QStringLiteral("startInTray"));
    launch_ = new QCheckBox(hub.text(Msg::SettingsLaunchOnStartup), start);
    launch_->setObjectName(QStringLiteral("launchOnStartup"));
    sl->addWidget(startInTray_);
    sl->addWidget(launch_);

    auto* ftp = new QGroupBox(hub.text(Msg::SettingsFtpGroup), this);
    auto* ff = new QFormLayout(ftp);
    ftpPort_ = new QSpinBox(ftp);
    ftpPort_->setObjectName(QStringLiteral("ftpPort"));
    ftpPort_->setRange(1, 65535);
    maxUsers_ = new QSpinBox(ftp);
    maxUsers_->setObjectName(QStringLiteral("maxUsers"));
    maxUsers_->setRange(1, 1000);
    maxTimeout_ = new QSpinBox(ftp);
    maxTimeout_->setObjectName(QStringLiteral("maxTimeout"));
    maxTimeout_->setRange(1, 1440);
    pasvPorts_ = new QLineEdit(ftp);
    pasvPorts_->setObjectName(QStringLiteral("pasvPorts"));
    pasvPorts_->setPlaceholderText(QStringLiteral("50000-50100"));
    autoActivate_ = new QCheckBox(hub.text(Msg::SettingsAutoActivate), ftp);
    autoActivate_->setObjectName(QStringLiteral("autoActivate"));
    ff->addRow(hub.text(Msg::SettingsFtpPort), ftpPort_);
    ff->addRow(hub.text(Msg::SettingsMaxUsers), maxUsers_);
    ff->addRow(hub.text(Msg::SettingsMaxTimeout), maxTimeout_);
    ff->addRow(hub.text(Msg::SettingsPasvPorts), pasvPorts_);
    ff->addRow(autoActivate_);

    apply_ = new QPushButton(hub.text(Msg::SettingsApply), this);
    apply_->setObjectName(QStringLiteral("apply"));
    connect(apply_, &QPushButton::clicked, this, [this] { apply(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serial);
    layout->addWidget(start);
    layout->addWidget(ftp);
    verify_ = new QCheckBox(hub.text(Msg::SettingsVerifyAfterSend), this);
    verify_->setObjectName(QStringLiteral("verifyAfterSend"));
    layout->addWidget(verify_);
    auto* restart = new QGroupBox(hub.text(Msg::DncHeaderGroup), this);
    auto* rf = new QFormLayout(restart);
    dncHeaderMode_ = new QComboBox(restart);
    dncHeaderMode_->setObjectName(QStringLiteral("dncHeaderMode"));
    dncHeaderMode_->addItems({hub.text(Msg::DncHeaderNone), hub.text(Msg::DncHeaderProgram), hub.text(Msg::DncHeaderCustom)});
    dncHeader_ = new QLineEdit(restart);
    dncHeader_->setObjectName(QStringLiteral("dncHeader"));
    rf->addRow(dncHeaderMode_);
    rf->addRow(dncHeader_);
    layout->addWidget(restart);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply_);
    layout->addLayout(buttons);
    auto* trace = new QLabel(hub.text(Msg::SettingsTraceHelp), this);
    trace->setObjectName(QStringLiteral("traceHelp"));
    trace->setWordWrap(true);
    trace->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(trace);
    layout->addStretch();

    reload();

    connect(baud_, &QComboBox::currentIndexChanged, this, [this] { baudChosen(); });
    connect(port_, &QComboBox::currentTextChanged, this, [this] { portChosen(); });
    for (QCheckBox* box : {startInTray_, launch_, autoActivate_, verify_})
        connect(box, &QCheckBox::toggled, this, [this] { changed(); });
    for (QSpinBox* box : {ftpPort_, maxUsers_, maxTimeout_})
        connect(box, &QSpinBox::valueChanged, this, [this] { changed(); });
    connect(dncHeaderMode_, &QComboBox::currentIndexChanged, this, [this](int mode) {
        dncHeader_->setEnabled(mode == int(dnc::HeaderMode::Custom));
        changed();
    });
    connect(dncHeader_, &QLineEdit::textChanged, this, [this] { changed(); });
    connect(pasvPorts_, &QLineEdit::textEdited, this, [this] { changed(); });
}

void SettingsPage::reload()
{
    loading_ = true;
    machine_->setCurrentIndex(0);
    selectStoredBaud();
    fillPortCombo(port_, CVantorComm::describedPortPairs());
    selectStoredPort();
    startInTray_->setChecked(settings_.startInTray);
    launch_->setChecked(settings_.launchOnStartup);
    autoActivate_->setChecked(settings_.autoActivate);
    verify_->setChecked(settings_.verifyAfterSend);
    dncHeaderMode_->setCurrentIndex(settings_.dncHeaderMode);
    dncHeader_->setText(settings_.dncHeader);
    dncHeader_->setEnabled(settings_.dncHeaderMode == int(dnc::HeaderMode::Custom));
    ftpPort_->setValue(settings_.ftpPort);
    maxUsers_->setValue(settings_.maxUsers);
    maxTimeout_->setValue(settings_.maxTimeout);
    pasvPorts_->setText(settings_.pasvPorts);
    apply_->setEnabled(false);
    loading_ = false;
}

void SettingsPage::selectStoredBaud()
{
    const QSignalBlocker block(baud_);
    baud_->setCurrentIndex(baud_->findText(settings_.baudRate));  // none when it is not on the list
}

void SettingsPage::selectStoredPort()
{
    const QSignalBlocker block(port_);
    int at = port_->findText(settings_.seriesNum);
    if (at < 0 && !settings_.seriesNum.isEmpty()) {
        // A typed port the platform does not list stays on offer, so Apply keeps it.
        port_->addItem(settings_.seriesNum);
        at = port_->count() - 1;
    }
    port_->setCurrentIndex(at < 0 ? 0 : at);
}

void SettingsPage::changed()
{
    if (!loading_)
        apply_->setEnabled(true);
}

QString SettingsPage::serialRefusal(bool port) const
{
    static constexpr Msg baudRefusals[] = {Msg::BaudWhileSend, Msg::BaudWhileReceive, Msg::BaudWhileDelete,
                                           Msg::BaudWhileDnc, Msg::BaudWhileList};
    static constexpr Msg portRefusals[] = {Msg::PortWhileSend, Msg::PortWhileReceive, Msg::PortWhileDelete,
                                           Msg::PortWhileDnc, Msg::PortWhileList};
    const int i = serialOperationIndex(hub_.state.operation);
    if (i < 0)
        return {};
    return messageChinese(port ? portRefusals[i] : baudRefusals[i]);
}

void SettingsPage::baudChosen()
{
    if (loading_)
        return;
    const QString refusal = serialRefusal(false);
    if (!refusal.isEmpty() && baud_->currentText() != settings_.baudRate) {
        hub_.prompter.inform(Severity::Warning, refusal);
        selectStoredBaud();
        return;
    }
    changed();
}

void SettingsPage::portChosen()
{
    if (loading_)
        return;
    const QString refusal = serialRefusal(true);
    if (!refusal.isEmpty() && port_->currentText().trimmed() != settings_.seriesNum) {
        hub_.prompter.inform(Severity::Warning, refusal);
        selectStoredPort();
        return;
    }
    portEdited_ = true;
    changed();
}

bool SettingsPage::apply()
{
    if (!apply_->isEnabled())
        return false;
    const auto passive = ftp::parsePassivePorts(pasvPorts_->text());
    if (!passive) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::SettingsPasvPortsInvalid));
        return false;
    }
    settings_.startInTray = startInTray_->isChecked();
    settings_.launchOnStartup = launch_->isChecked();
    settings_.ftpPort = ftpPort_->value();
    settings_.maxUsers = maxUsers_->value();
    settings_.maxTimeout = maxTimeout_->value();
    settings_.autoActivate = autoActivate_->isChecked();
    settings_.verifyAfterSend = verify_->isChecked();
    hub_.verifyAfterSend = settings_.verifyAfterSend;
    settings_.dncHeaderMode = dncHeaderMode_->currentIndex();
    settings_.dncHeader = dncHeader_->text();
    hub_.dncHeaderMode = static_cast<dnc::HeaderMode>(settings_.dncHeaderMode);
    hub_.dncHeader = settings_.dncHeader;
    hub_.server().setPort(settings_.ftpPort);
    hub_.server().setMaxUsers(settings_.maxUsers);
    hub_.server().setIdleTimeout(settings_.maxTimeout);
    settings_.pasvPorts = ftp::formatPassivePorts(*passive);
    hub_.server().setPassivePorts(*passive);

    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QString error;
        const bool ok = settings_.launchOnStartup ? writeAutostartEntry(autostartFolder_, programPath_, &error)
                                                  : removeAutostartEntry(autostartFolder_, &error);
        QApplication::restoreOverrideCursor();
        if (!ok)
            hub_.prompter.inform(Severity::Error, hub_.text(Msg::AutostartFailed).arg(error));
    }

    settings_.machineType = machine_->currentText();
    // No baud entry chosen (the stored rate is not on the list): the stored rate stays.
    if (baud_->currentIndex() >= 0)
        settings_.baudRate = baud_->currentText();
    const QString port = port_->currentText().trimmed();
    if (!port.isEmpty())
        settings_.seriesNum = port;
    // A port chosen here replaces the one the program was started with.
    if (portEdited_)
        settings_.sessionPort.clear();
    portEdited_ = false;
    settings_.save(store_);
    apply_->setEnabled(false);

    // The open serial link takes the new values at once; a running transfer keeps its port
    // (the values then apply at the next connect).
    if (hub_.state.link == LinkType::LinkSerial && serialOperationIndex(hub_.state.operation) < 0) {
        hub_.serial().close();
        hub_.serial().setPort(settings_.activePort(), settings_.baud() > 0 ? settings_.baud() : CVantorComm::kDefaultBaud);
        Q_EMIT serialReopened(hub_.serial().open());
    }
    Q_EMIT applied();
    return true;
}

}  // namespace vantor::fernlink::ui
