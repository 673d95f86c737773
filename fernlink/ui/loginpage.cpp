// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/loginpage.h"

#include "fernlink/ftpserver/servermodels.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

namespace {
// The field holds what the account names may hold.
constexpr int kNameFieldLength = 11;
}

LoginPage::LoginPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      hub_(hub),
      name_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      newPassword_(new QLineEdit(this)),
      confirm_(new QLineEdit(this)),
      loginButton_(new QPushButton(hub.text(Msg::LoginCaption), this)),
      changeButton_(new QPushButton(hub.text(Msg::ChangePasswordCaption), this)),
      logoutButton_(new QPushButton(hub.text(Msg::LogoutCaption), this)),
      state_(new QLabel(this))
{
    name_->setMaxLength(kNameFieldLength);
    for (QLineEdit* field : {password_, newPassword_, confirm_})
        field->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(hub.text(Msg::LoginUserName), name_);
    form->addRow(hub.text(Msg::LoginPassword), password_);
    form->addRow(hub.text(Msg::LoginNewPassword), newPassword_);
    form->addRow(hub.text(Msg::LoginConfirmPassword), confirm_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(loginButton_);
    buttons->addWidget(changeButton_);
    buttons->addWidget(logoutButton_);
    buttons->addStretch();
    auto* column = new QVBoxLayout;
    column->addLayout(form);
    column->addLayout(buttons);
    column->addWidget(state_);
    column->addStretch();
    auto* outer = new QHBoxLayout(this);
    outer->addLayout(column);
    outer->addStretch();

    connect(loginButton_, &QPushButton::clicked, this, &LoginPage::login);
    connect(logoutButton_, &QPushButton::clicked, this, &LoginPage::logout);
    connect(changeButton_, &QPushButton::clicked, this, &LoginPage::changePassword);
    connect(password_, &QLineEdit::returnPressed, this, [this] {
        if (loginButton_->isEnabled())
            login();
    });
    refresh();
}

void LoginPage::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}

void LoginPage::refresh()
{
    const bool in = hub_.loginLevel != 0;
    loginButton_->setEnabled(!in);
    logoutButton_->setEnabled(in);
    // Only a stored account has a password to change; the built-in administrator has none.
    const bool canChange = in && loggedInAsStoredAccount();
    changeButton_->setEnabled(canChange);
    newPassword_->setEnabled(canChange);
    confirm_->setEnabled(canChange);
    if (!in)
        state_->setText(hub_.text(Msg::LoginStateOut));
    else if (user_.isEmpty())
        state_->setText(hub_.text(Msg::LoginStateIn));
    else
        state_->setText(hub_.text(Msg::LoginStateUser).arg(user_));
}

bool LoginPage::loggedInAsStoredAccount() const
{
    return !user_.isEmpty() && hub_.users().find(user_).has_value();
}

void LoginPage::setLevel(int level)
{
    const bool changed = hub_.loginLevel != level;
    hub_.loginLevel = level;
    refresh();
    if (changed)
        Q_EMIT loginLevelChanged(level);
}

void LoginPage::login()
{
    const QString name = name_->text();
    switch (ftp::checkUiLogin(hub_.users(), name, password_->text())) {
    case ftp::UiLoginResult::WrongPassword:
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::LoginWrongPassword), hub_.text(Msg::LoginCaption));
        password_->clear();
        password_->setFocus();
        return;
    case ftp::UiLoginResult::UnknownUser:
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::LoginUnknownUser), hub_.text(Msg::LoginCaption));
        password_->clear();
        name_->setFocus();
        name_->selectAll();
        return;
    case ftp::UiLoginResult::Success:
        break;
    }
    hub_.prompter.inform(Severity::Information, hub_.text(Msg::LoginSuccess), hub_.text(Msg::LoginCaption));
    user_ = name;
    password_->clear();
    setLevel(2);
}

void LoginPage::logout()
{
    // A serial operation belongs to whoever started it; it has to end before they leave.
    static constexpr Msg refusals[] = {Msg::LogoutWhileSend, Msg::LogoutWhileReceive, Msg::LogoutWhileDelete,
                                       Msg::LogoutWhileDnc, Msg::LogoutWhileList};
    const int op = static_cast<int>(hub_.state.operation);
    if (op >= static_cast<int>(OperationState::OpSerialSend) && op <= static_cast<int>(OperationState::OpSerialList)) {
        hub_.prompter.inform(Severity::Warning, hub_.text(refusals[op - 1]), hub_.text(Msg::LogoutCaption));
        return;
    }
    user_.clear();
    name_->clear();
    password_->clear();
    setLevel(0);
}

void LoginPage::changePassword()
{
    if (newPassword_->text() != confirm_->text()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ChangePasswordMismatch), hub_.text(Msg::ChangePasswordCaption));
        newPassword_->clear();
        confirm_->clear();
        return;
    }
    QList<ftp::CUser> all = hub_.users().getAll();
    qsizetype index = -1;
    for (qsizetype i = 0; i < all.size() && index < 0; ++i)
        if (all[i].name.compare(user_, Qt::CaseInsensitive) == 0)
            index = i;
    if (user_.isEmpty() || index < 0)
        return;
    all[index].password = newPassword_->text();
    if (!hub_.users().replaceAll(all)) {
        hub_.prompter.inform(Severity::Error, ftp::userEditMessage(ftp::UserEditError::SaveFailed, int(hub_.state.language))
                                                  + QStringLiteral("\n") + hub_.users().lastError());
    } else {
        hub_.prompter.inform(Severity::Information, hub_.text(Msg::ChangePasswordDone));
    }
    newPassword_->clear();
    confirm_->clear();
}

}  // namespace vantor::fernlink::ui
