// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The login page: who works with Fernlink. Its level gates the user manager, sending and
// deleting; the program starts logged in as the administrator and only logout lowers it.
#include "fernlink/ui/linkhub.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor::fernlink::ui {

class LoginPage : public QWidget {
    Q_OBJECT
public:
    explicit LoginPage(LinkHub& hub, QWidget* parent = nullptr);

    // The name typed at the last successful login; empty at start and after logout.
    const QString& loggedInUser() const { return user_; }

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* newPasswordEdit() const { return newPassword_; }
    QLineEdit* confirmEdit() const { return confirm_; }
    QPushButton* loginButton() const { return loginButton_; }
    QPushButton* logoutButton() const { return logoutButton_; }
    QPushButton* changePasswordButton() const { return changeButton_; }

public Q_SLOTS:
    void login();
    void logout();
    void changePassword();
    // Buttons and the state line follow hub.loginLevel (which the main window may change too).
    void refresh();

Q_SIGNALS:
    void loginLevelChanged(int level);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setLevel(int level);
    bool loggedInAsStoredAccount() const;

    LinkHub& hub_;
    QString user_;
    QLineEdit* name_;
    QLineEdit* password_;
    QLineEdit* newPassword_;
    QLineEdit* confirm_;
    QPushButton* loginButton_;
    QPushButton* changeButton_;
    QPushButton* logoutButton_;
    QLabel* state_;
};

}  // namespace vantor::fernlink::ui
