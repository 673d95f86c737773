// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send page's row editor: a queue row's PC file, its name on the controller and the area
// it goes to.
#include "fernlink/link/transferrows.h"
#include "fernlink/ui/linkhub.h"

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace vantor::fernlink::ui {

class SendRowDialog : public QDialog {
    Q_OBJECT
public:
    SendRowDialog(LinkHub& hub, const QString& path, const QString& targetName, TargetArea area, QWidget* parent = nullptr);

    QString path() const;
    QString targetName() const;
    TargetArea area() const;

private:
    QLineEdit* path_;
    QLineEdit* name_;
    QRadioButton* user_;
    QRadioButton* sys_;
    QRadioButton* usb_;
};

}  // namespace vantor::fernlink::ui
