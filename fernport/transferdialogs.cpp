// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/transferdialogs.h"

#include "fernport/messages.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantor::fernport {

namespace {
QString qs(const char* latin1) { return QString::fromLatin1(latin1); }

QTableWidget* makeList(QWidget* parent, const QStringList& columns, const QList<int>& widths)
{
    auto* list = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    list->setObjectName(QStringLiteral("list"));
    list->setHorizontalHeaderLabels(columns);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(true);
    // The end of a long path names the file; that is the part to keep in view.
    list->setTextElideMode(Qt::ElideLeft);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < widths.size(); ++i)
        list->setColumnWidth(i, widths[i]);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    return list;
}

void setRow(QTableWidget* list, int row, const QStringList& texts)
{
    for (int c = 0; c < texts.size(); ++c) {
        QTableWidgetItem* item = list->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            list->setItem(row, c, item);
        }
        item->setText(texts[c]);
    }
}

QList<int> selectedRowsOf(const QTableWidget* list)
{
    QList<int> rows;
    for (const QModelIndex& i : list->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}
}  // namespace

// ---------------------------------------------------------------- questions

CPartSelDlg::CPartSelDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Select Part Dialog"));
    setObjectName(QStringLiteral("CPartSelDlg"));
    user_ = new QRadioButton(tr("User Part"), this);
    sys_ = new QRadioButton(tr("Sys Part"), this);
    upgrade_ = new QRadioButton(tr("Sys Upgrade"), this);
    user_->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(user_);
    layout->addWidget(sys_);
    layout->addWidget(upgrade_);
    layout->addWidget(buttons);
}

PartChoice CPartSelDlg::choice() const
{
    if (sys_->isChecked())
        return PartChoice::Sys;
    if (upgrade_->isChecked())
        return PartChoice::Upgrade;
    return PartChoice::User;
}

CRenameDlg::CRenameDlg(const QString& oldName, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Rename Dialog"));
    setObjectName(QStringLiteral("CRenameDlg"));
    auto* old = new QLabel(oldName, this);
    new_ = new QLineEdit(oldName, this);
    auto* form = new QFormLayout;
    form->addRow(tr("Old name:"), old);
    form->addRow(tr("New name:"), new_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(qs(msg::kRenameNote), this));
    layout->addWidget(buttons);
}

QString CRenameDlg::newName() const
{
    return new_->text().trimmed();
}

// ---------------------------------------------------------------- send list

