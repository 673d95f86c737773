// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The server's counters: eight fixed rows refreshed by the server's periodic push.
#include "fernlink/ftpserver/servermodels.h"
#include "fernlink/ui/linkhub.h"

#include <QPointer>
#include <QWidget>

class QTreeWidget;

namespace vantor::fernlink::ui {

class OnlineUsersPage;

class StatisticsPage : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsPage(LinkHub& hub, QWidget* parent = nullptr);

    // Rows 0 to 5: the counters by index; 6 bytes received, 7 bytes sent (as kilobytes).
    void statistic(int index, qint64 value);
    void bytesReceived(quint64 total);
    void bytesSent(quint64 total);

    // The value column, row by row.
    QStringList values() const;
    QTreeWidget* table() const { return table_; }

private:
    void refreshValues();

    ftp::CStatisticsModel model_;
    QTreeWidget* table_;
};

// The server's one event sink, fanned out to the pages that show its events. It registers
// itself with the server on construction and leaves on destruction; a page that is gone
// is skipped, so the sink may outlive either page but not the server.
class FtpPagesSink : public ftp::IServerEventSink {
public:
    FtpPagesSink(ftp::CFtpServerWnd& server, StatisticsPage* statistics, OnlineUsersPage* online);
    ~FtpPagesSink() override;
    FtpPagesSink(const FtpPagesSink&) = delete;
    FtpPagesSink& operator=(const FtpPagesSink&) = delete;

    void OnUserConnected(quint64 threadId, const QString& userName, const QString& peerAddress) override;
    void OnUserDisconnected(quint64 threadId, const QString& userName) override;
    void OnBytesReceived(quint64 total) override;
    void OnBytesSent(quint64 total) override;
    void OnStatistic(int index, qint64 value) override;

private:
    ftp::CFtpServerWnd& server_;
    QPointer<StatisticsPage> statistics_;
    QPointer<OnlineUsersPage> online_;
};

}  // namespace vantor::fernlink::ui
