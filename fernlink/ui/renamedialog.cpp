// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/renamedialog.h"

#include "serialcore/controllernames.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace vantor::fernlink::ui {

namespace {

bool userArea(const QString& partition)
{
    return partition.compare(QLatin1String("USER"), Qt::CaseInsensitive) == 0;
}

}  // namespace

RenameDialog::RenameDialog(LinkHub& hub, const QString& oldName, const QString& partition, QWidget* parent)
    : QDialog(parent), hub_(hub), partition_(partition), name_(new QLineEdit(oldName, this))
{
    setWindowTitle(hub.text(Msg::RenameTitle));
    auto* old = new QLineEdit(oldName, this);
    old->setReadOnly(true);
    auto* hint = new QLabel(userArea(partition) ? hub.text(Msg::RenameHint) : QString(), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RenameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(hub.text(Msg::RenameOldName), old);
    form->addRow(hub.text(Msg::RenameNewName), name_);
    form->addRow(hint);
    form->addRow(buttons);
    name_->selectAll();
    name_->setFocus();
}

std::optional<QString> RenameDialog::acceptName(const QString& name, const QString& partition)
{
    if (userArea(partition))
        return fernlinkUserName(name);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

void RenameDialog::accept()
{
    const auto name = acceptName(name_->text(), partition_);
    if (!name) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::RenameBadName));
        name_->selectAll();
        name_->setFocus();
        return;
    }
    accepted_ = *name;
    QDialog::accept();
}

}  // namespace vantor::fernlink::ui
