// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/operationlogpage.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

OperationLogPage::OperationLogPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent), hub_(hub), entries_(new QTreeWidget(this)), diskLog_(new QPlainTextEdit(this))
{
    diskLog_->setReadOnly(true);
    diskLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    diskLog_->setObjectName(QStringLiteral("transferLog"));
    entries_->setRootIsDecorated(false);
    entries_->setUniformRowHeights(true);
    entries_->setHeaderLabels({hub.text(Msg::LogColTime), hub.text(Msg::LogColWhat), hub.text(Msg::LogColName)});
    entries_->setColumnWidth(ColTime, 150);
    entries_->setColumnWidth(ColWhat, 120);
    entries_->header()->setStretchLastSection(true);

    auto* clearButton = new QPushButton(hub.text(Msg::LogButtonClear), this);
    connect(clearButton, &QPushButton::clicked, this, &OperationLogPage::clear);
    auto* exportButton = new QPushButton(hub.text(Msg::LogButtonExport), this);
    exportButton->setObjectName(QStringLiteral("exportTransferLog"));
    exportButton->setToolTip(hub.transferLog().folder());
    connect(exportButton, &QPushButton::clicked, this, &OperationLogPage::exportTransferLog);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    buttons->addWidget(clearButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(entries_, 2);
    layout->addWidget(diskLog_, 1);
    layout->addLayout(buttons);

    chooseExportPath = [this] {
        return QFileDialog::getSaveFileName(this, hub_.text(Msg::LogButtonExport),
                                            QFileInfo(hub_.transferLog().pathFor(QDate::currentDate())).fileName());
    };
    connect(&hub, &LinkHub::logged, this, &OperationLogPage::append);
    connect(&hub, &LinkHub::transferRecorded, this, &OperationLogPage::showTransferLog);
    showTransferLog();
}

void OperationLogPage::showTransferLog()
{
    diskLog_->setPlainText(QString::fromUtf8(hub_.transferLog().read(QDate::currentDate())));
    diskLog_->moveCursor(QTextCursor::End);
}

void OperationLogPage::exportTransferLog()
{
    const QString path = chooseExportPath ? chooseExportPath() : QString();
    if (path.isEmpty())
        return;
    if (!hub_.transferLog().exportDay(QDate::currentDate(), path))
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::LogExportFailed).arg(hub_.transferLog().error()));
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
