// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/addressdialog.h"

#include "fernlink/ui/linkhub.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace vantor::fernlink::ui {

CAddressDlg::CAddressDlg(LinkHub& hub, const Octets& initial, QWidget* parent)
    : CAddressDlg(hub, Address{initial, 1234}, {}, parent)
{
}

CAddressDlg::CAddressDlg(LinkHub& hub, const Address& initial, const QStringList& recent, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CAddressDlg"));
    setWindowTitle(hub.text(Msg::AddressCaption));
    recent_ = new QComboBox(this);
    recent_->setObjectName(QStringLiteral("recentAddresses"));
    recent_->addItems(recent);
    recent_->setCurrentIndex(-1);
    recent_->setPlaceholderText(hub.text(Msg::AddressRecent));
    recent_->setEnabled(!recent.isEmpty());
    connect(recent_, &QComboBox::textActivated, this, [this](const QString& text) {
        if (const auto a = parse(text, port_->value()))
            setAddress(*a);
    });
    auto* row = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            row->addWidget(new QLabel(QStringLiteral("."), this));
        fields_[i] = new QSpinBox(this);
        fields_[i]->setObjectName(QStringLiteral("octet%1").arg(i + 1));
        fields_[i]->setRange(0, 255);
        fields_[i]->setButtonSymbols(QAbstractSpinBox::NoButtons);
        fields_[i]->setAlignment(Qt::AlignCenter);
        fields_[i]->setMinimumWidth(44);
        fields_[i]->installEventFilter(this);
        row->addWidget(fields_[i]);
    }
    row->addWidget(new QLabel(QStringLiteral(":"), this));
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("controllerPort"));
    port_->setRange(1, 65535);
    port_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    port_->setAlignment(Qt::AlignCenter);
    port_->setMinimumWidth(60);
    port_->setToolTip(hub.text(Msg::AddressPortTip));
    port_->installEventFilter(this);
    row->addWidget(port_);
    setAddress(initial);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(hub.text(Msg::AddressLabel), this));
    layout->addWidget(recent_);
    layout->addLayout(row);
    layout->addWidget(buttons);
    fields_[0]->setFocus();
    fields_[0]->selectAll();
}

CAddressDlg::Octets CAddressDlg::octets() const
{
    Octets o{};
    for (int i = 0; i < 4; ++i)
        o[i] = fields_[i]->value();
    return o;
}

void CAddressDlg::setOctets(const Octets& octets)
{
    for (int i = 0; i < 4; ++i)
        fields_[i]->setValue(octets[i]);
}

CAddressDlg::Address CAddressDlg::address() const
{
    // The text being typed counts even before the field gives up its focus.
    for (QSpinBox* f : fields_)
        f->interpretText();
    port_->interpretText();
    return {octets(), port_->value()};
}

void CAddressDlg::setAddress(const Address& address)
{
    setOctets(address.octets);
    port_->setValue(address.port);
}

std::optional<CAddressDlg::Address> CAddressDlg::parse(const QString& text, int defaultPort)
{
    const QString t = text.trimmed();
    const QStringList hostPort = t.split(QLatin1Char(':'));
    if (hostPort.size() > 2)
        return std::nullopt;
    const QStringList parts = hostPort[0].split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    Address a;
    a.port = defaultPort;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int v = parts[i].toInt(&ok);
        if (!ok || v < 0 || v > 255 || parts[i].size() > 3)
            return std::nullopt;
        a.octets[i] = v;
    }
    if (hostPort.size() == 2) {
        bool ok = false;
        const int port = hostPort[1].toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        a.port = port;
    }
    return a;
}

bool CAddressDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
        if (const auto a = parse(QApplication::clipboard()->text(), port_->value())) {
            setAddress(*a);
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    const int i = int(std::find(fields_.begin(), fields_.end(), watched) - fields_.begin());
    QSpinBox* next = nullptr;
    if (i < 3 && (key->text() == QLatin1String(".") || key->text() == QLatin1String(" ")))
        next = fields_[i + 1];
    else if (i < 4 && key->text() == QLatin1String(":"))
        next = port_;
    if (!next)
        return QDialog::eventFilter(watched, event);
    static_cast<QSpinBox*>(watched)->interpretText();
    next->setFocus(Qt::TabFocusReason);
    next->selectAll();
    return true;
}

std::optional<CAddressDlg::Octets> CAddressDlg::ask(LinkHub& hub, const Octets& initial, QWidget* parent)
{
    CAddressDlg dlg(hub, initial, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.octets();
}

std::optional<CAddressDlg::Address> CAddressDlg::ask(LinkHub& hub, const Address& initial, const QStringList& recent,
                                                     QWidget* parent)
{
    CAddressDlg dlg(hub, initial, recent, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.address();
}

}  // namespace vantor::fernlink::ui
