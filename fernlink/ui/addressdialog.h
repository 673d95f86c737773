#pragma once
// The controller's IPv4 address, asked before connecting over Ethernet: four octet fields
// that start with the address entered last time.
#include <QDialog>

#include <array>
#include <optional>

class QSpinBox;

namespace vantor::fernlink::ui {

class LinkHub;

class CAddressDlg : public QDialog {
    Q_OBJECT
public:
    using Octets = std::array<int, 4>;
    CAddressDlg(LinkHub& hub, const Octets& initial, QWidget* parent = nullptr);
    Octets octets() const;
    void setOctets(const Octets& octets);

    // Shows the dialog; nullopt on Cancel.
    static std::optional<Octets> ask(LinkHub& hub, const Octets& initial, QWidget* parent);

private:
    std::array<QSpinBox*, 4> fields_{};
};

}  // namespace vantor::fernlink::ui
