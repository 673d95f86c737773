// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The accounts of the FTP server: a list of names, the details of the selected one, and
// add, edit, delete and apply. Every change is written to users.dat at once; a file that
// could not be read is never written over, and the page says so.
#include "fernlink/ftpserver/servermodels.h"
#include "fernlink/ui/linkhub.h"
#include "fernlink/ui/userdialog.h"

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vantor::fernlink::ui {

class UserManagerPage : public QWidget {
    Q_OBJECT
public:
    explicit UserManagerPage(LinkHub& hub, QWidget* parent = nullptr);

    // Runs the add/edit dialog; true when it closed with OK. Tests fill the fields instead.
    using DialogRunner = std::function<bool(UserDialog&)>;
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    const QList<ftp::CUser>& accounts() const { return manager_->users(); }
    // Index into accounts() of the selected row, -1 when none.
    int selectedIndex() const;
    bool detailsChanged() const { return changed_; }

    QListWidget* list() const { return list_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* confirmEdit() const { return confirm_; }
    QCheckBox* disabledBox() const { return disabled_; }
    QLineEdit* homeEdit() const { return home_; }
    QCheckBox* uploadBox() const { return upload_; }
    QCheckBox* downloadBox() const { return download_; }
    QCheckBox* deleteBox() const { return delete_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* deleteButton() const { return remove_; }
    QPushButton* applyButton() const { return apply_; }
    QLabel* storeNote() const { return note_; }
    QPushButton* setAsideButton() const { return setAside_; }

public Q_SLOTS:
    // Takes the store's accounts afresh (the login page may have changed a password).
    void reload();
    void addUser();
    void editUser();
    void deleteUser();
    // Writes the details into the selected account; false when a check refused them.
    bool apply();
    // After the user confirms: the unreadable users.dat is renamed beside itself with the
    // date and time, and the page starts from an empty account list.
    void setAsideDamagedFile();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onCurrentChanged(QListWidgetItem* current, QListWidgetItem* previous);
    void showDetails(int index);
    void updateEnabled();
    void markChanged();
    void rebuildRows();
    QListWidgetItem* makeRow(int index);
    QListWidgetItem* rowOf(int index) const;
    void selectRow(QListWidgetItem* item);
    // Shows what went wrong; true when the change reached the file.
    bool report(ftp::UserEditError error);

    LinkHub& hub_;
    std::optional<ftp::CUserManager> manager_;
    DialogRunner runDialog_;
    bool changed_ = false;
    bool filling_ = false;

    QListWidget* list_;
    QLineEdit* password_;
    QLineEdit* confirm_;
    QCheckBox* disabled_;
    QLineEdit* home_;
    QPushButton* browse_;
    QCheckBox* upload_;
    QCheckBox* download_;
    QCheckBox* delete_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
    QPushButton* apply_;
    QLabel* note_;
    QPushButton* setAside_;
};

}  // namespace vantor::fernlink::ui
