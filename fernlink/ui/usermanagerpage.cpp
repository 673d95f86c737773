// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/usermanagerpage.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

UserManagerPage::UserManagerPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      hub_(hub),
      list_(new QListWidget(this)),
      password_(new QLineEdit(this)),
      confirm_(new QLineEdit(this)),
      disabled_(new QCheckBox(hub.text(Msg::UserDisabled), this)),
      home_(new QLineEdit(this)),
      browse_(new QPushButton(hub.text(Msg::UserBrowse), this)),
      upload_(new QCheckBox(hub.text(Msg::RightUpload), this)),
      download_(new QCheckBox(hub.text(Msg::RightDownload), this)),
      delete_(new QCheckBox(hub.text(Msg::UserDelete), this)),
      add_(new QPushButton(hub.text(Msg::UserAdd), this)),
      edit_(new QPushButton(hub.text(Msg::UserEdit), this)),
      remove_(new QPushButton(hub.text(Msg::UserDelete), this)),
      apply_(new QPushButton(hub.text(Msg::UserApply), this)),
      note_(new QLabel(this)),
      setAside_(new QPushButton(hub.text(Msg::UserStoreSetAside), this))
{
    runDialog_ = [](UserDialog& dialog) { return dialog.exec() == QDialog::Accepted; };

    list_->setIconSize(QSize(16, 16));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->installEventFilter(this);
    password_->setEchoMode(QLineEdit::Password);
    confirm_->setEchoMode(QLineEdit::Password);
    note_->setWordWrap(true);
    note_->setStyleSheet(QStringLiteral("color: #a00000"));

    auto* heading = new QLabel(hub.text(Msg::UserListColumn), this);
    auto* left = new QVBoxLayout;
    left->addWidget(heading);
    left->addWidget(list_, 1);
    left->addWidget(note_);
    left->addWidget(setAside_);

    auto* homeRow = homeFolderRow(home_, browse_);
    auto* rights = rightsRow(upload_, download_, delete_);
    auto* form = new QFormLayout;
    form->addRow(hub.text(Msg::LoginPassword), password_);
    form->addRow(hub.text(Msg::LoginConfirmPassword), confirm_);
    form->addRow(QString(), disabled_);
    form->addRow(hub.text(Msg::UserHomePath), homeRow);
    form->addRow(QString(), rights);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add_, edit_, remove_, apply_})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addLayout(buttons);
    right->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 2);

    connect(list_, &QListWidget::currentItemChanged, this, &UserManagerPage::onCurrentChanged);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { editUser(); });
    connect(add_, &QPushButton::clicked, this, &UserManagerPage::addUser);
    connect(edit_, &QPushButton::clicked, this, &UserManagerPage::editUser);
    connect(remove_, &QPushButton::clicked, this, &UserManagerPage::deleteUser);
    connect(apply_, &QPushButton::clicked, this, &UserManagerPage::apply);
    connect(setAside_, &QPushButton::clicked, this, &UserManagerPage::setAsideDamagedFile);
    for (QLineEdit* field : {password_, confirm_, home_})
        connect(field, &QLineEdit::textChanged, this, &UserManagerPage::markChanged);
    for (QCheckBox* box : {disabled_, upload_, download_, delete_})
        connect(box, &QCheckBox::toggled, this, &UserManagerPage::markChanged);
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, hub_.text(Msg::SelectPath), home_->text());
        if (!folder.isEmpty())
            home_->setText(folder);
    });

    reload();
}

