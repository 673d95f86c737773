// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/userdialog.h"

#include "common/gbk.h"

#include "fernlink/ftpserver/servermodels.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

QHBoxLayout* homeFolderRow(QLineEdit* home, QPushButton* browse)
{
    auto* row = new QHBoxLayout;
    row->addWidget(home);
    row->addWidget(browse);
    return row;
}

QHBoxLayout* rightsRow(QCheckBox* upload, QCheckBox* download, QCheckBox* remove)
{
    auto* row = new QHBoxLayout;
    row->addWidget(upload);
    row->addWidget(download);
    row->addWidget(remove);
    row->addStretch();
    return row;
}

namespace {
constexpr int kNameFieldLength = 11;
}

UserDialog::UserDialog(LinkHub& hub, QWidget* parent)
    : QDialog(parent),
      hub_(hub),
      name_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      confirm_(new QLineEdit(this)),
      home_(new QLineEdit(this)),
      browse_(new QPushButton(hub.text(Msg::UserBrowse), this)),
      upload_(new QCheckBox(hub.text(Msg::RightUpload), this)),
      download_(new QCheckBox(hub.text(Msg::RightDownload), this)),
      delete_(new QCheckBox(hub.text(Msg::UserDelete), this))
{
    setWindowTitle(hub.text(Msg::UserManagerCaption));
    name_->setMaxLength(kNameFieldLength);
    password_->setEchoMode(QLineEdit::Password);
    confirm_->setEchoMode(QLineEdit::Password);
    upload_->setChecked(true);

    chooseFolder = [](QWidget* owner, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, title, start);
    };

    auto* homeRow = homeFolderRow(home_, browse_);
    auto* rights = rightsRow(upload_, download_, delete_);
    auto* form = new QFormLayout;
    form->addRow(hub.text(Msg::LoginUserName), name_);
    form->addRow(hub.text(Msg::LoginPassword), password_);
    form->addRow(hub.text(Msg::LoginConfirmPassword), confirm_);
    form->addRow(hub.text(Msg::UserHomePath), homeRow);
    form->addRow(QString(), rights);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);

    connect(box, &QDialogButtonBox::accepted, this, &UserDialog::tryAccept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse_, &QPushButton::clicked, this, &UserDialog::browse);
}

void UserDialog::setAccount(const ftp::CUser& user)
{
    name_->setText(user.name);
    password_->setText(user.password);
    confirm_->setText(user.password);
    home_->setText(user.homeDirectory);
    upload_->setChecked(user.upload != 0);
    download_->setChecked(user.download != 0);
    delete_->setChecked(user.deleteRight != 0);
}

ftp::CUser UserDialog::account() const
{
    ftp::CUser user;
    user.name = name_->text();
    user.password = password_->text();
    user.homeDirectory = home_->text();
    user.upload = upload_->isChecked() ? 1 : 0;
    user.download = download_->isChecked() ? 1 : 0;
    user.deleteRight = delete_->isChecked() ? 1 : 0;
    return user;
}

QString UserDialog::confirmation() const
{
    return confirm_->text();
}

void UserDialog::tryAccept()
{
    const int language = int(hub_.state.language);
    const QString caption = hub_.text(Msg::UserManagerCaption);
    if (!ftp::isValidUserName(name_->text())) {
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(ftp::UserEditError::BadName, language), caption);
        return;
    }
    if (password_->text() != confirm_->text()) {
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(ftp::UserEditError::PasswordMismatch, language), caption);
        return;
    }
    // The account file is GBK: a password or folder it cannot hold would come back changed.
    for (QLineEdit* field : {password_, home_}) {
        if (!fitsGbk(field->text())) {
            // A password is named by its field, never shown.
            const QString what = field == password_ ? hub_.text(Msg::LoginPassword) : field->text();
            hub_.prompter.inform(Severity::Warning, hub_.text(Msg::NotGbkText).arg(what), caption);
            field->setFocus();
            return;
        }
    }
    if (!ftp::homeIsUsable(home_->text())) {
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(ftp::UserEditError::BadHome, language), caption);
        home_->setFocus();
        return;
    }
    accept();
}

void UserDialog::browse()
{
    const QString folder = chooseFolder(this, hub_.text(Msg::SelectPath), home_->text());
    if (!folder.isEmpty())
        home_->setText(folder);
}

}  // namespace vantor::fernlink::ui
