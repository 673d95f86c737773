// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/onlineuserspage.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSet>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

OnlineUsersPage::OnlineUsersPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent), hub_(hub), list_(new QTreeWidget(this)), menu_(new QMenu(this))
{
    list_->setColumnCount(4);
    list_->setHeaderLabels({hub.text(Msg::OnlineThreadId), hub.text(Msg::LoginUserName),
                            hub.text(Msg::OnlineIpAddress), hub.text(Msg::OnlineLogonTime)});
    // The thread id only names the connection for the disconnect command.
    list_->header()->setMinimumSectionSize(0);
    list_->header()->setSectionResizeMode(ColThreadId, QHeaderView::Fixed);
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->header()->setStretchLastSection(false);
    list_->viewport()->installEventFilter(this);

    disconnect_ = menu_->addAction(hub.text(Msg::OnlineDisconnect));
    connect(disconnect_, &QAction::triggered, this, &OnlineUsersPage::disconnectSelected);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!list_->selectedItems().isEmpty())
            menu_->popup(list_->viewport()->mapToGlobal(pos));
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    fitColumns();
}

void OnlineUsersPage::userConnected(quint64 threadId, const QString& userName, const QString& peerAddress)
{
    model_.userConnected(threadId, userName, peerAddress, QTime::currentTime());
    rebuild();
}

void OnlineUsersPage::userDisconnected(quint64 threadId)
{
    model_.userDisconnected(threadId);
    rebuild();
}

void OnlineUsersPage::rebuild()
{
    QSet<QString> selected;
    for (const QTreeWidgetItem* item : list_->selectedItems())
        selected.insert(item->text(ColThreadId));
    list_->clear();
    for (const auto& row : model_.rows()) {
        auto* item = new QTreeWidgetItem(list_, {QString::number(row.threadId), row.userName, row.peerAddress,
                                                 row.logonTime});
        item->setSelected(selected.contains(item->text(ColThreadId)));
    }
}

void OnlineUsersPage::disconnectSelected()
{
    QList<quint64> ids;
    for (const QTreeWidgetItem* item : list_->selectedItems())
        ids.append(item->text(ColThreadId).toULongLong());
    // The rows go when the server reports each connection ended.
    ftp::COnlineUserModel::disconnectSelected(hub_.server(), ids);
}

bool OnlineUsersPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void OnlineUsersPage::fitColumns()
{
    const int width = list_->viewport()->width() / 3 - 2;
    list_->setColumnWidth(ColThreadId, 0);
    for (int column : {ColUserName, ColAddress, ColLogonTime})
        list_->setColumnWidth(column, width);
}

}  // namespace vantor::fernlink::ui
