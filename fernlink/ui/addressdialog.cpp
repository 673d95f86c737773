#include "fernlink/ui/addressdialog.h"

#include "fernlink/ui/linkhub.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

CAddressDlg::CAddressDlg(LinkHub& hub, const Octets& initial, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CAddressDlg"));
    setWindowTitle(hub.text(Msg::AddressCaption));
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
        row->addWidget(fields_[i]);
    }
    setOctets(initial);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(hub.text(Msg::AddressLabel), this));
    layout->addLayout(row);
    layout->addWidget(buttons);
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

std::optional<CAddressDlg::Octets> CAddressDlg::ask(LinkHub& hub, const Octets& initial, QWidget* parent)
{
    CAddressDlg dlg(hub, initial, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.octets();
}

}  // namespace vantor::fernlink::ui
