// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The FTP connections that have logged in, newest first, with the command that ends them.
#include "fernlink/ftpserver/servermodels.h"
#include "fernlink/ui/linkhub.h"

#include <QWidget>

class QAction;
class QMenu;
class QTreeWidget;

namespace vantor::fernlink::ui {

class OnlineUsersPage : public QWidget {
    Q_OBJECT
public:
    enum Column { ColThreadId, ColUserName, ColAddress, ColLogonTime };
    explicit OnlineUsersPage(LinkHub& hub, QWidget* parent = nullptr);

    // What the server reports (through FtpPagesSink), in the server's thread.
    void userConnected(quint64 threadId, const QString& userName, const QString& peerAddress);
    void userDisconnected(quint64 threadId);

    const ftp::COnlineUserModel& model() const { return model_; }
    QTreeWidget* list() const { return list_; }
    QAction* disconnectAction() const { return disconnect_; }

public Q_SLOTS:
    // "Disconnect this user" for every selected row.
    void disconnectSelected();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    void fitColumns();

    LinkHub& hub_;
    ftp::COnlineUserModel model_;
    QTreeWidget* list_;
    QMenu* menu_;
    QAction* disconnect_;
};

}  // namespace vantor::fernlink::ui
