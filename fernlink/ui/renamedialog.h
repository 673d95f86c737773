// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The new name for a file the controller already holds under the old one. For the user area
// the name must follow the controller's program-name rule and is stored in its "O%05d.txt" form.
#include "fernlink/ui/linkhub.h"

#include <QDialog>

#include <optional>

class QLineEdit;

namespace vantor::fernlink::ui {

class RenameDialog : public QDialog {
    Q_OBJECT
public:
    RenameDialog(LinkHub& hub, const QString& oldName, const QString& partition, QWidget* parent = nullptr);

    // The accepted name, after OK.
    QString newName() const { return accepted_; }
    QLineEdit* nameField() const { return name_; }

    // The name as it will be used, or nullopt when the area refuses it.
    static std::optional<QString> acceptName(const QString& name, const QString& partition);

    void accept() override;

private:
    LinkHub& hub_;
    QString partition_;
    QLineEdit* name_;
    QString accepted_;
};

}  // namespace vantor::fernlink::ui
