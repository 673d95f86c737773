// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Qt side of the Ethernet link: one TCP connection to the controller, the LinkPort the
// Ethernet flows and DNC write through, and the events they react to. It only moves bytes
// and time; every decision stays in the engines.
#include "fernlink/link/ethernetsocket.h"
#include "serialcore/linkdriver.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace vantor::fernlink {

class EthernetLink : public QObject {
    Q_OBJECT
public:
    explicit EthernetLink(QObject* parent = nullptr);
    ~EthernetLink() override;

    // Gives up after the connect limit; connected() or connectFailed() follows.
    void connectTo(const QString& address, quint16 port);
    void disconnectFromController();
    bool isConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

    LinkDriver& port() { return driver_; }
    QTcpSocket& socket() { return socket_; }

Q_SIGNALS:
    void connected();
    void connectFailed(int errorCode, const QString& errorText);
    void bytesReceived(const QByteArray& chunk);
    // A read failed while connected (the DNC page treats it apart from a close).
    void receiveError(int errorCode);
    void closed();

private:
    QTcpSocket socket_;
    AnswerWatch answerWatch_{socket_};
    LinkDriver driver_;
    QTimer connectLimit_;
    bool connecting_ = false;
};

}  // namespace vantor::fernlink
