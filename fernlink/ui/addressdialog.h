// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's address, asked before connecting over Ethernet: four octet fields and
// the TCP port, starting with what was entered last time; the recent addresses are offered.
// A typed "192.168.1.10" fills the fields as it is typed ("." moves on, ":" goes to the
// port), and a pasted address fills them all.
#include <QDialog>
#include <QStringList>

#include <array>
#include <optional>

class QComboBox;
class QSpinBox;

namespace vantor::fernlink::ui {

class LinkHub;

class CAddressDlg : public QDialog {
    Q_OBJECT
public:
    using Octets = std::array<int, 4>;
    struct Address {
        Octets octets{};
        int port = 1234;
        bool operator==(const Address&) const = default;
    };

    CAddressDlg(LinkHub& hub, const Octets& initial, QWidget* parent = nullptr);
    CAddressDlg(LinkHub& hub, const Address& initial, const QStringList& recent, QWidget* parent = nullptr);
    Octets octets() const;
    void setOctets(const Octets& octets);
    Address address() const;
    void setAddress(const Address& address);

    // "a.b.c.d" or "a.b.c.d:port", blanks around it ignored; nullopt when it is not one.
    static std::optional<Address> parse(const QString& text, int defaultPort);

    // Shows the dialog; nullopt on Cancel.
    static std::optional<Octets> ask(LinkHub& hub, const Octets& initial, QWidget* parent);
    static std::optional<Address> ask(LinkHub& hub, const Address& initial, const QStringList& recent, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QSpinBox*, 4> fields_{};
    QSpinBox* port_ = nullptr;
    QComboBox* recent_ = nullptr;
};

}  // namespace vantor::fernlink::ui
