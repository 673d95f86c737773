// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Adds or edits one account: name, password twice, home folder and three rights. OK checks
// the name rule, the two passwords and the folder, and stays open on the first that fails.
#include "fernlink/ftpserver/userstore.h"
#include "fernlink/ui/linkhub.h"

#include <QDialog>

class QCheckBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace vantor::fernlink::ui {

// The home folder with its browse button, and the three rights, as both account forms lay them out.
QHBoxLayout* homeFolderRow(QLineEdit* home, QPushButton* browse);
QHBoxLayout* rightsRow(QCheckBox* upload, QCheckBox* download, QCheckBox* remove);

class UserDialog : public QDialog {
    Q_OBJECT
public:
    // A new account: upload on, download and delete off.
    explicit UserDialog(LinkHub& hub, QWidget* parent = nullptr);

    void setAccount(const ftp::CUser& user);
    // Name, password, home and the three rights; every other field as a new record has it.
    ftp::CUser account() const;
    QString confirmation() const;

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* confirmEdit() const { return confirm_; }
    QLineEdit* homeEdit() const { return home_; }
    QCheckBox* uploadBox() const { return upload_; }
    QCheckBox* downloadBox() const { return download_; }
    QCheckBox* deleteBox() const { return delete_; }

    // Folder picker for the browse button; tests replace it.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;

public Q_SLOTS:
    // The OK button: closes with Accepted only when every check passes.
    void tryAccept();
    void browse();

private:
    LinkHub& hub_;
    QLineEdit* name_;
    QLineEdit* password_;
    QLineEdit* confirm_;
    QLineEdit* home_;
    QPushButton* browse_;
    QCheckBox* upload_;
    QCheckBox* download_;
    QCheckBox* delete_;
};

}  // namespace vantor::fernlink::ui
