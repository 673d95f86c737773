// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/statisticspage.h"

#include "fernlink/ui/onlineuserspage.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

StatisticsPage::StatisticsPage(LinkHub& hub, QWidget* parent) : QWidget(parent), table_(new QTreeWidget(this))
{
    static constexpr Msg rows[] = {Msg::StatTotalConnections, Msg::StatCurrentConnections, Msg::StatFilesDownloaded,
                                   Msg::StatFilesUploaded,    Msg::StatFailedDownloads,    Msg::StatFailedUploads,
                                   Msg::StatBytesReceived,    Msg::StatBytesSent};
    table_->setColumnCount(2);
    table_->setHeaderLabels({hub.text(Msg::StatisticColumn), hub.text(Msg::StatisticValueColumn)});
    table_->setRootIsDecorated(false);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setColumnWidth(0, 200);
    for (Msg row : rows)
        new QTreeWidgetItem(table_, {hub.text(row), QString()});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    refreshValues();
}

void StatisticsPage::statistic(int index, qint64 value)
{
    model_.OnStatistic(index, value);
    refreshValues();
}

void StatisticsPage::bytesReceived(quint64 total)
{
    model_.OnBytesReceived(total);
    refreshValues();
}

void StatisticsPage::bytesSent(quint64 total)
{
    model_.OnBytesSent(total);
    refreshValues();
}

QStringList StatisticsPage::values() const
{
    QStringList out;
    for (int i = 0; i < table_->topLevelItemCount(); ++i)
        out.append(table_->topLevelItem(i)->text(1));
    return out;
}

void StatisticsPage::refreshValues()
{
    const QStringList& values = model_.values();
    for (int i = 0; i < table_->topLevelItemCount() && i < values.size(); ++i)
        table_->topLevelItem(i)->setText(1, values[i]);
}

FtpPagesSink::FtpPagesSink(ftp::CFtpServerWnd& server, StatisticsPage* statistics, OnlineUsersPage* online)
    : server_(server), statistics_(statistics), online_(online)
{
    server_.setEventSink(this);
}

FtpPagesSink::~FtpPagesSink()
{
    server_.setEventSink(nullptr);
}

void FtpPagesSink::OnUserConnected(quint64 threadId, const QString& userName, const QString& peerAddress)
{
    if (online_)
        online_->userConnected(threadId, userName, peerAddress);
}

void FtpPagesSink::OnUserDisconnected(quint64 threadId, const QString&)
{
    if (online_)
        online_->userDisconnected(threadId);
}

void FtpPagesSink::OnBytesReceived(quint64 total)
{
    if (statistics_)
        statistics_->bytesReceived(total);
}

void FtpPagesSink::OnBytesSent(quint64 total)
{
    if (statistics_)
        statistics_->bytesSent(total);
}

void FtpPagesSink::OnStatistic(int index, qint64 value)
{
    if (statistics_)
        statistics_->statistic(index, value);
}

}  // namespace vantor::fernlink::ui
