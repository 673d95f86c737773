// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetlink.h"

#include "fernlink/link/ethernetprotocol.h"

#include "common/logging.h"

namespace vantor::fernlink {

EthernetLink::EthernetLink(QObject* parent) : QObject(parent)
{
    connectLimit_.setSingleShot(true);
    driver_.setWriter([this](const QByteArray& bytes) {
        if (socket_.state() == QAbstractSocket::ConnectedState) {
            qCDebug(lcEthernet, "-> %s", traceBytes(bytes).constData());
            // Out now, not on the event loop's next turn: every frame waits for its answer,
            // so a write left in the buffer costs a whole extra wake-up per frame.
            writeThrough(socket_, bytes);
            answerWatch_.afterWrite();
        }
    });
    connect(&connectLimit_, &QTimer::timeout, this, [this] {
        if (!connecting_)
            return;
        connecting_ = false;
        socket_.abort();
        qCDebug(lcEthernet, "no answer to the connection attempt");
        Q_EMIT connectFailed(static_cast<int>(QAbstractSocket::SocketTimeoutError), socket_.errorString());
    });
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        connectLimit_.stop();
        connecting_ = false;
        // Commands and frames are single writes answered one by one: nothing to gain from
        // holding a small write back for company.
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        qCDebug(lcEthernet, "connected to %s:%u", qUtf8Printable(socket_.peerName()), unsigned(socket_.peerPort()));
        Q_EMIT connected();
    });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        // The controller's frames are 2048 bytes; the engines gather across reads anyway.
        while (socket_.bytesAvailable() > 0) {
            const QByteArray chunk = socket_.read(net::kFrameSize);
            qCDebug(lcEthernet, "<- %s", traceBytes(chunk).constData());
            Q_EMIT bytesReceived(chunk);
        }
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        qCDebug(lcEthernet, "socket error %d: %s", int(error), qUtf8Printable(socket_.errorString()));
        if (connecting_) {
            connecting_ = false;
            connectLimit_.stop();
            socket_.abort();
            Q_EMIT connectFailed(static_cast<int>(error), socket_.errorString());
            return;
        }
        if (error != QAbstractSocket::RemoteHostClosedError)
            Q_EMIT receiveError(static_cast<int>(error));
    });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        qCDebug(lcEthernet, "connection closed");
        driver_.clear();
        Q_EMIT closed();
    });
}

EthernetLink::~EthernetLink()
{
    // A socket destroyed while connected reports its closing from its own destructor, after
    // the driver and the timer are gone; nobody may hear of it then.
    socket_.disconnect(this);
    connectLimit_.stop();
    driver_.clear();
    socket_.abort();
}

void EthernetLink::connectTo(const QString& address, quint16 port)
{
    driver_.clear();
    socket_.abort();
    connecting_ = true;
    connectLimit_.start(net::kConnectTimeoutMs);
    qCDebug(lcEthernet, "connecting to %s:%u", qUtf8Printable(address), unsigned(port));
    socket_.connectToHost(address, port);
}

void EthernetLink::disconnectFromController()
{
    connecting_ = false;
    connectLimit_.stop();
    driver_.clear();
    socket_.abort();
}

}  // namespace vantor::fernlink