CSendFileDlg::CSendFileDlg(const SendFlow& flow, QWidget* parent) : QDialog(parent), flow_(flow)
{
    setWindowTitle(tr("Send File"));
    setObjectName(QStringLiteral("CSendFileDlg"));
    list_ = makeList(this, {tr("File path"), tr("File Name"), tr("Partition"), tr("State")}, {160, 75, 50, 55});
    connect(list_, &QWidget::customContextMenuRequested, this, &CSendFileDlg::showContextMenu);
    count_ = new QLabel(qs(msg::kFileCount).arg(0), this);
    add_ = new QPushButton(tr("&Add File"), this);
    add_->setObjectName(QStringLiteral("add"));
    auto* send = new QPushButton(tr("&Send"), this);
    send->setObjectName(QStringLiteral("send"));
    editedOnly_ = new QCheckBox(tr("&Only send the edited file"), this);
    editedOnly_->setObjectName(QStringLiteral("editedOnly"));
    connect(add_, &QPushButton::clicked, this, &CSendFileDlg::addRequested);
    connect(send, &QPushButton::clicked, this, &CSendFileDlg::sendRequested);
    connect(editedOnly_, &QCheckBox::toggled, this, [this](bool on) {
        list_->setEnabled(!on);
        add_->setEnabled(!on);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(editedOnly_);
    buttons->addStretch();
    buttons->addWidget(add_);
    buttons->addWidget(send);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(count_);
    layout->addLayout(buttons);
    resize(520, 340);
}

void CSendFileDlg::refresh()
{
    const auto& entries = flow_.entries();
    list_->setRowCount(static_cast<int>(entries.size()));
    for (int i = 0; i < static_cast<int>(entries.size()); ++i)
        refreshEntry(i);
    count_->setText(qs(msg::kFileCount).arg(entries.size()));
}

void CSendFileDlg::refreshEntry(int index)
{
    const auto& entries = flow_.entries();
    if (index < 0 || index >= static_cast<int>(entries.size()) || index >= list_->rowCount())
        return;
    const SendEntry& e = entries[index];
    setRow(list_, index, {e.path, e.name, e.partition, e.state});
}

QList<int> CSendFileDlg::selectedRows() const
{
    return selectedRowsOf(list_);
}

bool CSendFileDlg::editedOnly() const
{
    return editedOnly_->isChecked();
}

void CSendFileDlg::setEditedOnly(bool on)
{
    editedOnly_->setChecked(on);
}

QString CSendFileDlg::countText() const
{
    return count_->text();
}

void CSendFileDlg::showContextMenu(const QPoint& at)
{
    QMenu menu(this);
    menu.addAction(tr("&Add File"), this, &CSendFileDlg::addRequested);
    const bool any = !selectedRows().isEmpty();
    menu.addAction(tr("&Delete"), this, [this] { Q_EMIT removeRequested(selectedRows()); })->setEnabled(any);
    menu.addAction(tr("&Clear List"), this, &CSendFileDlg::clearRequested)->setEnabled(any);
    menu.exec(list_->viewport()->mapToGlobal(at));
}

// ---------------------------------------------------------------- receive list

CReceiveFileDlg::CReceiveFileDlg(ReceiveFlow& flow, QWidget* parent) : QDialog(parent), flow_(flow)
{
    setWindowTitle(tr("Receive File"));
    setObjectName(QStringLiteral("CReceiveFileDlg"));
    list_ = makeList(this, {tr("File Name"), tr("Partition"), tr("State")}, {160, 75, 65});
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(tr("&Receive file"), this, &CReceiveFileDlg::receiveRequested);
        menu.addAction(tr("&Get file list"), this, &CReceiveFileDlg::getListRequested);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    auto* get = new QPushButton(tr("&Get List"), this);
    get->setObjectName(QStringLiteral("getList"));
    auto* receive = new QPushButton(tr("&Receive"), this);
    receive->setObjectName(QStringLiteral("receive"));
    auto* close = new QPushButton(tr("Close"), this);
    connect(get, &QPushButton::clicked, this, &CReceiveFileDlg::getListRequested);
    connect(receive, &QPushButton::clicked, this, &CReceiveFileDlg::receiveRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons_ = {get, receive, close};
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons_)
        row->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(row);
    resize(380, 340);
}

void CReceiveFileDlg::refresh()
{
    const auto& entries = flow_.entries();
    list_->setRowCount(static_cast<int>(entries.size()));
    for (int i = 0; i < static_cast<int>(entries.size()); ++i)
        refreshEntry(i);
}

void CReceiveFileDlg::refreshEntry(int index)
{
    const auto& entries = flow_.entries();
    if (index < 0 || index >= static_cast<int>(entries.size()) || index >= list_->rowCount())
        return;
    const ReceiveEntry& e = entries[index];
    setRow(list_, index, {e.name, e.partition, e.state});
}

QList<int> CReceiveFileDlg::selectedRows() const
{
    return selectedRowsOf(list_);
}

void CReceiveFileDlg::setBusy(bool busy)
{
    for (QPushButton* b : buttons_)
        b->setEnabled(!busy);
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

// ---------------------------------------------------------------- progress

CProcessDlg::CProcessDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Sending"));
    setObjectName(QStringLiteral("CProcessDlg"));
    setModal(false);
    name_ = new QLabel(this);
    partition_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    steps_ = new QLabel(QStringLiteral("0/0"), this);
    errorsLabel_ = new QLabel(QStringLiteral("0"), this);
    auto* form = new QFormLayout;
    form->addRow(tr("File:"), name_);
    form->addRow(tr("Partition:"), partition_);
    form->addRow(bar_);
    form->addRow(tr("Block:"), steps_);
    form->addRow(tr("Err:"), errorsLabel_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    note_->hide();
    cancel_ = new QPushButton(tr("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    connect(cancel_, &QPushButton::clicked, this, &CProcessDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(320);
}

void CProcessDlg::reject()
{
    if (ended_)
        QDialog::reject();
    else
        Q_EMIT cancelRequested();
}

void CProcessDlg::showInterrupted(const QString& text)
{
    ended_ = true;
    note_->setText(text);
    note_->show();
    cancel_->setText(tr("Close"));
}

QString CProcessDlg::noteText() const
{
    return ended_ ? note_->text() : QString();
}

void CProcessDlg::reset(const QString& name, const QString& partition)
{
    ended_ = false;
    note_->hide();
    cancel_->setText(tr("&Cancel"));
    name_->setText(name);
    partition_->setText(partition);
    done_ = total_ = errors_ = 0;
    bar_->setValue(0);
    steps_->setText(QStringLiteral("0/0"));
    errorsLabel_->setText(QStringLiteral("0"));
}

void CProcessDlg::setTotal(int total)
{
    total_ = total;
    steps_->setText(QString::asprintf("%d/%d", done_, total_));
}

void CProcessDlg::step(int position)
{
    // The end-of-file step asks for more than the bar holds: it shows full.
    bar_->setValue(std::min(position, bar_->maximum()));
    ++done_;
    steps_->setText(QString::asprintf("%d/%d", done_, total_));
}

void CProcessDlg::countNak()
{
    errorsLabel_->setText(QString::number(++errors_));
}

QString CProcessDlg::nameText() const { return name_->text(); }
QString CProcessDlg::partitionText() const { return partition_->text(); }
QString CProcessDlg::stepText() const { return steps_->text(); }
int CProcessDlg::position() const { return bar_->value(); }

CReceivingDlg::CReceivingDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Receiving"));
    setObjectName(QStringLiteral("CReceivingDlg"));
    setModal(false);
    name_ = new QLabel(this);
    folder_ = new QLabel(this);
    goodLabel_ = new QLabel(QStringLiteral("0"), this);
    badLabel_ = new QLabel(QStringLiteral("0"), this);
    auto* form = new QFormLayout;
    form->addRow(tr("File:"), name_);
    form->addRow(tr("Save to:"), folder_);
    form->addRow(tr("Received:"), goodLabel_);
    form->addRow(tr("Error:"), badLabel_);
    auto* cancel = new QPushButton(tr("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(cancel, &QPushButton::clicked, this, &CReceivingDlg::cancelRequested);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    setMinimumWidth(320);
}

void CReceivingDlg::setFile(const QString& name, const QString& folder)
{
    name_->setText(name);
    folder_->setText(folder);
    good_ = bad_ = 0;
    goodLabel_->setText(QStringLiteral("0"));
    badLabel_->setText(QStringLiteral("0"));
}

void CReceivingDlg::countGood()
{
    goodLabel_->setText(QString::number(++good_));
}

void CReceivingDlg::countBad()
{
    badLabel_->setText(QString::number(++bad_));
}

QString CReceivingDlg::nameText() const { return name_->text(); }

}  // namespace vantor::fernport