int UserManagerPage::selectedIndex() const
{
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void UserManagerPage::showEvent(QShowEvent* event)
{
    // Another page may have written the store meanwhile; unsaved details are kept.
    if (!changed_) {
        const int index = selectedIndex();
        const QString name = index >= 0 ? manager_->users().value(index).name : QString();
        reload();
        const qsizetype again = name.isEmpty() ? -1 : manager_->indexOf(name);
        if (QListWidgetItem* item = again >= 0 ? rowOf(int(again)) : nullptr) {
            QSignalBlocker block(list_);
            list_->setCurrentItem(item);
            showDetails(int(again));
        }
    }
    QWidget::showEvent(event);
}

bool UserManagerPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress && list_->count() > 0) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_PageUp || key == Qt::Key_Home) {
            list_->setCurrentRow(0);
            return true;
        }
        if (key == Qt::Key_PageDown || key == Qt::Key_End) {
            list_->setCurrentRow(list_->count() - 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UserManagerPage::reload()
{
    manager_.emplace(hub_.users());
    const ftp::LoadStatus status = hub_.users().loadStatus();
    const bool unreadable = status == ftp::LoadStatus::Foreign || status == ftp::LoadStatus::Damaged;
    note_->setVisible(unreadable);
    setAside_->setVisible(unreadable);
    if (unreadable)
        note_->setText(hub_.text(Msg::UserStoreUnreadable).arg(hub_.users().lastError()));
    rebuildRows();
    {
        QSignalBlocker block(list_);
        if (list_->count() > 0)
            list_->setCurrentRow(0);
    }
    showDetails(selectedIndex());
}

QListWidgetItem* UserManagerPage::makeRow(int index)
{
    auto* item = new QListWidgetItem(style()->standardIcon(QStyle::SP_DirHomeIcon), manager_->users()[index].name);
    item->setData(Qt::UserRole, index);
    return item;
}

QListWidgetItem* UserManagerPage::rowOf(int index) const
{
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->data(Qt::UserRole).toInt() == index)
            return list_->item(row);
    return nullptr;
}

void UserManagerPage::rebuildRows()
{
    QSignalBlocker block(list_);
    list_->clear();
    for (int i = 0; i < int(manager_->users().size()); ++i)
        list_->addItem(makeRow(i));
}

void UserManagerPage::selectRow(QListWidgetItem* item)
{
    list_->setCurrentItem(item);
}

void UserManagerPage::showDetails(int index)
{
    filling_ = true;
    const bool has = index >= 0 && index < manager_->users().size();
    const ftp::CUser user = has ? manager_->users()[index] : ftp::CUser{};
    password_->setText(has ? user.password : QString());
    confirm_->setText(has ? user.password : QString());
    home_->setText(has ? user.homeDirectory : QString());
    disabled_->setChecked(has && user.disabled != 0);
    upload_->setChecked(has && user.upload != 0);
    download_->setChecked(has && user.download != 0);
    delete_->setChecked(has && user.deleteRight != 0);
    filling_ = false;
    changed_ = false;
    updateEnabled();
}

void UserManagerPage::updateEnabled()
{
    const bool has = selectedIndex() >= 0;
    edit_->setEnabled(has);
    remove_->setEnabled(has);
    apply_->setEnabled(has && changed_);
    disabled_->setEnabled(has);
    // A disabled account keeps its details, but they are not edited while it is off.
    const bool details = has && !disabled_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{password_, confirm_, home_, browse_, upload_, download_, delete_})
        w->setEnabled(details);
}

void UserManagerPage::markChanged()
{
    if (filling_)
        return;
    changed_ = true;
    updateEnabled();
}

void UserManagerPage::onCurrentChanged(QListWidgetItem* current, QListWidgetItem* previous)
{
    if (changed_ && previous) {
        if (hub_.prompter.ask(hub_.text(Msg::UserChangedSave), Buttons::YesNo, hub_.text(Msg::UserPageCaption)) == Answer::Yes) {
            // The details on screen still belong to the previous row.
            const int now = current ? current->data(Qt::UserRole).toInt() : -1;
            {
                QSignalBlocker block(list_);
                list_->setCurrentItem(previous);
            }
            if (!apply())
                return;
            QSignalBlocker block(list_);
            list_->setCurrentItem(rowOf(now));
        }
    }
    showDetails(selectedIndex());
}

bool UserManagerPage::report(ftp::UserEditError error)
{
    if (error == ftp::UserEditError::None)
        return true;
    const int language = int(hub_.state.language);
    if (error == ftp::UserEditError::SaveFailed)
        hub_.prompter.inform(Severity::Error, ftp::userEditMessage(error, language) + QStringLiteral("\n")
                                                  + hub_.users().lastError());
    else
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(error, language));
    return false;
}

void UserManagerPage::addUser()
{
    UserDialog dialog(hub_, this);
    if (!runDialog_(dialog))
        return;
    const ftp::CUser user = dialog.account();
    if (manager_->indexOf(user.name) >= 0) {
        report(ftp::UserEditError::Duplicate);
        return;
    }
    const int index = int(manager_->users().size());
    const ftp::UserEditError error = manager_->add(user, dialog.confirmation());
    if (manager_->users().size() == index) {
        report(error);
        return;
    }
    report(error);   // a file that was not written is said, the account stays in memory
    QListWidgetItem* item = makeRow(index);
    {
        QSignalBlocker block(list_);
        list_->insertItem(0, item);
    }
    selectRow(item);
    if (list_->currentItem() == item)
        showDetails(index);
}

