// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/operationlogpage.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

OperationLogPage::OperationLogPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent), hub_(hub), entries_(new QTreeWidget(this))
{
    entries_->setRootIsDecorated(false);
    entries_->setUniformRowHeights(true);
    entries_->setHeaderLabels({hub.text(Msg::LogColTime), hub.text(Msg::LogColWhat), hub.text(Msg::LogColName)});
    entries_->setColumnWidth(ColTime, 150);
    entries_->setColumnWidth(ColWhat, 120);
    entries_->header()->setStretchLastSection(true);

    auto* clearButton = new QPushButton(hub.text(Msg::LogButtonClear), this);
    connect(clearButton, &QPushButton::clicked, this, &OperationLogPage::clear);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(clearButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(entries_, 1);
    layout->addLayout(buttons);

    connect(&hub, &LinkHub::logged, this, &OperationLogPage::append);
}

QString OperationLogPage::what(LogEntry entry) const
{
    switch (entry) {
    case LogEntry::Deleted: return hub_.text(Msg::LogDeleted);
    case LogEntry::Receiving: return hub_.text(Msg::LogReceiving);
    case LogEntry::Sent: return hub_.text(Msg::LogSent);
    case LogEntry::DncStarted: return hub_.text(Msg::LogDncStarted);
    case LogEntry::Failed: return hub_.text(Msg::LogFailed);
    case LogEntry::BatchEnded: return hub_.text(Msg::LogBatchEnded);
    }
    return {};
}

void OperationLogPage::append(LogEntry entry, const QString& text)
{
    auto* item = new QTreeWidgetItem(entries_);
    item->setText(ColTime, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    item->setText(ColWhat, what(entry));
    item->setText(ColName, text);
    entries_->scrollToItem(item);
}

void OperationLogPage::clear()
{
    entries_->clear();
}

}  // namespace vantor::fernlink::ui
