// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window shares with its pages: the program-wide state, the two links to the
// controller, the questions, the operation log and the FTP server with its accounts.
// The main window owns the one hub; every page gets it at construction.
//
// Routing: the page whose operation is about to run calls setReceiver(this) before it writes
// its first byte (as each page makes itself the socket's receiver). The serial engine's and
// the socket's bytes, both drivers' timer ticks and the socket's closing then reach that page
// only; with no receiver they are read and dropped.
#include "common/prompter.h"
#include "fernlink/app/messages.h"
#include "fernlink/app/programstate.h"
#include "fernlink/ftpserver/ftpserver.h"
#include "fernlink/ftpserver/userstore.h"
#include "fernlink/link/dncflow.h"
#include "fernlink/link/ethernetlink.h"
#include "fernlink/link/serialflows.h"
#include "serialcore/linkdriver.h"
#include "serialcore/vantorcomm.h"

#include <QKeyCombination>
#include <QObject>

#include <functional>
#include <memory>

namespace vantor::fernlink::ui {

// The keys of every transfer page: start its operation, stop it.
inline constexpr QKeyCombination kStartKey = QKeyCombination(Qt::Key_F9);
inline constexpr QKeyCombination kStopKey = Qt::SHIFT | Qt::Key_F9;

class LinkReceiver {
public:
    virtual ~LinkReceiver() = default;
    virtual void linkBytes(QByteArrayView chunk) = 0;
    // A timer of the link in use fired (ids as the flows chose them).
    virtual void linkTimer(int id) = 0;
    // Ethernet: the connection closed, or a read failed while connected.
    virtual void linkClosed() {}
    virtual void linkReadError() {}
    // Serial: the port went away under the running operation (unplugged, I/O error).
    virtual void serialLost() {}
};

class LinkHub : public QObject {
    Q_OBJECT
public:
    // users and userLog: the account file and the user log (folder of the program's data).
    LinkHub(Prompter& prompter, const QString& usersPath, const QString& userLogPath, QObject* parent = nullptr);
    ~LinkHub() override;

    ProgramState state;
    Prompter& prompter;
    QString text(Msg id) const { return message(id, state.language); }

    CVantorComm& serial() { return serial_; }
    LinkDriver& serialPort() { return serialDriver_; }
    EthernetLink& ethernet() { return ethernet_; }
    LinkPort& ethernetPort() { return ethernet_.port(); }

    void setReceiver(LinkReceiver* receiver) { receiver_ = receiver; }
    LinkReceiver* receiver() const { return receiver_; }

    // The pages report operations for the operation log.
    void log(LogEntry entry, const QString& text) { Q_EMIT logged(entry, text); }
    // A page lost the Ethernet link (a flow asked to drop it): the main window closes the
    // socket, shows "disconnect", sets the link type to none and the operation state to idle.
    // Closing the socket reports the closing to the receiving page, which asks again: that
    // second request is the same drop and is ignored.
    void dropEthernet();
    // A page started or ended an operation: menus and the editor follow.
    void operationChanged() { Q_EMIT operationStateChanged(); }

    // The editor's program, for the DNC page; set by the main window.
    std::function<DncDocument()> currentDocument;

    // The transfer log on disk, beside the account file. A line that could not be written
    // is said in the operation log.
    TransferLog& transferLog() { return transferLog_; }
    void record(const TransferRecord& record);
    // Ethernet sends read every file back and compare it (the settings page sets it).
    bool verifyAfterSend = false;
    // What a DNC that starts after line 1 sends first (the settings page sets it).
    dnc::HeaderMode dncHeaderMode = dnc::HeaderMode::ProgramStart;
    QString dncHeader;

    ftp::CUserStore& users() { return users_; }
    ftp::CUserLogStore& userLog() { return userLog_; }
    ftp::CFtpServerWnd& server() { return *server_; }
    // 2 may manage accounts; the login page sets it.
    int loginLevel = 2;

Q_SIGNALS:
    void logged(LogEntry entry, const QString& text);
    void ethernetDropped();
    void operationStateChanged();
    void transferRecorded(const TransferRecord& record);
    // The serial port went away (the port is closed already); the main window shows the
    // link down before the receiving page ends what ran over it.
    void serialLost(const QString& reason);

private:
    CVantorComm serial_;
    LinkDriver serialDriver_;
    EthernetLink ethernet_;
    LinkReceiver* receiver_ = nullptr;
    bool dropping_ = false;
    TransferLog transferLog_;
    ftp::CUserStore users_;
    ftp::CUserLogStore userLog_;
    std::unique_ptr<ftp::CFtpServerWnd> server_;
};

}  // namespace vantor::fernlink::ui