void UserManagerPage::editUser()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    UserDialog dialog(hub_, this);
    dialog.setAccount(manager_->users()[index]);
    if (!runDialog_(dialog))
        return;
    const ftp::CUser entered = dialog.account();
    const qsizetype other = manager_->indexOf(entered.name);
    if (other >= 0 && other != index) {
        report(ftp::UserEditError::Duplicate);
        return;
    }
    ftp::CUser user = manager_->users()[index];
    user.name = entered.name;
    user.password = entered.password;
    user.homeDirectory = entered.homeDirectory;
    user.download = entered.download;
    user.upload = entered.upload;
    user.deleteRight = entered.deleteRight;
    user.reserved = 0;
    user.makeDirectory = 0;
    const ftp::UserEditError error = manager_->edit(index, user, dialog.confirmation());
    if (error != ftp::UserEditError::None && error != ftp::UserEditError::SaveFailed) {
        report(error);
        return;
    }
    report(error);
    {
        QSignalBlocker block(list_);
        delete rowOf(index);
        QListWidgetItem* item = makeRow(index);
        list_->insertItem(0, item);
        list_->setCurrentItem(item);
    }
    showDetails(index);
}

void UserManagerPage::deleteUser()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const int row = list_->currentRow();
    const QString question = hub_.text(Msg::UserDeleteConfirm).arg(manager_->users()[index].name);
    if (hub_.prompter.ask(question, Buttons::YesNo, hub_.text(Msg::UserPageCaption)) != Answer::Yes)
        return;
    const qsizetype before = manager_->users().size();
    const ftp::UserEditError error = manager_->remove(index);
    if (manager_->users().size() == before) {
        report(error);
        return;
    }
    report(error);
    rebuildRows();
    {
        QSignalBlocker block(list_);
        if (list_->count() > 0)
            list_->setCurrentRow(qBound(0, row - 1, list_->count() - 1));
    }
    showDetails(selectedIndex());
}

void UserManagerPage::setAsideDamagedFile()
{
    ftp::CUserStore& store = hub_.users();
    const QString file = QDir::toNativeSeparators(store.path());
    if (hub_.prompter.ask(hub_.text(Msg::UserStoreSetAsideConfirm).arg(file), Buttons::YesNo) != Answer::Yes)
        return;
    const auto kept = store.setAsideDamaged(QDateTime::currentDateTime());
    if (!kept) {
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::UserStoreSetAsideFailed).arg(store.lastError()));
        return;
    }
    hub_.prompter.inform(Severity::Information, hub_.text(Msg::UserStoreSetAsideDone).arg(QDir::toNativeSeparators(*kept)));
    reload();
}

bool UserManagerPage::apply()
{
    const int index = selectedIndex();
    if (index < 0)
        return false;
    if (!changed_)
        return true;
    const int language = int(hub_.state.language);
    if (password_->text() != confirm_->text()) {
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(ftp::UserEditError::PasswordMismatch, language));
        return false;
    }
    ftp::CUser user = manager_->users()[index];
    user.password = password_->text();
    user.disabled = disabled_->isChecked() ? 1 : 0;
    user.homeDirectory = home_->text();
    user.upload = upload_->isChecked() ? 1 : 0;
    user.download = download_->isChecked() ? 1 : 0;
    user.deleteRight = delete_->isChecked() ? 1 : 0;
    user.reserved = 0;
    user.makeDirectory = 0;
    if (!ftp::homeIsUsable(user.homeDirectory)) {
        hub_.prompter.inform(Severity::Warning, ftp::userEditMessage(ftp::UserEditError::BadHome, language),
                             hub_.text(Msg::UserPageCaption));
        return false;
    }
    const ftp::UserEditError error = manager_->edit(index, user, confirm_->text());
    if (error != ftp::UserEditError::None && error != ftp::UserEditError::SaveFailed) {
        report(error);
        return false;
    }
    report(error);
    changed_ = false;
    updateEnabled();
    return true;
}

}  // namespace vantor::fernlink::ui
