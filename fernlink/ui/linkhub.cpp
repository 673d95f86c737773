// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/linkhub.h"

#include <QFileInfo>

namespace vantor::fernlink::ui {

LinkHub::LinkHub(Prompter& prompter, const QString& usersPath, const QString& userLogPath, QObject* parent)
    : QObject(parent),
      prompter(prompter),
      transferLog_(transferLogFolder(QFileInfo(usersPath).absolutePath())),
      users_(usersPath),
      userLog_(userLogPath),
      // The user log sits beside users.dat, often inside a home: no client may read or replace it.
      server_(std::make_unique<ftp::CFtpServerWnd>(users_, QStringList{userLogPath}))
{
    serialDriver_.setWriter([this](const QByteArray& bytes) { serial_.write(bytes); });
    serialDriver_.setPurger([this] { serial_.purge(); });
    serialDriver_.setTimerHandler([this](int id) {
        if (receiver_)
            receiver_->linkTimer(id);
    });
    ethernet_.port().setTimerHandler([this](int id) {
        if (receiver_)
            receiver_->linkTimer(id);
    });
    connect(&serial_, &CVantorComm::received, this, [this](const QByteArray& chunk) {
        if (receiver_)
            receiver_->linkBytes(chunk);
    });
    connect(&serial_, &CVantorComm::lost, this, [this](const QString& reason) {
        Q_EMIT serialLost(reason);
        if (receiver_)
            receiver_->serialLost();
    });
    connect(&ethernet_, &EthernetLink::bytesReceived, this, [this](const QByteArray& chunk) {
        if (receiver_)
            receiver_->linkBytes(chunk);
    });
    connect(&ethernet_, &EthernetLink::receiveError, this, [this](int) {
        if (receiver_)
            receiver_->linkReadError();
    });
    connect(&ethernet_, &EthernetLink::closed, this, [this] {
        if (receiver_)
            receiver_->linkClosed();
        else
            Q_EMIT ethernetDropped();
    });
}

void LinkHub::record(const TransferRecord& record)
{
    if (!transferLog_.append(record))
        log(LogEntry::Failed, text(Msg::LogFileFailed).arg(transferLog_.error()));
    Q_EMIT transferRecorded(record);
}

void LinkHub::dropEthernet()
{
    if (dropping_)
        return;
    dropping_ = true;
    Q_EMIT ethernetDropped();
    dropping_ = false;
}

LinkHub::~LinkHub()
{
    receiver_ = nullptr;
    // A socket destroyed while connected reports its closing from inside its destructor, when
    // the link's driver is already gone: close it now, with nobody here listening.
    disconnect(&ethernet_, nullptr, this, nullptr);
    ethernet_.disconnectFromController();
    server_->stop();
}

}  // namespace vantor::fernlink::ui
