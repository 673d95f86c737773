// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/sendrowdialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace vantor::fernlink::ui {

SendRowDialog::SendRowDialog(LinkHub& hub, const QString& path, const QString& targetName, TargetArea area, QWidget* parent)
    : QDialog(parent),
      path_(new QLineEdit(path, this)),
      name_(new QLineEdit(targetName, this)),
      user_(new QRadioButton(hub.text(Msg::AreaUser), this)),
      sys_(new QRadioButton(hub.text(Msg::AreaSys), this)),
      usb_(new QRadioButton(hub.text(Msg::AreaUsb), this))
{
    setWindowTitle(hub.text(Msg::RowEditTitle));
    auto* browse = new QPushButton(hub.text(Msg::RowEditBrowse), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getOpenFileName(this, QString(), QFileInfo(path_->text()).absolutePath());
        if (chosen.isEmpty())
            return;
        path_->setText(chosen);
        name_->setText(QFileInfo(chosen).fileName());
    });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(browse);
    auto* areas = new QHBoxLayout;
    for (QRadioButton* b : {user_, sys_, usb_})
        areas->addWidget(b);
    (area == TargetArea::Sys ? sys_ : area == TargetArea::Usb ? usb_ : user_)->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(hub.text(Msg::ColFilePath), pathRow);
    form->addRow(hub.text(Msg::ColSaveName), name_);
    form->addRow(hub.text(Msg::ColSavePath), areas);
    form->addRow(buttons);
}

QString SendRowDialog::path() const
{
    return path_->text();
}

QString SendRowDialog::targetName() const
{
    return name_->text();
}

TargetArea SendRowDialog::area() const
{
    if (sys_->isChecked())
        return TargetArea::Sys;
    if (usb_->isChecked())
        return TargetArea::Usb;
    return TargetArea::User;
}

}  // namespace vantor::fernlink::ui
